#include "common/sensor/stream_source.h"

#include <algorithm>
#include <cstring>

#include "common/sensor/recording.h"
#include "common/sensor/sensor_input.h"

namespace {
SkeletonImageRenderer installedRenderer = nullptr;
}

void setSkeletonImageRenderer(SkeletonImageRenderer renderer) { installedRenderer = renderer; }

SkeletonImageRenderer skeletonImageRenderer() { return installedRenderer; }

const SkeletonRecord& renderedPerson(const SkeletonFrame& frame, int previousSlot) {
    const int slot = chooseSkeletonSlot(frame, previousSlot);
    return frame.slots[slot >= 0 ? slot : 0];
}

void IndexedStreamSource::moveTo(long index) {
    if (index == current) {
        return;
    }
    current = index;
    skeletonFresh = colourFresh = depthFresh = true;
}

void IndexedStreamSource::restartPlayback() {
    current = -1;
    started = false;
    startMs = 0;
    skeletonFresh = colourFresh = depthFresh = false;
    fetchedPastEnd = false;
    renderedFrame = -1;
    renderSkeleton = SkeletonFrame();
    renderedSlot = -1;
}

void IndexedStreamSource::advance(uint32_t nowMs) {
    if (frameCount() == 0) {
        return;
    }
    if (!started) {
        started = true;
        startMs = nowMs;
    }
    // Signed difference: a clock that steps back moves nothing; one that wraps keeps going.
    int32_t elapsedMs = static_cast<int32_t>(nowMs - startMs);
    if (elapsedMs < 0) {
        return;
    }
    // Compared as offsets from the first frame: a stream whose stamps lie near the top of the
    // 64-bit range would wrap if the due time were computed as first + elapsed.
    const uint64_t firstUs = frameTimeUsAt(0);
    const uint64_t elapsedUs = uint64_t(elapsedMs) * 1000u;
    auto due = [&](uint64_t timeUs) { return timeUs <= firstUs || timeUs - firstUs <= elapsedUs; };
    long index = std::max(current, 0L);
    while (static_cast<size_t>(index + 1) < frameCount() && due(frameTimeUsAt(index + 1))) {
        ++index;
    }
    if (index == current && frameWait && static_cast<size_t>(index + 1) < frameCount()) {
        const uint64_t untilUs = frameTimeUsAt(index + 1) - firstUs - elapsedUs;  // > 0: not due
        if (untilUs <= uint64_t(FRAME_FETCH_WAIT_MS) * 1000u) {
            frameWait(static_cast<uint32_t>((untilUs + 999u) / 1000u));
            ++index;
        }
    }
    moveTo(index);
}

bool IndexedStreamSource::stepFrame() {
    if (static_cast<size_t>(current + 1) >= frameCount()) {
        return false;  // the last frame stays current, already delivered
    }
    moveTo(current + 1);
    return true;
}

uint64_t IndexedStreamSource::frameTimeUs() const {
    if (current < 0) {
        return 0;
    }
    return frameTimeUsAt(current) - frameTimeUsAt(0);
}

uint32_t IndexedStreamSource::frameTimeMs() const { return static_cast<uint32_t>(frameTimeUs() / 1000u); }

bool IndexedStreamSource::nextSkeletonFrame(SkeletonFrame& frame) {
    if (!skeletonFresh) {
        return nothingFresh();
    }
    skeletonFresh = false;
    if (!loadSkeleton(current, frame)) return false;
    // The program follows its slot through every skeleton it is handed, also those whose images
    // were dropped; rendered images must show the same person.
    const int slot = chooseSkeletonSlot(frame, renderedSlot);
    if (slot >= 0) renderedSlot = slot;
    return true;
}

bool IndexedStreamSource::nextColourFrame(uint8_t* bgrx) {
    if (!colourFresh) {
        return nothingFresh();
    }
    colourFresh = false;
    return loadColour(current, bgrx);
}

bool IndexedStreamSource::nextDepthFrame(uint16_t* packedDepth) {
    if (!depthFresh) {
        return nothingFresh();
    }
    depthFresh = false;
    return loadDepth(current, packedDepth);
}

bool IndexedStreamSource::ended() const { return fetchedPastEnd; }

bool IndexedStreamSource::nothingFresh() {
    // A fetch that finds nothing new on the last frame is past the end; a frame recorded as
    // dropped is still a frame of the stream and fails as itself.
    if (current >= 0 && static_cast<size_t>(current + 1) == frameCount()) {
        fetchedPastEnd = true;
    }
    return false;
}

void IndexedStreamSource::setTiltAngle(int degrees) {
    tilt = std::clamp(degrees, -TILT_LIMIT_DEGREES, TILT_LIMIT_DEGREES);
}

bool IndexedStreamSource::renderImages(size_t index) {
    if (renderedFrame == static_cast<long>(index)) {
        return true;
    }
    if (renderDepth.empty()) {
        renderDepth.assign(FRAME_PIXELS, 0);
        renderColour.assign(COLOUR_FRAME_BYTES, 0);
    }
    SkeletonImageRenderer renderer = skeletonImageRenderer();
    if (renderer) {
        // A frame whose skeleton was dropped still has its images: they show the people of
        // the last frame that had skeletons, as the program keeps its last record then.
        if (loadSkeleton(index, loadedSkeleton)) {
            renderSkeleton = loadedSkeleton;
            const int slot = chooseSkeletonSlot(renderSkeleton, renderedSlot);
            if (slot >= 0) {
                renderedSlot = slot;  // kept while nobody is tracked, as the program keeps it
            }
        }
        renderer(renderedPerson(renderSkeleton, renderedSlot), renderDepth.data(), renderColour.data());
    } else {
        std::fill(renderDepth.begin(), renderDepth.end(), 0);
        std::fill(renderColour.begin(), renderColour.end(), 0);
    }
    renderedFrame = static_cast<long>(index);
    return true;
}

void IndexedStreamSource::renderedColour(size_t index, uint8_t* bgrx) {
    renderImages(index);
    std::memcpy(bgrx, renderColour.data(), COLOUR_FRAME_BYTES);
}

void IndexedStreamSource::renderedDepth(size_t index, uint16_t* packedDepth) {
    renderImages(index);
    std::memcpy(packedDepth, renderDepth.data(), DEPTH_FRAME_BYTES);
}

bool stepSensorFrame(SensorInput& sensor, StreamSource& stream, bool withImages) {
    if (!stream.stepFrame()) {
        return false;
    }
    if (sensor.recorder) {
        sensor.recorder->beginFrame(stream.frameTimeUs());
    }
    sensor.fetchSkeleton();
    if (withImages) {
        sensor.fetchColour();
        sensor.fetchDepth();
    }
    return true;
}
