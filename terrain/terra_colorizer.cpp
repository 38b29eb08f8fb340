#include "terrain/terra_colorizer.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/widgets/texture.h"
#include "common/widgets/framebuffer_objects.h"

namespace {

float clampTo(float value, float low, float high) { return std::max(low, std::min(value, high)); }

}  // namespace

TerraColorizer::TerraColorizer(const HandPointer& pointerRef, Terrain& terrainRef, const WindowInfo& windowRef,
                               const std::array<float, 3>& paint)
    : pointer(pointerRef), terrain(terrainRef), window(windowRef), paintColour(paint) {
    pickAt = [this](float out[3], bool snap, int x, int y) { return terrain.pick(out, snap, x, y); };
    if (glContextCurrent()) {
        icon = loadTexture("../images/brushtool.png", TEXTURE_MIPMAPS);
        brushMask = loadTexture("../images/colorbrush_half_sharp.png", TEXTURE_MIPMAPS, 4);
        if (brushMask == 0) std::printf("TerraColorizer: brush mask not loaded: %s\n", lastImageError());
    }
}

TerraColorizer::~TerraColorizer() {
    if (quadric_ != nullptr) gluDeleteQuadric(quadric_);
    if ((framebuffer_ != 0 || renderbuffer_ != 0) && glContextCurrent()) {
        const FramebufferFunctions& f = framebufferFunctions();
        if (f.ready) {
            f.deleteFramebuffers(1, &framebuffer_);
            f.deleteRenderbuffers(1, &renderbuffer_);
        }
    }
}

void TerraColorizer::adjustParameters(const ArmPose& pose) {
    const float dx = pose[POSE_LEFT_WRIST_X] - previous[POSE_LEFT_WRIST_X];
    const float dy = pose[POSE_LEFT_WRIST_Y] - previous[POSE_LEFT_WRIST_Y];
    if (std::fabs(dy) < std::fabs(dx)) {
        radius = std::max(radius + 50.0f * dx, 0.0f);
    } else {
        opacity = clampTo(opacity + dy, COLORIZER_MIN_OPACITY, 1.0f);
    }
}

void TerraColorizer::applyStroke() {
    const ScreenPoint at = pointer.screenPosition();
    hit = pickAt(hitPoint, false, static_cast<int>(at.x), static_cast<int>(at.y));
    if (!hit) return;
    stamp(hitPoint[0], hitPoint[2]);
}

bool TerraColorizer::stamp(float x, float z) {
    if (!offscreenFailed_ && framebufferObjectsAvailable()) {
        if (stamp(x, z, StampTarget::OFFSCREEN)) return true;
    }
    return stamp(x, z, StampTarget::BACK_BUFFER);
}

