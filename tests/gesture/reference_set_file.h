#pragma once
// An independent model of the gesture-set file, written from the file's documented layout
// without looking at the program's encoder or decoder. Bytes are assembled and taken apart one
// at a time (least significant first), so the model does not depend on the host's byte order or
// on the in-memory layout of the program's records.
//
// Layout: int32 setCount; per set: int32 gestureCount; per gesture: int32 poseCount,
// poseCount x 18 float32, int32 skeletonCount, skeletonCount x 20 joints x (x, y, z) float32,
// int32 type. No header, no magic, no checksum.
//
// The writer stores a value that is not finite as 0 (see putStoredF32).
// The reader refuses what the layout cannot describe or what a loaded set could not be used
// for: a file that ends early or goes on after the last set, a negative count, a set without
// gestures (it would have no type), a gesture without poses (nothing to compare), a type other
// than 0..3, and a NaN or infinite value.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace set_file_ref {

constexpr int POSE_VALUES = 18;
constexpr int JOINTS = 20;
constexpr int SKELETON_VALUES = JOINTS * 3;  // x, y, z per joint, joint order of the record

struct RefGesture {
    std::vector<std::array<float, POSE_VALUES>> poses;
    std::vector<std::array<float, SKELETON_VALUES>> skeletons;
    int32_t type = 3;
};

struct RefSet {
    std::vector<RefGesture> gestures;
    int32_t type = 3;  // the first gesture's type once read; never written
};

inline uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

inline float bitsFloat(uint32_t u) {
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

inline void putU32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFFu));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xFFu));
    out.push_back(static_cast<uint8_t>((v >> 16) & 0xFFu));
    out.push_back(static_cast<uint8_t>((v >> 24) & 0xFFu));
}

inline void putI32(std::vector<uint8_t>& out, int32_t v) { putU32(out, static_cast<uint32_t>(v)); }
inline void putF32(std::vector<uint8_t>& out, float v) { putU32(out, floatBits(v)); }

// The reader refuses NaN and infinity, so the writer must never produce them: a value that is
// not finite (a joint the sensor could not place) is written as 0, the sensor's own value for
// a joint without a position. Everything the file can hold then loads again.
inline void putStoredF32(std::vector<uint8_t>& out, float v) { putF32(out, std::isfinite(v) ? v : 0.0f); }

inline std::vector<uint8_t> writeSets(const std::vector<RefSet>& sets) {
    std::vector<uint8_t> out;
    putI32(out, static_cast<int32_t>(sets.size()));
    for (const RefSet& set : sets) {
        putI32(out, static_cast<int32_t>(set.gestures.size()));
        for (const RefGesture& g : set.gestures) {
            putI32(out, static_cast<int32_t>(g.poses.size()));
            for (const auto& pose : g.poses)
                for (float v : pose) putStoredF32(out, v);
            putI32(out, static_cast<int32_t>(g.skeletons.size()));
            for (const auto& skeleton : g.skeletons)
                for (float v : skeleton) putStoredF32(out, v);
            putI32(out, g.type);
        }
    }
    return out;
}

// Reads from the front of the byte image; every read says whether the bytes were there.
struct ByteCursor {
    const std::vector<uint8_t>& bytes;
    size_t at = 0;

    bool u32(uint32_t& v) {
        if (bytes.size() - at < 4) return false;
        v = static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
            (static_cast<uint32_t>(bytes[at + 2]) << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
        at += 4;
        return true;
    }
    bool i32(int32_t& v) {
        uint32_t u;
        if (!u32(u)) return false;
        // Two's complement by arithmetic, not by a cast the model would share with the code.
        v = u >= 0x80000000u ? static_cast<int32_t>(static_cast<int64_t>(u) - 0x100000000LL)
                             : static_cast<int32_t>(u);
        return true;
    }
    bool f32(float& v) {
        uint32_t u;
        if (!u32(u)) return false;
        v = bitsFloat(u);
        return true;
    }
};

// Parses the whole image. On refusal `why` names the first problem and `sets` is untouched.
inline bool readSets(const std::vector<uint8_t>& bytes, std::vector<RefSet>& sets, std::string& why) {
    ByteCursor in{bytes};
    std::vector<RefSet> result;
    int32_t setCount = 0;
    if (!in.i32(setCount)) { why = "no set count"; return false; }
    if (setCount < 0) { why = "negative set count"; return false; }
    for (int32_t s = 0; s < setCount; ++s) {
        int32_t gestureCount = 0;
        if (!in.i32(gestureCount)) { why = "ends before a gesture count"; return false; }
        if (gestureCount < 0) { why = "negative gesture count"; return false; }
        if (gestureCount == 0) { why = "set without gestures"; return false; }
        RefSet set;
        for (int32_t k = 0; k < gestureCount; ++k) {
            RefGesture g;
            int32_t poseCount = 0;
            if (!in.i32(poseCount)) { why = "ends before a pose count"; return false; }
            if (poseCount < 0) { why = "negative pose count"; return false; }
            if (poseCount == 0) { why = "gesture without poses"; return false; }
            // Each pose needs 72 bytes: a count the rest of the file cannot hold is refused
            // before anything is allocated for it.
            if (static_cast<uint64_t>(poseCount) * 72u > bytes.size() - in.at) { why = "pose count too large"; return false; }
            g.poses.resize(static_cast<size_t>(poseCount));
            for (auto& pose : g.poses)
                for (float& v : pose) {
                    if (!in.f32(v)) { why = "ends inside a pose"; return false; }
                    if (!std::isfinite(v)) { why = "non-finite pose value"; return false; }
                }
            int32_t skeletonCount = 0;
            if (!in.i32(skeletonCount)) { why = "ends before a skeleton count"; return false; }
            if (skeletonCount < 0) { why = "negative skeleton count"; return false; }
            if (static_cast<uint64_t>(skeletonCount) * 240u > bytes.size() - in.at) { why = "skeleton count too large"; return false; }
            g.skeletons.resize(static_cast<size_t>(skeletonCount));
            for (auto& skeleton : g.skeletons)
                for (float& v : skeleton) {
                    if (!in.f32(v)) { why = "ends inside a skeleton"; return false; }
                    if (!std::isfinite(v)) { why = "non-finite joint value"; return false; }
                }
            if (!in.i32(g.type)) { why = "ends before a type"; return false; }
            if (g.type < 0 || g.type > 3) { why = "type outside 0..3"; return false; }
            set.gestures.push_back(std::move(g));
        }
        set.type = set.gestures.front().type;
        result.push_back(std::move(set));
    }
    if (in.at != bytes.size()) { why = "bytes after the last set"; return false; }
    sets = std::move(result);
    return true;
}

inline size_t gestureTotal(const std::vector<RefSet>& sets) {
    size_t n = 0;
    for (const RefSet& s : sets) n += s.gestures.size();
    return n;
}

}  // namespace set_file_ref
