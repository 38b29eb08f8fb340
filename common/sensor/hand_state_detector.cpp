#include "common/sensor/hand_state_detector.h"

#include <cmath>
#include <cstdlib>

#include "common/sensor/frame_source.h"
#include "common/sensor/sensor_input.h"

namespace {

constexpr float PI_F = 3.1415927f;
constexpr int IMAGE_BYTES_MAX = (2 * HAND_MAX_SIDE + 1) * (HAND_MAX_FORWARD + 1) * 4;

// The rays in profile order. Each ray is marched from the outside of the extent inward along
// one axis; `slope` is tan of its angle from that axis.
enum RayKind {
    RAY_POSITIVE_SIDE,     // i from B down to 1, j = trunc(i * t + 0.5)
    RAY_FORWARD_POSITIVE,  // j from C down to 1, i = trunc(j * t + 0.5)
    RAY_FORWARD_NEGATIVE,  // j from C down to 1, i = -trunc(j * t + 0.5)
    RAY_NEGATIVE_SIDE      // i from A up to -1, j = trunc(0.5 - i * t)
};

struct Ray {
    RayKind kind = RAY_POSITIVE_SIDE;
    float slope = 0.0f;
};

const std::array<Ray, HAND_RAY_COUNT>& rayTable() {
    static const std::array<Ray, HAND_RAY_COUNT> table = [] {
        std::array<Ray, HAND_RAY_COUNT> t{};
        auto slope = [](float degrees) { return std::tan(degrees * PI_F / 180.0f); };
        int n = 0;
        for (int p = 0; p < 90; ++p) t[n++] = {RAY_POSITIVE_SIDE, slope(0.5f * p)};
        for (int p = 0; p < 90; ++p) t[n++] = {RAY_FORWARD_POSITIVE, slope(45.0f - 0.5f * p)};
        for (int p = 0; p < 90; ++p) t[n++] = {RAY_FORWARD_NEGATIVE, slope(0.5f * p)};
        for (int p = 0; p <= 90; ++p) t[n++] = {RAY_NEGATIVE_SIDE, slope(45.0f - 0.5f * p)};
        return t;
    }();
    return table;
}

// Truncation toward zero, guarded so that a degenerate joint (z just above the projection
// threshold) cannot overflow the int conversion.
int truncGuarded(float value) {
    const float limit = 1.0e6f;
    if (!(value > -limit)) return -1000000;
    if (!(value < limit)) return 1000000;
    return static_cast<int>(value);
}

// Millimetres kept modulo 8192, as the depth image's 13 bits hold them. Exact for every finite
// value: the int guard above would turn a joint over 1 km away into a wrong depth.
int depthModulo(float millimetres) {
    if (!std::isfinite(millimetres)) return truncGuarded(millimetres) & 8191;
    const double remainder = std::fmod(std::trunc(static_cast<double>(millimetres)), 8192.0);
    return static_cast<int>(remainder < 0.0 ? remainder + 8192.0 : remainder);
}

// The hand in the forearm's frame: grid point (i, j) -> image pixel -> depth band test.
struct ForearmGrid {
    const uint16_t* depth = nullptr;
    int uw = 0;
    int vw = 0;
    int dw = 0;
    int threshold = 0;
    float cosA = 1.0f;
    float sinA = 0.0f;

    bool isHand(int i, int j) const {
        const float fi = static_cast<float>(i);
        const float fj = static_cast<float>(j);
        const int x = uw + static_cast<int>(fi * cosA - fj * sinA + 0.5f);
        const int y = vw - static_cast<int>(fi * sinA + fj * cosA + 0.5f);
        if (x < 1 || x > FRAME_WIDTH - 1 || y < 1 || y > FRAME_HEIGHT - 1) {
            return false;
        }
        return std::abs(static_cast<int>(depth[y * FRAME_WIDTH + x]) - dw) < threshold;
    }

    bool anyAcross(int i) const {
        for (int j = 0; j <= HAND_MAX_FORWARD; ++j) {
            if (isHand(i, j)) return true;
        }
        return false;
    }
};

}  // namespace

JointPixel projectJointPixel(const Vector4& joint) {
    JointPixel p;
    if (!(joint.z > PROJECTION_MIN_Z)) {
        return p;
    }
    p.u = truncGuarded(joint.x * 2.0f * 285.63f / joint.z + 320.0f + 0.5f);
    p.v = truncGuarded(240.0f - joint.y * 2.0f * 285.63f / joint.z + 0.5f);
    p.depth = depthModulo(joint.z * 1000.0f);
    return p;
}

