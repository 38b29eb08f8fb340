#pragma once
// The two bitmap-font atlases and where each glyph lies in them. Each atlas is one row of glyphs
// laid out for a width of 21.875 times its height; a glyph spans the full height and the
// texture range [u0, u1]. Glyph k of an atlas spans boundary k to boundary k + 1.
#include <array>
#include <cstddef>

constexpr float GLYPH_ATLAS_ASPECT = 21.875f;  // atlas width / height the boundaries assume

constexpr const char* CAPITALS_IMAGE = "../images/capitals.png";
constexpr const char* MINUSCULES_IMAGE = "../images/minuscules.png";

// Capitals and punctuation, 38 glyphs.
constexpr const char CAPITAL_GLYPHS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ!?.,:;+-*/#'";
constexpr std::size_t CAPITAL_GLYPH_COUNT = sizeof(CAPITAL_GLYPHS) - 1;
extern const std::array<float, CAPITAL_GLYPH_COUNT + 1> CAPITAL_BOUNDARIES;

// Small letters, digits, brackets and the space, 39 glyphs.
constexpr const char MINUSCULE_GLYPHS[] = "abcdefghijklmnopqrstuvwxyz0123456789() ";
constexpr std::size_t MINUSCULE_GLYPH_COUNT = sizeof(MINUSCULE_GLYPHS) - 1;
extern const std::array<float, MINUSCULE_GLYPH_COUNT + 1> MINUSCULE_BOUNDARIES;

enum GlyphAtlas { CAPITALS_ATLAS = 0, MINUSCULES_ATLAS = 1 };

struct Glyph {
    unsigned char character = 0;
    float u0 = 0.0f;  // texture range in the atlas, 0..1
    float u1 = 0.0f;
    unsigned int texture = 0;  // the atlas's GL name; 0 when the image is missing
    int atlas = -1;            // GlyphAtlas, -1 for a character without a glyph
};

// Character (8-bit) -> glyph.
struct GlyphTable {
    std::array<Glyph, 256> glyphs{};

    // nullptr for a character without a glyph.
    const Glyph* find(unsigned char c) const {
        return glyphs[c].atlas < 0 ? nullptr : &glyphs[c];
    }
};

// Pure: fills the table from the two boundary lists with the given atlas texture names.
GlyphTable buildGlyphTable(unsigned int capitalsTexture, unsigned int minusculesTexture);

// The program's table: the first call loads both atlases (power-of-two flag, needs a GL context)
// and builds it; later calls return the same table.
const GlyphTable& sharedGlyphTable();
