#include "common/app/gui_glue.h"

#include <GL/freeglut.h>
#include <algorithm>
#include <iterator>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>
#include <imgui_internal.h>

namespace {
bool guiReady = false;

// ImGui of this version reads keys and mouse buttons as "down now" flags when a frame starts,
// and a text field takes a frame's typed characters before its editing keys. So within one
// frame a press and release of the same key would never be seen (a quick tap on a slow frame),
// a second press of a key would merge with the first, and characters typed after a Backspace
// would be inserted before it deletes. On a slow frame a quick typist loses or reorders edits.
// Events are therefore applied in order until one would be lost or reordered; that one and all
// after it wait, in order, for the next frames.
enum class EventKind { KEY_DOWN, KEY_UP, SPECIAL_DOWN, SPECIAL_UP, MOUSE_DOWN, MOUSE_UP };
struct GuiEvent {
    EventKind kind;
    int code;       // character, GLUT special key or GLUT mouse button
    int x;
    int y;
    int modifiers;  // GLUT_ACTIVE_* when it happened
};
// Characters reach a text field through ImGui's character queue, in order, however many come in
// one frame; only the keys that are not characters are read as "down now" flags.
bool isCharacter(int code) { return code >= 32 && code != 127; }

// Room for a long burst (a pasted path, many edits typed during a slow frame): a full queue
// applies the next event at once, out of order, so it must practically never fill.
constexpr int MAX_WAITING_EVENTS = 2048;
GuiEvent waiting[MAX_WAITING_EVENTS];
int waitingCount = 0;

// What this frame has taken so far.
bool keyChanged[256] = {};
bool specialChanged[512] = {};
bool mouseChanged[3] = {};
bool editKeyTaken = false;  // a key that is not a character: what follows it waits

// What has come since the last frame ended, to tell the system's repeats of a held key apart.
int keyEventsSinceFrame[256 + 512] = {};  // characters and keys, then special keys at 256 + code
GuiEvent lastSubmitted{};
bool anySubmitted = false;
bool lastSubmittedWaits = false;

// A left press moves the keyboard focus: outside the GUI's windows it takes it from a text
// field, inside one it may give it to a field. ImGui says so only two frames on (the field
// changes in the frame that sees the press, the capture flag when a frame starts), so keys typed
// meanwhile went by the old flag: to a field that had let go and dropped them, or to the program
// as well as to the field just clicked. Until then they go to the side the press was on.
int framesUntilFocusSettles = 0;
bool lastPressInGui = false;

int mouseIndex(int glutButton) {
    if (glutButton == GLUT_LEFT_BUTTON) return 0;
    if (glutButton == GLUT_RIGHT_BUTTON) return 1;
    if (glutButton == GLUT_MIDDLE_BUTTON) return 2;
    return -1;
}

bool* changedFlag(const GuiEvent& e) {
    switch (e.kind) {
    case EventKind::KEY_DOWN:
    case EventKind::KEY_UP:
        return e.code >= 0 && e.code < 256 && !isCharacter(e.code) ? &keyChanged[e.code] : nullptr;
    case EventKind::SPECIAL_DOWN:
    case EventKind::SPECIAL_UP:
        return e.code >= 0 && e.code < 512 ? &specialChanged[e.code] : nullptr;
    case EventKind::MOUSE_DOWN:
    case EventKind::MOUSE_UP:
        return mouseIndex(e.code) >= 0 ? &mouseChanged[mouseIndex(e.code)] : nullptr;
    }
    return nullptr;
}

bool fitsThisFrame(const GuiEvent& e) {
    if (editKeyTaken) return false;
    const bool* changed = changedFlag(e);
    return changed == nullptr || !*changed;
}

void setKeyDown(int c, bool down) {
    ImGuiIO& io = ImGui::GetIO();
    // As the backend keeps them: letters in both cases, control letters as 1..26 as well.
    if (c >= 1 && c <= 26) {
        io.KeysDown[c] = io.KeysDown[c - 1 + 'a'] = io.KeysDown[c - 1 + 'A'] = down;
    } else if (c >= 'a' && c <= 'z') {
        io.KeysDown[c] = io.KeysDown[c - 'a' + 'A'] = down;
    } else if (c >= 'A' && c <= 'Z') {
        io.KeysDown[c] = io.KeysDown[c - 'A' + 'a'] = down;
    } else if (c >= 0 && c < 256) {
        io.KeysDown[c] = down;
    }
}

// Shift, Ctrl, Alt and Super, which freeglut also reports as special keys: they edit nothing, so
// typed characters may follow them within a frame.
bool isModifierKey(int special) { return special >= GLUT_KEY_SHIFT_L && special <= GLUT_KEY_SUPER_R; }

// What the backend's handlers do, with the modifiers read when the event happened: GLUT answers
// glutGetModifiers (without a warning on stderr) only inside an input callback, and an event
// that waited is applied once a frame has ended.
void apply(const GuiEvent& e) {
    ImGuiIO& io = ImGui::GetIO();
    io.KeyCtrl = (e.modifiers & GLUT_ACTIVE_CTRL) != 0;
    io.KeyShift = (e.modifiers & GLUT_ACTIVE_SHIFT) != 0;
    io.KeyAlt = (e.modifiers & GLUT_ACTIVE_ALT) != 0;
    switch (e.kind) {
    case EventKind::KEY_DOWN:
        if (isCharacter(e.code)) {
            io.AddInputCharacter(static_cast<unsigned int>(e.code));
        } else {
            editKeyTaken = true;
        }
        setKeyDown(e.code, true);
        break;
    case EventKind::KEY_UP:
        setKeyDown(e.code, false);
        break;
    case EventKind::SPECIAL_DOWN:
    case EventKind::SPECIAL_UP:
        if (e.code >= 0 && e.code + 256 < IM_ARRAYSIZE(io.KeysDown)) {
            io.KeysDown[e.code + 256] = e.kind == EventKind::SPECIAL_DOWN;
        }
        if (e.kind == EventKind::SPECIAL_DOWN && !isModifierKey(e.code)) editKeyTaken = true;
        break;
    case EventKind::MOUSE_DOWN:
    case EventKind::MOUSE_UP:
        io.MousePos = ImVec2(static_cast<float>(e.x), static_cast<float>(e.y));
        if (mouseIndex(e.code) >= 0) io.MouseDown[mouseIndex(e.code)] = e.kind == EventKind::MOUSE_DOWN;
        break;
    }
    if (bool* changed = changedFlag(e)) *changed = true;
}

// Index of a key in keyEventsSinceFrame, or -1 for a mouse button or an unknown code.
int keyIndex(const GuiEvent& e) {
    if ((e.kind == EventKind::KEY_DOWN || e.kind == EventKind::KEY_UP) && e.code >= 0 && e.code < 256) return e.code;
    if ((e.kind == EventKind::SPECIAL_DOWN || e.kind == EventKind::SPECIAL_UP) && e.code >= 0 && e.code < 512) {
        return 256 + e.code;
    }
    return -1;
}

// The system repeats a held key as a release and a press together. For the keys that are not
// characters (Backspace, Delete, arrows) such a pair is dropped: the key stays down and ImGui
// takes it as pressed again in the next frame, once however many repeats came. Given frames of
// their own, the pairs piled up on slow frames and went on deleting after Backspace was let go.
// A pair is a repeat when its release is the key's first event since the last frame, so the key
// was already down then; a quick second tap that follows its first within one frame keeps both.
bool dropsRepeatOfHeldKey(const GuiEvent& e) {
    const bool editKeyPress = (e.kind == EventKind::KEY_DOWN && !isCharacter(e.code)) ||
                              (e.kind == EventKind::SPECIAL_DOWN && !isModifierKey(e.code));
    const int key = keyIndex(e);
    if (!editKeyPress || key < 0 || !anySubmitted || lastSubmitted.code != e.code ||
        lastSubmitted.kind != (e.kind == EventKind::KEY_DOWN ? EventKind::KEY_UP : EventKind::SPECIAL_UP) ||
        keyEventsSinceFrame[key] != 1) {
        return false;
    }
    if (lastSubmittedWaits) {
        --waitingCount;  // the release is the last one waiting
    } else if (e.kind == EventKind::KEY_DOWN) {
        setKeyDown(e.code, true);  // the release was applied this frame: take it back
    } else {
        ImGui::GetIO().KeysDown[key] = true;
    }
    ImGui::GetIO().KeysDownDuration[key] = -1.0f;  // the next frame starts it as a new press
    keyEventsSinceFrame[key] = 0;
    anySubmitted = false;
    return true;
}

// Applies the event now when it fits this frame and nothing waits before it; otherwise it waits.
// A full queue (thousands of events waiting) lets it through rather than lose it.
void submit(EventKind kind, int code, int x, int y, int modifiers) {
    const GuiEvent e{kind, code, x, y, modifiers};
    if (dropsRepeatOfHeldKey(e)) return;
    const int key = keyIndex(e);
    if (key >= 0) ++keyEventsSinceFrame[key];
    lastSubmitted = e;
    anySubmitted = true;
    lastSubmittedWaits = (waitingCount > 0 || !fitsThisFrame(e)) && waitingCount < MAX_WAITING_EVENTS;
    if (lastSubmittedWaits) {
        waiting[waitingCount++] = e;
    } else {
        apply(e);
    }
}

// A frame has ended: what comes from here on is for the next one. The waiting events are
// applied in order, as many as fit. Not at the start of a frame: a text field takes the
// characters in the frame they are given to ImGui, but sees a key only from the next frame on,
// so characters given after that frame's start would jump ahead of the keys given with them.
void startNextFrameInput() {
    std::fill(std::begin(keyChanged), std::end(keyChanged), false);
    std::fill(std::begin(specialChanged), std::end(specialChanged), false);
    std::fill(std::begin(mouseChanged), std::end(mouseChanged), false);
    std::fill(std::begin(keyEventsSinceFrame), std::end(keyEventsSinceFrame), 0);
    anySubmitted = false;
    editKeyTaken = false;
    int taken = 0;
    while (taken < waitingCount && fitsThisFrame(waiting[taken])) apply(waiting[taken++]);
    std::copy(waiting + taken, waiting + waitingCount, waiting);
    waitingCount -= taken;
}

// Whether the keys are the GUI's now (see framesUntilFocusSettles).
bool guiTakesKeys() {
    return framesUntilFocusSettles > 0 ? lastPressInGui : ImGui::GetIO().WantCaptureKeyboard;
}

// Whether a window the last frame drew lies under (x, y). ImGui's own answer is a frame old and
// false while a button is held down from a press outside.
bool guiWindowAt(int x, int y) {
    const ImVec2 point(static_cast<float>(x), static_cast<float>(y));
    for (const ImGuiWindow* window : ImGui::GetCurrentContext()->Windows) {
        if (window->Active && !window->Hidden && window->OuterRectClipped.Contains(point)) return true;
    }
    return false;
}
}  // namespace

