// Long random runs of the training screen, compared after every frame with an independent model
// (reference_training.h): dwell presses on the training buttons and on the recognition screen's
// training button, the button and result handlers, real captures by the recogniser, the labels,
// the countdown, the armed flag and the current tool. Needs a GL context for the app's textures.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/sensor/simulated_performer.h"
#include "gesture/gesture_test_helpers.h"
#include "paint/paint_app.h"
#include "paint/reference_training.h"
#include "paint/test_paint_app.h"
#include "widgets/gl_test_context.h"

namespace {

using reftraining::Screen;

class TrainingReference : public ::testing::Test {
protected:
    void SetUp() override {
        app = makeTestPaintApp(800, 600, 7, quiet);
        if (!app) GTEST_SKIP() << "no display";
        // The model starts where the program starts: the tool and the label clocks are set up by
        // start-up, which is not what these runs compare.
        model.tool = toolIndex();
        model.gestureLabel.start = app->gestureLabel.start;
        model.messageLabel.start = app->messageLabel.start;
        const Button& rb = app->recognitionButtons[0];
        model.recognition.x = rb.x;
        model.recognition.y = rb.y;
    }

    int toolIndex() const {
        for (size_t i = 0; i < app->tools.tools.size(); ++i)
            if (app->tools.tools[i] == app->tools.currentTool) return static_cast<int>(i);
        return -1;
    }

    // Lays the buttons out as the screen draws them and checks the layout against the model's.
    void layOut() {
        drawTrainingScreen(*app, app->sensor->skeleton);
        const float S = 1.2f * 32.0f;
        const float W = static_cast<float>(app->window.width), H = static_cast<float>(app->window.height);
        for (int i = 0; i < 10; ++i) {
            const Button& b = app->trainingButtons[i];
            const float x = i < 6 ? 0.95f * W - (2 * i + 1) * S : 0.05f * W + (2 * (i - 6) + 1) * S;
            ASSERT_NEAR(b.x, x, 1e-3f) << b.name;
            ASSERT_NEAR(b.y, 0.95f * H - S, 1e-3f) << b.name;
            model.training[i].x = b.x;
            model.training[i].y = b.y;
        }
        laidOut = true;
    }

    static void expectButton(const Button& real, const refwidgets::Button& m, const std::string& where) {
        ASSERT_EQ(real.name, m.name) << where;
        ASSERT_EQ(real.visible, m.visible) << real.name << " " << where;
        ASSERT_EQ(real.state, m.state) << real.name << " " << where;
        ASSERT_EQ(real.disableAfterPress, m.disableAfterPress) << real.name << " " << where;
        ASSERT_EQ(real.hoverStart, m.hoverStart) << real.name << " " << where;
        ASSERT_EQ(real.pressTime, m.pressTime) << real.name << " " << where;
    }

    static void expectLabel(const Label& real, const reftraining::Label& m, const std::string& where) {
        ASSERT_EQ(real.text, m.text) << where;
        ASSERT_EQ(real.height, m.height) << real.text << " " << where;
        ASSERT_EQ(real.spacing, m.spacing) << real.text << " " << where;
        ASSERT_EQ(real.colour, m.colour) << real.text << " " << where;
        ASSERT_EQ(real.withBox, m.withBox) << real.text << " " << where;
        ASSERT_EQ(real.duration, m.duration) << real.text << " " << where;
        ASSERT_EQ(real.fade, m.fade) << real.text << " " << where;
        ASSERT_EQ(real.start, m.start) << real.text << " " << where;
    }

    void expectSame(const std::string& where) {
        ASSERT_EQ(app->mode, model.mode) << where;
        ASSERT_EQ(app->tools.gestureArmed, model.armed) << where;
        ASSERT_EQ(toolIndex(), model.tool) << where;
        ASSERT_EQ(app->countdown.start, model.countdown.start) << where;
        ASSERT_EQ(app->countdown.duration, model.countdown.duration) << where;
        ASSERT_EQ(paintRecognitionEnabled(*app, model.now), model.recognitionEnabled()) << where;
        ASSERT_EQ(app->trainingButtons.size(), 10u);
        for (int i = 0; i < 10; ++i) expectButton(app->trainingButtons[i], model.training[i], where);
        expectButton(app->recognitionButtons[0], model.recognition, where);
        expectLabel(app->gestureLabel, model.gestureLabel, "gestureLabel " + where);
        expectLabel(app->messageLabel, model.messageLabel, "messageLabel " + where);
        const GestureRecognizer& r = *app->recognizer;
        ASSERT_EQ(r.trainingPending, model.pending) << where;
        ASSERT_EQ(r.setCount(), static_cast<int>(model.sets.size())) << where;
        for (size_t s = 0; s < model.sets.size(); ++s) {
            ASSERT_EQ(static_cast<int>(r.TrainedGestureSets[s].type), model.sets[s].type) << where;
            ASSERT_EQ(static_cast<int>(r.TrainedGestureSets[s].gestures.size()), model.sets[s].examples) << where;
        }
        if (!model.sets.empty()) {
            ASSERT_EQ(r.currentSetIndex, model.setIndex) << where;
            ASSERT_EQ(r.currentGestureIndex, model.gestureIndex) << where;
        }
        ASSERT_EQ(app->buttonEvents, model.events) << where;
    }

