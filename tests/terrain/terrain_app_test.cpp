#include "terrain/terrain_app.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <imgui.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "common/app/gui_glue.h"
#include "common/sensor/simulated_performer.h"
#include "terrain_app_fixture.h"
#include "terrain/export_maps.h"
#include "terrain/orbit_manipulator.h"
#include "support/shell_quote.h"

namespace {

// Counts the input operations it receives.
class SpyTool : public Tool {
public:
    int calls = 0;
    void onLeftGrip(const ArmPose&) override { ++calls; }
    void onRightGrip(const ArmPose&) override { ++calls; }
    void onBothGrip(const ArmPose&) override { ++calls; }
    void onNoGrip(const ArmPose&) override { ++calls; }
    void drawOverlay() override {}
    void undo() override {}
    void redo() override {}
    int32_t iconTexture() override { return -1; }
};

bool fileExists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

class TerrainAppTest : public TerrainAppFixture<TerrainAppTest> {
protected:
    std::string tool() const { return terrainQuery(*app, "tool"); }
};

TEST_F(TerrainAppTest, StartUpStateMenuLayoutAndReshape) {
    EXPECT_EQ(app->tools.tools.size(), 9u);
    EXPECT_STREQ(app->window.title, "*** GLEBORA ***");
    EXPECT_EQ(tool(), "TerraBrush");
    EXPECT_EQ(terrainQuery(*app, "armed"), "false");
    EXPECT_EQ(terrainToolName(*app, app->tools.tools[TERRAIN_TOOL_COLORIZER]), std::string("TerraColorizer"));
    EXPECT_EQ(terrainToolName(*app, app->tools.tools[TERRAIN_TOOL_COLORPICKER]), std::string("Colorpicker"));
    EXPECT_NE(app->terrain->colourMap, 0u);
    EXPECT_NE(app->cameraTexture, 0u);
    // The start-up's trial pick (which hits the terrain in the window's centre) leaves nothing
    // picked and no scissor behind.
    EXPECT_EQ(app->terrain->pickedFace, -1);
    EXPECT_EQ(app->terrain->pickedVertex, -1);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    GLint shading = 0;
    glGetIntegerv(GL_SHADE_MODEL, &shading);
    EXPECT_EQ(shading, GL_SMOOTH);

    const ButtonList& b = app->menu.buttons;
    ASSERT_EQ(b.size(), 10u);
    EXPECT_EQ(app->menu.state, MenuClosed);
    EXPECT_EQ(app->menu.counter, 30);
    EXPECT_TRUE(b[0].visible);
    EXPECT_EQ(b[0].state, ButtonIdle);
    for (size_t i = 1; i < b.size(); ++i) {
        EXPECT_FALSE(b[i].visible) << i;
        EXPECT_EQ(b[i].state, ButtonDisabled) << i;
    }
    EXPECT_EQ(b[0].size, 48.0f);
    EXPECT_EQ(b[9].size, 48.0f);
    EXPECT_EQ(b[4].size, 64.0f);
    // 800 x 500: button 0 under the tool box; the ring of radius 200 around (400, 250).
    EXPECT_FLOAT_EQ(b[0].x, 800.0f - 76.0f);
    EXPECT_FLOAT_EQ(b[0].y, 500.0f - 148.0f - 72.0f);
    EXPECT_NEAR(b[1].x, 600.0f, 1e-3f);
    EXPECT_NEAR(b[1].y, 250.0f, 1e-3f);
    EXPECT_NEAR(b[3].x, 400.0f, 1e-3f);  // 90 degrees: counter-clockwise puts it on top
    EXPECT_NEAR(b[3].y, 450.0f, 1e-3f);
    EXPECT_NEAR(b[6].x, 400.0f - 141.4214f, 1e-2f);  // 225 degrees
    EXPECT_NEAR(b[6].y, 250.0f - 141.4214f, 1e-2f);
    EXPECT_FLOAT_EQ(b[9].x, 400.0f);
    EXPECT_FLOAT_EQ(b[9].y, 250.0f);

    // Reshape moves button 0 and the ring and keeps the projection's horizontal scale.
    const float horizontal = app->camera->projection[0];
    reshapeTerrainApp(*app, 1000, 700);
    EXPECT_FLOAT_EQ(app->window.aspect, 1000.0f / 700.0f);
    EXPECT_FLOAT_EQ(app->menu.buttons[0].x, 924.0f);
    EXPECT_FLOAT_EQ(app->menu.buttons[0].y, 700.0f - 148.0f - 72.0f);
    EXPECT_NEAR(app->menu.buttons[1].x, 700.0f, 1e-3f);
    EXPECT_FLOAT_EQ(app->menu.buttons[9].y, 350.0f);
    EXPECT_FLOAT_EQ(app->camera->projection[0], horizontal);
    EXPECT_FLOAT_EQ(app->camera->projection[5], horizontal * 1000.0f / 700.0f);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1000);
    reshapeTerrainApp(*app, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
    EXPECT_FLOAT_EQ(app->menu.buttons[0].x, 724.0f);
}

TEST_F(TerrainAppTest, KeysGesturesAndButtonsChooseToolsAndTilt) {
    terrainKeyboard(*app, '1');
    EXPECT_EQ(tool(), "OrbitManipulator");
    EXPECT_EQ(terrainQuery(*app, "armed"), "false");  // keys leave the flag alone

    app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_TERRA_BRUSH];
    handleTerrainResult(*app, "DEFAULT_GESTURE");
    EXPECT_EQ(tool(), "NullTool");
    EXPECT_EQ(terrainQuery(*app, "armed"), "true");
    handleTerrainResult(*app, "0");
    EXPECT_EQ(tool(), "OrbitManipulator");
    EXPECT_EQ(terrainQuery(*app, "armed"), "false");
    EXPECT_EQ(terrainQuery(*app, "message"), "Gesture 0 recognized");

