// Arm-pose extraction when the body frame cannot be fitted.
#include <gtest/gtest.h>

#include <cmath>

#include "common/gesture/arm_pose.h"

TEST(ArmPoseEdgeCases, AnUnfittableTorsoFallsBackToTheFixedFrame) {
    // Torso joints at the edge of the float range: their row sums overflow, the centred
    // matrix is not finite and the decomposition fails. The wrist values then use up (0, 1, 0),
    // right (1, 0, 0), normal (0, 0, 1).
    SkeletonRecord record;
    const float huge = 3.0e38f;
    const int torso[] = {JOINT_HIP_CENTER, JOINT_SHOULDER_CENTER, JOINT_SHOULDER_LEFT,
                         JOINT_SHOULDER_RIGHT, JOINT_HIP_LEFT, JOINT_HIP_RIGHT};
    for (int j : torso) setJointPosition(record, j, {huge, 0.5f, 2.2f});
    setJointPosition(record, JOINT_SPINE, {0.0f, 0.3f, 2.2f});
    setJointPosition(record, JOINT_HEAD, {0.0f, 0.8f, 2.2f});
    setJointPosition(record, JOINT_ELBOW_LEFT, {-0.3f, 0.2f, 2.2f});
    setJointPosition(record, JOINT_ELBOW_RIGHT, {0.3f, 0.2f, 2.2f});
    const Vec3 wristLeft{-0.5f, 0.0f, 2.1f};
    const Vec3 wristRight{0.5f, 1.0f, 2.4f};  // w = (1, 1, 0.3)
    setJointPosition(record, JOINT_WRIST_LEFT, wristLeft);
    setJointPosition(record, JOINT_WRIST_RIGHT, wristRight);

    ArmPoseExtractor extractor;
    ArmPose pose{};
    for (int frame = 0; frame < 200; ++frame) {
        SkeletonRecord r = record;
        extractArmPose(extractor, r, pose);
    }
    // The spine has settled on its own position (weight 0.1 per frame).
    const float spineZ = 2.2f;
    EXPECT_NEAR(pose[POSE_RIGHT_REACH], wristRight.z - spineZ, 1e-4f);
    EXPECT_NEAR(pose[POSE_LEFT_REACH], wristLeft.z - spineZ, 1e-4f);
    EXPECT_NEAR(pose[POSE_WRISTS_REACH], (wristLeft.z + wristRight.z) / 2.0f - spineZ, 1e-4f);
    EXPECT_FLOAT_EQ(pose[POSE_RIGHT_WRIST_X], wristRight.x);
    EXPECT_FLOAT_EQ(pose[POSE_LEFT_WRIST_Y], wristLeft.y);
    EXPECT_NEAR(pose[POSE_WRIST_DISTANCE], std::sqrt(1.0f + 1.0f + 0.09f), 1e-5f);
    // Frontal line: w without its normal part is (1, 1, 0), 45 degrees from right, above it: -45.
    EXPECT_NEAR(pose[POSE_WRIST_LINE_FRONTAL], -45.0f, 1e-3f);
    // Horizontal line: w without its up part is (1, 0, 0.3), toward +normal: positive.
    const float horizontal = std::acos(1.0f / std::sqrt(1.09f)) * 180.0f / 3.1415927f;
    EXPECT_NEAR(pose[POSE_WRIST_LINE_HORIZONTAL], horizontal, 1e-3f);
    for (int i = 0; i < ARM_POSE_SIZE; ++i) EXPECT_TRUE(std::isfinite(pose[i])) << "value " << i;
}
