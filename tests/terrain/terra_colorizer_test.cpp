#include "terrain/terra_colorizer.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "gl_test_window.h"
#include "common/widgets/framebuffer_objects.h"

namespace {

ArmPose poseWithLeftWrist(float x, float y) {
    ArmPose pose{};
    pose[POSE_LEFT_WRIST_X] = x;
    pose[POSE_LEFT_WRIST_Y] = y;
    return pose;
}

std::vector<uint8_t> readColourMap(uint32_t texture) {
    std::vector<uint8_t> rgb(512 * 512 * 3);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

void writeColourMap(uint32_t texture, const std::vector<uint8_t>& rgb) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 512, 512, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

const uint8_t* texel(const std::vector<uint8_t>& rgb, int u, int v) { return &rgb[(static_cast<size_t>(v) * 512 + u) * 3]; }

// Resizes the shared test window and waits until GLUT reports the new size.
bool resizeTestWindow(int width, int height) {
    glutDisplayFunc([] {});  // GLUT refuses to process events for a window without one
    glutReshapeWindow(width, height);
    for (int i = 0; i < 50; ++i) {
        glutMainLoopEvent();
        if (glutGet(GLUT_WINDOW_WIDTH) == width && glutGet(GLUT_WINDOW_HEIGHT) == height) {
            // The renderer resizes its buffers for the window at the next swap.
            glutSwapBuffers();
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(TerraColorizerParameters, RadiusSidewaysOpacityUpAndDownWithLimits) {
    Terrain terrain;
    HandPointer pointer(1, nullptr);
    WindowInfo window;
    std::array<float, 3> colour{{1.0f, 0.0f, 0.0f}};
    TerraColorizer tool(pointer, terrain, window, colour);

    tool.onLeftGrip(poseWithLeftWrist(0.02f, 0.0f));  // sideways: R = 4 + 50 * 0.02
    EXPECT_FLOAT_EQ(tool.radius, 5.0f);
    EXPECT_FLOAT_EQ(tool.opacity, 1.0f);
    tool.onLeftGrip(poseWithLeftWrist(-0.5f, 0.0f));  // far left: R stops at 0
    EXPECT_FLOAT_EQ(tool.radius, 0.0f);
    tool.onLeftGrip(poseWithLeftWrist(-0.5f, -5.0f));  // down a lot: o stops at 0.1
    EXPECT_FLOAT_EQ(tool.opacity, COLORIZER_MIN_OPACITY);
    tool.onLeftGrip(poseWithLeftWrist(-0.5f, -4.7f));  // up 0.3
    EXPECT_NEAR(tool.opacity, 0.4f, 1e-6f);
    tool.onLeftGrip(poseWithLeftWrist(-0.5f, 10.0f));
    EXPECT_FLOAT_EQ(tool.opacity, 1.0f);
    // No motion counts as up-and-down and changes nothing.
    tool.onLeftGrip(poseWithLeftWrist(-0.5f, 10.0f));
    EXPECT_FLOAT_EQ(tool.radius, 0.0f);
    EXPECT_FLOAT_EQ(tool.opacity, 1.0f);
}

TEST(TerraColorizerParameters, MissedPickPaintsNothingAndHidesTheCursor) {
    Terrain terrain;
    HandPointer pointer(1, nullptr);
    WindowInfo window;
    std::array<float, 3> colour{{1.0f, 0.0f, 0.0f}};
    TerraColorizer tool(pointer, terrain, window, colour);
    tool.hit = true;
    int picks = 0;
    tool.pickAt = [&](float*, bool snap, int, int) {
        EXPECT_FALSE(snap);  // painting uses the exact surface point
        ++picks;
        return false;
    };
    tool.onRightGrip(ArmPose{});
    EXPECT_EQ(picks, 1);
    EXPECT_FALSE(tool.hit);
    tool.hit = true;
    tool.onNoGrip(ArmPose{});  // pointer not engaged: no pick, cursor hidden
    EXPECT_EQ(picks, 1);
    EXPECT_FALSE(tool.hit);
}

class TerraColorizerStamp : public ::testing::Test {
protected:
    void SetUp() override {
        if (!openTestWindow()) GTEST_SKIP() << "no display";
        terrain.initGraphics();
        ASSERT_NE(terrain.colourMap, 0u);
        original = readColourMap(terrain.colourMap);
    }
    void TearDown() override {
        if (terrain.colourMap != 0) writeColourMap(terrain.colourMap, original);
    }

    // Checks a full-opacity stamp at grid point (x, z): paint colour at the centre, texels
    // farther than 4 R texels from the centre unchanged.
    void expectStamp(const std::vector<uint8_t>& after, float x, float z, float radius) {
        const int cu = static_cast<int>(x * 2.0f), cv = static_cast<int>(z * 2.0f);
        for (int du = -1; du <= 0; ++du) {
            for (int dv = -1; dv <= 0; ++dv) {
                const uint8_t* c = texel(after, cu + du, cv + dv);
                EXPECT_NEAR(c[0], 255, 2) << "centre texel " << cu + du << "," << cv + dv;
                EXPECT_NEAR(c[1], 0, 2);
                EXPECT_NEAR(c[2], 0, 2);
            }
        }
        const int half = static_cast<int>(4.0f * radius);
        int changedOutside = 0, changedInside = 0;
        for (int v = 0; v < 512; ++v) {
            for (int u = 0; u < 512; ++u) {
                const bool differs = std::memcmp(texel(after, u, v), texel(original, u, v), 3) != 0;
                const bool outside = std::abs(u - cu) > half || std::abs(v - cv) > half;
                (outside ? changedOutside : changedInside) += differs ? 1 : 0;
            }
        }
        EXPECT_EQ(changedOutside, 0);
        EXPECT_GT(changedInside, 0);
    }

    Terrain terrain;
    HandPointer pointer{1, nullptr};
    WindowInfo window{"terrain test", 1.6f, TEST_WINDOW_HEIGHT, TEST_WINDOW_WIDTH};
    std::array<float, 3> colour{{1.0f, 0.0f, 0.0f}};
    std::vector<uint8_t> original;
};

TEST_F(TerraColorizerStamp, PaintsTheMapThroughAWindowLowerThanTheMap) {
    ASSERT_LT(window.height, 512u);  // the shared test window is 800 x 500
    ASSERT_TRUE(framebufferObjectsAvailable());
    TerraColorizer tool(pointer, terrain, window, colour);
    ASSERT_NE(tool.brushMask, 0u);

    // The window's back buffer cannot hold the map: that route refuses instead of corrupting.
    EXPECT_FALSE(tool.stamp(200.0f, 200.0f, StampTarget::BACK_BUFFER));
    EXPECT_EQ(readColourMap(terrain.colourMap), original);

    // Near the top edge (v around 500): only reachable off-screen.
    ASSERT_TRUE(tool.stamp(100.0f, 250.0f));
    expectStamp(readColourMap(terrain.colourMap), 100.0f, 250.0f, tool.radius);

    // The viewport and the projection the frame loop relies on come back unchanged.
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], TEST_WINDOW_WIDTH);
    EXPECT_EQ(viewport[3], TEST_WINDOW_HEIGHT);
}

TEST_F(TerraColorizerStamp, ZeroRadiusAndLowOpacity) {
    TerraColorizer tool(pointer, terrain, window, colour);
    tool.radius = 0.0f;
    ASSERT_TRUE(tool.stamp(64.0f, 64.0f));
    EXPECT_EQ(readColourMap(terrain.colourMap), original);

    // The lowest opacity still leaves a mark: about a tenth of the way to red at the centre.
    tool.radius = 4.0f;
    tool.opacity = COLORIZER_MIN_OPACITY;
    ASSERT_TRUE(tool.stamp(64.0f, 64.0f));
    const std::vector<uint8_t> after = readColourMap(terrain.colourMap);
    const uint8_t* before = texel(original, 128, 128);
    const uint8_t* c = texel(after, 128, 128);
    EXPECT_NEAR(c[0], 0.1f * 255 + 0.9f * before[0], 3.0f);
    EXPECT_NEAR(c[1], 0.9f * before[1], 3.0f);
}

TEST_F(TerraColorizerStamp, OffscreenMatchesTheWindowMethodWithinOneStep) {
    // The two routes rasterise the same stamp into different buffers; the software renderer
    // rounds a few blended texels one step apart, nothing more.
    if (!resizeTestWindow(TEST_WINDOW_WIDTH, 600)) GTEST_SKIP() << "window could not be resized";
    WindowInfo tall{"terrain test", TEST_WINDOW_WIDTH / 600.0f, 600, TEST_WINDOW_WIDTH};
    glViewport(0, 0, TEST_WINDOW_WIDTH, 600);
    TerraColorizer tool(pointer, terrain, tall, colour);
    std::mt19937 random(7);
    auto uniform = [&random](float low, float high) {
        return std::uniform_real_distribution<float>(low, high)(random);
    };
    for (int stamp = 0; stamp < 12; ++stamp) {
        // The first one hangs over the left edge.
        const float x = stamp == 0 ? 3.0f : uniform(0.0f, 256.0f);
        const float y = uniform(0.0f, 256.0f);
        tool.radius = uniform(1.0f, 15.0f);
        tool.opacity = uniform(0.1f, 1.0f);
        colour = {{uniform(0.0f, 1.0f), uniform(0.0f, 1.0f), uniform(0.0f, 1.0f)}};
        SCOPED_TRACE(testing::Message() << "stamp at " << x << ", " << y << " R " << tool.radius);
        writeColourMap(terrain.colourMap, original);
        ASSERT_TRUE(tool.stamp(x, y, StampTarget::BACK_BUFFER));
        const std::vector<uint8_t> viaWindow = readColourMap(terrain.colourMap);
        writeColourMap(terrain.colourMap, original);
        ASSERT_TRUE(tool.stamp(x, y, StampTarget::OFFSCREEN));
        const std::vector<uint8_t> viaOffscreen = readColourMap(terrain.colourMap);
        ASSERT_NE(viaWindow, original);
        ASSERT_EQ(viaWindow.size(), viaOffscreen.size());
        int worst = 0;
        for (size_t i = 0; i < viaWindow.size(); ++i) {
            worst = std::max(worst, std::abs(viaWindow[i] - viaOffscreen[i]));
        }
        EXPECT_LE(worst, 1);
    }
    resizeTestWindow(TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
    glViewport(0, 0, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
}

TEST_F(TerraColorizerStamp, AStampAtTheMapsCornerIsClippedNotWrapped) {
    TerraColorizer tool(pointer, terrain, window, colour);
    // At terrain (1, 255) the 8 R = 32 texel wide stamp hangs over the left and top edges.
    ASSERT_TRUE(tool.stamp(1.0f, 255.0f));
    const std::vector<uint8_t> after = readColourMap(terrain.colourMap);
    expectStamp(after, 1.0f, 255.0f, tool.radius);
    // Nothing reappears on the opposite edges.
    for (int k = 0; k < 512; ++k) {
        ASSERT_EQ(std::memcmp(texel(after, 511, k), texel(original, 511, k), 3), 0) << "right edge " << k;
        ASSERT_EQ(std::memcmp(texel(after, k, 0), texel(original, k, 0), 3), 0) << "bottom edge " << k;
    }
}

TEST_F(TerraColorizerStamp, WithoutAMaskTheStampIsAPlainSquareOfEightRTexels) {
    TerraColorizer tool(pointer, terrain, window, colour);
    tool.brushMask = 0;  // as when the mask image is missing
    tool.radius = 2.0f;
    ASSERT_TRUE(tool.stamp(64.0f, 64.0f));
    const std::vector<uint8_t> after = readColourMap(terrain.colourMap);
    // Centre texel 128, half-width 2 R grid units = 8 texels: texels 120 to 135 in both axes.
    for (int v = 112; v < 144; ++v) {
        for (int u = 112; u < 144; ++u) {
            const bool inside = u >= 120 && u < 136 && v >= 120 && v < 136;
            const uint8_t* c = texel(after, u, v);
            if (inside) {
                ASSERT_EQ(c[0], 255) << u << ", " << v;
                ASSERT_EQ(c[1], 0) << u << ", " << v;
                ASSERT_EQ(c[2], 0) << u << ", " << v;
            } else {
                ASSERT_EQ(std::memcmp(c, texel(original, u, v), 3), 0) << u << ", " << v;
            }
        }
    }
}

TEST_F(TerraColorizerStamp, TheNextStampTakesTheCurrentColour) {
    TerraColorizer tool(pointer, terrain, window, colour);
    ASSERT_TRUE(tool.stamp(40.0f, 40.0f));
    colour = {{0.0f, 0.0f, 1.0f}};  // the colour picker changed the program's colour
    ASSERT_TRUE(tool.stamp(120.0f, 40.0f));
    const std::vector<uint8_t> after = readColourMap(terrain.colourMap);
    const uint8_t* first = texel(after, 80, 80);
    const uint8_t* second = texel(after, 240, 80);
    EXPECT_NEAR(first[0], 255, 2);
    EXPECT_NEAR(first[2], 0, 2);
    EXPECT_NEAR(second[0], 0, 2);
    EXPECT_NEAR(second[2], 255, 2);
}
