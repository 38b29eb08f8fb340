#pragma once
// The main window's size, shared by address with the hand pointers, the colour picker and the
// terrain tools. The reshape callback rewrites aspect, height and width.
#include <cstdint>

struct WindowInfo {
    const char* title = "";
    float aspect = 1.6f;      // width / height
    uint32_t height = 1000;   // pixels
    uint32_t width = 1600;    // pixels
};
