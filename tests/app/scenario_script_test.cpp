// Scenario scripts: the parser (every documented action, errors with line numbers, any
// bytes), and the runner against a fake program and a real simulated performer.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/app/scenario_script.h"
#include "common/sensor/simulated_performer.h"

namespace {

class FakeHost : public ScenarioHost {
public:
    void pressKey(unsigned char key) override { calls.push_back("key " + std::string(1, static_cast<char>(key))); }
    void pressSpecialKey(int key, int modifiers) override {
        calls.push_back("special " + std::to_string(key) + " " + std::to_string(modifiers));
    }
    bool loadGestureSets(const std::string& path) override {
        calls.push_back("load " + path);
        return path != "missing.bin";
    }
    bool saveGestureSets(const std::string& path) override {
        calls.push_back("save " + path);
        return true;
    }
    bool saveScreenshot(const std::string& path) override {
        calls.push_back("screenshot " + path);
        return true;
    }
    std::string query(const std::string& what) override { return answers[what]; }

    std::vector<std::string> calls;
    std::map<std::string, std::string> answers;
};

Scenario parseOk(const std::string& text) {
    Scenario s;
    std::string error;
    EXPECT_TRUE(parseScenario(text, "t.scn", s, error)) << error;
    return s;
}

std::string parseError(const std::string& text) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(parseScenario(text, "bad.scn", s, error)) << text;
    return error;
}

// Runs frames of `stepMs` until `untilMs` or the runner stops; the program's order: the
// script steps, then the sensor advances.
uint32_t run(ScenarioRunner& runner, SimulatedPerformer& performer, uint32_t fromMs, uint32_t untilMs,
             uint32_t stepMs = 33) {
    uint32_t t = fromMs;
    for (; t <= untilMs; t += stepMs) {
        runner.step(t);
        performer.advance(t);
        if (runner.finished() || runner.failed()) break;
    }
    return t;
}

}  // namespace

