#include "common/app/scenario_script.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "common/files/parent_folders.h"
#include "common/sensor/simulated_performer.h"

namespace {

constexpr uint32_t DEFAULT_REST_MS = 800;
constexpr uint32_t DEFAULT_MOVE_MS = 500;
constexpr uint32_t DEFAULT_REACH_MS = 400;
constexpr float REACH_FORWARD = 0.35f;  // engages a pointer (> 0.2 m)
constexpr float REACH_BACK = 0.02f;     // the rest pose's reach
constexpr size_t MAX_SCRIPT_BYTES = 4u << 20;
constexpr size_t MAX_TOKEN_SHOWN = 40;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// A token as it may be shown in an error message: printable ASCII only, bounded.
std::string shown(const std::string& token) {
    std::string out;
    for (char c : token) {
        if (out.size() >= MAX_TOKEN_SHOWN) {
            out += "...";
            break;
        }
        unsigned char u = static_cast<unsigned char>(c);
        out += (u >= 32 && u < 127) ? c : '?';
    }
    return out;
}

struct LineReader {
    const std::string& line;
    size_t pos = 0;

    explicit LineReader(const std::string& l) : line(l) {}
    void skipBlank() {
        while (pos < line.size() && isBlank(line[pos])) ++pos;
    }
    bool atEnd() {
        skipBlank();
        return pos >= line.size();
    }
    std::string token() {
        skipBlank();
        size_t start = pos;
        while (pos < line.size() && !isBlank(line[pos])) ++pos;
        return line.substr(start, pos - start);
    }
    // The rest of the line, trimmed; one pair of surrounding double quotes is removed.
    std::string rest() {
        skipBlank();
        size_t end = line.size();
        while (end > pos && isBlank(line[end - 1])) --end;
        std::string r = line.substr(pos, end - pos);
        pos = line.size();
        if (r.size() >= 2 && r.front() == '"' && r.back() == '"') r = r.substr(1, r.size() - 2);
        return r;
    }
};

bool parseNumber(const std::string& token, double lo, double hi, double& out) {
    if (token.empty() || token.size() > 32) return false;
    for (char c : token) {
        bool ok = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
        if (!ok) return false;  // no hex, inf or nan
    }
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(token.c_str(), &end);
    if (end != token.c_str() + token.size() || errno != 0 || !std::isfinite(v)) return false;
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

bool parseHand(const std::string& token, bool allowBoth, int& hand) {
    if (token == "left") {
        hand = 0;
    } else if (token == "right") {
        hand = 1;
    } else if (allowBoth && token == "both") {
        hand = SCENARIO_BOTH_HANDS;
    } else {
        return false;
    }
    return true;
}

struct NamedKey {
    const char* name;
    int code;
    bool special;
};

const NamedKey NAMED_KEYS[] = {
    {"space", ' ', false},      {"enter", 13, false},       {"return", 13, false},
    {"escape", 27, false},      {"esc", 27, false},         {"tab", 9, false},
    {"backspace", 8, false},    {"delete", 127, false},     {"left", SCENARIO_KEY_LEFT, true},
    {"up", SCENARIO_KEY_UP, true}, {"right", SCENARIO_KEY_RIGHT, true}, {"down", SCENARIO_KEY_DOWN, true},
    {"pageup", SCENARIO_KEY_PAGE_UP, true}, {"pagedown", SCENARIO_KEY_PAGE_DOWN, true},
    {"home", SCENARIO_KEY_HOME, true},      {"end", SCENARIO_KEY_END, true},
    {"insert", SCENARIO_KEY_INSERT, true},
};

// "l", "1", "+", "space", "up", "ctrl+up", "shift+alt+f5".
bool parseKey(std::string token, ScenarioAction& action, std::string& problem) {
    int modifiers = 0;
    while (token.size() > 1) {
        size_t plus = token.find('+');
        if (plus == std::string::npos || plus == 0) break;
        std::string mod = token.substr(0, plus);
        if (mod == "ctrl") {
            modifiers |= SCENARIO_MOD_CTRL;
        } else if (mod == "shift") {
            modifiers |= SCENARIO_MOD_SHIFT;
        } else if (mod == "alt") {
            modifiers |= SCENARIO_MOD_ALT;
        } else {
            problem = "unknown key modifier '" + shown(mod) + "'";
            return false;
        }
        token = token.substr(plus + 1);
    }
    if (token.size() == 1) {
        unsigned char c = static_cast<unsigned char>(token[0]);
        if (c < 33 || c > 126) {
            problem = "key must be a printable character or a key name";
            return false;
        }
        if (modifiers != 0) {
            problem = "modifiers go with special keys only";
            return false;
        }
        action.kind = ScenarioActionKind::KEY;
        action.key = c;
        return true;
    }
    for (const NamedKey& k : NAMED_KEYS) {
        if (token == k.name) {
            if (!k.special && modifiers != 0) {
                problem = "modifiers go with special keys only";
                return false;
            }
            action.kind = k.special ? ScenarioActionKind::SPECIAL_KEY : ScenarioActionKind::KEY;
            action.key = k.code;
            action.modifiers = modifiers;
            return true;
        }
    }
    if (token.size() >= 2 && token.size() <= 3 && token[0] == 'f') {
        double n = 0;
        if (parseNumber(token.substr(1), 1, 12, n) && n == std::floor(n)) {
            action.kind = ScenarioActionKind::SPECIAL_KEY;
            action.key = SCENARIO_KEY_F1 + static_cast<int>(n) - 1;
            action.modifiers = modifiers;
            return true;
        }
    }
    problem = "unknown key '" + shown(token) + "'";
    return false;
}

bool parseCompare(const std::string& token, ScenarioCompare& compare) {
    static const struct {
        const char* text;
        ScenarioCompare compare;
    } ops[] = {{"==", ScenarioCompare::EQUAL},        {"=", ScenarioCompare::EQUAL},
               {"!=", ScenarioCompare::NOT_EQUAL},    {"<", ScenarioCompare::LESS},
               {"<=", ScenarioCompare::LESS_EQUAL},   {">", ScenarioCompare::GREATER},
               {">=", ScenarioCompare::GREATER_EQUAL}, {"~", ScenarioCompare::CONTAINS}};
    for (const auto& op : ops) {
        if (token == op.text) {
            compare = op.compare;
            return true;
        }
    }
    return false;
}

const char* compareText(ScenarioCompare c) {
    switch (c) {
    case ScenarioCompare::EQUAL: return "";
    case ScenarioCompare::NOT_EQUAL: return "!= ";
    case ScenarioCompare::LESS: return "< ";
    case ScenarioCompare::LESS_EQUAL: return "<= ";
    case ScenarioCompare::GREATER: return "> ";
    case ScenarioCompare::GREATER_EQUAL: return ">= ";
    case ScenarioCompare::CONTAINS: return "containing ";
    }
    return "";
}

// Query names are the program's: "tool", "mode", "message", "sets", "gestures", "strokes",
// and whatever else a program answers (lower-case letters, digits and '_').
bool isQuery(const std::string& q) {
    if (q.empty() || q.size() > 32) return false;
    for (char c : q) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

// Parses one non-blank, non-comment line into `action`; `problem` says what is wrong.
bool parseLine(LineReader& in, ScenarioAction& action, std::string& problem) {
    const std::string word = in.token();
    double n = 0;
    auto duration = [&](bool required, uint32_t fallback) {
        if (in.atEnd()) {
            if (required) {
                problem = "'" + word + "' needs a duration in milliseconds";
                return false;
            }
            action.durationMs = fallback;
            return true;
        }
        std::string t = in.token();
        if (!parseNumber(t, 0, SCENARIO_MAX_DURATION_MS, n)) {
            problem = "bad duration '" + shown(t) + "' (0.." + std::to_string(SCENARIO_MAX_DURATION_MS) + " ms)";
            return false;
        }
        action.durationMs = static_cast<uint32_t>(n);
        return true;
    };
    auto hand = [&](bool allowBoth) {
        std::string t = in.token();
        if (!parseHand(t, allowBoth, action.hand)) {
            problem = "'" + word + "' needs a hand (left, right" + (allowBoth ? ", both" : "") + "), got '" +
                      shown(t) + "'";
            return false;
        }
        return true;
    };
    auto coordinate = [&](float& out, const char* what) {
        std::string t = in.token();
        if (!parseNumber(t, -SCENARIO_MAX_COORDINATE, SCENARIO_MAX_COORDINATE, n)) {
            problem = std::string("bad ") + what + " '" + shown(t) + "' (metres, -3..3)";
            return false;
        }
        out = static_cast<float>(n);
        return true;
    };
    auto path = [&]() {
        action.text = in.rest();
        if (action.text.empty()) {
            problem = "'" + word + "' needs a file path";
            return false;
        }
        return true;
    };

    if (word == "rest") {
        action.kind = ScenarioActionKind::REST;
        if (!duration(false, DEFAULT_REST_MS)) return false;
    } else if (word == "hold" || word == "wait" || word == "dwell") {
        action.kind = ScenarioActionKind::HOLD;
        if (!duration(true, 0)) return false;
    } else if (word == "move") {
        action.kind = ScenarioActionKind::MOVE;
        if (!hand(false) || !coordinate(action.x, "x") || !coordinate(action.y, "y")) return false;
        if (!duration(false, DEFAULT_MOVE_MS)) return false;
    } else if (word == "reach") {
        action.kind = ScenarioActionKind::REACH;
        if (!hand(true)) return false;
        std::string t = in.token();
        if (t == "forward") {
            action.value = REACH_FORWARD;
        } else if (t == "back") {
            action.value = REACH_BACK;
        } else if (parseNumber(t, -0.3, 0.6, n)) {
            action.value = static_cast<float>(n);
        } else {
            problem = "reach needs forward, back or metres (-0.3..0.6), got '" + shown(t) + "'";
            return false;
        }
        if (!duration(false, DEFAULT_REACH_MS)) return false;
    } else if (word == "open" || word == "close") {
        action.kind = word == "open" ? ScenarioActionKind::OPEN : ScenarioActionKind::CLOSE;
        if (!hand(true)) return false;
    } else if (word == "gesture") {
        action.kind = ScenarioActionKind::GESTURE;
        action.text = in.token();
        if (findPerformerGesture(action.text) == nullptr) {
            std::string names;
            for (const std::string& g : SimulatedPerformer::gestureNames()) names += (names.empty() ? "" : ", ") + g;
            problem = "unknown gesture '" + shown(action.text) + "' (known: " + names + ")";
            return false;
        }
        // Optional: a seed, then the word "ready".
        if (!in.atEnd()) {
            std::string t = in.token();
            if (t != "ready") {
                if (!parseNumber(t, 0, 4294967295.0, n) || n != std::floor(n)) {
                    problem = "bad gesture seed '" + shown(t) + "' (a whole number, or 'ready')";
                    return false;
                }
                action.seed = static_cast<uint32_t>(n);
                action.hasSeed = true;
                t = in.atEnd() ? "" : in.token();
            }
            if (t == "ready") {
                action.endReady = true;
            } else if (!t.empty()) {
                problem = "expected 'ready' after the gesture seed, got '" + shown(t) + "'";
                return false;
            }
        }
    } else if (word == "key") {
        std::string t = in.token();
        if (t.empty()) {
            problem = "'key' needs a key";
            return false;
        }
        if (!parseKey(t, action, problem)) return false;
    } else if (word == "load" || word == "save" || word == "screenshot") {
        action.kind = word == "load"   ? ScenarioActionKind::LOAD
                      : word == "save" ? ScenarioActionKind::SAVE
                                       : ScenarioActionKind::SCREENSHOT;
        return path();
    } else if (word == "expect") {
        action.kind = ScenarioActionKind::EXPECT;
        action.query = in.token();
        if (!isQuery(action.query)) {
            problem = "expect needs a query such as tool, mode, message, sets, gestures or strokes, got '" +
                      shown(action.query) + "'";
            return false;
        }
        size_t save = in.pos;
        std::string op = in.token();
        if (!parseCompare(op, action.compare)) in.pos = save;
        bool quoted = false;
        in.skipBlank();
        quoted = in.pos < in.line.size() && in.line[in.pos] == '"';
        action.text = in.rest();
        if (action.text.empty() && !quoted) {
            problem = "expect " + action.query + " needs a value";
            return false;
        }
        // "previous": the answer the same query gave at its last expect, so that a script can
        // check that something grew or shrank without knowing by how much.
        action.againstPrevious = !quoted && action.text == "previous";
        bool numericQuery = action.query == "sets" || action.query == "gestures" || action.query == "strokes";
        bool needsNumber = numericQuery && !action.againstPrevious && action.compare != ScenarioCompare::CONTAINS;
        if (needsNumber && !parseNumber(action.text, -1e9, 1e9, n)) {
            problem = "expect " + action.query + " needs a number, got '" + shown(action.text) + "'";
            return false;
        }
        return true;
    } else if (word == "fault") {
        action.kind = ScenarioActionKind::FAULT;
        action.text = in.token();
        PerformerFault fault;
        if (!parsePerformerFault(action.text, fault)) {
            problem = "unknown fault '" + shown(action.text) +
                      "' (drop_skeleton, drop_colour, drop_depth, lose_person, second_person, hand_out)";
            return false;
        }
        if (!duration(true, 0)) return false;
    } else if (word == "echo") {
        action.kind = ScenarioActionKind::ECHO;
        action.text = in.rest();
        return true;
    } else if (word == "loop") {
        action.kind = ScenarioActionKind::LOOP;
    } else {
        problem = "unknown action '" + shown(word) + "'";
        return false;
    }
    if (!in.atEnd()) {
        problem = "unexpected '" + shown(in.token()) + "' after '" + word + "'";
        return false;
    }
    return true;
}

}  // namespace

bool parseScenario(const std::string& text, const std::string& fileName, Scenario& out, std::string& error) {
    out = Scenario{};
    out.fileName = fileName;
    const std::string where = "script " + fileName + ":";
    if (text.size() > MAX_SCRIPT_BYTES) {
        error = where + "1: script larger than " + std::to_string(MAX_SCRIPT_BYTES) + " bytes";
        return false;
    }
    size_t pos = 0;
    int lineNumber = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        LineReader in(line);
        if (in.atEnd() || line[in.pos] == '#') continue;
        if (line.find('\0') != std::string::npos) {
            error = where + std::to_string(lineNumber) + ": NUL byte in line";
            return false;
        }
        ScenarioAction action;
        action.line = lineNumber;
        std::string problem;
        if (!parseLine(in, action, problem)) {
            error = where + std::to_string(lineNumber) + ": " + problem;
            return false;
        }
        out.actions.push_back(std::move(action));
    }
    error.clear();
    return true;
}

bool loadScenarioFile(const std::string& path, Scenario& out, std::string& error) {
    // A folder opens as a stream that reads nothing: it would run as an empty script and pass.
    // (A pipe is fine: `--script <(generate)`.)
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = "script " + path + ": is a folder, not a file";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "script " + path + ": cannot open the file";
        return false;
    }
    // Read one byte past the limit at most, so that an endless source (/dev/zero) is refused as
    // too large instead of filling the memory.
    std::string content(MAX_SCRIPT_BYTES + 1, '\0');
    file.read(&content[0], static_cast<std::streamsize>(content.size()));
    if (file.bad()) {
        error = "script " + path + ": cannot read the file";
        return false;
    }
    content.resize(static_cast<size_t>(file.gcount()));
    return parseScenario(content, path, out, error);
}

