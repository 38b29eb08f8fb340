// The similarity measures, the pose-sequence operations and the storing of trained examples,
// compared over many fixed-seed random gestures with an independent double-precision model
// (reference_similarity.h).
//
// Tolerance: the code works in single precision. A value is accepted when it is within
// 2e-4 of the model relative to the larger of |model| and the case's own scale, where the scale
// is the magnitude a float rounding error in that quantity is proportional to (for instance the
// largest angle of the inputs, times the speed ratio for the speed-weighted measures). Float
// carries about 6e-8 relative precision per operation; the longest chains here (64 x 64 DTW
// paths, resampling walks of up to 150 segments) accumulate a few hundred of those, so 2e-4
// leaves a margin of ten while a wrong constant, index or formula is off by far more.
// The Pearson measures are the exception: a feature that barely moves has deviations from its
// mean close to the rounding of the values themselves, so r is ill-conditioned there. For them
// the tolerance is widened to a bound propagated from two float ulps per value (plus the measured
// difference of the resampled candidates) through r, times four (pearsonRoundingBound).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/gesture/arm_pose.h"
#include "common/gesture/gesture.h"
#include "common/gesture/gesture_recognizer.h"
#include "common/gesture/similarity.h"
#include "reference_similarity.h"

namespace ref = similarity_reference;

