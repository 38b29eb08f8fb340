// The colour picker: the hexcone conversion and how wrist motion moves hue, saturation and value.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/tools/colorpicker.h"

namespace {

ArmPose rightWrist(float x, float y) {
    ArmPose pose{};
    pose[POSE_RIGHT_WRIST_X] = x;
    pose[POSE_RIGHT_WRIST_Y] = y;
    return pose;
}

class ColorpickerTest : public ::testing::Test {
protected:
    WindowInfo window;
    Rgb color = INITIAL_COLOR;
    Colorpicker picker{color, window};
};

}  // namespace

TEST(HexconeColor, PrimariesSectorsAndOutOfRangeHue) {
    const struct {
        float hue;
        Rgb expected;
    } cases[] = {
        {0.0f, {{1.0f, 0.0f, 0.0f}}},   {120.0f, {{0.0f, 1.0f, 0.0f}}},
        {240.0f, {{0.0f, 0.0f, 1.0f}}}, {300.0f, {{1.0f, 0.0f, 1.0f}}},
        {360.0f, {{1.0f, 0.0f, 0.0f}}},  // sector 6 is red again
        {30.0f, {{1.0f, 0.5f, 0.0f}}},
        // Sector 7 and beyond is black.
        {421.0f, {{0.0f, 0.0f, 0.0f}}},
        // Just below 0 the integer part is still 0: f = -10 / 60, t = 1 - (1 - f) = f.
        {-10.0f, {{1.0f, -1.0f / 6.0f, 0.0f}}},
        {-61.0f, {{0.0f, 0.0f, 0.0f}}},
    };
    for (const auto& c : cases) {
        const Rgb rgb = hexconeColor(c.hue, 1.0f, 1.0f);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(rgb[i], c.expected[i], 2e-4f) << "hue " << c.hue << " component " << i;
        }
    }
    // Zero saturation is grey at the value.
    const Rgb grey = hexconeColor(77.0f, 0.0f, 0.4f);
    EXPECT_FLOAT_EQ(grey[0], 0.4f);
    EXPECT_FLOAT_EQ(grey[1], 0.4f);
    EXPECT_FLOAT_EQ(grey[2], 0.4f);
}

TEST_F(ColorpickerTest, SelectingItSetsTheColourOfItsInitialHue) {
    picker.onNoGrip(ArmPose{});
    // Hue 200, saturation 1, value 0.8 lie in sector 3 (p, q, v) with f = 0.33327:
    // q = 0.8 * (1 - f) = 0.53338.
    EXPECT_NEAR(color[0], 0.0f, 1e-6f);
    EXPECT_NEAR(color[1], 0.53338f, 2e-5f);
    EXPECT_NEAR(color[2], 0.8f, 1e-6f);
}

TEST_F(ColorpickerTest, SidewaysMotionTurnsTheHueBySignedSquare) {
    picker.onRightGrip(rightWrist(0.01f, 0.002f));  // 1 cm right, less vertically
    EXPECT_NEAR(picker.hue, 204.0f, 1e-3f);
    EXPECT_FLOAT_EQ(picker.saturation, 1.0f);
    picker.onRightGrip(rightWrist(0.06f, 0.002f));  // 5 cm more
    EXPECT_NEAR(picker.hue, 304.0f, 1e-2f);
    picker.onRightGrip(rightWrist(0.05f, 0.002f));  // 1 cm left
    EXPECT_NEAR(picker.hue, 300.0f, 1e-2f);
    // The colour follows the new hue.
    const Rgb expected = hexconeColor(300.0f, 1.0f, 0.8f);
    EXPECT_NEAR(color[0], expected[0], 1e-3f);
    EXPECT_NEAR(color[2], expected[2], 1e-3f);
}

