// The 3D cursors of the terrain brushes and the colour brush: captured through GL feedback mode
// and mapped back to world coordinates, so ring radii, heights and colours can be measured.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "gl_test_window.h"
#include "terrain/terra_colorizer.h"
#include "terrain/terrain_brushes.h"

namespace {

constexpr float HALF = 10.0f;  // the captured cube: world -10 .. 10 on every axis

struct CursorVertex {
    float x, y, z;     // world
    float r, g, b;     // colour
    bool line;         // part of a line, not a polygon
};

// Draws `tool`'s overlay in feedback mode with an orthographic view of the cube |x|,|y|,|z| <= 10.
std::vector<CursorVertex> capture(Tool& tool) {
    std::vector<GLfloat> buffer(1 << 18);
    glViewport(0, 0, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-HALF, HALF, -HALF, HALF, -HALF, HALF);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    tool.drawOverlay();
    const GLint used = glRenderMode(GL_RENDER);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();

    std::vector<CursorVertex> out;
    EXPECT_GE(used, 0) << "feedback buffer overflow";
    auto vertex = [&](GLint& k, bool line) {
        const float wx = buffer[static_cast<size_t>(k)], wy = buffer[static_cast<size_t>(k) + 1];
        const float wz = buffer[static_cast<size_t>(k) + 2];
        CursorVertex v;
        v.x = (wx / TEST_WINDOW_WIDTH * 2.0f - 1.0f) * HALF;
        v.y = (wy / TEST_WINDOW_HEIGHT * 2.0f - 1.0f) * HALF;
        v.z = -(wz * 2.0f - 1.0f) * HALF;
        v.r = buffer[static_cast<size_t>(k) + 3];
        v.g = buffer[static_cast<size_t>(k) + 4];
        v.b = buffer[static_cast<size_t>(k) + 5];
        v.line = line;
        out.push_back(v);
        k += 7;  // x, y, z, r, g, b, a
    };
    for (GLint k = 0; k < used;) {
        const GLint token = static_cast<GLint>(buffer[static_cast<size_t>(k++)]);
        if (token == GL_POLYGON_TOKEN) {
            const GLint n = static_cast<GLint>(buffer[static_cast<size_t>(k++)]);
            for (GLint i = 0; i < n; ++i) vertex(k, false);
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            vertex(k, true);
            vertex(k, true);
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN || token == GL_DRAW_PIXEL_TOKEN ||
                   token == GL_COPY_PIXEL_TOKEN) {
            vertex(k, false);
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            ++k;
        } else {
            ADD_FAILURE() << "unknown feedback token " << token;
            break;
        }
    }
    return out;
}

struct Ring {
    float height;           // world y of the disk's plane
    std::vector<float> radii;  // the distinct distances of its vertices from the centre axis
    float r, g, b;
};

// Sorts the polygon vertices into the sphere (within 0.2 of the centre) and flat rings.
class CursorShape {
public:
    CursorShape(const std::vector<CursorVertex>& vertices, float cx, float cy, float cz) {
        for (const CursorVertex& v : vertices) {
            if (v.line) {
                lines.push_back(v);
                continue;
            }
            const float dx = v.x - cx, dy = v.y - cy, dz = v.z - cz;
            if (std::fabs(std::sqrt(dx * dx + dy * dy + dz * dz) - 0.2f) < 2e-3f) {
                sphere.push_back(v);
                continue;
            }
            const float radius = std::sqrt(dx * dx + dz * dz);
            Ring* ring = nullptr;
            for (Ring& candidate : rings)
                if (std::fabs(candidate.height - v.y) < 2e-3f && candidate.r == v.r && candidate.g == v.g) ring = &candidate;
            if (ring == nullptr) {
                rings.push_back(Ring{v.y, {}, v.r, v.g, v.b});
                ring = &rings.back();
            }
            bool known = false;
            for (float r : ring->radii) known = known || std::fabs(r - radius) < 2e-3f;
            if (!known) ring->radii.push_back(radius);
        }
        for (Ring& ring : rings) std::sort(ring.radii.begin(), ring.radii.end());
    }

