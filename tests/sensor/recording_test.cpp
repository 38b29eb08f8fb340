#include "common/sensor/recording.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>

#include "common/sensor/replay_source.h"
#include "common/sensor/sensor_input.h"
#include "common/sensor/stream_source.h"
#include "support/unwritten_fifo.h"

namespace {

std::string testPath(const std::string& name) { return std::string(BINARY_DIR) + "/" + name; }

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const uint8_t* data, size_t size) {
    // A new file each time: rewriting a truncated one makes ext4 flush it to disk.
    std::remove(path.c_str());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// One frame's content, small to compress so the many-cut-point tests stay fast.
struct TestFrame {
    uint64_t timeUs = 0;
    bool hasSkeleton = true, hasColour = true, hasDepth = true;
    SkeletonFrame skeleton;
    std::vector<uint8_t> colour;
    std::vector<uint16_t> depth;
};

TestFrame makeFrame(int n, uint64_t timeUs) {
    TestFrame f;
    f.timeUs = timeUs;
    f.skeleton.slots[n % SKELETON_SLOT_COUNT].trackingState = SKELETON_TRACKED;
    f.skeleton.slots[n % SKELETON_SLOT_COUNT].joints[JOINT_WRIST_RIGHT].y = 0.1f * n;
    f.skeleton.slots[3].qualityFlags = 0xABC0u + n;
    f.colour.assign(COLOUR_FRAME_BYTES, static_cast<uint8_t>(20 + n));
    f.depth.assign(FRAME_PIXELS, static_cast<uint16_t>((1000 + n) << 3));
    for (int i = 0; i < 64; ++i) {  // a few distinct pixels so position errors show
        f.colour[static_cast<size_t>(i) * 19001] = static_cast<uint8_t>(i * 3 + n);
        f.depth[static_cast<size_t>(i) * 4799] = static_cast<uint16_t>(i * 97 + n);
    }
    return f;
}

std::vector<TestFrame> sampleFrames() {
    std::vector<TestFrame> frames;
    for (int n = 0; n < 4; ++n) {
        frames.push_back(makeFrame(n, 1000000 + 33333u * n));
    }
    frames[1].hasColour = false;
    frames[2].hasSkeleton = false;
    frames[3].hasDepth = false;
    return frames;
}

void writeRecording(const std::string& path, const std::vector<TestFrame>& frames, uint32_t contents) {
    RecordingWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, contents, error)) << error;
    for (const TestFrame& f : frames) {
        ASSERT_TRUE(writer.writeFrame(f.timeUs, f.hasSkeleton ? &f.skeleton : nullptr,
                                      f.hasColour ? f.colour.data() : nullptr,
                                      f.hasDepth ? f.depth.data() : nullptr, error))
            << error;
    }
    ASSERT_TRUE(writer.finish(error)) << error;
}

// Checks that frame `i` of `reader` holds exactly `f`.
void expectFrame(RecordingReader& reader, size_t i, const TestFrame& f) {
    std::string error;
    const RecordingFrameInfo& info = reader.frames.at(i);
    EXPECT_EQ(info.timeUs, f.timeUs);
    EXPECT_EQ((info.flags & RECORDED_SKELETON) != 0, f.hasSkeleton);
    EXPECT_EQ((info.flags & RECORDED_COLOUR) != 0, f.hasColour);
    EXPECT_EQ((info.flags & RECORDED_DEPTH) != 0, f.hasDepth);
    SkeletonFrame skeleton;
    EXPECT_EQ(reader.readSkeleton(i, skeleton, error), f.hasSkeleton);
    if (f.hasSkeleton) {
        EXPECT_EQ(std::memcmp(&skeleton, &f.skeleton, sizeof skeleton), 0) << "frame " << i;
    }
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    EXPECT_EQ(reader.readColour(i, colour.data(), error), f.hasColour) << error;
    if (f.hasColour) {
        EXPECT_TRUE(colour == f.colour) << "frame " << i;
    }
    std::vector<uint16_t> depth(FRAME_PIXELS);
    EXPECT_EQ(reader.readDepth(i, depth.data(), error), f.hasDepth) << error;
    if (f.hasDepth) {
        EXPECT_TRUE(depth == f.depth) << "frame " << i;
    }
}

