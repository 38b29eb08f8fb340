#include "common/widgets/hand_pointer_draw.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "common/widgets/texture.h"
#include "widgets/gl_test_context.h"

namespace {

constexpr int SIDE = 256;

// The frame's window-pixel overlay on the shared test window, cleared to black.
class HandPointerDraw : public testing::Test {
protected:
    void SetUp() override {
        if (!gltest::openContext(SIDE, SIDE)) {
            GTEST_SKIP() << "no X display";
        }
        gltest::beginFrame(SIDE, SIDE);
        window.width = SIDE;
        window.height = SIDE;
    }

    std::array<uint8_t, 3> pixel(int x, int y) {
        const std::array<uint8_t, 4> rgba = gltest::readPixel(x, y);
        return {{rgba[0], rgba[1], rgba[2]}};
    }

    // A pointer in the middle of the window (128, 128), tinted red, textures missing
    // (the quad is then drawn untextured in the tint).
    HandPointer centredPointer(int state) {
        HandPointer p(1, &window);
        p.x = 0.25f;
        p.y = 0.15f;
        p.state = state;
        p.colour = {{255, 0, 0, 255}};
        return p;
    }

    WindowInfo window;
};

using Rgb = std::array<uint8_t, 3>;
const Rgb RED = {{255, 0, 0}};
const Rgb BLACK = {{0, 0, 0}};

TEST_F(HandPointerDraw, OnlyAnEngagedPointerIsDrawn) {
    for (int state : {POINTER_IDLE, POINTER_ARMING}) {
        EXPECT_FALSE(drawHandPointer(centredPointer(state), true));
    }
    EXPECT_EQ(pixel(128, 128), BLACK);
    EXPECT_TRUE(drawHandPointer(centredPointer(POINTER_ENGAGED), false));
    EXPECT_EQ(pixel(128, 128), RED);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));   // texturing left off for the overlay
}

TEST_F(HandPointerDraw, OpenPointerIsSizeWideClosedHandTwiceThat) {
    HandPointer p = centredPointer(POINTER_ENGAGED);   // centre (128, 128), 20 pixels
    drawHandPointer(p, false);
    EXPECT_EQ(pixel(133, 128), RED);
    EXPECT_EQ(pixel(143, 128), BLACK);
    EXPECT_EQ(pixel(128, 113), BLACK);
    drawHandPointer(p, true);
    EXPECT_EQ(pixel(143, 128), RED);
    EXPECT_EQ(pixel(128, 113), RED);
    EXPECT_EQ(pixel(153, 128), BLACK);
}

TEST_F(HandPointerDraw, TexturesLoadWhenTheImagesExist) {
    HandPointer p = createHandPointer(0, &window, 0, 0, 255, 255);
    EXPECT_EQ(p.hand, 0);
    EXPECT_EQ(p.colour, (std::array<uint8_t, 4>{{0, 0, 255, 255}}));
    // The repository ships both images, and the tests run from a build folder beside images/
    // as the programs do: both must load.
    ASSERT_TRUE(std::ifstream(std::string(SOURCE_DIR) + "/images/pointer_default.png").good());
    ASSERT_TRUE(std::ifstream(std::string(SOURCE_DIR) + "/images/pointer_closed_hand.png").good());
    EXPECT_EQ(std::string(POINTER_DEFAULT_IMAGE), "../images/pointer_default.png");
    EXPECT_EQ(std::string(POINTER_CLOSED_IMAGE), "../images/pointer_closed_hand.png");
    EXPECT_NE(p.defaultTexture, 0u);
    EXPECT_NE(p.closedTexture, 0u);
}

}  // namespace
