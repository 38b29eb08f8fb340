// A program's frame loop runs in GLUT's display callback, which GLUT calls only while some of
// the window can be seen. Two programs at the same place on one display (tests run in
// parallel), or a user's other window, must not stop the covered one.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <chrono>

#include "common/app/program_harness.h"
#include "common/app/scenario_script.h"
#include "common/sensor/recording.h"
#include "support/gl_display.h"

namespace {

int framesRun = 0;
int firstWindowStatus = -1;

void countFrame() { ++framesRun; }
void drawBlank() {
    glClear(GL_COLOR_BUFFER_BIT);
    glutSwapBuffers();
}
void rememberStatus(int status) { firstWindowStatus = status; }

// Lets GLUT handle events until `done` or two seconds have passed.
template <typename Done>
void pumpUntil(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < end) glutMainLoopEvent();
}

}  // namespace

TEST(HarnessIdle, AWindowCoveredByAnotherStillRunsItsFrames) {
    gltest::HeldDisplay* held = gltest::holdDisplay();
    if (!held) GTEST_SKIP() << "no display";
    int argc = 1;
    char name[] = "test_app";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    gltest::releaseDisplay(held);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(320, 200);
    const int first = glutCreateWindow("covered");
    glutDisplayFunc(drawBlank);
    glutWindowStatusFunc(rememberStatus);
    pumpUntil([] { return firstWindowStatus == GLUT_FULLY_RETAINED; });
    ASSERT_EQ(firstWindowStatus, GLUT_FULLY_RETAINED);

    const int second = glutCreateWindow("on top, at the same place");
    glutDisplayFunc(drawBlank);
    pumpUntil([] { return firstWindowStatus == GLUT_FULLY_COVERED; });
    ASSERT_EQ(firstWindowStatus, GLUT_FULLY_COVERED) << "GLUT says the first window cannot be seen";

    ProgramHarness harness;
    harnessWindowStatus(harness, firstWindowStatus);
    for (int i = 0; i < 5; ++i) harnessIdle(harness, first, countFrame);
    EXPECT_EQ(framesRun, 5) << "the covered window's frames run from the idle callback";

    // Seen again: GLUT's own redisplay runs the frames, the idle callback only asks for one.
    harnessWindowStatus(harness, GLUT_PARTIALLY_RETAINED);
    harnessIdle(harness, first, countFrame);
    EXPECT_EQ(framesRun, 5);

    glutDestroyWindow(second);
    glutDestroyWindow(first);
    glutMainLoopEvent();
}
