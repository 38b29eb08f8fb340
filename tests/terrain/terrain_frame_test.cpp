// glebora's frame loop: the order in which it drains its queues, and the GL state every frame
// leaves behind, whatever the menu, the view and the current tool.
#include <GL/gl.h>

#include <array>
#include <sstream>
#include <string>

#include "terrain_app_fixture.h"

namespace {

class TerrainFrame : public TerrainAppFixture<TerrainFrame> {
protected:
    std::string toolName() const { return terrainToolName(*app, app->tools.currentTool); }

    // Frames until the menu is closed again (it closes in at most 25 frames).
    void closeMenu() {
        for (int i = 0; i < 40 && app->menu.state != MenuClosed; ++i) frames(1);
    }
};

// Menu buttons pressed in the previous frame are handled before its recognised gestures: a tool
// chosen from the menu and the rest pose reported in the same frame end on NullTool, armed.
TEST_F(TerrainFrame, MenuButtonsAreHandledBeforeResults) {
    std::ostringstream quiet;
    std::ostream* console = app->recognizer->console;
    app->recognizer->console = &quiet;
    for (int i = 0; i < 60 && !app->recognizer->hasResults(); ++i) frames(1);
    ASSERT_TRUE(app->recognizer->hasResults()) << "the performer at rest gave no default gesture";
    app->buttonEvents.push_back("BUTTON_SMOOTH_BRUSH");
    frames(1);
    EXPECT_EQ(toolName(), "NullTool");
    EXPECT_TRUE(app->tools.gestureArmed);
    closeMenu();
    // Leave the queue empty for the next test.
    app->tools.gestureArmed = true;
    frames(2);
    while (app->recognizer->hasResults()) app->recognizer->popResult();
    app->recognizer->console = console;
}

// Whatever the menu does, whichever tool draws its overlay, and with the camera view on, a
// frame leaves depth test on, the modelview matrix current, and both matrix stacks and the
// viewport as it found them.
TEST_F(TerrainFrame, EveryFrameRestoresTheMatricesDepthTestAndViewport) {
    const auto check = [](const std::string& where, GLint projectionDepth, GLint modelviewDepth) {
        GLint value = 0;
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &value);
        EXPECT_EQ(value, projectionDepth) << where;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &value);
        EXPECT_EQ(value, modelviewDepth) << where;
        glGetIntegerv(GL_MATRIX_MODE, &value);
        EXPECT_EQ(value, GL_MODELVIEW) << where;
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(viewport[2], TEST_WINDOW_WIDTH) << where;
        EXPECT_EQ(viewport[3], TEST_WINDOW_HEIGHT) << where;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << where;
    };
    std::ostringstream quiet;
    std::ostream* console = app->recognizer->console;
    app->recognizer->console = &quiet;
    GLint projectionDepth = 0, modelviewDepth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelviewDepth);

    for (int tool = TERRAIN_TOOL_NULL; tool < TERRAIN_TOOL_COUNT; ++tool) {
        selectTool(app->tools, tool);
        frames(1);
        check("tool " + toolName(), projectionDepth, modelviewDepth);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << toolName();
    }
    // The menu opened by its button, then each animation state drawn once.
    app->buttonEvents.push_back("BUTTON_ENTER_MENU");
    frames(1);
    ASSERT_EQ(app->menu.state, MenuOpening);
    check("menu opening", projectionDepth, modelviewDepth);
    for (int state : {MenuOpen, MenuClosing, MenuOpening}) {
        app->menu.state = state;
        app->menu.counter = 15;
        frames(1);
        check(std::string("menu ") + menuStateName(state), projectionDepth, modelviewDepth);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << menuStateName(state);
    }
    app->buttonEvents.push_back("BUTTON_LEAVE_MENU");
    closeMenu();
    check("after closing", projectionDepth, modelviewDepth);

    app->cameraView = true;
    frames(2);
    check("camera view", projectionDepth, modelviewDepth);
    app->cameraView = false;
    app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_TERRA_BRUSH];
    while (app->recognizer->hasResults()) app->recognizer->popResult();
    app->recognizer->console = console;
}

}  // namespace
