#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/gesture/arm_pose.h"

namespace {

constexpr float UPPER_ARM = 0.3f;  // metres
constexpr float FOREARM = 0.25f;
constexpr float PERSON_DISTANCE = 2.2f;

// Body directions in the person's own frame: right = +x, up = +y, forward (toward the
// camera) = -z. A person facing the camera has the same frame as the camera.
const Vec3 RIGHT{1.0f, 0.0f, 0.0f};
const Vec3 LEFT{-1.0f, 0.0f, 0.0f};
const Vec3 UP{0.0f, 1.0f, 0.0f};
const Vec3 DOWN{0.0f, -1.0f, 0.0f};
const Vec3 FORWARD{0.0f, 0.0f, -1.0f};
const Vec3 BACKWARD{0.0f, 0.0f, 1.0f};

// A standing person built in body coordinates (origin at the hip centre), then turned by
// `yawDegrees` about the vertical axis and placed PERSON_DISTANCE in front of the camera.
struct Person {
    float yawDegrees = 0.0f;
    Vec3 upperLeft = DOWN;  // unit directions of the limbs, body frame
    Vec3 foreLeft = DOWN;
    Vec3 upperRight = DOWN;
    Vec3 foreRight = DOWN;

    Vec3 place(Vec3 body) const {
        const float a = yawDegrees * 3.1415927f / 180.0f;
        return {std::cos(a) * body.x + std::sin(a) * body.z, body.y,
                -std::sin(a) * body.x + std::cos(a) * body.z + PERSON_DISTANCE};
    }

    SkeletonRecord record() const {
        SkeletonRecord r;
        r.trackingState = SKELETON_TRACKED;
        const Vec3 shoulderLeft{-0.2f, 0.45f, 0.0f};
        const Vec3 shoulderRight{0.2f, 0.45f, 0.0f};
        const Vec3 elbowLeft = shoulderLeft + UPPER_ARM * upperLeft;
        const Vec3 elbowRight = shoulderRight + UPPER_ARM * upperRight;
        const Vec3 body[JOINT_COUNT] = {
            {0.0f, 0.0f, 0.0f},                     // hip centre
            {0.0f, 0.25f, 0.0f},                    // spine
            {0.0f, 0.5f, 0.0f},                     // shoulder centre
            {0.0f, 0.7f, 0.0f},                     // head
            shoulderLeft,
            elbowLeft,
            elbowLeft + FOREARM * foreLeft,         // wrist left
            elbowLeft + (FOREARM + 0.08f) * foreLeft,
            shoulderRight,
            elbowRight,
            elbowRight + FOREARM * foreRight,       // wrist right
            elbowRight + (FOREARM + 0.08f) * foreRight,
            {-0.1f, -0.05f, 0.0f},                  // hip left
            {-0.1f, -0.5f, 0.0f},
            {-0.1f, -0.9f, 0.0f},
            {-0.1f, -0.95f, -0.1f},
            {0.1f, -0.05f, 0.0f},                   // hip right
            {0.1f, -0.5f, 0.0f},
            {0.1f, -0.9f, 0.0f},
            {0.1f, -0.95f, -0.1f},
        };
        for (int j = 0; j < JOINT_COUNT; ++j) {
            setJointPosition(r, j, place(body[j]));
            r.joints[j].w = 1.0f;
            r.jointTrackingStates[j] = 2;
        }
        return r;
    }
};

Vec3 unit(Vec3 v) { return normalized(v); }

// Runs enough frames of the same record for the torso smoothing to settle.
ArmPose settle(ArmPoseExtractor& extractor, const Person& person, int frames = 200) {
    ArmPose pose{};
    for (int i = 0; i < frames; ++i) {
        SkeletonRecord r = person.record();
        extractArmPose(extractor, r, pose);
    }
    return pose;
}

ArmPose settledPose(const Person& person) {
    ArmPoseExtractor extractor;
    return settle(extractor, person);
}

constexpr float ANGLE_TOLERANCE = 0.5f;  // degrees
constexpr float DISTANCE_TOLERANCE = 1e-4f;  // metres

}  // namespace