TEST(ScenarioParser, AcceptsEveryDocumentedAction) {
    Scenario s = parseOk(
        "# a comment\n"
        "\n"
        "rest\n"
        "rest 1200\n"
        "hold 300\n"
        "wait 10\n"
        "dwell 2000\n"
        "move right 0.25 -0.1\n"
        "move left -0.3 0.2 700\n"
        "reach right forward\n"
        "reach left back 250\n"
        "reach both 0.3 100\n"
        "open left\n"
        "close both\n"
        "gesture wave\n"
        "gesture right_circle 42\n"
        "key l\n"
        "key 3\n"
        "key space\n"
        "key escape\n"
        "key up\n"
        "key ctrl+down\n"
        "key f5\n"
        "load sets/my sets.bin\n"
        "save out.bin\n"
        "screenshot out/shot.png\n"
        "expect tool StraightLine2D\n"
        "expect mode == ModePainting\n"
        "expect message \"Loaded 2 gesture sets from disk...\"\n"
        "expect message ~ Loaded\n"
        "expect sets 2\n"
        "expect gestures >= 3\n"
        "expect strokes != 0\n"
        "expect max_height > 5\n"
        "fault drop_depth 500\n"
        "fault second_person 2000\n"
        "echo hello there\n"
        "loop\r\n");
    using K = ScenarioActionKind;
    const std::vector<K> kinds = {K::REST, K::REST, K::HOLD, K::HOLD, K::HOLD, K::MOVE, K::MOVE, K::REACH,
                                  K::REACH, K::REACH, K::OPEN, K::CLOSE, K::GESTURE, K::GESTURE, K::KEY,
                                  K::KEY, K::KEY, K::KEY, K::SPECIAL_KEY, K::SPECIAL_KEY, K::SPECIAL_KEY,
                                  K::LOAD, K::SAVE, K::SCREENSHOT, K::EXPECT, K::EXPECT, K::EXPECT, K::EXPECT,
                                  K::EXPECT, K::EXPECT, K::EXPECT, K::EXPECT, K::FAULT, K::FAULT, K::ECHO, K::LOOP};
    ASSERT_EQ(s.actions.size(), kinds.size());
    for (size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(s.actions[i].kind, kinds[i]) << "action " << i;
    const auto& a = s.actions;
    EXPECT_EQ(a[0].line, 3);
    EXPECT_EQ(a[0].durationMs, 800u);  // default rest
    EXPECT_EQ(a[1].durationMs, 1200u);
    EXPECT_EQ(a[5].hand, 1);
    EXPECT_FLOAT_EQ(a[5].x, 0.25f);
    EXPECT_FLOAT_EQ(a[5].y, -0.1f);
    EXPECT_EQ(a[6].hand, 0);
    EXPECT_EQ(a[6].durationMs, 700u);
    EXPECT_GT(a[7].value, 0.2f);  // forward engages a pointer
    EXPECT_LT(a[8].value, 0.1f);
    EXPECT_EQ(a[9].hand, SCENARIO_BOTH_HANDS);
    EXPECT_FALSE(a[12].hasSeed);
    EXPECT_TRUE(a[13].hasSeed);
    EXPECT_EQ(a[13].seed, 42u);
    EXPECT_EQ(a[14].key, 'l');
    EXPECT_EQ(a[16].key, ' ');
    EXPECT_EQ(a[17].key, 27);
    EXPECT_EQ(a[18].key, SCENARIO_KEY_UP);
    EXPECT_EQ(a[19].key, SCENARIO_KEY_DOWN);
    EXPECT_EQ(a[19].modifiers, SCENARIO_MOD_CTRL);
    EXPECT_EQ(a[20].key, 5);
    EXPECT_EQ(a[21].text, "sets/my sets.bin");
    EXPECT_EQ(a[24].query, "tool");
    EXPECT_EQ(a[24].text, "StraightLine2D");
    EXPECT_EQ(a[26].text, "Loaded 2 gesture sets from disk...");
    EXPECT_EQ(a[27].compare, ScenarioCompare::CONTAINS);
    EXPECT_EQ(a[29].compare, ScenarioCompare::GREATER_EQUAL);
    EXPECT_EQ(a[31].query, "max_height");  // programs may answer names of their own
    EXPECT_EQ(a[32].text, "drop_depth");
    EXPECT_EQ(a[32].durationMs, 500u);
    EXPECT_EQ(a[34].text, "hello there");
    EXPECT_EQ(a[35].line, 38);
}

TEST(ScenarioParser, ErrorsNameTheFileAndLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"rest\njump 3\n", "script bad.scn:2: unknown action 'jump'"},
        {"\n\nmove middle 0 0\n", "script bad.scn:3: 'move' needs a hand (left, right), got 'middle'"},
        {"move right 0.1\n", "script bad.scn:1: bad y '' (metres, -3..3)"},
        {"move right 9 0\n", "script bad.scn:1: bad x '9' (metres, -3..3)"},
        {"hold\n", "script bad.scn:1: 'hold' needs a duration in milliseconds"},
        {"hold -5\n", "script bad.scn:1: bad duration '-5' (0..600000 ms)"},
        {"hold 1e12\n", "script bad.scn:1: bad duration '1e12' (0..600000 ms)"},
        {"hold nan\n", "script bad.scn:1: bad duration 'nan' (0..600000 ms)"},
        {"hold 0x10\n", "script bad.scn:1: bad duration '0x10' (0..600000 ms)"},
        {"rest 100 200\n", "script bad.scn:1: unexpected '200' after 'rest'"},
        {"gesture moonwalk\n", nullptr},
        {"gesture wave 1.5\n", "script bad.scn:1: bad gesture seed '1.5' (a whole number, or 'ready')"},
        {"reach right far\n", "script bad.scn:1: reach needs forward, back or metres (-0.3..0.6), got 'far'"},
        {"key\n", "script bad.scn:1: 'key' needs a key"},
        {"key hyper+up\n", "script bad.scn:1: unknown key modifier 'hyper'"},
        {"key ctrl+l\n", "script bad.scn:1: modifiers go with special keys only"},
        {"key f13\n", "script bad.scn:1: unknown key 'f13'"},
        {"load   \n", "script bad.scn:1: 'load' needs a file path"},
        {"expect Tool Brush2D\n", nullptr},
        {"expect tool-name x\n", nullptr},
        {"expect strokes many\n", "script bad.scn:1: expect strokes needs a number, got 'many'"},
        {"expect tool\n", "script bad.scn:1: expect tool needs a value"},
        {"fault meteor 100\n", nullptr},
        {"fault drop_depth\n", "script bad.scn:1: 'fault' needs a duration in milliseconds"},
        {"open\n", "script bad.scn:1: 'open' needs a hand (left, right, both), got ''"},
        {"loop now\n", "script bad.scn:1: unexpected 'now' after 'loop'"},
        {"rest\n\xff\xfe\x01\n", "script bad.scn:2: unknown action '\x3f\x3f\x3f'"},
    };
    for (const auto& c : cases) {
        std::string error = parseError(c.text);
        if (c.error != nullptr) {
            EXPECT_EQ(error, c.error);
        } else {
            EXPECT_EQ(error.rfind("script bad.scn:", 0), 0u) << error;
        }
    }
    EXPECT_NE(parseError("gesture moonwalk\n").find("right_circle"), std::string::npos);  // lists the names
}

