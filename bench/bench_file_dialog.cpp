// One frame of the open dialog listing a large folder: what the program pays every frame while
// the dialog is open. Dear ImGui builds its draw lists on the CPU, so no window is needed.
#include <imgui.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/app/file_dialog.h"
#include "tests/support/headless_gui.h"

namespace {

namespace fs = std::filesystem;

// A folder of `folders` sub-folders and `files` .bin files, removed at the end.
struct BigFolder {
    fs::path root;
    BigFolder(int folders, int files) {
        root = fs::temp_directory_path() / ("bench_file_dialog_" + std::to_string(::getpid()));
        fs::create_directories(root);
        for (int i = 0; i < folders; ++i) fs::create_directory(root / ("folder" + std::to_string(i)));
        for (int i = 0; i < files; ++i) std::ofstream(root / ("gestures" + std::to_string(i) + ".bin"));
    }
    ~BigFolder() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

void BM_DialogFrame(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    BigFolder folder(entries / 10, entries - entries / 10);
    HeadlessGui gui(ImVec2(1600, 1000));
    FileDialog dialog;
    openFileDialog(dialog, FileDialogMode::OPEN, "Open gesture sets", "*.bin", folder.root.string());
    for (auto _ : state) {
        ImGui::NewFrame();
        drawFileDialog(dialog);
        ImGui::Render();
        benchmark::DoNotOptimize(ImGui::GetDrawData());
    }
    state.counters["entries"] = static_cast<double>(dialog.entries.size());
}
BENCHMARK(BM_DialogFrame)->Arg(100)->Arg(2000)->Arg(20000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
