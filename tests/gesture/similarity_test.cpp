// Pose-sequence operations and the nine similarity measures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "common/gesture/gesture.h"
#include "common/gesture/similarity.h"
#include "gesture_test_helpers.h"

using namespace gesture_test;

namespace {

float distance(const Gesture& a, const Gesture& b, SimilarityMeasure m, const GestureSetList& sets = {},
               int setIndex = 0) {
    SimilarityScratch scratch;
    return gestureDistance(a, b, setIndex, m, sets, scratch);
}

}  // namespace

TEST(PoseDistance, UsesOnlyTheArmOfTheType) {
    const ArmPose a = anglePose({0, 0, 0, 0, 0, 0, 0, 0});
    ArmPose b = anglePose({3, 100, 4, 100, 0, 100, 0, 100});
    EXPECT_FLOAT_EQ(poseDistance(a, b, GestureType::LEFT), 5.0f);
    EXPECT_FLOAT_EQ(poseDistance(a, b, GestureType::RIGHT), 200.0f);
    EXPECT_FLOAT_EQ(poseDistance(a, b, GestureType::BOTH), std::sqrt(25.0f + 40000.0f));
    EXPECT_FLOAT_EQ(poseDistance(a, b, GestureType::UNDEFINED), 1e9f);
    // The auxiliary wrist values (8..17) never count.
    b = a;
    b[12] = 50.0f;
    EXPECT_FLOAT_EQ(poseDistance(a, b, GestureType::BOTH), 0.0f);
}

TEST(GestureStatistics, PathMeanVarianceAndFmVector) {
    Gesture g = lineGesture(anglePose({0}), anglePose({30}), 4);  // elbow left 0, 10, 20, 30
    EXPECT_FLOAT_EQ(pathLength(g), 30.0f);
    EXPECT_FLOAT_EQ(meanPose(g)[0], 15.0f);
    const FeatureVector var = featureVariance(g);
    EXPECT_NEAR(var[0], 125.0f, 1e-3f);  // (0 + 100 + 400 + 900) / 4 - 225
    EXPECT_FLOAT_EQ(var[1], 0.0f);
    const FeatureVector fm = fmVector(g);
    EXPECT_NEAR(fm[0], std::log(1.0f + 300.0f / 4.0f), 1e-5f);
    EXPECT_FLOAT_EQ(fm[4], 0.0f);
    // Gestures without poses give zeros, not NaN.
    Gesture empty;
    EXPECT_FLOAT_EQ(pathLength(empty), 0.0f);
    EXPECT_FALSE(std::isnan(fmVector(empty)[0]));
    EXPECT_FALSE(std::isnan(featureVariance(empty)[0]));
    EXPECT_FALSE(std::isnan(meanPose(empty)[0]));
    EXPECT_STREQ(gestureTypeName(GestureType::RIGHT), "RIGHT");
    EXPECT_STREQ(gestureTypeName(static_cast<GestureType>(7)), "NO GESTURE TYPE");
}

TEST(ResampleGesture, TwoPosesBecomeEvenlySpacedPoints) {
    ArmPose a = anglePose({10, 20, 30, 40, 0, 0, 0, 0});
    ArmPose b = anglePose({73, 20, 30, 40, 0, 0, 0, 0});
    a[15] = 1.0f;  // auxiliary values are interpolated too
    b[15] = 64.0f;
    Gesture g = lineGesture(a, b, 2);
    resampleGesture(g, 64);
    ASSERT_EQ(g.poses.size(), 64u);
    EXPECT_EQ(g.poses.front(), a);
    EXPECT_EQ(g.poses.back(), b);
    for (int k = 0; k < 64; ++k) {
        EXPECT_NEAR(g.poses[k][0], 10.0f + k, 1e-3f) << k;
        EXPECT_NEAR(g.poses[k][15], 1.0f + k, 1e-3f) << k;
    }
}

