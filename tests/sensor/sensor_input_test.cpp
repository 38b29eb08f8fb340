#include "common/sensor/sensor_input.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "common/sensor/frame_sources.h"
#include "common/sensor/recording.h"

namespace {

// A source that delivers exactly what the test queues, and fails a fetch when its queue is
// empty (the runtime's time-out).
class ScriptedSource : public FrameSource {
public:
    std::deque<SkeletonFrame> skeletons;
    std::deque<uint8_t> colours;   // one fill byte per colour frame
    std::deque<std::vector<uint16_t>> depths;
    int tilt = 0;

    void advance(uint32_t) override {}
    bool nextSkeletonFrame(SkeletonFrame& frame) override {
        if (skeletons.empty()) return false;
        frame = skeletons.front();
        skeletons.pop_front();
        return true;
    }
    bool nextColourFrame(uint8_t* bgrx) override {
        if (colours.empty()) return false;
        std::memset(bgrx, colours.front(), COLOUR_FRAME_BYTES);
        colours.pop_front();
        return true;
    }
    bool nextDepthFrame(uint16_t* packedDepth) override {
        if (depths.empty()) return false;
        std::memcpy(packedDepth, depths.front().data(), DEPTH_FRAME_BYTES);
        depths.pop_front();
        return true;
    }
    int tiltAngle() const override { return tilt; }
    void setTiltAngle(int degrees) override { tilt = degrees; }
};

// A frame in which the listed slots are tracked; each slot's record carries its slot number
// in trackingId and hip x so the test can tell whose record was taken.
SkeletonFrame frameWithTracked(std::initializer_list<int> slots, float hipX = 0.0f) {
    SkeletonFrame frame;
    for (int slot = 0; slot < SKELETON_SLOT_COUNT; ++slot) {
        frame.slots[slot].trackingId = 100 + slot;
    }
    for (int slot : slots) {
        frame.slots[slot].trackingState = SKELETON_TRACKED;
        frame.slots[slot].joints[JOINT_HIP_CENTER].x = hipX;
    }
    return frame;
}

std::vector<uint16_t> depthFrame(uint16_t millimetres, uint16_t player) {
    return std::vector<uint16_t>(FRAME_PIXELS, static_cast<uint16_t>(millimetres << 3 | player));
}

struct Bgra {
    int b, g, r, a;
};

Bgra codedPixel(uint16_t millimetres, uint16_t player) {
    std::vector<uint16_t> packed(FRAME_PIXELS, static_cast<uint16_t>(millimetres << 3 | player));
    std::vector<uint8_t> view(COLOUR_FRAME_BYTES);
    std::vector<uint16_t> mm(FRAME_PIXELS);
    codeDepthFrame(packed.data(), view.data(), mm.data());
    EXPECT_EQ(mm[FRAME_PIXELS - 1], millimetres);
    const uint8_t* p = &view[4 * (FRAME_PIXELS - 1)];
    return {p[0], p[1], p[2], p[3]};
}

}  // namespace

TEST(ChooseSkeletonSlot, FollowsOnePersonWhileTracked) {
    // Two people first seen together in slots 1 and 4: the last in frame order is taken.
    EXPECT_EQ(chooseSkeletonSlot(frameWithTracked({1, 4}), -1), 4);
    // Once followed, slot 4 stays while it is tracked, even with slot 1 still present.
    EXPECT_EQ(chooseSkeletonSlot(frameWithTracked({1, 4}), 4), 4);
    // A followed lower slot is not given up for a higher one.
    EXPECT_EQ(chooseSkeletonSlot(frameWithTracked({1, 4}), 1), 1);
    // Followed person lost: the highest tracked slot.
    EXPECT_EQ(chooseSkeletonSlot(frameWithTracked({0, 2, 3}), 4), 3);
    EXPECT_EQ(chooseSkeletonSlot(frameWithTracked({}), 4), -1);
    // Position-only people are not followed.
    SkeletonFrame positionOnly = frameWithTracked({2});
    positionOnly.slots[5].trackingState = SKELETON_POSITION_ONLY;
    EXPECT_EQ(chooseSkeletonSlot(positionOnly, 5), 2);
}

