// Training capture, the three ways of storing an example, removal and navigation.
#include <gtest/gtest.h>

#include <algorithm>

#include "recognizer_test_helpers.h"

using namespace gesture_test;

namespace {

// Rest, a right-arm swing, rest: what the training screen expects after a button press.
void stillMoveStill(Driver& d, const Gesture& g) {
    d.hold(restPose(), 20);
    d.perform(g);
    d.hold(restPose(), 15);
}

}  // namespace

TEST(TrainingCapture, StillMoveStillFoundsANewSet) {
    Driver d;
    d.hold(restPose(), 60);
    d.drain();
    d.recognizer.requestTraining(true, false);
    EXPECT_TRUE(d.recognizer.trainingPending);
    EXPECT_TRUE(d.recognizer.marksSnapshot().empty());
    EXPECT_TRUE(d.recognizer.historyRecord(0).marked);
    stillMoveStill(d, rightSwing(35));
    EXPECT_FALSE(d.recognizer.trainingPending);
    EXPECT_EQ(d.drain(), (std::vector<std::string>{"NEW_GESTURE_SET", "GESTURE_TRAINED"}));
    ASSERT_EQ(d.recognizer.setCount(), 1);
    const GestureSet& set = d.recognizer.TrainedGestureSets[0];
    EXPECT_EQ(set.type, GestureType::RIGHT);
    ASSERT_EQ(set.gestures.size(), 1u);
    const Gesture& g = set.gestures[0];
    // DTW keeps the captured length: from the end of the rest before to the last fast frame.
    EXPECT_GT(g.poses.size(), 20u);
    EXPECT_LT(g.poses.size(), 45u);
    EXPECT_EQ(g.skeletons.size(), g.poses.size());
    for (const ArmPose& p : g.poses) EXPECT_FLOAT_EQ(p[POSE_ELBOW_LEFT], 0.0f);  // left arm cleared
    EXPECT_NE(d.output().find("Successfully created a new RIGHT gesture set!\n"), std::string::npos);
    EXPECT_EQ(d.recognizer.currentSetIndex, 0);
    EXPECT_EQ(d.recognizer.currentGestureIndex, 0);
}

TEST(TrainingCapture, WaitsWhileRecognitionIsHeldOffAndWhileTheUserKeepsMoving) {
    Driver d;
    d.recognizer.requestTraining(true, false);
    // During the countdown the frame loop holds recognition off: nothing can be captured.
    d.hold(restPose(), 20, false);
    d.perform(rightSwing(35), false);
    d.hold(restPose(), 15, false);
    EXPECT_TRUE(d.recognizer.trainingPending);
    EXPECT_TRUE(d.drain().empty());  // no DEFAULT_GESTURE while a capture is armed either
    // A user who never rests is never captured.
    ArmPose p = restPose();
    float step = 8.0f;
    for (int i = 0; i < 400; ++i) {
        p[POSE_ELEVATION_RIGHT] += step;
        if (p[POSE_ELEVATION_RIGHT] > 150.0f || p[POSE_ELEVATION_RIGHT] < 20.0f) step = -step;
        d.frame(p);
    }
    EXPECT_TRUE(d.recognizer.trainingPending);
    EXPECT_EQ(d.recognizer.setCount(), 0);
    EXPECT_TRUE(d.drain().empty());
}

TEST(TrainingCapture, AHeldPoseBecomesASinglePoseGestureAndRestTrainsNothing) {
    Driver d;
    d.recognizer.requestTraining(true, false);
    d.hold(restPose(), 200);  // the rest pose is the default gesture: nothing is stored
    EXPECT_TRUE(d.recognizer.trainingPending);
    EXPECT_EQ(d.recognizer.setCount(), 0);

    const ArmPose raised = anglePose({155, 100, 15, 90, 0, 20, 0, 0});
    // A record repeated exactly (a frozen stream) has no path to resample: nothing is stored.
    d.hold(raised, 200);
    EXPECT_TRUE(d.recognizer.trainingPending);
    EXPECT_EQ(d.recognizer.setCount(), 0);
    // Held by a person, with the tracker's jitter, it is a held pose.
    Jitter jitter;
    jitter.amplitude = 0.3f;
    for (int i = 0; i < 200; ++i) d.frame(jitter(raised));
    EXPECT_FALSE(d.recognizer.trainingPending);
    ASSERT_EQ(d.recognizer.setCount(), 1);
    const Gesture& g = d.recognizer.TrainedGestureSets[0].gestures[0];
    EXPECT_EQ(g.type, GestureType::RIGHT);
    ASSERT_EQ(g.poses.size(), 1u);
    EXPECT_NEAR(g.poses[0][POSE_ELEVATION_RIGHT], 90.0f, 0.1f);
    EXPECT_FLOAT_EQ(g.poses[0][POSE_ELBOW_LEFT], 0.0f);
    EXPECT_EQ(g.skeletons.size(), 91u);
}