TEST(ScenarioParser, GestureTakesASeedAndAReadyEnding) {
    Scenario s = parseOk("gesture wave ready\ngesture push 7 ready\ngesture clap 8\n");
    ASSERT_EQ(s.actions.size(), 3u);
    EXPECT_TRUE(s.actions[0].endReady);
    EXPECT_FALSE(s.actions[0].hasSeed);
    EXPECT_TRUE(s.actions[1].endReady);
    EXPECT_EQ(s.actions[1].seed, 7u);
    EXPECT_FALSE(s.actions[2].endReady);
    EXPECT_EQ(parseError("gesture wave 7 soon\n"),
              "script bad.scn:1: expected 'ready' after the gesture seed, got 'soon'");
    EXPECT_EQ(parseError("gesture wave ready 7\n"), "script bad.scn:1: unexpected '7' after 'gesture'");
}

TEST(ScenarioParser, SurvivesArbitraryBytes) {
    const std::string valid =
        "rest 500\nmove right 0.2 0.1 300\nreach right forward\nclose right\ngesture wave 3\n"
        "key ctrl+up\nexpect strokes >= 1\nfault lose_person 100\nload a.bin\necho x\nloop\n";
    std::mt19937 random(12345);
    int parsed = 0, refused = 0;  // both kinds must occur, or one branch's checks never ran
    for (int round = 0; round < 3000; ++round) {
        std::string text = valid;
        int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            size_t at = random() % (text.size() + 1);
            char byte = static_cast<char>(random() % 256);
            switch (random() % 3) {
            case 0: text.insert(text.begin() + static_cast<long>(at), byte); break;
            case 1: if (at < text.size()) text[at] = byte; break;
            default: if (at < text.size()) text.erase(at, 1 + random() % 5); break;
            }
        }
        Scenario s;
        std::string error;
        if (parseScenario(text, "fuzz.scn", s, error)) {
            ++parsed;
            for (const ScenarioAction& a : s.actions) {
                ASSERT_LE(a.durationMs, SCENARIO_MAX_DURATION_MS);
                ASSERT_LE(std::fabs(a.x), SCENARIO_MAX_COORDINATE);
            }
        } else {
            ++refused;
            ASSERT_EQ(error.rfind("script fuzz.scn:", 0), 0u) << error;
        }
    }
    EXPECT_GT(parsed, 0);
    EXPECT_GT(refused, 0);
    Scenario s;
    std::string error;
    EXPECT_TRUE(parseScenario("", "empty.scn", s, error));
    EXPECT_TRUE(s.actions.empty());
    EXPECT_FALSE(parseScenario(std::string("rest\0 5\n", 8), "nul.scn", s, error));
    EXPECT_EQ(error, "script nul.scn:1: NUL byte in line");
    EXPECT_FALSE(loadScenarioFile("/nonexistent/dir/x.scn", s, error));
    EXPECT_EQ(error, "script /nonexistent/dir/x.scn: cannot open the file");
    // A folder opens as an empty stream: it must not run as an empty script that passes.
    EXPECT_FALSE(loadScenarioFile("/tmp", s, error));
    EXPECT_EQ(error, "script /tmp: is a folder, not a file");
}

