// Gesture-set files arrive from the user's disk (command line, training screen, scripts).
// Any bytes must decode or be refused without a fault; what decodes must encode back to the
// same bytes, and the recogniser's per-set arithmetic must survive any finite values.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/gesture/gesture.h"
#include "common/gesture/gesture_set_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    GestureSetList sets;
    std::string error;
    if (!decodeGestureSets(data, size, sets, error)) {
        if (error.empty()) {
            std::fprintf(stderr, "refused without a reason\n");
            std::abort();
        }
        if (!sets.empty()) {
            std::fprintf(stderr, "sets written although refused\n");
            std::abort();
        }
        return 0;
    }

    // Everything the format stores is kept, so the round trip is byte-exact.
    std::vector<uint8_t> again = encodeGestureSets(sets);
    if (again.size() != size || (size > 0 && std::memcmp(again.data(), data, size) != 0)) {
        std::fprintf(stderr, "re-encoding differs: %zu bytes in, %zu out\n", size, again.size());
        std::abort();
    }

    // What loading a set leads to: class variances, path lengths, resampling for training.
    for (GestureSet& set : sets) {
        computeClassVariances(set);
        for (Gesture& g : set.gestures) {
            (void)pathLength(g);
            (void)fmVector(g);
            if (g.poses.size() <= 64) resampleGesture(g, 20);
        }
    }
    return 0;
}
