#pragma once
// Loading and drawing of the hand pointers (the pointer logic itself is headless, in
// common/sensor/hand_pointer.h). Needs a current GL context; main thread only.
#include "common/sensor/hand_pointer.h"

// Image files of the pointer cursor and the closed-hand overlay.
extern const char* const POINTER_DEFAULT_IMAGE;  // "../images/pointer_default.png"
extern const char* const POINTER_CLOSED_IMAGE;   // "../images/pointer_closed_hand.png"

// Loads both pointer images with mipmaps into pointer.defaultTexture and .closedTexture.
// A missing image leaves that name 0 and prints one line; the pointer then draws untextured.
void loadHandPointerTextures(HandPointer& pointer);

// A pointer for `hand` (0 left, 1 right) reading the window size through `window`, with its
// tint (R, G, B, A) and both textures loaded.
HandPointer createHandPointer(int hand, const WindowInfo* window, uint8_t r, uint8_t g, uint8_t b,
                              uint8_t a);

// Inside the frame's window-pixel orthographic overlay (origin bottom-left, y up): draws the
// pointer at its screen position, size pixels across, tinted by its colour, and, when `closed`,
// the closed-hand image at twice the size over it. Returns whether the pointer is engaged;
// nothing is drawn when it is not.
bool drawHandPointer(const HandPointer& pointer, bool closed);