TEST(ScenarioParser, DemoAndExampleScriptsParse) {
    Scenario demo;
    std::string error;
    ASSERT_TRUE(loadDemoScenario(demo, error)) << error;
    ASSERT_FALSE(demo.actions.empty());
    EXPECT_EQ(demo.actions.back().kind, ScenarioActionKind::LOOP);
    int gestures = 0;
    for (const ScenarioAction& a : demo.actions) gestures += a.kind == ScenarioActionKind::GESTURE;
    EXPECT_GE(gestures, 5);

    Scenario terrain;
    ASSERT_TRUE(loadTerrainDemoScenario(terrain, error)) << error;
    EXPECT_EQ(terrain.actions.back().kind, ScenarioActionKind::LOOP);
    int keys = 0;
    for (const ScenarioAction& a : terrain.actions) keys += a.kind == ScenarioActionKind::KEY;
    EXPECT_GE(keys, 6);  // it visits the tools

    const std::string folder = std::string(SOURCE_DIR) + "/scenarios";
    DIR* dir = opendir(folder.c_str());
    ASSERT_NE(dir, nullptr) << folder;
    int scripts = 0;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() < 5 || name.substr(name.size() - 4) != ".scn") continue;
        Scenario s;
        EXPECT_TRUE(loadScenarioFile(folder + "/" + name, s, error)) << error;
        ++scripts;
    }
    closedir(dir);
    EXPECT_GE(scripts, 3);
}

TEST(ScenarioRunner, PlaysActionsInOrderAndWaitsForTimedOnes) {
    Scenario s = parseOk(
        "key p\n"
        "key 3\n"
        "move right 0.3 0.2 500\n"
        "close right\n"
        "key up\n"
        "hold 300\n"
        "screenshot a.png\n");
    SimulatedPerformer performer(1);
    FakeHost host;
    ScenarioRunner runner(s, performer, host);
    runner.step(0);  // one program action per frame
    performer.advance(0);
    EXPECT_EQ(host.calls, std::vector<std::string>{"key p"});
    runner.step(33);
    performer.advance(33);
    EXPECT_EQ(host.calls.size(), 2u);
    EXPECT_FALSE(performer.busy());  // the move waits for the next frame
    runner.step(66);
    performer.advance(66);
    EXPECT_TRUE(performer.busy());
    uint32_t t = run(runner, performer, 99, 500);
    EXPECT_EQ(host.calls.size(), 2u);  // still moving: nothing else yet
    EXPECT_EQ(performer.handShape(HAND_RIGHT), HandShape::OPEN);
    t = run(runner, performer, t, 700);
    EXPECT_EQ(performer.handShape(HAND_RIGHT), HandShape::CLOSED);
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[2], "special 101 0");
    t = run(runner, performer, t, 5000);
    EXPECT_TRUE(runner.finished());
    EXPECT_FALSE(runner.failed());
    EXPECT_EQ(host.calls.back(), "screenshot a.png");
    EXPECT_GE(t, 833u);  // 500 ms move then 300 ms hold
    Vec3 w = jointPosition(performer.currentSkeleton(), JOINT_WRIST_RIGHT);
    EXPECT_NEAR(w.x, 0.3f, 0.01f);
}

