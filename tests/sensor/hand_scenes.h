#pragma once
// Inputs for the hand pointer's and the hand detector's tests: arm poses with chosen hand
// values, and skeletons whose joints project to chosen image pixels.
#include <array>

#include "common/sensor/skeleton_record.h"

// The depth camera's focal length in pixels at 640 x 480.
constexpr float FOCAL = 2.0f * 285.63f;

using Pose = std::array<float, 18>;

// A pose whose hand values (x, y, reach) are set for `hand`; all else zero.
inline Pose handPose(int hand, float x, float y, float reach) {
    Pose p{};
    const int base = hand == 1 ? 15 : 12;
    p[base] = x;
    p[base + 1] = y;
    p[base + 2] = reach;
    return p;
}

// Camera-space point (metres) at depth z that projects to image pixel (u, v).
inline Vector4 atPixel(float u, float v, float z) {
    Vector4 p;
    p.x = (u - 320.0f) * z / FOCAL;
    p.y = (240.0f - v) * z / FOCAL;
    p.z = z;
    p.w = 1.0f;
    return p;
}

// A skeleton whose torso stands `torsoBehind` metres behind the wrist of `hand`, with the
// wrist at image pixel (uw, vw) and the elbow at (ue, ve), both at depth z.
inline SkeletonRecord armSkeleton(int hand, float uw, float vw, float ue, float ve, float z,
                                  float torsoBehind = 0.3f) {
    SkeletonRecord s;
    s.trackingState = SKELETON_TRACKED;
    for (int j = 0; j < JOINT_COUNT; ++j) s.joints[j] = atPixel(320.0f, 300.0f, z + torsoBehind);
    s.joints[JOINT_HEAD] = atPixel(320.0f, 120.0f, z + torsoBehind);
    s.joints[hand == 1 ? JOINT_WRIST_RIGHT : JOINT_WRIST_LEFT] = atPixel(uw, vw, z);
    s.joints[hand == 1 ? JOINT_ELBOW_RIGHT : JOINT_ELBOW_LEFT] = atPixel(ue, ve, z);
    return s;
}
