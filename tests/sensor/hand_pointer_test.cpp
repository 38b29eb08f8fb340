#include "common/sensor/hand_pointer.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "hand_scenes.h"

namespace {

TEST(HandPointer, EachHandReadsOnlyItsOwnPoseValues) {
    Pose pose{};
    pose[12] = -0.1f; pose[13] = 0.2f; pose[14] = 0.0f;   // left: not reaching
    pose[15] = 0.3f;  pose[16] = 0.1f; pose[17] = 0.5f;   // right: reaching
    HandPointer left(0, nullptr);
    HandPointer right(1, nullptr);
    left.update(pose, 1000);
    right.update(pose, 1000);
    EXPECT_FLOAT_EQ(left.lastX, 0.4f * -0.1f);
    EXPECT_FLOAT_EQ(left.lastY, 0.4f * 0.2f);
    EXPECT_EQ(left.state, POINTER_IDLE);
    EXPECT_FLOAT_EQ(right.lastX, 0.4f * 0.3f);
    EXPECT_FLOAT_EQ(right.lastY, 0.4f * 0.1f);
    EXPECT_EQ(right.state, POINTER_ARMING);
}

TEST(HandPointer, FilterWeighsTheNewTargetByExactlyPointFour) {
    // 1 - 0.6f is 0.39999998f, one float step below 0.4f: the filtered values must use 0.4f.
    HandPointer pointer(1, nullptr);
    const float targets[][2] = {{1.0f, 0.3f}, {0.7f, -0.2f}, {0.123f, 0.456f}, {-0.05f, 0.2f}};
    float lastX = 0.0f, lastY = 0.0f;
    for (const auto& t : targets) {
        pointer.update(handPose(1, t[0], t[1], 0.0f), 0);
        const float wantX = lastX * 0.6f + t[0] * 0.4f;
        const float wantY = lastY * 0.6f + t[1] * 0.4f;
        EXPECT_EQ(pointer.lastX, wantX);
        EXPECT_EQ(pointer.lastY, wantY);
        lastX = wantX;
        lastY = wantY;
    }
}

TEST(HandPointer, GainIsClampedBetweenHalfAndFour) {
    // Slow: filtered movement 0.004 gives raw gain 0.16, raised to 0.5.
    HandPointer slow(1, nullptr);
    slow.x = 0.25f;
    slow.y = 0.15f;
    slow.update(handPose(1, 0.01f, -0.01f, 0.0f), 0);
    EXPECT_NEAR(slow.x, 0.25f + 0.5f * 0.004f, 1e-6);
    EXPECT_NEAR(slow.y, 0.15f - 0.5f * 0.004f, 1e-6);

    // Middle: filtered movement 0.05 gives gain 2 unchanged.
    HandPointer middle(1, nullptr);
    middle.update(handPose(1, 0.125f, 0.0f, 0.0f), 0);
    EXPECT_NEAR(middle.x, 2.0f * 0.05f, 1e-5);

    // Fast: 0.1 per frame after filtering gives gain 4: the pointer moves 0.4.
    HandPointer fast(1, nullptr);
    fast.update(handPose(1, 0.25f, 0.0f, 0.0f), 0);
    EXPECT_NEAR(fast.x, 0.4f, 1e-5);
    HandPointer faster(1, nullptr);
    faster.update(handPose(1, 0.5f, 0.0f, 0.0f), 0);   // raw gain 8
    EXPECT_FLOAT_EQ(faster.x, 0.5f);   // moved 0.8, held at the box's edge
    EXPECT_NEAR(faster.lastX, 0.2f, 1e-6);
}

TEST(HandPointer, EngagesOnlyAfterMoreThanTheArmDelay) {
    HandPointer p(1, nullptr);
    p.update(handPose(1, 0.0f, 0.0f, 0.3f), 1000);
    EXPECT_EQ(p.state, POINTER_ARMING);
    EXPECT_EQ(p.armStart, 1000);
    p.update(handPose(1, 0.0f, 0.0f, 0.3f), 1500);   // exactly 500 ms: not yet
    EXPECT_EQ(p.state, POINTER_ARMING);
    EXPECT_FALSE(p.engaged());
    p.update(handPose(1, 0.0f, 0.0f, 0.3f), 1501);
    EXPECT_EQ(p.state, POINTER_ENGAGED);
    EXPECT_TRUE(p.engaged());
    p.update(handPose(1, 0.0f, 0.0f, 0.19f), 1600);
    EXPECT_EQ(p.state, POINTER_IDLE);
}

TEST(HandPointer, ReachDroppingWhileArmingReturnsToIdle) {
    HandPointer p(0, nullptr);
    p.update(handPose(0, 0.0f, 0.0f, 0.25f), 100);
    p.update(handPose(0, 0.0f, 0.0f, 0.1f), 400);
    EXPECT_EQ(p.state, POINTER_IDLE);
    // Arming starts over at the next reach.
    p.update(handPose(0, 0.0f, 0.0f, 0.25f), 700);
    EXPECT_EQ(p.armStart, 700);
    p.update(handPose(0, 0.0f, 0.0f, 0.25f), 1100);
    EXPECT_EQ(p.state, POINTER_ARMING);
}

TEST(HandPointer, ReachOfExactlyTheThresholdChangesNothing) {
    const float edge = 0.2f;
    HandPointer idle(1, nullptr);
    idle.update(handPose(1, 0.0f, 0.0f, edge), 0);
    EXPECT_EQ(idle.state, POINTER_IDLE);

    HandPointer arming(1, nullptr);
    arming.update(handPose(1, 0.0f, 0.0f, 0.3f), 0);
    arming.update(handPose(1, 0.0f, 0.0f, edge), 100);
    EXPECT_EQ(arming.state, POINTER_ARMING);
    EXPECT_EQ(arming.armStart, 0);

    HandPointer engaged(1, nullptr);
    engaged.update(handPose(1, 0.0f, 0.0f, 0.3f), 0);
    engaged.update(handPose(1, 0.0f, 0.0f, 0.3f), 600);
    ASSERT_EQ(engaged.state, POINTER_ENGAGED);
    engaged.update(handPose(1, 0.0f, 0.0f, edge), 700);
    EXPECT_EQ(engaged.state, POINTER_ENGAGED);
}

TEST(HandPointer, EngagingJumpsToTheFilteredTargetUnclamped) {
    HandPointer p(1, nullptr);
    // The wrist is left of the right pointer's box: x clamps to 0 while arming.
    p.update(handPose(1, -0.2f, 0.1f, 0.3f), 0);
    EXPECT_FLOAT_EQ(p.x, 0.0f);
    p.update(handPose(1, -0.2f, 0.1f, 0.3f), 501);
    ASSERT_EQ(p.state, POINTER_ENGAGED);
    EXPECT_FLOAT_EQ(p.x, p.lastX);
    EXPECT_FLOAT_EQ(p.y, p.lastY);
    EXPECT_LT(p.x, p.xMin);   // outside the box in the engaging frame
    p.update(handPose(1, -0.2f, 0.1f, 0.3f), 534);
    EXPECT_FLOAT_EQ(p.x, p.xMin);   // clamped again from the next frame
}

TEST(HandPointer, ArmingSurvivesTheClockWrappingAndTheClockSetBack) {
    HandPointer p(1, nullptr);
    const uint32_t start = 0xFFFFFF00u;
    p.update(handPose(1, 0.0f, 0.0f, 0.3f), start);
    p.update(handPose(1, 0.0f, 0.0f, 0.3f), start + 300u);   // wrapped past zero, 300 ms held
    EXPECT_EQ(p.state, POINTER_ARMING);
    p.update(handPose(1, 0.0f, 0.0f, 0.3f), start + 501u);
    EXPECT_EQ(p.state, POINTER_ENGAGED);

    // A time before the arming began is no time held, not some 49 days.
    HandPointer back(1, nullptr);
    back.update(handPose(1, 0.0f, 0.0f, 0.3f), 100000);
    back.update(handPose(1, 0.0f, 0.0f, 0.3f), 99000);
    EXPECT_EQ(back.state, POINTER_ARMING);
    back.update(handPose(1, 0.0f, 0.0f, 0.3f), 100400);
    EXPECT_EQ(back.state, POINTER_ARMING);
    back.update(handPose(1, 0.0f, 0.0f, 0.3f), 100501);
    EXPECT_EQ(back.state, POINTER_ENGAGED);
}

TEST(HandPointer, ScreenPositionMapsTheBoxOntoTheWindow) {
    WindowInfo window;
    window.width = 800;
    window.height = 600;
    HandPointer left(0, &window);
    left.x = left.xMax;
    left.y = left.yMax;
    EXPECT_FLOAT_EQ(left.screenPosition().x, 799.0f);   // W - 1, not W
    EXPECT_FLOAT_EQ(left.screenPosition().y, 599.0f);
    left.x = -0.25f;
    left.y = 0.15f;
    EXPECT_FLOAT_EQ(left.screenPosition().x, 400.0f);
    EXPECT_FLOAT_EQ(left.screenPosition().y, 300.0f);
    left.x = -0.9f;   // outside the box (the engaging frame): clamped to the window
    left.y = -0.5f;
    EXPECT_FLOAT_EQ(left.screenPosition().x, 0.0f);
    EXPECT_FLOAT_EQ(left.screenPosition().y, 0.0f);

    HandPointer right(1, &window);
    right.x = 0.125f;
    right.y = -0.1f;
    EXPECT_FLOAT_EQ(right.screenPosition().x, 200.0f);
    EXPECT_FLOAT_EQ(right.screenPosition().y, 0.0f);

    // The reshape callback rewrites the shared record; the pointer follows.
    window.width = 100;
    EXPECT_FLOAT_EQ(right.screenPosition().x, 25.0f);
}

TEST(HandPointer, ScreenPositionWithoutUsableWindowIsOrigin) {
    HandPointer none(0, nullptr);
    none.x = -0.1f;
    EXPECT_FLOAT_EQ(none.screenPosition().x, 0.0f);
    WindowInfo empty;
    empty.width = 0;
    empty.height = 0;
    HandPointer p(0, &empty);
    p.x = 0.0f;
    EXPECT_FLOAT_EQ(p.screenPosition().x, 0.0f);
    EXPECT_FLOAT_EQ(p.screenPosition().y, 0.0f);
}

}  // namespace
