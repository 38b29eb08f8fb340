#pragma once
// Height-map and colour-map export: three uncompressed 24-bit TGA images per export, written
// next to each other for a base name B (used exactly as given, no extension added or removed):
//   B + "_colormap.tga"                     512 x 512, level 0 of the colour-map texture
//   B + "_heightmap_high_precision.tga"     257 x 257, n = (y - hmin) * 16777215 / span in R, G, B
//   B + "_heightmap_low_precision.tga"      257 x 257, g = (y - hmin) * 765 / span spread R, G, B
// Heights are normalised to the terrain's own minimum and maximum; a flat terrain is all black.
//
// Each file is first written in full to a temporary file in the same folder, each write
// checked, and only then renamed over its final name. A file that cannot be written (or an
// existing one the user may not write; root may) is skipped and its old version kept; the
// others are still written.
//
// Encoding is plain code (no GL); only reading the colour map needs the GL context.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class Terrain;

constexpr const char* COLOUR_MAP_SUFFIX = "_colormap.tga";
constexpr const char* HIGH_PRECISION_SUFFIX = "_heightmap_high_precision.tga";
constexpr const char* LOW_PRECISION_SUFFIX = "_heightmap_low_precision.tga";
// The export dialog's title, which tells the user to type a base name only.
constexpr const char* EXPORT_DIALOG_HINT = "just insert a name without file extension, tga files will be generated anyway";

using Pixel = std::array<uint8_t, 3>;  // red, green, blue

// n = trunc((y - hmin) * 16777215 / span): red bits 16-23, green 8-15, blue 0-7. span 0: black.
// span is hmax - hmin taken in double: rounded to float it can come out above the highest
// vertex's own distance from hmin, and the highest vertex would then miss the top value.
Pixel highPrecisionPixel(float y, float hmin, double span);
// g = trunc((y - hmin) * 765 / span): (g, 0, 0), (255, g - 255, 0) or (255, 255, g - 510).
Pixel lowPrecisionPixel(float y, float hmin, double span);

// One RGB pixel (3 bytes) per vertex in vertex order (i + 257 j) for both encodings.
void encodeHeightMaps(const Terrain& terrain, std::vector<uint8_t>& high, std::vector<uint8_t>& low);

// A whole TGA file: the 18-byte header (type 2, 24 bits, descriptor 0: lower-left origin),
// then B, G, R per pixel with the source's last row first. `rgb` holds width * height * 3 bytes,
// source row k at offset k * width * 3.
std::vector<uint8_t> encodeTga(int width, int height, const uint8_t* rgb);


struct ExportOutcome {
    bool ok = false;              // all three files written
    std::string message;          // "Exported maps to <name>" or "Export failed: " and why
    std::string lastResult;       // the last file's: "Image saved" or "Saving the image failed"
};

// The three files from a colour map already in memory (width * height * 3 bytes, row k = t k).
// A colour map without an image (nullptr or a zero size) is written as 512 x 512 black.
ExportOutcome exportMapsFromPixels(const Terrain& terrain, const uint8_t* colourRgb, int colourWidth,
                                   int colourHeight, const std::string& base);

// Reads level 0 of the terrain's colour map (needs the GL context) and exports. An empty base
// name (a cancelled dialog) writes nothing and returns ok false with an empty message.
ExportOutcome exportMaps(Terrain& terrain, const std::string& base);