// A depth image like a camera's: a back wall, a floor coming toward the camera, a body blob
// with player index 1 and a shadow of missing readings. Depths come in the sensor's disparity
// steps (about 2.85 mm x z^2 in metres), and one pixel in 32 flickers to the next step.
void sceneDepth(int frame, std::vector<uint16_t>& depth) {
    uint32_t noise = 12345u + static_cast<uint32_t>(frame) * 7919u;
    const float bodyX = 300.0f + 40.0f * std::sin(frame * 0.1f);
    for (int v = 0; v < FRAME_HEIGHT; ++v) {
        for (int u = 0; u < FRAME_WIDTH; ++u) {
            noise = noise * 1664525u + 1013904223u;
            int mm = v > 360 ? 3600 - (v - 360) * 12 : 3600 - v / 2;
            int player = 0;
            float dx = (u - bodyX) / 70.0f, dy = (v - 250.0f) / 190.0f;
            float r2 = dx * dx + dy * dy;
            if (r2 < 1.0f) {
                mm = 2200 + static_cast<int>(60.0f * r2);
                player = 1;
            } else if (r2 < 1.08f && dx > 0.0f) {
                mm = 0;  // shadow beside the body
            }
            if (mm > 0) {
                float step = 2.85e-3f * mm * mm / 1000.0f;
                mm = static_cast<int>(std::round(mm / step) * step);
                if (((noise >> 24) & 31u) == 0) {
                    mm += static_cast<int>(step);
                }
            }
            depth[static_cast<size_t>(v) * FRAME_WIDTH + u] = static_cast<uint16_t>(mm << 3 | player);
        }
    }
}

// A simple colour image: a shaded background and a flat-coloured body.
void sceneColour(int frame, std::vector<uint8_t>& colour) {
    for (int v = 0; v < FRAME_HEIGHT; ++v) {
        for (int u = 0; u < FRAME_WIDTH; ++u) {
            uint8_t* p = &colour[(static_cast<size_t>(v) * FRAME_WIDTH + u) * 4];
            bool body = std::abs(u - 300 - frame % 40) < 70 && v > 60 && v < 440;
            p[0] = body ? 40 : static_cast<uint8_t>(120 + v / 8);
            p[1] = body ? 90 : static_cast<uint8_t>(110 + u / 16);
            p[2] = body ? 160 : 100;
            p[3] = 0;
        }
    }
}

// Byte positions worth damaging or cutting at: every byte near the start of the file, of a
// frame, of a block or of the end marker, and a sample of the compressed payloads. Writing
// one file per position is slow, so the long payloads are only sampled.
std::vector<size_t> probePositions(const std::string& path, size_t fileSize) {
    RecordingReader reader;
    std::string error;
    EXPECT_TRUE(reader.open(path, error)) << error;
    std::vector<size_t> starts = {0};
    size_t end = RECORDING_HEADER_BYTES;
    for (const RecordingFrameInfo& info : reader.frames) {
        starts.push_back(end);
        if (info.skeletonOffset) starts.push_back(static_cast<size_t>(info.skeletonOffset) + sizeof(SkeletonFrame));
        if (info.colourSize) starts.push_back(static_cast<size_t>(info.colourOffset) - 8);
        if (info.depthSize) starts.push_back(static_cast<size_t>(info.depthOffset) - 8);
        end += 20 + ((info.flags & RECORDED_SKELETON) ? sizeof(SkeletonFrame) : 0);
        end += info.colourSize ? 8 + info.colourSize : 0;
        end += info.depthSize ? 8 + info.depthSize : 0;
    }
    starts.push_back(end);
    std::vector<size_t> positions;
    for (size_t p = 0; p < fileSize; ++p) {
        bool nearStart = std::any_of(starts.begin(), starts.end(), [&](size_t s) { return p >= s && p < s + 28; });
        if (nearStart || p % 41 == 0 || p + 1 == fileSize) {
            positions.push_back(p);
        }
    }
    return positions;
}

}  // namespace

