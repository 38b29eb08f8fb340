#pragma once
// Terrain: the height field glebora edits. A 257 x 257 grid of vertices stored as an explicit
// triangle mesh with adjacency, a colour-map texture, and the dirty list of vertices whose
// normals must be refreshed after a brush moved them.
//
// Units: one grid cell is one world unit; heights use the same unit. The terrain lies in the
// x-z plane with y up. Vertex (i, j) (column i along x, row j along z) is number i + j * 257.
//
// The mesh, adjacency and normals are plain code and work without a GL context; drawing,
// picking and the colour map need the GL context that is current on the calling thread.
#include <cstdint>
#include <vector>

struct TerrainVertex {
    int index = 0;
    float x = 0.0f, y = 0.0f, z = 0.0f;   // position; only y ever changes
    std::vector<int> faces;                // faces that use this vertex
    std::vector<int> neighbours;           // other vertices of those faces, each once
    float nx = 0.0f, ny = 1.0f, nz = 0.0f; // unit normal
    float s = 0.0f, t = 0.0f;              // colour-map coordinates, x / 256 and z / 256
};

struct TerrainFace {
    int index = 0;
    int a = 0, b = 0, c = 0;               // vertex numbers, counter-clockwise seen from above
    float nx = 0.0f, ny = 1.0f, nz = 0.0f;
};

// True when a GL context is current on this thread. Tools load their icons only then, so they
// can be built and tested without a window.
bool glContextCurrent();

// Which corner of a picked face the barycentric weights snap to: 0 (A), 1 (B) or 2 (C). Ties
// prefer A over B and B over C.
int snapCorner(float wA, float wB, float wC);

constexpr const char* TERRAIN_COLOUR_MAP_PATH = "../images/grey512.png";
constexpr int COLOUR_MAP_SIZE = 512;  // texels along each side of the colour map

class Terrain {
public:
    int rows = 256;     // cells along z
    int columns = 256;  // cells along x
    std::vector<TerrainVertex> vertices;  // (rows + 1) * (columns + 1), number i + j * (columns + 1)
    std::vector<TerrainFace> faces;       // 2 * rows * columns; cell h has faces 2h and 2h + 1
    int pickedFace = -1;                  // results of the last pick; -1 when nothing was hit
    int pickedVertex = -1;
    uint32_t colourMap = 0;               // GL texture name; 0 when the image is missing
    // Counts changes to the colour map's texels: whoever writes them adds one, so that a
    // picture of the terrain kept from an earlier frame is known to be out of date.
    uint64_t colourMapRevision = 0;
    // Where the colour map's level-0 texels changed since revision colourMapChangesFrom, as
    // the area {x0, z0, x1, z1} of the terrain (grid units) whose texture coordinates reach
    // them, for a kept picture that redraws only the faces reading them. It covers every change
    // only while colourMapChangesTo equals colourMapRevision (a writer that only counts leaves
    // it behind).
    float colourMapChangedArea[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    uint64_t colourMapChangesFrom = 0, colourMapChangesTo = 0;
    // For a writer of the colour map: adds the area it changed and counts the change.
    void noteColourMapChange(const float area[4]);
    // Starts a new box at the current revision.
    void forgetColourMapChanges();
    std::vector<TerrainVertex*> dirty;    // vertices whose normals updateNormals recomputes
    bool showNormals = false;

    // Builds the flat mesh and its adjacency. No GL calls: the GL side (colour map, vertex
    // arrays) is made by initGraphics, or on the first draw, pick or drawColourMapQuad.
    Terrain();
    ~Terrain();
    Terrain(const Terrain&) = delete;
    Terrain& operator=(const Terrain&) = delete;

    // Loads the colour map (forced to RGB, mipmapped) and prepares the picking arrays. Needs a
    // current GL context. Safe to call more than once; only the first call loads. A missing
    // image leaves colourMap 0 and prints one line; the terrain is then drawn untextured.
    // (A plain pointer: draw and pick call this every frame, and must not build a string.)
    void initGraphics(const char* colourMapPath = TERRAIN_COLOUR_MAP_PATH);

    // Smooth-shaded, lit, textured terrain with the current model-view and projection.
    // Leaves lighting on and texturing off.
    void draw();
    // The GL state draw leaves behind (lighting, shading, texture binding, current colour and
    // normal), for a caller that put a kept picture of the terrain in place of drawing it.
    void setStateAfterDraw();

    // Which point of the terrain lies under window pixel (x, y) (origin bottom-left), seen
    // with the current model-view and projection. On a hit writes the point to out and
    // returns true; with snap the point is the nearest corner of the hit face, which becomes
    // pickedVertex. On a miss pickedFace and pickedVertex become -1. Draws into the back
    // buffer (only at that pixel; off screen on a window of fewer than 8 bits a colour
    // channel); callers pick before drawing the frame.
    bool pick(float out[3], bool snap, int x, int y);

    void markDirty(TerrainVertex& vertex) { dirty.push_back(&vertex); }
    // Recomputes the face normals around the dirty vertices, then adds them to each dirty
    // vertex's current normal and normalises; empties the dirty list.
    void updateNormals();

    // The colour map as one 512 x 512 quad at the origin, in the current (window-pixel) frame.
    void drawColourMapQuad();

    TerrainVertex& vertexAt(int i, int j) { return vertices[i + j * (columns + 1)]; }
    const TerrainVertex& vertexAt(int i, int j) const { return vertices[i + j * (columns + 1)]; }

private:
    void buildMesh();
    void buildStripArrays();
    void refreshPickPositions();
    void setCurrentAttributesAfterDraw() const;

    bool graphicsReady_ = false;
    // Row r's triangle strip as vertex numbers: (0, r + 1), (0, r), then per cell c
    // (c + 1, r + 1), (c + 1, r). Strip position k >= 2 completes face 512 r + k - 2.
    std::vector<uint32_t> stripIndices_;
    std::vector<float> pickPositions_;    // the strips unrolled, 3 floats per strip position
    std::vector<uint8_t> pickColours_;    // face number of the triangle each position completes
    std::vector<float> drawAttributes_;   // per vertex s, t, normal, position (8 floats)
    std::vector<float> normalLines_;      // showNormals: 2 points per vertex
};
