#pragma once
// The texture both programs show the sensor's image through: 1024 x 1024, the 640 x 480 depth
// view in its top-left corner, rows top to bottom, with the tracked joints marked in blue.
#include <cstdint>

#include "common/sensor/skeleton_record.h"

constexpr int CAMERA_TEXTURE_SIZE = 1024;

// Where a joint's 4 x 4 mark goes on the camera texture: the projected pixel rounded, minus 2.
// False when the joint has no depth or the block would leave the texture.
bool jointMarkOrigin(const Vector4& joint, int& x, int& y);

// Creates the camera texture (zero-filled, linear filtering); returns its GL name.
uint32_t createCameraTexture();

// A detector's hand image, B, G, R, A bytes; null or empty for none.
struct HandImage {
    const uint8_t* bgra = nullptr;
    int width = 0;
    int height = 0;
};

// Replaces the texture's top-left 640 x 480 with the depth view (B, G, R, A), marks the joints
// as pure blue 4 x 4 squares and pastes the hand images: the left one at (0, 0), the right one
// against the right edge of the 640 x 480 image.
void updateCameraTexture(uint32_t texture, const uint8_t* depthView, const SkeletonRecord& skeleton,
                         const HandImage& left = HandImage(), const HandImage& right = HandImage());
