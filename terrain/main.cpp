// glebora: the terrain modeller's start-up and GLUT callbacks. The frame loop itself is
// terrainFrame (terrain_app.cpp); this file wires it to GLUT, the file dialog and the harness.
//
// Scripted runs have no way to type into the export dialog: with GLEBORA_EXPORT_BASE set in
// the environment, key s exports straight to that base name.
#include <GL/freeglut.h>

#include <cstdlib>
#include <memory>

#include "common/app/gui_glue.h"
#include "common/app/options.h"
#include "common/app/program_harness.h"
#include "common/app/scenario_script.h"
#include "common/sensor/recording.h"
#include "terrain/terrain_app.h"

namespace {

class TerrainScenarioHost : public ScenarioHost {
public:
    TerrainScenarioHost(TerrainApp& app, ProgramHarness& harness) : app(app), harness(harness) {}
    void pressKey(unsigned char key) override { terrainKeyboard(app, key); }
    void pressSpecialKey(int glutKey, int modifiers) override { terrainSpecial(app, glutKey, modifiers); }
    bool loadGestureSets(const std::string& path) override { return loadTerrainGestureSets(app, path); }
    bool saveGestureSets(const std::string& path) override { return app.recognizer->saveGestureSets(path); }
    bool saveScreenshot(const std::string& path) override { return requestScreenshot(harness, path); }
    std::string query(const std::string& what) override { return terrainQuery(app, what); }

private:
    TerrainApp& app;
    ProgramHarness& harness;
};

ProgramHarness harness;
TerrainApp* app = nullptr;
std::unique_ptr<TerrainScenarioHost> scenarioHost;

void display() {
    const uint32_t now = harnessBeginFrame(harness);
    terrainFrame(*app, now);
    harnessFollowPointer(harness, *app->rightPointer);
    drawTerrainGui(*app);
    const int width = static_cast<int>(app->window.width), height = static_cast<int>(app->window.height);
    harnessReleaseHeldMotion(harness, guiWantsMouse(), width, height);
    harnessEndFrame(harness, width, height);
    glutSwapBuffers();
    // A software renderer takes some 31 MB of heap at once to draw the whole terrain. The
    // first such frame after a spell of kept pictures (the camera starting to turn) would
    // otherwise fault in the part the heap lacks: about 2,000 page faults, 20 ms of CPU. The
    // first frame carries the start-up, so the heap grows there instead.
    if (harness.clock.frameCount == 1) reserveHeap(48u << 20);
}

void idle() { harnessIdle(harness, app->windowId, display); }

void windowStatus(int status) { harnessWindowStatus(harness, status); }

void reshape(int width, int height) {
    glutSetWindow(app->windowId);
    reshapeTerrainApp(*app, width, height);
}

void keyboard(unsigned char key, int x, int y) { terrainKeyEvent(*app, key, x, y); }

void keyboardUp(unsigned char key, int x, int y) {
    fileDialogKeyReleased(app->fileDialog, key, glutGet(GLUT_ELAPSED_TIME));
    guiKeyboardUp(key, x, y);
}

void special(int key, int x, int y) {
    if (!app->fileDialog.active && harnessGestureKey(harness, key)) return;
    terrainSpecialEvent(*app, key, x, y, glutGetModifiers());
}

void specialUp(int key, int x, int y) { guiSpecialUp(key, x, y); }

void mouse(int button, int state, int x, int y) {
    if (guiMouseButton(button, state, x, y)) return;
    harnessMouseButton(harness, button, state, x, y, static_cast<int>(app->window.width),
                       static_cast<int>(app->window.height));
}

void motion(int x, int y) {
    if (guiMouseMotion(x, y)) {
        harnessHoldMotion(harness, x, y);
        return;
    }
    harnessMouseMotion(harness, x, y, static_cast<int>(app->window.width), static_cast<int>(app->window.height));
}

void entry(int state) {
    if (state == GLUT_LEFT) harnessMouseLeft(harness);
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    if (!setUpHarness(harness, "glebora", argc, argv, exitCode)) return exitCode;

    app = new TerrainApp();  // lives until the process ends
    app->window.title = TERRAIN_WINDOW_TITLE;
    app->window.width = harness.options.windowWidth;
    app->window.height = harness.options.windowHeight;
    app->tools.gestureArmed = false;

    int windowSystemArgc = argumentsForWindowSystem(argc, argv);
    glutInit(&windowSystemArgc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(static_cast<int>(app->window.width), static_cast<int>(app->window.height));
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
    app->windowId = glutCreateWindow(TERRAIN_WINDOW_TITLE);
    app->window.width = static_cast<uint32_t>(glutGet(GLUT_WINDOW_WIDTH));
    app->window.height = static_cast<uint32_t>(glutGet(GLUT_WINDOW_HEIGHT));
    if (app->window.height == 0) app->window.height = 1;
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
    createTerrainApp(*app, std::move(source), harness.options.gestureSetFile(), harness.clock.nowMs);
    app->waitForRecognizer = harness.clock.fixedStepMs > 0;
    app->sensor->recorder = harnessRecorder(harness);
    if (const char* base = std::getenv("GLEBORA_EXPORT_BASE")) app->scriptedExportBase = base;

    initGui();
    scenarioHost = std::make_unique<TerrainScenarioHost>(*app, harness);
    startScenario(harness, *scenarioHost);

    glutMainLoop();
    return 0;
}
