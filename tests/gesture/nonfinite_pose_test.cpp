// One absurd frame must not end segmentation for the rest of the run: the arm speed is smoothed
// over every earlier frame, so a single non-finite pose would otherwise stay in it for good.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "recognizer_test_helpers.h"

using namespace gesture_test;

namespace {

// A person standing with the arms hanging, the right arm slightly raised.
SkeletonRecord standing() {
    SkeletonRecord r;
    r.trackingState = SKELETON_TRACKED;
    const float xy[JOINT_COUNT][2] = {{0.0f, 0.0f},    {0.0f, 0.25f},   {0.0f, 0.5f},    {0.0f, 0.7f},
                                      {-0.18f, 0.45f}, {-0.2f, 0.17f},  {-0.21f, -0.08f}, {-0.21f, -0.16f},
                                      {0.18f, 0.45f},  {0.25f, 0.18f},  {0.3f, -0.07f},  {0.31f, -0.15f},
                                      {-0.1f, -0.05f}, {-0.11f, -0.5f}, {-0.11f, -0.9f}, {-0.11f, -0.95f},
                                      {0.1f, -0.05f},  {0.11f, -0.5f},  {0.11f, -0.9f},  {0.11f, -0.95f}};
    for (int j = 0; j < JOINT_COUNT; ++j) r.joints[j] = {xy[j][0], xy[j][1], 2.2f, 1.0f};
    return r;
}

// Frames until the speed is finite again and a rhythm mark has been placed; -1 if never.
int framesUntilMarking(Driver& d, SkeletonRecord base, int frames) {
    const size_t before = d.recognizer.marksSnapshot().size();
    int32_t lastMark = before ? d.recognizer.marksSnapshot().back() : -1;
    for (int i = 0; i < frames; ++i) {
        SkeletonRecord r = base;
        r.joints[JOINT_WRIST_RIGHT].y += 0.002f * static_cast<float>(i % 3);
        d.recognizer.processFrame(r, true, d.nowMs);
        d.recognizer.waitForWorker();
        d.nowMs += 33;
        const std::vector<int32_t> marks = d.recognizer.marksSnapshot();
        if (std::isfinite(d.recognizer.currentVelocity) && !marks.empty() && marks.back() != lastMark) return i;
    }
    return -1;
}

}  // namespace

TEST(NonFinitePose, AnAbsurdJointDoesNotStopSegmentation) {
    Driver d;
    const SkeletonRecord base = standing();
    ASSERT_GE(framesUntilMarking(d, base, 60), 0);
    // A corrupt frame: finite coordinates so large that the arm vectors overflow.
    SkeletonRecord bad = base;
    bad.joints[JOINT_WRIST_LEFT].x = 1e30f;
    bad.joints[JOINT_ELBOW_LEFT].y = -1e30f;
    const ArmPose shown = d.recognizer.processFrame(bad, true, d.nowMs);
    d.recognizer.waitForWorker();
    d.nowMs += 33;
    for (float v : shown) EXPECT_TRUE(std::isfinite(v));  // the pointers and tools read it
    EXPECT_TRUE(std::isfinite(d.recognizer.currentVelocity));
    // Standing on: marks come back within one rhythm period, with finite speeds.
    const int resumed = framesUntilMarking(d, base, 30);
    EXPECT_GE(resumed, 0);
    EXPECT_LE(resumed, 10);
    for (int i = 0; i < HISTORY_LENGTH; ++i) EXPECT_TRUE(std::isfinite(d.recognizer.historyRecord(i).speed)) << i;
}

TEST(NonFinitePose, ANaNPoseFedDirectlyKeepsTheSpeedFinite) {
    Driver d;
    d.hold(restPose(), 40);
    ArmPose bad = restPose();
    bad[POSE_ELEVATION_RIGHT] = std::numeric_limits<float>::quiet_NaN();
    d.frame(bad);
    d.hold(anglePose({155, 155, 15, 60, 0, 0, 0, 0}), 3);
    EXPECT_TRUE(std::isfinite(d.recognizer.currentVelocity));
    EXPECT_GT(d.recognizer.currentVelocity, 1.0f);  // the raised arm is measured
    const FrameRecord newest = d.recognizer.historyRecord(HISTORY_LENGTH - 1);
    for (float v : newest.pose) EXPECT_TRUE(std::isfinite(v));
}
