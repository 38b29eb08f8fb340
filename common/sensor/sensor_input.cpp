#include "common/sensor/sensor_input.h"

#include <array>
#include <cassert>
#include <cstring>

#include "common/sensor/recording.h"

const char* const MISSING_SENSOR_MESSAGE =
    "Kinect Sensor nicht gefunden oder fehlerhaft initialisiert! "
    "Überprüfen Sie die USB-Verbindung und starten sie erneut.";

namespace {

constexpr int DEPTH_MM_VALUES = 1 << 13;  // 13 bits of millimetres in a packed pixel

// B, G, R, A of a depth view pixel as one little-endian word.
constexpr uint32_t bgra(uint32_t b, uint32_t g, uint32_t r) { return b | (g << 8) | (r << 16); }

// The coded pixel of every possible depth, before the player tint. The table holds exactly
// what the per-pixel formula gives; it only saves the float work in the per-frame loop.
const std::array<uint32_t, DEPTH_MM_VALUES>& depthColourTable() {
    static const std::array<uint32_t, DEPTH_MM_VALUES> table = [] {
        std::array<uint32_t, DEPTH_MM_VALUES> t{};
        for (int d = 0; d < DEPTH_MM_VALUES; ++d) {
            float e = static_cast<float>(d > 800 ? d - 800 : 0);
            // Truncation toward zero; beyond 4000 mm the value is negative and wraps in 8 bits.
            int value = static_cast<int>(255.0f - e * 255.0f / 3200.0f);
            uint32_t grey = static_cast<uint32_t>(value) & 0xFFu;
            t[d] = d == 0 ? bgra(0, 0, 255) : bgra(grey, grey, grey);
        }
        return t;
    }();
    return table;
}

}  // namespace

void codeDepthFrame(const uint16_t* packedDepth, uint8_t* view, uint16_t* millimetres) {
    const std::array<uint32_t, DEPTH_MM_VALUES>& table = depthColourTable();
    const uint32_t playerTint = bgra(10, 0, 10);
    for (int i = 0; i < FRAME_PIXELS; ++i) {
        uint16_t raw = packedDepth[i];
        uint16_t d = static_cast<uint16_t>(raw >> 3);
        millimetres[i] = d;
        uint32_t pixel = table[d];
        if ((raw & 7u) != 0) {
            pixel = (pixel & 0x0000FF00u) | playerTint;  // the person shows green
        }
        std::memcpy(view + 4 * i, &pixel, 4);
    }
}

int chooseSkeletonSlot(const SkeletonFrame& frame, int trackedSlot) {
    int candidate = -1;
    for (int slot = 0; slot < SKELETON_SLOT_COUNT; ++slot) {
        if (frame.slots[slot].trackingState == SKELETON_TRACKED) {
            candidate = slot;
            if (slot == trackedSlot) {
                break;
            }
        }
    }
    return candidate;
}

SensorInput::SensorInput(std::unique_ptr<FrameSource> source)
    : colourImage(COLOUR_FRAME_BYTES, 0),
      depthView(COLOUR_FRAME_BYTES, 0),
      depthMillimetres(FRAME_PIXELS, 0),
      frameSource(std::move(source)),
      rawDepth(FRAME_PIXELS, 0) {
    assert(frameSource && "SensorInput needs a frame source; open one with openFrameSource");
}

void SensorInput::advance(uint32_t nowMs) {
    frameMs = nowMs;
    frameSource->advance(nowMs);
    if (recordingFrames()) {
        if (!recordClockStarted) {
            recordClockStarted = true;
            recordStartMs = nowMs;
        }
        // Unsigned difference: survives the 32-bit clock wrapping during a recording.
        recorder->beginFrame(static_cast<uint64_t>(static_cast<uint32_t>(nowMs - recordStartMs)) * 1000u);
    }
}

