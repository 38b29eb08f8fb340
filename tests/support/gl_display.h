#pragma once
// Opening the test display. An Xvfb started without -noreset resets whenever its last client
// leaves and refuses connections for a moment, and glutInit exits the whole process when it
// cannot connect. So the GL helpers wait for the display first and hold that connection open
// until GLUT has its own, which keeps the server from resetting in between.
//
// Xlib stays out of this header: its macros (None, Status, Bool, ...) would leak into the tests.

namespace gltest {

struct HeldDisplay;

// A connection to $DISPLAY, retried for up to five seconds; nullptr when DISPLAY is unset
// (the GL tests skip) or the display never answers (also recorded as a test failure).
HeldDisplay* holdDisplay();

// Closes a connection from holdDisplay (nullptr is fine).
void releaseDisplay(HeldDisplay* held);

// The display mode for glutInitDisplayMode (call after glutInit): double-buffered RGBA with
// depth, multisampled with GL_TEST_SAMPLES samples when that is set, as a driver set to force
// antialiasing makes every window.
unsigned int testWindowMode();

}  // namespace gltest
