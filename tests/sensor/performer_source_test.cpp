// SimulatedPerformer as a frame source: determinism, timed driving, reach, tilt, faults and
// the mouse mapping.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/gesture/arm_pose.h"
#include "common/sensor/simulated_performer.h"

namespace {

struct Images {
    SkeletonFrame skeletons;
    std::vector<uint16_t> depth = std::vector<uint16_t>(FRAME_PIXELS);
    std::vector<uint8_t> colour = std::vector<uint8_t>(COLOUR_FRAME_BYTES);
    bool okSkeleton = false, okColour = false, okDepth = false;
};

Images fetchAll(SimulatedPerformer& p) {
    Images im;
    im.okSkeleton = p.nextSkeletonFrame(im.skeletons);
    im.okColour = p.nextColourFrame(im.colour.data());
    im.okDepth = p.nextDepthFrame(im.depth.data());
    return im;
}

int countPlayer(const Images& im, int player) {
    int n = 0;
    for (uint16_t d : im.depth) n += (d & 7) == player;
    return n;
}

Vec3 wrist(const SimulatedPerformer& p, int hand) {
    return jointPosition(p.currentSkeleton(), hand == HAND_RIGHT ? JOINT_WRIST_RIGHT : JOINT_WRIST_LEFT);
}

}  // namespace

TEST(PerformerSource, SameSeedGivesSameFramesAndEveryFetchSucceeds) {
    SimulatedPerformer a(42), b(42), c(43);
    for (SimulatedPerformer* p : {&a, &b, &c}) {
        p->performGesture("wave", 5);
    }
    for (uint32_t t = 0; t <= 990; t += 33) {
        a.advance(t);
        b.advance(t);
        c.advance(t);
        Images ia = fetchAll(a), ib = fetchAll(b);
        ASSERT_TRUE(ia.okSkeleton && ia.okColour && ia.okDepth);
        ASSERT_EQ(std::memcmp(&ia.skeletons, &ib.skeletons, sizeof(SkeletonFrame)), 0) << "t " << t;
        ASSERT_EQ(ia.depth, ib.depth) << "t " << t;
        ASSERT_EQ(ia.colour, ib.colour) << "t " << t;
    }
    EXPECT_NE(std::memcmp(&a.currentSkeleton(), &c.currentSkeleton(), sizeof(SkeletonRecord)), 0);
    Images ia = fetchAll(a);
    EXPECT_EQ(ia.skeletons.slots[0].trackingState, SKELETON_TRACKED);
    for (int slot = 1; slot < SKELETON_SLOT_COUNT; ++slot) EXPECT_EQ(ia.skeletons.slots[slot].trackingState, 0u);
}

TEST(PerformerSource, MovesStartAtTheNextAdvanceAndEaseToTheTarget) {
    SimulatedPerformer p(1);
    p.setNaturalMotion(false, false);
    p.advance(1000);
    Vec3 start = wrist(p, HAND_RIGHT);
    EXPECT_FALSE(p.busy());
    p.moveWrist(HAND_RIGHT, 0.3f, 0.1f, 600);
    EXPECT_TRUE(p.busy());
    p.advance(1000);  // the move starts here
    EXPECT_LT(length(wrist(p, HAND_RIGHT) - start), 1e-4f);
    p.advance(1300);  // halfway in time, halfway in space (symmetric ease)
    Vec3 mid = wrist(p, HAND_RIGHT);
    EXPECT_NEAR(mid.x, (start.x + 0.3f) * 0.5f, 0.01f);
    EXPECT_TRUE(p.busy());
    p.advance(1600);
    EXPECT_FALSE(p.busy());
    Vec3 end = wrist(p, HAND_RIGHT);
    EXPECT_NEAR(end.x, 0.3f, 0.01f);
    EXPECT_NEAR(end.y, 0.1f, 0.01f);
    // The other arm stayed at rest.
    SimulatedPerformer rest(1);
    rest.setNaturalMotion(false, false);
    rest.advance(0);
    EXPECT_LT(length(wrist(p, HAND_LEFT) - wrist(rest, HAND_LEFT)), 1e-4f);
}

TEST(PerformerSource, ClockWrapDoesNotStallAnAction) {
    SimulatedPerformer p(1);
    p.setNaturalMotion(false, false);
    p.advance(0xFFFFFF00u);
    p.moveWrist(HAND_RIGHT, 0.2f, 0.2f, 500);
    p.advance(0xFFFFFF00u);
    p.advance(0x00000200u);  // 768 ms later, across the wrap
    EXPECT_FALSE(p.busy());
    EXPECT_NEAR(wrist(p, HAND_RIGHT).x, 0.2f, 0.01f);
}

