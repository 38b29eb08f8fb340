// End to end with the simulated performer: every named gesture is trained three times through
// the real capture rule, then performed again with new variations and recognised through the
// frame loop and the worker. Prints precision and recall per gesture. The same protocol runs
// with a shaking tracker, with and without the camera runtime's smoothing in front.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/gesture/gesture_recognizer.h"
#include "common/sensor/simulated_performer.h"
#include "common/sensor/skeleton_smoothing.h"

namespace {

constexpr uint32_t FRAME_MS = 33;
constexpr uint32_t COUNTDOWN_MS = 4000;
constexpr uint32_t FIRST_TRAINING_SEED = 100;
// Performances to recognise get seeds of their own, so that a noisy training that needed more
// attempts still meets the same performances as the clean one.
constexpr uint32_t FIRST_RECOGNITION_SEED = 1130;

struct Session {
    SimulatedPerformer performer{3};
    GestureRecognizer recognizer;
    std::ostringstream console;
    SkeletonFrame frame;
    uint32_t now = 0;
    // A real tracker's joints shake: each coordinate of every joint gets a normal spread of this
    // many metres per frame, on top of the performer's own small jitter.
    float jitterM = 0.0f;
    // Every stream the programs read goes through the runtime's smoothing; the recogniser's own
    // tests feed it the tracker's skeleton directly.
    bool smoothed = false;
    std::mt19937 noise;
    SkeletonSmoother smoother;

    explicit Session(uint32_t noiseSeed = 1) : noise(noiseSeed) { recognizer.console = &console; }

    // One frame at 30 Hz; returns the texts the recogniser queued.
    std::vector<std::string> step(bool recognise) {
        performer.advance(now);
        performer.nextSkeletonFrame(frame);
        if (jitterM > 0.0f) {
            std::normal_distribution<float> shake(0.0f, jitterM);
            for (Vector4& joint : frame.slots[0].joints) {
                joint.x += shake(noise);
                joint.y += shake(noise);
                joint.z += shake(noise);
            }
        }
        if (smoothed) smoother.smooth(frame);
        SkeletonRecord record = frame.slots[0];
        recognizer.processFrame(record, recognise, now);
        recognizer.waitForWorker();
        now += FRAME_MS;
        std::vector<std::string> texts;
        while (recognizer.hasResults()) texts.push_back(recognizer.popResult());
        return texts;
    }
    void idle(uint32_t ms, bool recognise) {
        for (uint32_t t = 0; t < ms; t += FRAME_MS) step(recognise);
    }
};

struct Outcome {
    int uncaptured = 0;      // training captures that never answered (the user gave up)
    int refused = 0;         // examples answered "GESTURE_NOT_TRAINED"
    int incompleteSets = 0;  // gestures that did not get their three examples
    int correct = 0;
    int wrong = 0;  // classes reported for a performance of another gesture
    int performed = 0;
    std::map<std::string, std::string> report;  // per gesture: + found, - missed
    std::map<std::string, GestureType> typeOf;   // the type of the set each gesture founded

