// Gesture engine timings: one DTW comparison, one worker run over a full window of marks, and
// processFrame on its own. The worker must finish within a 30 Hz frame (33 ms); processFrame
// runs on the frame loop and should stay far below 0.1 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <deque>
#include <sstream>

#include "common/gesture/gesture_recognizer.h"
#include "common/gesture/similarity.h"

namespace {

// Both arms moving: the eight angles follow sines of different frequencies and phases.
ArmPose movingPose(int frame, float variant) {
    ArmPose p{};
    for (int i = 0; i < ARM_ANGLE_COUNT; ++i) {
        p[i] = 90.0f + 50.0f * std::sin(0.11f * static_cast<float>(frame) * (1.0f + 0.1f * i) + variant + i);
    }
    return p;
}

Gesture movingGesture(int poses, float variant) {
    Gesture g;
    g.type = GestureType::BOTH;
    for (int k = 0; k < poses; ++k) g.poses.push_back(movingPose(k, variant));
    return g;
}

// A standing person with straight arms hanging, 2.2 m from the camera.
SkeletonRecord standingSkeleton() {
    static const float joints[JOINT_COUNT][2] = {
        {0.0f, 0.0f}, {0.0f, 0.25f}, {0.0f, 0.5f}, {0.0f, 0.7f}, {-0.18f, 0.45f}, {-0.2f, 0.17f},
        {-0.21f, -0.08f}, {-0.21f, -0.16f}, {0.18f, 0.45f}, {0.2f, 0.17f}, {0.21f, -0.08f}, {0.21f, -0.16f},
        {-0.1f, -0.05f}, {-0.11f, -0.5f}, {-0.11f, -0.9f}, {-0.11f, -0.95f}, {0.1f, -0.05f}, {0.11f, -0.5f},
        {0.11f, -0.9f}, {0.11f, -0.95f}};
    SkeletonRecord r;
    r.trackingState = SKELETON_TRACKED;
    for (int j = 0; j < JOINT_COUNT; ++j) r.joints[j] = {joints[j][0], joints[j][1], 2.2f, 1.0f};
    return r;
}

void BM_DtwTwo64PoseGestures(benchmark::State& state) {
    const Gesture a = movingGesture(64, 0.0f);
    const Gesture b = movingGesture(64, 0.3f);
    SimilarityScratch scratch;
    for (auto _ : state) benchmark::DoNotOptimize(dtwDistance(a, b, scratch));
}
BENCHMARK(BM_DtwTwo64PoseGestures);

// A full window of 12 marks over continuous two-arm movement, classified against 10 sets of 5
// gestures under DTW: the worker's whole body, run on this thread.
void BM_WorkerFullWindow(benchmark::State& state) {
    GestureRecognizer recognizer;
    std::ostringstream console;
    recognizer.console = &console;
    for (int s = 0; s < 10; ++s) {
        GestureSet set;
        set.type = GestureType::BOTH;
        for (int g = 0; g < 5; ++g) set.gestures.push_back(movingGesture(40 + 4 * g, 0.7f * s + 0.05f * g));
        recognizer.TrainedGestureSets.push_back(set);
    }
    recognizer.maxMovingWindowSize = 100;  // collect marks without letting workers classify
    SkeletonRecord record;
    for (int f = 0; f < HISTORY_LENGTH; ++f) {
        recognizer.processPose(record, movingPose(f, 2.0f), true, 33u * static_cast<uint32_t>(f));
        recognizer.waitForWorker();
    }
    const std::vector<int32_t> all = recognizer.marksSnapshot();
    std::deque<int32_t> window(all.end() - std::min<std::ptrdiff_t>(12, static_cast<std::ptrdiff_t>(all.size())), all.end());
    ClassifierSettings settings;
    settings.maxMovingWindowSize = static_cast<int>(window.size());
    settings.numberOfNeighbours = 100;  // nothing is reported, so every run does the same work
    uint32_t now = 100000;
    for (auto _ : state) {
        recognizer.recognizeFromMarks(window, settings, now);
        now += 33;
    }
    state.counters["marks"] = static_cast<double>(window.size());
}
BENCHMARK(BM_WorkerFullWindow)->Unit(benchmark::kMillisecond);

// processFrame with recognition held off (no worker is started): pose extraction, the pose
// window, the speed, the history and the marks.
void BM_ProcessFrame(benchmark::State& state) {
    GestureRecognizer recognizer;
    std::ostringstream console;
    recognizer.console = &console;
    const SkeletonRecord standing = standingSkeleton();
    uint32_t now = 0;
    int frame = 0;
    for (auto _ : state) {
        SkeletonRecord record = standing;
        record.joints[JOINT_WRIST_RIGHT].x += 0.001f * static_cast<float>(frame++ % 50);
        benchmark::DoNotOptimize(recognizer.processFrame(record, false, now));
        now += 33;
    }
}
BENCHMARK(BM_ProcessFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
