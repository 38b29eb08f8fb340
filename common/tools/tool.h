#pragma once
// The interface every painting and terrain tool implements. Exactly one input operation is
// called per frame (see dispatchToolInput); onNoGrip is where tools finish what a grip began.
#include <cstdint>

#include "common/gesture/arm_pose.h"

class Tool {
public:
    virtual ~Tool() = default;
    virtual void onLeftGrip(const ArmPose& pose) = 0;   // left grips, right does not
    virtual void onRightGrip(const ArmPose& pose) = 0;  // right grips, left does not
    virtual void onBothGrip(const ArmPose& pose) = 0;   // both grip
    virtual void onNoGrip(const ArmPose& pose) = 0;     // neither grips: every idle frame
    virtual void drawOverlay() = 0;                      // window pixels, origin bottom-left
    virtual void undo() = 0;                             // revert this tool's latest record
    virtual void redo() = 0;                             // re-apply its latest undone record
    virtual int32_t iconTexture() = 0;                   // GL texture name; -1 means no icon
};