    app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_TERRA_BRUSH];
    app->tools.gestureArmed = true;
    handleMenuButton(*app, "BUTTON_CAMERA");
    EXPECT_EQ(tool(), "OrbitManipulator");
    EXPECT_EQ(terrainQuery(*app, "armed"), "false");
    EXPECT_EQ(app->menu.state, MenuClosing);
    while (app->menu.state != MenuClosed) advanceRadialMenu(app->menu);

    // Keys 2..8 and gestures "1".."7" cover the rest of the list in the same order.
    for (char k = '2'; k <= '8'; ++k) {
        terrainKeyboard(*app, static_cast<unsigned char>(k));
        const std::string byKey = tool();
        handleTerrainResult(*app, std::string(1, static_cast<char>(k - 1)));
        EXPECT_EQ(tool(), byKey);
        EXPECT_EQ(byKey, terrainToolName(*app, app->tools.tools[static_cast<size_t>(k - '0')]));
    }
    EXPECT_EQ(tool(), "Colorpicker");

    // Any other name shows its message and changes nothing else.
    app->tools.gestureArmed = true;
    handleTerrainResult(*app, "12");
    EXPECT_EQ(tool(), "Colorpicker");
    EXPECT_EQ(terrainQuery(*app, "armed"), "true");
    EXPECT_EQ(terrainQuery(*app, "message"), "Gesture 12 recognized");
    app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_TERRA_BRUSH];

    // Special keys tilt the sensor by 2, or 10 while Ctrl is held (with Shift too); other
    // special keys by 0.
    app->sensor->setTiltAngle(0);
    terrainSpecial(*app, GLUT_KEY_UP, 0);
    EXPECT_EQ(terrainQuery(*app, "tilt"), "2");
    terrainSpecial(*app, GLUT_KEY_UP, GLUT_ACTIVE_CTRL);
    EXPECT_EQ(terrainQuery(*app, "tilt"), "12");
    terrainSpecial(*app, GLUT_KEY_DOWN, 0);
    EXPECT_EQ(terrainQuery(*app, "tilt"), "10");
    terrainSpecial(*app, GLUT_KEY_LEFT, GLUT_ACTIVE_CTRL);
    EXPECT_EQ(terrainQuery(*app, "tilt"), "10");
    terrainSpecial(*app, GLUT_KEY_DOWN, GLUT_ACTIVE_CTRL);
    EXPECT_EQ(terrainQuery(*app, "tilt"), "0");
    terrainSpecial(*app, GLUT_KEY_UP, GLUT_ACTIVE_CTRL | GLUT_ACTIVE_SHIFT);
    EXPECT_EQ(terrainQuery(*app, "tilt"), "10");
    terrainSpecial(*app, GLUT_KEY_DOWN, GLUT_ACTIVE_SHIFT);
    EXPECT_EQ(terrainQuery(*app, "tilt"), "8");
    // n toggles the normals; other keys do nothing.
    terrainKeyboard(*app, 'n');
    EXPECT_TRUE(app->terrain->showNormals);
    terrainKeyboard(*app, 'n');
    terrainKeyboard(*app, 'x');
    EXPECT_FALSE(app->terrain->showNormals);
    EXPECT_EQ(tool(), "TerraBrush");
}

