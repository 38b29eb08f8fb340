// gesturetool train, recognize and inspect: the gesture engine run offline over recorded
// streams and gesture-set files. Every frame's skeleton goes through SensorInput and
// processFrame exactly as in the programs, on a virtual clock taken from the stream's time
// stamps; the images, which nothing here reads, are not fetched.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <system_error>

#include <unistd.h>

#include "common/gesture/gesture_recognizer.h"
#include "common/gesture/gesture_set_file.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/stream_source.h"
#include "gesturetool/commands.h"

namespace {

// How long the training screen's countdown holds recognition off after a button press.
constexpr uint32_t TRAINING_COUNTDOWN_MS = 4000;

const char* const TRAIN_USAGE =
    "usage: gesturetool train --stream STREAM --out SETS.bin [--sets IN.bin]\n"
    "                         (--new-set | --add | --replace) [--set N] [--gesture N]\n"
    "                         [--measure NAME] (--capture FROM_MS:TO_MS | --interval FIRST:LAST)\n"
    "  --capture   press the training button at FROM_MS: after the 4000 ms countdown the capture\n"
    "              waits for rest, movement and rest; gives up at TO_MS\n"
    "  --interval  train exactly frames FIRST..LAST (0-based, inclusive, at most 150 frames)\n"
    "  --set/--gesture  the current set and gesture for --add and --replace (default 0)\n"
    "  --measure   EUCLIDEAN, PEARSON_CORRELATION, PEARSON_CORRELATION_SQUARED, MODIFIED_EUCLIDEAN,\n"
    "              MODIFIED_PEARSON, DTW (default), MODIFIED_DTW, FM or MODIFIED_FM\n"
    "  Exit code: 0 trained, 1 nothing trained (or the file could not be saved), 2 bad arguments,\n"
    "  unreadable input or an output that cannot be written.\n";

const char* const RECOGNIZE_USAGE =
    "usage: gesturetool recognize --sets SETS.bin [--measure NAME] [--threshold X]\n"
    "                             [--neighbours K] [--armed always|default-gesture] [--json] STREAM\n"
    "  Prints each queued result as 'frame F, T ms: TEXT' (--json: {\"frame\":F,\"time_ms\":T,\"text\":\"TEXT\"}).\n"
    "  --armed always (default): recognition on every frame. default-gesture: starts disarmed;\n"
    "  DEFAULT_GESTURE arms, a recognised class disarms, as the programs do.\n"
    "  --measure: as for train (DTW by default); --threshold replaces the measure's threshold.\n"
    "  The recogniser's console lines go to stderr.\n";

// Swallows the recogniser's console while frames before a training request are fed.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

bool parseInt(const char* text, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0';
}

bool parseFloat(const char* text, float& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtof(text, &end);
    return errno == 0 && end != text && *end == '\0';
}

// Capture times and frame numbers are 32-bit in the recogniser: larger ones would wrap.
constexpr long MAX_RANGE_END = 2147483646;

// "A:B" with 0 <= A <= B <= MAX_RANGE_END.
bool parseRange(const char* text, long& first, long& last) {
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) return false;
    const std::string a(text, colon);
    return parseInt(a.c_str(), first) && parseInt(colon + 1, last) && first >= 0 && first <= last &&
           last <= MAX_RANGE_END;
}

bool isClassText(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::unique_ptr<StreamSource> openCommandStream(const char* command, const std::string& sourceName) {
    std::string error;
    std::unique_ptr<StreamSource> stream = openStream(sourceName, error);
    if (!stream) std::fprintf(stderr, "gesturetool %s: %s\n", command, error.c_str());
    return stream;
}

std::string unknownMeasure(const char* command, const char* name) {
    std::string text = std::string("gesturetool ") + command + ": unknown measure '" + name + "' (one of";
    for (int i = 0; i < SIMILARITY_MEASURE_COUNT; ++i) {
        text += std::string(i == 0 ? " " : ", ") + similarityMeasureName(static_cast<SimilarityMeasure>(i));
    }
    return text + ", in any case, or its number 0.." + std::to_string(SIMILARITY_MEASURE_COUNT - 1) + ")";
}

// Why the gesture-set file `path` could not be written, found before any training: empty when
// it looks writable. A file is saved beside itself and renamed, so its folder must be writable.
std::string outputProblem(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec)) return "it is a folder";
    // Only a regular file is replaced: the sets are never written into a pipe, socket or device.
    if (fs::exists(path, ec) && !fs::is_regular_file(path, ec)) return "it is not a regular file";
    fs::path folder = fs::path(path).parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) return "no such folder '" + folder.string() + "'";
    if (::access(folder.c_str(), W_OK) != 0) return "cannot write in '" + folder.string() + "': " + std::strerror(errno);
    return std::string();
}

