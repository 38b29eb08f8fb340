// gesturetool: offline work on skeleton streams and gesture sets, without a display.
// Usage: gesturetool COMMAND ARGS...; each command returns its own exit code
// (0 success, 1 nothing written: nothing to write, or the output could not be written,
// 2 bad arguments or unreadable input).
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "common/files/standard_streams.h"
#include "gesturetool/commands.h"

namespace {

constexpr const char* GESTURETOOL_VERSION = "0.1.0";

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* usage;
    bool explainsItsOptions = false;  // answers --help with its own usage
    // Its standard output is its result (not only a status line beside a file it writes), so
    // output that could not be written fails the run.
    bool printsItsResult = false;
};

const Command COMMANDS[] = {
    {"poses", runPoses,
     "poses [--unsmoothed] STREAM\n"
     "      Prints one CSV line per frame of STREAM: frame index, time in ms from the\n"
     "      first frame, then the 18 arm-pose values. Lines starting with '#' are comments.\n"
     "      The poses are the painting program's: the joints are first smoothed as the\n"
     "      sensor smooths them, and a frame without a tracked user repeats the last record.\n"
     "      --unsmoothed measures the joints as the stream gives them (a stream whose\n"
     "      joints were smoothed when they were recorded).",
     false, true},
    {"convert", runConvert,
     "convert STREAM OUT.rec\n"
     "      Writes STREAM as a recording that --sensor replay:OUT.rec plays back.\n"
     "      OUT.rec is replaced only once the whole recording is written; when that fails\n"
     "      (a full disk), any earlier OUT.rec stays as it was.\n"
     "      Exit code 1 when OUT.rec cannot be written, 2 for bad arguments or input."},
    {"train", runTrain,
     "train ...\n"
     "      Trains gesture sets from streams.",
     true},
    {"recognize", runRecognize,
     "recognize ... (or recognise ...)\n"
     "      Runs the recogniser over a stream.",
     true, true},
    {"inspect", runInspect,
     "inspect SETS.bin\n"
     "      Describes the gesture sets of a gesture-set file.",
     false, true},
};

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: gesturetool COMMAND ARGS...\n"
                 "       gesturetool --help | --version\n"
                 "\n"
                 "An option's value may also be given as --option=VALUE.\n"
                 "\n"
                 "STREAM is csv:FILE (a text skeleton stream: per line a time stamp in\n"
                 "microseconds and 20 joints x (x y z w)) or replay:FILE (a recording).\n"
                 "\n"
                 "commands:\n");
    for (const Command& command : COMMANDS) {
        std::fprintf(out, "  %s\n", command.usage);
    }
    std::fprintf(out, "\n'gesturetool COMMAND --help' shows one command's usage.\n");
}

// What poses, recognize and inspect print is their result, as the usage texts are.
bool outputWritten(const char* command) { return standardOutputWritten(std::string("gesturetool ") + command); }

bool isHelp(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

}  // namespace

int main(int argc, char** argv) {
    keepStandardStreamsOpen();
    // A file outgrowing the size limit fails its write with a message instead of killing the tool.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const char* name = argv[1];
    if (isHelp(name)) {
        printUsage(stdout);
        return outputWritten("--help") ? 0 : 1;
    }
    if (std::strcmp(name, "--version") == 0) {
        std::printf("gesturetool %s\n", GESTURETOOL_VERSION);
        return outputWritten("--version") ? 0 : 1;
    }
    // Both spellings of the recogniser command are accepted.
    if (std::strcmp(name, "recognise") == 0) name = "recognize";
    for (const Command& command : COMMANDS) {
        if (std::strcmp(name, command.name) == 0) {
            if (argc >= 3 && isHelp(argv[2]) && !command.explainsItsOptions) {
                std::printf("usage: gesturetool %s\n", command.usage);
                return outputWritten(command.name) ? 0 : 1;
            }
            // "--sets=FILE" is "--sets FILE", as in the programs' own options. Commands without
            // options take every word as it stands, so an output file may be named "--a=b.rec".
            std::vector<std::string> words;
            for (int i = 2; i < argc; ++i) {
                const std::string word = argv[i];
                const size_t equals = word.find('=');
                if (command.explainsItsOptions && word.rfind("--", 0) == 0 && equals != std::string::npos &&
                    equals > 2) {
                    words.push_back(word.substr(0, equals));
                    words.push_back(word.substr(equals + 1));
                } else {
                    words.push_back(word);
                }
            }
            std::vector<char*> arguments;
            for (std::string& word : words) arguments.push_back(&word[0]);
            arguments.push_back(nullptr);
            const int code = command.run(static_cast<int>(words.size()), arguments.data());
            const bool askedForHelp = argc >= 3 && isHelp(argv[2]);
            if (code != 0 || (!command.printsItsResult && !askedForHelp)) return code;
            return outputWritten(command.name) ? 0 : 1;
        }
    }
    std::fprintf(stderr, "gesturetool: unknown command '%s' (try --help)\n", name);
    return 2;
}
