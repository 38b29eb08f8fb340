#pragma once
// Round dwell buttons: textured squares pressed by holding an engaged hand pointer over them for
// more than a second (there is no click), and the queue through which presses reach the program.
// Coordinates are window pixels, origin bottom-left, y up. Times are the program clock's
// milliseconds (only differences are used, so the 32-bit wrap is harmless).
// Only the frame loop's thread touches buttons and their queue.
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

enum ButtonState { ButtonDisabled = 0, ButtonIdle = 1, ButtonHovered = 2, ButtonPressed = 3 };

constexpr uint32_t BUTTON_DWELL_MS = 1000;            // hover longer than this presses
constexpr uint32_t BUTTON_DISABLE_AFTER_PRESS_MS = 1200;  // lets the press flash finish

// Names of pressed buttons, oldest first; one per program, drained by the frame loop.
using ButtonEvents = std::deque<std::string>;

struct Button {
    std::string name;                        // queued when pressed, e.g. "BUTTON_TRAINING"
    std::array<uint8_t, 3> colour{{0, 0, 0}};  // background tint r, g, b
    float x = 0.0f;                          // centre, window pixels
    float y = 0.0f;
    float size = 0.0f;          // half the drawn square's side and radius of the sensitive circle
    float sizeSquared = 0.0f;
    // GL names; 0 = image missing: the background is then drawn untextured in the tint, and a
    // missing icon is left out.
    unsigned int backgroundTexture = 0;
    unsigned int iconTexture = 0;
    bool visible = false;                // only drawing looks at it, not the dwell test
    int state = ButtonDisabled;
    bool disableAfterPress = false;      // turn Disabled 1200 ms after the last press
    uint32_t hoverStart = 0;             // clock ms
    uint32_t pressTime = 0;              // clock ms
};

using ButtonList = std::vector<Button>;

// Fills a button without touching GL: invisible, Disabled, no textures.
Button makeButton(const std::string& name, float x, float y, float size, uint8_t r, uint8_t g,
                  uint8_t b);

// makeButton plus the textures "../images/button_background.png" and iconPath (mipmapped).
// The program makes it usable by setting visible and state = ButtonIdle. Needs a GL context.
Button createButton(const std::string& name, float x, float y, float size, uint8_t r, uint8_t g,
                    uint8_t b, const std::string& iconPath);

// True when the pointer lies strictly inside the sensitive circle (on the circle is outside).
bool buttonContains(const Button& button, float px, float py);

// The dwell state machine, once per frame with the pointer in window pixels:
//   Disabled -> (nothing; the program enables)
//   Idle     -> Hovered   pointer inside (hoverStart = now)
//   Hovered  -> Idle      pointer outside
//   Hovered  -> Pressed   inside and now - hoverStart > 1000: name queued, pressTime = now
//   Pressed  -> Idle      pointer outside (it must leave and hover again to press again)
//   any      -> Disabled  disableAfterPress and now - pressTime > 1200 (flag cleared)
void updateButton(Button& button, float px, float py, uint32_t nowMs, ButtonEvents& events);
void updateButtons(ButtonList& buttons, float px, float py, uint32_t nowMs, ButtonEvents& events);
// Hovered buttons go back to Idle, so that a dwell starts over at the next hover (used while the
// program is held, so that no dwell completes behind a dialog).
void cancelDwell(ButtonList& buttons);

// Index of the first button named exactly `name`, or -1.
int findButton(const ButtonList& buttons, const std::string& name);

// Alpha of the textured square: 128 when Idle, else 255.
uint8_t buttonAlpha(const Button& button);

// Draws one visible button (dwell sector, press flash, background, icon) in the window-pixel
// projection. Leaves texturing off.
void drawButton(const Button& button, uint32_t nowMs);

// Recording countdown: start 0 means none.
struct Countdown {
    uint32_t start = 0;     // clock ms
    uint32_t duration = 0;  // ms
};

// Running while start != 0 and now - start <= duration.
bool countdownRunning(const Countdown& countdown, uint32_t nowMs);

// Whole seconds left, (duration + start - now) / 1000; 0 when the time is up (never negative).
int countdownSecondsLeft(const Countdown& countdown, uint32_t nowMs);

// Texture names of "../images/zero.png" .. "../images/nine.png", index = digit.
using DigitTextures = std::array<unsigned int, 10>;
DigitTextures loadDigitTextures();

// Draws the seconds left over the whole window, growing and fading within each second; nothing
// when no whole second is left. aspect = window width / height. Restores both matrices and
// leaves the depth test on.
void drawCountdown(const Countdown& countdown, const DigitTextures& digits, float aspect,
                   uint32_t nowMs);
