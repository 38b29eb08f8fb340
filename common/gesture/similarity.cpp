#include "common/gesture/similarity.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

// The cost of a DTW cell no warping path reaches, and the answer for gestures that cannot be
// compared.
constexpr float BIG_COST = NOT_COMPARABLE_DISTANCE;
constexpr float ZERO_VARIANCE = 0.0001f;
constexpr float KERNEL_PI = 3.1415925f;

struct MeasureInfo {
    const char* name;
    float threshold;
};

constexpr MeasureInfo MEASURES[SIMILARITY_MEASURE_COUNT] = {
    {"EUCLIDEAN", 25.0f},  {"PEARSON_CORRELATION", 0.5f}, {"PEARSON_CORRELATION_SQUARED", 0.5f},
    {"MODIFIED_EUCLIDEAN", 2.4f}, {"MODIFIED_PEARSON", 0.5f}, {"DTW", 35.0f},
    {"MODIFIED_DTW", 30.0f}, {"FM", 1.0f}, {"MODIFIED_FM", 1e7f}};

bool inTable(SimilarityMeasure m) {
    const int v = static_cast<int>(m);
    return v >= 0 && v < SIMILARITY_MEASURE_COUNT;
}

// Mean step length; 0 for a gesture that does not move.
float meanStep(const Gesture& g) {
    return pathLength(g) / static_cast<float>(g.poses.size());
}

// Penalises gestures performed faster or slower than each other: distance x (larger mean step)
// / (smaller mean step), multiplied before dividing. A motionless gesture has no speed to
// compare, so it is not comparable (BIG_COST) rather than infinitely far.
float speedScaled(float distance, const Gesture& a, const Gesture& b) {
    const float ma = meanStep(a);
    const float mb = meanStep(b);
    const float low = std::min(ma, mb);
    if (!(low > 0.0f)) return BIG_COST;
    return distance * std::max(ma, mb) / low;
}

float euclidean(const Gesture& a, const Gesture& b) {
    float sum = 0.0f;
    for (size_t i = 0; i < a.poses.size(); ++i) {
        const float d = poseDistance(a.poses[i], b.poses[i], GestureType::BOTH);
        sum += d * d;
    }
    return std::sqrt(sum) / static_cast<float>(a.poses.size());
}

// Mean of each feature, summed as offsets from the first pose like the variances, so that a
// constant feature's mean is exactly that constant and its covariance terms exactly 0.
FeatureVector featureMean(const Gesture& g) {
    FeatureVector reference{};
    for (int f = 0; f < FEATURE_COUNT; ++f) reference[f] = g.poses.front()[FEATURE_POSE_INDEX[f]];
    FeatureVector offset{};
    for (const ArmPose& p : g.poses) {
        for (int f = 0; f < FEATURE_COUNT; ++f) offset[f] += p[FEATURE_POSE_INDEX[f]] - reference[f];
    }
    FeatureVector mean{};
    for (int f = 0; f < FEATURE_COUNT; ++f) mean[f] = reference[f] + offset[f] / static_cast<float>(g.poses.size());
    return mean;
}

enum class PearsonKind { PLAIN, SQUARED, CLASS };

float pearson(const Gesture& a, const Gesture& b, PearsonKind kind, const FeatureVector& classVar) {
    const FeatureVector meanA = featureMean(a);
    const FeatureVector meanB = featureMean(b);
    FeatureVector varA = featureVariance(a);
    FeatureVector varB = kind == PearsonKind::CLASS ? classVar : featureVariance(b);
    FeatureVector cov{};
    for (size_t i = 0; i < a.poses.size(); ++i) {
        for (int f = 0; f < FEATURE_COUNT; ++f) {
            const int k = FEATURE_POSE_INDEX[f];
            cov[f] += (a.poses[i][k] - meanA[f]) * (b.poses[i][k] - meanB[f]);
        }
    }
    float sum = 0.0f;
    for (int f = 0; f < FEATURE_COUNT; ++f) {
        // A variance cannot be negative; rounding aside, <= 0 is a feature that did not change.
        if (!(varA[f] > 0.0f)) varA[f] = ZERO_VARIANCE;
        if (!(varB[f] > 0.0f)) varB[f] = ZERO_VARIANCE;
        const float r = cov[f] / std::sqrt(varA[f] * varB[f]);
        sum += kind == PearsonKind::SQUARED ? (1.0f - r) * (1.0f - r) : 1.0f - r;
    }
    return sum / static_cast<float>(a.poses.size());
}