// The sets of each type need at least `neighbours` trained gestures between them, or the
// nearest-neighbour vote can never be reached for that type.
void noteUnreachableTypes(const GestureRecognizer& recognizer) {
    if (recognizer.similarityMeasure == SimilarityMeasure::MODIFIED_FM) return;  // no vote
    for (GestureType type : {GestureType::LEFT, GestureType::RIGHT, GestureType::BOTH}) {
        size_t gestures = 0;
        for (const GestureSet& set : recognizer.TrainedGestureSets) {
            if (set.type == type) gestures += set.gestures.size();
        }
        if (gestures > 0 && gestures < static_cast<size_t>(recognizer.numberOfNeighbours)) {
            std::fprintf(stderr,
                         "gesturetool recognize: note: the %s sets hold %zu gestures, fewer than the %d neighbours "
                         "a result needs, so they are never recognised (see --neighbours)\n",
                         gestureTypeName(type), gestures, recognizer.numberOfNeighbours);
        }
    }
}

// More neighbours than any set file holds examples is pointless; the cap keeps the count an int.
constexpr long MAX_NEIGHBOURS = 100000;

int usageError(const char* usage, const std::string& message) {
    if (!message.empty()) std::fprintf(stderr, "%s\n", message.c_str());
    std::fputs(usage, stderr);
    return 2;
}

struct TrainOptions {
    std::string stream;
    std::string out;
    std::string sets;
    int mode = -1;  // 0 new set, 1 add, 2 replace
    long set = 0;
    long gesture = 0;
    bool setOrGestureGiven = false;
    bool haveMeasure = false;
    SimilarityMeasure measure = SimilarityMeasure::DTW;
    bool capture = false;
    bool interval = false;
    long first = 0;
    long last = 0;
};

constexpr size_t FEW_POSES = 5;

void describeTrained(const GestureRecognizer& r) {
    const Gesture& g = r.TrainedGestureSets[static_cast<size_t>(r.currentSetIndex)]
                           .gestures[static_cast<size_t>(r.currentGestureIndex)];
    std::printf("trained: set %d gesture %d, type %s, %zu poses, %zu skeletons\n", r.currentSetIndex,
                r.currentGestureIndex, gestureTypeName(g.type), g.poses.size(), g.skeletons.size());
    // Stored all the same, as the training screen would; but such an example is a jump of the
    // tracker or a held pose rather than a movement, and it matches any brief twitch.
    if (g.poses.size() < FEW_POSES) {
        std::fprintf(stderr,
                     "gesturetool train: warning: the example holds only %zu pose%s: a jump or a held pose, "
                     "not a movement\n",
                     g.poses.size(), g.poses.size() == 1 ? "" : "s");
    }
}

}  // namespace