TEST(ResampleGesture, DegenerateInputs) {
    // All poses equal: only the first and last remain, the caller sees the mismatch.
    Gesture still = lineGesture(restPose(), restPose(), 40);
    resampleGesture(still, 64);
    EXPECT_EQ(still.poses.size(), 2u);
    // One pose becomes n copies.
    Gesture one;
    one.poses.push_back(restPose());
    resampleGesture(one, 16);
    EXPECT_EQ(one.poses.size(), 16u);
    // A long uneven path keeps exactly n poses.
    Gesture swing = swingGesture(150, 90.0f);
    resampleGesture(swing, 64);
    EXPECT_EQ(swing.poses.size(), 64u);
    Gesture none;
    resampleGesture(none, 64);
    EXPECT_TRUE(none.poses.empty());
}

TEST(Dtw, IdenticalGesturesAreZeroAndTheBandLimitsWarping) {
    const Gesture g = swingGesture(40, 60.0f);
    EXPECT_FLOAT_EQ(distance(g, g, SimilarityMeasure::DTW), 0.0f);
    // Lengths 10 and 30: band 29 / 10 = 2 cannot bridge the difference of 20.
    const Gesture shortOne = swingGesture(10, 60.0f);
    const Gesture longOne = swingGesture(30, 60.0f);
    EXPECT_FLOAT_EQ(distance(shortOne, longOne, SimilarityMeasure::DTW), 1e7f / 10.0f);
    EXPECT_FLOAT_EQ(distance(longOne, shortOne, SimilarityMeasure::DTW), 1e7f / 10.0f);
    // Within the band a time-shifted copy is closer than an unrelated gesture.
    const Gesture shifted = swingGesture(42, 60.0f);
    const Gesture other = swingGesture(40, 60.0f, 2);
    EXPECT_LT(distance(shifted, g, SimilarityMeasure::DTW), distance(other, g, SimilarityMeasure::DTW));
}

TEST(Dtw, KnownAnswerOnAShortPair) {
    // A = 0, 10, 20; B = 0, 20 (elbow left). n = 2, m = 1, band 0:
    // cost(1,1) = 0 + |10 - 20| = 10; cost(2,1) is outside the band -> 1e7 / 2.
    Gesture a = lineGesture(anglePose({0}), anglePose({20}), 3);
    Gesture b = lineGesture(anglePose({0}), anglePose({20}), 2);
    EXPECT_FLOAT_EQ(distance(a, b, SimilarityMeasure::DTW), 1e7f / 2.0f);
    // Same lengths 11 and 11, band 1: a copy shifted by a constant 5 costs 10 * 5 / 11.
    Gesture c = lineGesture(anglePose({0}), anglePose({100}), 11);
    Gesture d = lineGesture(anglePose({5}), anglePose({105}), 11);
    EXPECT_NEAR(distance(c, d, SimilarityMeasure::DTW), 50.0f / 11.0f, 1e-4f);
}

TEST(Euclidean, ModifiedPenalisesSpeedAndGuardsMotionlessGestures) {
    const ArmPose from = anglePose({0, 0, 0, 0, 0, 0, 0, 0});
    const ArmPose to = anglePose({60, 0, 30, 0, 0, 0, 0, 0});
    ArmPose shiftedFrom = from;
    ArmPose shiftedTo = to;
    shiftedFrom[1] = shiftedTo[1] = 4.0f;  // same path, 4 degrees away
    const Gesture slow = lineGesture(from, to, 128);   // half the speed of `fast`
    const Gesture fast = lineGesture(shiftedFrom, shiftedTo, 64);
    const float plain = distance(slow, fast, SimilarityMeasure::EUCLIDEAN);
    EXPECT_NEAR(plain, std::sqrt(64.0f * 16.0f) / 64.0f, 1e-3f);
    EXPECT_NEAR(distance(slow, fast, SimilarityMeasure::MODIFIED_EUCLIDEAN), 2.0f * plain, 1e-3f);

    const Gesture still = lineGesture(from, from, 64);
    for (SimilarityMeasure m : {SimilarityMeasure::MODIFIED_EUCLIDEAN, SimilarityMeasure::MODIFIED_DTW}) {
        const float d = distance(still, fast, m);
        EXPECT_TRUE(std::isfinite(d)) << similarityMeasureName(m);
        EXPECT_FLOAT_EQ(d, NOT_COMPARABLE_DISTANCE) << similarityMeasureName(m);
        EXPECT_FLOAT_EQ(distance(fast, still, m), NOT_COMPARABLE_DISTANCE);
    }
}

