// PaintApp's handlers, keys, reshape and settings panel, driven without GLUT callbacks.
// The app needs a GL context for its textures and labels (Xvfb in the test run).
#include "paint/paint_app.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <imgui_internal.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/app/gui_glue.h"
#include "common/sensor/recording.h"
#include "common/sensor/simulated_performer.h"
#include "paint/brush_2d.h"
#include "paint/manipulator_2d.h"
#include "paint/settings_panel.h"
#include "paint/test_paint_app.h"
#include "support/headless_gui.h"
#include "widgets/gl_test_context.h"

namespace {

class PaintAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = makeTestPaintApp(800, 600, 7, quiet);
        if (!app) GTEST_SKIP() << "no display";
    }

    // A trained set of one gesture of `type` with `poses` poses (and no skeleton records).
    void addSet(GestureType type, int poses = 30) {
        GestureSet set;
        set.type = type;
        Gesture g;
        g.type = type;
        for (int i = 0; i < poses; ++i) {
            ArmPose p{};
            p[0] = 100.0f + i;
            g.poses.push_back(p);
        }
        set.gestures.push_back(g);
        app->recognizer->TrainedGestureSets.push_back(set);
    }

    const Button& training(const char* name) {
        return app->trainingButtons[findButton(app->trainingButtons, name)];
    }

    std::ostringstream quiet;
    std::unique_ptr<PaintApp> app;
};

TEST_F(PaintAppTest, TrainingScreenWithoutSetsOffersOnlyNewSetAndExit) {
    handleButton(*app, "BUTTON_TRAINING");
    EXPECT_EQ(app->mode, ModeTraining);
    const Button& trainingButton = app->recognitionButtons[findButton(app->recognitionButtons, "BUTTON_TRAINING")];
    EXPECT_FALSE(trainingButton.visible);
    for (const Button& b : app->trainingButtons) {
        bool usable = b.name == "BUTTON_NEW_SET" || b.name == "BUTTON_EXIT_GEST";
        EXPECT_EQ(b.state != ButtonDisabled, usable) << b.name;
        EXPECT_TRUE(b.visible) << b.name;
    }
    addSet(GestureType::RIGHT);
    refreshTrainingButtons(*app);
    for (const Button& b : app->trainingButtons) EXPECT_EQ(b.state, ButtonIdle) << b.name;

    handleButton(*app, "BUTTON_EXIT_GEST");
    EXPECT_EQ(app->mode, ModeRecognition);
    for (const Button& b : app->trainingButtons) EXPECT_FALSE(b.visible) << b.name;
    EXPECT_EQ(trainingButton.state, ButtonIdle);
    EXPECT_TRUE(trainingButton.visible);
}

