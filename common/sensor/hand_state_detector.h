#pragma once
// HandStateDetector: decides once per frame whether one hand is open or closed, from the depth
// image alone, guided by the wrist and elbow of the tracked skeleton.
//
// It straightens the hand into the forearm's frame (i across the forearm, j forward from the
// wrist, away from the elbow), finds the hand's extent there, casts 361 rays over the half-plane
// beyond the wrist to get the outline's radius profile, smooths it and counts pronounced peaks
// (fingers). Fewer than two peaks means closed. Three agreeing measured frames change `state`,
// and each change appends "LEFT_HAND_CLOSED", "RIGHT_HAND_OPENED" and the like to the caller's
// event queue. Headless; only the frame loop's thread touches a detector.
#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "common/sensor/skeleton_record.h"

class SensorInput;

// What one update did. Only MEASURED frames feed the three-frame history.
enum HandMeasurement {
    HAND_MEASURED = 0,
    HAND_BEHIND_BODY = 1,     // a torso joint is nearer the camera than the wrist
    HAND_NOT_FOUND = 2,       // no hand pixels on either side of the wrist (A = B = 0)
    HAND_PROFILE_SHORT = 3,   // fewer than 2 * neighbourhood profile entries
    HAND_NO_INPUT = 4         // no sensor or depth image to read
};

constexpr int HAND_MAX_SIDE = 99;        // perpendicular scan limit, grid steps each side
constexpr int HAND_MAX_FORWARD = 199;    // forward scan limit, grid steps
constexpr int HAND_RAY_COUNT = 361;      // 90 + 90 + 90 + 91 rays, positive side to negative

struct HandStateDetector {
    // Tunable from the settings panel (the panel sets no limits, so update guards them).
    int depthThreshold = 110;  // mm: hand pixels differ from the wrist's depth by less than this
    int neighbourhood = 8;     // k: half-width of the peak test, profile entries
    int filterSize = 6;        // f: half-width of the smoothing window, profile entries
    float gradient = 0.6f;     // minimum summed slope of a peak, pixels per entry

    int hand = 0;              // 0 left, 1 right
    int wristJoint = JOINT_WRIST_LEFT;
    int elbowJoint = JOINT_ELBOW_LEFT;
    const SensorInput* sensor = nullptr;  // not owned; source of skeleton and depthMillimetres

    // Results of the last measured frame, for the on-screen graphs.
    std::vector<float> profile;    // smoothed radii (pixels), angle order, at most 361
    float meanRadius = 0.0f;       // mean of the unsmoothed radii
    std::vector<int> peaks;        // profile indices of accepted peaks
    std::array<bool, 3> history{{false, false, false}};  // per-frame decisions (true = closed), oldest first
    int imageWidth = 0;
    int imageHeight = 0;
    std::vector<uint8_t> image;    // imageWidth x imageHeight, B, G, R, A; first row farthest from the wrist
    int state = 0;                 // 0 open, 1 closed (debounced)

    // Diagnostics of the last update that got that far (not part of the decision's inputs).
    int wristU = 0, wristV = 0, wristDepth = 0;  // wrist pixel and depth (mm)
    float forearmAngle = 0.0f;                   // radians
    int extentA = 0, extentB = 0, extentC = 0;   // A <= 0 <= B across, 0..C forward
    int lastMeasurement = HAND_NO_INPUT;

    HandStateDetector();
    // Hand 0 follows the left wrist and elbow, hand 1 the right. Buffers are reserved here so
    // that updates never allocate (except for the event text on a state change).
    HandStateDetector(int hand, const SensorInput* sensor);

    // Once per frame after the sensor fetches: reads sensor->skeleton and
    // sensor->depthMillimetres.
    HandMeasurement update(std::deque<std::string>& handEvents);

    // The same on explicit inputs: depthMillimetres is 640 x 480 millimetres, rows top down.
    HandMeasurement update(const SkeletonRecord& skeleton, const uint16_t* depthMillimetres,
                           std::deque<std::string>& handEvents);

    bool closed() const { return state == 1; }

private:
    std::vector<float> smoothingCopy;  // reused by every smoothing pass
};

// A joint in image pixels with the detector's rounding; depth in mm modulo 8192.
// Points at z <= 1.1920929e-7 give all zero.
struct JointPixel {
    int u = 0;
    int v = 0;
    int depth = 0;
};
JointPixel projectJointPixel(const Vector4& joint);

// Moving mean over 2f + 1 entries; the first and last f entries repeat the first and last full
// windows. Done only when profile.size() > 2f and f >= 0. `scratch` is reused storage.
void smoothProfile(std::vector<float>& profile, int filterSize, std::vector<float>& scratch);

// Appends to `peaks` (cleared first) every index i in [k, n - k - 1] above meanRadius that rises
// (not strictly) over the k entries before and falls over the k after, with summed slope
// (p[i] - p[i-k]) / k + (p[i] - p[i+k]) / k above `gradient`. Nothing for k < 1.
void findProfilePeaks(const std::vector<float>& profile, float meanRadius, int neighbourhood,
                      float gradient, std::vector<int>& peaks);
