// Manipulator2D: the hands' midpoint, direction and distance keep their relation to the paint.
#include <gtest/gtest.h>

#include <cmath>

#include "paint_rig.h"

namespace {

CanvasPoint toWindow(const Matrix4& m, float x, float y) {
    return CanvasPoint{m[0] * x + m[4] * y + m[12], m[1] * x + m[5] * y + m[13]};
}

class ManipulatorTest : public ::testing::Test {
protected:
    // One frame: both pointers placed, then the grip call for the given hands.
    void frame(ScreenPoint l, ScreenPoint r, bool both) {
        rig.place(rig.left, l.x, l.y);
        rig.place(rig.right, r.x, r.y);
        if (both) {
            rig.manipulator.onBothGrip(ArmPose{});
        } else {
            rig.manipulator.onRightGrip(ArmPose{});
        }
    }

    void expectMaps(float cx, float cy, float wx, float wy) {
        const CanvasPoint w = toWindow(rig.manipulator.view, cx, cy);
        EXPECT_NEAR(w.x, wx, 0.05f) << "canvas (" << cx << ", " << cy << ")";
        EXPECT_NEAR(w.y, wy, 0.05f) << "canvas (" << cx << ", " << cy << ")";
    }

    PaintRig rig;
};

}  // namespace

TEST(PointerAngle, CoversAllFourQuadrants) {
    const float pi = 3.14159f;
    EXPECT_NEAR(pointerAngle({0, 0}, {1, 1}), pi / 4, 1e-5f);
    EXPECT_NEAR(pointerAngle({0, 0}, {1, -1}), -pi / 4, 1e-5f);
    EXPECT_NEAR(pointerAngle({0, 0}, {-1, 1}), 3 * pi / 4, 1e-5f);
    EXPECT_NEAR(pointerAngle({0, 0}, {-1, -1}), 5 * pi / 4, 1e-5f);
    EXPECT_NEAR(pointerAngle({0, 0}, {1, 0}), 0.0f, 1e-6f);
    EXPECT_NEAR(pointerAngle({0, 0}, {-1, 0}), pi, 1e-6f);
}

TEST_F(ManipulatorTest, MovingApartDoublesAboutTheMidpoint) {
    frame({400, 500}, {600, 500}, false);
    frame({300, 500}, {700, 500}, true);
    EXPECT_NEAR(rig.manipulator.scale, 2.0f, 1e-4f);
    expectMaps(500, 500, 500, 500);
    expectMaps(600, 500, 700, 500);
    expectMaps(500, 550, 500, 600);
}

TEST_F(ManipulatorTest, TurningTheHandsTurnsThePaint) {
    frame({400, 500}, {600, 500}, false);
    frame({500, 400}, {500, 600}, true);  // a quarter turn counter-clockwise
    EXPECT_NEAR(rig.manipulator.rotation, 3.14159265f / 2, 1e-4f);
    expectMaps(500, 500, 500, 500);
    expectMaps(600, 500, 500, 600);
}

TEST_F(ManipulatorTest, MovingBothHandsTogetherPans) {
    frame({400, 500}, {600, 500}, false);
    frame({450, 470}, {650, 470}, true);
    expectMaps(0, 0, 50, -30);
    expectMaps(500, 500, 550, 470);
}

TEST_F(ManipulatorTest, ReleasingAndGrippingAgainContinuesWithoutAJump) {
    frame({400, 500}, {600, 500}, false);
    frame({300, 500}, {700, 500}, true);
    const Matrix4 reached = rig.manipulator.view;
    frame({300, 500}, {700, 500}, false);  // one hand opens: new reference
    frame({300, 500}, {700, 500}, true);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(rig.manipulator.view[i], reached[i], 1e-4f) << i;
    }
    frame({200, 500}, {800, 500}, true);  // 400 -> 600 px: another factor 1.5
    expectMaps(600, 500, 800, 500);
}

TEST_F(ManipulatorTest, HandsOnOnePixelKeepThePreviousView) {
    frame({400, 500}, {600, 500}, false);
    frame({300, 500}, {700, 500}, true);
    const Matrix4 reached = rig.manipulator.view;
    frame({500, 500}, {500, 500}, false);  // reference with zero distance
    frame({300, 500}, {700, 500}, true);
    frame({500, 500}, {500, 500}, true);   // and back onto one pixel: no zero scale either
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(std::isfinite(rig.manipulator.view[i]));
        EXPECT_FLOAT_EQ(rig.manipulator.view[i], reached[i]) << i;
    }
}

TEST_F(ManipulatorTest, AGestureBegunWithTheHandsOnOnePixelStartsOnceTheyPart) {
    frame({500, 500}, {500, 500}, false);  // both pointers clamped onto one pixel, say
    frame({400, 500}, {600, 500}, true);   // apart: the gesture starts here, nothing moves yet
    expectMaps(600, 500, 600, 500);
    frame({300, 500}, {700, 500}, true);   // twice as far apart as where it started
    EXPECT_NEAR(rig.manipulator.scale, 2.0f, 1e-4f);
    expectMaps(500, 500, 500, 500);
    expectMaps(600, 500, 700, 500);
}

TEST_F(ManipulatorTest, ZoomStopsWhereThePaintWouldNoLongerLandUnderThePointer) {
    // The hands spread from 2 px to 1000 px in small steps, several times over: without a limit
    // that zooms in 500 times per spread. Canvas points are floats, so far in, a point painted
    // at the pointer would be drawn pixels (a million times in, tens of pixels) away from it.
    const ScreenPoint probes[] = {{321, 654}, {500, 500}, {0, 0}, {999, 999}};
    for (int spread = 0; spread < 4; ++spread) {
        frame({499, 500}, {501, 500}, false);
        for (float half = 1.0f; half <= 500.0f; half *= 1.1f) {
            frame({500 - half, 500}, {500 + half, 500}, true);
            for (const ScreenPoint& p : probes) {
                const CanvasPoint c = windowToCanvas(rig.manipulator.view, p.x, p.y);
                const CanvasPoint back = toWindow(rig.manipulator.view, c.x, c.y);
                ASSERT_LE(std::hypot(back.x - p.x, back.y - p.y), 1.0f)
                    << "spread " << spread << ", zoom " << rig.manipulator.view[0] << ", pixel (" << p.x
                    << ", " << p.y << ")";
            }
        }
    }
    EXPECT_GT(rig.manipulator.view[0], 2000.0f);  // it did zoom far in, up to the limit
    EXPECT_LT(rig.manipulator.view[0], 1e6f);
    // At the limit the canvas still pans, and still does once a larger window has put the view
    // a little past the limit.
    for (uint32_t size : {1000u, 3000u}) {
        rig.window.width = rig.window.height = size;
        const Matrix4 before = rig.manipulator.view;
        frame({400, 500}, {600, 500}, false);
        frame({450, 520}, {650, 520}, true);
        EXPECT_NEAR(rig.manipulator.view[12], before[12] + 50.0f, 1e-6f * std::fabs(before[12]) + 0.01f) << size;
        EXPECT_NEAR(rig.manipulator.view[13], before[13] + 20.0f, 1e-6f * std::fabs(before[13]) + 0.01f) << size;
        EXPECT_FLOAT_EQ(rig.manipulator.view[0], before[0]) << size;
    }
    rig.window.width = rig.window.height = 1000;
    // Zooming back out works from there.
    const float reached = rig.manipulator.view[0];
    frame({0, 500}, {1000, 500}, false);
    frame({499, 500}, {501, 500}, true);
    EXPECT_NEAR(rig.manipulator.view[0], reached / 500.0f, reached * 1e-5f);
}
