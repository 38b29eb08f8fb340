// The harness's mouse control of the simulated performer.
#include "common/app/program_harness.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

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