TEST(Recording, RoundTripKeepsFramesTimesAndDroppedFlags) {
    const std::string path = testPath("recording_test_round_trip.rec");
    std::vector<TestFrame> frames = sampleFrames();
    writeRecording(path, frames, RECORDING_STORES_IMAGES);
    RecordingReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(path, error)) << error;
    EXPECT_TRUE(reader.warning.empty()) << reader.warning;
    EXPECT_EQ(reader.contents, uint32_t(RECORDING_STORES_IMAGES));
    ASSERT_EQ(reader.frames.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        expectFrame(reader, i, frames[i]);
    }
    // Reads in any order, repeatedly.
    expectFrame(reader, 0, frames[0]);
    std::remove(path.c_str());
}

TEST(Recording, ReplayReproducesFramesAndFetchFailures) {
    const std::string path = testPath("recording_test_replay.rec");
    std::vector<TestFrame> frames = sampleFrames();
    writeRecording(path, frames, RECORDING_STORES_IMAGES);
    std::string error;
    std::unique_ptr<StreamSource> owned = openStream("replay:" + path, error);
    ASSERT_TRUE(owned) << error;
    StreamSource& stream = *owned;
    SensorInput sensor(std::move(owned));

    testing::internal::CaptureStdout();
    ASSERT_TRUE(stepSensorFrame(sensor, stream));
    EXPECT_EQ(sensor.trackedSlot, 0);
    EXPECT_EQ(sensor.colourImage[5], 20);
    EXPECT_EQ(sensor.depthMillimetres[5], 1000);
    ASSERT_TRUE(stepSensorFrame(sensor, stream));  // colour dropped
    EXPECT_EQ(stream.frameTimeMs(), 33u);
    EXPECT_EQ(sensor.colourImage[5], 20) << "the previous colour image stays";
    EXPECT_EQ(sensor.depthMillimetres[5], 1001);
    EXPECT_EQ(sensor.trackedSlot, 1);
    ASSERT_TRUE(stepSensorFrame(sensor, stream));  // skeleton dropped
    EXPECT_EQ(sensor.trackedSlot, 1);
    EXPECT_FLOAT_EQ(sensor.skeleton.joints[JOINT_WRIST_RIGHT].y, 0.1f);
    EXPECT_EQ(sensor.colourImage[5], 22);
    ASSERT_TRUE(stepSensorFrame(sensor, stream));  // depth dropped
    EXPECT_EQ(sensor.depthMillimetres[5], 1002);
    EXPECT_FALSE(stepSensorFrame(sensor, stream));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Something went wrong for Video Frame...\n"
              "Something went wrong for Depth Frame...\n");
    std::remove(path.c_str());
}

TEST(Recording, AFileCutWhileItPlaysIsReportedOnce) {
    const std::string path = testPath("recording_test_cut_while_playing.rec");
    std::vector<TestFrame> frames;
    for (int n = 0; n < 6; ++n) frames.push_back(makeFrame(n, 33333u * n));
    writeRecording(path, frames, RECORDING_STORES_IMAGES);
    std::string error;
    RecordingReader layout;
    ASSERT_TRUE(layout.open(path, error)) << error;
    const long cut = layout.frames[1].skeletonOffset;
    std::unique_ptr<StreamSource> owned = openStream("replay:" + path, error);
    ASSERT_TRUE(owned) << error;
    StreamSource& stream = *owned;
    SensorInput sensor(std::move(owned));

    ASSERT_TRUE(stepSensorFrame(sensor, stream));
    EXPECT_EQ(sensor.colourImage[5], 20);
    ASSERT_EQ(truncate(path.c_str(), cut), 0);  // another program cuts the file after frame 0
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (int n = 1; n < 6; ++n) ASSERT_TRUE(stepSensorFrame(sensor, stream));
    EXPECT_FALSE(stepSensorFrame(sensor, stream));
    const std::string printed = testing::internal::GetCapturedStderr();
    const std::string fetchLines = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "recording '" + path + "': frame 1: cannot read the skeleton (file changed?)\n"
                       "recording '" + path + "': later parts that cannot be read are not reported\n");
    EXPECT_NE(fetchLines.find("Something went wrong for Video Frame..."), std::string::npos)
        << "each failed fetch still fails as the sensor's does";
    EXPECT_EQ(sensor.colourImage[5], 20) << "the last image read stays";
    std::remove(path.c_str());
}

