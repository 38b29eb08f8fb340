// Gesture-set files against a byte writer of their own: field order, little-endian counts and
// values, which joint coordinates are kept, and how a loaded set takes its type.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/gesture/gesture_set_file.h"
#include "recognizer_test_helpers.h"

using namespace gesture_test;

namespace {

std::string tempPath(const std::string& name) { return std::string(BINARY_DIR) + "/gesture_file_edge_" + name; }

// Little-endian writer, byte by byte.
struct Bytes {
    std::vector<uint8_t> data;
    void i32(int32_t v) {
        const uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>((u >> (8 * i)) & 0xffu));
    }
    void f32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>((u >> (8 * i)) & 0xffu));
    }
};

// The layout as written: per gesture its poses (18 floats each), its skeletons (joints 0..19,
// x y z each) and its type.
std::vector<uint8_t> referenceFile(const GestureSetList& sets) {
    Bytes b;
    b.i32(static_cast<int32_t>(sets.size()));
    for (const GestureSet& set : sets) {
        b.i32(static_cast<int32_t>(set.gestures.size()));
        for (const Gesture& g : set.gestures) {
            b.i32(static_cast<int32_t>(g.poses.size()));
            for (const ArmPose& p : g.poses)
                for (int v = 0; v < 18; ++v) b.f32(p[v]);
            b.i32(static_cast<int32_t>(g.skeletons.size()));
            for (const SkeletonRecord& s : g.skeletons)
                for (int j = 0; j < 20; ++j) {
                    b.f32(s.joints[j].x);
                    b.f32(s.joints[j].y);
                    b.f32(s.joints[j].z);
                }
            b.i32(static_cast<int32_t>(g.type));
        }
    }
    return b.data;
}

std::vector<uint8_t> readBack(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Every pose value and joint coordinate distinct, so a swapped field shows.
Gesture distinctGesture(int poses, int skeletons, GestureType type, float base) {
    Gesture g;
    g.type = type;
    for (int k = 0; k < poses; ++k) {
        ArmPose p;
        for (int v = 0; v < 18; ++v) p[v] = base + 0.25f * static_cast<float>(k * 18 + v) - 7.0f;
        g.poses.push_back(p);
    }
    for (int k = 0; k < skeletons; ++k) {
        SkeletonRecord s;
        for (int j = 0; j < 20; ++j)
            s.joints[j] = {base + 0.01f * static_cast<float>(k * 60 + j), -0.5f - 0.02f * static_cast<float>(j),
                           2.0f + 0.001f * static_cast<float>(k), 1.0f};
        g.skeletons.push_back(s);
    }
    return g;
}

}  // namespace

TEST(GestureSetFileEdgeCases, SavedBytesFollowTheWrittenLayout) {
    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    GestureSet first;
    first.type = GestureType::LEFT;
    first.gestures = {distinctGesture(3, 5, GestureType::LEFT, 1.0f), distinctGesture(1, 0, GestureType::LEFT, 50.0f)};
    GestureSet second;
    second.type = GestureType::BOTH;
    second.gestures = {distinctGesture(64, 91, GestureType::BOTH, -20.0f)};  // resampled, 91 frames
    GestureSet third;
    third.type = GestureType::UNDEFINED;
    third.gestures = {distinctGesture(2, 2, GestureType::UNDEFINED, 3.0f)};
    r.TrainedGestureSets = {first, second, third};
    const std::string path = tempPath("layout.bin");
    ASSERT_TRUE(r.saveGestureSets(path));
    EXPECT_EQ(readBack(path), referenceFile(r.TrainedGestureSets));
    EXPECT_EQ(console.str(), "Saved 4 gestures in 3 sets to disk!\n");
    std::remove(path.c_str());
}