    // A real capture: rest, a swing of the chosen arms, rest, until the recogniser stores it.
    // Returns the texts the recogniser queued.
    std::vector<std::string> perform(int type, std::mt19937& rng) {
        using namespace gesture_test;
        std::vector<ArmPose> poses(20, restPose());
        // Fast enough to count as movement all the way through (a slow swing reads as a held pose).
        const int frames = std::uniform_int_distribution<int>(28, 40)(rng);
        const float amplitude = std::uniform_real_distribution<float>(60.0f, 90.0f)(rng);
        for (int k = 0; k < frames; ++k) {
            ArmPose p = restPose();
            const float lift = amplitude * std::sin(3.1415927f * k / (frames - 1));
            if (type != reftraining::RIGHT) p[POSE_ELEVATION_LEFT] += lift;
            if (type != reftraining::LEFT) p[POSE_ELEVATION_RIGHT] += lift;
            poses.push_back(p);
        }
        for (int k = 0; k < 40; ++k) poses.push_back(restPose());
        GestureRecognizer& r = *app->recognizer;
        for (const ArmPose& p : poses) {
            SkeletonRecord record;
            r.processPose(record, p, true, model.now);
            r.waitForWorker();
            if (!r.trainingPending) break;
        }
        EXPECT_FALSE(r.trainingPending) << "the capture should have been stored " << type << " " << frames << " " << amplitude;
        std::vector<std::string> texts;
        while (r.hasResults()) texts.push_back(r.popResult());
        return texts;
    }

    void run(uint32_t seed);
    int bothGroupsPressedAtOnce = 0;  // frames in which BUTTON_NEW_GEST and BUTTON_NEXT_SET fired together

    std::ostringstream quiet;
    std::unique_ptr<PaintApp> app;
    Screen model;
    bool laidOut = false;
};

const char* const RESULT_TEXTS[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "12", "DEFAULT_GESTURE",
                                    "NEW_GESTURE_SET", "4abc", "abc", "", "007", "GESTURE_TRAINED",
                                    "GESTURE_NOT_TRAINED"};

}  // namespace

