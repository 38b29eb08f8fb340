#include "common/widgets/hand_pointer_draw.h"

#include <GL/gl.h>

#include <cstdio>

#include "common/widgets/texture.h"

const char* const POINTER_DEFAULT_IMAGE = "../images/pointer_default.png";
const char* const POINTER_CLOSED_IMAGE = "../images/pointer_closed_hand.png";

namespace {

unsigned int loadPointerImage(const char* path) {
    const unsigned int name = loadTexture(path, TEXTURE_MIPMAPS);
    if (name == 0) {
        std::printf("hand pointer: %s\n", lastImageError());
    }
    return name;
}

// Square of half-width h centred on the origin, texture (0, 0) at its lower-left corner: the
// image's first row lies along the bottom edge, so the pointer images are drawn symmetric top
// to bottom.
void drawTexturedSquare(float h) {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-h, -h);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(h, -h);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(h, h);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-h, h);
    glEnd();
}

}  // namespace

void loadHandPointerTextures(HandPointer& pointer) {
    pointer.closedTexture = loadPointerImage(POINTER_CLOSED_IMAGE);
    pointer.defaultTexture = loadPointerImage(POINTER_DEFAULT_IMAGE);
}

HandPointer createHandPointer(int hand, const WindowInfo* window, uint8_t r, uint8_t g, uint8_t b,
                              uint8_t a) {
    HandPointer pointer(hand, window);
    pointer.colour = {{r, g, b, a}};
    loadHandPointerTextures(pointer);
    return pointer;
}

bool drawHandPointer(const HandPointer& pointer, bool closed) {
    if (!pointer.engaged()) {
        return false;
    }
    const ScreenPoint at = pointer.screenPosition();
    glEnable(GL_TEXTURE_2D);
    glPushMatrix();
    glTranslatef(at.x, at.y, 0.0f);
    glScalef(pointer.size, pointer.size, 10.0f);
    glColor4ub(pointer.colour[0], pointer.colour[1], pointer.colour[2], pointer.colour[3]);
    glBindTexture(GL_TEXTURE_2D, pointer.defaultTexture);
    drawTexturedSquare(0.5f);
    if (closed) {
        glBindTexture(GL_TEXTURE_2D, pointer.closedTexture);
        drawTexturedSquare(1.0f);
    }
    glPopMatrix();
    glDisable(GL_TEXTURE_2D);
    return true;
}
