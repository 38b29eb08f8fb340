#include "terrain/export_maps.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/file_size_limit.h"
#include "terrain/terrain.h"
#include "support/shell_quote.h"

namespace {

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh, empty folder under the build tree for one test.
std::string scratchFolder(const std::string& name) {
    std::string folder = std::string(BINARY_DIR) + "/export_test_" + name + "_" + std::to_string(getpid());
    mkdir(folder.c_str(), 0755);
    return folder;
}

// Pixel (column, row-from-the-top) of a decoded 24-bit lower-left-origin TGA as r, g, b.
Pixel tgaPixel(const std::vector<uint8_t>& file, int width, int height, int column, int rowFromTop) {
    const size_t storedRow = static_cast<size_t>(height - 1 - rowFromTop);
    const size_t at = 18 + (storedRow * static_cast<size_t>(width) + static_cast<size_t>(column)) * 3;
    return {file[at + 2], file[at + 1], file[at]};
}

std::vector<uint8_t> gradientColourMap() {
    std::vector<uint8_t> rgb(512 * 512 * 3);
    for (int t = 0; t < 512; ++t) {
        for (int s = 0; s < 512; ++s) {
            uint8_t* p = &rgb[(static_cast<size_t>(t) * 512 + s) * 3];
            p[0] = static_cast<uint8_t>(s);
            p[1] = static_cast<uint8_t>(t);
            p[2] = static_cast<uint8_t>(s ^ t);
        }
    }
    return rgb;
}

}  // namespace

TEST(HeightEncoding, EndsAndThirdsOfTheSpan) {
    // Lowest 0, highest 16777215 / 765 in both encodings.
    EXPECT_EQ(highPrecisionPixel(-2.0f, -2.0f, 6.0f), (Pixel{0, 0, 0}));
    EXPECT_EQ(highPrecisionPixel(4.0f, -2.0f, 6.0f), (Pixel{255, 255, 255}));
    EXPECT_EQ(lowPrecisionPixel(-2.0f, -2.0f, 6.0f), (Pixel{0, 0, 0}));
    EXPECT_EQ(lowPrecisionPixel(4.0f, -2.0f, 6.0f), (Pixel{255, 255, 255}));
    // A third of the span is g = 255, two thirds 510: the channels fill one after the other.
    EXPECT_EQ(lowPrecisionPixel(1.0f, 0.0f, 3.0f), (Pixel{255, 0, 0}));
    EXPECT_EQ(lowPrecisionPixel(2.0f, 0.0f, 3.0f), (Pixel{255, 255, 0}));
    EXPECT_EQ(lowPrecisionPixel(1.5f, 0.0f, 3.0f), (Pixel{255, 127, 0}));  // g = 382
    // Half the span: n = trunc(8388607.5) = 0x7FFFFF.
    EXPECT_EQ(highPrecisionPixel(0.5f, 0.0f, 1.0f), (Pixel{0x7F, 0xFF, 0xFF}));
    // Flat terrain: black in both.
    EXPECT_EQ(highPrecisionPixel(3.0f, 3.0f, 0.0f), (Pixel{0, 0, 0}));
    EXPECT_EQ(lowPrecisionPixel(3.0f, 3.0f, 0.0f), (Pixel{0, 0, 0}));
}

TEST(HeightEncoding, SingleRaisedVertexAndFlatTerrain) {
    Terrain terrain;
    std::vector<uint8_t> high, low;
    encodeHeightMaps(terrain, high, low);
    ASSERT_EQ(high.size(), 66049u * 3);
    for (size_t k = 0; k < high.size(); ++k) ASSERT_EQ(high[k] | low[k], 0) << "byte " << k;

    terrain.vertexAt(10, 20).y = 2.5f;
    encodeHeightMaps(terrain, high, low);
    const size_t raised = (10 + 20 * 257) * 3;
    for (size_t k = 0; k < high.size(); k += 3) {
        const uint8_t expected = k == raised ? 255 : 0;
        ASSERT_EQ(high[k], expected);
        ASSERT_EQ(high[k + 1], expected);
        ASSERT_EQ(high[k + 2], expected);
        ASSERT_EQ(low[k], expected);
        ASSERT_EQ(low[k + 1], expected);
        ASSERT_EQ(low[k + 2], expected);
    }
}

TEST(TgaEncoding, HeaderPixelOrderAndRowOrder) {
    // 3 x 2 image: row 0 (the top of the picture) red, green, blue; row 1 grey levels.
    const uint8_t rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 40, 50, 60, 70, 80, 90};
    const std::vector<uint8_t> file = encodeTga(3, 2, rgb);
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
    ASSERT_EQ(file.size(), 18u + 3 * 2 * 3);
    for (int i = 0; i < 18; ++i) EXPECT_EQ(file[static_cast<size_t>(i)], header[i]) << "header byte " << i;
    // Stored first: the source's last row, as B, G, R.
    EXPECT_EQ(file[18], 30);
    EXPECT_EQ(file[19], 20);
    EXPECT_EQ(file[20], 10);
    // Then the source's first row.
    EXPECT_EQ(file[27], 0);
    EXPECT_EQ(file[28], 0);
    EXPECT_EQ(file[29], 255);  // red's R byte is last
    EXPECT_EQ(tgaPixel(file, 3, 2, 2, 0), (Pixel{0, 0, 255}));
    // Sizes above 255 use both bytes, little-endian.
    std::vector<uint8_t> wide(257 * 1 * 3, 0);
    const std::vector<uint8_t> wideFile = encodeTga(257, 1, wide.data());
    EXPECT_EQ(wideFile[12], 1);
    EXPECT_EQ(wideFile[13], 1);
}

