// The similarity measures and resampling against small independent references: each reference
// follows the written recurrence directly (a full DTW table, a resampler that inserts into the
// working list, the Pearson and density formulas in double precision).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/gesture/gesture.h"
#include "common/gesture/gesture_recognizer.h"
#include "common/gesture/similarity.h"
#include "gesture_test_helpers.h"

using namespace gesture_test;

namespace {

// Values 0, 2, 4, 6, 1, 3, 5, 7 of a pose: the gesture features.
constexpr int FEATURES[8] = {0, 2, 4, 6, 1, 3, 5, 7};

// Pose distance over values 0..7, written out independently of the library.
float refPoseDistance(const ArmPose& a, const ArmPose& b) {
    float sum = 0.0f;
    for (int i = 0; i < 8; ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
    return std::sqrt(sum);
}

// Resampling as written: a new pose is inserted into the working list before q, so the next
// segment starts at it.
std::vector<ArmPose> refResample(std::vector<ArmPose> pts, int n) {
    if (pts.empty()) return pts;
    if (pts.size() == 1) return std::vector<ArmPose>(static_cast<size_t>(n), pts[0]);
    const ArmPose first = pts.front();
    const ArmPose last = pts.back();
    float pathLength = 0.0f;
    for (size_t i = 1; i < pts.size(); ++i) pathLength += refPoseDistance(pts[i - 1], pts[i]);
    const float step = pathLength / static_cast<float>(n - 1);
    std::vector<ArmPose> out{first};
    float walked = 0.0f;
    for (size_t i = 1; i < pts.size(); ++i) {
        const float w = refPoseDistance(pts[i - 1], pts[i]);
        if (step < walked + w) {
            ArmPose r;
            const float t = (step - walked) / w;
            for (int v = 0; v < ARM_POSE_SIZE; ++v) r[v] = pts[i - 1][v] + t * (pts[i][v] - pts[i - 1][v]);
            out.push_back(r);
            if (out.size() > 10000) return {first};
            pts.insert(pts.begin() + static_cast<std::ptrdiff_t>(i), r);
            walked = 0.0f;
        } else {
            walked += w;
        }
    }
    if (out.size() == static_cast<size_t>(n)) out.pop_back();
    out.push_back(last);
    return out;
}

// DTW with the whole (n + 1) x (m + 1) table.
float refDtw(const Gesture& a, const Gesture& b) {
    const int n = static_cast<int>(a.poses.size()) - 1;
    const int m = static_cast<int>(b.poses.size()) - 1;
    const int w = std::max(n, m) / 10;
    std::vector<std::vector<float>> cost(static_cast<size_t>(n + 1), std::vector<float>(static_cast<size_t>(m + 1), 1e7f));
    cost[0][0] = 0.0f;
    for (int i = 1; i <= n; ++i) {
        for (int k = std::max(1, i - w); k <= std::min(m, i + w); ++k) {
            const float best = std::min(cost[i - 1][k], std::min(cost[i][k - 1], cost[i - 1][k - 1]));
            cost[i][k] = best + refPoseDistance(a.poses[i], b.poses[k]);
        }
    }
    return cost[n][m] / static_cast<float>(std::min(n + 1, m + 1));
}

// A wandering gesture: every angle follows its own slow curve, from a seed.
Gesture wander(int count, float seed) {
    Gesture g;
    g.type = GestureType::BOTH;
    for (int k = 0; k < count; ++k) {
        const float t = static_cast<float>(k) / static_cast<float>(count);
        ArmPose p{};
        for (int i = 0; i < ARM_POSE_SIZE; ++i) {
            p[i] = 40.0f * std::sin(seed + 0.7f * static_cast<float>(i) + 5.0f * t * (1.0f + 0.1f * static_cast<float>(i))) +
                   90.0f + 3.0f * std::cos(11.0f * t * seed);
        }
        g.poses.push_back(p);
    }
    return g;
}

struct Moments {
    double mean[8] = {};
    double variance[8] = {};
};

Moments refMoments(const std::vector<ArmPose>& poses) {
    Moments m;
    const double n = static_cast<double>(poses.size());
    for (int f = 0; f < 8; ++f) {
        for (const ArmPose& p : poses) m.mean[f] += p[FEATURES[f]];
        m.mean[f] /= n;
        for (const ArmPose& p : poses) m.variance[f] += (p[FEATURES[f]] - m.mean[f]) * (p[FEATURES[f]] - m.mean[f]);
        m.variance[f] /= n;
    }
    return m;
}

enum class RefPearson { PLAIN, SQUARED, CLASS };

// The Pearson family as written, over equal-length gestures.
double refPearson(const Gesture& a, const Gesture& b, RefPearson kind, const double* classVariance = nullptr) {
    const Moments ma = refMoments(a.poses);
    const Moments mb = refMoments(b.poses);
    double sum = 0.0;
    for (int f = 0; f < 8; ++f) {
        double cov = 0.0;
        for (size_t i = 0; i < a.poses.size(); ++i)
            cov += (a.poses[i][FEATURES[f]] - ma.mean[f]) * (b.poses[i][FEATURES[f]] - mb.mean[f]);
        const double va = ma.variance[f] == 0.0 ? 0.0001 : ma.variance[f];
        double vb = kind == RefPearson::CLASS ? classVariance[f] : mb.variance[f];
        if (vb == 0.0) vb = 0.0001;
        const double r = cov / std::sqrt(va * vb);
        sum += kind == RefPearson::SQUARED ? (1.0 - r) * (1.0 - r) : 1.0 - r;
    }
    return sum / static_cast<double>(a.poses.size());
}

std::vector<double> refFm(const Gesture& g) {
    std::vector<double> fm(8, 0.0);
    for (int f = 0; f < 8; ++f) {
        double s = 0.0;
        for (size_t i = 1; i < g.poses.size(); ++i) {
            const double d = g.poses[i][FEATURES[f]] - g.poses[i - 1][FEATURES[f]];
            s += d * d;
        }
        fm[f] = std::log(1.0 + s / static_cast<double>(g.poses.size()));
    }
    return fm;
}

double refDensity(const std::vector<double>& sample, double x) {
    const double n = static_cast<double>(sample.size());
    const double h = std::pow(n, -0.25);
    double sum = 0.0;
    for (double xi : sample) sum += 1.0 / (3.1415925 * (1.0 + ((x - xi) / h) * ((x - xi) / h)));
    return sum / (n * h);
}

double refModifiedFm(const Gesture& candidate, size_t setIndex, const GestureSetList& sets) {
    std::vector<double> mean(8, 0.0);
    for (const Gesture& g : sets[setIndex].gestures) {
        const std::vector<double> v = refFm(g);
        for (int f = 0; f < 8; ++f) mean[f] += v[f] / static_cast<double>(sets[setIndex].gestures.size());
    }
    const std::vector<double> fm = refFm(candidate);
    double sum = 0.0;
    for (int f = 0; f < 8; ++f) {
        std::vector<double> within, outside;
        for (size_t s = 0; s < sets.size(); ++s) {
            for (const Gesture& g : sets[s].gestures) (s == setIndex ? within : outside).push_back(refFm(g)[f] - mean[f]);
        }
        const double diff = fm[f] - mean[f];
        sum += 2.0 * std::log(refDensity(within, diff) + 1.0) - std::log(refDensity(outside, diff) + 1.0);
    }
    return 1.0 / sum;
}

float measure(const Gesture& a, const Gesture& b, SimilarityMeasure m, const GestureSetList& sets = {}, int setIndex = 0) {
    SimilarityScratch scratch;
    return gestureDistance(a, b, setIndex, m, sets, scratch);
}

}  // namespace

TEST(ResampleEdgeCases, UnevenPathsFollowTheWorkingListWalk) {
    for (int count : {3, 17, 40, 64, 65, 150}) {
        for (int n : {16, 64}) {
            Gesture g = wander(count, 0.3f * static_cast<float>(count));
            const std::vector<ArmPose> expected = refResample(g.poses, n);
            resampleGesture(g, n);
            ASSERT_EQ(g.poses.size(), expected.size()) << count << " -> " << n;
            EXPECT_EQ(g.poses.size(), static_cast<size_t>(n)) << count << " -> " << n;
            for (size_t k = 0; k < expected.size(); ++k)
                for (int v = 0; v < ARM_POSE_SIZE; ++v)
                    ASSERT_NEAR(g.poses[k][v], expected[k][v], 1e-3f) << count << " -> " << n << " pose " << k << " value " << v;
        }
    }
    // Spacing along the path: consecutive outputs of a 2-segment path are one step apart.
    Gesture bent;
    bent.poses = {anglePose({0, 0}), anglePose({30, 0}), anglePose({30, 33})};
    resampleGesture(bent, 22);
    ASSERT_EQ(bent.poses.size(), 22u);
    for (size_t k = 1; k < bent.poses.size() - 1; ++k)
        EXPECT_NEAR(std::fabs(bent.poses[k][0] - bent.poses[k - 1][0]) + std::fabs(bent.poses[k][1] - bent.poses[k - 1][1]),
                    3.0f, 1e-3f) << k;
}

TEST(ResampleEdgeCases, MoreThanTenThousandPosesAbandonsToTheFirstPose) {
    Gesture g = lineGesture(anglePose({0, 10}), anglePose({100, 50}), 5);
    const ArmPose first = g.poses.front();
    resampleGesture(g, 20000);
    ASSERT_EQ(g.poses.size(), 1u);
    EXPECT_EQ(g.poses[0], first);
    // 10000 itself is still allowed.
    Gesture h = lineGesture(anglePose({0, 10}), anglePose({100, 50}), 5);
    resampleGesture(h, 9999);
    EXPECT_EQ(h.poses.size(), 9999u);
}

TEST(DtwEdgeCases, BandedRecurrenceMatchesTheFullTable) {
    const int lengths[] = {2, 3, 9, 11, 12, 21, 30, 33, 64};
    for (int na : lengths) {
        for (int nb : lengths) {
            const Gesture a = wander(na, 1.0f);
            const Gesture b = wander(nb, 1.4f);
            const float expected = refDtw(a, b);
            const float got = measure(a, b, SimilarityMeasure::DTW);
            EXPECT_NEAR(got, expected, 1e-4f * std::max(1.0f, expected)) << na << " x " << nb;
            // MODIFIED_DTW scales by the ratio of mean step lengths.
            float ma = 0.0f, mb = 0.0f;
            for (int i = 1; i < na; ++i) ma += refPoseDistance(a.poses[i - 1], a.poses[i]);
            for (int i = 1; i < nb; ++i) mb += refPoseDistance(b.poses[i - 1], b.poses[i]);
            ma /= static_cast<float>(na);
            mb /= static_cast<float>(nb);
            EXPECT_NEAR(measure(a, b, SimilarityMeasure::MODIFIED_DTW), expected * std::max(ma, mb) / std::min(ma, mb),
                        1e-3f * std::max(1.0f, expected * std::max(ma, mb) / std::min(ma, mb)))
                << na << " x " << nb;
        }
    }
    // Band 0 (both shorter than 11 poses) on equal lengths is the diagonal: the sum of the
    // distances of poses 1..n, over N.
    const Gesture a = lineGesture(anglePose({0}), anglePose({90}), 10);
    const Gesture b = lineGesture(anglePose({3}), anglePose({93}), 10);
    EXPECT_NEAR(measure(a, b, SimilarityMeasure::DTW), 9.0f * 3.0f / 10.0f, 1e-4f);
}

TEST(EuclideanEdgeCases, CandidatesOfAnotherLengthAreResampledToTheTrainedLength) {
    const Gesture a = wander(90, 2.0f);
    const Gesture b = wander(64, 2.1f);
    Gesture copy = a;
    copy.poses = refResample(a.poses, 64);
    ASSERT_EQ(copy.poses.size(), 64u);
    double sum = 0.0;
    for (size_t i = 0; i < 64; ++i) sum += static_cast<double>(refPoseDistance(copy.poses[i], b.poses[i])) * refPoseDistance(copy.poses[i], b.poses[i]);
    const double expected = std::sqrt(sum) / 64.0;
    EXPECT_NEAR(measure(a, b, SimilarityMeasure::EUCLIDEAN), expected, 1e-3 * expected);
    // The candidate itself is not changed.
    EXPECT_EQ(a.poses.size(), 90u);
}

TEST(PearsonEdgeCases, TheThreeFormsFollowTheWrittenSums) {
    for (float seed : {0.5f, 1.7f, 3.1f}) {
        const Gesture a = wander(64, seed);
        const Gesture b = wander(64, seed + 0.4f);
        const float plain = measure(a, b, SimilarityMeasure::PEARSON_CORRELATION);
        const double expectPlain = refPearson(a, b, RefPearson::PLAIN);
        EXPECT_NEAR(plain, expectPlain, 1e-3 * std::max(1.0, std::fabs(expectPlain))) << seed;
        const double expectSquared = refPearson(a, b, RefPearson::SQUARED);
        EXPECT_NEAR(measure(a, b, SimilarityMeasure::PEARSON_CORRELATION_SQUARED), expectSquared,
                    1e-3 * std::max(1.0, expectSquared)) << seed;

        // MODIFIED_PEARSON takes the trained set's pooled class variances in place of b's own.
        GestureSet set;
        set.type = GestureType::BOTH;
        set.gestures = {b, wander(64, seed + 0.9f)};
        computeClassVariances(set);
        std::vector<ArmPose> pooled = set.gestures[0].poses;
        pooled.insert(pooled.end(), set.gestures[1].poses.begin(), set.gestures[1].poses.end());
        const Moments classMoments = refMoments(pooled);
        for (int f = 0; f < 8; ++f)
            EXPECT_NEAR(set.classVariances[static_cast<size_t>(f)], classMoments.variance[f], 1e-3 * classMoments.variance[f] + 1e-3);
        const double expectModified = refPearson(a, b, RefPearson::CLASS, classMoments.variance);
        EXPECT_NEAR(measure(a, b, SimilarityMeasure::MODIFIED_PEARSON, {set}, 0), expectModified,
                    1e-3 * std::max(1.0, std::fabs(expectModified))) << seed;
    }
}

TEST(PearsonEdgeCases, AFeatureHeldAtAnyValueHasVarianceZero) {
    // Held at a value that floats cannot square and average exactly: the variance is still 0
    // (not a rounding residue, which could be negative and give NaN through the square root).
    for (float held : {155.3f, 17.77f, 90.01f, 123.456f}) {
        Gesture a = wander(64, 0.8f);
        Gesture b = wander(64, 1.3f);
        for (ArmPose& p : a.poses) p[POSE_ELBOW_RIGHT] = held;
        const FeatureVector variance = featureVariance(a);
        EXPECT_EQ(variance[4], 0.0f) << held;
        GestureSet set;
        set.gestures = {a, a};
        EXPECT_EQ(pooledVariance(set)[4], 0.0f) << held;
        for (SimilarityMeasure m : {SimilarityMeasure::PEARSON_CORRELATION, SimilarityMeasure::PEARSON_CORRELATION_SQUARED}) {
            const float d = measure(a, b, m);
            ASSERT_TRUE(std::isfinite(d)) << held << " " << similarityMeasureName(m);
            const double expected = refPearson(a, b, m == SimilarityMeasure::PEARSON_CORRELATION ? RefPearson::PLAIN : RefPearson::SQUARED);
            EXPECT_NEAR(d, expected, 1e-3 * std::max(1.0, std::fabs(expected))) << held << " " << similarityMeasureName(m);
        }
        // The trained side held too: the class variance is 0, replaced by 0.0001.
        GestureSet trained;
        trained.gestures = {a};
        computeClassVariances(trained);
        EXPECT_EQ(trained.classVariances[4], 0.0f);
        const double classVar[8] = {refMoments(a.poses).variance[0], refMoments(a.poses).variance[1],
                                    refMoments(a.poses).variance[2], refMoments(a.poses).variance[3], 0.0,
                                    refMoments(a.poses).variance[5], refMoments(a.poses).variance[6],
                                    refMoments(a.poses).variance[7]};
        const float d = measure(b, a, SimilarityMeasure::MODIFIED_PEARSON, {trained}, 0);
        ASSERT_TRUE(std::isfinite(d)) << held;
        const double expected = refPearson(b, a, RefPearson::CLASS, classVar);
        EXPECT_NEAR(d, expected, 1e-3 * std::max(1.0, std::fabs(expected))) << held;
    }
}

TEST(FmEdgeCases, FmAndModifiedFmFollowTheDensityFormula) {
    const Gesture a = wander(40, 0.6f);
    const Gesture b = wander(55, 2.2f);
    const std::vector<double> fa = refFm(a);
    const std::vector<double> fb = refFm(b);
    double sum = 0.0;
    for (int f = 0; f < 8; ++f) sum += (fa[f] - fb[f]) * (fa[f] - fb[f]);
    EXPECT_NEAR(measure(a, b, SimilarityMeasure::FM), std::sqrt(sum), 1e-4 * std::sqrt(sum));

    GestureSetList sets(3);
    for (int k = 0; k < 3; ++k) {
        sets[0].gestures.push_back(wander(40, 0.5f + 0.1f * static_cast<float>(k)));
        sets[1].gestures.push_back(wander(45, 2.0f + 0.2f * static_cast<float>(k)));
    }
    sets[2].gestures.push_back(wander(30, 4.0f));
    for (size_t s = 0; s < sets.size(); ++s) {
        const double expected = refModifiedFm(a, s, sets);
        const float got = measure(a, sets[s].gestures[0], SimilarityMeasure::MODIFIED_FM, sets, static_cast<int>(s));
        EXPECT_NEAR(got, expected, 1e-3 * std::fabs(expected)) << "set " << s;
        EXPECT_FLOAT_EQ(modifiedFmScore(a, static_cast<int>(s), sets), got);
    }
}

TEST(SimilarityMeasureSetting, DefaultsOverridesAndValuesOutsideTheTable) {
    GestureRecognizer r;
    EXPECT_EQ(r.similarityMeasure, SimilarityMeasure::DTW);
    EXPECT_FLOAT_EQ(r.gestureRecognitionThreshold, 35.0f);
    const float defaults[] = {25, 0.5f, 0.5f, 2.4f, 0.5f, 35, 30, 1, 1e7f};
    for (int i = 0; i < 9; ++i) {
        r.setSimilarityMeasure(static_cast<SimilarityMeasure>(i), -1.0f);
        EXPECT_EQ(r.similarityMeasure, static_cast<SimilarityMeasure>(i));
        EXPECT_FLOAT_EQ(r.gestureRecognitionThreshold, defaults[i]) << i;
        r.setSimilarityMeasure(static_cast<SimilarityMeasure>(i), 0.0f);  // 0 is an explicit threshold
        EXPECT_FLOAT_EQ(r.gestureRecognitionThreshold, 0.0f) << i;
    }
    // Outside the table: stored; only an explicit threshold changes the threshold.
    r.setSimilarityMeasure(SimilarityMeasure::FM, -1.0f);
    r.setSimilarityMeasure(static_cast<SimilarityMeasure>(11), -1.0f);
    EXPECT_EQ(static_cast<int>(r.similarityMeasure), 11);
    EXPECT_FLOAT_EQ(r.gestureRecognitionThreshold, 1.0f);
    r.setSimilarityMeasure(static_cast<SimilarityMeasure>(11), 4.5f);
    EXPECT_FLOAT_EQ(r.gestureRecognitionThreshold, 4.5f);
    // A measure above 8 makes every sequence incomparable.
    const Gesture g = wander(30, 1.0f);
    EXPECT_FLOAT_EQ(measure(g, g, static_cast<SimilarityMeasure>(11)), 1e7f);
}
