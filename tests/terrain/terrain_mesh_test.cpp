// The terrain's mesh numbering, adjacency and normal update, without GL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "terrain/terrain.h"

namespace {

std::set<int> asSet(const std::vector<int>& list) { return std::set<int>(list.begin(), list.end()); }

int number(int i, int j) { return i + j * 257; }

TEST(TerrainMesh, VerticesAreNumberedRowByRow) {
    Terrain terrain;
    ASSERT_EQ(terrain.vertices.size(), 257u * 257u);
    ASSERT_EQ(terrain.faces.size(), 2u * 256u * 256u);
    for (int j : {0, 1, 100, 256})
        for (int i : {0, 5, 255, 256}) {
            const TerrainVertex& v = terrain.vertices[number(i, j)];
            EXPECT_EQ(v.index, number(i, j));
            EXPECT_FLOAT_EQ(v.x, static_cast<float>(i));
            EXPECT_FLOAT_EQ(v.y, 0.0f);
            EXPECT_FLOAT_EQ(v.z, static_cast<float>(j));
            EXPECT_FLOAT_EQ(v.s, i / 256.0f);
            EXPECT_FLOAT_EQ(v.t, j / 256.0f);
            EXPECT_EQ(&terrain.vertexAt(i, j), &v);
        }
    EXPECT_EQ(terrain.vertexAt(256, 256).index, 66048);
}

TEST(TerrainMesh, EachCellHasTwoFacesSharingItsDiagonal) {
    Terrain terrain;
    const int c = 7, r = 3, h = r * 256 + c;
    const TerrainFace& lower = terrain.faces[2 * h];
    const TerrainFace& upper = terrain.faces[2 * h + 1];
    EXPECT_EQ(lower.index, 2 * h);
    EXPECT_EQ(lower.a, number(c, r));
    EXPECT_EQ(lower.b, number(c, r + 1));
    EXPECT_EQ(lower.c, number(c + 1, r + 1));
    EXPECT_EQ(upper.index, 2 * h + 1);
    EXPECT_EQ(upper.a, number(c, r));
    EXPECT_EQ(upper.b, number(c + 1, r + 1));
    EXPECT_EQ(upper.c, number(c + 1, r));
}

TEST(TerrainMesh, CornersAndInteriorHaveTheirAdjacency) {
    Terrain terrain;
    const TerrainVertex& origin = terrain.vertexAt(0, 0);
    EXPECT_EQ(asSet(origin.faces), (std::set<int>{0, 1}));
    EXPECT_EQ(asSet(origin.neighbours), (std::set<int>{1, 257, 258}));
    EXPECT_EQ(origin.neighbours.size(), 3u);

    const TerrainVertex& rightCorner = terrain.vertexAt(256, 0);
    EXPECT_EQ(rightCorner.faces, (std::vector<int>{511}));
    EXPECT_EQ(asSet(rightCorner.neighbours), (std::set<int>{255, number(256, 1)}));

    EXPECT_EQ(terrain.vertexAt(0, 256).faces.size(), 1u);
    EXPECT_EQ(terrain.vertexAt(256, 256).faces.size(), 2u);

    const int i = 40, j = 90;
    const TerrainVertex& inner = terrain.vertexAt(i, j);
    EXPECT_EQ(inner.faces.size(), 6u);
    EXPECT_EQ(asSet(inner.neighbours),
              (std::set<int>{number(i - 1, j), number(i + 1, j), number(i, j - 1),
                             number(i, j + 1), number(i + 1, j + 1), number(i - 1, j - 1)}));
    EXPECT_EQ(inner.neighbours.size(), 6u);
}

TEST(TerrainMesh, AdjacencyIsConsistentEverywhere) {
    Terrain terrain;
    size_t uses = 0;
    for (const TerrainFace& face : terrain.faces)
        for (int corner : {face.a, face.b, face.c}) {
            const TerrainVertex& v = terrain.vertices[corner];
            ASSERT_NE(std::find(v.faces.begin(), v.faces.end(), face.index), v.faces.end())
                << "face " << face.index << " missing at vertex " << corner;
            for (int other : {face.a, face.b, face.c}) {
                if (other == corner) continue;
                ASSERT_NE(std::find(v.neighbours.begin(), v.neighbours.end(), other),
                          v.neighbours.end());
            }
        }
    for (const TerrainVertex& v : terrain.vertices) {
        uses += v.faces.size();
        EXPECT_EQ(std::count(v.neighbours.begin(), v.neighbours.end(), v.index), 0);
        EXPECT_EQ(asSet(v.neighbours).size(), v.neighbours.size());
        EXPECT_EQ(asSet(v.faces).size(), v.faces.size());
    }
    EXPECT_EQ(uses, terrain.faces.size() * 3);
}

// Upward unit normal of a face from an independent formula (B - A) x (C - A), turned up.
std::array<float, 3> upwardNormal(const Terrain& terrain, const TerrainFace& face) {
    const TerrainVertex& a = terrain.vertices[face.a];
    const TerrainVertex& b = terrain.vertices[face.b];
    const TerrainVertex& c = terrain.vertices[face.c];
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    float n[3] = {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
    const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    const float sign = n[1] < 0 ? -1.0f : 1.0f;
    return {sign * n[0] / length, sign * n[1] / length, sign * n[2] / length};
}

TEST(TerrainNormals, FlatTerrainKeepsUpwardNormals) {
    Terrain terrain;
    terrain.markDirty(terrain.vertexAt(10, 10));
    terrain.markDirty(terrain.vertexAt(0, 0));
    terrain.updateNormals();
    EXPECT_TRUE(terrain.dirty.empty());
    for (int f : terrain.vertexAt(10, 10).faces) EXPECT_FLOAT_EQ(terrain.faces[f].ny, 1.0f);
    EXPECT_FLOAT_EQ(terrain.vertexAt(10, 10).ny, 1.0f);
}

TEST(TerrainNormals, TiltedVertexAddsItsFaceNormalsToTheOldNormal) {
    Terrain terrain;
    for (TerrainVertex& v : terrain.vertices) v.y = 0.5f * v.x + 0.25f * v.z;  // a slope
    TerrainVertex& peak = terrain.vertexAt(20, 30);
    peak.y += 0.3f;  // and a bump on it, so the faces differ
    terrain.markDirty(peak);
    terrain.updateNormals();

    float sum[3] = {0.0f, 1.0f, 0.0f};  // the old normal
    for (int f : peak.faces) {
        const std::array<float, 3> expected = upwardNormal(terrain, terrain.faces[f]);
        EXPECT_NEAR(terrain.faces[f].nx, expected[0], 1e-6f);
        EXPECT_NEAR(terrain.faces[f].ny, expected[1], 1e-6f);
        EXPECT_NEAR(terrain.faces[f].nz, expected[2], 1e-6f);
        for (int k = 0; k < 3; ++k) sum[k] += expected[k];
    }
    const float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
    EXPECT_NEAR(peak.nx, sum[0] / length, 1e-6f);
    EXPECT_NEAR(peak.ny, sum[1] / length, 1e-6f);
    EXPECT_NEAR(peak.nz, sum[2] / length, 1e-6f);
    // A neighbour that was not marked keeps its normal although its faces tilted.
    EXPECT_FLOAT_EQ(terrain.vertexAt(21, 30).ny, 1.0f);

    // The sum starts from the current normal, so a second update moves it again.
    const float before = peak.ny;
    terrain.markDirty(peak);
    terrain.updateNormals();
    EXPECT_NE(peak.ny, before);
}

TEST(TerrainNormals, ZeroSumLeavesTheNormalUnchanged) {
    Terrain terrain;
    TerrainVertex& v = terrain.vertexAt(5, 5);
    v.ny = -6.0f;  // cancels its six flat faces exactly
    terrain.markDirty(v);
    terrain.updateNormals();
    EXPECT_FLOAT_EQ(v.ny, -6.0f);
    EXPECT_FALSE(std::isnan(v.nx));
}

TEST(TerrainPickSnap, TiesPreferAThenB) {
    EXPECT_EQ(snapCorner(1.0f / 3, 1.0f / 3, 1.0f / 3), 0);
    EXPECT_EQ(snapCorner(0.4f, 0.4f, 0.2f), 0);
    EXPECT_EQ(snapCorner(0.2f, 0.4f, 0.4f), 1);
    EXPECT_EQ(snapCorner(0.4f, 0.2f, 0.4f), 0);
    EXPECT_EQ(snapCorner(0.1f, 0.2f, 0.7f), 2);
    EXPECT_EQ(snapCorner(0.1f, 0.7f, 0.2f), 1);
}

}  // namespace