namespace {

constexpr double RELATIVE_TOLERANCE = 2e-4;

ref::RefGesture toRef(const Gesture& g) {
    ref::RefGesture out;
    out.type = static_cast<int>(g.type);
    for (const ArmPose& p : g.poses) {
        ref::Pose q{};
        for (int v = 0; v < ARM_POSE_SIZE; ++v) q[v] = p[v];
        out.poses.push_back(q);
    }
    return out;
}

std::vector<ref::RefSet> toRef(const GestureSetList& sets) {
    std::vector<ref::RefSet> out;
    for (const GestureSet& s : sets) {
        ref::RefSet r;
        r.type = static_cast<int>(s.type);
        for (const Gesture& g : s.gestures) r.gestures.push_back(toRef(g));
        r.classVariances.assign(s.classVariances.begin(), s.classVariances.end());
        out.push_back(r);
    }
    return out;
}

// Collects mismatches and reports the first few, so a systematic fault does not flood the log.
struct Mismatches {
    int compared = 0;
    std::vector<std::string> lines;
    void check(double code, double model, double scale, const std::string& what, double roundingBound = 0.0) {
        ++compared;
        const double tolerance =
            std::max(RELATIVE_TOLERANCE * std::max({std::fabs(model), scale, 1e-6}), roundingBound);
        const bool same = (std::isnan(code) && std::isnan(model)) || std::fabs(code - model) <= tolerance;
        if (!same) {
            std::ostringstream line;
            line.precision(9);
            line << what << ": code " << code << ", model " << model;
            lines.push_back(line.str());
        }
    }
    void expectNone() const {
        std::string shown;
        for (std::size_t i = 0; i < lines.size() && i < 12; ++i) shown += "  " + lines[i] + "\n";
        EXPECT_TRUE(lines.empty()) << lines.size() << " of " << compared << " values differ:\n" << shown;
    }
};

double largestFeature(const Gesture& g) {
    double largest = 0.0;
    for (const ArmPose& p : g.poses)
        for (int v = 0; v < ARM_POSE_SIZE; ++v) largest = std::max(largest, static_cast<double>(std::fabs(p[v])));
    return largest;
}

struct Random {
    std::mt19937 engine;
    explicit Random(uint32_t seed) : engine(seed) {}
    double uniform(double lo, double hi) {
        return lo + (hi - lo) * (static_cast<double>(engine()) / 4294967296.0);
    }
    int integer(int lo, int hi) {  // inclusive
        return lo + static_cast<int>(engine() % static_cast<uint32_t>(hi - lo + 1));
    }
    bool chance(double p) { return uniform(0.0, 1.0) < p; }
};

// How a random gesture moves.
struct Shape {
    double reach = 180.0;   // angles start in [-reach, reach]
    double stepSize = 6.0;  // largest change of an angle between poses
    double holdChance = 0.25;  // chance that a feature is held at a non-integer value
};

Gesture randomGesture(Random& rnd, int length, const Shape& shape, GestureType type = GestureType::BOTH) {
    Gesture g;
    g.type = type;
    ArmPose p{};
    bool held[ARM_POSE_SIZE] = {};
    for (int v = 0; v < ARM_POSE_SIZE; ++v) {
        // Held values carry a fraction so that no computation is exact by luck.
        p[v] = static_cast<float>(rnd.uniform(-shape.reach, shape.reach) + 0.37);
        held[v] = rnd.chance(shape.holdChance);
    }
    // A gentle drift plus noise, so the path is neither straight nor a pure random walk.
    float drift[ARM_POSE_SIZE];
    for (float& d : drift) d = static_cast<float>(rnd.uniform(-0.5, 0.5) * shape.stepSize);
    for (int k = 0; k < length; ++k) {
        g.poses.push_back(p);
        for (int v = 0; v < ARM_POSE_SIZE; ++v) {
            if (held[v]) continue;
            p[v] += drift[v] + static_cast<float>(rnd.uniform(-0.5, 0.5) * shape.stepSize);
        }
    }
    return g;
}

int randomLength(Random& rnd) {
    static const int lengths[] = {1, 2, 3, 4, 7, 10, 11, 12, 20, 21, 22, 31, 33, 40, 50, 63, 64};
    return lengths[rnd.integer(0, static_cast<int>(sizeof(lengths) / sizeof(lengths[0])) - 1)];
}

// Mostly the three arm types; now and then UNDEFINED, which single poses cannot be compared under.
GestureType randomType(Random& rnd) { return static_cast<GestureType>(rnd.chance(0.05) ? 3 : rnd.integer(0, 2)); }

Shape randomShape(Random& rnd) {
    Shape s;
    switch (rnd.integer(0, 4)) {
        case 0: s.stepSize = 0.5; break;
        case 1: s.stepSize = 3.0; break;
        case 2: s.stepSize = 12.0; break;
        case 3: s.reach = 4000.0; s.stepSize = 60.0; break;  // extreme but finite angles
        default: s.holdChance = 0.7; break;                   // mostly held features
    }
    return s;
}

// A partner for `a` under one of the relations the measures must handle.
Gesture partnerOf(Random& rnd, const Gesture& a) {
    Gesture b = a;
    b.type = randomType(rnd);
    switch (rnd.integer(0, 5)) {
        case 0:  // identical
            break;
        case 1: {  // one arm differs only
            const int arm = rnd.integer(0, 1);
            const float offset = static_cast<float>(rnd.uniform(-40.0, 40.0));
            for (std::size_t k = 0; k < b.poses.size(); ++k)
                for (int v = arm; v < ARM_ANGLE_COUNT; v += 2)
                    b.poses[k][v] += offset + static_cast<float>(k) * static_cast<float>(rnd.uniform(-2.0, 2.0));
            break;
        }
        case 2: {  // the same path at another speed
            if (a.poses.size() < 2) break;
            const int length = rnd.integer(2, 64);
            Gesture stretched;
            stretched.type = b.type;
            for (int k = 0; k < length; ++k) {
                const double t = static_cast<double>(k) * static_cast<double>(a.poses.size() - 1) / (length - 1);
                const std::size_t i = std::min(static_cast<std::size_t>(t), a.poses.size() - 2);
                const float f = static_cast<float>(t - static_cast<double>(i));
                ArmPose p{};
                for (int v = 0; v < ARM_POSE_SIZE; ++v) p[v] = a.poses[i][v] + f * (a.poses[i + 1][v] - a.poses[i][v]);
                stretched.poses.push_back(p);
            }
            b = stretched;
            break;
        }
        default:  // unrelated
            b = randomGesture(rnd, randomLength(rnd), randomShape(rnd), b.type);
            break;
    }
    return b;
}

// One to four sets of one to four gestures each. Some store class variances, some of them stale
// (computed before the last gesture joined, as after training under another measure): the stored
// values are what MODIFIED_PEARSON must read.
GestureSetList randomSets(Random& rnd, int length) {
    GestureSetList sets(static_cast<std::size_t>(rnd.integer(1, 4)));
    for (GestureSet& set : sets) {
        set.type = GestureType::BOTH;
        const Shape shape = randomShape(rnd);
        const int count = rnd.integer(1, 4);
        const bool stale = rnd.chance(0.3);
        for (int i = 0; i < count; ++i) {
            if (stale && i == count - 1 && i > 0) computeClassVariances(set);
            set.gestures.push_back(randomGesture(rnd, length, shape));
        }
        if (!stale && rnd.chance(0.5)) computeClassVariances(set);
    }
    return sets;
}

const SimilarityMeasure ALL_MEASURES[] = {
    SimilarityMeasure::EUCLIDEAN,    SimilarityMeasure::PEARSON_CORRELATION,
    SimilarityMeasure::PEARSON_CORRELATION_SQUARED, SimilarityMeasure::MODIFIED_EUCLIDEAN,
    SimilarityMeasure::MODIFIED_PEARSON, SimilarityMeasure::DTW,
    SimilarityMeasure::MODIFIED_DTW, SimilarityMeasure::FM,
    SimilarityMeasure::MODIFIED_FM};

// The scale a measure's float rounding is proportional to.
double measureScale(SimilarityMeasure m, const Gesture& a, const Gesture& b) {
    const double angles = std::max(largestFeature(a), largestFeature(b));
    switch (m) {
        case SimilarityMeasure::PEARSON_CORRELATION:
        case SimilarityMeasure::PEARSON_CORRELATION_SQUARED:
        case SimilarityMeasure::MODIFIED_PEARSON:
        case SimilarityMeasure::FM:
        case SimilarityMeasure::MODIFIED_FM:
            return 1.0;  // dimensionless
        case SimilarityMeasure::MODIFIED_EUCLIDEAN:
        case SimilarityMeasure::MODIFIED_DTW: {
            // The rounding of the distance is multiplied by the speed ratio too.
            const double ratio = ref::speedRatio(toRef(a), toRef(b));
            return angles * 1e-2 * std::max(1.0, ratio);
        }
        default:
            return angles * 1e-2;  // distances in degrees
    }
}

// The class variances MODIFIED_PEARSON reads for a set: stored, or pooled when never computed.
ref::Features classVarianceOf(const ref::RefSet& set) {
    ref::Features v{};
    if (set.classVariances.size() == FEATURE_COUNT) {
        std::copy(set.classVariances.begin(), set.classVariances.end(), v.begin());
        return v;
    }
    return ref::pooledVariance(set);
}

// A bound on how far float rounding can move a Pearson-family result. Each feature's r divides
// a covariance by the square root of two variances; when a feature barely moves, its deviations
// from the mean are close to the rounding of the values themselves and r is ill-conditioned. The
// bound propagates an input error per value (the float rounding of the values, plus the measured
// difference between the code's and the model's resampled candidate) through r.
double pearsonRoundingBound(const Gesture& a, const Gesture& b, SimilarityMeasure measure,
                            const ref::Features& classVar) {
    const bool pearsonFamily = measure == SimilarityMeasure::PEARSON_CORRELATION ||
                               measure == SimilarityMeasure::PEARSON_CORRELATION_SQUARED ||
                               measure == SimilarityMeasure::MODIFIED_PEARSON;
    if (!pearsonFamily || a.poses.size() < 2 || b.poses.size() < 2) return 0.0;
    ref::RefGesture modelA = toRef(a);
    Gesture codeA = a;
    if (a.poses.size() != b.poses.size()) {
        ref::resample(modelA, static_cast<int>(b.poses.size()));
        resampleGesture(codeA, static_cast<int>(b.poses.size()));
        if (codeA.poses.size() != modelA.poses.size() || modelA.poses.size() != b.poses.size()) return 0.0;
    }
    const ref::RefGesture rb = toRef(b);
    const double n = static_cast<double>(b.poses.size());
    const ref::Pose meanA = ref::meanPose(modelA), meanB = ref::meanPose(rb);
    const ref::Features varA = ref::variance(modelA), varB = ref::variance(rb);
    const double unit = std::ldexp(1.0, -23);  // two float ulps, relative
    double bound = 0.0;
    for (int f = 0; f < FEATURE_COUNT; ++f) {
        const int v = FEATURE_POSE_INDEX[f];
        // A held feature's deviations are exactly 0 in float too; only moving ones carry error.
        double deltaA = 0.0, deltaB = 0.0;
        bool heldA = true, heldB = true;
        for (std::size_t i = 0; i < b.poses.size(); ++i) {
            heldA = heldA && modelA.poses[i][v] == modelA.poses[0][v] && codeA.poses[i][v] == codeA.poses[0][v];
            heldB = heldB && rb.poses[i][v] == rb.poses[0][v];
            deltaA = std::max(deltaA, std::fabs(codeA.poses[i][v] - modelA.poses[i][v]) + unit * std::fabs(modelA.poses[i][v]));
            deltaB = std::max(deltaB, unit * std::fabs(rb.poses[i][v]));
        }
        if (heldA) deltaA = 0.0;
        if (heldB) deltaB = 0.0;
        double cov = 0.0, covError = 0.0, devA = 0.0, devB = 0.0;
        for (std::size_t i = 0; i < b.poses.size(); ++i) {
            const double da = modelA.poses[i][v] - meanA[v], db = rb.poses[i][v] - meanB[v];
            cov += da * db;
            covError += std::fabs(da) * deltaB + std::fabs(db) * deltaA + deltaA * deltaB;
            devA += std::fabs(da);
            devB += std::fabs(db);
        }
        const double vA = ref::orFloor(varA[f]);
        const double vB = ref::orFloor(measure == SimilarityMeasure::MODIFIED_PEARSON ? classVar[f] : varB[f]);
        const double vAError = 2.0 * devA * deltaA / n + deltaA * deltaA;
        const double vBError = (2.0 * devB * deltaB / n + deltaB * deltaB) +
                               (measure == SimilarityMeasure::MODIFIED_PEARSON ? unit * 64.0 * vB : 0.0);
        const double r = cov / std::sqrt(vA * vB);
        const double rError = covError / std::sqrt(vA * vB) + std::fabs(r) * (vAError / (2.0 * vA) + vBError / (2.0 * vB));
        bound += measure == SimilarityMeasure::PEARSON_CORRELATION_SQUARED ? 2.0 * std::fabs(1.0 - r) * rError + rError * rError
                                                                           : rError;
    }
    return 4.0 * bound / n;
}

std::string describe(int pair, SimilarityMeasure m, const Gesture& a, const Gesture& b) {
    std::ostringstream s;
    s << "pair " << pair << " " << similarityMeasureName(m) << " (" << a.poses.size() << " vs " << b.poses.size()
      << " poses, trained type " << gestureTypeName(b.type) << ")";
    return s.str();
}

void comparePoses(Mismatches& out, const std::vector<ArmPose>& code, const std::vector<ref::Pose>& model,
                  double scale, const std::string& what) {
    if (code.size() != model.size()) {
        out.lines.push_back(what + ": code has " + std::to_string(code.size()) + " poses, model " +
                            std::to_string(model.size()));
        ++out.compared;
        return;
    }
    for (std::size_t k = 0; k < code.size(); ++k)
        for (int v = 0; v < ARM_POSE_SIZE; ++v)
            out.check(code[k][v], model[k][v], scale, what + " pose " + std::to_string(k) + " value " + std::to_string(v));
}

}  // namespace

