#include "common/gesture/arm_pose.h"

#include <algorithm>
#include <cmath>

#include "common/math/svd.h"

namespace {

// The torso joints whose offsets from the spine are smoothed, in the column order of the
// offset matrix.
constexpr int OFFSET_JOINTS[6] = {JOINT_HIP_CENTER,     JOINT_SHOULDER_CENTER, JOINT_SHOULDER_LEFT,
                                  JOINT_SHOULDER_RIGHT, JOINT_HIP_LEFT,        JOINT_HIP_RIGHT};

// The torso points the body frame is fitted to.
constexpr int FRAME_JOINTS[7] = {JOINT_HIP_CENTER,    JOINT_SPINE,          JOINT_SHOULDER_CENTER,
                                 JOINT_SHOULDER_LEFT, JOINT_SHOULDER_RIGHT, JOINT_HIP_LEFT,
                                 JOINT_HIP_RIGHT};

// Every joint the extractor reads.
constexpr int USED_JOINTS[12] = {JOINT_HIP_CENTER,    JOINT_SPINE,          JOINT_SHOULDER_CENTER,
                                 JOINT_HEAD,          JOINT_SHOULDER_LEFT,  JOINT_ELBOW_LEFT,
                                 JOINT_WRIST_LEFT,    JOINT_SHOULDER_RIGHT, JOINT_ELBOW_RIGHT,
                                 JOINT_WRIST_RIGHT,   JOINT_HIP_LEFT,       JOINT_HIP_RIGHT};

// Limits a cosine to [-1, 1] so rounding cannot push acos out of its domain.
float clampUnit(float x) { return std::clamp(x, -1.0f, 1.0f); }

// Angle in degrees of a clamped cosine.
float deg(float cosine) { return std::acos(clampUnit(cosine)) * 180.0f / 3.1415927f; }

// No tracker places a joint a kilometre away. Beyond that a coordinate is corrupt, and the
// differences of two such coordinates can overflow to infinity in the smoothing state.
constexpr float MAX_JOINT_COORDINATE = 1000.0f;

bool isUsable(const Vector4& p) {
    return std::fabs(p.x) <= MAX_JOINT_COORDINATE && std::fabs(p.y) <= MAX_JOINT_COORDINATE &&
           std::fabs(p.z) <= MAX_JOINT_COORDINATE;  // also false for NaN
}

// Component of v orthogonal to the unit vector axis, normalised.
Vec3 normalizedOrthogonal(Vec3 v, Vec3 axis) { return normalized(v - dot(v, axis) * axis); }

// Signed angle of the upper arm from the torso's frontal plane, seen from above: 0 out to the
// side, 90 straight forward, up to 180 across the chest; negative behind the frontal plane.
// `k` points backward (out of the back), `lateral` away from the body on this arm's side.
float horizontalAdduction(Vec3 upperArm, Vec3 down, Vec3 k, Vec3 lateral) {
    Vec3 p = normalizedOrthogonal(upperArm, down);
    float sign = dot(p, k) > 0.0f ? -1.0f : 1.0f;
    return sign * deg(dot(lateral, p));
}

// Angle between the forearm and the reference direction r, both taken orthogonal to the
// upper arm: 0 when the forearm points along r.
float forearmRotation(Vec3 upperArm, Vec3 forearm, Vec3 r) {
    Vec3 u = normalized(upperArm);
    Vec3 q = normalizedOrthogonal(forearm, u);
    return deg(dot(r, q));
}

}  // namespace

ArmPoseExtractor::ArmPoseExtractor() : offsets(3, 6) {}

