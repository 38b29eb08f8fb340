#include "common/sensor/performer_body.h"

#include "common/sensor/frame_source.h"
#include "common/sensor/performer_gestures.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float PI = 3.14159265f;

// Rest offsets from the spine for an adult of about 1.75 m (feet at the floor, 1.15 m
// below the spine). Left is -x.
const Vec3 REST_OFFSETS[JOINT_COUNT] = {
    {0.0f, -0.20f, 0.0f},     // hip centre
    {0.0f, 0.0f, 0.0f},       // spine
    {0.0f, 0.30f, 0.0f},      // shoulder centre
    {0.0f, 0.48f, 0.0f},      // head
    {-0.19f, 0.27f, 0.0f},    // left shoulder
    {-0.21f, -0.02f, 0.03f},  // left elbow (replaced by IK)
    {-0.24f, -0.28f, -0.02f}, // left wrist (replaced by IK)
    {-0.25f, -0.36f, -0.03f}, // left hand (follows the forearm)
    {0.19f, 0.27f, 0.0f},     // right shoulder
    {0.21f, -0.02f, 0.03f},   // right elbow
    {0.24f, -0.28f, -0.02f},  // right wrist
    {0.25f, -0.36f, -0.03f},  // right hand
    {-0.10f, -0.24f, 0.0f},   // left hip
    {-0.11f, -0.68f, -0.02f}, // left knee
    {-0.12f, -1.07f, 0.02f},  // left ankle
    {-0.13f, -1.12f, -0.08f}, // left foot
    {0.10f, -0.24f, 0.0f},    // right hip
    {0.11f, -0.68f, -0.02f},  // right knee
    {0.12f, -1.07f, 0.02f},   // right ankle
    {0.13f, -1.12f, -0.08f},  // right foot
};

// How much of the upper-body sway each joint follows: feet planted, knees half.
float swayWeight(int joint) {
    switch (joint) {
    case JOINT_KNEE_LEFT:
    case JOINT_KNEE_RIGHT:
        return 0.5f;
    case JOINT_ANKLE_LEFT:
    case JOINT_ANKLE_RIGHT:
    case JOINT_FOOT_LEFT:
    case JOINT_FOOT_RIGHT:
        return 0.0f;
    default:
        return 1.0f;
    }
}

}  // namespace

uint32_t performerHash(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint64_t x = (static_cast<uint64_t>(a) << 32 | b) ^ (static_cast<uint64_t>(c) << 32 | d) * 0x9E3779B97F4A7C15ull;
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    x += static_cast<uint64_t>(c) * 0xD6E8FEB86659FD93ull + d;
    x = (x ^ (x >> 32)) * 0xD6E8FEB86659FD93ull;
    return static_cast<uint32_t>(x >> 32);
}

float hashToSigned(uint32_t h) { return static_cast<float>(h) / 2147483647.5f - 1.0f; }

Vec3 shoulderPosition(const PerformerBody& body, int hand, Vec3 sway) {
    float side = hand == HAND_RIGHT ? 1.0f : -1.0f;
    return body.spine + sway + Vec3{side * body.shoulderHalfWidth, body.shoulderHeight, 0.0f};
}

Vec3 restWristPosition(const PerformerBody& body, int hand) {
    // Nearly straight arm (about 160 degrees at the elbow), hand a little forward.
    Vec3 shoulder = shoulderPosition(body, hand, {});
    float side = hand == HAND_RIGHT ? 1.0f : -1.0f;
    Vec3 offset = restArmOffset();
    return shoulder + Vec3{side * offset.x, offset.y, -offset.z};
}

float wristReach(const PerformerBody& body, Vec3 wrist) { return body.spine.z - wrist.z; }

