// The picking pass and the canvas drawing, in a real GL context (Xvfb with Mesa's software
// renderer; the colour buffer must have 8 bits per channel for index colours).
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "common/tools/null_tool.h"
#include "common/widgets/picking_buffer.h"
#include "paint/brush_2d.h"
#include "paint/rubber_2d.h"
#include "paint/straight_line_2d.h"
#include "paint/stroke_eraser_2d.h"
#include "paint_rig.h"
#include "widgets/gl_test_context.h"

namespace {

constexpr int W = 400;
constexpr int H = 300;

// The test program's one window (shared with the other GL tests of this program, so it may be
// larger than W x H); false without a display. Sets the state the frame loop sets up before
// drawing the canvas: the window-pixel projection over W x H, depth test and texturing off.
bool glWindow() {
    if (!gltest::openContext(W, H) || glutGet(GLUT_WINDOW_WIDTH) < W ||
        glutGet(GLUT_WINDOW_HEIGHT) < H) {
        return false;
    }
    glViewport(0, 0, W, H);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, W, 0.0, H, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    return true;
}

#define REQUIRE_GL()                                  \
    if (!glWindow()) {                                \
        GTEST_SKIP() << "no X display for GL tests"; \
    }

int32_t addLine(Canvas& canvas, CanvasPoint a, CanvasPoint b, float width) {
    Stroke s;
    s.points = {a, b};
    s.width = width;
    s.colour = {{0.1f, 0.2f, 0.3f}};
    s.id = canvas.newStrokeId();
    canvas.appendStroke(s);
    return s.id;
}

// Non-white pixels along one row of the visible drawing, from x0 to x1.
std::array<int, 3> pixelAt(int x, int y) {
    unsigned char p[3] = {0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

void expectColourNear(const std::array<int, 3>& pixel, const Rgb& colour, const char* what) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(pixel[static_cast<size_t>(i)], colour[static_cast<size_t>(i)] * 255.0f, 3.0f)
            << what << " component " << i;
    }
}

int darkPixelsInRow(int x0, int x1, int y) {
    std::vector<unsigned char> row(static_cast<size_t>(x1 - x0) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x0, y, x1 - x0, 1, GL_RGB, GL_UNSIGNED_BYTE, row.data());
    int dark = 0;
    for (size_t i = 0; i < row.size(); i += 3) {
        if (row[i] < 128 && row[i + 1] < 128) {
            ++dark;
        }
    }
    return dark;
}

}  // namespace

TEST(Picking, EmptyCanvasAndBackgroundGiveMinusOne) {
    REQUIRE_GL();
    Canvas canvas;
    EXPECT_EQ(pickStroke(canvas, identityMatrix(), ScreenPoint{100, 100}), -1);
    canvas.appendOpenStrokeIfNeeded();  // an empty stroke can never be picked
    addLine(canvas, {10, 10}, {60, 10}, 6);
    EXPECT_EQ(pickStroke(canvas, identityMatrix(), ScreenPoint{100, 100}), -1);
    EXPECT_EQ(pickStroke(canvas, identityMatrix(), ScreenPoint{35, 10}), canvas.strokes[1].id);
    EXPECT_EQ(pickStroke(canvas, identityMatrix(), ScreenPoint{-5, 10}), -1);  // off the window
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(Picking, TheLaterOfTwoOverlappingStrokesWinsUnderTheView) {
    REQUIRE_GL();
    Canvas canvas;
    const int32_t across = addLine(canvas, {100, 150}, {300, 150}, 10);
    const int32_t down = addLine(canvas, {200, 50}, {200, 250}, 10);
    const Matrix4 identity = identityMatrix();
    EXPECT_EQ(pickStroke(canvas, identity, ScreenPoint{200.4f, 150.7f}), down);
    EXPECT_EQ(pickStroke(canvas, identity, ScreenPoint{120, 150}), across);
    EXPECT_EQ(pickStroke(canvas, identity, ScreenPoint{200, 270}), -1);
    // Moved right by 50 px and halved: the crossing is now at window (150, 75).
    const Matrix4 view = multiplyMatrix(translationMatrix(50, 0, 0), scaleMatrix(0.5f));
    EXPECT_EQ(pickStroke(canvas, view, ScreenPoint{150, 75}), down);
    EXPECT_EQ(pickStroke(canvas, view, ScreenPoint{200, 150}), -1);
}

TEST(Picking, TrashHeldOverAPileDeletesTheTopmostFirst) {
    REQUIRE_GL();
    PaintRig rig;
    rig.window.width = W;
    rig.window.height = H;
    StrokeEraser2D trash{rig.canvas, rig.picked, rig.history};
    EXPECT_GT(trash.iconTexture(), 0);  // with a context the tool loads its icon
    const int32_t a = addLine(rig.canvas, {150, 150}, {250, 150}, 12);
    const int32_t b = addLine(rig.canvas, {200, 100}, {200, 200}, 12);
    const int32_t c = addLine(rig.canvas, {150, 100}, {250, 200}, 12);
    rig.place(rig.right, 200, 150);
    std::vector<int32_t> deleted;
    for (int frame = 0; frame < 4; ++frame) {
        trash.onRightGrip(ArmPose{});  // the pick of the previous frame
        drawCanvas(rig.canvas, identityMatrix(), rig.right.screenPosition(), rig.picked, &trash, 0,
                   rig.color, rig.window);
        if (!trash.undoStack.empty() &&
            (deleted.empty() || deleted.back() != trash.undoStack.back().id)) {
            deleted.push_back(trash.undoStack.back().id);
        }
    }
    EXPECT_EQ(deleted, (std::vector<int32_t>{c, b, a}));
    EXPECT_TRUE(rig.canvas.strokes.empty());
    EXPECT_EQ(rig.picked, -1);
}

// The whole index picture, drawn without leaving any stroke out, as the picking pass draws its
// one pixel: every stroke in its index colour, no smoothing, no dithering.
std::vector<unsigned char> wholeIndexPicture(const Canvas& canvas, const Matrix4& view) {
    // Where picking draws off screen (a window of fewer than 8 bits a channel), so does this.
    const bool offScreen = beginPickingPass();
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_POINT_SMOOTH);
    glDisable(GL_DITHER);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(view.data());
    for (size_t i = 0; i < canvas.strokes.size(); ++i) {
        const Stroke& stroke = canvas.strokes[i];
        if (stroke.points.empty()) continue;  // the open stroke: width 0 is no line width
        glColor3ub(static_cast<GLubyte>(i >> 16), static_cast<GLubyte>(i >> 8), static_cast<GLubyte>(i));
        glLineWidth(stroke.width);
        glBegin(GL_LINE_STRIP);
        for (const CanvasPoint& p : stroke.points) glVertex2f(p.x, p.y);
        glEnd();
        glPointSize(stroke.width);
        glBegin(GL_POINTS);
        for (const CanvasPoint& p : stroke.points) glVertex2f(p.x, p.y);
        glEnd();
    }
    glLoadIdentity();
    glEnable(GL_DITHER);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    std::vector<unsigned char> picture(static_cast<size_t>(W) * H * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, picture.data());
    endPickingPass(offScreen);
    return picture;
}