int runTrain(int argc, char** argv) {
    TrainOptions o;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(TRAIN_USAGE, stdout);
            return 0;
        } else if (arg == "--new-set" || arg == "--add" || arg == "--replace") {
            if (o.mode >= 0) return usageError(TRAIN_USAGE, "gesturetool train: choose one of --new-set, --add, --replace");
            o.mode = arg == "--new-set" ? 0 : arg == "--add" ? 1 : 2;
        } else if (!hasValue) {
            return usageError(TRAIN_USAGE, "gesturetool train: unknown or incomplete option '" + arg + "'");
        } else if ((arg == "--stream" || arg == "--out" || arg == "--sets") && argv[i + 1][0] == '\0') {
            // An empty shell variable must not train without the sets meant to be kept.
            return usageError(TRAIN_USAGE, "gesturetool train: " + arg + " needs a file name");
        } else if (arg == "--stream") {
            o.stream = argv[++i];
        } else if (arg == "--out") {
            o.out = argv[++i];
        } else if (arg == "--sets") {
            o.sets = argv[++i];
        } else if (arg == "--set" || arg == "--gesture") {
            o.setOrGestureGiven = true;
            long& target = arg == "--set" ? o.set : o.gesture;
            if (!parseInt(argv[++i], target) || target < 0) {
                return usageError(TRAIN_USAGE, "gesturetool train: " + arg + " needs a number >= 0");
            }
        } else if (arg == "--measure") {
            if (!parseSimilarityMeasure(argv[++i], o.measure)) {
                return usageError(TRAIN_USAGE, unknownMeasure("train", argv[i]));
            }
            o.haveMeasure = true;
        } else if (arg == "--capture" || arg == "--interval") {
            if (o.capture || o.interval) return usageError(TRAIN_USAGE, "gesturetool train: give --capture or --interval once");
            if (!parseRange(argv[++i], o.first, o.last)) {
                return usageError(TRAIN_USAGE, "gesturetool train: " + arg + " needs A:B with 0 <= A <= B <= " +
                                                   std::to_string(MAX_RANGE_END));
            }
            (arg == "--capture" ? o.capture : o.interval) = true;
        } else {
            return usageError(TRAIN_USAGE, "gesturetool train: unknown option '" + arg + "'");
        }
    }
    if (o.stream.empty() || o.out.empty() || o.mode < 0 || !(o.capture || o.interval)) {
        return usageError(TRAIN_USAGE, "gesturetool train: --stream, --out, a mode and --capture or --interval are required");
    }
    if (o.mode == 0 && o.setOrGestureGiven) {
        return usageError(TRAIN_USAGE,
                          "gesturetool train: --set and --gesture choose the gesture for --add and --replace; "
                          "--new-set makes a set of its own");
    }
    if (o.interval && o.last - o.first + 1 > HISTORY_LENGTH) {
        return usageError(TRAIN_USAGE, "gesturetool train: an interval holds at most 150 frames");
    }

    if (const std::string problem = outputProblem(o.out); !problem.empty()) {
        std::fprintf(stderr, "gesturetool train: cannot write '%s': %s\n", o.out.c_str(), problem.c_str());
        return 2;
    }
    if (streamPlaysFile(o.stream, o.out)) {
        // The saved sets would replace the recording they were trained from.
        std::fprintf(stderr, "gesturetool train: '%s' is the stream itself; choose another output file\n",
                     o.out.c_str());
        return 2;
    }

    GestureRecognizer recognizer;
    NullBuffer nullBuffer;
    std::ostream quiet(&nullBuffer);
    recognizer.console = &std::cout;
    if (o.haveMeasure) recognizer.setSimilarityMeasure(o.measure);
    if (!o.sets.empty() && !recognizer.loadGestureSets(o.sets)) {
        // The recogniser's lines went to standard output, with the training's.
        std::fprintf(stderr, "gesturetool train: cannot load '%s'\n", o.sets.c_str());
        return 2;
    }
    if (o.mode != 0) {
        if (o.set >= recognizer.setCount()) {
            std::fprintf(stderr,
                         "gesturetool train: --add and --replace need an existing set: there is no set %ld "
                         "(%ld sets loaded, numbered from 0)\n",
                         o.set, static_cast<long>(recognizer.setCount()));
            return 2;
        }
        recognizer.currentSetIndex = static_cast<int>(o.set);
        if (o.gesture >= recognizer.gestureCount()) {
            std::fprintf(stderr, "gesturetool train: set %ld has no gesture %ld\n", o.set, o.gesture);
            return 2;
        }
        recognizer.currentGestureIndex = static_cast<int>(o.gesture);
    }

    std::unique_ptr<StreamSource> owned = openCommandStream("train", o.stream);
    if (!owned) return 2;
    StreamSource& stream = *owned;
    SensorInput sensor(std::move(owned));
    sensor.diagnostics = stderr;

    const bool newSet = o.mode == 0;
    const bool replace = o.mode == 2;
    std::string outcome;  // the training text, or why nothing was trained
    RecognitionResult intervalResult;
    bool requested = false;
    uint32_t countdownEndMs = 0;
    long index = 0;
    bool intervalReached = false;
    for (; stepSensorFrame(sensor, stream, false); ++index) {
        const uint32_t t = stream.frameTimeMs();
        SkeletonRecord& record = sensor.skeleton;  // smoothed in place, as in the painting program
        if (o.capture) {
            if (!requested && t >= static_cast<uint32_t>(o.first)) {
                recognizer.requestTraining(newSet, replace);
                requested = true;
                countdownEndMs = t + TRAINING_COUNTDOWN_MS;
            }
            if (requested && t > static_cast<uint32_t>(o.last)) break;
            // Before the press nothing is shown; the rest check's lines are not wanted here.
            recognizer.console = requested ? &std::cout : &quiet;
            recognizer.processFrame(record, requested && t >= countdownEndMs, t);
            while (recognizer.hasResults()) {
                const std::string text = recognizer.popResult();
                if (requested && (text == "GESTURE_TRAINED" || text == "GESTURE_NOT_TRAINED")) outcome = text;
            }
            if (!outcome.empty()) break;
        } else {
            recognizer.console = &quiet;
            recognizer.processFrame(record, false, t);
            while (recognizer.hasResults()) recognizer.popResult();
            if (index == o.last) {
                intervalReached = true;
                recognizer.console = &std::cout;
                recognizer.requestTraining(newSet, replace);
                // Frame numbers count from 1 at the stream's first frame.
                const RecognitionInterval interval{static_cast<int32_t>(o.first + 1), static_cast<int32_t>(o.last + 1),
                                                   static_cast<int>(o.last - o.first + 1)};
                intervalResult = recognizer.classifyInterval(interval);
                while (recognizer.hasResults()) {
                    const std::string text = recognizer.popResult();
                    if (text == "GESTURE_TRAINED" || text == "GESTURE_NOT_TRAINED") outcome = text;
                }
                break;
            }
        }
    }
    std::fflush(stdout);

    if (outcome == "GESTURE_TRAINED") {
        describeTrained(recognizer);
        std::cout.flush();
        if (!recognizer.saveGestureSets(o.out)) {
            std::cout.flush();
            std::fprintf(stderr, "gesturetool train: cannot write '%s'\n", o.out.c_str());
            return 1;
        }
        std::cout.flush();
        return 0;
    }
    if (outcome == "GESTURE_NOT_TRAINED") {
        std::printf("not trained: the gesture's type does not match set %d (%s)\n", recognizer.currentSetIndex,
                    gestureTypeName(recognizer.currentSetType()));
    } else if (o.interval && !intervalReached) {
        std::printf("not trained: the stream ends at frame %ld, before frame %ld\n", index - 1, o.last);
    } else if (o.interval && intervalResult.classIndex == DEFAULT_GESTURE_CLASS) {
        std::printf("not trained: frames %ld..%ld hold the rest pose\n", o.first, o.last);
    } else if (o.interval) {
        std::printf("not trained: frames %ld..%ld could not be resampled\n", o.first, o.last);
    } else if (!requested) {
        std::printf("not trained: the stream ends before %ld ms\n", o.first);
    } else {
        std::printf("not trained: no rest, movement and rest captured between %ld and %ld ms\n", o.first, o.last);
    }
    return 1;
}