TEST(PerformerSource, ReachEngagesThePointerThroughTheArmPose) {
    SimulatedPerformer p(1);
    ArmPoseExtractor extractor;
    ArmPose pose{};
    uint32_t t = 0;
    p.moveWrist(HAND_RIGHT, 0.25f, 0.15f, 300);
    p.setReach(HAND_RIGHT, 0.3f, 300);
    for (int i = 0; i < 90; ++i, t += 33) {
        p.advance(t);
        SkeletonRecord s = p.currentSkeleton();
        extractArmPose(extractor, s, pose);
    }
    EXPECT_NEAR(pose[POSE_RIGHT_REACH], 0.3f, 0.03f);
    EXPECT_NEAR(pose[POSE_RIGHT_WRIST_X], 0.25f, 0.01f);
    EXPECT_NEAR(pose[POSE_RIGHT_WRIST_Y], 0.15f, 0.01f);
    EXPECT_LT(pose[POSE_LEFT_REACH], 0.1f);
    p.setReach(HAND_RIGHT, 0.0f, 300);
    for (int i = 0; i < 30; ++i, t += 33) {
        p.advance(t);
        SkeletonRecord s = p.currentSkeleton();
        extractArmPose(extractor, s, pose);
    }
    EXPECT_LT(pose[POSE_RIGHT_REACH], 0.05f);
}

TEST(PerformerSource, TiltIsClampedAndMovesThePersonInTheImage) {
    SimulatedPerformer p(1);
    p.setNaturalMotion(false, false);
    p.advance(0);
    Vec3 head = jointPosition(p.currentSkeleton(), JOINT_HEAD);
    p.setTiltAngle(40);
    EXPECT_EQ(p.tiltAngle(), TILT_LIMIT_DEGREES);
    p.setTiltAngle(-100);
    EXPECT_EQ(p.tiltAngle(), -TILT_LIMIT_DEGREES);
    p.setTiltAngle(10);
    p.advance(33);
    Vec3 tilted = jointPosition(p.currentSkeleton(), JOINT_HEAD);
    float u0, v0, u1, v1;
    projectToImage(head.x, head.y, head.z, u0, v0);
    projectToImage(tilted.x, tilted.y, tilted.z, u1, v1);
    EXPECT_GT(v1, v0 + 50.0f);  // looking up: the person sinks in the image
    Images im = fetchAll(p);
    int iu = static_cast<int>(u1 + 0.5f), iv = static_cast<int>(v1 + 0.5f);
    EXPECT_EQ(im.depth[iv * FRAME_WIDTH + iu] & 7, 1);  // the depth image follows the tilt too
}

TEST(PerformerSource, FaultsDropFramesLoseThePersonAndAddASecond) {
    SimulatedPerformer p(1);
    p.advance(0);
    p.injectFault(PerformerFault::DROP_DEPTH, 100);
    p.injectFault(PerformerFault::LOSE_PERSON, 100);
    p.injectFault(PerformerFault::SECOND_PERSON, 300);
    p.advance(33);
    Images im = fetchAll(p);
    EXPECT_TRUE(im.okSkeleton);
    EXPECT_TRUE(im.okColour);
    EXPECT_FALSE(im.okDepth);
    EXPECT_EQ(im.skeletons.slots[0].trackingState, 0u);
    EXPECT_EQ(im.skeletons.slots[3].trackingState, SKELETON_TRACKED);
    EXPECT_LT(jointPosition(im.skeletons.slots[3], JOINT_SPINE).x, -0.5f);
    p.advance(166);  // depth back and the person found again; the second one still there
    im = fetchAll(p);
    EXPECT_TRUE(im.okDepth);
    EXPECT_EQ(im.skeletons.slots[0].trackingState, SKELETON_TRACKED);
    EXPECT_GT(countPlayer(im, 1), 10000);
    EXPECT_GT(countPlayer(im, 2), 3000);
    p.advance(400);
    im = fetchAll(p);
    EXPECT_EQ(im.skeletons.slots[3].trackingState, 0u);
    EXPECT_EQ(countPlayer(im, 2), 0);

    p.injectFault(PerformerFault::DROP_SKELETON, 50);
    p.injectFault(PerformerFault::DROP_COLOUR, 50);
    p.advance(433);
    im = fetchAll(p);
    EXPECT_FALSE(im.okSkeleton);
    EXPECT_FALSE(im.okColour);

    PerformerFault f;
    EXPECT_TRUE(parsePerformerFault("hand_out", f));
    EXPECT_EQ(f, PerformerFault::HAND_OUT);
    EXPECT_FALSE(parsePerformerFault("hand-out", f));
}