TEST(SensorInputSkeleton, KeepsPreviousRecordWhenNobodyTrackedOrFetchFails) {
    auto source = std::make_unique<ScriptedSource>();
    ScriptedSource& s = *source;
    SensorInput sensor(std::move(source));
    EXPECT_EQ(sensor.trackedSlot, -1);

    // Failed fetch before any frame: the all-zero record.
    const SkeletonRecord* record = sensor.fetchSkeleton();
    EXPECT_EQ(record, &sensor.skeleton);
    EXPECT_EQ(record->trackingState, SKELETON_NOT_TRACKED);
    EXPECT_EQ(record->trackingId, 0u);

    s.skeletons.push_back(frameWithTracked({1, 4}, 0.1f));
    s.skeletons.push_back(frameWithTracked({1, 4}, 0.2f));
    s.skeletons.push_back(frameWithTracked({1}, 0.3f));
    s.skeletons.push_back(frameWithTracked({}, 0.4f));

    EXPECT_EQ(sensor.fetchSkeleton()->trackingId, 104u);
    EXPECT_EQ(sensor.trackedSlot, 4);
    EXPECT_FLOAT_EQ(sensor.fetchSkeleton()->joints[JOINT_HIP_CENTER].x, 0.2f);
    EXPECT_EQ(sensor.skeleton.trackingId, 104u);

    EXPECT_EQ(sensor.fetchSkeleton()->trackingId, 101u);
    EXPECT_EQ(sensor.trackedSlot, 1);

    // Nobody tracked, then a failed fetch: the previous record stays with its old state.
    for (int i = 0; i < 2; ++i) {
        record = sensor.fetchSkeleton();
        EXPECT_EQ(record->trackingId, 101u);
        EXPECT_EQ(record->trackingState, SKELETON_TRACKED);
        EXPECT_FLOAT_EQ(record->joints[JOINT_HIP_CENTER].x, 0.3f);
        EXPECT_EQ(sensor.trackedSlot, 1);
    }
}

TEST(DepthCoding, KnownAnswers) {
    Bgra red = codedPixel(0, 0);
    EXPECT_EQ(red.b, 0);
    EXPECT_EQ(red.g, 0);
    EXPECT_EQ(red.r, 255);
    EXPECT_EQ(red.a, 0);
    for (uint16_t near : {1, 500, 800}) {
        Bgra white = codedPixel(near, 0);
        EXPECT_EQ(white.b, 255) << near;
        EXPECT_EQ(white.g, 255) << near;
        EXPECT_EQ(white.r, 255) << near;
    }
    EXPECT_EQ(codedPixel(801, 0).g, 254);  // 254.92 truncated
    EXPECT_EQ(codedPixel(2000, 0).g, 159);
    EXPECT_EQ(codedPixel(4000, 0).g, 0);
    Bgra wrapped = codedPixel(4095, 0);  // -7.56 truncated to -7, low 8 bits
    EXPECT_EQ(wrapped.b, 249);
    EXPECT_EQ(wrapped.g, 249);
    EXPECT_EQ(wrapped.r, 249);
    EXPECT_EQ(codedPixel(8191, 0).g, 179);  // -333.97 -> -333 -> 179

    Bgra person = codedPixel(2000, 1);
    EXPECT_EQ(person.b, 10);
    EXPECT_EQ(person.g, 159);
    EXPECT_EQ(person.r, 10);
    EXPECT_EQ(person.a, 0);
    Bgra personNoReading = codedPixel(0, 7);  // red, then tinted
    EXPECT_EQ(personNoReading.b, 10);
    EXPECT_EQ(personNoReading.g, 0);
    EXPECT_EQ(personNoReading.r, 10);
}

TEST(DepthCoding, EveryPackedValueMatchesTheFormula) {
    // All 65,536 packed values across several frames, against the per-pixel formula.
    std::vector<uint16_t> packed(FRAME_PIXELS);
    std::vector<uint8_t> view(COLOUR_FRAME_BYTES);
    std::vector<uint16_t> mm(FRAME_PIXELS);
    for (int first = 0; first < 65536; first += FRAME_PIXELS) {
        for (int i = 0; i < FRAME_PIXELS; ++i) {
            packed[i] = static_cast<uint16_t>((first + i) & 0xFFFF);
        }
        codeDepthFrame(packed.data(), view.data(), mm.data());
        for (int i = 0; i < FRAME_PIXELS && first + i < 65536; ++i) {
            int d = packed[i] >> 3;
            float e = static_cast<float>(std::max(d - 800, 0));
            int grey = static_cast<int>(255.0f - e * 255.0f / 3200.0f) & 0xFF;
            int b = d == 0 ? 0 : grey, g = b, r = d == 0 ? 255 : grey;
            if (packed[i] & 7) {
                b = r = 10;
            }
            ASSERT_EQ(mm[i], d) << packed[i];
            ASSERT_EQ(view[4 * i], b) << packed[i];
            ASSERT_EQ(view[4 * i + 1], g) << packed[i];
            ASSERT_EQ(view[4 * i + 2], r) << packed[i];
            ASSERT_EQ(view[4 * i + 3], 0) << packed[i];
        }
    }
}

