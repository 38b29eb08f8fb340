#pragma once
// Frame sources that play a stream of frames known up front: csv skeleton streams and
// recordings. They serve two readers:
//  - offline tools step through every frame with stepFrame();
//  - a program uses them as its live source through advance(nowMs): frames play at their
//    time stamps relative to the first advance() time.
//
// Playback contract (both ways):
//  - After stepFrame() returns true, or after advance() moves to a newer frame, each of the
//    three fetches delivers that frame once; a repeated fetch with no newer frame fails, like
//    the runtime's time-out.
//  - advance() moves to the newest frame whose time has come, skipping frames a slow program
//    had no time for. The first advance() shows the first frame. When no newer frame has
//    come but the next one is due within FRAME_FETCH_WAIT_MS, a source given a FrameWait
//    waits for it, as the runtime's fetch does; a program a little faster than the stream
//    then gets every frame instead of failing now and then.
//  - At the end of a stream the last frame stays current and no new frames come: the stream
//    does not loop. ended() turns true, and SensorInput says so once instead of reporting
//    every fetch that finds no new frame.
//  - A frame recorded as dropped fails its fetch when it is current.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/sensor/frame_source.h"
#include "common/sensor/skeleton_record.h"

class SensorInput;

class StreamSource : public FrameSource {
public:
    // Moves to the stream's next frame regardless of time; false when the stream has ended.
    virtual bool stepFrame() = 0;
    // The current frame's time in ms from the stream's first frame.
    virtual uint32_t frameTimeMs() const = 0;
    // The same in microseconds (the streams' own resolution).
    virtual uint64_t frameTimeUs() const { return uint64_t(frameTimeMs()) * 1000u; }
};

// Opens "csv:FILE" or "replay:FILE" for frame-by-frame reading; nullptr and a one-line `error`
// on failure. Non-fatal remarks (a csv line skipped, a recording cut short) go to stderr.
std::unique_ptr<StreamSource> openStream(const std::string& sourceName, std::string& error);

// True when `path` is the file that the stream `sourceName` ("csv:FILE", "replay:FILE") plays:
// writing there (a recording, a conversion) would destroy the stream before it is read.
bool streamPlaysFile(const std::string& sourceName, const std::string& path);

// Draws the depth image (packed millimetres << 3 | player index, FRAME_PIXELS values) and the
// colour image (B, G, R, X, COLOUR_FRAME_BYTES) of the scene with `person` in it; a person
// whose trackingState is not SKELETON_TRACKED is absent. Streams that carry only skeletons
// (csv, skeleton-only recordings) use it for their images; while none is set their images are
// blank (all zero). Set once at start-up, from the main thread.
using SkeletonImageRenderer = void (*)(const SkeletonRecord& person, uint16_t* packedDepth, uint8_t* bgrx);
void setSkeletonImageRenderer(SkeletonImageRenderer renderer);
SkeletonImageRenderer skeletonImageRenderer();

// The person a rendered image shows for a six-slot frame: the slot the program would follow
// (chooseSkeletonSlot, keeping `previousSlot` while it is tracked), else slot 0, which then
// shows nobody unless it is tracked.
const SkeletonRecord& renderedPerson(const SkeletonFrame& frame, int previousSlot);

// Playback shared by the stream sources: which frame is current, what has been fetched of it,
// and the rendered images of skeleton-only frames. Subclasses say how many frames there are,
// when each one happened and how to load each part.
class IndexedStreamSource : public StreamSource {
public:
    void advance(uint32_t nowMs) override;
    void setFrameWait(FrameWait wait) override { frameWait = std::move(wait); }
    bool stepFrame() override;
    uint32_t frameTimeMs() const override;
    uint64_t frameTimeUs() const override;

    bool nextSkeletonFrame(SkeletonFrame& frame) override;
    bool nextColourFrame(uint8_t* bgrx) override;
    bool nextDepthFrame(uint16_t* packedDepth) override;
    bool ended() const override;

    int tiltAngle() const override { return tilt; }
    void setTiltAngle(int degrees) override;  // kept (clamped to +-27), nothing moves

    // Index of the current frame; -1 before the first.
    long currentFrame() const { return current; }
    virtual size_t frameCount() const = 0;

protected:
    // Time of frame `index` in microseconds on the stream's clock, never decreasing.
    virtual uint64_t frameTimeUsAt(size_t index) const = 0;
    // Each load fills its buffer or returns false for a frame that lacks that part.
    virtual bool loadSkeleton(size_t index, SkeletonFrame& frame) = 0;
    virtual bool loadColour(size_t index, uint8_t* bgrx) = 0;
    virtual bool loadDepth(size_t index, uint16_t* packedDepth) = 0;

    // For skeleton-only frames: renders both images of frame `index` once (with the
    // installed renderer, or blank) and copies the requested one out.
    void renderedColour(size_t index, uint8_t* bgrx);
    void renderedDepth(size_t index, uint16_t* packedDepth);
    // Back to before the first frame, with no images rendered: a source that opens another
    // stream must not carry the old stream's position or pictures into it. The tilt stays.
    void restartPlayback();

private:
    void moveTo(long index);
    bool nothingFresh();
    bool renderImages(size_t index);

    long current = -1;
    bool started = false;
    uint32_t startMs = 0;
    bool skeletonFresh = false;
    bool colourFresh = false;
    bool depthFresh = false;
    bool fetchedPastEnd = false;
    int tilt = 0;
    FrameWait frameWait;

    long renderedFrame = -1;  // frame whose images the buffers below hold
    std::vector<uint16_t> renderDepth;
    std::vector<uint8_t> renderColour;
    SkeletonFrame renderSkeleton;  // the skeletons last drawn
    SkeletonFrame loadedSkeleton;
    int renderedSlot = -1;  // the slot last drawn, followed as the program follows its slot
};

// One frame of offline work on a stream: moves `stream` (the source that `sensor` owns) to its
// next frame, starts a recorder frame at the stream's time if `sensor` records, and runs the
// three fetches in the program's order. False, fetching nothing, when the stream has ended.
// Work that needs only the skeletons (poses, training, recognition) passes withImages = false
// and skips the colour and depth fetches: a text stream's images would be rendered from the
// skeleton and colour-coded for nothing, which is most of the time spent on a long stream.
bool stepSensorFrame(SensorInput& sensor, StreamSource& stream, bool withImages = true);
