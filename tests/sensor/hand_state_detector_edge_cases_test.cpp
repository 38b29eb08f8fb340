// Edge cases of the open/closed detector, and a line-by-line reference of its measurement
// written straight from the algorithm's description, so that the exact extents, radii, peaks
// and hand image are checked and not only the open/closed outcome.
#include "common/sensor/hand_state_detector.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "common/sensor/frame_source.h"
#include "common/sensor/performer_body.h"
#include "common/sensor/performer_renderer.h"
#include "hand_scenes.h"

namespace {

constexpr uint16_t FAR_MM = 3500;

// ---------------------------------------------------------------------------------------------
// Reference measurement, one step of the description after the other.

struct Reference {
    int depthThreshold = 110;
    int neighbourhood = 8;
    int filterSize = 6;
    float gradient = 0.6f;
    int hand = 1;

    // Outcome of the last call.
    int stoppedAt = 0;  // 0 measured, else the step that stopped the frame (2, 5 or 9)
    int A = 0, B = 0, C = 0;
    std::vector<float> profile;
    float meanRadius = 0.0f;
    std::vector<int> peaks;
    int imageWidth = 0, imageHeight = 0;
    std::vector<uint8_t> image;
    std::deque<bool> history{false, false, false};
    int state = 0;
    std::vector<std::string> events;
    int measuredFrames = 0;
    int peakedFrames = 0;  // measured frames with at least one peak

    static int trunc(float v) { return static_cast<int>(v); }

    struct Pix {
        int u = 0, v = 0, d = 0;
    };
    static Pix project(const Vector4& p) {
        Pix r;
        if (p.z <= 1.1920929e-7f) return r;
        r.u = trunc(p.x * 2.0f * 285.63f / p.z + 320.0f + 0.5f);
        r.v = trunc(240.0f - p.y * 2.0f * 285.63f / p.z + 0.5f);
        r.d = trunc(p.z * 1000.0f) % 8192;
        return r;
    }