TEST(SimilarityReference, PoseOperationsAgreeWithTheModel) {
    Random rnd(20261208u);
    Mismatches m;
    for (int n = 0; n < 400; ++n) {
        const Gesture a = randomGesture(rnd, randomLength(rnd), randomShape(rnd));
        const Gesture b = partnerOf(rnd, a);
        const ref::RefGesture ra = toRef(a), rb = toRef(b);
        const double scale = std::max(largestFeature(a), largestFeature(b)) * 1e-2;
        const std::string tag = "gesture " + std::to_string(n);
        for (int type = 0; type <= 4; ++type) {
            m.check(poseDistance(a.poses[0], b.poses[0], static_cast<GestureType>(type)),
                    ref::poseDistance(ra.poses[0], rb.poses[0], type), scale, tag + " poseDistance type " + std::to_string(type));
        }
        m.check(pathLength(a), ref::pathLength(ra), scale * static_cast<double>(a.poses.size()), tag + " pathLength");
        const ArmPose mean = meanPose(a);
        const ref::Pose refMean = ref::meanPose(ra);
        for (int v = 0; v < ARM_POSE_SIZE; ++v) m.check(mean[v], refMean[v], scale, tag + " mean value " + std::to_string(v));
        const FeatureVector var = featureVariance(a);
        const ref::Features refVar = ref::variance(ra);
        // A variance is a difference of squares: its rounding scales with the square of the angles.
        const double squareScale = scale * scale * 1e2;
        for (int f = 0; f < FEATURE_COUNT; ++f)
            m.check(var[f], refVar[f], squareScale, tag + " variance feature " + std::to_string(f));
        const FeatureVector fm = fmVector(a);
        const ref::Features refFm = ref::fmVector(ra);
        for (int f = 0; f < FEATURE_COUNT; ++f) m.check(fm[f], refFm[f], 1.0, tag + " fmVector feature " + std::to_string(f));
    }
    m.expectNone();
}

