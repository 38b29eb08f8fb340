// Typing, k-nearest-neighbour classification and the worker's choice among candidates.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "recognizer_test_helpers.h"

using namespace gesture_test;

namespace {

// History: rest, then the gesture, then rest. Returns the frame numbers of the gesture's first
// and last frames.
std::pair<int32_t, int32_t> performBetweenRests(Driver& d, const Gesture& g, int restFrames = 15) {
    d.hold(restPose(), restFrames);
    const int32_t first = d.recognizer.historyRecord(HISTORY_LENGTH - 1).frameNumber + 1;
    d.perform(g);
    const int32_t last = d.recognizer.historyRecord(HISTORY_LENGTH - 1).frameNumber;
    d.hold(restPose(), restFrames);
    return {first, last};
}

ClassifierSettings windowOf(const Driver& d, int marks) {
    ClassifierSettings s;
    s.numberOfNeighbours = d.recognizer.numberOfNeighbours;
    s.maxMovingWindowSize = marks;
    return s;
}

}  // namespace

TEST(ClassifyGesture, NeedsAsManyNeighboursAsConfigured) {
    GestureRecognizer r;
    const Gesture trained = trainedRightSwing(30);
    r.TrainedGestureSets.push_back(setOf(trained, 2));
    Gesture candidate = trainedRightSwing(32);
    EXPECT_EQ(r.classifyGesture(candidate).classIndex, NO_CLASS);
    EXPECT_FLOAT_EQ(r.classifyGesture(candidate).points, -1.0f);
    r.TrainedGestureSets[0].gestures.push_back(trained);
    const RecognitionResult result = r.classifyGesture(candidate);
    EXPECT_EQ(result.classIndex, 0);
    EXPECT_GT(result.points, 0.0f);
    // Neighbours must lie under the threshold.
    r.gestureRecognitionThreshold = 0.001f;
    EXPECT_EQ(r.classifyGesture(candidate).classIndex, NO_CLASS);
}

TEST(ClassifyGesture, TheTypeMustMatchTheSetsType) {
    GestureRecognizer r;
    r.numberOfNeighbours = 1;
    Gesture asBoth = trainedRightSwing(30);
    asBoth.type = GestureType::BOTH;
    r.TrainedGestureSets.push_back(setOf(asBoth, 1));                 // class 0: BOTH
    r.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 1));  // class 1: RIGHT
    EXPECT_EQ(r.classifyGesture(trainedRightSwing(30)).classIndex, 1);
    Gesture left = trainedRightSwing(30);
    left.type = GestureType::LEFT;
    EXPECT_EQ(r.classifyGesture(left).classIndex, NO_CLASS);
}

TEST(ClassifyGesture, ScoresSumInverseDistancesOfTheNearest) {
    GestureRecognizer r;
    r.numberOfNeighbours = 3;
    // Class 0 holds one very close example, class 1 two that are a little further away:
    // 1/d0 must beat 2/d1 for class 0 to win.
    const Gesture candidate = trainedRightSwing(30, 60.0f);
    r.TrainedGestureSets.push_back(setOf(trainedRightSwing(30, 61.0f), 1));
    r.TrainedGestureSets.push_back(setOf(trainedRightSwing(30, 66.0f), 2));
    RecognitionResult result = r.classifyGesture(candidate);
    SimilarityScratch scratch;
    const float d0 = gestureDistance(candidate, r.TrainedGestureSets[0].gestures[0], 0, SimilarityMeasure::DTW,
                                     r.TrainedGestureSets, scratch);
    const float d1 = gestureDistance(candidate, r.TrainedGestureSets[1].gestures[0], 1, SimilarityMeasure::DTW,
                                     r.TrainedGestureSets, scratch);
    ASSERT_LT(d0, d1);
    const int expected = 1.0f / d0 > 2.0f / d1 ? 0 : 1;
    EXPECT_EQ(result.classIndex, expected);
    EXPECT_FLOAT_EQ(result.points, expected == 0 ? 1.0f / d0 : 2.0f / d1);
    // Equal scores: the set that appears first keeps the win.
    GestureRecognizer tie;
    tie.numberOfNeighbours = 2;
    tie.TrainedGestureSets.push_back(setOf(trainedRightSwing(30, 61.0f), 1));
    tie.TrainedGestureSets.push_back(setOf(trainedRightSwing(30, 61.0f), 1));
    EXPECT_EQ(tie.classifyGesture(candidate).classIndex, 0);
}

