#pragma once
// Renders the depth and colour images a camera would see of one or more skeletons: body
// parts as capsules and ellipsoids, each hand an open palm with five spread fingers or a
// fist, a floor and a back wall. Plain functions, no GL. Used by the simulated performer
// and by sources whose streams carry only skeletons.
//
// Depth is packed like the sensor's: millimetres << 3 | player index (0 for wall and floor,
// 0 millimetres where nothing is within range). Pixels follow projectToImage.
#include <cstdint>
#include <vector>

#include "common/sensor/frame_source.h"
#include "common/sensor/skeleton_record.h"

enum class HandShape { OPEN, CLOSED };

// Renders depth (packed mm << 3 | player) for any skeleton (person = player 1), with wall and
// floor, given the camera tilt in degrees. The skeleton is in the tilted camera's frame.
void renderPerformerDepth(const SkeletonRecord& skeleton, HandShape left, HandShape right, int tiltDegrees,
                          uint16_t* packedDepth /* FRAME_PIXELS */);
void renderPerformerColour(const SkeletonRecord& skeleton, HandShape left, HandShape right, int tiltDegrees,
                           uint8_t* bgrx /* COLOUR_FRAME_BYTES */);
// Convenience for streams that carry only skeletons: both hands open, tilt 0.
void renderSkeletonImages(const SkeletonRecord& skeleton, uint16_t* packedDepth, uint8_t* bgrx);

// --- The scene renderer underneath, for sources that render several people or both images
// from one pass.

struct RenderBody {
    const SkeletonRecord* skeleton = nullptr;  // skipped when null or not tracked-looking
    HandShape left = HandShape::OPEN;
    HandShape right = HandShape::OPEN;
    uint8_t player = 1;                        // 0..7; 0 renders the body without a player index
};

// Reusable per-pixel buffers of one rendered scene (allocated once, FRAME_PIXELS each).
struct RenderTarget {
    std::vector<uint16_t> millimetres;  // 0 = no reading
    std::vector<uint8_t> surface;       // material << 3 | player
    RenderTarget();
};

// Materials of rendered surfaces, for the colour image.
enum RenderMaterial : uint8_t {
    MATERIAL_NONE = 0,
    MATERIAL_WALL = 1,
    MATERIAL_FLOOR = 2,
    MATERIAL_SKIN = 3,
    MATERIAL_SHIRT = 4,
    MATERIAL_TROUSERS = 5,
    MATERIAL_HAIR = 6,
    MATERIAL_SHOES = 7
};

// Nearest readings the sensor reports; anything outside becomes 0 (no reading).
constexpr int RENDER_MIN_MM = 400;
constexpr int RENDER_MAX_MM = 4000;

void renderScene(const RenderBody* bodies, int bodyCount, int tiltDegrees, RenderTarget& target);
void packDepth(const RenderTarget& target, uint16_t* packedDepth);
void shadeColour(const RenderTarget& target, uint8_t* bgrx);