void smoothProfile(std::vector<float>& profile, int filterSize, std::vector<float>& scratch) {
    const int n = static_cast<int>(profile.size());
    const int f = filterSize;
    // 2f in 64 bits: the panel takes any int, and twice a large one would wrap negative.
    if (f < 0 || static_cast<int64_t>(n) <= 2 * static_cast<int64_t>(f)) {
        return;
    }
    scratch.assign(profile.begin(), profile.end());
    const std::vector<float>& c = scratch;
    float sum = 0.0f;
    for (int m = 0; m <= 2 * f; ++m) sum += c[m];
    const float w = 1.0f / static_cast<float>(2 * f + 1);
    for (int i = 0; i < f; ++i) profile[i] = sum * w;
    for (int i = f; i <= n - f - 2; ++i) {
        profile[i] = sum * w;
        sum = sum + c[i + f + 1] - c[i - f];
    }
    for (int i = n - f - 1; i < n; ++i) profile[i] = sum * w;
}

void findProfilePeaks(const std::vector<float>& profile, float meanRadius, int neighbourhood,
                      float gradient, std::vector<int>& peaks) {
    peaks.clear();
    const int n = static_cast<int>(profile.size());
    const int k = neighbourhood;
    if (k < 1) {
        return;  // k = 0: every slope is 0 / 0, never above the gradient; k < 0: no test at all
    }
    const float fk = static_cast<float>(k);
    for (int i = k; i <= n - k - 1; ++i) {
        if (!(profile[i] > meanRadius)) continue;
        bool shaped = true;
        for (int m = 0; m < k && shaped; ++m) {
            shaped = profile[i - m] >= profile[i - m - 1] && profile[i + m] >= profile[i + m + 1];
        }
        if (!shaped) continue;
        const float slope = (profile[i] - profile[i - k]) / fk + (profile[i] - profile[i + k]) / fk;
        if (slope > gradient) {
            peaks.push_back(i);
        }
    }
}

HandStateDetector::HandStateDetector() : HandStateDetector(0, nullptr) {}

HandStateDetector::HandStateDetector(int handIndex, const SensorInput* sensorInput)
    : hand(handIndex),
      wristJoint(handIndex == 1 ? JOINT_WRIST_RIGHT : JOINT_WRIST_LEFT),
      elbowJoint(handIndex == 1 ? JOINT_ELBOW_RIGHT : JOINT_ELBOW_LEFT),
      sensor(sensorInput) {
    profile.reserve(HAND_RAY_COUNT);
    peaks.reserve(HAND_RAY_COUNT);
    image.reserve(IMAGE_BYTES_MAX);
    smoothingCopy.reserve(HAND_RAY_COUNT);
}

HandMeasurement HandStateDetector::update(std::deque<std::string>& handEvents) {
    if (sensor == nullptr || sensor->depthMillimetres.size() < static_cast<size_t>(FRAME_PIXELS)) {
        lastMeasurement = HAND_NO_INPUT;
        return HAND_NO_INPUT;
    }
    return update(sensor->skeleton, sensor->depthMillimetres.data(), handEvents);
}

