#include "common/sensor/performer_gestures.h"

#include <algorithm>
#include <cmath>

#include "common/sensor/performer_body.h"

namespace {

constexpr float PI = 3.14159265f;
// Arms hang nearly straight, a little away from the body and forward, so that their angles
// are well defined at rest (a vertical upper arm has no stable horizontal direction). With the
// elbows bending back toward the pole, the upper arms then point down and slightly out to the
// side: elbows about 162 degrees (clear of the 150-degree cut where forearm rotation starts
// to count), elevation about 12 and horizontal adduction about 0, which is the relaxed pose the
// recogniser's rest check compares with.
const Vec3 REST = {0.09f, -0.55f, 0.08f};

std::vector<PerformerGesture> makeGestures() {
    const Vec3 r = REST;
    std::vector<PerformerGesture> list;
    auto add = [&](const char* name, bool left, bool right, uint32_t ms, std::vector<Vec3> points) {
        PerformerGesture g;
        g.name = name;
        g.usesArm[0] = left;
        g.usesArm[1] = right;
        g.durationMs = ms;
        g.keyPoints = std::move(points);
        list.push_back(std::move(g));
    };
    // A circle in front of the body, out-up-in-down, around (0.18, 0.02) from the shoulder.
    const std::vector<Vec3> circle = {r,
                                      {0.18f, -0.22f, 0.32f},
                                      {0.39f, -0.10f, 0.32f},
                                      {0.39f, 0.14f, 0.32f},
                                      {0.18f, 0.26f, 0.32f},
                                      {-0.03f, 0.14f, 0.32f},
                                      {-0.03f, -0.10f, 0.32f},
                                      {0.18f, -0.22f, 0.32f},
                                      r};
    // From across the chest out to the side at chest height.
    const std::vector<Vec3> swipe = {r, {-0.25f, -0.05f, 0.35f}, {0.10f, 0.0f, 0.40f}, {0.45f, 0.0f, 0.25f}, r};
    // Durations are those of deliberate teaching, 3 to 3.5 s. The recogniser cuts a candidate
    // of more than 64 frames down to 64 poses spread by path length, so a slow performance and
    // one that carries rest at its ends come out alike; below about 2.5 s the trained examples and
    // the candidates keep their own lengths, which often differ by more than the DTW band
    // (a tenth of the longer) allows, and a performance is then rarely recognised.
    add("right_circle", false, true, 3300, circle);
    add("left_circle", true, false, 3300, circle);
    // The right arm moves from the person's left to their right; the left arm mirrors it.
    add("right_swipe", false, true, 3000, swipe);
    add("left_swipe", true, false, 3000, swipe);
    add("right_raise", false, true, 3000, {r, {0.12f, 0.0f, 0.22f}, {0.06f, 0.55f, 0.04f}, {0.12f, 0.0f, 0.22f}, r});
    // Up at the side, then forward at shoulder height before coming down in front: a straight
    // up-and-down stalls at the top long enough to read as a rest in the middle of the gesture.
    add("left_side_raise", true, false, 3000,
        {r, {0.30f, -0.35f, 0.05f}, {0.56f, 0.0f, 0.02f}, {0.42f, 0.02f, 0.32f}, {0.22f, -0.30f, 0.22f}, r});
    add("both_y", true, true, 3000, {r, {0.20f, -0.10f, 0.15f}, {0.32f, 0.46f, 0.03f}, {0.20f, -0.10f, 0.15f}, r});
    add("push", true, true, 3000,
        {r, {-0.02f, -0.25f, 0.22f}, {-0.04f, -0.02f, 0.25f}, {-0.05f, 0.0f, 0.55f}, {-0.04f, -0.02f, 0.25f}, r});
    add("wave", false, true, 3500,
        {r, {0.15f, 0.0f, 0.15f}, {0.25f, 0.30f, 0.10f}, {0.08f, 0.33f, 0.10f}, {0.28f, 0.30f, 0.10f},
         {0.08f, 0.33f, 0.10f}, {0.25f, 0.30f, 0.10f}, {0.15f, 0.0f, 0.15f}, r});
    // Hands meet above the head twice.
    add("clap", true, true, 3100,
        {r, {0.25f, 0.0f, 0.20f}, {-0.14f, 0.42f, 0.12f}, {0.08f, 0.36f, 0.14f}, {-0.14f, 0.42f, 0.12f},
         {0.25f, 0.0f, 0.20f}, r});
    return list;
}

Vec3 catmullRom(Vec3 p0, Vec3 p1, Vec3 p2, Vec3 p3, float t) {
    float t2 = t * t, t3 = t2 * t;
    return 0.5f * ((2.0f * p1) + (p2 - p0) * t + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * t2 +
                   (3.0f * p1 - p0 - 3.0f * p2 + p3) * t3);
}

}  // namespace

Vec3 restArmOffset() { return REST; }

const std::vector<PerformerGesture>& performerGestures() {
    static const std::vector<PerformerGesture> gestures = makeGestures();
    return gestures;
}

const PerformerGesture* findPerformerGesture(const std::string& name) {
    for (const PerformerGesture& g : performerGestures()) {
        if (g.name == name) return &g;
    }
    return nullptr;
}

GestureVariation gestureVariation(uint32_t seed) {
    GestureVariation v;
    v.amplitude = 1.0f + 0.06f * hashToSigned(performerHash(seed, 101));
    v.speed = 1.0f + 0.08f * hashToSigned(performerHash(seed, 102));
    v.warp = 0.03f * hashToSigned(performerHash(seed, 103));
    v.lift = 0.02f * hashToSigned(performerHash(seed, 104));
    return v;
}

uint32_t gestureDurationMs(const PerformerGesture& gesture, const GestureVariation& variation) {
    float speed = std::clamp(variation.speed, 0.5f, 2.0f);
    float ms = static_cast<float>(gesture.durationMs) / speed;
    return static_cast<uint32_t>(std::clamp(ms, 1200.0f, 4000.0f));
}

Vec3 gestureArmOffset(const PerformerGesture& gesture, const GestureVariation& variation, float phase) {
    const std::vector<Vec3>& k = gesture.keyPoints;
    if (k.empty()) return REST;
    float t = std::clamp(phase, 0.0f, 1.0f);
    // Timing skew that keeps the ends fixed, then an ease that starts and stops at rest speed 0.
    t = std::clamp(t + variation.warp * std::sin(PI * t), 0.0f, 1.0f);
    float s = t - std::sin(2.0f * PI * t) / (2.0f * PI);
    int segments = static_cast<int>(k.size()) - 1;
    if (segments <= 0) return k[0];
    float x = s * static_cast<float>(segments);
    int i = std::min(static_cast<int>(x), segments - 1);
    float u = x - static_cast<float>(i);
    Vec3 p0 = k[std::max(i - 1, 0)];
    Vec3 p3 = k[std::min(i + 2, segments)];
    Vec3 p = catmullRom(p0, k[i], k[i + 1], p3, u);
    Vec3 offset = REST + (p - REST) * variation.amplitude;
    offset.y += variation.lift * std::sin(PI * s);
    return offset;
}
