// pintara: the painting program's start-up and GLUT callbacks. The frame loop itself is
// paintFrame (paint_app.cpp); this file wires it to GLUT, the settings panel and the harness.
#include <GL/freeglut.h>
#include <imgui.h>

#include <memory>
#include <vector>

#include "common/app/gui_glue.h"
#include "common/app/options.h"
#include "common/app/program_harness.h"
#include "common/sensor/recording.h"
#include "paint/paint_app.h"
#include "paint/paint_scenario_host.h"
#include "paint/settings_panel.h"

namespace {

ProgramHarness harness;
PaintApp* app = nullptr;
std::unique_ptr<PaintScenarioHost> scenarioHost;
std::vector<PanelRow> panelRows;
int fullWidth = 1600;   // the whole window, panel included
int fullHeight = 1000;

int drawingWidth() { return fullWidth - SETTINGS_PANEL_WIDTH > 1 ? fullWidth - SETTINGS_PANEL_WIDTH : 1; }

void display() {
    uint32_t now = harnessBeginFrame(harness);
    glViewport(0, 0, static_cast<GLsizei>(app->window.width), static_cast<GLsizei>(app->window.height));
    paintFrame(*app, now);
    harnessFollowPointer(harness, *app->rightPointer);

    beginGuiFrame(fullWidth, fullHeight);
    drawSettingsPanel(*app, panelRows, fullWidth, fullHeight);
    if (drawFileDialog(app->fileDialog)) finishPaintFileDialog(*app);
    endGuiFrame(fullWidth, fullHeight);
    harnessReleaseHeldMotion(harness, guiWantsMouse(), drawingWidth(), fullHeight);
    glViewport(0, 0, static_cast<GLsizei>(app->window.width), static_cast<GLsizei>(app->window.height));

    harnessEndFrame(harness, fullWidth, fullHeight);
    glutSwapBuffers();
}

void idle() { harnessIdle(harness, app->windowId, display); }

void windowStatus(int status) { harnessWindowStatus(harness, status); }

void reshape(int width, int height) {
    fullWidth = width;
    fullHeight = height;
    glutSetWindow(app->windowId);
    // The drawing area is what the settings panel leaves on the left.
    reshapePaintApp(*app, drawingWidth(), height);
}

void keyboard(unsigned char key, int x, int y) {
    // An Escape held to close the dialog goes on repeating: it must not quit the program.
    if (isHeldDialogKeyRepeat(app->fileDialog, key, glutGet(GLUT_ELAPSED_TIME))) return;
    // Keys typed into the panel or the file dialog stay there.
    if (guiKeyboard(key, x, y) || app->fileDialog.active) return;
    paintKeyboard(*app, key);
}

void keyboardUp(unsigned char key, int x, int y) {
    fileDialogKeyReleased(app->fileDialog, key, glutGet(GLUT_ELAPSED_TIME));
    guiKeyboardUp(key, x, y);
}

// The Shift keys held, as freeglut reports them among the special keys. freeglut also reports a
// locked Caps Lock as Shift, which would turn Ctrl+Up into Ctrl+Shift+Up; a Shift no Shift key
// gives is the lock. (A Shift key already held when the window took the focus goes unseen, and
// one released outside the window counts as held until it is pressed there again.)
bool shiftKeyDown[2] = {false, false};

void trackShiftKeys(int key, bool down) {
    if (key == GLUT_KEY_SHIFT_L || key == GLUT_KEY_SHIFT_R) shiftKeyDown[key == GLUT_KEY_SHIFT_R] = down;
}

void special(int key, int x, int y) {
    trackShiftKeys(key, true);
    if (guiSpecial(key, x, y) || app->fileDialog.active) return;
    if (harnessGestureKey(harness, key)) return;
    int modifiers = glutGetModifiers();
    if (!shiftKeyDown[0] && !shiftKeyDown[1]) modifiers &= ~GLUT_ACTIVE_SHIFT;
    paintSpecial(*app, key, modifiers);
}

void specialUp(int key, int x, int y) {
    trackShiftKeys(key, false);
    guiSpecialUp(key, x, y);
}

void mouse(int button, int state, int x, int y) {
    if (guiMouseButton(button, state, x, y)) return;
    harnessMouseButton(harness, button, state, x, y, drawingWidth(), fullHeight);
}

void motion(int x, int y) {
    // Over the settings panel the motion goes on to the harness, which lets the performer's arms
    // hang (the panel lies outside the drawing area). A position ImGui takes inside the drawing
    // area (the file dialog, or its frame-old answer just after leaving the panel) is held and
    // passed on once ImGui lets go.
    if (guiMouseMotion(x, y) && x < drawingWidth()) {
        harnessHoldMotion(harness, x, y);
        return;
    }
    harnessMouseMotion(harness, x, y, drawingWidth(), fullHeight);
}

void entry(int state) {
    if (state == GLUT_LEFT) harnessMouseLeft(harness);
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    if (!setUpHarness(harness, "pintara", argc, argv, exitCode)) return exitCode;

    app = new PaintApp();  // lives until the process ends
    fullWidth = static_cast<int>(harness.options.windowWidth);
    fullHeight = static_cast<int>(harness.options.windowHeight);
    app->window.title = PAINT_WINDOW_TITLE;

    int windowSystemArgc = argumentsForWindowSystem(argc, argv);
    glutInit(&windowSystemArgc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(fullWidth, fullHeight);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
    app->windowId = glutCreateWindow(PAINT_WINDOW_TITLE);
    fullWidth = glutGet(GLUT_WINDOW_WIDTH);
    fullHeight = glutGet(GLUT_WINDOW_HEIGHT);
    app->window.width = static_cast<uint32_t>(drawingWidth());
    app->window.height = static_cast<uint32_t>(fullHeight);
    app->window.aspect = static_cast<float>(app->window.width) / static_cast<float>(app->window.height);

    glutDisplayFunc(display);
    glutIdleFunc(idle);
    glutWindowStatusFunc(windowStatus);
    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    glutKeyboardUpFunc(keyboardUp);
    glutSpecialFunc(special);
    glutSpecialUpFunc(specialUp);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutPassiveMotionFunc(motion);
    glutEntryFunc(entry);
    endRunOnWindowClose();

    std::unique_ptr<FrameSource> source = openSensorOrExit(harness);
    createPaintApp(*app, std::move(source), harness.options.gestureSetFile(), harness.clock.nowMs);
    app->waitForRecognizer = harness.clock.fixedStepMs > 0;
    app->sensor->recorder = harnessRecorder(harness);

    initGui();
    panelRows = buildSettingsPanel(*app);

    scenarioHost = std::make_unique<PaintScenarioHost>(*app, harness);
    startScenario(harness, *scenarioHost);

    glutMainLoop();
    return 0;
}
