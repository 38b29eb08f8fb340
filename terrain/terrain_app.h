#pragma once
// TerrainApp: glebora's single application record, its start-up, the frame loop, the radial
// menu and gesture handlers, the keys and the camera view. Everything runs on the GUI thread;
// the recogniser's worker only fills the recogniser's result queue, which the frame loop drains.
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
#include "common/tools/tool_dispatch.h"
#include "common/widgets/button.h"
#include "common/widgets/label.h"
#include "terrain/camera.h"
#include "terrain/radial_menu.h"
#include "terrain/terrain.h"
#include "terrain/terrain_image_cache.h"

class OrbitManipulator;
class TerraColorizer;

extern const char* const TERRAIN_WINDOW_TITLE;  // "*** GLEBORA ***"

// The tool list's indices; keys 1..8, gestures "0".."7" and menu buttons 1..8 select 1..8.
enum TerrainToolIndex {
    TERRAIN_TOOL_NULL = 0,
    TERRAIN_TOOL_ORBIT = 1,
    TERRAIN_TOOL_TERRA_BRUSH = 2,
    TERRAIN_TOOL_SMOOTH_BRUSH = 3,
    TERRAIN_TOOL_RANDOMIZE_BRUSH = 4,
    TERRAIN_TOOL_BULLDOZE_BRUSH = 5,
    TERRAIN_TOOL_DUMP_BRUSH = 6,
    TERRAIN_TOOL_COLORIZER = 7,
    TERRAIN_TOOL_COLORPICKER = 8,
    TERRAIN_TOOL_COUNT = 9
};

// Which file operation the in-window dialog was opened for.
enum class TerrainFileAction { NONE, LOAD_GESTURES, EXPORT_MAPS };

struct TerrainApp {
    WindowInfo window;  // shared by address with the pointers, the picker, the colourer, the camera
    int windowId = 0;
    std::unique_ptr<SensorInput> sensor;
    std::unique_ptr<GestureRecognizer> recognizer;
    std::unique_ptr<HandStateDetector> leftDetector, rightDetector;
    std::unique_ptr<HandPointer> leftPointer, rightPointer;
    Label messageLabel;
    std::vector<std::unique_ptr<Tool>> toolObjects;  // owns the nine tools
    ToolSelection tools;  // the list, currentTool (starts at TerraBrush), gestureArmed (false)
    std::unique_ptr<Camera> camera;
    OrbitManipulator* orbit = nullptr;     // tools[1]
    Tool* toolLastDispatched = nullptr;    // the tool the last frame gave input to, if it did
    TerraColorizer* colorizer = nullptr;   // tools[7]
    ArmPose pose{};                        // this frame's pose
    SkeletonRecord skeleton{};             // this frame's tracked-user record
    std::unique_ptr<Terrain> terrain;
    TerrainImageCache terrainImage;        // the terrain's picture while nothing about it changes
    Rgb currentColor = INITIAL_COLOR;      // written by the Colorpicker only
    uint32_t swatchFrame = 0;              // "../images/frame.png"
    RadialMenu menu;
    uint32_t cameraTexture = 0;            // 1024 x 1024; the 640 x 480 image in its corner
    bool cameraView = false;               // key d

    ButtonEvents buttonEvents;             // names of dwell-pressed buttons
    std::deque<std::string> handEvents;    // filled by the detectors; nothing consumes them
    uint32_t nowMs = 0;                    // the current frame's clock time
    // On a virtual clock each frame waits for the recogniser's worker, so that a scripted run
    // sees the same results on a busy machine as on an idle one.
    bool waitForRecognizer = false;

    FileDialog fileDialog;
    TerrainFileAction pendingFile = TerrainFileAction::NONE;
    // When set, key s exports to this base name without the dialog (scripted runs).
    std::string scriptedExportBase;
    // The last export's outcome. Exporting shows nothing in the window; the outcome goes to
    // the console and is kept here for scripts ("export" query).
    std::string lastExportMessage;
};

// Start-up after the GL window exists (its size already in app.window): sensor, recogniser,
// detectors, pointers, the optional gesture-set file, terrain, label, camera, tools, menu,
// camera texture, GL state, swatch frame. Takes ownership of the frame source.
void createTerrainApp(TerrainApp& app, std::unique_ptr<FrameSource> source,
                      const std::optional<std::string>& gestureSetFile, uint32_t nowMs);

// Reshape to a drawing area of width x height pixels (sizes below 1 count as 1).
void reshapeTerrainApp(TerrainApp& app, int width, int height);

// One frame at the clock's time `nowMs` (the display callback without the buffer swap).
void terrainFrame(TerrainApp& app, uint32_t nowMs);

// Keyboard: Esc ends the process; 1..8 select tools; d camera view; f full screen; l load
// gesture sets; n normals; s export. Special keys tilt the sensor (2, or 10 with Ctrl).
void terrainKeyboard(TerrainApp& app, unsigned char key);
void terrainSpecial(TerrainApp& app, int key, int modifiers);

// The window's key events, through ImGui first: while the file dialog is open every key goes
// to it; otherwise to the key table, unless an ImGui field still has the keyboard.
void terrainKeyEvent(TerrainApp& app, unsigned char key, int x, int y);
void terrainSpecialEvent(TerrainApp& app, int key, int x, int y, int modifiers);

// ImGui's frame, over the drawn window, with the file dialog while it is open. It runs every
// frame, not only while the dialog shows: ImGui decides who has the keyboard and the mouse
// only when a frame starts, and a dialog that closed would otherwise keep them for good.
void drawTerrainGui(TerrainApp& app);

// The two queue handlers.
void handleMenuButton(TerrainApp& app, const std::string& name);
void handleTerrainResult(TerrainApp& app, const std::string& name);

// Gesture sets: on success shows "Loaded N gesture sets from disk..."; a failure shows nothing.
bool loadTerrainGestureSets(TerrainApp& app, const std::string& path);
// Exports the maps to `base`; the outcome goes to the console and the "export" query, not the
// window. "" (cancel) does nothing. Returns whether all three files were written.
bool exportTerrainMaps(TerrainApp& app, const std::string& base);
// Called once the file dialog finished: loads or exports its result (empty = cancelled).
void finishTerrainFileDialog(TerrainApp& app);

// Scenario queries: "tool", "mode" (terrain or camera), "menu" (MenuClosed...), "armed",
// "message", "sets", "tilt", the colouring brush's "radius" and "opacity", the orbit's
// "azimuth" and "elevation", "colour" ("r g b", two decimals), "max_height", "cursor_height" (under
// the current brush's cursor), and "export" (the last export's outcome).
std::string terrainQuery(const TerrainApp& app, const std::string& what);
const char* terrainToolName(const TerrainApp& app, const Tool* tool);
const char* menuStateName(int state);
