#pragma once
// An independent model of the sensor layer, written from its description rather than from
// SensorInput's code, so that a frame-by-frame comparison can tell when either one drifts.
//
// The model is fed what a frame source delivered (or that a fetch failed) and keeps what
// SensorInput should hand out afterwards: the followed slot, the current body record, the
// colour image, the colour-coded depth view, the depth in millimetres and the console lines.
// It also models what a csv skeleton stream delivers and when its frames play.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/sensor/skeleton_record.h"

namespace refsensor {

constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;
constexpr int PIXELS = WIDTH * HEIGHT;

// ---------------------------------------------------------------------------------------------
// Projection to the 640 x 480 image: u = 320 + x * 2 * 285.63 / z, v = 240 - y * 2 * 285.63 / z
// for z > 1.1920929e-7, else (0, 0). Worked in double; callers compare with a small tolerance.
struct ImagePoint {
    double u = 0.0;
    double v = 0.0;
};

inline ImagePoint project(float x, float y, float z) {
    ImagePoint p;
    if (z > 1.1920929e-7f) {
        p.u = 320.0 + double(x) * 2.0 * 285.63 / double(z);
        p.v = 240.0 - double(y) * 2.0 * 285.63 / double(z);
    }
    return p;
}

// ---------------------------------------------------------------------------------------------
// Depth coding of one raw pixel (millimetres in bits 3..15, player index in bits 0..2).
struct CodedPixel {
    uint16_t millimetres = 0;
    uint8_t b = 0, g = 0, r = 0, a = 0;
};

inline CodedPixel codePixel(uint16_t raw) {
    CodedPixel out;
    const int d = raw >> 3;
    const int player = raw & 7;
    out.millimetres = static_cast<uint16_t>(d);
    // value = 255 - e * 255 / 3200 truncated toward zero, with e = max(d - 800, 0). Done in
    // integers: (255 * 3200 - 255 e) / 3200, and C++ integer division truncates toward zero.
    const int e = d > 800 ? d - 800 : 0;
    const int value = (255 * 3200 - 255 * e) / 3200;
    const uint8_t grey = static_cast<uint8_t>(static_cast<unsigned>(value) & 0xFFu);
    if (d == 0) {
        out.b = 0;
        out.g = 0;
        out.r = 255;
    } else {
        out.b = out.g = out.r = grey;
    }
    out.a = 0;
    if (player != 0) {
        out.b = 10;
        out.r = 10;
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Slot choice: the followed slot while it is tracked, else the highest-numbered tracked slot,
// else -1 (none).
inline int chooseSlot(const SkeletonFrame& frame, int trackedSlot) {
    if (trackedSlot >= 0 && trackedSlot < SKELETON_SLOT_COUNT &&
        frame.slots[trackedSlot].trackingState == SKELETON_TRACKED) {
        return trackedSlot;
    }
    for (int slot = SKELETON_SLOT_COUNT - 1; slot >= 0; --slot) {
        if (frame.slots[slot].trackingState == SKELETON_TRACKED) return slot;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------------
// The smoothing below is the one exception to the model's independence: the runtime's smoothing
// is ours to choose, with no description to write a model from, so this follows the program's
// own smoother stage for stage. A difference here means the smoother was changed, not that it is
// wrong; its behaviour is judged by the smoothing and performer tests.
//
// The camera runtime's joint smoothing with its default parameters: per slot and joint, a jitter
// filter (steps under the jitter radius move the estimate only in proportion to their size),
// then a double exponential (Holt) filter with smoothing, correction and prediction of 0.5, and
// finally the output is pulled back to within the maximum deviation radius of the raw joint.
// A joint's history starts afresh when its slot's person changes, the slot is not tracked or
// the joint itself is not tracked (joint state 0). A joint with a coordinate that is not a
// finite number passes as it came and restarts its history, so one bad reading cannot stay in
// the filter. A delivered frame with nobody tracked restarts every history: whoever comes back
// starts afresh rather than from where someone stood seconds ago.
struct SmoothingParameters {
    double smoothing = 0.5;
    double correction = 0.5;
    double prediction = 0.5;
    double jitterRadius = 0.05;
    double maxDeviationRadius = 0.04;
};

struct Vec {
    double x = 0.0, y = 0.0, z = 0.0;
};
inline Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec operator*(Vec a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double length(Vec a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

struct JointTrack {
    Vec raw, filtered, trend;
    int frames = 0;
};

struct SlotTrack {
    uint32_t trackingId = 0;
    JointTrack joints[JOINT_COUNT];
};

struct Smoother {
    SmoothingParameters parameters;
    SlotTrack slots[SKELETON_SLOT_COUNT];

    void smoothFrame(SkeletonFrame& frame) {
        for (int s = 0; s < SKELETON_SLOT_COUNT; ++s) {
            SkeletonRecord& record = frame.slots[s];
            SlotTrack& track = slots[s];
            if (record.trackingState != SKELETON_TRACKED) {
                track = SlotTrack{};
                continue;
            }
            if (record.trackingId != track.trackingId) {
                track = SlotTrack{};
                track.trackingId = record.trackingId;
            }
            for (int j = 0; j < JOINT_COUNT; ++j) {
                const Vector4& p = record.joints[j];
                if (record.jointTrackingStates[j] == 0 || !std::isfinite(p.x) || !std::isfinite(p.y) ||
                    !std::isfinite(p.z)) {
                    track.joints[j] = JointTrack{};
                    continue;
                }
                smoothJoint(track.joints[j], record.joints[j]);
            }
        }
    }

    void smoothJoint(JointTrack& h, Vector4& joint) const {
        const SmoothingParameters& p = parameters;
        const Vec raw{joint.x, joint.y, joint.z};
        Vec filtered, trend;
        if (h.frames == 0) {
            filtered = raw;
        } else if (h.frames == 1) {
            filtered = (raw + h.raw) * 0.5;
            trend = (filtered - h.filtered) * p.correction + h.trend * (1.0 - p.correction);
        } else {
            const double step = length(raw - h.filtered);
            if (step <= p.jitterRadius) {
                filtered = raw * (step / p.jitterRadius) + h.filtered * (1.0 - step / p.jitterRadius);
            } else {
                filtered = raw;
            }
            filtered = filtered * (1.0 - p.smoothing) + (h.filtered + h.trend) * p.smoothing;
            trend = (filtered - h.filtered) * p.correction + h.trend * (1.0 - p.correction);
        }
        Vec out = filtered + trend * p.prediction;
        const double deviation = length(out - raw);
        if (deviation > p.maxDeviationRadius) {
            const double k = p.maxDeviationRadius / deviation;
            out = out * k + raw * (1.0 - k);
        }
        h.raw = raw;
        h.filtered = filtered;
        h.trend = trend;
        h.frames = h.frames < 2 ? h.frames + 1 : 2;
        joint.x = static_cast<float>(out.x);
        joint.y = static_cast<float>(out.y);
        joint.z = static_cast<float>(out.z);
    }
};

// ---------------------------------------------------------------------------------------------
// What SensorInput should hold and print after each fetch.
constexpr const char* COLOUR_FAILED_LINE = "Something went wrong for Video Frame...";
constexpr const char* DEPTH_FAILED_LINE = "Something went wrong for Depth Frame...";
constexpr const char* STREAM_ENDED_LINE = "The sensor stream has ended; its last frame stays.";

struct Sensor {
    int trackedSlot = -1;
    SkeletonRecord skeleton{};  // all zero at start
    std::vector<uint8_t> colour = std::vector<uint8_t>(PIXELS * 4, 0);
    std::vector<uint8_t> depthView = std::vector<uint8_t>(PIXELS * 4, 0);
    std::vector<uint16_t> millimetres = std::vector<uint16_t>(PIXELS, 0);
    std::vector<std::string> lines;  // console lines, in order
    bool endNoticeGiven = false;
    Smoother smoother;


    // `frame` is what the source delivered; ignored when the fetch failed.
    void skeletonFetched(bool delivered, const SkeletonFrame& frame) {
        if (!delivered) return;
        const int slot = chooseSlot(frame, trackedSlot);
        if (slot < 0) {
            smoother = Smoother{};
            return;
        }
        trackedSlot = slot;
        SkeletonFrame smoothed = frame;
        smoother.smoothFrame(smoothed);
        skeleton = smoothed.slots[slot];
    }

    void colourFetched(bool delivered, const uint8_t* bgrx, bool streamEnded) {
        if (!delivered) {
            failedImage(COLOUR_FAILED_LINE, streamEnded);
            return;
        }
        std::memcpy(colour.data(), bgrx, colour.size());
    }

    void depthFetched(bool delivered, const uint16_t* raw, bool streamEnded) {
        if (!delivered) {
            failedImage(DEPTH_FAILED_LINE, streamEnded);
            return;
        }
        static const std::vector<CodedPixel> table = [] {
            std::vector<CodedPixel> all(65536);
            for (uint32_t raw = 0; raw < 65536; ++raw) all[raw] = codePixel(uint16_t(raw));
            return all;
        }();
        const CodedPixel* coded = table.data();
        uint16_t* mm = millimetres.data();
        uint8_t* view = depthView.data();
        for (int i = 0; i < PIXELS; ++i) {
            const CodedPixel& c = coded[raw[i]];
            mm[i] = c.millimetres;
            view[4 * i + 0] = c.b;
            view[4 * i + 1] = c.g;
            view[4 * i + 2] = c.r;
            view[4 * i + 3] = c.a;
        }
    }

    // A played stream that has ended says so once, and then stays quiet.
    void failedImage(const char* line, bool streamEnded) {
        if (!streamEnded) {
            lines.push_back(line);
        } else if (!endNoticeGiven) {
            lines.push_back(STREAM_ENDED_LINE);
            endNoticeGiven = true;
        }
    }
};

// ---------------------------------------------------------------------------------------------
// csv skeleton streams: one frame per line, a time stamp in microseconds and 20 joints x
// (x y z w). All joint positions 0 0 0 (any w): nobody tracked. Otherwise the person is slot 0, tracked, tracking
// id 1, the hip centre as body position; a joint written 0 0 0 takes its last tracked position
// as inferred (state 1), or state 0 while it has none; the others are tracked (state 2).
struct CsvLine {
    uint64_t timeUs = 0;
    float values[80] = {};
    int valuesRead = 0;  // a short line is one the reader skips
};

// Reads the data lines of a well-formed stream (comments and blank lines skipped).
inline std::vector<CsvLine> readCsvLines(const std::string& text) {
    std::vector<CsvLine> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        for (char& c : line) {
            if (c == ',' || c == '\t' || c == '\r') c = ' ';
        }
        const size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line[first] == '#') continue;
        const char* p = line.c_str();
        char* next = nullptr;
        CsvLine frame;
        frame.timeUs = static_cast<uint64_t>(std::llround(std::strtod(p, &next)));
        p = next;
        for (float& v : frame.values) {
            v = std::strtof(p, &next);
            if (next == p) break;
            p = next;
            ++frame.valuesRead;
        }
        out.push_back(frame);
    }
    return out;
}

struct CsvStreamModel {
    // A lost joint (0 0 0) keeps its last tracked offset from the hip centre, which is settled
    // first; the hip centre keeps its absolute place. A frame with nobody forgets everything.
    // More than a second between stamps forgets everything too. Each forgetting makes whoever
    // comes next a new person: a new tracking id.
    uint32_t personNumber = 1;
    bool haveLast[JOINT_COUNT] = {};
    bool offsetFromHip[JOINT_COUNT] = {};
    Vector4 lastOffset[JOINT_COUNT];
    bool anyLine = false;
    uint64_t lastTimeUs = 0;

    SkeletonFrame frameFor(const CsvLine& line) {
        if (anyLine && line.timeUs > lastTimeUs + 1000000) {
            for (bool& have : haveLast) have = false;
            ++personNumber;
        }
        anyLine = true;
        lastTimeUs = line.timeUs;
        SkeletonFrame frame{};
        bool anyone = false;
        for (int j = 0; j < JOINT_COUNT; ++j) {
            const float* v = &line.values[4 * j];
            anyone = anyone || v[0] != 0.0f || v[1] != 0.0f || v[2] != 0.0f;  // w does not count
        }
        if (!anyone) {
            for (bool& have : haveLast) have = false;
            ++personNumber;
            return frame;
        }
        SkeletonRecord& person = frame.slots[0];
        person.trackingState = SKELETON_TRACKED;
        person.trackingId = personNumber;
        for (int j = 0; j < JOINT_COUNT; ++j) {
            const float* v = &line.values[4 * j];
            // Offsets only from a hip centre that is placed (tracked or held); otherwise the
            // joint is held where it was.
            const Vector4& hip = person.joints[JOINT_HIP_CENTER];
            const bool hipPlaced = j != JOINT_HIP_CENTER && (hip.x != 0.0f || hip.y != 0.0f || hip.z != 0.0f);
            const Vector4 origin = hipPlaced ? hip : Vector4{};
            if (v[0] == 0.0f && v[1] == 0.0f && v[2] == 0.0f) {
                if (haveLast[j] && (hipPlaced || !offsetFromHip[j])) {
                    const Vector4& d = lastOffset[j];
                    person.joints[j] = Vector4{origin.x + d.x, origin.y + d.y, origin.z + d.z, d.w};
                    person.jointTrackingStates[j] = 1;
                } else {
                    person.joints[j] = Vector4{v[0], v[1], v[2], v[3]};
                    person.jointTrackingStates[j] = 0;
                }
            } else {
                person.joints[j] = Vector4{v[0], v[1], v[2], v[3]};
                person.jointTrackingStates[j] = 2;
                lastOffset[j] = Vector4{v[0] - origin.x, v[1] - origin.y, v[2] - origin.z, v[3]};
                offsetFromHip[j] = hipPlaced;
                haveLast[j] = true;
            }
        }
        placeNeverTracked(person);
        person.position = person.joints[JOINT_HIP_CENTER];
        return frame;
    }

    // A joint never tracked (state 0 so far) takes the place of the joint it hangs from; the hip
    // centre the middle between the hips when both are placed, else the place of the spine, the
    // left hip, the right hip or the shoulder centre, whichever is placed first; failing all,
    // that of the first placed joint. It then counts as inferred.
    static void placeNeverTracked(SkeletonRecord& person) {
        auto placed = [&person](int j) { return person.jointTrackingStates[j] != 0; };
        int firstPlaced = -1;
        for (int j = 0; j < JOINT_COUNT && firstPlaced < 0; ++j) {
            if (placed(j)) firstPlaced = j;
        }
        if (firstPlaced < 0) return;
        const Vector4 fallback = person.joints[firstPlaced];
        auto take = [&person](int j, const Vector4& from) {
            person.joints[j] = Vector4{from.x, from.y, from.z, person.joints[j].w};
            person.jointTrackingStates[j] = 1;
        };
        if (!placed(JOINT_HIP_CENTER)) {
            const Vector4& l = person.joints[JOINT_HIP_LEFT];
            const Vector4& r = person.joints[JOINT_HIP_RIGHT];
            int from = -1;
            for (int c : {JOINT_SPINE, JOINT_HIP_LEFT, JOINT_HIP_RIGHT, JOINT_SHOULDER_CENTER}) {
                if (from < 0 && placed(c)) from = c;
            }
            if (placed(JOINT_HIP_LEFT) && placed(JOINT_HIP_RIGHT)) {
                take(JOINT_HIP_CENTER, Vector4{(l.x + r.x) / 2, (l.y + r.y) / 2, (l.z + r.z) / 2, 0.0f});
            } else {
                take(JOINT_HIP_CENTER, from >= 0 ? person.joints[from] : fallback);
            }
        }
        const std::pair<int, int> hangsFrom[] = {
            {JOINT_SPINE, JOINT_HIP_CENTER},          {JOINT_SHOULDER_CENTER, JOINT_SPINE},
            {JOINT_HEAD, JOINT_SHOULDER_CENTER},      {JOINT_SHOULDER_LEFT, JOINT_SHOULDER_CENTER},
            {JOINT_ELBOW_LEFT, JOINT_SHOULDER_LEFT},  {JOINT_WRIST_LEFT, JOINT_ELBOW_LEFT},
            {JOINT_HAND_LEFT, JOINT_WRIST_LEFT},      {JOINT_SHOULDER_RIGHT, JOINT_SHOULDER_CENTER},
            {JOINT_ELBOW_RIGHT, JOINT_SHOULDER_RIGHT}, {JOINT_WRIST_RIGHT, JOINT_ELBOW_RIGHT},
            {JOINT_HAND_RIGHT, JOINT_WRIST_RIGHT},    {JOINT_HIP_LEFT, JOINT_HIP_CENTER},
            {JOINT_KNEE_LEFT, JOINT_HIP_LEFT},        {JOINT_ANKLE_LEFT, JOINT_KNEE_LEFT},
            {JOINT_FOOT_LEFT, JOINT_ANKLE_LEFT},      {JOINT_HIP_RIGHT, JOINT_HIP_CENTER},
            {JOINT_KNEE_RIGHT, JOINT_HIP_RIGHT},      {JOINT_ANKLE_RIGHT, JOINT_KNEE_RIGHT},
            {JOINT_FOOT_RIGHT, JOINT_ANKLE_RIGHT}};
        for (const auto& [joint, parent] : hangsFrom) {
            if (!placed(joint)) take(joint, person.joints[parent]);
        }
    }
};

// Which frame of a stream is current after advance(nowMs): frames play at their time stamps
// relative to the first advance; the newest whose time has come; -1 before the first advance.
inline long currentStreamFrame(const std::vector<uint64_t>& timesUs, uint32_t firstAdvanceMs,
                               uint32_t nowMs) {
    if (timesUs.empty()) return -1;
    const uint64_t elapsedUs = uint64_t(uint32_t(nowMs - firstAdvanceMs)) * 1000u;
    long current = 0;
    for (size_t i = 1; i < timesUs.size(); ++i) {
        if (timesUs[i] - timesUs[0] <= elapsedUs) current = long(i);
    }
    return current;
}

}  // namespace refsensor
