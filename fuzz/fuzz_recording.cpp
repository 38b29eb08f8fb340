// Sensor recordings are replayed from any file the user names (--sensor replay:FILE).
// open() must refuse or accept any bytes without a fault, and every frame it accepts must
// then read back (or fail with a reason) without touching memory outside the buffers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/sensor/frame_source.h"
#include "common/sensor/recording.h"
#include "fuzz/memfile.h"

namespace {
// Large frames would make each input slow without reaching new code.
constexpr size_t MAX_FRAMES_READ = 8;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemFile file;
    static std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    static std::vector<uint16_t> depth(FRAME_PIXELS);
    static SkeletonFrame skeleton;
    // One reader for every input, as a program re-opening files would use it: open() must
    // forget the previous file completely. It also keeps the 1.2 MB buffers from being
    // allocated per input, which made this target slow.
    static RecordingReader reader;

    const std::string& path = file.write(data, size);
    std::string error;
    if (!reader.open(path, error)) {
        if (error.empty()) {
            std::fprintf(stderr, "refused without a reason\n");
            std::abort();
        }
        return 0;
    }
    for (size_t i = 0; i < reader.frames.size() && i < MAX_FRAMES_READ; ++i) {
        const RecordingFrameInfo& info = reader.frames[i];
        if (i > 0 && info.timeUs < reader.frames[i - 1].timeUs) {
            std::fprintf(stderr, "accepted a recording whose time goes back at frame %zu\n", i);
            std::abort();
        }
        // The file has not changed since open(), so a present block must read.
        bool hasSkeleton = (info.flags & RECORDED_SKELETON) != 0;
        if (reader.readSkeleton(i, skeleton, error) != hasSkeleton) {
            std::fprintf(stderr, "frame %zu: skeleton read disagrees with its flag: %s\n", i, error.c_str());
            std::abort();
        }
        bool hasColour = info.colourSize > 0;
        if (reader.readColour(i, colour.data(), error) != hasColour) {
            std::fprintf(stderr, "frame %zu: colour read disagrees with open(): %s\n", i, error.c_str());
            std::abort();
        }
        bool hasDepth = info.depthSize > 0;
        if (reader.readDepth(i, depth.data(), error) != hasDepth) {
            std::fprintf(stderr, "frame %zu: depth read disagrees with open(): %s\n", i, error.c_str());
            std::abort();
        }
    }
    // Out-of-range indices are refused, not read.
    if (reader.readSkeleton(reader.frames.size(), skeleton, error)) {
        std::fprintf(stderr, "read a frame past the end\n");
        std::abort();
    }
    return 0;
}
