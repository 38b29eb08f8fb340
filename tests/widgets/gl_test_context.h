#pragma once
// A GL context for tests: one GLUT window per test process (double-buffered RGBA with depth),
// drawn into and read back from the back buffer before any swap. Tests run under
// xvfb-run with Mesa's software renderer; without a display the helpers report false so the
// test can skip instead of letting GLUT exit the process.
//
//   if (!gltest::openContext(256, 256)) GTEST_SKIP() << "no display";
//   gltest::beginFrame(256, 256);          // clear to black, window-pixel projection
//   ... draw ...
//   auto rgba = gltest::readPixel(x, y);   // window pixels, origin bottom-left
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <array>
#include <cstdint>
#include <cstdlib>

#include "support/gl_display.h"

namespace gltest {

// Creates the window on the first call (later calls reuse it; the size of the first call holds)
// and makes its context current. False when there is no display to open.
inline bool openContext(int width, int height) {
    static int window = 0;
    if (window != 0) {
        glutSetWindow(window);
        return true;
    }
    HeldDisplay* held = holdDisplay();
    if (held == nullptr) return false;
    if (glutGet(GLUT_INIT_STATE) == 0) {
        int argc = 1;
        char name[] = "gl_test";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
    }
    glutInitDisplayMode(gltest::testWindowMode());
    glutInitWindowSize(width, height);
    window = glutCreateWindow("gl test");
    releaseDisplay(held);
    return window != 0;
}

// Clears to opaque black, blending on (source alpha), depth test off, and sets the orthographic
// window-pixel projection (0..width, 0..height, y up) the overlays draw in.
inline void beginFrame(int width, int height) {
    glViewport(0, 0, width, height);
    glDrawBuffer(GL_BACK);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -10.0, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// One back-buffer pixel as r, g, b, a bytes.
inline std::array<uint8_t, 4> readPixel(int x, int y) {
    std::array<uint8_t, 4> rgba{};
    glFinish();
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

}  // namespace gltest