TEST(SimilarityReference, HeldFeaturesHaveNoVariance) {
    // Values held at a fraction must not leave float rounding behind as variance: the Pearson
    // measures divide by its square root.
    Random rnd(7u);
    for (int n = 0; n < 200; ++n) {
        Shape shape;
        shape.holdChance = 1.0;
        shape.reach = n % 2 == 0 ? 180.0 : 4000.0;
        const Gesture g = randomGesture(rnd, rnd.integer(2, 64), shape);
        const FeatureVector var = featureVariance(g);
        for (int f = 0; f < FEATURE_COUNT; ++f) ASSERT_EQ(var[f], 0.0f) << "gesture " << n << " feature " << f;
    }
}

TEST(SimilarityReference, ResamplingAgreesWithTheModel) {
    Random rnd(99u);
    Mismatches m;
    const int targets[] = {2, 3, 16, 64, 65};
    for (int n = 0; n < 300; ++n) {
        const int length = n < 40 ? rnd.integer(1, 3) : rnd.integer(1, 150);
        Shape shape = randomShape(rnd);
        if (n % 25 == 0) shape.holdChance = 1.0;  // motionless: only the ends come back
        Gesture g = randomGesture(rnd, length, shape);
        ref::RefGesture rg = toRef(g);
        const int target = targets[rnd.integer(0, 4)];
        const double scale = largestFeature(g) * 1e-2;
        resampleGesture(g, target);
        ref::resample(rg, target);
        comparePoses(m, g.poses, rg.poses, scale,
                     "gesture " + std::to_string(n) + " (" + std::to_string(length) + " to " + std::to_string(target) + ")");
    }
    m.expectNone();
}

