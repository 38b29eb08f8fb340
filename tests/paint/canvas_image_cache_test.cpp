// The kept picture of the painting: every frame must show exactly the pixels (and leave the GL
// state) that drawing every stroke gives, whichever way the frame got them, through the edits the
// tools make. Real GL context (Xvfb, Mesa's software renderer).
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "paint/canvas.h"
#include "paint/canvas_image_cache.h"
#include "widgets/gl_test_context.h"

namespace {

constexpr int W = 400;
constexpr int H = 300;

// The state the painting frame draws the strokes in: window-pixel projection, blending and
// smoothing on, depth test off.
bool glWindow(int width = W, int height = H) {
    if (!gltest::openContext(W, H) || glutGet(GLUT_WINDOW_WIDTH) < W || glutGet(GLUT_WINDOW_HEIGHT) < H) {
        return false;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_POINT_SMOOTH);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    return true;
}

#define REQUIRE_GL()                                  \
    if (!glWindow()) {                                \
        GTEST_SKIP() << "no X display for GL tests"; \
    }

struct Frame {
    std::vector<unsigned char> pixels;
    float lineWidth = 0.0f;
    float pointSize = 0.0f;
    float colour[4] = {0, 0, 0, 0};
};

Frame readFrame() {
    Frame frame;
    frame.pixels.resize(static_cast<size_t>(W) * H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, frame.pixels.data());
    glGetFloatv(GL_LINE_WIDTH, &frame.lineWidth);
    glGetFloatv(GL_POINT_SIZE, &frame.pointSize);
    glGetFloatv(GL_CURRENT_COLOR, frame.colour);
    return frame;
}

// Draws one frame both ways, from the same starting state, and compares them; says which way
// the cache went ("drawn" or "copied").
std::string checkFrame(CanvasImageCache& cache, const Canvas& canvas, const Matrix4& view, const char* what) {
    glLineWidth(1.5f);
    glPointSize(1.5f);
    glClear(GL_COLOR_BUFFER_BIT);
    drawStrokes(canvas, view);
    const Frame expected = readFrame();

    glLineWidth(1.5f);
    glPointSize(1.5f);
    glClear(GL_COLOR_BUFFER_BIT);
    const int copiedBefore = cache.framesCopied;
    cache.draw(canvas, view);
    const Frame actual = readFrame();

    size_t differing = 0, first = expected.pixels.size();
    for (size_t i = 0; i < expected.pixels.size(); ++i) {
        if (expected.pixels[i] != actual.pixels[i]) {
            ++differing;
            first = std::min(first, i);
        }
    }
    EXPECT_EQ(differing, 0u) << what << ": first at pixel " << first / 3 % W << ", " << first / 3 / W;
    EXPECT_EQ(actual.lineWidth, expected.lineWidth) << what;
    EXPECT_EQ(actual.pointSize, expected.pointSize) << what;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(actual.colour[k], expected.colour[k]) << what;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << what;
    return cache.framesCopied > copiedBefore ? "copied" : "drawn";
}

// A painting of `count` finished strokes of varied widths, colours and lengths, some reaching
// past the window's edges, and the empty open stroke at the end.
Canvas painting(int count, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> x(-30.0f, W + 30.0f), y(-30.0f, H + 30.0f), step(-25.0f, 25.0f),
        unit(0.0f, 1.0f);
    const float widths[] = {2.0f, 5.0f, 9.5f, 14.0f, 30.0f};
    Canvas canvas;
    for (int s = 0; s < count; ++s) {
        Stroke stroke;
        stroke.id = canvas.newStrokeId();
        stroke.width = widths[random() % 5];
        stroke.colour = {{unit(random), unit(random), unit(random)}};
        CanvasPoint p{x(random), y(random)};
        const int points = 1 + static_cast<int>(random() % 20);
        for (int i = 0; i < points; ++i) {
            stroke.points.push_back(p);
            p.x += step(random);
            p.y += step(random);
        }
        canvas.appendStroke(stroke);
    }
    canvas.appendOpenStrokeIfNeeded();
    return canvas;
}

}  // namespace

