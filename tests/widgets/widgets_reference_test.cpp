// Long random runs of the dwell buttons, the countdown, the label's fading and the glyph layout,
// compared step by step with an independent model (reference_widgets.h). None of this needs GL.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/widgets/button.h"
#include "common/widgets/glyph_tables.h"
#include "common/widgets/label.h"
#include "widgets/reference_widgets.h"

namespace {

// A pointer position near a button: well inside, exactly on the circle, just outside, far away,
// or on another button.
struct PointerChoice {
    float x, y;
};

PointerChoice pickPointer(std::mt19937& rng, const std::vector<refwidgets::Button>& buttons) {
    std::uniform_int_distribution<int> which(0, static_cast<int>(buttons.size()) - 1);
    const refwidgets::Button& b = buttons[which(rng)];
    switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
        case 0:
            return {b.x, b.y};
        case 1:
            return {b.x + b.size, b.y};  // on the circle: outside
        case 2:
            return {b.x + 0.6f * b.size, b.y + 0.8f * b.size};  // 0.36 + 0.64 of size squared
        case 3:
            return {b.x + std::uniform_real_distribution<float>(-1.2f, 1.2f)(rng) * b.size,
                    b.y + std::uniform_real_distribution<float>(-1.2f, 1.2f)(rng) * b.size};
        case 4:
            return {b.x - 0.999f * b.size, b.y};
        default:
            return {-500.0f, -500.0f};
    }
}

// Time steps that land on and beside the 1000 ms dwell and the 1200 ms disable thresholds.
uint32_t pickStep(std::mt19937& rng) {
    static const uint32_t steps[] = {0, 1, 16, 33, 200, 999, 1000, 1001, 1199, 1200, 1201};
    if (std::uniform_int_distribution<int>(0, 2)(rng) == 0)
        return steps[std::uniform_int_distribution<int>(0, 10)(rng)];
    return std::uniform_int_distribution<uint32_t>(0, 400)(rng);
}

void expectSame(const Button& real, const refwidgets::Button& model, int step) {
    ASSERT_EQ(real.state, model.state) << real.name << " at step " << step;
    ASSERT_EQ(real.disableAfterPress, model.disableAfterPress) << real.name << " at step " << step;
    ASSERT_EQ(real.visible, model.visible) << real.name << " at step " << step;
    ASSERT_EQ(real.hoverStart, model.hoverStart) << real.name << " at step " << step;
    ASSERT_EQ(real.pressTime, model.pressTime) << real.name << " at step " << step;
    ASSERT_EQ(int(buttonAlpha(real)), refwidgets::alpha(model)) << real.name << " at step " << step;
}

}  // namespace

TEST(WidgetsReference, DwellButtonsFollowTheModelOverLongRandomRuns) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        ButtonList real;
        std::vector<refwidgets::Button> model;
        // Overlapping and separate buttons of different sizes; the clock may wrap on some seeds.
        const float xs[] = {100.0f, 120.0f, 400.0f, 400.0f};
        const float sizes[] = {32.0f, 20.0f, 64.0f, 10.5f};
        for (int i = 0; i < 4; ++i) {
            const std::string name = "BUTTON_" + std::to_string(i);
            real.push_back(makeButton(name, xs[i], 300.0f, sizes[i], 0, 210, 255));
            refwidgets::Button m;
            m.name = name;
            m.x = xs[i];
            m.y = 300.0f;
            m.size = sizes[i];
            model.push_back(m);
        }
        uint32_t now = seed % 3 == 0 ? 0xFFFFF000u : 1000u;
        ButtonEvents realEvents;
        std::deque<std::string> modelEvents;
        for (int step = 0; step < 4000; ++step) {
            now += pickStep(rng);
            // The program switches buttons on and off between frames.
            const int action = std::uniform_int_distribution<int>(0, 29)(rng);
            const int target = std::uniform_int_distribution<int>(0, 3)(rng);
            if (action == 0) {
                real[target].disableAfterPress = false;
                real[target].state = ButtonIdle;
                real[target].visible = true;
                refwidgets::enable(model[target]);
            } else if (action == 1) {
                if (real[target].state == ButtonPressed)
                    real[target].disableAfterPress = true;
                else
                    real[target].state = ButtonDisabled;
                refwidgets::switchOff(model[target]);
            } else if (action == 2) {
                real[target].visible = !real[target].visible;  // drawing only: no effect on dwell
                model[target].visible = !model[target].visible;
            }
            const PointerChoice p = pickPointer(rng, model);
            for (int i = 0; i < 4; ++i)
                ASSERT_EQ(buttonContains(real[i], p.x, p.y), refwidgets::inside(model[i], p.x, p.y));
            updateButtons(real, p.x, p.y, now, realEvents);
            for (refwidgets::Button& m : model) refwidgets::update(m, p.x, p.y, now, modelEvents);
            for (int i = 0; i < 4; ++i) expectSame(real[i], model[i], step);
            ASSERT_EQ(realEvents, modelEvents) << "seed " << seed << " step " << step;
        }
        EXPECT_GT(modelEvents.size(), 20u) << "the run should press buttons often";
    }
}

