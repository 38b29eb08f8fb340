#pragma once
// Manipulator2D: pans, rotates and zooms the canvas with both hands, like pulling a sheet. While
// both hands grip, the paint that lay under the hands' midpoint at the start of the gesture
// follows the current midpoint, turned by the change of direction between the hands and scaled
// by the change of their distance. It owns the canvas view transform; manipulations are not
// recorded for undo.
#include "common/sensor/hand_pointer.h"
#include "common/tools/tool.h"
#include "paint/canvas.h"

// Direction from L to R in radians, in [-pi/2, 3pi/2) with pi taken as 3.14159. Window pixels.
float pointerAngle(ScreenPoint left, ScreenPoint right);

class Manipulator2D : public Tool {
public:
    // The pointers must outlive the tool. Loads "../images/manipulator.png" as its icon.
    Manipulator2D(const HandPointer& leftPointer, const HandPointer& rightPointer);

    void onLeftGrip(const ArmPose& pose) override;   // new reference
    void onRightGrip(const ArmPose& pose) override;  // new reference
    void onBothGrip(const ArmPose& pose) override;   // move the view
    void onNoGrip(const ArmPose& pose) override;     // new reference
    void drawOverlay() override {}
    void undo() override {}
    void redo() override {}
    int32_t iconTexture() override { return icon; }

    // The reference for the next move: the pointers' angle, distance and midpoint now, and the
    // view reached so far.
    void takeReference();
    // Rebuilds the view from the start view and the pointers' change since the reference.
    void move();

    Matrix4 view = identityMatrix();       // canvas -> window pixels
    Matrix4 startView = identityMatrix();  // view when the current two-hand gesture began
    float startAngle = 0.0f;               // radians
    float startDistance = 1.0f;            // window pixels
    ScreenPoint startMidpoint;             // window pixels
    ScreenPoint midpoint;
    ScreenPoint pan;
    float rotation = 0.0f;  // radians
    float scale = 1.0f;
    int32_t icon = 0;

private:
    const HandPointer& left_;
    const HandPointer& right_;
};