TEST(ArmPose, ArmsHangingAlongTheTorso) {
    const Person person;
    const ArmPose pose = settledPose(person);
    EXPECT_NEAR(pose[POSE_ELEVATION_LEFT], 0.0f, ANGLE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_ELEVATION_RIGHT], 0.0f, ANGLE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_ELBOW_LEFT], 180.0f, ANGLE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_ELBOW_RIGHT], 180.0f, ANGLE_TOLERANCE);
    EXPECT_EQ(pose[POSE_ROTATION_LEFT], 0.0f);  // forced: straight arms
    EXPECT_EQ(pose[POSE_ROTATION_RIGHT], 0.0f);
    // Wrists level, 0.4 m apart, in the torso's plane.
    EXPECT_NEAR(pose[POSE_WRIST_DISTANCE], 0.4f, DISTANCE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_WRIST_LINE_FRONTAL], 0.0f, ANGLE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_WRIST_LINE_HORIZONTAL], 0.0f, ANGLE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_LEFT_REACH], 0.0f, DISTANCE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_RIGHT_REACH], 0.0f, DISTANCE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_WRISTS_REACH], 0.0f, DISTANCE_TOLERANCE);
}

TEST(ArmPose, ElevationAndHorizontalAdductionFollowTheUpperArm) {
    struct Case {
        Vec3 right;       // right upper-arm direction; the left arm is its mirror image
        float elevation;
        float adduction;
    };
    const Case cases[] = {
        {FORWARD, 90.0f, 90.0f},
        {RIGHT, 90.0f, 0.0f},                                  // out to the side
        {unit(RIGHT + BACKWARD), 90.0f, -45.0f},                // behind the frontal plane
        {unit(LEFT + FORWARD), 90.0f, 135.0f},                  // across the chest
        {UP, 180.0f, 90.0f},                                    // degenerate: no horizontal part
        {unit(FORWARD + DOWN), 45.0f, 90.0f},
    };
    for (const Case& c : cases) {
        Person person;
        person.upperRight = c.right;
        person.foreRight = c.right;
        person.upperLeft = {-c.right.x, c.right.y, c.right.z};
        person.foreLeft = person.upperLeft;
        const ArmPose pose = settledPose(person);
        SCOPED_TRACE(testing::Message() << "arm (" << c.right.x << ", " << c.right.y << ", " << c.right.z << ")");
        EXPECT_NEAR(pose[POSE_ELEVATION_RIGHT], c.elevation, ANGLE_TOLERANCE);
        EXPECT_NEAR(pose[POSE_ELEVATION_LEFT], c.elevation, ANGLE_TOLERANCE);
        EXPECT_NEAR(pose[POSE_ADDUCTION_RIGHT], c.adduction, ANGLE_TOLERANCE);
        EXPECT_NEAR(pose[POSE_ADDUCTION_LEFT], c.adduction, ANGLE_TOLERANCE);
        EXPECT_NEAR(pose[POSE_ELBOW_RIGHT], 180.0f, ANGLE_TOLERANCE);
    }
}

TEST(ArmPose, ForearmRotationOnABentArm) {
    struct Case {
        Vec3 foreRight;  // with the upper arm forward; the left forearm is its mirror image
        float rotation;
    };
    const Case cases[] = {
        {UP, 0.0f},
        {DOWN, 180.0f},
        {LEFT, 90.0f},   // toward the body's midline
        {unit(UP + LEFT), 45.0f},
    };
    for (const Case& c : cases) {
        Person person;
        person.upperRight = FORWARD;
        person.upperLeft = FORWARD;
        person.foreRight = c.foreRight;
        person.foreLeft = {-c.foreRight.x, c.foreRight.y, c.foreRight.z};
        const ArmPose pose = settledPose(person);
        SCOPED_TRACE(testing::Message() << "expected rotation " << c.rotation);
        EXPECT_NEAR(pose[POSE_ELBOW_RIGHT], 90.0f, ANGLE_TOLERANCE);
        EXPECT_NEAR(pose[POSE_ELBOW_LEFT], 90.0f, ANGLE_TOLERANCE);
        EXPECT_NEAR(pose[POSE_ROTATION_RIGHT], c.rotation, ANGLE_TOLERANCE);
        EXPECT_NEAR(pose[POSE_ROTATION_LEFT], c.rotation, ANGLE_TOLERANCE);
    }

    // Only a nearly straight arm (elbow above 150 degrees) has its rotation forced to 0.
    Person slightlyBent;
    slightlyBent.upperRight = FORWARD;
    slightlyBent.foreRight = unit(FORWARD + 0.5f * UP);  // elbow about 153 degrees
    slightlyBent.upperLeft = FORWARD;
    slightlyBent.foreLeft = unit(FORWARD + 0.7f * UP);   // elbow about 145 degrees
    const ArmPose pose = settledPose(slightlyBent);
    EXPECT_GT(pose[POSE_ELBOW_RIGHT], 150.0f);
    EXPECT_EQ(pose[POSE_ROTATION_RIGHT], 0.0f);
    EXPECT_LT(pose[POSE_ELBOW_LEFT], 150.0f);
    EXPECT_NEAR(pose[POSE_ROTATION_LEFT], 0.0f, ANGLE_TOLERANCE);  // forearm rises: 0, not forced
}