TEST_F(TerrainAppTest, MenuSpinsOpenAndClosedAndBlocksToolInput) {
    SpyTool spy;
    app->tools.currentTool = &spy;
    frames(1);
    EXPECT_EQ(spy.calls, 1);  // closed menu: one input operation per frame

    handleMenuButton(*app, "BUTTON_ENTER_MENU");
    EXPECT_EQ(app->menu.state, MenuOpening);
    EXPECT_EQ(app->menu.buttons[0].state, ButtonDisabled);
    EXPECT_TRUE(app->menu.buttons[0].visible);  // stays drawn, greyed
    for (size_t i = 1; i < 10; ++i) {
        EXPECT_TRUE(app->menu.buttons[i].visible);
        EXPECT_EQ(app->menu.buttons[i].state, ButtonIdle);
    }
    // Whole frames step the animation once each and call no tool.
    frames(2);
    EXPECT_EQ(app->menu.counter, 28);
    // The rest of the spin through the menu drawing alone (a whole frame costs ~100 ms under
    // the software renderer): drawn with counters 30 down to 6, then open at 5.
    for (int expected = 28; expected >= 6; --expected) {
        ASSERT_EQ(app->menu.state, MenuOpening);
        ASSERT_EQ(app->menu.counter, expected);
        drawRadialMenu(app->menu, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT, now);
    }
    EXPECT_EQ(app->menu.state, MenuOpen);
    EXPECT_EQ(app->menu.counter, 5);
    frames(1);
    EXPECT_EQ(app->menu.counter, 5);

    // Leaving keeps the tool; closing runs 5 up to 29, then closed at 30.
    app->buttonEvents.push_back("BUTTON_LEAVE_MENU");
    frames(1);  // the queue is drained first, then the ring is drawn at 5
    EXPECT_EQ(app->menu.state, MenuClosing);
    EXPECT_EQ(app->menu.counter, 6);
    EXPECT_EQ(app->tools.currentTool, &spy);
    EXPECT_EQ(app->menu.buttons[0].state, ButtonIdle);
    EXPECT_EQ(app->menu.buttons[5].state, ButtonDisabled);
    for (int expected = 6; expected <= 28; ++expected) {
        ASSERT_EQ(app->menu.state, MenuClosing);
        ASSERT_EQ(app->menu.counter, expected);
        drawRadialMenu(app->menu, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT, now);
    }
    frames(1);  // drawn at 29, closed after it
    EXPECT_EQ(app->menu.state, MenuClosed);
    EXPECT_EQ(app->menu.counter, 30);
    EXPECT_EQ(spy.calls, 1);  // nothing while opening, open or closing

    frames(1);
    EXPECT_EQ(spy.calls, 2);
    app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_TERRA_BRUSH];
}

TEST_F(TerrainAppTest, CameraViewSkipsRecognitionPointersAndTools) {
    SpyTool spy;
    app->tools.currentTool = &spy;
    terrainKeyboard(*app, 'd');
    EXPECT_EQ(terrainQuery(*app, "mode"), "camera");
    app->pose.fill(42.0f);
    const HandPointer rightBefore = *app->rightPointer;
    const FrameRecord newestBefore = app->recognizer->historyRecord(HISTORY_LENGTH - 1);
    frames(3);
    EXPECT_EQ(spy.calls, 0);
    EXPECT_EQ(app->pose[0], 42.0f);
    EXPECT_EQ(app->rightPointer->lastX, rightBefore.lastX);
    EXPECT_EQ(app->recognizer->historyRecord(HISTORY_LENGTH - 1).frameNumber, newestBefore.frameNumber);
    // The camera image fills the window's middle; the white margins stay white.
    uint8_t margin[3] = {0, 0, 0};
    glReadBuffer(GL_BACK);
    glReadPixels(5, 250, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, margin);
    EXPECT_EQ(margin[0], 255);
    EXPECT_EQ(margin[1], 255);

    terrainKeyboard(*app, 'd');
    frames(1);
    EXPECT_EQ(spy.calls, 1);
    EXPECT_NE(app->recognizer->historyRecord(HISTORY_LENGTH - 1).frameNumber, newestBefore.frameNumber);
    app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_TERRA_BRUSH];
}

