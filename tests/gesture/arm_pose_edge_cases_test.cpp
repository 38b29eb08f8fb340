// Arm-pose extraction when the body frame cannot be fitted.
#include <gtest/gtest.h>

#include <cmath>

#include "common/gesture/arm_pose.h"

TEST(ArmPoseEdgeCases, TorsoJointsAtTheEdgeOfTheFloatRangeAreIgnored) {
    // Torso joints at the edge of the float range would overflow the centred matrix of the body
    // frame fit (and the smoothed offsets). They keep their previous positions instead, which on a
    // fresh extractor is the origin: the pose is the one of the record with the torso there.
    SkeletonRecord record;
    const float huge = 3.0e38f;
    const int torso[] = {JOINT_HIP_CENTER, JOINT_SHOULDER_CENTER, JOINT_SHOULDER_LEFT,
                         JOINT_SHOULDER_RIGHT, JOINT_HIP_LEFT, JOINT_HIP_RIGHT};
    setJointPosition(record, JOINT_SPINE, {0.0f, 0.3f, 2.2f});
    setJointPosition(record, JOINT_HEAD, {0.0f, 0.8f, 2.2f});
    setJointPosition(record, JOINT_ELBOW_LEFT, {-0.3f, 0.2f, 2.2f});
    setJointPosition(record, JOINT_ELBOW_RIGHT, {0.3f, 0.2f, 2.2f});
    setJointPosition(record, JOINT_WRIST_LEFT, {-0.5f, 0.0f, 2.1f});
    setJointPosition(record, JOINT_WRIST_RIGHT, {0.5f, 1.0f, 2.4f});
    SkeletonRecord atOrigin = record;
    for (int j : torso) setJointPosition(record, j, {huge, 0.5f, 2.2f});

    ArmPoseExtractor withHuge, withOrigin;
    for (int frame = 0; frame < 200; ++frame) {
        SkeletonRecord a = record, b = atOrigin;
        ArmPose poseA{}, poseB{};
        extractArmPose(withHuge, a, poseA);
        extractArmPose(withOrigin, b, poseB);
        for (int i = 0; i < ARM_POSE_SIZE; ++i) {
            ASSERT_TRUE(std::isfinite(poseA[i])) << "frame " << frame << " value " << i;
            ASSERT_EQ(poseA[i], poseB[i]) << "frame " << frame << " value " << i;
        }
        for (int j : torso) {
            ASSERT_EQ(a.joints[j].x, b.joints[j].x) << "joint " << j;
            ASSERT_EQ(a.joints[j].y, b.joints[j].y) << "joint " << j;
        }
    }
}