TEST(SensorInputImages, FailedFetchPrintsOneLineAndKeepsPreviousImage) {
    auto source = std::make_unique<ScriptedSource>();
    ScriptedSource& s = *source;
    SensorInput sensor(std::move(source));
    s.colours.push_back(42);
    s.depths.push_back(depthFrame(2000, 1));

    testing::internal::CaptureStdout();
    const uint8_t* colour = sensor.fetchColour();
    const uint8_t* view = sensor.fetchDepth();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(colour[123], 42);
    EXPECT_EQ(view[4 * 77 + 1], 159);
    EXPECT_EQ(sensor.depthMillimetres[77], 2000);

    testing::internal::CaptureStdout();
    colour = sensor.fetchColour();
    colour = sensor.fetchColour();
    view = sensor.fetchDepth();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Something went wrong for Video Frame...\n"
              "Something went wrong for Video Frame...\n"
              "Something went wrong for Depth Frame...\n");
    EXPECT_EQ(colour, sensor.colourImage.data());
    EXPECT_EQ(colour[COLOUR_FRAME_BYTES - 1], 42);
    EXPECT_EQ(view[4 * 77 + 1], 159);
    EXPECT_EQ(view[4 * 77], 10);
    EXPECT_EQ(sensor.depthMillimetres[77], 2000);

    // Tools whose stdout carries data send the lines elsewhere.
    sensor.diagnostics = nullptr;
    testing::internal::CaptureStdout();
    sensor.fetchDepth();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(SensorInputRecording, RecordsWhatTheSourceDeliveredIncludingFailures) {
    const std::string path = std::string(BINARY_DIR) + "/sensor_input_test_record.rec";
    auto source = std::make_unique<ScriptedSource>();
    ScriptedSource& s = *source;
    SensorInput sensor(std::move(source));
    sensor.diagnostics = nullptr;
    Recorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.open(path, RECORDING_STORES_IMAGES, error)) << error;
    sensor.recorder = &recorder;

    // Frame 0 at clock 5000: everything arrives. Frame 1 at 5040: colour and skeleton dropped.
    s.skeletons.push_back(frameWithTracked({2}, 0.5f));
    s.colours.push_back(7);
    s.depths.push_back(depthFrame(1500, 2));
    s.depths.push_back(depthFrame(3000, 0));
    sensor.advance(5000);
    sensor.fetchSkeleton();
    sensor.fetchColour();
    sensor.fetchDepth();
    sensor.advance(5040);
    sensor.fetchSkeleton();
    sensor.fetchColour();
    sensor.fetchDepth();
    ASSERT_TRUE(recorder.finish(error)) << error;

    RecordingReader reader;
    ASSERT_TRUE(reader.open(path, error)) << error;
    ASSERT_EQ(reader.frames.size(), 2u);
    EXPECT_EQ(reader.frames[0].timeUs, 0u);
    EXPECT_EQ(reader.frames[1].timeUs, 40000u);
    EXPECT_EQ(reader.frames[0].flags, uint32_t(RECORDED_ALL));
    EXPECT_EQ(reader.frames[1].flags, uint32_t(RECORDED_DEPTH));

    SkeletonFrame skeleton;
    ASSERT_TRUE(reader.readSkeleton(0, skeleton, error)) << error;
    EXPECT_EQ(skeleton.slots[2].trackingState, SKELETON_TRACKED);
    EXPECT_FLOAT_EQ(skeleton.slots[2].joints[JOINT_HIP_CENTER].x, 0.5f);
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    ASSERT_TRUE(reader.readColour(0, colour.data(), error)) << error;
    EXPECT_EQ(colour[1000], 7);
    // The raw packed depth, not the coded view.
    std::vector<uint16_t> depth(FRAME_PIXELS);
    ASSERT_TRUE(reader.readDepth(0, depth.data(), error)) << error;
    EXPECT_EQ(depth[1000], (1500 << 3) | 2);
    ASSERT_TRUE(reader.readDepth(1, depth.data(), error)) << error;
    EXPECT_EQ(depth[1000], 3000 << 3);
    EXPECT_FALSE(reader.readColour(1, colour.data(), error));
    std::remove(path.c_str());
}

