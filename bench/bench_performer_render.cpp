// Rendering cost of the simulated performer: one depth frame must take well under 5 ms on
// one core so the synthetic sensor keeps up with 30 frames a second.
#include <benchmark/benchmark.h>

#include <vector>

#include "common/sensor/performer_renderer.h"
#include "common/sensor/simulated_performer.h"

namespace {

// A person with the right hand held forward and open, the left closed at rest.
SimulatedPerformer posedPerformer() {
    SimulatedPerformer p(1);
    p.advance(0);
    p.moveWrist(HAND_RIGHT, 0.3f, 0.2f, 0);
    p.setReach(HAND_RIGHT, 0.3f, 0);
    p.setHandShape(HAND_LEFT, HandShape::CLOSED);
    p.advance(33);
    return p;
}

void BM_RenderDepth(benchmark::State& state) {
    SimulatedPerformer p = posedPerformer();
    std::vector<uint16_t> depth(FRAME_PIXELS);
    for (auto _ : state) {
        renderPerformerDepth(p.currentSkeleton(), HandShape::CLOSED, HandShape::OPEN, 0, depth.data());
        benchmark::DoNotOptimize(depth.data());
    }
}
BENCHMARK(BM_RenderDepth)->Unit(benchmark::kMillisecond);

void BM_RenderColour(benchmark::State& state) {
    SimulatedPerformer p = posedPerformer();
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    for (auto _ : state) {
        renderPerformerColour(p.currentSkeleton(), HandShape::CLOSED, HandShape::OPEN, 0, colour.data());
        benchmark::DoNotOptimize(colour.data());
    }
}
BENCHMARK(BM_RenderColour)->Unit(benchmark::kMillisecond);

// A whole synthetic frame as the program fetches it: advance, skeleton, colour, depth.
void BM_PerformerFrame(benchmark::State& state) {
    SimulatedPerformer p(1);
    p.performGesture("right_circle", 1);
    SkeletonFrame skeletons;
    std::vector<uint16_t> depth(FRAME_PIXELS);
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    uint32_t t = 0;
    for (auto _ : state) {
        t += 33;
        p.advance(t);
        p.nextSkeletonFrame(skeletons);
        p.nextColourFrame(colour.data());
        p.nextDepthFrame(depth.data());
        benchmark::DoNotOptimize(depth.data());
    }
}
BENCHMARK(BM_PerformerFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
