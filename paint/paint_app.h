#pragma once
// PaintApp: the painting program's single application record, its start-up, the frame loop and
// the handlers of its three screens. Everything runs on the GUI thread; the recogniser's worker
// only fills the recogniser's result queue, which the frame loop drains.
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/app/file_dialog.h"
#include "common/gesture/gesture_recognizer.h"
#include "common/sensor/hand_pointer.h"
#include "common/sensor/hand_state_detector.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/window_info.h"
#include "common/tools/colorpicker.h"
#include "common/tools/edit_history.h"
#include "common/tools/tool_dispatch.h"
#include "common/widgets/button.h"
#include "common/widgets/label.h"
#include "paint/canvas.h"
#include "paint/canvas_image_cache.h"

class Manipulator2D;

enum PaintMode { ModeRecognition = 0, ModeTraining = 1, ModePainting = 2 };

extern const char* const PAINT_WINDOW_TITLE;

// The tool list's indices.
enum PaintToolIndex {
    TOOL_NULL = 0,
    TOOL_MANIPULATOR = 1,
    TOOL_COLORPICKER = 2,
    TOOL_BRUSH = 3,
    TOOL_STRAIGHT_LINE = 4,
    TOOL_INK = 5,
    TOOL_RUBBER = 6,
    TOOL_STROKE_ERASER = 7,
    PAINT_TOOL_COUNT = 8
};

// Which file operation the in-window dialog was opened for.
enum class PendingFileAction { NONE, LOAD, SAVE };

struct PaintApp {
    WindowInfo window;  // shared by address with the pointers and the colour picker
    int windowId = 0;
    std::unique_ptr<SensorInput> sensor;
    std::unique_ptr<GestureRecognizer> recognizer;
    std::unique_ptr<HandStateDetector> leftDetector, rightDetector;
    std::unique_ptr<HandPointer> leftPointer, rightPointer;
    Label gestureLabel;
    Label messageLabel;
    Countdown countdown;
    DigitTextures digitTextures{};
    ButtonList recognitionButtons;  // only BUTTON_TRAINING
    ButtonList trainingButtons;     // fixed order, see TRAINING_BUTTON_ORDER
    uint32_t cameraTexture = 0;
    uint32_t trainingBackground = 0;
    uint32_t canvasFrame = 0;

    // Painting state shared by the tools (they keep references from construction on).
    Canvas canvas;
    Rgb currentColor = INITIAL_COLOR;
    int32_t pickedStrokeId = -1;
    CanvasImageCache canvasImage;  // the finished strokes' picture, copied instead of redrawn
    EditHistory history;
    std::vector<std::unique_ptr<Tool>> toolObjects;  // owns the eight tools
    ToolSelection tools;  // the list, currentTool and gestureArmed (true at start)
    Manipulator2D* manipulator = nullptr;  // tools[1]; holds the canvas view
    Tool* toolLastDispatched = nullptr;    // the tool the last frame gave input to, if it did

    ArmPose pose{};             // this frame's pose; the settings panel shows its first values
    float velocityReadout = 0.0f;
    int mode = ModeRecognition;

    ButtonEvents buttonEvents;           // names of dwell-pressed buttons
    std::deque<std::string> handEvents;  // "LEFT_HAND_CLOSED" and the like

    uint32_t nowMs = 0;  // the current frame's clock time
    // On a virtual clock each frame waits for the recogniser's worker, so that a scripted run
    // sees the same results on a busy machine as on an idle one.
    bool waitForRecognizer = false;

    FileDialog fileDialog;
    PendingFileAction pendingFile = PendingFileAction::NONE;

    // Reused every frame so drawing the speed graph allocates nothing.
    std::array<SpeedSample, HISTORY_LENGTH> speedSamples{};
};

// Start-up after the GL window exists (its size already in app.window): sensor, recogniser,
// detectors, pointers, the optional gesture-set file, labels, countdown, buttons, textures, GL
// state, tools. Takes ownership of the frame source.
void createPaintApp(PaintApp& app, std::unique_ptr<FrameSource> source,
                    const std::optional<std::string>& gestureSetFile, uint32_t nowMs);

// Reshape: the drawing area left beside the settings panel is width x height pixels.
void reshapePaintApp(PaintApp& app, int width, int height);

// One frame at the clock's time `nowMs` (the display callback without the buffer swap).
void paintFrame(PaintApp& app, uint32_t nowMs);

// The recogniser classifies full gestures only while armed and no capture countdown runs.
bool paintRecognitionEnabled(const PaintApp& app, uint32_t nowMs);

// The pointer that drives the dwell buttons: the right one if engaged, else the left one, else
// none. With both engaged only the right one presses.
const HandPointer* dwellPointer(const PaintApp& app);

// Keyboard: only the low 8 bits of the key matter; letters in lower case only.
void paintKeyboard(PaintApp& app, unsigned char key);
// Special keys (GLUT codes) with glutGetModifiers' bits: tilt by 2, or 10 with Ctrl alone.
void paintSpecial(PaintApp& app, int key, int modifiers);

// Gesture-set files: show the count on the message label on success, refresh the training
// buttons after a load. An empty path fails.
bool loadPaintGestureSets(PaintApp& app, const std::string& path);
bool savePaintGestureSets(PaintApp& app, const std::string& path);
// Called once the file dialog finished: loads or saves its result (empty = cancelled).
void finishPaintFileDialog(PaintApp& app);

// The training screen and the two queue handlers.
void handleButton(PaintApp& app, const std::string& name);
void handleResult(PaintApp& app, const std::string& text);
void refreshTrainingButtons(PaintApp& app);
void updateGestureLabel(PaintApp& app);
// `animate` false (a frame held behind the file dialog) draws the replay without moving it on.
void drawTrainingScreen(PaintApp& app, const SkeletonRecord& skeleton, bool animate = true);

// The message for a result text: "Default Gesture recognized" or "Gesture N recognized".
std::string resultMessage(const std::string& text);

// Scenario queries: "tool", "mode", "message", "sets", "gestures", "strokes", "armed", "tilt",
// "colour" (the painting colour as three bytes) and "stroke_colours" (distinct colours among
// the strokes with points).
std::string paintQuery(const PaintApp& app, const std::string& what);
const char* paintToolName(const PaintApp& app, const Tool* tool);
const char* paintModeName(int mode);
