// HandStateDetector::update on the simulated performer's rendered depth frames. The frame loop
// runs it twice per frame (both hands), so it must stay well under 2 ms.
#include <benchmark/benchmark.h>

#include <deque>
#include <string>
#include <vector>

#include "common/sensor/hand_state_detector.h"
#include "common/sensor/performer_body.h"
#include "common/sensor/performer_renderer.h"

namespace {

// The performer at `distance` metres with the right hand raised and held forward.
struct Frame {
    SkeletonRecord skeleton;
    std::vector<uint16_t> mm = std::vector<uint16_t>(FRAME_PIXELS);

    Frame(float distance, HandShape right) {
        PerformerBody body;
        body.spine.z = distance;
        const Vec3 wrist = body.spine + Vec3{0.25f, 0.30f, -0.30f};
        buildPerformerSkeleton(body, Vec3{0.0f, 0.0f, 0.0f}, restWristPosition(body, 0), wrist,
                               skeleton);
        std::vector<uint16_t> packed(FRAME_PIXELS);
        renderPerformerDepth(skeleton, HandShape::OPEN, right, 0, packed.data());
        for (int i = 0; i < FRAME_PIXELS; ++i) mm[i] = static_cast<uint16_t>(packed[i] >> 3);
    }
};

void BM_HandStateUpdate(benchmark::State& state) {
    const float distance = static_cast<float>(state.range(0)) / 10.0f;
    const Frame frame(distance, state.range(1) != 0 ? HandShape::CLOSED : HandShape::OPEN);
    HandStateDetector detector(1, nullptr);
    std::deque<std::string> events;
    for (auto _ : state) {
        benchmark::DoNotOptimize(detector.update(frame.skeleton, frame.mm.data(), events));
        benchmark::DoNotOptimize(detector.profile.data());
        events.clear();
    }
    state.counters["rays"] = static_cast<double>(detector.profile.size());
    state.counters["peaks"] = static_cast<double>(detector.peaks.size());
}

// Both hands, as the frame loop runs them: the right one measured, the left one (hanging at
// rest, open) too.
void BM_HandStateBothHands(benchmark::State& state) {
    const Frame frame(2.2f, HandShape::OPEN);
    HandStateDetector left(0, nullptr);
    HandStateDetector right(1, nullptr);
    std::deque<std::string> events;
    for (auto _ : state) {
        benchmark::DoNotOptimize(left.update(frame.skeleton, frame.mm.data(), events));
        benchmark::DoNotOptimize(right.update(frame.skeleton, frame.mm.data(), events));
        events.clear();
    }
}

}  // namespace

// Arguments: distance in decimetres, right hand closed (1) or open (0).
BENCHMARK(BM_HandStateUpdate)->Args({15, 0})->Args({22, 0})->Args({22, 1})->Args({35, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HandStateBothHands)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
