#include "paint/paint_app.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/freeglut.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "common/app/input_chain.h"
#include "common/app/program_harness.h"
#include "common/tools/null_tool.h"
#include "common/widgets/hand_pointer_draw.h"
#include "common/widgets/pixel_overlay.h"
#include "common/widgets/texture.h"
#include "paint/brush_2d.h"
#include "paint/ink_2d.h"
#include "paint/manipulator_2d.h"
#include "paint/recognition_screen.h"
#include "paint/rubber_2d.h"
#include "paint/straight_line_2d.h"
#include "paint/stroke_eraser_2d.h"

const char* const PAINT_WINDOW_TITLE = "*** Gesture Recognition via MICROSOFT KINECT ***";

namespace {

constexpr uint8_t BUTTON_R = 0, BUTTON_G = 210, BUTTON_B = 255;
constexpr uint32_t CAPTURE_COUNTDOWN_MS = 4000;

// The training buttons in list order; the screen lays them out by this index.
const char* const TRAINING_BUTTON_ORDER[] = {
    "BUTTON_EXIT_GEST", "BUTTON_NEXT_GEST", "BUTTON_PREV_GEST", "BUTTON_REPLACE_GEST", "BUTTON_REMOVE_GEST",
    "BUTTON_NEW_GEST",  "BUTTON_NEW_SET",   "BUTTON_REMOVE_SET", "BUTTON_PREV_SET",    "BUTTON_NEXT_SET"};

// Creation order (which decides nothing but the texture names) with the icons.
const char* const TRAINING_BUTTON_ICONS[][2] = {
    {"BUTTON_NEW_GEST", "../images/add_button.png"},       {"BUTTON_REMOVE_GEST", "../images/remove_button.png"},
    {"BUTTON_REPLACE_GEST", "../images/replace_button.png"}, {"BUTTON_PREV_GEST", "../images/prev_button.png"},
    {"BUTTON_NEXT_GEST", "../images/next_button.png"},     {"BUTTON_EXIT_GEST", "../images/exit_button.png"},
    {"BUTTON_NEW_SET", "../images/new_button.png"},        {"BUTTON_REMOVE_SET", "../images/remove_button.png"},
    {"BUTTON_PREV_SET", "../images/prev2_button.png"},     {"BUTTON_NEXT_SET", "../images/next2_button.png"}};

void enableButton(Button& button) {
    button.disableAfterPress = false;
    button.state = ButtonIdle;
    button.visible = true;
}

// A pressed button finishes its flash first, then disables itself.
void switchOffButton(Button& button) {
    if (button.state == ButtonPressed) {
        button.disableAfterPress = true;
    } else {
        button.state = ButtonDisabled;
    }
}

Button* findIn(ButtonList& list, const char* name) {
    int index = findButton(list, name);
    return index < 0 ? nullptr : &list[index];
}

void enableNamed(ButtonList& list, const char* name) {
    if (Button* b = findIn(list, name)) enableButton(*b);
}

void showCountMessage(PaintApp& app, const char* verb, const char* tail) {
    showMessage(app.messageLabel, std::string(verb) + std::to_string(app.recognizer->setCount()) + tail);
    rebuildLabel(app.messageLabel, app.nowMs);
}

GLUquadric* sharedQuadric() {
    static GLUquadric* quadric = gluNewQuadric();
    return quadric;
}

void drawStickFigure(const SkeletonRecord& skeleton) {
    static const int strips[5][5] = {
        {0, 1, 2, 3, -1}, {2, 4, 5, 6, 7}, {2, 8, 9, 10, 11}, {0, 12, 13, 14, 15}, {0, 16, 17, 18, 19}};
    glDisable(GL_DEPTH_TEST);
    glPushMatrix();
    glColor4ub(0, 170, 200, 255);
    glLineWidth(10.0f);
    for (const auto& strip : strips) {
        glBegin(GL_LINE_STRIP);
        for (int j : strip) {
            if (j < 0) break;
            const Vector4& p = skeleton.joints[j];
            glVertex3f(p.x, p.y, p.z);
        }
        glEnd();
    }
    glColor4ub(0, 104, 170, 255);
    for (int j = 0; j < JOINT_COUNT; ++j) {
        const Vector4& p = skeleton.joints[j];
        glPushMatrix();
        glTranslatef(p.x, p.y, p.z);
        gluSphere(sharedQuadric(), 0.04, 16, 16);
        glPopMatrix();
    }
    glPopMatrix();
    glEnable(GL_DEPTH_TEST);
}

}  // namespace

