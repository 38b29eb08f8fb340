// glebora's start-up objects and GL state, the tool box for NullTool, a failed gesture-set
// load, and what still runs while the radial menu is open.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/sensor/simulated_performer.h"
#include "terrain_app_fixture.h"
#include "terrain/orbit_manipulator.h"
#include "terrain/terra_colorizer.h"
#include "terrain/terrain_app.h"
#include "terrain/terrain_brushes.h"

class TerrainAppEdges : public TerrainAppFixture<TerrainAppEdges> {
protected:
    static std::array<GLubyte, 3> pixel(int x, int y) {
        std::array<GLubyte, 3> rgb{};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
};

TEST_F(TerrainAppEdges, StartUpObjectsAndGlState) {
    // No gesture-set argument: no sets, and the tools are still there to choose.
    EXPECT_EQ(terrainQuery(*app, "sets"), "0");
    EXPECT_EQ(app->leftPointer->colour, (std::array<uint8_t, 4>{{0, 0, 255, 255}}));
    EXPECT_EQ(app->rightPointer->colour, (std::array<uint8_t, 4>{{255, 0, 0, 255}}));
    EXPECT_EQ(app->messageLabel.x, 0u);
    EXPECT_EQ(app->messageLabel.y, 0u);
    EXPECT_EQ(app->messageLabel.colour, (std::array<uint8_t, 4>{{0, 0, 0, 255}}));
    EXPECT_EQ(app->messageLabel.duration, 1500);
    EXPECT_EQ(app->messageLabel.fade, 500u);
    EXPECT_EQ(app->currentColor, (Rgb{{0.0f, 0.55f, 0.75f}}));
    EXPECT_EQ(app->camera->nearPlane, 0.1f);
    EXPECT_EQ(app->camera->farPlane, 1000.0f);
    EXPECT_EQ(app->camera->fieldOfView, 45.0f);
    EXPECT_EQ(app->camera->window, &app->window);
    // The colour brush paints with the very colour the picker writes and the swatch shows.
    ASSERT_NE(app->colorizer, nullptr);
    EXPECT_EQ(&app->colorizer->paintColour, &app->currentColor);
    EXPECT_EQ(&app->colorizer->window, &app->window);
    EXPECT_EQ(app->tools.tools[TERRAIN_TOOL_ORBIT], static_cast<Tool*>(app->orbit));
    EXPECT_EQ(&app->orbit->camera, app->camera.get());

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    GLint source = 0, destination = 0;
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    EXPECT_EQ(source, GL_SRC_ALPHA);
    EXPECT_EQ(destination, GL_ONE_MINUS_SRC_ALPHA);

    // The camera texture: 1024 x 1024 RGB, so the 640 x 480 image fits in its corner.
    ASSERT_NE(app->cameraTexture, 0u);
    glBindTexture(GL_TEXTURE_2D, app->cameraTexture);
    GLint width = 0, height = 0, format = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 1024);
    EXPECT_TRUE(format == GL_RGB || format == GL_RGB8) << std::hex << format;
}

TEST_F(TerrainAppEdges, ToolBoxShowsNoIconForNullTool) {
    // Look straight down from close by, so the terrain fills the window behind the tool box.
    OrbitManipulator& orbit = *app->orbit;
    orbit.elevation = 90.0f;
    orbit.distance = 40.0f;
    orbit.updateCamera();
    const int boxX = TEST_WINDOW_WIDTH - 148, boxY = TEST_WINDOW_HEIGHT - 148;

    app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_NULL];
    frames(1);
    const std::array<GLubyte, 3> terrainBeside = pixel(boxX - 100, boxY + 64);
    EXPECT_NE(terrainBeside, (std::array<GLubyte, 3>{{255, 255, 255}})) << "the terrain should fill the window";
    int differing = 0;
    for (int y = boxY + 4; y < boxY + 128; y += 8)
        for (int x = boxX + 4; x < boxX + 128; x += 8) differing += pixel(x, y) != terrainBeside;
    EXPECT_EQ(differing, 0) << "only the terrain shows where the tool box is";

    // The same spot does show an icon for a tool that has one.
    app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_TERRA_BRUSH];
    ASSERT_GT(app->tools.currentTool->iconTexture(), 0);
    frames(1);
    differing = 0;
    for (int y = boxY + 4; y < boxY + 128; y += 8)
        for (int x = boxX + 4; x < boxX + 128; x += 8) differing += pixel(x, y) != terrainBeside;
    EXPECT_GT(differing, 0);

    orbit.elevation = 50.0f;
    orbit.distance = 300.0f;
    orbit.updateCamera();
}

