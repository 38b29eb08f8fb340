#include "common/widgets/framebuffer_objects.h"

#include <GL/glx.h>

#include <cstdio>
#include <cstring>


namespace {

template <typename F>
void resolve(F& out, const char* name, const char* suffix) {
    char full[64];
    std::snprintf(full, sizeof full, "%s%s", name, suffix);
    out = reinterpret_cast<F>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(full)));
}

bool hasExtension(const char* name) {
    const char* all = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (all == nullptr) return false;
    const size_t length = std::strlen(name);
    for (const char* p = std::strstr(all, name); p != nullptr; p = std::strstr(p + 1, name)) {
        const bool startOk = p == all || p[-1] == ' ';
        const bool endOk = p[length] == '\0' || p[length] == ' ';
        if (startOk && endOk) return true;
    }
    return false;
}

}  // namespace

const FramebufferFunctions& framebufferFunctions() {
    static const FramebufferFunctions functions = [] {
        FramebufferFunctions f;
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        const bool core = (version != nullptr && version[0] >= '3' && version[0] <= '9') ||
                          hasExtension("GL_ARB_framebuffer_object");
        const char* suffix = core ? "" : "EXT";
        if (!core && !hasExtension("GL_EXT_framebuffer_object")) return f;
        resolve(f.genFramebuffers, "glGenFramebuffers", suffix);
        resolve(f.deleteFramebuffers, "glDeleteFramebuffers", suffix);
        resolve(f.bindFramebuffer, "glBindFramebuffer", suffix);
        resolve(f.genRenderbuffers, "glGenRenderbuffers", suffix);
        resolve(f.deleteRenderbuffers, "glDeleteRenderbuffers", suffix);
        resolve(f.bindRenderbuffer, "glBindRenderbuffer", suffix);
        resolve(f.renderbufferStorage, "glRenderbufferStorage", suffix);
        resolve(f.framebufferRenderbuffer, "glFramebufferRenderbuffer", suffix);
        resolve(f.checkFramebufferStatus, "glCheckFramebufferStatus", suffix);
        f.ready = f.genFramebuffers && f.deleteFramebuffers && f.bindFramebuffer && f.genRenderbuffers &&
                  f.deleteRenderbuffers && f.bindRenderbuffer && f.renderbufferStorage &&
                  f.framebufferRenderbuffer && f.checkFramebufferStatus;
        if (core || hasExtension("GL_EXT_framebuffer_blit")) resolve(f.blitFramebuffer, "glBlitFramebuffer", suffix);
        return f;
    }();
    return functions;
}

bool framebufferObjectsAvailable() { return glXGetCurrentContext() != nullptr && framebufferFunctions().ready; }

bool currentDrawableSize(unsigned int size[2]) {
    size[0] = size[1] = 0;
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (display == nullptr || drawable == 0) return false;
    glXQueryDrawable(display, drawable, GLX_WIDTH, &size[0]);
    glXQueryDrawable(display, drawable, GLX_HEIGHT, &size[1]);
    return true;
}
