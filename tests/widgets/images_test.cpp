// Every image the programs load exists, is an 8-bit non-interlaced PNG the loader can decode,
// and the font atlases follow the glyph boundary tables.
#include <SOIL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <vector>

#include "common/widgets/glyph_tables.h"
#include "common/widgets/image_paths.h"

namespace fs = std::filesystem;

namespace {

const std::string IMAGES_DIR = std::string(SOURCE_DIR) + "/images/";

std::string fileName(const std::string& path) { return fs::path(path).filename().string(); }

struct PngHeader {
    bool valid = false;
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colourType = 0;
    int interlace = 0;
};

uint32_t bigEndian(const std::vector<unsigned char>& b, size_t at) {
    return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) |
           uint32_t(b[at + 3]);
}

PngHeader readHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    PngHeader h;
    static const unsigned char SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (bytes.size() < 33 || !std::equal(SIGNATURE, SIGNATURE + 8, bytes.begin())) return h;
    if (std::string(bytes.begin() + 12, bytes.begin() + 16) != "IHDR") return h;
    h.valid = true;
    h.width = bigEndian(bytes, 16);
    h.height = bigEndian(bytes, 20);
    h.bitDepth = bytes[24];
    h.colourType = bytes[25];
    h.interlace = bytes[28];
    return h;
}

struct Decoded {
    int width = 0, height = 0, channels = 0;
    std::unique_ptr<unsigned char, void (*)(unsigned char*)> pixels{nullptr, SOIL_free_image_data};
    unsigned char alphaAt(int x, int y) const { return pixels.get()[(y * width + x) * 4 + 3]; }
};

Decoded decodeRgba(const std::string& path) {
    Decoded d;
    d.pixels.reset(SOIL_load_image(path.c_str(), &d.width, &d.height, &d.channels,
                                   SOIL_LOAD_RGBA));
    return d;
}

bool powerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

bool isFontAtlas(const std::string& name) {
    return name == "capitals.png" || name == "minuscules.png";
}

template <std::size_t N>
void expectGlyphsInsideTheirRanges(const std::string& image, const char* glyphs,
                                   const std::array<float, N>& bounds) {
    const Decoded atlas = decodeRgba(IMAGES_DIR + image);
    ASSERT_NE(atlas.pixels, nullptr) << image;
    const int w = atlas.width;
    auto columnHasInk = [&](int x) {
        for (int y = 0; y < atlas.height; ++y) {
            if (atlas.alphaAt(x, y) > 0) return true;
        }
        return false;
    };
    // Ink only inside some glyph's range (the boundary pixels themselves may be shared).
    for (int x = 0; x < w; ++x) {
        if (!columnHasInk(x)) continue;
        bool inside = false;
        for (std::size_t k = 0; k + 1 < N && !inside; ++k) {
            inside = x >= int(std::floor(bounds[k] * w)) && x + 1 <= int(std::ceil(bounds[k + 1] * w));
        }
        EXPECT_TRUE(inside) << image << ": ink in column " << x << " outside every glyph";
    }
    // Every glyph but the space has ink in its range.
    for (std::size_t k = 0; k + 1 < N; ++k) {
        bool ink = false;
        for (int x = int(std::ceil(bounds[k] * w)); x < int(bounds[k + 1] * w) && !ink; ++x) {
            ink = columnHasInk(x);
        }
        EXPECT_EQ(ink, glyphs[k] != ' ') << image << ": glyph '" << glyphs[k] << "'";
    }
}

}  // namespace

TEST(ImagesTest, EveryLoadedImageIsAnEightBitNonInterlacedPngThatDecodes) {
    for (const char* path : ALL_IMAGE_PATHS) {
        const std::string file = IMAGES_DIR + fileName(path);
        SCOPED_TRACE(file);
        ASSERT_EQ(std::string(path).rfind("../images/", 0), 0u);
        const PngHeader h = readHeader(file);
        ASSERT_TRUE(h.valid) << "missing or not a PNG";
        EXPECT_EQ(h.bitDepth, 8);
        EXPECT_EQ(h.interlace, 0);
        EXPECT_TRUE(h.colourType == 2 || h.colourType == 6) << "colour type " << h.colourType;

        int width = 0, height = 0, channels = 0;
        unsigned char* pixels =
            SOIL_load_image(file.c_str(), &width, &height, &channels, SOIL_LOAD_AUTO);
        ASSERT_NE(pixels, nullptr) << SOIL_last_result();
        SOIL_free_image_data(pixels);
        EXPECT_EQ(uint32_t(width), h.width);
        EXPECT_EQ(uint32_t(height), h.height);
        EXPECT_EQ(channels, h.colourType == 6 ? 4 : 3);

        if (isFontAtlas(fileName(path))) {
            EXPECT_NEAR(double(width) / height, GLYPH_ATLAS_ASPECT, 0.01);
            EXPECT_TRUE(powerOfTwo(h.height));
        } else {
            // Mipmapped images are kept power-of-two so the loader never resamples them.
            EXPECT_TRUE(powerOfTwo(h.width) && powerOfTwo(h.height));
        }
        if (channels == 4) {
            const Decoded d = decodeRgba(file);
            EXPECT_EQ(d.alphaAt(0, 0), 0) << "background should be transparent";
        }
    }
}

TEST(ImagesTest, TheImagesFolderHoldsExactlyTheListedImages) {
    std::set<std::string> listed;
    for (const char* path : ALL_IMAGE_PATHS) {
        EXPECT_TRUE(listed.insert(fileName(path)).second) << "listed twice: " << path;
    }
    std::set<std::string> present;
    for (const auto& entry : fs::directory_iterator(IMAGES_DIR)) {
        if (entry.path().extension() == ".png") present.insert(entry.path().filename().string());
    }
    EXPECT_EQ(present, listed);
}

TEST(ImagesTest, TerrainImagesHaveTheShapesTheTerrainExpects) {
    const PngHeader grey = readHeader(IMAGES_DIR + "grey512.png");
    EXPECT_EQ(grey.width, 512u);
    EXPECT_EQ(grey.height, 512u);

    const Decoded mask = decodeRgba(IMAGES_DIR + "colorbrush_half_sharp.png");
    ASSERT_NE(mask.pixels, nullptr);
    const int c = mask.width / 2;
    EXPECT_EQ(mask.alphaAt(c, c), 255);                     // solid core
    EXPECT_EQ(mask.alphaAt(c + mask.width / 5, c), 255);    // still inside half the radius
    const int soft = mask.alphaAt(c + mask.width * 3 / 8, c);
    EXPECT_GT(soft, 0);
    EXPECT_LT(soft, 255);                                   // soft edge
    EXPECT_EQ(mask.alphaAt(mask.width - 1, c), 0);
}

TEST(ImagesTest, FontAtlasesFollowTheGlyphTables) {
    expectGlyphsInsideTheirRanges("capitals.png", CAPITAL_GLYPHS, CAPITAL_BOUNDARIES);
    expectGlyphsInsideTheirRanges("minuscules.png", MINUSCULE_GLYPHS, MINUSCULE_BOUNDARIES);
}