TEST_F(TerrainAppTest, AnOpenFileDialogHoldsTheProgramStillUntilItCloses) {
    SpyTool spy;
    app->tools.currentTool = &spy;
    terrainKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    app->buttonEvents.push_back("BUTTON_ENTER_MENU");  // pressed just before the dialog opened
    const FrameRecord newestBefore = app->recognizer->historyRecord(HISTORY_LENGTH - 1);
    frames(10);
    EXPECT_EQ(spy.calls, 0) << "no tool input behind the dialog";
    EXPECT_EQ(app->menu.state, MenuClosed);
    EXPECT_EQ(app->buttonEvents.size(), 1u);
    EXPECT_EQ(app->recognizer->historyRecord(HISTORY_LENGTH - 1).frameNumber, newestBefore.frameNumber);

    finishFileDialog(app->fileDialog, false);
    finishTerrainFileDialog(*app);
    frames(1);
    EXPECT_NE(app->menu.state, MenuClosed) << "the queued press is handled once the dialog has closed";
    EXPECT_NE(app->recognizer->historyRecord(HISTORY_LENGTH - 1).frameNumber, newestBefore.frameNumber);
    // The opening menu stands still behind a dialog too.
    ASSERT_EQ(app->menu.state, MenuOpening);
    terrainKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    const int counter = app->menu.counter;
    frames(3);
    EXPECT_EQ(app->menu.counter, counter);
    finishFileDialog(app->fileDialog, false);
    finishTerrainFileDialog(*app);
    // Closed again through the menu drawing alone (whole frames are slow under the software
    // renderer).
    handleMenuButton(*app, "BUTTON_LEAVE_MENU");
    for (int i = 0; i < 40 && app->menu.state != MenuClosed; ++i) {
        drawRadialMenu(app->menu, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT, now);
    }
    EXPECT_EQ(app->menu.state, MenuClosed);
    app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_TERRA_BRUSH];
}

// With nobody in front of the sensor the record stays as the person left it, reach and closed
// hand included. A tracker losing the person for a frame does not break the grip; a person gone
// for longer than half a second lets go, so that the brush does not go on raising the terrain for
// as long as the room stays empty, and the pointers engage again once the person is back and
// reaches forward.
TEST_F(TerrainAppTest, APersonLostWhileGrippingLetsGoUntilBack) {
    auto* performer = dynamic_cast<SimulatedPerformer*>(&app->sensor->source());
    ASSERT_NE(performer, nullptr);
    const std::vector<TerrainVertex> saved = app->terrain->vertices;
    ASSERT_NO_FATAL_FAILURE(gripRightHand(*performer, 0.25f, 0.15f));
    const auto highest = [this] {
        float top = -INFINITY;
        for (const TerrainVertex& v : app->terrain->vertices) top = std::max(top, v.y);
        return top;
    };
    frames(3);
    const float gripped = highest();
    ASSERT_GT(gripped, 0.0f) << "the brush should raise the terrain while the hand grips";

    // One frame without anybody: the grip goes on.
    expectRightPointerKeptThroughABlip(*performer, "while gripping");
    const float afterBlip = highest();
    frames(2);
    EXPECT_GT(highest(), afterBlip) << "the brush stopped after one frame without anybody";

    performer->injectFault(PerformerFault::LOSE_PERSON, 1500);
    frames(1);  // the fault starts at the next advance
    int framesHeld = 0;
    while (framesHeld < 40 && app->rightPointer->engaged()) {
        frames(1);
        ++framesHeld;
    }
    // Let go after half a second (15 frames of 33 ms), not at once and not never.
    EXPECT_GE(framesHeld, 14);
    EXPECT_LE(framesHeld, 17);
    const float whenLost = highest();
    frames(15);
    EXPECT_FALSE(app->sensor->personTracked);
    EXPECT_FALSE(app->rightPointer->engaged());
    EXPECT_FALSE(app->leftPointer->engaged());
    EXPECT_EQ(highest(), whenLost) << "the terrain changed with nobody in front of the sensor";

    // Back, still reaching forward with the hand closed: the pointer engages again after its
    // half second, and the brush works on.
    for (int i = 0; i < 60 && !app->rightPointer->engaged(); ++i) frames(1);
    EXPECT_TRUE(app->sensor->personTracked);
    EXPECT_TRUE(app->rightPointer->engaged());
    frames(3);
    EXPECT_GT(highest(), whenLost);
    releaseRightHand(*performer, saved);
}

