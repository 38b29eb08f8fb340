#include "common/app/options.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "common/files/same_file.h"
#include "common/sensor/stream_source.h"

const char* const PROGRAM_VERSION = "0.1.0";

namespace {

bool parseUnsigned(const std::string& text, uint64_t maxValue, uint64_t& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value > maxValue) return false;
    out = value;
    return true;
}

// The window system's options that glutInit takes out of the arguments, and how many values
// each one has. They are GLUT's, not a gesture-set file: `pintara -iconic sets.bin` loads
// sets.bin.
int glutOptionValues(const std::string& arg) {
    if (arg == "-display" || arg == "-geometry") return 1;
    if (arg == "-direct" || arg == "-indirect" || arg == "-iconic" || arg == "-gldebug" || arg == "-sync") return 0;
    return -1;
}

}  // namespace

bool parseProgramOptions(int argc, char** argv, ProgramOptions& options, std::string& error) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded) {
            options.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            // Everything after it is a file, even a name that starts with '-'.
            optionsEnded = true;
            continue;
        }
        if (const int values = glutOptionValues(arg); values >= 0) {
            i += values;
            continue;
        }
        if (arg == "-h") arg = "--help";
        if (arg.size() >= 2 && arg[0] == '-' && arg[1] != '-') {
            // A gesture-set file named like an option is still reachable as ./-name.
            error = "unknown option " + arg + " (see --help)";
            return false;
        }
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            options.positional.push_back(arg);
            continue;
        }
        std::string name = arg;
        std::string value;
        bool hasInlineValue = false;
        size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasInlineValue = true;
        }
        auto takeValue = [&](std::string& out) {
            // Another option in the value's place means the value was left out: taking it would
            // run with that option unread ("--screenshot --frames 3" wrote a file "--frames").
            // A value that does start with "--" can still be given as --option=VALUE. An empty
            // value ("--record=$OUT" with OUT unset) would read as the option not given, so
            // the run would quietly record or save nothing.
            if (!hasInlineValue && (i + 1 >= argc || std::string(argv[i + 1]).compare(0, 2, "--") == 0)) {
                error = "option " + name + " needs a value";
                return false;
            }
            const std::string given = hasInlineValue ? value : std::string(argv[++i]);
            if (given.empty()) {
                error = "option " + name + " needs a value";
                return false;
            }
            out = given;
            return true;
        };
        auto takeNumber = [&](uint64_t minValue, uint64_t maxValue, uint64_t& out) {
            std::string text;
            if (!takeValue(text)) return false;
            if (!parseUnsigned(text, maxValue, out) || out < minValue) {
                error = "option " + name + ": '" + text + "' is not a whole number in " + std::to_string(minValue) +
                        ".." + std::to_string(maxValue);
                return false;
            }
            return true;
        };
        const bool isFlag = name == "--help" || name == "--version" || name == "--demo";
        if (isFlag && hasInlineValue) {
            // "--demo=no" would otherwise run the demo it seems to turn off.
            error = "option " + name + " takes no value";
            return false;
        }
        uint64_t number = 0;
        if (name == "--help") {
            options.showHelp = true;
        } else if (name == "--version") {
            options.showVersion = true;
        } else if (name == "--demo") {
            options.demo = true;
        } else if (name == "--sensor") {
            if (!takeValue(options.sensor)) return false;
        } else if (name == "--script") {
            if (!takeValue(options.scriptPath)) return false;
        } else if (name == "--screenshot") {
            if (!takeValue(options.screenshotPath)) return false;
        } else if (name == "--record") {
            if (!takeValue(options.recordPath)) return false;
        } else if (name == "--fixed-step") {
            if (!takeNumber(1, 10000, number)) return false;  // no option is the wall clock
            options.fixedStepMs = static_cast<uint32_t>(number);
        } else if (name == "--frames") {
            if (!takeNumber(1, UINT64_MAX / 2, number)) return false;
            options.frameLimit = number;
        } else if (name == "--seed") {
            if (!takeNumber(0, UINT32_MAX, number)) return false;
            options.seed = static_cast<uint32_t>(number);
        } else if (name == "--window") {
            std::string text;
            if (!takeValue(text)) return false;
            size_t x = text.find('x');
            uint64_t w = 0, h = 0;
            if (x == std::string::npos || !parseUnsigned(text.substr(0, x), 8192, w) ||
                !parseUnsigned(text.substr(x + 1), 8192, h) || w < 64 || h < 64) {
                error = "option --window: '" + text + "' is not WIDTHxHEIGHT (64 to 8192 each)";
                return false;
            }
            options.windowWidth = static_cast<uint32_t>(w);
            options.windowHeight = static_cast<uint32_t>(h);
        } else {
            error = "unknown option " + name + " (see --help)";
            return false;
        }
    }
    if (options.demo && !options.scriptPath.empty()) {
        error = "--demo and --script cannot be used together";
        return false;
    }
    if (options.sensor != "synthetic" && options.sensor.compare(0, 4, "csv:") != 0 &&
        options.sensor.compare(0, 7, "replay:") != 0) {
        error = "option --sensor: unknown sensor '" + options.sensor + "' (expected synthetic, replay:FILE or csv:FILE)";
        return false;
    }
    // The recording empties its file at start-up and the picture replaces its file at the end.
    for (const auto& [option, path] : {std::pair<const char*, const std::string*>{"--record", &options.recordPath},
                                       {"--screenshot", &options.screenshotPath}}) {
        if (path->empty()) continue;
        if (const char* input = inputNamedBy(options, *path, true)) {
            error = std::string(option) + " " + *path + " is " + input + "; choose another file";
            return false;
        }
    }
    // Both written to one file, one of them would be lost.
    if (!options.recordPath.empty() && !options.screenshotPath.empty() &&
        namesSameFile(options.recordPath, options.screenshotPath)) {
        error = "--record and --screenshot both name " + options.recordPath + "; choose two files";
        return false;
    }
    return true;
}

