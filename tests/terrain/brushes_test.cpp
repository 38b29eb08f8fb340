// The five height brushes and BrushRandom, aimed through pickAt without GL.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "terrain/brush_random.h"
#include "terrain/terrain_brushes.h"

namespace {

std::vector<float> heights(const Terrain& terrain) {
    std::vector<float> out;
    out.reserve(terrain.vertices.size());
    for (const TerrainVertex& v : terrain.vertices) out.push_back(v.y);
    return out;
}

float distanceTo(const TerrainVertex& v, float px, float pz) {
    return std::sqrt((v.x - px) * (v.x - px) + (v.z - pz) * (v.z - pz));
}

class Brushes : public ::testing::Test {
protected:
    Terrain terrain;
    WindowInfo window;
    HandPointer pointer{1, &window};
    int picks = 0;
    bool lastSnap = false;

    // Aims the brush at grid vertex (i, j), or makes every pick miss.
    void aim(TerrainBrush& brush, int i, int j, bool miss = false) {
        brush.pickAt = [this, i, j, miss](float out[3], bool snap, int, int) {
            ++picks;
            lastSnap = snap;
            if (miss) return false;
            const TerrainVertex& v = terrain.vertexAt(i, j);
            out[0] = v.x;
            out[1] = v.y;
            out[2] = v.z;
            return true;
        };
    }

    std::vector<std::unique_ptr<TerrainBrush>> allFive() {
        std::vector<std::unique_ptr<TerrainBrush>> brushes;
        brushes.push_back(std::make_unique<TerraBrush>(pointer, terrain));
        brushes.push_back(std::make_unique<SmoothBrush>(pointer, terrain));
        brushes.push_back(std::make_unique<RandomizeBrush>(pointer, terrain, 1234));
        brushes.push_back(std::make_unique<BulldozeBrush>(pointer, terrain));
        brushes.push_back(std::make_unique<DumpBrush>(pointer, terrain));
        return brushes;
    }