TEST(TrainingCapture, AddReplaceAndTypeMismatch) {
    Driver d;
    d.recognizer.requestTraining(true, false);
    stillMoveStill(d, rightSwing(35));
    d.drain();
    d.recognizer.requestTraining(false, false);
    stillMoveStill(d, rightSwing(30, 50.0f));
    EXPECT_EQ(d.drain(), std::vector<std::string>{"GESTURE_TRAINED"});
    EXPECT_EQ(d.recognizer.gestureCount(), 2);
    EXPECT_EQ(d.recognizer.currentGestureIndex, 1);
    EXPECT_NE(d.output().find("Successfully trained a gesture!\n"), std::string::npos);

    d.recognizer.currentGestureIndex = 0;
    const size_t oldLength = d.recognizer.TrainedGestureSets[0].gestures[0].poses.size();
    d.recognizer.requestTraining(false, true);
    stillMoveStill(d, rightSwing(50, 90.0f));
    EXPECT_EQ(d.drain(), std::vector<std::string>{"GESTURE_TRAINED"});
    EXPECT_EQ(d.recognizer.gestureCount(), 2);
    EXPECT_NE(d.recognizer.TrainedGestureSets[0].gestures[0].poses.size(), oldLength);
    EXPECT_NE(d.output().find("Successfully replaced a gesture!\n"), std::string::npos);

    // A left-arm gesture offered to the RIGHT set is refused and the set stays as it was.
    d.recognizer.requestTraining(false, false);
    stillMoveStill(d, rightSwing(35, 60.0f, POSE_ELEVATION_LEFT));
    EXPECT_EQ(d.drain(), std::vector<std::string>{"GESTURE_NOT_TRAINED"});
    EXPECT_FALSE(d.recognizer.trainingPending);
    EXPECT_EQ(d.recognizer.gestureCount(), 2);
    EXPECT_EQ(d.recognizer.setCount(), 1);
}

TEST(TrainingCapture, EqualLengthMeasuresStoreResampledExamplesAndStatistics) {
    Driver d;
    d.recognizer.setSimilarityMeasure(SimilarityMeasure::MODIFIED_PEARSON);
    EXPECT_FLOAT_EQ(d.recognizer.gestureRecognitionThreshold, 0.5f);
    d.recognizer.requestTraining(true, false);
    stillMoveStill(d, rightSwing(35));
    ASSERT_EQ(d.recognizer.setCount(), 1);
    EXPECT_EQ(d.recognizer.TrainedGestureSets[0].gestures[0].poses.size(), 64u);
    EXPECT_EQ(d.recognizer.TrainedGestureSets[0].classVariances.size(), 8u);
    EXPECT_GT(d.recognizer.TrainedGestureSets[0].classVariances[4 + 1], 20.0f);  // right elevation

    // A held pose stays a single pose, so that holding it again is recognised: a held pose is
    // classified as one pose, and one pose against 64 copies of it would never match.
    Driver e;
    e.recognizer.setSimilarityMeasure(SimilarityMeasure::EUCLIDEAN, 7.0f);
    EXPECT_FLOAT_EQ(e.recognizer.gestureRecognitionThreshold, 7.0f);
    e.recognizer.requestTraining(true, false);
    Jitter jitter;
    jitter.amplitude = 0.3f;
    const ArmPose raised = anglePose({155, 100, 15, 90, 0, 20, 0, 0});
    for (int i = 0; i < 200; ++i) e.frame(jitter(raised));
    ASSERT_EQ(e.recognizer.setCount(), 1);
    EXPECT_EQ(e.recognizer.TrainedGestureSets[0].gestures[0].poses.size(), 1u);
    e.drain();
    e.recognizer.numberOfNeighbours = 1;  // one example is enough to decide
    e.hold(restPose(), 60);
    e.drain();
    for (int i = 0; i < 200; ++i) e.frame(jitter(raised));
    const std::vector<std::string> results = e.drain();
    EXPECT_NE(std::find(results.begin(), results.end(), "0"), results.end()) << "the held pose is recognised";
    // Adding to a set that does not exist is refused instead of failing.
    Driver f;
    f.recognizer.requestTraining(false, false);
    stillMoveStill(f, rightSwing(35));
    EXPECT_EQ(f.drain(), std::vector<std::string>{"GESTURE_NOT_TRAINED"});
}

