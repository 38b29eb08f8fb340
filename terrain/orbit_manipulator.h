#pragma once
// OrbitManipulator: the camera tool. The right hand alone turns the view around the orbit
// centre (azimuth and elevation); both hands zoom by moving apart or together and pan by moving
// their midpoint. The left hand alone only keeps the camera updated.
#include <cstdint>

#include "common/gesture/arm_pose.h"
#include "common/tools/tool.h"
#include "terrain/camera.h"

class OrbitManipulator : public Tool {
public:
    Camera& camera;
    float centre[3] = {128.0f, 0.0f, 128.0f};  // the middle of the terrain
    float azimuth = 50.0f;    // degrees, unlimited
    float elevation = 50.0f;  // degrees, unlimited; 90 looks straight down
    float distance = 300.0f;  // world units, always above 0
    float gain = 100.0f;      // degrees (or pan units) per metre of wrist motion
    ArmPose previous{};       // the pose of the last frame this tool was current
    uint32_t icon = 0;        // "../images/camera_3d.png"; 0 when missing or without GL

    // Loads the icon when a GL context is current, and updates the camera once so it is
    // valid before the first frame.
    explicit OrbitManipulator(Camera& camera);

    // pose = translation(centre) * Ry(-azimuth) * Rx(-elevation) * translation(0, 0, distance);
    // writes it into the camera and updates the camera.
    void updateCamera();
    void rotate(const ArmPose& pose);      // right wrist x turns azimuth, y elevation
    void zoomAndPan(const ArmPose& pose);  // wrist distance zooms, wrist midpoint pans

    void onLeftGrip(const ArmPose& pose) override { onNoGrip(pose); }
    void onRightGrip(const ArmPose& pose) override;
    void onBothGrip(const ArmPose& pose) override;
    void onNoGrip(const ArmPose& pose) override;
    void drawOverlay() override {}
    void undo() override {}
    void redo() override {}
    int32_t iconTexture() override { return static_cast<int32_t>(icon); }
};