bool loadDemoScenario(Scenario& out, std::string& error) {
    return parseScenario(demoScenarioText(), "<demo>", out, error);
}

ScenarioRunner::ScenarioRunner(const Scenario& s, SimulatedPerformer& p, ScenarioHost& h)
    : scenario(s), performer(&p), host(h) {
    done = scenario.actions.empty();
}

ScenarioRunner::ScenarioRunner(const Scenario& s, ScenarioHost& h) : scenario(s), host(h) {
    done = scenario.actions.empty();
}

const char* scenarioActionWord(ScenarioActionKind kind) {
    switch (kind) {
    case ScenarioActionKind::REST: return "rest";
    case ScenarioActionKind::HOLD: return "hold";
    case ScenarioActionKind::MOVE: return "move";
    case ScenarioActionKind::REACH: return "reach";
    case ScenarioActionKind::OPEN: return "open";
    case ScenarioActionKind::CLOSE: return "close";
    case ScenarioActionKind::GESTURE: return "gesture";
    case ScenarioActionKind::KEY:
    case ScenarioActionKind::SPECIAL_KEY: return "key";
    case ScenarioActionKind::LOAD: return "load";
    case ScenarioActionKind::SAVE: return "save";
    case ScenarioActionKind::SCREENSHOT: return "screenshot";
    case ScenarioActionKind::EXPECT: return "expect";
    case ScenarioActionKind::FAULT: return "fault";
    case ScenarioActionKind::ECHO: return "echo";
    case ScenarioActionKind::LOOP: return "loop";
    }
    return "?";
}