const HandPointer* dwellPointer(const PaintApp& app) {
    if (app.rightPointer->engaged()) return app.rightPointer.get();
    if (app.leftPointer->engaged()) return app.leftPointer.get();
    return nullptr;
}

bool paintRecognitionEnabled(const PaintApp& app, uint32_t nowMs) {
    return app.tools.gestureArmed && !countdownRunning(app.countdown, nowMs);
}

void createPaintApp(PaintApp& app, std::unique_ptr<FrameSource> source,
                    const std::optional<std::string>& gestureSetFile, uint32_t nowMs) {
    app.nowMs = nowMs;
    app.window.title = PAINT_WINDOW_TITLE;

    createInputChain(app, std::move(source), gestureSetFile);

    app.gestureLabel = createLabel();
    app.messageLabel = createLabel();
    app.messageLabel.duration = 1500;
    app.messageLabel.fade = 500;
    app.messageLabel.x = 0;
    app.messageLabel.y = 0;
    app.messageLabel.colour = {{0, 0, 0, 255}};

    app.countdown = Countdown();
    app.digitTextures = loadDigitTextures();

    float width = static_cast<float>(app.window.width), height = static_cast<float>(app.window.height);
    Button training = createButton("BUTTON_TRAINING", 0.75f * width, 0.75f * height, 64.0f, BUTTON_R, BUTTON_G,
                                   BUTTON_B, "../images/train_button.png");
    training.visible = true;
    training.state = ButtonIdle;
    training.disableAfterPress = false;
    app.recognitionButtons.push_back(training);
    std::map<std::string, Button> made;
    for (const auto& entry : TRAINING_BUTTON_ICONS) {
        made[entry[0]] = createButton(entry[0], 0.0f, 0.0f, 32.0f, BUTTON_R, BUTTON_G, BUTTON_B, entry[1]);
    }
    for (const char* name : TRAINING_BUTTON_ORDER) app.trainingButtons.push_back(made[name]);

    app.cameraTexture = createCameraTexture();
    app.trainingBackground = loadTexture("../images/training_bg.png", TEXTURE_MIPMAPS);

    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, 0, static_cast<GLsizei>(app.window.width), static_cast<GLsizei>(app.window.height));
    gluPerspective(45.0, app.window.aspect, 0.1, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 0, 5, 0, 0, 0, 0, 1, 0);
    glClearColor(1, 1, 1, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHT0);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);

    app.velocityReadout = 0.0f;

    // Tools, in construction order; the manipulator before the tools that keep it.
    auto nullTool = std::make_unique<NullTool>();
    auto colorpicker = std::make_unique<Colorpicker>(app.currentColor, app.window);
    auto manipulator = std::make_unique<Manipulator2D>(*app.leftPointer, *app.rightPointer);
    auto brush = std::make_unique<Brush2D>(*app.rightPointer, app.canvas, *manipulator, app.currentColor, app.history);
    auto line = std::make_unique<StraightLine2D>(*app.rightPointer, app.canvas, *manipulator, app.currentColor,
                                                 app.history);
    auto ink = std::make_unique<Ink2D>(app.canvas, app.pickedStrokeId, app.currentColor, app.history);
    auto trash = std::make_unique<StrokeEraser2D>(app.canvas, app.pickedStrokeId, app.history);
    auto rubber = std::make_unique<Rubber2D>(*app.rightPointer, *manipulator, app.canvas, app.pickedStrokeId,
                                             app.history);
    app.manipulator = manipulator.get();
    app.tools.tools = {nullTool.get(), manipulator.get(), colorpicker.get(), brush.get(),
                       line.get(),     ink.get(),         rubber.get(),      trash.get()};
    app.tools.currentTool = app.tools.tools[TOOL_BRUSH];
    app.tools.gestureArmed = true;
    app.toolObjects.push_back(std::move(nullTool));
    app.toolObjects.push_back(std::move(colorpicker));
    app.toolObjects.push_back(std::move(manipulator));
    app.toolObjects.push_back(std::move(brush));
    app.toolObjects.push_back(std::move(line));
    app.toolObjects.push_back(std::move(ink));
    app.toolObjects.push_back(std::move(trash));
    app.toolObjects.push_back(std::move(rubber));

    app.canvasFrame = loadTexture("../images/frame.png", TEXTURE_MIPMAPS);
}

