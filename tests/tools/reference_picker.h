#pragma once
// An independent model of the colour picker: the hexcone conversion and how the hands' motion
// turns the hue and changes saturation and value. Written from the picker's rules rather than its
// code, sharing no type with the program, so that tests can compare the two frame by frame.
#include <array>
#include <cmath>

namespace ref {

using Colour = std::array<float, 3>;
using Pose = std::array<float, 18>;

constexpr int LEFT_WRIST_Y = 13;
constexpr int RIGHT_WRIST_X = 15;
constexpr int RIGHT_WRIST_Y = 16;

// Which hands grip this frame, hence which input operation the current tool receives.
enum Input { LEFT_GRIP, RIGHT_GRIP, BOTH_GRIP, NO_GRIP };

inline Input inputFor(bool leftGrips, bool rightGrips) {
    if (leftGrips && !rightGrips) return LEFT_GRIP;
    if (rightGrips && !leftGrips) return RIGHT_GRIP;
    if (leftGrips && rightGrips) return BOTH_GRIP;
    return NO_GRIP;
}

// ---- Colour -------------------------------------------------------------------------------------

// Hue in degrees; sectors of 1.0472 radians, k the integer part (toward zero).
inline Colour hexcone(float hue, float s, float v) {
    const float h = hue * 0.017453f;
    const int k = static_cast<int>(h / 1.0472f);
    const float f = h / 1.0472f - static_cast<float>(k);
    const float p = (1.0f - s) * v;
    const float q = v * (1.0f - s * f);
    const float t = v * (1.0f - s * (1.0f - f));
    switch (k) {
        case 0:
        case 6: return Colour{{v, t, p}};
        case 1: return Colour{{q, v, p}};
        case 2: return Colour{{p, v, t}};
        case 3: return Colour{{p, q, v}};
        case 4: return Colour{{t, p, v}};
        case 5: return Colour{{v, p, q}};
        default: return Colour{{0.0f, 0.0f, 0.0f}};
    }
}

inline float limited(float v) { return v < -1.0f ? -1.0f : (v > 1.0f ? 1.0f : v); }

struct Picker {
    float value = 0.8f;
    float hue = 200.0f;
    float saturation = 1.0f;
    Pose last{};
    int hueWraps = 0;
    int limits = 0;

    void changeValue(const Pose& pose) {
        const float v = value + 2.0f * (pose[LEFT_WRIST_Y] - last[LEFT_WRIST_Y]);
        if (std::fabs(v) > 1.0f) ++limits;
        value = limited(v);
    }
    void changeHueOrSaturation(const Pose& pose) {
        const float dx = pose[RIGHT_WRIST_X] - last[RIGHT_WRIST_X];
        const float dy = pose[RIGHT_WRIST_Y] - last[RIGHT_WRIST_Y];
        if (std::fabs(dy) < std::fabs(dx)) {
            const float t = 200.0f * dx;
            hue = hue + t * std::fabs(t);
            if (hue > 360.0f || hue < 0.0f) ++hueWraps;
            // Whole turns first when there are many of them: subtracting 360 one turn at a
            // time from a float this large would never end (it no longer changes the value).
            if (std::fabs(hue) > 1.0e6f) hue = std::fmod(hue, 360.0f);
            while (hue > 360.0f) hue -= 360.0f;
            while (hue < 0.0f) hue += 360.0f;
        } else {
            if (std::fabs(saturation + 2.0f * dy) > 1.0f) ++limits;
            saturation = limited(saturation + 2.0f * dy);
        }
    }
    void idle(const Pose& pose, Colour& current) {
        last = pose;
        current = hexcone(hue, saturation, value);
    }
    void input(Input in, const Pose& pose, Colour& current) {
        if (in == LEFT_GRIP) changeValue(pose);
        if (in == RIGHT_GRIP) changeHueOrSaturation(pose);
        if (in == BOTH_GRIP) {
            changeHueOrSaturation(pose);
            changeValue(pose);
        }
        idle(pose, current);
    }
};

}  // namespace ref