TEST(ClassifyGesture, SinglePosesUseThePoseThresholdAndModifiedFmTakesTheLastClass) {
    GestureRecognizer r;
    r.numberOfNeighbours = 1;
    Gesture pose;
    pose.type = GestureType::RIGHT;
    pose.poses.push_back(anglePose({0, 90, 0, 100, 0, 0, 0, 0}));
    r.TrainedGestureSets.push_back(setOf(pose, 1));
    Gesture near = pose;
    near.poses[0][POSE_ELEVATION_RIGHT] += 15.0f;  // within 20
    EXPECT_EQ(r.classifyGesture(near).classIndex, 0);
    near.poses[0][POSE_ELEVATION_RIGHT] += 10.0f;  // 25: outside
    EXPECT_EQ(r.classifyGesture(near).classIndex, NO_CLASS);

    GestureRecognizer fm;
    fm.setSimilarityMeasure(SimilarityMeasure::MODIFIED_FM);
    for (int c = 0; c < 2; ++c) {
        GestureSet set;
        set.type = GestureType::RIGHT;
        for (int k = 0; k < 3; ++k) set.gestures.push_back(trainedRightSwing(30, 20.0f + 40.0f * c + k));
        fm.TrainedGestureSets.push_back(set);
    }
    // Both sets accept it under the huge threshold; the last acceptable one wins.
    const RecognitionResult result = fm.classifyGesture(trainedRightSwing(30, 61.0f));
    EXPECT_EQ(result.classIndex, 1);
    EXPECT_FLOAT_EQ(result.points, 1e-7f);
}

TEST(ClassifyInterval, TypesByWhichArmMoved) {
    Driver d;
    d.recognizer.maxMovingWindowSize = 100;
    d.recognizer.numberOfNeighbours = 1;
    d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 1));
    const auto [first, last] = performBetweenRests(d, rightSwing(30));
    RecognitionInterval interval{first, last, 30};
    RecognitionResult result = d.recognizer.classifyInterval(interval);
    EXPECT_EQ(result.classIndex, 0);
    EXPECT_EQ(result.start, first);
    EXPECT_EQ(result.length, 30);
    // The same movement with the left arm is typed LEFT and matches no RIGHT set.
    Driver e;
    e.recognizer.maxMovingWindowSize = 100;
    e.recognizer.numberOfNeighbours = 1;
    e.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 1));
    const auto [lf, ll] = performBetweenRests(e, rightSwing(30, 60.0f, POSE_ELEVATION_LEFT));
    EXPECT_EQ(e.recognizer.classifyInterval({lf, ll, 30}).classIndex, NO_CLASS);
    // A stretch of rest is the default gesture; one that left the history is nothing.
    EXPECT_EQ(d.recognizer.classifyInterval({last + 1, last + 14, 14}).classIndex, DEFAULT_GESTURE_CLASS);
    EXPECT_EQ(d.recognizer.classifyInterval({-5, 3, 9}).classIndex, NO_CLASS);
}

