#pragma once
// Gesture-set files: a flat little-endian sequence, no header.
//   int32 setCount; per set: int32 gestureCount; per gesture: int32 poseCount,
//   poseCount x 18 float32 (the ArmPose), int32 skeletonCount, skeletonCount x 20 joints x
//   (x, y, z) float32, int32 type (0 LEFT .. 3 UNDEFINED).
// Set types, class variances and the joints' w are not stored.
#include <cstdint>
#include <string>
#include <vector>

#include "common/gesture/gesture.h"

// The largest file the reader takes, and so the largest one written.
constexpr uint64_t MAX_GESTURE_SET_FILE_BYTES = 256ull * 1024 * 1024;

// The size of the file these sets are written as.
uint64_t gestureSetFileBytes(const GestureSetList& sets);

// Why a file of these sets could not be loaded again (larger than the reader takes, a set
// without gestures, a gesture without poses, a type outside 0..3), or empty when it could.
// Training makes only the first kind, and only after thousands of examples.
// (`maxBytes` stands in for the reader's limit in tests, which cannot build sets that large.)
std::string unloadableGestureSets(const GestureSetList& sets, uint64_t maxBytes = MAX_GESTURE_SET_FILE_BYTES);

// The file's bytes for these sets. A pose value or joint coordinate that is not finite is
// written as 0, so that every file written here loads again.
std::vector<uint8_t> encodeGestureSets(const GestureSetList& sets);

// Parses a whole file image into `sets` (each set typed by its first gesture). Rejects, with a
// description in `error`, anything truncated or inconsistent: trailing bytes, counts that are
// negative or larger than the remaining bytes could hold, a set without gestures, a gesture
// without poses, a type outside 0..3, non-finite values. `sets` is only written on success.
bool decodeGestureSets(const uint8_t* data, size_t size, GestureSetList& sets, std::string& error);

// Reads a whole regular file (at most 256 MiB) without ever waiting: a pipe, socket, device or
// folder is refused. False with `error` when it cannot be opened or read.
bool readFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
