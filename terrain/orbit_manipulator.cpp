#include "terrain/orbit_manipulator.h"

#include <cmath>

#include "common/widgets/texture.h"
#include "terrain/terrain.h"

OrbitManipulator::OrbitManipulator(Camera& cameraRef) : camera(cameraRef) {
    if (glContextCurrent()) icon = loadTexture("../images/camera_3d.png", TEXTURE_MIPMAPS);
    updateCamera();
}

void OrbitManipulator::updateCamera() {
    const float a = azimuth * 3.1415927f / 180.0f;
    const float b = elevation * 3.1415927f / 180.0f;
    const float ca = std::cos(a), sa = std::sin(a);
    const float cb = std::cos(b), sb = std::sin(b);
    const Mat4 ry = {ca, 0, sa, 0, 0, 1, 0, 0, -sa, 0, ca, 0, 0, 0, 0, 1};
    const Mat4 rx = {1, 0, 0, 0, 0, cb, -sb, 0, 0, sb, cb, 0, 0, 0, 0, 1};
    camera.pose = multiply(multiply(multiply(translationMatrix(centre[0], centre[1], centre[2]), ry), rx),
                           translationMatrix(0.0f, 0.0f, distance));
    camera.update();
}

void OrbitManipulator::rotate(const ArmPose& pose) {
    // Raising the right hand lowers the elevation.
    const float da = gain * (pose[POSE_RIGHT_WRIST_X] - previous[POSE_RIGHT_WRIST_X]);
    const float db = gain * (previous[POSE_RIGHT_WRIST_Y] - pose[POSE_RIGHT_WRIST_Y]);
    azimuth += da;
    elevation += db;
}

void OrbitManipulator::zoomAndPan(const ArmPose& pose) {
    // Wrists moving apart shrink the distance in proportion; 0.1 m apart is 10 % closer.
    // A step that would reach or pass the centre (wrists a metre apart within one frame, a
    // tracking jump) is ignored: at 0 the proportional zoom could never move out again, and
    // below it the view would turn inside out.
    const float zoomed = distance + (previous[POSE_WRIST_DISTANCE] - pose[POSE_WRIST_DISTANCE]) * distance;
    if (zoomed > 0.0f && std::isfinite(zoomed)) distance = zoomed;

    const float mx = (pose[POSE_LEFT_WRIST_X] + pose[POSE_RIGHT_WRIST_X]) / 2.0f;
    const float my = (pose[POSE_LEFT_WRIST_Y] + pose[POSE_RIGHT_WRIST_Y]) / 2.0f;
    const float px = (previous[POSE_LEFT_WRIST_X] + previous[POSE_RIGHT_WRIST_X]) / 2.0f;
    const float py = (previous[POSE_LEFT_WRIST_Y] + previous[POSE_RIGHT_WRIST_Y]) / 2.0f;
    const float sx = (mx - px) * gain;
    const float sy = (my - py) * gain;

    // The camera's right and up axes as the pose stood before this frame's update: moving
    // both hands right moves the centre to the camera's left, so the terrain follows.
    float right[3] = {camera.pose[0], camera.pose[1], camera.pose[2]};
    float up[3] = {camera.pose[4], camera.pose[5], camera.pose[6]};
    for (float* axis : {right, up}) {
        const float length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
        if (length > 0.0f)
            for (int k = 0; k < 3; ++k) axis[k] /= length;
    }
    const float kx = -sx * distance * 0.01f;
    const float ky = -sy * distance * 0.01f;
    for (int k = 0; k < 3; ++k) centre[k] = centre[k] + kx * right[k] + ky * up[k];
}

void OrbitManipulator::onRightGrip(const ArmPose& pose) {
    rotate(pose);
    onNoGrip(pose);
}

void OrbitManipulator::onBothGrip(const ArmPose& pose) {
    zoomAndPan(pose);
    onNoGrip(pose);
}

void OrbitManipulator::onNoGrip(const ArmPose& pose) {
    updateCamera();
    previous = pose;
}
