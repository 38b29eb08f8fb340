// Segmentation, candidate cutting, k-nearest-neighbour tie-breaks, the worker's use of the marks
// and the training capture rule, checked against the written rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

#include "recognizer_test_helpers.h"

using namespace gesture_test;

namespace {

ClassifierSettings windowSettings(int marks) {
    ClassifierSettings s;
    s.maxMovingWindowSize = marks;
    return s;
}

std::vector<FrameRecord> history(const GestureRecognizer& r) {
    std::vector<FrameRecord> h;
    for (int i = 0; i < HISTORY_LENGTH; ++i) h.push_back(r.historyRecord(i));
    return h;
}

// Frame numbers of the history's marked records, oldest first.
std::vector<int32_t> markedFrames(const GestureRecognizer& r) {
    std::vector<int32_t> frames;
    for (const FrameRecord& f : history(r))
        if (f.marked) frames.push_back(f.frameNumber);
    return frames;
}

// A driver whose own workers never find a full window, so tests run the worker by hand.
struct QuietDriver : Driver {
    QuietDriver() { recognizer.maxMovingWindowSize = 1000; }
};

// The training capture rule as written, on a history of 150 records: the interval
// [start, end) of history indices to capture, or nothing.
struct Capture {
    bool found = false;
    int start = 0;
    int end = 0;
    int length = 0;
};

Capture referenceCapture(const std::vector<FrameRecord>& h, float low, float high) {
    const int n = HISTORY_LENGTH;
    if (h[n - 2].marked) return {};
    for (int i = n - 2; i >= n - 11; --i)
        if (h[i].speed > low) return {};
    int end = -1;
    for (int i = n - 10;; --i) {
        if (i < n / 3) return {true, n / 3, n - 10, n - 10 - n / 3 + 1};  // held a pose throughout
        if (h[i].marked) return {};
        if (h[i].speed > low) {
            end = i;
            break;
        }
    }
    int run = 0;
    for (int i = end - 1; i >= 0; --i) {
        run = h[i].speed <= high ? run + 1 : 0;
        if (run == 10) {
            const int start = i + 9;
            if (end - start < 20) return {};
            return {true, start, end, end - start};
        }
    }
    return {};
}

}  // namespace

TEST(SegmentationEdgeCases, SpeedRisingAboveTheHighThresholdMarksRightAfterARhythmMark) {
    QuietDriver d;
    ArmPose p = restPose();
    d.hold(p, 60);
    // Wait for a rhythm mark on the newest record.
    for (int i = 0; i < 9 && !d.recognizer.historyRecord(HISTORY_LENGTH - 1).marked; ++i) d.frame(p);
    ASSERT_TRUE(d.recognizer.historyRecord(HISTORY_LENGTH - 1).marked);
    d.frame(p);
    EXPECT_FALSE(d.recognizer.historyRecord(HISTORY_LENGTH - 1).marked);
    const float before = d.recognizer.currentVelocity;
    ASSERT_LT(before, 1.0f);
    p[POSE_ELBOW_RIGHT] += 9.0f;  // the window mean moves 3: speed 0.5 * 3 + 0.5 * before
    d.frame(p);
    EXPECT_NEAR(d.recognizer.currentVelocity, 1.5f + 0.5f * before, 1e-4f);
    const FrameRecord newest = d.recognizer.historyRecord(HISTORY_LENGTH - 1);
    EXPECT_TRUE(newest.marked);
    EXPECT_EQ(d.recognizer.marksSnapshot().back(), newest.frameNumber);
    // Staying above the high threshold is no crossing: the rhythm holds it off again.
    d.frame(p);
    EXPECT_GT(d.recognizer.currentVelocity, 1.0f);
    EXPECT_FALSE(d.recognizer.historyRecord(HISTORY_LENGTH - 1).marked);
}

