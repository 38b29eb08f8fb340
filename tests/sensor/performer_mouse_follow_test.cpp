// The simulated performer steered by the mouse: the whole path a program runs each frame
// (performer -> SensorInput with its joint smoothing -> arm pose -> right HandPointer ->
// followPointer) must bring the pointer under the mouse and keep it there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/gesture/gesture.h"
#include "common/sensor/performer_body.h"
#include "mouse_rig.h"

namespace {

// A drawing area of 1300 x 1000 pixels.
struct FollowRig : MouseRig {
    explicit FollowRig(uint32_t frameMs) : MouseRig(7, 1300, 1000, frameMs) {}

    float errorPixels() const {
        ScreenPoint p = pointer.screenPosition();
        return std::hypot(p.x - mouseX, p.y - mouseY);
    }

    // Moves the mouse to (x, y) at once; then returns how many frames the pointer took to come
    // within `near` pixels, and in `overshoot` the largest error after that, over `ms`.
    int jump(float x, float y, uint32_t ms, float near, float& overshoot) {
        moveMouse(x, y);
        int framesToNear = -1;
        overshoot = 0.0f;
        int frames = static_cast<int>(ms / stepMs);
        for (int i = 1; i <= frames; ++i) {
            frame();
            if (framesToNear < 0) {
                if (errorPixels() < near) framesToNear = i;
            } else {
                overshoot = std::max(overshoot, errorPixels());
            }
        }
        return framesToNear;
    }

    // The right wrist's command stays where the arm reaches.
    float wristFromShoulder() const {
        Vec3 shoulder = shoulderPosition(performer->body(), HAND_RIGHT, {});
        return length(performer->wristTarget(HAND_RIGHT) - shoulder);
    }
};

// The pointer engages about half a second after the hand comes forward.
void engage(FollowRig& rig, float x, float y) {
    rig.frame();
    rig.moveMouse(x, y);
    rig.run(2500);
    ASSERT_TRUE(rig.pointer.engaged());
}

class MouseFollow : public ::testing::TestWithParam<uint32_t> {};

}  // namespace

// 30 frames a second (pintara, --fixed-step 33) and 15 (glebora's real-time rate).
INSTANTIATE_TEST_SUITE_P(FrameRates, MouseFollow, ::testing::Values(33u, 66u));

TEST_P(MouseFollow, JumpsLandUnderTheMouseQuicklyAndWithoutOvershoot) {
    FollowRig rig(GetParam());
    engage(rig, 650.0f, 500.0f);
    EXPECT_LT(rig.errorPixels(), 4.0f) << "the engaging pointer starts under the mouse";

    const float targets[][2] = {{100.0f, 900.0f}, {1200.0f, 150.0f}, {1150.0f, 850.0f}, {200.0f, 120.0f},
                                {660.0f, 520.0f}, {700.0f, 560.0f},  {640.0f, 500.0f}};
    for (const auto& t : targets) {
        SCOPED_TRACE(testing::Message() << "to " << t[0] << ", " << t[1]);
        float overshoot = 0.0f;
        int frames = rig.jump(t[0], t[1], 1500, 10.0f, overshoot);
        ASSERT_GE(frames, 0) << "never came within 10 pixels; error " << rig.errorPixels();
        EXPECT_LE(frames, 15);
        EXPECT_LT(overshoot, 25.0f);
        EXPECT_LT(rig.errorPixels(), 8.0f);
    }
}

TEST_P(MouseFollow, SlowDragsAreFollowedClosely) {
    FollowRig rig(GetParam());
    engage(rig, 300.0f, 300.0f);
    // A two-second stroke across most of the window and back up, as when painting.
    float worst = 0.0f;
    for (uint32_t t = 0; t <= 2000; t += rig.stepMs) {
        float s = static_cast<float>(t) / 2000.0f;
        rig.moveMouse(300.0f + 700.0f * s, 300.0f + 400.0f * s * s);
        rig.frame();
        if (t > 300) worst = std::max(worst, rig.errorPixels());
    }
    rig.run(1500);
    // The mouse moves up to 0.53 pixels a millisecond; the pointer trails it by four frames at most.
    EXPECT_LT(worst, 4.0f * 0.53f * static_cast<float>(rig.stepMs));
    EXPECT_LT(rig.errorPixels(), 8.0f);
}