TEST(ScenarioRunner, PreviousComparesWithTheSameQuerysLastAnswer) {
    SimulatedPerformer performer(1);
    FakeHost host;
    host.answers = {{"max_height", "5"}};
    {
        Scenario s = parseOk("expect max_height > 1\nhold 100\nexpect max_height < previous\n"
                             "expect max_height == previous\n");
        ScenarioRunner runner(s, performer, host);
        runner.step(0);
        host.answers["max_height"] = "3.5";
        runner.step(200);
        EXPECT_TRUE(runner.finished());
        EXPECT_FALSE(runner.failed()) << runner.failureMessage();
    }
    {
        Scenario s = parseOk("expect max_height > 1\nexpect max_height < previous\n");
        ScenarioRunner runner(s, performer, host);
        runner.step(0);
        EXPECT_EQ(runner.failureMessage(), "script t.scn:2: assertion failed: expected max_height < 3.5 (previous), got 3.5");
    }
    {
        Scenario s = parseOk("expect tool != previous\n");  // nothing to compare with yet
        ScenarioRunner runner(s, performer, host);
        runner.step(0);
        EXPECT_EQ(runner.failureMessage(), "script t.scn:1: no previous answer of tool to compare with");
    }
    {
        Scenario s = parseOk("expect message \"previous\"\n");  // quoted: the word itself
        EXPECT_FALSE(s.actions[0].againstPrevious);
    }
}

TEST(ScenarioRunner, AssertionsCompareTextAndNumbers) {
    SimulatedPerformer performer(1);
    FakeHost host;
    host.answers = {{"tool", "Brush2D"}, {"strokes", "3"}, {"message", "Loaded 2 gesture sets from disk..."}};
    {
        Scenario s = parseOk("expect tool Brush2D\nexpect strokes 3.0\nexpect strokes > 2\nexpect strokes <= 3\n"
                             "expect message ~ gesture sets\nexpect tool != Rubber2D\n");
        ScenarioRunner runner(s, performer, host);
        runner.step(0);
        EXPECT_TRUE(runner.finished());
        EXPECT_FALSE(runner.failed()) << runner.failureMessage();
    }
    {
        Scenario s = parseOk("expect tool Brush2D\n\nexpect tool StraightLine2D\nkey 1\n");
        ScenarioRunner runner(s, performer, host);
        runner.step(0);
        EXPECT_TRUE(runner.failed());
        EXPECT_EQ(runner.failureMessage(), "script t.scn:3: assertion failed: expected tool StraightLine2D, got Brush2D");
        runner.step(33);
        EXPECT_TRUE(host.calls.empty());  // nothing runs after a failure
    }
    {
        Scenario s = parseOk("expect strokes > 5\n");
        ScenarioRunner runner(s, performer, host);
        runner.step(0);
        EXPECT_EQ(runner.failureMessage(), "script t.scn:1: assertion failed: expected strokes > 5, got 3");
    }
    {
        Scenario s = parseOk("expect sets 1\n");  // the host has no answer
        ScenarioRunner runner(s, performer, host);
        runner.step(0);
        EXPECT_EQ(runner.failureMessage(), "script t.scn:1: assertion failed: expected sets 1, got nothing");
    }
}

TEST(ScenarioRunner, FailedFileActionsStopTheRun) {
    Scenario s = parseOk("load good.bin\nload missing.bin\nkey 1\n");
    SimulatedPerformer performer(1);
    FakeHost host;
    ScenarioRunner runner(s, performer, host);
    run(runner, performer, 0, 1000);
    EXPECT_TRUE(runner.failed());
    EXPECT_EQ(runner.failureMessage(), "script t.scn:2: could not load gesture sets from 'missing.bin'");
    EXPECT_EQ(host.calls.size(), 2u);
}

