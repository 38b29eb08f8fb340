#include "common/app/program_harness.h"

#include <GL/freeglut.h>

#include <malloc.h>
#include <signal.h>
#include <time.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <vector>

#include "common/app/scenario_script.h"
#include "common/app/screenshot.h"
#include "common/files/parent_folders.h"
#include "common/files/same_file.h"
#include "common/files/standard_streams.h"
#include "common/sensor/frame_sources.h"
#include "common/sensor/recording.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/simulated_performer.h"
#include "common/widgets/texture.h"

namespace {

// The recorder must finish its file however the program ends.
Recorder* activeRecorder = nullptr;
// The harness of the running program, for endProgramNow.
ProgramHarness* runningHarness = nullptr;

// Ctrl+C or a plain kill asks the run to end at the end of its frame, as Escape ends it, so that
// a recording is finished whole (killed outright, it loses its last frame half written) and the
// screenshot is saved. The handler then gives the signal back its default action: a second
// one, or one while no frame ends, ends the program at once. A signal the program was started
// to ignore (nohup, a background job of a script) stays ignored.
// The output's reader going away (`pintara | head`) ends the run the same way. Every later line
// written meets the closed pipe again, so that signal keeps its handler: the run still ends at
// the end of the frame.
volatile std::sig_atomic_t endSignal = 0;

extern "C" void requestEnd(int signalNumber) { endSignal = signalNumber; }

void endRunOnSignals() {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction inherited {};
        if (sigaction(signalNumber, nullptr, &inherited) == 0 && inherited.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = requestEnd;
        action.sa_flags = signalNumber == SIGPIPE ? SA_RESTART : SA_RESETHAND | SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(signalNumber, &action, nullptr);
    }
}

// False when the recording did not reach its file whole. A write failure was printed when it
// happened; only a failure at the end is printed here.
bool finishRecording() {
    if (!activeRecorder) return true;
    std::string error;
    const bool ok = activeRecorder->finish(error);
    if (!ok && !activeRecorder->stoppedByFailure()) std::fprintf(stderr, "recording: %s\n", error.c_str());
    activeRecorder = nullptr;
    return ok;
}

void finishRecordingAtExit() { finishRecording(); }

double processCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1.0e6;
}

// Saves a screenshot and says what came of it; false when it failed. It is read from the back
// buffer: at a frame's end that holds the frame just drawn, and between frames (Escape) it still
// holds the frame on screen, while the front buffer reads back black under the software renderer.
bool saveAndReportScreenshot(const std::string& path, int windowWidth, int windowHeight, std::string& error) {
    glReadBuffer(GL_BACK);
    if (!saveScreenshot(path, windowWidth, windowHeight, error)) return false;
    std::printf("screenshot: %s\n", path.c_str());
    return true;
}

// Set once the process has begun to exit. freeglut then closes the window from its own exit
// handler, which is no request of the user's: the exit code already chosen must stand.
bool processExiting = false;

void markProcessExiting() { processExiting = true; }

void windowClosed() {
    if (!processExiting) endProgramNow(0);
}

[[noreturn]] void endProgram(ProgramHarness& harness, int code, int windowWidth, int windowHeight) {
    // Ended by --frames or by the Escape key while the script still had lines to run.
    if (harness.scenario && code == 0) {
        if (const std::string note = harness.scenario->unfinishedNote(); !note.empty()) std::cerr << note << "\n";
    }
    if (harness.frameCpu.count > 0 && (harness.options.frameLimit > 0 || harness.scenario)) {
        // The count is of measured frames: the first carries the start-up and the last never
        // reaches the start of another frame, so --frames 40 reports 38. A measurement, not one
        // of the program's own messages, so it goes to the error stream.
        std::fprintf(stderr, "%s (the first frame, with the start-up, and the last are not measured)\n",
                     describeFrameCpu(harness.frameCpu).c_str());
    }
    if (!harness.options.screenshotPath.empty() && !harness.screenshotSaved) {
        std::string error;
        if (saveAndReportScreenshot(harness.options.screenshotPath, windowWidth, windowHeight, error)) {
            harness.screenshotSaved = true;
        } else {
            std::printf("screenshot not saved: %s\n", error.c_str());
            if (code == 0) code = 1;
        }
    }
    // A recording cut short by a failed write is a failed run, as a failed screenshot is.
    if (!finishRecording() && code == 0) code = 1;
    std::fflush(stdout);
    std::exit(code);
}

}  // namespace

void endProgramNow(int code) {
    if (!runningHarness) std::exit(code);
    endProgram(*runningHarness, code, runningHarness->lastFrameWidth, runningHarness->lastFrameHeight);
}

