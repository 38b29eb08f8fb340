#include "paint/canvas.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/tools/tool.h"
#include "common/widgets/picking_buffer.h"
#include "common/widgets/window_projection.h"
#include "paint/canvas_image_cache.h"

int32_t Canvas::newStrokeId() {
    idCounter = (idCounter + 1) % STROKE_ID_MODULUS;
    return idCounter;
}

Stroke* Canvas::findStrokeById(int32_t id) {
    const int index = findStrokeIndex(id);
    return index < 0 ? nullptr : &strokes[static_cast<size_t>(index)];
}

int Canvas::findStrokeIndex(int32_t id) const {
    for (size_t i = 0; i < strokes.size(); ++i) {
        if (strokes[i].id == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void Canvas::appendStroke(const Stroke& stroke) { strokes.push_back(stroke); }

void Canvas::insertStrokes(size_t position, const std::vector<Stroke>& pieces) {
    if (position > strokes.size()) {
        position = strokes.size();
    }
    strokes.insert(strokes.begin() + static_cast<std::ptrdiff_t>(position), pieces.begin(),
                   pieces.end());
}

void Canvas::eraseStroke(size_t position) {
    if (position < strokes.size()) {
        strokes.erase(strokes.begin() + static_cast<std::ptrdiff_t>(position));
    }
}

void moveStrokeRecord(Canvas& canvas, std::vector<Stroke>& from, std::vector<Stroke>& to, bool onCanvas) {
    if (from.empty()) return;
    if (onCanvas) {
        canvas.appendStroke(from.back());
    } else {
        canvas.eraseStrokeById(from.back().id);
    }
    to.push_back(from.back());
    from.pop_back();
}

bool Canvas::eraseStrokeById(int32_t id) {
    const int index = findStrokeIndex(id);
    if (index < 0) {
        return false;
    }
    eraseStroke(static_cast<size_t>(index));
    return true;
}

void Canvas::appendOpenStrokeIfNeeded() {
    if (strokes.empty() || !strokes.back().points.empty()) {
        Stroke open;
        open.id = newStrokeId();
        strokes.push_back(open);
    }
}

Stroke& Canvas::openStroke() {
    appendOpenStrokeIfNeeded();
    return strokes.back();
}

Matrix4 identityMatrix() {
    Matrix4 m{};
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    return m;
}

Matrix4 multiplyMatrix(const Matrix4& a, const Matrix4& b) {
    Matrix4 p{};
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + r] * b[c * 4 + k];
            }
            p[c * 4 + r] = sum;
        }
    }
    return p;
}

Matrix4 translationMatrix(float tx, float ty, float tz) {
    Matrix4 m = identityMatrix();
    m[12] = tx;
    m[13] = ty;
    m[14] = tz;
    return m;
}

Matrix4 rotationZMatrix(float radians) {
    Matrix4 m{};
    m[0] = std::cos(radians);
    m[1] = std::sin(radians);
    m[4] = -std::sin(radians);
    m[5] = std::cos(radians);
    m[10] = m[15] = 1.0f;
    return m;
}

Matrix4 scaleMatrix(float s) {
    Matrix4 m{};
    m[0] = m[5] = m[10] = s;
    m[15] = 1.0f;
    return m;
}

namespace {

float columnLength(const Matrix4& m, int c) {
    const float* v = &m[static_cast<size_t>(c) * 4];
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + v[3] * v[3]);
}

}  // namespace

bool invertMatrix(Matrix4& m) {
    // Cofactors of the transposed positions (the adjugate), written out.
    Matrix4 inv;
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] +
             m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] -
             m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] +
             m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] -
              m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] -
             m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] +
             m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] -
             m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] +
              m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] +
             m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] -
             m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] +
              m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] -
              m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] -
             m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] +
             m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] -
              m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] +
              m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];

    // Expansion along the first row (m0, m4, m8, m12).
    const float det = m[0] * inv[0] + m[4] * inv[1] + m[8] * inv[2] + m[12] * inv[3];
    // Nearly singular is judged against the size of the matrix, not by the determinant alone:
    // a view zoomed out to a scale s has determinant s³ (z is scaled too), so a fixed bound of
    // 0.00001 refused every view below s = 0.0215, a zoom two hands reach, and the tools then
    // painted and erased far from the pointer. The determinant is compared with the cube of the
    // longest of the first three columns, times the last row's length (translation left out):
    // for a view that is s³, the same test at every zoom, while a matrix squashed along one
    // axis still fails it.
    const float longest = std::max({columnLength(m, 0), columnLength(m, 1), columnLength(m, 2)});
    const float size = longest * longest * longest *
                       std::sqrt(m[3] * m[3] + m[7] * m[7] + m[11] * m[11] + m[15] * m[15]);
    if (!(std::fabs(det) >= 0.00001f * size) || !(size > 0.0f)) {
        return false;
    }
    // Zoomed in some 1e13 times the cofactors overflow: such a result is no inverse either.
    if (!std::isfinite(det)) return false;
    Matrix4 result;
    for (int i = 0; i < 16; ++i) {
        result[i] = inv[i] / det;
        if (!std::isfinite(result[i])) return false;
    }
    m = result;
    return true;
}

