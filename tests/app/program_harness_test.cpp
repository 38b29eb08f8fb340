// The harness's mouse control of the simulated performer.
#include "common/app/program_harness.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/app/scenario_script.h"
#include "common/sensor/recording.h"
#include "common/sensor/simulated_performer.h"

TEST(HarnessMouse, AHandClosedInsideTheAreaOpensWhereverTheButtonIsReleased) {
    SimulatedPerformer performer(1);
    ProgramHarness harness;
    harness.performer = &performer;

    harnessMouseButton(harness, GLUT_LEFT_BUTTON, GLUT_DOWN, 10, 10, 100, 100);
    EXPECT_EQ(performer.handShape(HAND_RIGHT), HandShape::CLOSED);
    harnessMouseButton(harness, GLUT_LEFT_BUTTON, GLUT_UP, 150, 10, 100, 100);  // over the panel
    EXPECT_EQ(performer.handShape(HAND_RIGHT), HandShape::OPEN);

    harnessMouseButton(harness, GLUT_RIGHT_BUTTON, GLUT_DOWN, 50, 50, 100, 100);
    EXPECT_EQ(performer.handShape(HAND_LEFT), HandShape::CLOSED);
    harnessMouseButton(harness, GLUT_RIGHT_BUTTON, GLUT_UP, -5, 120, 100, 100);  // outside the window
    EXPECT_EQ(performer.handShape(HAND_LEFT), HandShape::OPEN);

    // A press outside the area does nothing.
    harnessMouseButton(harness, GLUT_LEFT_BUTTON, GLUT_DOWN, 150, 10, 100, 100);
    EXPECT_EQ(performer.handShape(HAND_RIGHT), HandShape::OPEN);
}

TEST(HarnessMouse, LeavingTheAreaOrTheWindowLetsTheArmsHang) {
    SimulatedPerformer performer(1);
    ProgramHarness harness;
    harness.performer = &performer;

    harnessMouseMotion(harness, 50, 50, 100, 100);
    EXPECT_FALSE(performer.mouseIsAway());
    harnessMouseMotion(harness, 150, 50, 100, 100);  // over the panel
    EXPECT_TRUE(performer.mouseIsAway());
    harnessMouseMotion(harness, 40, 60, 100, 100);
    EXPECT_FALSE(performer.mouseIsAway());
    harnessMouseLeft(harness);
    EXPECT_TRUE(performer.mouseIsAway());
}

TEST(HarnessMouse, AMoveThePanelSwallowedReachesThePerformerOnceThePanelLetsGo) {
    SimulatedPerformer performer(1);
    ProgramHarness harness;
    harness.performer = &performer;
    harnessMouseMotion(harness, 50, 50, 100, 100);
    harnessMouseMotion(harness, 150, 50, 100, 100);  // over the panel: the arms hang
    ASSERT_TRUE(performer.mouseIsAway());

    // The one move back into the area came while ImGui still held the mouse.
    harnessHoldMotion(harness, 40, 60);
    harnessReleaseHeldMotion(harness, true, 100, 100);
    EXPECT_TRUE(performer.mouseIsAway()) << "not while ImGui wants the mouse";
    harnessReleaseHeldMotion(harness, false, 100, 100);
    EXPECT_FALSE(performer.mouseIsAway()) << "the held move brings the hand forward";

    // Passed on once only, and a newer move replaces a held one.
    harnessMouseMotion(harness, 150, 50, 100, 100);
    harnessReleaseHeldMotion(harness, false, 100, 100);
    EXPECT_TRUE(performer.mouseIsAway());
    harnessHoldMotion(harness, 40, 60);
    harnessMouseMotion(harness, 160, 50, 100, 100);
    harnessReleaseHeldMotion(harness, false, 100, 100);
    EXPECT_TRUE(performer.mouseIsAway());
}

TEST(HarnessMouse, AScenarioSwitchesTheMouseOff) {
    SimulatedPerformer performer(1);
    ProgramHarness harness;
    harness.performer = &performer;
    Scenario scenario;
    struct NoHost : ScenarioHost {
        void pressKey(unsigned char) override {}
        void pressSpecialKey(int, int) override {}
        bool loadGestureSets(const std::string&) override { return false; }
        bool saveGestureSets(const std::string&) override { return false; }
        bool saveScreenshot(const std::string&) override { return false; }
        std::string query(const std::string&) override { return ""; }
    } host;
    harness.scenario = std::make_unique<ScenarioRunner>(scenario, performer, host);

    harnessMouseMotion(harness, 50, 50, 100, 100);
    harnessMouseLeft(harness);
    EXPECT_FALSE(performer.mouseIsAway());
    Vec3 rest = restWristPosition(performer.body(), HAND_RIGHT);
    EXPECT_LT(length(performer.wristTarget(HAND_RIGHT) - rest), 1e-4f) << "the mouse moved no hand";
}

namespace {

long pageFaultsSoFar() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

}  // namespace

// After the start-up's reserve, a renderer's burst of allocations finds pages already in
// memory: it must not fault them in mid-frame.
TEST(HarnessHeap, MemoryReservedAtStartUpIsReusedWithoutPageFaults) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators do not keep freed memory this way";
#endif
    ProgramHarness harness;
    int exitCode = 0;
    char name[] = "glebora";
    char* argv[] = {name, nullptr};
    ASSERT_TRUE(setUpHarness(harness, "glebora", 1, argv, exitCode));
    reserveHeap(48u << 20);

    const long before = pageFaultsSoFar();
    constexpr size_t piece = 1u << 20;
    std::vector<char*> burst;
    for (int i = 0; i < 40; ++i) {
        char* p = static_cast<char*>(std::malloc(piece));
        ASSERT_NE(p, nullptr);
        volatile char* bytes = p;
        for (size_t at = 0; at < piece; at += 4096) bytes[at] = 1;
        burst.push_back(p);
    }
    const long faults = pageFaultsSoFar() - before;
    for (char* p : burst) std::free(p);
    // 40 MiB of fresh pages would be about 10,000 faults.
    EXPECT_LT(faults, 1000);
}
