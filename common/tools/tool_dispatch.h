#pragma once
// Choosing the current tool (keys and recognised gestures) and calling exactly one of its input
// operations per painting frame. Plain functions on a small record, independent of the
// application so that both programs and the tests share them. Main thread only.
#include <string>
#include <vector>

#include "common/gesture/arm_pose.h"
#include "common/tools/tool.h"

struct EditHistory;
struct HandPointer;
struct HandStateDetector;

// The tool list and the current tool. In the painting program the list is, by index:
// 0 NullTool, 1 Manipulator2D, 2 Colorpicker, 3 Brush2D, 4 StraightLine2D, 5 Ink2D,
// 6 Rubber2D, 7 StrokeEraser2D.
struct ToolSelection {
    std::vector<Tool*> tools;     // not owned; fixed after start-up
    Tool* currentTool = nullptr;  // one entry of tools
    // While set, the next recognised gesture is a command; while clear only "DEFAULT_GESTURE"
    // has an effect. The recogniser classifies full gestures only while it is set.
    bool gestureArmed = true;
    // Set by pauseToolInput; until a frame in which no hand grips, no hand counts as gripping.
    bool gripsWaitForOpenHands = false;
};

// A hand grips when its pointer is engaged and its detector reports it closed, both as updated
// earlier in the same frame.
bool handGrips(const HandPointer& pointer, bool detectorClosed);
bool handGrips(const HandPointer& pointer, const HandStateDetector& detector);

// Calls exactly one of onLeftGrip, onRightGrip, onBothGrip or onNoGrip on `tool`. Does nothing
// when tool is null.
void dispatchToolInput(Tool* tool, const ArmPose& pose, bool leftGrips, bool rightGrips);

// The program gives tools no input while its file dialog is open. A grip under way ends
// there: `lastTool`, the tool given input in the last frame (null if none), gets no grip. After
// the pause the detectors report the hands as they were before it for up to three frames, while
// the pointers move on to where the hands are now, so a brush would draw a line across the
// whole pause; grips therefore count again only from the first frame in which no hand grips.
void pauseToolInput(ToolSelection& selection, Tool* lastTool, const ArmPose& pose);

// The grips this frame, after a pause: both false until neither hand grips, then as they are.
void resumedGrips(ToolSelection& selection, bool& leftGrips, bool& rightGrips);

// The frame loop's form: the current tool gets the grips read from the pointers and detectors
// (left is hand index 0, right hand index 1), as resumedGrips lets them through.
void dispatchToolInput(ToolSelection& selection, const ArmPose& pose, const HandPointer& leftPointer,
                       const HandStateDetector& leftDetector, const HandPointer& rightPointer,
                       const HandStateDetector& rightDetector);

// Makes tools[index] current without notifying either tool. An index outside the list is
// refused with one line on stdout and returns false.
bool selectTool(ToolSelection& selection, int index);

// Handles one recognised gesture name. `painting` is true while the painting screen is shown.
// While armed: "0".."6" select entries 1..7 (in painting also clearing gestureArmed);
// "7" undoes and "8" redoes, both only while painting. While disarmed: "DEFAULT_GESTURE" selects
// entry 0 (NullTool) and arms; everything else is ignored. Returns true when the name changed
// the tool, the flag or the history.
bool handleToolGesture(ToolSelection& selection, EditHistory& history, const std::string& name,
                       bool painting);
