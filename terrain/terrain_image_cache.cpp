#include "terrain/terrain_image_cache.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "common/widgets/framebuffer_objects.h"
#include "common/widgets/window_projection.h"

namespace {

uint32_t bitsOf(float value) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool contains(const int outer[4], const int inner[4]) {
    return inner[0] >= outer[0] && inner[1] >= outer[1] && inner[2] <= outer[2] && inner[3] <= outer[3];
}

long area(const int r[4]) { return r[2] > r[0] && r[3] > r[1] ? static_cast<long>(r[2] - r[0]) * (r[3] - r[1]) : 0; }

}  // namespace

bool TerrainImageCache::ViewState::operator==(const ViewState& other) const {
    // Bit for bit: a matrix that merely compares equal (0 and -0) is still another view.
    return std::memcmp(modelview, other.modelview, sizeof modelview) == 0 &&
           std::memcmp(projection, other.projection, sizeof projection) == 0 &&
           std::memcmp(viewport, other.viewport, sizeof viewport) == 0 &&
           std::memcmp(drawableSize, other.drawableSize, sizeof drawableSize) == 0 &&
           std::memcmp(light, other.light, sizeof light) == 0 && colourMap == other.colourMap &&
           colourMapRevision == other.colourMapRevision && showNormals == other.showNormals;
}