TEST_P(MouseFollow, RandomTargetsLeaveNoDriftAndTheWristWithinReach) {
    FollowRig rig(GetParam());
    engage(rig, 650.0f, 500.0f);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> across(60.0f, 1240.0f), up(60.0f, 940.0f);
    const float armLength = rig.performer->body().upperArm + rig.performer->body().forearm;
    for (int i = 0; i < 25; ++i) {
        float x = across(random), y = up(random);
        float overshoot = 0.0f;
        rig.jump(x, y, 1500, 10.0f, overshoot);
        EXPECT_LT(rig.errorPixels(), 8.0f) << "target " << i << " at " << x << ", " << y;
        EXPECT_LT(rig.wristFromShoulder(), armLength);
    }
}

TEST_P(MouseFollow, AStillMouseKeepsThePointerStill) {
    FollowRig rig(GetParam());
    engage(rig, 400.0f, 700.0f);
    ScreenPoint start = rig.pointer.screenPosition();
    float wander = 0.0f;
    for (int i = 0; i < 60; ++i) {
        rig.frame();
        ScreenPoint p = rig.pointer.screenPosition();
        wander = std::max(wander, std::hypot(p.x - start.x, p.y - start.y));
    }
    EXPECT_LT(wander, 12.0f) << "the body's sway alone moves the pointer a few pixels";
}

TEST(MouseFollow, ThePointerStopsAtTheArmsLimitAndComesBackWithTheMouse) {
    FollowRig rig(33);
    engage(rig, 650.0f, 500.0f);
    // Slow drags to the bottom right, each started from the upper left with a fast jump: the
    // slow pointer needs more wrist travel than the fast one gives back, until the arm is
    // straight.
    const float armLength = rig.performer->body().upperArm + rig.performer->body().forearm;
    for (int stroke = 0; stroke < 6; ++stroke) {
        float overshoot = 0.0f;
        rig.jump(200.0f, 800.0f, 700, 10.0f, overshoot);
        for (uint32_t t = 0; t <= 1500; t += rig.stepMs) {
            float s = static_cast<float>(t) / 1500.0f;
            rig.moveMouse(200.0f + 1050.0f * s, 800.0f - 750.0f * s);
            rig.frame();
            if (rig.pointer.engaged()) {
                ASSERT_LT(rig.wristFromShoulder(), armLength);
            }
        }
    }
    // Wherever it stopped, the pointer comes back to the middle: directly, or by dropping the
    // hand and engaging again under the mouse.
    float overshoot = 0.0f;
    int frames = rig.jump(650.0f, 500.0f, 2500, 10.0f, overshoot);
    EXPECT_GE(frames, 0);
    EXPECT_LT(rig.errorPixels(), 8.0f);
}

TEST(MouseFollow, ArmsHangWhileTheMouseIsAwayAndThePointerReturnsUnderIt) {
    FollowRig rig(33);
    engage(rig, 650.0f, 500.0f);
    rig.performer->mouseButton(HAND_LEFT, true);  // the left hand held forward as well
    rig.run(600);
    ASSERT_GT(rig.pose[POSE_LEFT_REACH], POINTER_REACH_THRESHOLD);

    rig.performer->mouseAway();
    EXPECT_TRUE(rig.performer->mouseIsAway());
    rig.run(800);
    EXPECT_LT(rig.pose[POSE_RIGHT_REACH], POINTER_REACH_THRESHOLD);
    EXPECT_LT(rig.pose[POSE_LEFT_REACH], POINTER_REACH_THRESHOLD);
    EXPECT_FALSE(rig.pointer.engaged());
    EXPECT_EQ(rig.performer->handShape(HAND_LEFT), HandShape::OPEN);
    Vec3 rest = restWristPosition(rig.performer->body(), HAND_RIGHT);
    EXPECT_LT(length(rig.performer->wristTarget(HAND_RIGHT) - rest), 1e-3f);
    // The wheel does not lift a hanging arm.
    rig.performer->mouseWheel(2);
    rig.run(300);
    EXPECT_LT(rig.pose[POSE_RIGHT_REACH], POINTER_REACH_THRESHOLD);

    // Back over the area somewhere else: the hand comes forward, and the pointer engages half
    // a second later under the mouse.
    rig.moveMouse(300.0f, 250.0f);
    EXPECT_FALSE(rig.performer->mouseIsAway());
    rig.run(1200);
    EXPECT_TRUE(rig.pointer.engaged());
    EXPECT_LT(rig.errorPixels(), 5.0f);
}