// Output paths may name folders a fresh build folder does not have: they are made first. A
// folder that cannot be made (a file stands in its place) stops the run before the program is
// asked to write.
TEST(ScenarioRunner, SaveAndScreenshotMakeTheirFoldersFirst) {
    const std::string base = std::string(BINARY_DIR) + "/scenario_runner_folders";
    std::filesystem::remove_all(base);
    const std::string sets = base + "/artefacts/deep/sets.bin";
    const std::string shot = base + "/shots/end.png";
    Scenario s = parseOk("save " + sets + "\nscreenshot " + shot + "\n");
    SimulatedPerformer performer(1);
    FakeHost host;
    ScenarioRunner runner(s, performer, host);
    run(runner, performer, 0, 500);
    EXPECT_FALSE(runner.failed()) << runner.failureMessage();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"save " + sets, "screenshot " + shot}));
    EXPECT_TRUE(std::filesystem::is_directory(base + "/artefacts/deep"));
    EXPECT_TRUE(std::filesystem::is_directory(base + "/shots"));

    FILE* blocker = std::fopen((base + "/file").c_str(), "w");
    ASSERT_NE(blocker, nullptr);
    std::fclose(blocker);
    Scenario blocked = parseOk("save " + base + "/file/sets.bin\nkey 1\n");
    FakeHost host2;
    ScenarioRunner runner2(blocked, performer, host2);
    run(runner2, performer, 0, 500);
    EXPECT_TRUE(runner2.failed());
    EXPECT_NE(runner2.failureMessage().find("script t.scn:1: could not save gesture sets to '" + base +
                                            "/file/sets.bin': cannot create the folder '" + base + "/file'"),
              std::string::npos)
        << runner2.failureMessage();
    EXPECT_TRUE(host2.calls.empty());
    std::filesystem::remove_all(base);
}

TEST(ScenarioRunner, GesturesRunToTheirEndAndLoopsRepeat) {
    Scenario s = parseOk("gesture right_raise\nkey a\nloop\n");
    SimulatedPerformer performer(1);
    FakeHost host;
    ScenarioRunner runner(s, performer, host);
    uint32_t t = 0;
    for (; t < 5000; t += 33) {
        runner.step(t);
        performer.advance(t);
        if (!host.calls.empty()) break;
    }
    // The key came only after the gesture (at least 1200 ms) had finished.
    EXPECT_GE(t, 1200u);
    EXPECT_FALSE(performer.busy());
    run(runner, performer, t + 33, 12000);
    EXPECT_FALSE(runner.finished());  // loops forever
    EXPECT_GE(host.calls.size(), 3u);
}

TEST(ScenarioRunner, FaultsAndHandsReachThePerformer) {
    Scenario s = parseOk("fault drop_depth 200\nclose both\nhold 100\nopen left\n");
    SimulatedPerformer performer(1);
    FakeHost host;
    ScenarioRunner runner(s, performer, host);
    runner.step(0);
    performer.advance(0);
    EXPECT_TRUE(performer.faultActive(PerformerFault::DROP_DEPTH));
    EXPECT_EQ(performer.handShape(HAND_LEFT), HandShape::CLOSED);
    EXPECT_EQ(performer.handShape(HAND_RIGHT), HandShape::CLOSED);
    run(runner, performer, 33, 1000);
    EXPECT_TRUE(runner.finished());
    EXPECT_EQ(performer.handShape(HAND_LEFT), HandShape::OPEN);
    EXPECT_EQ(performer.handShape(HAND_RIGHT), HandShape::CLOSED);
    performer.advance(1100);
    EXPECT_FALSE(performer.faultActive(PerformerFault::DROP_DEPTH));
}

TEST(ScenarioRunner, DemoLastsAboutAMinuteAndLoops) {
    Scenario demo;
    std::string error;
    ASSERT_TRUE(loadDemoScenario(demo, error)) << error;
    SimulatedPerformer performer(1);
    FakeHost host;
    ScenarioRunner runner(demo, performer, host);
    int previousLine = 0;
    uint32_t loopedAt = 0;
    for (uint32_t t = 0; t < 120000 && loopedAt == 0; t += 33) {
        runner.step(t);
        performer.advance(t);
        ASSERT_FALSE(runner.failed()) << runner.failureMessage();
        if (runner.currentLine() < previousLine) loopedAt = t;
        previousLine = runner.currentLine();
    }
    EXPECT_GE(loopedAt, 45000u);
    EXPECT_LE(loopedAt, 80000u);
    EXPECT_FALSE(runner.finished());
    // It pressed keys for the program on the way (screens, tools, undo, tilt).
    EXPECT_GE(host.calls.size(), 6u);
}

