#pragma once
// Text skeleton streams (--sensor csv:FILE). One frame per line: a time stamp in microseconds
// (whole, or with a fraction that is rounded), then 20 joints x (x y z w) in metres in the
// skeleton record's joint order, 81 numbers separated by spaces, tabs or a comma (with
// optional spaces around it; one comma after the last value is allowed). Blank lines, lines
// starting with '#' and a byte-order mark are ignored.
//  - A frame whose 20 joint positions are all 0 0 0 (whatever their w) means nobody is
//    tracked: every slot has tracking state 0.
//  - Otherwise the person is slot 0 with tracking state 2, tracking id 1 and the hip centre
//    as body position. A joint written as 0 0 0 is one the tracker lost: it takes its last
//    tracked position or, before it was ever tracked, the place of the joint it hangs from;
//    either way with joint state 1 (inferred).
//  - A malformed line (wrong count, not a number, nan or inf) is skipped with a warning on
//    stderr naming the file and line. A time stamp before the previous frame's (a tracker
//    restarting its clock) is warned about with its line, and the rest of the stream is
//    shifted to follow one frame after the previous frame.
//  - Past a file's first ten line warnings, further ones are only counted, in one last line.
// The depth and colour images are rendered from the skeleton (see setSkeletonImageRenderer).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/sensor/stream_source.h"

struct CsvFrame {
    uint64_t timeUs = 0;
    bool tracked = false;
    Vector4 joints[JOINT_COUNT];
    // Written as 0 0 0 and given its last tracked position or, not tracked yet, the place of the
    // joint it hangs from.
    bool inferred[JOINT_COUNT] = {};
    // Which person this is: a new number after a frame with nobody in it or a gap of more than a
    // second, so that whoever comes next is tracked (and smoothed) as someone new.
    uint32_t person = 1;
};

// Parses one data line (not blank, not a comment). False with a short `reason`.
bool parseCsvFrame(const std::string& line, CsvFrame& frame, std::string& reason);

// Builds the six-slot skeleton frame a csv frame stands for.
void csvSkeletonFrame(const CsvFrame& csv, SkeletonFrame& frame);

class CsvSource : public IndexedStreamSource {
public:
    // Reads and checks the whole file. False with a one-line `error` when it cannot be read or
    // holds no valid frame; skipped lines are reported on `warnings` (stderr by default).
    bool open(const std::string& path, std::string& error, std::FILE* warnings = stderr);

    size_t frameCount() const override { return frames.size(); }
    const std::vector<CsvFrame>& allFrames() const { return frames; }

protected:
    uint64_t frameTimeUsAt(size_t index) const override { return frames[index].timeUs; }
    bool loadSkeleton(size_t index, SkeletonFrame& frame) override;
    bool loadColour(size_t index, uint8_t* bgrx) override;
    bool loadDepth(size_t index, uint16_t* packedDepth) override;

private:
    std::vector<CsvFrame> frames;
};

std::unique_ptr<CsvSource> openCsvSource(const std::string& path, std::string& error);
