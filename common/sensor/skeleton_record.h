#pragma once
// The sensor's per-person body record, byte for byte: 436 bytes, little-endian.
// Gesture-set files and recordings store it (or its joints) as raw bytes.
#include <cstddef>
#include <cstdint>

#include "common/math/vec3.h"

// Joint order of the record. "Left" and "right" are the person's own.
enum JointIndex {
    JOINT_HIP_CENTER = 0,
    JOINT_SPINE = 1,
    JOINT_SHOULDER_CENTER = 2,
    JOINT_HEAD = 3,
    JOINT_SHOULDER_LEFT = 4,
    JOINT_ELBOW_LEFT = 5,
    JOINT_WRIST_LEFT = 6,
    JOINT_HAND_LEFT = 7,
    JOINT_SHOULDER_RIGHT = 8,
    JOINT_ELBOW_RIGHT = 9,
    JOINT_WRIST_RIGHT = 10,
    JOINT_HAND_RIGHT = 11,
    JOINT_HIP_LEFT = 12,
    JOINT_KNEE_LEFT = 13,
    JOINT_ANKLE_LEFT = 14,
    JOINT_FOOT_LEFT = 15,
    JOINT_HIP_RIGHT = 16,
    JOINT_KNEE_RIGHT = 17,
    JOINT_ANKLE_RIGHT = 18,
    JOINT_FOOT_RIGHT = 19,
    JOINT_COUNT = 20
};

// Hand indices used throughout the system.
enum HandIndex { HAND_LEFT = 0, HAND_RIGHT = 1 };

enum SkeletonTrackingState : uint32_t {
    SKELETON_NOT_TRACKED = 0,
    SKELETON_POSITION_ONLY = 1,
    SKELETON_TRACKED = 2
};

struct Vector4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
};

// Positions are metres in the camera frame: x toward the right of a person facing the camera
// (the camera's own left), y up, z away from it. The image shows +x on its right, as a mirror.
struct SkeletonRecord {
    uint32_t trackingState = SKELETON_NOT_TRACKED;  // 0 not tracked, 1 position only, 2 tracked
    uint32_t trackingId = 0;                        // identifiers: copied, never interpreted
    uint32_t enrollmentIndex = 0;
    uint32_t userIndex = 0;
    Vector4 position;                               // copied, never interpreted
    Vector4 joints[JOINT_COUNT];
    uint32_t jointTrackingStates[JOINT_COUNT] = {}; // copied, never interpreted
    uint32_t qualityFlags = 0;                      // copied, never interpreted
};

static_assert(sizeof(Vector4) == 16, "Vector4 must be four packed floats");
static_assert(sizeof(SkeletonRecord) == 436, "SkeletonRecord must be the sensor's 436-byte record");
static_assert(offsetof(SkeletonRecord, trackingState) == 0, "tracking state at 0");
static_assert(offsetof(SkeletonRecord, trackingId) == 4, "identifiers at 4");
static_assert(offsetof(SkeletonRecord, position) == 16, "body position at 16");
static_assert(offsetof(SkeletonRecord, joints) == 32, "joint positions at 32");
static_assert(offsetof(SkeletonRecord, jointTrackingStates) == 352, "joint states at 352");
static_assert(offsetof(SkeletonRecord, qualityFlags) == 432, "quality flags at 432");

constexpr int SKELETON_SLOT_COUNT = 6;

// One skeleton frame: six person slots (the runtime's 48-byte header is not kept).
struct SkeletonFrame {
    SkeletonRecord slots[SKELETON_SLOT_COUNT];
};

inline Vec3 jointPosition(const SkeletonRecord& record, int joint) {
    const Vector4& p = record.joints[joint];
    return {p.x, p.y, p.z};
}

inline void setJointPosition(SkeletonRecord& record, int joint, Vec3 v) {
    record.joints[joint].x = v.x;
    record.joints[joint].y = v.y;
    record.joints[joint].z = v.z;
}
