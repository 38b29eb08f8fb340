#include "common/sensor/hand_pointer.h"

#include <algorithm>
#include <cmath>

void HandPointer::update(const std::array<float, 18>& pose, uint32_t nowMs) {
    const int base = hand == 1 ? 15 : 12;
    const float tx = pose[base];
    const float ty = pose[base + 1];
    const float reach = pose[base + 2];
    // A pose with a NaN or infinite hand value (a corrupt recording) would otherwise stick in
    // the filter for good, since lastX feeds every later frame: such a frame is skipped whole.
    if (!std::isfinite(tx) || !std::isfinite(ty) || !std::isfinite(reach)) {
        return;
    }

    const float fx = lastX * POINTER_FILTER_KEEP + tx * POINTER_FILTER_NEW;
    const float fy = lastY * POINTER_FILTER_KEEP + ty * POINTER_FILTER_NEW;
    const float dx = fx - lastX;
    const float dy = fy - lastY;

    // Acceleration: slow movements are damped, fast ones amplified. A movement so large that its
    // square overflows gives an infinite gain, which the first test turns into the upper clamp.
    float gain = POINTER_GAIN_FACTOR * std::sqrt(dx * dx + dy * dy);
    if (!(gain < POINTER_GAIN_MAX)) {
        gain = POINTER_GAIN_MAX;
    } else if (!(gain > POINTER_GAIN_MIN)) {
        gain = POINTER_GAIN_MIN;
    }
    x += gain * dx;
    y += gain * dy;
    lastX = fx;
    lastY = fy;
    x = std::min(std::max(x, xMin), xMax);
    y = std::min(std::max(y, yMin), yMax);

    switch (state) {
    case POINTER_IDLE:
        if (reach > POINTER_REACH_THRESHOLD) {
            armStart = static_cast<int>(nowMs);
            state = POINTER_ARMING;
        }
        break;
    case POINTER_ARMING: {
        // The difference taken modulo 2^32 and read as signed: the 32-bit millisecond clock may
        // wrap while arming, and a time before the arming began (a clock set back) is no time
        // held at all rather than some 49 days.
        const int32_t held = static_cast<int32_t>(nowMs - static_cast<uint32_t>(armStart));
        if (reach < POINTER_REACH_THRESHOLD) {
            state = POINTER_IDLE;
        } else if (armDelay < 0 || held > armDelay) {
            state = POINTER_ENGAGED;
            // Start where the hand is, even outside the box; the next frame clamps again.
            x = fx;
            y = fy;
        }
        break;
    }
    default:  // engaged
        if (reach < POINTER_REACH_THRESHOLD) {
            state = POINTER_IDLE;
        }
        break;
    }
}