TEST(Recording, SkeletonOnlyRecordingRendersItsImages) {
    const std::string path = testPath("recording_test_skeleton_only.rec");
    std::vector<TestFrame> frames = sampleFrames();
    writeRecording(path, frames, 0);
    EXPECT_LT(readAll(path).size(), 4u * 3000u) << "no images stored";
    std::string error;
    std::unique_ptr<ReplaySource> replay = openReplaySource(path, error);
    ASSERT_TRUE(replay) << error;
    std::vector<uint16_t> depth(FRAME_PIXELS, 7);
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES, 7);
    ASSERT_TRUE(replay->stepFrame());
    ASSERT_TRUE(replay->nextDepthFrame(depth.data()));
    EXPECT_EQ(depth[9], 0) << "blank without a renderer";

    setSkeletonImageRenderer([](const SkeletonRecord& person, uint16_t* d, uint8_t* c) {
        // Encodes the person's wrist height so the test sees which record was rendered.
        uint16_t value = static_cast<uint16_t>(std::lround(person.joints[JOINT_WRIST_RIGHT].y * 100.0f) + 1);
        std::fill(d, d + FRAME_PIXELS, value);
        std::fill(c, c + COLOUR_FRAME_BYTES, static_cast<uint8_t>(value));
    });
    ASSERT_TRUE(replay->stepFrame());
    ASSERT_TRUE(replay->nextDepthFrame(depth.data()));
    EXPECT_EQ(depth[9], 11);
    EXPECT_FALSE(replay->nextColourFrame(colour.data())) << "frame 1's colour was dropped";
    // Skeleton dropped: the images still show the person, as the program keeps its last
    // record; a blank scene would make the hand detectors lose the hand for a frame.
    ASSERT_TRUE(replay->stepFrame());
    ASSERT_TRUE(replay->nextColourFrame(colour.data()));
    EXPECT_EQ(colour[9], 11);
    setSkeletonImageRenderer(nullptr);
    std::remove(path.c_str());
}

TEST(Recording, SkeletonOnlyRecordingRendersThePersonTheProgramFollows) {
    const std::string path = testPath("recording_test_two_people.rec");
    // Slot 4 is seen first, then slot 1 joins; then slot 4 goes and comes back; then nobody;
    // then slot 4 alone in a frame whose images were dropped, and both again.
    const int tracked[][2] = {{4, -1}, {4, 1}, {1, -1}, {4, 1}, {-1, -1}, {1, 4}, {4, -1}, {1, 4}};
    const int imagesDropped = 6;
    std::vector<TestFrame> frames;
    for (int n = 0; n < 8; ++n) {
        TestFrame f;
        f.timeUs = 33333u * n;
        f.hasColour = f.hasDepth = n != imagesDropped;
        f.colour.assign(COLOUR_FRAME_BYTES, 0);  // not stored: the flags say the frame had images
        f.depth.assign(FRAME_PIXELS, 0);
        for (int slot : tracked[n]) {
            if (slot >= 0) {
                f.skeleton.slots[slot].trackingState = SKELETON_TRACKED;
                f.skeleton.slots[slot].joints[JOINT_WRIST_RIGHT].y = 0.01f * slot;
            }
        }
        frames.push_back(f);
    }
    writeRecording(path, frames, 0);
    std::string error;
    std::unique_ptr<ReplaySource> replay = openReplaySource(path, error);
    ASSERT_TRUE(replay) << error;
    setSkeletonImageRenderer([](const SkeletonRecord& person, uint16_t* d, uint8_t* c) {
        uint16_t value = person.trackingState == SKELETON_TRACKED
                             ? static_cast<uint16_t>(std::lround(person.joints[JOINT_WRIST_RIGHT].y * 100.0f) + 1)
                             : 0;
        std::fill(d, d + FRAME_PIXELS, static_cast<uint16_t>(value << 3));  // millimetres, no player
        std::fill(c, c + COLOUR_FRAME_BYTES, static_cast<uint8_t>(value));
    });
    StreamSource& stream = *replay;
    SensorInput sensor(std::move(replay));
    // The program follows slot 4 from the frame without images on, and so must the pictures.
    const int shownSlot[] = {4, 4, 1, 1, -1, 1, 4, 4};
    testing::internal::CaptureStdout();  // the dropped images' console lines
    for (int n = 0; n < 8; ++n) {
        ASSERT_TRUE(stepSensorFrame(sensor, stream));
        if (n != imagesDropped) {
            EXPECT_EQ(sensor.depthMillimetres[9], shownSlot[n] < 0 ? 0 : shownSlot[n] + 1) << "frame " << n;
        }
        if (shownSlot[n] >= 0) {
            EXPECT_EQ(sensor.trackedSlot, shownSlot[n]) << "frame " << n << ": the picture shows another person";
        }
    }
    testing::internal::GetCapturedStdout();
    setSkeletonImageRenderer(nullptr);
    std::remove(path.c_str());
}