CanvasPoint windowToCanvas(const Matrix4& view, float x, float y) {
    Matrix4 m = view;
    invertMatrix(m);
    return CanvasPoint{m[0] * x + m[4] * y + m[12], m[1] * x + m[5] * y + m[13]};
}

float canvasSpacingInPixels(const Matrix4& view, float width, float height) {
    constexpr float UNUSABLE = std::numeric_limits<float>::infinity();
    Matrix4 inverse = view;
    if (!invertMatrix(inverse)) return UNUSABLE;
    // The largest canvas coordinate shown lies at a corner of the window.
    float largest = 0.0f;
    for (const CanvasPoint corner : {CanvasPoint{0.0f, 0.0f}, CanvasPoint{width, 0.0f},
                                     CanvasPoint{0.0f, height}, CanvasPoint{width, height}}) {
        const CanvasPoint c{inverse[0] * corner.x + inverse[4] * corner.y + inverse[12],
                            inverse[1] * corner.x + inverse[5] * corner.y + inverse[13]};
        largest = std::max({largest, std::fabs(c.x), std::fabs(c.y)});
    }
    const float scale = std::hypot(view[0], view[1]);  // the views turn and scale uniformly
    const float spacing = scale * largest * std::numeric_limits<float>::epsilon();
    return std::isfinite(spacing) ? spacing : UNUSABLE;
}