// A key performs a named gesture while the mouse drives: the mouse, its buttons and its wheel
// must not bend the gesture, and afterwards the person stands still until the mouse moves.
TEST(MouseFollow, AKeyedGestureRunsUntouchedByTheMouseAndThenStandsStill) {
    const std::vector<std::string> names = SimulatedPerformer::gestureNames();
    const int circle = static_cast<int>(std::find(names.begin(), names.end(), "right_circle") - names.begin());
    ASSERT_LT(circle, static_cast<int>(names.size()));

    FollowRig quiet(33), busy(33);
    std::vector<Vec3> quietPath, busyPath;
    for (FollowRig* rig : {&quiet, &busy}) {
        engage(*rig, 650.0f, 500.0f);
        rig->performer->mouseButton(HAND_RIGHT, true);  // gripping when the key comes
        EXPECT_FALSE(rig->performer->mouseGesture(-1, 3));
        EXPECT_FALSE(rig->performer->mouseGesture(static_cast<int>(names.size()), 3));
        ASSERT_TRUE(rig->performer->mouseGesture(circle, 3));
        EXPECT_TRUE(rig->performer->gestureRunning());
        EXPECT_EQ(rig->performer->handShape(HAND_RIGHT), HandShape::OPEN);
        std::vector<Vec3>& path = rig == &quiet ? quietPath : busyPath;
        for (int frame = 0; frame < 300 && rig->performer->gestureRunning(); ++frame) {
            if (rig == &busy) {
                rig->moveMouse(100.0f + 3.0f * static_cast<float>(frame), 900.0f - 2.0f * static_cast<float>(frame));
                rig->performer->mouseButton(frame % 2, frame % 3 == 0);
                rig->performer->mouseWheel(1);
            }
            rig->frame();
            const Vector4& w = rig->sensor->skeleton.joints[JOINT_WRIST_RIGHT];
            path.push_back({w.x, w.y, w.z});
        }
        EXPECT_FALSE(rig->performer->gestureRunning());
    }
    ASSERT_EQ(quietPath.size(), busyPath.size());
    float travel = 0.0f;
    for (size_t i = 0; i < quietPath.size(); ++i) {
        ASSERT_EQ(length(quietPath[i] - busyPath[i]), 0.0f) << "frame " << i;
        travel = std::max(travel, length(quietPath[i] - quietPath.front()));
    }
    EXPECT_GT(travel, 0.3f) << "the circle was performed";

    // The mouse was over the area, so the arm ends held out, hands open, and stays there: no
    // pointer comes up by itself.
    EXPECT_LT(length(busy.performer->wristTarget(HAND_RIGHT) - busy.performer->readyWristPosition(HAND_RIGHT)),
              1e-5f);
    busy.run(1500);
    EXPECT_FALSE(busy.pointer.engaged());
    EXPECT_LT(busy.pose[POSE_RIGHT_REACH], POINTER_REACH_THRESHOLD);
    EXPECT_EQ(busy.performer->handShape(HAND_RIGHT), HandShape::OPEN);
    EXPECT_EQ(busy.performer->handShape(HAND_LEFT), HandShape::OPEN);
    // The mouse then brings the right hand forward again, and the pointer under it.
    busy.moveMouse(400.0f, 300.0f);
    busy.run(1500);
    EXPECT_TRUE(busy.pointer.engaged());
    EXPECT_LT(busy.errorPixels(), 5.0f);
}

