#include "common/app/clock.h"

#include <chrono>
#include <thread>

uint32_t wallClockMs() {
    using namespace std::chrono;
    auto ticks100ns = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
    return static_cast<uint32_t>(static_cast<uint64_t>(ticks100ns) / 10000u);
}

void waitOnClock(Clock& clock, uint32_t ms) {
    if (clock.fixedStepMs > 0) {
        clock.nowMs += ms;
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

uint32_t followWallClock(Clock& clock, uint32_t wallMs) {
    if (clock.frameCount == 0) {
        clock.nowMs = wallMs;
    } else {
        const int32_t moved = static_cast<int32_t>(wallMs - clock.lastWallMs);
        if (moved > 0) clock.nowMs += static_cast<uint32_t>(moved);
    }
    clock.lastWallMs = wallMs;
    return clock.nowMs;
}

uint32_t beginFrame(Clock& clock) {
    if (clock.fixedStepMs > 0) {
        clock.nowMs += clock.fixedStepMs;
    } else {
        constexpr uint32_t framePeriodMs = 1000 / 30;
        uint32_t now = wallClockMs();
        if (clock.frameCount > 0) {
            uint32_t elapsed = now - clock.lastWallMs;  // unsigned: wraps correctly
            if (static_cast<int32_t>(elapsed) >= 0 && elapsed < framePeriodMs) {
                std::this_thread::sleep_for(std::chrono::milliseconds(framePeriodMs - elapsed));
                now = wallClockMs();
            }
        }
        followWallClock(clock, now);
    }
    ++clock.frameCount;
    return clock.nowMs;
}
