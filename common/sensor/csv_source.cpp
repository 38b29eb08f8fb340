#include "common/sensor/csv_source.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>

namespace {

constexpr int CSV_VALUES = 1 + JOINT_COUNT * 4;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Moves past one separator: blanks, at most one comma, blanks. False if there is none.
bool skipSeparator(const char*& p, const char* end) {
    const char* start = p;
    while (p < end && isBlank(*p)) {
        ++p;
    }
    if (p < end && *p == ',') {
        ++p;
        while (p < end && isBlank(*p)) {
            ++p;
        }
    }
    return p > start;
}

}  // namespace

bool parseCsvFrame(const std::string& line, CsvFrame& frame, std::string& reason) {
    const char* p = line.data();
    const char* end = p + line.size();
    while (p < end && isBlank(*p)) {
        ++p;
    }
    while (end > p && isBlank(end[-1])) {
        --end;
    }
    float values[CSV_VALUES - 1] = {};
    int count = 0;
    while (p < end) {
        if (count > 0 && !skipSeparator(p, end)) {
            reason = "value " + std::to_string(count + 1) + " is not a number";
            return false;
        }
        if (p == end || *p == ',') {
            reason = "empty value " + std::to_string(count + 1);
            return false;
        }
        if (count >= CSV_VALUES) {
            ++count;
            break;
        }
        if (*p == '+') {
            ++p;  // from_chars takes no plus sign
        }
        if (count == 0) {
            uint64_t time = 0;
            std::from_chars_result r = std::from_chars(p, end, time);
            if (r.ec != std::errc() || (r.ptr < end && !isBlank(*r.ptr) && *r.ptr != ',')) {
                reason = "the time stamp is not a whole number of microseconds";
                return false;
            }
            frame.timeUs = time;
            p = r.ptr;
        } else {
            float value = 0.0f;
            std::from_chars_result r = std::from_chars(p, end, value);
            if (r.ec != std::errc() || (r.ptr < end && !isBlank(*r.ptr) && *r.ptr != ',')) {
                reason = "value " + std::to_string(count + 1) + " is not a number";
                return false;
            }
            if (!std::isfinite(value)) {
                reason = "value " + std::to_string(count + 1) + " is not finite";
                return false;
            }
            values[count - 1] = value;
            p = r.ptr;
        }
        ++count;
    }
    if (count != CSV_VALUES) {
        reason = "expected " + std::to_string(CSV_VALUES) + " values (time and 20 joints x, y, z, w), found " +
                 (count > CSV_VALUES ? "more" : std::to_string(count));
        return false;
    }
    frame.tracked = false;
    for (int j = 0; j < JOINT_COUNT; ++j) {
        Vector4& joint = frame.joints[j];
        joint.x = values[4 * j];
        joint.y = values[4 * j + 1];
        joint.z = values[4 * j + 2];
        joint.w = values[4 * j + 3];
        frame.tracked = frame.tracked || joint.x != 0.0f || joint.y != 0.0f || joint.z != 0.0f || joint.w != 0.0f;
    }
    return true;
}

void csvSkeletonFrame(const CsvFrame& csv, SkeletonFrame& frame) {
    frame = SkeletonFrame();
    if (!csv.tracked) {
        return;
    }
    SkeletonRecord& person = frame.slots[0];
    person.trackingState = SKELETON_TRACKED;
    person.trackingId = 1;
    person.position = csv.joints[JOINT_HIP_CENTER];
    for (int j = 0; j < JOINT_COUNT; ++j) {
        person.joints[j] = csv.joints[j];
        person.jointTrackingStates[j] = 2;  // tracked
    }
}

bool CsvSource::open(const std::string& path, std::string& error, std::FILE* warnings) {
    frames.clear();
    restartPlayback();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "csv '" + path + "': cannot open: " + std::strerror(errno);
        return false;
    }
    std::string line;
    size_t lineNumber = 0;
    size_t skipped = 0;
    CsvFrame frame;
    while (std::getline(in, line)) {
        ++lineNumber;
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        std::string reason;
        bool ok = parseCsvFrame(line, frame, reason);
        if (ok && !frames.empty() && frame.timeUs < frames.back().timeUs) {
            ok = false;
            reason = "time stamp " + std::to_string(frame.timeUs) + " is before the previous frame's";
        }
        if (!ok) {
            ++skipped;
            if (warnings) {
                std::fprintf(warnings, "csv '%s': line %zu: %s (line skipped)\n", path.c_str(), lineNumber,
                             reason.c_str());
            }
            continue;
        }
        frames.push_back(frame);
    }
    if (in.bad()) {
        error = "csv '" + path + "': read failed after line " + std::to_string(lineNumber);
        return false;
    }
    if (frames.empty()) {
        error = "csv '" + path + "': no valid frame" +
                (skipped ? " (" + std::to_string(skipped) + " malformed lines)" : std::string());
        return false;
    }
    return true;
}

bool CsvSource::loadSkeleton(size_t index, SkeletonFrame& frame) {
    csvSkeletonFrame(frames[index], frame);
    return true;
}

bool CsvSource::loadColour(size_t index, uint8_t* bgrx) {
    renderedColour(index, bgrx);
    return true;
}

bool CsvSource::loadDepth(size_t index, uint16_t* packedDepth) {
    renderedDepth(index, packedDepth);
    return true;
}

std::unique_ptr<CsvSource> openCsvSource(const std::string& path, std::string& error) {
    std::unique_ptr<CsvSource> source(new CsvSource);
    if (!source->open(path, error)) {
        return nullptr;
    }
    return source;
}