TEST_F(PaintAppTest, TrainingButtonOrderAndLayout) {
    const char* order[] = {"BUTTON_EXIT_GEST",   "BUTTON_NEXT_GEST", "BUTTON_PREV_GEST",  "BUTTON_REPLACE_GEST",
                           "BUTTON_REMOVE_GEST", "BUTTON_NEW_GEST",  "BUTTON_NEW_SET",    "BUTTON_REMOVE_SET",
                           "BUTTON_PREV_SET",    "BUTTON_NEXT_SET"};
    ASSERT_EQ(app->trainingButtons.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(app->trainingButtons[i].name, order[i]);
    app->mode = ModeTraining;
    drawTrainingScreen(*app, app->sensor->skeleton);
    float S = 1.2f * 32.0f;
    EXPECT_FLOAT_EQ(app->trainingButtons[0].x, 0.95f * 800 - S);
    EXPECT_FLOAT_EQ(app->trainingButtons[5].x, 0.95f * 800 - 11 * S);
    EXPECT_FLOAT_EQ(app->trainingButtons[6].x, 0.05f * 800 + S);
    EXPECT_FLOAT_EQ(app->trainingButtons[9].x, 0.05f * 800 + 7 * S);
    EXPECT_FLOAT_EQ(app->trainingButtons[3].y, 0.95f * 600 - S);

    // The buttons show over the background, which lies in their plane, with the depth test the
    // frame leaves on.
    const auto centrePixel = [this] {
        glEnable(GL_DEPTH_TEST);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawTrainingScreen(*app, app->sensor->skeleton);
        GLubyte rgb[3];
        const Button& exit = app->trainingButtons[0];
        glReadPixels(static_cast<GLint>(exit.x), static_cast<GLint>(exit.y), 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        return std::vector<GLubyte>(rgb, rgb + 3);
    };
    refreshTrainingButtons(*app);
    ASSERT_TRUE(app->trainingButtons[0].visible);
    // The test process's one window keeps its first test's size (every test has its own
    // process under CTest; a whole-binary run may have a smaller one).
    if (app->trainingButtons[0].x >= glutGet(GLUT_WINDOW_WIDTH) || app->trainingButtons[0].y >= glutGet(GLUT_WINDOW_HEIGHT))
        GTEST_SKIP() << "the window is smaller than the app's";
    const std::vector<GLubyte> shown = centrePixel();
    app->trainingButtons[0].visible = false;
    EXPECT_NE(centrePixel(), shown) << "the exit button is hidden behind the background";
}

TEST_F(PaintAppTest, RemovingTheLastSetKeepsTheLabelAndDisablesBrowsing) {
    addSet(GestureType::LEFT);
    handleButton(*app, "BUTTON_TRAINING");
    std::string before = app->gestureLabel.text;
    EXPECT_EQ(before, "Gesture Set: 1 / 1 - Gesture: 1 / 1 - LEFT");
    handleButton(*app, "BUTTON_REMOVE_SET");
    EXPECT_EQ(app->recognizer->setCount(), 0);
    EXPECT_EQ(app->gestureLabel.text, before);
    EXPECT_EQ(app->messageLabel.text, "Gesture Set removed!");
    EXPECT_EQ(training("BUTTON_NEXT_SET").state, ButtonDisabled);
    EXPECT_EQ(training("BUTTON_REMOVE_GEST").state, ButtonDisabled);
    EXPECT_NE(training("BUTTON_NEW_SET").state, ButtonDisabled);
}

TEST_F(PaintAppTest, CaptureButtonsSwitchEverythingOffAndStartTheCountdown) {
    handleButton(*app, "BUTTON_TRAINING");
    app->tools.gestureArmed = false;
    app->nowMs = 5000;
    handleButton(*app, "BUTTON_NEW_SET");
    EXPECT_TRUE(app->recognizer->trainingPending);
    EXPECT_TRUE(app->tools.gestureArmed);
    EXPECT_EQ(app->countdown.start, 5000u);
    EXPECT_EQ(app->countdown.duration, 4000u);
    for (const Button& b : app->trainingButtons) EXPECT_EQ(b.state, ButtonDisabled) << b.name;
    // The countdown holds recognition off: the recogniser sees recognise = false, which marks
    // the newest record instead of segmenting.
    EXPECT_TRUE(countdownRunning(app->countdown, 8000));
}

TEST_F(PaintAppTest, ResultMessagesAndToolChoice) {
    handleResult(*app, "12");
    EXPECT_EQ(app->messageLabel.text, "Gesture 13 recognized");
    EXPECT_EQ(paintToolName(*app, app->tools.currentTool), std::string("Brush2D"));
    handleResult(*app, "DEFAULT_GESTURE");
    EXPECT_EQ(app->messageLabel.text, "Default Gesture recognized");
    EXPECT_EQ(resultMessage("x9"), "Gesture 1 recognized");

    // "3" on the training screen selects the straight line and stays armed.
    app->mode = ModeTraining;
    handleResult(*app, "3");
    EXPECT_EQ(paintToolName(*app, app->tools.currentTool), std::string("StraightLine2D"));
    EXPECT_TRUE(app->tools.gestureArmed);
}

TEST_F(PaintAppTest, DisarmedIgnoresEverythingButTheDefaultGesture) {
    app->tools.gestureArmed = false;
    app->messageLabel.text = "unchanged";
    handleResult(*app, "GESTURE_TRAINED");
    EXPECT_EQ(app->messageLabel.text, "unchanged");
    handleResult(*app, "2");
    EXPECT_EQ(paintToolName(*app, app->tools.currentTool), std::string("Brush2D"));
    handleResult(*app, "DEFAULT_GESTURE");
    EXPECT_EQ(paintToolName(*app, app->tools.currentTool), std::string("NullTool"));
    EXPECT_TRUE(app->tools.gestureArmed);
    EXPECT_EQ(app->messageLabel.text, "unchanged");
}

TEST_F(PaintAppTest, GestureCommandsWhilePaintingParkSelectAndUndo) {
    app->mode = ModePainting;
    // One brush stroke to undo.
    Stroke stroke;
    stroke.points = {{1, 1}, {5, 5}};
    stroke.id = app->canvas.newStrokeId();
    app->canvas.appendStroke(stroke);
    app->tools.gestureArmed = false;
    handleResult(*app, "DEFAULT_GESTURE");
    EXPECT_EQ(paintToolName(*app, app->tools.currentTool), std::string("NullTool"));
    handleResult(*app, "3");
    EXPECT_EQ(paintToolName(*app, app->tools.currentTool), std::string("StraightLine2D"));
    EXPECT_FALSE(app->tools.gestureArmed);
    handleResult(*app, "DEFAULT_GESTURE");
    EXPECT_EQ(paintToolName(*app, app->tools.currentTool), std::string("NullTool"));
    EXPECT_TRUE(app->tools.gestureArmed);
    // "7" undoes while painting, without touching the flag.
    Tool* brush = app->tools.tools[TOOL_BRUSH];
    app->history.recordEdit(brush);
    size_t doneBefore = app->history.done.size();
    handleResult(*app, "7");
    EXPECT_EQ(app->history.done.size(), doneBefore - 1);
    EXPECT_TRUE(app->tools.gestureArmed);
    handleResult(*app, "8");
    EXPECT_EQ(app->history.done.size(), doneBefore);
}

// Without a sensor a user teaches with the keys that make the performer perform its gestures,
// standing at rest meanwhile, and picks tools the same way while painting. A gesture picking a
// tool disarms the gestures, and the rest pose that follows it would put that tool away at
// once; with the mouse over the drawing area the gesture ends with the arm held out instead,
// and the tool stays.
TEST_F(PaintAppTest, AKeyedGesturePerformedOverTheDrawingAreaKeepsTheToolItPicks) {
    auto* performer = dynamic_cast<SimulatedPerformer*>(&app->sensor->source());
    ASSERT_NE(performer, nullptr);
    const std::vector<std::string> names = SimulatedPerformer::gestureNames();
    const int wave = static_cast<int>(std::find(names.begin(), names.end(), "wave") - names.begin());
    ASSERT_LT(wave, static_cast<int>(names.size()));
    app->waitForRecognizer = true;
    uint32_t now = app->nowMs;
    auto run = [&](uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 33) {
            now += 33;
            paintFrame(*app, now);
            performer->followPointer(*app->rightPointer);
        }
    };

    // Teaching: the mouse off the drawing area, three performances after three countdowns.
    performer->mouseMove(0.5f, 0.5f);
    performer->mouseAway();
    handleButton(*app, "BUTTON_TRAINING");
    for (int example = 0; example < 3; ++example) {
        handleButton(*app, example == 0 ? "BUTTON_NEW_SET" : "BUTTON_NEW_GEST");
        run(4300);
        ASSERT_TRUE(performer->mouseGesture(wave, 40 + static_cast<uint32_t>(example)));
        run(6000);
        ASSERT_FALSE(app->recognizer->trainingPending) << "example " << example << " was never captured";
    }
    ASSERT_EQ(app->recognizer->setCount(), 1);
    ASSERT_EQ(app->recognizer->TrainedGestureSets[0].gestures.size(), 3u);

    // Painting: standing at rest arms the gestures; then the hand comes forward over the
    // drawing area, and the key is pressed there.
    handleButton(*app, "BUTTON_EXIT_GEST");
    paintKeyboard(*app, 'p');
    ASSERT_EQ(app->mode, ModePainting);
    run(2500);
    ASSERT_TRUE(app->tools.gestureArmed);
    performer->mouseMove(0.5f, 0.5f);
    run(1500);
    ASSERT_TRUE(app->rightPointer->engaged());
    ASSERT_TRUE(performer->mouseGesture(wave, 50));
    run(5000);
    EXPECT_EQ(std::string(paintToolName(*app, app->tools.currentTool)), "Manipulator2D");
    EXPECT_FALSE(app->tools.gestureArmed);
    run(5000);
    EXPECT_EQ(std::string(paintToolName(*app, app->tools.currentTool)), "Manipulator2D") << "the tool was put away";

    // Disarmed now, with another tool in hand: the next key drops the arm to rest before the
    // gesture, which arms the gestures again, and the gesture picks its tool once more.
    paintKeyboard(*app, '3');
    ASSERT_EQ(std::string(paintToolName(*app, app->tools.currentTool)), "Brush2D");
    ASSERT_TRUE(performer->mouseGesture(wave, 51));
    run(7000);
    EXPECT_EQ(std::string(paintToolName(*app, app->tools.currentTool)), "Manipulator2D");
    EXPECT_FALSE(app->tools.gestureArmed);
}

TEST_F(PaintAppTest, ScriptQueriesReportColourAndDistinctStrokeColours) {
    app->currentColor = {1.0f, 0.5f, -0.2f};  // out of range is shown as drawn, limited
    EXPECT_EQ(paintQuery(*app, "colour"), "255 128 0");
    EXPECT_EQ(paintQuery(*app, "stroke_colours"), "0");
    Stroke a;
    a.points = {{1, 1}};
    a.colour = {0.1f, 0.2f, 0.3f};
    Stroke b = a;
    Stroke empty;  // the tools' open stroke without points does not count
    empty.colour = {0.9f, 0.9f, 0.9f};
    app->canvas.strokes = {a, b, empty};
    EXPECT_EQ(paintQuery(*app, "stroke_colours"), "1");
    app->canvas.strokes[1].colour = {0.1f, 0.2f, 0.4f};
    EXPECT_EQ(paintQuery(*app, "stroke_colours"), "2");
}

TEST_F(PaintAppTest, KeysAreLowerCaseOnlyAndTiltSteps) {
    paintKeyboard(*app, 'P');
    paintKeyboard(*app, 'L');
    paintKeyboard(*app, 'S');
    EXPECT_EQ(app->mode, ModeRecognition);
    EXPECT_FALSE(app->fileDialog.active);
    paintKeyboard(*app, 'p');
    EXPECT_EQ(app->mode, ModePainting);
    paintKeyboard(*app, 'p');
    EXPECT_EQ(app->mode, ModeRecognition);
    app->mode = ModeTraining;
    paintKeyboard(*app, 'p');
    EXPECT_EQ(app->mode, ModePainting);
    paintKeyboard(*app, '6');
    EXPECT_EQ(paintToolName(*app, app->tools.currentTool), std::string("Rubber2D"));

    int tilt = app->sensor->tiltAngle();
    paintSpecial(*app, GLUT_KEY_UP, GLUT_ACTIVE_CTRL | GLUT_ACTIVE_SHIFT);
    EXPECT_EQ(app->sensor->tiltAngle(), tilt + 2);
    paintSpecial(*app, GLUT_KEY_UP, GLUT_ACTIVE_CTRL);
    EXPECT_EQ(app->sensor->tiltAngle(), tilt + 12);
    paintSpecial(*app, GLUT_KEY_DOWN, 0);
    EXPECT_EQ(app->sensor->tiltAngle(), tilt + 10);
    paintSpecial(*app, GLUT_KEY_LEFT, GLUT_ACTIVE_CTRL);
    EXPECT_EQ(app->sensor->tiltAngle(), tilt + 10);
    // freeglut reports a locked Num Lock as Super: Ctrl is still alone.
    paintSpecial(*app, GLUT_KEY_DOWN, GLUT_ACTIVE_CTRL | GLUT_ACTIVE_SUPER);
    EXPECT_EQ(app->sensor->tiltAngle(), tilt);
    paintSpecial(*app, GLUT_KEY_UP, GLUT_ACTIVE_CTRL | GLUT_ACTIVE_ALT | GLUT_ACTIVE_SUPER);
    EXPECT_EQ(app->sensor->tiltAngle(), tilt + 2);
}

// p on the training screen goes to painting, and p again to the recognition screen: with its
// training button, so that training can be reached again (it stayed hidden for good).
TEST_F(PaintAppTest, PaintingKeyFromTheTrainingScreenKeepsTheWayBackToTraining) {
    handleButton(*app, "BUTTON_TRAINING");
    ASSERT_EQ(app->mode, ModeTraining);
    paintKeyboard(*app, 'p');
    EXPECT_EQ(app->mode, ModePainting);
    for (const Button& button : app->trainingButtons) EXPECT_FALSE(button.visible) << button.name;
    paintKeyboard(*app, 'p');
    EXPECT_EQ(app->mode, ModeRecognition);
    const Button& trainingButton = app->recognitionButtons[findButton(app->recognitionButtons, "BUTTON_TRAINING")];
    EXPECT_TRUE(trainingButton.visible);
    EXPECT_NE(trainingButton.state, ButtonDisabled);
    handleButton(*app, "BUTTON_TRAINING");
    EXPECT_EQ(app->mode, ModeTraining);
    EXPECT_TRUE(training("BUTTON_NEW_SET").visible);
}

// A capture still waiting must not outlive the training screen or the sets it was meant for.
// Leaving by p: the next arm movement on the painting screen was stored as an example, or
// founded a set, without the user knowing. A load: it switches the training buttons back on for
// the loaded sets, and the exit button then led to the recognition screen with the capture still
// waiting, to become an example of the loaded file's first set.
TEST_F(PaintAppTest, LeavingOrLoadingDuringACaptureDropsTheCapture) {
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / ("paint_app_load_capture_" + std::to_string(::getpid()) + ".bin");
    addSet(GestureType::RIGHT);
    ASSERT_TRUE(app->recognizer->saveGestureSets(file.string()));
    for (bool byLoad : {false, true}) {
        for (const char* request : {"BUTTON_NEW_SET", "BUTTON_NEW_GEST", "BUTTON_REPLACE_GEST"}) {
            SCOPED_TRACE(std::string(request) + (byLoad ? ", then a load and exit" : ", then p"));
            handleButton(*app, "BUTTON_TRAINING");
            app->nowMs = 5000;
            handleButton(*app, request);
            ASSERT_TRUE(app->recognizer->trainingPending);
            if (byLoad) {
                ASSERT_TRUE(loadPaintGestureSets(*app, file.string()));
                EXPECT_FALSE(app->recognizer->trainingPending);
                EXPECT_NE(training("BUTTON_EXIT_GEST").state, ButtonDisabled);
                handleButton(*app, "BUTTON_EXIT_GEST");
                EXPECT_EQ(app->mode, ModeRecognition);
            } else {
                paintKeyboard(*app, 'p');
                EXPECT_EQ(app->mode, ModePainting);
            }
            EXPECT_FALSE(app->recognizer->trainingPending);
            EXPECT_FALSE(countdownRunning(app->countdown, 5100)) << "recognition is held off by the countdown";
            EXPECT_EQ(app->recognizer->setCount(), 1);
            EXPECT_EQ(app->recognizer->gestureCount(), 1);
            if (!byLoad) {
                paintKeyboard(*app, 'p');
                ASSERT_EQ(app->mode, ModeRecognition);
            }
        }
    }
    fs::remove(file);
}

TEST_F(PaintAppTest, LoadRefreshesTheTrainingButtonsAndACancelledDialogDoesNothing) {
    namespace fs = std::filesystem;
    fs::path file = fs::temp_directory_path() / ("paint_app_test_" + std::to_string(::getpid()) + ".bin");
    addSet(GestureType::RIGHT);
    addSet(GestureType::BOTH);
    ASSERT_TRUE(savePaintGestureSets(*app, file.string()));
    EXPECT_EQ(app->messageLabel.text, "Saved 2 gesture sets to disk...");
    app->recognizer->TrainedGestureSets.clear();
    handleButton(*app, "BUTTON_TRAINING");
    EXPECT_EQ(training("BUTTON_NEXT_SET").state, ButtonDisabled);

    // A cancelled open dialog: nothing loads, nothing shows; the console says it failed.
    std::ostringstream console;
    std::ostream* oldConsole = app->recognizer->console;
    app->recognizer->console = &console;
    paintKeyboard(*app, 'l');
    ASSERT_TRUE(app->fileDialog.active);
    finishFileDialog(app->fileDialog, false);
    app->messageLabel.text = "before";
    finishPaintFileDialog(*app);
    EXPECT_EQ(app->recognizer->setCount(), 0);
    EXPECT_EQ(app->messageLabel.text, "before");
    EXPECT_EQ(console.str(), "Cannot load from disk!\n");
    // The same for a cancelled save, with nothing to save.
    console.str("");
    paintKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    finishFileDialog(app->fileDialog, false);
    finishPaintFileDialog(*app);
    EXPECT_EQ(app->messageLabel.text, "before");
    EXPECT_EQ(console.str(), "Nothing to save!\n");
    app->recognizer->console = oldConsole;

    // A chosen file loads and the browsing buttons are usable at once.
    paintKeyboard(*app, 'l');
    app->fileDialog.folder = file.parent_path().string();
    app->fileDialog.typedName = file.filename().string();
    finishFileDialog(app->fileDialog, true);
    finishPaintFileDialog(*app);
    EXPECT_EQ(app->recognizer->setCount(), 2);
    EXPECT_EQ(app->messageLabel.text, "Loaded 2 gesture sets from disk...");
    EXPECT_NE(training("BUTTON_NEXT_SET").state, ButtonDisabled);
    // The training screen's label names the loaded sets, not the ones held before.
    EXPECT_EQ(app->gestureLabel.text, "Gesture Set: 1 / 2 - Gesture: 1 / 1 - RIGHT");
    // A file of no sets leaves it nothing to name.
    const fs::path empty = fs::path(BINARY_DIR) / "paint_app_test_no_sets.bin";
    { std::ofstream(empty, std::ios::binary).write("\0\0\0\0", 4); }
    ASSERT_TRUE(loadPaintGestureSets(*app, empty.string()));
    EXPECT_EQ(app->recognizer->setCount(), 0);
    EXPECT_EQ(app->gestureLabel.text, "");
    fs::remove(empty);
    fs::remove(file);
}

// A person lost while reaching forward leaves a record with the reach in it. Without letting the
// pointer go, the pointer stayed engaged where the hand was, over the training button, and
// pressed it with nobody in front of the sensor; a dwell begun before the loss must not end in
// a press during the short while an engaged pointer is kept either.
TEST_F(PaintAppTest, APointerLeftOverAButtonByAPersonLostPressesNothing) {
    uint32_t now = app->nowMs;
    auto run = [&](int frames) {
        for (int i = 0; i < frames; ++i) paintFrame(*app, now += 33);
    };
    auto* performer = dynamic_cast<SimulatedPerformer*>(&app->sensor->source());
    ASSERT_NE(performer, nullptr);
    performer->setReach(1, 0.35f, 0);
    HandPointer& hand = *app->rightPointer;
    for (int i = 0; i < 90 && !hand.engaged(); ++i) run(1);
    ASSERT_TRUE(hand.engaged());

    const Button& button = app->recognitionButtons[findButton(app->recognitionButtons, "BUTTON_TRAINING")];
    hand.x = hand.xMin + button.x / static_cast<float>(app->window.width) * (hand.xMax - hand.xMin);
    hand.y = hand.yMin + button.y / static_cast<float>(app->window.height) * (hand.yMax - hand.yMin);
    app->buttonEvents.clear();
    run(22);  // 726 ms of the 1000 ms dwell, with the person there
    ASSERT_TRUE(app->buttonEvents.empty());
    ASSERT_EQ(app->mode, ModeRecognition);
    performer->injectFault(PerformerFault::LOSE_PERSON, 4000);
    run(75);  // two and a half seconds, well past the dwell time
    EXPECT_FALSE(app->sensor->personTracked);
    EXPECT_FALSE(hand.engaged());
    EXPECT_TRUE(app->buttonEvents.empty()) << "a button was pressed with nobody in front of the sensor";
    EXPECT_EQ(app->mode, ModeRecognition);
    EXPECT_NE(button.state, ButtonHovered);
}

TEST_F(PaintAppTest, AnOpenFileDialogHoldsTheProgramStillUntilItCloses) {
    uint32_t now = app->nowMs;
    auto run = [&](int frames) {
        for (int i = 0; i < frames; ++i) paintFrame(*app, now += 33);
    };
    run(3);
    paintKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    // A press queued before the dialog opened, and an engaged hand resting on the training
    // button for two seconds behind the dialog.
    app->buttonEvents.push_back("BUTTON_TRAINING");
    const Button& button = app->recognitionButtons[findButton(app->recognitionButtons, "BUTTON_TRAINING")];
    HandPointer& hand = *app->rightPointer;
    hand.state = POINTER_ENGAGED;
    hand.x = hand.xMin + button.x / static_cast<float>(app->window.width) * (hand.xMax - hand.xMin);
    hand.y = hand.yMin + button.y / static_cast<float>(app->window.height) * (hand.yMax - hand.yMin);
    const uint32_t newestFrame = app->recognizer->historyRecord(HISTORY_LENGTH - 1).frameNumber;
    // The person in front of the camera goes on meanwhile (scripts wait on their actions).
    auto* performer = dynamic_cast<SimulatedPerformer*>(&app->sensor->source());
    ASSERT_NE(performer, nullptr);
    performer->rest(1000);
    run(60);
    EXPECT_FALSE(performer->busy()) << "the performer's time stood still behind the dialog";
    EXPECT_EQ(app->mode, ModeRecognition);
    EXPECT_EQ(app->buttonEvents.size(), 1u) << "the queued press waits, and the dwell adds none";
    EXPECT_EQ(app->recognizer->historyRecord(HISTORY_LENGTH - 1).frameNumber, newestFrame)
        << "no sensor frame reached the recogniser";

    // Closed, the program goes on where it stood, with the queued press first.
    finishFileDialog(app->fileDialog, false);
    finishPaintFileDialog(*app);
    run(1);
    EXPECT_EQ(app->mode, ModeTraining);
    EXPECT_NE(app->recognizer->historyRecord(HISTORY_LENGTH - 1).frameNumber, newestFrame);

    // The training screen's buttons are not pressed behind the dialog either.
    paintKeyboard(*app, 'l');
    ASSERT_TRUE(app->fileDialog.active);
    const Button& newSet = training("BUTTON_NEW_SET");
    hand.state = POINTER_ENGAGED;
    hand.x = hand.xMin + newSet.x / static_cast<float>(app->window.width) * (hand.xMax - hand.xMin);
    hand.y = hand.yMin + newSet.y / static_cast<float>(app->window.height) * (hand.yMax - hand.yMin);
    run(60);
    EXPECT_TRUE(app->buttonEvents.empty());
    EXPECT_FALSE(app->recognizer->trainingPending);
    finishFileDialog(app->fileDialog, false);
    finishPaintFileDialog(*app);
}

TEST_F(PaintAppTest, ReshapeMovesTheTrainingButtonToTheUpperLeft) {
    reshapePaintApp(*app, 1000, 700);
    const Button& b = app->recognitionButtons[0];
    EXPECT_FLOAT_EQ(b.x, 76.8f);
    EXPECT_FLOAT_EQ(b.y, 700.0f - 76.8f);
    EXPECT_EQ(app->window.width, 1000u);
    EXPECT_FLOAT_EQ(app->window.aspect, 1000.0f / 700.0f);
}

TEST_F(PaintAppTest, SettingsPanelBindsTheLiveVariables) {
    std::vector<PanelRow> rows = buildSettingsPanel(*app);
    ASSERT_EQ(rows.size(), 25u);
    EXPECT_EQ(rows[0].label, "Velocity Low Threshold:");
    EXPECT_EQ(rows[6].control, PanelControl::MEASURE_LIST);
    EXPECT_EQ(rows[11].control, PanelControl::SEPARATOR);
    EXPECT_EQ(rows[20].control, PanelControl::SEPARATOR);
    EXPECT_EQ(rows[21].label, "Hand depth treshold:");
    // Rows 22 to 25 change the right detector only.
    EXPECT_EQ(rows[21].intValue, &app->rightDetector->depthThreshold);
    EXPECT_EQ(rows[22].intValue, &app->rightDetector->filterSize);
    EXPECT_EQ(rows[23].intValue, &app->rightDetector->neighbourhood);
    EXPECT_EQ(rows[24].floatValue, &app->rightDetector->gradient);
    *rows[21].intValue = 90;
    EXPECT_EQ(app->leftDetector->depthThreshold, 110);

    // "FMDistance" sets the threshold to FM's default; an item outside the list does nothing.
    EXPECT_EQ(measureItemOf(*app), 4);
    EXPECT_TRUE(chooseMeasureItem(*app, 5));
    EXPECT_EQ(app->recognizer->similarityMeasure, SimilarityMeasure::FM);
    EXPECT_FLOAT_EQ(*rows[7].floatValue, 1.0f);
    EXPECT_FALSE(chooseMeasureItem(*app, 6));
    EXPECT_EQ(app->recognizer->similarityMeasure, SimilarityMeasure::FM);

    // A value typed into a read-out is overwritten by the next frame.
    *rows[12].floatValue = 12345.0f;  // "Elbow Left:"
    paintFrame(*app, 1033);
    EXPECT_NE(*rows[12].floatValue, 12345.0f);
    EXPECT_EQ(rows[12].floatValue, &app->pose[0]);
}

TEST_F(PaintAppTest, ClickingAReadOutLeavesItFollowingTheProgram) {
    std::vector<PanelRow> rows = buildSettingsPanel(*app);
    HeadlessGui gui(ImVec2(1600, 1000));
    auto frame = [&](ImVec2 mouse, bool down, const char* typed = nullptr) {
        ImGuiIO& io = ImGui::GetIO();
        io.MousePos = mouse;
        io.MouseDown[0] = down;
        if (typed != nullptr) io.AddInputCharactersUTF8(typed);
        ImGui::NewFrame();
        drawSettingsPanel(*app, rows, 1600, 1000);
        ImGui::Render();
    };
    const ImGuiStyle& style = ImGui::GetStyle();
    frame(ImVec2(0, 0), false);
    const float pitch = ImGui::GetFrameHeight() + style.ItemSpacing.y;
    // "Current velocity:", the tenth row, clicked in its field; then the program moves on.
    const ImVec2 field(1600.0f - SETTINGS_PANEL_WIDTH + style.WindowPadding.x + 30.0f,
                       style.WindowPadding.y + pitch * 9.0f + ImGui::GetFrameHeight() / 2.0f);
    app->velocityReadout = 3.25f;
    frame(field, false);
    frame(field, true);
    frame(field, false);
    for (int k = 0; k < 5; ++k) {
        app->velocityReadout = 10.0f + static_cast<float>(k);
        frame(field, false, k == 2 ? "77" : nullptr);
        EXPECT_FLOAT_EQ(app->velocityReadout, 10.0f + static_cast<float>(k)) << k;
    }
}

TEST_F(PaintAppTest, ATypedSettingIsWrittenWhenItsEditEnds) {
    std::vector<PanelRow> rows = buildSettingsPanel(*app);
    HeadlessGui gui(ImVec2(1600, 1000));
    ImGuiIO& io = ImGui::GetIO();
    io.KeyMap[ImGuiKey_Enter] = 13;
    io.KeyMap[ImGuiKey_Escape] = 27;
    io.KeyMap[ImGuiKey_Tab] = 9;
    auto frame = [&](ImVec2 mouse, bool down, const char* typed = nullptr, int key = -1) {
        io.MousePos = mouse;
        io.MouseDown[0] = down;
        if (typed != nullptr) io.AddInputCharactersUTF8(typed);
        if (key >= 0) io.KeysDown[key] = true;
        ImGui::NewFrame();
        drawSettingsPanel(*app, rows, 1600, 1000);
        ImGui::Render();
        if (key >= 0) io.KeysDown[key] = false;
    };
    const ImGuiStyle& style = ImGui::GetStyle();
    frame(ImVec2(0, 0), false);
    const float pitch = ImGui::GetFrameHeight() + style.ItemSpacing.y;
    const float left = 1600.0f - SETTINGS_PANEL_WIDTH + style.WindowPadding.x;
    auto rowY = [&](int row) { return style.WindowPadding.y + pitch * row + ImGui::GetFrameHeight() / 2.0f; };
    auto click = [&](ImVec2 at) {
        frame(at, false);
        frame(at, true);
        frame(at, false);
    };
    // Clicks into a field, types, and ends with a key press (-1: none).
    auto edit = [&](ImVec2 field, const char* typed, int key) {
        click(field);
        frame(field, false, typed);
        if (key >= 0) {
            frame(field, false, nullptr, key);
            frame(field, false);
        }
    };
    int& window = app->recognizer->maxMovingWindowSize;
    ASSERT_EQ(window, 12);
    // "Max size of moving window:" typed as 20 passes through 2, which would drop marks.
    const ImVec2 windowField(left + 20.0f, rowY(2));
    edit(windowField, "2", -1);
    EXPECT_EQ(window, 12);
    frame(windowField, false, "0");
    EXPECT_EQ(window, 12);
    frame(windowField, false, nullptr, 13);
    frame(windowField, false);
    EXPECT_EQ(window, 20);
    // Cancelled with Escape, nothing is written.
    edit(windowField, "5", 27);
    EXPECT_EQ(window, 20);
    // Ended by a click elsewhere, the typed number is written.
    edit(windowField, "7", -1);
    click(ImVec2(100.0f, 100.0f));
    EXPECT_EQ(window, 7);
    // A cancelled edit of a finer value than the field's three decimals leaves it exactly.
    float& low = app->recognizer->velocityLowThreshold;
    const ImVec2 lowField(left + 20.0f, rowY(0));
    low = 0.12345f;
    edit(lowField, "9", 27);
    EXPECT_EQ(low, 0.12345f);
    // Finer than the field shows, a typed value is still written as typed.
    edit(lowField, "4.0004", 13);
    EXPECT_EQ(low, 4.0004f);
    // Tab ends the edit too, and the next field's edit starts from its own variable.
    edit(windowField, "9", 9);
    EXPECT_EQ(window, 9);
    frame(windowField, false, nullptr, 13);
    frame(windowField, false);
    EXPECT_EQ(app->recognizer->minRecognitionIntervalLength, 8);
    EXPECT_EQ(window, 9);
    // The step buttons write at once: "+" is the last square of the row's 110 pixels.
    const float button = ImGui::GetFrameHeight();
    click(ImVec2(left + 110.0f - button / 2.0f, rowY(2)));
    EXPECT_EQ(window, 10);
    // A number too long for an int stops at the end of its range instead of wrapping round.
    edit(windowField, "99999999999999999999", 13);
    EXPECT_EQ(window, INT_MAX);
    edit(windowField, "-99999999999", 13);
    EXPECT_EQ(window, INT_MIN);
    // A float too large for a float (infinity) leaves the setting as it was.
    edit(lowField, "1e39", 13);
    EXPECT_EQ(low, 4.0004f);
    edit(lowField, "-1e39", 13);
    EXPECT_EQ(low, 4.0004f);
}

TEST_F(PaintAppTest, EveryPanelLabelShowsWholeAlsoWithAScrollbar) {
    std::vector<PanelRow> rows = buildSettingsPanel(*app);
    for (int height : {1000, 400}) {
        HeadlessGui gui(ImVec2(1600, static_cast<float>(height)));
        for (int frame = 0; frame < 3; ++frame) {  // the scrollbar follows the last frame's content
            ImGui::NewFrame();
            drawSettingsPanel(*app, rows, 1600, height);
            ImGui::Render();
        }
        const ImGuiWindow* panel = ImGui::FindWindowByName("Settings");
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->ScrollbarY, height == 400);
        EXPECT_LE(panel->ContentSize.x, panel->WorkRect.GetWidth()) << "window height " << height;
    }
    // In a window narrower than the panel the fields, on its left, stay in the window.
    HeadlessGui gui(ImVec2(300, 600));
    ImGui::NewFrame();
    drawSettingsPanel(*app, rows, 300, 600);
    ImGui::Render();
    const ImGuiWindow* panel = ImGui::FindWindowByName("Settings");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->Pos.x, 0.0f);
    EXPECT_EQ(panel->Size.x, 300.0f);
}

