// Writes the seed corpus of the fuzz targets with the real writers, so the seeds follow the
// formats exactly: make_fuzz_seeds OUTDIR fills OUTDIR/gesture_sets, OUTDIR/recording and
// OUTDIR/csv (scenario seeds are the scripts in scenarios/).
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/files/replace_file.h"
#include "common/gesture/gesture.h"
#include "common/gesture/gesture_set_file.h"
#include "common/sensor/frame_source.h"
#include "common/sensor/recording.h"

namespace {

Gesture makeGesture(GestureType type, int poses, int skeletons, float phase) {
    Gesture g;
    g.type = type;
    for (int i = 0; i < poses; ++i) {
        ArmPose p{};
        for (size_t v = 0; v < p.size(); ++v) p[v] = std::sin(phase + 0.3f * i + 0.1f * v);
        g.poses.push_back(p);
    }
    for (int i = 0; i < skeletons; ++i) {
        SkeletonRecord r;
        r.trackingState = SKELETON_TRACKED;
        for (int j = 0; j < JOINT_COUNT; ++j) r.joints[j] = {0.1f * j, 0.05f * i, 2.0f, 1.0f};
        g.skeletons.push_back(r);
    }
    return g;
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string error;
    if (!replaceFileContents(path, bytes, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

SkeletonFrame personFrame(float shift) {
    SkeletonFrame frame;
    SkeletonRecord& r = frame.slots[0];
    r.trackingState = SKELETON_TRACKED;
    r.trackingId = 1;
    for (int j = 0; j < JOINT_COUNT; ++j) {
        r.joints[j] = {0.05f * j - 0.5f + shift, 0.08f * j - 0.8f, 2.2f, 1.0f};
        r.jointTrackingStates[j] = 2;
    }
    r.position = r.joints[0];
    return frame;
}

bool writeRecording(const std::string& path, uint32_t contents, int frames) {
    RecordingWriter writer;
    std::string error;
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    std::vector<uint16_t> depth(FRAME_PIXELS);
    if (!writer.open(path, contents, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    for (int i = 0; i < frames; ++i) {
        SkeletonFrame frame = personFrame(0.01f * i);
        for (size_t p = 0; p < depth.size(); ++p) depth[p] = static_cast<uint16_t>((2000 + p / 153600 + i) << 3);
        for (size_t p = 0; p < colour.size(); ++p) colour[p] = static_cast<uint8_t>(p / 76800 + i);
        // Frame 1 drops every fetch, frame 2 only the colour one: replay must fail those.
        const SkeletonFrame* s = i == 1 ? nullptr : &frame;
        const uint8_t* c = (i == 1 || i == 2) ? nullptr : colour.data();
        const uint16_t* d = i == 1 ? nullptr : depth.data();
        if (!writer.writeFrame(33333ull * i, s, c, d, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
    }
    if (!writer.finish(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

bool writeText(const std::string& path, const std::string& text) {
    return writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string csvLine(uint64_t timeUs, bool tracked, const char* sep) {
    std::string line = std::to_string(timeUs);
    for (int j = 0; j < JOINT_COUNT; ++j) {
        float v[4] = {tracked ? 0.05f * j - 0.5f : 0.0f, tracked ? 0.08f * j - 0.8f : 0.0f,
                      tracked ? 2.2f : 0.0f, tracked ? 1.0f : 0.0f};
        for (float f : v) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%s%.3f", sep, f);
            line += buf;
        }
    }
    return line + "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds OUTDIR\n");
        return 2;
    }
    std::string out = argv[1];
    bool ok = true;

    GestureSetList one(1);
    one[0].gestures.push_back(makeGesture(GestureType::RIGHT, 6, 2, 0.0f));
    one[0].gestures.push_back(makeGesture(GestureType::RIGHT, 4, 0, 1.0f));
    ok &= writeBytes(out + "/gesture_sets/one_set.bin", encodeGestureSets(one));
    GestureSetList three(3);
    three[0].gestures.push_back(makeGesture(GestureType::LEFT, 3, 1, 0.5f));
    three[1].gestures.push_back(makeGesture(GestureType::BOTH, 5, 0, 2.0f));
    three[2].gestures.push_back(makeGesture(GestureType::UNDEFINED, 1, 0, 3.0f));
    three[2].gestures.push_back(makeGesture(GestureType::UNDEFINED, 2, 1, 4.0f));
    ok &= writeBytes(out + "/gesture_sets/three_sets.bin", encodeGestureSets(three));
    ok &= writeBytes(out + "/gesture_sets/empty_list.bin", encodeGestureSets({}));

    ok &= writeRecording(out + "/recording/skeletons_only.rec", 0, 4);
    ok &= writeRecording(out + "/recording/with_images.rec", RECORDING_STORES_IMAGES, 3);
    ok &= writeRecording(out + "/recording/depth_only.rec", RECORDING_STORES_DEPTH, 2);
    // A recording cut short: the last frame and the end marker are missing.
    std::vector<uint8_t> cut;
    std::string error;
    if (readFileBytes(out + "/recording/skeletons_only.rec", cut, error)) {
        cut.resize(cut.size() - 8 - 100);
        ok &= writeBytes(out + "/recording/cut_short.rec", cut);
    } else {
        ok = false;
    }

    ok &= writeText(out + "/csv/two_frames.csv",
                    "# time then 20 joints x y z w\n" + csvLine(0, true, " ") + "\n" + csvLine(33333, true, " "));
    ok &= writeText(out + "/csv/commas.csv", csvLine(1000, true, ", ") + csvLine(2000, false, ","));
    ok &= writeText(out + "/csv/bad_lines.csv",
                    csvLine(5000, true, "\t") + "1 2 3\n" + csvLine(4000, true, " ") + "nan" + csvLine(6000, true, " ").substr(4));
    return ok ? 0 : 1;
}
