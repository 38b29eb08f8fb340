#include "terrain/terrain.h"

#include "common/widgets/picking_buffer.h"
#include "common/widgets/texture.h"

#include <GL/gl.h>
#include <GL/glx.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

void addUnique(std::vector<int>& list, int value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

}  // namespace

int snapCorner(float wA, float wB, float wC) {
    if (wA >= std::max(wB, wC)) return 0;
    if (wB >= std::max(wA, wC)) return 1;
    return 2;
}

bool glContextCurrent() { return glXGetCurrentContext() != nullptr; }

Terrain::Terrain() { buildMesh(); }

Terrain::~Terrain() = default;

void Terrain::buildMesh() {
    const int stride = columns + 1;
    const int vertexCount = (rows + 1) * stride;
    vertices.assign(vertexCount, TerrainVertex{});
    // A stroke marks each vertex it reaches once; room for all keeps strokes from allocating.
    dirty.reserve(vertexCount);
    for (int k = 0; k < vertexCount; ++k) {
        TerrainVertex& v = vertices[k];
        const int c = k % stride;
        const int r = k / stride;
        v.index = k;
        v.x = static_cast<float>(c);
        v.y = 0.0f;
        v.z = static_cast<float>(r);
        v.s = static_cast<float>(c) * (1.0f / static_cast<float>(columns));
        v.t = static_cast<float>(r) * (1.0f / static_cast<float>(rows));
        v.faces.reserve(6);       // an interior vertex ends with six of each
        v.neighbours.reserve(6);
    }

    faces.assign(2 * rows * columns, TerrainFace{});
    // Appends face f to a vertex's list once; a newly added face brings its corners in as
    // neighbours.
    auto attach = [this](int vertex, int f) {
        TerrainVertex& v = vertices[vertex];
        if (std::find(v.faces.begin(), v.faces.end(), f) != v.faces.end()) return;
        v.faces.push_back(f);
        const TerrainFace& face = faces[f];
        for (int corner : {face.a, face.b, face.c})
            if (corner != vertex) addUnique(v.neighbours, corner);
    };
    for (int h = 0; h < rows * columns; ++h) {
        const int q = h + h / columns;  // corner (c, r) of cell h
        TerrainFace& lower = faces[2 * h];
        lower.index = 2 * h;
        lower.a = q;
        lower.b = q + stride;
        lower.c = q + stride + 1;
        TerrainFace& upper = faces[2 * h + 1];
        upper.index = 2 * h + 1;
        upper.a = q;
        upper.b = q + stride + 1;
        upper.c = q + 1;
        attach(q, 2 * h);
        attach(q + stride, 2 * h);
        attach(q + stride + 1, 2 * h);
        attach(q, 2 * h + 1);
        attach(q + 1, 2 * h + 1);
        attach(q + stride + 1, 2 * h + 1);
    }
}

void Terrain::updateNormals() {
    for (TerrainVertex* v : dirty) {
        for (int f : v->faces) {
            TerrainFace& face = faces[f];
            const TerrainVertex& pa = vertices[face.a];
            const TerrainVertex& pb = vertices[face.b];
            const TerrainVertex& pc = vertices[face.c];
            const float ux = pc.x - pb.x, uy = pc.y - pb.y, uz = pc.z - pb.z;
            const float wx = pa.x - pb.x, wy = pa.y - pb.y, wz = pa.z - pb.z;
            const float nx = uy * wz - uz * wy;
            const float ny = uz * wx - ux * wz;
            const float nz = ux * wy - uy * wx;
            const float length = std::sqrt(nx * nx + ny * ny + nz * nz);
            if (length > 0.0f) {
                face.nx = nx / length;
                face.ny = ny / length;
                face.nz = nz / length;
            }
        }
    }
    for (TerrainVertex* v : dirty) {
        // The old normal is part of the sum: a single stroke tilts a normal only partly.
        float sx = v->nx, sy = v->ny, sz = v->nz;
        for (int f : v->faces) {
            sx += faces[f].nx;
            sy += faces[f].ny;
            sz += faces[f].nz;
        }
        const float length = std::sqrt(sx * sx + sy * sy + sz * sz);
        if (length > 0.0f) {
            v->nx = sx / length;
            v->ny = sy / length;
            v->nz = sz / length;
        }
    }
    dirty.clear();
}

