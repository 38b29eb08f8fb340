// End to end with the simulated performer: every named gesture is trained three times through
// the real capture rule, then performed again with new variations and recognised through the
// frame loop and the worker. Prints precision and recall per gesture.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/gesture/gesture_recognizer.h"
#include "common/sensor/simulated_performer.h"

namespace {

constexpr uint32_t FRAME_MS = 33;
constexpr uint32_t COUNTDOWN_MS = 4000;

struct Session {
    SimulatedPerformer performer{3};
    GestureRecognizer recognizer;
    std::ostringstream console;
    SkeletonFrame frame;
    uint32_t now = 0;

    Session() { recognizer.console = &console; }

    // One frame at 30 Hz; returns the texts the recogniser queued.
    std::vector<std::string> step(bool recognise) {
        performer.advance(now);
        performer.nextSkeletonFrame(frame);
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

}  // namespace

TEST(PerformerRecognition, TrainedGesturesAreRecognisedAgain) {
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "over a minute of simulated performance under a sanitizer; the plain build runs it";
#endif
    Session s;
    const std::vector<std::string> names = SimulatedPerformer::gestureNames();
    ASSERT_GE(names.size(), 8u);
    s.idle(3000, false);

    // Training: press, countdown holding recognition off, perform, rest until the answer.
    std::map<std::string, int> classOf;
    uint32_t seed = 100;
    int refused = 0;
    for (const std::string& name : names) {
        int stored = 0;
        // Like a user, repeat a refused example (another type than the set's) a few times.
        for (int attempt = 0; attempt < 6 && stored < 3; ++attempt) {
            s.recognizer.requestTraining(stored == 0, false);
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
            ASSERT_FALSE(answer.empty()) << name << ": nothing captured";
            if (answer == "GESTURE_TRAINED") ++stored;
            else ++refused;
            s.idle(1000, false);
        }
        ASSERT_EQ(stored, 3) << name;
        classOf[name] = s.recognizer.currentSetIndex;
        std::printf("  trained %-22s as set %d, %s\n", name.c_str(), s.recognizer.currentSetIndex,
                    gestureTypeName(s.recognizer.currentSetType()));
    }
    ASSERT_EQ(s.recognizer.setCount(), static_cast<int>(names.size()));

    // Recognition: rest, perform, rest; count what each performance produced.
    int correct = 0;
    int wrong = 0;
    int missed = 0;
    std::map<std::string, std::string> report;
    for (int round = 0; round < 2; ++round) {
        for (const std::string& name : names) {
            s.idle(2000, true);
            s.performer.performGesture(name, 1000 + seed++);
            std::vector<std::string> classes;
            for (int f = 0; f < 180; ++f) {  // the longest performance takes 3.8 s
                for (const std::string& t : s.step(true)) {
                    if (t != "DEFAULT_GESTURE") classes.push_back(t);
                }
            }
            const std::string expected = std::to_string(classOf[name]);
            bool hit = false;
            for (const std::string& c : classes) {
                if (c == expected) hit = true;
                else ++wrong;
            }
            hit ? ++correct : ++missed;
            report[name] += hit ? "+" : "-";
        }
    }
    const int performed = static_cast<int>(2 * names.size());
    const double recall = static_cast<double>(correct) / performed;
    const double precision = correct + wrong > 0 ? static_cast<double>(correct) / (correct + wrong) : 0.0;
    std::printf("performer recognition: recall %.2f (%d of %d), precision %.2f (%d wrong), %d examples refused\n",
                recall, correct, performed, precision, wrong, refused);
    for (const auto& [name, marks] : report) std::printf("  %-24s %s\n", name.c_str(), marks.c_str());
    // Measured: recall 0.95, precision 1.00 (10 gestures, 2 rounds, sway and jitter on; the miss
    // is a wave whose distances sit just above the threshold of 35). Every
    // performance is longer than 64 frames, so trained examples and candidates are both cut down
    // to 64 poses and DTW's band never separates them; the rest around a performance is the
    // default gesture and would win as the longer candidate if the performance's own did not match.
    EXPECT_GE(recall, 0.85);
    EXPECT_GE(precision, 0.9);
}
