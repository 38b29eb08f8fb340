// The colour picker next to an independent model of its rules (reference_picker.h): the hexcone
// conversion over the whole hue circle and beyond, and long random sequences of grips and wrist
// motions, compared after every frame.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "common/tools/colorpicker.h"
#include "common/tools/tool_dispatch.h"
#include "tools/reference_picker.h"

namespace {

bool near(float a, float b, float tolerance) { return std::fabs(a - b) <= tolerance; }

}  // namespace

TEST(PickerAgainstModel, HexconeOverTheWholeCircleAndPastItsEnds) {
    const float saturations[] = {-1.0f, -0.4f, 0.0f, 0.35f, 1.0f};
    const float values[] = {-1.0f, 0.0f, 0.55f, 1.0f};
    int compared = 0;
    for (int step = -600; step <= 4400; ++step) {  // hue -60 .. 440 degrees by 0.1
        const float hue = static_cast<float>(step) * 0.1f;
        for (float s : saturations) {
            for (float v : values) {
                const Rgb real = hexconeColor(hue, s, v);
                const ref::Colour model = ref::hexcone(hue, s, v);
                for (size_t k = 0; k < 3; ++k) {
                    ASSERT_TRUE(near(real[k], model[k], 2e-5f))
                        << "hue " << hue << " s " << s << " v " << v << " component " << k << ": real "
                        << real[k] << " model " << model[k];
                }
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 5001 * 20);
}

// The rim of the wheel runs to 361 degrees: the last sliver is red again, not black.
TEST(PickerAgainstModel, TheWheelsLastRimVertexIsRed) {
    const Rgb rim = hexconeColor(361.0f, 1.0f, 1.0f);
    const ref::Colour model = ref::hexcone(361.0f, 1.0f, 1.0f);
    for (size_t k = 0; k < 3; ++k) EXPECT_NEAR(rim[k], model[k], 1e-5f);
    EXPECT_NEAR(rim[0], 1.0f, 1e-5f);
}

TEST(PickerAgainstModel, RandomDragsFrameByFrame) {
    int wraps = 0;
    int limits = 0;
    for (unsigned seed = 1; seed <= 16; ++seed) {
        std::mt19937 rng(seed);
        auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
        auto chance = [&](double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(rng) < p; };

        WindowInfo window{"picker", 1.6f, 1000, 1600};
        Rgb color = INITIAL_COLOR;
        Colorpicker picker(color, window);
        ref::Picker model;
        ref::Colour modelColour{{0.0f, 0.55f, 0.75f}};
        ArmPose pose{};
        bool leftClosed = false;
        bool rightClosed = false;
        for (int frame = 0; frame < 2000; ++frame) {
            if (chance(0.15)) leftClosed = !leftClosed;
            if (chance(0.15)) rightClosed = !rightClosed;
            for (size_t i = 0; i < pose.size(); ++i) {
                if (i != ref::LEFT_WRIST_Y && i != ref::RIGHT_WRIST_X && i != ref::RIGHT_WRIST_Y) {
                    pose[i] = uniform(-3.0f, 3.0f);  // values the picker must not read
                }
            }
            if (!chance(0.1)) {  // now and then the wrists hold still
                const float reach = chance(0.03) ? 3.0f : (chance(0.1) ? 0.1f : 0.015f);
                pose[ref::LEFT_WRIST_Y] += uniform(-reach, reach);
                pose[ref::RIGHT_WRIST_X] += uniform(-reach, reach);
                pose[ref::RIGHT_WRIST_Y] += uniform(-reach, reach);
            }
            ref::Pose modelPose{};
            for (size_t i = 0; i < pose.size(); ++i) modelPose[i] = pose[i];

            dispatchToolInput(&picker, pose, leftClosed, rightClosed);
            model.input(ref::inputFor(leftClosed, rightClosed), modelPose, modelColour);

            const std::string where = "seed " + std::to_string(seed) + " frame " + std::to_string(frame);
            ASSERT_TRUE(near(picker.hue, model.hue, 1e-3f)) << where << ": hue " << picker.hue << " vs " << model.hue;
            ASSERT_GE(picker.hue, 0.0f) << where;
            ASSERT_LE(picker.hue, 360.0f) << where;
            ASSERT_TRUE(near(picker.saturation, model.saturation, 1e-5f)) << where;
            ASSERT_TRUE(near(picker.value, model.value, 1e-5f)) << where;
            for (size_t k = 0; k < 3; ++k) {
                ASSERT_TRUE(near(color[k], modelColour[k], 1e-4f)) << where << ": colour " << k;
            }
            for (size_t i = 0; i < pose.size(); ++i) ASSERT_EQ(picker.lastPose[i], modelPose[i]) << where;
        }
        wraps += model.hueWraps;
        limits += model.limits;
    }
    // The drags did turn the wheel past its ends and pushed saturation and value to their limits.
    EXPECT_GT(wraps, 100);
    EXPECT_GT(limits, 100);
}