TEST_F(PaintAppTest, ReplayingAGestureWithoutRecordsDrawsNothingAndKeepsTheCounter) {
    addSet(GestureType::RIGHT);  // its gesture has poses but no skeleton records
    app->mode = ModeTraining;
    drawTrainingScreen(*app, app->sensor->skeleton);
    EXPECT_EQ(app->recognizer->TrainedGestureSets[0].gestures[0].replayCounter, 0u);
    // With records the counter walks through them and wraps.
    Gesture& g = app->recognizer->TrainedGestureSets[0].gestures[0];
    g.skeletons.resize(3);
    for (int i = 0; i < 4; ++i) drawTrainingScreen(*app, app->sensor->skeleton);
    // Records 0, 1, 2, 0 were drawn; the counter holds the next one, 1.
    EXPECT_EQ(g.replayCounter, 1u);
    // Behind the file dialog the replay stands still, like the rest of the program.
    paintKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    for (int i = 0; i < 2; ++i) paintFrame(*app, app->nowMs + 33);
    EXPECT_EQ(g.replayCounter, 1u);
    finishFileDialog(app->fileDialog, false);
}

TEST_F(PaintAppTest, ARecordingKeepsTheSensorsFramesWhileTheFileDialogIsOpen) {
    const std::string path = std::string(BINARY_DIR) + "/paint_app_test_dialog.rec";
    Recorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.open(path, 0, error)) << error;
    app->sensor->recorder = &recorder;
    uint32_t t = app->nowMs;
    for (int i = 0; i < 3; ++i) paintFrame(*app, t += 33);
    paintKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    const SkeletonRecord before = app->sensor->skeleton;
    for (int i = 0; i < 5; ++i) paintFrame(*app, t += 33);
    // The program stands still: its person is the one it had when the dialog opened.
    EXPECT_EQ(std::memcmp(&before, &app->sensor->skeleton, sizeof before), 0);
    finishFileDialog(app->fileDialog, false);
    finishPaintFileDialog(*app);
    for (int i = 0; i < 2; ++i) paintFrame(*app, t += 33);
    app->sensor->recorder = nullptr;
    ASSERT_TRUE(recorder.finish(error)) << error;

    // Every frame is there, 33 ms apart, with what the sensor delivered: replayed, the time
    // behind the dialog is not a run of failed fetches.
    RecordingReader reader;
    ASSERT_TRUE(reader.open(path, error)) << error;
    ASSERT_EQ(reader.frames.size(), 10u);
    for (size_t i = 0; i < reader.frames.size(); ++i) {
        EXPECT_EQ(reader.frames[i].timeUs, i * 33000u) << i;
        EXPECT_EQ(reader.frames[i].flags, uint32_t(RECORDED_ALL)) << i;
    }
    std::remove(path.c_str());
}