    void update(const SkeletonRecord& s, const uint16_t* mm) {
        const int wristJ = hand == 0 ? 6 : 10;
        const int elbowJ = hand == 0 ? 5 : 9;
        const Pix w = project(s.joints[wristJ]);
        for (int j : {0, 1, 2, 3, 4, 8}) {
            if (project(s.joints[j]).d < w.d) {
                stoppedAt = 2;
                return;
            }
        }
        const Pix e = project(s.joints[elbowJ]);
        float a = (e.u - w.u > 0 ? 1.0f : -1.0f) *
                  std::atan2(static_cast<float>(std::abs(e.u - w.u)), static_cast<float>(std::abs(e.v - w.v)));
        if (e.v < w.v) a = 3.1415927f - a;
        const float ca = std::cos(a);
        const float sa = std::sin(a);
        auto hand = [&](int i, int j) {
            const int x = w.u + trunc(static_cast<float>(i) * ca - static_cast<float>(j) * sa + 0.5f);
            const int y = w.v - trunc(static_cast<float>(i) * sa + static_cast<float>(j) * ca + 0.5f);
            if (x < 1 || x > 639 || y < 1 || y > 479) return false;
            return std::abs(static_cast<int>(mm[y * 640 + x]) - w.d) < depthThreshold;
        };
        auto columnHasHand = [&](int i) {
            for (int j = 0; j <= 199; ++j)
                if (hand(i, j)) return true;
            return false;
        };
        int a0 = 0, b0 = 0, c0 = 0;
        for (int i = 0; i >= -99; --i) {
            if (!columnHasHand(i)) break;
            a0 = i;
        }
        for (int i = 0; i <= 99; ++i) {
            if (!columnHasHand(i)) break;
            b0 = i;
        }
        for (int j = 0; j <= 199; ++j) {
            bool any = false;
            for (int i = a0; i < b0; ++i) any = any || hand(i, j);
            if (!any) break;
            c0 = j;
        }
        if (a0 == 0 && b0 == 0) {
            stoppedAt = 5;
            return;
        }
        A = a0;
        B = b0;
        C = c0;

        profile.clear();
        float sum = 0.0f;
        auto tanDeg = [](float p) { return std::tan(p * 3.1415927f / 180.0f); };
        auto add = [&](int i, int j) {
            const float r = std::sqrt(static_cast<float>(i * i + j * j));
            profile.push_back(r);
            sum += r;
        };
        for (int k = 0; k < 90; ++k) {  // P = 0 .. 44.5
            const float t = tanDeg(0.5f * static_cast<float>(k));
            for (int i = B; i >= 1; --i) {
                const int j = trunc(static_cast<float>(i) * t + 0.5f);
                if (hand(i, j)) { add(i, j); break; }
            }
        }
        for (int k = 0; k < 90; ++k) {  // P = 45 .. 0.5
            const float t = tanDeg(45.0f - 0.5f * static_cast<float>(k));
            for (int j = C; j >= 1; --j) {
                const int i = trunc(static_cast<float>(j) * t + 0.5f);
                if (hand(i, j)) { add(i, j); break; }
            }
        }
        for (int k = 0; k < 90; ++k) {  // P = 0 .. 44.5
            const float t = tanDeg(0.5f * static_cast<float>(k));
            for (int j = C; j >= 1; --j) {
                const int i = -trunc(static_cast<float>(j) * t + 0.5f);
                if (hand(i, j)) { add(i, j); break; }
            }
        }
        for (int k = 0; k <= 90; ++k) {  // P = 45 .. 0
            const float t = tanDeg(45.0f - 0.5f * static_cast<float>(k));
            for (int i = A; i <= -1; ++i) {
                const int j = trunc(0.5f - static_cast<float>(i) * t);
                if (hand(i, j)) { add(i, j); break; }
            }
        }

        const int n = static_cast<int>(profile.size());
        const int f = filterSize;
        if (n > 2 * f) {
            const std::vector<float> c = profile;
            float S = 0.0f;
            for (int m = 0; m <= 2 * f; ++m) S += c[m];
            const float wgt = 1.0f / static_cast<float>(2 * f + 1);
            for (int i = 0; i < f; ++i) profile[i] = S * wgt;
            for (int i = f; i <= n - f - 2; ++i) {
                profile[i] = S * wgt;
                S = S + c[i + f + 1] - c[i - f];
            }
            for (int i = n - f - 1; i < n; ++i) profile[i] = S * wgt;
        }
        meanRadius = sum / static_cast<float>(n);

        peaks.clear();
        const int k = neighbourhood;
        if (n < 2 * k) {
            stoppedAt = 9;
            return;
        }
        for (int i = k; i <= n - k - 1; ++i) {
            bool ok = profile[i] > meanRadius;
            for (int m = 0; m < k; ++m) {
                ok = ok && profile[i - m] >= profile[i - m - 1] && profile[i + m] >= profile[i + m + 1];
            }
            const float fk = static_cast<float>(k);
            ok = ok && (profile[i] - profile[i - k]) / fk + (profile[i] - profile[i + k]) / fk > gradient;
            if (ok) peaks.push_back(i);
        }
        const bool closedNow = peaks.size() < 2;

        imageWidth = B - A + 1;
        imageHeight = C + 1;
        image.assign(static_cast<size_t>(imageWidth * imageHeight * 4), 0);
        for (int r = 0; r < imageHeight; ++r) {
            for (int c = 0; c < imageWidth; ++c) {
                const uint8_t g = hand(A + c, C - r) ? 180 : 0;
                uint8_t* px = &image[static_cast<size_t>((r * imageWidth + c) * 4)];
                px[0] = px[1] = px[2] = g;
            }
        }

        history.pop_front();
        history.push_back(closedNow);
        const std::string side = this->hand == 0 ? "LEFT" : "RIGHT";
        if (state == 0 && history[0] && history[1] && history[2]) {
            events.push_back(side + "_HAND_CLOSED");
            state = 1;
        } else if (state == 1 && !history[0] && !history[1] && !history[2]) {
            events.push_back(side + "_HAND_OPENED");
            state = 0;
        }
        stoppedAt = 0;
        ++measuredFrames;
        peakedFrames += peaks.empty() ? 0 : 1;
    }
};

// Runs detector and reference side by side and compares everything the detector exposes.
void expectSameAsReference(HandStateDetector& d, Reference& ref, std::deque<std::string>& events,
                           const SkeletonRecord& s, const std::vector<uint16_t>& mm) {
    const HandMeasurement m = d.update(s, mm.data(), events);
    ref.update(s, mm.data());
    const int want = ref.stoppedAt == 0 ? HAND_MEASURED
                     : ref.stoppedAt == 2 ? HAND_BEHIND_BODY
                     : ref.stoppedAt == 5 ? HAND_NOT_FOUND
                                          : HAND_PROFILE_SHORT;
    ASSERT_EQ(m, want);
    if (ref.stoppedAt == 0 || ref.stoppedAt == 9) {
        EXPECT_EQ(d.extentA, ref.A);
        EXPECT_EQ(d.extentB, ref.B);
        EXPECT_EQ(d.extentC, ref.C);
        ASSERT_EQ(d.profile.size(), ref.profile.size());
        for (size_t i = 0; i < ref.profile.size(); ++i) {
            ASSERT_NEAR(d.profile[i], ref.profile[i], 1e-3f * (1.0f + ref.profile[i])) << "entry " << i;
        }
        EXPECT_NEAR(d.meanRadius, ref.meanRadius, 1e-4f * (1.0f + ref.meanRadius));
        EXPECT_EQ(d.peaks, ref.peaks);
    }
    EXPECT_EQ(d.imageWidth, ref.imageWidth);
    EXPECT_EQ(d.imageHeight, ref.imageHeight);
    EXPECT_EQ(d.image, ref.image);
    EXPECT_EQ(d.history[0], ref.history[0]);
    EXPECT_EQ(d.history[1], ref.history[1]);
    EXPECT_EQ(d.history[2], ref.history[2]);
    EXPECT_EQ(d.state, ref.state);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.end()), ref.events);
}