TEST(Worker, ReportsARepeatedClassOnceWithin2000Ms) {
    Driver d;
    d.recognizer.maxMovingWindowSize = 100;
    d.recognizer.numberOfNeighbours = 1;
    d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 1));
    const auto [first, last] = performBetweenRests(d, rightSwing(30));
    const std::deque<int32_t> marks{first, last};
    d.drain();
    d.recognizer.recognizeFromMarks(marks, windowOf(d, 2), 50000);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"0"});
    d.recognizer.recognizeFromMarks(marks, windowOf(d, 2), 51999);
    EXPECT_TRUE(d.drain().empty());
    d.recognizer.recognizeFromMarks(marks, windowOf(d, 2), 52000);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"0"});
    EXPECT_NE(d.output().find("gesture recognized as: 0, points: "), std::string::npos);
    EXPECT_NE(d.output().find("\n2000\n"), std::string::npos);
    // The frame loop reports a rest while a worker started at 54000 runs: the worker reports at
    // the newest frame's time, so its "0" comes no time after the rest, and the next repeat of
    // "0" waits 2000 ms from then, not from the worker's older frame.
    uint64_t framesAtStart = d.recognizer.framesSeen();
    d.nowMs = 54100;
    d.frame(restPose(), false);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"DEFAULT_GESTURE"});
    d.recognizer.recognizeFromMarks(marks, windowOf(d, 2), 54000, framesAtStart);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"0"});
    EXPECT_NE(d.output().find("\n0\n"), std::string::npos);
    d.recognizer.recognizeFromMarks(marks, windowOf(d, 2), 56099);
    EXPECT_TRUE(d.drain().empty());
    d.recognizer.recognizeFromMarks(marks, windowOf(d, 2), 56100);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"0"});
    // A worker started at 57000 that reports only after a frame at 58150 reports 2050 ms after
    // the last "0": a repeat. Timed by its start (900 ms) it would have been held back.
    framesAtStart = d.recognizer.framesSeen();
    d.nowMs = 58150;
    d.frame(anglePose({100, 155, 60, 15, 0, 0, 0, 0}), false);  // not at rest: nothing reported
    EXPECT_TRUE(d.drain().empty());
    d.recognizer.recognizeFromMarks(marks, windowOf(d, 2), 57000, framesAtStart);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"0"});
    EXPECT_NE(d.output().find("\n2050\n"), std::string::npos);
    // Fewer marks than the window: nothing at all.
    d.recognizer.recognizeFromMarks(marks, windowOf(d, 3), 60000);
    EXPECT_TRUE(d.drain().empty());
    EXPECT_FALSE(d.recognizer.workerBusy());
}

TEST(Worker, TheLongestRecognisedCandidateWins) {
    Driver d;
    d.recognizer.maxMovingWindowSize = 100;
    d.recognizer.numberOfNeighbours = 1;
    d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 1));
    d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(50, 60.0f, POSE_ADDUCTION_RIGHT), 1));
    const auto [a1, a2] = performBetweenRests(d, rightSwing(30));
    const auto [b1, b2] = performBetweenRests(d, rightSwing(50, 60.0f, POSE_ADDUCTION_RIGHT));
    EXPECT_EQ(d.recognizer.classifyInterval({a1, a2, a2 - a1 + 1}).classIndex, 0);
    EXPECT_EQ(d.recognizer.classifyInterval({b1, b2, b2 - b1 + 1}).classIndex, 1);
    d.drain();
    d.recognizer.recognizeFromMarks({a1, a2, b1, b2}, windowOf(d, 4), 90000);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"1"});
}

TEST(Worker, RecognisesAPerformedGestureThroughTheFrameLoop) {
    // Sensor jitter at rest keeps the speed near the high threshold, so marks come often enough
    // for the window to fill while the gesture is still the longest candidate.
    // Deterministic: each worker finishes before the next frame, as at 30 Hz. Free-running: frames
    // come far faster than workers finish, which exercises the locking (see the TSan build).
    for (bool deterministic : {true, false}) {
        Driver d;
        d.deterministic = deterministic;
        Jitter jitter;
        d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 3));
        d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(40, 70.0f, POSE_ADDUCTION_RIGHT), 3));
        for (int i = 0; i < 150; ++i) d.frame(jitter(restPose()));
        d.recognizer.waitForWorker();
        d.drain();
        for (const ArmPose& p : rightSwing(40, 70.0f, POSE_ADDUCTION_RIGHT).poses) d.frame(jitter(p));
        for (int i = 0; i < 60; ++i) d.frame(jitter(restPose()));
        d.recognizer.waitForWorker();
        std::vector<std::string> texts = d.drain();
        for (const std::string& t : texts) EXPECT_TRUE(t == "1" || t == "DEFAULT_GESTURE") << t;
        if (!deterministic) continue;
        EXPECT_NE(std::find(texts.begin(), texts.end(), "1"), texts.end());
        // Reported once although later windows still hold parts of it.
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "1"), 1);
    }
}