// After the file dialog the detectors report the hand closed for a few frames while the pointer
// moves on to where the hand is now: the brush must not work there.
TEST_F(TerrainAppTest, ABrushStrokeEndsWhereTheFileDialogOpened) {
    auto* performer = dynamic_cast<SimulatedPerformer*>(&app->sensor->source());
    ASSERT_NE(performer, nullptr);
    const std::vector<TerrainVertex> saved = app->terrain->vertices;
    ASSERT_NO_FATAL_FAILURE(gripRightHand(*performer, 0.25f, 0.15f));
    frames(3);
    terrainKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    frames(1);
    std::vector<float> atDialog;
    for (const TerrainVertex& v : app->terrain->vertices) atDialog.push_back(v.y);
    performer->setHandShape(1, HandShape::OPEN);
    performer->moveWrist(1, 0.18f, 0.08f, 300);
    frames(30);
    finishFileDialog(app->fileDialog, false);
    finishTerrainFileDialog(*app);
    for (int i = 0; i < 60 && app->rightDetector->closed(); ++i) frames(1);
    EXPECT_FALSE(app->rightDetector->closed());
    frames(3);
    size_t changed = 0;
    for (size_t i = 0; i < atDialog.size(); ++i) changed += app->terrain->vertices[i].y != atDialog[i];
    EXPECT_EQ(changed, 0u) << "the brush worked on after the dialog";
    releaseRightHand(*performer, saved);
}

// The orbit turns by the right wrist's motion since the last frame it had input: picked while
// the hand grips, it starts from that frame instead of swinging by all the hand did meanwhile.
TEST_F(TerrainAppTest, TheOrbitPickedWhileGrippingStartsFromThatFrame) {
    auto* performer = dynamic_cast<SimulatedPerformer*>(&app->sensor->source());
    ASSERT_NE(performer, nullptr);
    const std::vector<TerrainVertex> saved = app->terrain->vertices;
    ASSERT_NO_FATAL_FAILURE(gripRightHand(*performer, 0.3f, 0.25f));
    terrainKeyboard(*app, '1');
    ASSERT_EQ(tool(), "OrbitManipulator");
    const float azimuth = app->orbit->azimuth, elevation = app->orbit->elevation;
    frames(2);
    EXPECT_NEAR(app->orbit->azimuth, azimuth, 0.5f);
    EXPECT_NEAR(app->orbit->elevation, elevation, 0.5f);
    performer->moveWrist(1, 0.1f, 0.25f, 300);
    frames(12);
    EXPECT_GT(std::fabs(app->orbit->azimuth - azimuth), 5.0f) << "moving the gripping hand should turn the view";
    releaseRightHand(*performer, saved);
}

// While nobody is tracked a pointer still arming does not engage on the frozen record (not even
// in the first frame without anybody, when its half second runs out), a hand closing meanwhile
// grips nothing, and the short wait before an engaged pointer lets go is timed from the loss
// itself: frames that skip the pointers (an open file dialog) do not use it up.
TEST_F(TerrainAppTest, NobodyTrackedEngagesOrGripsNothingAndTheWaitStartsAtTheLoss) {
    auto* performer = dynamic_cast<SimulatedPerformer*>(&app->sensor->source());
    ASSERT_NE(performer, nullptr);
    const std::vector<TerrainVertex> saved = app->terrain->vertices;
    performer->moveWrist(1, 0.25f, 0.15f, 0);
    performer->setReach(1, 0.02f, 0);
    performer->setHandShape(1, HandShape::OPEN);
    frames(30);
    ASSERT_EQ(app->rightPointer->state, POINTER_IDLE);
    performer->setReach(1, 0.35f, 0);
    for (int i = 0; i < 60 && app->rightPointer->state != POINTER_ARMING; ++i) frames(1);
    ASSERT_EQ(app->rightPointer->state, POINTER_ARMING);
    frames(15);  // the half second ends in the next frame, the first without anybody
    performer->injectFault(PerformerFault::LOSE_PERSON, 1000);
    for (int i = 0; i < 31; ++i) {
        frames(1);
        EXPECT_FALSE(!app->sensor->personTracked && app->rightPointer->engaged()) << "frame " << i;
    }

    auto highest = [this] {
        float top = -INFINITY;
        for (const TerrainVertex& v : app->terrain->vertices) top = std::max(top, v.y);
        return top;
    };
    for (int i = 0; i < 120 && !app->rightPointer->engaged(); ++i) frames(1);
    ASSERT_TRUE(app->rightPointer->engaged());
    const float before = highest();
    performer->injectFault(PerformerFault::LOSE_PERSON, 400);
    frames(1);
    performer->setHandShape(1, HandShape::CLOSED);
    for (int i = 0; i < 30 && !app->sensor->personTracked; ++i) {
        frames(1);
        EXPECT_EQ(highest(), before) << "the brush gripped with nobody tracked, frame " << i;
    }
    performer->setHandShape(1, HandShape::OPEN);
    frames(10);

    ASSERT_TRUE(app->rightPointer->engaged());
    terrainKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    frames(30);
    finishFileDialog(app->fileDialog, false);
    finishTerrainFileDialog(*app);
    expectRightPointerKeptThroughABlip(*performer, "right after the dialog");
    performer->setReach(1, 0.02f, 0);
    frames(5);
    for (size_t i = 0; i < saved.size(); ++i) app->terrain->vertices[i] = saved[i];  // for the other tests
}

