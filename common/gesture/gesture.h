#pragma once
// Gestures: short sequences of arm poses, the trained classes they form, and the operations
// on pose sequences that the similarity measures and the recogniser share.
#include <array>
#include <cstdint>
#include <vector>

#include "common/gesture/arm_pose.h"
#include "common/sensor/skeleton_record.h"

// Which arm a gesture is made with. Stored as a 32-bit integer in gesture-set files.
enum class GestureType : int32_t { LEFT = 0, RIGHT = 1, BOTH = 2, UNDEFINED = 3 };

// "LEFT", "RIGHT", "BOTH", "UNDEFINED"; any other value "NO GESTURE TYPE".
const char* gestureTypeName(GestureType type);

// The eight gesture features of a pose, left arm then right arm: pose values 0, 2, 4, 6, 1, 3, 5, 7
// (elbow, elevation, horizontal adduction, rotation).
constexpr int FEATURE_COUNT = 8;
using FeatureVector = std::array<float, FEATURE_COUNT>;
constexpr std::array<int, FEATURE_COUNT> FEATURE_POSE_INDEX = {0, 2, 4, 6, 1, 3, 5, 7};

struct Gesture {
    std::vector<ArmPose> poses;
    std::vector<SkeletonRecord> skeletons;  // the frames it was cut from; only stored, may be empty
    GestureType type = GestureType::UNDEFINED;
    // Which stored frame the training screen replays next; kept between visits, never saved.
    uint32_t replayCounter = 0;
};

// One trained class. A set's index in the recogniser's list is its class number.
struct GestureSet {
    std::vector<Gesture> gestures;
    std::vector<float> classVariances;  // FEATURE_COUNT values once computed, else empty
    GestureType type = GestureType::UNDEFINED;
};

using GestureSetList = std::vector<GestureSet>;

// Distance of two poses over the features of `type`: LEFT values 0, 2, 4, 6; RIGHT 1, 3, 5, 7;
// BOTH 0..7. Any other type gives 1e9.
float poseDistance(const ArmPose& a, const ArmPose& b, GestureType type);

// Sum of BOTH-distances between consecutive poses; 0 for fewer than two poses.
float pathLength(const Gesture& g);

// Value-by-value mean of all 18 values; all zero for a gesture without poses.
ArmPose meanPose(const Gesture& g);

// Population variance of each feature (feature order above); zeros without poses.
FeatureVector featureVariance(const Gesture& g);

// Per feature: log(1 + (sum of squared steps) / pose count). Zeros without poses.
FeatureVector fmVector(const Gesture& g);

// Resamples g to n poses evenly spaced along its path (all 18 values interpolated). Without poses
// g is unchanged; one pose becomes n copies. A motionless gesture comes back with only its first
// and last poses, and more than 10000 output poses abandons the work leaving only the first pose.
// Steps of a few float ulps can also leave a pose or two more or fewer than n, as float sums
// along the path fall either side of a spacing. Callers that need exactly n check the count.
// n < 2 leaves g unchanged.
void resampleGesture(Gesture& g, int n);

// Pools every pose of every gesture of the set and stores the per-feature variance.
void computeClassVariances(GestureSet& set);
// The same pooled variances without storing them (FEATURE_COUNT values, zeros for an empty set).
FeatureVector pooledVariance(const GestureSet& set);