void Terrain::buildStripArrays() {
    const int stride = columns + 1;
    const int perRow = 2 * (columns + 1);
    stripIndices_.resize(static_cast<size_t>(rows) * perRow);
    pickColours_.assign(static_cast<size_t>(rows) * perRow * 3, 0);
    for (int r = 0; r < rows; ++r) {
        uint32_t* row = &stripIndices_[static_cast<size_t>(r) * perRow];
        for (int c = 0; c <= columns; ++c) {
            row[2 * c] = static_cast<uint32_t>(c + (r + 1) * stride);
            row[2 * c + 1] = static_cast<uint32_t>(c + r * stride);
        }
        // Flat shading takes a strip triangle's colour from its last vertex, so the vertex at
        // strip position k carries the number of face 2 * columns * r + k - 2.
        for (int k = 2; k < perRow; ++k) {
            const uint32_t f = static_cast<uint32_t>(2 * columns * r + k - 2);
            uint8_t* rgb = &pickColours_[(static_cast<size_t>(r) * perRow + k) * 3];
            rgb[0] = static_cast<uint8_t>((f >> 16) & 0xFF);
            rgb[1] = static_cast<uint8_t>((f >> 8) & 0xFF);
            rgb[2] = static_cast<uint8_t>(f & 0xFF);
        }
    }
    pickPositions_.resize(stripIndices_.size() * 3);
}

void Terrain::refreshPickPositions() {
    float* out = pickPositions_.data();
    for (uint32_t k : stripIndices_) {
        const TerrainVertex& v = vertices[k];
        out[0] = v.x;
        out[1] = v.y;
        out[2] = v.z;
        out += 3;
    }
}

void Terrain::initGraphics(const char* colourMapPath) {
    if (graphicsReady_) return;
    graphicsReady_ = true;
    buildStripArrays();
    colourMap = loadTexture(colourMapPath, TEXTURE_MIPMAPS, 3);
    ++colourMapRevision;
    if (colourMap == 0)
        std::printf("terrain: colour map '%s' not loaded: %s\n", colourMapPath,
                    lastImageError());
}

void Terrain::noteColourMapChange(const float area[4]) {
    float* changed = colourMapChangedArea;
    // A change counted but not told since the last one leaves the area incomplete: it starts
    // afresh here, so it covers nothing before this revision.
    if (!(changed[2] > changed[0]) || !(changed[3] > changed[1]) || colourMapChangesTo != colourMapRevision) {
        colourMapChangesFrom = colourMapRevision;
        for (int k = 0; k < 4; ++k) changed[k] = area[k];
    } else {
        changed[0] = std::min(changed[0], area[0]);
        changed[1] = std::min(changed[1], area[1]);
        changed[2] = std::max(changed[2], area[2]);
        changed[3] = std::max(changed[3], area[3]);
    }
    ++colourMapRevision;
    colourMapChangesTo = colourMapRevision;
}

void Terrain::forgetColourMapChanges() {
    for (float& k : colourMapChangedArea) k = 0.0f;
    colourMapChangesFrom = colourMapChangesTo = colourMapRevision;
}

void Terrain::draw() {
    initGraphics();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, colourMap);
    glColor3f(1.0f, 1.0f, 1.0f);
    // The lit, textured terrain is opaque (material and colour-map alpha are both 1), so
    // blending would give back exactly the source colour; it is switched off only to spare the
    // software renderer a read of every covered pixel, and switched back on for the overlays.
    const GLboolean blending = glIsEnabled(GL_BLEND);
    glDisable(GL_BLEND);

    // Vertex arrays instead of a call per attribute: the same vertices, attributes and order
    // as strips given vertex by vertex. The attributes are packed tightly first, and each row
    // names its index range, so the driver copies only the vertices that row uses.
    drawAttributes_.resize(vertices.size() * 8);
    float* out = drawAttributes_.data();
    for (const TerrainVertex& v : vertices) {
        out[0] = v.x / static_cast<float>(columns);  // texture coordinates from the position
        out[1] = v.z / static_cast<float>(rows);
        out[2] = v.nx;
        out[3] = v.ny;
        out[4] = v.nz;
        out[5] = v.x;
        out[6] = v.y;
        out[7] = v.z;
        out += 8;
    }
    glInterleavedArrays(GL_T2F_N3F_V3F, 0, drawAttributes_.data());
    const int perRow = 2 * (columns + 1);
    for (int r = 0; r < rows; ++r)
        glDrawRangeElements(GL_TRIANGLE_STRIP, static_cast<GLuint>(r * (columns + 1)),
                            static_cast<GLuint>((r + 2) * (columns + 1) - 1), perRow,
                            GL_UNSIGNED_INT, &stripIndices_[static_cast<size_t>(r) * perRow]);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    setCurrentAttributesAfterDraw();

    if (showNormals) {
        normalLines_.resize(vertices.size() * 6);
        float* line = normalLines_.data();
        for (const TerrainVertex& v : vertices) {
            line[0] = v.x;
            line[1] = v.y;
            line[2] = v.z;
            line[3] = v.x + v.nx;
            line[4] = v.y + v.ny;
            line[5] = v.z + v.nz;
            line += 6;
        }
        // Still textured: the lines take the colour map's texel at the last strip vertex.
        glColor3ub(255, 0, 0);
        glVertexPointer(3, GL_FLOAT, 0, normalLines_.data());
        glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(vertices.size() * 2));
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisable(GL_TEXTURE_2D);
    if (blending) glEnable(GL_BLEND);
}