// Logs the input operations it receives, to see which frames call them.
class InputLog : public Tool {
public:
    void onLeftGrip(const ArmPose&) override { calls.push_back("left"); }
    void onRightGrip(const ArmPose&) override { calls.push_back("right"); }
    void onBothGrip(const ArmPose&) override { calls.push_back("both"); }
    void onNoGrip(const ArmPose&) override { calls.push_back("none"); }
    void drawOverlay() override {}
    void undo() override {}
    void redo() override {}
    int32_t iconTexture() override { return -1; }
    std::vector<std::string> calls;
};

TEST_F(PaintAppTest, OnlyPaintingFramesCallTheToolsInput) {
    InputLog tool;
    app->tools.currentTool = &tool;
    app->mode = ModeRecognition;
    paintFrame(*app, 1033);
    app->mode = ModeTraining;
    paintFrame(*app, 1066);
    EXPECT_TRUE(tool.calls.empty());
    app->mode = ModePainting;
    paintFrame(*app, 1100);
    EXPECT_EQ(tool.calls.size(), 1u);
    paintKeyboard(*app, 'p');  // leaving the canvas calls nothing on the way out
    paintFrame(*app, 1133);
    EXPECT_EQ(tool.calls.size(), 1u);
}

TEST_F(PaintAppTest, AStrokeInProgressStaysUnfinishedOutsideThePaintingScreen) {
    app->mode = ModePainting;
    HandPointer& right = *app->rightPointer;
    right.x = right.xMin + 0.5f * (right.xMax - right.xMin);
    right.y = right.yMin + 0.5f * (right.yMax - right.yMin);
    Brush2D& brush = *static_cast<Brush2D*>(app->tools.tools[TOOL_BRUSH]);
    ASSERT_EQ(app->tools.currentTool, &brush);
    brush.onRightGrip(app->pose);  // a grip that was under way when the canvas was left
    ASSERT_TRUE(brush.strokeActive);
    paintKeyboard(*app, 'p');
    for (uint32_t t = 1033; t < 1200; t += 33) paintFrame(*app, t);
    EXPECT_TRUE(brush.strokeActive);
    EXPECT_TRUE(app->history.done.empty());
    EXPECT_EQ(paintQuery(*app, "strokes"), "1");
}