TEST(Recording, OpeningAnotherRecordingStartsItFromItsFirstFrame) {
    const std::string first = testPath("recording_test_reopen_a.rec");
    const std::string second = testPath("recording_test_reopen_b.rec");
    std::vector<TestFrame> frames = sampleFrames();
    writeRecording(first, frames, 0);
    writeRecording(second, std::vector<TestFrame>(frames.begin(), frames.begin() + 2), 0);
    ReplaySource replay;
    std::string error;
    ASSERT_TRUE(replay.open(first, error)) << error;
    while (replay.stepFrame()) {
    }
    EXPECT_EQ(replay.currentFrame(), static_cast<long>(frames.size()) - 1);
    // The second recording is shorter than the position reached in the first: without a
    // restart the old index would point past its end.
    ASSERT_TRUE(replay.open(second, error)) << error;
    EXPECT_EQ(replay.currentFrame(), -1);
    SkeletonFrame skeleton;
    EXPECT_FALSE(replay.nextSkeletonFrame(skeleton)) << "nothing is current before the first step";
    ASSERT_TRUE(replay.stepFrame());
    EXPECT_EQ(replay.currentFrame(), 0);
    EXPECT_EQ(replay.frameTimeUs(), 0u);  // times count from the new stream's first frame
    ASSERT_TRUE(replay.stepFrame());
    EXPECT_EQ(replay.frameTimeUs(), frames[1].timeUs - frames[0].timeUs);
    EXPECT_FALSE(replay.stepFrame());
    std::remove(first.c_str());
    std::remove(second.c_str());
}

TEST(Recording, CutShortKeepsCompleteFramesAtEveryCutPoint) {
    const std::string path = testPath("recording_test_cut_source.rec");
    const std::string cutPath = testPath("recording_test_cut.rec");
    std::vector<TestFrame> frames = sampleFrames();
    writeRecording(path, frames, RECORDING_STORES_IMAGES);
    std::vector<uint8_t> bytes = readAll(path);

    // Where each frame ends, from the layout: tag, time, flags, skeleton, checksum, blocks.
    RecordingReader full;
    std::string error;
    ASSERT_TRUE(full.open(path, error)) << error;
    std::vector<size_t> frameEnds;
    size_t end = RECORDING_HEADER_BYTES;
    for (const RecordingFrameInfo& info : full.frames) {
        end += 20 + ((info.flags & RECORDED_SKELETON) ? sizeof(SkeletonFrame) : 0);
        end += info.colourSize ? 8 + info.colourSize : 0;
        end += info.depthSize ? 8 + info.depthSize : 0;
        frameEnds.push_back(end);
    }
    ASSERT_EQ(frameEnds.back() + 8, bytes.size()) << "end marker follows the last frame";

    for (size_t cut : probePositions(path, bytes.size())) {
        writeAll(cutPath, bytes.data(), cut);
        RecordingReader reader;
        bool ok = reader.open(cutPath, error);
        size_t complete = static_cast<size_t>(std::count_if(frameEnds.begin(), frameEnds.end(),
                                                            [&](size_t e) { return e <= cut; }));
        if (complete == 0) {
            ASSERT_FALSE(ok) << "cut at " << cut;
            ASSERT_NE(error.find(cutPath), std::string::npos) << error;
        } else {
            ASSERT_TRUE(ok) << "cut at " << cut << ": " << error;
            ASSERT_EQ(reader.frames.size(), complete) << "cut at " << cut;
            ASSERT_NE(reader.warning.find(cutPath), std::string::npos) << reader.warning;
            if (cut > frameEnds[0] && cut < frameEnds[1]) {
                EXPECT_NE(reader.warning.find("cut short in frame 1"), std::string::npos) << reader.warning;
            }
        }
        if (cut % 7 == 0 && ok) {  // reading back is slower; a sample of cut points suffices
            for (size_t i = 0; i < reader.frames.size(); ++i) {
                expectFrame(reader, i, frames[i]);
            }
        }
    }
    std::remove(path.c_str());
    std::remove(cutPath.c_str());
}