void initGui() {
    if (guiReady) return;
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // no configuration on disk
    ImGui::StyleColorsLight();
    // The system's key repeats are left as GLUT's default, kept (no glutIgnoreKeyRepeat): GLUT
    // ignores them by asking whether the key is down when it reads the release, so on a slow
    // frame the second of two quick presses of one key ("aa") was taken for a repeat and lost.
    ImGui_ImplGLUT_Init();
    ImGui_ImplOpenGL2_Init();
    guiReady = true;
}

bool guiStarted() { return guiReady; }

void beginGuiFrame(int windowWidth, int windowHeight) {
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGLUT_ReshapeFunc(windowWidth, windowHeight);
    ImGui_ImplGLUT_NewFrame();
    // A press still waiting has not reached ImGui yet: its two frames start once it has.
    const bool pressWaits = std::any_of(waiting, waiting + waitingCount,
                                        [](const GuiEvent& e) { return e.kind == EventKind::MOUSE_DOWN; });
    if (framesUntilFocusSettles > 0 && !pressWaits) --framesUntilFocusSettles;
}

void endGuiFrame(int windowWidth, int windowHeight) {
    ImGui::Render();
    startNextFrameInput();
    glViewport(0, 0, windowWidth, windowHeight);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

bool guiKeyboard(unsigned char key, int x, int y) {
    if (!guiReady) return false;
    // Tab moves ImGui's keyboard focus, also from a window that merely holds the focus (after a
    // click on the panel's step buttons) to its first field, which would then take every key
    // meant for the program. Only a field being edited gets it, to end the edit and go on.
    if (key == '\t' && !guiTakesKeys()) return false;
    submit(EventKind::KEY_DOWN, key, x, y, glutGetModifiers());
    return guiTakesKeys();
}

bool guiKeyboardUp(unsigned char key, int x, int y) {
    if (!guiReady) return false;
    submit(EventKind::KEY_UP, key, x, y, glutGetModifiers());
    return guiTakesKeys();
}

bool guiSpecial(int key, int x, int y) {
    if (!guiReady) return false;
    submit(EventKind::SPECIAL_DOWN, key, x, y, glutGetModifiers());
    return guiTakesKeys();
}

bool guiSpecialUp(int key, int x, int y) {
    if (!guiReady) return false;
    submit(EventKind::SPECIAL_UP, key, x, y, glutGetModifiers());
    return guiTakesKeys();
}

bool guiMouseButton(int button, int state, int x, int y) {
    if (!guiReady) return false;
    if (mouseIndex(button) < 0) {
        ImGui_ImplGLUT_MouseFunc(button, state, x, y);  // the wheel's buttons: only the position
    } else {
        submit(state == GLUT_DOWN ? EventKind::MOUSE_DOWN : EventKind::MOUSE_UP, button, x, y, glutGetModifiers());
        // Only the left button's press moves a text field's focus.
        if (button == GLUT_LEFT_BUTTON && state == GLUT_DOWN) {
            framesUntilFocusSettles = 2;
            lastPressInGui = guiWindowAt(x, y);
        }
    }
    return ImGui::GetIO().WantCaptureMouse;
}

bool guiMouseMotion(int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_MotionFunc(x, y);
    return ImGui::GetIO().WantCaptureMouse;
}

bool guiWantsMouse() { return guiReady && ImGui::GetIO().WantCaptureMouse; }
