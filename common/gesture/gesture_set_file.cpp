#include "common/gesture/gesture_set_file.h"

#include "common/files/regular_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Sets and gestures are named by the numbers gesturetool, the panel and the training screen
// use, which count from 0.
std::string numberedSet(size_t set, size_t count) {
    return "set " + std::to_string(set) + " (of " + std::to_string(count) + ", numbered from 0)";
}

constexpr size_t POSE_BYTES = ARM_POSE_SIZE * 4;
constexpr size_t SKELETON_BYTES = JOINT_COUNT * 3 * 4;
// Smallest gesture record the counts could describe: pose count, skeleton count, type. (One
// without poses is refused by its own check, which names the gesture.)
constexpr size_t MIN_GESTURE_BYTES = 4 + 4 + 4;
constexpr size_t MIN_SET_BYTES = 4 + MIN_GESTURE_BYTES;
constexpr long MAX_FILE_BYTES = static_cast<long>(MAX_GESTURE_SET_FILE_BYTES);

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putI32(std::vector<uint8_t>& out, int32_t v) { putU32(out, static_cast<uint32_t>(v)); }
void putF32(std::vector<uint8_t>& out, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    putU32(out, bits);
}
// The reader refuses NaN and infinity, so they are never written: a joint the sensor could not
// place (pose extraction repairs only the joints it reads, the others stay in the stored
// records) is saved as 0, the sensor's own value for a joint without a position. Without this
// one such frame in one example made the whole file unloadable.
void putStoredF32(std::vector<uint8_t>& out, float v) { putF32(out, std::isfinite(v) ? v : 0.0f); }

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data(data), size(size) {}
    size_t remaining() const { return size - offset; }
    bool i32(int32_t& v) {
        uint32_t bits;
        if (!u32(bits)) return false;
        v = static_cast<int32_t>(bits);
        return true;
    }
    bool f32(float& v) {
        uint32_t bits;
        if (!u32(bits)) return false;
        std::memcpy(&v, &bits, 4);
        return true;
    }

private:
    bool u32(uint32_t& v) {
        if (remaining() < 4) return false;
        v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(data[offset + static_cast<size_t>(i)]) << (8 * i);
        offset += 4;
        return true;
    }
    const uint8_t* data;
    size_t size;
    size_t offset = 0;
};

// A count read from the file: non-negative and no larger than the rest of the file can hold.
bool countOk(int32_t count, size_t remaining, size_t bytesPerItem) {
    return count >= 0 && static_cast<size_t>(count) <= remaining / bytesPerItem;
}

// Why a count failed `countOk`: one that no file could hold is impossible; one that a longer
// file could hold most often means this one was cut short, which is what a user needs to hear.
std::string countProblem(const std::string& where, const char* what, int32_t count, size_t remaining,
                         size_t bytesPerItem) {
    const std::string prefix = where.empty() ? std::string() : where + ": ";
    if (count < 0 || static_cast<uint64_t>(count) * bytesPerItem > static_cast<uint64_t>(MAX_FILE_BYTES))
        return prefix + "impossible " + what + " count " + std::to_string(count);
    return prefix + what + " count " + std::to_string(count) + " needs at least " +
           std::to_string(static_cast<uint64_t>(count) * bytesPerItem) + " more bytes but " +
           std::to_string(remaining) + " remain: the file is cut short or damaged";
}

}  // namespace

uint64_t gestureSetFileBytes(const GestureSetList& sets) {
    uint64_t bytes = 4;
    for (const GestureSet& set : sets) {
        bytes += 4;
        for (const Gesture& g : set.gestures)
            bytes += 4 + g.poses.size() * POSE_BYTES + 4 + g.skeletons.size() * SKELETON_BYTES + 4;
    }
    return bytes;
}

std::string unloadableGestureSets(const GestureSetList& sets, uint64_t maxBytes) {
    const uint64_t bytes = gestureSetFileBytes(sets);
    if (bytes > maxBytes) {
        return "the file would be " + std::to_string(bytes) + " bytes, larger than the " +
               (maxBytes == MAX_GESTURE_SET_FILE_BYTES ? std::string("256 MiB") : std::to_string(maxBytes) + " bytes") +
               " a gesture-set file may hold";
    }
    for (size_t s = 0; s < sets.size(); ++s) {
        const std::string where = numberedSet(s, sets.size());
        if (sets[s].gestures.empty()) return where + " has no gestures";
        for (size_t k = 0; k < sets[s].gestures.size(); ++k) {
            const Gesture& g = sets[s].gestures[k];
            const std::string at = "gesture " + std::to_string(k) + " in " + where;
            if (g.poses.empty()) return at + " has no poses";
            const int type = static_cast<int>(g.type);
            if (type < 0 || type > 3) return at + ": gesture type " + std::to_string(type) + " is not 0..3";
        }
    }
    return std::string();
}

