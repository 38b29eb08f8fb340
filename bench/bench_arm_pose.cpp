// Cost of one arm-pose extraction on a realistic tracked user: standing 2.2 m from the camera,
// slightly turned, the right arm sweeping and the left hanging, with a few millimetres of
// tracking jitter on every joint.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "common/gesture/arm_pose.h"

namespace {

std::vector<SkeletonRecord> makeRecords(int count) {
    const Vec3 body[JOINT_COUNT] = {
        {0.0f, 0.0f, 0.0f},     {0.0f, 0.25f, 0.02f},  {0.0f, 0.5f, 0.0f},    {0.0f, 0.7f, 0.01f},
        {-0.2f, 0.45f, 0.0f},   {-0.22f, 0.15f, 0.0f}, {-0.22f, -0.1f, -0.02f}, {-0.22f, -0.18f, -0.03f},
        {0.2f, 0.45f, 0.0f},    {0.0f, 0.0f, 0.0f},    {0.0f, 0.0f, 0.0f},    {0.0f, 0.0f, 0.0f},
        {-0.1f, -0.05f, 0.0f},  {-0.1f, -0.5f, 0.0f},  {-0.1f, -0.9f, 0.02f}, {-0.1f, -0.95f, -0.1f},
        {0.1f, -0.05f, 0.0f},   {0.1f, -0.5f, 0.0f},   {0.1f, -0.9f, 0.02f},  {0.1f, -0.95f, -0.1f},
    };
    std::mt19937 random(7);
    std::normal_distribution<float> jitter(0.0f, 0.004f);
    std::vector<SkeletonRecord> records(static_cast<size_t>(count));
    const float yaw = 0.2f;
    for (int f = 0; f < count; ++f) {
        const float t = 6.2831853f * static_cast<float>(f) / static_cast<float>(count);
        Vec3 joints[JOINT_COUNT];
        for (int j = 0; j < JOINT_COUNT; ++j) joints[j] = body[j];
        // The right arm sweeps from hanging to forward and out to the side.
        const Vec3 upper = normalized(Vec3{0.5f + 0.5f * std::sin(t), -std::cos(t), -0.8f});
        const Vec3 fore = normalized(Vec3{0.3f * std::sin(t), 0.5f, -1.0f});
        joints[JOINT_ELBOW_RIGHT] = joints[JOINT_SHOULDER_RIGHT] + 0.3f * upper;
        joints[JOINT_WRIST_RIGHT] = joints[JOINT_ELBOW_RIGHT] + 0.25f * fore;
        joints[JOINT_HAND_RIGHT] = joints[JOINT_ELBOW_RIGHT] + 0.33f * fore;
        SkeletonRecord& r = records[static_cast<size_t>(f)];
        r.trackingState = SKELETON_TRACKED;
        for (int j = 0; j < JOINT_COUNT; ++j) {
            const Vec3 b = joints[j];
            const Vec3 placed{std::cos(yaw) * b.x + std::sin(yaw) * b.z + 0.1f, b.y + 0.2f,
                              -std::sin(yaw) * b.x + std::cos(yaw) * b.z + 2.2f};
            setJointPosition(r, j, placed + Vec3{jitter(random), jitter(random), jitter(random)});
            r.joints[j].w = 1.0f;
            r.jointTrackingStates[j] = 2;
        }
    }
    return records;
}

void BM_ExtractArmPose(benchmark::State& state) {
    const std::vector<SkeletonRecord> records = makeRecords(64);
    ArmPoseExtractor extractor;
    ArmPose pose{};
    size_t frame = 0;
    for (auto _ : state) {
        SkeletonRecord record = records[frame];
        extractArmPose(extractor, record, pose);
        benchmark::DoNotOptimize(pose.data());
        benchmark::ClobberMemory();
        frame = (frame + 1) % records.size();
    }
}
BENCHMARK(BM_ExtractArmPose);

}  // namespace

BENCHMARK_MAIN();