TEST_F(ColorpickerTest, HueWrapsIntoTheCircle) {
    const float step = std::sqrt(20.0f) / 200.0f;  // turns by 20 degrees
    picker.hue = 350.0f;
    picker.onRightGrip(rightWrist(step, 0.0f));
    EXPECT_NEAR(picker.hue, 10.0f, 1e-3f);
    picker.hue = 5.0f;
    picker.onRightGrip(rightWrist(0.0f, 0.0f));  // back by the same step: -20 degrees
    EXPECT_NEAR(picker.hue, 345.0f, 1e-3f);
    // A very fast sweep of many turns still lands inside.
    picker.onRightGrip(rightWrist(1.0f, 0.0f));
    EXPECT_GE(picker.hue, 0.0f);
    EXPECT_LE(picker.hue, 360.0f);

    // Just below 0: adding 360 once rounds to 360 exactly, and the hue stays there.
    picker.onRightGrip(rightWrist(0.0f, 0.0f));
    picker.hue = 1e-5f;
    picker.onRightGrip(rightWrist(-2.236e-5f, 0.0f));
    EXPECT_EQ(picker.hue, 360.0f);
}

TEST_F(ColorpickerTest, VerticalMotionChangesSaturationAndValueWithinLimits) {
    picker.onRightGrip(rightWrist(0.01f, -0.1f));  // mostly down: saturation, not hue
    EXPECT_NEAR(picker.saturation, 0.8f, 1e-5f);
    EXPECT_FLOAT_EQ(picker.hue, 200.0f);
    picker.onRightGrip(rightWrist(0.01f, -2.0f));
    EXPECT_FLOAT_EQ(picker.saturation, -1.0f);
    picker.onRightGrip(rightWrist(0.01f, 1.0f));  // up by 3 m: stops at 1
    EXPECT_FLOAT_EQ(picker.saturation, 1.0f);
    EXPECT_FLOAT_EQ(picker.hue, 200.0f);

    ArmPose left{};
    left[POSE_LEFT_WRIST_Y] = 0.05f;
    picker.onLeftGrip(left);
    EXPECT_NEAR(picker.value, 0.9f, 1e-5f);
    left[POSE_LEFT_WRIST_Y] = 3.0f;
    picker.onLeftGrip(left);
    EXPECT_FLOAT_EQ(picker.value, 1.0f);
    left[POSE_LEFT_WRIST_Y] = -3.0f;
    picker.onLeftGrip(left);
    EXPECT_FLOAT_EQ(picker.value, -1.0f);
    // Value at or below 0 paints black once OpenGL limits the components.
    for (float c : color) {
        EXPECT_LE(c, 0.0f);
    }
}

TEST_F(ColorpickerTest, BothHandsChangeBothAndRepeatedPoseMovesNothing) {
    ArmPose pose = rightWrist(0.01f, 0.0f);
    pose[POSE_LEFT_WRIST_Y] = -0.1f;
    picker.onBothGrip(pose);
    EXPECT_NEAR(picker.hue, 204.0f, 1e-3f);
    EXPECT_NEAR(picker.value, 0.6f, 1e-5f);
    picker.onBothGrip(pose);  // the pose was kept: no motion since
    EXPECT_NEAR(picker.hue, 204.0f, 1e-3f);
    EXPECT_NEAR(picker.value, 0.6f, 1e-5f);
}

TEST_F(ColorpickerTest, ANonFinitePoseKeepsTheColourAndTheNextOneMovesItAgain) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ArmPose bad = rightWrist(0.0f, nan);
    bad[POSE_LEFT_WRIST_Y] = nan;
    picker.onBothGrip(bad);
    picker.onBothGrip(rightWrist(0.0f, -0.1f));  // measured from the corrupt pose: kept too
    EXPECT_FLOAT_EQ(picker.saturation, 1.0f);
    EXPECT_FLOAT_EQ(picker.value, 0.8f);
    EXPECT_FLOAT_EQ(picker.hue, 200.0f);
    for (float c : color) EXPECT_TRUE(std::isfinite(c));
    ArmPose moved = rightWrist(0.0f, -0.2f);
    moved[POSE_LEFT_WRIST_Y] = 0.05f;
    picker.onBothGrip(moved);
    EXPECT_NEAR(picker.saturation, 0.8f, 1e-5f);
    EXPECT_NEAR(picker.value, 0.9f, 1e-5f);
}
