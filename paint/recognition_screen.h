#pragma once
// The recognition screen: the camera view with the joint marks and the detectors' hand images,
// the arm-speed graph with the segmentation marks, and the right hand's contour profile.
#include <cstdint>
#include <vector>

#include "common/gesture/gesture_recognizer.h"
#include "common/sensor/skeleton_record.h"

constexpr int CAMERA_TEXTURE_SIZE = 1024;  // the 640 x 480 image sits in its top-left corner

// Where a joint's 4 x 4 mark goes on the camera texture: the projected pixel rounded, minus 2.
// False when the joint has no depth or the block would leave the texture.
bool jointMarkOrigin(const Vector4& joint, int& x, int& y);

// Creates the 1024 x 1024 RGB camera texture (zero-filled); returns its GL name.
uint32_t createCameraTexture();

// Replaces the texture's top-left 640 x 480 with the depth view, marks the joints in blue and
// pastes the hand images (left at (0, 0), right against the right edge of the 640 x 480 image).
struct HandImage {
    const uint8_t* bgra = nullptr;
    int width = 0;
    int height = 0;
};
void updateCameraTexture(uint32_t texture, const uint8_t* depthView, const SkeletonRecord& skeleton,
                         const HandImage& left, const HandImage& right);

// The camera view: full window height, 4:3 wide, against the right edge, at alpha `alpha`.
void drawCameraView(uint32_t texture, float aspect, float alpha);

// Speed graph over the frame history (oldest first) in the lower-left quarter-height strip,
// with the segmentation marks and both velocity thresholds.
void drawSpeedGraph(const SpeedSample* samples, int count, float lowThreshold, float highThreshold, int width,
                    int height);

// The right hand's radius profile with its peaks, in the lower-right corner.
struct ContourGraph {
    const float* radii = nullptr;
    int count = 0;
    float meanRadius = 0.0f;
    const int* peaks = nullptr;
    int peakCount = 0;
    int neighbourhood = 0;
};
void drawContourGraph(const ContourGraph& graph, int width, int height);
