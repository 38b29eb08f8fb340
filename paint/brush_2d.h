#pragma once
// Brush2D: freehand strokes with the right hand. While the right hand grips, the pointer's path
// is added to the open stroke in the current colour; the left hand, gripping, changes the width
// by moving up or down. Each finished stroke is one edit.
#include <array>
#include <cstdint>
#include <vector>

#include "common/sensor/hand_pointer.h"
#include "common/tools/edit_history.h"
#include "common/tools/tool.h"
#include "paint/canvas.h"

class Manipulator2D;

constexpr float MIN_TOOL_WIDTH = 1.0f;  // window pixels
constexpr float WIDTH_GAIN = 50.0f;     // pixels per metre of left-wrist height

// The width rule the brush, line and rubber share: raising the left wrist by 2 cm widens by
// 1 pixel; the result is never below 1.
float changedWidth(float width, const ArmPose& pose, const ArmPose& lastPose);

// A flat disc or ring (GLU disk, 16 slices, 1 loop) centred at a window-pixel point, in the
// current colour, without the view transform: the feedback the brush, line and rubber draw.
void drawPointerDisk(ScreenPoint centre, float innerRadius, float outerRadius);

class Brush2D : public Tool, private UnrecordedStrokeOwner {
public:
    // References must outlive the tool. The view transform is read from the manipulator.
    // Loads "../images/brushtool.png" as its icon.
    Brush2D(const HandPointer& rightPointer, Canvas& canvas, const Manipulator2D& manipulator,
            const std::array<float, 3>& currentColor, EditHistory& history);
    ~Brush2D() override;
    Brush2D(const Brush2D&) = delete;  // the canvas may point at this tool
    Brush2D& operator=(const Brush2D&) = delete;

    void onLeftGrip(const ArmPose& pose) override;   // change width; finish stroke
    void onRightGrip(const ArmPose& pose) override;  // add point
    void onBothGrip(const ArmPose& pose) override;   // change width; add point
    void onNoGrip(const ArmPose& pose) override;     // finish stroke
    void drawOverlay() override;                     // brush disc at the pointer
    void undo() override;
    void redo() override;
    int32_t iconTexture() override { return icon; }

    void addPoint();
    void finishStroke();
    // The stroke this tool is painting, or null when there is none, when it was deleted, or when
    // it was recorded because another tool stored it (see `Canvas::noteStrokeRecorded`).
    Stroke* activeStroke();

    float width = 10.0f;       // window pixels, never below 1
    ArmPose lastPose{};
    ScreenPoint lastPoint;     // window pixels where the last point was added; kept across strokes
    bool strokeActive = false; // the current stroke has received a point and is not finished
    int32_t activeStrokeId = -1;  // the stroke being painted while strokeActive
    std::vector<Stroke> undoStack;
    std::vector<Stroke> redoStack;
    int32_t icon = 0;

private:
    // Pushes `stroke` as this tool's edit and ends the stroke in progress; the next point
    // starts a new one.
    void recordUnrecordedStroke(const Stroke& stroke) override;
    // No stroke in progress any more; the next point starts a new one.
    void endStroke();
    // Clears the canvas's stroke in progress if it is this tool's.
    void releaseStrokeInProgress();

    const HandPointer& pointer_;
    Canvas& canvas_;
    const Manipulator2D& manipulator_;
    const std::array<float, 3>& currentColor_;
    EditHistory& history_;
};
