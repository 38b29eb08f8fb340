#pragma once
// Scenario scripts: a line-based text format of timed performer actions (rest, move, reach,
// gestures, hand shapes, faults) and program actions (keys, gesture-set files, screenshots,
// assertions on what the program shows). docs/scenarios.md documents the format.
//
// parseScenario turns text into ScenarioActions; ScenarioRunner plays them one after another,
// each frame, against a SimulatedPerformer and a ScenarioHost (the program). No GL here.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class SimulatedPerformer;

enum class ScenarioActionKind {
    REST,         // arms to rest over durationMs
    HOLD,         // keep still for durationMs ("hold", "wait", "dwell")
    MOVE,         // wrist of `hand` to (x, y) metres over durationMs
    REACH,        // reach of `hand` to `value` metres over durationMs
    OPEN,         // open `hand`
    CLOSE,        // close `hand`
    GESTURE,      // perform gesture `text` (seed when hasSeed)
    KEY,          // press character `key`
    SPECIAL_KEY,  // press GLUT special key `key` with `modifiers`
    LOAD,         // load gesture sets from `text`
    SAVE,         // save gesture sets to `text`
    SCREENSHOT,   // save a screenshot to `text`
    EXPECT,       // compare query `query` with `text`
    FAULT,        // inject fault `text` for durationMs
    ECHO,         // print `text`
    LOOP          // start again from the first action
};

enum class ScenarioCompare { EQUAL, NOT_EQUAL, LESS, LESS_EQUAL, GREATER, GREATER_EQUAL, CONTAINS };

constexpr int SCENARIO_BOTH_HANDS = 2;  // hand value for "both"

// GLUT's special-key codes and modifier bits, repeated here so scripts need no GL headers.
enum ScenarioSpecialKey {
    SCENARIO_KEY_F1 = 1,  // F1..F12 are 1..12
    SCENARIO_KEY_LEFT = 100,
    SCENARIO_KEY_UP = 101,
    SCENARIO_KEY_RIGHT = 102,
    SCENARIO_KEY_DOWN = 103,
    SCENARIO_KEY_PAGE_UP = 104,
    SCENARIO_KEY_PAGE_DOWN = 105,
    SCENARIO_KEY_HOME = 106,
    SCENARIO_KEY_END = 107,
    SCENARIO_KEY_INSERT = 108
};
enum ScenarioModifier { SCENARIO_MOD_SHIFT = 1, SCENARIO_MOD_CTRL = 2, SCENARIO_MOD_ALT = 4 };

struct ScenarioAction {
    ScenarioActionKind kind = ScenarioActionKind::HOLD;
    int line = 0;               // 1-based line in the script
    int hand = 1;               // 0 left, 1 right, SCENARIO_BOTH_HANDS
    float x = 0.0f;             // metres, sensor space
    float y = 0.0f;
    float value = 0.0f;         // reach in metres
    uint32_t durationMs = 0;
    uint32_t seed = 0;
    bool hasSeed = false;
    bool endReady = false;      // GESTURE: end at the ready pose instead of rest
    bool againstPrevious = false;  // EXPECT: compare with the query's answer at its last expect
    int key = 0;                // character code or GLUT special-key code
    int modifiers = 0;          // ScenarioModifier bits, special keys only
    std::string query;          // EXPECT: tool, mode, message, sets, gestures, strokes, or any
                                // other name the program answers ([a-z0-9_], up to 32)
    ScenarioCompare compare = ScenarioCompare::EQUAL;
    std::string text;           // gesture or fault name, path, expected value, echo text
};

struct Scenario {
    std::string fileName;
    std::vector<ScenarioAction> actions;
};

// Longest duration an action may ask for, and bounds on positions (metres).
constexpr uint32_t SCENARIO_MAX_DURATION_MS = 600000;
constexpr float SCENARIO_MAX_COORDINATE = 3.0f;

// Parses a whole script. On a syntax error returns false with `error` naming the file and
// line: "script FILE:LINE: what was wrong". Never throws; any bytes are safe.
bool parseScenario(const std::string& text, const std::string& fileName, Scenario& out, std::string& error);
// Reads and parses a file; a missing file is an error too.
bool loadScenarioFile(const std::string& path, Scenario& out, std::string& error);

