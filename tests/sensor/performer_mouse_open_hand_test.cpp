// The simulated performer's open hand must read open. With no mouse button held, the hand
// detector, run on the depth image the performer renders, exactly as the programs run it
// (joint smoothing, arm pose, right pointer, followPointer), must never measure a closed hand:
// three such frames in a row are a grip the user never made, and a tool paints or sculpts
// along the mouse's path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <random>
#include <sstream>
#include <string>

#include "common/sensor/hand_state_detector.h"
#include "mouse_rig.h"

namespace {

// One program's frame loop at 30 frames a second around the performer, in a drawing area of
// the given size (window pixels, y down as the window system reports them). The hand detectors
// run on the rendered depth images, before the pointers, as in the programs.
struct OpenHandRig : MouseRig {
    OpenHandRig(int width, int height, uint32_t seed) : MouseRig(seed, width, height) {
        detectors[HAND_LEFT] = HandStateDetector(HAND_LEFT, sensor.get());
        detectors[HAND_RIGHT] = HandStateDetector(HAND_RIGHT, sensor.get());
    }

    void move(float x, float y) {
        mouseX = x;
        mouseY = y;
        performer->mouseMove(x / static_cast<float>(window.width), 1.0f - y / static_cast<float>(window.height));
    }

    // button: the hand it closes (HAND_RIGHT for the left button, HAND_LEFT for the right).
    void press(int hand, bool down) {
        // A click is carried out whole even when the button comes up early: the hand first
        // reaches where it went down, stays closed long enough to be seen, and a press made
        // meanwhile follows it (up to four are kept). So a right-hand grip may still come
        // within a few seconds.
        if (!down && hand == HAND_RIGHT) lateClickUntil = now + 6000;
        performer->mouseButton(hand, down);
        held[hand] = down;
    }

    // The hand's button is down, or a click the performer has not finished yet (it still asks
    // for a closed hand) was made in the last seconds.
    bool gripAsked(int hand) const {
        return held[hand] || (hand == HAND_RIGHT && now <= lateClickUntil &&
                              performer->handShape(HAND_RIGHT) == HandShape::CLOSED);
    }

    void frame() {
        now += 33;
        sensor->advance(now);
        sensor->fetchSkeleton();
        sensor->fetchColour();
        sensor->fetchDepth();
        // What was asked when this frame's images were made (followPointer below may end a
        // click for the next frame).
        const bool asked[2] = {gripAsked(HAND_LEFT), gripAsked(HAND_RIGHT)};
        extractArmPose(extractor, sensor->skeleton, pose);
        for (HandStateDetector& detector : detectors) detector.update(events);
        pointer.update(pose, now);
        leftPointer.update(pose, now);
        performer->followPointer(pointer);
        for (int hand = 0; hand < 2; ++hand) {
            const HandStateDetector& d = detectors[hand];
            // Only a hand held forward is one the user works with (a hanging hand is behind
            // the body's plane or out of the pointers' reach).
            const bool forward = hand == HAND_RIGHT ? pointer.engaged() : leftPointer.engaged();
            if (asked[hand] || !forward || d.lastMeasurement != HAND_MEASURED || !d.history[2]) continue;
            ++closedFrames;
            if (failures.tellp() < 2000) {
                failures << (hand == HAND_RIGHT ? "right" : "left") << " hand closed at " << now << " ms, mouse "
                         << mouseX << ", " << mouseY << ", wrist pixel " << d.wristU << ", " << d.wristV << "\n";
            }
        }
        while (!events.empty()) {
            const std::string& e = events.front();
            if ((e == "RIGHT_HAND_CLOSED" && !asked[HAND_RIGHT]) || (e == "LEFT_HAND_CLOSED" && !asked[HAND_LEFT])) {
                ++phantomGrips;
            }
            events.pop_front();
        }
    }

    void run(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 33) frame();
    }

    // A steady mouse movement to (x, y) over ms, one motion event a frame.
    void glide(float x, float y, uint32_t ms) {
        const float x0 = mouseX, y0 = mouseY;
        const int frames = std::max(1, static_cast<int>(ms / 33));
        for (int i = 1; i <= frames; ++i) {
            const float s = static_cast<float>(i) / static_cast<float>(frames);
            move(x0 + (x - x0) * s, y0 + (y - y0) * s);
            frame();
        }
    }

    // The right hand comes forward and its pointer engages under the mouse.
    void engage(float x, float y) {
        frame();
        move(x, y);
        run(2000);
        ASSERT_TRUE(pointer.engaged());
    }