TEST(SimilarityReference, EveryMeasureAgreesWithTheModelOnRandomPairs) {
    Random rnd(31337u);
    Mismatches m;
    for (int pair = 0; pair < 500; ++pair) {
        const Gesture a = randomGesture(rnd, randomLength(rnd), randomShape(rnd));
        Gesture b = partnerOf(rnd, a);
        // The trained gesture belongs to a set of the list the set-based measures read.
        GestureSetList sets = randomSets(rnd, static_cast<int>(b.poses.size()));
        const int setIndex = rnd.integer(0, static_cast<int>(sets.size()) - 1);
        sets[static_cast<std::size_t>(setIndex)].gestures[0] = b;
        const ref::RefGesture ra = toRef(a), rb = toRef(b);
        const std::vector<ref::RefSet> refSets = toRef(sets);
        SimilarityScratch scratch;
        for (SimilarityMeasure measure : ALL_MEASURES) {
            const double code = gestureDistance(a, b, setIndex, measure, sets, scratch);
            const double model = ref::gestureDistance(ra, rb, setIndex, static_cast<int>(measure), refSets);
            if (measure == SimilarityMeasure::MODIFIED_FM && a.poses.size() > 1 && b.poses.size() > 1) {
                // 1 / sum: compare the sum, which is well conditioned where the ratio is not.
                m.check(1.0 / code, 1.0 / model, 1.0, describe(pair, measure, a, b) + " (reciprocal)");
            } else {
                m.check(code, model, measureScale(measure, a, b), describe(pair, measure, a, b),
                        pearsonRoundingBound(a, b, measure, classVarianceOf(refSets[static_cast<std::size_t>(setIndex)])));
            }
        }
        // Values beyond the table are not comparable (unless both are single poses).
        for (int beyond : {9, 12}) {
            const auto measure = static_cast<SimilarityMeasure>(beyond);
            m.check(gestureDistance(a, b, setIndex, measure, sets, scratch),
                    ref::gestureDistance(ra, rb, setIndex, beyond, refSets), measureScale(measure, a, b),
                    describe(pair, measure, a, b));
        }
    }
    m.expectNone();
}

TEST(SimilarityReference, DtwAgreesOnEveryLengthPairUpToTheMaximum) {
    // Every band width from 0 to 6 and every offset between the two lengths.
    Random rnd(5u);
    Mismatches m;
    SimilarityScratch scratch;
    for (int la = 2; la <= 64; la += 3) {
        for (int lb = 2; lb <= 64; lb += 5) {
            const Gesture a = randomGesture(rnd, la, randomShape(rnd));
            const Gesture b = randomGesture(rnd, lb, randomShape(rnd));
            const double scale = std::max(largestFeature(a), largestFeature(b)) * 1e-2;
            m.check(dtwDistance(a, b, scratch), ref::dtw(toRef(a), toRef(b)), scale,
                    "dtw " + std::to_string(la) + " vs " + std::to_string(lb));
        }
    }
    m.expectNone();
}

TEST(SimilarityReference, ModifiedFmScoreAndClassVariancesAgreeWithTheModel) {
    Random rnd(4242u);
    Mismatches m;
    for (int n = 0; n < 150; ++n) {
        const int length = rnd.integer(2, 64);
        GestureSetList sets = randomSets(rnd, length);
        const Gesture candidate = randomGesture(rnd, rnd.integer(1, 64), randomShape(rnd));
        const std::vector<ref::RefSet> refSets = toRef(sets);
        for (int s = 0; s < static_cast<int>(sets.size()); ++s) {
            const std::string tag = "case " + std::to_string(n) + " set " + std::to_string(s);
            const double code = modifiedFmScore(candidate, s, sets);
            const double model = ref::modifiedFm(toRef(candidate), s, refSets);
            m.check(1.0 / code, 1.0 / model, 1.0, tag + " MODIFIED_FM (reciprocal)");
            GestureSet fresh = sets[static_cast<std::size_t>(s)];
            computeClassVariances(fresh);
            ref::RefSet refFresh = refSets[static_cast<std::size_t>(s)];
            ref::computeClassVariances(refFresh);
            ASSERT_EQ(fresh.classVariances.size(), refFresh.classVariances.size());
            const double scale = std::pow(largestFeature(candidate) + 200.0, 2) * 1e-4;
            for (int f = 0; f < FEATURE_COUNT; ++f)
                m.check(fresh.classVariances[static_cast<std::size_t>(f)], refFresh.classVariances[static_cast<std::size_t>(f)],
                        std::max(scale, std::pow(largestFeature(fresh.gestures[0]), 2) * 1e-4),
                        tag + " class variance " + std::to_string(f));
        }
    }
    m.expectNone();
}