TEST(ArmPose, WristValuesAndReachTowardTheCamera) {
    Person person;
    person.upperRight = FORWARD;
    person.foreRight = FORWARD;
    const SkeletonRecord raw = person.record();
    const ArmPose pose = settledPose(person);
    const Vector4& wristRight = raw.joints[JOINT_WRIST_RIGHT];
    const Vector4& wristLeft = raw.joints[JOINT_WRIST_LEFT];
    EXPECT_FLOAT_EQ(pose[POSE_RIGHT_WRIST_X], wristRight.x);
    EXPECT_FLOAT_EQ(pose[POSE_RIGHT_WRIST_Y], wristRight.y);
    EXPECT_FLOAT_EQ(pose[POSE_LEFT_WRIST_X], wristLeft.x);
    EXPECT_FLOAT_EQ(pose[POSE_LEFT_WRIST_Y], wristLeft.y);
    // The right wrist is held 0.55 m toward the camera: its reach is positive.
    EXPECT_NEAR(pose[POSE_RIGHT_REACH], UPPER_ARM + FOREARM, DISTANCE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_LEFT_REACH], 0.0f, DISTANCE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_WRISTS_REACH], (UPPER_ARM + FOREARM) / 2.0f, DISTANCE_TOLERANCE);
    const float dx = wristRight.x - wristLeft.x;
    const float dy = wristRight.y - wristLeft.y;
    const float dz = wristRight.z - wristLeft.z;
    EXPECT_NEAR(pose[POSE_WRIST_DISTANCE], std::sqrt(dx * dx + dy * dy + dz * dz), DISTANCE_TOLERANCE);
    // The right wrist is nearer the camera than the left: the horizontal wrist line is positive.
    EXPECT_GT(pose[POSE_WRIST_LINE_HORIZONTAL], 0.0f);
}

TEST(ArmPose, WristLineSigns) {
    // Both arms straight out: the wrist line is level.
    Person raised;
    raised.upperRight = RIGHT;
    raised.foreRight = RIGHT;
    raised.upperLeft = LEFT;
    raised.foreLeft = LEFT;
    ArmPose pose = settledPose(raised);
    EXPECT_NEAR(pose[POSE_WRIST_LINE_FRONTAL], 0.0f, ANGLE_TOLERANCE);
    EXPECT_NEAR(pose[POSE_WRIST_DISTANCE], 0.4f + 2.0f * (UPPER_ARM + FOREARM), DISTANCE_TOLERANCE);
    raised.upperRight = unit(RIGHT + UP);
    raised.foreRight = raised.upperRight;
    raised.upperLeft = unit(LEFT + DOWN);
    raised.foreLeft = raised.upperLeft;
    pose = settledPose(raised);
    // Right wrist above the left: the frontal angle is negative, minus the line's slope.
    const SkeletonRecord r = raised.record();
    const float slope = std::atan2(r.joints[JOINT_WRIST_RIGHT].y - r.joints[JOINT_WRIST_LEFT].y,
                                   r.joints[JOINT_WRIST_RIGHT].x - r.joints[JOINT_WRIST_LEFT].x);
    EXPECT_GT(slope, 0.5f);
    EXPECT_NEAR(pose[POSE_WRIST_LINE_FRONTAL], -slope * 180.0f / 3.1415927f, ANGLE_TOLERANCE);

    // Right wrist pushed back, left forward: horizontal angle negative.
    Person twisted;
    twisted.upperRight = unit(RIGHT + BACKWARD);
    twisted.foreRight = twisted.upperRight;
    twisted.upperLeft = unit(LEFT + FORWARD);
    twisted.foreLeft = twisted.upperLeft;
    pose = settledPose(twisted);
    EXPECT_LT(pose[POSE_WRIST_LINE_HORIZONTAL], -30.0f);
    EXPECT_LT(pose[POSE_RIGHT_REACH], 0.0f);
    EXPECT_GT(pose[POSE_LEFT_REACH], 0.0f);
}

