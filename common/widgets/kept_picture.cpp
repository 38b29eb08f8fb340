#include "common/widgets/kept_picture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <cstdio>

#include "common/widgets/framebuffer_objects.h"

KeptPicture::~KeptPicture() {
    if (glXGetCurrentContext() != nullptr) release();
}

void KeptPicture::release() {
    if (framebuffer_ == 0 && colourBuffer_ == 0 && depthBuffer_ == 0) return;
    const FramebufferFunctions& f = framebufferFunctions();
    if (f.ready) {
        f.deleteFramebuffers(1, &framebuffer_);
        f.deleteRenderbuffers(1, &colourBuffer_);
        if (depthBuffer_ != 0) f.deleteRenderbuffers(1, &depthBuffer_);
    }
    framebuffer_ = colourBuffer_ = depthBuffer_ = 0;
    width_ = height_ = 0;
}

bool KeptPicture::checkWindow() {
    checkedWindow_ = true;
    const FramebufferFunctions& f = framebufferFunctions();
    // An exact copy needs the window's own 8-bit colour, no multisampling, and (with depth) a
    // depth buffer whose format a renderbuffer can match.
    GLint framebuffer = 0, red = 0, green = 0, blue = 0, depth = 0, stencil = 0, samples = 0;
    if (f.ready && f.blitFramebuffer != nullptr) {
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
        glGetIntegerv(GL_RED_BITS, &red);
        glGetIntegerv(GL_GREEN_BITS, &green);
        glGetIntegerv(GL_BLUE_BITS, &blue);
        glGetIntegerv(GL_DEPTH_BITS, &depth);
        glGetIntegerv(GL_STENCIL_BITS, &stencil);
        glGetIntegerv(GL_SAMPLE_BUFFERS, &samples);
    }
    if (depth == 16) {
        depthFormat_ = GL_DEPTH_COMPONENT16;
    } else if (depth == 24) {
        depthFormat_ = stencil == 8 ? GL_DEPTH24_STENCIL8 : GL_DEPTH_COMPONENT24;
    } else if (depth == 32) {
        depthFormat_ = GL_DEPTH_COMPONENT32;
    }
    return f.ready && f.blitFramebuffer != nullptr && framebuffer == 0 && red == 8 && green == 8 && blue == 8 &&
           (!withDepth_ || depthFormat_ != 0) && samples == 0;
}

bool KeptPicture::prepare(int width, int height) {
    if (!checkedWindow_ && !checkWindow()) disabled = true;
    if (disabled) return false;
    if (holdsSize(width, height)) return true;

    const FramebufferFunctions& f = framebufferFunctions();
    if (framebuffer_ == 0) {
        f.genFramebuffers(1, &framebuffer_);
        f.genRenderbuffers(1, &colourBuffer_);
        if (withDepth_) f.genRenderbuffers(1, &depthBuffer_);
    }
    f.bindRenderbuffer(GL_RENDERBUFFER, colourBuffer_);
    f.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    if (withDepth_) {
        f.bindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
        f.renderbufferStorage(GL_RENDERBUFFER, depthFormat_, width, height);
    }
    f.bindRenderbuffer(GL_RENDERBUFFER, 0);
    f.bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer_);
    if (withDepth_) f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
    const GLenum status = f.checkFramebufferStatus(GL_FRAMEBUFFER);
    f.bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        std::printf("%s: off-screen picture incomplete (status 0x%x); drawing every frame\n", owner_, status);
        release();
        disabled = true;
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

bool KeptPicture::copy(bool intoPicture, const int r[4], uint32_t mask) {
    if (disabled || framebuffer_ == 0) return false;
    if (r[2] <= r[0] || r[3] <= r[1]) return true;
    const FramebufferFunctions& f = framebufferFunctions();
    // Errors left over from earlier calls are read off before the first copy, whose own error
    // decides whether copies work here.
    const bool firstCopy = !copiedOnce_;
    if (firstCopy)
        while (glGetError() != GL_NO_ERROR) {
        }
    f.bindFramebuffer(GL_READ_FRAMEBUFFER, intoPicture ? 0 : framebuffer_);
    f.bindFramebuffer(GL_DRAW_FRAMEBUFFER, intoPicture ? framebuffer_ : 0);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    f.blitFramebuffer(r[0], r[1], r[2], r[3], r[0], r[1], r[2], r[3], mask, GL_NEAREST);
    if (scissor) glEnable(GL_SCISSOR_TEST);
    f.bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!firstCopy) return true;
    copiedOnce_ = true;
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return true;
    std::printf("%s: the window's picture cannot be copied (GL error 0x%x); drawing every frame\n", owner_, error);
    release();
    disabled = true;
    return false;
}
