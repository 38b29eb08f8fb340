#pragma once
// TerrainImageCache: the terrain's picture, with its depth, kept off-screen while nothing about
// it changes, so that frames copy it into the back buffer instead of drawing the mesh again. On a
// software renderer the mesh's 131,072 lit, textured triangles cost most of a frame (about 55 ms
// at 1600 x 1000 on two cores); the copy costs about 15 ms. The picture and depth copied are
// exactly what the draw gives, so the brush cursors drawn afterwards meet the same depths.
//
// The picture depends on the vertices (positions and normals), the colour map's texels, the
// normals overlay, both matrices, the viewport, the window's size and light 0; the cache compares
// all of them with the previous frame's. While they change from frame to frame (the camera
// turning, the colour brush painting) the terrain is drawn straight into the back buffer at no
// extra cost. The two frames after the last change are drawn too and copied, colour from the
// first and depth from the second, so that no frame pays for a draw and a whole copy; the
// frames after them copy the picture back until something changes. The very first frame keeps
// its picture at once: it copies it out anyway, so that the renderer builds its copying code
// during the start-up. Only the part of the window the terrain can cover is copied.
//
// Where only vertices changed since a kept frame (a height brush at work), or colour-map texels
// whose writer said which (the colour brush), the faces that use those vertices or read those
// texels are the only ones whose pixels can change: the kept picture is copied around the window
// rectangle that holds those faces, before and after, and the terrain is drawn inside it alone
// (cut by the scissor, so every pixel there is what a whole draw gives), then kept again. A
// brush's region is a small part of the picture, so such a frame costs a fraction of a draw.
//
// glebora changes no other GL state the picture depends on (material, light model, texture
// environment); a caller that does must call invalidate(). Falls back to drawing every frame where
// the context has no framebuffer objects or blits, or where the window's buffers do not allow an
// exact 8-bit colour and depth copy.
#include <cstdint>
#include <vector>

#include "common/widgets/kept_picture.h"
#include "terrain/terrain.h"

class TerrainImageCache {
public:
    TerrainImageCache() = default;
    TerrainImageCache(const TerrainImageCache&) = delete;
    TerrainImageCache& operator=(const TerrainImageCache&) = delete;

    // Clears the back buffer's colour (to white) and depth and puts the terrain there, seen with
    // the current matrices and viewport: copied when nothing changed, else drawn. Leaves the
    // GL state as Terrain::draw does.
    void draw(Terrain& terrain);

    // Forgets the kept picture (the next two frames draw). For callers that changed GL state
    // the picture depends on that the cache does not compare.
    void invalidate() { kept_ = Kept::NOTHING; }

    int framesDrawn = 0;   // frames in which the mesh was drawn
    int framesCopied = 0;  // frames in which the kept picture was copied
    int framesDrawnInPart = 0;  // of the frames drawn, those that drew only around changed
                                // vertices or colour-map texels
    // No exact copy possible here; every frame draws.
    bool disabled() const { return picture_.disabled; }

private:
    struct ViewState {
        float modelview[16];
        float projection[16];
        int viewport[4];
        unsigned int drawableSize[2];  // the window's, as the window system has it
        float light[16];  // light 0: position, ambient, diffuse, specular
        uint32_t colourMap;
        uint64_t colourMapRevision;
        bool showNormals;
        bool operator==(const ViewState& other) const;
    };

    // Runs both kinds of copy once over the picture just drawn, and keeps it; false when it
    // could not.
    bool warmUp(int width, int height);
    // The part of the viewport the terrain can cover, as {left, bottom, right, top}, from this
    // frame's view and the vertices' bounds; the whole viewport when that cannot be bounded.
    void coveredRectangle(int out[4]) const;
    // Records this frame's state and says whether it equals the previous frame's.
    bool sameAsPreviousFrame(const Terrain& terrain);
    // The window rectangle {left, bottom, right, top} around the corners of a box, seen with the
    // previous frame's view, two pixels wider each way and cut to the viewport; false when
    // the box cannot be bounded so (a corner behind the eye, a value not finite).
    bool projectedRectangle(const float low[3], const float high[3], int out[4]) const;
    // The part of the window the vertices and texels that changed since the previous frame can
    // have drawn in either frame: every face that uses such a vertex or reads such a texel,
    // before and after. False when anything else changed, or the part cannot be bounded.
    bool changedRectangle(const Terrain& terrain, int out[4]) const;
    // Draws the terrain only inside `region`, over the kept picture copied everywhere else, and
    // keeps the result; false (nothing drawn) when a copy fails.
    bool drawInPart(Terrain& terrain, const int region[4]);

    ViewState previousView_{};
    std::vector<uint32_t> previousVertices_;  // bit patterns of x, y, z, nx, ny, nz per vertex
    bool previousValid_ = false;
    // What changed since the previous frame when only vertices and colour-map texels did: the
    // grid range of the vertices that changed or whose faces read changed texels ({column, row}
    // low and high), and the box around the changed vertices' old positions.
    bool partialChange_ = false;
    int changedLow_[2] = {0, 0}, changedHigh_[2] = {0, 0};
    float changedOldLow_[3] = {0.0f, 0.0f, 0.0f}, changedOldHigh_[3] = {0.0f, 0.0f, 0.0f};
    // How much of the previous frame's picture the target holds.
    enum class Kept { NOTHING, COLOUR, COLOUR_AND_DEPTH };
    Kept kept_ = Kept::NOTHING;
    int keptRectangle_[4] = {0, 0, 0, 0};  // the part of the picture that was copied
    float boundsLow_[3] = {0.0f, 0.0f, 0.0f}, boundsHigh_[3] = {0.0f, 0.0f, 0.0f};  // the vertices'
    bool boundsFinite_ = false;
    bool warmedUp_ = false;
    KeptPicture picture_{"terrain", true};
};
