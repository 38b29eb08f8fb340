// Camera matrices and the orbit tool's rotate, zoom and pan, without GL.
#include <gtest/gtest.h>

#include <cmath>

#include "terrain/camera.h"
#include "terrain/orbit_manipulator.h"

namespace {

struct Point {
    float x, y, z;
};

Point transform(const Mat4& m, Point p) {
    return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12],
            m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
            m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

Point eye(const Camera& camera) { return {camera.pose[12], camera.pose[13], camera.pose[14]}; }

TEST(Camera, ProjectionTakesTheTangentOfTheHalfAngleInRadians) {
    WindowInfo window;  // 1600 x 1000
    Camera camera(&window);
    const float f = 1.0f / std::tan(22.5f);
    EXPECT_NEAR(f, 1.7925910f, 1e-6f);
    const Mat4& p = camera.projection;
    EXPECT_FLOAT_EQ(p[0], f);
    EXPECT_FLOAT_EQ(p[5], f * 1.6f);
    EXPECT_FLOAT_EQ(p[10], -(1000.0f + 0.1f) / (1000.0f - 0.1f));
    EXPECT_FLOAT_EQ(p[11], -1.0f);
    EXPECT_FLOAT_EQ(p[14], -2.0f * 0.1f * 1000.0f / (1000.0f - 0.1f));
    for (int k : {1, 2, 3, 4, 6, 7, 8, 9, 12, 13, 15}) EXPECT_EQ(p[k], 0.0f) << "element " << k;

    // A wider window keeps the horizontal scale and raises the vertical one.
    window.width = 2000;
    camera.update();
    EXPECT_FLOAT_EQ(camera.projection[0], f);
    EXPECT_FLOAT_EQ(camera.projection[5], f * 2.0f);

    // A minimised window (height 0) must not put an infinity into the matrix.
    window.height = 0;
    window.aspect = 1.6f;
    camera.update();
    EXPECT_TRUE(std::isfinite(camera.projection[5]));
}

TEST(Camera, ViewIsTheRigidInverseOfThePose) {
    Camera camera;
    const float c = std::cos(0.3f), s = std::sin(0.3f);
    camera.pose = {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 5, 6, 7, 1};
    camera.update();
    const Point back = transform(camera.view, transform(camera.pose, {1.0f, -2.0f, 3.0f}));
    EXPECT_NEAR(back.x, 1.0f, 1e-5f);
    EXPECT_NEAR(back.y, -2.0f, 1e-5f);
    EXPECT_NEAR(back.z, 3.0f, 1e-5f);
}

class Orbit : public ::testing::Test {
protected:
    WindowInfo window;
    Camera camera{&window};
    OrbitManipulator orbit{camera};
    ArmPose pose{};
};

TEST_F(Orbit, StartsAboveTheTerrainLookingAtItsMiddle) {
    const Point at = eye(camera);
    EXPECT_NEAR(at.x, -19.7f, 0.05f);
    EXPECT_NEAR(at.y, 229.8f, 0.05f);
    EXPECT_NEAR(at.z, 252.0f, 0.05f);
    const Point centre = transform(camera.view, {128.0f, 0.0f, 128.0f});
    EXPECT_NEAR(centre.x, 0.0f, 1e-3f);
    EXPECT_NEAR(centre.y, 0.0f, 1e-3f);
    EXPECT_NEAR(centre.z, -300.0f, 1e-3f);
}

TEST_F(Orbit, ZeroAnglesLookAlongMinusZ) {
    orbit.azimuth = 0.0f;
    orbit.elevation = 0.0f;
    orbit.updateCamera();
    const Point at = eye(camera);
    EXPECT_NEAR(at.x, 128.0f, 1e-4f);
    EXPECT_NEAR(at.y, 0.0f, 1e-4f);
    EXPECT_NEAR(at.z, 428.0f, 1e-4f);
    EXPECT_NEAR(camera.pose[10], 1.0f, 1e-6f);  // camera +z is world +z: it looks along -z

    orbit.elevation = 90.0f;
    orbit.updateCamera();
    EXPECT_NEAR(camera.pose[9], 1.0f, 1e-6f);   // camera +z points up: it looks straight down
    EXPECT_NEAR(eye(camera).y, 300.0f, 1e-3f);
}

TEST_F(Orbit, RightHandTurnsTheView) {
    pose[POSE_RIGHT_WRIST_X] = 0.1f;
    pose[POSE_RIGHT_WRIST_Y] = 0.2f;
    orbit.onNoGrip(pose);
    pose[POSE_RIGHT_WRIST_X] = 0.2f;  // 0.1 m to the right
    pose[POSE_RIGHT_WRIST_Y] = 0.3f;  // 0.1 m up
    orbit.onRightGrip(pose);
    EXPECT_NEAR(orbit.azimuth, 60.0f, 1e-4f);
    EXPECT_NEAR(orbit.elevation, 40.0f, 1e-4f);
    // Moving the right hand while only the left grips does nothing to the angles.
    pose[POSE_RIGHT_WRIST_X] = 0.4f;
    orbit.onLeftGrip(pose);
    EXPECT_NEAR(orbit.azimuth, 60.0f, 1e-4f);
    // ... but the pose is remembered, so the next turn measures from there.
    pose[POSE_RIGHT_WRIST_X] = 0.45f;
    orbit.onRightGrip(pose);
    EXPECT_NEAR(orbit.azimuth, 65.0f, 1e-3f);
}

TEST_F(Orbit, BothHandsHeldStillChangeNothing) {
    pose[POSE_WRIST_DISTANCE] = 0.4f;
    pose[POSE_LEFT_WRIST_X] = -0.2f;
    pose[POSE_RIGHT_WRIST_X] = 0.2f;
    pose[POSE_RIGHT_WRIST_Y] = 0.1f;
    orbit.onNoGrip(pose);
    const Mat4 before = camera.pose;
    orbit.onBothGrip(pose);
    orbit.onBothGrip(pose);
    EXPECT_EQ(orbit.distance, 300.0f);
    EXPECT_EQ(orbit.azimuth, 50.0f);
    EXPECT_EQ(orbit.elevation, 50.0f);
    EXPECT_EQ(orbit.centre[0], 128.0f);
    EXPECT_EQ(orbit.centre[1], 0.0f);
    EXPECT_EQ(orbit.centre[2], 128.0f);
    EXPECT_EQ(camera.pose, before);
}

TEST_F(Orbit, WristsApartZoomInProportionally) {
    pose[POSE_WRIST_DISTANCE] = 0.3f;
    orbit.onNoGrip(pose);
    pose[POSE_WRIST_DISTANCE] = 0.4f;
    orbit.onBothGrip(pose);
    EXPECT_NEAR(orbit.distance, 270.0f, 1e-3f);
    pose[POSE_WRIST_DISTANCE] = 0.3f;  // together again: 10 % farther
    orbit.onBothGrip(pose);
    EXPECT_NEAR(orbit.distance, 297.0f, 1e-3f);
}

TEST_F(Orbit, AZoomStepThroughTheCentreIsIgnoredAndSmallDistancesAreKept) {
    orbit.azimuth = 0.0f;
    orbit.elevation = 0.0f;
    pose[POSE_WRIST_DISTANCE] = 0.1f;
    orbit.onNoGrip(pose);
    pose[POSE_WRIST_DISTANCE] = 1.6f;  // a metre and a half apart within one frame
    orbit.onBothGrip(pose);
    EXPECT_EQ(orbit.distance, 300.0f);
    // Still in front of the centre on the same side, not flipped through it.
    EXPECT_NEAR(eye(camera).z - orbit.centre[2], 300.0f, 1e-3f);
    pose[POSE_WRIST_DISTANCE] = 0.5f;
    orbit.onNoGrip(pose);
    pose[POSE_WRIST_DISTANCE] = 1.5f;  // exactly a distance of 0: ignored too
    orbit.onBothGrip(pose);
    EXPECT_EQ(orbit.distance, 300.0f);

    // Below 1 is an ordinary distance: 1.5 with the wrists 0.5 m further apart halves it.
    orbit.distance = 1.5f;
    pose[POSE_WRIST_DISTANCE] = 0.0f;
    orbit.onNoGrip(pose);
    pose[POSE_WRIST_DISTANCE] = 0.5f;
    orbit.onBothGrip(pose);
    EXPECT_EQ(orbit.distance, 0.75f);
    EXPECT_NEAR(eye(camera).z - orbit.centre[2], 0.75f, 1e-5f);
    // And it zooms out again from there.
    pose[POSE_WRIST_DISTANCE] = -0.5f;
    orbit.onBothGrip(pose);
    EXPECT_EQ(orbit.distance, 1.5f);
}

TEST_F(Orbit, BothHandsRightMoveTheCentreLeftOfTheCamera) {
    orbit.azimuth = 0.0f;
    orbit.elevation = 0.0f;
    orbit.updateCamera();
    pose[POSE_LEFT_WRIST_X] = -0.2f;
    pose[POSE_RIGHT_WRIST_X] = 0.2f;
    orbit.onNoGrip(pose);
    pose[POSE_LEFT_WRIST_X] = -0.19f;  // the midpoint moves 0.01 m right, 0.01 m up
    pose[POSE_RIGHT_WRIST_X] = 0.21f;
    pose[POSE_LEFT_WRIST_Y] = 0.01f;
    pose[POSE_RIGHT_WRIST_Y] = 0.01f;
    orbit.onBothGrip(pose);
    // sx = sy = 0.01 * 100 = 1; shift = -1 * 300 * 0.01 along the camera's right and up.
    EXPECT_NEAR(orbit.centre[0], 125.0f, 1e-3f);
    EXPECT_NEAR(orbit.centre[1], -3.0f, 1e-3f);
    EXPECT_NEAR(orbit.centre[2], 128.0f, 1e-3f);
    EXPECT_NEAR(eye(camera).x, 125.0f, 1e-3f);  // the camera moved with the centre
}

}  // namespace