TEST(WidgetsReference, CountdownRunningAndSecondsLeftAtEveryMillisecond) {
    std::mt19937 rng(77);
    const uint32_t durations[] = {0, 1, 999, 1000, 3000, 4000, 12345};
    for (int round = 0; round < 60; ++round) {
        refwidgets::Countdown model;
        model.duration = durations[round % 7];
        model.start = round % 10 == 9 ? 0u : std::uniform_int_distribution<uint32_t>(1, 0xFFFFFFFFu)(rng);
        Countdown real;
        real.start = model.start;
        real.duration = model.duration;
        for (uint32_t t = 0; t <= model.duration + 2; ++t) {
            const uint32_t now = model.start + t;
            const bool running = refwidgets::running(model, now);
            ASSERT_EQ(countdownRunning(real, now), running) << model.start << "+" << t;
            if (running) {
                const int left = refwidgets::secondsLeft(model, now);
                ASSERT_EQ(countdownSecondsLeft(real, now), left) << model.start << "+" << t;
            }
        }
    }
    // A 4000 ms capture countdown shows 4 only at its first millisecond, then 3, 2, 1, nothing.
    Countdown capture{5000, 4000};
    EXPECT_EQ(refwidgets::digits(countdownSecondsLeft(capture, 5000)), std::vector<int>{4});
    EXPECT_EQ(refwidgets::digits(countdownSecondsLeft(capture, 5001)), std::vector<int>{3});
    EXPECT_EQ(refwidgets::digits(countdownSecondsLeft(capture, 8000)), std::vector<int>{1});
    EXPECT_TRUE(refwidgets::digits(countdownSecondsLeft(capture, 8001)).empty());
    EXPECT_TRUE(countdownRunning(capture, 9000));
    EXPECT_FALSE(countdownRunning(capture, 9001));
    EXPECT_EQ(refwidgets::digits(12), (std::vector<int>{1, 2}));
}

