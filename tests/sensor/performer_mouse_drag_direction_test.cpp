// Grip drags with the mouse. The pointer moves with acceleration, so the steered wrist wanders
// from where the mouse lies in the pointer's box, and a slow drag needs about twice its length
// in wrist travel. Where the arm runs out of reach, the pointer may stop short of the mouse, but
// it must not swerve off the drag's line or run back against it, or a brush stroke or a
// straight line bends away from where the user drags.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "mouse_rig.h"

namespace {

// A 1240 x 1000 drawing area.
struct DragRig : MouseRig {
    explicit DragRig(uint32_t seed = 3) : MouseRig(seed, 1240, 1000) {}
};

struct DragTrace {
    float worstBackward = 0.0f;  // largest step against the drag's direction, pixels
    float worstSideways = 0.0f;  // largest distance from the drag's line, pixels
    float travel = 0.0f;         // how far along the drag the pointer got, pixels
    float startX = 0.0f, startY = 0.0f;  // where the grip began, pixels
};

// Grips at (x0, y0), waits `waitMs`, drags slowly to (x1, y1) in `ms`, and lets go; the hand
// is open before. The trace starts once the camera sees the hand closed with its pointer
// engaged: where the arm has wandered, the hand first comes back under the mouse.
DragTrace gripDrag(DragRig& rig, float x0, float y0, float x1, float y1, uint32_t waitMs, uint32_t ms) {
    DragTrace trace;
    rig.moveMouse(x0, y0);
    rig.run(700);
    rig.performer->mouseButton(HAND_RIGHT, true);
    rig.run(waitMs);
    const float length = std::hypot(x1 - x0, y1 - y0);
    const float ux = (x1 - x0) / length, uy = (y1 - y0) / length;
    bool gripping = false;
    ScreenPoint start, last;
    for (uint32_t t = 0; t <= ms + 1500; t += rig.stepMs) {
        const float s = std::min(1.0f, static_cast<float>(t) / static_cast<float>(ms));
        rig.moveMouse(x0 + (x1 - x0) * s, y0 + (y1 - y0) * s);
        rig.frame();
        const ScreenPoint p = rig.pointer.screenPosition();
        if (!gripping) {
            gripping = rig.pointer.engaged() && rig.performer->shownHandShape(HAND_RIGHT) == HandShape::CLOSED;
            start = last = p;
            trace.startX = p.x;
            trace.startY = p.y;
            continue;
        }
        EXPECT_TRUE(rig.pointer.engaged()) << "the pointer was lost during the drag";
        const float along = (p.x - last.x) * ux + (p.y - last.y) * uy;
        trace.worstBackward = std::max(trace.worstBackward, -along);
        const float side = std::fabs((p.x - x0) * uy - (p.y - y0) * ux);
        trace.worstSideways = std::max(trace.worstSideways, side);
        trace.travel = (p.x - start.x) * ux + (p.y - start.y) * uy;
        last = p;
    }
    EXPECT_TRUE(gripping) << "the hand never closed";
    rig.performer->mouseButton(HAND_RIGHT, false);
    rig.run(400);
    return trace;
}

}  // namespace

