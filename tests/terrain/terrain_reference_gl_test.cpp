// The colour brush's stamp against a texel-by-texel model of where it lands and how it blends:
// random centres (inside, on and beyond the map's edges), radii, opacities and colours, each
// stamp checked over the whole 512 x 512 map. Needs the GL test window.
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gl_test_window.h"
#include "reference_terrain.h"
#include "terrain/export_maps.h"
#include "terrain/orbit_manipulator.h"
#include "terrain/terra_colorizer.h"

namespace {

std::vector<uint8_t> readTexture(uint32_t texture, GLenum format, int channels, int& width, int& height) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

std::vector<uint8_t> readColourMap(uint32_t texture) {
    int width = 0, height = 0;
    return readTexture(texture, GL_RGB, 3, width, height);
}

void writeColourMap(uint32_t texture, const std::vector<uint8_t>& rgb) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 512, 512, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

// How a pixel centre c lies against the stamp's extent [low, high): inside, outside, or too
// close to an edge for the rasteriser's tie rule and rounding to be predicted.
enum class Cover { IN, OUT, EDGE };
Cover cover(double c, double low, double high) {
    const double margin = 1e-3;
    if (std::fabs(c - low) < margin || std::fabs(c - high) < margin) return Cover::EDGE;
    return c > low && c < high ? Cover::IN : Cover::OUT;
}

class ColourStampAgainstModel : public ::testing::Test {
protected:
    void SetUp() override {
        if (!openTestWindow()) GTEST_SKIP() << "no display";
        terrain.initGraphics();
        ASSERT_NE(terrain.colourMap, 0u);
        original = readColourMap(terrain.colourMap);
    }
    void TearDown() override {
        if (terrain.colourMap != 0) writeColourMap(terrain.colourMap, original);
    }