    HandStateDetector detectors[2];
    std::deque<std::string> events;
    bool held[2] = {false, false};
    uint32_t lateClickUntil = 0;
    int closedFrames = 0;  // frames measured closed with the hand's button up
    int phantomGrips = 0;  // closed events with the hand's button up
    std::ostringstream failures;
};

}  // namespace

// Strokes, each released and followed by a plain move elsewhere, and engagements in the lower
// middle of the area, where the hand comes forward at about the camera's height.
TEST(PerformerOpenHand, ReleasedStrokesAndPlainMovesNeverReadClosed) {
    OpenHandRig rig(1600, 1000, 1);
    rig.engage(800, 700);
    // Slow climbs to the top first: damped by the pointer's acceleration, they raise the wrist
    // more than the pointer, and the strokes below start with the hand held high.
    for (int climb = 0; climb < 2; ++climb) {
        rig.glide(820, 60, 1500);
        rig.run(300);
        rig.move(800, 700);
        rig.run(600);
    }
    rig.press(HAND_RIGHT, true);
    rig.run(300);
    rig.glide(900, 650, 500);
    rig.press(HAND_RIGHT, false);
    rig.run(200);
    rig.move(1300, 400);
    rig.run(1500);
    for (int k = 0; k < 3; ++k) {
        const float y = 300.0f + 100.0f * static_cast<float>(k);
        rig.glide(500, y, 400);
        rig.run(300);
        rig.press(HAND_RIGHT, true);
        rig.run(200);
        rig.glide(520, y + 30.0f, 300);
        rig.press(HAND_RIGHT, false);
        rig.run(150);
        rig.move(1200, 250.0f + 120.0f * static_cast<float>(k));
        rig.run(1000);
    }
    // Slow circles and quick sweeps through the lower middle.
    for (int i = 0; i <= 60; ++i) {
        const float a = static_cast<float>(i) * 6.2831853f / 60.0f;
        rig.move(800.0f + 350.0f * std::cos(a), 650.0f + 250.0f * std::sin(a));
        rig.frame();
    }
    // Short hops there, the hand reaching forward level with the camera, its forearm pointing
    // into the lens.
    const float hops[][2] = {{830, 710}, {800, 500}, {830, 710}, {700, 760}, {950, 690}, {760, 640},
                             {880, 740}, {820, 560}, {900, 700}, {650, 720}, {1000, 760}, {830, 700}};
    for (const auto& hop : hops) {
        rig.move(hop[0], hop[1]);
        rig.run(400);
    }
    rig.glide(400, 750, 300);
    rig.glide(1100, 700, 300);
    rig.glide(830, 710, 600);
    rig.run(800);
    EXPECT_EQ(rig.closedFrames, 0) << rig.failures.str();
    EXPECT_EQ(rig.phantomGrips, 0);
}

// Slow upward strokes carry the wrist further than the pointer (slow movements are damped),
// until the raised hand would leave the top of the image; quick jumps and drags follow.
TEST(PerformerOpenHand, MouseSessionsNeverReadAnOpenHandClosed) {
    for (uint32_t seed : {1u, 5u, 26u}) {
        SCOPED_TRACE(testing::Message() << "session " << seed);
        OpenHandRig rig(1600, 1000, seed);
        rig.engage(800, 500);
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> across(5.0f, 1595.0f), down(5.0f, 995.0f), chance(0.0f, 1.0f);
        for (int i = 0; i < 24; ++i) {
            const float u = chance(random);
            if (u < 0.3f) {
                rig.move(across(random), down(random));
                rig.run(33 * (1 + random() % 20));
            } else if (u < 0.55f) {
                rig.glide(across(random), down(random), 100 + random() % 1200);
                rig.run(33 * (random() % 10));
            } else if (u < 0.7f) {
                // A slow climb toward the top of the area.
                rig.glide(across(random), 40.0f + 60.0f * chance(random), 1500);
                rig.run(300);
            } else {
                rig.press(HAND_RIGHT, true);
                rig.run(33 * (random() % 10));
                rig.glide(across(random), down(random), 100 + random() % 800);
                rig.press(HAND_RIGHT, false);
                rig.run(33 * (random() % 8));
            }
        }
        rig.run(3000);  // a late click has ended by now
        EXPECT_EQ(rig.performer->handShape(HAND_RIGHT), HandShape::OPEN);
        EXPECT_EQ(rig.closedFrames, 0) << rig.failures.str();
        EXPECT_EQ(rig.phantomGrips, 0);
    }
}