TEST(PerformerSource, HandOutMovesTheRightWristOutOfTheImage) {
    SimulatedPerformer p(1);
    p.advance(0);
    p.injectFault(PerformerFault::HAND_OUT, 500);
    p.advance(33);
    Vec3 w = wrist(p, HAND_RIGHT);
    float u, v;
    projectToImage(w.x, w.y, w.z, u, v);
    EXPECT_GT(u, static_cast<float>(FRAME_WIDTH));
    p.advance(600);
    w = wrist(p, HAND_RIGHT);
    projectToImage(w.x, w.y, w.z, u, v);
    EXPECT_LT(u, static_cast<float>(FRAME_WIDTH));
}

TEST(PerformerSource, MouseDrivesTheRightHandThroughItsPointerBox) {
    SimulatedPerformer p(1);
    p.setNaturalMotion(false, false);
    p.advance(0);
    p.mouseMove(1.0f, 1.0f);  // top right of the window
    p.advance(33);
    p.advance(400);           // the default reach has come in
    Vec3 w = wrist(p, HAND_RIGHT);
    EXPECT_NEAR(w.x, 0.5f, 0.01f);
    EXPECT_NEAR(w.y, 0.4f, 0.01f);
    EXPECT_NEAR(p.body().spine.z - w.z, MOUSE_DEFAULT_REACH, 0.01f);
    p.mouseMove(0.0f, 0.0f);
    p.advance(433);
    w = wrist(p, HAND_RIGHT);
    EXPECT_NEAR(w.x, 0.0f, 0.02f);  // the lowest corner is at the edge of the arm's reach
    EXPECT_NEAR(w.y, -0.1f, 0.02f);

    p.mouseButton(HAND_RIGHT, true);
    EXPECT_EQ(p.handShape(HAND_RIGHT), HandShape::CLOSED);
    p.mouseButton(HAND_RIGHT, false);
    EXPECT_EQ(p.handShape(HAND_RIGHT), HandShape::OPEN);

    p.mouseButton(HAND_LEFT, true);
    p.advance(466);
    p.advance(800);
    EXPECT_EQ(p.handShape(HAND_LEFT), HandShape::CLOSED);
    EXPECT_GT(p.body().spine.z - wrist(p, HAND_LEFT).z, 0.25f);  // held forward: engaged
    p.mouseButton(HAND_LEFT, false);
    p.advance(833);
    p.advance(1300);
    EXPECT_LT(p.body().spine.z - wrist(p, HAND_LEFT).z, 0.2f);  // back to rest: not engaged

    for (int i = 0; i < 20; ++i) p.mouseWheel(1);  // clamped at 0.45 m
    p.advance(1333);
    p.advance(1600);
    EXPECT_NEAR(p.body().spine.z - p.wristTarget(HAND_RIGHT).z, 0.45f, 1e-3f);
    p.mouseWheel(-3);
    p.advance(1633);
    p.advance(1900);
    EXPECT_NEAR(p.body().spine.z - p.wristTarget(HAND_RIGHT).z, 0.30f, 1e-3f);
}

TEST(PerformerSource, RestAndMovesCancelARunningGesture) {
    SimulatedPerformer p(1);
    p.setNaturalMotion(false, false);
    p.advance(0);
    ASSERT_TRUE(p.performGesture("right_raise", 3));
    p.advance(33);
    p.advance(600);
    Vec3 raised = wrist(p, HAND_RIGHT);
    p.rest(300);
    p.advance(633);
    // No jump: the rest starts from where the gesture left the wrist.
    EXPECT_LT(length(wrist(p, HAND_RIGHT) - raised), 0.01f);
    p.advance(1000);
    EXPECT_FALSE(p.busy());
    SimulatedPerformer still(1);
    still.setNaturalMotion(false, false);
    still.advance(0);
    EXPECT_LT(length(wrist(p, HAND_RIGHT) - wrist(still, HAND_RIGHT)), 0.01f);
}