bool movesPerformer(ScenarioActionKind kind) {
    switch (kind) {
    case ScenarioActionKind::REST:
    case ScenarioActionKind::MOVE:
    case ScenarioActionKind::REACH:
    case ScenarioActionKind::OPEN:
    case ScenarioActionKind::CLOSE:
    case ScenarioActionKind::GESTURE:
    case ScenarioActionKind::FAULT: return true;
    default: return false;
    }
}

const ScenarioAction* firstPerformerAction(const Scenario& scenario) {
    for (const ScenarioAction& action : scenario.actions) {
        if (movesPerformer(action.kind)) return &action;
    }
    return nullptr;
}

int ScenarioRunner::currentLine() const {
    return index < scenario.actions.size() ? scenario.actions[index].line : 0;
}

std::string ScenarioRunner::unfinishedNote() const {
    if (done || failed() || index >= scenario.actions.size()) return "";
    size_t unchecked = 0;
    for (size_t i = index; i < scenario.actions.size(); ++i) {
        if (scenario.actions[i].kind == ScenarioActionKind::LOOP) return "";
        if (scenario.actions[i].kind == ScenarioActionKind::EXPECT) ++unchecked;
    }
    if (unchecked == 0) return "";
    return "script " + scenario.fileName + ":" + std::to_string(currentLine()) +
           ": the program ended here, before the script did; " + std::to_string(unchecked) +
           (unchecked == 1 ? " expect line from here on was" : " expect lines from here on were") + " not checked";
}