// Where a keyed gesture ends follows the mouse until its last fifth: hanging at rest when the
// mouse is off the drawing area (the pose to teach in), held out ready when it is over it, so
// that a gesture picking a tool while painting is not followed by the rest pose, which puts
// the tool away again. After that the ending is kept: the arm must not jump.
TEST(MouseFollow, AKeyedGestureEndsAtRestOrHeldOutAsTheMouseSaysBeforeItsLastFifth) {
    const std::vector<std::string> names = SimulatedPerformer::gestureNames();
    const int wave = static_cast<int>(std::find(names.begin(), names.end(), "wave") - names.begin());
    ASSERT_LT(wave, static_cast<int>(names.size()));
    // The recogniser's rest reference: elbows 155 degrees, upper arms 15 degrees out.
    ArmPose rest{};
    rest[POSE_ELBOW_LEFT] = rest[POSE_ELBOW_RIGHT] = 155.0f;
    rest[POSE_ELEVATION_LEFT] = rest[POSE_ELEVATION_RIGHT] = 15.0f;
    constexpr float REST_NEAR = 20.0f;  // the default pose recognition threshold

    enum class Mouse { AWAY, OVER };
    struct Case {
        const char* what;
        Mouse atPress;
        float changeAtShare;  // share of the gesture's frames after which the mouse changes; < 0: never
        bool endsReady;
    };
    const Case cases[] = {
        {"off the area throughout", Mouse::AWAY, -1.0f, false},
        {"over the area throughout", Mouse::OVER, -1.0f, true},
        {"off at the press, back over it early", Mouse::AWAY, 0.3f, true},
        {"over at the press, off it early", Mouse::OVER, 0.3f, false},
        {"off at the press, back over it in the last fifth", Mouse::AWAY, 0.9f, false},
    };
    // The arms hang at rest when the mouse is away at the press; otherwise the hand is forward
    // under the mouse, and the arms first drop and pause.
    auto prepare = [](FollowRig& rig, Mouse atPress) {
        engage(rig, 650.0f, 500.0f);
        if (atPress == Mouse::AWAY) {
            rig.performer->mouseAway();
            rig.run(1500);
        }
    };
    std::vector<float> largestSteps;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Every performance with this seed, asked for in the same stance, lasts as long: count
        // its frames once, undisturbed.
        int frames = 0;
        {
            FollowRig probe(33);
            prepare(probe, c.atPress);
            ASSERT_TRUE(probe.performer->mouseGesture(wave, 5));
            while (probe.performer->gestureRunning() && frames < 600) {
                probe.frame();
                ++frames;
            }
        }
        ASSERT_GT(frames, 30);
        FollowRig rig(33);
        prepare(rig, c.atPress);
        ASSERT_TRUE(rig.performer->mouseGesture(wave, 5));
        float largestStep = 0.0f;
        Vec3 last = rig.performer->wristTarget(HAND_RIGHT);
        for (int f = 0; f < frames + 5; ++f) {
            if (c.changeAtShare >= 0.0f && f == static_cast<int>(c.changeAtShare * static_cast<float>(frames))) {
                if (c.atPress == Mouse::AWAY) {
                    rig.moveMouse(500.0f, 400.0f);
                } else {
                    rig.performer->mouseAway();
                }
            }
            rig.frame();
            const Vec3 wrist = rig.performer->wristTarget(HAND_RIGHT);
            largestStep = std::max(largestStep, length(wrist - last));
            last = wrist;
            // A hand that was forward has dropped and hangs still before the gesture starts.
            if (c.atPress == Mouse::OVER && f >= 15 && f < 28) {
                EXPECT_LT(length(wrist - restWristPosition(rig.performer->body(), HAND_RIGHT)), 0.01f)
                    << "frame " << f;
            }
        }
        ASSERT_FALSE(rig.performer->gestureRunning());
        largestSteps.push_back(largestStep);
        const Vec3 end = rig.performer->wristTarget(HAND_RIGHT);
        const Vec3 expected = c.endsReady ? rig.performer->readyWristPosition(HAND_RIGHT)
                                          : restWristPosition(rig.performer->body(), HAND_RIGHT);
        EXPECT_LT(length(end - expected), 1e-5f);
        // What the recogniser sees once the smoothing has caught up: rest, or clear of it.
        rig.run(1000);
        const float fromRest = poseDistance(rig.pose, rest, GestureType::BOTH);
        if (c.endsReady) {
            EXPECT_GT(fromRest, REST_NEAR);
        } else {
            EXPECT_LT(fromRest, REST_NEAR);
        }
        EXPECT_FALSE(rig.pointer.engaged()) << "the ready pose is short of a pointer's reach";
    }
    // A mouse that comes back late does not make the arm jump: no frame's step is larger than
    // in the undisturbed performance from the same stance.
    EXPECT_LE(largestSteps[4], largestSteps[0] + 1e-6f);
}

