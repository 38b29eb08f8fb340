// The performer's body: arm IK, proportions, sway and jitter, camera tilt.
#include <gtest/gtest.h>

#include <cmath>

#include "common/gesture/arm_pose.h"
#include "common/sensor/performer_body.h"

namespace {

float distance(Vec3 a, Vec3 b) { return length(a - b); }

// Settles the arm-pose extractor's torso smoothing on a still skeleton.
ArmPose settledPose(const SkeletonRecord& skeleton) {
    ArmPoseExtractor extractor;
    ArmPose pose{};
    for (int i = 0; i < 120; ++i) {
        SkeletonRecord copy = skeleton;
        extractArmPose(extractor, copy, pose);
    }
    return pose;
}

}  // namespace

TEST(PerformerBody, ArmIkReachesTargetsAndKeepsLimbLengths) {
    PerformerBody body;
    for (int hand = 0; hand < 2; ++hand) {
        Vec3 shoulder = shoulderPosition(body, hand, {});
        // A grid of targets around the shoulder, all within the arm's reach.
        for (float dx = -0.4f; dx <= 0.41f; dx += 0.1f) {
            for (float dy = -0.5f; dy <= 0.51f; dy += 0.1f) {
                for (float dz = -0.45f; dz <= 0.01f; dz += 0.15f) {
                    Vec3 target = shoulder + Vec3{dx, dy, dz};
                    float d = distance(target, shoulder);
                    if (d < 0.06f || d > 0.56f) continue;
                    Vec3 elbow, wrist;
                    EXPECT_TRUE(solveArmIk(shoulder, target, body.upperArm, body.forearm, elbowPole(hand), elbow, wrist));
                    EXPECT_LT(distance(wrist, target), 0.01f);
                    EXPECT_NEAR(distance(elbow, shoulder), body.upperArm, 1e-3f);
                    EXPECT_NEAR(distance(wrist, elbow), body.forearm, 1e-3f);
                }
            }
        }
    }
}

TEST(PerformerBody, ArmIkPullsUnreachableTargetsOntoTheShell) {
    Vec3 shoulder = {0.19f, 0.32f, 2.2f};
    Vec3 elbow, wrist;
    Vec3 far = shoulder + Vec3{1.0f, 0.0f, 0.0f};
    EXPECT_FALSE(solveArmIk(shoulder, far, 0.3f, 0.27f, elbowPole(HAND_RIGHT), elbow, wrist));
    EXPECT_NEAR(distance(wrist, shoulder), 0.57f, 1e-3f);
    EXPECT_GT(wrist.x, shoulder.x + 0.56f);  // stretched toward the target
    // A target on the shoulder itself still gives finite joints with the limb lengths.
    solveArmIk(shoulder, shoulder, 0.3f, 0.27f, elbowPole(HAND_RIGHT), elbow, wrist);
    EXPECT_TRUE(std::isfinite(wrist.x) && std::isfinite(elbow.y));
    EXPECT_NEAR(distance(elbow, shoulder), 0.3f, 1e-3f);
}

TEST(PerformerBody, ElbowBendsDownWhenTheHandIsHeldForward) {
    PerformerBody body;
    Vec3 shoulder = shoulderPosition(body, HAND_RIGHT, {});
    Vec3 elbow, wrist;
    solveArmIk(shoulder, shoulder + Vec3{0.05f, -0.1f, -0.4f}, body.upperArm, body.forearm, elbowPole(HAND_RIGHT),
               elbow, wrist);
    // Below the shoulder-wrist line and not in front of the wrist, as a person's elbow.
    EXPECT_LT(elbow.y, (shoulder.y + wrist.y) * 0.5f);
    EXPECT_GT(elbow.z, wrist.z);
}

