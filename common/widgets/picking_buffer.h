#pragma once
// Colour-coded picking (the painting's strokes, the terrain's faces) reads exact codes back from
// one pixel. A window of fewer than 8 bits a colour channel (a 16-bit virtual screen or remote
// desktop) rounds them off, and a multisampled one (a driver set to force antialiasing) mixes
// neighbouring codes at every edge: the wrong stroke or face would be picked, the eraser would
// take another stroke than the one under the pointer, a brush would dig somewhere else. There
// the picking passes draw into an off-screen buffer of 8-bit colour and 24-bit depth that covers
// the viewport at the window's own coordinates; on a plain window of 8 bits a channel they draw
// in the back buffer as they always did. Needs a current GL context.

// Sends drawing and reading to the off-screen buffer when the window needs it (made, or remade
// at a new viewport size, here). True when it did; pass the result to endPickingPass. When the
// window needs it but no off-screen buffer can be made, one console line says so and the pass
// uses the window.
bool beginPickingPass();

// Returns drawing and reading to the window after a pass that beginPickingPass sent off screen.
void endPickingPass(bool offScreen);
