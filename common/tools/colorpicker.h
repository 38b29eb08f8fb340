#pragma once
// Colorpicker: the tool that sets the painting colour of both programs. It holds the colour as
// hue, saturation and value. The right hand, gripping, turns the hue (sideways) or changes the
// saturation (up and down); the left hand, gripping, changes the value (up and down). Its overlay
// is a colour wheel in the middle of the window, turned so that the current hue is at the top.
#include <array>
#include <cstdint>

#include "common/sensor/window_info.h"
#include "common/tools/tool.h"

using Rgb = std::array<float, 3>;  // r, g, b, nominally 0..1

// The painting colour both programs start with.
constexpr Rgb INITIAL_COLOR{{0.0f, 0.55f, 0.75f}};

// The hexcone conversion: hue in degrees (sectors of 60 degrees, hue 360 is red again),
// saturation and value nominally 0..1. Out-of-range saturation or value is not rejected; the
// components are then outside 0..1 and are limited by OpenGL when drawn. A hue outside 0..360
// gives black.
Rgb hexconeColor(float hueDegrees, float saturation, float value);

class Colorpicker : public Tool {
public:
    // currentColor: the program's painting colour, written on every call of an input operation.
    // window: the main window's size, read when the wheel is drawn. Both must outlive the tool.
    // Loads "../images/colorpicker.png" as its icon.
    Colorpicker(Rgb& currentColor, const WindowInfo& window);

    void onLeftGrip(const ArmPose& pose) override;   // value
    void onRightGrip(const ArmPose& pose) override;  // hue or saturation
    void onBothGrip(const ArmPose& pose) override;   // both
    void onNoGrip(const ArmPose& pose) override;     // keep pose; recompute currentColor
    void drawOverlay() override;                     // the wheel and the marker
    void undo() override {}
    void redo() override {}
    int32_t iconTexture() override { return icon; }

    float value = 0.8f;       // -1..1
    float hue = 200.0f;       // degrees, 0..360
    float saturation = 1.0f;  // -1..1
    ArmPose lastPose{};       // the pose of the previous call; motions are differences to it
    int32_t icon = 0;

private:
    void changeValue(const ArmPose& pose);
    void changeHueOrSaturation(const ArmPose& pose);

    Rgb& currentColor_;
    const WindowInfo& window_;
};