TEST(PerformerBody, RestPoseHasPlausibleProportionsAndHangingArms) {
    PerformerBody body;
    SkeletonRecord s;
    buildPerformerSkeleton(body, {}, restWristPosition(body, HAND_LEFT), restWristPosition(body, HAND_RIGHT), s);
    EXPECT_EQ(s.trackingState, SKELETON_TRACKED);
    // About 1.75 m tall: head joint to floor plus the top of the head.
    float height = jointPosition(s, JOINT_HEAD).y + 0.12f - FLOOR_Y;
    EXPECT_NEAR(height, 1.75f, 0.05f);
    EXPECT_NEAR(jointPosition(s, JOINT_SPINE).z, 2.2f, 0.01f);
    // The person's right side is +x.
    EXPECT_GT(jointPosition(s, JOINT_SHOULDER_RIGHT).x, jointPosition(s, JOINT_SHOULDER_LEFT).x + 0.3f);
    EXPECT_GT(jointPosition(s, JOINT_WRIST_RIGHT).x, 0.0f);
    ArmPose pose = settledPose(s);
    EXPECT_LT(pose[POSE_ELEVATION_LEFT], 20.0f);
    EXPECT_LT(pose[POSE_ELEVATION_RIGHT], 20.0f);
    EXPECT_GT(pose[POSE_ELBOW_LEFT], 150.0f);
    EXPECT_GT(pose[POSE_ELBOW_RIGHT], 150.0f);
    EXPECT_LT(pose[POSE_RIGHT_REACH], 0.1f);  // not engaged at rest
}

TEST(PerformerBody, SwayAndJitterAreSmallSeededAndRepeatable) {
    float maxSway = 0.0f;
    for (uint32_t ms = 0; ms < 20000; ms += 97) maxSway = std::max(maxSway, length(swayOffset(5, ms)));
    EXPECT_GT(maxSway, 0.005f);  // it does sway
    EXPECT_LT(maxSway, 0.025f);
    EXPECT_EQ(length(swayOffset(5, 1234) - swayOffset(5, 1234)), 0.0f);
    EXPECT_GT(length(swayOffset(5, 1234) - swayOffset(6, 1234)), 1e-5f);

    PerformerBody body;
    SkeletonRecord clean, a, b, c;
    buildPerformerSkeleton(body, {}, restWristPosition(body, 0), restWristPosition(body, 1), clean);
    a = b = c = clean;
    addTrackerJitter(a, 9, 500);
    addTrackerJitter(b, 9, 500);
    addTrackerJitter(c, 9, 1500);
    SkeletonRecord next = clean;
    addTrackerJitter(next, 9, 533);
    float maxJitter = 0.0f, laterChange = 0.0f, frameChange = 0.0f;
    for (int j = 0; j < JOINT_COUNT; ++j) {
        maxJitter = std::max(maxJitter, distance(jointPosition(a, j), jointPosition(clean, j)));
        laterChange = std::max(laterChange, distance(jointPosition(a, j), jointPosition(c, j)));
        frameChange = std::max(frameChange, distance(jointPosition(a, j), jointPosition(next, j)));
        EXPECT_EQ(distance(jointPosition(a, j), jointPosition(b, j)), 0.0f);
    }
    EXPECT_GT(maxJitter, 0.0005f);
    EXPECT_LT(maxJitter, 0.006f);  // a few millimetres
    EXPECT_GT(laterChange, 0.0005f);  // the noise wanders...
    EXPECT_LT(frameChange, 0.0015f);  // ...but slowly, as a smoothing tracker's does
}

TEST(PerformerBody, TiltTurnsTheCameraAboutItsXAxis) {
    Vec3 p = {0.3f, 0.2f, 2.2f};
    Vec3 up = applyCameraTilt(p, 20);
    EXPECT_FLOAT_EQ(up.x, p.x);
    EXPECT_NEAR(length(up), length(p), 1e-5f);
    EXPECT_LT(up.y, p.y);  // a camera tilted up sees the person lower
    Vec3 down = applyCameraTilt(p, -20);
    EXPECT_GT(down.y, p.y);
    Vec3 same = applyCameraTilt(p, 0);
    EXPECT_EQ(length(same - p), 0.0f);
}