TEST(Recording, AnyDamagedByteIsReported) {
    const std::string path = testPath("recording_test_flip_source.rec");
    const std::string damagedPath = testPath("recording_test_flip.rec");
    std::vector<TestFrame> frames = sampleFrames();
    writeRecording(path, frames, RECORDING_STORES_IMAGES);
    std::vector<uint8_t> bytes = readAll(path);
    std::string error;
    for (size_t at : probePositions(path, bytes.size())) {
        std::vector<uint8_t> damaged = bytes;
        damaged[at] ^= 0xFF;
        writeAll(damagedPath, damaged.data(), damaged.size());
        RecordingReader reader;
        error.clear();
        bool ok = reader.open(damagedPath, error);
        if (at >= 20 && at < 24) {
            EXPECT_TRUE(ok && reader.warning.empty()) << "reserved header bytes are ignored";
            continue;
        }
        // A damaged size can look like a file cut short; every other damage is refused.
        ASSERT_TRUE(!ok || !reader.warning.empty()) << "damage at byte " << at << " went unnoticed";
        ASSERT_NE((ok ? reader.warning : error).find(damagedPath), std::string::npos);
    }
    std::remove(path.c_str());
    std::remove(damagedPath.c_str());
}

// A block whose checksum is right but whose compressed data is not (a damaged writer, a crafted
// file) fails its read and leaves the caller's image exactly as it was.
TEST(Recording, AnImageThatDoesNotDecompressLeavesTheBufferAsItWas) {
    const std::string path = testPath("recording_test_inflate_source.rec");
    const std::string damagedPath = testPath("recording_test_inflate.rec");
    std::vector<TestFrame> frames = sampleFrames();
    writeRecording(path, frames, RECORDING_STORES_IMAGES);
    std::string error;
    RecordingReader good;
    ASSERT_TRUE(good.open(path, error)) << error;
    const size_t offset = static_cast<size_t>(good.frames[0].colourOffset);
    const size_t size = good.frames[0].colourSize;
    ASSERT_GT(size, 16u);

    // The second half of the block becomes garbage; the block's checksum is written anew.
    std::vector<uint8_t> bytes = readAll(path);
    for (size_t i = size / 2; i < size; ++i) bytes[offset + i] = static_cast<uint8_t>(i * 37 + 11);
    const uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data() + offset, static_cast<uInt>(size)));
    std::memcpy(bytes.data() + offset - 4, &crc, 4);
    writeAll(damagedPath, bytes.data(), bytes.size());

    RecordingReader reader;
    ASSERT_TRUE(reader.open(damagedPath, error)) << error;
    std::vector<uint8_t> image(COLOUR_FRAME_BYTES, 0xAB);
    EXPECT_FALSE(reader.readColour(0, image.data(), error));
    EXPECT_NE(error.find("does not decompress"), std::string::npos) << error;
    EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == 0xAB; }));

    // The undamaged depth image of the same frame still reads.
    std::vector<uint16_t> depth(FRAME_PIXELS, 0);
    EXPECT_TRUE(reader.readDepth(0, depth.data(), error)) << error;
    EXPECT_EQ(depth, frames[0].depth);
    std::remove(path.c_str());
    std::remove(damagedPath.c_str());
}

TEST(Recording, FullDiskStopsTheRecordingWithOneLine) {
    Recorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.open("/dev/full", RECORDING_STORES_IMAGES, error)) << error;
    TestFrame f = makeFrame(0, 0);
    testing::internal::CaptureStderr();
    for (int n = 0; n < 3; ++n) {
        recorder.beginFrame(static_cast<uint64_t>(n) * 33333u);
        recorder.recordSkeleton(&f.skeleton);
        recorder.recordColour(f.colour.data());
        recorder.recordDepth(f.depth.data());
    }
    EXPECT_FALSE(recorder.finish(error));
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_EQ(printed, error + "\n") << "reported once, not once per frame";
    EXPECT_FALSE(recorder.isRecording());
}

