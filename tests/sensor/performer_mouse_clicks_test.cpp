// Clicks and grips in quick succession with the mouse-driven performer: each press of the left
// button becomes one grip of the right hand, where the button went down, whatever the mouse
// did just before or does meanwhile (quick moves, a wrist that wandered and must start afresh,
// a second click, the other button, the wheel).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "common/sensor/hand_state_detector.h"
#include "mouse_rig.h"

namespace {

// A 1240 x 1000 drawing area; every frame keeps what it showed.
struct ClickRig : MouseRig {
    explicit ClickRig(uint32_t seed = 3) : MouseRig(seed, 1240, 1000) {}

    void frame() {
        MouseRig::frame();
        Sample s;
        s.rightGrips = pointer.engaged() && performer->shownHandShape(HAND_RIGHT) == HandShape::CLOSED;
        s.leftGrips = leftPointer.engaged() && performer->shownHandShape(HAND_LEFT) == HandShape::CLOSED;
        s.rightEngaged = pointer.engaged();
        s.at = pointer.screenPosition();
        trace.push_back(s);
    }

    void run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += stepMs) frame();
    }

    // Engages the pointer, then wanders the wrist: a slow glide right (the pointer's
    // acceleration damps it, so the wrist goes about twice as far) and a quick way back.
    void engageAndWander() {
        moveMouse(300.0f, 500.0f);
        run(2500);
        glide(900.0f, 500.0f, 45);
        moveMouse(350.0f, 450.0f);
        run(1000);
    }

    // The mouse from where it is to (x, y) in a straight line, one equal step a frame.
    void glide(float x, float y, int frames) {
        const float fromX = mouseX, fromY = mouseY;
        for (int f = 1; f <= frames; ++f) {
            const float share = static_cast<float>(f) / static_cast<float>(frames);
            moveMouse(fromX + (x - fromX) * share, fromY + (y - fromY) * share);
            frame();
        }
    }

    // A quick move to (x, y) and a click of about 70 ms there.
    void click(float x, float y) {
        moveMouse(x, y);
        frame();
        performer->mouseButton(HAND_RIGHT, true);
        frame();
        frame();
        performer->mouseButton(HAND_RIGHT, false);
    }

    struct Sample {
        bool rightGrips = false, leftGrips = false, rightEngaged = false;
        ScreenPoint at;
    };
    struct Grip {
        ScreenPoint start, end;
        int frames = 0;
    };
    // The right hand's grips (an engaged pointer over a closed hand) seen since sample `from`.
    std::vector<Grip> grips(size_t from) const {
        std::vector<Grip> out;
        bool was = false;
        for (size_t i = from; i < trace.size(); ++i) {
            if (trace[i].rightGrips) {
                if (!was) out.push_back({trace[i].at, trace[i].at, 0});
                out.back().end = trace[i].at;
                ++out.back().frames;
            }
            was = trace[i].rightGrips;
        }
        return out;
    }

    std::vector<Sample> trace;
};

float distance(ScreenPoint p, float x, float y) { return std::hypot(p.x - x, p.y - y); }

// A program drawing `frameMs` apart, with the right hand detector run on the rendered depth
// images as the programs run it; counts the grips it sees with the pointer engaged.
struct DetectorRig : MouseRig {
    explicit DetectorRig(uint32_t frameMs) : MouseRig(3, 1240, 1000, frameMs) {
        detector = HandStateDetector(HAND_RIGHT, sensor.get());
    }

    void frame() {
        now += stepMs;
        sensor->advance(now);
        sensor->fetchSkeleton();
        sensor->fetchColour();
        sensor->fetchDepth();
        extractArmPose(extractor, sensor->skeleton, pose);
        const bool wasClosed = detector.closed();
        detector.update(events);
        events.clear();
        pointer.update(pose, now);
        leftPointer.update(pose, now);
        if (!wasClosed && detector.closed() && pointer.engaged()) ++gripsSeen;
        performer->followPointer(pointer);
    }

    void run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += stepMs) frame();
    }

    HandStateDetector detector;
    std::deque<std::string> events;
    int gripsSeen = 0;
};

}  // namespace

// Two quick clicks at two places, 450 ms apart, while the hand still comes back from a wander
// for the first: both act, each once, where it was made, long enough for the hand detector.
TEST(MouseClicks, TwoQuickClicksAtTwoPlacesBothActWhereMade) {
    ClickRig rig;
    rig.engageAndWander();
    const size_t from = rig.trace.size();
    rig.click(400.0f, 450.0f);
    rig.run(400);
    rig.click(700.0f, 300.0f);
    rig.run(4000);
    const std::vector<ClickRig::Grip> grips = rig.grips(from);
    ASSERT_EQ(grips.size(), 2u);
    EXPECT_LT(distance(grips[0].start, 400.0f, 450.0f), 30.0f);
    EXPECT_LT(distance(grips[1].start, 700.0f, 300.0f), 30.0f);
    for (const ClickRig::Grip& g : grips) {
        EXPECT_GE(g.frames, 5) << "too short for the hand detector";
        EXPECT_LT(distance(g.end, g.start.x, g.start.y), 15.0f) << "a click must not drag";
    }
    EXPECT_EQ(rig.performer->handShape(HAND_RIGHT), HandShape::OPEN);
}

