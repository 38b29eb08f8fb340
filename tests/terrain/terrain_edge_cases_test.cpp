// A terrain whose colour-map image is missing: drawn untextured, still picked, painted and
// exported on texture 0. Under a real GL context (Xvfb with Mesa's software renderer).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gl_test_window.h"
#include "terrain/export_maps.h"
#include "terrain/orbit_manipulator.h"
#include "terrain/terrain.h"
#include "support/shell_quote.h"

namespace {

TEST(TerrainWithoutColourMap, DrawsUntexturedAndStillPicksAndExports) {
    if (!openTestWindow()) GTEST_SKIP() << "no display";
    WindowInfo window{"terrain test", 1.6f, TEST_WINDOW_HEIGHT, TEST_WINDOW_WIDTH};
    Camera camera(&window);
    Terrain terrain;
    terrain.initGraphics("../images/no_such_colour_map.png");
    EXPECT_EQ(terrain.colourMap, 0u);

    // Looking down at 30 degrees, the flat terrain catches half the head-on light: an even
    // grey, the same everywhere, with nothing of a texture in it.
    OrbitManipulator orbit(camera);
    orbit.elevation = 30.0f;
    orbit.distance = 60.0f;
    orbit.updateCamera();
    loadCamera(camera);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    terrain.draw();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    GLubyte centre[3] = {0, 0, 0}, aside[3] = {0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(TEST_WINDOW_WIDTH / 2, TEST_WINDOW_HEIGHT / 2, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, centre);
    glReadPixels(TEST_WINDOW_WIDTH / 2 + 150, TEST_WINDOW_HEIGHT / 2 - 100, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, aside);
    EXPECT_LT(centre[0], 250);  // not the white background
    EXPECT_EQ(centre[0], centre[1]);
    EXPECT_EQ(centre[1], centre[2]);
    EXPECT_NEAR(centre[0], aside[0], 1);
    glDisable(GL_LIGHTING);

    float point[3];
    EXPECT_TRUE(terrain.pick(point, true, TEST_WINDOW_WIDTH / 2, TEST_WINDOW_HEIGHT / 2));
    EXPECT_NEAR(point[0], 128.0f, 1.5f);
    EXPECT_NEAR(point[2], 128.0f, 1.5f);

    // Export goes on: the colour map reads as nothing and is written black, the height maps as
    // usual.
    const std::string folder = std::string(BINARY_DIR) + "/export_no_map_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p " + shellQuoted(folder)).c_str()), 0);
    terrain.vertexAt(0, 0).y = 1.0f;
    const ExportOutcome outcome = exportMaps(terrain, folder + "/flat");
    EXPECT_TRUE(outcome.ok) << outcome.message;
    std::ifstream in(folder + "/flat" + COLOUR_MAP_SUFFIX, std::ios::binary);
    const std::vector<uint8_t> colour((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(colour.size(), 18u + 512u * 512u * 3u);
    EXPECT_EQ(colour[18 + 1000], 0);
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

}  // namespace
