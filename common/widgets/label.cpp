#include "common/widgets/label.h"

#include <GL/gl.h>

namespace {

constexpr float BOX_MARGIN_X = 0.1f;
constexpr float BOX_MARGIN_Y = 0.3f;

}  // namespace

float glyphAdvance(const Glyph& glyph, uint32_t height, uint32_t spacing) {
    if (height == 0) return 0.0f;
    return (glyph.u1 - glyph.u0) +
           static_cast<float>(spacing) / (static_cast<float>(height) * GLYPH_ATLAS_ASPECT);
}

float labelTextWidth(const GlyphTable& table, const std::string& text, uint32_t height,
                     uint32_t spacing) {
    float s = 0.0f;
    for (char c : text) {
        const Glyph* glyph = table.find(static_cast<unsigned char>(c));
        if (glyph) s += glyphAdvance(*glyph, height, spacing);
    }
    return s;
}

LabelMargins labelMargins(bool withBox) {
    LabelMargins margins;
    if (withBox) {
        margins.x = BOX_MARGIN_X;
        margins.y = BOX_MARGIN_Y;
    }
    return margins;
}

LabelFade labelFade(int32_t duration, uint32_t fade, uint32_t start, uint32_t nowMs) {
    LabelFade result;
    if (duration == LABEL_ALWAYS_VISIBLE) return result;
    const int64_t t = nowMs - start;  // unsigned difference: survives the 32-bit wrap
    const int64_t d = duration;
    const int64_t fd = fade;
    if (t > d + 2 * fd) {
        result.visible = false;
        return result;
    }
    if (t < fd) {
        result.opacity = static_cast<float>(t) / static_cast<float>(fd);
    } else if (t > fd + d) {
        result.opacity = static_cast<float>(d + 2 * fd - t) / static_cast<float>(fd);
    }
    // At the very ends of the fades the opacity is 0 and the scale 1/f would be infinite:
    // nothing would show anyway, so nothing is drawn.
    if (result.opacity <= 0.0f) {
        result.visible = false;
        result.opacity = 0.0f;
        return result;
    }
    result.scale = 1.0f / result.opacity;
    return result;
}

uint8_t labelBoxAlpha(uint8_t alpha, float opacity) {
    const int value = static_cast<int>((static_cast<int>(alpha) - 150) * opacity);
    return value > 0 ? static_cast<uint8_t>(value) : 0;
}

uint8_t labelTextAlpha(uint8_t alpha, float opacity) {
    const int value = static_cast<int>(static_cast<float>(alpha) * opacity);
    return value > 0 ? static_cast<uint8_t>(value > 255 ? 255 : value) : 0;
}

Label createLabel() {
    Label label;
    const GLuint lists = glGenLists(2);
    if (lists != 0) {
        label.textList = lists;
        label.boxList = lists + 1;
    }
    sharedGlyphTable();
    return label;
}

void rebuildLabel(Label& label, uint32_t nowMs) {
    label.start = nowMs;
    if (label.textList == 0) return;  // no GL lists: nothing can be compiled
    const GlyphTable& table = sharedGlyphTable();
    const LabelMargins margins = labelMargins(label.withBox);
    const float unit = static_cast<float>(label.height) * GLYPH_ATLAS_ASPECT;

    float s = 0.0f;
    glNewList(label.textList, GL_COMPILE);
    // A label of height 0 compiles empty lists instead of dividing by zero.
    if (label.height > 0) {
        glEnable(GL_TEXTURE_2D);
        glPushMatrix();
        glScalef(unit, static_cast<float>(label.height), 0.0f);
        glTranslatef(margins.x, margins.y, 0.0f);
        for (char c : label.text) {
            const Glyph* glyph = table.find(static_cast<unsigned char>(c));
            if (!glyph) continue;  // no glyph: nothing drawn and no advance
            const float w = glyph->u1 - glyph->u0;
            glBindTexture(GL_TEXTURE_2D, glyph->texture);
            // The atlas's first row lies at the top of the quad.
            glBegin(GL_QUADS);
            glTexCoord2f(glyph->u0, 1.0f);
            glVertex2f(0.0f, 0.0f);
            glTexCoord2f(glyph->u1, 1.0f);
            glVertex2f(w, 0.0f);
            glTexCoord2f(glyph->u1, 0.0f);
            glVertex2f(w, 1.0f);
            glTexCoord2f(glyph->u0, 0.0f);
            glVertex2f(0.0f, 1.0f);
            glEnd();
            const float g = glyphAdvance(*glyph, label.height, label.spacing);
            glTranslatef(g, 0.0f, 0.0f);
            s += g;
        }
        glPopMatrix();
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisable(GL_TEXTURE_2D);
    }
    glEndList();

    glNewList(label.boxList, GL_COMPILE);
    if (label.withBox && label.height > 0) {
        glDisable(GL_TEXTURE_2D);
        glPushMatrix();
        glScalef(unit, static_cast<float>(label.height), 0.0f);
        // The top-left corner sits at -mx, so the left edge leans outwards at the top.
        glBegin(GL_QUADS);
        glVertex2f(0.0f, 0.0f);
        glVertex2f(2.0f * margins.x + s, 0.0f);
        glVertex2f(2.0f * margins.x + s, 2.0f * margins.y + 1.0f);
        glVertex2f(-margins.x, 2.0f * margins.y + 1.0f);
        glEnd();
        glPopMatrix();
    }
    glEndList();
}

void drawLabel(const Label& label, uint32_t nowMs) {
    const LabelFade fade = labelFade(label.duration, label.fade, label.start, nowMs);
    if (!fade.visible || label.textList == 0) return;
    glDisable(GL_DEPTH_TEST);
    glPushMatrix();
    glTranslatef(static_cast<float>(label.x), static_cast<float>(label.y), 0.0f);
    glScalef(fade.scale, fade.scale, 0.0f);
    if (label.withBox) {
        glColor4ub(255, 255, 255, labelBoxAlpha(label.colour[3], fade.opacity));
        glCallList(label.boxList);
    }
    glColor4ub(label.colour[0], label.colour[1], label.colour[2],
               labelTextAlpha(label.colour[3], fade.opacity));
    glCallList(label.textList);
    glEnable(GL_DEPTH_TEST);
    glPopMatrix();
}

void showMessage(Label& messageLabel, const std::string& text) {
    messageLabel.text = text;
    messageLabel.height = 30;
    messageLabel.spacing = 5;
    messageLabel.withBox = true;
}
