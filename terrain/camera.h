#pragma once
// Camera: where the viewer is, and the projection and view matrices the frame loop and the
// terrain's picking draw with. Matrices are 4 x 4 floats stored column by column (translation
// in elements 12, 13, 14), ready for glLoadMatrixf.
#include <array>

#include "common/sensor/window_info.h"

using Mat4 = std::array<float, 16>;

constexpr Mat4 MAT4_IDENTITY = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Mat4 multiply(const Mat4& left, const Mat4& right);
Mat4 translationMatrix(float x, float y, float z);

struct Camera {
    Mat4 pose = MAT4_IDENTITY;  // camera-to-world; the camera looks along its -z, +y is up
    float nearPlane = 0.1f;
    float farPlane = 1000.0f;
    float fieldOfView = 45.0f;  // see update for how it enters the projection
    const WindowInfo* window = nullptr;  // not owned; gives the aspect
    Mat4 projection{};
    Mat4 view = MAT4_IDENTITY;  // world-to-camera, the rigid inverse of pose

    Camera() { update(); }
    explicit Camera(const WindowInfo* windowInfo) : window(windowInfo) { update(); }

    // width / height of the window; the stored aspect while the height is 0 (minimised), so
    // the projection never holds an infinity.
    float aspect() const;

    // Recomputes projection and view; call after pose or the window's size changed.
    void update();
};