bool TerrainImageCache::sameAsPreviousFrame(const Terrain& terrain) {
    ViewState now{};
    glGetFloatv(GL_MODELVIEW_MATRIX, now.modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, now.projection);
    glGetIntegerv(GL_VIEWPORT, now.viewport);
    glGetLightfv(GL_LIGHT0, GL_POSITION, now.light);
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, now.light + 4);
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, now.light + 8);
    glGetLightfv(GL_LIGHT0, GL_SPECULAR, now.light + 12);
    // The window's own size, which can change a frame before the viewport follows it; the
    // renderer's rasterising depends on it slightly.
    currentDrawableSize(now.drawableSize);
    now.colourMap = terrain.colourMap;
    now.colourMapRevision = terrain.colourMapRevision;
    now.showNormals = terrain.showNormals;

    const bool sameView = previousValid_ && now == previousView_;
    // The colour map changed only where its writer said: the faces reading those texels can be
    // drawn again alone, as those using changed vertices can.
    ViewState nowButColourMap = now;
    nowButColourMap.colourMapRevision = previousView_.colourMapRevision;
    const bool colourMapChanged = now.colourMapRevision != previousView_.colourMapRevision;
    const bool colourMapChangeKnown = terrain.colourMapChangesTo == terrain.colourMapRevision &&
                                      terrain.colourMapChangesFrom == previousView_.colourMapRevision;
    const bool sameViewButColourMap = previousValid_ && nowButColourMap == previousView_ &&
                                      (!colourMapChanged || colourMapChangeKnown);
    bool same = sameView;
    previousView_ = now;
    const size_t count = terrain.vertices.size() * 6;
    bool sameCount = true;
    if (previousVertices_.size() != count) {
        previousVertices_.assign(count, 0);
        same = false;
        sameCount = false;
    }
    // Every vertex is stored for the next frame, so the loop runs to the end even after a change.
    uint32_t* stored = previousVertices_.data();
    uint32_t differences = 0;
    float low[3] = {INFINITY, INFINITY, INFINITY}, high[3] = {-INFINITY, -INFINITY, -INFINITY};
    bool finite = true;
    const int stride = terrain.columns + 1;
    int changedLow[2] = {INT_MAX, INT_MAX}, changedHigh[2] = {INT_MIN, INT_MIN};
    float oldLow[3] = {INFINITY, INFINITY, INFINITY}, oldHigh[3] = {-INFINITY, -INFINITY, -INFINITY};
    bool oldFinite = true;
    int number = 0;
    for (const TerrainVertex& v : terrain.vertices) {
        const uint32_t bits[6] = {bitsOf(v.x), bitsOf(v.y), bitsOf(v.z), bitsOf(v.nx), bitsOf(v.ny), bitsOf(v.nz)};
        uint32_t vertexDifferences = 0;
        for (int k = 0; k < 6; ++k) vertexDifferences |= stored[k] ^ bits[k];
        if (vertexDifferences != 0) {
            // Where the vertex was, and where in the grid it lies.
            for (int k = 0; k < 3; ++k) {
                float old = 0.0f;
                std::memcpy(&old, &stored[k], sizeof old);
                oldFinite = oldFinite && std::isfinite(old);
                oldLow[k] = std::min(oldLow[k], old);
                oldHigh[k] = std::max(oldHigh[k], old);
            }
            const int column = number % stride, row = number / stride;
            changedLow[0] = std::min(changedLow[0], column);
            changedHigh[0] = std::max(changedHigh[0], column);
            changedLow[1] = std::min(changedLow[1], row);
            changedHigh[1] = std::max(changedHigh[1], row);
            for (int k = 0; k < 6; ++k) stored[k] = bits[k];
            differences |= vertexDifferences;
        }
        stored += 6;
        ++number;
        const float p[3] = {v.x, v.y, v.z};
        for (int k = 0; k < 3; ++k) {
            finite = finite && std::isfinite(p[k]);
            low[k] = std::min(low[k], p[k]);
            high[k] = std::max(high[k], p[k]);
        }
    }
    boundsFinite_ = finite && !terrain.vertices.empty();
    for (int k = 0; k < 3; ++k) {
        boundsLow_[k] = low[k];
        boundsHigh_[k] = high[k];
    }
    if (colourMapChanged && colourMapChangeKnown) {
        // A face reads the texels within a texel of its own; a vertex more of margin each way.
        const float* area = terrain.colourMapChangedArea;
        if (area[2] > area[0] && area[3] > area[1]) {
            const auto toGrid = [](float value, int lowest, int highest) {
                return static_cast<int>(std::max<float>(lowest, std::min<float>(highest, value)));
            };
            changedLow[0] = std::min(changedLow[0], toGrid(std::floor(area[0]) - 1.0f, -1, terrain.columns + 1));
            changedHigh[0] = std::max(changedHigh[0], toGrid(std::ceil(area[2]) + 1.0f, -1, terrain.columns + 1));
            changedLow[1] = std::min(changedLow[1], toGrid(std::floor(area[1]) - 1.0f, -1, terrain.rows + 1));
            changedHigh[1] = std::max(changedHigh[1], toGrid(std::ceil(area[3]) + 1.0f, -1, terrain.rows + 1));
        }
    }
    partialChange_ = sameViewButColourMap && sameCount && (differences != 0 || colourMapChanged) && oldFinite &&
                     terrain.vertices.size() == static_cast<size_t>(stride) * (terrain.rows + 1);
    for (int k = 0; k < 2; ++k) {
        changedLow_[k] = changedLow[k];
        changedHigh_[k] = changedHigh[k];
    }
    for (int k = 0; k < 3; ++k) {
        changedOldLow_[k] = oldLow[k];
        changedOldHigh_[k] = oldHigh[k];
    }
    previousValid_ = true;
    return same && differences == 0;
}

void TerrainImageCache::coveredRectangle(int out[4]) const {
    const int* viewport = previousView_.viewport;
    // The normals' lines reach past the mesh, by as far as a normal is long.
    if (!boundsFinite_ || previousView_.showNormals || !projectedRectangle(boundsLow_, boundsHigh_, out)) {
        out[0] = viewport[0];
        out[1] = viewport[1];
        out[2] = viewport[0] + viewport[2];
        out[3] = viewport[1] + viewport[3];
    }
}

