#pragma once
// On-screen text from the two bitmap-font atlases. A label compiles its text into two GL display
// lists when it is rebuilt and replays them every frame at its position, optionally over a
// translucent white box and optionally fading in and out over a display time.
// Units: window pixels, origin bottom-left, y up; times are the program clock's milliseconds.
// Only the frame loop's thread touches labels.
#include <array>
#include <cstdint>
#include <string>

#include "common/widgets/glyph_tables.h"

constexpr int32_t LABEL_ALWAYS_VISIBLE = -1;  // duration value: no fading at all

struct Label {
    std::string text;
    uint32_t height = 0;   // glyph height, pixels
    uint32_t spacing = 0;  // extra gap after each glyph, pixels
    uint32_t x = 0;        // lower-left corner, pixels
    uint32_t y = 0;
    std::array<uint8_t, 4> colour{{0, 0, 0, 0}};  // r, g, b, a
    bool withBox = false;  // translucent white box behind the text
    int32_t duration = 0;  // ms fully visible; LABEL_ALWAYS_VISIBLE = always, no fading
    uint32_t fade = 0;     // ms of fading in, and again of fading out
    uint32_t start = 0;    // clock ms of the last rebuild
    unsigned int textList = 0;  // GL display-list names
    unsigned int boxList = 0;
};

// A new label with its two display lists; the first call also loads the glyph atlases.
// Needs a GL context.
Label createLabel();

// Compiles the display lists from the current text and fields and restarts the fading
// (start = now). Call after every change of text or appearance.
void rebuildLabel(Label& label, uint32_t nowMs);

// Once per frame in the window-pixel projection. Leaves the depth test on.
void drawLabel(const Label& label, uint32_t nowMs);

// Sets the message label's text and look: height 30, spacing 5, with box. The caller rebuilds.
void showMessage(Label& messageLabel, const std::string& text);

// ---- Layout arithmetic, free of GL ----
// Horizontal glyph units: one unit is height * 21.875 pixels (the atlas width at that height).

// Step after a glyph: its width plus the spacing in glyph units. 0 when height is 0.
float glyphAdvance(const Glyph& glyph, uint32_t height, uint32_t spacing);

// Running width s of the text in glyph units; characters without a glyph add nothing.
float labelTextWidth(const GlyphTable& table, const std::string& text, uint32_t height,
                     uint32_t spacing);

// Margins of the box in glyph units: (0.1, 0.3) with a box, else (0, 0).
struct LabelMargins {
    float x = 0.0f;
    float y = 0.0f;
};
LabelMargins labelMargins(bool withBox);

// Opacity f and scale k at a moment; visible false means nothing is drawn.
struct LabelFade {
    bool visible = true;
    float opacity = 1.0f;
    float scale = 1.0f;
};
LabelFade labelFade(int32_t duration, uint32_t fade, uint32_t start, uint32_t nowMs);

// Box alpha (a - 150) * f truncated, 0 if not positive; text alpha a * f truncated.
uint8_t labelBoxAlpha(uint8_t alpha, float opacity);
uint8_t labelTextAlpha(uint8_t alpha, float opacity);
