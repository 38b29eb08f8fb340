#include "paint/stroke_eraser_2d.h"

#include "common/tools/tool_icon.h"

StrokeEraser2D::StrokeEraser2D(Canvas& canvas, const int32_t& pickedStrokeId,
                               EditHistory& history)
    : canvas_(canvas), pickedStrokeId_(pickedStrokeId), history_(history) {
    icon = loadToolIcon("../images/trashtool.png");
}

void StrokeEraser2D::deletePicked() {
    if (pickedStrokeId_ == -1) {
        return;
    }
    const int index = canvas_.findStrokeIndex(pickedStrokeId_);
    if (index < 0) {
        return;
    }
    canvas_.noteStrokeRecorded(canvas_.strokes[static_cast<size_t>(index)]);
    undoStack.push_back(canvas_.strokes[static_cast<size_t>(index)]);
    history_.recordEdit(this);
    redoStack.clear();
    canvas_.eraseStroke(static_cast<size_t>(index));
}

void StrokeEraser2D::onRightGrip(const ArmPose&) { deletePicked(); }
void StrokeEraser2D::onBothGrip(const ArmPose&) { deletePicked(); }

void StrokeEraser2D::undo() { moveStrokeRecord(canvas_, undoStack, redoStack, true); }

void StrokeEraser2D::redo() { moveStrokeRecord(canvas_, redoStack, undoStack, false); }
