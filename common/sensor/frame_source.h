#pragma once
// Where SensorInput gets its frames: the simulated performer, a recording, a csv stream or,
// later, a real camera. Mirrors the sensor runtime's polling calls.
#include <cstdint>
#include <functional>

#include "common/sensor/skeleton_record.h"

constexpr int FRAME_WIDTH = 640;
constexpr int FRAME_HEIGHT = 480;
constexpr int FRAME_PIXELS = FRAME_WIDTH * FRAME_HEIGHT;   // 307,200
constexpr int COLOUR_FRAME_BYTES = FRAME_PIXELS * 4;       // B, G, R, X per pixel, rows top to bottom
constexpr int DEPTH_FRAME_BYTES = FRAME_PIXELS * 2;        // packed 16-bit: millimetres << 3 | player

// Focal length of the 640 x 480 image in pixels (285.63 at 320 x 240, doubled).
constexpr float DEPTH_FOCAL_LENGTH = 2.0f * 285.63f;
constexpr float PROJECTION_MIN_Z = 1.1920929e-7f;
constexpr int TILT_LIMIT_DEGREES = 27;
// The runtime's frame fetches wait this long for a frame before they fail.
constexpr uint32_t FRAME_FETCH_WAIT_MS = 100;

// Waits `ms` milliseconds on the program's clock: sleeps on the wall clock, moves a virtual
// clock on.
using FrameWait = std::function<void(uint32_t ms)>;

// Projects a camera-space point (metres) to image pixels: u right, v down from the top-left.
// Points at z <= 1.1920929e-7 project to (0, 0).
inline void projectToImage(float x, float y, float z, float& u, float& v) {
    if (z > PROJECTION_MIN_Z) {
        u = 320.0f + x * DEPTH_FOCAL_LENGTH / z;
        v = 240.0f - y * DEPTH_FOCAL_LENGTH / z;
    } else {
        u = 0.0f;
        v = 0.0f;
    }
}

class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Called once per program frame, before the three fetches, with the clock's time in
    // milliseconds. Sources that follow time (the performer, replays at their time stamps)
    // move to that moment. Pacing belongs to the program's clock: a source waits only through
    // the FrameWait it was given, for a frame that is not due yet.
    virtual void advance(uint32_t nowMs) = 0;

    // How to wait for a frame that is due within FRAME_FETCH_WAIT_MS, as the runtime's fetch
    // does. A source that makes its frames on demand never waits; without a wait, a fetch
    // that finds no due frame fails at once.
    virtual void setFrameWait(FrameWait) {}

    // Each fetch fills its buffer and returns true, or returns false when no new frame is
    // ready (the runtime's time-out), leaving the buffer untouched.
    virtual bool nextSkeletonFrame(SkeletonFrame& frame) = 0;
    virtual bool nextColourFrame(uint8_t* bgrx /* COLOUR_FRAME_BYTES */) = 0;
    virtual bool nextDepthFrame(uint16_t* packedDepth /* FRAME_PIXELS */) = 0;

    // True once a stream that plays a file has delivered its last frame: no frame will ever
    // come again, so a failed fetch is not a fault worth a line every frame. A live source
    // never ends.
    virtual bool ended() const { return false; }

    // Camera elevation in whole degrees. Sources without a motor keep the value only.
    virtual int tiltAngle() const = 0;
    virtual void setTiltAngle(int degrees) = 0;
};
