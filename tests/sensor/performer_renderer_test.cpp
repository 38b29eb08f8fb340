// The performer's renderer: depth agrees with the skeleton, open and closed hands read as
// such by the hand detector, wall, floor and tilt behave like the room.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "common/sensor/hand_state_detector.h"
#include "common/sensor/performer_renderer.h"
#include "common/sensor/simulated_performer.h"

namespace {

struct Frame {
    std::vector<uint16_t> packed = std::vector<uint16_t>(FRAME_PIXELS);
    std::vector<uint16_t> mm = std::vector<uint16_t>(FRAME_PIXELS);
    int player(int u, int v) const { return packed[v * FRAME_WIDTH + u] & 7; }
    int depth(int u, int v) const { return packed[v * FRAME_WIDTH + u] >> 3; }
};

// A performer at rest with sway and jitter off, advanced to `ms`.
SimulatedPerformer stillPerformer() {
    SimulatedPerformer p(7);
    p.setNaturalMotion(false, false);
    p.advance(0);
    return p;
}

void render(const SimulatedPerformer& p, Frame& f, int tilt = 0) {
    renderPerformerDepth(p.currentSkeleton(), p.handShape(0), p.handShape(1), tilt, f.packed.data());
    for (int i = 0; i < FRAME_PIXELS; ++i) f.mm[i] = f.packed[i] >> 3;
}

// Runs a fresh detector on the same frame until its three-frame debounce settles.
int detectedState(const SkeletonRecord& s, const Frame& f, int hand, HandMeasurement* measured = nullptr,
                  size_t* peaks = nullptr) {
    HandStateDetector detector(hand, nullptr);
    std::deque<std::string> events;
    HandMeasurement m = HAND_NO_INPUT;
    for (int i = 0; i < 3; ++i) m = detector.update(s, f.mm.data(), events);
    if (measured) *measured = m;
    if (peaks) *peaks = detector.peaks.size();
    return detector.state;
}

}  // namespace

TEST(PerformerRenderer, JointsProjectOntoBodyPixelsAtTheirDepth) {
    SimulatedPerformer p = stillPerformer();
    p.moveWrist(HAND_RIGHT, 0.3f, 0.2f, 0);
    p.setReach(HAND_RIGHT, 0.3f, 0);
    p.advance(10);
    Frame f;
    render(p, f);
    const SkeletonRecord& s = p.currentSkeleton();
    // Joints lie inside their body part: the surface is nearer by at most the part's thickness.
    const struct {
        int joint;
        int toleranceMm;
    } checks[] = {{JOINT_HEAD, 130},        {JOINT_SPINE, 130},         {JOINT_SHOULDER_CENTER, 130},
                  {JOINT_SHOULDER_LEFT, 90}, {JOINT_SHOULDER_RIGHT, 90}, {JOINT_ELBOW_LEFT, 90},
                  {JOINT_ELBOW_RIGHT, 90},   {JOINT_WRIST_RIGHT, 50},    {JOINT_HIP_CENTER, 130},
                  {JOINT_KNEE_LEFT, 90},     {JOINT_KNEE_RIGHT, 90}};
    for (const auto& c : checks) {
        const Vector4& j = s.joints[c.joint];
        float u, v;
        projectToImage(j.x, j.y, j.z, u, v);
        int iu = static_cast<int>(u + 0.5f), iv = static_cast<int>(v + 0.5f);
        ASSERT_TRUE(iu >= 0 && iu < FRAME_WIDTH && iv >= 0 && iv < FRAME_HEIGHT) << "joint " << c.joint;
        EXPECT_EQ(f.player(iu, iv), 1) << "joint " << c.joint;
        int expected = static_cast<int>(j.z * 1000.0f);
        EXPECT_LE(f.depth(iu, iv), expected) << "joint " << c.joint;
        EXPECT_GE(f.depth(iu, iv), expected - c.toleranceMm) << "joint " << c.joint;
    }
}