// A hand drawn straight into the image: palm disc and fingers as bars from the palm centre.
// Angles are image angles in degrees (0 = up, positive clockwise).
void drawImageHand(std::vector<uint16_t>& mm, float cu, float cv, float palm, const std::vector<float>& fingers,
                   float length, uint16_t depth) {
    for (int y = 0; y < FRAME_HEIGHT; ++y) {
        for (int x = 0; x < FRAME_WIDTH; ++x) {
            const float du = static_cast<float>(x) - cu;
            const float dv = static_cast<float>(y) - cv;
            bool inside = du * du + dv * dv <= palm * palm;
            for (float deg : fingers) {
                const float t = deg * 3.1415927f / 180.0f;
                const float along = du * std::sin(t) - dv * std::cos(t);
                const float across = du * std::cos(t) + dv * std::sin(t);
                inside = inside || (along >= 0.0f && along <= length && std::fabs(across) <= 4.0f);
            }
            if (inside) mm[static_cast<size_t>(y) * FRAME_WIDTH + x] = depth;
        }
    }
}

// Salt of in-band and out-of-band pixels so that outlines and profiles get ragged.
void sprinkle(std::vector<uint16_t>& mm, uint32_t seed, uint16_t inBand, int perMille) {
    for (int i = 0; i < FRAME_PIXELS; ++i) {
        const uint32_t h = performerHash(static_cast<uint32_t>(i), seed);
        if (h % 1000u < static_cast<uint32_t>(perMille)) {
            mm[i] = (h >> 12) % 2u == 0 ? inBand : FAR_MM;
        }
    }
}