int runRecognize(int argc, char** argv) {
    std::string setsPath;
    std::string streamSpec;
    bool haveMeasure = false;
    SimilarityMeasure measure = SimilarityMeasure::DTW;
    float threshold = -1.0f;
    long neighbours = -1;
    bool alwaysArmed = true;
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(RECOGNIZE_USAGE, stdout);
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (arg.rfind("--", 0) == 0 && !hasValue) {
            return usageError(RECOGNIZE_USAGE, "gesturetool recognize: unknown or incomplete option '" + arg + "'");
        } else if (arg == "--sets") {
            setsPath = argv[++i];
        } else if (arg == "--measure") {
            if (!parseSimilarityMeasure(argv[++i], measure)) {
                return usageError(RECOGNIZE_USAGE, unknownMeasure("recognize", argv[i]));
            }
            haveMeasure = true;
        } else if (arg == "--threshold") {
            if (!parseFloat(argv[++i], threshold) || !(threshold >= 0.0f)) {
                return usageError(RECOGNIZE_USAGE, "gesturetool recognize: --threshold needs a number >= 0");
            }
        } else if (arg == "--neighbours") {
            if (!parseInt(argv[++i], neighbours) || neighbours < 1 || neighbours > MAX_NEIGHBOURS) {
                return usageError(RECOGNIZE_USAGE, "gesturetool recognize: --neighbours needs a number from 1 to " +
                                                       std::to_string(MAX_NEIGHBOURS));
            }
        } else if (arg == "--armed") {
            const std::string mode = argv[++i];
            if (mode != "always" && mode != "default-gesture") {
                return usageError(RECOGNIZE_USAGE, "gesturetool recognize: --armed is always or default-gesture");
            }
            alwaysArmed = mode == "always";
        } else if (arg.rfind("--", 0) == 0) {
            return usageError(RECOGNIZE_USAGE, "gesturetool recognize: unknown option '" + arg + "'");
        } else if (arg.empty()) {
            // "--json=" leaves an empty word, as does an unset shell variable.
            return usageError(RECOGNIZE_USAGE, "gesturetool recognize: an empty word where STREAM was expected");
        } else if (streamSpec.empty()) {
            streamSpec = arg;
        } else {
            return usageError(RECOGNIZE_USAGE, "gesturetool recognize: one STREAM only ('" + streamSpec +
                                                   "' and '" + arg + "')");
        }
    }
    if (setsPath.empty() || streamSpec.empty()) {
        return usageError(RECOGNIZE_USAGE, "gesturetool recognize: --sets and STREAM are required");
    }

    GestureRecognizer recognizer;
    recognizer.console = &std::cerr;
    if (haveMeasure) recognizer.setSimilarityMeasure(measure, threshold);
    else if (threshold >= 0.0f) recognizer.gestureRecognitionThreshold = threshold;
    if (neighbours > 0) recognizer.numberOfNeighbours = static_cast<int>(neighbours);
    if (!recognizer.loadGestureSets(setsPath)) {
        return 2;  // the recogniser has said why, naming the file
    }
    noteUnreachableTypes(recognizer);
    std::unique_ptr<StreamSource> owned = openCommandStream("recognize", streamSpec);
    if (!owned) return 2;
    StreamSource& stream = *owned;
    SensorInput sensor(std::move(owned));
    sensor.diagnostics = stderr;

    bool armed = false;  // default-gesture mode starts disarmed: the rest pose arms
    for (long index = 0; stepSensorFrame(sensor, stream, false); ++index) {
        const uint32_t t = stream.frameTimeMs();
        recognizer.processFrame(sensor.skeleton, alwaysArmed || armed, t);  // smoothed in place, as in train
        recognizer.waitForWorker();  // one worker per frame, finished before the next: deterministic
        while (recognizer.hasResults()) {
            const std::string text = recognizer.popResult();
            if (json) {
                std::printf("{\"frame\":%ld,\"time_ms\":%u,\"text\":\"%s\"}\n", index, t, text.c_str());
            } else {
                std::printf("frame %ld, %u ms: %s\n", index, t, text.c_str());
            }
            if (text == "DEFAULT_GESTURE") armed = true;
            else if (isClassText(text)) armed = false;
        }
    }
    return 0;
}