TEST(MouseFollow, ARightButtonDragMovesTheHeldLeftHandAndLeavesTheRightPointer) {
    FollowRig rig(33);
    engage(rig, 650.0f, 500.0f);
    rig.run(500);
    const ScreenPoint before = rig.pointer.screenPosition();
    rig.performer->mouseButton(HAND_LEFT, true);
    rig.run(600);
    ASSERT_GT(rig.pose[POSE_LEFT_REACH], POINTER_REACH_THRESHOLD);
    const float leftX = rig.pose[POSE_LEFT_WRIST_X];
    const float leftY = rig.pose[POSE_LEFT_WRIST_Y];

    // A fifth of the area to the right and a tenth up: 10 cm and 5 cm of the left wrist, which
    // is what the left grip's parameters are read from.
    rig.moveMouse(650.0f + 260.0f, 500.0f + 100.0f);
    rig.run(800);
    EXPECT_NEAR(rig.pose[POSE_LEFT_WRIST_X] - leftX, 0.10f, 0.02f);
    EXPECT_NEAR(rig.pose[POSE_LEFT_WRIST_Y] - leftY, 0.05f, 0.02f);
    const ScreenPoint during = rig.pointer.screenPosition();
    // The body turns a little with the moving arm, which moves the right pointer a few pixels.
    EXPECT_LT(std::hypot(during.x - before.x, during.y - before.y), 30.0f) << "the right pointer waits";

    // Let go: the left hand goes back to rest and the right pointer follows the mouse again.
    rig.performer->mouseButton(HAND_LEFT, false);
    rig.run(1500);
    EXPECT_LT(rig.pose[POSE_LEFT_REACH], POINTER_REACH_THRESHOLD);
    EXPECT_LT(rig.errorPixels(), 8.0f);
}

TEST_P(MouseFollow, LongSlowDragsEndUnderTheMouseEvenPastTheArmsLimit) {
    // 80 pixels a second along the window and back: the slow pointer needs twice the wrist
    // travel, so the arm runs out of reach on the way. Once the mouse rests, the pointer must
    // get to it within some seconds (by dropping the hand and engaging again if it must).
    FollowRig rig(GetParam());
    engage(rig, 200.0f, 300.0f);
    const float path[][2] = {{200.0f, 300.0f}, {1000.0f, 300.0f}, {1000.0f, 900.0f}, {200.0f, 800.0f}};
    for (int leg = 1; leg < 4; ++leg) {
        const float x0 = path[leg - 1][0], y0 = path[leg - 1][1], x1 = path[leg][0], y1 = path[leg][1];
        const float length = std::hypot(x1 - x0, y1 - y0);
        const uint32_t ms = static_cast<uint32_t>(length / 80.0f * 1000.0f);
        for (uint32_t t = 0; t <= ms; t += rig.stepMs) {
            float s = static_cast<float>(t) / static_cast<float>(ms);
            rig.moveMouse(x0 + (x1 - x0) * s, y0 + (y1 - y0) * s);
            rig.frame();
        }
        rig.moveMouse(x1, y1);
        rig.run(8000);
        EXPECT_LT(rig.errorPixels(), 10.0f) << "after leg " << leg;
    }
}

TEST_P(MouseFollow, ThePointerAimsWhereTheHandClosedOrOpenedForAMoment) {
    // The hand detector needs a few frames to see a grip change: a stroke must start where the
    // button went down and end where it came up, even when the mouse moves on at once.
    FollowRig rig(GetParam());
    engage(rig, 400.0f, 500.0f);
    for (bool down : {true, false}) {
        const ScreenPoint before = rig.pointer.screenPosition();
        rig.performer->mouseButton(HAND_RIGHT, down);
        rig.moveMouse(rig.mouseX + 200.0f, rig.mouseY);
        rig.run(200);
        const ScreenPoint held = rig.pointer.screenPosition();
        EXPECT_LT(std::hypot(held.x - before.x, held.y - before.y), 6.0f) << (down ? "closing" : "opening");
        rig.run(1500);
        EXPECT_LT(rig.errorPixels(), 8.0f) << "and then it follows again";
    }
}

TEST_P(MouseFollow, AFastStrokeEndsWhereTheButtonCameUp) {
    // The pointer trails a fast drag; when the button comes up it still goes on to that spot
    // before it turns toward the mouse's next place.
    FollowRig rig(GetParam());
    engage(rig, 300.0f, 500.0f);
    rig.performer->mouseButton(HAND_RIGHT, true);
    for (uint32_t t = 0; t <= 500; t += rig.stepMs) {
        rig.moveMouse(300.0f + 500.0f * static_cast<float>(t) / 500.0f, 500.0f);
        rig.frame();
    }
    rig.performer->mouseButton(HAND_RIGHT, false);
    rig.moveMouse(800.0f, 850.0f);
    float closest = 1e9f;
    for (uint32_t t = 0; t < 250; t += rig.stepMs) {
        rig.frame();
        ScreenPoint p = rig.pointer.screenPosition();
        closest = std::min(closest, std::hypot(p.x - 800.0f, p.y - 500.0f));
    }
    EXPECT_LT(closest, 25.0f) << "the pointer reached the release point";
}