TEST(SegmentationEdgeCases, BetweenTheThresholdsOnlyPosesNearATrainedGestureAreMarked) {
    // With low <= high a speed between them marks only when the mean pose is within the pose
    // threshold of the first or the last pose of the first trained gesture (with its set's type).
    for (bool trained : {false, true}) {
        QuietDriver d;
        d.recognizer.velocityLowThreshold = 2.0f;
        d.recognizer.velocityHighThreshold = 6.0f;
        if (trained) {
            Gesture g;
            g.type = GestureType::RIGHT;
            ArmPose first = restPose();
            first[POSE_ELEVATION_RIGHT] = 95.0f;
            ArmPose last = restPose();
            last[POSE_ELEVATION_RIGHT] = 150.0f;
            g.poses = {first, anglePose({0, 155, 0, 120}), last};
            // The left arm of the trained poses is far off; RIGHT compares the right arm only.
            for (ArmPose& q : g.poses) q[POSE_ELBOW_LEFT] = 20.0f;
            d.recognizer.TrainedGestureSets.push_back(setOf(g, 1));
        }
        ArmPose p = restPose();
        d.hold(p, 40);
        int nearFirst = 0, nearLast = 0, elsewhere = 0, inBandFrames = 0;
        for (int i = 0; i < 40; ++i) {
            p[POSE_ELEVATION_RIGHT] += 4.0f;  // steady speed 4: inside [2, 6]
            d.frame(p);
            const FrameRecord f = d.recognizer.historyRecord(HISTORY_LENGTH - 1);
            if (f.speed < 2.0f || f.speed > 6.0f) continue;
            ++inBandFrames;
            if (!f.marked) continue;
            const float elevation = f.pose[POSE_ELEVATION_RIGHT];
            if (std::fabs(elevation - 95.0f) < 20.0f) ++nearFirst;
            else if (std::fabs(elevation - 150.0f) < 20.0f) ++nearLast;
            else ++elsewhere;
        }
        EXPECT_GT(inBandFrames, 30);
        EXPECT_EQ(elsewhere, 0);
        if (trained) {
            EXPECT_GE(nearFirst, 1);
            EXPECT_GE(nearLast, 1);
        } else {
            EXPECT_EQ(nearFirst + nearLast, 0);
        }
    }
}

TEST(SegmentationEdgeCases, MarksThatLeaveTheHistoryAreDropped) {
    QuietDriver d;
    d.hold(restPose(), 400);
    const std::vector<int32_t> marks = d.recognizer.marksSnapshot();
    const std::vector<int32_t> marked = markedFrames(d.recognizer);
    // Every remaining mark is a marked record of the history, and nothing else is marked.
    EXPECT_EQ(std::vector<int32_t>(marks.begin(), marks.end()), marked);
    EXPECT_GE(marks.size(), 15u);
    EXPECT_EQ(d.recognizer.currentWindowSize, static_cast<int>(marks.size()));
    // Frame numbers count from 1.
    EXPECT_EQ(d.recognizer.historyRecord(HISTORY_LENGTH - 1).frameNumber, 400);
}

TEST(CandidateEdgeCases, OnlyIntervalsLongerThan20FramesAreClassified) {
    QuietDriver d;
    d.hold(restPose(), 100);
    d.drain();
    const int32_t newest = d.recognizer.historyRecord(HISTORY_LENGTH - 1).frameNumber;
    // Marks 19 records apart: length 20, too short; nothing is queued and the marks stay.
    d.recognizer.recognizeFromMarks({newest - 30, newest - 11}, windowSettings(2), 5000);
    EXPECT_TRUE(d.drain().empty());
    // 20 records apart: length 21, classified (the rest pose is the default gesture).
    d.recognizer.recognizeFromMarks({newest - 30, newest - 10}, windowSettings(2), 5000);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"DEFAULT_GESTURE"});
    // A mark that has left the history pairs with nothing.
    d.recognizer.recognizeFromMarks({newest - 400, newest - 1}, windowSettings(2), 9000);
    EXPECT_TRUE(d.drain().empty());
}

TEST(WorkerEdgeCases, TheDefaultWindowNeedsTwelveMarks) {
    QuietDriver d;
    d.hold(restPose(), 150);
    d.drain();
    const int32_t newest = d.recognizer.historyRecord(HISTORY_LENGTH - 1).frameNumber;
    std::deque<int32_t> marks;
    for (int k = 11; k >= 1; --k) marks.push_back(newest - 9 * k);
    const ClassifierSettings defaults;
    ASSERT_EQ(defaults.maxMovingWindowSize, 12);
    d.recognizer.recognizeFromMarks(marks, defaults, 5000);
    EXPECT_TRUE(d.drain().empty());
    EXPECT_FALSE(d.recognizer.workerBusy());
    marks.push_back(newest);
    d.recognizer.recognizeFromMarks(marks, defaults, 5000);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"DEFAULT_GESTURE"});
}

