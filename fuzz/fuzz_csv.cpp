// Text skeleton streams (--sensor csv:FILE) come from other tools or hand edits. Every line
// must parse or be skipped with a reason; whole files must open or be refused.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/sensor/csv_source.h"
#include "fuzz/memfile.h"

namespace {

void checkFrame(const CsvFrame& frame) {
    for (const Vector4& j : frame.joints) {
        if (!std::isfinite(j.x) || !std::isfinite(j.y) || !std::isfinite(j.z) || !std::isfinite(j.w)) {
            std::fprintf(stderr, "accepted a non-finite joint value\n");
            std::abort();
        }
    }
    SkeletonFrame skeleton;
    csvSkeletonFrame(frame, skeleton);
}

// Plays the stream as a program would (33 ms frames, then a long stall) and as the offline
// tool does (stepping), fetching skeletons only: images of csv streams are rendered, and
// rendering is not what is under test here.
void play(CsvSource& source) {
    static SkeletonFrame frame;
    const size_t frames = source.frameCount();
    for (uint32_t i = 0; i < 64; ++i) {
        source.advance(i * 33);
        source.nextSkeletonFrame(frame);
        if (source.currentFrame() < 0 || static_cast<size_t>(source.currentFrame()) >= frames) {
            std::fprintf(stderr, "current frame %ld outside 0..%zu after advance\n", source.currentFrame(), frames);
            std::abort();
        }
    }
    source.advance(UINT32_MAX);
    source.nextSkeletonFrame(frame);
    for (int i = 0; i < 64 && source.stepFrame(); ++i) {
        (void)source.frameTimeMs();
        (void)source.frameTimeUs();
        source.nextSkeletonFrame(frame);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemFile file;
    static std::FILE* quiet = std::fopen("/dev/null", "w");

    // The first line on its own, through the line parser.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string line = text.substr(0, text.find('\n'));
    CsvFrame frame;
    std::string reason;
    if (parseCsvFrame(line, frame, reason)) {
        checkFrame(frame);
    } else if (reason.empty()) {
        std::fprintf(stderr, "line refused without a reason\n");
        std::abort();
    }

    // The whole input as a file.
    CsvSource source;
    std::string error;
    if (source.open(file.write(data, size), error, quiet)) {
        if (source.frameCount() == 0) {
            std::fprintf(stderr, "opened a stream without frames\n");
            std::abort();
        }
        const auto& frames = source.allFrames();
        for (size_t i = 0; i < frames.size(); ++i) {
            if (i > 0 && frames[i].timeUs < frames[i - 1].timeUs) {
                std::fprintf(stderr, "kept a frame whose time goes back (%zu)\n", i);
                std::abort();
            }
            checkFrame(frames[i]);
        }
        play(source);
    } else if (error.empty()) {
        std::fprintf(stderr, "file refused without a reason\n");
        std::abort();
    }
    return 0;
}
