#pragma once
// The radial tool menu: an enter button under the tool box, a ring of eight tool buttons around
// the window centre and a leave button in the centre. Opening spins the ring in from six times
// its size; closing spins it out again. Window pixels, origin bottom-left, y up.
//
//   MenuClosed  -(BUTTON_ENTER_MENU)->  MenuOpening  -(counter reaches 5)->  MenuOpen
//   MenuOpen / MenuOpening  -(any other button)->  MenuClosing  -(counter reaches 30)->  MenuClosed
// Tools receive input only while the menu is closed.
#include <string>

#include "common/widgets/button.h"

enum MenuState { MenuClosed = 0, MenuOpening = 1, MenuOpen = 2, MenuClosing = 3 };

constexpr int MENU_BUTTON_COUNT = 10;
constexpr int MENU_COUNTER_CLOSED = 30;  // the ring at six times its size
constexpr int MENU_COUNTER_OPEN = 5;     // the ring at its own size
constexpr float MENU_RING_RADIUS = 200.0f;

// Button names by index; buttons 1 to 8 select the tool with the same index.
extern const char* const MENU_BUTTON_NAMES[MENU_BUTTON_COUNT];
extern const char* const MENU_BUTTON_ICONS[MENU_BUTTON_COUNT];

struct RadialMenu {
    ButtonList buttons;   // MENU_BUTTON_COUNT, in MENU_BUTTON_NAMES order
    int counter = MENU_COUNTER_CLOSED;
    int state = MenuClosed;
};

// The ten buttons, colour white; with `loadImages` (needs GL) their textures too. Button 0 is
// shown, the others stay disabled and invisible; state MenuClosed, counter 30.
void createRadialMenu(RadialMenu& menu, bool loadImages);

// Button 0 under the tool box at (width - 76, height - 148 - 1.5 size); buttons 1..8 on the
// ring, button 1 on the positive x axis, counter-clockwise in 45 degree steps; button 9 at the
// centre.
void layoutRadialMenu(RadialMenu& menu, int width, int height);

// show: visible, Idle, no pending disable. hide: a pressed button finishes its flash first.
void showMenuButton(Button& button);
void hideMenuButton(Button& button);

// The menu's part of a pressed button: returns the tool index it selects (1..8), or -1.
// BUTTON_ENTER_MENU opens; every other name closes (BUTTON_LEAVE_MENU selects nothing).
int pressMenuButton(RadialMenu& menu, const std::string& name);

// One animation step, taken once per drawn frame while opening or closing.
void advanceRadialMenu(RadialMenu& menu);

// Draws button 0 and, by state, the (spinning) ring; then advances the animation unless
// `animate` is false (a frame held still behind the file dialog). Inside the window-pixel
// overlay.
void drawRadialMenu(RadialMenu& menu, int width, int height, uint32_t nowMs, bool animate = true);
