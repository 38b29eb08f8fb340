#include "common/app/frame_cpu_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(FrameCpuStats, MeanPercentileMaximumAndFramesOverBudget) {
    FrameCpuStats stats;
    EXPECT_EQ(frameCpuPercentile(stats, 0.99), 0.0);
    for (int i = 0; i < 980; ++i) addFrameCpu(stats, 20.2);
    for (int i = 0; i < 18; ++i) addFrameCpu(stats, 60.0);
    addFrameCpu(stats, 100.0);  // at the budget is not over it
    addFrameCpu(stats, 412.0);  // beyond the histogram: counted, kept as the maximum
    EXPECT_EQ(stats.count, 1000u);
    EXPECT_NEAR(stats.totalMs / 1000.0, (980 * 20.2 + 18 * 60.0 + 100.0 + 412.0) / 1000.0, 1e-9);
    EXPECT_EQ(stats.maxMs, 412.0);
    EXPECT_EQ(stats.overBudget, 1u);
    EXPECT_DOUBLE_EQ(frameCpuPercentile(stats, 0.5), 20.5);   // the 0.5 ms bin's upper edge
    EXPECT_DOUBLE_EQ(frameCpuPercentile(stats, 0.98), 20.5);  // 980 frames
    EXPECT_DOUBLE_EQ(frameCpuPercentile(stats, 0.99), 60.5);
    EXPECT_DOUBLE_EQ(frameCpuPercentile(stats, 1.0), 412.0);  // the overflow bin reports the maximum
    EXPECT_EQ(describeFrameCpu(stats),
              "frames: 1000, CPU per frame: mean 21.39 ms, p99 60.50 ms, max 412.00 ms, over 100 ms: 1");
}

TEST(FrameCpuStats, PercentileNeverExceedsTheSlowestFrame) {
    FrameCpuStats stats;
    addFrameCpu(stats, 10.1);
    EXPECT_DOUBLE_EQ(frameCpuPercentile(stats, 0.99), 10.1);
}

TEST(FrameCpuStats, ImpossibleReadingsCountAsFreeFrames) {
    FrameCpuStats stats;
    addFrameCpu(stats, -3.0);
    addFrameCpu(stats, std::numeric_limits<double>::quiet_NaN());
    addFrameCpu(stats, std::numeric_limits<double>::infinity());
    EXPECT_EQ(stats.count, 3u);
    EXPECT_EQ(stats.totalMs, 0.0);
    EXPECT_EQ(stats.maxMs, 0.0);
    EXPECT_EQ(stats.overBudget, 0u);
    EXPECT_EQ(stats.histogram[0], 3u);
}