void ScenarioRunner::fail(const ScenarioAction& action, const std::string& what) {
    failure = "script " + scenario.fileName + ":" + std::to_string(action.line) + ": " + what;
}

void ScenarioRunner::screenshotFailed(const std::string& path, const std::string& reason) {
    if (!failure.empty()) return;  // the first failure is the one to tell
    failure = "script " + scenario.fileName + ":" + std::to_string(screenshotLine) +
              ": could not save a screenshot to '" + path + "': " + reason;
}

bool ScenarioRunner::evaluate(const ScenarioAction& action) {
    const std::string got = host.query(action.query);
    std::string want = action.text;
    if (action.againstPrevious) {
        auto last = lastAnswers.find(action.query);
        if (last == lastAnswers.end()) {
            fail(action, "no previous answer of " + action.query + " to compare with");
            return false;
        }
        want = last->second;
    }
    lastAnswers[action.query] = got;
    bool ok = false;
    double g = 0, w = 0;
    bool numeric = parseNumber(got, -1e12, 1e12, g) && parseNumber(want, -1e12, 1e12, w);
    switch (action.compare) {
    case ScenarioCompare::EQUAL: ok = numeric ? g == w : got == want; break;
    case ScenarioCompare::NOT_EQUAL: ok = numeric ? g != w : got != want; break;
    case ScenarioCompare::LESS: ok = numeric && g < w; break;
    case ScenarioCompare::LESS_EQUAL: ok = numeric && g <= w; break;
    case ScenarioCompare::GREATER: ok = numeric && g > w; break;
    case ScenarioCompare::GREATER_EQUAL: ok = numeric && g >= w; break;
    case ScenarioCompare::CONTAINS: ok = got.find(want) != std::string::npos; break;
    }
    if (!ok) {
        fail(action, "assertion failed: expected " + action.query + " " + compareText(action.compare) + want +
                         (action.againstPrevious ? " (previous)" : "") + ", got " +
                         (got.empty() ? std::string("nothing") : got));
    }
    return ok;
}