bool solveArmIk(Vec3 shoulder, Vec3 target, float upperArm, float forearm, Vec3 pole, Vec3& elbow,
                Vec3& wrist) {
    Vec3 toTarget = target - shoulder;
    float distance = length(toTarget);
    float maxDistance = upperArm + forearm - 1e-4f;
    float minDistance = std::fabs(upperArm - forearm) + 1e-4f;
    bool reachable = distance >= minDistance && distance <= maxDistance;
    Vec3 dir = distance > 1e-6f ? toTarget / distance : Vec3{0.0f, -1.0f, 0.0f};
    distance = std::clamp(distance, minDistance, maxDistance);

    // Angle at the shoulder between the target line and the upper arm (law of cosines).
    float cosA = (upperArm * upperArm + distance * distance - forearm * forearm) / (2.0f * upperArm * distance);
    cosA = std::clamp(cosA, -1.0f, 1.0f);
    float sinA = std::sqrt(std::max(0.0f, 1.0f - cosA * cosA));

    Vec3 bend = pole - dir * dot(pole, dir);
    if (length(bend) < 1e-4f) {
        // Pole along the target line: any perpendicular will do, prefer downward-back.
        bend = cross(dir, Vec3{1.0f, 0.0f, 0.0f});
        if (length(bend) < 1e-4f) bend = cross(dir, Vec3{0.0f, 0.0f, 1.0f});
    }
    bend = normalized(bend);
    elbow = shoulder + dir * (upperArm * cosA) + bend * (upperArm * sinA);
    wrist = shoulder + dir * distance;
    return reachable;
}

Vec3 elbowPole(int hand) {
    float side = hand == HAND_RIGHT ? 1.0f : -1.0f;
    return normalized(Vec3{side * 0.35f, -0.6f, 0.7f});
}

Vec3 visibleElbowPole(const PerformerBody& body, int hand, Vec3 sway, Vec3 wrist, int tiltDegrees,
                      float minPixels) {
    const Vec3 shoulder = shoulderPosition(body, hand, sway);
    const Vec3 natural = elbowPole(hand);
    Vec3 best = natural;
    float bestPixels = -1.0f;
    // Tries the natural pole first, then swings the elbow out and in by growing steps.
    for (int m = 0; m <= 20; ++m) {
        const int step = (m + 1) / 2 * (m % 2 == 1 ? 1 : -1);
        const Vec3 pole = normalized(natural + Vec3{0.25f * static_cast<float>(step), 0.0f, 0.0f});
        Vec3 elbow, reached;
        solveArmIk(shoulder, wrist, body.upperArm, body.forearm, pole, elbow, reached);
        if (m > 0 && elbow.y > shoulder.y) continue;
        const Vec3 e = applyCameraTilt(elbow, tiltDegrees);
        const Vec3 w = applyCameraTilt(reached, tiltDegrees);
        float ue, ve, uw, vw;
        projectToImage(e.x, e.y, e.z, ue, ve);
        projectToImage(w.x, w.y, w.z, uw, vw);
        const float pixels = std::hypot(uw - ue, vw - ve);
        if (pixels > bestPixels) {
            bestPixels = pixels;
            best = pole;
        }
        if (pixels >= minPixels) break;
    }
    return best;
}

Vec3 swayOffset(uint32_t seed, uint32_t nowMs) {
    // A few slow sinusoids with seeded phases: about 1 cm sideways, 6 mm back and forth.
    float t = static_cast<float>(nowMs % 3600000u) * 0.001f;
    float p1 = hashToSigned(performerHash(seed, 11)) * PI;
    float p2 = hashToSigned(performerHash(seed, 12)) * PI;
    float p3 = hashToSigned(performerHash(seed, 13)) * PI;
    float p4 = hashToSigned(performerHash(seed, 14)) * PI;
    float x = 0.008f * std::sin(2.0f * PI * t / 4.3f + p1) + 0.003f * std::sin(2.0f * PI * t / 2.3f + p2);
    float z = 0.006f * std::sin(2.0f * PI * t / 5.7f + p3);
    float y = 0.002f * std::sin(2.0f * PI * t / 3.7f + p4);  // breathing
    return {x, y, z};
}

