#include "common/sensor/recording.h"

#include "common/files/regular_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "recordings are written as the host's bytes, which must be little-endian");

namespace {

constexpr char RECORDING_MAGIC[8] = {'S', 'N', 'S', 'R', 'R', 'E', 'C', '\n'};
constexpr uint32_t FRAME_TAG = 0x4D415246u;  // "FRAM"
constexpr uint32_t END_TAG = 0x52444E45u;    // "ENDR"
constexpr int SKELETON_FRAME_BYTES = static_cast<int>(sizeof(SkeletonFrame));
constexpr int COMPRESSION_LEVEL = 1;  // fast; depth frames still shrink about tenfold

static_assert(SKELETON_FRAME_BYTES == 6 * 436, "a skeleton frame is six raw records");

uint32_t crcOf(uint32_t crc, const void* data, size_t size) {
    return static_cast<uint32_t>(crc32(crc, static_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

uint32_t readU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

std::string prefix(const std::string& path) { return "recording '" + path + "': "; }

std::string framePrefix(const std::string& path, size_t frame) {
    return prefix(path) + "frame " + std::to_string(frame) + ": ";
}

}  // namespace

bool startsLikeRecording(const std::string& bytes) {
    return bytes.size() >= sizeof RECORDING_MAGIC && std::memcmp(bytes.data(), RECORDING_MAGIC, sizeof RECORDING_MAGIC) == 0;
}

struct RecordingWriter::Deflater {
    z_stream stream{};
    bool ready = false;
};

struct RecordingReader::Inflater {
    z_stream stream{};
    bool ready = false;
};

// ---------------------------------------------------------------------------------------------
// Writer

RecordingWriter::RecordingWriter() : deflater(new Deflater) {}

RecordingWriter::~RecordingWriter() {
    if (file) {
        std::string ignored;
        finish(ignored);
    }
    if (deflater->ready) {
        deflateEnd(&deflater->stream);
    }
}

bool RecordingWriter::open(const std::string& filePath, uint32_t storedContents, std::string& error,
                           const std::string& shownPath) {
    if (file) {
        error = prefix(path) + "already open";
        return false;
    }
    path = shownPath.empty() ? filePath : shownPath;
    contents = storedContents & RECORDING_STORES_IMAGES;
    frameCount = 0;
    lastTimeUs = 0;
    if (!deflater->ready) {
        if (deflateInit(&deflater->stream, COMPRESSION_LEVEL) != Z_OK) {
            error = prefix(path) + "cannot start the compressor";
            return false;
        }
        deflater->ready = true;
        compressed.resize(deflateBound(&deflater->stream, COLOUR_FRAME_BYTES));
    }
    // A pipe may take the recording (a compressor reading it), but one that nobody reads would
    // block the open, and the program's start, for ever: it is refused at once instead.
    const int fd = ::open(filePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = prefix(path) + "cannot create: " +
                (errno == ENXIO ? std::string("it is a pipe that no program is reading") : std::strerror(errno));
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1 || !(file = ::fdopen(fd, "wb"))) {
        error = prefix(path) + "cannot create: " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    uint8_t header[RECORDING_HEADER_BYTES] = {};
    std::memcpy(header, RECORDING_MAGIC, 8);
    uint32_t version = RECORDING_VERSION;
    std::memcpy(header + 8, &version, 4);
    std::memcpy(header + 12, &contents, 4);
    uint16_t width = FRAME_WIDTH;
    uint16_t height = FRAME_HEIGHT;
    std::memcpy(header + 16, &width, 2);
    std::memcpy(header + 18, &height, 2);
    if (!put(header, sizeof header, error)) {
        std::fclose(file);
        file = nullptr;
        return false;
    }
    return true;
}

bool RecordingWriter::put(const void* data, size_t size, std::string& error) {
    if (std::fwrite(data, 1, size, file) != size) {
        error = prefix(path) + "write failed in frame " + std::to_string(frameCount) + ": " +
                std::strerror(errno);
        return false;
    }
    return true;
}

bool RecordingWriter::writeBlock(const void* data, size_t size, const char* what, std::string& error) {
    z_stream& z = deflater->stream;
    deflateReset(&z);
    z.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    z.avail_in = static_cast<uInt>(size);
    z.next_out = compressed.data();
    z.avail_out = static_cast<uInt>(compressed.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
        error = framePrefix(path, frameCount) + "cannot compress the " + what + " image";
        return false;
    }
    uint32_t header[2] = {static_cast<uint32_t>(z.total_out), crcOf(0, compressed.data(), z.total_out)};
    return put(header, sizeof header, error) && put(compressed.data(), z.total_out, error);
}

bool RecordingWriter::writeFrame(uint64_t timeUs, const SkeletonFrame* skeleton, const uint8_t* bgrx,
                                 const uint16_t* packedDepth, std::string& error) {
    if (!file) {
        error = prefix(path) + "not open";
        return false;
    }
    if (frameCount > 0 && timeUs < lastTimeUs) {
        timeUs = lastTimeUs;  // a reader refuses time going backwards; hold the time instead
    }
    uint32_t flags = (skeleton ? RECORDED_SKELETON : 0u) | (bgrx ? RECORDED_COLOUR : 0u) |
                     (packedDepth ? RECORDED_DEPTH : 0u);
    uint8_t head[16];
    uint32_t tag = FRAME_TAG;
    std::memcpy(head, &tag, 4);
    std::memcpy(head + 4, &timeUs, 8);
    std::memcpy(head + 12, &flags, 4);
    uint32_t crc = crcOf(0, head + 4, 12);
    if (!put(head, sizeof head, error)) {
        return false;
    }
    if (skeleton) {
        crc = crcOf(crc, skeleton, SKELETON_FRAME_BYTES);
        if (!put(skeleton, SKELETON_FRAME_BYTES, error)) {
            return false;
        }
    }
    if (!put(&crc, 4, error)) {
        return false;
    }
    if (bgrx && (contents & RECORDING_STORES_COLOUR) &&
        !writeBlock(bgrx, COLOUR_FRAME_BYTES, "colour", error)) {
        return false;
    }
    if (packedDepth && (contents & RECORDING_STORES_DEPTH) &&
        !writeBlock(packedDepth, DEPTH_FRAME_BYTES, "depth", error)) {
        return false;
    }
    lastTimeUs = timeUs;
    ++frameCount;
    return true;
}

bool RecordingWriter::finish(std::string& error) {
    if (!file) {
        error = prefix(path) + "not open";
        return false;
    }
    uint32_t end[2] = {END_TAG, frameCount};
    bool ok = put(end, sizeof end, error);
    if (std::fclose(file) != 0 && ok) {
        error = prefix(path) + "cannot finish writing: " + std::strerror(errno);
        ok = false;
    }
    file = nullptr;
    return ok;
}

void RecordingWriter::abandon() {
    if (!file) return;
    std::fclose(file);
    file = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Reader

RecordingReader::RecordingReader() : inflater(new Inflater) {}

RecordingReader::~RecordingReader() {
    if (file) {
        std::fclose(file);
    }
    if (inflater->ready) {
        inflateEnd(&inflater->stream);
    }
}

namespace {
const char* const NOT_A_RECORDING =
    "not a recording (bad magic number); a text skeleton stream is played with csv:FILE";
}  // namespace

bool RecordingReader::open(const std::string& filePath, std::string& error) {
    if (file) {
        std::fclose(file);
        file = nullptr;
    }
    path = filePath;
    frames.clear();
    warning.clear();
    contents = 0;
    if (!inflater->ready) {
        if (inflateInit(&inflater->stream) != Z_OK) {
            error = prefix(path) + "cannot start the decompressor";
            return false;
        }
        inflater->ready = true;
    }
    compressed.resize(compressBound(COLOUR_FRAME_BYTES));
    inflated.resize(std::max<size_t>(COLOUR_FRAME_BYTES, DEPTH_FRAME_BYTES));

    std::string openError;
    file = openRegularFile(path, openError);
    if (!file) {
        error = prefix(path) + openError;
        return false;
    }
    auto fail = [&](const std::string& message) {
        error = message;
        std::fclose(file);
        file = nullptr;
        frames.clear();
        return false;
    };
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return fail(prefix(path) + "cannot seek: " + std::strerror(errno));
    }
    const long fileSize = std::ftell(file);
    std::rewind(file);
    if (fileSize < 0) {
        return fail(prefix(path) + "cannot tell its size");
    }

    uint8_t header[RECORDING_HEADER_BYTES] = {};
    // Read what there is even when it is short: a recording cut inside its header still starts
    // with the magic and is "too short", not "not a recording".
    const size_t headerRead = std::fread(header, 1, sizeof header, file);
    if (headerRead != sizeof header) {
        if (headerRead >= 8 && std::memcmp(header, RECORDING_MAGIC, 8) != 0) {
            return fail(prefix(path) + NOT_A_RECORDING);
        }
        return fail(prefix(path) + "too short for a recording header (" + std::to_string(fileSize) +
                    " bytes)");
    }
    if (std::memcmp(header, RECORDING_MAGIC, 8) != 0) {
        return fail(prefix(path) + NOT_A_RECORDING);
    }
    uint32_t version = readU32(header + 8);
    if (version != RECORDING_VERSION) {
        return fail(prefix(path) + "unsupported version " + std::to_string(version) +
                    " (this build reads version " + std::to_string(RECORDING_VERSION) + ")");
    }
    contents = readU32(header + 12);
    uint16_t width, height;
    std::memcpy(&width, header + 16, 2);
    std::memcpy(&height, header + 18, 2);
    if ((contents & ~uint32_t(RECORDING_STORES_IMAGES)) != 0 || width != FRAME_WIDTH ||
        height != FRAME_HEIGHT) {
        return fail(prefix(path) + "unsupported header (contents " + std::to_string(contents) + ", " +
                    std::to_string(width) + " x " + std::to_string(height) + ")");
    }

    long pos = RECORDING_HEADER_BYTES;
    uint64_t lastTime = 0;
    SkeletonFrame skeleton;
    // Reads `size` bytes at the current position, or says the file was cut short there.
    std::string cutShort;
    auto take = [&](void* out, long size, const char* what) {
        long left = fileSize - pos;
        if (left < size) {
            cutShort = "cut short in frame " + std::to_string(frames.size()) + " (" + what + ": need " +
                       std::to_string(size) + " bytes, " + std::to_string(left) + " left)";
            return false;
        }
        if (std::fread(out, 1, static_cast<size_t>(size), file) != static_cast<size_t>(size)) {
            cutShort = "read failed in frame " + std::to_string(frames.size()) + " (" + what + ")";
            return false;
        }
        pos += size;
        return true;
    };
    // Checks one compressed block; false with `blockError` set for corruption.
    std::string blockError;
    auto takeBlock = [&](uint32_t uncompressed, const char* what, long& offset, uint32_t& size) {
        uint8_t blockHead[8];
        if (!take(blockHead, 8, what)) {
            return false;
        }
        size = readU32(blockHead);
        uint32_t crc = readU32(blockHead + 4);
        uLong bound = compressBound(uncompressed);
        if (size == 0 || size > bound) {
            blockError = framePrefix(path, frames.size()) + what + " size " + std::to_string(size) +
                         " is outside 1.." + std::to_string(bound) + " (corrupt)";
            return false;
        }
        offset = pos;
        if (!take(compressed.data(), size, what)) {
            return false;
        }
        if (crcOf(0, compressed.data(), size) != crc) {
            blockError = framePrefix(path, frames.size()) + what + " checksum mismatch (corrupt)";
            return false;
        }
        return true;
    };

    bool ended = false;
    while (!ended) {
        if (pos == fileSize) {
            cutShort = "ends after " + std::to_string(frames.size()) + " frames without its end marker";
            break;
        }
        uint8_t tagBytes[4];
        if (!take(tagBytes, 4, "frame tag")) {
            break;
        }
        uint32_t tag = readU32(tagBytes);
        if (tag == END_TAG) {
            uint8_t countBytes[4];
            if (!take(countBytes, 4, "end marker")) {
                break;
            }
            uint32_t count = readU32(countBytes);
            if (count != frames.size()) {
                return fail(prefix(path) + "end marker counts " + std::to_string(count) + " frames but " +
                            std::to_string(frames.size()) + " were read (corrupt)");
            }
            if (pos != fileSize) {
                return fail(prefix(path) + std::to_string(fileSize - pos) +
                            " unexpected bytes after the end marker (corrupt)");
            }
            ended = true;
            break;
        }
        if (tag != FRAME_TAG) {
            return fail(framePrefix(path, frames.size()) + "bad frame tag (corrupt)");
        }
        RecordingFrameInfo info;
        uint8_t head[12];
        if (!take(head, 12, "frame header")) {
            break;
        }
        std::memcpy(&info.timeUs, head, 8);
        info.flags = readU32(head + 8);
        uint32_t crc = crcOf(0, head, 12);
        if (info.flags & RECORDED_SKELETON) {
            info.skeletonOffset = pos;
            if (!take(&skeleton, SKELETON_FRAME_BYTES, "skeleton")) {
                break;
            }
            crc = crcOf(crc, &skeleton, SKELETON_FRAME_BYTES);
        }
        uint8_t crcBytes[4];
        if (!take(crcBytes, 4, "frame checksum")) {
            break;
        }
        if (readU32(crcBytes) != crc) {
            return fail(framePrefix(path, frames.size()) + "header checksum mismatch (corrupt)");
        }
        // Checked after the checksum so that a damaged header is reported as such.
        if ((info.flags & ~uint32_t(RECORDED_ALL)) != 0) {
            return fail(framePrefix(path, frames.size()) + "unknown flags " + std::to_string(info.flags) +
                        " (corrupt)");
        }
        if (!frames.empty() && info.timeUs < lastTime) {
            return fail(framePrefix(path, frames.size()) + "time goes backwards (corrupt)");
        }
        if ((info.flags & RECORDED_COLOUR) && (contents & RECORDING_STORES_COLOUR) &&
            !takeBlock(COLOUR_FRAME_BYTES, "colour data", info.colourOffset, info.colourSize)) {
            if (!blockError.empty()) {
                return fail(blockError);
            }
            break;
        }
        if ((info.flags & RECORDED_DEPTH) && (contents & RECORDING_STORES_DEPTH) &&
            !takeBlock(DEPTH_FRAME_BYTES, "depth data", info.depthOffset, info.depthSize)) {
            if (!blockError.empty()) {
                return fail(blockError);
            }
            break;
        }
        lastTime = info.timeUs;
        frames.push_back(info);
    }
    if (!ended) {
        if (frames.empty()) {
            return fail(prefix(path) + cutShort + ": no complete frame");
        }
        warning = prefix(path) + cutShort + ": keeping the " + std::to_string(frames.size()) +
                  " complete frames";
    }
    return true;
}

bool RecordingReader::readSkeleton(size_t index, SkeletonFrame& frame, std::string& error) {
    if (!file || index >= frames.size() || !(frames[index].flags & RECORDED_SKELETON)) {
        error = framePrefix(path, index) + "no skeleton frame";
        return false;
    }
    // The header checksum was verified at open; a file changed since then is caught by the
    // image checksums, and a skeleton is plain numbers whose any value is safe.
    if (std::fseek(file, frames[index].skeletonOffset, SEEK_SET) != 0 ||
        std::fread(&frame, 1, SKELETON_FRAME_BYTES, file) != static_cast<size_t>(SKELETON_FRAME_BYTES)) {
        error = framePrefix(path, index) + "cannot read the skeleton (file changed?)";
        return false;
    }
    return true;
}

bool RecordingReader::readBlock(size_t index, long offset, uint32_t size, void* out, size_t outSize,
                                const char* what, std::string& error) {
    if (!file || size == 0 || size > compressed.size()) {
        error = framePrefix(path, index) + "no " + what + " image stored";
        return false;
    }
    uint8_t blockHead[8];
    if (std::fseek(file, offset - 8, SEEK_SET) != 0 || std::fread(blockHead, 1, 8, file) != 8 ||
        readU32(blockHead) != size || std::fread(compressed.data(), 1, size, file) != size ||
        crcOf(0, compressed.data(), size) != readU32(blockHead + 4)) {
        error = framePrefix(path, index) + "cannot read the " + what + " image (file changed?)";
        return false;
    }
    z_stream& z = inflater->stream;
    inflateReset(&z);
    z.next_in = compressed.data();
    z.avail_in = size;
    z.next_out = inflated.data();
    z.avail_out = static_cast<uInt>(std::min(outSize, inflated.size()));
    int result = inflate(&z, Z_FINISH);
    if (result != Z_STREAM_END || z.total_out != outSize || z.avail_in != 0) {
        error = framePrefix(path, index) + what + " image does not decompress to " +
                std::to_string(outSize) + " bytes (corrupt)";
        return false;
    }
    std::memcpy(out, inflated.data(), outSize);
    return true;
}

bool RecordingReader::readColour(size_t index, uint8_t* bgrx, std::string& error) {
    if (index >= frames.size()) {
        error = framePrefix(path, index) + "no such frame";
        return false;
    }
    return readBlock(index, frames[index].colourOffset, frames[index].colourSize, bgrx,
                     COLOUR_FRAME_BYTES, "colour", error);
}

bool RecordingReader::readDepth(size_t index, uint16_t* packedDepth, std::string& error) {
    if (index >= frames.size()) {
        error = framePrefix(path, index) + "no such frame";
        return false;
    }
    return readBlock(index, frames[index].depthOffset, frames[index].depthSize, packedDepth,
                     DEPTH_FRAME_BYTES, "depth", error);
}

// ---------------------------------------------------------------------------------------------
// Recorder

Recorder::~Recorder() {
    if (writer.isOpen()) {
        std::string error;
        if (!finish(error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
        }
    }
}

bool Recorder::open(const std::string& path, uint32_t contents, std::string& error,
                    const std::string& shownPath) {
    colour.assign(COLOUR_FRAME_BYTES, 0);
    depth.assign(FRAME_PIXELS, 0);
    pending = false;
    failure.clear();
    return writer.open(path, contents, error, shownPath);
}

void Recorder::writePending() {
    if (!pending) {
        return;
    }
    pending = false;
    if (!writer.isOpen()) {
        return;
    }
    std::string error;
    if (!writer.writeFrame(pendingTimeUs, (pendingFlags & RECORDED_SKELETON) ? &skeleton : nullptr,
                           (pendingFlags & RECORDED_COLOUR) ? colour.data() : nullptr,
                           (pendingFlags & RECORDED_DEPTH) ? depth.data() : nullptr, error)) {
        // Stop here rather than fill the disk with half frames; what was written stays readable.
        failure = error + " (recording stopped)";
        std::fprintf(stderr, "%s\n", failure.c_str());
        writer.abandon();
    }
}

void Recorder::beginFrame(uint64_t timeUs) {
    writePending();
    pending = true;
    pendingTimeUs = timeUs;
    pendingFlags = 0;
}

void Recorder::recordSkeleton(const SkeletonFrame* frame) {
    if (!pending) {
        beginFrame(pendingTimeUs);
    }
    if (frame) {
        skeleton = *frame;
        pendingFlags |= RECORDED_SKELETON;
    }
}

void Recorder::recordColour(const uint8_t* bgrx) {
    if (!pending) {
        beginFrame(pendingTimeUs);
    }
    if (bgrx && !colour.empty()) {
        std::memcpy(colour.data(), bgrx, COLOUR_FRAME_BYTES);
        pendingFlags |= RECORDED_COLOUR;
    }
}

void Recorder::recordDepth(const uint16_t* packedDepth) {
    if (!pending) {
        beginFrame(pendingTimeUs);
    }
    if (packedDepth && !depth.empty()) {
        std::memcpy(depth.data(), packedDepth, DEPTH_FRAME_BYTES);
        pendingFlags |= RECORDED_DEPTH;
    }
}

bool Recorder::finish(std::string& error) {
    writePending();
    if (!failure.empty()) {
        error = failure;
        return false;
    }
    if (!writer.isOpen()) {
        error = "recording: not open";
        return false;
    }
    return writer.finish(error);
}
