#pragma once
// Ink2D: the fill tool. Gripping with the right hand over a stroke gives that whole stroke the
// current colour. Holding the grip over one stroke records one edit however many frames it lasts.
#include <array>
#include <cstdint>
#include <vector>

#include "common/tools/edit_history.h"
#include "common/tools/tool.h"
#include "paint/canvas.h"

struct ColorRecord {
    int32_t id = 0;                                    // the stroke
    std::array<float, 3> colour{{0.0f, 0.0f, 0.0f}};  // its colour before the fill
};

class Ink2D : public Tool {
public:
    // pickedStrokeId is the id under the right pointer from the previous picking pass (-1 none).
    // References must outlive the tool. Loads "../images/filltool.png" as its icon.
    Ink2D(Canvas& canvas, const int32_t& pickedStrokeId, const std::array<float, 3>& currentColor,
          EditHistory& history);

    void onLeftGrip(const ArmPose&) override {}
    void onRightGrip(const ArmPose& pose) override;  // fill
    void onBothGrip(const ArmPose& pose) override;   // fill
    void onNoGrip(const ArmPose&) override {}
    void drawOverlay() override {}
    void undo() override;
    void redo() override;
    int32_t iconTexture() override { return icon; }

    void fill();

    std::vector<ColorRecord> undoStack;
    std::vector<ColorRecord> redoStack;
    int32_t icon = 0;

private:
    Canvas& canvas_;
    const int32_t& pickedStrokeId_;
    const std::array<float, 3>& currentColor_;
    EditHistory& history_;
};
