#pragma once
// The programs' command line: one optional positional argument (a gesture-set file loaded at
// start-up) and options beginning with "--".
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ProgramOptions {
    std::vector<std::string> positional;  // loaded at start-up only when there is exactly one
    std::string sensor = "synthetic";     // synthetic | replay:FILE | csv:FILE
    std::string scriptPath;               // --script FILE
    bool demo = false;                    // --demo: the built-in demo script, looping
    uint32_t fixedStepMs = 0;             // --fixed-step MS: virtual clock; 0 = wall clock
    uint64_t frameLimit = 0;              // --frames N: end after N frames; 0 = run until closed
    std::string screenshotPath;           // --screenshot FILE.png: save the last frame
    std::string recordPath;               // --record FILE: record what the sensor delivers
    uint32_t seed = 1;                    // --seed N: the simulated performer's random seed
    uint32_t windowWidth = 1600;          // --window WxH
    uint32_t windowHeight = 1000;
    bool showHelp = false;
    bool showVersion = false;

    // The gesture-set file to load at start-up: the one argument, even an empty one (its load
    // fails with the usual message); nothing with none or more than one.
    std::optional<std::string> gestureSetFile() const {
        if (positional.size() != 1) return std::nullopt;
        return positional[0];
    }
};

// Parses argv. Returns false and sets `error` to one line for an unknown option, a missing
// value or a malformed number.
bool parseProgramOptions(int argc, char** argv, ProgramOptions& options, std::string& error);

// Which of the run's inputs a file the run would write names: "the stream being played", "the
// script being run" or, with `gestureSetFileToo`, "the gesture-set file being loaded"; null for
// none. Writing there would destroy it (saving gesture sets over the loaded file is allowed by
// passing false: that is how the user updates it).
const char* inputNamedBy(const ProgramOptions& options, const std::string& path, bool gestureSetFileToo);

// Usage text for `program` ("pintara" or "glebora").
std::string programUsage(const std::string& program);

// How many of the arguments (the program's name included) the window system may read: those
// before "--". GLUT does not stop there, so a file named "-display" after it would be taken
// for GLUT's option.
int argumentsForWindowSystem(int argc, char** argv);

// The version printed by --version.
extern const char* const PROGRAM_VERSION;