TEST(ArmPose, BodyFrameFollowsATurnedPerson) {
    // Turned 30 degrees and reaching forward relative to the body: the reach is still the
    // arm's length, and the arm angles do not depend on the turn.
    Person facing;
    facing.upperRight = FORWARD;
    facing.foreRight = UP;
    facing.upperLeft = unit(LEFT + DOWN);
    Person turned = facing;
    turned.yawDegrees = 30.0f;
    const ArmPose a = settledPose(facing);
    const ArmPose b = settledPose(turned);
    EXPECT_NEAR(b[POSE_RIGHT_REACH], UPPER_ARM, DISTANCE_TOLERANCE);
    for (int i = 0; i < ARM_ANGLE_COUNT; ++i) EXPECT_NEAR(a[i], b[i], ANGLE_TOLERANCE) << "value " << i;
    EXPECT_NEAR(a[POSE_WRIST_LINE_FRONTAL], b[POSE_WRIST_LINE_FRONTAL], ANGLE_TOLERANCE);
    EXPECT_NEAR(a[POSE_WRIST_LINE_HORIZONTAL], b[POSE_WRIST_LINE_HORIZONTAL], ANGLE_TOLERANCE);
    EXPECT_NEAR(a[POSE_LEFT_REACH], b[POSE_LEFT_REACH], DISTANCE_TOLERANCE);
}

TEST(ArmPose, FirstCallIsPulledTowardTheOrigin) {
    const Person person;
    const SkeletonRecord truth = person.record();
    SkeletonRecord record = truth;
    ArmPoseExtractor extractor;
    ArmPose pose{};
    extractArmPose(extractor, record, pose);

    // The stored previous record holds the temporally smoothed joints: torso 0.6, spine 0.1.
    const int torso[] = {JOINT_HIP_CENTER, JOINT_SHOULDER_CENTER, JOINT_SHOULDER_LEFT,
                         JOINT_SHOULDER_RIGHT, JOINT_HIP_LEFT, JOINT_HIP_RIGHT};
    const Vec3 spine = 0.1f * jointPosition(truth, JOINT_SPINE);
    EXPECT_NEAR(length(jointPosition(extractor.previous, JOINT_SPINE) - spine), 0.0f, 1e-6f);
    EXPECT_NEAR(length(jointPosition(record, JOINT_SPINE) - spine), 0.0f, 1e-6f);
    for (int joint : torso) {
        const Vec3 smoothed = 0.6f * jointPosition(truth, joint);
        EXPECT_NEAR(length(jointPosition(extractor.previous, joint) - smoothed), 0.0f, 1e-6f) << joint;
        // The record's torso joints are rebuilt around the spine from a tenth of their offsets.
        const Vec3 rebuilt = spine + 0.1f * (smoothed - spine);
        EXPECT_NEAR(length(jointPosition(record, joint) - rebuilt), 0.0f, 1e-6f) << joint;
    }
    // Arms and head are not smoothed.
    for (int joint : {JOINT_HEAD, JOINT_ELBOW_LEFT, JOINT_WRIST_RIGHT}) {
        EXPECT_EQ(length(jointPosition(record, joint) - jointPosition(truth, joint)), 0.0f) << joint;
    }
    // The shoulders sit at 0.6 of their height, so the hanging elbows are above them.
    EXPECT_GT(pose[POSE_ELEVATION_LEFT], 90.0f);

    // The second call blends with the first: 0.4 * 0.6 + 0.6 = 0.84.
    record = truth;
    extractArmPose(extractor, record, pose);
    const Vec3 expected = 0.84f * jointPosition(truth, JOINT_HIP_CENTER);
    EXPECT_NEAR(length(jointPosition(extractor.previous, JOINT_HIP_CENTER) - expected), 0.0f, 1e-6f);
}