bool TerrainImageCache::projectedRectangle(const float low[3], const float high[3], int out[4]) const {
    const int* viewport = previousView_.viewport;
    // Every fragment of faces inside the box lies inside the window rectangle around its
    // corners, as long as all of them lie in front of the eye. Two pixels of margin cover the
    // rasteriser's rounding against this projection's.
    double m[16];
    windowTransform(previousView_.projection, previousView_.modelview, m);
    double left = INFINITY, bottom = INFINITY, right = -INFINITY, top = -INFINITY;
    // Far from the origin the renderer's float rounding moves vertices by more than the margin;
    // the largest bound over the corners widens it.
    double rounding = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        const double p[3] = {corner & 1 ? high[0] : low[0], corner & 2 ? high[1] : low[1], corner & 4 ? high[2] : low[2]};
        double wx = 0.0, wy = 0.0;
        if (!projectToWindow(m, viewport, p[0], p[1], p[2], wx, wy)) return false;
        rounding = std::max(rounding, windowRounding(m, viewport, p[0], p[1], p[2]));
        left = std::min(left, wx);
        right = std::max(right, wx);
        bottom = std::min(bottom, wy);
        top = std::max(top, wy);
    }
    left -= rounding;
    right += rounding;
    bottom -= rounding;
    top += rounding;
    if (!std::isfinite(left) || !std::isfinite(right) || !std::isfinite(bottom) || !std::isfinite(top)) return false;
    const auto clampTo = [](double value, int lowest, int highest) {
        return static_cast<int>(std::max<double>(lowest, std::min<double>(highest, value)));
    };
    const int viewportRight = viewport[0] + viewport[2], viewportTop = viewport[1] + viewport[3];
    out[0] = clampTo(std::floor(left) - 2.0, viewport[0], viewportRight);
    out[2] = clampTo(std::ceil(right) + 2.0, viewport[0], viewportRight);
    out[1] = clampTo(std::floor(bottom) - 2.0, viewport[1], viewportTop);
    out[3] = clampTo(std::ceil(top) + 2.0, viewport[1], viewportTop);
    return true;
}

bool TerrainImageCache::changedRectangle(const Terrain& terrain, int out[4]) const {
    if (!partialChange_ || previousView_.showNormals) return false;
    // A face that uses a changed vertex lies within one row and column of it, and its other
    // vertices are where they were; the changed ones moved from inside the old box.
    const int firstColumn = std::max(0, changedLow_[0] - 1), lastColumn = std::min(terrain.columns, changedHigh_[0] + 1);
    const int firstRow = std::max(0, changedLow_[1] - 1), lastRow = std::min(terrain.rows, changedHigh_[1] + 1);
    if (firstColumn > lastColumn || firstRow > lastRow) return false;
    float low[3], high[3];
    for (int k = 0; k < 3; ++k) {
        low[k] = changedOldLow_[k];
        high[k] = changedOldHigh_[k];
    }
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const TerrainVertex& v = terrain.vertexAt(column, row);
            const float p[3] = {v.x, v.y, v.z};
            for (int k = 0; k < 3; ++k) {
                if (!std::isfinite(p[k])) return false;
                low[k] = std::min(low[k], p[k]);
                high[k] = std::max(high[k], p[k]);
            }
        }
    }
    return projectedRectangle(low, high, out);
}

bool TerrainImageCache::warmUp(int width, int height) {
    // A software renderer builds its code for each kind of copy the first time it runs, which
    // costs as much as drawing the terrain twice. The first frame, which carries the start-up
    // anyway, runs both kinds over the picture it just drew: copied out and back unchanged. The
    // picture copied out is kept, so a second frame like the first copies it back rather than
    // paying for a draw and a copy on top of what the start-up left behind.
    warmedUp_ = true;
    const int* viewport = previousView_.viewport;
    if (picture_.disabled || viewport[0] != 0 || viewport[1] != 0 || width <= 0 || height <= 0 ||
        !picture_.prepare(width, height))
        return false;
    const int whole[4] = {0, 0, width, height};
    const uint32_t both = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT;
    if (!picture_.copyFromWindow(whole, both) || !picture_.copyToWindow(whole, both)) return false;
    kept_ = Kept::COLOUR_AND_DEPTH;
    coveredRectangle(keptRectangle_);
    return true;
}