TEST(WorkerEdgeCases, NothingRecognisedLeavesTheMarksAsTheyWere) {
    QuietDriver d;
    d.hold(anglePose({155, 90, 15, 100, 0, 0, 0, 0}), 150);  // a held pose, no trained sets
    const std::vector<int32_t> live = d.recognizer.marksSnapshot();
    const std::vector<int32_t> marked = markedFrames(d.recognizer);
    ASSERT_GE(live.size(), 12u);
    d.recognizer.recognizeFromMarks(std::deque<int32_t>(live.begin(), live.end()),
                                    windowSettings(static_cast<int>(live.size())), 5000);
    EXPECT_TRUE(d.drain().empty());
    EXPECT_EQ(d.recognizer.marksSnapshot(), live);
    EXPECT_EQ(markedFrames(d.recognizer), marked);
}

TEST(WorkerEdgeCases, TheUsedPrefixIsConsumedFromTheLiveMarks) {
    // The worker saw the first five marks; the frame loop has placed more since. The winner
    // (the longest candidate, first to fifth mark) ends at the fifth: the four before it go and
    // their records are unmarked; the fifth and the newer marks stay.
    QuietDriver d;
    d.hold(restPose(), 300);  // the start-up transient has left the history
    d.drain();
    const std::vector<int32_t> live = d.recognizer.marksSnapshot();
    ASSERT_GE(live.size(), 8u);
    for (size_t i = 1; i < live.size(); ++i) ASSERT_EQ(live[i] - live[i - 1], 9);
    const std::deque<int32_t> seen(live.begin(), live.begin() + 5);
    d.recognizer.recognizeFromMarks(seen, windowSettings(5), 5000);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"DEFAULT_GESTURE"});
    EXPECT_EQ(d.recognizer.marksSnapshot(), std::vector<int32_t>(live.begin() + 4, live.end()));
    EXPECT_EQ(markedFrames(d.recognizer), std::vector<int32_t>(live.begin() + 4, live.end()));
    EXPECT_NE(d.output().find("gesture recognized as: -2, points: 1e+07\n"), std::string::npos);
}

TEST(WorkerEdgeCases, EqualLengthsKeepTheFirstCandidate) {
    // Two recognised candidates of the same length: the earlier one (a ascending) wins.
    QuietDriver d;
    d.recognizer.numberOfNeighbours = 1;
    d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 1));
    d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(30, 60.0f, POSE_ADDUCTION_RIGHT), 1));
    d.hold(restPose(), 15);
    const int32_t a1 = d.recognizer.historyRecord(HISTORY_LENGTH - 1).frameNumber + 1;
    d.perform(rightSwing(30, 60.0f, POSE_ADDUCTION_RIGHT));
    d.hold(restPose(), 15);
    const int32_t b1 = d.recognizer.historyRecord(HISTORY_LENGTH - 1).frameNumber + 1;
    d.perform(rightSwing(30));
    d.hold(restPose(), 15);
    d.drain();
    EXPECT_EQ(d.recognizer.classifyInterval({a1, a1 + 29, 30}).classIndex, 1);
    EXPECT_EQ(d.recognizer.classifyInterval({b1, b1 + 29, 30}).classIndex, 0);
    ClassifierSettings settings = windowSettings(4);
    settings.numberOfNeighbours = 1;
    d.recognizer.recognizeFromMarks({a1, a1 + 29, b1, b1 + 29}, settings, 5000);
    // Pairs (a1, a1 + 29) and (b1, b1 + 29) are both 30 long; the longer mixed pairs hold a
    // swing and a rest and more, and must not be recognised for the test to mean anything.
    EXPECT_EQ(d.recognizer.classifyInterval({a1, b1, b1 - a1 + 1}).classIndex, NO_CLASS);
    EXPECT_EQ(d.recognizer.classifyInterval({a1, b1 + 29, b1 + 29 - a1 + 1}).classIndex, NO_CLASS);
    EXPECT_EQ(d.recognizer.classifyInterval({a1 + 29, b1 + 29, b1 - a1 + 1}).classIndex, NO_CLASS);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"1"});
}

