#pragma once
// Dear ImGui on top of GLUT and the fixed-function pipeline. The programs register their own
// GLUT callbacks and forward events here first; ImGui keeps the keyboard while one of its text
// fields is focused, so those keys never reach a program's key table.

// After the GLUT window exists: creates the ImGui context and both backends.
void initGui();
// Whether initGui has run (no ImGui frame may start before).
bool guiStarted();

// Starts an ImGui frame for a window of the given size in pixels.
void beginGuiFrame(int windowWidth, int windowHeight);

// Renders what was built since beginGuiFrame over the whole window.
void endGuiFrame(int windowWidth, int windowHeight);

// Event forwarding. Each returns true when ImGui consumed the event.
bool guiKeyboard(unsigned char key, int x, int y);
bool guiKeyboardUp(unsigned char key, int x, int y);
bool guiSpecial(int key, int x, int y);
bool guiSpecialUp(int key, int x, int y);
bool guiMouseButton(int button, int state, int x, int y);
bool guiMouseMotion(int x, int y);
// Whether ImGui wanted the mouse at the start of its last frame.
bool guiWantsMouse();
