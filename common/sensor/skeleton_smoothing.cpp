#include "common/sensor/skeleton_smoothing.h"

#include <algorithm>
#include <cmath>

namespace {

float length3(const float v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

}  // namespace

void SkeletonSmoother::reset() {
    for (SlotHistory& slot : slots) {
        slot = SlotHistory();
    }
}

void SkeletonSmoother::smooth(SkeletonFrame& frame) {
    for (int s = 0; s < SKELETON_SLOT_COUNT; ++s) {
        SkeletonRecord& record = frame.slots[s];
        SlotHistory& history = slots[s];
        if (record.trackingState != SKELETON_TRACKED || record.trackingId != history.trackingId) {
            history = SlotHistory();
            history.trackingId = record.trackingId;
        }
        if (record.trackingState != SKELETON_TRACKED) {
            continue;
        }
        for (int j = 0; j < JOINT_COUNT; ++j) {
            const Vector4& p = record.joints[j];
            bool valid = record.jointTrackingStates[j] != 0 && std::isfinite(p.x) && std::isfinite(p.y) &&
                         std::isfinite(p.z);
            if (!valid) {
                history.joints[j].frameCount = 0;
                continue;
            }
            smoothJoint(history.joints[j], record.joints[j]);
        }
    }
}

void SkeletonSmoother::smoothJoint(JointHistory& h, Vector4& joint) const {
    const SkeletonSmoothingParameters& p = parameters;
    const float raw[3] = {joint.x, joint.y, joint.z};
    float filtered[3];
    float trend[3];
    if (h.frameCount == 0) {
        for (int i = 0; i < 3; ++i) {
            filtered[i] = raw[i];
            trend[i] = 0.0f;
        }
        h.frameCount = 1;
    } else if (h.frameCount == 1) {
        for (int i = 0; i < 3; ++i) {
            filtered[i] = (raw[i] + h.raw[i]) * 0.5f;
            trend[i] = (filtered[i] - h.filtered[i]) * p.correction + h.trend[i] * (1.0f - p.correction);
        }
        h.frameCount = 2;
    } else {
        // Jitter filter: a step shorter than the radius is taken only in proportion to its size,
        // so shaking of a few millimetres is almost removed while real movement passes.
        float step[3];
        for (int i = 0; i < 3; ++i) {
            step[i] = raw[i] - h.filtered[i];
        }
        float jitterRadius = std::max(p.jitterRadius, 0.0001f);
        float distance = length3(step);
        float keep = distance <= jitterRadius ? distance / jitterRadius : 1.0f;
        for (int i = 0; i < 3; ++i) {
            float damped = raw[i] * keep + h.filtered[i] * (1.0f - keep);
            filtered[i] = damped * (1.0f - p.smoothing) + (h.filtered[i] + h.trend[i]) * p.smoothing;
            trend[i] = (filtered[i] - h.filtered[i]) * p.correction + h.trend[i] * (1.0f - p.correction);
        }
    }
    // Predicting along the trend takes back some of the lag; the clamp keeps a sudden stop
    // from overshooting.
    float predicted[3];
    float offset[3];
    for (int i = 0; i < 3; ++i) {
        predicted[i] = filtered[i] + trend[i] * p.prediction;
        offset[i] = predicted[i] - raw[i];
    }
    float deviation = length3(offset);
    if (deviation > p.maxDeviationRadius) {
        float pull = p.maxDeviationRadius / deviation;
        for (int i = 0; i < 3; ++i) {
            predicted[i] = predicted[i] * pull + raw[i] * (1.0f - pull);
        }
    }
    // Finite positions near the float range's end (a tracker's garbage) can overflow the sums
    // above; the joint then starts afresh from this frame rather than keeping an infinite or NaN
    // history for as long as the person stays tracked.
    bool finite = true;
    for (int i = 0; i < 3; ++i) finite = finite && std::isfinite(filtered[i] + trend[i] + predicted[i]);
    if (!finite) {
        for (int i = 0; i < 3; ++i) {
            filtered[i] = raw[i];
            trend[i] = 0.0f;
            predicted[i] = raw[i];
        }
        h.frameCount = 1;
    }
    for (int i = 0; i < 3; ++i) {
        h.raw[i] = raw[i];
        h.filtered[i] = filtered[i];
        h.trend[i] = trend[i];
    }
    joint.x = predicted[0];
    joint.y = predicted[1];
    joint.z = predicted[2];
}