// Strokes drawn in window space, given to the canvas through the inverse of `view` (a turn,
// a scale and a move, in double): long straight segments (whose pixels lie far from both ends),
// wide lines, lone dots and strokes running off the window.
Canvas strokesSeenThrough(float turn, double scale, double originX, double originY) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> x(-60.0, W + 60.0), y(-60.0, H + 60.0);
    const float widths[] = {1.0f, 3.0f, 8.5f, 21.0f, 45.0f};
    Canvas canvas;
    for (int s = 0; s < 40; ++s) {
        Stroke stroke;
        stroke.id = canvas.newStrokeId();
        stroke.width = widths[random() % 5];
        const int points = s % 7 == 0 ? 1 : 2 + static_cast<int>(random() % 4);
        for (int k = 0; k < points; ++k) {
            const double wx = (x(random) - W / 2.0) / scale, wy = (y(random) - H / 2.0) / scale;
            stroke.points.push_back({static_cast<float>(originX + std::cos(turn) * wx + std::sin(turn) * wy),
                                     static_cast<float>(originY - std::sin(turn) * wx + std::cos(turn) * wy)});
        }
        canvas.appendStroke(stroke);
    }
    canvas.appendOpenStrokeIfNeeded();
    return canvas;
}

Matrix4 viewOf(float turn, float scale, float originX, float originY) {
    return multiplyMatrix(translationMatrix(W / 2.0f, H / 2.0f, 0.0f),
                          multiplyMatrix(rotationZMatrix(turn),
                                         multiplyMatrix(scaleMatrix(scale), translationMatrix(-originX, -originY, 0.0f))));
}

