// Colour-ID picking and drawing under a real GL context (Xvfb with Mesa's software renderer).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gl_test_window.h"
#include "terrain/orbit_manipulator.h"
#include "terrain/terrain.h"

namespace {

class TerrainPick : public ::testing::Test {
protected:
    WindowInfo window{"terrain test", 1.6f, TEST_WINDOW_HEIGHT, TEST_WINDOW_WIDTH};
    Camera camera{&window};
    Terrain terrain;

    void SetUp() override {
        if (!openTestWindow()) GTEST_SKIP() << "no display";
        terrain.initGraphics();
    }

    // Looks straight down at (x, 0, z) from `distance` above it.
    void lookDownAt(float x, float z, float distance) {
        OrbitManipulator orbit(camera);
        orbit.azimuth = 0.0f;
        orbit.elevation = 90.0f;
        orbit.centre[0] = x;
        orbit.centre[2] = z;
        orbit.distance = distance;
        orbit.updateCamera();
        loadCamera(camera);
    }

    bool pickWorld(float x, float z, float out[3], bool snap) {
        const std::array<float, 2> at = projectToWindow(camera, x, 0.0f, z);
        return terrain.pick(out, snap, static_cast<int>(at[0]), static_cast<int>(at[1]));
    }
};

TEST_F(TerrainPick, HitsMissesAndSnapping) {
    lookDownAt(2.0f, 2.0f, 50.0f);
    float point[3] = {-1.0f, -1.0f, -1.0f};
    ASSERT_TRUE(pickWorld(0.25f, 0.75f, point, true));  // face 0 reads back as black
    EXPECT_EQ(terrain.pickedFace, 0);
    EXPECT_EQ(terrain.pickedVertex, 257);  // (0, 1) is the nearest corner
    EXPECT_EQ(point[0], 0.0f);
    EXPECT_EQ(point[2], 1.0f);

    // Left of x = 0 there is only the white background.
    EXPECT_FALSE(terrain.pick(point, true, 5, TEST_WINDOW_HEIGHT / 2));
    EXPECT_EQ(terrain.pickedFace, -1);
    EXPECT_EQ(terrain.pickedVertex, -1);
    // Outside the window nothing can be read back.
    EXPECT_FALSE(terrain.pick(point, true, TEST_WINDOW_WIDTH, 10));
    EXPECT_FALSE(terrain.pick(point, true, -1, 10));

    // Snapping takes the nearest corner; a free pick keeps the point and the picked vertex.
    ASSERT_TRUE(pickWorld(1.1f, 1.9f, point, true));
    EXPECT_EQ(terrain.pickedFace, 2 * 257);  // cell (1, 1), the face left of the diagonal
    EXPECT_EQ(terrain.pickedVertex, 1 + 2 * 257);
    EXPECT_EQ(point[0], 1.0f);
    EXPECT_EQ(point[2], 2.0f);

    ASSERT_TRUE(pickWorld(2.6f, 2.3f, point, false));
    EXPECT_EQ(terrain.pickedFace, 2 * (2 * 256 + 2) + 1);  // right of the diagonal
    EXPECT_EQ(terrain.pickedVertex, 1 + 2 * 257);        // a free pick leaves it alone
    EXPECT_NEAR(point[0], 2.6f, 0.05f);
    EXPECT_NEAR(point[2], 2.3f, 0.05f);
}

TEST_F(TerrainPick, PickedPointsLieOnTheSurfaceUnderThePixel) {
    for (TerrainVertex& v : terrain.vertices)
        v.y = 2.0f * std::sin(v.x * 0.7f) * std::cos(v.z * 0.45f);
    OrbitManipulator orbit(camera);
    orbit.centre[0] = 20.0f;
    orbit.centre[2] = 20.0f;
    orbit.azimuth = 30.0f;
    orbit.elevation = 40.0f;
    orbit.distance = 40.0f;
    orbit.updateCamera();
    loadCamera(camera);

    int hits = 0;
    for (int px = 50; px < TEST_WINDOW_WIDTH; px += 97)
        for (int py = 40; py < TEST_WINDOW_HEIGHT; py += 83) {
            float point[3];
            if (!terrain.pick(point, false, px, py)) continue;
            ++hits;
            const TerrainFace& face = terrain.faces[terrain.pickedFace];
            const TerrainVertex& a = terrain.vertices[face.a];
            const TerrainVertex& b = terrain.vertices[face.b];
            const TerrainVertex& c = terrain.vertices[face.c];
            // Barycentric coordinates of the point's (x, z) in the face's (x, z) triangle.
            const float det = (b.z - c.z) * (a.x - c.x) + (c.x - b.x) * (a.z - c.z);
            const float la = ((b.z - c.z) * (point[0] - c.x) + (c.x - b.x) * (point[2] - c.z)) / det;
            const float lb = ((c.z - a.z) * (point[0] - c.x) + (a.x - c.x) * (point[2] - c.z)) / det;
            const float lc = 1.0f - la - lb;
            EXPECT_GT(std::min({la, lb, lc}), -0.02f) << "outside face " << face.index;
            EXPECT_NEAR(point[1], la * a.y + lb * b.y + lc * c.y, 0.02f);
            const std::array<float, 2> back = projectToWindow(camera, point[0], point[1], point[2]);
            EXPECT_NEAR(back[0], px + 0.5f, 1.5f);
            EXPECT_NEAR(back[1], py + 0.5f, 1.5f);
        }
    EXPECT_GT(hits, 20);
}

TEST_F(TerrainPick, PickingLeavesTheFrameFreeToDraw) {
    lookDownAt(128.0f, 128.0f, 200.0f);
    float point[3];
    ASSERT_TRUE(terrain.pick(point, true, 400, 250));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    terrain.draw();
    GLubyte rgb[3] = {255, 255, 255};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(100, 100, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);  // far from the picked pixel
    EXPECT_FALSE(rgb[0] == 255 && rgb[1] == 255 && rgb[2] == 255);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The drawing as the terrain describes it: one strip per row of cells, vertex by vertex, with
// the program's blending left on.
void drawStripsVertexByVertex(const Terrain& t) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, t.colourMap);
    glColor3f(1.0f, 1.0f, 1.0f);
    auto put = [&t](int k) {
        const TerrainVertex& v = t.vertices[static_cast<size_t>(k)];
        glNormal3f(v.nx, v.ny, v.nz);
        glTexCoord2f(v.x / static_cast<float>(t.columns), v.z / static_cast<float>(t.rows));
        glVertex3f(v.x, v.y, v.z);
    };
    for (int r = 0; r < t.rows; ++r) {
        glBegin(GL_TRIANGLE_STRIP);
        put((r + 1) * (t.columns + 1));
        put(r * (t.columns + 1));
        for (int c = 0; c < t.columns; ++c) {
            put(c + 1 + (r + 1) * (t.columns + 1));
            put(c + 1 + r * (t.columns + 1));
        }
        glEnd();
    }
    if (t.showNormals) {
        glColor3ub(255, 0, 0);
        glBegin(GL_LINES);
        for (const TerrainVertex& v : t.vertices) {
            glVertex3f(v.x, v.y, v.z);
            glVertex3f(v.x + v.nx, v.y + v.ny, v.z + v.nz);
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
}

std::vector<GLubyte> readFrame() {
    std::vector<GLubyte> pixels(static_cast<size_t>(TEST_WINDOW_WIDTH) * TEST_WINDOW_HEIGHT * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

TEST_F(TerrainPick, DrawingGivesTheSamePictureAsStripsGivenVertexByVertex) {
    raiseHills(terrain);
    OrbitManipulator orbit(camera);
    orbit.distance = 260.0f;
    orbit.updateCamera();
    loadCamera(camera);
    ASSERT_TRUE(glIsEnabled(GL_BLEND));

    // Drawn once plain and once with the normals view, whose lines are lit and textured with the
    // normal and texture coordinates the strips leave current, whatever was current before.
    for (bool normals : {false, true}) {
        SCOPED_TRACE(normals ? "normals shown" : "plain");
        terrain.showNormals = normals;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glNormal3f(0.0f, 0.0f, 1.0f);
        glTexCoord2f(0.5f, 0.5f);
        drawStripsVertexByVertex(terrain);
        const std::vector<GLubyte> expected = readFrame();
        // The colour map may be one colour, so the coordinates the lines take are compared too.
        GLfloat expectedCoords[4], drawnCoords[4];
        glGetFloatv(GL_CURRENT_TEXTURE_COORDS, expectedCoords);

        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glNormal3f(0.0f, 0.0f, 1.0f);
        glTexCoord2f(0.5f, 0.5f);
        terrain.draw();
        const std::vector<GLubyte> drawn = readFrame();
        glGetFloatv(GL_CURRENT_TEXTURE_COORDS, drawnCoords);
        EXPECT_FLOAT_EQ(drawnCoords[0], expectedCoords[0]);
        EXPECT_FLOAT_EQ(drawnCoords[1], expectedCoords[1]);
        EXPECT_TRUE(glIsEnabled(GL_BLEND)) << "the overlays drawn after the terrain need blending";

        size_t covered = 0, differing = 0;
        for (size_t i = 0; i < expected.size(); i += 3) {
            if (expected[i] != 255 || expected[i + 1] != 255 || expected[i + 2] != 255) ++covered;
            if (expected[i] != drawn[i] || expected[i + 1] != drawn[i + 1] || expected[i + 2] != drawn[i + 2])
                ++differing;
        }
        EXPECT_GT(covered, expected.size() / 3 / 4) << "the terrain should cover much of the window";
        EXPECT_EQ(differing, 0u);
    }
}

}  // namespace
