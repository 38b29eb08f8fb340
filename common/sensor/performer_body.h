#pragma once
// The simulated performer's body: proportions of an adult about 1.75 m tall standing
// 2.2 m in front of the camera, arm inverse kinematics, natural sway and tracker jitter,
// and the assembly of a SkeletonRecord from wrist positions.
//
// Frames: "world" is the camera frame at tilt 0 (metres, x toward the right of a person facing
// the camera, which is the camera's own left; y up, z away from the camera; the camera is
// 1.1 m above the floor). The person faces the camera, so their right side is +x and the
// right hand shows on the right of the image, as in a mirror.
// applyCameraTilt turns world coordinates into the tilted camera's frame.
#include <cstdint>

#include "common/math/vec3.h"
#include "common/sensor/skeleton_record.h"

constexpr float CAMERA_HEIGHT_METRES = 1.1f;  // camera above the floor
constexpr float FLOOR_Y = -CAMERA_HEIGHT_METRES;
constexpr float BACK_WALL_Z = 3.6f;           // metres from the camera

// Positions relative to the spine joint (metres, world axes) and limb lengths.
struct PerformerBody {
    Vec3 spine = {0.0f, 0.05f, 2.2f};  // standing position: spine 1.15 m above the floor
    float upperArm = 0.30f;
    float forearm = 0.27f;
    float handLength = 0.08f;          // wrist to the hand joint
    float shoulderHalfWidth = 0.19f;
    float shoulderHeight = 0.27f;      // shoulders above the spine
};

// Shoulder of hand 0 (left) or 1 (right) for a body displaced by `sway`.
Vec3 shoulderPosition(const PerformerBody& body, int hand, Vec3 sway);

// Wrist of an arm hanging at rest (slightly bent, a little forward of the body).
Vec3 restWristPosition(const PerformerBody& body, int hand);

// Wrist offset from the spine along the body's normal (toward the camera is positive).
float wristReach(const PerformerBody& body, Vec3 wrist);

// Two-bone arm IK. Places the elbow so that the upper arm and forearm keep their lengths
// and the wrist lands on `target`; the elbow bends toward `pole` (a direction). Targets
// out of reach are pulled onto the reachable shell. Returns whether `target` was reachable.
bool solveArmIk(Vec3 shoulder, Vec3 target, float upperArm, float forearm, Vec3 pole, Vec3& elbow,
                Vec3& wrist);

// Where the elbow of hand 0 or 1 points: down, back and a little outward, as a person's does.
Vec3 elbowPole(int hand);

// An elbow pole near elbowPole(hand) for which the forearm of the arm reaching `wrist` (world,
// body displaced by `sway`) shows at least minPixels long in the image of a camera tilted by
// tiltDegrees. A forearm pointing at the camera shows as a dot, and the direction it gives the
// hand in the image turns with every millimetre of the tracker's lag. The elbow swings out or
// in, never above the shoulder; where no pole does it, the longest found.
Vec3 visibleElbowPole(const PerformerBody& body, int hand, Vec3 sway, Vec3 wrist, int tiltDegrees,
                      float minPixels);

// Slow natural sway of the upper body (metres), a deterministic function of seed and time.
Vec3 swayOffset(uint32_t seed, uint32_t nowMs);

// Fills `out` (tracked, all joints tracked) for a body whose wrists are at the given
// world positions. `sway` moves the upper body; feet stay planted.
// `poles` (left, right) replaces elbowPole's when given.
void buildPerformerSkeleton(const PerformerBody& body, Vec3 sway, Vec3 leftWrist, Vec3 rightWrist,
                            SkeletonRecord& out, const Vec3* poles = nullptr);

// Adds a tracker's jitter of a few millimetres to every joint, slowly varying (like a
// smoothed tracker's) and deterministic in seed and time.
void addTrackerJitter(SkeletonRecord& record, uint32_t seed, uint32_t nowMs);

// Rotates a world point into the frame of the camera tilted up by `tiltDegrees`.
Vec3 applyCameraTilt(Vec3 world, int tiltDegrees);
void applyCameraTilt(SkeletonRecord& record, int tiltDegrees);

// A well-mixed 32-bit hash for seeded, call-order-independent noise.
uint32_t performerHash(uint32_t a, uint32_t b, uint32_t c = 0, uint32_t d = 0);
// Uniform in [-1, 1] from a hash.
float hashToSigned(uint32_t h);
