#include "common/app/options.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "common/app/program_harness.h"
#include "common/app/scenario_script.h"

namespace {

bool parse(std::vector<std::string> args, ProgramOptions& options, std::string& error) {
    std::vector<char*> argv;
    static std::string program = "pintara";
    argv.push_back(program.data());
    for (auto& a : args) argv.push_back(a.data());
    return parseProgramOptions(static_cast<int>(argv.size()), argv.data(), options, error);
}

}  // namespace

TEST(ProgramOptions, OnlyASinglePositionalArgumentIsLoaded) {
    ProgramOptions one, two, none;
    std::string error;
    ASSERT_TRUE(parse({"sets.bin"}, one, error));
    EXPECT_EQ(one.gestureSetFile(), "sets.bin");
    ASSERT_TRUE(parse({"a.bin", "b.bin"}, two, error));
    EXPECT_FALSE(two.gestureSetFile().has_value());
    ASSERT_TRUE(parse({}, none, error));
    EXPECT_FALSE(none.gestureSetFile().has_value());
    // An empty argument is still the one argument: its load is tried (and fails with the
    // loader's message), not taken for no argument.
    ProgramOptions empty;
    ASSERT_TRUE(parse({""}, empty, error));
    ASSERT_TRUE(empty.gestureSetFile().has_value());
    EXPECT_EQ(*empty.gestureSetFile(), "");
    EXPECT_EQ(none.sensor, "synthetic");
    // The window system's own options are GLUT's, values included, not a file to load.
    ProgramOptions glut, glutOnly;
    ASSERT_TRUE(parse({"-display", ":1", "-iconic", "sets.bin", "-geometry", "800x600+0+0", "-sync"}, glut, error));
    EXPECT_EQ(glut.gestureSetFile(), "sets.bin");
    ASSERT_TRUE(parse({"-iconic"}, glutOnly, error));
    EXPECT_FALSE(glutOnly.gestureSetFile().has_value());
    ProgramOptions help;
    ASSERT_TRUE(parse({"-h"}, help, error));
    EXPECT_TRUE(help.showHelp);
    // After "--" a name that looks like an option is the file, and nothing more is parsed.
    ProgramOptions ended, endedOnly;
    ASSERT_TRUE(parse({"--demo", "--", "--sets.bin"}, ended, error)) << error;
    EXPECT_TRUE(ended.demo);
    EXPECT_EQ(ended.gestureSetFile(), "--sets.bin");
    ASSERT_TRUE(parse({"--", "-iconic"}, endedOnly, error)) << error;
    EXPECT_EQ(endedOnly.gestureSetFile(), "-iconic");
    // ... and the window system is not given it either.
    std::vector<std::string> words = {"pintara", "-iconic", "--", "-display"};
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    EXPECT_EQ(argumentsForWindowSystem(4, argv.data()), 2);
    EXPECT_EQ(argumentsForWindowSystem(2, argv.data()), 2);
}