const char* inputNamedBy(const ProgramOptions& options, const std::string& path, bool gestureSetFileToo) {
    if (streamPlaysFile(options.sensor, path)) return "the stream being played";
    if (!options.scriptPath.empty() && namesSameFile(path, options.scriptPath)) return "the script being run";
    if (gestureSetFileToo && options.positional.size() == 1 && namesSameFile(path, options.positional[0])) {
        return "the gesture-set file being loaded";
    }
    return nullptr;
}

int argumentsForWindowSystem(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--") return i;
    }
    return argc;
}

std::string programUsage(const std::string& program) {
    return "usage: " + program + " [options] [GESTURE_SETS.bin]\n"
           "\n"
           "  GESTURE_SETS.bin     gesture-set file loaded at start-up (exactly one argument)\n"
           "  --sensor SOURCE      synthetic (default: the simulated performer), replay:FILE, csv:FILE\n"
           "  --demo               run the built-in demo script (loops)\n"
           "  --script FILE        drive the simulated performer and the program from a scenario script\n"
           "                       (on replay: or csv: input, only its program actions: hold, key,\n"
           "                       load, save, screenshot, expect, echo)\n"
           "  --fixed-step MS      every frame advances a virtual clock by MS (deterministic runs)\n"
           "  --frames N           end after N frames with exit code 0 (CPU per frame on stderr)\n"
           "  --screenshot FILE    save the last frame as a PNG\n"
           "  --record FILE        record the sensor's frames for replay:FILE\n"
           "                       (both make missing folders on the way to FILE)\n"
           "  --seed N             random seed of the simulated performer (default 1)\n"
           "  --window WxH         initial window size (default 1600x1000)\n"
           "  --help, -h           this text\n"
           "  --version            the version\n"
           "  -display, -geometry, -iconic, -sync, -gldebug, -direct, -indirect\n"
           "                       are the window system's, passed to GLUT (the window opens\n"
           "                       at the top left at the --window size whatever -geometry says)\n"
           "Any value may also be given as --option=VALUE, which a value starting with -- needs.\n"
           "After --, every argument is a file, even one whose name starts with '-'.\n"
           "\n"
           "Without a script the mouse drives the simulated performer's right arm, its buttons close\n"
           "the hands, and the keys F1 to F10 make it perform its named gestures (see README.md).\n";
}
