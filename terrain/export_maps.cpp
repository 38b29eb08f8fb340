#include "terrain/export_maps.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "common/files/replace_file.h"
#include "terrain/terrain.h"

namespace {

uint8_t byteAt(uint32_t value, int shift) { return static_cast<uint8_t>((value >> shift) & 0xFFu); }

// (y - hmin) * scale / span truncated, kept inside 0..scale against rounding at the ends: the
// highest vertex (y - hmin == span) always gets the full scale.
uint32_t normalised(float y, float hmin, double span, double scale) {
    if (!(span > 0.0)) return 0;
    const double above = static_cast<double>(y) - static_cast<double>(hmin);
    if (above >= span) return static_cast<uint32_t>(scale);
    const double n = std::trunc(above * scale / span);
    if (!(n > 0.0)) return 0;
    return n >= scale ? static_cast<uint32_t>(scale) : static_cast<uint32_t>(n);
}

// The name the export message shows. A base ending in '/' writes "_colormap.tga" and its
// siblings into that folder, so the folder itself is named rather than nothing.
std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return path;
    return slash + 1 == path.size() ? path : path.substr(slash + 1);
}

}  // namespace

Pixel highPrecisionPixel(float y, float hmin, double span) {
    const uint32_t n = normalised(y, hmin, span, 16777215.0);
    return {byteAt(n, 16), byteAt(n, 8), byteAt(n, 0)};
}

Pixel lowPrecisionPixel(float y, float hmin, double span) {
    const uint32_t g = normalised(y, hmin, span, 765.0);
    if (g <= 255) return {static_cast<uint8_t>(g), 0, 0};
    if (g <= 510) return {255, static_cast<uint8_t>(g - 255), 0};
    return {255, 255, static_cast<uint8_t>(g - 510)};
}

void encodeHeightMaps(const Terrain& terrain, std::vector<uint8_t>& high, std::vector<uint8_t>& low) {
    const std::vector<TerrainVertex>& v = terrain.vertices;
    high.assign(v.size() * 3, 0);
    low.assign(v.size() * 3, 0);
    if (v.empty()) return;
    // The range of the heights that are numbers: a height that is not one (no brush should make
    // any) is written as 0 and must not spoil the range, as it would if the first vertex held it.
    float hmin = std::numeric_limits<float>::infinity();
    float hmax = -hmin;
    for (const TerrainVertex& vertex : v) {
        if (std::isnan(vertex.y)) continue;
        hmin = std::min(hmin, vertex.y);
        hmax = std::max(hmax, vertex.y);
    }
    const double span = static_cast<double>(hmax) - static_cast<double>(hmin);
    for (size_t k = 0; k < v.size(); ++k) {
        const Pixel h = highPrecisionPixel(v[k].y, hmin, span);
        const Pixel l = lowPrecisionPixel(v[k].y, hmin, span);
        std::memcpy(&high[k * 3], h.data(), 3);
        std::memcpy(&low[k * 3], l.data(), 3);
    }
}

std::vector<uint8_t> encodeTga(int width, int height, const uint8_t* rgb) {
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    std::vector<uint8_t> out(18 + w * h * 3, 0);
    out[2] = 2;  // uncompressed true colour
    out[12] = byteAt(static_cast<uint32_t>(width), 0);
    out[13] = byteAt(static_cast<uint32_t>(width), 8);
    out[14] = byteAt(static_cast<uint32_t>(height), 0);
    out[15] = byteAt(static_cast<uint32_t>(height), 8);
    out[16] = 24;
    out[17] = 0;  // no alpha bits, origin lower left
    uint8_t* p = out.data() + 18;
    // The lower-left origin puts the first stored row at the bottom: store the last row first
    // so the source's first row shows at the top.
    for (size_t row = h; row-- > 0;) {
        const uint8_t* src = rgb + row * w * 3;
        for (size_t x = 0; x < w; ++x, p += 3, src += 3) {
            p[0] = src[2];
            p[1] = src[1];
            p[2] = src[0];
        }
    }
    return out;
}

ExportOutcome exportMapsFromPixels(const Terrain& terrain, const uint8_t* colourRgb, int colourWidth,
                                   int colourHeight, const std::string& base) {
    ExportOutcome outcome;
    if (base.empty()) return outcome;
    std::vector<uint8_t> black;
    if (colourRgb == nullptr || colourWidth <= 0 || colourHeight <= 0) {
        // A colour map without an image (its file failed to load) reads as nothing: export it
        // black at the map's size rather than lose the height maps too.
        std::printf("export: the colour map has no image; writing it black\n");
        colourWidth = colourHeight = COLOUR_MAP_SIZE;
        black.assign(static_cast<size_t>(COLOUR_MAP_SIZE) * COLOUR_MAP_SIZE * 3, 0);
        colourRgb = black.data();
    }
    std::vector<uint8_t> high, low;
    encodeHeightMaps(terrain, high, low);
    const int gridWidth = terrain.columns + 1, gridHeight = terrain.rows + 1;

    // Each file stands alone: one that cannot be written is skipped (its old version kept) and
    // the others are still attempted.
    const std::string finals[3] = {base + COLOUR_MAP_SUFFIX, base + HIGH_PRECISION_SUFFIX, base + LOW_PRECISION_SUFFIX};
    std::string errors;
    int written = 0;
    for (int k = 0; k < 3; ++k) {
        const std::vector<uint8_t> file = k == 0   ? encodeTga(colourWidth, colourHeight, colourRgb)
                                          : k == 1 ? encodeTga(gridWidth, gridHeight, high.data())
                                                   : encodeTga(gridWidth, gridHeight, low.data());
        std::string error;
        const bool saved = replaceFileContents(finals[k], file, error);
        outcome.lastResult = saved ? "Image saved" : "Saving the image failed";
        if (saved) {
            ++written;
            std::printf("export: wrote %s\n", finals[k].c_str());
        } else {
            errors += (errors.empty() ? "" : "; ") + error;
        }
    }
    outcome.ok = written == 3;
    outcome.message = outcome.ok ? "Exported maps to " + baseName(base) : "Export failed: " + errors;
    if (!outcome.ok) std::printf("export: %s\n", outcome.message.c_str());
    return outcome;
}

ExportOutcome exportMaps(Terrain& terrain, const std::string& base) {
    if (base.empty()) return ExportOutcome();
    terrain.initGraphics();
    GLint oldBinding = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &oldBinding);
    glBindTexture(GL_TEXTURE_2D, terrain.colourMap);
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<uint8_t> colour;
    if (width > 0 && height > 0) {
        // Read at the texture's real size so a map of another size never overruns the buffer.
        colour.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, colour.data());
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(oldBinding));
    return exportMapsFromPixels(terrain, colour.empty() ? nullptr : colour.data(), width, height, base);
}
