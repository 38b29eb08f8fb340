#include "common/gesture/gesture.h"

#include <cmath>

const char* gestureTypeName(GestureType type) {
    switch (type) {
        case GestureType::LEFT: return "LEFT";
        case GestureType::RIGHT: return "RIGHT";
        case GestureType::BOTH: return "BOTH";
        case GestureType::UNDEFINED: return "UNDEFINED";
    }
    return "NO GESTURE TYPE";
}

float poseDistance(const ArmPose& a, const ArmPose& b, GestureType type) {
    int first = 0;
    int stride = 1;
    switch (type) {
        case GestureType::LEFT: first = 0; stride = 2; break;
        case GestureType::RIGHT: first = 1; stride = 2; break;
        case GestureType::BOTH: first = 0; stride = 1; break;
        default: return 1e9f;
    }
    float sum = 0.0f;
    for (int i = first; i < ARM_ANGLE_COUNT; i += stride) {
        const float d = a[i] - b[i];
        sum += d * d;
    }
    return std::sqrt(sum);
}

float pathLength(const Gesture& g) {
    float length = 0.0f;
    for (size_t i = 1; i < g.poses.size(); ++i) {
        length += poseDistance(g.poses[i - 1], g.poses[i], GestureType::BOTH);
    }
    return length;
}

ArmPose meanPose(const Gesture& g) {
    ArmPose mean{};
    if (g.poses.empty()) return mean;
    for (const ArmPose& p : g.poses) {
        for (int i = 0; i < ARM_POSE_SIZE; ++i) mean[i] += p[i];
    }
    const float n = static_cast<float>(g.poses.size());
    for (float& v : mean) v /= n;
    return mean;
}

namespace {

// Population variance, (sum of squares) / N - mean^2, summed over the offsets from a reference
// pose instead of the raw angles: the raw form cancels catastrophically (a constant 155.3 comes
// out as a few thousandths, often negative, and sqrt then gives NaN), while the offsets of a
// constant feature are exactly 0, so its variance is exactly 0 as the measures expect.
struct VarianceSum {
    FeatureVector reference{};
    FeatureVector sum{};
    FeatureVector sumSquares{};
    size_t count = 0;

    void add(const ArmPose& p) {
        if (count == 0) {
            for (int f = 0; f < FEATURE_COUNT; ++f) reference[f] = p[FEATURE_POSE_INDEX[f]];
        }
        for (int f = 0; f < FEATURE_COUNT; ++f) {
            const float v = p[FEATURE_POSE_INDEX[f]] - reference[f];
            sum[f] += v;
            sumSquares[f] += v * v;
        }
        ++count;
    }

    FeatureVector variance() const {
        FeatureVector variance{};
        if (count == 0) return variance;
        const float n = static_cast<float>(count);
        for (int f = 0; f < FEATURE_COUNT; ++f) {
            const float mean = sum[f] / n;
            variance[f] = sumSquares[f] / n - mean * mean;
        }
        return variance;
    }
};

}  // namespace

FeatureVector featureVariance(const Gesture& g) {
    VarianceSum sums;
    for (const ArmPose& p : g.poses) sums.add(p);
    return sums.variance();
}

FeatureVector fmVector(const Gesture& g) {
    FeatureVector fm{};
    if (g.poses.empty()) return fm;
    for (size_t i = 1; i < g.poses.size(); ++i) {
        for (int f = 0; f < FEATURE_COUNT; ++f) {
            const float d = g.poses[i][FEATURE_POSE_INDEX[f]] - g.poses[i - 1][FEATURE_POSE_INDEX[f]];
            fm[f] += d * d;
        }
    }
    const float n = static_cast<float>(g.poses.size());
    for (float& v : fm) v = std::log(1.0f + v / n);
    return fm;
}

void resampleGesture(Gesture& g, int n) {
    if (g.poses.empty() || n < 2) return;
    if (g.poses.size() == 1) {
        g.poses.assign(static_cast<size_t>(n), g.poses.front());
        return;
    }
    constexpr size_t MAX_OUTPUT = 10000;
    const float step = pathLength(g) / static_cast<float>(n - 1);
    std::vector<ArmPose> out;
    out.reserve(static_cast<size_t>(n) + 1);
    out.push_back(g.poses.front());
    // Walk the segments; an inserted pose becomes the start of the rest of its segment.
    ArmPose p = g.poses.front();
    float walked = 0.0f;
    size_t next = 1;
    while (next < g.poses.size()) {
        const ArmPose& q = g.poses[next];
        const float w = poseDistance(p, q, GestureType::BOTH);
        if (step < walked + w) {
            // walked <= step here, so w > 0.
            const float t = (step - walked) / w;
            ArmPose r;
            for (int i = 0; i < ARM_POSE_SIZE; ++i) r[i] = p[i] + t * (q[i] - p[i]);
            out.push_back(r);
            if (out.size() > MAX_OUTPUT) {
                g.poses.resize(1);
                return;
            }
            p = r;
            walked = 0.0f;
        } else {
            walked += w;
            p = q;
            ++next;
        }
    }
    if (out.size() == static_cast<size_t>(n)) out.pop_back();
    out.push_back(g.poses.back());
    g.poses.swap(out);
}

FeatureVector pooledVariance(const GestureSet& set) {
    VarianceSum sums;
    for (const Gesture& g : set.gestures) {
        for (const ArmPose& p : g.poses) sums.add(p);
    }
    return sums.variance();
}

void computeClassVariances(GestureSet& set) {
    const FeatureVector v = pooledVariance(set);
    set.classVariances.assign(v.begin(), v.end());
}
