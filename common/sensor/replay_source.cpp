#include "common/sensor/replay_source.h"

#include <cstdio>

bool ReplaySource::open(const std::string& path, std::string& error) {
    restartPlayback();
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
        std::fprintf(stderr, "%s\n", error.c_str());
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
        std::fprintf(stderr, "%s\n", error.c_str());
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
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

std::unique_ptr<ReplaySource> openReplaySource(const std::string& path, std::string& error) {
    std::unique_ptr<ReplaySource> source(new ReplaySource);
    if (!source->open(path, error)) {
        return nullptr;
    }
    return source;
}
