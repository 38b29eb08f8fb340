#pragma once
// The shared painting state of the program, built by hand for tests of tool logic: a 1000 x 1000
// window, two pointers placed at chosen pixels, the canvas, the colour, the pick and the history.
// No GL context is needed (tools then load no icons).
#include <array>
#include <cstdint>

#include "common/sensor/hand_pointer.h"
#include "common/sensor/window_info.h"
#include "common/tools/colorpicker.h"
#include "common/tools/edit_history.h"
#include "paint/canvas.h"
#include "paint/manipulator_2d.h"

struct PaintRig {
    WindowInfo window{"test", 1.0f, 1000, 1000};
    HandPointer left{0, &window};
    HandPointer right{1, &window};
    Canvas canvas;
    Rgb color = INITIAL_COLOR;
    int32_t picked = -1;
    EditHistory history;
    Manipulator2D manipulator{left, right};

    PaintRig() {
        left.state = POINTER_ENGAGED;
        right.state = POINTER_ENGAGED;
    }

    // Puts the pointer on a window pixel (x right, y up) by inverting its box mapping.
    void place(HandPointer& p, float px, float py) const {
        p.x = p.xMin + px / static_cast<float>(window.width) * (p.xMax - p.xMin);
        p.y = p.yMin + py / static_cast<float>(window.height) * (p.yMax - p.yMin);
    }

    // A stroke with a fresh id appended to the canvas; returns its id.
    int32_t addStroke(std::initializer_list<CanvasPoint> points, float width = 4.0f) {
        Stroke s;
        s.points = points;
        s.width = width;
        s.colour = {{0.2f, 0.3f, 0.4f}};
        s.id = canvas.newStrokeId();
        canvas.appendStroke(s);
        return s.id;
    }
};

// A pose with the left wrist at height y (metres); the width tools read only this value.
inline ArmPose leftWristAt(float y) {
    ArmPose pose{};
    pose[POSE_LEFT_WRIST_Y] = y;
    return pose;
}
