#pragma once
// A program started with its standard input, output or error closed (`pintara >&-`) would hand
// those descriptor numbers to the next files it opens: the window system's connection, a
// recording, a gesture-set file. Every message it printed would then be written into them,
// which breaks the connection (the program hangs) or corrupts the file.
#include <string>

// Opens each of descriptors 0, 1 and 2 that is closed on /dev/null, so that what is written to
// it goes nowhere. Call first thing in main, before anything else is opened.
void keepStandardStreamsOpen();

// Whether everything printed to standard output reached it (not a full disk, not a file size
// limit): output that is a command's result must not end as a success when it was lost. Says
// "<who>: writing the output failed: <reason>" on standard error when it was.
bool standardOutputWritten(const std::string& who);