TEST(Recording, RecordingAPlayedStreamStopsAtItsEnd) {
    // A program recording a stream it plays goes on after the stream's last frame. Those frames
    // are the last one kept, not failed fetches: recorded, they replayed as a run of dropouts.
    const std::string csvPath = testPath("recording_test_played.csv");
    const std::string recPath = testPath("recording_test_played.rec");
    {
        std::ofstream csv(csvPath);
        for (int n = 0; n < 3; ++n) {
            csv << 1000000 + 33000 * n;
            for (int j = 0; j < JOINT_COUNT; ++j) csv << " 0.1 " << 0.05 * j + 0.01 * n << " 2.0 1";
            csv << "\n";
        }
    }
    auto play = [](const std::string& source, Recorder* recorder, std::FILE* diagnostics) {
        std::string error;
        std::unique_ptr<FrameSource> stream = openStream(source, error);
        EXPECT_TRUE(stream) << error;
        if (!stream) return;
        SensorInput sensor(std::move(stream));
        sensor.diagnostics = diagnostics;
        sensor.recorder = recorder;
        for (uint32_t now = 1000; now < 1000 + 33 * 10; now += 33) {
            sensor.advance(now);
            sensor.fetchSkeleton();
            sensor.fetchColour();
            sensor.fetchDepth();
        }
    };
    Recorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.open(recPath, RECORDING_STORES_IMAGES, error)) << error;
    play("csv:" + csvPath, &recorder, nullptr);
    ASSERT_TRUE(recorder.finish(error)) << error;
    EXPECT_EQ(recorder.framesWritten(), 3u);

    std::FILE* lines = std::tmpfile();
    play("replay:" + recPath, nullptr, lines);
    std::rewind(lines);
    std::string text;
    for (int c = std::fgetc(lines); c != EOF; c = std::fgetc(lines)) text += static_cast<char>(c);
    std::fclose(lines);
    EXPECT_EQ(text, "The sensor stream has ended; its last frame stays.\n");
    std::remove(csvPath.c_str());
    std::remove(recPath.c_str());
}

TEST(Recording, RefusesWhatIsNotARecording) {
    const std::string path = testPath("recording_test_not.rec");
    std::string error;
    RecordingReader reader;

    writeAll(path, reinterpret_cast<const uint8_t*>("1000 0 0 0 1\n"), 13);
    EXPECT_FALSE(reader.open(path, error));
    EXPECT_NE(error.find("not a recording"), std::string::npos) << error;

    writeAll(path, nullptr, 0);
    EXPECT_FALSE(reader.open(path, error));
    EXPECT_NE(error.find("too short"), std::string::npos) << error;

    EXPECT_FALSE(reader.open(BINARY_DIR, error));
    EXPECT_NE(error.find("is a folder, not a file"), std::string::npos) << error;

    writeRecording(path, sampleFrames(), RECORDING_STORES_IMAGES);
    std::vector<uint8_t> bytes = readAll(path);
    // Cut inside its header: still a recording by its magic, only too short.
    writeAll(path, bytes.data(), 10);
    EXPECT_FALSE(reader.open(path, error));
    EXPECT_NE(error.find("too short for a recording header (10 bytes)"), std::string::npos) << error;

    bytes[8] = 2;  // a newer version
    writeAll(path, bytes.data(), bytes.size());
    EXPECT_FALSE(reader.open(path, error));
    EXPECT_NE(error.find("unsupported version 2"), std::string::npos) << error;

    // A recording of no frames is a valid file but no use as a sensor.
    RecordingWriter writer;
    ASSERT_TRUE(writer.open(path, RECORDING_STORES_IMAGES, error)) << error;
    ASSERT_TRUE(writer.finish(error)) << error;
    EXPECT_TRUE(reader.open(path, error)) << error;
    EXPECT_TRUE(reader.frames.empty());
    EXPECT_EQ(openReplaySource(path, error), nullptr);
    EXPECT_NE(error.find("no frames"), std::string::npos) << error;
    std::remove(path.c_str());
}

