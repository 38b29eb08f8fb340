// Colour-coding one 640 x 480 depth frame, as fetchDepth does every frame (target < 1 ms).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "common/sensor/sensor_input.h"

namespace {

// A scene with a wall, a floor, a person (player 1) and missing readings, so every branch of
// the coding runs.
std::vector<uint16_t> sceneDepth() {
    std::vector<uint16_t> depth(FRAME_PIXELS);
    for (int v = 0; v < FRAME_HEIGHT; ++v) {
        for (int u = 0; u < FRAME_WIDTH; ++u) {
            int mm = v > 360 ? 3600 - (v - 360) * 12 : 3600 - v / 2;
            int player = 0;
            float dx = (u - 320.0f) / 70.0f, dy = (v - 250.0f) / 190.0f;
            float r2 = dx * dx + dy * dy;
            if (r2 < 1.0f) {
                mm = 2200 + static_cast<int>(60.0f * r2);
                player = 1;
            } else if (r2 < 1.08f && dx > 0.0f) {
                mm = 0;
            }
            depth[static_cast<size_t>(v) * FRAME_WIDTH + u] = static_cast<uint16_t>(mm << 3 | player);
        }
    }
    return depth;
}

void BM_CodeDepthFrame(benchmark::State& state) {
    std::vector<uint16_t> depth = sceneDepth();
    std::vector<uint8_t> view(COLOUR_FRAME_BYTES);
    std::vector<uint16_t> millimetres(FRAME_PIXELS);
    for (auto _ : state) {
        codeDepthFrame(depth.data(), view.data(), millimetres.data());
        benchmark::DoNotOptimize(view.data());
        benchmark::DoNotOptimize(millimetres.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * FRAME_PIXELS);
}
BENCHMARK(BM_CodeDepthFrame)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
