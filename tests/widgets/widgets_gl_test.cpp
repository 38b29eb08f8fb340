// Draws buttons, labels and the countdown into a real GL context and reads the pixels back.
#include <SOIL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "common/widgets/button.h"
#include "common/widgets/label.h"
#include "common/widgets/texture.h"
#include "gl_test_context.h"

namespace {

constexpr int SIDE = 256;

struct Block {
    int x0, y0, w, h;
    std::vector<uint8_t> rgba;
    const uint8_t* at(int x, int y) const { return &rgba[((y - y0) * w + (x - x0)) * 4]; }
};

Block readBlock(int x0, int y0, int w, int h) {
    Block b{x0, y0, w, h, std::vector<uint8_t>(size_t(w) * h * 4)};
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x0, y0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, b.rgba.data());
    return b;
}

bool dark(const std::array<uint8_t, 4>& p) { return p[0] < 20 && p[1] < 20 && p[2] < 20; }

class WidgetsGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gltest::openContext(SIDE, SIDE)) GTEST_SKIP() << "no display";
        gltest::beginFrame(SIDE, SIDE);
    }
};

}  // namespace

static void checkButtonDrawsItsTintedDiscAndIconAtItsCentre() {
    Button b = createButton("BUTTON_TEST", 100, 120, 40, 255, 0, 0, "../images/add_button.png");
    ASSERT_NE(b.backgroundTexture, 0u) << lastImageError();
    ASSERT_NE(b.iconTexture, 0u) << lastImageError();
    b.visible = true;
    b.state = ButtonPressed;  // opaque, and long past the press flash
    b.hoverStart = 1000;
    drawButton(b, 5000);

    const auto centre = gltest::readPixel(100, 120);  // the green plus
    EXPECT_GT(centre[1], 100);
    EXPECT_GT(centre[1], centre[0]);
    const auto ring = gltest::readPixel(130, 120);  // the red-tinted background
    EXPECT_GT(ring[0], 120);
    EXPECT_LT(ring[1], 40);
    EXPECT_LT(ring[2], 40);
    EXPECT_TRUE(dark(gltest::readPixel(137, 157)));  // square corner outside the disc
    EXPECT_TRUE(dark(gltest::readPixel(20, 20)));
    EXPECT_TRUE(dark(gltest::readPixel(100, 170)));

    // Disabled buttons are grey whatever their colour.
    gltest::beginFrame(SIDE, SIDE);
    b.state = ButtonDisabled;
    drawButton(b, 5000);
    const auto grey = gltest::readPixel(130, 120);
    EXPECT_GT(grey[0], 100);
    EXPECT_NEAR(grey[0], grey[1], 6);
    EXPECT_NEAR(grey[1], grey[2], 6);

    // Invisible buttons draw nothing.
    gltest::beginFrame(SIDE, SIDE);
    b.visible = false;
    drawButton(b, 5000);
    EXPECT_TRUE(dark(gltest::readPixel(130, 120)));
}

static void checkImagesAreDrawnWithTheirFirstRowAtTheTop() {
    // 4 x 4: red top-left, green top-right, blue bottom-left, white bottom-right.
    std::vector<unsigned char> pixels(4 * 4 * 3);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            unsigned char* p = &pixels[(y * 4 + x) * 3];
            const bool top = y < 2, left = x < 2;
            p[0] = (top && left) || (!top && !left) ? 255 : 0;
            p[1] = (top && !left) || (!top && !left) ? 255 : 0;
            p[2] = !top ? 255 : 0;
        }
    }
    const std::string path = std::string(BINARY_DIR) + "/widgets_quadrants_" + std::to_string(getpid()) + ".tga";
    ASSERT_TRUE(SOIL_save_image(path.c_str(), SOIL_SAVE_TYPE_TGA, 4, 4, 3, pixels.data()));
    Button b = makeButton("BUTTON_Q", 128, 128, 64, 0, 0, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);  // GL's default, as at start-up
    b.iconTexture = loadTexture(path, TEXTURE_MIPMAPS);
    std::remove(path.c_str());
    ASSERT_NE(b.iconTexture, 0u) << lastImageError();
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4) << "the caller's alignment is put back";
    // The 2 x 2 mipmap level's rows are 6 bytes: read as 4-byte aligned they would come out skewed.
    unsigned char level1[2 * 2 * 3] = {};
    glBindTexture(GL_TEXTURE_2D, b.iconTexture);
    glGetTexImage(GL_TEXTURE_2D, 1, GL_RGB, GL_UNSIGNED_BYTE, level1);
    const unsigned char expectedLevel1[2 * 2 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(level1[i], expectedLevel1[i], 1) << "byte " << i;
    b.visible = true;
    b.state = ButtonDisabled;
    drawButton(b, 0);

    const auto topLeft = gltest::readPixel(128 - 32, 128 + 32);
    const auto topRight = gltest::readPixel(128 + 32, 128 + 32);
    const auto bottomLeft = gltest::readPixel(128 - 32, 128 - 32);
    const auto bottomRight = gltest::readPixel(128 + 32, 128 - 32);
    EXPECT_GT(topLeft[0], 200);
    EXPECT_LT(topLeft[1], 50);
    EXPECT_GT(topRight[1], 200);
    EXPECT_LT(topRight[0], 50);
    EXPECT_GT(bottomLeft[2], 200);
    EXPECT_LT(bottomLeft[0], 50);
    EXPECT_GT(bottomRight[0], 200);
    EXPECT_GT(bottomRight[1], 200);
}