    std::vector<CursorVertex> sphere, lines;
    std::vector<Ring> rings;
};

void expectRadii(const Ring& ring, std::vector<float> expected) {
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(ring.radii.size(), expected.size()) << "ring at height " << ring.height;
    for (size_t k = 0; k < expected.size(); ++k) EXPECT_NEAR(ring.radii[k], expected[k], 2e-3f) << "radius " << k;
}

void expectColour(const std::vector<CursorVertex>& vertices, float r, float g, float b) {
    ASSERT_FALSE(vertices.empty());
    for (const CursorVertex& v : vertices) {
        EXPECT_NEAR(v.r, r, 1e-3f);
        EXPECT_NEAR(v.g, g, 1e-3f);
        EXPECT_NEAR(v.b, b, 1e-3f);
    }
}

class BrushCursors : public ::testing::Test {
protected:
    void SetUp() override {
        if (!openTestWindow()) GTEST_SKIP() << "no display";
    }
    void aimAt(TerrainBrush& brush, float x, float y, float z) {
        brush.hit = true;
        brush.hitPoint[0] = x;
        brush.hitPoint[1] = y;
        brush.hitPoint[2] = z;
    }

    Terrain terrain;
    WindowInfo window{"terrain test", 1.6f, TEST_WINDOW_HEIGHT, TEST_WINDOW_WIDTH};
    HandPointer pointer{1, &window};
};

TEST_F(BrushCursors, NoHitDrawsNothing) {
    TerraBrush brush(pointer, terrain);
    brush.hit = false;
    EXPECT_TRUE(capture(brush).empty());
}

TEST_F(BrushCursors, TerraBrushShowsItsProfileContours) {
    TerraBrush brush(pointer, terrain);
    aimAt(brush, 1.0f, 2.0f, -1.5f);
    brush.exponent = 2.0f;
    const CursorShape shape(capture(brush), 1.0f, 2.1f, -1.5f);
    EXPECT_FALSE(shape.sphere.empty());
    ASSERT_EQ(shape.rings.size(), 1u);
    const Ring& rings = shape.rings[0];
    EXPECT_NEAR(rings.height, 2.1f, 2e-3f);
    std::vector<float> expected;
    for (float q : {0.333f, 0.5f, 0.666f}) {
        const float rho = 4.0f * std::sqrt(q);  // |R| q^(1/p)
        expected.push_back(rho - 0.1f);
        expected.push_back(rho + 0.1f);
    }
    expected.push_back(3.7f);
    expected.push_back(4.3f);
    expectRadii(rings, expected);
    expectColour(shape.sphere, 1.0f, 0.0f, 0.0f);
    EXPECT_EQ(rings.r, 1.0f);

    // Lowering: blue, and the rings use |R|.
    brush.radius = -2.0f;
    brush.exponent = 1.0f;
    const CursorShape lowering(capture(brush), 1.0f, 2.1f, -1.5f);
    ASSERT_EQ(lowering.rings.size(), 1u);
    expectRadii(lowering.rings[0], {2.0f * 0.333f - 0.1f, 2.0f * 0.333f + 0.1f, 0.9f, 1.1f,
                                    2.0f * 0.666f - 0.1f, 2.0f * 0.666f + 0.1f, 1.7f, 2.3f});
    expectColour(lowering.sphere, 0.0f, 0.0f, 1.0f);
}

TEST_F(BrushCursors, SmoothAndRandomizeRingsWidenWithTheirSecondParameter) {
    SmoothBrush smooth(pointer, terrain);
    aimAt(smooth, 0.0f, 0.0f, 0.0f);
    smooth.radius = 3.0f;
    smooth.strength = 0.6f;
    const CursorShape s(capture(smooth), 0.0f, 0.1f, 0.0f);
    ASSERT_EQ(s.rings.size(), 1u);
    expectRadii(s.rings[0], {3.0f - 0.3f - 0.2f, 3.0f + 0.3f + 0.2f});
    expectColour(s.sphere, 1.0f, 0.4f, 0.4f);

    RandomizeBrush randomize(pointer, terrain, 5);
    aimAt(randomize, 0.0f, -1.0f, 0.0f);
    randomize.radius = 2.0f;
    randomize.amplitude = -0.4f;
    const CursorShape lower(capture(randomize), 0.0f, -0.9f, 0.0f);
    ASSERT_EQ(lower.rings.size(), 1u);
    EXPECT_NEAR(lower.rings[0].height, -0.9f, 2e-3f);
    expectRadii(lower.rings[0], {2.0f - 0.2f - 0.2f, 2.0f + 0.2f + 0.2f});
    expectColour(lower.sphere, 0.6f, 0.6f, 1.0f);  // lowering: bluish
    randomize.amplitude = 0.4f;
    const CursorShape raise(capture(randomize), 0.0f, -0.9f, 0.0f);
    expectColour(raise.sphere, 1.0f, 0.6f, 0.6f);  // raising: reddish
}

TEST_F(BrushCursors, LevelBrushesSitAtTheLevelWithAStalkAndATerrainRing) {
    BulldozeBrush bulldoze(pointer, terrain);
    bulldoze.radius = 3.0f;
    bulldoze.level = 1.0f;
    // Terrain above the level: a stalk from the level up to py - L + 1 above it, one red ring.
    aimAt(bulldoze, 0.5f, 3.0f, 0.5f);
    CursorShape above(capture(bulldoze), 0.5f, 1.05f, 0.5f);
    ASSERT_EQ(above.rings.size(), 1u);
    EXPECT_NEAR(above.rings[0].height, 1.05f, 2e-3f);
    expectRadii(above.rings[0], {2.8f, 3.2f});
    expectColour(above.sphere, 1.0f, 0.0f, 0.0f);
    ASSERT_EQ(above.lines.size(), 2u);
    EXPECT_NEAR(std::min(above.lines[0].y, above.lines[1].y), 1.05f, 2e-3f);
    EXPECT_NEAR(std::max(above.lines[0].y, above.lines[1].y), 1.05f + 3.0f, 2e-3f);

    // Terrain well below the level: the stalk reaches down to it and a black ring lies there.
    aimAt(bulldoze, 0.5f, -2.0f, 0.5f);
    CursorShape below(capture(bulldoze), 0.5f, 1.05f, 0.5f);
    ASSERT_EQ(below.rings.size(), 2u);
    const Ring& level = below.rings[0].r == 1.0f ? below.rings[0] : below.rings[1];
    const Ring& ground = below.rings[0].r == 1.0f ? below.rings[1] : below.rings[0];
    EXPECT_NEAR(level.height, 1.05f, 2e-3f);
    EXPECT_NEAR(ground.height, -2.0f + 0.05f, 2e-3f);
    EXPECT_EQ(ground.r + ground.g + ground.b, 0.0f);
    expectRadii(ground, {2.8f, 3.2f});
    EXPECT_NEAR(std::min(below.lines[0].y, below.lines[1].y), 1.05f - 3.0f, 2e-3f);

    // Just 0.3 below: no second ring.
    aimAt(bulldoze, 0.5f, 0.75f, 0.5f);
    EXPECT_EQ(CursorShape(capture(bulldoze), 0.5f, 1.05f, 0.5f).rings.size(), 1u);

    DumpBrush dump(pointer, terrain);
    dump.radius = 3.0f;
    dump.level = 1.0f;
    aimAt(dump, 0.5f, -2.0f, 0.5f);
    CursorShape dumpShape(capture(dump), 0.5f, 1.1f, 0.5f);
    ASSERT_EQ(dumpShape.rings.size(), 2u);
    const Ring& dumpLevel = dumpShape.rings[0].r == 1.0f ? dumpShape.rings[0] : dumpShape.rings[1];
    const Ring& dumpGround = dumpShape.rings[0].r == 1.0f ? dumpShape.rings[1] : dumpShape.rings[0];
    EXPECT_NEAR(dumpLevel.height, 1.1f, 2e-3f);
    expectRadii(dumpLevel, {2.7f, 3.3f});
    EXPECT_NEAR(dumpGround.height, -2.0f + 0.1f, 2e-3f);
    expectRadii(dumpGround, {2.8f, 3.2f});
}

TEST_F(BrushCursors, ColourBrushCursorShowsRadiusAndOpacity) {
    std::array<float, 3> colour{{0.0f, 1.0f, 0.0f}};
    TerraColorizer tool(pointer, terrain, window, colour);
    tool.hit = true;
    tool.hitPoint[0] = -1.0f;
    tool.hitPoint[1] = 0.5f;
    tool.hitPoint[2] = 2.0f;
    tool.radius = 2.5f;
    tool.opacity = 0.25f;
    const CursorShape shape(capture(tool), -1.0f, 0.6f, 2.0f);
    ASSERT_EQ(shape.rings.size(), 1u);
    EXPECT_NEAR(shape.rings[0].height, 0.6f, 2e-3f);
    expectRadii(shape.rings[0], {2.2f, 2.8f});
    expectColour(shape.sphere, 1.0f, 0.75f, 0.75f);
    tool.hit = false;
    EXPECT_TRUE(capture(tool).empty());
}

}  // namespace