TEST(WidgetsReference, LabelFadeAndAlphasAroundEveryBoundary) {
    std::mt19937 rng(5);
    const int32_t durations[] = {-1, 0, 1, 500, 1500, 2000};
    const uint32_t fades[] = {0, 1, 3, 500, 777};
    int compared = 0;
    for (int32_t duration : durations) {
        for (uint32_t fadeMs : fades) {
            const uint32_t start = std::uniform_int_distribution<uint32_t>(0, 0xFFFFFFFFu)(rng);
            std::vector<int64_t> moments;
            const int64_t edges[] = {0, fadeMs, int64_t(fadeMs) + duration, int64_t(duration) + 2 * fadeMs};
            for (int64_t edge : edges)
                for (int64_t d = -3; d <= 3; ++d) moments.push_back(edge + d);
            for (int i = 0; i < 200; ++i)
                moments.push_back(std::uniform_int_distribution<int64_t>(0, duration + 2 * int64_t(fadeMs) + 10)(rng));
            for (int64_t t : moments) {
                if (t < 0) continue;
                const uint32_t now = start + uint32_t(t);
                const refwidgets::Fade m = refwidgets::fade(duration, fadeMs, start, now);
                const LabelFade r = labelFade(duration, fadeMs, start, now);
                // At opacity 0 the scale 1 / f is infinite and nothing can be seen: drawing
                // nothing at all is the same picture.
                if (m.visible && m.opacity == 0.0 && !r.visible) continue;
                ASSERT_EQ(r.visible, m.visible) << duration << "/" << fadeMs << " t=" << t;
                if (!m.visible) continue;
                ASSERT_NEAR(r.opacity, m.opacity, 1e-6) << duration << "/" << fadeMs << " t=" << t;
                if (std::isfinite(m.scale) && m.scale < 1e6)
                    ASSERT_NEAR(r.scale, m.scale, 1e-5 * m.scale) << duration << "/" << fadeMs << " t=" << t;
                else
                    ASSERT_GT(r.scale, 1e6f) << "fully faded: infinitely small";
                const uint8_t a = uint8_t(std::uniform_int_distribution<int>(0, 255)(rng));
                // Exact for the program's own opacity; the model's may differ by rounding only.
                ASSERT_EQ(int(labelTextAlpha(a, r.opacity)), refwidgets::textAlpha(a, r.opacity)) << int(a) << " t=" << t;
                ASSERT_EQ(int(labelBoxAlpha(a, r.opacity)), refwidgets::boxAlpha(a, r.opacity));
                ASSERT_NEAR(int(labelTextAlpha(a, r.opacity)), refwidgets::textAlpha(a, m.opacity), 1);
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 5000);
}

TEST(WidgetsReference, GlyphTableAndTextWidthsMatchTheBoundaryLists) {
    const std::vector<refwidgets::Glyph> model = refwidgets::glyphTable();
    const GlyphTable real = buildGlyphTable(11, 22);
    for (int c = 0; c < 256; ++c) {
        const Glyph* g = real.find(static_cast<unsigned char>(c));
        ASSERT_EQ(g != nullptr, model[c].exists) << "character " << c;
        if (!g) continue;
        EXPECT_EQ(g->atlas, model[c].atlas) << "character " << c;
        EXPECT_FLOAT_EQ(g->u0, model[c].u0) << "character " << c;
        EXPECT_FLOAT_EQ(g->u1, model[c].u1) << "character " << c;
        EXPECT_EQ(g->texture, model[c].atlas == 0 ? 11u : 22u) << "character " << c;
        EXPECT_EQ(g->character, c);
        for (uint32_t height : {1u, 24u, 30u}) {
            for (uint32_t spacing : {0u, 5u}) {
                const double advance = double(model[c].u1 - model[c].u0) + spacing / (height * 21.875);
                EXPECT_NEAR(glyphAdvance(*g, height, spacing), advance, 1e-6);
            }
        }
    }
    std::mt19937 rng(9);
    const std::string alphabet =
        "ABCXYZabcxyz0189() !?.,:;+-*/#'%_=\"@~\t\x80\xff" + std::string(1, '\0');
    for (int i = 0; i < 3000; ++i) {
        std::string text;
        const int n = std::uniform_int_distribution<int>(0, 40)(rng);
        for (int k = 0; k < n; ++k)
            text.push_back(alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)]);
        const uint32_t height = std::uniform_int_distribution<uint32_t>(1, 80)(rng);
        const uint32_t spacing = std::uniform_int_distribution<uint32_t>(0, 20)(rng);
        const double expected = refwidgets::textWidth(model, text, height, spacing);
        ASSERT_NEAR(labelTextWidth(real, text, height, spacing), expected, 1e-4 + 1e-5 * expected) << text;
    }
    // Exact numbers: "Ab 1" at height 30, spacing 5: A, b, space and 1 with 5 / 656.25 after each.
    const double ab1 = (0.0358 - 0.0) + (0.0528 - 0.0257) + (0.9630 - 0.9428) + (0.6984 - 0.6834) +
                       4 * 5 / (30 * 21.875);
    EXPECT_NEAR(labelTextWidth(real, "Ab 1", 30, 5), ab1, 1e-5);
    EXPECT_NEAR(labelTextWidth(real, "A%_=b", 30, 0), 0.0358 + 0.0271, 1e-5);
    const LabelMargins box = labelMargins(true), none = labelMargins(false);
    EXPECT_FLOAT_EQ(box.x, 0.1f);
    EXPECT_FLOAT_EQ(box.y, 0.3f);
    EXPECT_FLOAT_EQ(none.x, 0.0f);
    EXPECT_FLOAT_EQ(none.y, 0.0f);
}
