#include "common/widgets/label.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

const GlyphTable table = buildGlyphTable(11, 22);

float w(char c) {
    const Glyph* g = table.find(static_cast<unsigned char>(c));
    return g ? g->u1 - g->u0 : -1.0f;
}

}  // namespace

TEST(GlyphTableTest, CapitalsAndSmallLettersComeFromTheirOwnAtlas) {
    const Glyph* a = table.find('A');
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->texture, 11u);
    EXPECT_FLOAT_EQ(a->u0, 0.0f);
    EXPECT_FLOAT_EQ(a->u1, 0.0358f);

    const Glyph* hyphen = table.find('-');
    ASSERT_NE(hyphen, nullptr);
    EXPECT_EQ(hyphen->atlas, CAPITALS_ATLAS);
    EXPECT_FLOAT_EQ(hyphen->u0, 0.8759f);
    EXPECT_FLOAT_EQ(hyphen->u1, 0.9019f);
    EXPECT_FLOAT_EQ(table.find('\'')->u1, 0.9873f);

    const Glyph* zero = table.find('0');
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->texture, 22u);
    EXPECT_FLOAT_EQ(zero->u0, 0.6546f);
    EXPECT_FLOAT_EQ(zero->u1, 0.6834f);

    const Glyph* space = table.find(' ');
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(space->atlas, MINUSCULES_ATLAS);
    EXPECT_FLOAT_EQ(space->u0, 0.9428f);
    EXPECT_FLOAT_EQ(space->u1, 0.9630f);

    for (char c : std::string("%_=@\n\t")) {
        EXPECT_EQ(table.find(static_cast<unsigned char>(c)), nullptr) << c;
    }
    EXPECT_EQ(table.find(0xE9), nullptr);
}

TEST(GlyphTableTest, BoundariesIncreaseInsideTheAtlas) {
    for (size_t k = 0; k + 1 < CAPITAL_BOUNDARIES.size(); ++k) {
        EXPECT_LT(CAPITAL_BOUNDARIES[k], CAPITAL_BOUNDARIES[k + 1]) << k;
    }
    for (size_t k = 0; k + 1 < MINUSCULE_BOUNDARIES.size(); ++k) {
        EXPECT_LT(MINUSCULE_BOUNDARIES[k], MINUSCULE_BOUNDARIES[k + 1]) << k;
    }
    EXPECT_LE(CAPITAL_BOUNDARIES.back(), 1.0f);
    EXPECT_LE(MINUSCULE_BOUNDARIES.back(), 1.0f);
}

TEST(LabelLayoutTest, WidthSumsGlyphsAndSpacingAndSkipsUnknownCharacters) {
    const float gap = 5.0f / (30.0f * 21.875f);
    const std::string text = "Ab 19";
    const float expected = w('A') + w('b') + w(' ') + w('1') + w('9') + 5 * gap;
    EXPECT_NEAR(labelTextWidth(table, text, 30, 5), expected, 1e-6f);

    // No glyph: nothing drawn and no advance, not even the spacing.
    EXPECT_FLOAT_EQ(labelTextWidth(table, "A%_=b", 30, 5), labelTextWidth(table, "Ab", 30, 5));
    // The space has a glyph and advances.
    EXPECT_GT(labelTextWidth(table, "a b", 30, 5), labelTextWidth(table, "ab", 30, 5) + gap);
    EXPECT_FLOAT_EQ(labelTextWidth(table, "", 30, 5), 0.0f);
}

TEST(LabelLayoutTest, ZeroHeightGivesNoAdvanceInsteadOfInfinity) {
    const float s = labelTextWidth(table, "Hello", 0, 5);
    EXPECT_TRUE(std::isfinite(s));
    EXPECT_FLOAT_EQ(s, 0.0f);
}

TEST(LabelLayoutTest, BoxMarginsOnlyWithABox) {
    EXPECT_FLOAT_EQ(labelMargins(true).x, 0.1f);
    EXPECT_FLOAT_EQ(labelMargins(true).y, 0.3f);
    EXPECT_FLOAT_EQ(labelMargins(false).x, 0.0f);
    EXPECT_FLOAT_EQ(labelMargins(false).y, 0.0f);
}

TEST(LabelFadeTest, AlwaysVisibleLabelsNeverFade) {
    for (uint32_t now : {0u, 1u, 5000u, 4000000000u}) {
        const LabelFade f = labelFade(LABEL_ALWAYS_VISIBLE, 500, 1000, now);
        EXPECT_TRUE(f.visible);
        EXPECT_FLOAT_EQ(f.opacity, 1.0f);
        EXPECT_FLOAT_EQ(f.scale, 1.0f);
    }
}

TEST(LabelFadeTest, FadesInShrinkingHoldsThenFadesOutGrowing) {
    const uint32_t start = 1000;
    auto at = [&](uint32_t t) { return labelFade(1500, 500, start, start + t); };
    EXPECT_FALSE(at(0).visible);  // opacity 0: the scale would be infinite
    EXPECT_FLOAT_EQ(at(250).opacity, 0.5f);
    EXPECT_FLOAT_EQ(at(250).scale, 2.0f);
    EXPECT_FLOAT_EQ(at(500).opacity, 1.0f);
    EXPECT_FLOAT_EQ(at(1200).scale, 1.0f);
    EXPECT_FLOAT_EQ(at(2000).opacity, 1.0f);  // end of the display time
    EXPECT_FLOAT_EQ(at(2250).opacity, 0.5f);
    EXPECT_FLOAT_EQ(at(2250).scale, 2.0f);
    EXPECT_FLOAT_EQ(at(2400).opacity, 0.2f);
    // Invisible from 2500 ms on, until the next rebuild.
    EXPECT_FALSE(at(2500).visible);
    EXPECT_FALSE(at(2501).visible);
    EXPECT_FALSE(at(600000).visible);
    // Across the 32-bit clock wrap.
    EXPECT_FLOAT_EQ(labelFade(1500, 500, 0xFFFFFF00u, 0xFFFFFF00u + 250u).opacity, 0.5f);
}

TEST(LabelFadeTest, ZeroFadeShowsFullyForTheDuration) {
    EXPECT_TRUE(labelFade(1000, 0, 0, 0).visible);
    EXPECT_FLOAT_EQ(labelFade(1000, 0, 0, 1000).opacity, 1.0f);
    EXPECT_FALSE(labelFade(1000, 0, 0, 1001).visible);
}

TEST(LabelFadeTest, BoxAlphaIsTheColourAlphaAbove150) {
    EXPECT_EQ(labelBoxAlpha(150, 1.0f), 0);
    EXPECT_EQ(labelBoxAlpha(100, 1.0f), 0);
    EXPECT_EQ(labelBoxAlpha(0, 0.5f), 0);
    EXPECT_EQ(labelBoxAlpha(255, 1.0f), 105);
    EXPECT_EQ(labelBoxAlpha(255, 0.5f), 52);
    EXPECT_EQ(labelTextAlpha(255, 0.5f), 127);
    EXPECT_EQ(labelTextAlpha(200, 1.0f), 200);
    EXPECT_EQ(labelTextAlpha(200, 0.0f), 0);
}

TEST(LabelTest, ShowMessageSetsTheMessageLook) {
    Label label;
    label.colour = {{1, 2, 3, 4}};
    showMessage(label, "Success! Gesture trained!");
    EXPECT_EQ(label.text, "Success! Gesture trained!");
    EXPECT_EQ(label.height, 30u);
    EXPECT_EQ(label.spacing, 5u);
    EXPECT_TRUE(label.withBox);
    EXPECT_EQ(label.colour[3], 4);
}