TEST(ArmPose, ZeroLengthLimbsGiveNinetyDegrees) {
    Person person;
    person.upperLeft = FORWARD;
    SkeletonRecord record = person.record();
    ArmPoseExtractor extractor;
    settle(extractor, person);
    // The left wrist on the left elbow: the forearm has no length.
    record.joints[JOINT_WRIST_LEFT] = record.joints[JOINT_ELBOW_LEFT];
    ArmPose pose{};
    extractArmPose(extractor, record, pose);
    EXPECT_FLOAT_EQ(pose[POSE_ELBOW_LEFT], 90.0f);
    EXPECT_FLOAT_EQ(pose[POSE_ROTATION_LEFT], 90.0f);  // not forced: 90 is below 150
    EXPECT_NEAR(pose[POSE_ELBOW_RIGHT], 180.0f, ANGLE_TOLERANCE);

    // An all-zero record on a fresh extractor: every direction is degenerate.
    SkeletonRecord empty;
    ArmPoseExtractor fresh;
    extractArmPose(fresh, empty, pose);
    for (int i = 0; i < ARM_ANGLE_COUNT; ++i) EXPECT_FLOAT_EQ(pose[i], 90.0f) << "value " << i;
    EXPECT_FLOAT_EQ(pose[POSE_WRIST_LINE_FRONTAL], 90.0f);
    EXPECT_FLOAT_EQ(pose[POSE_WRIST_LINE_HORIZONTAL], 90.0f);
    for (int i = POSE_WRIST_DISTANCE; i < ARM_POSE_SIZE; ++i) EXPECT_EQ(pose[i], 0.0f) << "value " << i;
}

TEST(ArmPose, NonFiniteOrAbsurdJointsKeepTheirPreviousPosition) {
    Person person;
    person.upperRight = FORWARD;
    person.foreRight = FORWARD;
    ArmPoseExtractor extractor;
    const ArmPose settled = settle(extractor, person);

    SkeletonRecord bad = person.record();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    bad.joints[JOINT_HIP_LEFT].x = nan;
    bad.joints[JOINT_SPINE].z = std::numeric_limits<float>::infinity();
    bad.joints[JOINT_WRIST_RIGHT].y = nan;
    ArmPose pose{};
    extractArmPose(extractor, bad, pose);
    for (int i = 0; i < ARM_POSE_SIZE; ++i) {
        EXPECT_TRUE(std::isfinite(pose[i])) << "value " << i;
        EXPECT_NEAR(pose[i], settled[i], 1e-3f) << "value " << i;
    }
    EXPECT_TRUE(std::isfinite(bad.joints[JOINT_HIP_LEFT].x));
    // The state is not poisoned: later frames are still the settled pose.
    pose = settle(extractor, person, 5);
    for (int i = 0; i < ARM_POSE_SIZE; ++i) EXPECT_NEAR(pose[i], settled[i], 1e-3f) << "value " << i;

    // Finite but absurd coordinates (a corrupt record): their differences overflow, so two such
    // records in a row would leave the smoothed offsets infinite for good.
    SkeletonRecord huge = person.record();
    huge.joints[JOINT_HIP_CENTER].y = 3.4e38f;
    huge.joints[JOINT_SPINE].y = -3.4e38f;
    for (int frame = 0; frame < 2; ++frame) {
        SkeletonRecord copy = huge;
        extractArmPose(extractor, copy, pose);
        for (int i = 0; i < ARM_POSE_SIZE; ++i) EXPECT_NEAR(pose[i], settled[i], 1e-3f) << "value " << i;
    }
    for (uint32_t r = 0; r < 3; ++r)
        for (uint32_t c = 0; c < 6; ++c) EXPECT_TRUE(std::isfinite(extractor.offsets(r, c)));
    pose = settle(extractor, person, 5);
    for (int i = 0; i < ARM_POSE_SIZE; ++i) EXPECT_NEAR(pose[i], settled[i], 1e-3f) << "value " << i;
}
