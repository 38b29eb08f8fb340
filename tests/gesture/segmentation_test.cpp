// Segmentation marks, the speed read-out and the rest check of the frame loop.
#include <gtest/gtest.h>

#include <algorithm>

#include "recognizer_test_helpers.h"

using namespace gesture_test;

TEST(Segmentation, StandingStillMarksEveryNinthFrame) {
    Driver d;
    std::vector<int32_t> seen;
    for (int i = 0; i < 200; ++i) {
        d.frame(restPose());
        const std::vector<int32_t> marks = d.recognizer.marksSnapshot();
        EXPECT_LE(marks.size(), 12u);
        if (i < 30) continue;  // the pose window is still filling from zero
        if (!marks.empty() && (seen.empty() || marks.back() != seen.back())) seen.push_back(marks.back());
    }
    ASSERT_GE(seen.size(), 15u);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_EQ(seen[i] - seen[i - 1], 9) << i;
    EXPECT_FLOAT_EQ(d.recognizer.currentVelocity, 0.0f);
    // Once 12 marks exist every candidate is the rest pose: the worker reports the default
    // gesture and consumes the marks before the winner's end mark.
    const std::vector<std::string> texts = d.drain();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "DEFAULT_GESTURE");
    EXPECT_LT(d.recognizer.marksSnapshot().size(), 12u);
    EXPECT_NE(d.output().find("gesture recognized as: -2, points: 1e+07\n"), std::string::npos);
}

TEST(Segmentation, MarksStayInTheHistoryAndAreCappedByTheWindowSize) {
    // A held non-rest pose with no trained sets classifies as nothing, so no mark is consumed.
    Driver e;
    e.recognizer.maxMovingWindowSize = 5;
    const ArmPose raised = anglePose({155, 90, 15, 100, 0, 0, 0, 0});
    e.hold(raised, 120);
    const std::vector<int32_t> marks = e.recognizer.marksSnapshot();
    ASSERT_EQ(marks.size(), 5u);
    for (int32_t m : marks) EXPECT_TRUE(m > 120 - 150);
    int markedRecords = 0;
    for (int i = 0; i < HISTORY_LENGTH; ++i) markedRecords += e.recognizer.historyRecord(i).marked ? 1 : 0;
    EXPECT_EQ(markedRecords, 5);  // trimmed marks are unmarked in the history
    EXPECT_TRUE(e.drain().empty());  // no sets: a raised arm is nothing
}

TEST(Segmentation, SpeedCrossingsMarkRegardlessOfTheRhythm) {
    // Move one value at 5 degrees per frame, stop after a varying time: the frame where the speed
    // falls below the low threshold (4) is always marked, even right after a rhythm mark.
    bool sawCloseMark = false;
    for (int runLength = 10; runLength < 20; ++runLength) {
        Driver d;
        d.recognizer.maxMovingWindowSize = 100;  // no worker ever has a full window
        ArmPose p = restPose();
        d.hold(p, 30);
        for (int i = 0; i < runLength; ++i) {
            p[POSE_ELEVATION_RIGHT] += 5.0f;
            d.frame(p);
        }
        float previous = d.recognizer.currentVelocity;
        EXPECT_GT(previous, 4.0f);
        for (int i = 0; i < 5; ++i) {
            const std::vector<int32_t> before = d.recognizer.marksSnapshot();
            d.frame(p);
            const float v = d.recognizer.currentVelocity;
            const std::vector<int32_t> after = d.recognizer.marksSnapshot();
            if (v < 4.0f && previous > 4.0f) {
                const FrameRecord newest = d.recognizer.historyRecord(HISTORY_LENGTH - 1);
                EXPECT_TRUE(newest.marked) << runLength;
                ASSERT_FALSE(after.empty());
                EXPECT_EQ(after.back(), newest.frameNumber);
                if (!before.empty() && newest.frameNumber - before.back() <= 8) sawCloseMark = true;
            }
            previous = v;
        }
    }
    EXPECT_TRUE(sawCloseMark);
}

TEST(Segmentation, SmoothedSpeedFollowsTheWindowMean) {
    Driver d;
    d.recognizer.maxMovingWindowSize = 100;
    d.hold(restPose(), 60);  // the speed of the start-up transient decays to 0
    ArmPose moved = restPose();
    moved[POSE_ELBOW_LEFT] += 30.0f;
    d.frame(moved);
    // The 3-frame mean moves by 10; speed = 0.5 * 10 + 0.5 * 0.
    EXPECT_NEAR(d.recognizer.currentVelocity, 5.0f, 1e-4f);
    d.frame(moved);
    EXPECT_NEAR(d.recognizer.currentVelocity, 0.5f * 10.0f + 0.5f * 5.0f, 1e-4f);
    EXPECT_FLOAT_EQ(d.recognizer.historyRecord(HISTORY_LENGTH - 1).pose[POSE_ELBOW_LEFT], 155.0f + 20.0f);
}

TEST(Segmentation, WindowMeanSumsOldestFirstWhereverTheRingStarts) {
    // Floats do not add associatively: 1e8 + -1e8 + 1 is 1, but 1 + 1e8 + -1e8 is 0. Four
    // frames put the oldest of the three in a slot after the newest, as the ring turns.
    Driver d;
    const float values[] = {0.0f, 1e8f, -1e8f, 1.0f};
    for (float v : values) {
        ArmPose p{};
        p[POSE_WRIST_DISTANCE] = v;
        d.frame(p, false);
    }
    const float expected = ((1e8f + -1e8f) + 1.0f) / 3.0f;
    EXPECT_EQ(d.recognizer.historyRecord(HISTORY_LENGTH - 1).pose[POSE_WRIST_DISTANCE], expected);
}

TEST(Segmentation, HeldOffRecognitionReportsTheRestPoseEvery500Ms) {
    Driver d;
    d.hold(restPose(), 10, false);  // 10 frames, 33 ms apart
    std::vector<std::string> texts = d.drain();
    // Reported at 0 ms, then again once 500 ms have passed (frames at 0, 33, ..., 297 ms).
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "DEFAULT_GESTURE");
    d.hold(restPose(), 10, false);
    EXPECT_EQ(d.drain().size(), 1u);
    EXPECT_NE(d.output().find("gesture recognized as: DEFAULT_GESTURE \n"), std::string::npos);
    // Held off, every frame is marked and no segmentation mark is placed.
    EXPECT_TRUE(d.recognizer.historyRecord(HISTORY_LENGTH - 2).marked);
    EXPECT_TRUE(d.recognizer.marksSnapshot().empty());
    // A raised arm is not the rest pose.
    Driver e;
    e.hold(anglePose({155, 155, 15, 120, 0, 0, 0, 0}), 10, false);
    EXPECT_TRUE(e.drain().empty());
}