void TrainingReference::run(uint32_t seed) {
    std::mt19937 rng(seed);
    uint32_t now = 1000;
    int target = -1;  // button the pointer rests on: 0..9 training, 10 the recognition button
    std::map<std::string, int> pressed;
    int presses = 0, captures = 0, results = 0, maxSets = 0;
    for (int frame = 0; frame < 20000; ++frame) {
        const int stepKind = std::uniform_int_distribution<int>(0, 19)(rng);
        now += stepKind == 0 ? std::uniform_int_distribution<uint32_t>(0, 1500)(rng) : 33u;
        app->nowMs = now;
        model.now = now;
        const std::string where = "frame " + std::to_string(frame);

        // The pointer moves to another button now and then, or away, or disengages.
        // Mostly towards a button that can be pressed, so that the run gets somewhere.
        if (std::uniform_int_distribution<int>(0, 39)(rng) == 0) {
            target = std::uniform_int_distribution<int>(-1, 10)(rng);
            std::vector<int> usable;
            for (int i = 0; i < 10; ++i)
                if (model.training[i].state != refwidgets::Disabled) usable.push_back(i);
            if (!usable.empty() && std::uniform_int_distribution<int>(0, 2)(rng) != 0)
                target = usable[std::uniform_int_distribution<size_t>(0, usable.size() - 1)(rng)];
            if (model.mode == reftraining::Recognition && std::uniform_int_distribution<int>(0, 1)(rng) == 0)
                target = 10;
        }
        const bool engaged = std::uniform_int_distribution<int>(0, 9)(rng) != 0;
        if (engaged && model.mode == reftraining::Training && laidOut) {
            const float px = target >= 0 && target < 10 ? model.training[target].x : 400.0f;
            const float py = target >= 0 && target < 10 ? model.training[target].y : 300.0f;
            updateButtons(app->trainingButtons, px, py, now, app->buttonEvents);
            for (refwidgets::Button& b : model.training) refwidgets::update(b, px, py, now, model.events);
        } else if (engaged && model.mode == reftraining::Recognition) {
            const float px = target == 10 ? model.recognition.x : 400.0f;
            const float py = target == 10 ? model.recognition.y : 300.0f;
            updateButtons(app->recognitionButtons, px, py, now, app->buttonEvents);
            refwidgets::update(model.recognition, px, py, now, model.events);
        }
        ASSERT_NO_FATAL_FAILURE(expectSame(where + " after the dwell test"));

        // Start of the next frame: the pressed buttons' names, in order.
        bool newGesture = false, nextSet = false;
        while (!model.events.empty()) {
            const std::string name = model.events.front();
            model.events.pop_front();
            app->buttonEvents.pop_front();
            handleButton(*app, name);
            model.handleButton(name);
            ++presses;
            ++pressed[name];
            newGesture = newGesture || name == "BUTTON_NEW_GEST";
            nextSet = nextSet || name == "BUTTON_NEXT_SET";
            ASSERT_NO_FATAL_FAILURE(expectSame(where + " after " + name));
            if (model.mode == reftraining::Training && !laidOut) {
                ASSERT_NO_FATAL_FAILURE(layOut());
            }
        }
        if (newGesture && nextSet) ++bothGroupsPressedAtOnce;

        // A recognised gesture now and then (training outcomes only come from real captures).
        if (std::uniform_int_distribution<int>(0, 49)(rng) == 0) {
            const std::string text = RESULT_TEXTS[std::uniform_int_distribution<int>(0, 17)(rng)];
            if (!(model.pending && (text == "GESTURE_TRAINED" || text == "GESTURE_NOT_TRAINED"))) {
                handleResult(*app, text);
                model.handleResult(text);
                ++results;
                ASSERT_NO_FATAL_FAILURE(expectSame(where + " after result " + text));
            }
        }

        // The user performs once the countdown is over.
        if (model.pending && !refwidgets::running(model.countdown, now) &&
            std::uniform_int_distribution<int>(0, 4)(rng) == 0) {
            // New sets mostly of one type so that later examples often match.
            const int type = std::uniform_int_distribution<int>(0, 5)(rng) < 4
                                 ? reftraining::RIGHT
                                 : std::uniform_int_distribution<int>(0, 2)(rng);
            const std::vector<std::string> real = perform(type, rng);
            const std::vector<std::string> expected = model.capture(type);
            ASSERT_EQ(real, expected) << where;
            for (const std::string& text : real) {
                handleResult(*app, text);
                model.handleResult(text);
            }
            ++captures;
            ASSERT_NO_FATAL_FAILURE(expectSame(where + " after a capture"));
        }

        // Now and then the painting screen comes and goes (by key in the program).
        if (std::uniform_int_distribution<int>(0, 199)(rng) == 0 && model.mode != reftraining::Training) {
            const int mode = model.mode == reftraining::Painting ? reftraining::Recognition : reftraining::Painting;
            app->mode = mode;
            model.mode = mode;
        }
        maxSets = std::max(maxSets, static_cast<int>(model.sets.size()));
    }
    // The run must have reached the interesting states.
    EXPECT_GT(presses, 100);
    EXPECT_GT(captures, 10);
    EXPECT_GT(results, 50);
    EXPECT_GE(maxSets, 2);
    for (const char* name : reftraining::trainingNames()) EXPECT_GT(pressed[name], 3) << name;
}

// In a window narrower than about 840 pixels the two button groups overlap: BUTTON_NEW_GEST and
// BUTTON_NEXT_SET are both under a pointer held on either, and a dwell presses both at once.
TEST_F(TrainingReference, NarrowWindowWithOverlappingGroups) {
    ASSERT_LT(app->window.width, 840u);
    run(2024);
    EXPECT_GT(bothGroupsPressedAtOnce, 0) << "the run never pressed both groups' buttons with one dwell";
}

TEST_F(TrainingReference, StartUpWindowSize) {
    app->window.width = 1600;
    app->window.height = 1000;
    app->window.aspect = 1.6f;
    run(77);
    EXPECT_EQ(bothGroupsPressedAtOnce, 0) << "the groups overlap in a window this wide";
}

// Result texts that are not plain class numbers: the number is the text's leading decimal digits,
// 0 when it does not start with one.
TEST_F(TrainingReference, ResultTextsThatAreNotPlainNumbers) {
    for (const char* text : {"12", "007", "4abc", "abc", "", "-3", "+4", " 5", "NEW_GESTURE_SET", "GESTURE_TRAINED",
                             "DEFAULT_GESTURE", "DEFAULT_GESTURE ", "99", "2147483646"}) {
        EXPECT_EQ(resultMessage(text), Screen::resultMessage(text)) << '"' << text << '"';
        app->nowMs += 100;
        model.now = app->nowMs;
        handleResult(*app, text);
        model.handleResult(text);
        ASSERT_NO_FATAL_FAILURE(expectSame(std::string("after \"") + text + "\""));
    }
}