TEST(Euclidean, SpeedPenaltyMultipliesBeforeDividing) {
    // Bent paths at different speeds: the modified measures are the plain distance times the
    // larger mean step, divided by the smaller, in that order (the other order rounds apart).
    for (int variant = 0; variant < 6; ++variant) {
        Gesture a, b;
        const int na = 64, nb = 40 + 7 * variant;
        for (int k = 0; k < na; ++k) {
            const float t = static_cast<float>(k) / (na - 1);
            a.poses.push_back(anglePose({40 * std::sin(3 * t), 10 * t, 25 * std::cos(2 * t + variant), 5, 0, 3 * t, 0, 0}));
        }
        for (int k = 0; k < nb; ++k) {
            const float t = static_cast<float>(k) / (nb - 1);
            b.poses.push_back(anglePose({37 * std::sin(3.1f * t), 12 * t, 24 * std::cos(2 * t + variant), 5, 1, 3 * t, 0, 0}));
        }
        const float ma = pathLength(a) / static_cast<float>(a.poses.size());
        const float mb = pathLength(b) / static_cast<float>(b.poses.size());
        const float e = distance(a, b, SimilarityMeasure::EUCLIDEAN);
        const float d = distance(a, b, SimilarityMeasure::DTW);
        EXPECT_EQ(distance(a, b, SimilarityMeasure::MODIFIED_EUCLIDEAN), e * std::max(ma, mb) / std::min(ma, mb)) << variant;
        EXPECT_EQ(distance(a, b, SimilarityMeasure::MODIFIED_DTW), d * std::max(ma, mb) / std::min(ma, mb)) << variant;
    }
}

TEST(Pearson, ConstantFeaturesUseASmallVarianceInsteadOfDividingByZero) {
    const Gesture a = swingGesture(64, 50.0f);  // only one feature moves
    for (SimilarityMeasure m : {SimilarityMeasure::PEARSON_CORRELATION, SimilarityMeasure::PEARSON_CORRELATION_SQUARED,
                                SimilarityMeasure::MODIFIED_PEARSON}) {
        GestureSet set;
        set.gestures.push_back(a);
        const float d = distance(a, a, m, {set});
        EXPECT_TRUE(std::isfinite(d)) << similarityMeasureName(m);
    }
    // Seven constant features give 1 - 0/0.0001 = 1 each; the moving one correlates perfectly:
    // r = cov / var where cov is the sum over 64 poses, i.e. 64 times the variance.
    const float d = distance(a, a, SimilarityMeasure::PEARSON_CORRELATION);
    EXPECT_NEAR(d, (7.0f + (1.0f - 64.0f)) / 64.0f, 1e-3f);
    // Candidates of another length are resampled to the trained length.
    const Gesture longer = swingGesture(100, 50.0f);
    EXPECT_TRUE(std::isfinite(distance(longer, a, SimilarityMeasure::PEARSON_CORRELATION)));
}

