#include "terrain/radial_menu.h"

#include <GL/gl.h>

#include <cmath>

const char* const MENU_BUTTON_NAMES[MENU_BUTTON_COUNT] = {
    "BUTTON_ENTER_MENU",   "BUTTON_CAMERA",      "BUTTON_TERRA_BRUSH", "BUTTON_SMOOTH_BRUSH",
    "BUTTON_RANDOMIZE_BRUSH", "BUTTON_BULLDOZE_BRUSH", "BUTTON_DUMP_BRUSH", "BUTTON_COLOR_BRUSH",
    "BUTTON_COLOR_PICKER", "BUTTON_LEAVE_MENU"};

const char* const MENU_BUTTON_ICONS[MENU_BUTTON_COUNT] = {
    "../images/menu_button.png",     "../images/camera_3d.png",     "../images/terra_brush.png",
    "../images/smooth_brush.png",    "../images/randomize_brush.png", "../images/bulldoze_brush.png",
    "../images/dump_brush.png",      "../images/brushtool.png",     "../images/colorpicker.png",
    "../images/exit_button.png"};

namespace {

float menuButtonSize(int index) { return index == 0 || index == MENU_BUTTON_COUNT - 1 ? 48.0f : 64.0f; }

// The ring's spin: about the window centre, counter x 4 degrees, scaled by counter x 0.2.
void ringTransform(int counter, int width, int height) {
    const float cx = static_cast<float>(width) / 2.0f, cy = static_cast<float>(height) / 2.0f;
    const float k = static_cast<float>(counter) * 0.2f;
    glTranslatef(cx, cy, 0.0f);
    glRotatef(static_cast<float>(counter) * 4.0f, 0.0f, 0.0f, 1.0f);
    glScalef(k, k, k);
    glTranslatef(-cx, -cy, 0.0f);
}

}  // namespace

void createRadialMenu(RadialMenu& menu, bool loadImages) {
    menu.buttons.clear();
    for (int i = 0; i < MENU_BUTTON_COUNT; ++i) {
        const float size = menuButtonSize(i);
        menu.buttons.push_back(loadImages
                                   ? createButton(MENU_BUTTON_NAMES[i], 0.0f, 0.0f, size, 255, 255, 255,
                                                  MENU_BUTTON_ICONS[i])
                                   : makeButton(MENU_BUTTON_NAMES[i], 0.0f, 0.0f, size, 255, 255, 255));
    }
    showMenuButton(menu.buttons[0]);
    menu.state = MenuClosed;
    menu.counter = MENU_COUNTER_CLOSED;
}

void layoutRadialMenu(RadialMenu& menu, int width, int height) {
    const int n = static_cast<int>(menu.buttons.size());
    if (n == 0) return;
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    Button& enter = menu.buttons[0];
    enter.x = w - 76.0f;
    enter.y = h - 148.0f - 1.5f * enter.size;
    for (int i = 1; i < n - 1; ++i) {
        const float angle = static_cast<float>(i - 1) * 6.28319f / static_cast<float>(n - 2);
        menu.buttons[static_cast<size_t>(i)].x = MENU_RING_RADIUS * std::cos(angle) + w / 2.0f;
        menu.buttons[static_cast<size_t>(i)].y = MENU_RING_RADIUS * std::sin(angle) + h / 2.0f;
    }
    if (n > 1) {
        menu.buttons[static_cast<size_t>(n - 1)].x = w / 2.0f;
        menu.buttons[static_cast<size_t>(n - 1)].y = h / 2.0f;
    }
}

void showMenuButton(Button& button) {
    button.visible = true;
    button.state = ButtonIdle;
    button.disableAfterPress = false;
}

void hideMenuButton(Button& button) {
    if (button.state == ButtonPressed) {
        button.disableAfterPress = true;
    } else {
        button.state = ButtonDisabled;
    }
}

int pressMenuButton(RadialMenu& menu, const std::string& name) {
    const int n = static_cast<int>(menu.buttons.size());
    if (n == 0) return -1;
    if (name == MENU_BUTTON_NAMES[0]) {
        for (int i = 1; i < n; ++i) showMenuButton(menu.buttons[static_cast<size_t>(i)]);
        menu.state = MenuOpening;
        hideMenuButton(menu.buttons[0]);
        return -1;
    }
    int tool = -1;
    for (int i = 1; i <= 8 && i < n; ++i) {
        if (name == MENU_BUTTON_NAMES[i]) tool = i;
    }
    for (int i = 1; i < n; ++i) hideMenuButton(menu.buttons[static_cast<size_t>(i)]);
    showMenuButton(menu.buttons[0]);
    menu.state = MenuClosing;
    return tool;
}

void advanceRadialMenu(RadialMenu& menu) {
    if (menu.state == MenuOpening) {
        --menu.counter;
        if (menu.counter <= MENU_COUNTER_OPEN) {
            menu.counter = MENU_COUNTER_OPEN;
            menu.state = MenuOpen;
        }
    } else if (menu.state == MenuClosing) {
        ++menu.counter;
        if (menu.counter >= MENU_COUNTER_CLOSED) {
            menu.counter = MENU_COUNTER_CLOSED;
            menu.state = MenuClosed;
        }
    }
}

void drawRadialMenu(RadialMenu& menu, int width, int height, uint32_t nowMs, bool animate) {
    const size_t n = menu.buttons.size();
    if (n == 0) return;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    drawButton(menu.buttons[0], nowMs);
    if (menu.state == MenuOpening || menu.state == MenuClosing) {
        ringTransform(menu.counter, width, height);
        for (size_t i = 1; i + 1 < n; ++i) drawButton(menu.buttons[i], nowMs);
    } else if (menu.state == MenuOpen) {
        for (size_t i = 1; i < n; ++i) drawButton(menu.buttons[i], nowMs);
    }
    glPopMatrix();
    if (animate) advanceRadialMenu(menu);
}
