#pragma once
// Plays a recording (--sensor replay:FILE) with the frames and fetch failures it holds.
// Frames without stored images (skeleton-only recordings) get theirs from the skeleton image
// renderer. A part that cannot be read back (the file changed after opening) fails that
// fetch; the first such failure is printed to stderr with a line saying later ones are not.
#include <memory>
#include <string>

#include "common/sensor/recording.h"
#include "common/sensor/stream_source.h"

class ReplaySource : public IndexedStreamSource {
public:
    // False with a one-line `error` for an unusable recording; a recording cut short plays
    // its complete frames after a warning on stderr.
    bool open(const std::string& path, std::string& error);

    size_t frameCount() const override { return reader.frames.size(); }

protected:
    uint64_t frameTimeUsAt(size_t index) const override { return reader.frames[index].timeUs; }
    bool loadSkeleton(size_t index, SkeletonFrame& frame) override;
    bool loadColour(size_t index, uint8_t* bgrx) override;
    bool loadDepth(size_t index, uint16_t* packedDepth) override;

private:
    void reportReadFailure(const std::string& error);

    RecordingReader reader;
    std::string openedPath;
    bool readFailureReported = false;
};

std::unique_ptr<ReplaySource> openReplaySource(const std::string& path, std::string& error);
