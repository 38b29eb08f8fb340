#pragma once
// The nine similarity measures between a candidate gesture and a trained one. For every measure
// a smaller distance means more alike. Runs on the recognition worker and on the frame loop.
#include <cstdint>
#include <string>
#include <vector>

#include "common/gesture/gesture.h"

enum class SimilarityMeasure : int32_t {
    EUCLIDEAN = 0,
    PEARSON_CORRELATION = 1,
    PEARSON_CORRELATION_SQUARED = 2,
    MODIFIED_EUCLIDEAN = 3,
    MODIFIED_PEARSON = 4,
    DTW = 5,
    MODIFIED_DTW = 6,
    FM = 7,
    MODIFIED_FM = 8
};

constexpr int SIMILARITY_MEASURE_COUNT = 9;

// Returned for gestures that cannot be compared (a single pose against a sequence, an unknown
// measure, a motionless gesture under a speed-weighted measure, mismatched lengths).
constexpr float NOT_COMPARABLE_DISTANCE = 1e7f;

// The measure's enumerator name ("DTW"), or "UNKNOWN" outside the table.
const char* similarityMeasureName(SimilarityMeasure measure);
// Accepts the enumerator names (any case) and the numbers 0..8.
bool parseSimilarityMeasure(const std::string& text, SimilarityMeasure& measure);
// The measure's default gesture threshold (DTW 35, ...); -1 outside the table.
float measureDefaultThreshold(SimilarityMeasure measure);
// True for the measures that compare equal-length sequences (EUCLIDEAN .. MODIFIED_PEARSON), for
// which trained gestures are kept resampled to RESAMPLE_LENGTH poses.
bool measureNeedsResampling(SimilarityMeasure measure);

constexpr int RESAMPLE_LENGTH = 64;

// Reusable buffers so that repeated comparisons on one thread allocate (almost) nothing.
// One per thread.
struct SimilarityScratch {
    std::vector<float> previousRow;
    std::vector<float> currentRow;
    Gesture resampled;
};

// Banded DTW: band max(n, m) / 10 with n, m the pose counts minus one; the first poses are matched
// for free; cells outside the band cost 1e7. Result: cost(n, m) / the shorter pose count.
// Both gestures need at least two poses.
float dtwDistance(const Gesture& a, const Gesture& b, SimilarityScratch& scratch);

// Class-conditional density ratio of the candidate's FM vector for set `setIndex` against the
// other sets (Cauchy kernel). With no other set the out-of-class density counts as 0.
float modifiedFmScore(const Gesture& candidate, int setIndex, const GestureSetList& sets);

// Distance between candidate a and trained gesture b of set setIndex in `sets` under `measure`.
// MODIFIED_PEARSON reads the set's class variances (pooled on the fly when not computed);
// MODIFIED_FM reads every set.
float gestureDistance(const Gesture& a, const Gesture& b, int setIndex, SimilarityMeasure measure,
                      const GestureSetList& sets, SimilarityScratch& scratch);
