#include "common/tools/tool_dispatch.h"

#include <cstdio>

#include "common/sensor/hand_pointer.h"
#include "common/sensor/hand_state_detector.h"
#include "common/tools/edit_history.h"

bool handGrips(const HandPointer& pointer, bool detectorClosed) {
    return detectorClosed && pointer.state == POINTER_ENGAGED;
}

bool handGrips(const HandPointer& pointer, const HandStateDetector& detector) {
    return handGrips(pointer, detector.closed());
}

void dispatchToolInput(Tool* tool, const ArmPose& pose, bool leftGrips, bool rightGrips) {
    if (tool == nullptr) {
        return;
    }
    if (leftGrips && !rightGrips) {
        tool->onLeftGrip(pose);
    } else if (rightGrips && !leftGrips) {
        tool->onRightGrip(pose);
    } else if (leftGrips && rightGrips) {
        tool->onBothGrip(pose);
    } else {
        tool->onNoGrip(pose);
    }
}

void pauseToolInput(ToolSelection& selection, Tool* lastTool, const ArmPose& pose) {
    if (lastTool == nullptr) return;
    lastTool->onNoGrip(pose);
    selection.gripsWaitForOpenHands = true;
}

void resumedGrips(ToolSelection& selection, bool& leftGrips, bool& rightGrips) {
    if (!selection.gripsWaitForOpenHands) return;
    if (leftGrips || rightGrips) {
        leftGrips = rightGrips = false;
    } else {
        selection.gripsWaitForOpenHands = false;
    }
}

void dispatchToolInput(ToolSelection& selection, const ArmPose& pose, const HandPointer& leftPointer,
                       const HandStateDetector& leftDetector, const HandPointer& rightPointer,
                       const HandStateDetector& rightDetector) {
    bool leftGrips = handGrips(leftPointer, leftDetector);
    bool rightGrips = handGrips(rightPointer, rightDetector);
    resumedGrips(selection, leftGrips, rightGrips);
    dispatchToolInput(selection.currentTool, pose, leftGrips, rightGrips);
}

bool selectTool(ToolSelection& selection, int index) {
    if (index < 0 || index >= static_cast<int>(selection.tools.size())) {
        std::printf("selectTool: no tool at index %d (the list holds %zu)\n", index,
                    selection.tools.size());
        return false;
    }
    selection.currentTool = selection.tools[static_cast<size_t>(index)];
    return true;
}

bool handleToolGesture(ToolSelection& selection, EditHistory& history, const std::string& name,
                       bool painting) {
    if (!selection.gestureArmed) {
        if (name != "DEFAULT_GESTURE") {
            return false;
        }
        selectTool(selection, 0);
        selection.gestureArmed = true;
        return true;
    }
    if (name.size() != 1 || name[0] < '0' || name[0] > '8') {
        return false;
    }
    const int gesture = name[0] - '0';
    if (gesture <= 6) {
        if (!selectTool(selection, gesture + 1)) {
            return false;
        }
        if (painting) {
            selection.gestureArmed = false;
        }
        return true;
    }
    if (!painting) {
        return false;
    }
    if (gesture == 7) {
        history.undoLast();
    } else {
        history.redoLast();
    }
    return true;
}