// Strokes each started after a quick return, as when painting one line under another: every
// return gives back less wrist travel than the slow stroke took, so without a fresh grip the
// arm would reach its limit within a few strokes. Each stroke starts where the button went
// down, stays on the mouse's line, and covers most of it, whether the mouse waits for the
// grip or drags on at once.
TEST(MouseGripDrag, RepeatedSlowStrokesStayOnTheDragsLineAndCoverIt) {
    struct Stroke {
        float x0, y0, x1, y1;
    };
    const Stroke strokes[] = {
        {200, 700, 900, 580}, {200, 600, 900, 480}, {200, 500, 900, 380}, {200, 400, 900, 280},
        {200, 300, 900, 180}, {1000, 650, 300, 650}, {1000, 500, 300, 500},  // leftward
        {600, 150, 640, 850}, {700, 150, 740, 850},                          // upward
        {500, 850, 520, 200}, {800, 850, 820, 200},                          // downward
        {200, 700, 900, 580}, {200, 500, 900, 380}};
    for (uint32_t run = 0; run < 4; ++run) {
        const uint32_t waitMs = run % 2 == 0 ? 0 : 1000;
        DragRig rig(3 + run / 2 * 8);
        rig.moveMouse(600.0f, 500.0f);
        rig.run(2500);
        ASSERT_TRUE(rig.pointer.engaged());
        for (const Stroke& k : strokes) {
            SCOPED_TRACE(testing::Message() << "stroke from " << k.x0 << ", " << k.y0 << " to " << k.x1 << ", "
                                            << k.y1 << ", dragging after " << waitMs << " ms, run " << run);
            const DragTrace trace = gripDrag(rig, k.x0, k.y0, k.x1, k.y1, waitMs, 1500);
            const float length = std::hypot(k.x1 - k.x0, k.y1 - k.y0);
            EXPECT_LT(std::hypot(trace.startX - k.x0, trace.startY - k.y0), 30.0f) << "the grip began elsewhere";
            EXPECT_LT(trace.worstBackward, 3.0f) << "the pointer ran back against the drag";
            EXPECT_LT(trace.worstSideways, 30.0f) << "the stroke bent off the drag's line";
            EXPECT_GT(trace.travel, 0.6f * length) << "the stroke stopped short";
        }
    }
}

// A click (button down and up at once) where the arm has wandered far from the mouse is not
// lost: the hand comes back under the mouse, closes there long enough for the hand detector
// to see it, and opens again.
TEST(MouseGripDrag, AQuickClickWhileTheHandComesBackStillHappensWhereItWasMade) {
    DragRig rig;
    rig.moveMouse(300.0f, 500.0f);
    rig.run(2500);
    ASSERT_TRUE(rig.pointer.engaged());
    // A slow glide to the right carries the wrist about twice as far as the pointer; the quick
    // way back gives little of it back.
    for (int i = 1; i <= 45; ++i) {
        rig.moveMouse(300.0f + 600.0f * static_cast<float>(i) / 45.0f, 500.0f);
        rig.frame();
    }
    rig.moveMouse(350.0f, 450.0f);
    rig.run(1000);
    ASSERT_TRUE(rig.pointer.engaged());
    rig.performer->mouseButton(HAND_RIGHT, true);
    rig.frame();
    rig.performer->mouseButton(HAND_RIGHT, false);
    rig.frame();
    EXPECT_EQ(rig.performer->shownHandShape(HAND_RIGHT), HandShape::OPEN);
    rig.moveMouse(900.0f, 300.0f);  // the mouse goes on elsewhere

    bool left = false;
    int closedFrames = 0;
    ScreenPoint closedAt;
    for (uint32_t t = 0; t < 3000; t += rig.stepMs) {
        rig.frame();
        left = left || !rig.pointer.engaged();
        if (rig.performer->shownHandShape(HAND_RIGHT) != HandShape::CLOSED) continue;
        EXPECT_TRUE(rig.pointer.engaged()) << "closed before its pointer was back";
        if (closedFrames++ == 0) closedAt = rig.pointer.screenPosition();
    }
    EXPECT_TRUE(left) << "the wandered hand did not come back under the mouse";
    EXPECT_GE(closedFrames, 5);
    EXPECT_LE(closedFrames, 12);
    EXPECT_LT(std::hypot(closedAt.x - 350.0f, closedAt.y - 450.0f), 30.0f);
    EXPECT_EQ(rig.performer->handShape(HAND_RIGHT), HandShape::OPEN);
    EXPECT_GT(rig.pointer.screenPosition().x, 700.0f) << "the pointer did not follow the mouse after the click";
}
