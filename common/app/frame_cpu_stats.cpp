#include "common/app/frame_cpu_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void addFrameCpu(FrameCpuStats& stats, double ms) {
    if (!std::isfinite(ms) || ms < 0.0) ms = 0.0;  // a clock that stepped back is not a frame cost
    ++stats.count;
    stats.totalMs += ms;
    stats.maxMs = std::max(stats.maxMs, ms);
    if (ms > FRAME_CPU_BUDGET_MS) ++stats.overBudget;
    const int bin = std::min(FrameCpuStats::BINS - 1, static_cast<int>(ms / FrameCpuStats::BIN_MS));
    ++stats.histogram[static_cast<size_t>(bin)];
}

double frameCpuPercentile(const FrameCpuStats& stats, double fraction) {
    if (stats.count == 0) return 0.0;
    const double wanted = std::clamp(fraction, 0.0, 1.0) * static_cast<double>(stats.count);
    uint64_t seen = 0;
    for (int bin = 0; bin < FrameCpuStats::BINS; ++bin) {
        seen += stats.histogram[static_cast<size_t>(bin)];
        if (static_cast<double>(seen) >= wanted && seen > 0) {
            if (bin == FrameCpuStats::BINS - 1) break;  // the overflow bin has no upper edge
            return std::min(stats.maxMs, (bin + 1) * FrameCpuStats::BIN_MS);
        }
    }
    return stats.maxMs;
}

std::string describeFrameCpu(const FrameCpuStats& stats) {
    char text[160];
    const double mean = stats.count > 0 ? stats.totalMs / static_cast<double>(stats.count) : 0.0;
    std::snprintf(text, sizeof text,
                  "frames: %llu, CPU per frame: mean %.2f ms, p99 %.2f ms, max %.2f ms, over %.0f ms: %llu",
                  static_cast<unsigned long long>(stats.count), mean, frameCpuPercentile(stats, 0.99),
                  stats.maxMs, FRAME_CPU_BUDGET_MS, static_cast<unsigned long long>(stats.overBudget));
    return text;
}
