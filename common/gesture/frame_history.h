#pragma once
// The recogniser's fixed-length frame history: a ring of FrameRecords, index 0 the oldest.
// Appending drops the oldest record and allocates nothing. Not synchronised: the recogniser's
// mutex guards it.
#include <array>
#include <cstdint>

#include "common/gesture/arm_pose.h"
#include "common/sensor/skeleton_record.h"

constexpr int HISTORY_LENGTH = 150;

struct FrameRecord {
    SkeletonRecord skeleton;  // as left by pose extraction
    ArmPose pose{};           // mean pose of the 3-frame pose window
    bool marked = false;      // a segmentation mark (or a frame that must not be captured)
    int32_t frameNumber = 0;  // 1 .. 9,999,999 then 0, wrapping; 0 in the initial records
    float speed = 0.0f;       // smoothed arm speed, degrees per frame
};

class FrameHistory {
public:
    static constexpr int size() { return HISTORY_LENGTH; }

    FrameRecord& operator[](int index) { return records[slot(index)]; }
    const FrameRecord& operator[](int index) const { return records[slot(index)]; }
    FrameRecord& newest() { return (*this)[HISTORY_LENGTH - 1]; }
    const FrameRecord& newest() const { return (*this)[HISTORY_LENGTH - 1]; }

    // Appends `record` as the newest and drops the oldest.
    void push(const FrameRecord& record) {
        records[oldest] = record;
        oldest = (oldest + 1) % HISTORY_LENGTH;
    }

    // Index of the newest record with this frame number, -1 when it has left the history.
    int indexOf(int32_t frameNumber) const {
        for (int i = HISTORY_LENGTH - 1; i >= 0; --i) {
            if ((*this)[i].frameNumber == frameNumber) return i;
        }
        return -1;
    }

private:
    int slot(int index) const { return (oldest + index) % HISTORY_LENGTH; }

    std::array<FrameRecord, HISTORY_LENGTH> records{};
    int oldest = 0;
};
