#include "support/gl_display.h"

// gtest before Xlib, whose None and Bool macros break gtest's headers.
#include <gtest/gtest.h>
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

void releaseDisplay(HeldDisplay* held) {
    if (held == nullptr) return;
    XCloseDisplay(held->display);
    delete held;
}

}  // namespace gltest
