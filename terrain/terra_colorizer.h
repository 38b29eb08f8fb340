#pragma once
// TerraColorizer: paints the terrain's 512 x 512 colour map with the current paint colour. The
// right hand aims and, gripping, stamps a soft brush image under the pointer once per frame;
// the left hand, gripping, changes the radius (sideways) and the opacity (up and down).
//
// Colour-map texel (u, v) lies over terrain point x = u / 2, z = v / 2: one grid cell covers
// 2 x 2 texels. A stamp of radius R (grid units) is 4 R grid units (8 R texels) wide, centred on
// the hit point, and blends each covered texel as
//   new = mask.rgb * paint * (mask.a * o) + old * (1 - mask.a * o).
//
// The stamp is rendered into an off-screen 512 x 512 target and copied from there into level 0
// of the colour map, so painting works whatever the window size; the window's back buffer is
// used only where no off-screen target is available, and then only when the window holds the
// whole map. Needs the GL context current on the calling thread.
#include <array>
#include <cstdint>

#include "common/gesture/arm_pose.h"
#include "common/sensor/hand_pointer.h"
#include "common/sensor/window_info.h"
#include "common/tools/tool.h"
#include "terrain/terrain.h"
#include "terrain/terrain_brushes.h"

struct GLUquadric;

constexpr float COLORIZER_MIN_OPACITY = 0.1f;

// Where the stamp is rendered before the copy into the colour map.
enum class StampTarget {
    OFFSCREEN,    // a 512 x 512 framebuffer object (the normal case)
    BACK_BUFFER,  // the window's back buffer at (0, 0); needs a window of at least 512 x 512
};

class TerraColorizer : public Tool {
public:
    const HandPointer& pointer;  // the right hand's pointer
    Terrain& terrain;
    const WindowInfo& window;
    const std::array<float, 3>& paintColour;  // the program's currentColor, 0..1
    ArmPose previous{};   // the pose of the last frame this tool was current
    float radius = 4.0f;  // R, grid units, kept >= 0
    float opacity = 1.0f; // o, kept in [0.1, 1]
    bool hit = false;     // result of the last pick; the cursor shows only on a hit
    float hitPoint[3] = {0.0f, 0.0f, 0.0f};
    uint32_t icon = 0;       // "../images/brushtool.png"
    uint32_t brushMask = 0;  // "../images/colorbrush_half_sharp.png", RGBA; 0 paints a square
    TerrainPickFunction pickAt;  // the terrain's pick unless a test puts one here

    // Loads both images when a GL context is current.
    TerraColorizer(const HandPointer& pointer, Terrain& terrain, const WindowInfo& window,
                   const std::array<float, 3>& paintColour);
    ~TerraColorizer() override;
    TerraColorizer(const TerraColorizer&) = delete;
    TerraColorizer& operator=(const TerraColorizer&) = delete;

    // Left wrist motion since `previous`: sideways (|dy| < |dx|) R = max(R + 50 dx, 0),
    // otherwise (including no motion) o = clamp(o + dy, 0.1, 1).
    void adjustParameters(const ArmPose& pose);
    // Picks (without snapping) at the right pointer and stamps at the hit. A miss paints
    // nothing and hides the cursor.
    void applyStroke();
    // Stamps at terrain point (x, z) into the colour map's level 0. Returns false, and prints
    // one line the first time, when no target can hold the 512 x 512 map. Restores the
    // viewport, both matrices and the framebuffer binding it found.
    bool stamp(float x, float z);
    bool stamp(float x, float z, StampTarget target);

    void onLeftGrip(const ArmPose& pose) override;
    void onRightGrip(const ArmPose& pose) override;
    void onBothGrip(const ArmPose& pose) override;
    void onNoGrip(const ArmPose& pose) override;
    void drawOverlay() override;  // world coordinates, inside the 3D pass
    void undo() override {}
    void redo() override {}
    int32_t iconTexture() override { return static_cast<int32_t>(icon); }

private:
    GLUquadric* quadric_ = nullptr;
    uint32_t framebuffer_ = 0;   // made on the first off-screen stamp
    uint32_t renderbuffer_ = 0;
    bool offscreenFailed_ = false;
    bool warned_ = false;
};
