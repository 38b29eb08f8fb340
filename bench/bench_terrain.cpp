// Terrain frame costs under the software renderer: drawing, picking, one brush stroke with its
// normal update, and a whole frame with a brush active. The "Immediate" variants draw and pick
// vertex by vertex over the whole window, the straightforward way, as the baseline.
// Run under Xvfb: xvfb-run -a -s "-screen 0 1920x1200x24" ./bench_terrain
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "terrain/camera.h"
#include "terrain/orbit_manipulator.h"
#include "terrain/terrain.h"
#include "terrain/terrain_brushes.h"

namespace {

constexpr int W = 1600;
constexpr int H = 1000;

bool openWindow() {
    static const bool open = [] {
        if (std::getenv("DISPLAY") == nullptr) return false;
        int argc = 1;
        char name[] = "bench_terrain";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(W, H);
        glutCreateWindow("bench_terrain");
        glViewport(0, 0, W, H);
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_COLOR_MATERIAL);
        glEnable(GL_LIGHT0);
        return true;
    }();
    return open;
}

struct Scene {
    WindowInfo window{"bench", 1.6f, H, W};
    Camera camera{&window};
    Terrain terrain;
    HandPointer pointer{1, &window};
    OrbitManipulator orbit{camera};

    // view 0: the start-up view; view 1: close enough that the terrain fills the window.
    explicit Scene(int view) {
        if (view == 1) orbit.distance = 110.0f;
        orbit.updateCamera();
        terrain.initGraphics();
        for (TerrainVertex& v : terrain.vertices) v.y = 0.02f * ((v.index * 7919) % 101);
        for (TerrainVertex& v : terrain.vertices) terrain.markDirty(v);
        terrain.updateNormals();
        pointer.state = POINTER_ENGAGED;
        pointer.x = 0.25f;  // the window centre
        pointer.y = 0.15f;
    }
    void loadCamera() {
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(camera.projection.data());
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(camera.view.data());
    }
};

// The baseline: one immediate-mode strip per row.
void drawImmediate(Terrain& t) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, t.colourMap);
    glColor3f(1, 1, 1);
    auto put = [&t](int k) {
        const TerrainVertex& v = t.vertices[k];
        glNormal3f(v.nx, v.ny, v.nz);
        glTexCoord2f(v.x / t.columns, v.z / t.rows);
        glVertex3f(v.x, v.y, v.z);
    };
    for (int r = 0; r < t.rows; ++r) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int c = 0; c <= t.columns; ++c) {
            put(c + (r + 1) * (t.columns + 1));
            put(c + r * (t.columns + 1));
        }
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
}

// The baseline pick: both passes over the whole window, vertex by vertex.
bool pickImmediate(Terrain& t, float out[3], int x, int y) {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    for (int r = 0; r < t.rows; ++r) {
        glBegin(GL_TRIANGLE_STRIP);
        for (int c = 0; c <= t.columns; ++c) {
            const int top = c + (r + 1) * (t.columns + 1), bottom = c + r * (t.columns + 1);
            if (c > 0) {
                const int f = 2 * t.columns * r + 2 * c - 2;
                glColor3ub((f >> 16) & 255, (f >> 8) & 255, f & 255);
            }
            glVertex3f(t.vertices[top].x, t.vertices[top].y, t.vertices[top].z);
            if (c > 0) {
                const int f = 2 * t.columns * r + 2 * c - 1;
                glColor3ub((f >> 16) & 255, (f >> 8) & 255, f & 255);
            }
            glVertex3f(t.vertices[bottom].x, t.vertices[bottom].y, t.vertices[bottom].z);
        }
        glEnd();
    }
    unsigned char rgb[3];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    if (rgb[0] == 255 && rgb[1] == 255 && rgb[2] == 255) return false;
    const TerrainFace& face = t.faces[rgb[0] * 65536 + rgb[1] * 256 + rgb[2]];
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_TRIANGLES);
    glColor3f(1, 0, 0);
    glVertex3f(t.vertices[face.a].x, t.vertices[face.a].y, t.vertices[face.a].z);
    glColor3f(0, 1, 0);
    glVertex3f(t.vertices[face.b].x, t.vertices[face.b].y, t.vertices[face.b].z);
    glColor3f(0, 0, 1);
    glVertex3f(t.vertices[face.c].x, t.vertices[face.c].y, t.vertices[face.c].z);
    glEnd();
    float w[3];
    glReadPixels(x, y, 1, 1, GL_RGB, GL_FLOAT, w);
    const TerrainVertex& v = t.vertices[face.a];
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
    return true;
}

