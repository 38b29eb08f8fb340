#pragma once
// Sensor recordings: what a FrameSource delivered, frame by frame, so a session can be played
// back (--sensor replay:FILE) with the same frames and the same fetch failures.
//
// File format, version 1. All integers little-endian.
//
//   File header, 24 bytes:
//     0   8  magic "SNSRREC\n"
//     8   4  version (1)
//     12  4  contents: bit 0 colour images stored, bit 1 depth images stored; a recording
//            without them carries skeletons only, and replay renders the images from them
//     16  2  width (640)
//     18  2  height (480)
//     20  4  reserved, 0
//   Frames, each:
//     4  tag "FRAM"
//     8  time in microseconds, from the recording's own clock; never decreasing
//     4  flags: bit 0 skeleton, bit 1 colour, bit 2 depth fetch succeeded; other bits 0.
//        A clear bit is a dropped frame: replay fails that fetch.
//     2616  the six-slot skeleton frame (6 x 436-byte SkeletonRecord), only if bit 0
//     4  CRC-32 of the time, flags and skeleton bytes above
//     colour block, only if bit 1 and colour images are stored:
//        4  compressed size (1 .. compressBound(1,228,800))
//        4  CRC-32 of the compressed bytes
//        n  zlib stream of 640 x 480 B, G, R, X bytes
//     depth block, only if bit 2 and depth images are stored: the same, of 640 x 480 packed
//        16-bit depths (millimetres << 3 | player index), 614,400 bytes uncompressed.
//   End marker, 8 bytes: tag "ENDR", then the number of frames (4).
//
// A recording cut short (the program stopped while recording) keeps its complete frames:
// the reader accepts them and says in `warning` where the file ends. Anything else that does
// not fit the layout is refused with one line naming the file, the frame and the fault.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/sensor/frame_source.h"
#include "common/sensor/skeleton_record.h"

// Whether bytes read from the start of a file begin like a recording (its magic number).
bool startsLikeRecording(const std::string& bytes);

constexpr uint32_t RECORDING_VERSION = 1;
constexpr int RECORDING_HEADER_BYTES = 24;

enum RecordingContents : uint32_t {
    RECORDING_STORES_COLOUR = 1,
    RECORDING_STORES_DEPTH = 2,
    RECORDING_STORES_IMAGES = 3
};

enum RecordingFrameFlags : uint32_t {
    RECORDED_SKELETON = 1,
    RECORDED_COLOUR = 2,
    RECORDED_DEPTH = 4,
    RECORDED_ALL = 7
};

// Where one frame lives in the file. Offsets are byte positions; a size of 0 means the
// block is absent (dropped fetch, or images not stored).
struct RecordingFrameInfo {
    uint64_t timeUs = 0;
    uint32_t flags = 0;
    long skeletonOffset = 0;
    long colourOffset = 0;
    uint32_t colourSize = 0;
    long depthOffset = 0;
    uint32_t depthSize = 0;
};

// Writes a recording frame by frame. Compression buffers are allocated once, at open.
class RecordingWriter {
public:
    RecordingWriter();
    ~RecordingWriter();  // finishes the file if still open
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Messages name `shownPath` when one is given: the file being written may be a temporary
    // that replaces it at the end.
    bool open(const std::string& path, uint32_t contents, std::string& error,
              const std::string& shownPath = std::string());

    // A null pointer records that fetch as failed. Times must not decrease.
    bool writeFrame(uint64_t timeUs, const SkeletonFrame* skeleton, const uint8_t* bgrx,
                    const uint16_t* packedDepth, std::string& error);

    // Writes the end marker and closes the file.
    bool finish(std::string& error);

    // Closes the file without the end marker, after a failed write: the frame being written may
    // be incomplete, and a marker behind it would make the reader refuse the whole file, where a
    // file cut short keeps its complete frames.
    void abandon();

    bool isOpen() const { return file != nullptr; }
    uint32_t framesWritten() const { return frameCount; }

private:
    bool writeBlock(const void* data, size_t size, const char* what, std::string& error);
    bool put(const void* data, size_t size, std::string& error);

    std::FILE* file = nullptr;
    std::string path;
    uint32_t contents = 0;
    uint32_t frameCount = 0;
    uint64_t lastTimeUs = 0;
    std::vector<uint8_t> compressed;
    struct Deflater;
    std::unique_ptr<Deflater> deflater;  // one zlib stream, reset per image
};

// Reads a recording. open() checks the whole file's layout and checksums once, so later
// reads only fail if the file changes underneath.
class RecordingReader {
public:
    RecordingReader();
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // False with a one-line `error` for a file that is not a usable recording. True with a
    // one-line `warning` when the file is cut short and only its complete frames are kept.
    bool open(const std::string& path, std::string& error);

    uint32_t contents = 0;
    std::string warning;
    std::vector<RecordingFrameInfo> frames;

    // Each read fails (one-line `error`) when the frame lacks that part or the file has changed.
    bool readSkeleton(size_t index, SkeletonFrame& frame, std::string& error);
    bool readColour(size_t index, uint8_t* bgrx, std::string& error);
    bool readDepth(size_t index, uint16_t* packedDepth, std::string& error);

private:
    bool readBlock(size_t index, long offset, uint32_t size, void* out, size_t outSize,
                   const char* what, std::string& error);

    std::FILE* file = nullptr;
    std::string path;
    std::vector<uint8_t> compressed;
    // A block decompresses here first, so that a damaged one leaves the caller's image as it was.
    std::vector<uint8_t> inflated;
    struct Inflater;
    std::unique_ptr<Inflater> inflater;  // one zlib stream, reset per image
};

// Collects what SensorInput fetched during one program frame and writes it as one recorded
// frame when the next frame begins (or at finish). Buffers are allocated once, at open.
// A write failure (disk full) is printed once to stderr and stops the recording; the
// program goes on.
class Recorder {
public:
    Recorder() = default;
    ~Recorder();  // finishes the recording if still open
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool open(const std::string& path, uint32_t contents, std::string& error,
              const std::string& shownPath = std::string());

    // Starts a frame at `timeUs` on the recording's clock, writing the previous one.
    void beginFrame(uint64_t timeUs);
    // A null pointer records that fetch as failed.
    void recordSkeleton(const SkeletonFrame* frame);
    void recordColour(const uint8_t* bgrx);
    void recordDepth(const uint16_t* packedDepth);

    // Forgets the frame begun and not yet written.
    void discardFrame() { pending = false; }

    // Writes the pending frame and the end marker. True if everything reached the file.
    bool finish(std::string& error);

    bool isRecording() const { return writer.isOpen(); }
    // A write failed and stopped the recording (and was printed then).
    bool stoppedByFailure() const { return !failure.empty(); }
    uint32_t framesWritten() const { return writer.framesWritten(); }

private:
    void writePending();

    RecordingWriter writer;
    bool pending = false;
    uint64_t pendingTimeUs = 0;
    uint32_t pendingFlags = 0;
    SkeletonFrame skeleton;
    std::vector<uint8_t> colour;
    std::vector<uint16_t> depth;
    std::string failure;  // the first write error, kept for finish()
};
