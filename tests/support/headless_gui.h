#pragma once
// A Dear ImGui context with no window or GL behind it: frames only build draw lists, so the
// program's ImGui code runs in tests and benchmarks. The previous context is current again
// once it goes.
#include <imgui.h>

struct HeadlessGui {
    ImGuiContext* previous = ImGui::GetCurrentContext();
    ImGuiContext* context = ImGui::CreateContext();

    explicit HeadlessGui(ImVec2 displaySize = ImVec2(1200, 800)) {
        ImGui::SetCurrentContext(context);
        ImGuiIO& io = ImGui::GetIO();
        io.DisplaySize = displaySize;
        io.DeltaTime = 1.0f / 30.0f;
        io.IniFilename = nullptr;
        unsigned char* pixels = nullptr;  // a frame needs the font atlas built
        int width = 0, height = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    }
    ~HeadlessGui() {
        ImGui::DestroyContext(context);
        ImGui::SetCurrentContext(previous);
    }
    HeadlessGui(const HeadlessGui&) = delete;
    HeadlessGui& operator=(const HeadlessGui&) = delete;
};