    Terrain terrain;
    HandPointer pointer{1, nullptr};
    WindowInfo window{"terrain test", 1.6f, TEST_WINDOW_HEIGHT, TEST_WINDOW_WIDTH};
    std::array<float, 3> colour{{1.0f, 0.0f, 0.0f}};
    std::vector<uint8_t> original;
};

// Without a mask the stamp is a square of 8 R texels centred on texel (2 x, 2 z), painted with
// the colour at opacity o over what was there.
TEST_F(ColourStampAgainstModel, PlainSquareLandsAndBlendsTexelForTexel) {
    TerraColorizer tool(pointer, terrain, window, colour);
    tool.brushMask = 0;
    float aim[3] = {0.0f, 0.0f, 0.0f};
    int picks = 0;
    tool.pickAt = [&](float out[3], bool snap, int, int) {
        EXPECT_FALSE(snap);
        ++picks;
        for (int e = 0; e < 3; ++e) out[e] = aim[e];
        return true;
    };

    std::mt19937 rng(21);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_real_distribution<float> place(-12.0f, 268.0f);
    int checkedInside = 0;
    for (int stamp = 0; stamp < 24; ++stamp) {
        float x = place(rng), z = place(rng);
        if (stamp % 4 == 1) x = std::round(x * 8.0f) / 8.0f;  // on exact texel fractions
        if (stamp % 6 == 2) z = 0.0f;
        if (stamp % 6 == 3) x = 256.0f;
        tool.radius = stamp % 8 == 5 ? 0.0f : unit(rng) * 10.0f;
        tool.opacity = 0.1f + 0.9f * unit(rng);
        if (stamp % 5 == 0) tool.opacity = 1.0f;
        colour = {{unit(rng), unit(rng), unit(rng)}};

        const std::vector<uint8_t> before = readColourMap(terrain.colourMap);
        if (stamp % 2 == 0) {
            ASSERT_TRUE(tool.stamp(x, z));
        } else {  // the same through a right-hand stroke at a picked surface point
            aim[0] = x;
            aim[1] = unit(rng) * 5.0f;
            aim[2] = z;
            const int picksBefore = picks;
            tool.onRightGrip(ArmPose{});
            ASSERT_EQ(picks, picksBefore + 1);
            ASSERT_TRUE(tool.hit);
        }
        const std::vector<uint8_t> after = readColourMap(terrain.colourMap);

        const double cu = 2.0 * x, cv = 2.0 * z, half = 4.0 * tool.radius;
        std::ostringstream what;
        what << "stamp " << stamp << " at (" << x << ", " << z << ") R " << tool.radius << " o " << tool.opacity;
        for (int v = 0; v < 512; ++v) {
            const Cover rowCover = cover(v + 0.5, cv - half, cv + half);
            for (int u = 0; u < 512; ++u) {
                const size_t at = (static_cast<size_t>(v) * 512 + static_cast<size_t>(u)) * 3;
                const Cover columnCover = cover(u + 0.5, cu - half, cu + half);
                if (rowCover == Cover::EDGE || columnCover == Cover::EDGE) continue;
                const bool inside = rowCover == Cover::IN && columnCover == Cover::IN;
                for (int e = 0; e < 3; ++e) {
                    const double old = before[at + static_cast<size_t>(e)];
                    // An 8-bit colour buffer holds the paint colour and the opacity as bytes.
                    const double paint = std::round(colour[static_cast<size_t>(e)] * 255.0);
                    const double alpha = std::round(tool.opacity * 255.0) / 255.0;
                    const double expected = inside ? paint * alpha + old * (1.0 - alpha) : old;
                    const double got = after[at + static_cast<size_t>(e)];
                    ASSERT_NEAR(got, expected, inside ? 1.0 : 0.0) << what.str() << ", texel (" << u << ", " << v << ") channel " << e;
                }
                checkedInside += inside;
            }
        }
    }
    EXPECT_GT(checkedInside, 5000);
}

// With the mask, a stamp of R = 16 is 128 texels wide: at half-unit centres the mask's texels
// fall one to one on the map's, so each covered texel must be
// mask.rgb x paint x (mask.a x o) + old x (1 - mask.a x o).
TEST_F(ColourStampAgainstModel, MaskBlendsTexelForTexelAtItsOwnSize) {
    TerraColorizer tool(pointer, terrain, window, colour);
    ASSERT_NE(tool.brushMask, 0u);
    int maskWidth = 0, maskHeight = 0;
    const std::vector<uint8_t> mask = readTexture(tool.brushMask, GL_RGBA, 4, maskWidth, maskHeight);
    ASSERT_EQ(maskWidth, maskHeight);
    ASSERT_EQ(maskWidth % 8, 0);
    tool.radius = static_cast<float>(maskWidth) / 8.0f;

    std::mt19937 rng(8);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> halfUnits(-40, 552);
    int painted = 0;
    for (int stamp = 0; stamp < 8; ++stamp) {
        const float x = static_cast<float>(halfUnits(rng)) * 0.5f, z = static_cast<float>(halfUnits(rng)) * 0.5f;
        tool.opacity = stamp == 0 ? 1.0f : 0.1f + 0.9f * unit(rng);
        colour = {{unit(rng), unit(rng), unit(rng)}};
        if (stamp == 1) colour = {{1.0f, 1.0f, 1.0f}};

        const std::vector<uint8_t> before = readColourMap(terrain.colourMap);
        ASSERT_TRUE(tool.stamp(x, z));
        const std::vector<uint8_t> after = readColourMap(terrain.colourMap);

        const int left = static_cast<int>(2.0f * x) - maskWidth / 2, bottom = static_cast<int>(2.0f * z) - maskWidth / 2;
        std::ostringstream what;
        what << "stamp " << stamp << " at (" << x << ", " << z << ") o " << tool.opacity;
        for (int v = 0; v < 512; ++v) {
            for (int u = 0; u < 512; ++u) {
                const size_t at = (static_cast<size_t>(v) * 512 + static_cast<size_t>(u)) * 3;
                const int mu = u - left, mv = v - bottom;
                const bool inside = mu >= 0 && mu < maskWidth && mv >= 0 && mv < maskWidth;
                const uint8_t* m = inside ? &mask[(static_cast<size_t>(mv) * static_cast<size_t>(maskWidth) + static_cast<size_t>(mu)) * 4] : nullptr;
                const double alpha = inside ? m[3] / 255.0 * tool.opacity : 0.0;
                for (int e = 0; e < 3; ++e) {
                    const double old = before[at + static_cast<size_t>(e)];
                    const double expected = inside ? m[e] * colour[static_cast<size_t>(e)] * alpha + old * (1.0 - alpha) : old;
                    ASSERT_NEAR(after[at + static_cast<size_t>(e)], expected, inside ? 2.0 : 0.0)
                        << what.str() << ", texel (" << u << ", " << v << ") channel " << e;
                }
                painted += inside && m[3] > 0;
            }
        }
    }
    EXPECT_GT(painted, 1000);
}

// The export reads the colour map straight from the texture: after a few stamps the file must
// hold exactly the texture's bytes, first texture row at the top.
TEST_F(ColourStampAgainstModel, ExportedColourMapIsTheTextureByteForByte) {
    TerraColorizer tool(pointer, terrain, window, colour);
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int stamp = 0; stamp < 5; ++stamp) {
        colour = {{unit(rng), unit(rng), unit(rng)}};
        tool.radius = 2.0f + 10.0f * unit(rng);
        ASSERT_TRUE(tool.stamp(unit(rng) * 256.0f, unit(rng) * 256.0f));
    }
    const std::vector<uint8_t> texture = readColourMap(terrain.colourMap);
    ASSERT_NE(texture, original);
    for (TerrainVertex& v : terrain.vertices) v.y = std::sin(v.x * 0.1f) * (v.z - 100.0f);

