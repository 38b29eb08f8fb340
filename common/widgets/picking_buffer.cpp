#include "common/widgets/picking_buffer.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <cstdio>

#include "common/widgets/framebuffer_objects.h"

namespace {

// One off-screen buffer for the process, made in the context that first needed it. A pass in
// another context (tests make one after another) starts afresh; the names of the old one went
// with its context.
struct PickingBuffer {
    GLXContext context = nullptr;
    bool windowExact = true;  // the window keeps 8 bits a colour channel, one sample a pixel
    bool failed = false;      // needed, but cannot be made here
    GLuint framebuffer = 0, colour = 0, depth = 0;
    int width = 0, height = 0;
};

PickingBuffer buffer;

struct WindowColour {
    GLint red = 0, green = 0, blue = 0, sampleBuffers = 0;
};

WindowColour windowColour() {
    WindowColour c;
    glGetIntegerv(GL_RED_BITS, &c.red);
    glGetIntegerv(GL_GREEN_BITS, &c.green);
    glGetIntegerv(GL_BLUE_BITS, &c.blue);
    glGetIntegerv(GL_SAMPLE_BUFFERS, &c.sampleBuffers);
    return c;
}

bool windowHasExactColour() {
    const WindowColour c = windowColour();
    return c.red >= 8 && c.green >= 8 && c.blue >= 8 && c.sampleBuffers == 0;
}

void reportFailure(const char* why) {
    const WindowColour c = windowColour();
    std::printf("picking: the window has %d-%d-%d bits of colour%s and %s; pointing may pick the wrong "
                "stroke or place\n",
                c.red, c.green, c.blue, c.sampleBuffers != 0 ? ", multisampled," : "", why);
    buffer.failed = true;
}

// Makes the buffer cover a viewport reaching to (width, height).
bool makeBuffer(int width, int height) {
    const FramebufferFunctions& f = framebufferFunctions();
    if (buffer.framebuffer == 0) {
        f.genFramebuffers(1, &buffer.framebuffer);
        f.genRenderbuffers(1, &buffer.colour);
        f.genRenderbuffers(1, &buffer.depth);
    }
    f.bindRenderbuffer(GL_RENDERBUFFER, buffer.colour);
    f.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    f.bindRenderbuffer(GL_RENDERBUFFER, buffer.depth);
    f.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    f.bindRenderbuffer(GL_RENDERBUFFER, 0);
    f.bindFramebuffer(GL_FRAMEBUFFER, buffer.framebuffer);
    f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffer.colour);
    f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, buffer.depth);
    const GLenum status = f.checkFramebufferStatus(GL_FRAMEBUFFER);
    f.bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE) return false;
    buffer.width = width;
    buffer.height = height;
    return true;
}

}  // namespace

bool beginPickingPass() {
    const GLXContext context = glXGetCurrentContext();
    if (context == nullptr) return false;
    if (context != buffer.context) {
        buffer = PickingBuffer{};
        buffer.context = context;
        buffer.windowExact = windowHasExactColour();
    }
    if (buffer.windowExact || buffer.failed) return false;
    if (!framebufferFunctions().ready) {
        reportFailure("the renderer offers no off-screen buffers");
        return false;
    }
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int width = viewport[0] + viewport[2], height = viewport[1] + viewport[3];
    if (width <= 0 || height <= 0) return false;
    if ((width != buffer.width || height != buffer.height) && !makeBuffer(width, height)) {
        reportFailure("its off-screen buffer cannot be completed");
        return false;
    }
    framebufferFunctions().bindFramebuffer(GL_FRAMEBUFFER, buffer.framebuffer);
    return true;
}

void endPickingPass(bool offScreen) {
    if (offScreen) framebufferFunctions().bindFramebuffer(GL_FRAMEBUFFER, 0);
}