TEST(SimilarityReference, SelectingAMeasureSetsItsThreshold) {
    GestureRecognizer r;
    EXPECT_EQ(r.similarityMeasure, SimilarityMeasure::DTW);
    EXPECT_FLOAT_EQ(r.gestureRecognitionThreshold, 35.0f);
    float expected = 35.0f;
    for (int measure = -1; measure <= 10; ++measure) {
        for (float threshold : {-1.0f, 0.0f, 7.5f}) {
            r.setSimilarityMeasure(static_cast<SimilarityMeasure>(measure), threshold);
            if (ref::defaultThreshold(measure) >= 0.0) expected = static_cast<float>(ref::defaultThreshold(measure));
            if (threshold >= 0.0f) expected = threshold;
            EXPECT_EQ(static_cast<int>(r.similarityMeasure), measure);
            EXPECT_FLOAT_EQ(r.gestureRecognitionThreshold, expected) << "measure " << measure << " threshold " << threshold;
        }
    }
}

namespace {

// Arm poses of a recorded skeleton stream (time stamp, then 20 joints x y z w per line).
std::vector<ArmPose> posesOfStream(const std::string& path) {
    std::ifstream in(path);
    std::vector<ArmPose> poses;
    ArmPoseExtractor extractor;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        double time = 0.0;
        SkeletonRecord record;
        record.trackingState = SKELETON_TRACKED;
        fields >> time;
        bool complete = true;
        for (int j = 0; j < JOINT_COUNT; ++j) {
            Vector4& p = record.joints[j];
            if (!(fields >> p.x >> p.y >> p.z >> p.w)) complete = false;
        }
        if (!complete) continue;
        ArmPose pose{};
        extractArmPose(extractor, record, pose);
        poses.push_back(pose);
    }
    return poses;
}

}  // namespace

TEST(SimilarityReference, RecordedStreamsAgreeWithTheModel) {
    const char* files[] = {"tests/data/gestures/right_side_swing.csv", "tests/data/gestures/right_forward_swing.csv",
                           "tests/data/gestures/both_swings_noisy.csv", "tests/data/gestures/always_moving.csv",
                           "tests/data/gestures/rest_only.csv", "tests/data/streams/right_arm_forward.csv",
                           "tests/data/streams/right_arm_sideways.csv", "tests/data/streams/arms_down.csv"};
    // Gestures cut from every stream at several places and lengths, the first pose skipped
    // (it still carries the smoothing's start-up pull toward the origin).
    std::vector<Gesture> cuts;
    for (const char* file : files) {
        const std::vector<ArmPose> poses = posesOfStream(std::string(SOURCE_DIR) + "/" + file);
        ASSERT_GT(poses.size(), 80u) << file;
        for (std::size_t start : {5u, 30u, 60u}) {
            for (std::size_t length : {1u, 21u, 40u, 64u}) {
                if (start + length > poses.size()) continue;
                Gesture g;
                g.type = GestureType::BOTH;
                g.poses.assign(poses.begin() + static_cast<std::ptrdiff_t>(start),
                               poses.begin() + static_cast<std::ptrdiff_t>(start + length));
                cuts.push_back(g);
            }
        }
    }
    GestureSetList sets(3);
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        if (cuts[i].poses.size() > 1) sets[i % 3].gestures.push_back(cuts[i]);
    }
    for (GestureSet& s : sets) {
        s.type = GestureType::BOTH;
        computeClassVariances(s);
    }
    const std::vector<ref::RefSet> refSets = toRef(sets);
    std::vector<ref::Features> classVariances;
    for (const ref::RefSet& s : refSets) classVariances.push_back(classVarianceOf(s));
    std::vector<ref::RefGesture> refCuts;
    for (const Gesture& g : cuts) refCuts.push_back(toRef(g));
    Mismatches m;
    SimilarityScratch scratch;
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        for (std::size_t j = 0; j < cuts.size(); j += 7) {
            const Gesture& a = cuts[i];
            const Gesture& b = cuts[j];
            const int setIndex = static_cast<int>(j % 3);
            for (SimilarityMeasure measure : ALL_MEASURES) {
                const double code = gestureDistance(a, b, setIndex, measure, sets, scratch);
                const double model = ref::gestureDistance(refCuts[i], refCuts[j], setIndex, static_cast<int>(measure), refSets);
                const std::string tag = "cut " + std::to_string(i) + " vs " + std::to_string(j) + " " +
                                        similarityMeasureName(measure);
                if (measure == SimilarityMeasure::MODIFIED_FM && a.poses.size() > 1 && b.poses.size() > 1)
                    m.check(1.0 / code, 1.0 / model, 1.0, tag + " (reciprocal)");
                else
                    m.check(code, model, measureScale(measure, a, b), tag,
                            pearsonRoundingBound(a, b, measure, classVarianceOf(refSets[static_cast<std::size_t>(setIndex)])));
            }
        }
    }
    EXPECT_GT(m.compared, 5000);
    m.expectNone();
}

