#pragma once
// The simulated performer's named whole-arm gestures. Each one is a smooth wrist path
// through key points, starting and ending at the rest pose (arms hanging) with zero speed,
// so the recogniser sees a clear movement between two stills. Each performance varies
// slightly (seeded) in amplitude, speed and timing, as a person's repetitions do.
#include <cstdint>
#include <string>
#include <vector>

#include "common/math/vec3.h"

// Arm space: metres from the arm's own shoulder; x outward (away from the body's midline),
// y up, z forward (toward the camera). The same path serves either arm.
struct PerformerGesture {
    std::string name;
    bool usesArm[2] = {false, false};  // hand 0 left, 1 right
    uint32_t durationMs = 1000;        // nominal; performances vary by up to +-8 %
    std::vector<Vec3> keyPoints;       // arm space; the first and last are the rest pose
};

// How one performance differs from the nominal gesture.
struct GestureVariation {
    float amplitude = 1.0f;  // scales the path's distance from rest (0.94..1.06)
    float speed = 1.0f;      // duration divisor (0.92..1.08)
    float warp = 0.0f;       // timing skew (-0.03..0.03): early or late middle
    float lift = 0.0f;       // metres the middle of the path is raised (-0.02..0.02)
};

// The rest wrist in arm space (a nearly straight, hanging arm).
Vec3 restArmOffset();

const std::vector<PerformerGesture>& performerGestures();
// nullptr for an unknown name.
const PerformerGesture* findPerformerGesture(const std::string& name);

GestureVariation gestureVariation(uint32_t seed);
// Duration of one performance, always within 1200..4000 ms.
uint32_t gestureDurationMs(const PerformerGesture& gesture, const GestureVariation& variation);

// Wrist position in arm space at phase 0..1 of a performance (clamped outside).
Vec3 gestureArmOffset(const PerformerGesture& gesture, const GestureVariation& variation, float phase);