    const std::string folder = std::string(BINARY_DIR) + "/export_reference_gl_" + std::to_string(getpid());
    mkdir(folder.c_str(), 0755);
    const std::string base = folder + "/painted";
    const ExportOutcome outcome = exportMaps(terrain, base);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    auto readAll = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    EXPECT_TRUE(readAll(base + "_colormap.tga") == ref::tgaFile(512, 512, texture));
    // The height maps do not depend on the texture: the same as from pixels in memory.
    const std::vector<uint8_t> high = readAll(base + "_heightmap_high_precision.tga");
    const std::vector<uint8_t> low = readAll(base + "_heightmap_low_precision.tga");
    ASSERT_TRUE(exportMapsFromPixels(terrain, texture.data(), 512, 512, base).ok);
    EXPECT_TRUE(readAll(base + "_heightmap_high_precision.tga") == high);
    EXPECT_TRUE(readAll(base + "_heightmap_low_precision.tga") == low);
    for (const char* suffix : {"_colormap.tga", "_heightmap_high_precision.tga", "_heightmap_low_precision.tga"})
        std::remove((base + suffix).c_str());
    rmdir(folder.c_str());
}

// ---------------------------------------------------------------------------------------------
// Picking against a ray cast: for sample pixels, the front-most face under the pixel centre,
// the surface point there and its nearest corner, worked out in the plane of the window.

struct RayHit {
    int face = -1;
    double distance = 1e300;  // from the eye
    double weight[3] = {0, 0, 0};  // barycentric weights of A, B, C on the surface
    double point[3] = {0, 0, 0};
    double edgeMargin = 0.0;       // pixels from the pixel centre to the face's nearest edge
    double nextDistance = 1e300;   // the next face behind along the same ray
};

struct ScreenVertex {
    double x, y, w;
};

std::vector<ScreenVertex> projectAll(const Terrain& terrain, const Camera& camera, int width, int height) {
    const Mat4 m = multiply(camera.projection, camera.view);
    std::vector<ScreenVertex> out(terrain.vertices.size());
    for (size_t k = 0; k < out.size(); ++k) {
        const TerrainVertex& v = terrain.vertices[k];
        const double cx = m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12];
        const double cy = m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13];
        const double cw = m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15];
        out[k] = {(cx / cw + 1.0) * 0.5 * width, (cy / cw + 1.0) * 0.5 * height, cw};
    }
    return out;
}