TEST(PerformerRenderer, RoomHasNoPlayerAndPersonIsOnTheRightSide) {
    SimulatedPerformer p = stillPerformer();
    p.moveWrist(HAND_RIGHT, 0.45f, 0.3f, 0);
    p.setReach(HAND_RIGHT, 0.25f, 0);
    p.advance(10);
    Frame f;
    render(p, f);
    // Top corners: back wall at 3.6 m, no player.
    EXPECT_EQ(f.player(5, 5), 0);
    EXPECT_NEAR(f.depth(5, 5), 3600, 5);
    // Bottom corner: floor, nearer than the wall.
    EXPECT_EQ(f.player(5, 475), 0);
    EXPECT_LT(f.depth(5, 475), 3600);
    EXPECT_GT(f.depth(5, 475), 2000);
    // The raised right wrist shows on the right half of the image.
    const Vector4& w = p.currentSkeleton().joints[JOINT_WRIST_RIGHT];
    float u, v;
    projectToImage(w.x, w.y, w.z, u, v);
    EXPECT_GT(u, 320.0f);
    int body = 0;
    for (int i = 0; i < FRAME_PIXELS; ++i) body += (f.packed[i] & 7) == 1;
    EXPECT_GT(body, 15000);  // a whole person, not a few stray pixels
    EXPECT_LT(body, 80000);
}

TEST(PerformerRenderer, OpenAndClosedHandsAreReadByTheDetector) {
    for (int hand = 0; hand < 2; ++hand) {
        for (HandShape shape : {HandShape::OPEN, HandShape::CLOSED}) {
            SimulatedPerformer p = stillPerformer();
            float x = hand == HAND_RIGHT ? 0.25f : -0.25f;
            p.moveWrist(hand, x, 0.15f, 0);
            p.setReach(hand, 0.3f, 0);
            p.setHandShape(hand, shape);
            p.advance(10);
            Frame f;
            render(p, f);
            HandMeasurement m;
            size_t peaks = 0;
            int state = detectedState(p.currentSkeleton(), f, hand, &m, &peaks);
            EXPECT_EQ(m, HAND_MEASURED) << "hand " << hand;
            EXPECT_EQ(state, shape == HandShape::CLOSED ? 1 : 0) << "hand " << hand << " peaks " << peaks;
        }
    }
}

TEST(PerformerRenderer, HandsReadCorrectlyAcrossThePointerBox) {
    // The detector must agree wherever the pointer may be: corners of the right box, low and
    // high reach.
    const float xs[] = {0.02f, 0.48f};
    const float ys[] = {-0.08f, 0.38f};
    for (float x : xs) {
        for (float y : ys) {
            for (HandShape shape : {HandShape::OPEN, HandShape::CLOSED}) {
                SimulatedPerformer p = stillPerformer();
                p.moveWrist(HAND_RIGHT, x, y, 0);
                p.setReach(HAND_RIGHT, 0.3f, 0);
                p.setHandShape(HAND_RIGHT, shape);
                p.advance(10);
                Frame f;
                render(p, f);
                size_t peaks = 0;
                int state = detectedState(p.currentSkeleton(), f, HAND_RIGHT, nullptr, &peaks);
                EXPECT_EQ(state, shape == HandShape::CLOSED ? 1 : 0)
                    << "at " << x << ", " << y << " peaks " << peaks;
            }
        }
    }
}

TEST(PerformerRenderer, StreamSkeletonsOfAnyShapeRenderSafely) {
    // Skeleton streams (csv, replays) may carry anything: untracked records, joints behind
    // the camera, at the lens, far away or not numbers.
    std::vector<uint16_t> depth(FRAME_PIXELS);
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    SkeletonRecord untracked;
    renderSkeletonImages(untracked, depth.data(), colour.data());
    for (uint16_t d : depth) ASSERT_EQ(d & 7, 0);  // the room only

    uint32_t state = 99;
    auto next = [&]() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 16777216.0f;  // 0..1
    };
    for (int round = 0; round < 20; ++round) {
        SkeletonRecord s;
        s.trackingState = SKELETON_TRACKED;
        for (Vector4& j : s.joints) {
            j.x = (next() - 0.5f) * 4.0f;
            j.y = (next() - 0.5f) * 4.0f;
            j.z = (next() - 0.2f) * 5.0f;  // some behind the camera
        }
        if (round == 5) s.joints[JOINT_HEAD].z = NAN;
        if (round == 6) s.joints[JOINT_WRIST_RIGHT].z = 0.0f;
        renderSkeletonImages(s, depth.data(), colour.data());
        for (uint16_t d : depth) {
            ASSERT_LE(d & 7, 1);
            int mm = d >> 3;
            ASSERT_TRUE(mm == 0 || (mm >= RENDER_MIN_MM && mm <= RENDER_MAX_MM)) << mm;
        }
    }
}
