#pragma once

#include <cstdint>

#include "common/sensor/skeleton_record.h"

// What the camera runtime's skeleton smoothing did with its default parameters: a double
// exponential (Holt) filter per joint, with a jitter filter in front of it and a clamp that
// keeps the output near the raw joint. A tracker's joints shake by several millimetres from
// frame to frame; the arm angles of a hanging arm turn that into speeds the recogniser takes
// for movement, so without this a person standing still never reads as resting.
struct SkeletonSmoothingParameters {
    float smoothing = 0.5f;          // weight of the prediction against the new value
    float correction = 0.5f;         // how fast the trend follows the change
    float prediction = 0.5f;         // frames of trend added to the output
    float jitterRadius = 0.05f;      // metres: smaller steps are damped in proportion to size
    float maxDeviationRadius = 0.04f;// metres: the output stays this close to the raw joint
};

class SkeletonSmoother {
public:
    SkeletonSmoothingParameters parameters;

    // Smooths every tracked slot of the frame in place. History is kept per slot and joint; it
    // starts afresh when a slot's person changes (tracking id), the slot is not tracked, or a
    // joint is not tracked.
    void smooth(SkeletonFrame& frame);
    void reset();

private:
    struct JointHistory {
        float raw[3] = {};
        float filtered[3] = {};
        float trend[3] = {};
        uint32_t frameCount = 0;
    };
    struct SlotHistory {
        uint32_t trackingId = 0;
        JointHistory joints[JOINT_COUNT];
    };
    SlotHistory slots[SKELETON_SLOT_COUNT];

    void smoothJoint(JointHistory& history, Vector4& joint) const;
};