// The right button holds the left hand forward, closed; released, it opens and must read so
// at once, while the right hand goes on moving open.
TEST(PerformerOpenHand, TheLeftHandReadsOpenOnceItsButtonIsUp) {
    OpenHandRig rig(1240, 1000, 3);
    rig.engage(620, 600);
    rig.press(HAND_LEFT, true);
    rig.run(600);
    rig.glide(700, 500, 400);
    rig.press(HAND_LEFT, false);
    rig.glide(300, 750, 600);
    rig.glide(1000, 300, 600);
    rig.run(600);
    EXPECT_EQ(rig.closedFrames, 0) << rig.failures.str();
    EXPECT_EQ(rig.phantomGrips, 0);
}

// Wherever the mouse holds the right hand in the pointer's box, and at any reach the wheel
// gives it, the forearm shows in the image at least twice as long as the joint smoothing may
// lag one joint (4 cm, 12 pixels at 1.9 m): the detector takes the hand's direction from the
// elbow's pixel to the wrist's, and a shorter forearm lets that lag turn it away from the
// fingers, most of all where the forearm points straight into the lens.
TEST(PerformerOpenHand, TheMouseHeldForearmNeverPointsIntoTheLens) {
    SimulatedPerformer performer(1);
    performer.setNaturalMotion(false, false);
    uint32_t now = 0;
    performer.mouseMove(0.5f, 0.5f);
    float shortest = 1e9f;
    std::string where;
    for (int reachStep = -2; reachStep <= 3; ++reachStep) {  // 0.2 .. 0.45 m
        performer.mouseWheel(reachStep == -2 ? -2 : 1);
        for (int i = 0; i <= 10; ++i) {
            for (int k = 0; k <= 10; ++k) {
                // Where the box puts the wrist for this mouse position (the pointer starts there).
                performer.moveWrist(HAND_RIGHT, 0.05f * static_cast<float>(i), -0.1f + 0.05f * static_cast<float>(k), 0);
                now += 33;
                performer.advance(now);
                const SkeletonRecord& s = performer.currentSkeleton();
                const Vector4& w = s.joints[JOINT_WRIST_RIGHT];
                const Vector4& e = s.joints[JOINT_ELBOW_RIGHT];
                float uw, vw, ue, ve;
                projectToImage(w.x, w.y, w.z, uw, vw);
                projectToImage(e.x, e.y, e.z, ue, ve);
                const float pixels = std::hypot(uw - ue, vw - ve);
                if (pixels < shortest) {
                    shortest = pixels;
                    where = "wrist " + std::to_string(w.x) + ", " + std::to_string(w.y) + ", " + std::to_string(w.z);
                }
                // The elbow stays below the shoulder, as a person's does holding a hand out.
                EXPECT_LT(e.y, s.joints[JOINT_SHOULDER_RIGHT].y + 1e-4f);
            }
        }
    }
    EXPECT_GE(shortest, 24.0f) << where;
}

// Both buttons: the left button's grip holds, then the right button brings the left hand
// forward to grip too, the mouse still. A two-handed tool takes its reference from the pointers
// on the frame before both grip and follows them from there, so until the mouse moves the two
// pointers must keep their distance and angle: the left hand may grip only once it has come
// forward and its pointer has engaged and settled.
TEST(PerformerOpenHand, TheLeftHandGripsOnlyOnceItsPointerHasSettled) {
    for (uint32_t frameMs : {33u, 66u}) {
        SCOPED_TRACE(testing::Message() << frameMs << " ms frames");
        OpenHandRig rig(1240, 1000, 4);
        rig.engage(700, 500);
        rig.press(HAND_RIGHT, true);
        rig.run(400);
        ASSERT_TRUE(rig.detectors[HAND_RIGHT].closed());
        rig.press(HAND_LEFT, true);
        ScreenPoint refLeft, refRight;
        float worstShift = 0.0f;
        int bothFrames = 0;
        for (uint32_t t = 0; t < 2500; t += frameMs) {
            rig.now += frameMs - 33;  // frame() adds 33
            rig.frame();
            const bool both = rig.detectors[HAND_LEFT].closed() && rig.leftPointer.engaged() &&
                              rig.detectors[HAND_RIGHT].closed() && rig.pointer.engaged();
            const ScreenPoint l = rig.leftPointer.screenPosition();
            const ScreenPoint r = rig.pointer.screenPosition();
            if (both) {
                ++bothFrames;
                // The tool's view follows the pointers' relative placement from the reference.
                const float dl = std::hypot(l.x - refLeft.x, l.y - refLeft.y);
                const float dr = std::hypot(r.x - refRight.x, r.y - refRight.y);
                worstShift = std::max(worstShift, std::max(dl, dr));
            } else {
                refLeft = l;
                refRight = r;
            }
        }
        EXPECT_GT(bothFrames, 0) << "the left hand never gripped";
        // Sway and tracker jitter move a still pointer a few pixels at most.
        EXPECT_LT(worstShift, 12.0f);
    }
}