namespace {

// Feeds poses to a recogniser with recognition held off (no worker, no marks) and keeps the
// model's view of the 3-frame pose-window means that the history stores.
struct TrainingRig {
    GestureRecognizer recognizer;
    std::ostringstream console;
    ref::Trainer model;
    std::vector<ArmPose> fed;
    std::vector<ref::Pose> means;  // means[k] belongs to frame number k + 1
    uint32_t nowMs = 1000;

    explicit TrainingRig(SimilarityMeasure measure) {
        recognizer.console = &console;
        recognizer.setSimilarityMeasure(measure);
        model.measure = static_cast<int>(measure);
    }
    void feed(const ArmPose& p) {
        SkeletonRecord record;
        recognizer.processPose(record, p, false, nowMs);
        nowMs += 33;
        fed.push_back(p);
        ref::Pose mean{};
        for (std::size_t back = 0; back < 3 && back < fed.size(); ++back)
            for (int v = 0; v < ARM_POSE_SIZE; ++v) mean[v] += fed[fed.size() - 1 - back][v];
        for (double& v : mean) v /= 3.0;
        means.push_back(mean);
    }
    // Arms a capture in both and trains `length` frames starting `back` frames before the newest.
    void train(bool newSet, bool replace, int back, int length) {
        while (recognizer.hasResults()) recognizer.popResult();
        recognizer.requestTraining(newSet, replace);
        model.request(newSet, replace);
        model.results.clear();
        model.console.clear();
        console.str("");
        const int newest = static_cast<int>(fed.size());
        const int start = newest - back;
        RecognitionInterval interval;
        interval.start = start;
        interval.length = length;
        interval.end = start + length - 1;
        recognizer.classifyInterval(interval);
        model.train(std::vector<ref::Pose>(means.begin() + (start - 1), means.begin() + (start - 1 + length)));
    }
};

// One stretch of movement: each arm moves, is held away from rest, or is held near rest.
enum class ArmMotion { MOVING, HELD, REST };

void feedStretch(TrainingRig& rig, Random& rnd, int frames, ArmMotion left, ArmMotion right) {
    ArmPose base{};
    for (int v = 0; v < ARM_POSE_SIZE; ++v) base[v] = static_cast<float>(rnd.uniform(-90.0, 90.0) + 0.37);
    const ArmMotion motion[2] = {left, right};
    for (int arm = 0; arm < 2; ++arm) {
        if (motion[arm] == ArmMotion::REST) {
            // Within a few degrees of the rest reference: elbow 155, elevation 15, others 0.
            base[arm] = 155.0f + static_cast<float>(rnd.uniform(-3.0, 3.0));
            base[2 + arm] = 15.0f + static_cast<float>(rnd.uniform(-3.0, 3.0));
            base[4 + arm] = static_cast<float>(rnd.uniform(-3.0, 3.0));
            base[6 + arm] = static_cast<float>(rnd.uniform(-3.0, 3.0));
        } else {
            base[arm] = 60.3f;  // far from the rest pose's elbow
        }
    }
    double phase[ARM_POSE_SIZE];
    for (double& p : phase) p = rnd.uniform(0.0, 6.28);
    const double amplitude = rnd.uniform(30.0, 70.0);
    for (int k = 0; k < frames; ++k) {
        ArmPose p = base;
        for (int v = 0; v < ARM_POSE_SIZE; ++v) {
            const bool moving = v >= ARM_ANGLE_COUNT || motion[v % 2] == ArmMotion::MOVING;
            if (moving) p[v] += static_cast<float>(amplitude * std::sin(phase[v] + 0.15 * k));
        }
        rig.feed(p);
    }
}

void compareTraining(Mismatches& m, TrainingRig& rig, const std::string& tag) {
    GestureRecognizer& r = rig.recognizer;
    const ref::Trainer& model = rig.model;
    std::vector<std::string> results;
    while (r.hasResults()) results.push_back(r.popResult());
    const std::vector<std::string> expected(model.results.begin(), model.results.end());
    rig.model.results.clear();
    ++m.compared;
    if (results != expected) {
        std::string got, want;
        for (const std::string& s : results) got += s + " ";
        for (const std::string& s : expected) want += s + " ";
        m.lines.push_back(tag + ": results [" + got + "] model [" + want + "]");
    }
    ++m.compared;
    if (rig.console.str() != model.console)
        m.lines.push_back(tag + ": console \"" + rig.console.str() + "\" model \"" + model.console + "\"");
    rig.model.console.clear();
    ++m.compared;
    if (r.trainingPending != model.pending || r.currentSetIndex != model.currentSet ||
        r.currentGestureIndex != model.currentGesture || r.setCount() != static_cast<int>(model.sets.size())) {
        m.lines.push_back(tag + ": pending/set/gesture/sets " + std::to_string(r.trainingPending) + "/" +
                          std::to_string(r.currentSetIndex) + "/" + std::to_string(r.currentGestureIndex) + "/" +
                          std::to_string(r.setCount()) + " model " + std::to_string(model.pending) + "/" +
                          std::to_string(model.currentSet) + "/" + std::to_string(model.currentGesture) + "/" +
                          std::to_string(model.sets.size()));
        return;
    }
    for (std::size_t s = 0; s < model.sets.size(); ++s) {
        const GestureSet& set = r.TrainedGestureSets[s];
        const ref::RefSet& refSet = model.sets[s];
        const std::string setTag = tag + " set " + std::to_string(s);
        ++m.compared;
        if (static_cast<int>(set.type) != refSet.type || set.gestures.size() != refSet.gestures.size() ||
            set.classVariances.size() != refSet.classVariances.size()) {
            m.lines.push_back(setTag + ": type/gestures/variances " + std::to_string(static_cast<int>(set.type)) + "/" +
                              std::to_string(set.gestures.size()) + "/" + std::to_string(set.classVariances.size()) +
                              " model " + std::to_string(refSet.type) + "/" + std::to_string(refSet.gestures.size()) +
                              "/" + std::to_string(refSet.classVariances.size()));
            continue;
        }
        for (std::size_t f = 0; f < set.classVariances.size(); ++f)
            m.check(set.classVariances[f], refSet.classVariances[f], 100.0, setTag + " class variance " + std::to_string(f));
        for (std::size_t g = 0; g < set.gestures.size(); ++g) {
            const std::string gestureTag = setTag + " gesture " + std::to_string(g);
            ++m.compared;
            if (static_cast<int>(set.gestures[g].type) != refSet.gestures[g].type)
                m.lines.push_back(gestureTag + ": type differs");
            comparePoses(m, set.gestures[g].poses, refSet.gestures[g].poses, 2.0, gestureTag);
        }
    }
}

}  // namespace