int runInspect(int argc, char** argv) {
    if (argc != 1 || std::strncmp(argv[0], "--", 2) == 0) {
        std::fprintf(stderr, "usage: gesturetool inspect SETS.bin\n");
        return 2;
    }
    const std::string path = argv[0];
    std::vector<uint8_t> bytes;
    std::string error;
    GestureSetList sets;
    if (!readFileBytes(path, bytes, error) || !decodeGestureSets(bytes.data(), bytes.size(), sets, error)) {
        std::fprintf(stderr, "gesturetool inspect: gesture file '%s': %s\n", path.c_str(), error.c_str());
        return 2;
    }
    size_t gestures = 0;
    for (const GestureSet& set : sets) gestures += set.gestures.size();
    std::printf("gesture file '%s': %zu sets, %zu gestures, %zu bytes\n", path.c_str(), sets.size(), gestures,
                bytes.size());
    for (size_t s = 0; s < sets.size(); ++s) {
        std::printf("set %zu: %s, %zu gestures\n", s, gestureTypeName(sets[s].type), sets[s].gestures.size());
        size_t shortest = SIZE_MAX, longest = 0;
        for (size_t g = 0; g < sets[s].gestures.size(); ++g) {
            const Gesture& gesture = sets[s].gestures[g];
            std::printf("  gesture %zu: %s, %zu poses, %zu skeletons\n", g, gestureTypeName(gesture.type),
                        gesture.poses.size(), gesture.skeletons.size());
            shortest = std::min(shortest, gesture.poses.size());
            longest = std::max(longest, gesture.poses.size());
        }
        // DTW compares two gestures only when their lengths differ by at most a tenth of the
        // longer (less one pose); examples of one set further apart than that never agree on a
        // movement, which is what examples taught on a machine too busy to draw every frame look
        // like.
        if (sets[s].gestures.size() > 1 && longest - shortest > (longest - 1) / 10) {
            std::printf("  note: its examples keep %zu to %zu poses; DTW compares gestures only when their lengths "
                        "differ by at most a tenth, so the longest and shortest never match the same movement\n",
                        shortest, longest);
        }
    }
    return 0;
}