TEST(ClassifyEdgeCases, BothArmGesturesGetHalfAgainTheThreshold) {
    for (GestureType type : {GestureType::BOTH, GestureType::RIGHT}) {
        GestureRecognizer r;
        r.numberOfNeighbours = 1;
        r.gestureRecognitionThreshold = 10.0f;
        // A line on elbow left; the candidate is shifted by c on elbow right. DTW pairs the
        // diagonal: (N - 1) * c / N = 12 with N = 30.
        Gesture trained = lineGesture(anglePose({0, 0}), anglePose({90, 0}), 30, type);
        const float c = 12.0f * 30.0f / 29.0f;
        Gesture candidate = lineGesture(anglePose({0, c}), anglePose({90, c}), 30, type);
        r.TrainedGestureSets.push_back(setOf(trained, 1));
        const RecognitionResult result = r.classifyGesture(candidate);
        if (type == GestureType::BOTH) {
            EXPECT_EQ(result.classIndex, 0);  // 12 < 1.5 * 10
            EXPECT_NEAR(result.points, 1.0f / 12.0f, 1e-4f);
        } else {
            EXPECT_EQ(result.classIndex, NO_CLASS);  // 12 >= 10
        }
        // Single poses: 1.5 times the pose threshold (20) for BOTH.
        Gesture pose;
        pose.type = type;
        pose.poses = {anglePose({100, 100, 50, 50})};
        Gesture near = pose;
        near.poses[0][POSE_ELEVATION_RIGHT] += 25.0f;
        r.TrainedGestureSets.assign(1, setOf(pose, 1));
        EXPECT_EQ(r.classifyGesture(near).classIndex, type == GestureType::BOTH ? 0 : NO_CLASS);
    }
}

TEST(ClassifyEdgeCases, TiesGoToTheSetThatAppearsFirstAmongTheNearest) {
    Gesture candidate;
    candidate.type = GestureType::BOTH;
    candidate.poses = {anglePose({100, 100, 50, 50, 0, 0, 0, 0})};
    auto shifted = [&](float a, float b) {
        Gesture g = candidate;
        g.poses[0][POSE_ELBOW_LEFT] += a;
        g.poses[0][POSE_ELEVATION_LEFT] += b;
        return g;
    };
    // One neighbour, equal distances: the stable sort keeps list order, set 0 wins.
    GestureRecognizer one;
    one.numberOfNeighbours = 1;
    one.TrainedGestureSets.push_back(setOf(shifted(3, 4), 1));
    one.TrainedGestureSets.push_back(setOf(shifted(4, 3), 1));
    EXPECT_EQ(one.classifyGesture(candidate).classIndex, 0);
    // Three neighbours: set 1 has one at distance 5 (score 1/5), set 0 two at 10 (1/10 + 1/10).
    // Set 1 comes first among the sorted neighbours, and an equal score does not replace it.
    GestureRecognizer three;
    three.numberOfNeighbours = 3;
    GestureSet far = setOf(shifted(6, 8), 1);
    far.gestures.push_back(shifted(8, 6));
    three.TrainedGestureSets.push_back(far);
    three.TrainedGestureSets.push_back(setOf(shifted(3, 4), 1));
    const RecognitionResult result = three.classifyGesture(candidate);
    EXPECT_EQ(result.classIndex, 1);
    EXPECT_FLOAT_EQ(result.points, 0.2f);
}

TEST(ClassifyEdgeCases, ModifiedFmTakesTheLastAcceptableSetOfTheCandidatesType) {
    GestureRecognizer r;
    r.setSimilarityMeasure(SimilarityMeasure::MODIFIED_FM);
    for (int c = 0; c < 3; ++c) {
        GestureSet set;
        set.type = c == 2 ? GestureType::LEFT : GestureType::RIGHT;
        for (int k = 0; k < 3; ++k) {
            Gesture g = trainedRightSwing(30, 20.0f + 30.0f * c + 3.0f * k);
            g.type = set.type;
            set.gestures.push_back(g);
        }
        r.TrainedGestureSets.push_back(set);
    }
    const Gesture candidate = trainedRightSwing(30, 22.0f);
    int expected = NO_CLASS;
    for (int s = 0; s < 3; ++s)
        if (r.TrainedGestureSets[static_cast<size_t>(s)].type == GestureType::RIGHT &&
            modifiedFmScore(candidate, s, r.TrainedGestureSets) < 1e7f)
            expected = s;
    ASSERT_EQ(expected, 1);  // both RIGHT sets give a usable score; the LEFT set is never asked
    const RecognitionResult result = r.classifyGesture(candidate);
    EXPECT_EQ(result.classIndex, 1);
    EXPECT_FLOAT_EQ(result.points, 1e-7f);
}

