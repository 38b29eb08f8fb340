// The sensor side of a frame (the three fetches, both hand detectors and both pointers) runs
// 30 times a second for hours, so once warm it must not touch the heap. Every operator new of
// this test program is counted to check that. The arm pose is the recogniser's first step and
// works with heap-backed vectors and matrices, so its allocations are counted apart.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <deque>
#include <memory>
#include <new>
#include <string>

#include "common/gesture/arm_pose.h"
#include "common/sensor/csv_source.h"
#include "common/sensor/hand_pointer.h"
#include "common/sensor/hand_state_detector.h"
#include "common/sensor/performer_renderer.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/simulated_performer.h"
#include "common/sensor/stream_source.h"

namespace {
std::atomic<long> allocationCount{0};
}  // namespace

// GCC takes the free() below for a mismatch with the counted new, which is this same pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
// Every form that a sanitizer's own allocator would otherwise pair differently is replaced, so
// that all of them allocate with malloc and free with free.
void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++allocationCount;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// One program frame's sensor work, in the programs' order.
struct SensorFrame {
    explicit SensorFrame(std::unique_ptr<FrameSource> source) : sensor(std::move(source)) {
        sensor.diagnostics = nullptr;
        window.width = 1600;
        window.height = 1000;
        leftPointer = HandPointer(0, &window);
        rightPointer = HandPointer(1, &window);
        leftHand = HandStateDetector(0, &sensor);
        rightHand = HandStateDetector(1, &sensor);
    }

    void run() {
        now += 33;
        sensor.advance(now);
        sensor.fetchSkeleton();
        sensor.fetchColour();
        sensor.fetchDepth();
        const long poseStart = allocationCount;
        extractArmPose(extractor, sensor.skeleton, pose);
        poseAllocations += allocationCount - poseStart;
        leftHand.update(events);
        rightHand.update(events);
        rightPointer.update(pose, now);
        leftPointer.update(pose, now);
    }

    SensorInput sensor;
    WindowInfo window;
    HandPointer leftPointer, rightPointer;
    HandStateDetector leftHand, rightHand;
    ArmPoseExtractor extractor;
    ArmPose pose{};
    std::deque<std::string> events;
    uint32_t now = 0;
    long poseAllocations = 0;
};

TEST(FrameAllocations, TheSensorSideOfAFrameAllocatesNothingOnceWarm) {
    // The simulated performer, both hands held forward so that both pointers engage and both
    // detectors measure a hand, the right arm moving all the while.
    auto owned = std::make_unique<SimulatedPerformer>(5);
    SimulatedPerformer* performer = owned.get();
    SensorFrame frame(std::move(owned));
    performer->setReach(0, 0.4f, 300);
    performer->setReach(1, 0.4f, 300);
    for (int i = 0; i < 60; ++i) frame.run();
    performer->moveWrist(1, 0.35f, 0.25f, 3000);
    frame.run();
    frame.run();
    frame.events.clear();

    const long before = allocationCount - frame.poseAllocations;
    for (int i = 0; i < 60; ++i) frame.run();
    EXPECT_EQ(allocationCount - frame.poseAllocations - before, 0);
    EXPECT_TRUE(frame.events.empty());  // no state change, whose event text may allocate
    EXPECT_TRUE(frame.leftPointer.engaged());
    EXPECT_TRUE(frame.rightPointer.engaged());
    EXPECT_EQ(frame.leftHand.lastMeasurement, HAND_MEASURED);
    EXPECT_EQ(frame.rightHand.lastMeasurement, HAND_MEASURED);
}

TEST(FrameAllocations, PlayingACsvStreamAllocatesNothingOnceWarm) {
    // A stream's images are rendered from its skeletons into buffers kept from frame to frame.
    setSkeletonImageRenderer(&renderSkeletonImages);
    std::string error;
    std::unique_ptr<CsvSource> csv =
        openCsvSource(std::string(SOURCE_DIR) + "/tests/data/gestures/both_swings_noisy.csv", error);
    ASSERT_TRUE(csv) << error;
    SensorFrame frame(std::move(csv));
    for (int i = 0; i < 30; ++i) frame.run();
    frame.events.clear();

    const long before = allocationCount - frame.poseAllocations;
    for (int i = 0; i < 200; ++i) frame.run();
    EXPECT_EQ(allocationCount - frame.poseAllocations - before, 0);
    EXPECT_GT(frame.sensor.skeleton.joints[JOINT_HAND_RIGHT].z, 0.5f) << "someone is tracked";
    setSkeletonImageRenderer(nullptr);
}

}  // namespace
