// gesturetool poses and convert: frame-by-frame work on csv streams and recordings. Every
// frame goes through SensorInput exactly as in the programs, so its fallbacks (an untracked
// frame repeats the previous record, a dropped image keeps the previous one) apply here too.
// poses reads only the skeletons and leaves the images unfetched.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/files/replace_file.h"
#include "common/gesture/arm_pose.h"
#include "common/sensor/recording.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/stream_source.h"
#include "gesturetool/commands.h"

namespace {

// The temporary a conversion is writing, removed if the tool is interrupted (Ctrl-C on a long
// stream) so that no stray file is left beside the output.
char interruptedTemporary[4096];

void removeTemporaryAndExit(int signalNumber) {
    if (interruptedTemporary[0] != '\0') ::unlink(interruptedTemporary);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// Column names of the poses output, after the frame index and the time.
const char* const POSE_COLUMNS =
    "elbow_left,elbow_right,elevation_left,elevation_right,adduction_left,adduction_right,"
    "rotation_left,rotation_right,wrist_line_frontal,wrist_line_horizontal,wrist_distance,"
    "wrists_reach,left_wrist_x,left_wrist_y,left_reach,right_wrist_x,right_wrist_y,right_reach";

// Opens STREAM for a command; prints the one-line error itself.
std::unique_ptr<StreamSource> openCommandStream(const char* command, const char* sourceName) {
    std::string error;
    std::unique_ptr<StreamSource> stream = openStream(sourceName, error);
    if (!stream) {
        std::fprintf(stderr, "gesturetool %s: %s\n", command, error.c_str());
    }
    return stream;
}

}  // namespace

// Output: a '#' comment line naming the columns, then one pure CSV line per stream frame:
// frame index (0-based, every frame counts), time in ms from the first frame, 18 pose values.
int runPoses(int argc, char** argv) {
    bool unsmoothed = false;
    const char* sourceName = nullptr;
    bool usable = true;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unsmoothed") == 0 && !unsmoothed) {
            unsmoothed = true;
        } else if (!sourceName && argv[i][0] != '-') {
            sourceName = argv[i];
        } else {
            usable = false;
        }
    }
    if (!usable || !sourceName) {
        std::fprintf(stderr, "usage: gesturetool poses [--unsmoothed] STREAM   (STREAM is csv:FILE or replay:FILE)\n");
        return 2;
    }
    std::unique_ptr<StreamSource> owned = openCommandStream("poses", sourceName);
    if (!owned) {
        return 2;
    }
    StreamSource& stream = *owned;
    SensorInput sensor(std::move(owned));
    sensor.diagnostics = stderr;  // stdout carries the data
    sensor.smoothSkeletons = !unsmoothed;
    ArmPoseExtractor extractor;
    ArmPose pose{};
    std::printf("# frame,time_ms,%s\n", POSE_COLUMNS);
    for (long index = 0; stepSensorFrame(sensor, stream, false); ++index) {
        // The extractor smooths the torso joints in the sensor's own record, as the painting
        // program's frame loop does: a frame without a tracked user keeps that record, so the
        // smoothing goes on from the smoothed joints, not from the last raw ones.
        extractArmPose(extractor, sensor.skeleton, pose);
        std::printf("%ld,%u", index, stream.frameTimeMs());
        for (float value : pose) {
            std::printf(",%.6g", value);
        }
        std::printf("\n");
        if (std::ferror(stdout)) break;  // the output is lost (a full disk): reported on return
    }
    return 0;
}

int runConvert(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gesturetool convert STREAM OUT.rec   (STREAM is csv:FILE or replay:FILE)\n");
        return 2;
    }
    const std::string output = argv[1];
    if (output.empty()) {
        // An unset shell variable in the output's place: a bad argument, not a failed write.
        std::fprintf(stderr, "gesturetool convert: the output file name is empty\n");
        return 2;
    }
    if (streamPlaysFile(argv[0], output)) {
        // The finished recording would replace the very stream it was made from.
        std::fprintf(stderr, "gesturetool convert: '%s' is the input itself; choose another output file\n",
                     output.c_str());
        return 2;
    }
    std::unique_ptr<StreamSource> owned = openCommandStream("convert", argv[0]);
    if (!owned) {
        return 2;
    }
    StreamSource& stream = *owned;
    SensorInput sensor(std::move(owned));
    sensor.diagnostics = stderr;
    // The recording is written beside the output and renamed over it only when complete, so
    // a failure (a full disk) leaves whatever was there before.
    std::string error;
    FileReplacement replacement;
    // The signals wait while the temporary is made and its name noted, so that none can leave
    // it behind unnamed. A signal the tool was started to ignore (nohup) stays ignored.
    sigset_t interrupts;
    sigset_t previousMask;
    sigemptyset(&interrupts);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&interrupts, signalNumber);
        struct sigaction current {};
        if (::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            std::signal(signalNumber, removeTemporaryAndExit);
        }
    }
    ::sigprocmask(SIG_BLOCK, &interrupts, &previousMask);
    const bool begun = beginFileReplacement(output, replacement, error);
    if (begun && replacement.temporary.size() < sizeof interruptedTemporary) {
        std::memcpy(interruptedTemporary, replacement.temporary.c_str(), replacement.temporary.size() + 1);
    }
    ::sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    if (!begun) {
        std::fprintf(stderr, "gesturetool convert: %s\n", error.c_str());
        return 1;
    }
    ::close(replacement.fd);
    replacement.fd = -1;
    Recorder recorder;
    if (!recorder.open(replacement.temporary, RECORDING_STORES_IMAGES, error, output)) {
        std::fprintf(stderr, "gesturetool convert: %s\n", error.c_str());
        abandonFileReplacement(replacement);
        interruptedTemporary[0] = '\0';
        return 1;
    }
    sensor.recorder = &recorder;
    while (stepSensorFrame(sensor, stream)) {
    }
    const bool written = recorder.finish(error) && finishFileReplacement(replacement, error);
    if (!written) abandonFileReplacement(replacement);
    interruptedTemporary[0] = '\0';  // renamed or removed: the name may be anyone's now
    if (!written) {
        // A write that stopped the recording mid-run was reported by the sensor then.
        if (!recorder.stoppedByFailure()) std::fprintf(stderr, "gesturetool convert: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %u frames to %s\n", recorder.framesWritten(), output.c_str());
    return 0;
}