TEST(HandStateDetectorReference, DrawnHandsInEveryDirectionAndAtTheImageBorder) {
    struct Case {
        float uw, vw, ue, ve;
        std::vector<float> fingers;
        int noise;
    };
    const std::vector<float> open = {-80.0f, -40.0f, 0.0f, 35.0f, 70.0f};
    const std::vector<float> two = {-20.0f, 25.0f};
    const std::vector<float> none;
    const Case cases[] = {
        {320, 240, 320, 320, open, 0},   {320, 240, 320, 160, open, 0},  {320, 240, 400, 240, two, 0},
        {320, 240, 240, 240, open, 0},   {320, 240, 377, 297, none, 0},  {320, 240, 263, 183, open, 20},
        {320, 240, 345, 316, two, 40},   {320, 240, 300, 160, none, 40}, {6, 5, 60, 60, open, 0},
        {634, 474, 580, 420, open, 0},   {2, 240, 2, 320, two, 30},      {320, 477, 330, 400, open, 0},
    };
    Reference ref;
    HandStateDetector d(1, nullptr);
    std::deque<std::string> events;
    uint32_t seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "wrist " << c.uw << ", " << c.vw << " elbow " << c.ue << ", " << c.ve
                                        << " fingers " << c.fingers.size() << " noise " << c.noise);
        std::vector<uint16_t> mm(FRAME_PIXELS, FAR_MM);
        // The palm's centre lies forward of the wrist, away from the elbow.
        const float fu = c.uw - c.ue, fv = c.vw - c.ve;
        const float len = std::sqrt(fu * fu + fv * fv);
        drawImageHand(mm, c.uw + 20.0f * fu / len, c.vw + 20.0f * fv / len, 20.0f, c.fingers, 50.0f, 2010);
        if (c.noise > 0) sprinkle(mm, seed++, 2030, c.noise);
        const SkeletonRecord s = armSkeleton(1, c.uw, c.vw, c.ue, c.ve, 2.0f);
        for (int frame = 0; frame < 3; ++frame) {
            expectSameAsReference(d, ref, events, s, mm);
        }
    }
    // The cases must really exercise the measurement: most frames measured, fingers found,
    // and the state changing both ways.
    EXPECT_GE(ref.measuredFrames, 30);
    EXPECT_GE(ref.peakedFrames, 15);
    EXPECT_GE(ref.events.size(), 2u);
}