TEST(SetEditing, RemovalAndWrapping) {
    GestureRecognizer r;
    EXPECT_EQ(r.removeCurrentSet(), -1);
    EXPECT_EQ(r.removeCurrentGesture(), -1);
    r.previousSet();  // no sets: nothing happens
    EXPECT_EQ(r.currentSetIndex, 0);
    for (int s = 0; s < 3; ++s) r.TrainedGestureSets.push_back(setOf(trainedRightSwing(30 + s), 3));

    r.currentGestureIndex = 2;
    r.previousSet();
    EXPECT_EQ(r.currentSetIndex, 2);
    EXPECT_EQ(r.currentGestureIndex, 0);
    r.nextSet();
    EXPECT_EQ(r.currentSetIndex, 0);
    r.previousGesture();
    EXPECT_EQ(r.currentGestureIndex, 2);
    r.nextGesture();
    EXPECT_EQ(r.currentGestureIndex, 0);

    // Removing gesture 0 of 3 selects the previous one, wrapping to the new last.
    EXPECT_EQ(r.removeCurrentGesture(), 1);
    EXPECT_EQ(r.gestureCount(), 2);
    // Removing set 0 of 3 selects the previous set, wrapping to the last.
    EXPECT_EQ(r.removeCurrentSet(), 1);
    EXPECT_EQ(r.setCount(), 2);
    EXPECT_EQ(r.TrainedGestureSets[0].gestures[0].poses.size(), 31u);
    // Emptying a set removes it.
    r.currentSetIndex = 1;
    EXPECT_EQ(r.removeCurrentGesture(), 1);
    EXPECT_EQ(r.removeCurrentGesture(), 0);
    EXPECT_EQ(r.removeCurrentGesture(), 0);  // set 1 gone, back to set 0
    EXPECT_EQ(r.setCount(), 1);
    EXPECT_EQ(r.currentSetIndex, 0);
    // The only gesture of the only set: no sets remain.
    r.TrainedGestureSets[0].gestures.resize(1);
    EXPECT_EQ(r.removeCurrentGesture(), -1);
    EXPECT_EQ(r.setCount(), 0);
    EXPECT_EQ(r.currentSetType(), GestureType::UNDEFINED);
}

TEST(SetEditing, ChangingSetsWhileWorkersRunIsSafe) {
    // Free-running frames start workers back to back; removal and loading wait for them.
    Driver d;
    d.deterministic = false;
    Jitter jitter;
    for (int s = 0; s < 4; ++s) d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(30 + 5 * s), 3));
    for (int i = 0; i < 300; ++i) {
        d.frame(jitter(i % 60 < 30 ? rightSwing(30).poses[static_cast<size_t>(i % 30)] : restPose()));
        if (i % 50 == 10) d.recognizer.removeCurrentGesture();
        if (i % 70 == 20) d.recognizer.nextSet();
        if (i % 90 == 30) d.recognizer.setSimilarityMeasure(SimilarityMeasure::MODIFIED_DTW);
        if (i % 40 == 0) d.drain();
    }
    d.recognizer.waitForWorker();
    EXPECT_FALSE(d.recognizer.workerBusy());
    int gestures = 0;
    for (const GestureSet& set : d.recognizer.TrainedGestureSets) gestures += static_cast<int>(set.gestures.size());
    EXPECT_EQ(gestures, 12 - 6);
}
