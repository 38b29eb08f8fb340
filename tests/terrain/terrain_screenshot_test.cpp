// Renders the terrain after a few scripted strokes of each brush, aimed by the right hand's
// pointer through the real picking, and keeps the frame as artefacts/terrain_brushes.png.
#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

#include "gl_test_window.h"
#include "terrain/orbit_manipulator.h"
#include "terrain/terrain_brushes.h"

namespace {

constexpr int W = TEST_WINDOW_WIDTH;
constexpr int H = TEST_WINDOW_HEIGHT;

std::vector<unsigned char> readFrame() {
    std::vector<unsigned char> pixels(W * H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

class TerrainScreenshot : public ::testing::Test {
protected:
    WindowInfo window{"terrain test", 1.6f, H, W};
    Camera camera{&window};
    Terrain terrain;
    HandPointer pointer{1, &window};

    void SetUp() override {
        if (!openTestWindow()) GTEST_SKIP() << "no display";
        terrain.initGraphics();
        pointer.state = POINTER_ENGAGED;
    }

    // Places the right pointer over window pixel (sx, sy).
    void pointAt(float sx, float sy) {
        pointer.x = sx / W * (pointer.xMax - pointer.xMin) + pointer.xMin;
        pointer.y = sy / H * (pointer.yMax - pointer.yMin) + pointer.yMin;
    }

    void strokes(TerrainBrush& brush, float sx, float sy, int count) {
        pointAt(sx, sy);
        for (int k = 0; k < count; ++k) {
            loadCamera(camera);  // picking uses the camera's matrices, as in the frame loop
            brush.onRightGrip(ArmPose{});
            ASSERT_TRUE(brush.hit) << "stroke at " << sx << ", " << sy << " missed";
        }
    }

    // The height of the vertex nearest (horizontally) to the brush's last hit.
    float heightUnder(const TerrainBrush& brush) const {
        const TerrainVertex* nearest = &terrain.vertices.front();
        float best = -1.0f;
        for (const TerrainVertex& v : terrain.vertices) {
            const float d = std::hypot(v.x - brush.hitPoint[0], v.z - brush.hitPoint[2]);
            if (best < 0.0f || d < best) {
                best = d;
                nearest = &v;
            }
        }
        return nearest->y;
    }

    void drawFrame(TerrainBrush* cursor) {
        loadCamera(camera);
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        terrain.draw();
        if (cursor != nullptr) cursor->drawOverlay();
        glDisable(GL_LIGHTING);
        glFinish();
    }
};

TEST_F(TerrainScreenshot, ScriptedStrokesShapeTheRenderedTerrain) {
    OrbitManipulator orbit(camera);
    orbit.distance = 110.0f;
    orbit.elevation = 35.0f;
    orbit.azimuth = 20.0f;
    orbit.updateCamera();

    drawFrame(nullptr);
    const std::vector<unsigned char> flat = readFrame();

    TerraBrush terra(pointer, terrain);
    terra.radius = 10.0f;
    strokes(terra, 400, 250, 12);
    const float raised = heightUnder(terra);
    EXPECT_GT(raised, 1.0f) << "a positive radius raises a bump";
    terra.radius = -7.0f;
    strokes(terra, 230, 170, 8);
    EXPECT_LT(heightUnder(terra), -0.5f) << "a negative radius digs a pit";
    RandomizeBrush randomize(pointer, terrain, 20261207);
    randomize.radius = 9.0f;
    randomize.amplitude = 1.0f;
    strokes(randomize, 560, 300, 10);
    SmoothBrush smooth(pointer, terrain);
    smooth.radius = 5.0f;
    strokes(smooth, 560, 300, 3);
    BulldozeBrush bulldoze(pointer, terrain);
    bulldoze.radius = 5.0f;
    bulldoze.level = 1.0f;
    strokes(bulldoze, 400, 250, 4);
    // The vertex at the centre lies on the level at once: the bump is cut down to it.
    EXPECT_FLOAT_EQ(heightUnder(bulldoze), 1.0f);
    DumpBrush dump(pointer, terrain);
    dump.radius = 6.0f;
    dump.level = 2.0f;
    strokes(dump, 620, 150, 6);
    EXPECT_FLOAT_EQ(heightUnder(dump), 2.0f);  // filled up to the level

    float low = 0.0f, high = 0.0f;
    for (const TerrainVertex& v : terrain.vertices) {
        low = std::min(low, v.y);
        high = std::max(high, v.y);
    }
    EXPECT_GT(high, 2.0f);
    EXPECT_LT(low, -1.0f);

    pointAt(400, 250);
    loadCamera(camera);
    terra.radius = 10.0f;
    terra.onNoGrip(ArmPose{});  // hover: the cursor over the plateau
    ASSERT_TRUE(terra.hit);
    drawFrame(&terra);
    std::vector<unsigned char> frame = readFrame();

    size_t terrainPixels = 0, changed = 0;
    for (size_t k = 0; k < frame.size(); k += 3) {
        terrainPixels += !(frame[k] == 255 && frame[k + 1] == 255 && frame[k + 2] == 255);
        changed += frame[k] != flat[k] || frame[k + 1] != flat[k + 1] || frame[k + 2] != flat[k + 2];
    }
    EXPECT_GT(terrainPixels, frame.size() / 3 / 2);  // the terrain fills most of the view
    EXPECT_GT(changed, 5000u);                       // and the strokes show

    // GL rows run bottom to top; image files run top to bottom.
    std::vector<unsigned char> flipped(frame.size());
    for (int row = 0; row < H; ++row)
        std::copy_n(&frame[static_cast<size_t>(H - 1 - row) * W * 3], W * 3,
                    &flipped[static_cast<size_t>(row) * W * 3]);
    const std::filesystem::path folder = std::filesystem::path(BINARY_DIR) / "artefacts";
    std::filesystem::create_directories(folder);
    const std::string file = (folder / "terrain_brushes.png").string();
    ASSERT_NE(stbi_write_png(file.c_str(), W, H, 3, flipped.data(), W * 3), 0);
    EXPECT_GT(std::filesystem::file_size(file), 1000u);
}

}  // namespace
