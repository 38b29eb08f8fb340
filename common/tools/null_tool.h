#pragma once
// NullTool: the tool that does nothing. It is current while the user chooses a tool by gesture,
// so that the hands can move freely without painting.
#include "common/tools/tool.h"

class NullTool : public Tool {
public:
    void onLeftGrip(const ArmPose&) override {}
    void onRightGrip(const ArmPose&) override {}
    void onBothGrip(const ArmPose&) override {}
    void onNoGrip(const ArmPose&) override {}
    void drawOverlay() override {}
    void undo() override {}
    void redo() override {}
    int32_t iconTexture() override { return -1; }  // no icon: the corner square is left empty
};