bool TerraColorizer::stamp(float x, float z, StampTarget target) {
    const FramebufferFunctions& f = framebufferFunctions();
    GLint oldFramebuffer = 0;
    if (target == StampTarget::OFFSCREEN) {
        if (!f.ready || offscreenFailed_) return false;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &oldFramebuffer);
        if (framebuffer_ == 0) {
            f.genFramebuffers(1, &framebuffer_);
            f.genRenderbuffers(1, &renderbuffer_);
            f.bindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
            f.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, COLOUR_MAP_SIZE, COLOUR_MAP_SIZE);
            f.bindRenderbuffer(GL_RENDERBUFFER, 0);
            f.bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
            f.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer_);
            const GLenum status = f.checkFramebufferStatus(GL_FRAMEBUFFER);
            f.bindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(oldFramebuffer));
            if (status != GL_FRAMEBUFFER_COMPLETE) {
                std::printf("TerraColorizer: off-screen target incomplete (status 0x%x); using the window\n",
                            status);
                offscreenFailed_ = true;
                return false;
            }
        }
        f.bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
    } else if (window.width < static_cast<uint32_t>(COLOUR_MAP_SIZE) ||
               window.height < static_cast<uint32_t>(COLOUR_MAP_SIZE)) {
        // Copying from a smaller back buffer would write undefined pixels into the map.
        if (!warned_) {
            std::printf("TerraColorizer: window %ux%u is smaller than the 512x512 colour map; not painting\n",
                        window.width, window.height);
            warned_ = true;
        }
        return false;
    } else {
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
    }

    GLint oldViewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, oldViewport);
    // One window pixel per texel in both targets: the off-screen one is exactly the map, the
    // window keeps its own viewport and the map sits in its lower-left corner.
    const int targetWidth = target == StampTarget::OFFSCREEN ? COLOUR_MAP_SIZE : static_cast<int>(window.width);
    const int targetHeight = target == StampTarget::OFFSCREEN ? COLOUR_MAP_SIZE : static_cast<int>(window.height);
    glViewport(0, 0, targetWidth, targetHeight);

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, targetWidth, 0.0, targetHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    terrain.drawColourMapQuad();

    const float size = static_cast<float>(COLOUR_MAP_SIZE);
    glPushMatrix();
    glTranslatef(x / static_cast<float>(terrain.columns) * size, z / static_cast<float>(terrain.rows) * size, 0.0f);
    glScalef(radius / static_cast<float>(terrain.columns) * size, radius / static_cast<float>(terrain.rows) * size,
             1.0f);
    glColor4f(paintColour[0], paintColour[1], paintColour[2], opacity);
    if (brushMask != 0) {
        glBindTexture(GL_TEXTURE_2D, brushMask);
    } else {
        glDisable(GL_TEXTURE_2D);  // no mask: a plain square in the paint colour
    }
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-2.0f, -2.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-2.0f, 2.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(2.0f, 2.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(2.0f, -2.0f);
    glEnd();
    glPopMatrix();

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, terrain.colourMap);
    GLint mapWidth = 0, mapHeight = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &mapWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &mapHeight);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 0, 0, COLOUR_MAP_SIZE, COLOUR_MAP_SIZE, 0);
    // The off-screen copy gives back every texel outside the stamp's square exactly, so the
    // change is that square (two texels wider for rounding), told in grid units. The window
    // method is only known to be close, and a map of another size is replaced whole, so their
    // change is left unbounded.
    const float perTexelX = static_cast<float>(terrain.columns) / size, perTexelZ = static_cast<float>(terrain.rows) / size;
    const float half = 2.0f * std::fabs(radius);  // the quad's half side, grid units
    const float area[4] = {x - half - 2.0f * perTexelX, z - half - 2.0f * perTexelZ, x + half + 2.0f * perTexelX,
                           z + half + 2.0f * perTexelZ};
    if (target == StampTarget::OFFSCREEN && mapWidth == COLOUR_MAP_SIZE && mapHeight == COLOUR_MAP_SIZE &&
        std::isfinite(area[0]) && std::isfinite(area[1]) &&
        std::isfinite(area[2]) && std::isfinite(area[3])) {
        terrain.noteColourMapChange(area);
    } else {
        ++terrain.colourMapRevision;
    }
    glDisable(GL_TEXTURE_2D);

    glEnable(GL_DEPTH_TEST);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glViewport(oldViewport[0], oldViewport[1], oldViewport[2], oldViewport[3]);
    if (target == StampTarget::OFFSCREEN) {
        f.bindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(oldFramebuffer));
        if (oldFramebuffer == 0) {
            glDrawBuffer(GL_BACK);
            glReadBuffer(GL_BACK);
        }
    }
    return true;
}

void TerraColorizer::onLeftGrip(const ArmPose& pose) {
    adjustParameters(pose);
    previous = pose;
}

void TerraColorizer::onRightGrip(const ArmPose& pose) {
    applyStroke();
    previous = pose;
}

void TerraColorizer::onBothGrip(const ArmPose& pose) {
    adjustParameters(pose);
    applyStroke();
    previous = pose;
}

void TerraColorizer::onNoGrip(const ArmPose& pose) {
    if (pointer.engaged()) {
        const ScreenPoint at = pointer.screenPosition();
        hit = pickAt(hitPoint, false, static_cast<int>(at.x), static_cast<int>(at.y));
    } else {
        hit = false;
    }
    previous = pose;
}

void TerraColorizer::drawOverlay() {
    if (!hit) return;
    if (quadric_ == nullptr) quadric_ = gluNewQuadric();
    glPushMatrix();
    glTranslatef(hitPoint[0], hitPoint[1] + 0.1f, hitPoint[2]);
    glColor3f(1.0f, 1.0f - opacity, 1.0f - opacity);
    gluSphere(quadric_, 0.2, 10, 10);
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    const float inner = std::max(radius - 0.3f, 0.0f);
    gluDisk(quadric_, inner, radius + 0.3f, 20, 1);
    glPopMatrix();
}
