#pragma once
// Opening an input file that the user named, when only a regular file makes sense: a FIFO
// blocks the open until a writer comes (for ever, on the window's thread), a device reads
// endlessly or as nothing, and a socket cannot be opened.
#include <cstdio>
#include <string>

// Opens `path` for binary reading if it is a regular file (a link to one counts). Otherwise
// null, with `error` one of "is a folder, not a file", "is not a regular file (a pipe, socket
// or device)" or "cannot open: <reason>".
std::FILE* openRegularFile(const std::string& path, std::string& error);

// For input read once from start to end, which another program may be writing
// (`csv:<(export ...)`): like openRegularFile, but a FIFO is taken too once something to read
// arrives in it within `waitMs`. A FIFO that stays silent that long is refused with "is a pipe
// that no program writes to"; devices and sockets are refused as above.
std::FILE* openReadOnceFile(const std::string& path, int waitMs, std::string& error);