TEST(ExportFiles, WritesThreeFilesWithExactSizesAndContent) {
    const std::string folder = scratchFolder("write");
    const std::string base = folder + "/hill";
    Terrain terrain;
    terrain.vertexAt(0, 0).y = -1.0f;     // lowest: top-left pixel of the height maps
    terrain.vertexAt(256, 256).y = 2.0f;  // highest: bottom-right
    terrain.vertexAt(5, 0).y = 0.0f;      // a third of the span above the lowest
    const std::vector<uint8_t> colour = gradientColourMap();

    const ExportOutcome outcome = exportMapsFromPixels(terrain, colour.data(), 512, 512, base);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(outcome.message, "Exported maps to hill");

    const std::vector<uint8_t> colourFile = readAll(base + COLOUR_MAP_SUFFIX);
    const std::vector<uint8_t> highFile = readAll(base + HIGH_PRECISION_SUFFIX);
    const std::vector<uint8_t> lowFile = readAll(base + LOW_PRECISION_SUFFIX);
    ASSERT_EQ(colourFile.size(), 786450u);
    ASSERT_EQ(highFile.size(), 198165u);
    ASSERT_EQ(lowFile.size(), 198165u);
    // Texture row t = 0 shows at the top of the image.
    EXPECT_EQ(tgaPixel(colourFile, 512, 512, 7, 0), (Pixel{7, 0, 7}));
    EXPECT_EQ(tgaPixel(colourFile, 512, 512, 3, 511), (Pixel{3, 255, static_cast<uint8_t>(3 ^ 511)}));
    // Terrain z = 0 at the top, x = column.
    EXPECT_EQ(tgaPixel(highFile, 257, 257, 0, 0), (Pixel{0, 0, 0}));
    EXPECT_EQ(tgaPixel(highFile, 257, 257, 256, 256), (Pixel{255, 255, 255}));
    EXPECT_EQ(tgaPixel(lowFile, 257, 257, 256, 256), (Pixel{255, 255, 255}));
    EXPECT_EQ(tgaPixel(lowFile, 257, 257, 5, 0), (Pixel{255, 0, 0}));
    // The flat rest lies at a third of the span too.
    EXPECT_EQ(tgaPixel(lowFile, 257, 257, 100, 100), (Pixel{255, 0, 0}));
    // No temporary file is left beside them.
    EXPECT_EQ(std::system(("test $(ls " + shellQuoted(folder) + " | wc -l) -eq 3").c_str()), 0);

    // A base that ends in a folder's slash writes the bare suffixes into it; the message
    // names the folder instead of nothing.
    const ExportOutcome intoFolder = exportMapsFromPixels(terrain, colour.data(), 512, 512, folder + "/");
    ASSERT_TRUE(intoFolder.ok) << intoFolder.message;
    EXPECT_EQ(intoFolder.message, "Exported maps to " + folder + "/");
    EXPECT_EQ(readAll(folder + "/" + COLOUR_MAP_SUFFIX).size(), 786450u);
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

TEST(ExportFiles, CancelledDialogWritesNothing) {
    const std::string folder = scratchFolder("cancel");
    Terrain terrain;
    const std::vector<uint8_t> colour = gradientColourMap();
    const ExportOutcome outcome = exportMapsFromPixels(terrain, colour.data(), 512, 512, "");
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.message.empty());
    EXPECT_EQ(std::system(("test -z \"$(ls -A " + shellQuoted(folder) + ")\"").c_str()), 0);
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

TEST(ExportFiles, FailedWriteReportsFailureAndKeepsOldFiles) {
    Terrain terrain;
    const std::vector<uint8_t> colour = gradientColourMap();

    // A folder that does not exist.
    ExportOutcome missing = exportMapsFromPixels(terrain, colour.data(), 512, 512,
                                                 std::string(BINARY_DIR) + "/no_such_folder_xyz/map");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message.find("Export failed"), std::string::npos);

    // A write that fails part-way (the file size limit stands in for a full disk, and works
    // for root too): an earlier export stays byte for byte and no temporary is left.
    const std::string folder = scratchFolder("full");
    const std::string base = folder + "/old";
    ASSERT_TRUE(exportMapsFromPixels(terrain, colour.data(), 512, 512, base).ok);
    const std::vector<uint8_t> before = readAll(base + COLOUR_MAP_SUFFIX);
    const std::vector<uint8_t> highBefore = readAll(base + HIGH_PRECISION_SUFFIX);
    std::vector<uint8_t> red(512 * 512 * 3, 0);
    for (size_t k = 0; k < red.size(); k += 3) red[k] = 255;
    terrain.vertexAt(1, 1).y = 9.0f;

    ExportOutcome full;
    {
        FileSizeLimit limit(100000);
        full = exportMapsFromPixels(terrain, red.data(), 512, 512, base);
    }

    EXPECT_FALSE(full.ok);
    EXPECT_NE(full.message.find("Export failed"), std::string::npos);
    EXPECT_EQ(readAll(base + COLOUR_MAP_SUFFIX), before);
    EXPECT_EQ(readAll(base + HIGH_PRECISION_SUFFIX), highBefore);
    EXPECT_EQ(std::system(("test $(ls " + shellQuoted(folder) + " | wc -l) -eq 3").c_str()), 0);
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

TEST(ExportFiles, AColourMapWithoutAnImageExportsBlackWithTheHeightMaps) {
    const std::string folder = scratchFolder("empty");
    const std::string base = folder + "/x";
    Terrain terrain;
    terrain.vertexAt(3, 4).y = 1.0f;
    const ExportOutcome outcome = exportMapsFromPixels(terrain, nullptr, 0, 0, base);
    EXPECT_TRUE(outcome.ok) << outcome.message;
    const std::vector<uint8_t> colourFile = readAll(base + COLOUR_MAP_SUFFIX);
    ASSERT_EQ(colourFile.size(), 786450u);
    EXPECT_EQ(colourFile[12] | colourFile[13] << 8, 512);
    EXPECT_TRUE(std::all_of(colourFile.begin() + 18, colourFile.end(), [](uint8_t b) { return b == 0; }));
    const std::vector<uint8_t> highFile = readAll(base + HIGH_PRECISION_SUFFIX);
    ASSERT_EQ(highFile.size(), 198165u);
    EXPECT_EQ(tgaPixel(highFile, 257, 257, 3, 4), (Pixel{255, 255, 255}));
    EXPECT_EQ(tgaPixel(highFile, 257, 257, 4, 3), (Pixel{0, 0, 0}));
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

TEST(ExportFiles, AFileThatCannotBeWrittenIsSkippedAndTheOthersAreWritten) {
    const std::string folder = scratchFolder("partial");
    const std::string base = folder + "/b";
    Terrain terrain;
    terrain.vertexAt(10, 20).y = 5.0f;
    const std::vector<uint8_t> colour = gradientColourMap();

    // A folder where the colour map should go: only that file fails.
    ASSERT_EQ(::mkdir((base + COLOUR_MAP_SUFFIX).c_str(), 0755), 0);
    const ExportOutcome blocked = exportMapsFromPixels(terrain, colour.data(), 512, 512, base);
    EXPECT_FALSE(blocked.ok);
    EXPECT_NE(blocked.message.find(base + COLOUR_MAP_SUFFIX), std::string::npos) << blocked.message;
    EXPECT_EQ(blocked.message.find(HIGH_PRECISION_SUFFIX), std::string::npos) << blocked.message;
    EXPECT_EQ(blocked.lastResult, "Image saved");  // the last file, the low-precision map
    const std::vector<uint8_t> high = readAll(base + HIGH_PRECISION_SUFFIX);
    const std::vector<uint8_t> low = readAll(base + LOW_PRECISION_SUFFIX);
    ASSERT_EQ(high.size(), 198165u);
    ASSERT_EQ(low.size(), 198165u);
    EXPECT_EQ(tgaPixel(high, 257, 257, 10, 20), (Pixel{255, 255, 255}));
    EXPECT_EQ(tgaPixel(low, 257, 257, 10, 20), (Pixel{255, 255, 255}));
    ASSERT_EQ(::rmdir((base + COLOUR_MAP_SUFFIX).c_str()), 0);

    // An existing read-only file is kept as it was (unless we run as root, who may write it).
    if (::geteuid() != 0) {
        ASSERT_TRUE(exportMapsFromPixels(terrain, colour.data(), 512, 512, base).ok);
        const std::vector<uint8_t> lowBefore = readAll(base + LOW_PRECISION_SUFFIX);
        ASSERT_EQ(::chmod((base + LOW_PRECISION_SUFFIX).c_str(), 0444), 0);
        terrain.vertexAt(10, 20).y = 0.0f;
        terrain.vertexAt(30, 40).y = 5.0f;
        const ExportOutcome readOnly = exportMapsFromPixels(terrain, colour.data(), 512, 512, base);
        EXPECT_FALSE(readOnly.ok);
        EXPECT_EQ(readOnly.lastResult, "Saving the image failed");
        EXPECT_EQ(readAll(base + LOW_PRECISION_SUFFIX), lowBefore);
        EXPECT_EQ(tgaPixel(readAll(base + HIGH_PRECISION_SUFFIX), 257, 257, 30, 40), (Pixel{255, 255, 255}));
    }
    // No temporary file (the final name plus a suffix) is left behind.
    EXPECT_EQ(std::system(("test -z \"$(ls " + shellQuoted(folder) + " | grep '[.]tga[.]')\"").c_str()), 0);
    std::system(("chmod -R u+w " + shellQuoted(folder) + "; rm -rf " + shellQuoted(folder)).c_str());
}