bool ScenarioRunner::start(const ScenarioAction& a, uint32_t nowMs) {
    auto waitFor = [&](uint32_t ms, bool performerToo) {
        waiting = true;
        waitForPerformer = performerToo;
        waitStartMs = nowMs;
        waitMs = ms;
        return false;
    };
    auto eachHand = [&](auto fn) {
        for (int hand = 0; hand < 2; ++hand) {
            if (a.hand == hand || a.hand == SCENARIO_BOTH_HANDS) fn(hand);
        }
    };
    if (performer == nullptr && movesPerformer(a.kind)) {
        fail(a, std::string("'") + scenarioActionWord(a.kind) +
                    "' needs the simulated performer, and the frames come from a recording");
        return false;
    }
    switch (a.kind) {
    case ScenarioActionKind::REST:
        performer->rest(a.durationMs);
        return waitFor(a.durationMs, true);
    case ScenarioActionKind::HOLD:
        return waitFor(a.durationMs, false);
    case ScenarioActionKind::MOVE:
        performer->moveWrist(a.hand, a.x, a.y, a.durationMs);
        return waitFor(a.durationMs, true);
    case ScenarioActionKind::REACH:
        eachHand([&](int hand) { performer->setReach(hand, a.value, a.durationMs); });
        return waitFor(a.durationMs, true);
    case ScenarioActionKind::OPEN:
    case ScenarioActionKind::CLOSE: {
        HandShape shape = a.kind == ScenarioActionKind::OPEN ? HandShape::OPEN : HandShape::CLOSED;
        eachHand([&](int hand) { performer->setHandShape(hand, shape); });
        return true;
    }
    case ScenarioActionKind::GESTURE: {
        ++gestureCount;
        uint32_t seed = a.hasSeed ? a.seed : performerHash(0x5C3A41u, gestureCount);
        if (!performer->performGesture(a.text, seed, a.endReady)) {
            fail(a, "unknown gesture '" + a.text + "'");
            return false;
        }
        return waitFor(0, true);
    }
    case ScenarioActionKind::KEY:
        host.pressKey(static_cast<unsigned char>(a.key));
        return false;
    case ScenarioActionKind::SPECIAL_KEY:
        host.pressSpecialKey(a.key, a.modifiers);
        return false;
    case ScenarioActionKind::LOAD:
        if (!host.loadGestureSets(a.text)) fail(a, "could not load gesture sets from '" + a.text + "'");
        return false;
    case ScenarioActionKind::SAVE:
    case ScenarioActionKind::SCREENSHOT: {
        std::string error;
        const bool save = a.kind == ScenarioActionKind::SAVE;
        const std::string what = save ? "could not save gesture sets to '" : "could not save a screenshot to '";
        if (!save) screenshotLine = a.line;
        if (!host.makeOutputFolders(a.text, error)) {
            fail(a, what + a.text + "': " + error);
        } else if (!(save ? host.saveGestureSets(a.text) : host.saveScreenshot(a.text))) {
            fail(a, what + a.text + "'");
        }
        return false;
    }
    case ScenarioActionKind::EXPECT:
        return evaluate(a);
    case ScenarioActionKind::FAULT: {
        PerformerFault fault;
        if (parsePerformerFault(a.text, fault)) performer->injectFault(fault, a.durationMs);
        return true;
    }
    case ScenarioActionKind::ECHO:
        std::printf("script %s:%d: %s\n", scenario.fileName.c_str(), a.line, a.text.c_str());
        std::fflush(stdout);
        return true;
    case ScenarioActionKind::LOOP:
        return true;  // the caller rewinds
    }
    return true;
}

bool ScenarioHost::makeOutputFolders(const std::string& path, std::string& error) {
    return makeParentFolders(path, error);
}

void ScenarioRunner::step(uint32_t nowMs) {
    if (done || failed()) return;
    bool rewound = false;
    // Bounded: a script of instant actions cannot spin forever within one frame.
    for (size_t guard = 0; guard <= scenario.actions.size() + 1; ++guard) {
        if (waiting) {
            bool timeUp = nowMs - waitStartMs >= waitMs;  // unsigned: survives the clock's wrap
            if (!timeUp || (waitForPerformer && performer != nullptr && performer->busy())) return;
            waiting = false;
            ++index;
        }
        if (index >= scenario.actions.size()) {
            done = true;
            return;
        }
        const ScenarioAction& action = scenario.actions[index];
        if (action.kind == ScenarioActionKind::LOOP) {
            if (rewound) return;  // a loop of instant actions: go on next frame
            rewound = true;
            index = 0;
            continue;
        }
        bool goOn = start(action, nowMs);
        if (failed()) return;
        if (waiting) continue;  // zero-length waits finish at once
        ++index;
        if (!goOn) return;      // a program action: let the program see it first
    }
}
