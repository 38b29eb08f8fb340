#include "common/widgets/hand_pointer_draw.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>

#include "common/widgets/texture.h"

namespace {

constexpr int SIDE = 200;

// A small window with a window-pixel orthographic projection, as the frame's overlay has.
// Skips when no display is available (run the suite under Xvfb).
class HandPointerDraw : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no X display";
        }
        if (glutGet(GLUT_INIT_STATE) == 0) {
            int argc = 1;
            char name[] = "hand_pointer_draw_test";
            char* argv[] = {name, nullptr};
            glutInit(&argc, argv);
        }
        glutInitDisplayMode(GLUT_RGBA | GLUT_SINGLE);
        glutInitWindowSize(SIDE, SIDE);
        windowId = glutCreateWindow("hand pointer");
        glViewport(0, 0, SIDE, SIDE);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, SIDE, 0, SIDE, -100, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        window.width = SIDE;
        window.height = SIDE;
    }
    void TearDown() override {
        if (windowId != 0) glutDestroyWindow(windowId);
    }

    std::array<uint8_t, 3> pixel(int x, int y) {
        glFinish();
        std::array<uint8_t, 3> rgb{};
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }

    // A pointer in the middle of the window, tinted red, textures missing (untextured quad).
    HandPointer centredPointer(int state) {
        HandPointer p(1, &window);
        p.x = 0.25f;
        p.y = 0.15f;
        p.state = state;
        p.colour = {{255, 0, 0, 255}};
        return p;
    }

    int windowId = 0;
    WindowInfo window;
};

using Rgb = std::array<uint8_t, 3>;
const Rgb RED = {{255, 0, 0}};
const Rgb WHITE = {{255, 255, 255}};

TEST_F(HandPointerDraw, OnlyAnEngagedPointerIsDrawn) {
    for (int state : {POINTER_IDLE, POINTER_ARMING}) {
        EXPECT_FALSE(drawHandPointer(centredPointer(state), true));
    }
    EXPECT_EQ(pixel(100, 100), WHITE);
    EXPECT_TRUE(drawHandPointer(centredPointer(POINTER_ENGAGED), false));
    EXPECT_EQ(pixel(100, 100), RED);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));   // texturing left off for the overlay
}

TEST_F(HandPointerDraw, OpenPointerIsSizeWideClosedHandTwiceThat) {
    HandPointer p = centredPointer(POINTER_ENGAGED);   // centre (100, 100), 20 pixels
    drawHandPointer(p, false);
    EXPECT_EQ(pixel(105, 100), RED);
    EXPECT_EQ(pixel(115, 100), WHITE);
    EXPECT_EQ(pixel(100, 85), WHITE);
    drawHandPointer(p, true);
    EXPECT_EQ(pixel(115, 100), RED);
    EXPECT_EQ(pixel(100, 85), RED);
    EXPECT_EQ(pixel(125, 100), WHITE);
}

TEST_F(HandPointerDraw, TexturesLoadWhenTheImagesExist) {
    HandPointer p = createHandPointer(0, &window, 0, 0, 255, 255);
    EXPECT_EQ(p.hand, 0);
    EXPECT_EQ(p.colour, (std::array<uint8_t, 4>{{0, 0, 255, 255}}));
    const bool defaultExists = std::ifstream(imagePath(POINTER_DEFAULT_IMAGE)).good();
    const bool closedExists = std::ifstream(imagePath(POINTER_CLOSED_IMAGE)).good();
    EXPECT_EQ(p.defaultTexture != 0, defaultExists);
    EXPECT_EQ(p.closedTexture != 0, closedExists);
}

}  // namespace