// Cauchy kernel density of x under the sample, bandwidth n^(-1/4).
float kernelDensity(const std::vector<float>& sample, float x) {
    if (sample.empty()) return 0.0f;
    const float n = static_cast<float>(sample.size());
    const float h = std::pow(n, -0.25f);
    float sum = 0.0f;
    for (float xi : sample) {
        const float u = (x - xi) / h;
        sum += 1.0f / (KERNEL_PI * (1.0f + u * u));
    }
    return (1.0f / (n * h)) * sum;
}

}  // namespace

const char* similarityMeasureName(SimilarityMeasure measure) {
    return inTable(measure) ? MEASURES[static_cast<int>(measure)].name : "UNKNOWN";
}

bool parseSimilarityMeasure(const std::string& text, SimilarityMeasure& measure) {
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (int i = 0; i < SIMILARITY_MEASURE_COUNT; ++i) {
        if (upper == MEASURES[i].name || text == std::to_string(i)) {
            measure = static_cast<SimilarityMeasure>(i);
            return true;
        }
    }
    return false;
}

float measureDefaultThreshold(SimilarityMeasure measure) {
    return inTable(measure) ? MEASURES[static_cast<int>(measure)].threshold : -1.0f;
}

bool measureNeedsResampling(SimilarityMeasure measure) {
    const int v = static_cast<int>(measure);
    return v >= 0 && v <= static_cast<int>(SimilarityMeasure::MODIFIED_PEARSON);
}

float dtwDistance(const Gesture& a, const Gesture& b, SimilarityScratch& scratch) {
    const int n = static_cast<int>(a.poses.size()) - 1;
    const int m = static_cast<int>(b.poses.size()) - 1;
    if (n < 1 || m < 1) return BIG_COST;
    const int band = std::max(n, m) / 10;
    // Two rows of the (n + 1) x (m + 1) table are enough: row i needs only row i - 1.
    std::vector<float>& prev = scratch.previousRow;
    std::vector<float>& cur = scratch.currentRow;
    prev.assign(static_cast<size_t>(m) + 1, BIG_COST);
    cur.resize(static_cast<size_t>(m) + 1);
    prev[0] = 0.0f;
    for (int i = 1; i <= n; ++i) {
        std::fill(cur.begin(), cur.end(), BIG_COST);
        const int from = std::max(1, i - band);
        const int to = std::min(m, i + band);
        for (int k = from; k <= to; ++k) {
            const float best = std::min({prev[k], cur[k - 1], prev[k - 1]});
            cur[k] = best + poseDistance(a.poses[i], b.poses[k], GestureType::BOTH);
        }
        prev.swap(cur);
    }
    return prev[m] / static_cast<float>(std::min(n, m) + 1);
}