TEST(GestureSetFileEdgeCases, LoadingReadsTheWrittenLayoutAndTypesSetsByTheirFirstGesture) {
    // Hand-made: a set whose gestures disagree takes the first one's type.
    GestureSetList written(2);
    written[0].gestures = {distinctGesture(4, 4, GestureType::RIGHT, 2.0f), distinctGesture(2, 0, GestureType::LEFT, 9.0f)};
    written[1].gestures = {distinctGesture(1, 1, GestureType::BOTH, -3.0f)};
    const std::string path = tempPath("handmade.bin");
    writeFile(path, referenceFile(written));

    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    r.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 2));
    r.currentSetIndex = 0;
    r.currentGestureIndex = 1;
    ASSERT_TRUE(r.loadGestureSets(path)) << console.str();
    EXPECT_EQ(console.str(), "Loaded 3 gestures in 2 sets from disk!\n");  // DTW: no variances
    ASSERT_EQ(r.setCount(), 2);
    EXPECT_EQ(r.currentSetIndex, 0);
    EXPECT_EQ(r.currentGestureIndex, 0);
    EXPECT_EQ(r.TrainedGestureSets[0].type, GestureType::RIGHT);
    EXPECT_EQ(r.TrainedGestureSets[1].type, GestureType::BOTH);
    for (size_t s = 0; s < written.size(); ++s) {
        ASSERT_EQ(r.TrainedGestureSets[s].gestures.size(), written[s].gestures.size());
        for (size_t g = 0; g < written[s].gestures.size(); ++g) {
            const Gesture& want = written[s].gestures[g];
            const Gesture& got = r.TrainedGestureSets[s].gestures[g];
            EXPECT_EQ(got.type, want.type);
            EXPECT_EQ(got.poses, want.poses);
            ASSERT_EQ(got.skeletons.size(), want.skeletons.size());
            for (size_t k = 0; k < want.skeletons.size(); ++k)
                for (int j = 0; j < 20; ++j) {
                    EXPECT_EQ(got.skeletons[k].joints[j].x, want.skeletons[k].joints[j].x);
                    EXPECT_EQ(got.skeletons[k].joints[j].y, want.skeletons[k].joints[j].y);
                    EXPECT_EQ(got.skeletons[k].joints[j].z, want.skeletons[k].joints[j].z);
                }
        }
    }
    // An empty file list is a valid file: loading it leaves no sets.
    writeFile(path, referenceFile({}));
    ASSERT_TRUE(r.loadGestureSets(path));
    EXPECT_EQ(r.setCount(), 0);
    std::remove(path.c_str());
}

TEST(GestureSetFileEdgeCases, EqualLengthMeasuresPrintEachSetsFirstFourVariances) {
    // 64 poses, elbow left 0..63 (variance (64^2 - 1) / 12 = 341.25), elevation left held at 7
    // (0), adduction left alternating 2 and -2 (4), rotation left 0.
    Gesture g;
    g.type = GestureType::LEFT;
    for (int k = 0; k < 64; ++k) g.poses.push_back(anglePose({static_cast<float>(k), 0, 7, 0, k % 2 ? 2.0f : -2.0f}));
    GestureSetList written(2);
    written[0].gestures = {g};
    Gesture h = g;
    for (ArmPose& p : h.poses) p[POSE_ADDUCTION_LEFT] *= 3.0f;  // variance 36
    written[1].gestures = {h, g};                                // pooled: (36 + 4) / 2 = 20
    const std::string path = tempPath("variances.bin");
    writeFile(path, referenceFile(written));
    GestureRecognizer r;
    std::ostringstream console;
    r.console = &console;
    r.setSimilarityMeasure(SimilarityMeasure::PEARSON_CORRELATION);
    ASSERT_TRUE(r.loadGestureSets(path));
    EXPECT_EQ(console.str(),
              "*** VARIANCES FOR ALL GESTURE CLASSES ***\n"
              "Set 0: 341.25\t0\t4\t0\n"
              "Set 1: 341.25\t0\t20\t0\n"
              "Loaded 3 gestures in 2 sets from disk!\n");
    std::remove(path.c_str());
}