// The manipulator moves the view by the hands' change since its reference: picked while both
// hands grip (here at its first use, with no reference yet), it starts from that frame.
TEST_F(PaintAppTest, TheManipulatorPickedWhileBothHandsGripLeavesTheViewWhereItIs) {
    auto* performer = dynamic_cast<SimulatedPerformer*>(&app->sensor->source());
    ASSERT_NE(performer, nullptr);
    app->mode = ModePainting;
    for (int hand : {0, 1}) {
        performer->moveWrist(hand, hand == 0 ? -0.25f : 0.25f, 0.2f, 0);
        performer->setReach(hand, 0.35f, 0);
        performer->setHandShape(hand, HandShape::CLOSED);
    }
    uint32_t t = 1000;
    const auto bothGrip = [this] {
        return app->leftPointer->engaged() && app->leftDetector->closed() && app->rightPointer->engaged() &&
               app->rightDetector->closed();
    };
    for (int i = 0; i < 120 && !bothGrip(); ++i) paintFrame(*app, t += 33);
    ASSERT_TRUE(bothGrip()) << "the hands never gripped";
    const Matrix4 before = app->manipulator->view;
    paintKeyboard(*app, '1');
    for (int i = 0; i < 2; ++i) paintFrame(*app, t += 33);
    // The hands sway a little; a view thrown by the stale reference would be hundreds of times
    // larger and hundreds of pixels off.
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(app->manipulator->view[k], before[k], k < 12 ? 0.05f : 20.0f) << k;
    // Moving the hands apart then zooms as usual.
    performer->moveWrist(1, 0.45f, 0.2f, 300);
    for (int i = 0; i < 12; ++i) paintFrame(*app, t += 33);
    EXPECT_GT(std::hypot(app->manipulator->view[0], app->manipulator->view[1]), 1.2f);
}

