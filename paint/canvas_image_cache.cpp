#include "paint/canvas_image_cache.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/widgets/framebuffer_objects.h"

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

CanvasImageCache::~CanvasImageCache() {
    if (glXGetCurrentContext() != nullptr) release();
}

void CanvasImageCache::release() {
    if (framebuffer_ == 0 && colourBuffer_ == 0) return;
    const FramebufferFunctions& f = framebufferFunctions();
    if (f.ready) {
        f.deleteFramebuffers(1, &framebuffer_);
        f.deleteRenderbuffers(1, &colourBuffer_);
    }
    framebuffer_ = colourBuffer_ = 0;
    width_ = height_ = 0;
    pictureKept_ = false;
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
    double m[16];  // projection x view, column-major
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(keptView_.projection[k * 4 + r]) * keptView_.view[c * 4 + k];
            m[c * 4 + r] = sum;
        }
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
        bounded = std::isfinite(reach);
        for (const CanvasPoint& p : stroke.points) {
            if (!bounded) break;
            const double clipX = m[0] * p.x + m[4] * p.y + m[12];
            const double clipY = m[1] * p.x + m[5] * p.y + m[13];
            const double clipW = m[3] * p.x + m[7] * p.y + m[15];
            if (!(clipW > 1e-6)) {
                bounded = false;
                break;
            }
            const double x = viewport[0] + (clipX / clipW + 1.0) * 0.5 * viewport[2];
            const double y = viewport[1] + (clipY / clipW + 1.0) * 0.5 * viewport[3];
            bounded = std::isfinite(x) && std::isfinite(y);
            left = std::min(left, x - reach);
            right = std::max(right, x + reach);
            bottom = std::min(bottom, y - reach);
            top = std::max(top, y + reach);
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

bool CanvasImageCache::prepareTarget(int width, int height) {
    const FramebufferFunctions& f = framebufferFunctions();
    if (!checkedWindow_) {
        checkedWindow_ = true;
        // An exact copy needs the window's own 8-bit colour without multisampling.
        GLint framebuffer = 0, red = 0, green = 0, blue = 0, samples = 0;
        if (f.ready && f.blitFramebuffer != nullptr) {
            glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
            glGetIntegerv(GL_RED_BITS, &red);
            glGetIntegerv(GL_GREEN_BITS, &green);
            glGetIntegerv(GL_BLUE_BITS, &blue);
            glGetIntegerv(GL_SAMPLE_BUFFERS, &samples);
        }
        if (!f.ready || f.blitFramebuffer == nullptr || framebuffer != 0 || red != 8 || green != 8 || blue != 8 ||
            samples != 0) {
            disabled = true;
            return false;
        }
    }
    if (disabled) return false;
    if (framebuffer_ != 0 && width == width_ && height == height_) return true;

    if (framebuffer_ == 0) {
        f.genFramebuffers(1, &framebuffer_);
        f.genRenderbuffers(1, &colourBuffer_);
    }
    f.bindRenderbuffer(GL_RENDERBUFFER, colourBuffer_);
    f.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    f.bindRenderbuffer(GL_RENDERBUFFER, 0);
    f.bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer_);
    const GLenum status = f.checkFramebufferStatus(GL_FRAMEBUFFER);
    f.bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        std::printf("painting: off-screen picture incomplete (status 0x%x); drawing every stroke each frame\n",
                    status);
        release();
        disabled = true;
        return false;
    }
    width_ = width;
    height_ = height;
    pictureKept_ = false;
    return true;
}

bool CanvasImageCache::copy(CopyDirection direction, const int r[4]) {
    if (r[2] <= r[0] || r[3] <= r[1]) return true;
    const FramebufferFunctions& f = framebufferFunctions();
    // The first copy also proves that this context copies these formats: an error there turns
    // the cache off for good. (Errors left over from earlier calls are read off first.)
    const bool firstCopy = !copiedOnce_;
    if (firstCopy)
        while (glGetError() != GL_NO_ERROR) {
        }
    const bool intoKept = direction == CopyDirection::WINDOW_TO_KEPT;
    f.bindFramebuffer(GL_READ_FRAMEBUFFER, intoKept ? 0 : framebuffer_);
    f.bindFramebuffer(GL_DRAW_FRAMEBUFFER, intoKept ? framebuffer_ : 0);
    // A blit obeys the scissor test; the picking pass's scissor must not cut the copy.
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    f.blitFramebuffer(r[0], r[1], r[2], r[3], r[0], r[1], r[2], r[3], GL_COLOR_BUFFER_BIT, GL_NEAREST);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    f.bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!firstCopy) return true;
    copiedOnce_ = true;
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return true;
    std::printf("painting: the window's picture cannot be copied (GL error 0x%x); drawing every stroke each frame\n",
                error);
    release();
    disabled = true;
    return false;
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
    const bool keepable = !disabled && width > 0 && height > 0 && now.viewport[2] > 0 && now.viewport[3] > 0;
    const bool same = keepable && keptValid_ && now == keptView_ && keptStrokes_.size() <= kept &&
                      keptStrokesMatch(canvas);

    if (same && pictureKept_ && width == width_ && height == height_ &&
        copy(CopyDirection::KEPT_TO_WINDOW, keptRectangle_)) {
        // Strokes finished since are drawn over the copy and kept with it.
        const size_t before = keptStrokes_.size();
        if (before < kept) {
            drawStrokes(canvas, view, before, kept);
            keepStrokes(canvas, kept);
            pictureKept_ = copy(CopyDirection::WINDOW_TO_KEPT, keptRectangle_);
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
        pictureKept_ = prepareTarget(width, height) && copy(CopyDirection::WINDOW_TO_KEPT, keptRectangle_);
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