HandMeasurement HandStateDetector::update(const SkeletonRecord& skeleton,
                                          const uint16_t* depthMillimetres,
                                          std::deque<std::string>& handEvents) {
    auto finish = [this](HandMeasurement m) {
        lastMeasurement = m;
        return m;
    };
    if (depthMillimetres == nullptr || wristJoint < 0 || wristJoint >= JOINT_COUNT ||
        elbowJoint < 0 || elbowJoint >= JOINT_COUNT) {
        return finish(HAND_NO_INPUT);
    }

    // 1-2. Wrist, and the torso check: a hand behind the body's plane is not measured.
    const JointPixel wrist = projectJointPixel(skeleton.joints[wristJoint]);
    static const int torsoJoints[] = {JOINT_HIP_CENTER, JOINT_SPINE, JOINT_SHOULDER_CENTER,
                                      JOINT_HEAD, JOINT_SHOULDER_LEFT, JOINT_SHOULDER_RIGHT};
    for (int joint : torsoJoints) {
        if (projectJointPixel(skeleton.joints[joint]).depth < wrist.depth) {
            return finish(HAND_BEHIND_BODY);
        }
    }
    wristU = wrist.u;
    wristV = wrist.v;
    wristDepth = wrist.depth;

    // 3-4. Forearm angle in the image: forward (i = 0, j > 0) points from the elbow through
    // the wrist; the image's v axis points down.
    const JointPixel elbow = projectJointPixel(skeleton.joints[elbowJoint]);
    const float du = static_cast<float>(elbow.u - wrist.u);
    const float dv = static_cast<float>(elbow.v - wrist.v);
    float a = (du > 0.0f ? 1.0f : -1.0f) * std::atan2(std::fabs(du), std::fabs(dv));
    if (elbow.v < wrist.v) {
        a = PI_F - a;
    }
    forearmAngle = a;

    ForearmGrid grid;
    grid.depth = depthMillimetres;
    grid.uw = wrist.u;
    grid.vw = wrist.v;
    grid.dw = wrist.depth;
    grid.threshold = depthThreshold;
    grid.cosA = std::cos(a);
    grid.sinA = std::sin(a);

    // 5. Extent: columns across the forearm while they hold hand pixels, then forward rows.
    int extA = 0;
    int extB = 0;
    int extC = 0;
    for (int i = 0; i >= -HAND_MAX_SIDE && grid.anyAcross(i); --i) extA = i;
    for (int i = 0; i <= HAND_MAX_SIDE && grid.anyAcross(i); ++i) extB = i;
    for (int j = 0; j <= HAND_MAX_FORWARD; ++j) {
        bool found = false;
        for (int i = extA; i < extB && !found; ++i) found = grid.isHand(i, j);
        if (!found) break;
        extC = j;
    }
    extentA = extA;
    extentB = extB;
    extentC = extC;
    if (extA == 0 && extB == 0) {
        return finish(HAND_NOT_FOUND);
    }

    // 6. Radius profile: the first hand pixel met marching inward along each ray.
    profile.clear();
    float sum = 0.0f;
    for (const Ray& ray : rayTable()) {
        int hitI = 0;
        int hitJ = 0;
        bool hit = false;
        switch (ray.kind) {
        case RAY_POSITIVE_SIDE:
            for (int i = extB; i >= 1 && !hit; --i) {
                const int j = static_cast<int>(static_cast<float>(i) * ray.slope + 0.5f);
                if (grid.isHand(i, j)) { hit = true; hitI = i; hitJ = j; }
            }
            break;
        case RAY_FORWARD_POSITIVE:
        case RAY_FORWARD_NEGATIVE:
            for (int j = extC; j >= 1 && !hit; --j) {
                int i = static_cast<int>(static_cast<float>(j) * ray.slope + 0.5f);
                if (ray.kind == RAY_FORWARD_NEGATIVE) i = -i;
                if (grid.isHand(i, j)) { hit = true; hitI = i; hitJ = j; }
            }
            break;
        case RAY_NEGATIVE_SIDE:
            for (int i = extA; i <= -1 && !hit; ++i) {
                const int j = static_cast<int>(0.5f - static_cast<float>(i) * ray.slope);
                if (grid.isHand(i, j)) { hit = true; hitI = i; hitJ = j; }
            }
            break;
        }
        if (hit) {
            const float r = std::sqrt(static_cast<float>(hitI * hitI + hitJ * hitJ));
            profile.push_back(r);
            sum += r;
        }
    }

    // 7-8. Smooth; the mean is of the raw radii.
    smoothProfile(profile, filterSize, smoothingCopy);
    const int n = static_cast<int>(profile.size());
    meanRadius = n > 0 ? sum / static_cast<float>(n) : 0.0f;

    // 9-11. Peaks (fingers). A profile too short for the peak test is not a measurement. A
    // neighbourhood of 0 is measured and finds no peak (every slope is 0 / 0), so the hand reads
    // closed; a negative one would reach outside the profile and is not a measurement.
    peaks.clear();
    if (neighbourhood < 0 || static_cast<int64_t>(n) < 2 * static_cast<int64_t>(neighbourhood)) {
        return finish(HAND_PROFILE_SHORT);
    }
    findProfilePeaks(profile, meanRadius, neighbourhood, gradient, peaks);
    const bool closedNow = peaks.size() < 2;

    // 12. The hand image: first row farthest from the wrist, grey hand on black.
    imageWidth = extB - extA + 1;
    imageHeight = extC + 1;
    image.resize(static_cast<size_t>(imageWidth) * static_cast<size_t>(imageHeight) * 4);
    uint8_t* px = image.data();
    for (int r = 0; r < imageHeight; ++r) {
        for (int c = 0; c < imageWidth; ++c) {
            const uint8_t grey = grid.isHand(extA + c, extC - r) ? 180 : 0;
            px[0] = grey;
            px[1] = grey;
            px[2] = grey;
            px[3] = 0;
            px += 4;
        }
    }

    // 13-14. Three unanimous measured frames change the state.
    history[0] = history[1];
    history[1] = history[2];
    history[2] = closedNow;
    const char* side = hand == 1 ? "RIGHT" : "LEFT";
    if (state == 0 && history[0] && history[1] && history[2]) {
        handEvents.push_back(std::string(side) + "_HAND_CLOSED");
        state = 1;
    } else if (state == 1 && !history[0] && !history[1] && !history[2]) {
        handEvents.push_back(std::string(side) + "_HAND_OPENED");
        state = 0;
    }
    return finish(HAND_MEASURED);
}