namespace {

// The colour is already set; visible and picking passes alike. The points are handed to GL as
// a client-side array straight from the stroke (nothing is kept between frames): one call per
// primitive instead of one per vertex.
void drawStroke(const Stroke& stroke) {
    if (stroke.points.empty()) {
        return;
    }
    static_assert(sizeof(CanvasPoint) == 2 * sizeof(float), "points must be packed x, y floats");
    const GLsizei count = static_cast<GLsizei>(stroke.points.size());
    glVertexPointer(2, GL_FLOAT, 0, stroke.points.data());
    glLineWidth(stroke.width);
    glDrawArrays(GL_LINE_STRIP, 0, count);
    glPointSize(stroke.width);
    glDrawArrays(GL_POINTS, 0, count);
}

// Client arrays are on only while strokes are drawn, so other drawing code is not affected.
void beginStrokes() {
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
}

void endStrokes() { glPopClientAttrib(); }

// Index colours are 24 bits; index 0xFFFFFF would read back as the white background.
constexpr uint32_t WHITE_PIXEL = 0xFFFFFFu;

// The corner square of the icon and the swatch: 128 x 128 pixels with the image's first row at
// the top.
void drawCornerSquare(float x, float y) {
    glPushMatrix();
    glTranslatef(x, y, 0.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(128.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(128.0f, 128.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 128.0f);
    glEnd();
    glPopMatrix();
}

// Whether any pixel of the stroke, drawn through the window transform `m` (projection x view)
// without smoothing, can be the pixel whose centre is (cx, cy): a wide line or point reaches half
// its width from its segments, two pixels more cover the rasteriser's rounding, and the float
// rounding of the points' positions is added. A stroke whose points cannot be placed
// (non-finite, behind the eye) may cover anything.
bool strokeMayCover(const Stroke& stroke, const double m[16], const int viewport[4], double cx, double cy) {
    const double reach = 0.5 * static_cast<double>(stroke.width) + 2.0;
    if (!std::isfinite(reach)) return true;
    double lastX = 0.0, lastY = 0.0, lastRounding = 0.0;
    for (size_t i = 0; i < stroke.points.size(); ++i) {
        const CanvasPoint p = stroke.points[i];
        double x = 0.0, y = 0.0;
        if (!projectToWindow(m, viewport, p.x, p.y, 0.0, x, y)) return true;
        const double rounding = windowRounding(m, viewport, p.x, p.y, 0.0);
        // The segment from the previous point (or the lone point itself) and its reach.
        const bool first = i == 0;
        const double fromX = first ? x : lastX, fromY = first ? y : lastY;
        const double slack = reach + std::max(rounding, first ? rounding : lastRounding);
        if (cx >= std::min(x, fromX) - slack && cx <= std::max(x, fromX) + slack &&
            cy >= std::min(y, fromY) - slack && cy <= std::max(y, fromY) + slack)
            return true;
        lastX = x;
        lastY = y;
        lastRounding = rounding;
    }
    return false;
}

}  // namespace

int pickedStrokeIndex(uint8_t red, uint8_t green, uint8_t blue, size_t strokeCount) {
    const uint32_t index = (static_cast<uint32_t>(red) << 16) | (static_cast<uint32_t>(green) << 8) |
                           static_cast<uint32_t>(blue);
    if (index == WHITE_PIXEL || index >= strokeCount) {
        return -1;
    }
    return static_cast<int>(index);
}

int32_t pickStroke(const Canvas& canvas, const Matrix4& view, ScreenPoint pointer) {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(view.data());

    // Truncated toward zero, as the pointer's pixel. A position outside the viewport has no
    // pixel to read (its contents would be undefined): nothing is picked there.
    const int px = static_cast<int>(pointer.x);
    const int py = static_cast<int>(pointer.y);
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const bool inside = px >= viewport[0] && py >= viewport[1] && px < viewport[0] + viewport[2] &&
                        py < viewport[1] + viewport[3];

    const bool offScreen = beginPickingPass();
    if (offScreen) {
        // Nothing but the pointer's pixel is read from the off-screen buffer: only it is cleared.
        glEnable(GL_SCISSOR_TEST);
        glScissor(px, py, 1, 1);
    }
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Every stroke pixel must carry exactly its index colour.
    glDisable(GL_LIGHTING);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_POINT_SMOOTH);
    glDisable(GL_DITHER);
    // Only the pointer's pixel is read back, so only it is rasterised; the image that matters
    // there is the same, at a fraction of the cost on a software renderer.
    glEnable(GL_SCISSOR_TEST);
    glScissor(px, py, 1, 1);
    beginStrokes();
    // Strokes that cannot reach the pointer's pixel are left out: with hundreds of strokes the
    // calls alone would cost more than the pixel.
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    double m[16];
    windowTransform(projection, view.data(), m);
    const double centreX = px + 0.5, centreY = py + 0.5;
    const size_t drawn = inside ? canvas.strokes.size() : 0;
    for (size_t i = 0; i < drawn; ++i) {
        if (!strokeMayCover(canvas.strokes[i], m, viewport, centreX, centreY)) continue;
        const uint32_t index = static_cast<uint32_t>(i);
        glColor3ub(static_cast<GLubyte>((index >> 16) & 0xFF), static_cast<GLubyte>((index >> 8) & 0xFF),
                   static_cast<GLubyte>(index & 0xFF));
        drawStroke(canvas.strokes[i]);
    }
    endStrokes();
    glDisable(GL_SCISSOR_TEST);

    GLubyte pixel[4] = {255, 255, 255, 255};
    if (inside) {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(px, py, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    }
    endPickingPass(offScreen);

    glEnable(GL_DITHER);
    glEnable(GL_LINE_SMOOTH);
    glEnable(GL_POINT_SMOOTH);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPopMatrix();

    const int index = pickedStrokeIndex(pixel[0], pixel[1], pixel[2], canvas.strokes.size());
    return index < 0 ? -1 : canvas.strokes[static_cast<size_t>(index)].id;
}

void drawStrokes(const Canvas& canvas, const Matrix4& view) { drawStrokes(canvas, view, 0, canvas.strokes.size()); }

void drawStrokes(const Canvas& canvas, const Matrix4& view, size_t begin, size_t end) {
    end = std::min(end, canvas.strokes.size());
    if (begin >= end) return;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadMatrixf(view.data());
    beginStrokes();
    for (size_t i = begin; i < end; ++i) {
        const Stroke& stroke = canvas.strokes[i];
        glColor3f(stroke.colour[0], stroke.colour[1], stroke.colour[2]);
        drawStroke(stroke);
    }
    endStrokes();
    glPopMatrix();
}

void drawCanvas(const Canvas& canvas, const Matrix4& view, ScreenPoint rightPointer,
                int32_t& pickedStrokeId, Tool* currentTool, uint32_t frameTexture,
                const std::array<float, 3>& currentColor, const WindowInfo& window,
                CanvasImageCache* keptPicture) {
    pickedStrokeId = pickStroke(canvas, view, rightPointer);
    if (keptPicture != nullptr) {
        keptPicture->draw(canvas, view);
    } else {
        drawStrokes(canvas, view);
    }

    const float w = static_cast<float>(window.width);
    const float h = static_cast<float>(window.height);
    glMatrixMode(GL_MODELVIEW);
    // A negative icon means "no icon"; binding it as a texture name would be an error.
    const int32_t icon = currentTool != nullptr ? currentTool->iconTexture() : -1;
    if (icon >= 0) {
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(icon));
        drawCornerSquare(w - 148.0f, h - 148.0f);
    }
    glColor3f(currentColor[0], currentColor[1], currentColor[2]);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, frameTexture);
    drawCornerSquare(w - 148.0f, 20.0f);
    glDisable(GL_TEXTURE_2D);
}