// The detectors report the hands as before the file dialog for a few frames after it, while the
// pointer moves on to where the hand is now: a stroke under way must end where the dialog
// opened, not be drawn on across the pause.
TEST_F(PaintAppTest, AStrokeUnderWayEndsWhereTheFileDialogOpened) {
    auto* performer = dynamic_cast<SimulatedPerformer*>(&app->sensor->source());
    ASSERT_NE(performer, nullptr);
    app->mode = ModePainting;
    ASSERT_EQ(app->tools.currentTool, app->tools.tools[TOOL_BRUSH]);
    performer->moveWrist(1, 0.1f, 0.2f, 0);
    performer->setReach(1, 0.35f, 0);
    performer->setHandShape(1, HandShape::CLOSED);
    uint32_t t = 1000;
    const auto grips = [this] { return app->rightPointer->engaged() && app->rightDetector->closed(); };
    for (int i = 0; i < 120 && !grips(); ++i) paintFrame(*app, t += 33);
    ASSERT_TRUE(grips()) << "the hand never gripped";
    performer->moveWrist(1, 0.2f, 0.2f, 300);
    for (int i = 0; i < 12; ++i) paintFrame(*app, t += 33);
    const auto pointCount = [this] {
        size_t n = 0;
        for (const Stroke& s : app->canvas.strokes) n += s.points.size();
        return n;
    };
    const size_t painted = pointCount();
    ASSERT_GT(painted, 1u);

    // Behind the dialog the hand opens and moves away.
    paintKeyboard(*app, 's');
    ASSERT_TRUE(app->fileDialog.active);
    performer->setHandShape(1, HandShape::OPEN);
    performer->moveWrist(1, 0.1f, 0.0f, 300);
    for (int i = 0; i < 30; ++i) paintFrame(*app, t += 33);
    EXPECT_EQ(app->history.done.size(), 1u) << "the stroke was not finished when the dialog opened";
    finishFileDialog(app->fileDialog, false);
    finishPaintFileDialog(*app);
    for (int i = 0; i < 15; ++i) paintFrame(*app, t += 33);
    EXPECT_FALSE(app->rightDetector->closed());
    EXPECT_EQ(pointCount(), painted) << "the stroke went on after the dialog";
}

