#pragma once
// ArmPose: the 18 per-frame values the recogniser and the tools work with, and the extractor
// that computes them from a skeleton record.
#include <array>

#include "common/math/mat.h"
#include "common/sensor/skeleton_record.h"

constexpr int ARM_POSE_SIZE = 18;
constexpr int ARM_ANGLE_COUNT = 8;  // values 0..7 are the gesture features

// Indices into ArmPose. Angles are degrees; distances metres; wrist x, y in sensor space.
enum ArmPoseValue {
    POSE_ELBOW_LEFT = 0,
    POSE_ELBOW_RIGHT = 1,
    POSE_ELEVATION_LEFT = 2,
    POSE_ELEVATION_RIGHT = 3,
    POSE_ADDUCTION_LEFT = 4,
    POSE_ADDUCTION_RIGHT = 5,
    POSE_ROTATION_LEFT = 6,
    POSE_ROTATION_RIGHT = 7,
    POSE_WRIST_LINE_FRONTAL = 8,
    POSE_WRIST_LINE_HORIZONTAL = 9,
    POSE_WRIST_DISTANCE = 10,
    POSE_WRISTS_REACH = 11,
    POSE_LEFT_WRIST_X = 12,
    POSE_LEFT_WRIST_Y = 13,
    POSE_LEFT_REACH = 14,
    POSE_RIGHT_WRIST_X = 15,
    POSE_RIGHT_WRIST_Y = 16,
    POSE_RIGHT_REACH = 17
};

using ArmPose = std::array<float, ARM_POSE_SIZE>;

// State carried between frames: the previous record and the smoothed torso offsets.
// Zero at start, never reset, so the first frames are pulled toward the origin.
struct ArmPoseExtractor {
    SkeletonRecord previous;
    mat<float> offsets;  // 3 x 6, columns HC, SC, SL, SR, HL, HR minus the spine

    ArmPoseExtractor();
};

// Steadies the torso joints of `record` in place (later stages store the smoothed record)
// and fills `pose`. A used joint with a NaN, infinite or absurd (over 1 km) coordinate is
// replaced by its previous position first, so bad records cannot poison the smoothing state.
// Reach values (11, 14, 17) are positive toward the camera for a user facing it. Only the frame
// loop's thread touches an extractor.
void extractArmPose(ArmPoseExtractor& extractor, SkeletonRecord& record, ArmPose& pose);