void endRunOnWindowClose() {
    glutCloseFunc(windowClosed);
    // Exit handlers run last registered first: this one, registered after glutInit's, runs before
    // freeglut closes the window.
    std::atexit(markProcessExiting);
}

bool setUpHarness(ProgramHarness& harness, const std::string& programName, int argc, char** argv, int& exitCode) {
    keepStandardStreamsOpen();
    // Line by line even into a pipe or a file, so nothing printed is lost if the program is
    // killed; before anything is written, as setvbuf requires.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // A file outgrowing the size limit must fail its write (a save or export then says so and
    // keeps the old file), not kill the program and lose the user's work.
    std::signal(SIGXFSZ, SIG_IGN);
    endRunOnSignals();
    // The software renderer allocates and frees a window's worth of memory every frame it
    // draws the terrain. With the allocator's moving thresholds, that memory could go back to
    // the system after each frame and be faulted in again the next: some 1,500 page faults a
    // frame, a third more CPU, depending on what earlier frames happened to allocate. Freed
    // blocks below 32 MiB are kept for reuse instead.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    harness.programName = programName;
    runningHarness = &harness;
    std::string error;
    if (!parseProgramOptions(argc, argv, harness.options, error)) {
        std::cerr << programName << ": " << error << "\n";
        exitCode = 2;
        return false;
    }
    if (harness.options.showHelp) {
        std::cout << programUsage(programName);
        exitCode = standardOutputWritten(programName) ? 0 : 1;
        return false;
    }
    if (harness.options.showVersion) {
        std::cout << programName << " " << PROGRAM_VERSION << "\n";
        // Where the images come from, the first thing to know when buttons show up blank.
        const std::string probe = "../images/button_background.png";
        const std::string found = imagePath(probe);
        std::error_code ec;
        if (found != probe || std::filesystem::is_regular_file(probe, ec)) {
            std::cout << "images: " << std::filesystem::weakly_canonical(found, ec).parent_path().string() << "\n";
        } else {
            std::cout << "images: not found (no images folder beside the working folder or the program)\n";
        }
        exitCode = standardOutputWritten(programName) ? 0 : 1;
        return false;
    }
    harness.clock.fixedStepMs = harness.options.fixedStepMs;
    if (harness.options.positional.size() > 1) {
        // Loading happens only for a single argument; say so rather than start without sets.
        std::cerr << programName << ": " << harness.options.positional.size()
                  << " arguments given; a gesture-set file is loaded only when it is the one argument, so none is\n";
    }
    if (!harness.options.scriptPath.empty() || harness.options.frameLimit > 0) {
        const std::string name = programName;
        harness.watchdog = std::make_unique<HangWatchdog>(HANG_LIMIT_MS, 1000, [name](uint64_t frame) {
            std::fprintf(stderr, "%s: no frame finished in %lld s (the last was frame %llu); giving up\n",
                         name.c_str(), static_cast<long long>(HANG_LIMIT_MS / 1000),
                         static_cast<unsigned long long>(frame));
            std::_Exit(3);
        });
    }
    return true;
}

const char* scriptFileClash(const ScenarioAction& action, const ProgramOptions& options) {
    const bool writes = action.kind == ScenarioActionKind::SAVE || action.kind == ScenarioActionKind::SCREENSHOT;
    if (!writes && action.kind != ScenarioActionKind::LOAD) return nullptr;
    // The recording empties its file at start-up and the screenshot replaces its file at the end.
    if (!options.recordPath.empty() && namesSameFile(action.text, options.recordPath)) return "the --record file";
    if (!options.screenshotPath.empty() && namesSameFile(action.text, options.screenshotPath)) {
        return "the --screenshot file";
    }
    return writes ? inputNamedBy(options, action.text, action.kind == ScenarioActionKind::SCREENSHOT) : nullptr;
}

