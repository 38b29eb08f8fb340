#include "common/widgets/button.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/widgets/texture.h"

namespace {

constexpr float PI_APPROX = 3.14159f;
constexpr int FLASH_RIM_POINTS = 64;

// The unit square from (-1, -1) to (1, 1) with the image's first row along the top edge.
void drawTexturedUnitSquare() {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, 1.0f);
    glEnd();
}

}  // namespace

Button makeButton(const std::string& name, float x, float y, float size, uint8_t r, uint8_t g,
                  uint8_t b) {
    Button button;
    button.name = name;
    button.colour = {{r, g, b}};
    button.x = x;
    button.y = y;
    button.size = size;
    button.sizeSquared = size * size;
    return button;
}

Button createButton(const std::string& name, float x, float y, float size, uint8_t r, uint8_t g,
                    uint8_t b, const std::string& iconPath) {
    Button button = makeButton(name, x, y, size, r, g, b);
    // Each button loads its own copy of the background, as every control owns its textures.
    button.backgroundTexture = loadTexture("../images/button_background.png", TEXTURE_MIPMAPS);
    button.iconTexture = loadTexture(iconPath, TEXTURE_MIPMAPS);
    return button;
}

bool buttonContains(const Button& button, float px, float py) {
    const float dx = px - button.x;
    const float dy = py - button.y;
    return dx * dx + dy * dy < button.sizeSquared;
}

void updateButton(Button& button, float px, float py, uint32_t nowMs, ButtonEvents& events) {
    if (button.disableAfterPress && nowMs - button.pressTime > BUTTON_DISABLE_AFTER_PRESS_MS) {
        button.state = ButtonDisabled;
        button.disableAfterPress = false;
    }
    const bool inside = buttonContains(button, px, py);
    switch (button.state) {
        case ButtonIdle:
            if (inside) {
                button.hoverStart = nowMs;
                button.state = ButtonHovered;
            }
            break;
        case ButtonHovered:
            if (!inside) {
                button.state = ButtonIdle;
            } else if (nowMs - button.hoverStart > BUTTON_DWELL_MS) {
                events.push_back(button.name);
                button.pressTime = nowMs;
                button.state = ButtonPressed;
            }
            break;
        case ButtonPressed:
            if (!inside) button.state = ButtonIdle;
            break;
        default:
            break;
    }
}

void updateButtons(ButtonList& buttons, float px, float py, uint32_t nowMs, ButtonEvents& events) {
    for (Button& button : buttons) updateButton(button, px, py, nowMs, events);
}

void cancelDwell(ButtonList& buttons) {
    for (Button& button : buttons) {
        if (button.state == ButtonHovered) button.state = ButtonIdle;
    }
}

int findButton(const ButtonList& buttons, const std::string& name) {
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i].name == name) return static_cast<int>(i);
    }
    return -1;
}

uint8_t buttonAlpha(const Button& button) { return button.state == ButtonIdle ? 128 : 255; }

