#include "common/sensor/skeleton_smoothing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

SkeletonFrame personAt(float x, float y, float z, uint32_t trackingId = 7) {
    SkeletonFrame frame;
    SkeletonRecord& r = frame.slots[2];
    r.trackingState = SKELETON_TRACKED;
    r.trackingId = trackingId;
    for (int j = 0; j < JOINT_COUNT; ++j) {
        r.joints[j] = {x, y + 0.05f * j, z, 1.0f};
        r.jointTrackingStates[j] = 2;
    }
    return frame;
}

float distance(const Vector4& a, float x, float y, float z) {
    return std::sqrt((a.x - x) * (a.x - x) + (a.y - y) * (a.y - y) + (a.z - z) * (a.z - z));
}

}  // namespace

TEST(SkeletonSmoothing, StillJointsPassUnchangedAndJitterIsDamped) {
    SkeletonSmoother smoother;
    SkeletonFrame frame = personAt(0.3f, -0.2f, 2.2f);
    for (int i = 0; i < 5; ++i) {
        SkeletonFrame copy = frame;
        smoother.smooth(copy);
        EXPECT_FLOAT_EQ(copy.slots[2].joints[JOINT_WRIST_RIGHT].x, 0.3f);
        EXPECT_FLOAT_EQ(copy.slots[2].joints[JOINT_WRIST_RIGHT].z, 2.2f);
        EXPECT_EQ(copy.slots[2].joints[JOINT_WRIST_RIGHT].w, 1.0f);
    }

    // A tracker's shaking of a few millimetres: the output must shake far less than the input,
    // or a person standing still never reads as resting.
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0.0f, 0.003f);
    double rawSquares = 0.0;
    double smoothedSquares = 0.0;
    const int frames = 600;
    for (int i = 0; i < frames; ++i) {
        SkeletonFrame noisy = personAt(0.3f + noise(random), -0.2f + noise(random), 2.2f + noise(random));
        Vector4 raw = noisy.slots[2].joints[0];
        smoother.smooth(noisy);
        Vector4 out = noisy.slots[2].joints[0];
        rawSquares += std::pow(distance(raw, 0.3f, -0.2f, 2.2f), 2);
        smoothedSquares += std::pow(distance(out, 0.3f, -0.2f, 2.2f), 2);
    }
    EXPECT_LT(std::sqrt(smoothedSquares / frames), 0.4 * std::sqrt(rawSquares / frames));
}

TEST(SkeletonSmoothing, RealMovementIsFollowedAndNeverLagsFarBehind) {
    SkeletonSmoother smoother;
    // A hand sweeping 60 cm in a second, then stopping: the output stays within the deviation
    // radius of the raw joint every frame and settles on the end point.
    for (int i = 0; i <= 60; ++i) {
        float x = i <= 30 ? 0.02f * i : 0.6f;
        SkeletonFrame frame = personAt(x, 0.0f, 2.0f);
        smoother.smooth(frame);
        const Vector4& out = frame.slots[2].joints[0];
        EXPECT_LE(distance(out, x, 0.0f, 2.0f), smoother.parameters.maxDeviationRadius + 1e-5f) << "frame " << i;
        if (i == 60) {
            EXPECT_NEAR(out.x, 0.6f, 0.002f);
        }
    }
}

TEST(SkeletonSmoothing, HistoryRestartsForANewPersonAnUntrackedJointOrAnEmptySlot) {
    SkeletonSmoother smoother;
    for (int i = 0; i < 10; ++i) {
        SkeletonFrame frame = personAt(0.0f, 0.0f, 2.0f);
        smoother.smooth(frame);
    }
    // Someone else in the same slot, 1 m away: taken as is, not pulled toward the last person.
    SkeletonFrame other = personAt(1.0f, 0.0f, 3.0f, 8);
    smoother.smooth(other);
    EXPECT_FLOAT_EQ(other.slots[2].joints[0].x, 1.0f);
    EXPECT_FLOAT_EQ(other.slots[2].joints[0].z, 3.0f);

    // A joint the tracker lost is left alone, and starts afresh when it is found again.
    SkeletonFrame lost = personAt(1.0f, 0.0f, 3.0f, 8);
    lost.slots[2].joints[5] = {0.0f, 0.0f, 0.0f, 0.0f};
    lost.slots[2].jointTrackingStates[5] = 0;
    smoother.smooth(lost);
    EXPECT_EQ(lost.slots[2].joints[5].x, 0.0f);
    SkeletonFrame found = personAt(1.4f, 0.0f, 3.0f, 8);
    smoother.smooth(found);
    EXPECT_FLOAT_EQ(found.slots[2].joints[5].x, 1.4f);
    // The others keep their history: held back toward 1.0, as far as the deviation radius lets.
    EXPECT_NEAR(found.slots[2].joints[4].x, 1.4f - smoother.parameters.maxDeviationRadius, 1e-5f);

    // The slot empties and fills again with the same id: a fresh start.
    SkeletonFrame empty;
    smoother.smooth(empty);
    SkeletonFrame back = personAt(-0.5f, 0.0f, 2.0f, 8);
    smoother.smooth(back);
    EXPECT_FLOAT_EQ(back.slots[2].joints[0].x, -0.5f);
}

TEST(SkeletonSmoothing, AFiniteSpikeAtTheFloatLimitDoesNotPoisonTheJoint) {
    // Values this large overflow the filter's sums; the joint must come back once the tracker
    // does, not stay NaN for as long as the person is tracked.
    SkeletonSmoother smoother;
    for (float x : {0.3f, 0.3f, 0.3f, 3e38f, 3e38f, -3e38f}) {
        SkeletonFrame frame = personAt(x, 0.0f, 2.0f);
        smoother.smooth(frame);
    }
    for (int i = 0; i < 30; ++i) {
        SkeletonFrame frame = personAt(0.3f, 0.0f, 2.0f);
        smoother.smooth(frame);
        const Vector4& out = frame.slots[2].joints[JOINT_WRIST_RIGHT];
        ASSERT_TRUE(std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.z)) << "frame " << i;
        EXPECT_LE(distance(out, 0.3f, 0.05f * JOINT_WRIST_RIGHT, 2.0f), smoother.parameters.maxDeviationRadius + 1e-5f);
    }
}