// A quick click right after a quick move acts where it was made, not where the pointer was
// still on its way.
TEST(MouseClicks, AQuickClickAfterAQuickMoveActsWhereMade) {
    ClickRig rig;
    rig.moveMouse(600.0f, 500.0f);
    rig.run(2500);
    const size_t from = rig.trace.size();
    rig.click(750.0f, 420.0f);
    rig.run(1500);
    const std::vector<ClickRig::Grip> grips = rig.grips(from);
    ASSERT_EQ(grips.size(), 1u);
    EXPECT_LT(distance(grips[0].start, 750.0f, 420.0f), 30.0f);
    EXPECT_GE(grips[0].frames, 5);
}

// Both buttons as a user holds them for a two-handed tool (left button, then at once the right
// one): both hands grip with engaged pointers, even when the left button found the wrist
// wandered and the right hand had to come back first; released, the right pointer follows
// the mouse again.
TEST(MouseClicks, BothButtonsGripWithBothHandsAfterAWander) {
    ClickRig rig;
    rig.engageAndWander();
    const size_t from = rig.trace.size();
    rig.performer->mouseButton(HAND_RIGHT, true);
    rig.run(100);
    rig.performer->mouseButton(HAND_LEFT, true);
    rig.run(2000);
    int both = 0;
    for (size_t i = from; i < rig.trace.size(); ++i) both += rig.trace[i].rightGrips && rig.trace[i].leftGrips;
    EXPECT_GT(both, 10);
    rig.performer->mouseButton(HAND_LEFT, false);
    rig.performer->mouseButton(HAND_RIGHT, false);
    rig.run(1500);
    rig.moveMouse(800.0f, 300.0f);
    rig.run(2500);
    EXPECT_TRUE(rig.trace.back().rightEngaged);
    EXPECT_LT(distance(rig.trace.back().at, 800.0f, 300.0f), 30.0f);
}

// The wheel turned while the hand drops to start afresh must not freeze the pointer or lose
// the press.
TEST(MouseClicks, TheWheelDuringAFreshGripLosesNothing) {
    for (int framesBefore : {0, 1, 2, 4, 10}) {
        SCOPED_TRACE(testing::Message() << "wheel " << framesBefore << " frames after the press");
        ClickRig rig;
        rig.engageAndWander();
        const size_t from = rig.trace.size();
        rig.performer->mouseButton(HAND_RIGHT, true);
        for (int f = 0; f < framesBefore; ++f) rig.frame();
        rig.performer->mouseWheel(1);
        rig.run(2000);
        rig.performer->mouseButton(HAND_RIGHT, false);
        rig.run(500);
        rig.moveMouse(800.0f, 300.0f);
        rig.run(2500);
        EXPECT_TRUE(rig.trace.back().rightEngaged);
        EXPECT_LT(distance(rig.trace.back().at, 800.0f, 300.0f), 30.0f) << "the pointer does not follow the mouse";
        EXPECT_EQ(rig.grips(from).size(), 1u);
    }
}

// Short quick strokes in a row (ticks of 126 px in 300 ms, one a second), as for shading: each
// becomes one grip that starts where its button went down and goes where it came up.
TEST(MouseClicks, QuickTicksEachBecomeOneStroke) {
    ClickRig rig;
    rig.moveMouse(600.0f, 500.0f);
    rig.run(2500);
    const size_t from = rig.trace.size();
    std::vector<std::pair<float, float>> starts;
    for (int i = 0; i < 10; ++i) {
        const float x0 = 200.0f + 70.0f * static_cast<float>(i), y0 = 700.0f;
        rig.moveMouse(x0 - 35.0f, 640.0f);
        rig.run(66);
        rig.moveMouse(x0, y0);
        rig.run(300);
        starts.emplace_back(x0, y0);
        rig.performer->mouseButton(HAND_RIGHT, true);
        rig.glide(x0 + 40.0f, y0 - 120.0f, 9);
        rig.performer->mouseButton(HAND_RIGHT, false);
        rig.run(600);
    }
    rig.run(3000);
    const std::vector<ClickRig::Grip> grips = rig.grips(from);
    ASSERT_EQ(grips.size(), starts.size());
    for (size_t i = 0; i < grips.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "tick " << i);
        EXPECT_LT(distance(grips[i].start, starts[i].first, starts[i].second), 30.0f) << "began elsewhere";
        EXPECT_LT(distance(grips[i].end, starts[i].first + 40.0f, starts[i].second - 120.0f), 40.0f)
            << "did not go where the button came up";
    }
}

