#pragma once
// The overlay both programs draw last in a frame (pointers, buttons, labels): window pixels,
// origin at the bottom left, without the depth test, on top of whatever the scene left.

// Saves both matrices and sets up the pixel projection.
void beginPixelOverlay(int width, int height);

// Restores both matrices and switches the depth test on, as the scene is drawn with it.
void endPixelOverlay();