TEST(SensorInputRecording, FramesRecordedWhileHeldReachTheProgramAfterwards) {
    const std::string path = std::string(BINARY_DIR) + "/sensor_input_test_held.rec";
    auto source = std::make_unique<ScriptedSource>();
    ScriptedSource& s = *source;
    SensorInput sensor(std::move(source));
    std::FILE* lines = std::tmpfile();
    ASSERT_NE(lines, nullptr);
    sensor.diagnostics = lines;
    Recorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.open(path, RECORDING_STORES_IMAGES, error)) << error;
    sensor.recorder = &recorder;
    auto fetchAll = [&](uint32_t t) {
        sensor.advance(t);
        sensor.fetchSkeleton();
        sensor.fetchColour();
        sensor.fetchDepth();
    };

    s.skeletons.push_back(frameWithTracked({2}));
    s.colours.push_back(7);
    s.depths.push_back(depthFrame(1500, 2));
    fetchAll(1000);
    // Held: a played stream's next frame arrives and is recorded, but the program stands still.
    s.skeletons.push_back(frameWithTracked({3}));
    s.colours.push_back(9);
    s.depths.push_back(depthFrame(2000, 0));
    sensor.passHeldFrame(1033);
    sensor.passHeldFrame(1066);  // nothing new
    EXPECT_EQ(sensor.skeleton.trackingId, 102u);
    EXPECT_EQ(sensor.colourImage[0], 7);
    EXPECT_EQ(sensor.depthMillimetres[0], 1500);
    // After the hold the stream has nothing newer: the program gets the frame it missed, once.
    fetchAll(1100);
    EXPECT_EQ(sensor.skeleton.trackingId, 103u);
    EXPECT_EQ(sensor.colourImage[0], 9);
    EXPECT_EQ(sensor.depthMillimetres[0], 2000);
    EXPECT_EQ(std::ftell(lines), 0L);
    fetchAll(1133);
    EXPECT_GT(std::ftell(lines), 0L);
    std::fclose(lines);
    ASSERT_TRUE(recorder.finish(error)) << error;

    RecordingReader reader;
    ASSERT_TRUE(reader.open(path, error)) << error;
    ASSERT_EQ(reader.frames.size(), 5u);
    const uint32_t flags[] = {RECORDED_ALL, RECORDED_ALL, 0, 0, 0};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(reader.frames[i].flags, flags[i]) << i;
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    ASSERT_TRUE(reader.readColour(1, colour.data(), error)) << error;
    EXPECT_EQ(colour[0], 9);
    std::remove(path.c_str());
}

TEST(FrameSources, UnknownOrUnavailableBackendIsNoSensor) {
    std::string error;
    EXPECT_EQ(openFrameSource("synthetic", error), nullptr);
    EXPECT_NE(error.find("no sensor found"), std::string::npos) << error;

    EXPECT_EQ(openFrameSource("replay:/nonexistent/session.rec", error), nullptr);
    EXPECT_NE(error.find("/nonexistent/session.rec"), std::string::npos) << error;
    EXPECT_EQ(openFrameSource("csv:", error), nullptr);
    EXPECT_EQ(openFrameSource("kinect2", error), nullptr);
    EXPECT_NE(error.find("kinect2"), std::string::npos) << error;

    registerSyntheticSource([] { return std::unique_ptr<FrameSource>(new ScriptedSource); });
    std::unique_ptr<FrameSource> synthetic = openFrameSource("synthetic", error);
    EXPECT_NE(dynamic_cast<ScriptedSource*>(synthetic.get()), nullptr);
    registerSyntheticSource(nullptr);
}

TEST(MissingSensorMessage, IsUtf8) {
    const std::string message = MISSING_SENSOR_MESSAGE;
    EXPECT_EQ(message.find("\xDC"), std::string::npos);  // not the Latin-1 byte
    EXPECT_NE(message.find("\xC3\x9C" "berpr\xC3\xBC" "fen Sie die USB-Verbindung"), std::string::npos);
}