    double recall() const { return performed > 0 ? static_cast<double>(correct) / performed : 0.0; }
    double precision() const { return correct + wrong > 0 ? static_cast<double>(correct) / (correct + wrong) : 0.0; }
};

// Trains every named gesture like a user (an example refused for its type is repeated a few
// times; a capture that never answers is cancelled), then rests, performs and rests twice per
// gesture with recognition on. The tracker shakes by trainingJitterM while training and by
// recognitionJitterM after.
Outcome trainAndRecognise(Session& s, float trainingJitterM, float recognitionJitterM, bool verbose) {
    Outcome out;
    const std::vector<std::string> names = SimulatedPerformer::gestureNames();
    s.jitterM = trainingJitterM;
    s.idle(3000, false);

    std::map<std::string, int> classOf;
    uint32_t seed = FIRST_TRAINING_SEED;
    for (const std::string& name : names) {
        const int before = s.recognizer.setCount();
        int stored = 0;
        for (int attempt = 0; attempt < 6 && stored < 3; ++attempt) {
            // The first stored example founds the gesture's set.
            s.recognizer.requestTraining(s.recognizer.setCount() == before, false);
            // The user starts just before the countdown ends: the movement and the rest after it
            // fall into frames the capture may use.
            s.idle(COUNTDOWN_MS - 300, false);
            s.performer.performGesture(name, seed++);
            std::string answer;
            for (int f = 0; f < 300 && answer.empty(); ++f) {
                for (const std::string& t : s.step(static_cast<uint32_t>(f) * FRAME_MS >= 300)) {
                    if (t == "GESTURE_TRAINED" || t == "GESTURE_NOT_TRAINED") answer = t;
                }
            }
            if (answer.empty()) {
                ++out.uncaptured;
                s.recognizer.cancelTraining();
            } else if (answer == "GESTURE_TRAINED") {
                ++stored;
            } else {
                ++out.refused;
            }
            s.idle(1000, false);
        }
        if (stored < 3) ++out.incompleteSets;
        classOf[name] = s.recognizer.setCount() > before ? before : -1;
        out.typeOf[name] = classOf[name] >= 0 ? s.recognizer.TrainedGestureSets[static_cast<size_t>(before)].type
                                              : GestureType::UNDEFINED;
        if (verbose) {
            std::printf("  trained %-22s as set %d, %d examples\n", name.c_str(), classOf[name], stored);
        }
    }

    s.jitterM = recognitionJitterM;
    seed = FIRST_RECOGNITION_SEED;
    for (int round = 0; round < 2; ++round) {
        for (const std::string& name : names) {
            s.idle(2000, true);
            s.performer.performGesture(name, seed++);
            std::vector<std::string> classes;
            for (int f = 0; f < 180; ++f) {  // the longest performance takes 3.8 s
                for (const std::string& t : s.step(true)) {
                    if (t != "DEFAULT_GESTURE") classes.push_back(t);
                }
            }
            const std::string expected = std::to_string(classOf[name]);
            bool hit = false;
            for (const std::string& c : classes) {
                if (classOf[name] >= 0 && c == expected) hit = true;
                else ++out.wrong;
            }
            if (hit) ++out.correct;
            ++out.performed;
            out.report[name] += hit ? "+" : "-";
        }
    }
    return out;
}

std::string describe(const Outcome& o) {
    char precision[40] = "no class reported";
    if (o.correct + o.wrong > 0) {
        std::snprintf(precision, sizeof precision, "precision %.2f (%d wrong)", o.precision(), o.wrong);
    }
    char line[200];
    std::snprintf(line, sizeof line,
                  "recall %.2f (%d of %d), %s, training: %d refused, %d never answered, "
                  "%d gestures short of 3 examples",
                  o.recall(), o.correct, o.performed, precision, o.refused, o.uncaptured, o.incompleteSets);
    return line;
}

bool underSanitizer() {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

}  // namespace

TEST(PerformerRecognition, TrainedGesturesAreRecognisedAgain) {
    if (underSanitizer()) GTEST_SKIP() << "minutes of simulated performance under a sanitizer; the plain build runs it";
    Session s;
    ASSERT_GE(SimulatedPerformer::gestureNames().size(), 8u);
    const Outcome o = trainAndRecognise(s, 0.0f, 0.0f, true);
    std::printf("performer recognition: %s\n", describe(o).c_str());
    for (const auto& [name, marks] : o.report) std::printf("  %-24s %s\n", name.c_str(), marks.c_str());
    EXPECT_EQ(o.uncaptured, 0);
    EXPECT_EQ(o.incompleteSets, 0);
    EXPECT_EQ(s.recognizer.setCount(), static_cast<int>(SimulatedPerformer::gestureNames().size()));
    // Measured: recall 0.95, precision 1.00 (10 gestures, 2 rounds, sway and jitter on; the miss
    // is a wave whose distances sit just above the threshold of 35). Every
    // performance is longer than 64 frames, so trained examples and candidates are both cut down
    // to 64 poses and DTW's band never separates them; the rest around a performance is the
    // default gesture and would win as the longer candidate if the performance's own did not match.
    EXPECT_GE(o.recall(), 0.85);
    EXPECT_GE(o.precision(), 0.9);
}

// A tracker that shakes by a few millimetres, as a real one does, behind the runtime's
// smoothing as every stream the programs read: training still completes and the gestures are
// still found.
TEST(PerformerRecognition, AShakyTrackerBehindTheRuntimeSmoothingStillTrainsAndRecognises) {
    if (underSanitizer()) GTEST_SKIP() << "minutes of simulated performance under a sanitizer; the plain build runs it";
    Session s(2);
    s.smoothed = true;
    const Outcome o = trainAndRecognise(s, 0.002f, 0.003f, false);
    std::printf("2 mm while training, 3 mm after, smoothed: %s\n", describe(o).c_str());
    EXPECT_EQ(o.uncaptured, 0);
    EXPECT_EQ(o.incompleteSets, 0);
    EXPECT_GE(o.recall(), 0.85);
    EXPECT_EQ(o.wrong, 0);
}

// Shaking after a calm training makes gestures missed, never taken for one another: a resting
// arm that shakes stops counting as still, so a one-arm gesture is typed as a two-arm one and
// finds no set of its type.
TEST(PerformerRecognition, AShakingTrackerMakesGesturesMissedNotConfused) {
    if (underSanitizer()) GTEST_SKIP() << "minutes of simulated performance under a sanitizer; the plain build runs it";
    Session s(3);
    const Outcome o = trainAndRecognise(s, 0.0f, 0.010f, false);
    std::printf("calm training, 10 mm after, unsmoothed: %s\n", describe(o).c_str());
    EXPECT_EQ(o.incompleteSets, 0);
    EXPECT_EQ(o.wrong, 0);
    int twoArmed = 0;
    for (const auto& [name, marks] : o.report) {
        if (o.typeOf.at(name) == GestureType::BOTH) {
            ++twoArmed;
            EXPECT_EQ(marks, "++") << name << " moves both arms: the shaking does not change its type";
        } else {
            EXPECT_EQ(marks, "--") << name << " moves one arm: the other, shaking, no longer reads as still";
        }
    }
    EXPECT_GT(twoArmed, 0);
}

// How far the shaking may go: not run by default. Run with
//   ./test_gesture --gtest_also_run_disabled_tests --gtest_filter='*TrackerNoiseSweep'
// The table is in BENCHMARKS.md.
TEST(PerformerRecognition, DISABLED_TrackerNoiseSweep) {
    std::printf("%-11s %-6s %-15s %s\n", "smoothing", "jitter", "shaking", "result");
    for (bool smoothed : {false, true}) {
        for (float mm : {0.0f, 1.0f, 2.0f, 3.0f, 5.0f, 7.0f, 10.0f, 20.0f}) {
            for (bool whileTraining : {false, true}) {
                if (mm == 0.0f && whileTraining) continue;
                for (uint32_t noiseSeed : {1u, 2u}) {
                    Session s(noiseSeed);
                    s.smoothed = smoothed;
                    const Outcome o = trainAndRecognise(s, whileTraining ? mm / 1000.0f : 0.0f, mm / 1000.0f, false);
                    std::printf("%-11s %3.0f mm %-15s %s\n", smoothed ? "runtime's" : "none", mm,
                                whileTraining ? "always" : "after training", describe(o).c_str());
                    // Noise after a calm training only ever loses gestures.
                    if (!whileTraining) {
                        EXPECT_EQ(o.wrong, 0);
                    }
                }
            }
        }
    }
}
