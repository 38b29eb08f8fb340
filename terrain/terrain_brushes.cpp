#include "terrain/terrain_brushes.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "common/widgets/texture.h"

namespace {

float clampTo(float value, float low, float high) { return std::max(low, std::min(value, high)); }

}  // namespace

// ---- TerrainBrush ---------------------------------------------------------------------------

TerrainBrush::TerrainBrush(const HandPointer& pointerRef, Terrain& terrainRef, const char* iconPath)
    : pointer(pointerRef), terrain(terrainRef) {
    pickAt = [this](float out[3], bool snap, int x, int y) { return terrain.pick(out, snap, x, y); };
    if (glContextCurrent()) icon = loadTexture(iconPath, TEXTURE_MIPMAPS);
}

TerrainBrush::~TerrainBrush() {
    if (quadric_ != nullptr) gluDeleteQuadric(quadric_);
}

void TerrainBrush::adjustParameters(const ArmPose& pose) {
    const float dx = pose[POSE_LEFT_WRIST_X] - previous[POSE_LEFT_WRIST_X];
    const float dy = pose[POSE_LEFT_WRIST_Y] - previous[POSE_LEFT_WRIST_Y];
    if (std::fabs(dy) < std::fabs(dx))
        changeRadius(dx);
    else
        changeSecond(dy);
}

void TerrainBrush::changeRadius(float dx) { radius = std::max(radius + 50.0f * dx, 0.0f); }

int TerrainBrush::reach() const {
    // No vertex lies farther than rows + columns from any hit, so a larger reach visits
    // nothing more; capping it keeps the loop bounds inside int.
    const float limit = static_cast<float>(terrain.rows + terrain.columns);
    const float r = std::fabs(radius);
    return static_cast<int>(r < limit ? r : limit);  // NaN falls to the limit
}

void TerrainBrush::hover() {
    if (pointer.engaged()) {
        const ScreenPoint at = pointer.screenPosition();
        hit = pickAt(hitPoint, true, static_cast<int>(at.x), static_cast<int>(at.y));
    } else {
        hit = false;
    }
}

void TerrainBrush::applyStroke() {
    const ScreenPoint at = pointer.screenPosition();
    hit = pickAt(hitPoint, true, static_cast<int>(at.x), static_cast<int>(at.y));
    if (!hit) return;
    const float px = hitPoint[0], pz = hitPoint[2];
    const int ci = static_cast<int>(std::trunc(px));
    const int cj = static_cast<int>(std::trunc(pz));
    const int rr = reach();
    // The square of half-width rr around the hit, clipped to the grid; i outer, j inner.
    const int iLow = std::max(ci - rr, 0), iHigh = std::min(ci + rr, terrain.columns);
    const int jLow = std::max(cj - rr, 0), jHigh = std::min(cj + rr, terrain.rows);
    beginStroke();
    for (int i = iLow; i <= iHigh; ++i) {
        for (int j = jLow; j <= jHigh; ++j) {
            TerrainVertex& v = terrain.vertexAt(i, j);
            const float ddx = v.x - px, ddz = v.z - pz;
            const float d = std::sqrt(ddx * ddx + ddz * ddz);
            visit(v, d);
        }
    }
    endStroke();
    terrain.updateNormals();
}

void TerrainBrush::onLeftGrip(const ArmPose& pose) {
    adjustParameters(pose);
    previous = pose;
}

void TerrainBrush::onRightGrip(const ArmPose& pose) {
    applyStroke();
    previous = pose;
}

void TerrainBrush::onBothGrip(const ArmPose& pose) {
    adjustParameters(pose);
    applyStroke();
    previous = pose;
}

void TerrainBrush::onNoGrip(const ArmPose& pose) {
    hover();
    previous = pose;
}

void TerrainBrush::drawOverlay() {
    if (!hit) return;
    if (quadric_ == nullptr) quadric_ = gluNewQuadric();
    if (quadric_ == nullptr) return;
    const std::array<float, 3> colour = cursorColour();
    glColor3f(colour[0], colour[1], colour[2]);
    glPushMatrix();
    drawCursor();
    glPopMatrix();
}