TEST(CanvasImage, EveryFrameShowsWhatDrawingEveryStrokeShowsThroughTheToolsEdits) {
    REQUIRE_GL();
    CanvasImageCache cache;
    Canvas canvas = painting(60, 7);
    Matrix4 view = identityMatrix();

    // A new painting is drawn, drawn again and kept, then copied.
    EXPECT_EQ(checkFrame(cache, canvas, view, "first frame"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "repeated frame"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "third frame"), "copied");
    ASSERT_FALSE(cache.disabled());

    // The brush paints into the open stroke, the last one, over the copy.
    Stroke& open = canvas.strokes.back();
    open.width = 12.0f;
    open.colour = {{0.9f, 0.1f, 0.2f}};
    for (int i = 0; i < 5; ++i) {
        open.points.push_back(CanvasPoint{100.0f + 20.0f * i, 120.0f + 7.0f * i});
        EXPECT_EQ(checkFrame(cache, canvas, view, "brush painting"), "copied");
    }
    // The stroke finishes and a new open stroke follows: the finished one joins the kept picture.
    canvas.appendOpenStrokeIfNeeded();
    EXPECT_EQ(checkFrame(cache, canvas, view, "stroke finished"), "copied");
    EXPECT_EQ(checkFrame(cache, canvas, view, "after the finished stroke"), "copied");
    // A line finished in one go, two strokes at once (the line and a new open stroke).
    Stroke line;
    line.id = canvas.newStrokeId();
    line.width = 3.0f;
    line.points = {{20.0f, 280.0f}, {380.0f, 20.0f}};
    canvas.strokes.back() = line;
    canvas.appendOpenStrokeIfNeeded();
    EXPECT_EQ(checkFrame(cache, canvas, view, "line added"), "copied");

    // Fill: an older stroke changes colour. That frame draws; the next keeps; then copies.
    canvas.strokes[10].colour = {{0.0f, 1.0f, 0.0f}};
    EXPECT_EQ(checkFrame(cache, canvas, view, "stroke filled"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "after the fill"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "after the fill, kept"), "copied");

    // A point moved by the least a float can move is another picture.
    CanvasPoint& moved = canvas.strokes[5].points[0];
    moved.x = std::nextafter(moved.x, 1e9f);
    EXPECT_EQ(checkFrame(cache, canvas, view, "point moved one ulp"), "drawn");
    // Rubbing: a stroke cut in two in place, frame after frame.
    for (int i = 0; i < 3; ++i) {
        Stroke& cut = canvas.strokes[static_cast<size_t>(20 + i)];
        if (cut.points.size() > 1) cut.points.pop_back();
        cut.width += 1.0f;
        EXPECT_EQ(checkFrame(cache, canvas, view, "rubbing"), "drawn");
    }
    EXPECT_EQ(checkFrame(cache, canvas, view, "after rubbing"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "after rubbing, kept"), "copied");

    // Undo takes the line back; the trash takes a stroke from the middle.
    canvas.eraseStrokeById(line.id);
    EXPECT_EQ(checkFrame(cache, canvas, view, "undo"), "drawn");
    canvas.eraseStroke(30);
    EXPECT_EQ(checkFrame(cache, canvas, view, "trash"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "after trash"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "after trash, kept"), "copied");

    // The view moves (two hands zooming) and settles.
    for (int i = 1; i <= 3; ++i) {
        view = multiplyMatrix(translationMatrix(10.0f * i, -5.0f * i, 0.0f), scaleMatrix(1.0f + 0.1f * i));
        EXPECT_EQ(checkFrame(cache, canvas, view, "zooming"), "drawn");
    }
    EXPECT_EQ(checkFrame(cache, canvas, view, "zoom settled"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "zoom settled, kept"), "copied");

    // Every stroke taken away but the open one.
    canvas.strokes.erase(canvas.strokes.begin(), canvas.strokes.end() - 1);
    EXPECT_EQ(checkFrame(cache, canvas, view, "cleared"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "cleared, kept"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "cleared, copied"), "copied");
    canvas.strokes.clear();
    EXPECT_EQ(checkFrame(cache, canvas, view, "no strokes at all"), "copied");
}

