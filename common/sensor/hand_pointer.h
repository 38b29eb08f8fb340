#pragma once
// HandPointer: one hand's on-screen cursor. It moves like a mouse with acceleration (relative
// movement of the low-pass filtered wrist times a speed-dependent gain), stays inside a fixed box
// in front of the body, and is engaged only while the wrist has been held forward for a while.
// Headless: textures are plain GL names here; loading and drawing live in
// common/widgets/hand_pointer_draw.h. Only the frame loop's thread touches a pointer.
#include <algorithm>
#include <array>
#include <cstdint>

#include "common/sensor/window_info.h"

// The engagement states; other code tests `state == POINTER_ENGAGED`.
//   IDLE    -> ARMING   reach > 0.2 m (armStart = now)
//   ARMING  -> IDLE     reach < 0.2 m
//   ARMING  -> ENGAGED  now - armStart > armDelay (position jumps to the filtered wrist)
//   ENGAGED -> IDLE     reach < 0.2 m
// A reach of exactly 0.2 m changes nothing.
enum PointerState { POINTER_IDLE = 0, POINTER_ARMING = 1, POINTER_ENGAGED = 2 };

// Window pixels, x right, y up, origin bottom-left.
struct ScreenPoint {
    float x = 0.0f;
    float y = 0.0f;
};

constexpr float POINTER_REACH_THRESHOLD = 0.2f;  // metres along the body normal
constexpr float POINTER_FILTER_KEEP = 0.6f;      // weight of the previous filtered target
constexpr float POINTER_FILTER_NEW = 0.4f;       // weight of the new target (not 1 - 0.6f, which rounds lower)
constexpr float POINTER_GAIN_FACTOR = 40.0f;     // gain per metre of filtered movement
constexpr float POINTER_GAIN_MIN = 0.5f;
constexpr float POINTER_GAIN_MAX = 4.0f;

struct HandPointer {
    // Box in metres of the sensor's frame. Hand 0 covers x -0.5..0, hand 1 covers 0..0.5.
    float xMin = -0.5f;
    float xMax = 0.0f;
    float yMin = -0.1f;
    float yMax = 0.4f;
    float x = 0.0f;       // current position inside the box (metres)
    float y = 0.0f;
    float lastX = 0.0f;   // last filtered wrist target (metres)
    float lastY = 0.0f;
    int hand = 0;         // 0 left, 1 right
    int state = POINTER_IDLE;
    float size = 20.0f;   // drawn size in window pixels
    std::array<uint8_t, 4> colour{{0, 0, 0, 255}};  // R, G, B, A tint
    uint32_t closedTexture = 0;   // GL texture names; 0 = image missing (quad drawn untextured)
    uint32_t defaultTexture = 0;
    int armStart = 0;     // clock ms when arming began
    int armDelay = 500;   // ms the reach must be held before engaging
    const WindowInfo* window = nullptr;  // not owned; gives the width and height in pixels

    HandPointer() = default;
    // Fills the box for `hand` (0 or 1); textures stay 0 until loadHandPointerTextures.
    HandPointer(int handIndex, const WindowInfo* windowInfo) : hand(handIndex), window(windowInfo) {
        if (hand == 1) {
            xMin = 0.0f;
            xMax = 0.5f;
        }
    }

    // Once per frame with the frame's ArmPose (values 12..14 for hand 0, 15..17 for hand 1)
    // and the clock's milliseconds.
    void update(const std::array<float, 18>& pose, uint32_t nowMs);

    // Position in window pixels, clamped to [0, W - 1] x [0, H - 1]. (0, 0) without a window.
    // Inline, like the constructor, so that the drawing code needs no link to this library.
    ScreenPoint screenPosition() const {
        ScreenPoint p;
        if (window == nullptr) {
            return p;
        }
        const float w = static_cast<float>(window->width);
        const float h = static_cast<float>(window->height);
        p.x = (x - xMin) / (xMax - xMin) * w;
        p.y = (y - yMin) / (yMax - yMin) * h;
        // Upper bound first so that an empty window (W = 0) still ends at 0.
        p.x = std::max(std::min(p.x, w - 1.0f), 0.0f);
        p.y = std::max(std::min(p.y, h - 1.0f), 0.0f);
        return p;
    }

    bool engaged() const { return state == POINTER_ENGAGED; }
};