// Hatching, pressing and dragging at once: strokes that start afresh catch up with the mouse
// along its path, in steps a tool applied once a frame paints without gaps, and each covers
// its drag.
TEST(MouseClicks, StrokesDraggedAtOnceCatchUpAlongTheMousesPath) {
    ClickRig rig;
    rig.moveMouse(200.0f, 800.0f);
    rig.run(2500);
    int freshGrips = 0;
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(testing::Message() << "stroke " << i);
        const float x0 = 200.0f + 40.0f * static_cast<float>(i), y0 = 800.0f;
        rig.moveMouse(x0, y0);
        rig.run(500);
        const size_t from = rig.trace.size();
        rig.performer->mouseButton(HAND_RIGHT, true);
        rig.run(300);
        rig.glide(x0 + 150.0f, y0 - 200.0f, 24);  // 250 px down-right in 800 ms
        rig.run(1200);
        rig.performer->mouseButton(HAND_RIGHT, false);
        rig.run(500);
        float worstStep = 0.0f;
        bool lost = false;
        for (size_t k = from + 1; k < rig.trace.size(); ++k) {
            lost = lost || !rig.trace[k].rightEngaged;
            if (rig.trace[k - 1].rightGrips && rig.trace[k].rightGrips) {
                worstStep = std::max(worstStep, distance(rig.trace[k].at, rig.trace[k - 1].at.x, rig.trace[k - 1].at.y));
            }
        }
        freshGrips += lost;
        const std::vector<ClickRig::Grip> grips = rig.grips(from);
        ASSERT_EQ(grips.size(), 1u);
        EXPECT_LT(distance(grips[0].start, x0, y0), 30.0f);
        EXPECT_LT(distance(grips[0].end, x0 + 150.0f, y0 - 200.0f), 30.0f);
        EXPECT_LT(worstStep, 40.0f);
        // A quick return to the next start.
        rig.moveMouse(x0 + 115.0f, y0 - 100.0f);
        rig.frame();
        rig.moveMouse(x0 + 40.0f, y0);
        rig.run(66);
    }
    EXPECT_GT(freshGrips, 0) << "the wrist never wandered: the strokes tested nothing";
}

// A slow program (a large painting, the terrain on a software renderer) draws few frames in a
// quarter of a second, and the hand detector needs three of them to see a hand change: each
// quick click must still be seen once, neither lost nor merged with the next.
TEST(MouseClicks, QuickClicksInASlowProgramAreEachSeenByTheHandDetector) {
    for (uint32_t frameMs : {33u, 125u, 200u}) {
        for (uint32_t gapMs : {200u, 700u}) {
            SCOPED_TRACE(testing::Message() << frameMs << " ms a frame, clicks " << gapMs << " ms apart");
            DetectorRig rig(frameMs);
            rig.moveMouse(600.0f, 500.0f);
            rig.run(8000);
            ASSERT_TRUE(rig.pointer.engaged());
            rig.gripsSeen = 0;
            for (int i = 0; i < 4; ++i) {
                rig.moveMouse(500.0f + 60.0f * static_cast<float>(i), 500.0f);
                rig.run(100);
                rig.performer->mouseButton(HAND_RIGHT, true);
                rig.run(70);
                rig.performer->mouseButton(HAND_RIGHT, false);
                rig.run(gapMs);
            }
            rig.run(6000);
            EXPECT_EQ(rig.gripsSeen, 4);
            EXPECT_FALSE(rig.detector.closed());
        }
    }
}

// Both buttons held for a two-handed tool, then the right one let go first: the right hand
// still grips, so it stays where it waited instead of swinging the tool to wherever the left
// hand's drag left the mouse, and goes on with the mouse's moves from there. Once the left
// button is up too, the pointer follows the mouse itself again.
TEST(MouseClicks, ReleasingTheRightButtonFirstLeavesTheGripWhereItWas) {
    ClickRig rig;
    rig.moveMouse(600.0f, 500.0f);
    rig.run(2500);
    rig.performer->mouseButton(HAND_RIGHT, true);
    rig.run(1000);
    rig.performer->mouseButton(HAND_LEFT, true);
    rig.run(1500);
    ASSERT_TRUE(rig.trace.back().rightGrips && rig.trace.back().leftGrips);
    const ScreenPoint waited = rig.trace.back().at;
    rig.glide(900.0f, 300.0f, 10);  // the right button's drag moves the left hand
    rig.performer->mouseButton(HAND_LEFT, false);
    rig.run(1000);
    EXPECT_TRUE(rig.trace.back().rightGrips);
    EXPECT_LT(distance(rig.trace.back().at, waited.x, waited.y), 25.0f) << "the gripping hand swung to the mouse";
    rig.glide(1000.0f, 300.0f, 10);
    rig.run(1500);
    EXPECT_TRUE(rig.trace.back().rightGrips);
    EXPECT_NEAR(rig.trace.back().at.x - waited.x, 100.0f, 40.0f) << "the grip does not go on with the mouse";
    EXPECT_NEAR(rig.trace.back().at.y, waited.y, 25.0f);
    rig.performer->mouseButton(HAND_RIGHT, false);
    rig.run(1000);
    rig.moveMouse(400.0f, 600.0f);
    rig.run(2500);
    EXPECT_FALSE(rig.trace.back().rightGrips);
    EXPECT_LT(distance(rig.trace.back().at, 400.0f, 600.0f), 30.0f) << "the pointer no longer follows the mouse";
}