TEST_F(TerrainAppTest, ExportKeyReportsTheOutcomeAndCancelWritesNothing) {
    const std::string folder = std::string(BINARY_DIR) + "/terrain_app_export_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p " + shellQuoted(folder)).c_str()), 0);

    // Cancelling the dialog writes nothing and shows nothing new.
    app->messageLabel.text = "before";
    terrainKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    EXPECT_EQ(app->pendingFile, TerrainFileAction::EXPORT_MAPS);
    finishFileDialog(app->fileDialog, false);
    finishTerrainFileDialog(*app);
    EXPECT_EQ(terrainQuery(*app, "message"), "before");

    // A typed name writes the three files and says so.
    openFileDialog(app->fileDialog, FileDialogMode::SAVE, EXPORT_DIALOG_HINT, "", folder);
    app->pendingFile = TerrainFileAction::EXPORT_MAPS;
    app->fileDialog.typedName = "valley";
    finishFileDialog(app->fileDialog, true);
    finishTerrainFileDialog(*app);
    EXPECT_EQ(terrainQuery(*app, "export"), "Exported maps to valley");
    EXPECT_EQ(terrainQuery(*app, "message"), "before") << "exporting shows nothing in the window";
    EXPECT_TRUE(fileExists(folder + "/valley" + COLOUR_MAP_SUFFIX));
    EXPECT_TRUE(fileExists(folder + "/valley" + LOW_PRECISION_SUFFIX));

    // The scripted base name bypasses the dialog; a missing folder is reported in the export
    // outcome (console and query), not in the window.
    app->scriptedExportBase = folder + "/missing/x";
    terrainKeyboard(*app, 's');
    app->scriptedExportBase.clear();
    EXPECT_NE(terrainQuery(*app, "export").find("Export failed"), std::string::npos);
    EXPECT_EQ(terrainQuery(*app, "message"), "before");
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

TEST_F(TerrainAppTest, KeysReachTheProgramAgainOnceTheFileDialogHasClosed) {
    initGui();
    const std::string folder = std::string(BINARY_DIR) + "/terrain_app_dialog_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p " + shellQuoted(folder)).c_str()), 0);
    auto press = [&](unsigned char key) {  // down, a frame, up, a frame: as GLUT delivers a key
        terrainKeyEvent(*app, key, 0, 0);
        drawTerrainGui(*app);
        guiKeyboardUp(key, 0, 0);
        drawTerrainGui(*app);
    };

    press('s');
    ASSERT_TRUE(app->fileDialog.active);
    app->fileDialog.folder = folder;
    const bool normalsBefore = app->terrain->showNormals;
    press('n');  // typed into the name field, not the key table
    press('a');
    EXPECT_EQ(app->terrain->showNormals, normalsBefore);
    press(13);   // Enter saves
    EXPECT_FALSE(app->fileDialog.active);
    EXPECT_TRUE(fileExists(folder + "/na" + COLOUR_MAP_SUFFIX));

    // The dialog is gone: the next key is the program's again.
    press('n');
    EXPECT_NE(app->terrain->showNormals, normalsBefore);
    press('n');
    EXPECT_EQ(app->terrain->showNormals, normalsBefore);
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

TEST_F(TerrainAppTest, QuickTapsBetweenTwoFramesReachTheFileDialog) {
    // A key pressed and released before the next frame starts (a quick tap while a frame is
    // being drawn) must still count, for Enter and Escape as for letters.
    initGui();
    const std::string folder = std::string(BINARY_DIR) + "/terrain_app_taps_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p " + shellQuoted(folder + "/sub")).c_str()), 0);
    auto frame = [&] { drawTerrainGui(*app); };
    auto tap = [&](unsigned char key) {
        guiKeyboard(key, 0, 0);
        guiKeyboardUp(key, 0, 0);
        frame();
    };
    auto programKey = [&](unsigned char key) {
        terrainKeyEvent(*app, key, 0, 0);
        frame();
        guiKeyboardUp(key, 0, 0);
        frame();
    };
    frame();

    programKey('s');
    ASSERT_TRUE(app->fileDialog.active);
    tap(27);
    EXPECT_FALSE(app->fileDialog.active) << "a tapped Escape cancels";
    frame();  // ImGui lets go of the keyboard from the frame after the dialog closed

    // The open dialog takes a typed name at once; a typed folder is entered.
    programKey('l');
    ASSERT_TRUE(app->fileDialog.active);
    app->fileDialog.folder = folder;
    for (char c : std::string("sub")) tap(static_cast<unsigned char>(c));
    tap(13);
    EXPECT_TRUE(app->fileDialog.active);
    EXPECT_EQ(std::filesystem::path(app->fileDialog.folder).filename(), "sub") << app->fileDialog.folder;
    tap(27);
    EXPECT_FALSE(app->fileDialog.active);

    programKey('s');
    ASSERT_TRUE(app->fileDialog.active);
    app->fileDialog.folder = folder;
    tap('b');
    tap(13);
    EXPECT_FALSE(app->fileDialog.active) << "a tapped Enter saves";
    EXPECT_TRUE(fileExists(folder + "/b" + COLOUR_MAP_SUFFIX));
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

