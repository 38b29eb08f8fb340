#pragma once
// What both programs do around their own frame loop: the command line, the sensor backend
// (with the missing-sensor exit), the simulated performer and its mouse control, recording,
// the clock, scenario scripts and the demo, --frames and --screenshot.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/app/clock.h"
#include "common/app/frame_cpu_stats.h"
#include "common/app/hang_watchdog.h"
#include "common/app/options.h"
#include "common/sensor/frame_source.h"

class SimulatedPerformer;
struct HandPointer;
class Recorder;
class ScenarioRunner;
struct Scenario;
struct ScenarioAction;
class ScenarioHost;

struct ProgramHarness {
    std::string programName;
    ProgramOptions options;
    Clock clock;
    SimulatedPerformer* performer = nullptr;  // the synthetic source, when it is the sensor
    uint32_t gestureKeyPresses = 0;           // seeds each keyed gesture's variation
    std::unique_ptr<Recorder> recorder;       // --record
    std::unique_ptr<Scenario> loadedScenario; // --script or --demo, read before the recording opens
    std::unique_ptr<ScenarioRunner> scenario; // ... and run once the program's record exists
    bool screenshotSaved = false;
    // A script's screenshot, taken from the back buffer when the current frame is drawn.
    std::string pendingScreenshot;
    // Process CPU time per frame (all threads, the renderer's included), from the start of one
    // frame to the start of the next; printed when a run ends by --frames or a script.
    double frameStartCpuMs = -1.0;
    FrameCpuStats frameCpu;
    // Unattended runs (--script, --frames) end with a message if no frame finishes for two
    // minutes, instead of hanging silently.
    std::unique_ptr<HangWatchdog> watchdog;
    // GLUT draws a window only while some of it can be seen. The frame loop is also the
    // program's sensor and recogniser loop, so while the window is hidden or covered the idle
    // callback runs the frame itself (see harnessIdle).
    bool windowHidden = false;
    // A mouse position ImGui swallowed while it wanted the mouse (see harnessHoldMotion).
    bool motionHeld = false;
    int heldMotionX = 0;
    int heldMotionY = 0;
    // The window's size at the last frame's end, for a screenshot when the program ends between
    // frames.
    int lastFrameWidth = 0;
    int lastFrameHeight = 0;
};

constexpr int64_t HANG_LIMIT_MS = 120000;

// Ends the program now (Escape) the way --frames ends it: the recording is finished and the
// --screenshot taken of the last frame drawn, and either failing makes the exit code 1.
// Without a harness set up (tests) it just exits with `code`.
[[noreturn]] void endProgramNow(int code);

// Makes the window's close button end the program as Escape does (the screenshot saved, the
// recording finished) instead of freeglut exiting on its own. Call after glutInit.
void endRunOnWindowClose();

// GLUT's window-status callback: remembers whether the window can be seen.
void harnessWindowStatus(ProgramHarness& harness, int glutStatus);
// The idle callback: asks GLUT to redraw the window, or, while nothing of it can be seen (a
// minimised window, another window over it, two test programs at the same place on one
// display), runs `frame` directly, so the sensor is read, gestures are recognised and scripts
// go on instead of stopping until the window shows again.
void harnessIdle(ProgramHarness& harness, int windowId, void (*frame)());

// Asks for a screenshot of the frame being drawn (scripts run before the drawing). False when
// the path is empty.
bool requestScreenshot(ProgramHarness& harness, const std::string& path);

// Parses the command line and handles --help and --version. Returns false when the program
// must end at once with `exitCode` (0 after help or version, 2 after a command-line error).
// It first opens closed standard streams on /dev/null (call it before anything is opened), makes
// standard output line-buffered, so a log or a pipe shows every line up to a failure or a kill,
// and for unattended runs (--script, --frames) starts the hang watchdog.
bool setUpHarness(ProgramHarness& harness, const std::string& programName, int argc, char** argv, int& exitCode);

// Opens the sensor named by --sensor. When it cannot be opened, prints the missing-sensor
// message (UTF-8) and the reason to stderr and exits with code 1. Then reads the scenario
// (--script or --demo): one that does not parse, moves the person in a recording or writes over
// a file the run reads or writes ends the program with code 2 and the file and line. With
// --record it last opens the recording; when that fails, it prints why and exits with code 2.
std::unique_ptr<FrameSource> openSensorOrExit(ProgramHarness& harness);

// What a script's load, save or screenshot would destroy or lose, or null: the --record or
// --screenshot file, and for a save or screenshot an input of the run (inputNamedBy; a save may
// replace the gesture-set file loaded at start-up).
const char* scriptFileClash(const ScenarioAction& action, const ProgramOptions& options);

// Once the program's record exists: runs the scenario read by openSensorOrExit against `host`.
void startScenario(ProgramHarness& harness, ScenarioHost& host);

// Starts a frame: the clock's time; the scenario's next actions.
uint32_t harnessBeginFrame(ProgramHarness& harness);

// After drawing, before the buffer swap: ends the program (saving --screenshot first) when the
// frame limit is reached, the scenario has ended, or an assertion failed (exit code 1).
void harnessEndFrame(ProgramHarness& harness, int windowWidth, int windowHeight);

// Grows the heap by touching `bytes` of fresh memory and hands it back to the allocator, which
// keeps it (setUpHarness raised its thresholds). For a program whose renderer will later need
// that much at once: the pages are then faulted in during the start-up, not in a frame.
void reserveHeap(size_t bytes);

// The recorder (if any) for SensorInput.
Recorder* harnessRecorder(ProgramHarness& harness);

// Mouse control of the simulated performer (not while a scenario drives it). Window pixels
// with y down (GLUT's), in a drawing area of areaWidth x areaHeight. Motion outside the area
// lets the performer's arms hang (as harnessMouseLeft does); motion inside raises the right
// hand again. Presses outside the area are ignored; releases count anywhere.
void harnessMouseMotion(ProgramHarness& harness, int x, int y, int areaWidth, int areaHeight);
void harnessMouseButton(ProgramHarness& harness, int button, int state, int x, int y, int areaWidth,
                        int areaHeight);
// The mouse left the window (glutEntryFunc's GLUT_LEFT): the performer's arms hang.
void harnessMouseLeft(ProgramHarness& harness);
// ImGui decides once a frame whether it wants the mouse, so its answer can be a frame old: the
// first moves off the settings panel, or past a dialog that just closed, would be swallowed and
// the performer would never hear of them. The programs hand a swallowed position to
// harnessHoldMotion, and after each ImGui frame call harnessReleaseHeldMotion, which passes it
// on once ImGui no longer wants the mouse.
void harnessHoldMotion(ProgramHarness& harness, int x, int y);
void harnessReleaseHeldMotion(ProgramHarness& harness, bool guiWantsMouse, int areaWidth, int areaHeight);
// Keys F1, F2 and on, one for each named gesture in their listed order, make the mouse-driven
// performer perform it, so that gestures can be taught and used without a sensor. True when the key was taken
// (a performer without a scenario, and a key that names a gesture); the program then ignores it.
bool harnessGestureKey(ProgramHarness& harness, int glutKey);
// Once per frame, after the program updated its right pointer from this frame's pose: steers
// the performer's right wrist so that the pointer follows the mouse.
void harnessFollowPointer(ProgramHarness& harness, const HandPointer& rightPointer);