std::vector<uint8_t> encodeGestureSets(const GestureSetList& sets) {
    std::vector<uint8_t> out;
    putI32(out, static_cast<int32_t>(sets.size()));
    for (const GestureSet& set : sets) {
        putI32(out, static_cast<int32_t>(set.gestures.size()));
        for (const Gesture& g : set.gestures) {
            putI32(out, static_cast<int32_t>(g.poses.size()));
            for (const ArmPose& p : g.poses) {
                for (float v : p) putStoredF32(out, v);
            }
            putI32(out, static_cast<int32_t>(g.skeletons.size()));
            for (const SkeletonRecord& s : g.skeletons) {
                for (const Vector4& j : s.joints) {
                    putStoredF32(out, j.x);
                    putStoredF32(out, j.y);
                    putStoredF32(out, j.z);
                }
            }
            putI32(out, static_cast<int32_t>(g.type));
        }
    }
    return out;
}

bool decodeGestureSets(const uint8_t* data, size_t size, GestureSetList& sets, std::string& error) {
    Reader in(data, size);
    GestureSetList loaded;
    int32_t setCount = 0;
    if (!in.i32(setCount)) {
        error = "too short for a set count";
        return false;
    }
    if (!countOk(setCount, in.remaining(), MIN_SET_BYTES)) {
        error = countProblem("", "set", setCount, in.remaining(), MIN_SET_BYTES);
        return false;
    }
    // Records are added as they are read, not made up front from the counts: a count is only
    // bounded by the bytes left, and a gesture record can be as short as 12 bytes, so a damaged
    // file of a few hundred megabytes would otherwise make gigabytes of empty records first.
    for (int32_t s = 0; s < setCount; ++s) {
        const std::string where = numberedSet(static_cast<size_t>(s), static_cast<size_t>(setCount));
        GestureSet& set = loaded.emplace_back();
        int32_t gestureCount = 0;
        if (!in.i32(gestureCount)) {
            error = "truncated in " + where;
            return false;
        }
        if (gestureCount == 0) {
            error = where + " has no gestures";
            return false;
        }
        if (!countOk(gestureCount, in.remaining(), MIN_GESTURE_BYTES)) {
            error = countProblem(where, "gesture", gestureCount, in.remaining(), MIN_GESTURE_BYTES);
            return false;
        }
        for (int32_t k = 0; k < gestureCount; ++k) {
            const std::string at = "gesture " + std::to_string(k) + " in " + where;
            Gesture& g = set.gestures.emplace_back();
            int32_t poseCount = 0;
            if (!in.i32(poseCount)) {
                error = "truncated in " + at;
                return false;
            }
            if (poseCount == 0) {
                error = at + " has no poses";
                return false;
            }
            if (!countOk(poseCount, in.remaining(), POSE_BYTES)) {
                error = countProblem(at, "pose", poseCount, in.remaining(), POSE_BYTES);
                return false;
            }
            g.poses.resize(static_cast<size_t>(poseCount));
            for (ArmPose& p : g.poses) {
                for (float& v : p) {
                    in.f32(v);  // the count check guarantees the bytes
                    if (!std::isfinite(v)) {
                        error = at + ": pose value is not a finite number";
                        return false;
                    }
                }
            }
            int32_t skeletonCount = 0;
            if (!in.i32(skeletonCount)) {
                error = "truncated in " + at;
                return false;
            }
            if (!countOk(skeletonCount, in.remaining(), SKELETON_BYTES)) {
                error = countProblem(at, "skeleton", skeletonCount, in.remaining(), SKELETON_BYTES);
                return false;
            }
            g.skeletons.resize(static_cast<size_t>(skeletonCount));
            for (SkeletonRecord& r : g.skeletons) {
                for (Vector4& j : r.joints) {
                    in.f32(j.x);
                    in.f32(j.y);
                    in.f32(j.z);
                    if (!std::isfinite(j.x) || !std::isfinite(j.y) || !std::isfinite(j.z)) {
                        error = at + ": joint position is not a finite number";
                        return false;
                    }
                }
            }
            int32_t type = 0;
            if (!in.i32(type)) {
                error = "truncated in " + at;
                return false;
            }
            if (type < 0 || type > 3) {
                error = at + ": gesture type " + std::to_string(type) + " is not 0..3";
                return false;
            }
            g.type = static_cast<GestureType>(type);
        }
        set.type = set.gestures.front().type;
    }
    if (in.remaining() != 0) {
        error = std::to_string(in.remaining()) + " bytes after the last set";
        return false;
    }
    sets = std::move(loaded);
    return true;
}

bool readFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    bytes.clear();
    std::FILE* f = openRegularFile(path, error);
    if (f == nullptr) return false;
    errno = 0;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = ok && size >= 0 && size <= MAX_FILE_BYTES && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = size == 0 || std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    const int readErrno = errno;
    std::fclose(f);
    if (!ok) {
        error = size > MAX_FILE_BYTES ? std::string("larger than 256 MiB")
                                      : std::string("cannot read") +
                                            (readErrno != 0 ? std::string(": ") + std::strerror(readErrno) : "");
        bytes.clear();
    }
    return ok;
}