// The pointers go over everything, whatever GL state the tool's overlay leaves (the colour
// picker's switches the depth test back on).
TEST_F(PaintAppTest, ThePointersShowWholeOverAnyToolsOverlay) {
    app->mode = ModePainting;
    paintKeyboard(*app, 's');  // frames held by the dialog draw the pointers as set here
    ASSERT_TRUE(app->fileDialog.active);
    for (HandPointer* pointer : {app->leftPointer.get(), app->rightPointer.get()}) {
        pointer->state = POINTER_ENGAGED;
        pointer->x = pointer->xMin + 0.15f * (pointer->xMax - pointer->xMin);
        pointer->y = pointer->yMin + 0.8f * (pointer->yMax - pointer->yMin);
    }
    app->rightDetector->state = 1;  // closed: the larger quad over the first
    const ScreenPoint at = app->rightPointer->screenPosition();
    const float appWidth = static_cast<float>(app->window.width), appHeight = static_cast<float>(app->window.height);
    ASSERT_TRUE(at.x >= 30 && at.x + 30 <= appWidth && at.y >= 30 && at.y + 30 <= appHeight) << at.x << ", " << at.y;
    if (glutGet(GLUT_WINDOW_WIDTH) < static_cast<int>(appWidth) || glutGet(GLUT_WINDOW_HEIGHT) < static_cast<int>(appHeight))
        GTEST_SKIP() << "the window is smaller than the app's";  // as above
    const auto pointerPixels = [&](int tool) {
        app->tools.currentTool = app->tools.tools[static_cast<size_t>(tool)];
        paintFrame(*app, app->nowMs + 33);
        std::vector<GLubyte> rgb(60 * 60 * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(static_cast<GLint>(at.x) - 30, static_cast<GLint>(at.y) - 30, 60, 60, GL_RGB, GL_UNSIGNED_BYTE,
                     rgb.data());
        return rgb;
    };
    const std::vector<GLubyte> plain = pointerPixels(TOOL_NULL);
    EXPECT_TRUE(pointerPixels(TOOL_COLORPICKER) == plain) << "a pointer was cut by the depth test";
    finishFileDialog(app->fileDialog, false);
}

TEST_F(PaintAppTest, BothPointersEngagedOnlyTheRightOnePressesButtons) {
    app->leftPointer->state = POINTER_ENGAGED;
    app->rightPointer->state = POINTER_ENGAGED;
    EXPECT_EQ(dwellPointer(*app), app->rightPointer.get());
    app->rightPointer->state = POINTER_ARMING;
    EXPECT_EQ(dwellPointer(*app), app->leftPointer.get());
    app->leftPointer->state = POINTER_IDLE;
    EXPECT_EQ(dwellPointer(*app), nullptr);
}

TEST_F(PaintAppTest, TheCaptureCountdownHoldsRecognitionOffEvenWhileArmed) {
    handleButton(*app, "BUTTON_TRAINING");
    app->nowMs = 5000;
    handleButton(*app, "BUTTON_NEW_GEST");
    ASSERT_TRUE(app->tools.gestureArmed);
    EXPECT_FALSE(paintRecognitionEnabled(*app, 5000));
    EXPECT_FALSE(paintRecognitionEnabled(*app, 9000));
    EXPECT_TRUE(paintRecognitionEnabled(*app, 9001));
    app->tools.gestureArmed = false;
    EXPECT_FALSE(paintRecognitionEnabled(*app, 9001));
}

TEST_F(PaintAppTest, AGestureSetFileNamedAtStartIsLoadedBeforeTheFirstFrame) {
    namespace fs = std::filesystem;
    fs::path file = fs::temp_directory_path() / ("paint_app_start_" + std::to_string(::getpid()) + ".bin");
    addSet(GestureType::LEFT);
    addSet(GestureType::RIGHT);
    addSet(GestureType::BOTH);
    ASSERT_TRUE(app->recognizer->saveGestureSets(file.string()));

    PaintApp withFile;
    withFile.window = app->window;
    createPaintApp(withFile, std::make_unique<SimulatedPerformer>(7), file.string(), 1000);
    EXPECT_EQ(withFile.recognizer->setCount(), 3);
    PaintApp without;
    without.window = app->window;
    createPaintApp(without, std::make_unique<SimulatedPerformer>(7), std::nullopt, 1000);
    EXPECT_EQ(without.recognizer->setCount(), 0);
    fs::remove(file);
}

}  // namespace

