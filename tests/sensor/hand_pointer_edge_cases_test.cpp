// Edge cases of the hand pointer, and a frame-by-frame reference of its update written from the
// description of the movement filter, the gain and the engagement states.
#include "common/sensor/hand_pointer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "hand_scenes.h"

namespace {

// The update as described, step by step.
struct ReferencePointer {
    float xMin, xMax, yMin = -0.1f, yMax = 0.4f;
    float x = 0.0f, y = 0.0f, lastX = 0.0f, lastY = 0.0f;
    int state = 0;
    uint32_t armStart = 0;

    explicit ReferencePointer(int hand) : xMin(hand == 0 ? -0.5f : 0.0f), xMax(hand == 0 ? 0.0f : 0.5f) {}

    void update(float tx, float ty, float reach, uint32_t now) {
        const float fx = lastX * 0.6f + tx * 0.4f;
        const float fy = lastY * 0.6f + ty * 0.4f;
        const float dx = fx - lastX;
        const float dy = fy - lastY;
        float gain = 40.0f * std::sqrt(dx * dx + dy * dy);
        if (gain >= 4.0f) {
            gain = 4.0f;
        } else if (gain <= 0.5f) {
            gain = 0.5f;
        }
        x = x + gain * dx;
        y = y + gain * dy;
        lastX = fx;
        lastY = fy;
        x = std::min(std::max(x, xMin), xMax);
        y = std::min(std::max(y, yMin), yMax);
        if (state == 0) {
            if (reach > 0.2f) {
                armStart = now;
                state = 1;
            }
        } else if (state == 1) {
            if (reach < 0.2f) {
                state = 0;
            } else if (now - armStart > 500u) {
                state = 2;
                x = fx;
                y = fy;
            }
        } else if (reach < 0.2f) {
            state = 0;
        }
    }
};

TEST(HandPointerReference, FollowsTheDescribedUpdateFrameByFrame) {
    // Hands sweeping at changing speeds (slow drifts, fast throws past the box), reaching in
    // and out across the threshold at irregular intervals.
    for (int hand : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "hand " << hand);
        HandPointer p(hand, nullptr);
        ReferencePointer r(hand);
        const float side = hand == 0 ? -1.0f : 1.0f;
        uint32_t now = 1000;
        int engagedFrames = 0;
        int clampedFrames = 0;
        for (int frame = 0; frame < 600; ++frame) {
            const float t = static_cast<float>(frame);
            const float speed = 0.5f + 0.5f * std::sin(t * 0.013f);
            const float tx = side * (0.25f + 0.45f * std::sin(t * 0.05f * speed) * std::cos(t * 0.011f));
            const float ty = 0.15f + 0.4f * std::sin(t * 0.037f + 1.0f) * speed;
            const float reach = 0.2f + 0.15f * std::sin(t * 0.021f) + 0.05f * std::sin(t * 0.3f);
            now += 20u + static_cast<uint32_t>(frame % 7) * 5u;
            p.update(handPose(hand, tx, ty, reach), now);
            r.update(tx, ty, reach, now);
            ASSERT_EQ(p.state, r.state) << "frame " << frame;
            ASSERT_EQ(p.lastX, r.lastX) << "frame " << frame;
            ASSERT_EQ(p.lastY, r.lastY) << "frame " << frame;
            ASSERT_NEAR(p.x, r.x, 1e-6f) << "frame " << frame;
            ASSERT_NEAR(p.y, r.y, 1e-6f) << "frame " << frame;
            engagedFrames += p.state == POINTER_ENGAGED ? 1 : 0;
            clampedFrames += (r.x == r.xMin || r.x == r.xMax || r.y == r.yMin || r.y == r.yMax) ? 1 : 0;
        }
        // The run must have engaged repeatedly and hit the box's edges.
        EXPECT_GT(engagedFrames, 100);
        EXPECT_LT(engagedFrames, 500);
        EXPECT_GT(clampedFrames, 20);
    }
}