TEST(Picking, EveryPixelPicksWhatTheWholePictureShowsThere) {
    REQUIRE_GL();
    struct View {
        const char* name;
        float turn, scale, originX, originY;
    };
    // The last is far from the canvas origin and zoomed in, where neighbouring float canvas
    // points lie pixels apart and the renderer's float arithmetic moves them by pixels.
    const View views[] = {{"plain", 0.0f, 1.0f, W / 2.0f, H / 2.0f},
                          {"turned and scaled", 0.5f, 0.8f, 100.0f, -40.0f},
                          {"far out, zoomed in", 0.3f, 24.0f, 2.5e6f, 4.8e6f}};
    for (const View& v : views) {
        SCOPED_TRACE(v.name);
        const Canvas canvas = strokesSeenThrough(v.turn, v.scale, v.originX, v.originY);
        const Matrix4 view = viewOf(v.turn, v.scale, v.originX, v.originY);
        const std::vector<unsigned char> picture = wholeIndexPicture(canvas, view);
        int mismatches = 0, strokePixels = 0;
        for (int py = 0; py < H; py += 4) {
            for (int px = 0; px < W; px += 4) {
                const unsigned char* rgb = &picture[(static_cast<size_t>(py) * W + px) * 3];
                const int index = pickedStrokeIndex(rgb[0], rgb[1], rgb[2], canvas.strokes.size());
                const int32_t expected = index < 0 ? -1 : canvas.strokes[static_cast<size_t>(index)].id;
                strokePixels += expected >= 0 ? 1 : 0;
                const int32_t picked = pickStroke(canvas, view, ScreenPoint{px + 0.25f, py + 0.75f});
                if (picked != expected && ++mismatches <= 5) {
                    ADD_FAILURE() << "pixel " << px << ", " << py << ": picked " << picked << ", shown " << expected;
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_GT(strokePixels, 1000);  // the sample met plenty of strokes
    }
}

TEST(CanvasDrawing, ADotIsAboutItsWidthAcrossAtAnyZoom) {
    REQUIRE_GL();
    Canvas canvas;
    Stroke dot;
    dot.points = {{100, 100}};
    dot.width = 10;
    dot.id = canvas.newStrokeId();
    canvas.appendStroke(dot);
    for (float zoom : {1.0f, 2.0f}) {
        const Matrix4 view = scaleMatrix(zoom);
        pickStroke(canvas, view, ScreenPoint{0, 0});  // leaves a clear white buffer
        drawStrokes(canvas, view);
        const int centre = static_cast<int>(100 * zoom);
        const int across = darkPixelsInRow(centre - 20, centre + 20, centre);
        EXPECT_GE(across, 8) << "zoom " << zoom;
        EXPECT_LE(across, 12) << "zoom " << zoom;
        // Round: narrower near its top than through its middle.
        EXPECT_LT(darkPixelsInRow(centre - 20, centre + 20, centre + 4), across) << "zoom " << zoom;
    }
}

TEST(CanvasDrawing, SwatchShowsTheCurrentColourAndNoIconIsNoError) {
    REQUIRE_GL();
    PaintRig rig;
    rig.window.width = W;
    rig.window.height = H;
    NullTool none;
    rig.color = {{1.0f, 0.0f, 0.0f}};
    drawCanvas(rig.canvas, identityMatrix(), ScreenPoint{10, 10}, rig.picked, &none, 0, rig.color,
               rig.window);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    unsigned char pixel[4] = {0, 0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(W - 148 + 64, 20 + 64, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_EQ(pixel[2], 0);
    glReadPixels(W - 148 + 64, H - 148 + 64, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 255);  // no icon: the white background shows
    EXPECT_EQ(pixel[2], 255);
}

TEST(CanvasDrawing, ToolFeedbackIsDrawnInWindowPixelsWhateverTheView) {
    REQUIRE_GL();
    PaintRig rig;
    rig.window.width = W;
    rig.window.height = H;
    // Canvas to window: doubled and moved by (100, 50). Drawn under it, feedback at the pointer
    // would land far off, outside the window.
    rig.manipulator.view =
        multiplyMatrix(translationMatrix(100.0f, 50.0f, 0.0f), scaleMatrix(2.0f));
    Brush2D brush{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};
    StraightLine2D line{rig.right, rig.canvas, rig.manipulator, rig.color, rig.history};
    Rubber2D rubber{rig.right, rig.manipulator, rig.canvas, rig.picked, rig.history};
    auto frame = [&](Tool& tool) {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        drawCanvas(rig.canvas, rig.manipulator.view, rig.right.screenPosition(), rig.picked, &tool,
                   0, rig.color, rig.window);
        tool.drawOverlay();
    };

    // The brush disc: width 10 round the pointer.
    rig.place(rig.right, 150.0f, 150.0f);
    frame(brush);
    expectColourNear(pixelAt(150, 150), rig.color, "brush disc");
    EXPECT_EQ(pixelAt(160, 150), (std::array<int, 3>{255, 255, 255}));

    // The line preview from where the grip began to the pointer.
    rig.place(rig.right, 100.0f, 150.0f);
    line.onNoGrip(ArmPose{});
    rig.place(rig.right, 250.0f, 150.0f);
    line.onRightGrip(ArmPose{});
    frame(line);
    expectColourNear(pixelAt(175, 150), rig.color, "line preview");
    expectColourNear(pixelAt(102, 150), rig.color, "line start");

    // The rubber ring: black between radius 0.95 * width and width, clear inside.
    rubber.onLeftGrip(leftWristAt(0.6f));  // width 10 + 30 = 40
    ASSERT_NEAR(rubber.width, 40.0f, 1e-3f);
    rig.place(rig.right, 200.0f, 150.0f);
    frame(rubber);
    const std::array<int, 3> ring = pixelAt(239, 150);
    EXPECT_LT(ring[0] + ring[1] + ring[2], 3 * 128) << "rubber ring";
    EXPECT_EQ(pixelAt(200, 150), (std::array<int, 3>{255, 255, 255}));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