TEST(PaintKeys, EscapeEndsTheProcessAtOnceWithExitCodeZero) {
    // Re-run in a fresh process: the child must not share this one's GL connection.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PaintApp app;
            paintKeyboard(app, 27);
            std::fputs("still running\n", stderr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(PaintAppTest, ATabOutsideAFieldLeavesTheKeysWithTheProgram) {
    initGui();
    std::vector<PanelRow> rows = buildSettingsPanel(*app);
    const int width = 1600, height = 1000;
    auto frame = [&] {
        beginGuiFrame(width, height);
        drawSettingsPanel(*app, rows, width, height);
        endGuiFrame(width, height);
    };
    auto click = [&](int x, int y) {
        guiMouseMotion(x, y);
        guiMouseButton(GLUT_LEFT_BUTTON, GLUT_DOWN, x, y);
        frame();
        guiMouseButton(GLUT_LEFT_BUTTON, GLUT_UP, x, y);
        for (int i = 0; i < 3; ++i) frame();
    };
    auto key = [&](unsigned char k) {
        const bool taken = guiKeyboard(k, 0, 0);
        frame();
        guiKeyboardUp(k, 0, 0);
        frame();
        return taken;
    };
    frame();
    float& low = app->recognizer->velocityLowThreshold;
    const float before = low;
    // A click on the panel away from its fields leaves the panel holding the keyboard focus.
    click(width - 20, height - 20);
    guiMouseMotion(300, 300);
    frame();
    key('\t');
    EXPECT_FALSE(key('5')) << "the program's key went into a panel field";
    click(300, 300);
    EXPECT_EQ(low, before);

    // In a field being edited, Tab still ends the edit.
    const ImGuiStyle& style = ImGui::GetStyle();
    const int fieldX = width - SETTINGS_PANEL_WIDTH + static_cast<int>(style.WindowPadding.x) + 20;
    const int fieldY = static_cast<int>(style.WindowPadding.y + ImGui::GetFrameHeight() / 2.0f);
    click(fieldX, fieldY);
    EXPECT_TRUE(key('9'));
    EXPECT_TRUE(key('\t'));
    click(300, 300);
    EXPECT_EQ(low, 9.0f);
}