static void checkMissingImagesGiveTextureZeroAndAReason() {
    EXPECT_EQ(loadTexture("../images/no_such_image.png", TEXTURE_MIPMAPS), 0u);
    EXPECT_NE(std::string(lastImageError()).find("no_such_image.png"), std::string::npos);

    const std::string junk = std::string(BINARY_DIR) + "/widgets_junk_" + std::to_string(getpid()) + ".png";
    FILE* f = std::fopen(junk.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("not an image at all", f);
    std::fclose(f);
    EXPECT_EQ(loadTexture(junk, TEXTURE_MIPMAPS), 0u);
    EXPECT_NE(std::string(lastImageError()).find("widgets_junk_"), std::string::npos);
    std::remove(junk.c_str());

    EXPECT_NE(loadTexture("../images/frame.png", TEXTURE_MIPMAPS), 0u);
    EXPECT_STREQ(lastImageError(), "");
}

static void checkLabelDrawsItsGlyphsAtItsCornerAndSkipsUnknownCharacters() {
    Label label = createLabel();
    ASSERT_NE(label.textList, 0u);
    label.text = "H";
    label.height = 40;
    label.x = 50;
    label.y = 60;
    label.colour = {{255, 255, 0, 255}};
    label.duration = LABEL_ALWAYS_VISIBLE;
    rebuildLabel(label, 1000);
    drawLabel(label, 1000);
    const Block plain = readBlock(0, 0, SIDE, SIDE);

    // "H" spans 0.1712..0.2034 of the atlas: about 28 pixels wide at height 40.
    int ink = 0;
    for (int y = 0; y < SIDE; ++y) {
        for (int x = 0; x < SIDE; ++x) {
            const uint8_t* p = plain.at(x, y);
            if (p[0] < 128) continue;
            ++ink;
            EXPECT_TRUE(p[1] > 128 && p[2] < 64) << x << "," << y;
            EXPECT_TRUE(x >= 50 && x <= 80 && y >= 60 && y <= 100) << x << "," << y;
        }
    }
    EXPECT_GT(ink, 100);

    // A character without a glyph neither draws nor moves the pen.
    gltest::beginFrame(SIDE, SIDE);
    label.text = "%H_";
    rebuildLabel(label, 1000);
    drawLabel(label, 1000);
    EXPECT_EQ(readBlock(0, 0, SIDE, SIDE).rgba, plain.rgba);

    // Invisible once the display time and both fades are over.
    gltest::beginFrame(SIDE, SIDE);
    label.duration = 1500;
    label.fade = 500;
    rebuildLabel(label, 1000);
    drawLabel(label, 3500);
    const Block after = readBlock(0, 0, SIDE, SIDE);
    bool anything = false;
    for (size_t i = 0; i < after.rgba.size(); i += 4) anything |= after.rgba[i] > 0;
    EXPECT_FALSE(anything);
}

static void checkLabelBoxShowsOnlyAboveAlpha150() {
    Label label = createLabel();
    label.text = "Hi";
    label.height = 20;
    label.x = 10;
    label.y = 100;
    label.withBox = true;
    label.duration = LABEL_ALWAYS_VISIBLE;
    label.colour = {{0, 0, 0, 255}};
    rebuildLabel(label, 0);
    drawLabel(label, 0);
    // Inside the box's left margin (0.1 glyph units = 43.75 pixels at height 20), no glyph.
    const auto box = gltest::readPixel(20, 110);
    EXPECT_NEAR(box[0], 105, 3);  // white at alpha 255 - 150 over black

    gltest::beginFrame(SIDE, SIDE);
    label.colour = {{0, 0, 0, 150}};
    rebuildLabel(label, 0);
    drawLabel(label, 0);
    EXPECT_TRUE(dark(gltest::readPixel(20, 110)));
}

TEST_F(WidgetsGlTest, CountdownDrawsTheSecondsLeftCentredAndNothingAtTheEnd) {
    const DigitTextures digits = loadDigitTextures();
    for (unsigned int name : digits) ASSERT_NE(name, 0u) << lastImageError();
    const Countdown countdown{10000, 3000};

    drawCountdown(countdown, digits, 1.0f, 10500);  // "2", half grown, half faded
    const Block half = readBlock(0, 0, SIDE, SIDE);
    int lit = 0;
    for (int y = 0; y < SIDE; ++y) {
        for (int x = 0; x < SIDE; ++x) {
            if (half.at(x, y)[0] < 30) continue;
            ++lit;
            EXPECT_TRUE(x >= 63 && x <= 193 && y >= 63 && y <= 193) << x << "," << y;
        }
    }
    EXPECT_GT(lit, 500);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    gltest::beginFrame(SIDE, SIDE);
    drawCountdown(countdown, digits, 1.0f, 12500);  // no whole second left
    const Block none = readBlock(0, 0, SIDE, SIDE);
    bool anything = false;
    for (size_t i = 0; i < none.rgba.size(); i += 4) anything |= none.rgba[i] > 0;
    EXPECT_FALSE(anything);
}

// One GL context per test process is the slow part, so related checks share a test.
TEST_F(WidgetsGlTest, ButtonsAndImagesDrawWhereTheyShould) {
    checkButtonDrawsItsTintedDiscAndIconAtItsCentre();
    gltest::beginFrame(SIDE, SIDE);
    checkImagesAreDrawnWithTheirFirstRowAtTheTop();
    checkMissingImagesGiveTextureZeroAndAReason();
}

TEST_F(WidgetsGlTest, LabelsDrawTheirGlyphsAndBoxes) {
    checkLabelDrawsItsGlyphsAtItsCornerAndSkipsUnknownCharacters();
    gltest::beginFrame(SIDE, SIDE);
    checkLabelBoxShowsOnlyAboveAlpha150();
}
