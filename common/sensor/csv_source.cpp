#include "common/sensor/csv_source.h"

#include "common/files/regular_file.h"
#include "common/sensor/recording.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <vector>

namespace {

constexpr int CSV_VALUES = 1 + JOINT_COUNT * 4;

// Exporters write a joint the tracker lost as 0 0 0, the camera's own position.
bool jointMissing(const Vector4& joint) { return joint.x == 0.0f && joint.y == 0.0f && joint.z == 0.0f; }

// The joint each joint hangs from, toward the hip centre.
constexpr int PARENT_JOINT[JOINT_COUNT] = {-1, 0, 1, 2, 2, 4, 5, 6, 2, 8, 9, 10, 0, 12, 13, 14, 0, 16, 17, 18};
// Where a hip centre never tracked is looked for instead when the two hips are not both placed
// (their midpoint is the nearest stand-in), nearest first.
constexpr int HIP_CENTRE_STAND_INS[] = {JOINT_SPINE, JOINT_HIP_LEFT, JOINT_HIP_RIGHT, JOINT_SHOULDER_CENTER};

// A joint not tracked yet would sit at the camera itself: a hand there reaches two metres
// forward and engages its pointer, and a torso joint there puts a body in front of the hands, so
// that the hand detectors find every hand "behind" it. It is put on the nearest placed joint it
// hangs from instead (the hip centre between the hips, or on the nearest placed torso joint), or
// on the first placed joint of all.
void placeUntrackedJoints(Vector4 (&joints)[JOINT_COUNT], bool (&inferred)[JOINT_COUNT]) {
    const Vector4* firstPlaced = std::find_if_not(std::begin(joints), std::end(joints), jointMissing);
    if (firstPlaced == std::end(joints)) return;
    auto putOn = [&joints, &inferred](int j, const Vector4& place) {
        joints[j] = Vector4{place.x, place.y, place.z, joints[j].w};
        inferred[j] = true;
    };
    if (jointMissing(joints[JOINT_HIP_CENTER])) {
        const Vector4& left = joints[JOINT_HIP_LEFT];
        const Vector4& right = joints[JOINT_HIP_RIGHT];
        Vector4 place = *firstPlaced;
        if (!jointMissing(left) && !jointMissing(right)) {
            place = Vector4{(left.x + right.x) / 2, (left.y + right.y) / 2, (left.z + right.z) / 2, 0.0f};
        } else {
            for (int candidate : HIP_CENTRE_STAND_INS) {
                if (!jointMissing(joints[candidate])) {
                    place = joints[candidate];
                    break;
                }
            }
        }
        putOn(JOINT_HIP_CENTER, place);
    }
    // Parents come before their children, so each joint finds its parent already placed.
    for (int j = JOINT_HIP_CENTER + 1; j < JOINT_COUNT; ++j) {
        if (jointMissing(joints[j])) putOn(j, joints[PARENT_JOINT[j]]);
    }
}

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

bool endsValue(const char* p, const char* end) { return p == end || isBlank(*p) || *p == ','; }

// For a number from_chars found out of range: whether it is too small rather than too large.
// strtold says so by its result (0 or a denormal, against HUGE_VALL); it needs the number as a
// string of its own, which only such numbers pay for.
bool tooSmallForAnyFloat(const char* first, const char* last) {
    const std::string number(first, last);
    return std::fabs(std::strtold(number.c_str(), nullptr)) < 1.0L;
}

// A time stamp in microseconds: a whole number, or one with a fraction or an exponent, which
// is rounded to the nearest microsecond (exporters that work in floating point write those).
bool parseTimeStamp(const char*& p, const char* end, uint64_t& timeUs, std::string& reason) {
    if (p < end && *p == '-') {
        reason = "the time stamp is negative";
        return false;
    }
    uint64_t whole = 0;
    std::from_chars_result r = std::from_chars(p, end, whole);
    if (r.ec == std::errc() && endsValue(r.ptr, end)) {
        timeUs = whole;
        p = r.ptr;
        return true;
    }
    double value = 0.0;
    std::from_chars_result d = std::from_chars(p, end, value);
    // 2^64 as a double: anything from there on does not fit the 64-bit stamp.
    if (d.ec != std::errc() || !endsValue(d.ptr, end) || !std::isfinite(value) || value < 0.0 ||
        value >= 18446744073709551616.0) {
        reason = "the time stamp is not a number of microseconds";
        return false;
    }
    timeUs = static_cast<uint64_t>(std::floor(value + 0.5));  // below 2^64 still: doubles there are 2048 apart
    p = d.ptr;
    return true;
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
    // Exporters often end every value, the last one too, with a comma.
    if (end > p && end[-1] == ',') {
        --end;
        while (end > p && isBlank(end[-1])) {
            --end;
        }
    }
    // Spreadsheets in decimal-comma locales export with semicolons; name the separator rather
    // than the first value that then fails to read.
    if (std::find(p, end, ';') != end) {
        reason = "values are separated by spaces, tabs or commas, not ';'";
        return false;
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
            if (p < end && (*p == '-' || *p == '+')) {
                reason = "value " + std::to_string(count + 1) + " is not a number";
                return false;
            }
        }
        if (count == 0) {
            if (!parseTimeStamp(p, end, frame.timeUs, reason)) {
                return false;
            }
        } else {
            float value = 0.0f;
            std::from_chars_result r = std::from_chars(p, end, value);
            if (r.ec == std::errc::result_out_of_range) {
                // A double-precision exporter writes what is 0 for a float as, say, 1e-50;
                // that is 0, not a bad line. Only a value too large for a float is refused.
                long double wide = 0.0L;
                r = std::from_chars(p, end, wide);
                if (r.ec == std::errc::result_out_of_range && tooSmallForAnyFloat(p, r.ptr)) {
                    wide = *p == '-' ? -0.0L : 0.0L;  // too small even for a long double
                    r.ec = std::errc();
                }
                if (r.ec != std::errc() || std::fabs(wide) > static_cast<long double>(FLT_MAX)) {
                    reason = "value " + std::to_string(count + 1) + " is out of range for a float";
                    return false;
                }
                value = static_cast<float>(wide);
            }
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
        // Only positions count: exporters that write w = 1 for every joint write a frame with
        // nobody in it as twenty 0 0 0 1 joints, and a person has no joint at the camera itself.
        frame.tracked = frame.tracked || !jointMissing(joint);
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
    person.trackingId = csv.person;
    person.position = csv.joints[JOINT_HIP_CENTER];
    for (int j = 0; j < JOINT_COUNT; ++j) {
        person.joints[j] = csv.joints[j];
        person.jointTrackingStates[j] = csv.inferred[j] ? 1 : jointMissing(csv.joints[j]) ? 0 : 2;
    }
}

namespace {

// A frame's line is under a kilobyte; a longer one keeps only its start, so that a line without
// end (a pipe's endless output) cannot take all memory.
constexpr size_t MAX_LINE_BYTES = 65536;
// How long a stream given as a pipe may stay silent before it counts as nobody writing.
constexpr int PIPE_WAIT_MS = 5000;

// A stream's lines, NUL bytes and all, through a fixed buffer.
class LineReader {
public:
    explicit LineReader(std::FILE* input) : in(input), buffer(65536) {}

    // The next line without its '\n' (cut to MAX_LINE_BYTES, `cut` then set); false at the end
    // with nothing read.
    bool next(std::string& line, bool& cut) {
        line.clear();
        cut = false;
        bool any = false;
        for (;;) {
            if (start == end) {
                start = 0;
                end = std::fread(buffer.data(), 1, buffer.size(), in);
                if (end == 0) return any;
            }
            any = true;
            const char* from = buffer.data() + start;
            const void* newline = std::memchr(from, '\n', end - start);
            const size_t length = newline ? static_cast<size_t>(static_cast<const char*>(newline) - from) : end - start;
            const size_t room = MAX_LINE_BYTES - line.size();
            cut = cut || length > room;
            line.append(from, std::min(length, room));
            start += length + (newline ? 1 : 0);
            if (newline) return true;
        }
    }

private:
    std::FILE* in;
    std::vector<char> buffer;
    size_t start = 0;
    size_t end = 0;
};

constexpr uint64_t USUAL_FRAME_INTERVAL_US = 33333;  // 30 frames a second
// A second without frames: whoever comes after it may be someone else.
constexpr uint64_t PERSON_GAP_US = 1000000;
// A pause longer than any session: the stamps most likely changed clocks.
constexpr uint64_t LONG_GAP_US = 3600000000ull;
// Lines remarked on one by one; a file of another format would otherwise print one per line.
constexpr size_t MAX_LINE_REMARKS = 10;

// Warns when the frames are implausibly close or far apart: most often the stamps are in
// milliseconds or seconds, and the stream would play a thousand times too fast or too slow.
void checkFrameIntervals(const std::vector<CsvFrame>& frames, const std::string& path, std::FILE* warnings) {
    if (frames.size() < 3 || !warnings) {
        return;
    }
    std::vector<uint64_t> intervals;
    intervals.reserve(frames.size() - 1);
    for (size_t i = 1; i < frames.size(); ++i) {
        intervals.push_back(frames[i].timeUs - frames[i - 1].timeUs);
    }
    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    uint64_t median = intervals[intervals.size() / 2];
    if (median < 1000 || median > 1000000) {
        std::fprintf(warnings,
                     "csv '%s': the frames are a median of %llu microseconds apart; time stamps must be in "
                     "microseconds (30 frames a second are 33333 apart)\n",
                     path.c_str(), static_cast<unsigned long long>(median));
    }
}

// Warns when the person is implausibly placed: trackers that work in millimetres, or whose
// z axis points toward the camera, give streams that load but track nothing sensible.
void checkJointUnits(const std::vector<CsvFrame>& frames, const std::string& path, std::FILE* warnings) {
    if (!warnings) {
        return;
    }
    std::vector<float> depths;
    for (const CsvFrame& frame : frames) {
        if (frame.tracked && !jointMissing(frame.joints[JOINT_HIP_CENTER])) {
            depths.push_back(frame.joints[JOINT_HIP_CENTER].z);
        }
    }
    if (depths.empty()) {
        return;
    }
    std::nth_element(depths.begin(), depths.begin() + static_cast<std::ptrdiff_t>(depths.size() / 2), depths.end());
    const float median = depths[depths.size() / 2];
    if (median > 20.0f || median <= 0.0f) {
        std::fprintf(warnings,
                     "csv '%s': the hip centre is a median z of %g from the camera; joint positions must be in "
                     "metres, with z growing away from the camera (a person stands 1 to 4 m away)\n",
                     path.c_str(), static_cast<double>(median));
    }
}

}  // namespace

bool CsvSource::open(const std::string& path, std::string& error, std::FILE* warnings) {
    frames.clear();
    restartPlayback();
    std::string openError;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openReadOnceFile(path, PIPE_WAIT_MS, openError),
                                                                &std::fclose);
    if (!file) {
        error = "csv '" + path + "': " + openError;
        return false;
    }
    std::FILE* const in = file.get();
    std::string line;
    size_t lineNumber = 0;
    size_t skipped = 0;
    size_t remarks = 0;                // line remarks printed; the rest are only counted
    size_t unsaidRemarks = 0;
    auto remark = [&]() {
        if (!warnings) return false;
        if (remarks < MAX_LINE_REMARKS) return ++remarks, true;
        ++unsaidRemarks;
        return false;
    };
    uint64_t shiftUs = 0;              // added to every stamp after the clock stepped back
    // Each joint's last tracked position, kept as an offset from the hip centre of its frame so
    // that a joint lost while the person walks on stays with the body. The hip centre itself,
    // and a joint tracked while the hip centre never was, keep their absolute positions.
    Vector4 lastKnown[JOINT_COUNT];
    bool known[JOINT_COUNT] = {};
    bool fromHip[JOINT_COUNT] = {};
    // Whoever comes after nobody may be someone else: nothing of this person's is lent to them.
    uint32_t person = 1;
    auto forgetPerson = [&known, &person]() {
        std::fill(std::begin(known), std::end(known), false);
        ++person;
    };
    size_t framesWithMissingJoints = 0;
    size_t framesWithUntrackedJoints = 0;  // with a joint lost before it was ever tracked
    CsvFrame frame;
    LineReader lines(in);
    bool cut = false;
    while (lines.next(line, cut)) {
        ++lineNumber;
        if (lineNumber == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            line.erase(0, 3);  // a UTF-8 byte-order mark, as some Windows tools write
        }
        const bool recording = lineNumber == 1 && startsLikeRecording(line + '\n');
        if (lineNumber == 1 && (recording || line.find('\0') != std::string::npos)) {
            // Said once, rather than a warning for each of its "lines".
            error = "csv '" + path + "': " +
                    (recording ? "a recording, not a text skeleton stream (a recording plays with replay:FILE)"
                               : "a binary file, not a text skeleton stream");
            return false;
        }
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        std::string reason;
        bool ok = !cut && parseCsvFrame(line, frame, reason);
        if (cut) reason = "the line is longer than " + std::to_string(MAX_LINE_BYTES) + " bytes";
        if (ok && frame.timeUs + shiftUs < frame.timeUs) {
            ok = false;
            reason = "the time stamp is out of range after the clock's earlier step back";
        }
        if (!ok) {
            ++skipped;
            if (remark()) {
                std::fprintf(warnings, "csv '%s': line %zu: %s (line skipped)\n", path.c_str(), lineNumber,
                             reason.c_str());
            }
            continue;
        }
        frame.timeUs += shiftUs;
        if (!frames.empty() && frame.timeUs < frames.back().timeUs) {
            // The tracker's clock restarted or stepped back: keep the frames, in file order,
            // one usual interval after the previous one.
            uint64_t interval = USUAL_FRAME_INTERVAL_US;
            if (frames.size() >= 2) {
                uint64_t last = frames.back().timeUs - frames[frames.size() - 2].timeUs;
                if (last > 0 && last <= 1000000) {
                    interval = last;
                }
            }
            uint64_t wanted = frames.back().timeUs + interval;
            if (remark()) {
                std::fprintf(warnings,
                             "csv '%s': line %zu: the time stamp goes back by %llu microseconds; the stream goes "
                             "on one frame later\n",
                             path.c_str(), lineNumber,
                             static_cast<unsigned long long>(frames.back().timeUs - frame.timeUs));
            }
            if (wanted < frames.back().timeUs) {
                wanted = frames.back().timeUs;  // at the very top of the range
            }
            shiftUs += wanted - frame.timeUs;
            frame.timeUs = wanted;
        } else if (!frames.empty() && frame.timeUs - frames.back().timeUs > LONG_GAP_US && remark()) {
            // Played as written, the person stands frozen until then; an exporter that switched
            // to another clock mid-stream looks like this, so the load says so.
            std::fprintf(warnings,
                         "csv '%s': line %zu: the time stamp jumps forward by %.1f hours; the frames from "
                         "there on play that much later\n",
                         path.c_str(), lineNumber, static_cast<double>(frame.timeUs - frames.back().timeUs) / 3.6e9);
        }
        // Some exporters leave out the frames with nobody in them: a gap in the time stamps
        // ends a person as a frame with nobody does.
        if (!frames.empty() && frame.timeUs - frames.back().timeUs > PERSON_GAP_US) forgetPerson();
        if (frame.tracked) {
            // Exporters write a joint the tracker lost as 0 0 0: the camera's own position. It
            // keeps its last tracked place on the body instead, like the runtime's inferred joints.
            bool missing = false;
            bool neverTracked = false;
            for (int j = 0; j < JOINT_COUNT; ++j) {
                static_assert(JOINT_HIP_CENTER == 0, "the hip centre must be settled before the joints held from it");
                const Vector4& hip = frame.joints[JOINT_HIP_CENTER];
                const bool hipPlaced = j != JOINT_HIP_CENTER && !jointMissing(hip);  // tracked or held
                Vector4& joint = frame.joints[j];
                frame.inferred[j] = false;
                if (!jointMissing(joint)) {
                    fromHip[j] = hipPlaced;
                    lastKnown[j] = hipPlaced ? Vector4{joint.x - hip.x, joint.y - hip.y, joint.z - hip.z, joint.w}
                                             : joint;
                    known[j] = true;
                } else if (known[j] && (hipPlaced || !fromHip[j])) {
                    const Vector4& held = lastKnown[j];
                    joint = fromHip[j] ? Vector4{hip.x + held.x, hip.y + held.y, hip.z + held.z, held.w} : held;
                    frame.inferred[j] = true;
                    missing = true;
                } else {
                    missing = true;
                    neverTracked = true;
                }
            }
            if (neverTracked) placeUntrackedJoints(frame.joints, frame.inferred);
            framesWithMissingJoints += missing ? 1 : 0;
            framesWithUntrackedJoints += neverTracked ? 1 : 0;
        } else {
            forgetPerson();
        }
        frame.person = person;
        frames.push_back(frame);
    }
    if (std::ferror(in) != 0) {
        error = "csv '" + path + "': read failed after line " + std::to_string(lineNumber);
        return false;
    }
    if (frames.empty()) {
        error = "csv '" + path + "': no valid frame" +
                (skipped ? " (" + std::to_string(skipped) + " malformed lines)" : std::string());
        return false;
    }
    if (unsaidRemarks > 0 && warnings) {
        std::fprintf(warnings, "csv '%s': %zu more lines like those above\n", path.c_str(), unsaidRemarks);
    }
    if (framesWithMissingJoints > 0 && warnings) {
        std::fprintf(warnings,
                     "csv '%s': %zu frames have joints at 0 0 0 (not tracked); each keeps its last tracked "
                     "place on the body\n",
                     path.c_str(), framesWithMissingJoints);
        if (framesWithUntrackedJoints > 0) {
            std::fprintf(warnings,
                         "csv '%s': in %zu of them a joint had not been tracked yet; until it is, it sits on the "
                         "joint it hangs from\n",
                         path.c_str(), framesWithUntrackedJoints);
        }
    }
    checkFrameIntervals(frames, path, warnings);
    checkJointUnits(frames, path, warnings);
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
