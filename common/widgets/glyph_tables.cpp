#include "common/widgets/glyph_tables.h"

#include "common/widgets/texture.h"

const std::array<float, CAPITAL_GLYPH_COUNT + 1> CAPITAL_BOUNDARIES = {{
    0.0000f, 0.0358f, 0.0606f, 0.0925f, 0.1253f, 0.1499f, 0.1712f, 0.2034f, 0.2336f, 0.2430f,
    0.2623f, 0.2923f, 0.3170f, 0.3533f, 0.3837f, 0.4200f, 0.4436f, 0.4799f, 0.5071f, 0.5325f,
    0.5655f, 0.5946f, 0.6265f, 0.6689f, 0.7001f, 0.7310f, 0.7592f, 0.7713f, 0.7923f, 0.8047f,
    0.8147f, 0.8295f, 0.8416f, 0.8759f, 0.9019f, 0.9239f, 0.9458f, 0.9773f, 0.9873f,
}};

const std::array<float, MINUSCULE_GLYPH_COUNT + 1> MINUSCULE_BOUNDARIES = {{
    0.0000f, 0.0257f, 0.0528f, 0.0764f, 0.1056f, 0.1314f, 0.1491f, 0.1779f, 0.2045f, 0.2158f,
    0.2357f, 0.2608f, 0.2721f, 0.3134f, 0.3401f, 0.3686f, 0.3958f, 0.4250f, 0.4419f, 0.4643f,
    0.4825f, 0.5095f, 0.5354f, 0.5732f, 0.6022f, 0.6283f, 0.6546f, 0.6834f, 0.6984f, 0.7237f,
    0.7486f, 0.7777f, 0.8013f, 0.8296f, 0.8565f, 0.8843f, 0.9124f, 0.9269f, 0.9428f, 0.9630f,
}};

namespace {

template <std::size_t N>
void addAtlas(GlyphTable& table, const char* characters, const std::array<float, N>& bounds,
              unsigned int texture, int atlas) {
    for (std::size_t k = 0; k + 1 < N; ++k) {
        const auto c = static_cast<unsigned char>(characters[k]);
        Glyph& glyph = table.glyphs[c];
        glyph.character = c;
        glyph.u0 = bounds[k];
        glyph.u1 = bounds[k + 1];
        glyph.texture = texture;
        glyph.atlas = atlas;
    }
}

}  // namespace

GlyphTable buildGlyphTable(unsigned int capitalsTexture, unsigned int minusculesTexture) {
    GlyphTable table;
    addAtlas(table, CAPITAL_GLYPHS, CAPITAL_BOUNDARIES, capitalsTexture, CAPITALS_ATLAS);
    addAtlas(table, MINUSCULE_GLYPHS, MINUSCULE_BOUNDARIES, minusculesTexture, MINUSCULES_ATLAS);
    return table;
}

const GlyphTable& sharedGlyphTable() {
    static const GlyphTable table = buildGlyphTable(
        loadTexture(CAPITALS_IMAGE, TEXTURE_POWER_OF_TWO),
        loadTexture(MINUSCULES_IMAGE, TEXTURE_POWER_OF_TWO));
    return table;
}
