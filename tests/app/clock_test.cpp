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