TEST(Recording, TenSecondsOfRealisticFramesStayWellUnder100MB) {
    // 60 frames (two seconds) of a moving scene, scaled to ten seconds.
    const std::string path = testPath("recording_test_size.rec");
    const int frameCount = 60;
    Recorder recorder;
    std::string error;
    ASSERT_TRUE(recorder.open(path, RECORDING_STORES_IMAGES, error)) << error;
    std::vector<uint16_t> depth(FRAME_PIXELS);
    std::vector<uint8_t> colour(COLOUR_FRAME_BYTES);
    SkeletonFrame skeleton;
    skeleton.slots[0].trackingState = SKELETON_TRACKED;
    for (int n = 0; n < frameCount; ++n) {
        sceneDepth(n, depth);
        sceneColour(n, colour);
        recorder.beginFrame(static_cast<uint64_t>(n) * 33333u);
        recorder.recordSkeleton(&skeleton);
        recorder.recordColour(colour.data());
        recorder.recordDepth(depth.data());
    }
    ASSERT_TRUE(recorder.finish(error)) << error;
    EXPECT_EQ(recorder.framesWritten(), static_cast<uint32_t>(frameCount));
    const double bytes = static_cast<double>(readAll(path).size());
    const double tenSeconds = bytes * 300.0 / frameCount;
    EXPECT_LT(tenSeconds, 50.0e6) << "ten seconds would take " << tenSeconds / 1e6 << " MB";

    RecordingReader reader;
    ASSERT_TRUE(reader.open(path, error)) << error;
    std::vector<uint16_t> back(FRAME_PIXELS);
    ASSERT_TRUE(reader.readDepth(frameCount - 1, back.data(), error)) << error;
    EXPECT_TRUE(back == depth);
    std::remove(path.c_str());
}

// A FIFO with no writer would block an ordinary open for ever, and a device is no recording:
// both are refused at once, with one line saying what the path is.
TEST(Recording, APipeOrADeviceIsRefusedAtOnce) {
    const UnwrittenFifo fifo(testPath("recording_read.fifo"));
    ASSERT_TRUE(fifo.made) << std::strerror(errno);
    for (const std::string& path : {fifo.path, std::string("/dev/zero")}) {
        RecordingReader reader;
        std::string error;
        bool opened = true;
        ASSERT_TRUE(returnsWithoutBlocking(fifo, [&] { return reader.open(path, error); }, opened)) << path;
        EXPECT_FALSE(opened) << path;
        EXPECT_EQ(error, "recording '" + path + "': is not a regular file (a pipe, socket or device)");
    }
}

// A recording may go into a pipe (a compressor reading it), but a pipe that nobody reads must
// not block the program's start for ever.
TEST(Recording, APipeNobodyReadsIsRefusedAtOnceAndAReadPipeTakesTheRecording) {
    const std::string fifo = testPath("recording_pipe.fifo");
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    RecordingWriter writer;
    std::string error;
    auto attempt = std::async(std::launch::async, [&] { return writer.open(fifo, 0, error); });
    if (attempt.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int unblock = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the blocked open return
        attempt.get();
        ::close(unblock);
        std::remove(fifo.c_str());
        FAIL() << "opening a pipe nobody reads blocked";
    }
    EXPECT_FALSE(attempt.get());
    EXPECT_NE(error.find("it is a pipe that no program is reading"), std::string::npos) << error;

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0) << std::strerror(errno);
    ASSERT_TRUE(writer.open(fifo, 0, error)) << error;
    ASSERT_TRUE(writer.finish(error)) << error;
    std::vector<uint8_t> piped(4096);
    const ssize_t got = ::read(reader, piped.data(), piped.size());
    piped.resize(got > 0 ? static_cast<size_t>(got) : 0);
    ::close(reader);
    std::remove(fifo.c_str());
    // The same bytes as an empty recording written to a file.
    const std::string plain = testPath("recording_pipe_plain.rec");
    writeRecording(plain, {}, 0);
    EXPECT_EQ(piped, readAll(plain));
    std::remove(plain.c_str());
}
