#pragma once
// Rubber2D: while the right hand grips, cuts away the part of the picked stroke that lies inside
// a circle around the pointer, splitting the stroke where the circle crosses it. The left hand
// sets the circle's radius as with the brush. Every gripping frame over a stroke is one edit.
#include <cstdint>
#include <vector>

#include "common/sensor/hand_pointer.h"
#include "common/tools/edit_history.h"
#include "common/tools/tool.h"
#include "paint/canvas.h"

class Manipulator2D;

struct EraseRecord {
    Stroke before;               // the stroke as it was before the step
    std::vector<Stroke> pieces;  // the strokes that replaced it (the shortened stroke last)
};

class Rubber2D : public Tool {
public:
    // pickedStrokeId is the id under the right pointer from the previous picking pass (-1 none).
    // References must outlive the tool. Loads "../images/rubbertool.png" as its icon.
    Rubber2D(const HandPointer& rightPointer, const Manipulator2D& manipulator, Canvas& canvas,
             const int32_t& pickedStrokeId, EditHistory& history);

    void onLeftGrip(const ArmPose& pose) override;   // change width
    void onRightGrip(const ArmPose& pose) override;  // erase step
    void onBothGrip(const ArmPose& pose) override;   // change width; erase step
    void onNoGrip(const ArmPose& pose) override;     // keep pose
    void drawOverlay() override;                     // black ring at the pointer
    void undo() override;
    void redo() override;
    int32_t iconTexture() override { return icon; }

    // Cuts the picked stroke with the circle of radius `width` (window pixels) at the pointer.
    void eraseStep();

    float width = 10.0f;  // window pixels, never below 1: the circle's radius on screen
    ArmPose lastPose{};
    std::vector<EraseRecord> undoStack;
    std::vector<EraseRecord> redoStack;
    int32_t icon = 0;

private:
    const HandPointer& pointer_;
    const Manipulator2D& manipulator_;
    Canvas& canvas_;
    const int32_t& pickedStrokeId_;
    EditHistory& history_;
};
