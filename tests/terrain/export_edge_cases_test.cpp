// Height-map ends over awkward ranges, and the colour map read back from a real texture.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "gl_test_window.h"
#include "terrain/export_maps.h"
#include "terrain/terrain.h"
#include "support/shell_quote.h"

namespace {

Pixel pixelAt(const std::vector<uint8_t>& rgb, size_t vertex) {
    return {rgb[vertex * 3], rgb[vertex * 3 + 1], rgb[vertex * 3 + 2]};
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HeightMapEnds, HighestIsFullScaleAndLowestZeroWhateverTheRange) {
    // hmax - hmin rounded to float can exceed the highest vertex's own distance from hmin;
    // this pair is one such range (the float span rounds up), others come from a fixed seed.
    std::vector<std::pair<float, float>> ranges = {{-41.4955788f, 32.9603348f}, {-26.8984585f, 19.9758377f},
                                                   {0.0f, 3.0f}, {-1e-3f, 250.125f}};
    std::mt19937 generator(2024);
    std::uniform_real_distribution<float> height(-60.0f, 60.0f);
    for (int k = 0; k < 40; ++k) {
        const float a = height(generator), b = height(generator);
        if (a != b) ranges.emplace_back(std::min(a, b), std::max(a, b));
    }

    Terrain terrain;
    const size_t lowest = 3 + 7 * 257, highest = 200 + 100 * 257;
    std::vector<uint8_t> high, low;
    for (const auto& [hmin, hmax] : ranges) {
        for (TerrainVertex& v : terrain.vertices) v.y = 0.5f * (hmin + hmax);
        terrain.vertices[lowest].y = hmin;
        terrain.vertices[highest].y = hmax;
        encodeHeightMaps(terrain, high, low);
        SCOPED_TRACE(testing::Message() << std::hexfloat << hmin << " .. " << hmax);
        EXPECT_EQ(pixelAt(high, highest), (Pixel{255, 255, 255}));  // n = 16777215
        EXPECT_EQ(pixelAt(low, highest), (Pixel{255, 255, 255}));   // g = 765
        EXPECT_EQ(pixelAt(high, lowest), (Pixel{0, 0, 0}));
        EXPECT_EQ(pixelAt(low, lowest), (Pixel{0, 0, 0}));
        // The middle height (within float rounding): g = trunc(382.5) = 382 = 255 + 127.
        EXPECT_EQ(pixelAt(low, 0), (Pixel{255, 127, 0}));
    }
}

TEST(HeightMapEnds, AHeightThatIsNotANumberIsWrittenAsZeroAndLeavesTheRangeAlone) {
    Terrain terrain;
    const size_t highest = 256;
    std::vector<uint8_t> high, low;
    for (const size_t bad : {size_t{0}, size_t{500}, terrain.vertices.size() - 1}) {
        for (size_t k = 0; k < terrain.vertices.size(); ++k) terrain.vertices[k].y = static_cast<float>(k % 257);
        terrain.vertices[bad].y = std::nanf("");
        encodeHeightMaps(terrain, high, low);
        SCOPED_TRACE(testing::Message() << "not a number at vertex " << bad);
        EXPECT_EQ(pixelAt(high, highest), (Pixel{255, 255, 255}));
        EXPECT_EQ(pixelAt(low, highest), (Pixel{255, 255, 255}));
        EXPECT_EQ(pixelAt(low, 1), (Pixel{2, 0, 0}));  // trunc(1 * 765 / 256)
        EXPECT_EQ(pixelAt(high, bad), (Pixel{0, 0, 0}));
        EXPECT_EQ(pixelAt(low, bad), (Pixel{0, 0, 0}));
    }
}

TEST(HeightMapEnds, LowEncodingFillsTheChannelsOneAfterTheOther) {
    // Span 765 makes g equal to the height above the lowest vertex.
    Terrain terrain;
    const int heights[] = {0, 1, 254, 255, 256, 300, 510, 511, 764, 765};
    const Pixel expected[] = {{0, 0, 0},     {1, 0, 0},     {254, 0, 0},     {255, 0, 0},     {255, 1, 0},
                              {255, 45, 0},  {255, 255, 0}, {255, 255, 1},   {255, 255, 254}, {255, 255, 255}};
    for (size_t k = 0; k < std::size(heights); ++k) terrain.vertices[k].y = static_cast<float>(heights[k]);
    std::vector<uint8_t> high, low;
    encodeHeightMaps(terrain, high, low);
    for (size_t k = 0; k < std::size(heights); ++k) EXPECT_EQ(pixelAt(low, k), expected[k]) << "g " << heights[k];
    // High precision: 255 of 765 is a third: trunc(5592405) = 0x555555.
    EXPECT_EQ(pixelAt(high, 3), (Pixel{0x55, 0x55, 0x55}));
}

TEST(ExportFromTexture, ColourMapIs512SquareWhateverTheWindowSize) {
    if (!openTestWindow()) GTEST_SKIP() << "no display";
    Terrain terrain;
    terrain.initGraphics();
    ASSERT_NE(terrain.colourMap, 0u);
    // A map with a marked first row, so that the image's top row can be told from its bottom.
    std::vector<uint8_t> rgb(512 * 512 * 3, 40);
    for (int u = 0; u < 512; ++u) {
        rgb[static_cast<size_t>(u) * 3] = 200;
        rgb[static_cast<size_t>(u) * 3 + 1] = static_cast<uint8_t>(u / 2);
        rgb[static_cast<size_t>(u) * 3 + 2] = 10;
    }
    glBindTexture(GL_TEXTURE_2D, terrain.colourMap);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 512, 512, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());

    const std::string folder = std::string(BINARY_DIR) + "/export_texture_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p " + shellQuoted(folder)).c_str()), 0);
    const ExportOutcome outcome = exportMaps(terrain, folder + "/m");
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(outcome.lastResult, "Image saved");
    const std::vector<uint8_t> colour = readAll(folder + "/m" + COLOUR_MAP_SUFFIX);
    ASSERT_EQ(colour.size(), 18u + 512u * 512u * 3u);  // the window is 800 x 500
    EXPECT_EQ(colour[12] | colour[13] << 8, 512);
    EXPECT_EQ(colour[14] | colour[15] << 8, 512);
    // Lower-left origin: the last stored row is the top of the image, texture row t = 0.
    const size_t top = 18 + 511u * 512u * 3u;
    EXPECT_EQ(colour[top + 99 * 3], 10);       // blue
    EXPECT_EQ(colour[top + 99 * 3 + 1], 49);   // green
    EXPECT_EQ(colour[top + 99 * 3 + 2], 200);  // red
    EXPECT_EQ(colour[18 + 99 * 3 + 2], 40);    // the bottom row is plain
    EXPECT_EQ(readAll(folder + "/m" + HIGH_PRECISION_SUFFIX).size(), 18u + 257u * 257u * 3u);
    EXPECT_EQ(readAll(folder + "/m" + LOW_PRECISION_SUFFIX).size(), 18u + 257u * 257u * 3u);
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

}  // namespace