TEST(ProgramOptions, RefusesToWriteOverTheRunsInputs) {
    // Recording empties its file at start-up and the picture replaces its file at the end, so
    // the stream, the script or the gesture-set file would be lost.
    const std::string stream = std::string(BINARY_DIR) + "/options_test_stream.csv";
    const std::string otherName = std::string(BINARY_DIR) + "/./options_test_stream.csv";
    FILE* file = std::fopen(stream.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    std::string error;
    for (const char* option : {"--record", "--screenshot"}) {
        ProgramOptions played, script, sets, other;
        // Also through a folder not made yet: writing makes it and lands on the stream.
        const std::string throughNewFolder = std::string(BINARY_DIR) + "/options_test_new/../options_test_stream.csv";
        for (const std::string& name : {otherName, throughNewFolder}) {
            EXPECT_FALSE(parse({"--sensor", "csv:" + stream, option, name}, played, error)) << option << " " << name;
            EXPECT_NE(error.find("is the stream being played"), std::string::npos) << error;
        }
        EXPECT_FALSE(parse({"--script", stream, option, otherName}, script, error)) << option;
        EXPECT_NE(error.find("is the script being run"), std::string::npos) << error;
        // Nor over the gesture-set file loaded at start-up, by any of its names.
        EXPECT_FALSE(parse({stream, option, otherName}, sets, error)) << option;
        EXPECT_NE(error.find("is the gesture-set file being loaded"), std::string::npos) << error;
        EXPECT_TRUE(parse({"--sensor", "csv:" + stream, "--script", stream, option, stream + ".out"}, other, error))
            << error;
    }
    // Two outputs on one file, made or not yet (relative names too).
    for (const auto& [record, screenshot] : {std::pair<std::string, std::string>{stream, otherName},
                                             {"options_test_not_made.png", "./options_test_not_made.png"}}) {
        ProgramOptions both;
        EXPECT_FALSE(parse({"--record", record, "--screenshot", screenshot}, both, error)) << record;
        EXPECT_NE(error.find("both name"), std::string::npos) << error;
    }
    std::remove(stream.c_str());
}

TEST(ProgramOptions, AScriptsFilesAreHeldToTheSameRules) {
    ProgramOptions options;
    options.sensor = "csv:stream.csv";
    options.scriptPath = "run.scn";
    options.positional = {"sets.bin"};
    options.recordPath = "out.rec";
    options.screenshotPath = "end.png";
    auto clash = [&options](ScenarioActionKind kind, const std::string& path) {
        ScenarioAction action;
        action.kind = kind;
        action.text = path;
        const char* found = scriptFileClash(action, options);
        return std::string(found != nullptr ? found : "none");
    };
    EXPECT_EQ(clash(ScenarioActionKind::LOAD, "./out.rec"), "the --record file");
    EXPECT_EQ(clash(ScenarioActionKind::SAVE, "end.png"), "the --screenshot file");
    EXPECT_EQ(clash(ScenarioActionKind::SCREENSHOT, "stream.csv"), "the stream being played");
    EXPECT_EQ(clash(ScenarioActionKind::SAVE, "run.scn"), "the script being run");
    EXPECT_EQ(clash(ScenarioActionKind::SCREENSHOT, "sets.bin"), "the gesture-set file being loaded");
    // Saving the sets over the loaded file updates it; reading any input harms nothing.
    EXPECT_EQ(clash(ScenarioActionKind::SAVE, "sets.bin"), "none");
    EXPECT_EQ(clash(ScenarioActionKind::LOAD, "stream.csv"), "none");
    EXPECT_EQ(clash(ScenarioActionKind::LOAD, "sets.bin"), "none");
    EXPECT_EQ(clash(ScenarioActionKind::SCREENSHOT, "other.png"), "none");
}

TEST(ProgramOptions, ReadsValuesSeparateOrInline) {
    ProgramOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--fixed-step", "33", "--frames=120", "--sensor", "csv:x.csv", "--screenshot", "a.png",
                       "--window", "800x600", "--seed=7"},
                      options, error))
        << error;
    EXPECT_EQ(options.fixedStepMs, 33u);
    EXPECT_EQ(options.frameLimit, 120u);
    EXPECT_EQ(options.sensor, "csv:x.csv");
    EXPECT_EQ(options.screenshotPath, "a.png");
    EXPECT_EQ(options.windowWidth, 800u);
    EXPECT_EQ(options.windowHeight, 600u);
    EXPECT_EQ(options.seed, 7u);
    // A name that does start with "--" is given inline.
    ProgramOptions odd;
    ASSERT_TRUE(parse({"--screenshot=--shot.png"}, odd, error)) << error;
    EXPECT_EQ(odd.screenshotPath, "--shot.png");
}

TEST(ProgramOptions, RejectsBadInputWithOneLine) {
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--frames"}, "needs a value"},
        {{"--frames", "-3"}, "not a whole number"},
        {{"--fixed-step", "12x"}, "not a whole number"},
        {{"--window", "800"}, "WIDTHxHEIGHT"},
        {{"--demo", "--script", "a.scn"}, "cannot be used together"},
        {{"--frames", "0"}, "not a whole number in 1.."},
        {{"--fixed-step", "0"}, "not a whole number in 1..10000"},
        {{"-v"}, "unknown option -v"},
        {{"-x", "sets.bin"}, "unknown option -x"},
        // A value left out before another option: that option is not taken as the value.
        {{"--screenshot", "--frames", "3"}, "option --screenshot needs a value"},
        {{"--record", "--frames", "3"}, "option --record needs a value"},
        // An empty value, inline or not, would read as the option not given at all.
        {{"--record="}, "option --record needs a value"},
        {{"--screenshot", ""}, "option --screenshot needs a value"},
        {{"--script="}, "option --script needs a value"},
        {{"--sensor", ""}, "option --sensor needs a value"},
        // A mistyped sensor is a usage error, not a sensor that is missing.
        {{"--sensor", "SYNTHETIC"}, "unknown sensor 'SYNTHETIC'"},
        {{"--sensor=foo:bar"}, "unknown sensor 'foo:bar'"},
        // A flag given a value would be set whatever the value says.
        {{"--demo=no"}, "option --demo takes no value"},
        {{"--help=1"}, "option --help takes no value"},
        {{"--version="}, "option --version takes no value"},
    };
    for (auto& c : cases) {
        ProgramOptions options;
        std::string error;
        EXPECT_FALSE(parse(c.args, options, error)) << c.args[0];
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}
