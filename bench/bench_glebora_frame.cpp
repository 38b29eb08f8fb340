// glebora's whole frame at 1600 x 1000 under the software renderer: the simulated performer's
// frames, the recogniser, both hand detectors and pointers, the current tool's input, the
// terrain, the overlay and the swap. The right hand is held forward and closed over the middle
// of the view, so the tool works every frame. Run under Xvfb (Mesa's llvmpipe) and report the
// medians; the sensor delivers a frame every 33 ms:
//   xvfb-run -a -s "-screen 0 1920x1200x24" ./bench_glebora_frame --benchmark_repetitions=5
//
// Arguments: 0 TerraBrush (a stroke and its normal update per frame), 1 TerraColorizer (a stamp
// and the copy into the colour map per frame), 2 OrbitManipulator (the camera turns), 3 the
// camera view (key d: the sensor's frames and the depth image only, no terrain), which shows
// how much of a frame the simulated sensor itself costs, 4 NullTool (nothing about the terrain
// changes, so its kept picture is copied instead of drawn).
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "common/sensor/simulated_performer.h"
#include "terrain/terrain_app.h"

namespace {

constexpr int W = 1600;
constexpr int H = 1000;

struct Rig {
    TerrainApp app;
    SimulatedPerformer* performer = nullptr;
    uint32_t now = 33;
};

Rig* rig() {
    static Rig* made = [] () -> Rig* {
        if (std::getenv("DISPLAY") == nullptr) return nullptr;
        int argc = 1;
        char name[] = "bench_glebora_frame";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(W, H);
        Rig* r = new Rig();
        r->app.windowId = glutCreateWindow(TERRAIN_WINDOW_TITLE);
        glutDisplayFunc([] {});
        glutMainLoopEvent();
        r->app.window = WindowInfo{TERRAIN_WINDOW_TITLE, static_cast<float>(W) / H, H, W};
        auto performer = std::make_unique<SimulatedPerformer>(5);
        r->performer = performer.get();
        createTerrainApp(r->app, std::move(performer), std::nullopt, r->now);
        reshapeTerrainApp(r->app, W, H);
        return r;
    }();
    return made;
}

// The right hand forward and closed over the window centre, until it grips.
bool grip(Rig& r) {
    r.performer->moveWrist(1, 0.25f, 0.15f, 0);
    r.performer->setReach(1, 0.35f, 0);
    r.performer->setHandShape(1, HandShape::CLOSED);
    for (int i = 0; i < 120; ++i) {
        terrainFrame(r.app, r.now += 33);
        glutSwapBuffers();
        if (r.app.rightPointer->engaged() && r.app.rightDetector->closed()) return true;
    }
    return false;
}

void BM_GleboraFrame(benchmark::State& state) {
    Rig* r = rig();
    if (r == nullptr) {
        state.SkipWithError("no X display");
        return;
    }
    static const int tools[] = {TERRAIN_TOOL_TERRA_BRUSH, TERRAIN_TOOL_COLORIZER, TERRAIN_TOOL_ORBIT,
                                TERRAIN_TOOL_ORBIT, TERRAIN_TOOL_NULL};
    selectTool(r->app.tools, tools[state.range(0)]);
    r->app.cameraView = false;
    if (!grip(*r)) {
        state.SkipWithError("the right hand never gripped");
        return;
    }
    r->app.cameraView = state.range(0) == 3;
    for (auto _ : state) {
        terrainFrame(r->app, r->now += 33);
        glutSwapBuffers();
        glFinish();  // the frame's work is done only when the renderer is
    }
}
BENCHMARK(BM_GleboraFrame)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->MinTime(2.0)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