    void fillRandom(unsigned seed, float low, float high) {
        std::mt19937 generator(seed);
        std::uniform_real_distribution<float> height(low, high);
        for (TerrainVertex& v : terrain.vertices) v.y = height(generator);
    }
};

TEST_F(Brushes, ZeroRadiusOrAMissChangesNothing) {
    fillRandom(1, -2.0f, 2.0f);
    const std::vector<float> before = heights(terrain);
    ArmPose pose{};
    for (auto& brush : allFive()) {
        aim(*brush, 100, 100);
        brush->radius = 0.0f;
        brush->onRightGrip(pose);
        EXPECT_TRUE(brush->hit);
        EXPECT_TRUE(lastSnap);  // strokes aim at a vertex
        brush->radius = 4.0f;
        aim(*brush, 100, 100, true);
        brush->onRightGrip(pose);
        EXPECT_FALSE(brush->hit);  // the cursor hides
    }
    EXPECT_EQ(heights(terrain), before);
    EXPECT_TRUE(terrain.dirty.empty());
}

TEST_F(Brushes, HoverPicksOnlyWhileThePointerIsEngaged) {
    TerraBrush brush(pointer, terrain);
    aim(brush, 10, 10);
    ArmPose pose{};
    brush.hit = true;
    brush.onNoGrip(pose);
    EXPECT_EQ(picks, 0);
    EXPECT_FALSE(brush.hit);
    pointer.state = POINTER_ENGAGED;
    brush.onNoGrip(pose);
    EXPECT_EQ(picks, 1);
    EXPECT_TRUE(lastSnap);
    EXPECT_TRUE(brush.hit);
    EXPECT_FLOAT_EQ(brush.hitPoint[0], 10.0f);
}

TEST_F(Brushes, TerraBrushRaisesOrLowersARaisedCosine) {
    TerraBrush brush(pointer, terrain);
    aim(brush, 128, 128);
    brush.onRightGrip(ArmPose{});
    // Centre: 0.1 |R| / sqrt(p) * (1 + cos 0) = 0.8 with R = 4, p = 1.
    EXPECT_NEAR(terrain.vertexAt(128, 128).y, 0.8f, 1e-5f);
    EXPECT_NEAR(terrain.vertexAt(130, 128).y, 0.4f * (1.0f + std::cos(3.14159f * 0.5f)), 1e-5f);
    EXPECT_EQ(terrain.vertexAt(132, 128).y, 0.0f);  // the rim, d = R
    EXPECT_LT(terrain.vertexAt(128, 129).ny, 1.0f);  // normals refreshed around the bump
    EXPECT_EQ(brush.cursorColour(), (std::array<float, 3>{1.0f, 0.0f, 0.0f}));

    brush.radius = -4.0f;
    brush.onRightGrip(ArmPose{});
    brush.onRightGrip(ArmPose{});
    EXPECT_NEAR(terrain.vertexAt(128, 128).y, -0.8f, 1e-5f);
    EXPECT_EQ(brush.cursorColour(), (std::array<float, 3>{0.0f, 0.0f, 1.0f}));  // blue: lowering
}

TEST_F(Brushes, LeftHandSidewaysChangesTheRadiusUpAndDownTheSecondParameter) {
    TerraBrush terra(pointer, terrain);
    SmoothBrush smooth(pointer, terrain);
    ArmPose pose{};
    terra.radius = 0.5f;
    smooth.radius = 0.5f;
    pose[POSE_LEFT_WRIST_X] = -0.02f;  // 1 grid unit to the left
    terra.onLeftGrip(pose);
    smooth.onLeftGrip(pose);
    EXPECT_NEAR(terra.radius, -0.5f, 1e-5f);  // crosses zero: now lowering
    EXPECT_EQ(smooth.radius, 0.0f);           // the others stop at zero
    terra.onLeftGrip(pose);                   // no motion: the exponent takes the zero step
    EXPECT_NEAR(terra.radius, -0.5f, 1e-5f);
    EXPECT_EQ(terra.exponent, 1.0f);

    pose[POSE_LEFT_WRIST_Y] = 1.0f;  // far up
    terra.onLeftGrip(pose);
    smooth.onLeftGrip(pose);
    EXPECT_EQ(terra.exponent, 8.0f);
    EXPECT_EQ(smooth.strength, 1.0f);
    pose[POSE_LEFT_WRIST_Y] = -1.0f;  // far down
    terra.onLeftGrip(pose);
    smooth.onLeftGrip(pose);
    EXPECT_FLOAT_EQ(terra.exponent, 0.2f);
    EXPECT_EQ(smooth.strength, 0.0f);

    RandomizeBrush randomize(pointer, terrain, 1);
    BulldozeBrush bulldoze(pointer, terrain);
    pose = ArmPose{};
    pose[POSE_LEFT_WRIST_Y] = -3.0f;
    randomize.onLeftGrip(pose);
    bulldoze.onLeftGrip(pose);
    EXPECT_EQ(randomize.amplitude, -1.0f);
    EXPECT_FLOAT_EQ(bulldoze.level, 1.0f - 150.0f);  // the level is not limited
}

TEST_F(Brushes, FractionalRadiusReachesWholeUnitsForThreeBrushes) {
    // Vertex (4, 2) from the hit lies at d = 4.47: inside 4.7 but outside the integer reach 4.
    const int ci = 100, cj = 100;
    auto stroke = [&](TerrainBrush& brush, float height) {
        for (TerrainVertex& v : terrain.vertices) v.y = height;
        aim(brush, ci, cj);
        brush.radius = 4.7f;
        brush.onRightGrip(ArmPose{});
        return std::make_pair(terrain.vertexAt(ci + 4, cj + 2).y != height,
                              terrain.vertexAt(ci + 3, cj + 2).y != height);  // d = 3.6
    };
    TerraBrush terra(pointer, terrain);
    RandomizeBrush randomize(pointer, terrain, 99);
    BulldozeBrush bulldoze(pointer, terrain);
    DumpBrush dump(pointer, terrain);
    EXPECT_EQ(stroke(terra, 0.0f), std::make_pair(true, true));
    EXPECT_EQ(stroke(randomize, 0.0f), std::make_pair(false, true));
    EXPECT_EQ(stroke(bulldoze, 5.0f), std::make_pair(false, true));
    EXPECT_EQ(stroke(dump, -5.0f), std::make_pair(false, true));

    // The smooth brush also uses the float radius: give vertex (4, 2) a bump to pull on.
    SmoothBrush smooth(pointer, terrain);
    for (TerrainVertex& v : terrain.vertices) v.y = 0.0f;
    terrain.vertexAt(ci + 5, cj + 2).y = 3.0f;
    aim(smooth, ci, cj);
    smooth.radius = 4.7f;
    smooth.onRightGrip(ArmPose{});
    EXPECT_GT(terrain.vertexAt(ci + 4, cj + 2).y, 0.0f);
}

TEST_F(Brushes, StrokesAtTheBorderStayOnTheGrid) {
    TerraBrush brush(pointer, terrain);
    brush.radius = 3.5f;
    for (auto [i, j] : {std::make_pair(0, 0), std::make_pair(256, 256), std::make_pair(256, 3)}) {
        for (TerrainVertex& v : terrain.vertices) v.y = 0.0f;
        aim(brush, i, j);
        brush.onRightGrip(ArmPose{});
        int changed = 0, expected = 0;
        for (const TerrainVertex& v : terrain.vertices) {
            const float d = distanceTo(v, static_cast<float>(i), static_cast<float>(j));
            expected += d < 3.5f;
            changed += v.y != 0.0f;
            if (d >= 3.5f) {
                EXPECT_EQ(v.y, 0.0f);
            }
        }
        EXPECT_EQ(changed, expected) << "hit at " << i << ", " << j;
    }
}

TEST_F(Brushes, SmoothingBlendsTowardTheNeighboursMeanFromBeforeTheStroke) {
    fillRandom(7, -1.0f, 1.0f);
    SmoothBrush brush(pointer, terrain);
    aim(brush, 50, 60);
    brush.strength = 0.0f;
    const std::vector<float> before = heights(terrain);
    brush.onRightGrip(ArmPose{});
    EXPECT_EQ(heights(terrain), before);

    brush.strength = 1.0f;
    brush.onRightGrip(ArmPose{});
    for (const TerrainVertex& v : terrain.vertices) {
        if (distanceTo(v, 50.0f, 60.0f) < 4.0f) {
            float sum = 0.0f;
            for (int n : v.neighbours) sum += before[n];
            EXPECT_NEAR(v.y, sum / v.neighbours.size(), 1e-5f) << "vertex " << v.index;
        } else {
            EXPECT_EQ(v.y, before[v.index]);
        }
    }
}

TEST_F(Brushes, BulldozeNeverRaisesAndDumpNeverLowers) {
    fillRandom(3, -3.0f, 3.0f);
    BulldozeBrush bulldoze(pointer, terrain);
    DumpBrush dump(pointer, terrain);
    bulldoze.level = 0.0f;
    dump.level = 0.0f;
    bulldoze.radius = dump.radius = 6.3f;
    std::vector<float> before = heights(terrain);
    for (int k = 0; k < 5; ++k) {
        aim(bulldoze, 30 + 2 * k, 40);
        bulldoze.onRightGrip(ArmPose{});
    }
    std::vector<float> after = heights(terrain);
    for (size_t k = 0; k < after.size(); ++k) EXPECT_LE(after[k], before[k]);
    EXPECT_NE(after, before);
    // The centre lands on the level at once when it was above it.
    terrain.vertexAt(200, 200).y = 2.5f;
    aim(bulldoze, 200, 200);
    bulldoze.onRightGrip(ArmPose{});
    EXPECT_EQ(terrain.vertexAt(200, 200).y, 0.0f);

    before = heights(terrain);
    for (int k = 0; k < 5; ++k) {
        aim(dump, 30, 40 + 2 * k);
        dump.onRightGrip(ArmPose{});
    }
    after = heights(terrain);
    for (size_t k = 0; k < after.size(); ++k) EXPECT_GE(after[k], before[k]);
    EXPECT_NE(after, before);
}

TEST_F(Brushes, RandomizeFollowsTheSignOfItsAmplitude) {
    RandomizeBrush brush(pointer, terrain, 42);
    aim(brush, 80, 80);
    brush.amplitude = -0.5f;
    brush.onRightGrip(ArmPose{});
    int lowered = 0;
    for (const TerrainVertex& v : terrain.vertices) {
        EXPECT_LE(v.y, 0.0f);
        lowered += v.y < 0.0f;
    }
    EXPECT_GT(lowered, 20);
    for (TerrainVertex& v : terrain.vertices) v.y = 0.0f;
    brush.amplitude = 0.5f;
    brush.onRightGrip(ArmPose{});
    for (const TerrainVertex& v : terrain.vertices) EXPECT_GE(v.y, 0.0f);
    EXPECT_GT(terrain.vertexAt(80, 80).y, 0.0f);
    EXPECT_LE(terrain.vertexAt(80, 80).y, 0.5f);  // q < 1 and the falloff is 1 at the centre
}

TEST(BrushRandom, DrawsMatchTheGeneratorArithmetic) {
    // Reference values worked out with arbitrary-precision integers reduced modulo 2^64.
    BrushRandom random(1700000000);
    EXPECT_EQ(random.next(), 0x74490af146d47d9bULL);
    EXPECT_EQ(random.next(), 0x0bea5a1c2d961ce3ULL);
    EXPECT_EQ(random.next(), 0xbd3dfe7d1a3547d8ULL);
    EXPECT_EQ(random.next(), 0x01218a59bb36ea44ULL);
    BrushRandom zero(0);
    EXPECT_EQ(zero.next(), 0x142e13bb5626a786ULL);
    EXPECT_EQ(zero.next(), 0x0eb83fd2ee499042ULL);
}

TEST(BrushRandom, UniformNumbersLieInTheHalfOpenUnitInterval) {
    BrushRandom a(1700000000), b(1700000001);
    const double first = a.uniform();
    EXPECT_NEAR(first, static_cast<double>(0x74490af146d47d9bULL) / 18446744073709551616.0, 1e-15);
    EXPECT_NE(first, b.uniform());  // runs started a second apart differ
    double low = 1.0, high = 0.0;
    for (int k = 0; k < 10000; ++k) {
        const double q = a.uniform();
        ASSERT_GE(q, 0.0);
        ASSERT_LT(q, 1.0);
        low = std::min(low, q);
        high = std::max(high, q);
    }
    EXPECT_LT(low, 0.01);
    EXPECT_GT(high, 0.99);
}

}  // namespace
