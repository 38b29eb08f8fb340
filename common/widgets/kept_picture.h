#pragma once
// KeptPicture: a framebuffer object the size of the window that holds a copy of part of the back
// buffer (its colour, and its depth when asked for) and puts it back exactly, for drawing that
// is cheaper to copy than to redo on a software renderer. Copies are blits of whole pixels
// between buffers of the same formats, so the pixels and depths come back bit for bit.
//
// Where the window's buffers do not allow an exact copy (not 8 bits per colour channel,
// multisampled, a depth format no renderbuffer matches), the context has no framebuffer
// objects or blits, or a copy fails, the picture turns itself off for good (`disabled`); its
// owner then draws every frame. A framebuffer that cannot be completed or a failed copy says so
// in one console line; unsuitable window buffers or a context without the functions say nothing,
// as the program works the same there, only drawing more. Needs a current GL context.
#include <cstdint>

class KeptPicture {
public:
    // `owner` starts the console lines ("terrain", "painting").
    KeptPicture(const char* owner, bool withDepth) : owner_(owner), withDepth_(withDepth) {}
    ~KeptPicture();
    KeptPicture(const KeptPicture&) = delete;
    KeptPicture& operator=(const KeptPicture&) = delete;

    // Makes the off-screen buffers for a window of width x height, or remakes them at a new
    // size (their content is then undefined). The first call checks the window's buffers.
    // False when disabled.
    bool prepare(int width, int height);
    // Whether the buffers are made for this size.
    bool holdsSize(int width, int height) const { return framebuffer_ != 0 && width == width_ && height == height_; }

    // Copy the buffers in `mask` (GL_COLOR_BUFFER_BIT, GL_DEPTH_BUFFER_BIT) over the window
    // rectangle {left, bottom, right, top}: from the back buffer into the picture, or back. An
    // empty rectangle copies nothing. The scissor test, which a blit obeys, is off meanwhile.
    // The first copy also proves that the context copies these formats; false, and disabled,
    // when it does not.
    bool copyFromWindow(const int rectangle[4], uint32_t mask) { return copy(true, rectangle, mask); }
    bool copyToWindow(const int rectangle[4], uint32_t mask) { return copy(false, rectangle, mask); }

    bool disabled = false;

private:
    bool copy(bool intoPicture, const int rectangle[4], uint32_t mask);
    bool checkWindow();
    void release();

    const char* owner_;
    bool withDepth_;
    bool checkedWindow_ = false;
    bool copiedOnce_ = false;
    uint32_t depthFormat_ = 0;
    uint32_t framebuffer_ = 0;
    uint32_t colourBuffer_ = 0;
    uint32_t depthBuffer_ = 0;
    int width_ = 0, height_ = 0;
};