namespace {

// Reads --script (or the built-in demo) and checks it against the sensor and the run's other
// files; a script that cannot run ends the program with code 2 before its first frame.
void loadScenarioOrExit(ProgramHarness& harness) {
    if (!harness.options.demo && harness.options.scriptPath.empty()) return;
    if (!harness.performer && harness.options.demo) {
        std::cerr << harness.programName << ": the demo drives the simulated performer; use --sensor synthetic\n";
        std::exit(2);
    }
    auto scenario = std::make_unique<Scenario>();
    std::string error;
    bool parsed = harness.options.demo ? (harness.programName == "glebora" ? loadTerrainDemoScenario(*scenario, error)
                                                                           : loadDemoScenario(*scenario, error))
                                       : loadScenarioFile(harness.options.scriptPath, *scenario, error);
    if (!parsed) {
        std::cerr << harness.programName << ": " << error << "\n";
        std::exit(2);
    }
    // Recorded input: the script can still wait, press keys, save and assert while the
    // recording plays, but it cannot move the person in it.
    if (const ScenarioAction* action = harness.performer ? nullptr : firstPerformerAction(*scenario)) {
        std::cerr << harness.programName << ": script " << scenario->fileName << ":" << action->line << ": '"
                  << scenarioActionWord(action->kind) << "' drives the simulated performer; with --sensor "
                  << harness.options.sensor
                  << " a script may only hold, press keys, load, save, take screenshots, expect and echo\n";
        std::exit(2);
    }
    for (const ScenarioAction& action : scenario->actions) {
        if (const char* clash = scriptFileClash(action, harness.options)) {
            std::cerr << harness.programName << ": script " << scenario->fileName << ":" << action.line << ": '"
                      << scenarioActionWord(action.kind) << " " << action.text << "' names " << clash
                      << "; choose another file\n";
            std::exit(2);
        }
    }
    harness.loadedScenario = std::move(scenario);
}

}  // namespace

std::unique_ptr<FrameSource> openSensorOrExit(ProgramHarness& harness) {
    registerSimulatedPerformer(harness.options.seed);
    std::string error;
    std::unique_ptr<FrameSource> source = openFrameSource(harness.options.sensor, error);
    if (!source) {
        std::cerr << MISSING_SENSOR_MESSAGE << "\n" << harness.programName << ": " << error << "\n";
        std::exit(1);
    }
    if (harness.options.sensor == "synthetic") harness.performer = activeSimulatedPerformer();
    Clock& clock = harness.clock;
    source->setFrameWait([&clock](uint32_t ms) { waitOnClock(clock, ms); });
    // Before the recording is opened, which empties its file: a refused script must not cost
    // the recording that was there.
    loadScenarioOrExit(harness);
    if (!harness.options.recordPath.empty()) {
        harness.recorder = std::make_unique<Recorder>();
        if (!makeParentFolders(harness.options.recordPath, error) ||
            !harness.recorder->open(harness.options.recordPath, 3, error)) {
            std::cerr << harness.programName << ": cannot record: " << error << "\n";
            std::exit(2);
        }
        activeRecorder = harness.recorder.get();
        std::atexit(finishRecordingAtExit);
    }
    return source;
}

void reserveHeap(size_t bytes) {
    // In pieces well under the allocator's mmap threshold, all held at once, so that they come
    // from the heap (growing it where its free space runs out) and stay there when freed.
    constexpr size_t piece = 8u << 20;
    std::vector<void*> pieces;
    for (size_t reserved = 0; reserved < bytes; reserved += piece) {
        void* p = std::malloc(piece);
        if (p == nullptr) break;
        // Every page written once; volatile, so the writes to memory freed unread stay.
        volatile char* bytesOfPiece = static_cast<char*>(p);
        for (size_t at = 0; at < piece; at += 4096) bytesOfPiece[at] = 0;
        pieces.push_back(p);
    }
    for (void* p : pieces) std::free(p);
}

Recorder* harnessRecorder(ProgramHarness& harness) { return harness.recorder.get(); }

void startScenario(ProgramHarness& harness, ScenarioHost& host) {
    if (!harness.loadedScenario) return;
    const Scenario& scenario = *harness.loadedScenario;
    harness.scenario = harness.performer ? std::make_unique<ScenarioRunner>(scenario, *harness.performer, host)
                                         : std::make_unique<ScenarioRunner>(scenario, host);
    harness.loadedScenario.reset();
}

uint32_t harnessBeginFrame(ProgramHarness& harness) {
    // The first frame carries the start-up's work, so it is left out of the statistics.
    double cpu = processCpuMs();
    if (harness.frameStartCpuMs >= 0.0 && harness.clock.frameCount > 1) {
        addFrameCpu(harness.frameCpu, cpu - harness.frameStartCpuMs);
    }
    harness.frameStartCpuMs = cpu;
    if (harness.watchdog) harness.watchdog->beat(harness.clock.frameCount);
    uint32_t now = beginFrame(harness.clock);
    if (harness.scenario) harness.scenario->step(now);
    return now;
}

bool requestScreenshot(ProgramHarness& harness, const std::string& path) {
    if (path.empty()) return false;
    harness.pendingScreenshot = path;
    return true;
}