TEST(HandPointerEdgeCases, HandHeldStillIsApproachedGeometricallyWithGainBetweenHalfAndFour) {
    HandPointer p(1, nullptr);
    p.x = 0.1f;
    p.y = 0.1f;
    const float tx = 0.05f;
    const float ty = 0.03f;
    float keep = 1.0f;   // 0.6 ^ frames
    for (int frame = 1; frame <= 60; ++frame) {
        const float oldX = p.x, oldY = p.y, oldLastX = p.lastX, oldLastY = p.lastY;
        p.update(handPose(1, tx, ty, 0.0f), static_cast<uint32_t>(frame) * 33u);
        keep *= 0.6f;
        EXPECT_NEAR(p.lastX, tx * (1.0f - keep), 1e-6f) << frame;
        EXPECT_NEAR(p.lastY, ty * (1.0f - keep), 1e-6f) << frame;
        const float dx = p.lastX - oldLastX;
        const float dy = p.lastY - oldLastY;
        const float stepX = p.x - oldX;
        const float stepY = p.y - oldY;
        // One gain for both axes, between 0.5 and 4.
        EXPECT_GE(stepX, 0.5f * dx - 1e-7f) << frame;
        EXPECT_LE(stepX, 4.0f * dx + 1e-7f) << frame;
        EXPECT_GE(stepY, 0.5f * dy - 1e-7f) << frame;
        EXPECT_LE(stepY, 4.0f * dy + 1e-7f) << frame;
        if (frame == 1) {
            // Filtered move (0.02, 0.012): gain 40 * 0.023324 = 0.93295, not clamped.
            EXPECT_NEAR(stepX, 0.93295f * 0.02f, 1e-6f);
        }
        if (frame >= 8) {
            // Slow tail: the gain is held at 0.5, the pointer covers half the filtered movement.
            EXPECT_NEAR(stepX, 0.5f * dx, 1e-7f) << frame;
        }
    }
    // Settled: half of the hand's remaining approach is all the tail adds up to.
    EXPECT_LT(std::fabs(p.x - 0.1f - 0.5f * tx), 0.05f * tx + 0.02f);
    const float settledX = p.x;
    p.update(handPose(1, tx, ty, 0.0f), 5000);
    EXPECT_NEAR(p.x, settledX, 1e-7f);
}

TEST(HandPointerEdgeCases, EachPointerMapsItsHalfOfTheSensorOntoTheWholeWindow) {
    WindowInfo window;
    window.width = 1000;
    window.height = 500;
    HandPointer left(0, &window);
    HandPointer right(1, &window);
    auto at = [](HandPointer& p, float x, float y) {
        p.x = x;
        p.y = y;
        return p.screenPosition();
    };
    EXPECT_FLOAT_EQ(at(left, -0.5f, -0.1f).x, 0.0f);
    EXPECT_FLOAT_EQ(at(left, -0.5f, -0.1f).y, 0.0f);
    EXPECT_FLOAT_EQ(at(left, -0.1f, 0.3f).x, 800.0f);
    EXPECT_FLOAT_EQ(at(left, -0.1f, 0.3f).y, 400.0f);
    EXPECT_FLOAT_EQ(at(left, 0.0f, 0.4f).x, 999.0f);   // W - 1, not W
    EXPECT_FLOAT_EQ(at(left, 0.0f, 0.4f).y, 499.0f);   // H - 1, not H
    EXPECT_FLOAT_EQ(at(right, 0.0f, 0.0f).x, 0.0f);
    EXPECT_FLOAT_EQ(at(right, 0.0f, 0.0f).y, 100.0f);
    EXPECT_FLOAT_EQ(at(right, 0.4f, 0.0f).x, 800.0f);
    EXPECT_FLOAT_EQ(at(right, 0.5f, 0.0f).x, 999.0f);
    // The same sensor x lands on opposite edges of the window for the two pointers.
    EXPECT_FLOAT_EQ(at(left, 0.0f, 0.0f).x, 999.0f);
    EXPECT_FLOAT_EQ(at(right, 0.0f, 0.0f).x, 0.0f);
}

TEST(HandPointerEdgeCases, ACorruptPoseFrameIsSkippedAndDoesNotStickInTheFilter) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Pose corrupt[] = {handPose(1, nan, 0.1f, 0.3f), handPose(1, 0.2f, inf, 0.3f),
                            handPose(1, 0.2f, 0.1f, nan), handPose(1, -inf, nan, inf)};
    for (const Pose& bad : corrupt) {
        HandPointer p(1, nullptr);
        HandPointer clean(1, nullptr);
        for (int frame = 0; frame < 20; ++frame) {
            p.update(handPose(1, 0.2f, 0.1f, 0.3f), 100u + 40u * static_cast<uint32_t>(frame));
            clean.update(handPose(1, 0.2f, 0.1f, 0.3f), 100u + 40u * static_cast<uint32_t>(frame));
        }
        ASSERT_EQ(p.state, POINTER_ENGAGED);
        p.update(bad, 900);
        EXPECT_EQ(p.x, clean.x);
        EXPECT_EQ(p.y, clean.y);
        EXPECT_EQ(p.lastX, clean.lastX);
        EXPECT_EQ(p.lastY, clean.lastY);
        EXPECT_EQ(p.state, POINTER_ENGAGED);
        // Good frames afterwards move it exactly as if the corrupt one had never come.
        for (int frame = 0; frame < 5; ++frame) {
            const Pose good = handPose(1, 0.1f + 0.05f * static_cast<float>(frame), 0.2f, 0.3f);
            p.update(good, 1000u + 40u * static_cast<uint32_t>(frame));
            clean.update(good, 1000u + 40u * static_cast<uint32_t>(frame));
        }
        EXPECT_EQ(p.x, clean.x);
        EXPECT_EQ(p.y, clean.y);
        EXPECT_TRUE(std::isfinite(p.screenPosition().x));
    }
}

}  // namespace