// On recorded input there is no performer: program actions and waits run as usual, the first
// action that would move the performer is found before the run, and reaching one anyway stops
// the run with its line.
TEST(ScenarioRunner, RunsProgramActionsWithoutAPerformer) {
    Scenario programOnly = parseOk("key p\nhold 300\nexpect mode painting\nsave out/sets.bin\necho done\n");
    EXPECT_EQ(firstPerformerAction(programOnly), nullptr);
    FakeHost host;
    host.answers = {{"mode", "painting"}};
    ScenarioRunner runner(programOnly, host);
    uint32_t t = 0;
    for (; t <= 2000 && !runner.finished() && !runner.failed(); t += 33) runner.step(t);
    EXPECT_TRUE(runner.finished());
    EXPECT_FALSE(runner.failed()) << runner.failureMessage();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"key p", "save out/sets.bin"}));
    EXPECT_GE(t, 330u);  // the hold still waits its 300 ms

    const char* moving[] = {"rest", "move right 0.1 0.1", "reach both forward", "open left", "close right",
                            "gesture right_circle", "fault lose_person 100"};
    const char* words[] = {"rest", "move", "reach", "open", "close", "gesture", "fault"};
    for (size_t i = 0; i < std::size(moving); ++i) {
        SCOPED_TRACE(moving[i]);
        Scenario s = parseOk(std::string("key p\nhold 100\n") + moving[i] + "\nkey q\n");
        const ScenarioAction* first = firstPerformerAction(s);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->line, 3);
        EXPECT_STREQ(scenarioActionWord(first->kind), words[i]);
        FakeHost quiet;
        ScenarioRunner stopped(s, quiet);
        for (uint32_t now = 0; now <= 1000 && !stopped.failed(); now += 33) stopped.step(now);
        EXPECT_EQ(stopped.failureMessage(), std::string("script t.scn:3: '") + words[i] +
                                                "' needs the simulated performer, and the frames come from a recording");
        EXPECT_EQ(quiet.calls, std::vector<std::string>{"key p"});  // nothing after the refused action
    }
}

TEST(ScenarioRunner, ARunEndedEarlySaysWhichChecksNeverRan) {
    SimulatedPerformer performer(1);
    FakeHost host;
    Scenario s = parseOk("hold 5000\nexpect mode painting\nkey p\nexpect tool Brush2D\n");
    ScenarioRunner cut(s, performer, host);
    run(cut, performer, 0, 330);
    EXPECT_EQ(cut.unfinishedNote(), "script t.scn:1: the program ended here, before the script did; 2 expect lines from here on were not checked");
    // Nothing to say once the checks ran, or when only actions without checks were left, or
    // for a script that loops.
    host.answers["mode"] = "painting";
    host.answers["tool"] = "Brush2D";
    ScenarioRunner whole(s, performer, host);
    run(whole, performer, 0, 6000);
    ASSERT_TRUE(whole.finished());
    EXPECT_EQ(whole.unfinishedNote(), "");
    Scenario noChecks = parseOk("hold 5000\nkey p\n");
    ScenarioRunner plain(noChecks, performer, host);
    run(plain, performer, 0, 330);
    EXPECT_EQ(plain.unfinishedNote(), "");
    Scenario looping = parseOk("hold 5000\nexpect mode painting\nloop\n");
    ScenarioRunner loops(looping, performer, host);
    run(loops, performer, 0, 330);
    EXPECT_EQ(loops.unfinishedNote(), "");
}

TEST(ScenarioParser, AnEndlessSourceIsRefusedAsTooLarge) {
    Scenario s;
    std::string error;
    EXPECT_FALSE(loadScenarioFile("/dev/zero", s, error));
    EXPECT_NE(error.find("script /dev/zero"), std::string::npos) << error;
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
}