void harnessEndFrame(ProgramHarness& harness, int windowWidth, int windowHeight) {
    harness.lastFrameWidth = windowWidth;
    harness.lastFrameHeight = windowHeight;
    if (!harness.pendingScreenshot.empty()) {
        std::string error;
        if (!saveAndReportScreenshot(harness.pendingScreenshot, windowWidth, windowHeight, error)) {
            if (harness.scenario) {
                harness.scenario->screenshotFailed(harness.pendingScreenshot, error);  // stops the run below
            } else {
                std::printf("screenshot not saved: %s\n", error.c_str());
            }
        }
        harness.pendingScreenshot.clear();
    }
    if (harness.scenario) {
        if (harness.scenario->failed()) {
            std::cerr << harness.scenario->failureMessage() << "\n";
            endProgram(harness, 1, windowWidth, windowHeight);
        }
    }
    // The shell's code for a program ended by that signal.
    if (endSignal != 0) endProgram(harness, 128 + endSignal, windowWidth, windowHeight);
    bool limitReached = harness.options.frameLimit > 0 && harness.clock.frameCount >= harness.options.frameLimit;
    bool scenarioEnded = harness.scenario && harness.scenario->finished();
    if (limitReached || scenarioEnded) endProgram(harness, 0, windowWidth, windowHeight);
}

void harnessWindowStatus(ProgramHarness& harness, int glutStatus) {
    harness.windowHidden = glutStatus == GLUT_HIDDEN || glutStatus == GLUT_FULLY_COVERED;
}

void harnessIdle(ProgramHarness& harness, int windowId, void (*frame)()) {
    glutSetWindow(windowId);
    if (harness.windowHidden) {
        frame();
    } else {
        glutPostRedisplay();
    }
}

void harnessMouseMotion(ProgramHarness& harness, int x, int y, int areaWidth, int areaHeight) {
    harness.motionHeld = false;  // a newer position than any held one
    if (!harness.performer || harness.scenario || areaWidth <= 0 || areaHeight <= 0) return;
    if (x < 0 || x >= areaWidth || y < 0 || y >= areaHeight) {
        harness.performer->mouseAway();
        return;
    }
    float nx = static_cast<float>(x) / static_cast<float>(areaWidth);
    float ny = 1.0f - static_cast<float>(y) / static_cast<float>(areaHeight);
    harness.performer->mouseMove(nx, ny);
}

void harnessMouseButton(ProgramHarness& harness, int button, int state, int x, int y, int areaWidth,
                        int areaHeight) {
    if (!harness.performer || harness.scenario) return;
    const bool down = state == GLUT_DOWN;
    // A release counts wherever it happens: a hand closed inside the area must open again
    // when the button is let go over the settings panel or outside the window.
    const bool inside = x >= 0 && x < areaWidth && y >= 0 && y < areaHeight;
    if (!inside && down) return;
    if (button == GLUT_LEFT_BUTTON) {
        harness.performer->mouseButton(HAND_RIGHT, down);
    } else if (button == GLUT_RIGHT_BUTTON) {
        harness.performer->mouseButton(HAND_LEFT, down);
    } else if ((button == 3 || button == 4) && down) {
        // freeglut reports the wheel as buttons 3 (away from the user) and 4 (toward).
        harness.performer->mouseWheel(button == 3 ? 1 : -1);
    }
    harnessMouseMotion(harness, x, y, areaWidth, areaHeight);
}

bool harnessGestureKey(ProgramHarness& harness, int glutKey) {
    if (!harness.performer || harness.scenario) return false;
    if (glutKey < GLUT_KEY_F1 || glutKey > GLUT_KEY_F12) return false;
    // Each press is another performance, varied like a person's repetitions.
    return harness.performer->mouseGesture(glutKey - GLUT_KEY_F1, ++harness.gestureKeyPresses);
}

void harnessMouseLeft(ProgramHarness& harness) {
    if (!harness.performer || harness.scenario) return;
    harness.performer->mouseAway();
}

void harnessHoldMotion(ProgramHarness& harness, int x, int y) {
    harness.motionHeld = true;
    harness.heldMotionX = x;
    harness.heldMotionY = y;
}

void harnessReleaseHeldMotion(ProgramHarness& harness, bool guiWantsMouse, int areaWidth, int areaHeight) {
    if (!harness.motionHeld || guiWantsMouse) return;
    harness.motionHeld = false;
    harnessMouseMotion(harness, harness.heldMotionX, harness.heldMotionY, areaWidth, areaHeight);
}

void harnessFollowPointer(ProgramHarness& harness, const HandPointer& rightPointer) {
    if (!harness.performer || harness.scenario) return;
    harness.performer->followPointer(rightPointer);
}