void buildPerformerSkeleton(const PerformerBody& body, Vec3 sway, Vec3 leftWrist, Vec3 rightWrist,
                            SkeletonRecord& out, const Vec3* poles) {
    out = SkeletonRecord{};
    out.trackingState = SKELETON_TRACKED;
    out.trackingId = 1;
    for (int joint = 0; joint < JOINT_COUNT; ++joint) {
        setJointPosition(out, joint, body.spine + REST_OFFSETS[joint] + sway * swayWeight(joint));
        out.joints[joint].w = 1.0f;
        out.jointTrackingStates[joint] = 2;
    }
    const Vec3 targets[2] = {leftWrist, rightWrist};
    const int elbowJoint[2] = {JOINT_ELBOW_LEFT, JOINT_ELBOW_RIGHT};
    const int wristJoint[2] = {JOINT_WRIST_LEFT, JOINT_WRIST_RIGHT};
    const int handJoint[2] = {JOINT_HAND_LEFT, JOINT_HAND_RIGHT};
    for (int hand = 0; hand < 2; ++hand) {
        Vec3 shoulder = shoulderPosition(body, hand, sway);
        Vec3 elbow, wrist;
        solveArmIk(shoulder, targets[hand], body.upperArm, body.forearm,
                   poles != nullptr ? poles[hand] : elbowPole(hand), elbow, wrist);
        setJointPosition(out, elbowJoint[hand], elbow);
        setJointPosition(out, wristJoint[hand], wrist);
        setJointPosition(out, handJoint[hand], wrist + normalized(wrist - elbow) * body.handLength);
    }
    Vec3 spine = jointPosition(out, JOINT_SPINE);
    out.position = {spine.x, spine.y, spine.z, 1.0f};
}

void addTrackerJitter(SkeletonRecord& record, uint32_t seed, uint32_t nowMs) {
    // A smoothing tracker's noise: up to about 2 mm per axis, but wandering slowly (new noise
    // every 400 ms, blended), so that a person standing still also measures as still.
    constexpr float amplitude = 0.001f;
    constexpr uint32_t knotMs = 400;
    const uint32_t knot = nowMs / knotMs;
    const float blend = static_cast<float>(nowMs % knotMs) / static_cast<float>(knotMs);
    const float w = blend * blend * (3.0f - 2.0f * blend);
    auto noise = [&](uint32_t k, uint32_t joint, uint32_t axis) {
        return hashToSigned(performerHash(seed, k, joint, axis)) +
               hashToSigned(performerHash(seed ^ 0xA5A5A5A5u, k, joint, axis + 7));
    };
    for (int joint = 0; joint < JOINT_COUNT; ++joint) {
        float* axes[3] = {&record.joints[joint].x, &record.joints[joint].y, &record.joints[joint].z};
        for (uint32_t axis = 0; axis < 3; ++axis) {
            uint32_t j = static_cast<uint32_t>(joint);
            float n = noise(knot, j, axis) * (1.0f - w) + noise(knot + 1, j, axis) * w;
            *axes[axis] += amplitude * n;
        }
    }
}

Vec3 applyCameraTilt(Vec3 p, int tiltDegrees) {
    if (tiltDegrees == 0) return p;
    float a = static_cast<float>(tiltDegrees) * PI / 180.0f;
    float c = std::cos(a), s = std::sin(a);
    // Camera pitched up by a: forward (0, s, c), up (0, c, -s).
    return {p.x, p.y * c - p.z * s, p.y * s + p.z * c};
}

void applyCameraTilt(SkeletonRecord& record, int tiltDegrees) {
    if (tiltDegrees == 0) return;
    for (Vector4& joint : record.joints) {
        Vec3 p = applyCameraTilt(Vec3{joint.x, joint.y, joint.z}, tiltDegrees);
        joint.x = p.x;
        joint.y = p.y;
        joint.z = p.z;
    }
    Vec3 p = applyCameraTilt(Vec3{record.position.x, record.position.y, record.position.z}, tiltDegrees);
    record.position.x = p.x;
    record.position.y = p.y;
    record.position.z = p.z;
}
