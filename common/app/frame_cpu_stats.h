#pragma once
// CPU time per frame over a run: mean, a high percentile and the maximum, kept in a fixed
// histogram so that recording a frame never allocates.
#include <array>
#include <cstdint>
#include <string>

// Frames slower than this cannot keep up with the sensor even on a slow machine.
constexpr double FRAME_CPU_BUDGET_MS = 100.0;

struct FrameCpuStats {
    static constexpr double BIN_MS = 0.5;
    static constexpr int BINS = 600;  // up to 300 ms; slower frames go in the last bin
    uint64_t count = 0;
    double totalMs = 0.0;
    double maxMs = 0.0;
    uint64_t overBudget = 0;  // frames over FRAME_CPU_BUDGET_MS
    std::array<uint32_t, BINS> histogram{};
};

void addFrameCpu(FrameCpuStats& stats, double ms);

// The smallest bin edge below which at least `fraction` of the frames lie (never above the
// maximum); 0 without frames.
double frameCpuPercentile(const FrameCpuStats& stats, double fraction);

// "frames: N, CPU per frame: mean X ms, p99 Y ms, max Z ms, over 100 ms: K"
std::string describeFrameCpu(const FrameCpuStats& stats);
