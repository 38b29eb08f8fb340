#include "common/widgets/camera_texture.h"

#include <GL/gl.h>

#include <vector>

#include "common/sensor/frame_source.h"

bool jointMarkOrigin(const Vector4& joint, int& x, int& y) {
    if (!(joint.z > PROJECTION_MIN_Z)) return false;
    float u = joint.x * DEPTH_FOCAL_LENGTH / joint.z + 320.0f + 0.5f;
    float v = 240.0f - joint.y * DEPTH_FOCAL_LENGTH / joint.z + 0.5f;
    // Truncation of a huge float is undefined: reject far-off joints before converting.
    if (!(u > -1e6f && u < 1e6f && v > -1e6f && v < 1e6f)) return false;
    x = static_cast<int>(u) - 2;
    y = static_cast<int>(v) - 2;
    return x >= 0 && y >= 0 && x + 4 <= CAMERA_TEXTURE_SIZE && y + 4 <= CAMERA_TEXTURE_SIZE;
}

uint32_t createCameraTexture() {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    std::vector<uint8_t> zeros(static_cast<size_t>(CAMERA_TEXTURE_SIZE) * CAMERA_TEXTURE_SIZE * 4, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, CAMERA_TEXTURE_SIZE, CAMERA_TEXTURE_SIZE, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 zeros.data());
    return texture;
}

void updateCameraTexture(uint32_t texture, const uint8_t* depthView, const SkeletonRecord& skeleton,
                         const HandImage& left, const HandImage& right) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, FRAME_WIDTH, FRAME_HEIGHT, GL_BGRA, GL_UNSIGNED_BYTE, depthView);
    static const uint8_t blue[16] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    for (int j = 0; j < JOINT_COUNT; ++j) {
        int x = 0, y = 0;
        if (jointMarkOrigin(skeleton.joints[j], x, y)) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, 4, 4, GL_BLUE, GL_UNSIGNED_BYTE, blue);
        }
    }
    if (left.bgra && left.width > 0 && left.height > 0) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, left.width, left.height, GL_BGRA, GL_UNSIGNED_BYTE, left.bgra);
    }
    if (right.bgra && right.width > 0 && right.height > 0 && right.width <= FRAME_WIDTH) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, FRAME_WIDTH - right.width, 0, right.width, right.height, GL_BGRA,
                        GL_UNSIGNED_BYTE, right.bgra);
    }
}
