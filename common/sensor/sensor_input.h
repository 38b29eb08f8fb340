#pragma once
// The program's only contact with the depth camera. Each frame it hands out the followed
// person's SkeletonRecord, the colour image, and the depth image as millimetres and as a
// colour-coded view. Buffers are allocated once; fetches never allocate.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "common/sensor/frame_source.h"
#include "common/sensor/skeleton_smoothing.h"
#include "common/sensor/skeleton_record.h"

// Printed (UTF-8) to stderr before exiting with code 1 when no sensor can be opened.
extern const char* const MISSING_SENSOR_MESSAGE;

class Recorder;

class SensorInput {
public:
    // Takes ownership of the source. trackedSlot starts at -1 and skeleton all zero.
    explicit SensorInput(std::unique_ptr<FrameSource> source);

    // Once per frame, before the fetches: moves the source to the clock's time.
    void advance(uint32_t nowMs);

    // The three fetches, once per frame in this order. The returned pointers refer to this
    // object's buffers, which the next fetch overwrites: callers copy what they keep.
    const SkeletonRecord* fetchSkeleton();
    const uint8_t* fetchColour();  // 640 x 480 B, G, R, X
    const uint8_t* fetchDepth();   // 640 x 480 B, G, R, A colour-coded; refreshes depthMillimetres

    // Instead of advance() and the fetches while the program stands still (its file dialog is
    // open): the source moves to the clock's time, and a recording keeps what it delivers, so
    // that the recording has no hole there and replays without a run of failed fetches. The
    // person, the images and the smoothing stay as they were. The newest frames fetched here
    // wait for the first fetches after the hold that find nothing newer, so that a played
    // stream shows the program what it would have shown without the recording.
    void passHeldFrame(uint32_t nowMs);

    int tiltAngle() const;
    void setTiltAngle(int degrees);

    FrameSource& source() { return *frameSource; }

    // Where the "Something went wrong for ... Frame..." lines go: stdout in the programs;
    // tools whose stdout carries data point it at stderr; nullptr silences them.
    std::FILE* diagnostics = stdout;
    bool endNoticeGiven = false;            // the end of a played stream was announced
    // The camera runtime's joint smoothing of every tracked frame; an offline tool may switch
    // it off to work on the joints exactly as the stream gives them.
    bool smoothSkeletons = true;

    // When set (--record FILE), every fetch also hands the recorder what the source delivered:
    // the raw six-slot skeleton frame, the colour frame and the raw packed depth, or the fact
    // that the fetch failed. advance() starts the recorder's next frame. Recording stops when
    // a played stream has ended. Not owned.
    Recorder* recorder = nullptr;

    int trackedSlot = -1;                   // slot (0..5) of the person followed; -1 none yet
    // Someone was tracked in the last skeleton frame that arrived. While nobody is, `skeleton`
    // keeps the record of the person who was there; a frame that failed to arrive changes
    // nothing.
    bool personTracked = false;
    uint32_t personLostSinceMs = 0;         // while nobody is tracked: the frame time it began
    SkeletonRecord skeleton;                // current body record
    std::vector<uint8_t> colourImage;       // COLOUR_FRAME_BYTES
    std::vector<uint8_t> depthView;         // COLOUR_FRAME_BYTES
    std::vector<uint16_t> depthMillimetres; // FRAME_PIXELS

private:
    // Prints a failed image fetch's line; once a played stream has ended, one notice instead.
    void reportFailedImageFetch(const char* line);
    // True while this frame goes to the recorder; drops the frame in which the stream ended.
    bool recordingFrames();

    std::unique_ptr<FrameSource> frameSource;
    SkeletonFrame frameBuffer;              // reused by every skeleton fetch
    SkeletonSmoother smoother;              // steadies each frame that has someone tracked
    std::vector<uint16_t> rawDepth;         // reused by every depth fetch
    // The newest frames fetched (and recorded) while held, until a fetch takes or replaces them.
    SkeletonFrame heldSkeleton;
    std::vector<uint8_t> heldColour;        // sized at first use
    std::vector<uint16_t> heldDepth;        // sized at first use
    bool heldSkeletonWaits = false;
    bool heldColourWaits = false;
    bool heldDepthWaits = false;
    bool recordClockStarted = false;
    uint32_t recordStartMs = 0;             // clock time of the first recorded frame
    uint32_t frameMs = 0;                   // clock time given to the last advance()
    bool recordingEnded = false;            // the played stream ended: nothing more to record
};

// Colour-codes one packed depth frame into `view` (B, G, R, A) and `millimetres`.
// Shared by fetchDepth and the benchmark.
void codeDepthFrame(const uint16_t* packedDepth, uint8_t* view, uint16_t* millimetres);

// Chooses the slot to follow: the current slot if that person is still tracked, else the
// highest-numbered tracked slot, else -1.
int chooseSkeletonSlot(const SkeletonFrame& frame, int trackedSlot);
