#include "terrain/terrain_app.h"

#include <GL/gl.h>
#include <GL/freeglut.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "common/app/gui_glue.h"
#include "common/app/input_chain.h"
#include "common/app/program_harness.h"
#include "common/tools/null_tool.h"
#include "common/widgets/camera_texture.h"
#include "common/widgets/hand_pointer_draw.h"
#include "common/widgets/pixel_overlay.h"
#include "common/widgets/texture.h"
#include "terrain/export_maps.h"
#include "terrain/orbit_manipulator.h"
#include "terrain/terra_colorizer.h"
#include "terrain/terrain_brushes.h"

const char* const TERRAIN_WINDOW_TITLE = "*** GLEBORA ***";

namespace {

void loadCameraMatrices(const Camera& camera) {
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(camera.projection.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(camera.view.data());
}

// The camera image, 4 : 3, centred across the window's full height.
void drawCameraView(const TerrainApp& app) {
    updateCameraTexture(app.cameraTexture, app.sensor->depthView.data(), app.skeleton);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, app.cameraTexture);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const float s = (1.0f - 1.333f / app.window.aspect) / 2.0f;
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.46875f);
    glVertex2f(s, 0.0f);
    glTexCoord2f(0.625f, 0.46875f);
    glVertex2f(1.0f - s, 0.0f);
    glTexCoord2f(0.625f, 0.0f);
    glVertex2f(1.0f - s, 1.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(s, 1.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

// A 128 x 128 square with its lower-left corner at (x, y), first texture row at the top.
void drawCornerSquare(float x, float y, uint32_t texture) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(x, y);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(x + 128.0f, y);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(x + 128.0f, y + 128.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(x, y + 128.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);
}

void showAndRebuild(TerrainApp& app, const std::string& text) {
    showMessage(app.messageLabel, text);
    rebuildLabel(app.messageLabel, app.nowMs);
}

}  // namespace

void createTerrainApp(TerrainApp& app, std::unique_ptr<FrameSource> source,
                      const std::optional<std::string>& gestureSetFile, uint32_t nowMs) {
    app.nowMs = nowMs;
    app.window.title = TERRAIN_WINDOW_TITLE;
    app.tools.gestureArmed = false;

    createInputChain(app, std::move(source), gestureSetFile);

    app.terrain = std::make_unique<Terrain>();
    app.terrain->initGraphics();
    app.messageLabel = createLabel();
    app.messageLabel.x = 0;
    app.messageLabel.y = 0;
    app.messageLabel.colour = {{0, 0, 0, 255}};
    app.messageLabel.duration = 1500;
    app.messageLabel.fade = 500;

    // Tools, in construction order; the list in index order.
    auto nullTool = std::make_unique<NullTool>();
    app.camera = std::make_unique<Camera>(&app.window);
    auto orbit = std::make_unique<OrbitManipulator>(*app.camera);
    auto picker = std::make_unique<Colorpicker>(app.currentColor, app.window);
    Terrain& terrain = *app.terrain;
    const HandPointer& right = *app.rightPointer;
    auto terra = std::make_unique<TerraBrush>(right, terrain);
    auto smooth = std::make_unique<SmoothBrush>(right, terrain);
    auto randomize = std::make_unique<RandomizeBrush>(right, terrain, static_cast<uint64_t>(std::time(nullptr)));
    auto bulldoze = std::make_unique<BulldozeBrush>(right, terrain);
    auto dump = std::make_unique<DumpBrush>(right, terrain);
    auto colorizer = std::make_unique<TerraColorizer>(right, terrain, app.window, app.currentColor);
    app.orbit = orbit.get();
    app.colorizer = colorizer.get();
    app.tools.tools = {nullTool.get(), orbit.get(), terra.get(),     smooth.get(),    randomize.get(),
                       bulldoze.get(), dump.get(),  colorizer.get(), picker.get()};
    app.tools.currentTool = app.tools.tools[TERRAIN_TOOL_TERRA_BRUSH];
    app.toolObjects.push_back(std::move(nullTool));
    app.toolObjects.push_back(std::move(orbit));
    app.toolObjects.push_back(std::move(terra));
    app.toolObjects.push_back(std::move(smooth));
    app.toolObjects.push_back(std::move(randomize));
    app.toolObjects.push_back(std::move(bulldoze));
    app.toolObjects.push_back(std::move(dump));
    app.toolObjects.push_back(std::move(colorizer));
    app.toolObjects.push_back(std::move(picker));

    createRadialMenu(app.menu, glContextCurrent());
    layoutRadialMenu(app.menu, static_cast<int>(app.window.width), static_cast<int>(app.window.height));

    app.cameraTexture = createCameraTexture();

    app.cameraView = false;
    glEnable(GL_DEPTH_TEST);
    glViewport(0, 0, static_cast<GLsizei>(app.window.width), static_cast<GLsizei>(app.window.height));
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(app.camera->projection.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(1, 1, 1, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_LIGHT0);

    app.swatchFrame = loadTexture("../images/frame.png", TEXTURE_MIPMAPS);

    // A software renderer compiles its code for a GL state the first time that state draws,
    // which made the first grip of a brush stall for a frame. Picking the window's centre once
    // here (the start-up view shows the terrain there, so both passes run) moves that cost into
    // the start-up. The frame loop clears what it drew, and nothing counts as picked.
    float ignored[3];
    loadCameraMatrices(*app.camera);
    app.terrain->pick(ignored, false, static_cast<int>(app.window.width / 2), static_cast<int>(app.window.height / 2));
    app.terrain->pickedFace = -1;
    app.terrain->pickedVertex = -1;
    glShadeModel(GL_SMOOTH);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void reshapeTerrainApp(TerrainApp& app, int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    app.window.width = static_cast<uint32_t>(width);
    app.window.height = static_cast<uint32_t>(height);
    app.window.aspect = static_cast<float>(width) / static_cast<float>(height);
    glViewport(0, 0, width, height);
    app.camera->update();
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(app.camera->projection.data());
    glMatrixMode(GL_MODELVIEW);
    layoutRadialMenu(app.menu, width, height);
}

void terrainFrame(TerrainApp& app, uint32_t nowMs) {
    app.nowMs = nowMs;
    GestureRecognizer& recognizer = *app.recognizer;
    Tool* const lastDispatched = app.toolLastDispatched;
    app.toolLastDispatched = nullptr;  // until this frame gives a tool its input
    // The file dialog stands in for the system's modal one, under which the program stood still
    // until it closed. While it is open only the last picture is drawn again: no sensor frame,
    // gesture, grip, menu press or brush stroke acts behind the dialog while the user types.
    // What was queued before it opened is handled in the first frame after it closes. The world
    // in front of the camera goes on meanwhile (the performer's and a recording's time, which
    // scripts wait on), and a recording being made keeps it.
    const bool held = app.fileDialog.active;
    if (held) {
        app.sensor->passHeldFrame(nowMs);
        if (lastDispatched != nullptr) {
            loadCameraMatrices(*app.camera);  // a brush ending its stroke picks where it hovers
            pauseToolInput(app.tools, lastDispatched, app.pose);
        }
        cancelDwell(app.menu.buttons);
    } else {
        // 1-3: the queues filled during the previous frame.
        while (!app.buttonEvents.empty()) {
            std::string name = std::move(app.buttonEvents.front());
            app.buttonEvents.pop_front();
            handleMenuButton(app, name);
        }
        app.handEvents.clear();
        while (recognizer.hasResults()) handleTerrainResult(app, recognizer.popResult());

        // 4: the sensor.
        app.sensor->advance(nowMs);
        app.sensor->fetchSkeleton();
        app.skeleton = app.sensor->skeleton;
        app.sensor->fetchColour();
        app.sensor->fetchDepth();
    }

    // 5: the camera view replaces everything else, recognition and tools included.
    if (app.cameraView) {
        drawCameraView(app);
        return;
    }

    if (!held) {
        // 6-8: recogniser, detectors, pointers, tool input (only while the menu is closed).
        app.pose = recognizer.processFrame(app.skeleton, app.tools.gestureArmed, nowMs);
        if (app.waitForRecognizer) recognizer.waitForWorker();
        if (updateHands(app, nowMs)) cancelDwell(app.menu.buttons);
        if (app.menu.state == MenuClosed) {
            // The orbit turns and zooms by how the hands moved since the last frame it had
            // input. Picked (or given input again after the menu) while a hand grips, it would
            // swing the camera by all they did meanwhile, so it starts from this frame's pose.
            if (app.tools.currentTool == app.orbit && lastDispatched != app.orbit) app.orbit->previous = app.pose;
            app.toolLastDispatched = app.tools.currentTool;
            // Brushes pick with the camera's matrices.
            loadCameraMatrices(*app.camera);
            dispatchToolInput(app.tools, app.pose, *app.leftPointer, *app.leftDetector, *app.rightPointer,
                              *app.rightDetector);
        }
    }

    // 9: the 3D pass.
    const int width = static_cast<int>(app.window.width), height = static_cast<int>(app.window.height);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    loadCameraMatrices(*app.camera);
    glEnable(GL_DEPTH_TEST);
    app.terrainImage.draw(*app.terrain);  // clears to white first
    app.tools.currentTool->drawOverlay();

    // The window-pixel overlay.
    glDisable(GL_LIGHTING);
    beginPixelOverlay(width, height);

    drawRadialMenu(app.menu, width, height, nowMs, !held);
    const bool leftEngaged = drawHandPointer(*app.leftPointer, app.leftDetector->closed());
    const bool rightEngaged = drawHandPointer(*app.rightPointer, app.rightDetector->closed());
    if (!held && (rightEngaged || leftEngaged)) {
        const ScreenPoint p = rightEngaged ? app.rightPointer->screenPosition() : app.leftPointer->screenPosition();
        updateButtons(app.menu.buttons, p.x, p.y, nowMs, app.buttonEvents);
    }

    // Tool box (nothing for NullTool, which has no icon) and colour swatch.
    const int32_t icon = app.tools.currentTool->iconTexture();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    if (icon >= 0) drawCornerSquare(w - 148.0f, h - 148.0f, static_cast<uint32_t>(icon));
    glColor4f(app.currentColor[0], app.currentColor[1], app.currentColor[2], 1.0f);
    drawCornerSquare(w - 148.0f, 20.0f, app.swatchFrame);

    drawLabel(app.messageLabel, nowMs);

    endPixelOverlay();
}

void handleMenuButton(TerrainApp& app, const std::string& name) {
    const int tool = pressMenuButton(app.menu, name);
    if (tool >= 1) {
        selectTool(app.tools, tool);
        app.tools.gestureArmed = false;
    }
}

void handleTerrainResult(TerrainApp& app, const std::string& name) {
    if (name == "DEFAULT_GESTURE") {
        selectTool(app.tools, TERRAIN_TOOL_NULL);
        app.tools.gestureArmed = true;
        return;
    }
    showAndRebuild(app, "Gesture " + name + " recognized");
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '7') {
        selectTool(app.tools, name[0] - '0' + 1);
        app.tools.gestureArmed = false;
    }
}

bool loadTerrainGestureSets(TerrainApp& app, const std::string& path) {
    // A cancelled dialog gives an empty path; the recogniser refuses it with its own console line.
    if (!app.recognizer->loadGestureSets(path)) return false;
    showAndRebuild(app, "Loaded " + std::to_string(app.recognizer->setCount()) + " gesture sets from disk...");
    return true;
}

bool exportTerrainMaps(TerrainApp& app, const std::string& base) {
    if (base.empty()) return false;
    const ExportOutcome outcome = exportMaps(*app.terrain, base);
    app.lastExportMessage = outcome.message;
    return outcome.ok;
}

void finishTerrainFileDialog(TerrainApp& app) {
    if (!app.fileDialog.finished) return;
    const TerrainFileAction action = app.pendingFile;
    app.pendingFile = TerrainFileAction::NONE;
    app.fileDialog.finished = false;
    if (action == TerrainFileAction::LOAD_GESTURES) {
        loadTerrainGestureSets(app, app.fileDialog.result);
    } else if (action == TerrainFileAction::EXPORT_MAPS) {
        exportTerrainMaps(app, app.fileDialog.result);
    }
}

void terrainKeyEvent(TerrainApp& app, unsigned char key, int x, int y) {
    // An Escape held to close the dialog goes on repeating: it must not quit the program.
    if (isHeldDialogKeyRepeat(app.fileDialog, key, glutGet(GLUT_ELAPSED_TIME))) return;
    if (guiKeyboard(key, x, y) || app.fileDialog.active) return;
    terrainKeyboard(app, key);
}

void terrainSpecialEvent(TerrainApp& app, int key, int x, int y, int modifiers) {
    if (guiSpecial(key, x, y) || app.fileDialog.active) return;
    terrainSpecial(app, key, modifiers);
}

void drawTerrainGui(TerrainApp& app) {
    if (!guiStarted()) return;
    const int width = static_cast<int>(app.window.width), height = static_cast<int>(app.window.height);
    beginGuiFrame(width, height);
    if (app.fileDialog.active && drawFileDialog(app.fileDialog)) finishTerrainFileDialog(app);
    endGuiFrame(width, height);
    glViewport(0, 0, width, height);
}

void terrainKeyboard(TerrainApp& app, unsigned char key) {
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
        case '8':
            selectTool(app.tools, key - '0');
            break;
        case 'd':
            app.cameraView = !app.cameraView;
            break;
        case 'f':
            glutFullScreenToggle();
            break;
        case 'l':
            if (!app.fileDialog.active) {
                openFileDialog(app.fileDialog, FileDialogMode::OPEN, "Open gesture sets", "*.bin");
                app.pendingFile = TerrainFileAction::LOAD_GESTURES;
            }
            break;
        case 'n':
            app.terrain->showNormals = !app.terrain->showNormals;
            break;
        case 's':
            if (!app.scriptedExportBase.empty()) {
                exportTerrainMaps(app, app.scriptedExportBase);
            } else if (!app.fileDialog.active) {
                openFileDialog(app.fileDialog, FileDialogMode::SAVE, EXPORT_DIALOG_HINT, "");
                app.pendingFile = TerrainFileAction::EXPORT_MAPS;
            }
            break;
        default:
            break;
    }
}

void terrainSpecial(TerrainApp& app, int key, int modifiers) {
    // The terrain program's keys take 10 whenever Ctrl is held, Shift or Alt with it or not
    // (pintara's take 10 for Ctrl alone).
    int step = (modifiers & GLUT_ACTIVE_CTRL) != 0 ? 10 : 2;
    if (key == GLUT_KEY_DOWN) {
        step = -step;
    } else if (key != GLUT_KEY_UP) {
        step = 0;
    }
    app.sensor->setTiltAngle(app.sensor->tiltAngle() + step);
}

// ---- Scenario queries ----

const char* menuStateName(int state) {
    switch (state) {
        case MenuClosed:
            return "MenuClosed";
        case MenuOpening:
            return "MenuOpening";
        case MenuOpen:
            return "MenuOpen";
        case MenuClosing:
            return "MenuClosing";
        default:
            return "unknown";
    }
}

const char* terrainToolName(const TerrainApp& app, const Tool* tool) {
    static const char* const names[TERRAIN_TOOL_COUNT] = {
        "NullTool",      "OrbitManipulator", "TerraBrush",     "SmoothBrush", "RandomizeBrush",
        "BulldozeBrush", "DumpBrush",        "TerraColorizer", "Colorpicker"};
    for (size_t i = 0; i < app.tools.tools.size() && i < TERRAIN_TOOL_COUNT; ++i) {
        if (app.tools.tools[i] == tool) return names[i];
    }
    return "none";
}

std::string terrainQuery(const TerrainApp& app, const std::string& what) {
    if (what == "tool") return terrainToolName(app, app.tools.currentTool);
    if (what == "mode") return app.cameraView ? "camera" : "terrain";
    if (what == "menu") return menuStateName(app.menu.state);
    if (what == "armed") return app.tools.gestureArmed ? "true" : "false";
    if (what == "message") return app.messageLabel.text;
    if (what == "export") return app.lastExportMessage;
    if (what == "sets") return std::to_string(app.recognizer->setCount());
    if (what == "tilt") return std::to_string(app.sensor->tiltAngle());
    if (what == "radius" && app.colorizer != nullptr) return std::to_string(app.colorizer->radius);
    if (what == "opacity" && app.colorizer != nullptr) return std::to_string(app.colorizer->opacity);
    if (what == "azimuth" && app.orbit != nullptr) return std::to_string(app.orbit->azimuth);
    if (what == "elevation" && app.orbit != nullptr) return std::to_string(app.orbit->elevation);
    if (what == "colour") {
        char text[48];
        std::snprintf(text, sizeof text, "%.2f %.2f %.2f", static_cast<double>(app.currentColor[0]),
                      static_cast<double>(app.currentColor[1]), static_cast<double>(app.currentColor[2]));
        return text;
    }
    if (what == "max_height" && app.terrain) {
        float top = app.terrain->vertices.empty() ? 0.0f : app.terrain->vertices[0].y;
        for (const TerrainVertex& v : app.terrain->vertices) top = std::max(top, v.y);
        return std::to_string(top);
    }
    if (what == "cursor_height") {
        // The height of the vertex the current brush's cursor sits on; no answer without one.
        const auto* brush = dynamic_cast<const TerrainBrush*>(app.tools.currentTool);
        if (brush != nullptr && brush->hit) return std::to_string(brush->hitPoint[1]);
    }
    return "";
}