void extractArmPose(ArmPoseExtractor& extractor, SkeletonRecord& record, ArmPose& pose) {
    SkeletonRecord& previous = extractor.previous;

    // A non-finite or absurd coordinate would stay in the smoothing state forever and turn every
    // later pose into NaN; such a joint keeps its previous position instead.
    for (int joint : USED_JOINTS)
        if (!isUsable(record.joints[joint])) setJointPosition(record, joint, jointPosition(previous, joint));

    // 1. Temporal smoothing of the torso; the spine follows slowest.
    for (int joint : OFFSET_JOINTS) {
        Vec3 smoothed = 0.4f * jointPosition(previous, joint) + 0.6f * jointPosition(record, joint);
        setJointPosition(record, joint, smoothed);
    }
    setJointPosition(record, JOINT_SPINE,
                     0.9f * jointPosition(previous, JOINT_SPINE) + 0.1f * jointPosition(record, JOINT_SPINE));
    // The next frame smooths against this record as it stands now, before step 3 rebuilds the
    // torso joints around the spine; keeping it after step 3 would change every later pose.
    previous = record;

    // 2. Limb and torso vectors from the temporally smoothed joints.
    const Vec3 shoulderLeft = jointPosition(record, JOINT_SHOULDER_LEFT);
    const Vec3 shoulderRight = jointPosition(record, JOINT_SHOULDER_RIGHT);
    const Vec3 shoulderCenter = jointPosition(record, JOINT_SHOULDER_CENTER);
    const Vec3 spine = jointPosition(record, JOINT_SPINE);
    const Vec3 elbowLeft = jointPosition(record, JOINT_ELBOW_LEFT);
    const Vec3 elbowRight = jointPosition(record, JOINT_ELBOW_RIGHT);
    const Vec3 wristLeft = jointPosition(record, JOINT_WRIST_LEFT);
    const Vec3 wristRight = jointPosition(record, JOINT_WRIST_RIGHT);
    const Vec3 upperLeft = elbowLeft - shoulderLeft;
    const Vec3 upperRight = elbowRight - shoulderRight;
    const Vec3 foreLeft = wristLeft - elbowLeft;
    const Vec3 foreRight = wristRight - elbowRight;
    const Vec3 down = spine - shoulderCenter;
    const Vec3 sideLeft = shoulderLeft - shoulderCenter;
    const Vec3 sideRight = shoulderRight - shoulderCenter;

    // 3. Smooth the torso joints' offsets from the spine and rebuild them around it.
    mat<float> current(3, 6);
    for (uint32_t c = 0; c < 6; ++c) {
        Vec3 offset = jointPosition(record, OFFSET_JOINTS[c]) - spine;
        current(0, c) = offset.x;
        current(1, c) = offset.y;
        current(2, c) = offset.z;
    }
    extractor.offsets = 0.9f * extractor.offsets + 0.1f * current;
    for (uint32_t c = 0; c < 6; ++c) {
        const mat<float>& g = extractor.offsets;
        setJointPosition(record, OFFSET_JOINTS[c], spine + Vec3{g(0, c), g(1, c), g(2, c)});
    }

    // 4. Body frame: principal axes of the centred torso points. The first (largest spread)
    // runs along the trunk, the second across the shoulders and hips.
    mat<float> points(3, 7);
    for (uint32_t c = 0; c < 7; ++c) {
        Vec3 p = jointPosition(record, FRAME_JOINTS[c]);
        points(0, c) = p.x;
        points(1, c) = p.y;
        points(2, c) = p.z;
    }
    const vec<float> ones = mat<float>(7, 1, 1.0f).col(0);
    for (uint32_t r = 0; r < 3; ++r) {
        const float mean = dot(points.row(r), ones) / 7.0f;
        for (uint32_t c = 0; c < 7; ++c) points(r, c) -= mean;
    }
    points.transpose();
    diag_mat<float> spread;
    mat<float> axes;
    // Without a fit the frame is fixed. Its normal points away from the camera, whereas the
    // fitted normal up x right points toward it for a user facing the camera, so the reach
    // values change sign on such a frame.
    Vec3 up{0.0f, 1.0f, 0.0f};
    Vec3 right{1.0f, 0.0f, 0.0f};
    Vec3 normal{0.0f, 0.0f, 1.0f};
    if (svd(points, points, spread, axes)) {
        up = normalized(Vec3{axes(0, 0), axes(1, 0), axes(2, 0)});
        const Vec3 headDirection =
            normalized(jointPosition(record, JOINT_HEAD) - jointPosition(record, JOINT_HIP_CENTER));
        if (dot(up, headDirection) < 0.0f) up = -up;
        right = normalized(Vec3{axes(0, 1), axes(1, 1), axes(2, 1)});
        const Vec3 hipDirection =
            normalized(jointPosition(record, JOINT_HIP_RIGHT) - jointPosition(record, JOINT_HIP_LEFT));
        if (dot(right, hipDirection) < 0.0f) right = -right;
        normal = cross(up, right);
    }

    // 5. Wrist positions and their reach along the body normal.
    pose[POSE_RIGHT_WRIST_X] = wristRight.x;
    pose[POSE_RIGHT_WRIST_Y] = wristRight.y;
    pose[POSE_RIGHT_REACH] = dot(normal, wristRight - spine);
    pose[POSE_LEFT_WRIST_X] = wristLeft.x;
    pose[POSE_LEFT_WRIST_Y] = wristLeft.y;
    pose[POSE_LEFT_REACH] = dot(normal, wristLeft - spine);

    // 6. Arm angles relative to the trunk's down direction.
    const Vec3 d = normalized(down);
    {
        const Vec3 k = normalized(cross(sideLeft, d));
        pose[POSE_ADDUCTION_LEFT] = horizontalAdduction(upperLeft, d, k, normalized(cross(d, k)));
    }
    {
        const Vec3 k = normalized(cross(d, sideRight));
        pose[POSE_ADDUCTION_RIGHT] = horizontalAdduction(upperRight, d, k, normalized(cross(k, d)));
    }
    pose[POSE_ROTATION_LEFT] =
        forearmRotation(upperLeft, foreLeft, normalized(cross(upperLeft, cross(upperLeft, d))));
    pose[POSE_ROTATION_RIGHT] =
        forearmRotation(upperRight, foreRight, normalized(cross(cross(d, upperRight), upperRight)));
    pose[POSE_ELEVATION_LEFT] = deg(dot(normalized(upperLeft), d));
    pose[POSE_ELEVATION_RIGHT] = deg(dot(normalized(upperRight), d));
    pose[POSE_ELBOW_LEFT] = deg(dot(-normalized(upperLeft), normalized(foreLeft)));
    pose[POSE_ELBOW_RIGHT] = deg(dot(-normalized(upperRight), normalized(foreRight)));
    // The forearm's rotation is meaningless on a nearly straight arm.
    if (pose[POSE_ELBOW_LEFT] > 150.0f) pose[POSE_ROTATION_LEFT] = 0.0f;
    if (pose[POSE_ELBOW_RIGHT] > 150.0f) pose[POSE_ROTATION_RIGHT] = 0.0f;

    // 7. The line from the left to the right wrist, in the frontal and horizontal planes.
    const Vec3 w = wristRight - wristLeft;
    pose[POSE_WRIST_DISTANCE] = length(w);
    {
        const Vec3 frontal = normalizedOrthogonal(w, normal);
        const float sign = dot(frontal, up) > 0.0f ? -1.0f : 1.0f;
        pose[POSE_WRIST_LINE_FRONTAL] = sign * deg(dot(right, frontal));
    }
    {
        const Vec3 horizontal = normalizedOrthogonal(w, up);
        const float sign = dot(horizontal, normal) < 0.0f ? -1.0f : 1.0f;
        pose[POSE_WRIST_LINE_HORIZONTAL] = sign * deg(dot(right, horizontal));
    }

    // 8. Reach of the wrists' midpoint.
    pose[POSE_WRISTS_REACH] = dot(normal, (wristLeft + wristRight) / 2.0f - spine);
}