TEST(TrainingReference, RandomTrainingSessionsAgreeWithTheModel) {
    const ArmMotion motions[3] = {ArmMotion::MOVING, ArmMotion::HELD, ArmMotion::REST};
    Mismatches m;
    for (SimilarityMeasure measure : ALL_MEASURES) {
        Random rnd(1000u + static_cast<uint32_t>(measure));
        TrainingRig rig(measure);
        for (int step = 0; step < 14; ++step) {
            if (step > 0 && rnd.chance(0.2)) {
                // The settings panel may switch the measure between captures; class variances
                // are only refreshed while MODIFIED_PEARSON is selected.
                const SimilarityMeasure other = ALL_MEASURES[rnd.integer(0, SIMILARITY_MEASURE_COUNT - 1)];
                rig.recognizer.setSimilarityMeasure(other);
                rig.model.measure = static_cast<int>(other);
            }
            const ArmMotion left = motions[rnd.integer(0, 2)];
            ArmMotion right = motions[rnd.integer(0, 2)];
            if (left == ArmMotion::REST && right == ArmMotion::REST) right = ArmMotion::MOVING;  // rest trains nothing
            const int frames = rnd.integer(30, 140);
            feedStretch(rig, rnd, frames, left, right);
            // Start at least 2 frames into the stretch, so the pose window holds only its poses.
            const int length = rnd.integer(21, frames - 2);
            const int back = rnd.integer(length, frames - 2);
            const bool newSet = step == 0 || rnd.chance(0.25);
            const bool replace = !newSet && rnd.chance(0.4);
            if (replace && rnd.chance(0.5)) {
                // Step back one example first, wrapping to the last.
                rig.recognizer.previousGesture();
                const int count = static_cast<int>(rig.model.sets.at(static_cast<std::size_t>(rig.model.currentSet)).gestures.size());
                rig.model.currentGesture = (count + rig.model.currentGesture - 1) % count;
            }
            rig.train(newSet, replace, back, length);
            compareTraining(m, rig, std::string(similarityMeasureName(measure)) + " step " + std::to_string(step));
        }
    }
    EXPECT_GT(m.compared, 1000);
    m.expectNone();
}

TEST(TrainingReference, TheRestPoseTrainsNothingAndKeepsTheCaptureArmed) {
    for (SimilarityMeasure measure : {SimilarityMeasure::EUCLIDEAN, SimilarityMeasure::MODIFIED_PEARSON,
                                      SimilarityMeasure::DTW}) {
        Random rnd(77u);
        TrainingRig rig(measure);
        feedStretch(rig, rnd, 60, ArmMotion::MOVING, ArmMotion::HELD);
        rig.train(true, false, 50, 40);
        feedStretch(rig, rnd, 60, ArmMotion::REST, ArmMotion::REST);
        rig.train(false, false, 50, 40);
        Mismatches m;
        compareTraining(m, rig, similarityMeasureName(measure));
        m.expectNone();
        EXPECT_TRUE(rig.recognizer.trainingPending);
        EXPECT_EQ(rig.recognizer.TrainedGestureSets.at(0).gestures.size(), 1u);
    }
}