void TerrainBrush::drawSphere() { gluSphere(quadric_, 0.2, 10, 10); }

void TerrainBrush::drawRing(float inner, float outer) {
    // A radius near zero would give a negative inner radius, which draws nothing at all.
    gluDisk(quadric_, std::max(inner, 0.0f), std::max(outer, 0.0f), 20, 1);
}

// ---- TerraBrush -----------------------------------------------------------------------------

TerraBrush::TerraBrush(const HandPointer& pointerRef, Terrain& terrainRef)
    : TerrainBrush(pointerRef, terrainRef, "../images/terra_brush.png") {}

std::array<float, 3> TerraBrush::cursorColour() const {
    return radius < 0.0f ? std::array<float, 3>{0.0f, 0.0f, 1.0f}
                         : std::array<float, 3>{1.0f, 0.0f, 0.0f};
}

void TerraBrush::changeRadius(float dx) { radius += 50.0f * dx; }

void TerraBrush::changeSecond(float dy) { exponent = clampTo(exponent + 20.0f * dy, 0.2f, 8.0f); }

void TerraBrush::visit(TerrainVertex& vertex, float d) {
    const float r = std::fabs(radius);
    if (!(d < r)) return;
    const float sign = radius < 0.0f ? -1.0f : 1.0f;
    const float step = sign * 0.1f * r / std::sqrt(exponent);
    vertex.y += step * (1.0f + std::cos(3.14159f * std::pow(d / r, exponent)));
    terrain.markDirty(vertex);
}

void TerraBrush::drawCursor() {
    const float r = std::fabs(radius);
    glTranslatef(hitPoint[0], hitPoint[1] + 0.1f, hitPoint[2]);
    drawSphere();
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    // Contour lines of the profile where (d / r)^p is a third, a half and two thirds: three
    // quarters, a half and a quarter of the full raise.
    for (float q : {0.333f, 0.5f, 0.666f}) {
        const float rho = r * std::pow(q, 1.0f / exponent);
        drawRing(rho - 0.1f, rho + 0.1f);
    }
    drawRing(r - 0.3f, r + 0.3f);
}

// ---- SmoothBrush ----------------------------------------------------------------------------

SmoothBrush::SmoothBrush(const HandPointer& pointerRef, Terrain& terrainRef)
    : TerrainBrush(pointerRef, terrainRef, "../images/smooth_brush.png") {
    // The largest square a stroke can visit, so strokes never allocate.
    const size_t side = static_cast<size_t>(terrainRef.columns + 1);
    pending_.reserve(side * static_cast<size_t>(terrainRef.rows + 1));
}

std::array<float, 3> SmoothBrush::cursorColour() const {
    return {1.0f, 1.0f - strength, 1.0f - strength};
}

void SmoothBrush::changeSecond(float dy) { strength = clampTo(strength + dy, 0.0f, 1.0f); }

void SmoothBrush::visit(TerrainVertex& vertex, float d) {
    if (!(d < std::fabs(radius))) return;
    if (vertex.neighbours.empty()) return;
    float sum = 0.0f;
    for (int n : vertex.neighbours) sum += terrain.vertices[n].y;
    const float mean = sum / static_cast<float>(vertex.neighbours.size());
    pending_.emplace_back(&vertex, strength * mean + (1.0f - strength) * vertex.y);
}

void SmoothBrush::endStroke() {
    for (auto& [vertex, height] : pending_) {
        vertex->y = height;
        terrain.markDirty(*vertex);
    }
    pending_.clear();
}

void SmoothBrush::drawCursor() {
    glTranslatef(hitPoint[0], hitPoint[1] + 0.1f, hitPoint[2]);
    drawSphere();
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    const float half = std::fabs(strength) / 2.0f;
    drawRing(radius - half - 0.2f, radius + half + 0.2f);
}

