#include "paint/canvas_image_cache.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/widgets/framebuffer_objects.h"
#include "common/widgets/kept_picture.h"
#include "common/widgets/window_projection.h"

namespace {

uint32_t bitsOf(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Smoothed lines and points reach about a pixel past half their width; the rest is margin for
// the renderer's rounding against this projection.
constexpr double STROKE_MARGIN_PIXELS = 4.0;

}  // namespace

bool CanvasImageCache::ViewState::operator==(const ViewState& other) const {
    // Bit for bit: a matrix that merely compares equal (0 and -0) is still another view.
    return std::memcmp(view, other.view, sizeof view) == 0 &&
           std::memcmp(projection, other.projection, sizeof projection) == 0 &&
           std::memcmp(viewport, other.viewport, sizeof viewport) == 0 &&
           std::memcmp(drawableSize, other.drawableSize, sizeof drawableSize) == 0;
}

bool CanvasImageCache::keptStrokesMatch(const Canvas& canvas) const {
    if (keptStrokes_.size() > canvas.strokes.size()) return false;
    for (size_t i = 0; i < keptStrokes_.size(); ++i) {
        const KeptStroke& kept = keptStrokes_[i];
        const Stroke& stroke = canvas.strokes[i];
        if (stroke.points.size() != kept.pointCount || bitsOf(stroke.width) != kept.width ||
            bitsOf(stroke.colour[0]) != kept.colour[0] || bitsOf(stroke.colour[1]) != kept.colour[1] ||
            bitsOf(stroke.colour[2]) != kept.colour[2])
            return false;
        if (kept.pointCount != 0 && std::memcmp(stroke.points.data(), keptPoints_.data() + kept.firstPoint,
                                                kept.pointCount * sizeof(CanvasPoint)) != 0)
            return false;
    }
    return true;
}

void CanvasImageCache::keepStrokes(const Canvas& canvas, size_t end) {
    const int* viewport = keptView_.viewport;
    // Wide lines and points are not cut at the viewport's edges, only at the window's.
    const double wholeWindow[4] = {0.0, 0.0, static_cast<double>(keptView_.drawableSize[0]),
                                   static_cast<double>(keptView_.drawableSize[1])};
    double m[16];
    windowTransform(keptView_.projection, keptView_.view, m);
    double left = keptRectangle_[0], bottom = keptRectangle_[1], right = keptRectangle_[2], top = keptRectangle_[3];
    if (keptStrokes_.empty() || right <= left || top <= bottom) {
        left = bottom = INFINITY;
        right = top = -INFINITY;
    }
    bool bounded = true;
    for (size_t i = keptStrokes_.size(); i < end; ++i) {
        const Stroke& stroke = canvas.strokes[i];
        KeptStroke kept{};
        for (int k = 0; k < 3; ++k) kept.colour[k] = bitsOf(stroke.colour[static_cast<size_t>(k)]);
        kept.width = bitsOf(stroke.width);
        kept.firstPoint = keptPoints_.size();
        kept.pointCount = stroke.points.size();
        keptStrokes_.push_back(kept);
        keptPoints_.insert(keptPoints_.end(), stroke.points.begin(), stroke.points.end());
        if (!bounded) continue;
        // Every pixel of a stroke lies within half its width (and the smoothing) of its points.
        const double reach = 0.5 * static_cast<double>(stroke.width) + STROKE_MARGIN_PIXELS;
        if (!std::isfinite(reach)) {
            bounded = false;
            continue;
        }
        for (const CanvasPoint& p : stroke.points) {
            double x = 0.0, y = 0.0;
            bounded = projectToWindow(m, viewport, p.x, p.y, 0.0, x, y);
            if (!bounded) break;
            const double slack = reach + windowRounding(m, viewport, p.x, p.y, 0.0);
            left = std::min(left, x - slack);
            right = std::max(right, x + slack);
            bottom = std::min(bottom, y - slack);
            top = std::max(top, y + slack);
        }
    }
    if (!bounded) {
        left = wholeWindow[0];
        bottom = wholeWindow[1];
        right = wholeWindow[2];
        top = wholeWindow[3];
    }
    const auto clampTo = [](double value, double low, double high) {
        return static_cast<int>(std::max(low, std::min(high, value)));
    };
    if (!(right > left) || !(top > bottom)) {  // nothing drawn yet
        std::fill(keptRectangle_, keptRectangle_ + 4, 0);
        return;
    }
    keptRectangle_[0] = clampTo(std::floor(left), wholeWindow[0], wholeWindow[2]);
    keptRectangle_[2] = clampTo(std::ceil(right), wholeWindow[0], wholeWindow[2]);
    keptRectangle_[1] = clampTo(std::floor(bottom), wholeWindow[1], wholeWindow[3]);
    keptRectangle_[3] = clampTo(std::ceil(top), wholeWindow[1], wholeWindow[3]);
}

void CanvasImageCache::draw(const Canvas& canvas, const Matrix4& view) {
    ViewState now{};
    std::memcpy(now.view, view.data(), sizeof now.view);
    glGetFloatv(GL_PROJECTION_MATRIX, now.projection);
    glGetIntegerv(GL_VIEWPORT, now.viewport);
    currentDrawableSize(now.drawableSize);

    const size_t count = canvas.strokes.size();
    // The last stroke is the one being painted; it is drawn every frame, on top.
    const size_t kept = count > 0 ? count - 1 : 0;
    // The kept picture covers the whole window, pixel for pixel.
    const int width = static_cast<int>(now.drawableSize[0]), height = static_cast<int>(now.drawableSize[1]);
    const bool keepable = !picture_.disabled && width > 0 && height > 0 && now.viewport[2] > 0 && now.viewport[3] > 0;
    const bool same = keepable && keptValid_ && now == keptView_ && keptStrokes_.size() <= kept &&
                      keptStrokesMatch(canvas);

    if (same && pictureKept_ && picture_.holdsSize(width, height) &&
        picture_.copyToWindow(keptRectangle_, GL_COLOR_BUFFER_BIT)) {
        // Strokes finished since are drawn over the copy and kept with it.
        const size_t before = keptStrokes_.size();
        if (before < kept) {
            drawStrokes(canvas, view, before, kept);
            keepStrokes(canvas, kept);
            pictureKept_ = picture_.copyFromWindow(keptRectangle_, GL_COLOR_BUFFER_BIT);
        }
        drawStrokes(canvas, view, kept, count);
        // The line width and point size are left as drawing every stroke leaves them.
        if (count == 0 || canvas.strokes[count - 1].points.empty()) {
            for (size_t i = kept; i-- > 0;) {
                if (canvas.strokes[i].points.empty()) continue;
                glLineWidth(canvas.strokes[i].width);
                glPointSize(canvas.strokes[i].width);
                break;
            }
        }
        ++framesCopied;
        return;
    }

    ++framesDrawn;
    drawStrokes(canvas, view, 0, kept);
    if (same) {
        // A frame that repeats the one before: what it has drawn so far is the picture to keep.
        keepStrokes(canvas, kept);
        pictureKept_ = picture_.prepare(width, height) && picture_.copyFromWindow(keptRectangle_, GL_COLOR_BUFFER_BIT);
    } else {
        // Remembered, to see whether the next frame repeats it.
        keptView_ = now;
        keptStrokes_.clear();
        keptPoints_.clear();
        std::fill(keptRectangle_, keptRectangle_ + 4, 0);
        keptValid_ = keepable;
        if (keepable) keepStrokes(canvas, kept);
        pictureKept_ = false;
    }
    drawStrokes(canvas, view, kept, count);
}