float modifiedFmScore(const Gesture& candidate, int setIndex, const GestureSetList& sets) {
    if (setIndex < 0 || setIndex >= static_cast<int>(sets.size())) return BIG_COST;
    const GestureSet& set = sets[static_cast<size_t>(setIndex)];
    if (set.gestures.empty()) return BIG_COST;
    FeatureVector mean{};
    for (const Gesture& g : set.gestures) {
        const FeatureVector v = fmVector(g);
        for (int f = 0; f < FEATURE_COUNT; ++f) mean[f] += v[f];
    }
    for (float& v : mean) v /= static_cast<float>(set.gestures.size());
    const FeatureVector fm = fmVector(candidate);
    std::vector<std::vector<float>> within(FEATURE_COUNT);
    std::vector<std::vector<float>> outside(FEATURE_COUNT);
    for (size_t s = 0; s < sets.size(); ++s) {
        for (const Gesture& g : sets[s].gestures) {
            const FeatureVector v = fmVector(g);
            auto& sample = s == static_cast<size_t>(setIndex) ? within : outside;
            for (int f = 0; f < FEATURE_COUNT; ++f) sample[f].push_back(v[f] - mean[f]);
        }
    }
    float sum = 0.0f;
    for (int f = 0; f < FEATURE_COUNT; ++f) {
        const float diff = fm[f] - mean[f];
        const float p = kernelDensity(within[f], diff);
        const float q = kernelDensity(outside[f], diff);
        sum += 2.0f * std::log(p + 1.0f) - std::log(q + 1.0f);
    }
    return 1.0f / sum;
}

float gestureDistance(const Gesture& a, const Gesture& b, int setIndex, SimilarityMeasure measure,
                      const GestureSetList& sets, SimilarityScratch& scratch) {
    if (a.poses.empty() || b.poses.empty()) return BIG_COST;
    const bool singleA = a.poses.size() == 1;
    const bool singleB = b.poses.size() == 1;
    if (singleA != singleB) return BIG_COST;
    if (singleA) return poseDistance(a.poses[0], b.poses[0], b.type);
    if (!inTable(measure)) return BIG_COST;

    // The equal-length measures compare a copy of the candidate resampled to the trained length.
    const Gesture* same = &a;
    if (measureNeedsResampling(measure) && a.poses.size() != b.poses.size()) {
        scratch.resampled.poses = a.poses;
        scratch.resampled.type = a.type;
        resampleGesture(scratch.resampled, static_cast<int>(b.poses.size()));
        if (scratch.resampled.poses.size() != b.poses.size()) return BIG_COST;
        same = &scratch.resampled;
    }

    switch (measure) {
        case SimilarityMeasure::EUCLIDEAN:
            return euclidean(*same, b);
        case SimilarityMeasure::MODIFIED_EUCLIDEAN:
            return speedScaled(euclidean(*same, b), a, b);
        case SimilarityMeasure::PEARSON_CORRELATION:
            return pearson(*same, b, PearsonKind::PLAIN, {});
        case SimilarityMeasure::PEARSON_CORRELATION_SQUARED:
            return pearson(*same, b, PearsonKind::SQUARED, {});
        case SimilarityMeasure::MODIFIED_PEARSON: {
            FeatureVector classVar{};
            const bool known = setIndex >= 0 && setIndex < static_cast<int>(sets.size());
            if (known && sets[static_cast<size_t>(setIndex)].classVariances.size() == FEATURE_COUNT) {
                const auto& v = sets[static_cast<size_t>(setIndex)].classVariances;
                std::copy(v.begin(), v.end(), classVar.begin());
            } else if (known) {
                classVar = pooledVariance(sets[static_cast<size_t>(setIndex)]);
            } else {
                classVar = featureVariance(b);
            }
            return pearson(*same, b, PearsonKind::CLASS, classVar);
        }
        case SimilarityMeasure::DTW:
            return dtwDistance(a, b, scratch);
        case SimilarityMeasure::MODIFIED_DTW:
            return speedScaled(dtwDistance(a, b, scratch), a, b);
        case SimilarityMeasure::FM: {
            const FeatureVector fa = fmVector(a);
            const FeatureVector fb = fmVector(b);
            float sum = 0.0f;
            for (int f = 0; f < FEATURE_COUNT; ++f) sum += (fa[f] - fb[f]) * (fa[f] - fb[f]);
            return std::sqrt(sum);
        }
        case SimilarityMeasure::MODIFIED_FM:
            return modifiedFmScore(a, setIndex, sets);
    }
    return BIG_COST;
}
