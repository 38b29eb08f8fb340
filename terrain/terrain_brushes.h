#pragma once
// The five height brushes. All follow one pattern: the right hand aims (the right pointer picks
// a terrain vertex), closing the right hand applies the brush once per frame, closing the left
// hand changes the brush's two parameters by moving the left wrist (sideways: radius; up and
// down: the second parameter). Each draws a 3D cursor at the picked point.
//
// Radii are in grid units. The pick goes through `pickAt`, which is the terrain's own pick by
// default; tests put a function there to aim without GL.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/gesture/arm_pose.h"
#include "common/sensor/hand_pointer.h"
#include "common/tools/tool.h"
#include "terrain/brush_random.h"
#include "terrain/terrain.h"

struct GLUquadric;

// Same contract as Terrain::pick: window pixel (x, y), origin bottom-left; true on a hit with
// the point (snapped to a vertex when snap is set) written to out.
using TerrainPickFunction = std::function<bool(float out[3], bool snap, int x, int y)>;

class TerrainBrush : public Tool {
public:
    const HandPointer& pointer;  // the right hand's pointer
    Terrain& terrain;
    ArmPose previous{};          // the pose of the last frame this brush was current
    float radius = 4.0f;
    bool hit = false;            // result of the last pick; the cursor shows only on a hit
    float hitPoint[3] = {0.0f, 0.0f, 0.0f};
    uint32_t icon = 0;           // 0 when the image is missing or there was no GL context
    TerrainPickFunction pickAt;

    TerrainBrush(const HandPointer& pointer, Terrain& terrain, const char* iconPath);
    ~TerrainBrush() override;
    TerrainBrush(const TerrainBrush&) = delete;
    TerrainBrush& operator=(const TerrainBrush&) = delete;

    // Left wrist motion since `previous`: sideways (|dy| < |dx|) radius += 50 dx, otherwise
    // (including no motion) the second parameter changes.
    void adjustParameters(const ArmPose& pose);
    // Picks at the right pointer, visits the vertices within the brush's square reach around
    // the hit, applies the brush's rule, and refreshes the normals. A miss changes nothing.
    void applyStroke();
    // Picks at the right pointer while it is engaged; otherwise hides the cursor.
    void hover();

    void onLeftGrip(const ArmPose& pose) override;
    void onRightGrip(const ArmPose& pose) override;
    void onBothGrip(const ArmPose& pose) override;
    void onNoGrip(const ArmPose& pose) override;
    void drawOverlay() override;  // world coordinates, inside the 3D pass
    void undo() override {}
    void redo() override {}
    int32_t iconTexture() override { return static_cast<int32_t>(icon); }

    virtual std::array<float, 3> cursorColour() const = 0;

protected:
    virtual void changeRadius(float dx);       // default: radius kept >= 0
    virtual void changeSecond(float dy) = 0;
    virtual int reach() const;                 // half-width of the visited square
    virtual void beginStroke() {}
    virtual void visit(TerrainVertex& vertex, float d) = 0;  // d: horizontal distance to hit
    virtual void endStroke() {}
    virtual void drawCursor() = 0;

    // Helpers for the cursors: a ball of radius 0.2 at the cursor's centre, and a disk in the
    // horizontal plane (after the -90 degree turn).
    void drawSphere();
    void drawRing(float inner, float outer);

    GLUquadric* quadric_ = nullptr;
};

// Raises (radius > 0) or lowers (radius < 0) a raised-cosine bump; the profile exponent widens
// the plateau and steepens the flank.
class TerraBrush : public TerrainBrush {
public:
    float exponent = 1.0f;  // p, kept in [0.2, 8]

    TerraBrush(const HandPointer& pointer, Terrain& terrain);
    std::array<float, 3> cursorColour() const override;

protected:
    void changeRadius(float dx) override;  // the radius may cross zero and change sign
    void changeSecond(float dy) override;
    void visit(TerrainVertex& vertex, float d) override;
    void drawCursor() override;
};

// Pulls heights toward the mean of their neighbours, all from the heights before the stroke.
class SmoothBrush : public TerrainBrush {
public:
    float strength = 0.5f;  // s, kept in [0, 1]; 1 takes the neighbours' mean outright

    SmoothBrush(const HandPointer& pointer, Terrain& terrain);
    std::array<float, 3> cursorColour() const override;

protected:
    void changeSecond(float dy) override;
    void beginStroke() override { pending_.clear(); }
    void visit(TerrainVertex& vertex, float d) override;
    void endStroke() override;
    void drawCursor() override;

private:
    std::vector<std::pair<TerrainVertex*, float>> pending_;  // reused between strokes
};

// Adds random bumps that fade with distance; the amplitude's sign chooses raise or lower.
class RandomizeBrush : public TerrainBrush {
public:
    float amplitude = 0.5f;  // a, kept in [-1, 1]
    float scale = 1.0f;      // k, fixed
    BrushRandom random;

    // seedSeconds: the calendar time in seconds at start-up (std::time in the program).
    RandomizeBrush(const HandPointer& pointer, Terrain& terrain, uint64_t seedSeconds);
    std::array<float, 3> cursorColour() const override;

protected:
    void changeSecond(float dy) override;
    int reach() const override;
    void visit(TerrainVertex& vertex, float d) override;
    void drawCursor() override;
};

// Shared by bulldoze and dump: the second parameter is a height level, moved by 50 dy.
class LevelBrush : public TerrainBrush {
public:
    float level = 1.0f;  // L, world units, unlimited

    LevelBrush(const HandPointer& pointer, Terrain& terrain, const char* iconPath)
        : TerrainBrush(pointer, terrain, iconPath) {}
    std::array<float, 3> cursorColour() const override { return {1.0f, 0.0f, 0.0f}; }

protected:
    void changeSecond(float dy) override { level += 50.0f * dy; }
    void drawLevelCursor(float lift, float firstRingHalfWidth);
};

// Cuts everything above the level toward it: the centre at once, the rim not at all.
class BulldozeBrush : public LevelBrush {
public:
    BulldozeBrush(const HandPointer& pointer, Terrain& terrain);

protected:
    void visit(TerrainVertex& vertex, float d) override;
    void drawCursor() override { drawLevelCursor(0.05f, 0.2f); }
};

// Fills everything below the level toward it: the mirror of BulldozeBrush.
class DumpBrush : public LevelBrush {
public:
    DumpBrush(const HandPointer& pointer, Terrain& terrain);

protected:
    void visit(TerrainVertex& vertex, float d) override;
    void drawCursor() override { drawLevelCursor(0.1f, 0.3f); }
};