TEST(GestureDistance, SinglePosesAndIncomparableInputs) {
    Gesture poseA;
    poseA.poses.push_back(anglePose({10, 99, 10, 99, 10, 99, 10, 99}));
    Gesture poseB;
    poseB.type = GestureType::LEFT;
    poseB.poses.push_back(anglePose({13, 0, 14, 0, 10, 0, 10, 0}));
    // Single against single: pose distance with the trained gesture's type (left values only).
    EXPECT_FLOAT_EQ(distance(poseA, poseB, SimilarityMeasure::DTW), 5.0f);
    const Gesture seq = swingGesture(30, 40.0f);
    EXPECT_FLOAT_EQ(distance(poseA, seq, SimilarityMeasure::DTW), 1e7f);
    EXPECT_FLOAT_EQ(distance(seq, poseA, SimilarityMeasure::EUCLIDEAN), 1e7f);
    EXPECT_FLOAT_EQ(distance(seq, seq, static_cast<SimilarityMeasure>(9)), 1e7f);
    EXPECT_FLOAT_EQ(distance(Gesture{}, seq, SimilarityMeasure::DTW), 1e7f);
}

TEST(FmMeasures, FmIsAVectorDistanceAndModifiedFmPrefersTheOwnClass) {
    const Gesture a = swingGesture(40, 60.0f);
    EXPECT_FLOAT_EQ(distance(a, a, SimilarityMeasure::FM), 0.0f);
    EXPECT_GT(distance(a, swingGesture(40, 20.0f), SimilarityMeasure::FM), 0.0f);

    GestureSetList sets(2);
    for (int k = 0; k < 4; ++k) {
        sets[0].gestures.push_back(swingGesture(40, 60.0f + 2.0f * k));
        sets[1].gestures.push_back(swingGesture(40, 10.0f + 2.0f * k, 2));
    }
    const Gesture candidate = swingGesture(40, 63.0f);
    const float own = modifiedFmScore(candidate, 0, sets);
    const float other = modifiedFmScore(candidate, 1, sets);
    EXPECT_GT(own, 0.0f);
    EXPECT_TRUE(other < 0.0f || other > own) << own << " " << other;
    EXPECT_FLOAT_EQ(distance(candidate, sets[0].gestures[0], SimilarityMeasure::MODIFIED_FM, sets, 0), own);
    // With a single set there is no out-of-class sample: a finite score, no failure.
    GestureSetList alone(1, sets[0]);
    EXPECT_TRUE(std::isfinite(modifiedFmScore(candidate, 0, alone)));
}

TEST(SimilarityMeasureTable, NamesThresholdsAndParsing) {
    const float expected[] = {25, 0.5f, 0.5f, 2.4f, 0.5f, 35, 30, 1, 1e7f};
    // The names users type (gesturetool --measure) and read in its messages.
    const char* const names[] = {"EUCLIDEAN", "PEARSON_CORRELATION", "PEARSON_CORRELATION_SQUARED",
                                 "MODIFIED_EUCLIDEAN", "MODIFIED_PEARSON", "DTW", "MODIFIED_DTW", "FM",
                                 "MODIFIED_FM"};
    for (int i = 0; i < SIMILARITY_MEASURE_COUNT; ++i) {
        const auto m = static_cast<SimilarityMeasure>(i);
        EXPECT_FLOAT_EQ(measureDefaultThreshold(m), expected[i]);
        EXPECT_STREQ(similarityMeasureName(m), names[i]);
        SimilarityMeasure parsed = SimilarityMeasure::EUCLIDEAN;
        EXPECT_TRUE(parseSimilarityMeasure(similarityMeasureName(m), parsed));
        EXPECT_EQ(parsed, m);
    }
    SimilarityMeasure parsed = SimilarityMeasure::EUCLIDEAN;
    EXPECT_TRUE(parseSimilarityMeasure("modified_dtw", parsed));
    EXPECT_EQ(parsed, SimilarityMeasure::MODIFIED_DTW);
    EXPECT_FALSE(parseSimilarityMeasure("cosine", parsed));
    EXPECT_FLOAT_EQ(measureDefaultThreshold(static_cast<SimilarityMeasure>(12)), -1.0f);
}
