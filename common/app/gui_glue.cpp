#include "common/app/gui_glue.h"

#include <GL/freeglut.h>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

namespace {
bool guiReady = false;
}

void initGui() {
    if (guiReady) return;
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // no configuration on disk
    ImGui::StyleColorsLight();
    ImGui_ImplGLUT_Init();
    ImGui_ImplOpenGL2_Init();
    guiReady = true;
}

bool guiStarted() { return guiReady; }

void beginGuiFrame(int windowWidth, int windowHeight) {
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGLUT_ReshapeFunc(windowWidth, windowHeight);
    ImGui_ImplGLUT_NewFrame();
}

void endGuiFrame(int windowWidth, int windowHeight) {
    ImGui::Render();
    glViewport(0, 0, windowWidth, windowHeight);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

bool guiKeyboard(unsigned char key, int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_KeyboardFunc(key, x, y);
    return ImGui::GetIO().WantCaptureKeyboard;
}

bool guiKeyboardUp(unsigned char key, int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_KeyboardUpFunc(key, x, y);
    return ImGui::GetIO().WantCaptureKeyboard;
}

bool guiSpecial(int key, int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_SpecialFunc(key, x, y);
    return ImGui::GetIO().WantCaptureKeyboard;
}

bool guiSpecialUp(int key, int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_SpecialUpFunc(key, x, y);
    return ImGui::GetIO().WantCaptureKeyboard;
}

bool guiMouseButton(int button, int state, int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_MouseFunc(button, state, x, y);
    return ImGui::GetIO().WantCaptureMouse;
}

bool guiMouseMotion(int x, int y) {
    if (!guiReady) return false;
    ImGui_ImplGLUT_MotionFunc(x, y);
    return ImGui::GetIO().WantCaptureMouse;
}
