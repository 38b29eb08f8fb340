// Usage: close_window TITLE
// Asks every top-level window whose title contains TITLE to close, as a window manager's close
// button does (a WM_DELETE_WINDOW message). Exit code 0 when one was asked, 1 when none has
// that title, 2 without a display.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

namespace {

bool titleContains(Display* display, Window window, const char* part) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) == 0 || name == nullptr) return false;
    const bool found = std::strstr(name, part) != nullptr;
    XFree(name);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: close_window TITLE\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "close_window: no display\n");
        return 2;
    }
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    int asked = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count; ++i) {
            if (!titleContains(display, children[i], argv[1])) continue;
            XEvent event{};
            event.xclient.type = ClientMessage;
            event.xclient.window = children[i];
            event.xclient.message_type = protocols;
            event.xclient.format = 32;
            event.xclient.data.l[0] = static_cast<long>(deleteWindow);
            event.xclient.data.l[1] = CurrentTime;
            XSendEvent(display, children[i], False, NoEventMask, &event);
            ++asked;
        }
        if (children != nullptr) XFree(children);
    }
    XSync(display, False);
    XCloseDisplay(display);
    if (asked == 0) std::fprintf(stderr, "close_window: no window titled '%s'\n", argv[1]);
    return asked > 0 ? 0 : 1;
}