bool TerrainImageCache::drawInPart(Terrain& terrain, const int region[4]) {
    const uint32_t both = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT;
    const int* kept = keptRectangle_;
    // The kept picture is copied around the region, in up to four bands; inside it the back
    // buffer keeps the clear colour and depth the terrain is drawn over.
    const auto clampTo = [](int value, int low, int high) { return std::max(low, std::min(high, value)); };
    const int innerLeft = clampTo(region[0], kept[0], kept[2]), innerRight = clampTo(region[2], kept[0], kept[2]);
    const int innerBottom = clampTo(region[1], kept[1], kept[3]), innerTop = clampTo(region[3], kept[1], kept[3]);
    const int bands[4][4] = {{kept[0], kept[1], kept[2], innerBottom},
                             {kept[0], innerTop, kept[2], kept[3]},
                             {kept[0], innerBottom, innerLeft, innerTop},
                             {innerRight, innerBottom, kept[2], innerTop}};
    for (const auto& band : bands) {
        if (!picture_.copyToWindow(band, both)) {
            glClear(both);
            return false;
        }
    }

    // Every face outside the region is where it was, so its pixels are the kept ones; inside,
    // the whole mesh is drawn as always, cut by the scissor.
    GLint box[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_SCISSOR_BOX, box);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glEnable(GL_SCISSOR_TEST);
    glScissor(region[0], region[1], region[2] - region[0], region[3] - region[1]);
    terrain.draw();
    glScissor(box[0], box[1], box[2], box[3]);
    if (!scissor) glDisable(GL_SCISSOR_TEST);

    // The picture kept from now on: the region copied in, and the kept rectangle grown to hold
    // it (the back buffer is the whole picture there).
    const int grown[4] = {std::min(kept[0], region[0]), std::min(kept[1], region[1]), std::max(kept[2], region[2]),
                          std::max(kept[3], region[3])};
    const bool inside = contains(keptRectangle_, region);
    if (picture_.copyFromWindow(inside ? region : grown, both)) {
        std::memcpy(keptRectangle_, grown, sizeof grown);
    } else {
        kept_ = Kept::NOTHING;
    }
    return true;
}

void TerrainImageCache::draw(Terrain& terrain) {
    terrain.initGraphics();
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const bool same = sameAsPreviousFrame(terrain);
    // This frame shows every colour-map change so far; the next compares from here.
    terrain.forgetColourMapChanges();
    // Only a viewport at the window's corner is kept: the target matches it pixel for pixel.
    const int* viewport = previousView_.viewport;
    const int width = viewport[2], height = viewport[3];
    const bool keepable = !picture_.disabled && same && viewport[0] == 0 && viewport[1] == 0 && width > 0 && height > 0;
    // Outside the rectangle the mesh draws nothing, so the clear alone gives those pixels.
    int rectangle[4] = {0, 0, 0, 0};
    if (keepable) coveredRectangle(rectangle);

    const bool sizeMatches = !picture_.disabled && viewport[0] == 0 && viewport[1] == 0 && picture_.holdsSize(width, height);
    const bool sameTarget = keepable && sizeMatches && std::memcmp(rectangle, keptRectangle_, sizeof rectangle) == 0;
    // The kept rectangle holds every pixel the terrain covers: it was the covered one when the
    // picture was kept, and drawing in part grows it by each region drawn.
    if (keepable && sizeMatches && kept_ == Kept::COLOUR_AND_DEPTH &&
        picture_.copyToWindow(keptRectangle_, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)) {
        terrain.setStateAfterDraw();
        ++framesCopied;
        return;
    }
    // Only vertices or colour-map texels changed since the kept frame (a brush at work): only
    // the faces around them are drawn again, unless they cover much of the picture anyway.
    int region[4] = {0, 0, 0, 0};
    if (!same && sizeMatches && kept_ == Kept::COLOUR_AND_DEPTH && changedRectangle(terrain, region) &&
        2 * area(region) <= area(keptRectangle_) && drawInPart(terrain, region)) {
        ++framesDrawn;
        ++framesDrawnInPart;
        return;
    }

    terrain.draw();
    ++framesDrawn;
    if (!warmedUp_ && warmUp(width, height)) return;
    // The picture is kept over two frames that repeat the one before, colour in the first and
    // depth in the second (the same picture both times), so that no frame pays for both copies
    // on top of drawing.
    if (sameTarget && kept_ == Kept::COLOUR) {
        kept_ = picture_.copyFromWindow(rectangle, GL_DEPTH_BUFFER_BIT) ? Kept::COLOUR_AND_DEPTH : Kept::NOTHING;
    } else if (keepable && picture_.prepare(width, height) &&
               picture_.copyFromWindow(rectangle, GL_COLOR_BUFFER_BIT)) {
        kept_ = Kept::COLOUR;
        std::memcpy(keptRectangle_, rectangle, sizeof rectangle);
    } else {
        kept_ = Kept::NOTHING;
    }
}
