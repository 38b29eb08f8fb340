#include "paint/recognition_screen.h"

#include <GL/gl.h>

#include <algorithm>

#include "common/sensor/frame_source.h"

void drawCameraView(uint32_t texture, float aspect, float alpha) {
    // The quad lies on the far plane (z = -1000), where a depth of exactly 1.0 fails the
    // depth test against the cleared buffer on some renderers: it is a backdrop, so draw it
    // without the test.
    GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -1, 1000);
    glColor4f(1, 1, 1, alpha);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);
    float x0 = 1.0f - 2.666f / aspect;
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.46875f);
    glVertex3f(x0, -1.0f, -1000.0f);
    glTexCoord2f(0.625f, 0.46875f);
    glVertex3f(1.0f, -1.0f, -1000.0f);
    glTexCoord2f(0.625f, 0.0f);
    glVertex3f(1.0f, 1.0f, -1000.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(x0, 1.0f, -1000.0f);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    if (depthTest) glEnable(GL_DEPTH_TEST);
}

namespace {

// The graphs are flat overlays in one plane: under the depth test the first shape drawn at a
// pixel would hide every later one (the marked span's quad hid the speed curve and thresholds,
// the peaks' quads their red lines), so they are drawn without it. Returns whether it was on.
GLboolean beginGraph(int x, int y, int w, int h) {
    const GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
    glDisable(GL_DEPTH_TEST);
    glViewport(x, y, w, h);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    return depthTest;
}

void endGraph(int width, int height, GLboolean depthTest) {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glViewport(0, 0, width, height);
    if (depthTest) glEnable(GL_DEPTH_TEST);
}

}  // namespace

void drawSpeedGraph(const SpeedSample* samples, int count, float lowThreshold, float highThreshold, int width,
                    int height) {
    int n = count;
    float top = std::max(highThreshold, lowThreshold);
    const GLboolean depthTest = beginGraph(0, 0, width / 2, height / 4);
    if (n > 0 && top > 0.0f) {
        glPushMatrix();
        glScalef(1.0f / n, 0.7f / top, 1.0f);
        glLineWidth(2.0f);
        glColor3f(0, 0, 1);
        int lowest = -1, highest = -1;
        glBegin(GL_LINES);
        for (int i = 0; i < n; ++i) {
            if (!samples[i].marked) continue;
            glVertex2f(static_cast<float>(i), 0.0f);
            glVertex2f(static_cast<float>(i), 1.4285715f * top);
            if (lowest < 0) lowest = i;
            highest = i;
        }
        glEnd();
        if (lowest >= 0) {
            glColor4f(0, 0, 1, 0.2f);
            glBegin(GL_QUADS);
            glVertex2f(static_cast<float>(lowest), 0.0f);
            glVertex2f(static_cast<float>(highest), 0.0f);
            glVertex2f(static_cast<float>(highest), 1.4285715f * top);
            glVertex2f(static_cast<float>(lowest), 1.4285715f * top);
            glEnd();
        }
        glColor3f(1, 0, 0);
        glBegin(GL_LINE_STRIP);
        for (int i = 0; i < n; ++i) glVertex2f(static_cast<float>(i), samples[i].speed);
        glEnd();
        glColor3ub(60, 60, 60);
        glBegin(GL_LINES);
        glVertex2f(0.0f, lowThreshold);
        glVertex2f(static_cast<float>(n), lowThreshold);
        glEnd();
        glColor3ub(128, 128, 128);
        glBegin(GL_LINES);
        glVertex2f(0.0f, highThreshold);
        glVertex2f(static_cast<float>(n), highThreshold);
        glEnd();
        glPopMatrix();
    }
    glColor3ub(60, 60, 60);
    glBegin(GL_LINE_LOOP);
    glVertex2f(0, 0);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glVertex2f(0, 1);
    glEnd();
    endGraph(width, height, depthTest);
}

void drawContourGraph(const ContourGraph& graph, int width, int height) {
    int n = graph.count;
    if (!graph.radii || n <= 0) return;
    float m = *std::max_element(graph.radii, graph.radii + n);
    if (!(m > 0.0f)) return;  // an empty profile has no scale
    const GLboolean depthTest = beginGraph(static_cast<int>(0.75f * width), 0, static_cast<int>(0.25f * width),
                                           static_cast<int>(0.25f * height));
    glScalef(1.0f / n, 1.0f / m, 1.0f);
    glLineWidth(3.0f);
    glColor3ub(60, 60, 60);
    glBegin(GL_LINES);
    glVertex2f(0.0f, graph.meanRadius);
    glVertex2f(static_cast<float>(n), graph.meanRadius);
    glEnd();
    float k = static_cast<float>(graph.neighbourhood);
    for (int i = 0; i < graph.peakCount; ++i) {
        int p = graph.peaks[i];
        if (p < 0 || p >= n) continue;
        glColor4ub(255, 255, 255, 120);
        glBegin(GL_QUADS);
        glVertex2f(p - k, 0.0f);
        glVertex2f(p + k, 0.0f);
        glVertex2f(p + k, graph.radii[p]);
        glVertex2f(p - k, graph.radii[p]);
        glEnd();
        glColor3ub(255, 0, 0);
        glBegin(GL_LINES);
        glVertex2f(static_cast<float>(p), 0.0f);
        glVertex2f(static_cast<float>(p), graph.radii[p]);
        glEnd();
    }
    glColor3ub(60, 60, 60);
    glBegin(GL_LINE_STRIP);
    for (int i = 0; i < n; ++i) glVertex2f(static_cast<float>(i), graph.radii[i]);
    glEnd();
    endGraph(width, height, depthTest);
}
