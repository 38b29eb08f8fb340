#pragma once
// One glebora application per test suite: start-up builds the terrain and loads every image,
// which is too slow to repeat for each test. Each test puts back what it changes; SetUp restores
// the tool, arming and view that most tests start from. `Suite` is the deriving suite, so that
// suites run in one process do not see each other's application.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

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
    }

    void frames(int count) {
        for (int i = 0; i < count; ++i) terrainFrame(*app, now += 33);
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
