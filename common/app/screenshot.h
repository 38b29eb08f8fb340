#pragma once
#include <string>

// Saves the current GL read buffer's window area (width x height pixels) as an 8-bit RGB PNG,
// rows top to bottom. The file is replaced whole or not at all: on failure (a full disk, a
// folder in the way) the old file stays, and `error` says why.
bool saveScreenshot(const std::string& path, int width, int height, std::string& error);