// A quick typist on a slow frame: several keys, some of them Backspaces, all between two frames.
// Each edit must land, in the order typed; a Backspace pressed twice deleted once, and letters
// typed after a Backspace went in before it deleted, so it took one of them instead.
TEST_F(TerrainAppTest, FastTypingBetweenFramesKeepsEveryEditInOrder) {
    initGui();
    const std::string folder = std::string(BINARY_DIR) + "/terrain_app_typing_" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p " + shellQuoted(folder)).c_str()), 0);
    auto frame = [&] { drawTerrainGui(*app); };
    auto type = [&](const std::string& keys) {  // all of them before the next frame
        for (char c : keys) {
            guiKeyboard(static_cast<unsigned char>(c), 0, 0);
            guiKeyboardUp(static_cast<unsigned char>(c), 0, 0);
        }
        frame();
    };
    auto openSaveDialog = [&] {  // the program's 's', then its release, as the keyboard gives them
        frame();
        terrainKeyEvent(*app, 's', 0, 0);
        frame();
        guiKeyboardUp('s', 0, 0);
        frame();
        app->fileDialog.folder = folder;
        return app->fileDialog.active;
    };
    ASSERT_TRUE(openSaveDialog());

    type("hill");
    type("s\b\bdge");  // an 's', two Backspaces, "dge": "hill" becomes "hildge"
    for (int i = 0; i < 12; ++i) frame();
    EXPECT_EQ(app->fileDialog.typedName, "hildge");
    type("\b\b\b\b\b\bvale\r");  // clear it, type a new name and press Enter, all at once
    for (int i = 0; i < 20 && app->fileDialog.active; ++i) frame();
    EXPECT_FALSE(app->fileDialog.active);
    EXPECT_TRUE(fileExists(folder + "/vale" + COLOUR_MAP_SUFFIX)) << "saved as '" << app->fileDialog.result << "'";

    // Far more than a frame can take: a long name, then forty Backspaces, a new name and Enter,
    // all between two frames. Every key waits its turn, however many wait.
    ASSERT_TRUE(openSaveDialog());
    type("abcdefghijklmnopqrstuvwxyz0123" + std::string(40, '\b') + "good\r");
    for (int i = 0; i < 400 && app->fileDialog.active; ++i) frame();
    EXPECT_FALSE(app->fileDialog.active) << "typed so far: '" << app->fileDialog.typedName << "'";
    EXPECT_TRUE(fileExists(folder + "/good" + COLOUR_MAP_SUFFIX)) << "saved as '" << app->fileDialog.result << "'";

    // Held keys, as the system repeats them: a release and a press together, here twice a frame
    // (a slow frame). A held character types once per press; a held Backspace deletes once a frame
    // while repeats come, and stops as soon as it is let go, however many came.
    ASSERT_TRUE(openSaveDialog());
    auto holdFor = [&](unsigned char key, int frames) {
        guiKeyboard(key, 0, 0);
        frame();
        for (int i = 0; i < frames; ++i) {
            for (int repeat = 0; repeat < 2; ++repeat) {
                guiKeyboardUp(key, 0, 0);
                guiKeyboard(key, 0, 0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            frame();
        }
        guiKeyboardUp(key, 0, 0);
        frame();
    };
    holdFor('x', 20);
    EXPECT_EQ(app->fileDialog.typedName, std::string(41, 'x'));
    type(std::string(9, 'y'));
    holdFor('\b', 25);
    const std::string afterHold = app->fileDialog.typedName;
    EXPECT_EQ(afterHold, std::string(50 - 26, 'x')) << "the press and one deletion in each of 25 frames";
    for (int i = 0; i < 10; ++i) {
        frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(app->fileDialog.typedName, afterHold) << "Backspace went on after it was let go";

    // A shifted symbol may be released as its unshifted key once Shift is up: it is still typed
    // once, and nothing repeats it.
    const std::string beforeSymbol = app->fileDialog.typedName;
    guiKeyboard('_', 0, 0);
    guiKeyboardUp('-', 0, 0);
    for (int i = 0; i < 30; ++i) {
        frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(app->fileDialog.typedName, beforeSymbol + "_");
    std::system(("rm -rf " + shellQuoted(folder)).c_str());
}

// A quick user clicks outside a text field, or back into it, and presses a key at once: ImGui
// moves the keyboard focus only two frames after the press, and the key went by the old focus.
TEST_F(TerrainAppTest, AKeyRightAfterAClickGoesToTheSideTheClickWasOn) {
    initGui();
    char text[32] = "";
    float fieldX = 0.0f, fieldY = 0.0f;
    auto frame = [&] {
        beginGuiFrame(TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
        ImGui::SetNextWindowPos(ImVec2(10.0f, 10.0f));
        ImGui::SetNextWindowSize(ImVec2(300.0f, 80.0f));
        ImGui::Begin("field test");
        ImGui::InputText("name", text, sizeof text);
        fieldX = 0.5f * (ImGui::GetItemRectMin().x + ImGui::GetItemRectMax().x);
        fieldY = 0.5f * (ImGui::GetItemRectMin().y + ImGui::GetItemRectMax().y);
        ImGui::End();
        endGuiFrame(TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
    };
    auto click = [&](int x, int y) {  // the mouse comes to rest over the spot first
        guiMouseMotion(x, y);
        frame();
        const bool taken = guiMouseButton(GLUT_LEFT_BUTTON, GLUT_DOWN, x, y);
        guiMouseButton(GLUT_LEFT_BUTTON, GLUT_UP, x, y);
        return taken;
    };
    auto press = [&](unsigned char key) {
        const bool taken = guiKeyboard(key, 0, 0);
        guiKeyboardUp(key, 0, 0);
        return taken;
    };
    frame();
    click(static_cast<int>(fieldX), static_cast<int>(fieldY));
    for (int i = 0; i < 3; ++i) frame();
    EXPECT_TRUE(press('a')) << "the field has the keyboard";
    for (int i = 0; i < 3; ++i) frame();
    EXPECT_STREQ(text, "a");

    EXPECT_FALSE(click(TEST_WINDOW_WIDTH - 20, TEST_WINDOW_HEIGHT - 20)) << "a click outside the GUI";
    EXPECT_FALSE(press('2')) << "a key at once after it";
    frame();
    EXPECT_FALSE(press('3')) << "a key after the frame that saw the click";
    frame();
    EXPECT_FALSE(press('4'));
    EXPECT_FALSE(ImGui::GetIO().WantCaptureKeyboard);
    for (int i = 0; i < 3; ++i) frame();
    EXPECT_STREQ(text, "a") << "nothing was typed into the field after it lost the keyboard";

    // Clicked away and, a frame later, back into the field, then a key at once: the key is the
    // field's only, not the program's as well.
    click(TEST_WINDOW_WIDTH - 20, TEST_WINDOW_HEIGHT - 20);
    click(static_cast<int>(fieldX), static_cast<int>(fieldY));
    EXPECT_TRUE(press('x')) << "a key typed into the field clicked just now";
    for (int i = 0; i < 3; ++i) frame();
    EXPECT_NE(std::string(text).find('x'), std::string::npos) << text;
    click(TEST_WINDOW_WIDTH - 20, TEST_WINDOW_HEIGHT - 20);
    for (int i = 0; i < 3; ++i) frame();
    std::snprintf(text, sizeof text, "a");

    // A right-button press outside does not take the keyboard from the field.
    click(static_cast<int>(fieldX), static_cast<int>(fieldY));
    for (int i = 0; i < 3; ++i) frame();
    guiMouseMotion(TEST_WINDOW_WIDTH - 20, TEST_WINDOW_HEIGHT - 20);
    frame();
    guiMouseButton(GLUT_RIGHT_BUTTON, GLUT_DOWN, TEST_WINDOW_WIDTH - 20, TEST_WINDOW_HEIGHT - 20);
    guiMouseButton(GLUT_RIGHT_BUTTON, GLUT_UP, TEST_WINDOW_WIDTH - 20, TEST_WINDOW_HEIGHT - 20);
    EXPECT_TRUE(press('b'));
    for (int i = 0; i < 3; ++i) frame();
    EXPECT_STREQ(text, "ab");
    click(TEST_WINDOW_WIDTH - 20, TEST_WINDOW_HEIGHT - 20);
    for (int i = 0; i < 3; ++i) frame();
}
