#pragma once
// StrokeEraser2D, the trash tool: the right hand, gripping, deletes the whole stroke under the
// pointer. Held over a pile it deletes one stroke per frame, topmost first, because each frame's
// pick sees what the previous frame left.
#include <cstdint>
#include <vector>

#include "common/tools/edit_history.h"
#include "common/tools/tool.h"
#include "paint/canvas.h"

class StrokeEraser2D : public Tool {
public:
    // pickedStrokeId is the id under the right pointer from the previous picking pass (-1 none).
    // References must outlive the tool. Loads "../images/trashtool.png" as its icon.
    StrokeEraser2D(Canvas& canvas, const int32_t& pickedStrokeId, EditHistory& history);

    void onLeftGrip(const ArmPose&) override {}
    void onRightGrip(const ArmPose& pose) override;  // delete the picked stroke
    void onBothGrip(const ArmPose& pose) override;   // delete the picked stroke
    void onNoGrip(const ArmPose&) override {}
    void drawOverlay() override {}
    void undo() override;  // the stroke comes back at the end of the list (drawn on top)
    void redo() override;
    int32_t iconTexture() override { return icon; }

    void deletePicked();

    std::vector<Stroke> undoStack;
    std::vector<Stroke> redoStack;
    int32_t icon = 0;

private:
    Canvas& canvas_;
    const int32_t& pickedStrokeId_;
    EditHistory& history_;
};
