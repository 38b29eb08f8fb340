#pragma once
// StraightLine2D: one straight segment per right-hand grip, from where the pointer was when the
// grip began to where it is when the grip ends; a preview follows the hand meanwhile. The left
// hand sets the width as with the brush. Each committed line is one edit.
#include <array>
#include <cstdint>
#include <vector>

#include "common/sensor/hand_pointer.h"
#include "common/tools/edit_history.h"
#include "common/tools/tool.h"
#include "paint/canvas.h"

class Manipulator2D;

class StraightLine2D : public Tool {
public:
    // References must outlive the tool. Loads "../images/straightline.png" as its icon.
    StraightLine2D(const HandPointer& rightPointer, Canvas& canvas,
                   const Manipulator2D& manipulator, const std::array<float, 3>& currentColor,
                   EditHistory& history);

    void onLeftGrip(const ArmPose& pose) override;   // change width; finish line
    void onRightGrip(const ArmPose& pose) override;  // update end
    void onBothGrip(const ArmPose& pose) override;   // change width; update end
    void onNoGrip(const ArmPose& pose) override;     // finish line
    void drawOverlay() override;                     // preview in window pixels
    void undo() override;
    void redo() override;
    int32_t iconTexture() override { return icon; }

    void updateEnd();
    void finishLine();

    float width = 10.0f;  // window pixels, never below 1
    ArmPose lastPose{};
    ScreenPoint start;    // window pixels: the pointer at the last finish (follows it while idle)
    // False until the first finish. A grip already held when the tool is first used then
    // starts its line where the pointer is, not at the window's corner.
    bool startKnown = false;
    CanvasPoint end;      // canvas coordinates of the pending line's far end
    bool lineActive = false;  // the pointer has moved more than one width from start in this grip
    std::vector<Stroke> undoStack;
    std::vector<Stroke> redoStack;
    int32_t icon = 0;

private:
    const HandPointer& pointer_;
    Canvas& canvas_;
    const Manipulator2D& manipulator_;
    const std::array<float, 3>& currentColor_;
    EditHistory& history_;
};