#define REQUIRE_WINDOW(state)                                  \
    if (!openWindow()) {                                       \
        state.SkipWithError("no display: run under xvfb-run"); \
        return;                                                \
    }

void clearFrame() {
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void BM_DrawImmediate(benchmark::State& state) {
    REQUIRE_WINDOW(state);
    Scene scene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        scene.loadCamera();
        clearFrame();
        drawImmediate(scene.terrain);
        glFinish();
    }
}
BENCHMARK(BM_DrawImmediate)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_Draw(benchmark::State& state) {
    REQUIRE_WINDOW(state);
    Scene scene(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        scene.loadCamera();
        clearFrame();
        scene.terrain.draw();
        glFinish();
    }
}
BENCHMARK(BM_Draw)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_PickImmediate(benchmark::State& state) {
    REQUIRE_WINDOW(state);
    Scene scene(static_cast<int>(state.range(0)));
    float point[3];
    for (auto _ : state) {
        scene.loadCamera();
        benchmark::DoNotOptimize(pickImmediate(scene.terrain, point, W / 2, H / 2));
    }
}
BENCHMARK(BM_PickImmediate)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_Pick(benchmark::State& state) {
    REQUIRE_WINDOW(state);
    Scene scene(static_cast<int>(state.range(0)));
    float point[3];
    for (auto _ : state) {
        scene.loadCamera();
        benchmark::DoNotOptimize(scene.terrain.pick(point, true, W / 2, H / 2));
    }
}
BENCHMARK(BM_Pick)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// One TerraBrush stroke of radius 8 with its normal update, aimed without GL: the CPU part.
void BM_StrokeWithNormals(benchmark::State& state) {
    Terrain terrain;
    WindowInfo window;
    HandPointer pointer(1, &window);
    TerraBrush brush(pointer, terrain);
    brush.radius = 8.0f;
    brush.pickAt = [&terrain](float out[3], bool, int, int) {
        const TerrainVertex& v = terrain.vertexAt(128, 128);
        out[0] = v.x;
        out[1] = v.y;
        out[2] = v.z;
        return true;
    };
    ArmPose pose{};
    for (auto _ : state) {
        brush.onRightGrip(pose);
        if (terrain.vertexAt(128, 128).y > 1000.0f) {  // keep the bump in a sane range
            state.PauseTiming();
            for (TerrainVertex& v : terrain.vertices) v.y = 0.0f;
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_StrokeWithNormals)->Unit(benchmark::kMicrosecond);

// A whole frame with the TerraBrush current and the right hand gripping: the stroke (with its
// pick), clearing, the terrain, the cursor.
void BM_FrameWithBrushImmediate(benchmark::State& state) {
    REQUIRE_WINDOW(state);
    Scene scene(static_cast<int>(state.range(0)));
    TerraBrush brush(scene.pointer, scene.terrain);
    brush.pickAt = [&scene](float out[3], bool, int x, int y) {
        return pickImmediate(scene.terrain, out, x, y);
    };
    ArmPose pose{};
    for (auto _ : state) {
        scene.loadCamera();
        brush.onRightGrip(pose);
        clearFrame();
        drawImmediate(scene.terrain);
        brush.drawOverlay();
        glFinish();
    }
}
BENCHMARK(BM_FrameWithBrushImmediate)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_FrameWithBrush(benchmark::State& state) {
    REQUIRE_WINDOW(state);
    Scene scene(static_cast<int>(state.range(0)));
    TerraBrush brush(scene.pointer, scene.terrain);
    ArmPose pose{};
    for (auto _ : state) {
        scene.loadCamera();
        brush.onRightGrip(pose);
        clearFrame();
        scene.terrain.draw();
        brush.drawOverlay();
        glFinish();
    }
}
BENCHMARK(BM_FrameWithBrush)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