void Terrain::setCurrentAttributesAfterDraw() const {
    // After an array draw the current normal and texture coordinates are undefined; the lit,
    // textured normal lines take the ones the strips given vertex by vertex would leave, the
    // last vertex's.
    const TerrainVertex& last = vertices[stripIndices_.back()];
    glNormal3f(last.nx, last.ny, last.nz);
    glTexCoord2f(last.x / static_cast<float>(columns), last.z / static_cast<float>(rows));
}

void Terrain::setStateAfterDraw() {
    initGraphics();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_LIGHTING);
    glShadeModel(GL_SMOOTH);
    glBindTexture(GL_TEXTURE_2D, colourMap);
    glDisable(GL_TEXTURE_2D);
    setCurrentAttributesAfterDraw();
    if (showNormals) {
        glColor3ub(255, 0, 0);
    } else {
        glColor3f(1.0f, 1.0f, 1.0f);
    }
}

bool Terrain::pick(float out[3], bool snap, int x, int y) {
    initGraphics();
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (x < viewport[0] || y < viewport[1] || x >= viewport[0] + viewport[2] ||
        y >= viewport[1] + viewport[3]) {
        // Pixels outside the drawable area read back undefined colours.
        pickedFace = -1;
        pickedVertex = -1;
        return false;
    }
    refreshPickPositions();

    // Only pixel (x, y) is ever read, so only it is cleared and rasterised.
    GLint oldScissor[4];
    glGetIntegerv(GL_SCISSOR_BOX, oldScissor);
    const GLboolean scissorWasOn = glIsEnabled(GL_SCISSOR_TEST);
    const GLboolean ditherWasOn = glIsEnabled(GL_DITHER);
    glEnable(GL_SCISSOR_TEST);
    glScissor(x, y, 1, 1);
    glDisable(GL_DITHER);  // face numbers must survive exactly
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    const bool offScreen = beginPickingPass();

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);

    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, pickPositions_.data());
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, pickColours_.data());
    const int perRow = 2 * (columns + 1);
    for (int r = 0; r < rows; ++r) glDrawArrays(GL_TRIANGLE_STRIP, r * perRow, perRow);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);

    GLubyte rgb[3] = {255, 255, 255};
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    const int f = rgb[0] * 65536 + rgb[1] * 256 + rgb[2];
    bool hit = !(rgb[0] == 255 && rgb[1] == 255 && rgb[2] == 255) &&
               f < static_cast<int>(faces.size());

    float weights[3] = {0.0f, 0.0f, 0.0f};
    if (hit) {
        // The hit face alone with red, green and blue corners: the colour at the pixel is its
        // barycentric weights.
        const TerrainFace& face = faces[f];
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glShadeModel(GL_SMOOTH);
        glBegin(GL_TRIANGLES);
        glColor3f(1.0f, 0.0f, 0.0f);
        glVertex3f(vertices[face.a].x, vertices[face.a].y, vertices[face.a].z);
        glColor3f(0.0f, 1.0f, 0.0f);
        glVertex3f(vertices[face.b].x, vertices[face.b].y, vertices[face.b].z);
        glColor3f(0.0f, 0.0f, 1.0f);
        glVertex3f(vertices[face.c].x, vertices[face.c].y, vertices[face.c].z);
        glEnd();
        glReadPixels(x, y, 1, 1, GL_RGB, GL_FLOAT, weights);
    }
    endPickingPass(offScreen);

    if (ditherWasOn) glEnable(GL_DITHER);
    if (!scissorWasOn) glDisable(GL_SCISSOR_TEST);
    glScissor(oldScissor[0], oldScissor[1], oldScissor[2], oldScissor[3]);

    if (!hit) {
        pickedFace = -1;
        pickedVertex = -1;
        return false;
    }
    pickedFace = f;
    const TerrainFace& face = faces[f];
    const TerrainVertex& pa = vertices[face.a];
    const TerrainVertex& pb = vertices[face.b];
    const TerrainVertex& pc = vertices[face.c];
    const float wA = weights[0], wB = weights[1], wC = weights[2];
    if (snap) {
        const int corner = snapCorner(wA, wB, wC);
        const TerrainVertex* chosen = corner == 0 ? &pa : corner == 1 ? &pb : &pc;
        pickedVertex = chosen->index;
        out[0] = chosen->x;
        out[1] = chosen->y;
        out[2] = chosen->z;
    } else {
        // C's weight is 1 - wA - wB so the point stays in the face's plane.
        const float w3 = 1.0f - wA - wB;
        out[0] = wA * pa.x + wB * pb.x + w3 * pc.x;
        out[1] = wA * pa.y + wB * pb.y + w3 * pc.y;
        out[2] = wA * pa.z + wB * pb.z + w3 * pc.z;
    }
    return true;
}

void Terrain::drawColourMapQuad() {
    initGraphics();
    glBindTexture(GL_TEXTURE_2D, colourMap);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(0.0f, 512.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(512.0f, 512.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(512.0f, 0.0f);
    glEnd();
}
