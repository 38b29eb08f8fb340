#include "common/app/gui_glue.h"

#include <GL/freeglut.h>
#include <algorithm>
#include <iterator>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

namespace {
bool guiReady = false;

// ImGui of this version reads keys and mouse buttons as "down now" flags when a frame starts,
// so a press and release that both arrive between two frames (a quick tap on a slow frame)
// would never be seen: Enter or Escape in the file dialog, a click on a button. A release of
// something pressed since the last frame start is therefore held back until that frame has
// started and seen the press.
enum class ReleaseKind { KEY, SPECIAL, MOUSE };
struct HeldRelease {
    ReleaseKind kind;
    int code;
    int x;
    int y;
};
constexpr int MAX_HELD_RELEASES = 32;
HeldRelease heldReleases[MAX_HELD_RELEASES];
int heldReleaseCount = 0;
bool keyPressedThisFrame[256] = {};
bool specialPressedThisFrame[512] = {};
bool mousePressedThisFrame[8] = {};

// What the backend's release handlers do, minus their modifier update: that asks GLUT for the
// modifiers, which it answers (with a warning on stderr) only inside an input callback, and a
// held release is applied at the start of a frame. The modifiers were read at the press.
void applyHeldRelease(const HeldRelease& release) {
    ImGuiIO& io = ImGui::GetIO();
    const int c = release.code;
    switch (release.kind) {
    case ReleaseKind::KEY:
        // The backend keeps letters in both cases, and control letters as 1..26 as well.
        if (c >= 1 && c <= 26) {
            io.KeysDown[c] = io.KeysDown[c - 1 + 'a'] = io.KeysDown[c - 1 + 'A'] = false;
        } else if (c >= 'a' && c <= 'z') {
            io.KeysDown[c] = io.KeysDown[c - 'a' + 'A'] = false;
        } else if (c >= 'A' && c <= 'Z') {
            io.KeysDown[c] = io.KeysDown[c - 'A' + 'a'] = false;
        } else {
            io.KeysDown[c] = false;
        }
        break;
    case ReleaseKind::SPECIAL:
        if (c + 256 < IM_ARRAYSIZE(io.KeysDown)) io.KeysDown[c + 256] = false;
        break;
    case ReleaseKind::MOUSE:
        io.MousePos = ImVec2(static_cast<float>(release.x), static_cast<float>(release.y));
        if (c == GLUT_LEFT_BUTTON) io.MouseDown[0] = false;
        if (c == GLUT_RIGHT_BUTTON) io.MouseDown[1] = false;
        if (c == GLUT_MIDDLE_BUTTON) io.MouseDown[2] = false;
        break;
    }
}

void applyRelease(const HeldRelease& release) {
    switch (release.kind) {
    case ReleaseKind::KEY:
        ImGui_ImplGLUT_KeyboardUpFunc(static_cast<unsigned char>(release.code), release.x, release.y);
        break;
    case ReleaseKind::SPECIAL:
        ImGui_ImplGLUT_SpecialUpFunc(release.code, release.x, release.y);
        break;
    case ReleaseKind::MOUSE:
        ImGui_ImplGLUT_MouseFunc(release.code, GLUT_UP, release.x, release.y);
        break;
    }
}

// Holds the release back when the press came after the current frame started; a full list
// (dozens of taps within one frame) lets the release through rather than lose track.
void releaseOrHold(ReleaseKind kind, bool pressedThisFrame, int code, int x, int y) {
    HeldRelease release{kind, code, x, y};
    if (pressedThisFrame && heldReleaseCount < MAX_HELD_RELEASES) {
        heldReleases[heldReleaseCount++] = release;
    } else {
        applyRelease(release);
    }
}
}  // namespace

void initGui() {
    if (guiReady) return;
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // no configuration on disk
    ImGui::StyleColorsLight();
    ImGui_ImplGLUT_Init();
    ImGui_ImplOpenGL2_Init();
    guiReady = true;
}

bool guiStarted() { return guiReady; }

void beginGuiFrame(int windowWidth, int windowHeight) {
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGLUT_ReshapeFunc(windowWidth, windowHeight);
    ImGui_ImplGLUT_NewFrame();
    // This frame has seen every press so far: the held releases may now happen, and count for
    // the next frame.
    for (int i = 0; i < heldReleaseCount; ++i) {
        applyHeldRelease(heldReleases[i]);
    }
    heldReleaseCount = 0;
    std::fill(std::begin(keyPressedThisFrame), std::end(keyPressedThisFrame), false);
    std::fill(std::begin(specialPressedThisFrame), std::end(specialPressedThisFrame), false);
    std::fill(std::begin(mousePressedThisFrame), std::end(mousePressedThisFrame), false);
}

void endGuiFrame(int windowWidth, int windowHeight) {
    ImGui::Render();
    glViewport(0, 0, windowWidth, windowHeight);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

bool guiKeyboard(unsigned char key, int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_KeyboardFunc(key, x, y);
    keyPressedThisFrame[key] = true;
    return ImGui::GetIO().WantCaptureKeyboard;
}

bool guiKeyboardUp(unsigned char key, int x, int y) {
    if (!guiReady) return false;
    releaseOrHold(ReleaseKind::KEY, keyPressedThisFrame[key], key, x, y);
    return ImGui::GetIO().WantCaptureKeyboard;
}

bool guiSpecial(int key, int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_SpecialFunc(key, x, y);
    if (key >= 0 && key < 512) specialPressedThisFrame[key] = true;
    return ImGui::GetIO().WantCaptureKeyboard;
}

bool guiSpecialUp(int key, int x, int y) {
    if (!guiReady) return false;
    releaseOrHold(ReleaseKind::SPECIAL, key >= 0 && key < 512 && specialPressedThisFrame[key], key, x, y);
    return ImGui::GetIO().WantCaptureKeyboard;
}

bool guiMouseButton(int button, int state, int x, int y) {
    if (!guiReady) return false;
    const bool tracked = button >= 0 && button < 8;
    if (state == GLUT_UP) {
        releaseOrHold(ReleaseKind::MOUSE, tracked && mousePressedThisFrame[button], button, x, y);
    } else {
        ImGui_ImplGLUT_MouseFunc(button, state, x, y);
        if (tracked) mousePressedThisFrame[button] = true;
    }
    return ImGui::GetIO().WantCaptureMouse;
}

bool guiMouseMotion(int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_MotionFunc(x, y);
    return ImGui::GetIO().WantCaptureMouse;
}

bool guiWantsMouse() { return guiReady && ImGui::GetIO().WantCaptureMouse; }