// ---- RandomizeBrush -------------------------------------------------------------------------

RandomizeBrush::RandomizeBrush(const HandPointer& pointerRef, Terrain& terrainRef,
                               uint64_t seedSeconds)
    : TerrainBrush(pointerRef, terrainRef, "../images/randomize_brush.png"), random(seedSeconds) {}

std::array<float, 3> RandomizeBrush::cursorColour() const {
    const float m = std::fabs(amplitude);
    return amplitude < 0.0f ? std::array<float, 3>{1.0f - m, 1.0f - m, 1.0f}
                            : std::array<float, 3>{1.0f, 1.0f - amplitude, 1.0f - amplitude};
}

void RandomizeBrush::changeSecond(float dy) { amplitude = clampTo(amplitude + dy, -1.0f, 1.0f); }

int RandomizeBrush::reach() const { return radius > 0.0f ? TerrainBrush::reach() : 0; }

void RandomizeBrush::visit(TerrainVertex& vertex, float d) {
    // Only whole grid units count: with radius 4.7 the reach is d < 4.
    if (!(d < static_cast<float>(reach()))) return;
    const double q = random.uniform();
    const float t = d / radius;
    const float falloff = std::pow(2.71828f, -4.0f * t * t);
    // q is a double draw: the whole increment and the sum stay in double and round once.
    vertex.y = static_cast<float>(static_cast<double>(vertex.y) + falloff * (q * scale * amplitude));
    terrain.markDirty(vertex);
}

void RandomizeBrush::drawCursor() {
    glTranslatef(hitPoint[0], hitPoint[1] + 0.1f, hitPoint[2]);
    drawSphere();
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    const float half = std::fabs(amplitude) / 2.0f;
    drawRing(radius - half - 0.2f, radius + half + 0.2f);
}

// ---- BulldozeBrush, DumpBrush ---------------------------------------------------------------

void LevelBrush::drawLevelCursor(float lift, float firstRingHalfWidth) {
    const float py = hitPoint[1];
    glTranslatef(hitPoint[0], level + lift, hitPoint[2]);
    // A stalk from the level up to (or down to) the terrain under the cursor.
    const float h = py > level ? py - level + 1.0f : py - level;
    glBegin(GL_LINES);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, h, 0.0f);
    glEnd();
    drawSphere();
    glRotatef(-90.0f, 1.0f, 0.0f, 0.0f);
    drawRing(radius - firstRingHalfWidth, radius + firstRingHalfWidth);
    if (py - level < -0.3f) {
        // The terrain lies well below the level: a black ring at the terrain's own height.
        glColor3f(0.0f, 0.0f, 0.0f);
        glTranslatef(0.0f, 0.0f, py - level);
        drawRing(radius - 0.2f, radius + 0.2f);
    }
}

BulldozeBrush::BulldozeBrush(const HandPointer& pointerRef, Terrain& terrainRef)
    : LevelBrush(pointerRef, terrainRef, "../images/bulldoze_brush.png") {}

void BulldozeBrush::visit(TerrainVertex& vertex, float d) {
    if (!(d < static_cast<float>(reach()))) return;
    if (level < vertex.y) {
        const float t = d / radius;
        // Rounding must not lift a vertex above where it was.
        vertex.y = std::min(vertex.y, level * (1.0f - t) + t * vertex.y);
    }
    terrain.markDirty(vertex);
}

DumpBrush::DumpBrush(const HandPointer& pointerRef, Terrain& terrainRef)
    : LevelBrush(pointerRef, terrainRef, "../images/dump_brush.png") {}

void DumpBrush::visit(TerrainVertex& vertex, float d) {
    if (!(d < static_cast<float>(reach()))) return;
    if (level > vertex.y) {
        const float t = d / radius;
        vertex.y = std::max(vertex.y, level * (1.0f - t) + t * vertex.y);
    }
    terrain.markDirty(vertex);
}
