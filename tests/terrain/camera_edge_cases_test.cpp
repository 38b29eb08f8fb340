// The orbit camera past the vertical, the left hand alone, and zoom and pan in one frame.
#include <gtest/gtest.h>

#include <cmath>

#include "terrain/camera.h"
#include "terrain/orbit_manipulator.h"

namespace {

class OrbitEdges : public ::testing::Test {
protected:
    WindowInfo window;
    Camera camera{&window};
    OrbitManipulator orbit{camera};
    ArmPose pose{};

    void expectEye(float x, float y, float z, float tolerance = 1e-3f) const {
        EXPECT_NEAR(camera.pose[12], x, tolerance);
        EXPECT_NEAR(camera.pose[13], y, tolerance);
        EXPECT_NEAR(camera.pose[14], z, tolerance);
    }
    // The camera's up direction in the world (its pose's second column).
    float upY() const { return camera.pose[5]; }
};

TEST_F(OrbitEdges, EyeFollowsTheAnglesOnBothSidesOfTheVertical) {
    // eye = centre + d (-sin a cos b, sin b, cos a cos b)
    orbit.azimuth = 90.0f;
    orbit.elevation = 0.0f;
    orbit.updateCamera();
    expectEye(128.0f - 300.0f, 0.0f, 128.0f);

    orbit.azimuth = 0.0f;
    orbit.elevation = 90.0f;
    orbit.updateCamera();
    expectEye(128.0f, 300.0f, 128.0f);
    EXPECT_NEAR(camera.pose[6], -1.0f, 1e-6f);  // up on the screen is world -z

    // Past the top: the eye is over on the far side and the image is upside down.
    orbit.elevation = 120.0f;
    orbit.updateCamera();
    expectEye(128.0f, 300.0f * std::sin(120.0f * 3.1415927f / 180.0f),
              128.0f + 300.0f * std::cos(120.0f * 3.1415927f / 180.0f));
    EXPECT_LT(upY(), 0.0f);
    // It still looks at the centre.
    const Mat4& v = camera.view;
    EXPECT_NEAR(v[0] * 128.0f + v[8] * 128.0f + v[12], 0.0f, 1e-3f);
    EXPECT_NEAR(v[1] * 128.0f + v[9] * 128.0f + v[13], 0.0f, 1e-3f);
    EXPECT_NEAR(v[2] * 128.0f + v[10] * 128.0f + v[14], -300.0f, 1e-3f);
}

TEST_F(OrbitEdges, LeftHandAloneOnlyKeepsTheCameraUpdated) {
    pose[POSE_WRIST_DISTANCE] = 0.3f;
    orbit.onNoGrip(pose);
    // Both wrists move, apart and sideways, and the angles were changed behind its back.
    pose[POSE_WRIST_DISTANCE] = 0.5f;
    pose[POSE_LEFT_WRIST_X] = 0.1f;
    pose[POSE_RIGHT_WRIST_X] = 0.2f;
    pose[POSE_RIGHT_WRIST_Y] = -0.1f;
    orbit.azimuth = 0.0f;
    orbit.elevation = 0.0f;
    orbit.onLeftGrip(pose);
    EXPECT_EQ(orbit.distance, 300.0f);
    EXPECT_EQ(orbit.azimuth, 0.0f);
    EXPECT_EQ(orbit.elevation, 0.0f);
    EXPECT_EQ(orbit.centre[0], 128.0f);
    EXPECT_EQ(orbit.centre[1], 0.0f);
    expectEye(128.0f, 0.0f, 428.0f);  // the camera took up the new angles
    EXPECT_EQ(orbit.previous, pose);
}

TEST_F(OrbitEdges, PanUsesTheZoomedDistanceAndTheAxesOfTheLastUpdate) {
    orbit.azimuth = 0.0f;
    orbit.elevation = 0.0f;
    pose[POSE_WRIST_DISTANCE] = 0.3f;
    orbit.onNoGrip(pose);  // right is world +x, up world +y

    // The azimuth changes without an update: this frame's pan must still use the axes the
    // camera had, not those of the new angle (whose right would be world +z).
    orbit.azimuth = 90.0f;
    pose[POSE_WRIST_DISTANCE] = 0.4f;  // 0.1 apart: d = 270
    pose[POSE_LEFT_WRIST_X] = 0.01f;   // midpoint 0.01 m right
    pose[POSE_RIGHT_WRIST_X] = 0.01f;
    pose[POSE_LEFT_WRIST_Y] = -0.02f;  // and 0.02 m down
    pose[POSE_RIGHT_WRIST_Y] = -0.02f;
    orbit.onBothGrip(pose);
    EXPECT_NEAR(orbit.distance, 270.0f, 1e-3f);
    // sx = 1, sy = -2; centre += -sx d 0.01 right - sy d 0.01 up with d = 270.
    EXPECT_NEAR(orbit.centre[0], 128.0f - 2.7f, 1e-3f);
    EXPECT_NEAR(orbit.centre[1], 5.4f, 1e-3f);
    EXPECT_NEAR(orbit.centre[2], 128.0f, 1e-3f);
    // The camera then orbits the new centre at the new angle and distance.
    expectEye(128.0f - 2.7f - 270.0f, 5.4f, 128.0f);
}

}  // namespace
