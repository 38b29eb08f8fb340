#pragma once
#include <string>

// Saves the current GL read buffer's window area (width x height pixels) as an 8-bit RGB PNG,
// rows top to bottom. Returns false and prints one line when the file cannot be written.
bool saveScreenshot(const std::string& path, int width, int height);