TEST(TrainingEdgeCases, CaptureCutsWhatTheWrittenRuleFinds) {
    // After every frame the rule is applied to the history by hand; the capture must happen on
    // the first frame the rule finds an interval, and store exactly those records.
    for (bool bump : {false, true}) {
        Driver d;
        d.hold(restPose(), 60);
        d.recognizer.requestTraining(true, false);
        std::vector<ArmPose> script;
        for (int i = 0; i < 25; ++i) script.push_back(restPose());
        if (bump) {
            // A short twitch 8 frames before the swing: speed between the thresholds, so the
            // rest before the gesture has to be found before it.
            ArmPose twitch = restPose();
            twitch[POSE_ELEVATION_RIGHT] += 9.0f;
            script[script.size() - 8] = twitch;
        }
        for (const ArmPose& p : rightSwing(36, 70.0f).poses) script.push_back(p);
        for (int i = 0; i < 30; ++i) script.push_back(restPose());

        bool captured = false;
        for (const ArmPose& p : script) {
            d.frame(p);
            if (captured) break;
            const std::vector<FrameRecord> h = history(d.recognizer);
            const Capture expected = referenceCapture(h, 4.0f, 1.0f);
            if (!expected.found) {
                ASSERT_TRUE(d.recognizer.trainingPending);
                continue;
            }
            captured = true;
            ASSERT_FALSE(expected.length == 91) << "not a held pose";
            ASSERT_FALSE(d.recognizer.trainingPending);
            ASSERT_EQ(d.recognizer.setCount(), 1);
            const Gesture& g = d.recognizer.TrainedGestureSets[0].gestures[0];
            EXPECT_EQ(g.type, GestureType::RIGHT);
            ASSERT_EQ(g.poses.size(), static_cast<size_t>(expected.length));
            ASSERT_EQ(g.skeletons.size(), static_cast<size_t>(expected.length));
            for (int k = 0; k < expected.length; ++k) {
                const ArmPose& want = h[static_cast<size_t>(expected.start + k)].pose;
                for (int v = 0; v < ARM_POSE_SIZE; ++v) {
                    const bool leftAngle = v < ARM_ANGLE_COUNT && v % 2 == 0;
                    EXPECT_EQ(g.poses[static_cast<size_t>(k)][v], leftAngle ? 0.0f : want[v]) << k << " " << v;
                }
            }
            // The twitch (frame 60 + 17 + 1) breaks the rest just before the swing, so the
            // capture starts before it.
            if (bump) {
                EXPECT_LT(h[static_cast<size_t>(expected.start)].frameNumber, 78);
            }
        }
        EXPECT_TRUE(captured) << bump;
    }
}

TEST(TrainingEdgeCases, ALeftGestureOfferedToABothSetIsNotTrained) {
    Driver d;
    d.recognizer.requestTraining(true, false);
    d.hold(restPose(), 20);
    Gesture both = rightSwing(35, 60.0f);
    const Gesture left = rightSwing(35, 60.0f, POSE_ELEVATION_LEFT);
    for (size_t i = 0; i < both.poses.size(); ++i) both.poses[i][POSE_ELEVATION_LEFT] = left.poses[i][POSE_ELEVATION_LEFT];
    d.perform(both);
    d.hold(restPose(), 15);
    ASSERT_EQ(d.recognizer.setCount(), 1);
    EXPECT_EQ(d.recognizer.currentSetType(), GestureType::BOTH);
    EXPECT_NE(d.output().find("Successfully created a new BOTH gesture set!\n"), std::string::npos);
    d.drain();
    const std::vector<ArmPose> kept = d.recognizer.TrainedGestureSets[0].gestures[0].poses;

    d.recognizer.requestTraining(false, false);
    d.hold(restPose(), 20);
    d.perform(left);
    d.hold(restPose(), 15);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"GESTURE_NOT_TRAINED"});
    EXPECT_FALSE(d.recognizer.trainingPending);
    ASSERT_EQ(d.recognizer.gestureCount(), 1);
    EXPECT_EQ(d.recognizer.TrainedGestureSets[0].gestures[0].poses, kept);
    // A BOTH example is still accepted afterwards.
    d.recognizer.requestTraining(false, false);
    d.hold(restPose(), 20);
    d.perform(both);
    d.hold(restPose(), 15);
    EXPECT_EQ(d.drain(), std::vector<std::string>{"GESTURE_TRAINED"});
    EXPECT_EQ(d.recognizer.gestureCount(), 2);
}

