#pragma once
// Synthetic poses, gestures and skeletons for the recogniser's tests.
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "common/gesture/gesture.h"

namespace gesture_test {

// A pose with the eight angle values given in pose order (elbow L, elbow R, elevation L, ...).
inline ArmPose anglePose(std::initializer_list<float> angles) {
    ArmPose p{};
    int i = 0;
    for (float a : angles) p[i++] = a;
    return p;
}

// Arms hanging relaxed, as the recogniser's rest reference.
inline ArmPose restPose() { return anglePose({155, 155, 15, 15, 0, 0, 0, 0}); }

// `count` poses evenly spaced on the straight line from a to b (count >= 2).
inline Gesture lineGesture(const ArmPose& a, const ArmPose& b, int count,
                           GestureType type = GestureType::BOTH) {
    Gesture g;
    g.type = type;
    for (int k = 0; k < count; ++k) {
        const float t = static_cast<float>(k) / static_cast<float>(count - 1);
        ArmPose p{};
        for (int i = 0; i < ARM_POSE_SIZE; ++i) p[i] = a[i] + t * (b[i] - a[i]);
        g.poses.push_back(p);
    }
    return g;
}

// A right-arm swing: the right elevation follows half a sine from 15 to 15 + amplitude and back,
// the left arm hangs at rest. Another valueIndex or offset gives another class.
inline Gesture swingGesture(int count, float amplitude, int valueIndex = 3, float offset = 0.0f) {
    Gesture g;
    g.type = GestureType::BOTH;
    for (int k = 0; k < count; ++k) {
        ArmPose p = restPose();
        const float t = count > 1 ? static_cast<float>(k) / static_cast<float>(count - 1) : 0.5f;
        p[valueIndex] += offset + amplitude * std::sin(3.1415927f * t);
        g.poses.push_back(p);
    }
    return g;
}

// Sensor-like jitter: every angle moves by up to +-amplitude degrees, from a fixed seed.
struct Jitter {
    uint32_t state = 12345u;
    float amplitude = 1.5f;
    float next() {
        state = state * 1664525u + 1013904223u;
        return amplitude * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
    }
    ArmPose operator()(ArmPose p) {
        for (int i = 0; i < ARM_ANGLE_COUNT; ++i) p[i] += next();
        return p;
    }
};

}  // namespace gesture_test