void reshapePaintApp(PaintApp& app, int width, int height) {
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    app.window.width = static_cast<uint32_t>(width);
    app.window.height = static_cast<uint32_t>(height);
    app.window.aspect = static_cast<float>(width) / static_cast<float>(height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glViewport(0, 0, width, height);
    gluPerspective(45.0, app.window.aspect, 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    if (Button* training = findIn(app.recognitionButtons, "BUTTON_TRAINING")) {
        training->x = 1.2f * training->size;
        training->y = static_cast<float>(height) - 1.2f * training->size;
    }
}

namespace {
void runPaintFrameInput(PaintApp& app, uint32_t nowMs);
void drawPaintFrame(PaintApp& app, uint32_t nowMs, bool held);
}  // namespace

void paintFrame(PaintApp& app, uint32_t nowMs) {
    app.nowMs = nowMs;
    // The file dialog stands in for the system's modal one, under which the program stood still
    // until it closed. While it is open only the last picture is drawn again: no sensor frame,
    // gesture, grip or dwell acts behind the dialog while the user types. What was queued
    // before it opened is handled in the first frame after it closes. The world in front of the
    // camera goes on meanwhile (the performer's and a recording's time, which scripts wait on),
    // and a recording being made keeps it.
    const bool held = app.fileDialog.active;
    if (held) {
        app.sensor->passHeldFrame(nowMs);
        pauseToolInput(app.tools, app.toolLastDispatched, app.pose);
        app.toolLastDispatched = nullptr;
        for (ButtonList* buttons : {&app.recognitionButtons, &app.trainingButtons}) cancelDwell(*buttons);
    } else {
        runPaintFrameInput(app, nowMs);
    }
    drawPaintFrame(app, nowMs, held);
}

namespace {

// Steps 1 to 13: the queues, the sensor, the recogniser, the hands and the tools.
void runPaintFrameInput(PaintApp& app, uint32_t nowMs) {
    GestureRecognizer& recognizer = *app.recognizer;
    Tool* const lastDispatched = app.toolLastDispatched;
    app.toolLastDispatched = nullptr;  // until this frame gives a tool its input

    // 1-3: the queues filled during the previous frame.
    while (!app.buttonEvents.empty()) {
        std::string name = std::move(app.buttonEvents.front());
        app.buttonEvents.pop_front();
        handleButton(app, name);
    }
    app.handEvents.clear();  // nothing in this program consumes hand events
    while (recognizer.hasResults()) handleResult(app, recognizer.popResult());

    // 4: the sensor.
    app.sensor->advance(nowMs);
    app.sensor->fetchSkeleton();
    app.sensor->fetchColour();
    app.sensor->fetchDepth();

    // 5-7: the recogniser.
    bool recognitionEnabled = paintRecognitionEnabled(app, nowMs);
    app.pose = recognizer.processFrame(app.sensor->skeleton, recognitionEnabled, nowMs);
    if (app.waitForRecognizer) recognizer.waitForWorker();
    app.velocityReadout = recognizer.currentVelocity;

    // 8-10: detectors, pointers, tool input.
    if (updateHands(app, nowMs)) {
        for (ButtonList* buttons : {&app.recognitionButtons, &app.trainingButtons}) cancelDwell(*buttons);
    }
    if (app.mode == ModePainting) {
        // The manipulator moves the view by how the hands moved since its last reference. Picked
        // (or shown the canvas again) while both hands grip, it would throw the view by all they
        // did since it last had input (zooming some hundred times at its first use), so it
        // starts from here.
        if (app.tools.currentTool == app.manipulator && lastDispatched != app.manipulator) {
            app.manipulator->takeReference();
        }
        app.toolLastDispatched = app.tools.currentTool;
        dispatchToolInput(app.tools, app.pose, *app.leftPointer, *app.leftDetector, *app.rightPointer,
                          *app.rightDetector);
    }

    // 11-13: the camera texture.
    HandImage leftImage{app.leftDetector->image.data(), app.leftDetector->imageWidth, app.leftDetector->imageHeight};
    HandImage rightImage{app.rightDetector->image.data(), app.rightDetector->imageWidth,
                         app.rightDetector->imageHeight};
    updateCameraTexture(app.cameraTexture, app.sensor->depthView.data(), app.sensor->skeleton, leftImage, rightImage);
}

// Steps 14 to 23: the picture; the dwell buttons are tested only when the frame is not held.
void drawPaintFrame(PaintApp& app, uint32_t nowMs, bool held) {
    GestureRecognizer& recognizer = *app.recognizer;

    // 14-17: the screens.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    int width = static_cast<int>(app.window.width), height = static_cast<int>(app.window.height);
    if (app.mode == ModeRecognition) {
        drawCameraView(app.cameraTexture, app.window.aspect, 0.5f);
        recognizer.speedGraph(app.speedSamples);
        drawSpeedGraph(app.speedSamples.data(), static_cast<int>(app.speedSamples.size()),
                       recognizer.velocityLowThreshold, recognizer.velocityHighThreshold, width, height);
        const HandStateDetector& right = *app.rightDetector;
        ContourGraph contour;
        contour.radii = right.profile.data();
        contour.count = static_cast<int>(right.profile.size());
        contour.meanRadius = right.meanRadius;
        contour.peaks = right.peaks.data();
        contour.peakCount = static_cast<int>(right.peaks.size());
        contour.neighbourhood = right.neighbourhood;
        drawContourGraph(contour, width, height);
    }
    if (app.mode == ModeTraining) drawTrainingScreen(app, app.sensor->skeleton, !held);
    if (countdownRunning(app.countdown, nowMs)) {
        drawCountdown(app.countdown, app.digitTextures, app.window.aspect, nowMs);
    }

    // 18-22: the window-pixel overlay.
    beginPixelOverlay(width, height);
    if (app.mode == ModePainting) {
        drawCanvas(app.canvas, app.manipulator->view, app.rightPointer->screenPosition(), app.pickedStrokeId,
                   app.tools.currentTool, app.canvasFrame, app.currentColor, app.window, &app.canvasImage);
        app.tools.currentTool->drawOverlay();
        // The colour picker's overlay switches the depth test back on; the pointers, drawn next
        // in one plane, would then cut each other (and a closed hand its own middle).
        glDisable(GL_DEPTH_TEST);
    }
    if (app.mode == ModeRecognition) {
        for (const Button& button : app.recognitionButtons) drawButton(button, nowMs);
    }
    drawHandPointer(*app.leftPointer, app.leftDetector->closed());
    drawHandPointer(*app.rightPointer, app.rightDetector->closed());
    if (app.mode == ModeRecognition && !held) {
        if (const HandPointer* pointer = dwellPointer(app)) {
            ScreenPoint p = pointer->screenPosition();
            updateButtons(app.recognitionButtons, p.x, p.y, nowMs, app.buttonEvents);
        }
    }
    drawLabel(app.messageLabel, nowMs);

    // 23: restore (the caller swaps the buffers).
    endPixelOverlay();
}

}  // namespace

// ---- Training screen ----

namespace {

// Drops a training capture that is still waiting for its movement, with its countdown.
void dropWaitingCapture(PaintApp& app) {
    if (!app.recognizer->trainingPending) return;
    app.recognizer->cancelTraining();
    app.countdown = Countdown();
}

}  // namespace

void refreshTrainingButtons(PaintApp& app) {
    for (Button& button : app.trainingButtons) {
        updateButton(button, 0.0f, 0.0f, app.nowMs, app.buttonEvents);
        button.visible = true;
        switchOffButton(button);
    }
    enableNamed(app.trainingButtons, "BUTTON_NEW_SET");
    if (app.recognizer->setCount() > 0) {
        for (const char* name : {"BUTTON_REMOVE_SET", "BUTTON_PREV_SET", "BUTTON_NEXT_SET", "BUTTON_NEW_GEST",
                                 "BUTTON_REMOVE_GEST", "BUTTON_REPLACE_GEST", "BUTTON_PREV_GEST", "BUTTON_NEXT_GEST"}) {
            enableNamed(app.trainingButtons, name);
        }
    }
    enableNamed(app.trainingButtons, "BUTTON_EXIT_GEST");
}

void updateGestureLabel(PaintApp& app) {
    const GestureRecognizer& r = *app.recognizer;
    if (r.setCount() == 0) return;  // the label keeps its last text
    Label& label = app.gestureLabel;
    label.text = "Gesture Set: " + std::to_string(r.currentSetIndex + 1) + " / " + std::to_string(r.setCount()) +
                 " - Gesture: " + std::to_string(r.currentGestureIndex + 1) + " / " +
                 std::to_string(r.gestureCount()) + " - " + gestureTypeName(r.currentSetType());
    label.height = 24;
    label.withBox = false;
    label.spacing = 0;
    label.colour = {{0, 0, 0, 255}};
    label.duration = LABEL_ALWAYS_VISIBLE;
    label.fade = 500;
    rebuildLabel(label, app.nowMs);
}

void handleButton(PaintApp& app, const std::string& name) {
    GestureRecognizer& r = *app.recognizer;
    if (name == "BUTTON_TRAINING") {
        app.mode = ModeTraining;
        if (Button* training = findIn(app.recognitionButtons, "BUTTON_TRAINING")) {
            training->visible = false;
            switchOffButton(*training);
        }
        refreshTrainingButtons(app);
        updateGestureLabel(app);
    } else if (name == "BUTTON_NEW_SET" || name == "BUTTON_NEW_GEST" || name == "BUTTON_REPLACE_GEST") {
        r.requestTraining(name == "BUTTON_NEW_SET", name == "BUTTON_REPLACE_GEST");
        for (Button& button : app.trainingButtons) switchOffButton(button);
        app.countdown.start = app.nowMs;
        app.countdown.duration = CAPTURE_COUNTDOWN_MS;
        app.tools.gestureArmed = true;
    } else if (name == "BUTTON_REMOVE_SET") {
        if (r.removeCurrentSet() == -1) refreshTrainingButtons(app);
        updateGestureLabel(app);
        showMessage(app.messageLabel, "Gesture Set removed!");
        rebuildLabel(app.messageLabel, app.nowMs);
    } else if (name == "BUTTON_PREV_SET" || name == "BUTTON_NEXT_SET") {
        if (r.setCount() > 0) {
            if (name == "BUTTON_PREV_SET") {
                r.previousSet();
            } else {
                r.nextSet();
            }
        }
        updateGestureLabel(app);
    } else if (name == "BUTTON_PREV_GEST" || name == "BUTTON_NEXT_GEST") {
        if (r.gestureCount() > 0) {
            if (name == "BUTTON_PREV_GEST") {
                r.previousGesture();
            } else {
                r.nextGesture();
            }
        }
        updateGestureLabel(app);
    } else if (name == "BUTTON_REMOVE_GEST") {
        if (r.removeCurrentGesture() == -1) refreshTrainingButtons(app);
        updateGestureLabel(app);
        showMessage(app.messageLabel, "Gesture removed!");
        rebuildLabel(app.messageLabel, app.nowMs);
    } else if (name == "BUTTON_EXIT_GEST") {
        // A capture still waiting is dropped: it would store the next arm movement made on the
        // other screens as an example, unseen.
        dropWaitingCapture(app);
        app.mode = ModeRecognition;
        for (Button& button : app.trainingButtons) {
            button.visible = false;
            switchOffButton(button);
        }
        enableNamed(app.recognitionButtons, "BUTTON_TRAINING");
    }
}

std::string resultMessage(const std::string& text) {
    if (text == "DEFAULT_GESTURE") return "Default Gesture recognized";
    // The text read as a decimal integer; 0 when it does not start with digits.
    long long value = 0;
    size_t i = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 1000000000LL) {
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    return "Gesture " + std::to_string(value + 1) + " recognized";
}

void handleResult(PaintApp& app, const std::string& text) {
    if (!app.tools.gestureArmed) {
        if (text == "DEFAULT_GESTURE") {
            app.tools.currentTool = app.tools.tools[TOOL_NULL];
            app.tools.gestureArmed = true;
        }
        return;
    }
    Label& message = app.messageLabel;
    message.text = resultMessage(text);
    message.withBox = true;
    message.height = 30;
    message.spacing = 5;
    if (text == "GESTURE_NOT_TRAINED") {
        refreshTrainingButtons(app);
        showMessage(message, "Error! Gesture not trained!");
        updateGestureLabel(app);
    }
    if (text == "GESTURE_TRAINED") {
        refreshTrainingButtons(app);
        showMessage(message, "Success! Gesture trained!");
        updateGestureLabel(app);
    }
    rebuildLabel(message, app.nowMs);
    handleToolGesture(app.tools, app.history, text, app.mode == ModePainting);
}

void drawTrainingScreen(PaintApp& app, const SkeletonRecord& skeleton, bool animate) {
    float W = static_cast<float>(app.window.width), H = static_cast<float>(app.window.height);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, W, 0, H, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    // Background and outline.
    glEnable(GL_TEXTURE_2D);
    glColor4ub(240, 255, 255, 255);
    glBindTexture(GL_TEXTURE_2D, app.trainingBackground);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex2f(0.05f * W, 0.05f * H);
    glTexCoord2f(1, 1);
    glVertex2f(0.95f * W, 0.05f * H);
    glTexCoord2f(1, 0);
    glVertex2f(0.95f * W, 0.95f * H);
    glTexCoord2f(0, 0);
    glVertex2f(0.05f * W, 0.95f * H);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glColor4ub(0, 0, 0, 255);
    glLineWidth(2.0f);
    glBegin(GL_LINE_STRIP);
    glVertex2f(0.05f * W, 0.05f * H);
    glVertex2f(0.95f * W, 0.05f * H);
    glVertex2f(0.95f * W, 0.95f * H);
    glVertex2f(0.05f * W, 0.95f * H);
    glVertex2f(0.05f * W, 0.05f * H);
    glEnd();

    // Layout: right group from the right edge inward, left group from the left edge.
    ButtonList& buttons = app.trainingButtons;
    float S = 1.2f * buttons[0].size;
    for (size_t i = 0; i < buttons.size(); ++i) {
        buttons[i].y = 0.95f * H - S;
        if (i < 6) {
            buttons[i].x = 0.95f * W - (2.0f * static_cast<float>(i) + 1.0f) * S;
        } else {
            buttons[i].x = 0.05f * W + (2.0f * static_cast<float>(i - 6) + 1.0f) * S;
        }
    }
    const HandPointer* pointer = dwellPointer(app);
    if (pointer != nullptr && !app.fileDialog.active) {  // nothing is pressed behind the dialog
        ScreenPoint p = pointer->screenPosition();
        updateButtons(buttons, p.x, p.y, app.nowMs, app.buttonEvents);
    }
    for (const Button& button : buttons) drawButton(button, app.nowMs);

    // The live figure while capturing, else the replay of the current stored gesture.
    glPushMatrix();
    glTranslatef(W / 2.0f, H / 2.0f, 0.0f);
    glScalef(300.0f, 300.0f, 300.0f);
    GestureRecognizer& r = *app.recognizer;
    if (r.trainingPending) {
        drawStickFigure(skeleton);
    } else if (r.setCount() > 0 && r.gestureCount() > 0) {
        Gesture& gesture = r.TrainedGestureSets[r.currentSetIndex].gestures[r.currentGestureIndex];
        size_t m = gesture.skeletons.size();
        if (m > 0) {  // a gesture from a hand-made file may hold no records: no figure then
            size_t c = gesture.replayCounter % m;
            drawStickFigure(gesture.skeletons[c]);
            if (animate) gesture.replayCounter = static_cast<uint32_t>(c + 1);
        }
    }
    glPopMatrix();

    app.gestureLabel.x = static_cast<uint32_t>(0.06f * W);
    app.gestureLabel.y = static_cast<uint32_t>(0.06f * H);
    drawLabel(app.gestureLabel, app.nowMs);

    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
}

// ---- Keys and gesture-set files ----

// A cancelled dialog gives an empty path; the recogniser refuses it with its own console line.
bool loadPaintGestureSets(PaintApp& app, const std::string& path) {
    if (!app.recognizer->loadGestureSets(path)) return false;
    // A capture begun before the load was meant for a set that is gone; kept, it would land in
    // whichever set of the file comes first, and the buttons the load switches back on would let
    // the user leave with it still waiting.
    dropWaitingCapture(app);
    showCountMessage(app, "Loaded ", " gesture sets from disk...");
    refreshTrainingButtons(app);
    // A load on the training screen replaces the sets it is showing; without this its label
    // would go on naming the counts of the sets that are gone. A file of no sets leaves nothing
    // to name.
    if (app.recognizer->setCount() == 0) {
        app.gestureLabel.text.clear();
        rebuildLabel(app.gestureLabel, app.nowMs);
    }
    updateGestureLabel(app);
    return true;
}

bool savePaintGestureSets(PaintApp& app, const std::string& path) {
    if (!app.recognizer->saveGestureSets(path)) return false;
    showCountMessage(app, "Saved ", " gesture sets to disk...");
    return true;
}

void finishPaintFileDialog(PaintApp& app) {
    if (!app.fileDialog.finished) return;
    PendingFileAction action = app.pendingFile;
    app.pendingFile = PendingFileAction::NONE;
    app.fileDialog.finished = false;
    if (action == PendingFileAction::LOAD) {
        loadPaintGestureSets(app, app.fileDialog.result);
    } else if (action == PendingFileAction::SAVE) {
        savePaintGestureSets(app, app.fileDialog.result);
    }
}

void paintKeyboard(PaintApp& app, unsigned char key) {
    switch (key) {
        case 27:
            endProgramNow(0);
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
            selectTool(app.tools, key - '0');
            break;
        case '8':
            app.history.undoLast();
            break;
        case '9':
            app.history.redoLast();
            break;
        case 'l':
            if (!app.fileDialog.active) {
                openFileDialog(app.fileDialog, FileDialogMode::OPEN, "Open gesture sets", "*.bin");
                app.pendingFile = PendingFileAction::LOAD;
            }
            break;
        case 's':
            if (!app.fileDialog.active) {
                openFileDialog(app.fileDialog, FileDialogMode::SAVE, "Save gesture sets", ".bin");
                app.pendingFile = PendingFileAction::SAVE;
            }
            break;
        case 'p':
            // Leaving the training screen by key leaves it as its exit button does: otherwise the
            // recognition screen came back later without its training button, for good.
            if (app.mode == ModeTraining) {
                handleButton(app, "BUTTON_EXIT_GEST");
            }
            app.mode = app.mode != ModePainting ? ModePainting : ModeRecognition;
            break;
        default:
            break;
    }
}

void paintSpecial(PaintApp& app, int key, int modifiers) {
    // Ctrl alone means without Shift or Alt. Super is left out: freeglut reports a locked Num
    // Lock as Super, and with it Ctrl+Up would never take the large step.
    const int held = modifiers & (GLUT_ACTIVE_SHIFT | GLUT_ACTIVE_CTRL | GLUT_ACTIVE_ALT);
    int step = held == GLUT_ACTIVE_CTRL ? 10 : 2;
    if (key == GLUT_KEY_UP) {
        // positive
    } else if (key == GLUT_KEY_DOWN) {
        step = -step;
    } else {
        step = 0;
    }
    app.sensor->setTiltAngle(app.sensor->tiltAngle() + step);
}

// ---- Scenario queries ----

const char* paintModeName(int mode) {
    switch (mode) {
        case ModeRecognition:
            return "recognition";
        case ModeTraining:
            return "training";
        case ModePainting:
            return "painting";
        default:
            return "unknown";
    }
}

const char* paintToolName(const PaintApp& app, const Tool* tool) {
    static const char* const names[PAINT_TOOL_COUNT] = {"NullTool", "Manipulator2D", "Colorpicker", "Brush2D",
                                                        "StraightLine2D", "Ink2D", "Rubber2D", "StrokeEraser2D"};
    for (size_t i = 0; i < app.tools.tools.size() && i < PAINT_TOOL_COUNT; ++i) {
        if (app.tools.tools[i] == tool) return names[i];
    }
    return "none";
}

std::string paintQuery(const PaintApp& app, const std::string& what) {
    if (what == "tool") return paintToolName(app, app.tools.currentTool);
    if (what == "mode") return paintModeName(app.mode);
    if (what == "message") return app.messageLabel.text;
    if (what == "sets") return std::to_string(app.recognizer->setCount());
    if (what == "gestures") {
        int total = 0;
        for (const GestureSet& set : app.recognizer->TrainedGestureSets) total += static_cast<int>(set.gestures.size());
        return std::to_string(total);
    }
    if (what == "strokes") {
        // Strokes with points: the empty open stroke the tools keep ready does not count.
        int count = 0;
        for (const Stroke& s : app.canvas.strokes) count += s.points.empty() ? 0 : 1;
        return std::to_string(count);
    }
    if (what == "armed") return app.tools.gestureArmed ? "true" : "false";
    if (what == "tilt") return std::to_string(app.sensor->tiltAngle());
    if (what == "colour") {
        // The painting colour as three bytes, as the strokes will be drawn.
        std::string text;
        for (float c : app.currentColor) {
            int byte = static_cast<int>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f));
            text += (text.empty() ? "" : " ") + std::to_string(byte);
        }
        return text;
    }
    if (what == "stroke_colours") {
        // Distinct colours among the strokes with points: a fill shows as a new one.
        std::vector<std::array<float, 3>> seen;
        for (const Stroke& s : app.canvas.strokes) {
            if (!s.points.empty() && std::find(seen.begin(), seen.end(), s.colour) == seen.end()) {
                seen.push_back(s.colour);
            }
        }
        return std::to_string(seen.size());
    }
    return "";
}