// All sample pixels (a regular grid of spacing `step`) resolved against every face.
std::vector<RayHit> castRays(const Terrain& terrain, const std::vector<ScreenVertex>& screen, const double eye[3], int width,
                             int height, int step) {
    const int columns = (width + step - 1) / step, rows = (height + step - 1) / step;
    std::vector<RayHit> hits(static_cast<size_t>(columns * rows));
    for (const TerrainFace& face : terrain.faces) {
        const int corner[3] = {face.a, face.b, face.c};
        const ScreenVertex& p0 = screen[static_cast<size_t>(face.a)];
        const ScreenVertex& p1 = screen[static_cast<size_t>(face.b)];
        const ScreenVertex& p2 = screen[static_cast<size_t>(face.c)];
        const double area = (p1.x - p0.x) * (p2.y - p0.y) - (p2.x - p0.x) * (p1.y - p0.y);
        if (std::fabs(area) < 1e-12) continue;
        const double minX = std::min({p0.x, p1.x, p2.x}), maxX = std::max({p0.x, p1.x, p2.x});
        const double minY = std::min({p0.y, p1.y, p2.y}), maxY = std::max({p0.y, p1.y, p2.y});
        const int c0 = std::max(0, static_cast<int>(std::ceil((minX - 0.5) / step)));
        const int c1 = std::min(columns - 1, static_cast<int>(std::floor((maxX - 0.5) / step)));
        const int r0 = std::max(0, static_cast<int>(std::ceil((minY - 0.5) / step)));
        const int r1 = std::min(rows - 1, static_cast<int>(std::floor((maxY - 0.5) / step)));
        for (int r = r0; r <= r1; ++r) {
            for (int c = c0; c <= c1; ++c) {
                const double px = c * step + 0.5, py = r * step + 0.5;
                // Screen-space weights of the pixel centre, and its distance to each edge.
                const ScreenVertex* p[3] = {&p0, &p1, &p2};
                double lambda[3], margin = 1e300;
                for (int e = 0; e < 3; ++e) {
                    const ScreenVertex& u = *p[(e + 1) % 3];
                    const ScreenVertex& v = *p[(e + 2) % 3];
                    const double edge = (v.x - u.x) * (py - u.y) - (v.y - u.y) * (px - u.x);
                    lambda[e] = edge / area;
                    margin = std::min(margin, std::fabs(edge) / std::hypot(v.x - u.x, v.y - u.y));
                }
                if (lambda[0] < 0 || lambda[1] < 0 || lambda[2] < 0) continue;
                // Perspective-correct weights give the point on the face itself.
                double sum = 0.0, weight[3];
                for (int e = 0; e < 3; ++e) sum += weight[e] = lambda[e] / p[e]->w;
                double point[3] = {0, 0, 0};
                for (int e = 0; e < 3; ++e) {
                    weight[e] /= sum;
                    const TerrainVertex& v = terrain.vertices[static_cast<size_t>(corner[e])];
                    point[0] += weight[e] * v.x;
                    point[1] += weight[e] * v.y;
                    point[2] += weight[e] * v.z;
                }
                const double distance = std::sqrt((point[0] - eye[0]) * (point[0] - eye[0]) + (point[1] - eye[1]) * (point[1] - eye[1]) +
                                                  (point[2] - eye[2]) * (point[2] - eye[2]));
                RayHit& hit = hits[static_cast<size_t>(r * columns + c)];
                if (distance < hit.distance) {
                    // Faces that share the hit's edge are the same surface, not something behind.
                    if (hit.face >= 0) hit.nextDistance = std::min(hit.nextDistance, hit.distance);
                    hit.face = face.index;
                    hit.distance = distance;
                    hit.edgeMargin = margin;
                    for (int e = 0; e < 3; ++e) {
                        hit.weight[e] = weight[e];
                        hit.point[e] = point[e];
                    }
                } else {
                    hit.nextDistance = std::min(hit.nextDistance, distance);
                }
            }
        }
    }
    return hits;
}