TEST_F(TerrainAppEdges, AFailedGestureSetLoadChangesAndShowsNothing) {
    app->messageLabel.text = "before";
    EXPECT_FALSE(loadTerrainGestureSets(*app, std::string(BINARY_DIR) + "/no_such_gesture_sets.bin"));
    EXPECT_EQ(terrainQuery(*app, "message"), "before");
    EXPECT_EQ(terrainQuery(*app, "sets"), "0");
    EXPECT_FALSE(loadTerrainGestureSets(*app, ""));  // a cancelled dialog
    EXPECT_EQ(terrainQuery(*app, "message"), "before");
}

TEST_F(TerrainAppEdges, LoadedGestureSetsAreCountedOnScreenButNotWhenNamedAtStart) {
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("glebora_sets_" + std::to_string(getpid()) + ".bin");
    for (GestureType type : {GestureType::LEFT, GestureType::RIGHT}) {
        GestureSet set;
        set.type = type;
        Gesture gesture;
        gesture.type = type;
        for (int i = 0; i < 30; ++i) {
            ArmPose p{};
            p[0] = 100.0f + static_cast<float>(i);
            gesture.poses.push_back(p);
        }
        set.gestures.push_back(gesture);
        app->recognizer->TrainedGestureSets.push_back(set);
    }
    ASSERT_TRUE(app->recognizer->saveGestureSets(file.string()));
    app->recognizer->TrainedGestureSets.clear();

    app->messageLabel.text = "before";
    ASSERT_TRUE(loadTerrainGestureSets(*app, file.string()));
    EXPECT_EQ(terrainQuery(*app, "sets"), "2");
    EXPECT_EQ(terrainQuery(*app, "message"), "Loaded 2 gesture sets from disk...");
    app->recognizer->TrainedGestureSets.clear();

    // Named on the command line: loaded during start-up, without a message.
    TerrainApp withFile;
    withFile.window = app->window;
    createTerrainApp(withFile, std::make_unique<SimulatedPerformer>(3), file.string(), 33);
    EXPECT_EQ(terrainQuery(withFile, "sets"), "2");
    EXPECT_EQ(terrainQuery(withFile, "message"), "");
    fs::remove(file);
    reshapeTerrainApp(*app, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
}

TEST_F(TerrainAppEdges, WhileTheMenuIsOpenPointersMoveButBrushCursorsStay) {
    auto* brush = dynamic_cast<TerrainBrush*>(app->tools.currentTool);
    ASSERT_NE(brush, nullptr);
    handleMenuButton(*app, "BUTTON_ENTER_MENU");
    ASSERT_EQ(app->menu.state, MenuOpening);
    brush->hit = true;
    brush->hitPoint[1] = 123.0f;
    app->rightPointer->lastX = 99.0f;
    app->leftPointer->lastX = 99.0f;
    frames(2);
    EXPECT_NE(app->rightPointer->lastX, 99.0f) << "the right pointer is still updated";
    EXPECT_NE(app->leftPointer->lastX, 99.0f) << "the left pointer is still updated";
    EXPECT_TRUE(brush->hit) << "no hover pick while the menu is not closed";
    EXPECT_EQ(brush->hitPoint[1], 123.0f);

    handleMenuButton(*app, "BUTTON_LEAVE_MENU");
    while (app->menu.state != MenuClosed) advanceRadialMenu(app->menu);
    brush->hit = false;
}

TEST_F(TerrainAppEdges, CameraViewIsAFourByThreeImageCentredAcrossTheFullHeight) {
    terrainKeyboard(*app, 'd');
    frames(1);
    // s = (1 - 1.333 / 1.6) / 2 of the width on either side stays white: x from 66.7 to 733.3.
    const float s = (1.0f - 1.333f / 1.6f) / 2.0f;
    for (int y : {2, 250, 497}) {
        int first = -1, last = -1;
        for (int x = 0; x < TEST_WINDOW_WIDTH; ++x) {
            if (pixel(x, y) != std::array<GLubyte, 3>{{255, 255, 255}}) {
                if (first < 0) first = x;
                last = x;
            }
        }
        EXPECT_NEAR(first, s * TEST_WINDOW_WIDTH, 1.5f) << "row " << y;
        EXPECT_NEAR(last, (1.0f - s) * TEST_WINDOW_WIDTH, 1.5f) << "row " << y;
    }
    terrainKeyboard(*app, 'd');
}

TEST(TerrainKeys, EscapeEndsTheProcessAtOnceWithExitCodeZero) {
    // Re-run in a fresh process: the child must not share this one's GL connection.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            TerrainApp quitting;
            terrainKeyboard(quitting, 27);
            std::fputs("still running\n", stderr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}