TEST(CandidateEdgeCases, HeldPosesAreTypedByWhichArmRests) {
    // A held pose becomes its mean; an arm near the rest pose is cleared and the other arm
    // names the type; neither arm at rest is BOTH.
    ArmPose leftUp = restPose();
    leftUp[POSE_ELEVATION_LEFT] = 100.0f;
    ArmPose rightUp = restPose();
    rightUp[POSE_ELEVATION_RIGHT] = 100.0f;
    ArmPose bothUp = leftUp;
    bothUp[POSE_ELEVATION_RIGHT] = 100.0f;
    auto poseSet = [](ArmPose p, GestureType type) {
        Gesture g;
        g.type = type;
        for (int i = 0; i < ARM_ANGLE_COUNT; ++i) {
            if ((type == GestureType::LEFT && i % 2 == 1) || (type == GestureType::RIGHT && i % 2 == 0)) p[i] = 0.0f;
        }
        g.poses = {p};
        return setOf(g, 1);
    };
    struct Case {
        ArmPose held;
        int expected;
    };
    const Case cases[] = {{leftUp, 0}, {rightUp, 1}, {bothUp, 2}};
    for (const Case& c : cases) {
        QuietDriver d;
        d.recognizer.numberOfNeighbours = 1;
        d.recognizer.TrainedGestureSets.push_back(poseSet(leftUp, GestureType::LEFT));
        d.recognizer.TrainedGestureSets.push_back(poseSet(rightUp, GestureType::RIGHT));
        d.recognizer.TrainedGestureSets.push_back(poseSet(bothUp, GestureType::BOTH));
        d.hold(c.held, 60);
        const int32_t newest = d.recognizer.historyRecord(HISTORY_LENGTH - 1).frameNumber;
        const RecognitionResult r = d.recognizer.classifyInterval({newest - 29, newest, 30});
        EXPECT_EQ(r.classIndex, c.expected);
        // The mean is the trained pose exactly: distance 0, score 1 / 0.
        EXPECT_TRUE(std::isinf(r.points));
    }
}

TEST(CandidateEdgeCases, CandidatesLongerThan64PosesAreResampledTo64) {
    // Trained on a 64-pose swing, the same swing performed over 100 frames matches only when
    // resampled first (100 against 64 poses is far outside the DTW band).
    QuietDriver d;
    d.recognizer.numberOfNeighbours = 1;
    d.recognizer.TrainedGestureSets.push_back(setOf(trainedRightSwing(64), 1));
    d.hold(restPose(), 20);
    const int32_t first = d.recognizer.historyRecord(HISTORY_LENGTH - 1).frameNumber + 1;
    d.perform(rightSwing(100));
    d.hold(restPose(), 5);
    EXPECT_EQ(d.recognizer.classifyInterval({first, first + 99, 100}).classIndex, 0);
}

TEST(ClassifyEdgeCases, ModifiedFmComparesAHeldPoseAsAPose) {
    // Under MODIFIED_FM a single-pose candidate is scored like any measure scores single poses:
    // against a pose class by pose distance (with 1.5 / 1.0 times the pose threshold), against
    // a sequence class not at all.
    GestureRecognizer r;
    r.setSimilarityMeasure(SimilarityMeasure::MODIFIED_FM);
    Gesture pose;
    pose.type = GestureType::RIGHT;
    pose.poses = {anglePose({0, 120, 0, 80, 0, 30, 0, 0})};
    r.TrainedGestureSets.push_back(setOf(pose, 2));                   // class 0: a held pose
    r.TrainedGestureSets.push_back(setOf(trainedRightSwing(30), 3));  // class 1: a movement
    Gesture near = pose;
    near.poses[0][POSE_ELEVATION_RIGHT] += 12.0f;
    RecognitionResult result = r.classifyGesture(near);
    EXPECT_EQ(result.classIndex, 0);
    EXPECT_FLOAT_EQ(result.points, 1e-7f);
    Gesture far = pose;
    far.poses[0][POSE_ELEVATION_RIGHT] += 45.0f;
    EXPECT_EQ(r.classifyGesture(far).classIndex, NO_CLASS);
    // A movement is never taken for the pose class.
    EXPECT_EQ(r.classifyGesture(trainedRightSwing(30, 62.0f)).classIndex, 1);
    r.TrainedGestureSets.pop_back();
    EXPECT_EQ(r.classifyGesture(trainedRightSwing(30, 62.0f)).classIndex, NO_CLASS);
}
