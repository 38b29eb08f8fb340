// Exact brush profiles, the randomise brush's draw order, which vertices a stroke marks for a
// normal update, and how the left hand's motion is measured. Aimed through pickAt, without GL.
#include <gtest/gtest.h>

#include <cmath>

#include "terrain/brush_random.h"
#include "terrain/terrain_brushes.h"

namespace {

class BrushEdges : public ::testing::Test {
protected:
    Terrain terrain;
    WindowInfo window;
    HandPointer pointer{1, &window};

    void aim(TerrainBrush& brush, int i, int j) {
        brush.pickAt = [this, i, j](float out[3], bool, int, int) {
            const TerrainVertex& v = terrain.vertexAt(i, j);
            out[0] = v.x;
            out[1] = v.y;
            out[2] = v.z;
            return true;
        };
    }

    void setAll(float y) {
        for (TerrainVertex& v : terrain.vertices) v.y = y;
    }

    float y(int i, int j) const { return terrain.vertexAt(i, j).y; }
};

// The raised-cosine step of the height brush, in double from its definition.
double terraStep(double radius, double p, double d) {
    const double r = std::fabs(radius);
    if (!(d < r)) return 0.0;
    const double sign = radius < 0.0 ? -1.0 : 1.0;
    return sign * 0.1 * r / std::sqrt(p) * (1.0 + std::cos(3.14159 * std::pow(d / r, p)));
}

TEST_F(BrushEdges, TerraBrushProfileFollowsTheExponent) {
    TerraBrush brush(pointer, terrain);
    aim(brush, 100, 100);
    brush.exponent = 2.0f;
    brush.onRightGrip(ArmPose{});
    EXPECT_NEAR(y(100, 100), terraStep(4.0, 2.0, 0.0), 1e-5);  // 0.2 |R| / sqrt(p)
    EXPECT_NEAR(y(102, 100), terraStep(4.0, 2.0, 2.0), 1e-5);
    EXPECT_NEAR(y(101, 101), terraStep(4.0, 2.0, std::sqrt(2.0)), 1e-5);
    EXPECT_NEAR(y(103, 102), terraStep(4.0, 2.0, std::sqrt(13.0)), 1e-5);
    EXPECT_EQ(y(104, 100), 0.0f);  // d = R: the rim stays

    // Lowering with a narrow peak: p = 0.5, R = -3.
    setAll(0.0f);
    brush.exponent = 0.5f;
    brush.radius = -3.0f;
    brush.onRightGrip(ArmPose{});
    EXPECT_NEAR(y(100, 100), terraStep(-3.0, 0.5, 0.0), 1e-5);
    EXPECT_NEAR(y(101, 100), terraStep(-3.0, 0.5, 1.0), 1e-5);
    EXPECT_NEAR(y(102, 102), terraStep(-3.0, 0.5, std::sqrt(8.0)), 1e-5);
    EXPECT_LT(y(102, 102), 0.0f);
    EXPECT_EQ(y(103, 100), 0.0f);
}

TEST_F(BrushEdges, RandomizeDrawsOncePerVertexInsideTheWholeReachInScanOrder) {
    const uint64_t seed = 1700000000;
    RandomizeBrush brush(pointer, terrain, seed);
    BrushRandom reference(seed);
    aim(brush, 100, 100);
    brush.radius = 2.5f;  // reach 2: only d < 2 counts, the falloff still divides by 2.5
    brush.amplitude = 0.8f;
    brush.onRightGrip(ArmPose{});

    // i outer, j inner, ascending; one draw for each vertex with d < 2.
    int drawn = 0;
    for (int i = 98; i <= 102; ++i) {
        for (int j = 98; j <= 102; ++j) {
            const double d = std::hypot(i - 100.0, j - 100.0);
            if (!(d < 2.0)) {
                EXPECT_EQ(y(i, j), 0.0f) << i << ", " << j;
                continue;
            }
            const double q = static_cast<double>(reference.next()) * 5.42101086242752217e-20;
            const double expected = std::pow(2.71828, -4.0 * (d / 2.5) * (d / 2.5)) * q * 1.0 * 0.8;
            EXPECT_NEAR(y(i, j), expected, 1e-6) << i << ", " << j;
            ++drawn;
        }
    }
    EXPECT_EQ(drawn, 9);
    // Nothing else was drawn: both generators are at the same point.
    EXPECT_EQ(brush.random.next(), reference.next());
}

TEST_F(BrushEdges, LevelBrushesBlendByDistanceOverTheFloatRadius) {
    BulldozeBrush bulldoze(pointer, terrain);
    setAll(3.0f);
    aim(bulldoze, 100, 100);
    bulldoze.radius = 4.7f;
    bulldoze.level = 0.0f;
    bulldoze.onRightGrip(ArmPose{});
    // y = L (1 - t) + t y with t = d / 4.7, for d < 4 only.
    EXPECT_EQ(y(100, 100), 0.0f);
    EXPECT_NEAR(y(102, 100), 3.0 * 2.0 / 4.7, 1e-5);
    EXPECT_NEAR(y(103, 102), 3.0 * std::sqrt(13.0) / 4.7, 1e-5);
    EXPECT_EQ(y(104, 100), 3.0f);
    EXPECT_EQ(y(102, 104), 3.0f);

    DumpBrush dump(pointer, terrain);
    setAll(-1.0f);
    aim(dump, 50, 60);
    dump.radius = 4.7f;
    dump.level = 2.0f;
    dump.onRightGrip(ArmPose{});
    EXPECT_EQ(y(50, 60), 2.0f);
    const double t = 2.0 / 4.7;
    EXPECT_NEAR(y(50, 62), 2.0 * (1.0 - t) - t, 1e-5);
    EXPECT_EQ(y(50, 64), -1.0f);

    // Repeated frames converge on the level from either side.
    for (int k = 0; k < 60; ++k) dump.onRightGrip(ArmPose{});
    EXPECT_NEAR(y(50, 62), 2.0f, 1e-3f);
    EXPECT_LT(y(50, 62), 2.0f + 1e-6f);
}

TEST_F(BrushEdges, StrokesMarkTheRightVerticesForTheNormalUpdate) {
    // A deliberately odd normal shows whether a vertex went through the normal update: marked,
    // it becomes normalise((1, 0, 0) + six upward face normals) = (1, 6, 0) / sqrt(37).
    const float marked = 1.0f / std::sqrt(37.0f);
    auto oddNormals = [this] {
        for (int i = 96; i <= 104; ++i)
            for (int j = 96; j <= 104; ++j) {
                TerrainVertex& v = terrain.vertexAt(i, j);
                v.nx = 1.0f;
                v.ny = 0.0f;
                v.nz = 0.0f;
            }
    };
    auto nx = [this](int i, int j) { return terrain.vertexAt(i, j).nx; };

    // The height brush marks only what it moved (d < |R|).
    TerraBrush terra(pointer, terrain);
    aim(terra, 100, 100);
    terra.radius = 3.0f;
    oddNormals();
    terra.onRightGrip(ArmPose{});
    EXPECT_LT(nx(102, 102), 1.0f);        // d = 2.83: moved and refreshed
    EXPECT_EQ(nx(103, 102), 1.0f);        // d = 3.61: inside the square, untouched
    EXPECT_EQ(nx(103, 100), 1.0f);        // d = R

    // Bulldoze and dump mark every vertex within the reach, moved or not.
    setAll(0.0f);
    BulldozeBrush bulldoze(pointer, terrain);
    aim(bulldoze, 100, 100);
    bulldoze.radius = 3.0f;
    bulldoze.level = 10.0f;  // above everything: nothing moves
    oddNormals();
    bulldoze.onRightGrip(ArmPose{});
    EXPECT_NEAR(nx(102, 102), marked, 1e-6f);
    EXPECT_NEAR(nx(100, 100), marked, 1e-6f);
    EXPECT_EQ(nx(103, 102), 1.0f);
    EXPECT_EQ(nx(103, 100), 1.0f);  // d = 3 is not inside the reach 3

    DumpBrush dump(pointer, terrain);
    aim(dump, 100, 100);
    dump.radius = 3.0f;
    dump.level = -10.0f;  // below everything
    oddNormals();
    dump.onRightGrip(ArmPose{});
    EXPECT_NEAR(nx(101, 98), marked, 1e-6f);
    EXPECT_EQ(nx(97, 100), 1.0f);
    for (const TerrainVertex& v : terrain.vertices) ASSERT_EQ(v.y, 0.0f);
}

TEST_F(BrushEdges, LeftHandMotionIsMeasuredFromTheLastFrameTheBrushWasCurrent) {
    TerraBrush terra(pointer, terrain);
    aim(terra, 100, 100);
    ArmPose pose{};
    pose[POSE_LEFT_WRIST_X] = 0.1f;
    pose[POSE_LEFT_WRIST_Y] = 0.3f;
    terra.onNoGrip(pose);  // a hovering frame remembers the pose too
    pose[POSE_LEFT_WRIST_X] = 0.12f;
    terra.onLeftGrip(pose);
    EXPECT_NEAR(terra.radius, 5.0f, 1e-5f);  // 4 + 50 * 0.02
    EXPECT_EQ(terra.exponent, 1.0f);

    // Equal sideways and vertical motion counts as vertical: the exponent moves, not R.
    pose[POSE_LEFT_WRIST_X] = 0.25f;
    pose[POSE_LEFT_WRIST_Y] = 0.43f;
    ArmPose start = pose;
    start[POSE_LEFT_WRIST_X] = 0.25f - 0.125f;
    start[POSE_LEFT_WRIST_Y] = 0.43f - 0.125f;
    terra.previous = start;
    const float before = terra.radius;
    terra.onLeftGrip(pose);
    EXPECT_EQ(terra.radius, before);
    EXPECT_NEAR(terra.exponent, 1.0f + 20.0f * 0.125f, 1e-5f);

    // Both hands: the parameters change first, and the stroke already uses the new radius.
    terra.exponent = 1.0f;
    terra.radius = 4.0f;
    terra.previous = ArmPose{};
    pose = ArmPose{};
    pose[POSE_LEFT_WRIST_X] = 0.02f;
    terra.onBothGrip(pose);
    EXPECT_NEAR(terra.radius, 5.0f, 1e-5f);
    EXPECT_NEAR(y(100, 100), 0.2f * 5.0f, 1e-5f);
    EXPECT_NEAR(y(104, 100), terraStep(5.0, 1.0, 4.0), 1e-5);  // inside the wider bump
    terra.onBothGrip(pose);  // held still: same radius, a second step
    EXPECT_NEAR(terra.radius, 5.0f, 1e-5f);
    EXPECT_NEAR(y(100, 100), 2.0f, 1e-5f);
}

}  // namespace
