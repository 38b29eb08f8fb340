#include "common/app/clock.h"

#include <gtest/gtest.h>

TEST(Clock, FixedStepAdvancesByTheStepAndNeverReadsZero) {
    Clock clock;
    clock.fixedStepMs = 33;
    EXPECT_EQ(beginFrame(clock), 33u);
    EXPECT_EQ(beginFrame(clock), 66u);
    EXPECT_EQ(beginFrame(clock), 99u);
    EXPECT_EQ(clock.frameCount, 3u);
}

TEST(Clock, WallClockPacesFramesAtTheSensorRate) {
    Clock clock;
    uint32_t first = beginFrame(clock);
    uint32_t second = beginFrame(clock);
    // The second frame may not start before a sensor period (1000/30 ms, truncated) has passed.
    EXPECT_GE(second - first, 33u);
}

TEST(Clock, WallClockSetBackHoldsTheFrameTimeInsteadOfJumpingAhead) {
    Clock clock;
    auto frame = [&clock](uint32_t wallMs) {
        uint32_t now = followWallClock(clock, wallMs);
        ++clock.frameCount;
        return now;
    };
    EXPECT_EQ(frame(50000u), 50000u);
    EXPECT_EQ(frame(50033u), 50033u);
    // Set back by a second: the frame time stays, then moves on with the wall clock again.
    EXPECT_EQ(frame(49033u), 50033u);
    EXPECT_EQ(frame(49066u), 50066u);
    EXPECT_EQ(frame(49100u), 50100u);
    // The 32-bit wall reading wrapping past zero is moving forward, not back.
    Clock wrapping;
    wrapping.frameCount = 1;
    wrapping.nowMs = wrapping.lastWallMs = 0xFFFFFFF0u;
    EXPECT_EQ(followWallClock(wrapping, 0x10u), 0x00000010u);
}
