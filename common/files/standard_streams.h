#pragma once
// A program started with its standard input, output or error closed (`pintara >&-`) would hand
// those descriptor numbers to the next files it opens: the window system's connection, a
// recording, a gesture-set file. Every message it printed would then be written into them,
// which breaks the connection (the program hangs) or corrupts the file.

// Opens each of descriptors 0, 1 and 2 that is closed on /dev/null, so that what is written to
// it goes nowhere. Call first thing in main, before anything else is opened.
void keepStandardStreamsOpen();
