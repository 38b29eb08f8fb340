// The painting frame's canvas work: the picking pass plus the visible pass over 1,000 strokes of
// 50 points each, in immediate mode, as drawCanvas does every frame; and the same frame with the
// finished strokes' picture kept, while the brush paints the last stroke. Run under Xvfb (Mesa's
// llvmpipe); report the median of the repetitions:
//   xvfb-run -a -s "-screen 0 1920x1200x24" ./bench_paint_frame --benchmark_repetitions=5
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "paint/canvas.h"
#include "paint/canvas_image_cache.h"

namespace {

constexpr int W = 1600;
constexpr int H = 1000;

bool makeWindow() {
    static bool ready = false;
    if (!ready) {
        if (std::getenv("DISPLAY") == nullptr) {
            return false;
        }
        int argc = 1;
        char name[] = "bench_paint_frame";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(W, H);
        glutCreateWindow("bench");
        glutDisplayFunc([] {});
        glutMainLoopEvent();
        glViewport(0, 0, W, H);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0.0, W, 0.0, H, -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
        glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
        ready = true;
    }
    return true;
}

// Wandering brush strokes spread over the window, like a busy painting.
Canvas busyCanvas(int strokes, int points) {
    Canvas canvas;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pos(0.0f, 1.0f);
    std::uniform_real_distribution<float> step(-12.0f, 12.0f);
    for (int s = 0; s < strokes; ++s) {
        Stroke stroke;
        CanvasPoint p{pos(rng) * W, pos(rng) * H};
        for (int k = 0; k < points; ++k) {
            stroke.points.push_back(p);
            p = CanvasPoint{p.x + step(rng), p.y + step(rng)};
        }
        stroke.colour = {{pos(rng), pos(rng), pos(rng)}};
        stroke.width = 2.0f + 10.0f * pos(rng);
        stroke.id = canvas.newStrokeId();
        canvas.appendStroke(stroke);
    }
    return canvas;
}

void BM_PaintFrame(benchmark::State& state) {
    if (!makeWindow()) {
        state.SkipWithError("no X display");
        return;
    }
    const Canvas canvas = busyCanvas(static_cast<int>(state.range(0)), 50);
    const Matrix4 view = multiplyMatrix(translationMatrix(20.0f, -10.0f, 0.0f), scaleMatrix(0.95f));
    int32_t picked = -1;
    for (auto _ : state) {
        picked = pickStroke(canvas, view, ScreenPoint{800.0f, 500.0f});
        drawStrokes(canvas, view);
        glFinish();  // the frame's work is done only when the renderer is
        benchmark::DoNotOptimize(picked);
    }
    state.counters["strokes"] = static_cast<double>(state.range(0));
    state.SetLabel(reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
}

// As pintara paints: the finished strokes come from the kept picture, and the brush adds a
// point to the open stroke every frame.
void BM_PaintFrameKept(benchmark::State& state) {
    if (!makeWindow()) {
        state.SkipWithError("no X display");
        return;
    }
    Canvas canvas = busyCanvas(static_cast<int>(state.range(0)), 50);
    Stroke& open = canvas.openStroke();
    open.width = 8.0f;
    open.points.reserve(1u << 20);
    const Matrix4 view = multiplyMatrix(translationMatrix(20.0f, -10.0f, 0.0f), scaleMatrix(0.95f));
    CanvasImageCache cache;
    int32_t picked = -1;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> step(-4.0f, 4.0f);
    CanvasPoint p{W * 0.5f, H * 0.5f};
    for (auto _ : state) {
        p = CanvasPoint{p.x + step(rng), p.y + step(rng)};
        canvas.strokes.back().points.push_back(p);
        picked = pickStroke(canvas, view, ScreenPoint{800.0f, 500.0f});
        cache.draw(canvas, view);
        glFinish();
        benchmark::DoNotOptimize(picked);
    }
    if (cache.disabled()) state.SkipWithError("no framebuffer objects: every frame drew");
    state.counters["copied"] = static_cast<double>(cache.framesCopied);
}

// The two halves apart, to see which one dominates.
void BM_PickingPass(benchmark::State& state) {
    if (!makeWindow()) {
        state.SkipWithError("no X display");
        return;
    }
    const Canvas canvas = busyCanvas(static_cast<int>(state.range(0)), 50);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pickStroke(canvas, identityMatrix(), ScreenPoint{800.0f, 500.0f}));
        glFinish();
    }
}

void BM_VisiblePass(benchmark::State& state) {
    if (!makeWindow()) {
        state.SkipWithError("no X display");
        return;
    }
    const Canvas canvas = busyCanvas(static_cast<int>(state.range(0)), 50);
    for (auto _ : state) {
        drawStrokes(canvas, identityMatrix());
        glFinish();
    }
}

}  // namespace

BENCHMARK(BM_PaintFrame)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PaintFrameKept)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PickingPass)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VisiblePass)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
