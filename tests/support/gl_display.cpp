#include "support/gl_display.h"

// gtest before Xlib, whose None and Bool macros break gtest's headers.
#include <gtest/gtest.h>
#include <GL/freeglut.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdlib>

namespace gltest {

struct HeldDisplay {
    Display* display;
};

HeldDisplay* holdDisplay() {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == '\0') return nullptr;
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr)) return new HeldDisplay{display};
        usleep(100000);
    }
    ADD_FAILURE() << "cannot connect to display " << name;
    return nullptr;
}

unsigned int testWindowMode() {
    const char* samples = std::getenv("GL_TEST_SAMPLES");
    const int count = samples != nullptr ? std::atoi(samples) : 0;
    if (count <= 0) return GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH;
    glutSetOption(GLUT_MULTISAMPLE, count);
    return GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH | GLUT_MULTISAMPLE;
}

void releaseDisplay(HeldDisplay* held) {
    if (held == nullptr) return;
    XCloseDisplay(held->display);
    delete held;
}

}  // namespace gltest
