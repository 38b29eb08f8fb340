#pragma once
// The recognition screen: the camera view with the joint marks and the detectors' hand images,
// the arm-speed graph with the segmentation marks, and the right hand's contour profile.
#include <cstdint>

#include "common/gesture/gesture_recognizer.h"
#include "common/sensor/skeleton_record.h"
#include "common/widgets/camera_texture.h"

// The camera view: full window height, 4:3 wide, against the right edge, at alpha `alpha`.
void drawCameraView(uint32_t texture, float aspect, float alpha);

// Speed graph over the frame history (oldest first) in the lower left, half the window wide and
// a quarter high,
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