TEST(HandStateDetectorReference, OtherSettingsAndRenderedPerformer) {
    struct Settings {
        int threshold, k, f;
        float g;
    };
    const Settings settings[] = {{110, 8, 6, 0.6f}, {60, 3, 0, 0.2f}, {200, 1, 1, 0.05f}, {110, 12, 20, 1.5f}};
    const Vec3 places[] = {{0.25f, 0.30f, 0.30f}, {0.50f, 0.10f, 0.20f}, {0.20f, 0.10f, 0.45f}, {-0.10f, 0.15f, 0.35f}};
    std::vector<uint16_t> packed(FRAME_PIXELS);
    std::vector<uint16_t> mm(FRAME_PIXELS);
    for (const Settings& st : settings) {
        for (int hand : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "threshold " << st.threshold << " k " << st.k << " f " << st.f
                                            << " g " << st.g << " hand " << hand);
            Reference ref;
            ref.hand = hand;
            ref.depthThreshold = st.threshold;
            ref.neighbourhood = st.k;
            ref.filterSize = st.f;
            ref.gradient = st.g;
            HandStateDetector d(hand, nullptr);
            d.depthThreshold = st.threshold;
            d.neighbourhood = st.k;
            d.filterSize = st.f;
            d.gradient = st.g;
            std::deque<std::string> events;
            int frame = 0;
            for (const Vec3& place : places) {
                for (HandShape shape : {HandShape::OPEN, HandShape::CLOSED, HandShape::CLOSED, HandShape::CLOSED}) {
                    PerformerBody body;
                    const float side = hand == 1 ? 1.0f : -1.0f;
                    const Vec3 wrist = body.spine + Vec3{side * place.x, place.y, -place.z};
                    const Vec3 left = hand == 0 ? wrist : restWristPosition(body, 0);
                    const Vec3 right = hand == 1 ? wrist : restWristPosition(body, 1);
                    SkeletonRecord s;
                    buildPerformerSkeleton(body, Vec3{0.0f, 0.0f, 0.0f}, left, right, s);
                    addTrackerJitter(s, 3, static_cast<uint32_t>(frame) * 33u);
                    renderPerformerDepth(s, hand == 0 ? shape : HandShape::OPEN, hand == 1 ? shape : HandShape::OPEN, 0,
                                         packed.data());
                    for (int i = 0; i < FRAME_PIXELS; ++i) mm[i] = static_cast<uint16_t>(packed[i] >> 3);
                    expectSameAsReference(d, ref, events, s, mm);
                    ++frame;
                }
            }
            EXPECT_GE(ref.measuredFrames, 12);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Edge cases, each worked out by hand.

// With the elbow straight below the wrist the forearm angle is 0: grid (i, j) is the pixel
// (uw + trunc(i + 0.5), vw - j), so i = -1 falls on the wrist's own column.
struct UprightArm {
    static constexpr int UW = 300;
    static constexpr int VW = 250;
    SkeletonRecord skeleton = armSkeleton(1, UW, VW, UW, VW + 80, 2.0f);
    std::vector<uint16_t> mm = std::vector<uint16_t>(FRAME_PIXELS, FAR_MM);
    void set(int i, int j, uint16_t depth = 2000) {
        const int x = UW + static_cast<int>(static_cast<float>(i) + 0.5f);
        mm[static_cast<size_t>(VW - j) * FRAME_WIDTH + x] = depth;
    }
};

// A closed detector with a measured fist behind it, for the cases that must leave it alone.
struct ClosedDetector {
    HandStateDetector d{1, nullptr};
    std::deque<std::string> events;
    ClosedDetector() {
        std::vector<uint16_t> mm(FRAME_PIXELS, FAR_MM);
        drawImageHand(mm, 320.0f, 220.0f, 20.0f, {}, 0.0f, 2000);
        const SkeletonRecord s = armSkeleton(1, 320, 240, 320, 320, 2.0f);
        for (int i = 0; i < 3; ++i) d.update(s, mm.data(), events);
    }
};

TEST(HandStateDetectorEdgeCases, ProfileShorterThanTwiceTheNeighbourhoodKeepsStateImageAndHistory) {
    ClosedDetector c;
    ASSERT_EQ(c.d.state, 1);
    c.d.peaks = {3, 9};   // stale peaks that the short frame must clear
    const std::vector<uint8_t> image = c.d.image;
    const int width = c.d.imageWidth;
    const int height = c.d.imageHeight;

    // Columns 1 and 2 hold a pixel far forward (only so that B reaches 3), column 0 one at
    // j = 50 (so A = -1 through the shared column, but no ray of the negative side meets it:
    // they look at j <= 1 only), and (3, 3) is the only pixel any ray meets: the rays of the
    // positive side at P = 40 .. 44.5 (3 tan P + 0.5 >= 3 from 39.8 degrees on), ten of them.
    // No pixel at j = 0 between A and B, so C = 0 and the forward rays are skipped.
    UprightArm arm;
    arm.set(0, 50);
    arm.set(1, 100);
    arm.set(2, 150);
    arm.set(3, 3);
    EXPECT_EQ(c.d.update(arm.skeleton, arm.mm.data(), c.events), HAND_PROFILE_SHORT);
    EXPECT_EQ(c.d.extentA, -1);
    EXPECT_EQ(c.d.extentB, 3);
    EXPECT_EQ(c.d.extentC, 0);
    ASSERT_EQ(c.d.profile.size(), 10u);   // 10 <= 2f: the raw radii, unsmoothed
    for (float r : c.d.profile) EXPECT_FLOAT_EQ(r, std::sqrt(18.0f));
    EXPECT_FLOAT_EQ(c.d.meanRadius, std::sqrt(18.0f));
    EXPECT_TRUE(c.d.peaks.empty());
    EXPECT_EQ(c.d.state, 1);
    EXPECT_EQ(c.d.history, (std::array<bool, 3>{{true, true, true}}));
    EXPECT_EQ(c.d.imageWidth, width);
    EXPECT_EQ(c.d.imageHeight, height);
    EXPECT_EQ(c.d.image, image);
    EXPECT_EQ(c.events, (std::deque<std::string>{"RIGHT_HAND_CLOSED"}));
}

TEST(HandStateDetectorEdgeCases, EmptyWristColumnMeansNoHandEvenWithHandPixelsBeside) {
    ClosedDetector c;
    const std::vector<float> profile = c.d.profile;
    const std::vector<int> peaks = c.d.peaks;
    const std::vector<uint8_t> image = c.d.image;
    const float mean = c.d.meanRadius;

    // A whole block of hand pixels on both sides, but the wrist's column (i = 0 and i = -1)
    // is outside the depth band everywhere: both side scans stop at once.
    UprightArm arm;
    for (int i = -30; i <= 30; ++i) {
        for (int j = 0; j <= 60; ++j) arm.set(i, j, i == 0 ? 2200 : 2000);
    }
    EXPECT_EQ(c.d.update(arm.skeleton, arm.mm.data(), c.events), HAND_NOT_FOUND);
    EXPECT_EQ(c.d.profile, profile);
    EXPECT_EQ(c.d.peaks, peaks);
    EXPECT_EQ(c.d.image, image);
    EXPECT_EQ(c.d.meanRadius, mean);
    EXPECT_EQ(c.d.state, 1);
    EXPECT_EQ(c.d.history, (std::array<bool, 3>{{true, true, true}}));

    // A depth differing from the wrist's by exactly the threshold is outside the band.
    UprightArm edge;
    for (int j = 0; j <= 60; ++j) edge.set(0, j, 2000 + 110);
    EXPECT_EQ(c.d.update(edge.skeleton, edge.mm.data(), c.events), HAND_NOT_FOUND);
    UprightArm inside;
    for (int j = 0; j <= 60; ++j) inside.set(0, j, 2000 - 109);
    EXPECT_NE(c.d.update(inside.skeleton, inside.mm.data(), c.events), HAND_NOT_FOUND);
}

TEST(HandStateDetectorEdgeCases, ForwardExtentLooksOnlyAtColumnsBeforeB) {
    // The wrist's column holds one pixel at j = 5 (A = -1 through the shared column), column 1
    // a bar from j = 0 to 10 (B = 1). The forward scan looks at A <= i < B only, so it finds
    // nothing at j = 0 and C stays 0, although column B itself starts at j = 0.
    UprightArm arm;
    arm.set(0, 5);
    for (int j = 0; j <= 10; ++j) arm.set(1, j);
    HandStateDetector d(1, nullptr);
    std::deque<std::string> events;
    ASSERT_EQ(d.update(arm.skeleton, arm.mm.data(), events), HAND_MEASURED);
    EXPECT_EQ(d.extentA, -1);
    EXPECT_EQ(d.extentB, 1);
    EXPECT_EQ(d.extentC, 0);
    // Only the positive side's rays hit, at (1, 0) while tan P < 0.5 (P <= 26.5, 54 rays) and at
    // (1, 1) beyond (36 rays); the negative side's rays look at j <= 1 of the empty wrist rows.
    ASSERT_EQ(d.profile.size(), 90u);
    EXPECT_NEAR(d.meanRadius, (54.0f + 36.0f * std::sqrt(2.0f)) / 90.0f, 1e-5f);
    EXPECT_FLOAT_EQ(d.profile.front(), 1.0f);   // smoothed: the first full window is all 1
    EXPECT_FLOAT_EQ(d.profile.back(), std::sqrt(2.0f));
    EXPECT_TRUE(d.peaks.empty());
    EXPECT_EQ(d.imageWidth, 3);
    EXPECT_EQ(d.imageHeight, 1);
}

TEST(HandStateDetectorEdgeCases, HugeSettingsTypedIntoThePanelAreSafe) {
    // The panel's fields take any integer. Twice a value above INT_MAX / 2 does not fit an int;
    // the size tests must still read "not enough entries" and leave the profile as measured.
    std::vector<uint16_t> mm(FRAME_PIXELS, FAR_MM);
    drawImageHand(mm, 320.0f, 220.0f, 20.0f, {-70.0f, -35.0f, 0.0f, 35.0f, 70.0f}, 55.0f, 2000);
    const SkeletonRecord s = armSkeleton(1, 320, 240, 320, 320, 2.0f);
    std::deque<std::string> events;

    HandStateDetector raw(1, nullptr);
    raw.filterSize = 1000;   // more than half the longest profile: the raw radii
    raw.neighbourhood = 2000000000;
    ASSERT_EQ(raw.update(s, mm.data(), events), HAND_PROFILE_SHORT);
    ASSERT_GT(raw.profile.size(), 300u);

    HandStateDetector d(1, nullptr);
    d.filterSize = 1500000000;
    d.neighbourhood = 1500000000;
    EXPECT_EQ(d.update(s, mm.data(), events), HAND_PROFILE_SHORT);
    EXPECT_EQ(d.profile, raw.profile);   // too few entries to smooth: left raw
    EXPECT_TRUE(d.peaks.empty());

    std::vector<float> scratch;
    std::vector<float> p = {1.0f, 4.0f, 2.0f};
    smoothProfile(p, 2147483647, scratch);
    EXPECT_EQ(p, (std::vector<float>{1.0f, 4.0f, 2.0f}));
    std::vector<int> peaks{1};
    findProfilePeaks(p, 0.0f, 2147483647, 0.0f, peaks);
    EXPECT_TRUE(peaks.empty());
    EXPECT_TRUE(events.empty());
}

TEST(HandStateDetectorEdgeCases, FramesNotMeasuredNeitherBreakNorCountTowardTheThree) {
    std::vector<uint16_t> fistImage(FRAME_PIXELS, FAR_MM);
    drawImageHand(fistImage, 320.0f, 220.0f, 20.0f, {}, 0.0f, 2000);
    std::vector<uint16_t> openImage(FRAME_PIXELS, FAR_MM);
    drawImageHand(openImage, 320.0f, 220.0f, 20.0f, {-70.0f, -35.0f, 0.0f, 35.0f, 70.0f}, 55.0f, 2000);
    const SkeletonRecord arm = armSkeleton(0, 320, 240, 320, 320, 2.0f);
    SkeletonRecord behind = arm;
    behind.joints[JOINT_HEAD].z = 1.9f;   // the head nearer than the wrist
    const std::vector<uint16_t> empty(FRAME_PIXELS, FAR_MM);

    HandStateDetector d(0, nullptr);
    std::deque<std::string> events;
    ASSERT_EQ(d.update(arm, fistImage.data(), events), HAND_MEASURED);
    ASSERT_EQ(d.update(arm, fistImage.data(), events), HAND_MEASURED);
    EXPECT_EQ(d.update(behind, openImage.data(), events), HAND_BEHIND_BODY);
    EXPECT_EQ(d.update(arm, empty.data(), events), HAND_NOT_FOUND);
    EXPECT_EQ(d.state, 0);
    EXPECT_TRUE(events.empty());
    ASSERT_EQ(d.update(arm, fistImage.data(), events), HAND_MEASURED);
    EXPECT_EQ(d.state, 1);
    EXPECT_EQ(events, (std::deque<std::string>{"LEFT_HAND_CLOSED"}));

    // Closed: two open frames and a closed one never open it; three open ones do, once.
    for (const std::vector<uint16_t>* image : {&openImage, &openImage, &fistImage, &openImage, &openImage}) {
        ASSERT_EQ(d.update(arm, image->data(), events), HAND_MEASURED);
        EXPECT_EQ(d.state, 1);
    }
    ASSERT_EQ(d.update(arm, openImage.data(), events), HAND_MEASURED);
    EXPECT_EQ(d.state, 0);
    ASSERT_EQ(d.update(arm, openImage.data(), events), HAND_MEASURED);
    EXPECT_EQ(events, (std::deque<std::string>{"LEFT_HAND_CLOSED", "LEFT_HAND_OPENED"}));
}

}  // namespace
