#pragma once
// One glebora application per test suite: start-up builds the terrain and loads every image,
// which is too slow to repeat for each test. Each test puts back what it changes; SetUp restores
// the tool, arming and view that most tests start from. `Suite` is the deriving suite, so that
// suites run in one process do not see each other's application.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "common/sensor/simulated_performer.h"
#include "gl_test_window.h"
#include "terrain/terrain_app.h"

template <class Suite>
class TerrainAppFixture : public ::testing::Test {
protected:
    inline static TerrainApp* app = nullptr;
    uint32_t now = 1000;

    static void SetUpTestSuite() {
        if (app != nullptr || !openTestWindow()) return;
        app = new TerrainApp();
        app->window = WindowInfo{TERRAIN_WINDOW_TITLE, 1.6f, TEST_WINDOW_HEIGHT, TEST_WINDOW_WIDTH};
        createTerrainApp(*app, std::make_unique<SimulatedPerformer>(3), std::nullopt, 33);
        reshapeTerrainApp(*app, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
    }

    void SetUp() override {
        if (app == nullptr) GTEST_SKIP() << "no display";
        app->tools.currentTool = app->tools.tools[TERRAIN_TOOL_TERRA_BRUSH];
        app->tools.gestureArmed = false;
        app->cameraView = false;
        // The app outlives each test; a tool a test gave input to (some are the test's own
        // spies, gone with it) must not be told the grip ended when the next test opens the
        // file dialog.
        app->toolLastDispatched = nullptr;
        app->tools.gripsWaitForOpenHands = false;
    }

    void frames(int count) {
        for (int i = 0; i < count; ++i) terrainFrame(*app, now += 33);
    }

    // The right hand at (x, y) metres, held forward and closed, for as many frames as it takes
    // to grip (its pointer engaged, its detector reading it closed).
    void gripRightHand(SimulatedPerformer& performer, float x, float y) {
        performer.moveWrist(1, x, y, 0);
        performer.setReach(1, 0.35f, 0);
        performer.setHandShape(1, HandShape::CLOSED);
        for (int i = 0; i < 120 && !(app->rightPointer->engaged() && app->rightDetector->closed()); ++i) frames(1);
        ASSERT_TRUE(app->rightPointer->engaged() && app->rightDetector->closed()) << "the right hand never gripped";
    }

    // Opens the right hand, lowers it, and puts the heights back for the other tests.
    void releaseRightHand(SimulatedPerformer& performer, const std::vector<TerrainVertex>& savedHeights) {
        performer.setHandShape(1, HandShape::OPEN);
        performer.setReach(1, 0.02f, 0);
        frames(20);
        for (size_t i = 0; i < savedHeights.size(); ++i) app->terrain->vertices[i] = savedHeights[i];
    }

    // The tracker loses the person for one frame: the engaged right pointer stays engaged.
    void expectRightPointerKeptThroughABlip(SimulatedPerformer& performer, const char* when) {
        performer.injectFault(PerformerFault::LOSE_PERSON, 30);
        bool lostOnce = false;
        for (int i = 0; i < 4; ++i) {
            frames(1);
            lostOnce = lostOnce || !app->sensor->personTracked;
            EXPECT_TRUE(app->rightPointer->engaged()) << "frame " << i << " after a blip in tracking " << when;
        }
        EXPECT_TRUE(lostOnce);
        EXPECT_TRUE(app->sensor->personTracked);
    }
};