void drawButton(const Button& button, uint32_t nowMs) {
    if (!button.visible) return;
    glPushMatrix();
    glTranslatef(button.x, button.y, 0.0f);
    glScalef(button.size, button.size, 1.0f);
    const uint8_t alpha = buttonAlpha(button);
    const uint32_t sinceHover = nowMs - button.hoverStart;

    if (button.state == ButtonHovered) {
        // Dwell progress: a grey sector from twelve o'clock sweeping clockwise. Past a full
        // second (drawn before this frame's press) it stays a full disc.
        const float e = std::min(static_cast<float>(sinceHover) / 1000.0f, 1.0f);
        const int n = static_cast<int>(e * 64.0f);
        if (n >= 2) {
            glColor4f(0.6f, 0.6f, 0.6f, e);
            glBegin(GL_TRIANGLE_FAN);
            glVertex2f(0.0f, 0.0f);
            for (int i = 0; i < n; ++i) {
                const float theta = static_cast<float>(i) / static_cast<float>(n - 1) * e * 2.0f *
                                    PI_APPROX;
                glVertex2f(1.1f * std::sin(theta), 1.1f * std::cos(theta));
            }
            glEnd();
        }
    } else if (button.state == ButtonPressed && sinceHover < BUTTON_DISABLE_AFTER_PRESS_MS) {
        // Press flash: a disc growing from the dwell disc and fading out within 200 ms.
        const float t = static_cast<float>(sinceHover) / 1000.0f - 1.0f;
        const float radius = 1.1f + 3.0f * t;
        glColor4f(0.6f, 0.6f, 0.6f, 1.0f - 5.0f * t);
        glBegin(GL_TRIANGLE_FAN);
        glVertex2f(0.0f, 0.0f);
        for (int i = 0; i < FLASH_RIM_POINTS; ++i) {
            const float theta = static_cast<float>(i) / (FLASH_RIM_POINTS - 1) * 2.0f * PI_APPROX;
            glVertex2f(radius * std::sin(theta), radius * std::cos(theta));
        }
        glEnd();
    }

    if (button.state == ButtonDisabled) {
        glColor4ub(200, 200, 200, alpha);
    } else {
        glColor4ub(button.colour[0], button.colour[1], button.colour[2], alpha);
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, button.backgroundTexture);
    drawTexturedUnitSquare();
    // A missing icon is left out rather than drawn as a white square over the button.
    if (button.iconTexture != 0) {
        glColor4ub(255, 255, 255, alpha);
        glBindTexture(GL_TEXTURE_2D, button.iconTexture);
        drawTexturedUnitSquare();
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();
}

bool countdownRunning(const Countdown& countdown, uint32_t nowMs) {
    return countdown.start != 0 && nowMs - countdown.start <= countdown.duration;
}

int countdownSecondsLeft(const Countdown& countdown, uint32_t nowMs) {
    // Signed, so that a countdown that has run out shows nothing instead of a wrapped number.
    const int64_t elapsed = static_cast<int32_t>(nowMs - countdown.start);
    const int64_t left = static_cast<int64_t>(countdown.duration) - elapsed;
    return left > 0 ? static_cast<int>(left / 1000) : 0;
}

DigitTextures loadDigitTextures() {
    static const char* const NAMES[10] = {"zero", "one", "two",   "three", "four",
                                          "five", "six", "seven", "eight", "nine"};
    DigitTextures digits{};
    for (int i = 0; i < 10; ++i) {
        digits[i] = loadTexture(std::string("../images/") + NAMES[i] + ".png", TEXTURE_MIPMAPS);
    }
    return digits;
}

void drawCountdown(const Countdown& countdown, const DigitTextures& digits, float aspect,
                   uint32_t nowMs) {
    const int secondsLeft = countdownSecondsLeft(countdown, nowMs);
    if (secondsLeft <= 0) return;
    const float e = static_cast<float>((nowMs - countdown.start) % 1000);

    char text[16];
    const int n = std::snprintf(text, sizeof(text), "%d", secondsLeft);

    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1000.0 * aspect, 1000.0 * aspect, -1000.0, 1000.0, -10.0, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glScalef(e, e, e);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f - e / 1000.0f);
    glEnable(GL_TEXTURE_2D);
    for (int i = 0; i < n; ++i) {
        const float cx = static_cast<float>(1 - n + 2 * i);
        glBindTexture(GL_TEXTURE_2D, digits[text[i] - '0']);
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f);
        glVertex2f(cx - 1.0f, 1.0f);
        glTexCoord2f(0.0f, 1.0f);
        glVertex2f(cx - 1.0f, -1.0f);
        glTexCoord2f(1.0f, 1.0f);
        glVertex2f(cx + 1.0f, -1.0f);
        glTexCoord2f(1.0f, 0.0f);
        glVertex2f(cx + 1.0f, 1.0f);
        glEnd();
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
}