TEST(CanvasImage, StrokesTheBoundsCannotPlaceAreCopiedWhole) {
    REQUIRE_GL();
    CanvasImageCache cache;
    Canvas canvas = painting(12, 11);
    const Matrix4 view = multiplyMatrix(translationMatrix(200.0f, 150.0f, 0.0f), rotationZMatrix(0.3f));
    // A stroke wider than any line the renderer draws, one with a point at infinity, one with
    // a NaN point and one of endless width: the picture must still be complete.
    Stroke wide;
    wide.width = 600.0f;
    wide.colour = {{0.2f, 0.4f, 0.9f}};
    wide.points = {{-50.0f, -20.0f}, {-40.0f, -20.0f}};
    Stroke far;
    far.width = 8.0f;
    far.points = {{0.0f, 0.0f}, {std::numeric_limits<float>::infinity(), 10.0f}, {30.0f, 40.0f}};
    Stroke broken;
    broken.width = 8.0f;
    broken.points = {{-100.0f, 50.0f}, {std::numeric_limits<float>::quiet_NaN(), 0.0f}, {100.0f, -60.0f}};
    Stroke endless;
    endless.width = std::numeric_limits<float>::infinity();
    endless.colour = {{0.9f, 0.6f, 0.1f}};
    endless.points = {{-70.0f, 30.0f}, {-60.0f, 35.0f}};
    canvas.strokes.insert(canvas.strokes.begin() + 3, {wide, far, broken});
    canvas.strokes.insert(canvas.strokes.end() - 1, endless);
    for (int frame = 0; frame < 4; ++frame) checkFrame(cache, canvas, view, "unbounded strokes");
    EXPECT_GE(cache.framesCopied, 2);
}

TEST(CanvasImage, AViewportResizedDrawsAndIsKeptAgain) {
    REQUIRE_GL();
    CanvasImageCache cache;
    const Canvas canvas = painting(30, 3);
    const Matrix4 view = identityMatrix();
    for (int frame = 0; frame < 3; ++frame) checkFrame(cache, canvas, view, "full window");
    ASSERT_EQ(cache.framesCopied, 1);
    // The window narrows: the same view and strokes are another picture.
    ASSERT_TRUE(glWindow(W - 120, H - 40));
    EXPECT_EQ(checkFrame(cache, canvas, view, "narrowed"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "narrowed, kept"), "drawn");
    EXPECT_EQ(checkFrame(cache, canvas, view, "narrowed, copied"), "copied");
    ASSERT_TRUE(glWindow());
    EXPECT_EQ(checkFrame(cache, canvas, view, "widened"), "drawn");
}

TEST(CanvasImage, APaintingInOnePartOfTheWindowKeepsItsWideEdges) {
    REQUIRE_GL();
    CanvasImageCache cache;
    // Wide strokes and lone dots around the middle, far from the window's edges, so that only
    // the part around them is copied; their smoothed edges reach half a width past the points.
    Canvas canvas;
    const float widths[] = {40.0f, 23.0f, 61.0f, 7.0f};
    for (int s = 0; s < 4; ++s) {
        Stroke stroke;
        stroke.id = canvas.newStrokeId();
        stroke.width = widths[s];
        stroke.colour = {{0.1f * s, 0.5f, 1.0f - 0.2f * s}};
        stroke.points = {{170.0f + 10.0f * s, 130.0f}, {230.0f, 150.0f - 7.0f * s}};
        if (s == 2) stroke.points.resize(1);
        canvas.appendStroke(stroke);
    }
    canvas.appendOpenStrokeIfNeeded();
    const Matrix4 view = multiplyMatrix(translationMatrix(200.0f, 150.0f, 0.0f),
                                        multiplyMatrix(rotationZMatrix(-0.4f), translationMatrix(-200.0f, -150.0f, 0.0f)));
    for (int frame = 0; frame < 4; ++frame) checkFrame(cache, canvas, view, "strokes in the middle");
    EXPECT_EQ(cache.framesCopied, 2);
}