void SensorInput::passHeldFrame(uint32_t nowMs) {
    advance(nowMs);
    if (!recorder || recordingEnded) return;  // nothing to keep: the source only moves on
    heldColour.resize(COLOUR_FRAME_BYTES);
    heldDepth.resize(FRAME_PIXELS);
    // A fetch that fails leaves its buffer untouched, so the newest frames stay in the held ones.
    const bool skeletonOk = frameSource->nextSkeletonFrame(heldSkeleton);
    heldSkeletonWaits = heldSkeletonWaits || skeletonOk;
    if (recordingFrames()) recorder->recordSkeleton(skeletonOk ? &heldSkeleton : nullptr);
    const bool colourOk = frameSource->nextColourFrame(heldColour.data());
    heldColourWaits = heldColourWaits || colourOk;
    if (recordingFrames()) recorder->recordColour(colourOk ? heldColour.data() : nullptr);
    const bool depthOk = frameSource->nextDepthFrame(heldDepth.data());
    heldDepthWaits = heldDepthWaits || depthOk;
    if (recordingFrames()) recorder->recordDepth(depthOk ? heldDepth.data() : nullptr);
}

const SkeletonRecord* SensorInput::fetchSkeleton() {
    // On any failure `skeleton` is left as it was: that is the fallback.
    const bool arrived = frameSource->nextSkeletonFrame(frameBuffer);
    if (recordingFrames()) {
        recorder->recordSkeleton(arrived ? &frameBuffer : nullptr);
    }
    const bool heldWaits = heldSkeletonWaits;
    heldSkeletonWaits = false;
    if (!arrived) {
        if (!heldWaits) return &skeleton;
        frameBuffer = heldSkeleton;  // fetched (and recorded) while the program stood still
    }
    int slot = chooseSkeletonSlot(frameBuffer, trackedSlot);
    if (slot < 0 && personTracked) personLostSinceMs = frameMs;
    personTracked = slot >= 0;
    if (slot < 0) {
        smoother.reset();  // whoever comes back starts a fresh history
        return &skeleton;  // nobody tracked: the previous record keeps its old state
    }
    trackedSlot = slot;
    if (smoothSkeletons) smoother.smooth(frameBuffer);
    skeleton = frameBuffer.slots[slot];
    return &skeleton;
}

bool SensorInput::recordingFrames() {
    if (!recorder || recordingEnded) return false;
    if (frameSource->ended()) {
        // The stream played to its end: what follows is its last frame kept, not frames that
        // failed, and recorded as failures it would replay as a run of dropouts.
        recorder->discardFrame();
        recordingEnded = true;
        return false;
    }
    return true;
}

void SensorInput::reportFailedImageFetch(const char* line) {
    if (!diagnostics) {
        return;
    }
    if (!frameSource->ended()) {
        std::fputs(line, diagnostics);
    } else if (!endNoticeGiven) {
        endNoticeGiven = true;
        std::fputs("The sensor stream has ended; its last frame stays.\n", diagnostics);
    }
}

const uint8_t* SensorInput::fetchColour() {
    bool ok = frameSource->nextColourFrame(colourImage.data());
    if (recordingFrames()) {
        recorder->recordColour(ok ? colourImage.data() : nullptr);
    }
    if (!ok && heldColourWaits) {
        std::memcpy(colourImage.data(), heldColour.data(), COLOUR_FRAME_BYTES);
    } else if (!ok) {
        reportFailedImageFetch("Something went wrong for Video Frame...\n");
    }
    heldColourWaits = false;
    return colourImage.data();
}

const uint8_t* SensorInput::fetchDepth() {
    bool ok = frameSource->nextDepthFrame(rawDepth.data());
    if (recordingFrames()) {
        recorder->recordDepth(ok ? rawDepth.data() : nullptr);
    }
    const bool heldWaits = heldDepthWaits;
    heldDepthWaits = false;
    if (!ok && !heldWaits) {
        reportFailedImageFetch("Something went wrong for Depth Frame...\n");
        return depthView.data();
    }
    codeDepthFrame(ok ? rawDepth.data() : heldDepth.data(), depthView.data(), depthMillimetres.data());
    return depthView.data();
}

int SensorInput::tiltAngle() const { return frameSource->tiltAngle(); }

void SensorInput::setTiltAngle(int degrees) { frameSource->setTiltAngle(degrees); }
