// Sensor recordings are replayed from any file the user names (--sensor replay:FILE).
// open() must refuse or accept any bytes without a fault, and every frame it accepts must
// then read back (or fail with a reason) without touching memory outside the buffers.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/sensor/frame_source.h"
#include "common/sensor/recording.h"
#include "common/sensor/replay_source.h"
#include "fuzz/memfile.h"

namespace {
// Large frames would make each input slow without reaching new code.
constexpr size_t MAX_FRAMES_READ = 8;
constexpr size_t SKELETON_BYTES = sizeof(SkeletonFrame);

uint32_t u32At(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void putCrc(uint8_t* p, const uint8_t* data, size_t size) {
    uint32_t crc = static_cast<uint32_t>(crc32(0, data, static_cast<uInt>(size)));
    std::memcpy(p, &crc, 4);
}

// Rewrites every checksum of the recording in `data` to match its bytes, as far as the
// layout can be followed. Without this, nearly every mutation stops at the first CRC and
// the frame contents and the image streams behind it are never reached.
void fixChecksums(uint8_t* data, size_t size) {
    if (size < 24) return;
    const uint32_t contents = u32At(data + 12);
    size_t pos = 24;
    while (pos + 4 <= size && std::memcmp(data + pos, "FRAM", 4) == 0) {
        pos += 4;
        if (pos + 12 > size) return;
        const uint32_t flags = u32At(data + pos + 8);
        size_t covered = 12 + ((flags & RECORDED_SKELETON) ? SKELETON_BYTES : 0);
        if (pos + covered + 4 > size) return;
        putCrc(data + pos + covered, data + pos, covered);
        pos += covered + 4;
        for (uint32_t part : {uint32_t(RECORDED_COLOUR), uint32_t(RECORDED_DEPTH)}) {
            uint32_t stored = part == RECORDED_COLOUR ? RECORDING_STORES_COLOUR : RECORDING_STORES_DEPTH;
            if (!(flags & part) || !(contents & stored)) continue;
            if (pos + 8 > size) return;
            const uint32_t n = u32At(data + pos);
            if (n > size - pos - 8) return;
            putCrc(data + pos + 4, data + pos + 8, n);
            pos += 8 + n;
        }
    }
}

}  // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

// Three mutations in four get their checksums repaired; the rest still test the checks.
extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 4 != 0) fixChecksums(data, size);
    return size;
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
        // open() checks the images' checksums but does not inflate them, so a stream whose
        // checksum matches may still fail to decompress: that read fails with a reason. An
        // absent block never reads.
        error.clear();
        if (reader.readColour(i, colour.data(), error) ? info.colourSize == 0 : error.empty()) {
            std::fprintf(stderr, "frame %zu: colour read disagrees with open(): %s\n", i, error.c_str());
            std::abort();
        }
        error.clear();
        if (reader.readDepth(i, depth.data(), error) ? info.depthSize == 0 : error.empty()) {
            std::fprintf(stderr, "frame %zu: depth read disagrees with open(): %s\n", i, error.c_str());
            std::abort();
        }
    }
    // Replay it as --sensor replay:FILE does, with a fresh source (playback state is not
    // reset by a second open): 16 frames of 33 ms with all three fetches, then a stall.
    if (!reader.frames.empty()) {
        ReplaySource replay;
        if (!replay.open(path, error)) {
            std::fprintf(stderr, "the reader accepted what replay refuses: %s\n", error.c_str());
            std::abort();
        }
        for (uint32_t t = 0; t < 16; ++t) {
            replay.advance(t * 33);
            replay.nextSkeletonFrame(skeleton);
            replay.nextColourFrame(colour.data());
            replay.nextDepthFrame(depth.data());
        }
        replay.advance(UINT32_MAX);
        replay.nextSkeletonFrame(skeleton);
    }

    // Out-of-range indices are refused, not read.
    if (reader.readSkeleton(reader.frames.size(), skeleton, error)) {
        std::fprintf(stderr, "read a frame past the end\n");
        std::abort();
    }
    return 0;
}