// The word that starts an action of this kind in a script ("move", "expect", ...).
const char* scenarioActionWord(ScenarioActionKind kind);
// Whether the action drives the simulated performer (rest, move, reach, open, close, gesture,
// fault). A script without such actions can also run on recorded input.
bool movesPerformer(ScenarioActionKind kind);
// The script's first action that drives the performer, or nullptr.
const ScenarioAction* firstPerformerAction(const Scenario& scenario);

// The built-in demos (about a minute each, loop): the painting program's and the terrain
// modeller's.
const char* demoScenarioText();
bool loadDemoScenario(Scenario& out, std::string& error);
const char* terrainDemoScenarioText();
bool loadTerrainDemoScenario(Scenario& out, std::string& error);

// What a program offers a script. Implemented by the programs (and a fake in tests).
class ScenarioHost {
public:
    virtual ~ScenarioHost() = default;
    virtual void pressKey(unsigned char key) = 0;
    virtual void pressSpecialKey(int glutKey, int modifiers) = 0;
    virtual bool loadGestureSets(const std::string& path) = 0;
    virtual bool saveGestureSets(const std::string& path) = 0;
    virtual bool saveScreenshot(const std::string& path) = 0;
    // Makes the folders above an output path before a save or screenshot: scripts name output
    // folders (artefacts/) that a fresh build folder lacks. False with a one-line `error`.
    virtual bool makeOutputFolders(const std::string& path, std::string& error);
    // What the program shows, as text: "tool" (current tool's name), "mode", "message" (the
    // message label's text) and "sets" in decimal; pintara also counts "gestures" and
    // "strokes". A program may answer more names; an unknown one gives "" (the assertion then
    // fails).
    virtual std::string query(const std::string& what) = 0;
};

// Plays a scenario. Call step(nowMs) once per frame, before the sensor's advance: it starts
// the next action(s) when the previous one finished. Performer actions run until the
// performer is no longer busy; instant ones (open, close, fault, echo, expect) chain within
// a frame; a program action (key, load, save, screenshot) ends the frame's step so the
// program sees it before the next action. A failed assertion or file action stops the run.
class ScenarioRunner {
public:
    ScenarioRunner(const Scenario& scenario, SimulatedPerformer& performer, ScenarioHost& host);
    // Without a performer (the frames come from a recording or a text stream): the script may
    // wait, press keys, load, save, take screenshots, assert and echo; an action that would
    // move the performer stops the run with a message naming its line.
    ScenarioRunner(const Scenario& scenario, ScenarioHost& host);

    void step(uint32_t nowMs);
    bool finished() const { return done; }       // all actions ran (never, if it loops)
    bool failed() const { return !failure.empty(); }
    // "script FILE:LINE: assertion failed: expected tool StraightLine2D, got Brush2D"
    const std::string& failureMessage() const { return failure; }
    int currentLine() const;
    // When the program ends before the script did (--frames, say): one line naming where the
    // script stood and how many of its expect lines never ran, so that a run cut short is not
    // taken for one whose checks passed. Empty when no expect line was left or the script loops.
    std::string unfinishedNote() const;
    // The program saves a script's screenshot when the frame has been drawn, after the action
    // ran: a failure then stops the run, naming the action's line.
    void screenshotFailed(const std::string& path, const std::string& reason);

private:
    // Starts `action`; true when the runner may go straight on to the next one.
    bool start(const ScenarioAction& action, uint32_t nowMs);
    bool evaluate(const ScenarioAction& action);
    void fail(const ScenarioAction& action, const std::string& what);

    Scenario scenario;
    SimulatedPerformer* performer = nullptr;
    ScenarioHost& host;
    size_t index = 0;
    bool waiting = false;          // the action at `index` runs
    bool waitForPerformer = false; // ... until the performer is idle
    uint32_t waitStartMs = 0;      // ... or until this much time has passed
    uint32_t waitMs = 0;
    uint32_t gestureCount = 0;     // seeds performances that name no seed
    std::map<std::string, std::string> lastAnswers;  // query -> its answer at its last expect
    bool done = false;
    int screenshotLine = 0;        // the line of the last screenshot action
    std::string failure;
};
