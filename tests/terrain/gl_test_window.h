#pragma once
// One hidden-in-Xvfb GLUT window per test process, set up the way glebora sets its GL state.
// Tests that need GL call openTestWindow() and skip when there is no display.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstdlib>

#include "support/gl_display.h"
#include "terrain/camera.h"
#include "terrain/terrain.h"

constexpr int TEST_WINDOW_WIDTH = 800;
constexpr int TEST_WINDOW_HEIGHT = 500;

inline bool openTestWindow() {
    static const bool open = [] {
        gltest::HeldDisplay* held = gltest::holdDisplay();
        if (held == nullptr) return false;
        int argc = 1;
        char name[] = "test_terrain";
        char* argv[] = {name, nullptr};
        glutInit(&argc, argv);
        glutInitDisplayMode(gltest::testWindowMode());
        glutInitWindowSize(TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
        glutCreateWindow("terrain test");
        gltest::releaseDisplay(held);
        glViewport(0, 0, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
        glEnable(GL_DEPTH_TEST);
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_COLOR_MATERIAL);
        glEnable(GL_LIGHT0);
        return true;
    }();
    return open;
}

inline void loadCamera(const Camera& camera) {
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(camera.projection.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(camera.view.data());
}

// Window pixel coordinates (origin bottom-left) of a world point seen by the camera.
inline std::array<float, 2> projectToWindow(const Camera& camera, float x, float y, float z) {
    const Mat4 m = multiply(camera.projection, camera.view);
    const float cx = m[0] * x + m[4] * y + m[8] * z + m[12];
    const float cy = m[1] * x + m[5] * y + m[9] * z + m[13];
    const float cw = m[3] * x + m[7] * y + m[11] * z + m[15];
    return {(cx / cw + 1.0f) * 0.5f * TEST_WINDOW_WIDTH, (cy / cw + 1.0f) * 0.5f * TEST_WINDOW_HEIGHT};
}

// Hills and a slope, so that heights, normals, depths and the colour map all vary across a view.
inline void raiseHills(Terrain& terrain) {
    for (TerrainVertex& v : terrain.vertices) {
        v.y = 12.0f * std::sin(v.x * 0.05f) * std::cos(v.z * 0.07f) + 0.03f * v.z;
        terrain.markDirty(v);
    }
    terrain.updateNormals();
}