TEST(PickAgainstRayCast, FacePointAndCornerForManyPixelsAndViews) {
    if (!openTestWindow()) GTEST_SKIP() << "no display";
    Terrain terrain;
    terrain.initGraphics();
    WindowInfo window{"terrain test", 1.6f, TEST_WINDOW_HEIGHT, TEST_WINDOW_WIDTH};
    Camera camera(&window);
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (TerrainVertex& v : terrain.vertices)
        v.y = 25.0f * std::sin(v.x * 0.05f) * std::cos(v.z * 0.07f) + 3.0f * std::sin(v.x * 0.9f + v.z * 0.4f) + unit(rng) * 0.5f;

    const int step = 7;
    int compared = 0, snapped = 0, misses = 0;
    for (int view = 0; view < 4; ++view) {
        OrbitManipulator orbit(camera);
        orbit.azimuth = unit(rng) * 360.0f;
        orbit.elevation = view == 0 ? 90.0f : 12.0f + unit(rng) * 60.0f;
        orbit.distance = view == 1 ? 120.0f : 150.0f + unit(rng) * 150.0f;
        orbit.centre[0] = 60.0f + unit(rng) * 136.0f;
        orbit.centre[2] = 60.0f + unit(rng) * 136.0f;
        orbit.updateCamera();
        loadCamera(camera);
        const double eye[3] = {camera.pose[12], camera.pose[13], camera.pose[14]};
        const std::vector<ScreenVertex> screen = projectAll(terrain, camera, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
        bool allInFront = true;
        for (const ScreenVertex& s : screen) allInFront = allInFront && s.w > 0.5;
        if (!allInFront) continue;  // the near plane would cut faces: not this model's business
        const std::vector<RayHit> hits = castRays(terrain, screen, eye, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT, step);
        const int columns = (TEST_WINDOW_WIDTH + step - 1) / step;
        // Every pick draws the whole mesh once more: visit the sample pixels in a shuffled
        // order and stop after a few dozen of each kind.
        std::vector<size_t> order(hits.size());
        for (size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::shuffle(order.begin(), order.end(), rng);
        int comparedHere = 0, snappedHere = 0, missesHere = 0;
        for (size_t k : order) {
            if (comparedHere >= 30 && missesHere >= 5) break;
            const RayHit& expected = hits[k];
            const int x = static_cast<int>(k % static_cast<size_t>(columns)) * step, y = static_cast<int>(k / static_cast<size_t>(columns)) * step;
            std::ostringstream what;
            what << "view " << view << " pixel (" << x << ", " << y << ")";
            if (expected.face < 0) {
                float point[3];
                if (expected.distance == 1e300 && expected.nextDistance == 1e300) {
                    // Clearly off the terrain only if no face comes within a pixel; skip otherwise.
                    bool nearSomething = false;
                    for (int dy = -1; dy <= 1 && !nearSomething; ++dy)
                        for (int dx = -1; dx <= 1 && !nearSomething; ++dx) {
                            const int cx = static_cast<int>(k % static_cast<size_t>(columns)) + dx, cy = static_cast<int>(k / static_cast<size_t>(columns)) + dy;
                            if (cx < 0 || cy < 0 || cx >= columns || static_cast<size_t>(cy * columns + cx) >= hits.size()) continue;
                            nearSomething = hits[static_cast<size_t>(cy * columns + cx)].face >= 0;
                        }
                    if (nearSomething || missesHere >= 5) continue;
                    EXPECT_FALSE(terrain.pick(point, true, x, y)) << what.str();
                    EXPECT_EQ(terrain.pickedFace, -1) << what.str();
                    EXPECT_EQ(terrain.pickedVertex, -1) << what.str();
                    ++misses;
                    ++missesHere;
                }
                continue;
            }
            // Only pixels that sit clearly inside one face with nothing close behind it.
            if (expected.edgeMargin < 0.05 || expected.nextDistance - expected.distance < 1.0 || comparedHere >= 30) continue;
            float point[3];
            ASSERT_TRUE(terrain.pick(point, false, x, y)) << what.str();
            ASSERT_EQ(terrain.pickedFace, expected.face) << what.str();
            const TerrainFace& face = terrain.faces[static_cast<size_t>(expected.face)];
            // The weights come back through an 8-bit colour buffer: a few 1/255 of a cell.
            const double span = 1.0 + std::fabs(terrain.vertices[static_cast<size_t>(face.a)].y - terrain.vertices[static_cast<size_t>(face.c)].y) +
                                 std::fabs(terrain.vertices[static_cast<size_t>(face.b)].y - terrain.vertices[static_cast<size_t>(face.c)].y);
            for (int e = 0; e < 3; ++e) EXPECT_NEAR(point[e], expected.point[e], 3.0 / 255.0 * span) << what.str() << " axis " << e;
            ++compared;
            ++comparedHere;

            // Snapping: the corner with the largest weight, unless two are too close to call.
            double sorted[3] = {expected.weight[0], expected.weight[1], expected.weight[2]};
            std::sort(sorted, sorted + 3);
            if (sorted[2] - sorted[1] < 3.0 / 255.0 || snappedHere >= 15) continue;
            const int corner[3] = {face.a, face.b, face.c};
            const int best = static_cast<int>(std::max_element(expected.weight, expected.weight + 3) - expected.weight);
            float snappedPoint[3];
            ASSERT_TRUE(terrain.pick(snappedPoint, true, x, y)) << what.str();
            EXPECT_EQ(terrain.pickedFace, expected.face) << what.str();
            ASSERT_EQ(terrain.pickedVertex, corner[best]) << what.str();
            const TerrainVertex& v = terrain.vertices[static_cast<size_t>(corner[best])];
            EXPECT_EQ(snappedPoint[0], v.x);
            EXPECT_EQ(snappedPoint[1], v.y);
            EXPECT_EQ(snappedPoint[2], v.z);
            ++snapped;
            ++snappedHere;
        }
    }
    EXPECT_GE(compared, 110);
    EXPECT_GE(snapped, 55);
    EXPECT_GE(misses, 10);
}

}  // namespace
