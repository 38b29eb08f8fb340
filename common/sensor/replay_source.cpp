#include "common/sensor/replay_source.h"

#include <cstdio>

bool ReplaySource::open(const std::string& path, std::string& error) {
    restartPlayback();
    readFailureReported = false;
    openedPath = path;
    if (!reader.open(path, error)) {
        return false;
    }
    if (reader.frames.empty()) {
        error = "recording '" + path + "': holds no frames";
        return false;
    }
    if (!reader.warning.empty()) {
        std::fprintf(stderr, "%s\n", reader.warning.c_str());
    }
    return true;
}

bool ReplaySource::loadSkeleton(size_t index, SkeletonFrame& frame) {
    if (!(reader.frames[index].flags & RECORDED_SKELETON)) {
        return false;  // dropped when recorded
    }
    std::string error;
    if (!reader.readSkeleton(index, frame, error)) {
        reportReadFailure(error);
        return false;
    }
    return true;
}

bool ReplaySource::loadColour(size_t index, uint8_t* bgrx) {
    if (!(reader.frames[index].flags & RECORDED_COLOUR)) {
        return false;
    }
    if (!(reader.contents & RECORDING_STORES_COLOUR)) {
        renderedColour(index, bgrx);
        return true;
    }
    std::string error;
    if (!reader.readColour(index, bgrx, error)) {
        reportReadFailure(error);
        return false;
    }
    return true;
}

bool ReplaySource::loadDepth(size_t index, uint16_t* packedDepth) {
    if (!(reader.frames[index].flags & RECORDED_DEPTH)) {
        return false;
    }
    if (!(reader.contents & RECORDING_STORES_DEPTH)) {
        renderedDepth(index, packedDepth);
        return true;
    }
    std::string error;
    if (!reader.readDepth(index, packedDepth, error)) {
        reportReadFailure(error);
        return false;
    }
    return true;
}

// A file cut or rewritten by another program while it plays fails every frame after the change,
// three parts a frame: one line says so, instead of some ninety lines a second until the end.
void ReplaySource::reportReadFailure(const std::string& error) {
    if (readFailureReported) return;
    readFailureReported = true;
    std::fprintf(stderr, "%s\n", error.c_str());
    std::fprintf(stderr, "recording '%s': later parts that cannot be read are not reported\n",
                 openedPath.c_str());
}

std::unique_ptr<ReplaySource> openReplaySource(const std::string& path, std::string& error) {
    std::unique_ptr<ReplaySource> source(new ReplaySource);
    if (!source->open(path, error)) {
        return nullptr;
    }
    return source;
}
