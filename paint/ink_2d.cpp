#include "paint/ink_2d.h"

#include <cmath>

#include "common/tools/tool_icon.h"

namespace {

bool sameColour(const std::array<float, 3>& a, const std::array<float, 3>& b) {
    for (int i = 0; i < 3; ++i) {
        if (!(std::fabs(a[i] - b[i]) < 0.00001f)) {
            return false;
        }
    }
    return true;
}

}  // namespace

Ink2D::Ink2D(Canvas& canvas, const int32_t& pickedStrokeId,
             const std::array<float, 3>& currentColor, EditHistory& history)
    : canvas_(canvas),
      pickedStrokeId_(pickedStrokeId),
      currentColor_(currentColor),
      history_(history) {
    icon = loadToolIcon("../images/filltool.png");
}

void Ink2D::fill() {
    const int32_t picked = pickedStrokeId_;
    if (picked == -1) {
        return;
    }
    for (Stroke& stroke : canvas_.strokes) {
        if (stroke.id != picked) {
            continue;
        }
        if (!sameColour(stroke.colour, currentColor_)) {
            // One record per stroke however long the grip is held over it.
            if (undoStack.empty() || undoStack.back().id != stroke.id) {
                undoStack.push_back(ColorRecord{stroke.id, stroke.colour});
                history_.recordEdit(this);
                redoStack.clear();
            }
        }
        stroke.colour = currentColor_;
    }
}

void Ink2D::onRightGrip(const ArmPose&) { fill(); }
void Ink2D::onBothGrip(const ArmPose&) { fill(); }

namespace {

// Moves the top record of `from` onto `to`, swapping the recorded colour with the stroke's
// present one. Exactly one record moves even when the stroke no longer exists, so that the two
// stacks stay paired with the edit history's entries for this tool.
void swapColour(Canvas& canvas, std::vector<ColorRecord>& from, std::vector<ColorRecord>& to) {
    if (from.empty()) {
        return;
    }
    const ColorRecord record = from.back();
    from.pop_back();
    ColorRecord reverse = record;
    bool first = true;
    for (Stroke& stroke : canvas.strokes) {
        if (stroke.id == record.id) {
            if (first) {
                reverse.colour = stroke.colour;
                first = false;
            }
            stroke.colour = record.colour;
        }
    }
    to.push_back(reverse);
}

}  // namespace

void Ink2D::undo() { swapColour(canvas_, undoStack, redoStack); }

void Ink2D::redo() { swapColour(canvas_, redoStack, undoStack); }
