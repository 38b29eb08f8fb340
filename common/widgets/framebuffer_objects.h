#pragma once
// Framebuffer-object entry points, resolved once per process from the context current on the
// first call: the core / ARB names when the context offers them, else the EXT names (same
// tokens, same behaviour for what the programs use). Needs a current GL context.
#include <GL/gl.h>
#include <GL/glext.h>

struct FramebufferFunctions {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    bool ready = false;  // every entry point above was found
    // Copies between framebuffers (core, ARB or EXT_framebuffer_blit); nullptr when the context
    // has no blit.
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer = nullptr;
};

const FramebufferFunctions& framebufferFunctions();

// True when a GL context is current and offers framebuffer objects.
bool framebufferObjectsAvailable();

// The size of the window (drawable) the current GL context draws to, as the window system has
// it; false, and 0 x 0, without a current window.
bool currentDrawableSize(unsigned int size[2]);
