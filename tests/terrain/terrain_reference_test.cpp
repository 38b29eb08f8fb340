// The height brushes, the orbit camera, the height-map export and the menu layout run side by
// side with the plain model in reference_terrain.h over long random sessions (fixed seeds):
// every frame's parameters, every height and every normal must agree, so errors that build up
// over many strokes show as well as single-stroke ones. Without GL.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "reference_terrain.h"
#include "terrain/camera.h"
#include "terrain/export_maps.h"
#include "terrain/orbit_manipulator.h"
#include "terrain/radial_menu.h"
#include "terrain/terra_colorizer.h"
#include "terrain/terrain_brushes.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Mesh

TEST(TerrainAgainstModel, FaceAndNeighbourListsInBuildOrder) {
    Terrain terrain;
    const ref::Mesh mesh;
    ASSERT_EQ(terrain.faces.size(), static_cast<size_t>(ref::FACE_COUNT));
    ASSERT_EQ(terrain.vertices.size(), static_cast<size_t>(ref::VERTEX_COUNT));
    for (int f = 0; f < ref::FACE_COUNT; ++f) {
        const TerrainFace& face = terrain.faces[static_cast<size_t>(f)];
        ASSERT_EQ((std::array<int, 3>{face.a, face.b, face.c}), mesh.face[static_cast<size_t>(f)]) << "face " << f;
    }
    for (int k = 0; k < ref::VERTEX_COUNT; ++k) {
        const TerrainVertex& v = terrain.vertices[static_cast<size_t>(k)];
        ASSERT_EQ(v.faces, mesh.facesOf[static_cast<size_t>(k)]) << "vertex " << k;
        ASSERT_EQ(v.neighbours, mesh.neighboursOf[static_cast<size_t>(k)]) << "vertex " << k;
        ASSERT_EQ(v.x, ref::Mesh::xOf(k));
        ASSERT_EQ(v.z, ref::Mesh::zOf(k));
        ASSERT_FLOAT_EQ(v.s, ref::Mesh::xOf(k) / 256.0f);
        ASSERT_FLOAT_EQ(v.t, ref::Mesh::zOf(k) / 256.0f);
    }
}

// ---------------------------------------------------------------------------------------------
// Brush sessions

struct Aim {
    bool miss = false;
    float point[3] = {0.0f, 0.0f, 0.0f};
};

float secondParameter(const TerrainBrush& brush) {
    if (auto* b = dynamic_cast<const TerraBrush*>(&brush)) return b->exponent;
    if (auto* b = dynamic_cast<const SmoothBrush*>(&brush)) return b->strength;
    if (auto* b = dynamic_cast<const RandomizeBrush*>(&brush)) return b->amplitude;
    if (auto* b = dynamic_cast<const LevelBrush*>(&brush)) return b->level;
    return NAN;
}

std::unique_ptr<TerrainBrush> makeBrush(ref::Kind kind, const HandPointer& pointer, Terrain& terrain, uint64_t seed) {
    switch (kind) {
    case ref::Kind::RAISE: return std::make_unique<TerraBrush>(pointer, terrain);
    case ref::Kind::SMOOTH: return std::make_unique<SmoothBrush>(pointer, terrain);
    case ref::Kind::RANDOMIZE: return std::make_unique<RandomizeBrush>(pointer, terrain, seed);
    case ref::Kind::BULLDOZE: return std::make_unique<BulldozeBrush>(pointer, terrain);
    case ref::Kind::DUMP: return std::make_unique<DumpBrush>(pointer, terrain);
    }
    return nullptr;
}

const char* kindName(ref::Kind kind) {
    switch (kind) {
    case ref::Kind::RAISE: return "raise/lower";
    case ref::Kind::SMOOTH: return "smooth";
    case ref::Kind::RANDOMIZE: return "randomize";
    case ref::Kind::BULLDOZE: return "bulldoze";
    case ref::Kind::DUMP: return "dump";
    }
    return "?";
}

// Largest difference of heights and of normals between the tool's terrain and the model.
void expectSameField(const Terrain& terrain, const ref::Mesh& mesh, const std::string& where) {
    for (int k = 0; k < ref::VERTEX_COUNT; ++k) {
        const TerrainVertex& v = terrain.vertices[static_cast<size_t>(k)];
        const float y = mesh.height[static_cast<size_t>(k)];
        ASSERT_NEAR(v.y, y, 2e-5f * (1.0f + std::fabs(y))) << where << ", vertex (" << k % 257 << ", " << k / 257 << ")";
        const ref::Vec3& n = mesh.normal[static_cast<size_t>(k)];
        ASSERT_NEAR(v.nx, n[0], 2e-5f) << where << ", normal x of vertex (" << k % 257 << ", " << k / 257 << ")";
        ASSERT_NEAR(v.ny, n[1], 2e-5f) << where << ", normal y of vertex (" << k % 257 << ", " << k / 257 << ")";
        ASSERT_NEAR(v.nz, n[2], 2e-5f) << where << ", normal z of vertex (" << k % 257 << ", " << k / 257 << ")";
    }
    for (int f = 0; f < ref::FACE_COUNT; ++f) {
        const TerrainFace& face = terrain.faces[static_cast<size_t>(f)];
        const ref::Vec3& n = mesh.faceNormal[static_cast<size_t>(f)];
        ASSERT_NEAR(face.nx, n[0], 2e-5f) << where << ", face " << f;
        ASSERT_NEAR(face.ny, n[1], 2e-5f) << where << ", face " << f;
        ASSERT_NEAR(face.nz, n[2], 2e-5f) << where << ", face " << f;
    }
}

// Starting heights of a session: flat, gentle noise, or steep noise.
void fillHeights(Terrain& terrain, ref::Mesh& mesh, std::mt19937& rng, int style) {
    std::uniform_real_distribution<float> gentle(-3.0f, 3.0f), steep(-40.0f, 40.0f);
    for (int k = 0; k < ref::VERTEX_COUNT; ++k) {
        const float y = style == 0 ? 0.0f : style == 1 ? gentle(rng) : steep(rng);
        terrain.vertices[static_cast<size_t>(k)].y = y;
        mesh.height[static_cast<size_t>(k)] = y;
    }
}

// One long session of random frames: hovers, parameter changes with the left hand, strokes with
// the right, both at once; aims anywhere on the field, on its edges, beyond them, or nowhere.
void runBrushSession(ref::Kind kind, unsigned seed, int frames, int heightStyle) {
    Terrain terrain;
    ref::Mesh mesh;
    std::mt19937 rng(seed);
    fillHeights(terrain, mesh, rng, heightStyle);

    WindowInfo window;
    HandPointer pointer(1, &window);
    const uint64_t clockSeconds = 1700000000ULL + seed;
    std::unique_ptr<TerrainBrush> brush = makeBrush(kind, pointer, terrain, clockSeconds);
    ref::Brush model(kind, clockSeconds);

    Aim aim;
    int picks = 0;
    bool snapAsked = false;
    brush->pickAt = [&](float out[3], bool snap, int, int) {
        ++picks;
        snapAsked = snap;
        if (aim.miss) return false;
        for (int e = 0; e < 3; ++e) out[e] = aim.point[e];
        return true;
    };

    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::normal_distribution<float> wristStep(0.0f, 0.015f);
    ArmPose pose{};
    ref::Pose modelPose{};
    for (int frame = 0; frame < frames; ++frame) {
        // Where the pointer lands: mostly a vertex (snapping), sometimes near an edge or corner,
        // sometimes off the grid or a miss.
        const float where = unit(rng);
        aim = Aim{};
        if (where < 0.08f) {
            aim.miss = true;
        } else if (where < 0.18f) {
            std::uniform_real_distribution<float> beyond(-9.0f, 265.0f);
            aim.point[0] = beyond(rng);
            aim.point[2] = beyond(rng);
            aim.point[1] = unit(rng);
        } else {
            std::uniform_int_distribution<int> anywhere(0, 256), edge(0, 5);
            int i = anywhere(rng), j = anywhere(rng);
            if (where < 0.45f) {  // within a few cells of an edge or corner
                i = unit(rng) < 0.5f ? edge(rng) : 256 - edge(rng);
                if (unit(rng) < 0.5f) j = unit(rng) < 0.5f ? edge(rng) : 256 - edge(rng);
            } else if (where < 0.8f) {  // keep returning to one neighbourhood so strokes pile up
                std::uniform_int_distribution<int> near(120, 136);
                i = near(rng);
                j = near(rng);
            }
            const int k = i + j * 257;
            aim.point[0] = static_cast<float>(i);
            aim.point[1] = mesh.height[static_cast<size_t>(k)];
            aim.point[2] = static_cast<float>(j);
        }

        // The left wrist drifts; now and then it jumps or stays put. Keep the radius sensible.
        float dx = wristStep(rng), dy = wristStep(rng);
        if (unit(rng) < 0.05f) dx *= 20.0f;
        if (unit(rng) < 0.05f) dy *= 20.0f;
        if (unit(rng) < 0.1f) dx = dy = 0.0f;
        if (std::fabs(model.radius) > 20.0f) dx = -std::copysign(std::fabs(dx), model.radius);
        if (kind != ref::Kind::RAISE && model.radius < 1.5f) dx = std::fabs(dx);
        if ((kind == ref::Kind::BULLDOZE || kind == ref::Kind::DUMP) && std::fabs(model.second) > 30.0f)
            dy = -std::copysign(std::fabs(dy), model.second);
        pose[POSE_LEFT_WRIST_X] += dx;
        pose[POSE_LEFT_WRIST_Y] += dy;
        pose[POSE_RIGHT_WRIST_X] = unit(rng);  // unused by brushes: must not matter
        for (int e = 0; e < 18; ++e) modelPose[static_cast<size_t>(e)] = pose[static_cast<size_t>(e)];

        pointer.state = unit(rng) < 0.7f ? POINTER_ENGAGED : POINTER_IDLE;
        const float grip = unit(rng);
        const int picksBefore = picks;
        std::string action;
        if (grip < 0.2f) {
            action = "no grip";
            brush->onNoGrip(pose);
            if (pointer.state == POINTER_ENGAGED) {
                model.hit = !aim.miss;
                if (model.hit) model.hitPoint = {aim.point[0], aim.point[1], aim.point[2]};
                EXPECT_EQ(picks, picksBefore + 1);
            } else {
                model.hit = false;
                EXPECT_EQ(picks, picksBefore);
            }
        } else if (grip < 0.4f) {
            action = "left grip";
            brush->onLeftGrip(pose);
            model.adjust(modelPose);
            EXPECT_EQ(picks, picksBefore);
        } else {
            const bool both = grip > 0.85f;
            action = both ? "both grip" : "right grip";
            if (both) {
                brush->onBothGrip(pose);
                model.adjust(modelPose);
            } else {
                brush->onRightGrip(pose);
            }
            EXPECT_EQ(picks, picksBefore + 1);
            model.hit = !aim.miss;
            if (model.hit) {
                model.hitPoint = {aim.point[0], aim.point[1], aim.point[2]};
                model.stroke(mesh);
            }
        }
        model.previous = modelPose;
        if (picks > picksBefore) {
            EXPECT_TRUE(snapAsked) << "brushes aim at a vertex";
        }

        std::ostringstream where_;
        where_ << kindName(kind) << " seed " << seed << " frame " << frame << " (" << action << ", R " << model.radius
               << ", second " << model.second << ", aim " << aim.point[0] << ", " << aim.point[2]
               << (aim.miss ? " miss" : "") << ")";
        const std::string at = where_.str();
        ASSERT_FLOAT_EQ(brush->radius, model.radius) << at;
        ASSERT_FLOAT_EQ(secondParameter(*brush), model.second) << at;
        ASSERT_EQ(brush->hit, model.hit) << at;
        if (model.hit) {
            for (int e = 0; e < 3; ++e) ASSERT_EQ(brush->hitPoint[e], model.hitPoint[static_cast<size_t>(e)]) << at;
        }
        ASSERT_TRUE(terrain.dirty.empty()) << at;
        if (frame % 8 == 7 || frame == frames - 1) expectSameField(terrain, mesh, at);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

class BrushSessions : public ::testing::TestWithParam<ref::Kind> {};

TEST_P(BrushSessions, HeightsNormalsAndParametersFollowTheModelOverLongSessions) {
    const ref::Kind kind = GetParam();
    for (unsigned seed : {11u, 12u}) {
        // Flat, gently and steeply rough starting fields, spread over the five brushes.
        const int heightStyle = static_cast<int>((seed + static_cast<unsigned>(kind)) % 3);
        runBrushSession(kind, seed * 7 + static_cast<unsigned>(kind), 220, heightStyle);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(AllFive, BrushSessions,
                         ::testing::Values(ref::Kind::RAISE, ref::Kind::SMOOTH, ref::Kind::RANDOMIZE,
                                           ref::Kind::BULLDOZE, ref::Kind::DUMP),
                         [](const ::testing::TestParamInfo<ref::Kind>& info) {
                             switch (info.param) {
                             case ref::Kind::RAISE: return std::string("Raise");
                             case ref::Kind::SMOOTH: return std::string("Smooth");
                             case ref::Kind::RANDOMIZE: return std::string("Randomize");
                             case ref::Kind::BULLDOZE: return std::string("Bulldoze");
                             case ref::Kind::DUMP: return std::string("Dump");
                             }
                             return std::string("Unknown");
                         });

TEST(BrushRandomAgainstModel, ManySeedsAndLongRuns) {
    std::mt19937_64 rng(5);
    for (int run = 0; run < 200; ++run) {
        const uint64_t seconds = run < 3 ? static_cast<uint64_t>(run) : rng();
        BrushRandom random(seconds);
        ref::Random model(seconds);
        ASSERT_EQ(random.u, model.u) << "seed " << seconds;
        ASSERT_EQ(random.v, model.v) << "seed " << seconds;
        ASSERT_EQ(random.w, model.w) << "seed " << seconds;
        for (int k = 0; k < 500; ++k) {
            if (k % 2 == 0) {
                ASSERT_EQ(random.next(), model.draw()) << "seed " << seconds << " draw " << k;
            } else {
                ASSERT_EQ(random.uniform(), model.uniform()) << "seed " << seconds << " draw " << k;
            }
        }
    }
}

TEST(ColourBrushAgainstModel, RadiusOpacityAndHoverOverARandomSession) {
    Terrain terrain;
    WindowInfo window;
    HandPointer pointer(1, &window);
    std::array<float, 3> colour{{0.0f, 0.55f, 0.75f}};
    TerraColorizer tool(pointer, terrain, window, colour);
    bool miss = false, snapAsked = true;
    float aim[3] = {0.0f, 0.0f, 0.0f};
    int picks = 0;
    tool.pickAt = [&](float out[3], bool snap, int, int) {
        ++picks;
        snapAsked = snap;
        if (miss) return false;
        for (int e = 0; e < 3; ++e) out[e] = aim[e];
        return true;
    };
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::normal_distribution<float> step(0.0f, 0.03f);
    float radius = 4.0f, opacity = 1.0f;
    bool hit = false;
    ref::Pose previous{};
    ArmPose pose{};
    for (int frame = 0; frame < 2000; ++frame) {
        float dx = step(rng), dy = step(rng);
        if (unit(rng) < 0.1f) dx = dy = 0.0f;
        if (radius > 30.0f) dx = -std::fabs(dx);
        pose[POSE_LEFT_WRIST_X] += dx;
        pose[POSE_LEFT_WRIST_Y] += dy;
        pointer.state = unit(rng) < 0.5f ? POINTER_ENGAGED : POINTER_ARMING;
        miss = unit(rng) < 0.2f;
        for (float& a : aim) a = unit(rng) * 256.0f;
        const int picksBefore = picks;
        if (unit(rng) < 0.5f) {
            tool.onLeftGrip(pose);
            const float mdx = pose[POSE_LEFT_WRIST_X] - previous[ref::LEFT_X];
            const float mdy = pose[POSE_LEFT_WRIST_Y] - previous[ref::LEFT_Y];
            if (std::fabs(mdy) < std::fabs(mdx)) {
                radius = std::max(radius + 50.0f * mdx, 0.0f);
            } else {
                opacity = std::clamp(opacity + mdy, 0.1f, 1.0f);
            }
            ASSERT_EQ(picks, picksBefore) << "frame " << frame;
        } else {
            tool.onNoGrip(pose);
            hit = pointer.state == POINTER_ENGAGED && !miss;
            ASSERT_EQ(picks, picksBefore + (pointer.state == POINTER_ENGAGED ? 1 : 0)) << "frame " << frame;
            if (picks > picksBefore) {
                ASSERT_FALSE(snapAsked) << "the colour brush paints at the exact surface point";
            }
            if (hit) {
                for (int e = 0; e < 3; ++e) ASSERT_EQ(tool.hitPoint[e], aim[e]) << "frame " << frame;
            }
        }
        for (int e = 0; e < 18; ++e) previous[static_cast<size_t>(e)] = pose[static_cast<size_t>(e)];
        ASSERT_FLOAT_EQ(tool.radius, radius) << "frame " << frame;
        ASSERT_FLOAT_EQ(tool.opacity, opacity) << "frame " << frame;
        ASSERT_EQ(tool.hit, hit) << "frame " << frame;
    }
}

// ---------------------------------------------------------------------------------------------
// Orbit camera

void expectMatrixNear(const Mat4& actual, const ref::Mat& expected, double tolerance, const std::string& what) {
    for (int k = 0; k < 16; ++k) {
        ASSERT_NEAR(actual[static_cast<size_t>(k)], expected[static_cast<size_t>(k)], tolerance) << what << " element " << k;
    }
}

TEST(OrbitAgainstModel, RandomSessionsOfTurnsZoomsAndPans) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        std::normal_distribution<float> step(0.0f, 0.02f);
        WindowInfo window;
        Camera camera(&window);
        OrbitManipulator orbit(camera);
        ref::Orbit model;
        ArmPose pose{};
        for (int e = 0; e < 18; ++e) pose[static_cast<size_t>(e)] = unit(rng) - 0.5f;  // not where the tool assumes
        for (int frame = 0; frame < 400; ++frame) {
            // Both wrists wander; the wrist distance changes a little per frame.
            for (int e : {POSE_LEFT_WRIST_X, POSE_LEFT_WRIST_Y, POSE_LEFT_REACH, POSE_RIGHT_WRIST_X, POSE_RIGHT_WRIST_Y,
                          POSE_RIGHT_REACH}) {
                pose[static_cast<size_t>(e)] += step(rng);
            }
            float zoom = step(rng);
            if (model.distance < 60.0) zoom = -std::fabs(zoom);
            if (model.distance > 900.0) zoom = std::fabs(zoom);
            pose[POSE_WRIST_DISTANCE] += zoom;
            if (unit(rng) < 0.05f) {  // the window changes shape
                window.width = 300 + static_cast<uint32_t>(unit(rng) * 1700.0f);
                window.height = 200 + static_cast<uint32_t>(unit(rng) * 1000.0f);
                window.aspect = static_cast<float>(window.width) / static_cast<float>(window.height);
                camera.update();
            }
            ref::Pose modelPose{};
            for (int e = 0; e < 18; ++e) modelPose[static_cast<size_t>(e)] = pose[static_cast<size_t>(e)];
            const float grip = unit(rng);
            if (grip < 0.25f) {
                orbit.onNoGrip(pose);
                model.noGrip(modelPose);
            } else if (grip < 0.4f) {
                orbit.onLeftGrip(pose);
                model.leftGrip(modelPose);
            } else if (grip < 0.7f) {
                orbit.onRightGrip(pose);
                model.rightGrip(modelPose);
            } else {
                orbit.onBothGrip(pose);
                model.bothGrip(modelPose);
            }
            std::ostringstream where;
            where << "seed " << seed << " frame " << frame << " grip " << grip;
            const std::string at = where.str();
            // Angles are single-precision sums of single-precision steps: the same in both.
            ASSERT_FLOAT_EQ(orbit.azimuth, model.azimuth) << at;
            ASSERT_FLOAT_EQ(orbit.elevation, model.elevation) << at;
            ASSERT_NEAR(orbit.distance, model.distance, 1e-4 * model.distance) << at;
            const double scale = 1.0 + std::fabs(model.centre[0]) + std::fabs(model.centre[1]) + std::fabs(model.centre[2]) +
                                 model.distance;
            for (int e = 0; e < 3; ++e) ASSERT_NEAR(orbit.centre[e], model.centre[e], 1e-4 * scale) << at << " centre " << e;
            expectMatrixNear(camera.pose, model.pose, 1e-4 * scale, at + " pose");
            expectMatrixNear(camera.view, ref::rigidInverse(model.pose), 2e-4 * scale, at + " view");
            expectMatrixNear(camera.projection, ref::projection(static_cast<double>(window.width) / window.height), 1e-5,
                             at + " projection");
            // The view maps the orbit centre straight ahead at the orbit distance.
            const Mat4& v = camera.view;
            const float ahead = v[2] * orbit.centre[0] + v[6] * orbit.centre[1] + v[10] * orbit.centre[2] + v[14];
            ASSERT_NEAR(ahead, -model.distance, 1e-4 * scale) << at;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Export

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Compares a written height map with the model pixel by pixel; values the model calls too close
// to a step to decide may be one step off, every other byte must be exact.
void expectHeightMap(const std::vector<uint8_t>& file, const std::vector<float>& heights, bool high, bool strict,
                     const std::string& what) {
    ASSERT_EQ(file.size(), 18u + 66049u * 3u) << what;
    const std::vector<uint8_t> blank(66049 * 3, 0);
    const std::vector<uint8_t> header = ref::tgaFile(257, 257, blank);
    for (int b = 0; b < 18; ++b) ASSERT_EQ(file[static_cast<size_t>(b)], header[static_cast<size_t>(b)]) << what << " header byte " << b;
    float hmin = heights[0], hmax = heights[0];
    for (float y : heights) {
        hmin = std::min(hmin, y);
        hmax = std::max(hmax, y);
    }
    const long long top = high ? 16777215 : 765;
    for (int k = 0; k < 66049; ++k) {
        const int column = k % 257, row = k / 257;
        const size_t at = 18 + (static_cast<size_t>(256 - row) * 257 + static_cast<size_t>(column)) * 3;
        const int red = file[at + 2], green = file[at + 1], blue = file[at];
        const float y = heights[static_cast<size_t>(k)];
        bool near = false;
        const long long expected = ref::scaledHeight(y, hmin, hmax, top, near);
        const std::array<uint8_t, 3> pixel = high ? ref::highPixel(expected) : ref::lowPixel(expected);
        const long long got = high ? red * 65536LL + green * 256LL + blue : red + green + blue;
        // The channels must be laid out as the encoding says for whatever value was written.
        const std::array<uint8_t, 3> layout = high ? ref::highPixel(got) : ref::lowPixel(got);
        ASSERT_EQ((std::array<uint8_t, 3>{static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue)}), layout)
            << what << " vertex " << k;
        const bool end = y == hmin || y == hmax;
        if (near && !end && !strict) {
            ASSERT_LE(std::llabs(got - expected), 1) << what << " vertex " << k << " height " << y;
        } else {
            ASSERT_EQ(got, expected) << what << " vertex " << k << " height " << y << " (pixel " << int(pixel[0]) << ","
                                     << int(pixel[1]) << "," << int(pixel[2]) << ")";
        }
    }
}

TEST(ExportAgainstModel, EveryByteOfTheThreeFilesForManyFields) {
    const std::string folder = std::string(BINARY_DIR) + "/export_reference_" + std::to_string(getpid());
    mkdir(folder.c_str(), 0755);
    std::mt19937 rng(77);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const int fields = 14;
    Terrain terrain;  // only the heights change between fields
    for (int field = 0; field < fields; ++field) {
        std::vector<float> heights(66049);
        for (int k = 0; k < 66049; ++k) {
            const float r = unit(rng);
            float y = 0.0f;
            switch (field) {
            case 0: y = 0.0f; break;                                     // flat at zero
            case 1: y = 3.7f; break;                                     // flat elsewhere
            case 2: y = -1000.0f + r; break;                             // negative, narrow
            case 3: y = (r - 0.5f) * 3.0e38f * 2.0f; break;              // span overflows a float
            case 4: y = 1.0f + std::floor(r * 8.0f) * 1.1920929e-7f; break;  // a few ulps apart
            case 5: y = std::floor(r * 4.0f); break;                     // 0..3: exact thirds
            case 6: y = (k == 300) ? 2.5f : 0.0f; break;                 // one raised vertex
            case 7: y = (k == 66048) ? -7.0f : 1.0f; break;              // one sunk corner
            case 8: y = std::sin(k * 0.001f) * 50.0f; break;
            case 9: y = (r - 0.5f) * 1e-30f; break;                      // tiny heights
            case 10: y = 1e20f + r * 1e15f; break;                       // far from zero
            default: y = (r - 0.3f) * 20.0f * static_cast<float>(field); break;
            }
            heights[static_cast<size_t>(k)] = y;
            terrain.vertices[static_cast<size_t>(k)].y = y;
        }
        std::vector<uint8_t> colour(512 * 512 * 3);
        for (uint8_t& b : colour) b = static_cast<uint8_t>(rng());
        const std::string base = folder + "/field" + std::to_string(field);
        const ExportOutcome outcome = exportMapsFromPixels(terrain, colour.data(), 512, 512, base);
        ASSERT_TRUE(outcome.ok) << outcome.message;
        const std::string what = "field " + std::to_string(field);
        EXPECT_EQ(readAll(base + "_colormap.tga"), ref::tgaFile(512, 512, colour)) << what;
        // Fields whose scaled heights are exact whole numbers leave no room for rounding.
        const bool strict = field <= 1 || (field >= 5 && field <= 7);
        expectHeightMap(readAll(base + "_heightmap_high_precision.tga"), heights, true, strict, what + " high");
        expectHeightMap(readAll(base + "_heightmap_low_precision.tga"), heights, false, strict, what + " low");
        for (const char* suffix : {"_colormap.tga", "_heightmap_high_precision.tga", "_heightmap_low_precision.tga"})
            std::remove((base + suffix).c_str());
        if (HasFatalFailure()) break;
    }
    rmdir(folder.c_str());
}

TEST(ExportAgainstModel, TgaLayoutForOddSizes) {
    std::mt19937 rng(3);
    for (auto [w, h] : {std::make_pair(1, 1), std::make_pair(3, 2), std::make_pair(257, 1), std::make_pair(5, 300),
                        std::make_pair(256, 256), std::make_pair(300, 7)}) {
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        for (uint8_t& b : rgb) b = static_cast<uint8_t>(rng());
        EXPECT_EQ(encodeTga(w, h, rgb.data()), ref::tgaFile(w, h, rgb)) << w << " x " << h;
    }
}

// ---------------------------------------------------------------------------------------------
// Menu layout

TEST(RadialMenuAgainstModel, LayoutForManyWindowSizes) {
    RadialMenu menu;
    createRadialMenu(menu, false);
    std::mt19937 rng(9);
    std::uniform_int_distribution<int> side(1, 3000);
    for (int trial = 0; trial < 200; ++trial) {
        const int width = trial == 0 ? 1600 : side(rng), height = trial == 0 ? 1000 : side(rng);
        layoutRadialMenu(menu, width, height);
        ASSERT_EQ(menu.buttons.size(), 10u);
        EXPECT_FLOAT_EQ(menu.buttons[0].size, 48.0f);
        EXPECT_NEAR(menu.buttons[0].x, width - 76.0, 1e-3);
        EXPECT_NEAR(menu.buttons[0].y, height - 148.0 - 1.5 * 48.0, 1e-3);
        for (int i = 1; i <= 8; ++i) {
            const double angle = (i - 1) * 6.28319 / 8.0;
            EXPECT_FLOAT_EQ(menu.buttons[static_cast<size_t>(i)].size, 64.0f);
            EXPECT_NEAR(menu.buttons[static_cast<size_t>(i)].x, 200.0 * std::cos(angle) + width / 2.0, 1e-3) << i;
            EXPECT_NEAR(menu.buttons[static_cast<size_t>(i)].y, 200.0 * std::sin(angle) + height / 2.0, 1e-3) << i;
        }
        EXPECT_FLOAT_EQ(menu.buttons[9].size, 48.0f);
        EXPECT_NEAR(menu.buttons[9].x, width / 2.0, 1e-3);
        EXPECT_NEAR(menu.buttons[9].y, height / 2.0, 1e-3);
    }
}

// The menu's states, counter and button flags against a plain model over random sequences of
// pressed names (in any state, as queued names arrive) and drawn frames.
TEST(RadialMenuAgainstModel, StatesCounterAndButtonFlagsOverRandomSequences) {
    struct ModelButton {
        bool visible = false;
        int state = ButtonDisabled;
        bool disableAfterPress = false;
    };
    std::mt19937 rng(14);
    std::uniform_int_distribution<int> pick(0, 11);
    for (int run = 0; run < 20; ++run) {
        RadialMenu menu;
        createRadialMenu(menu, false);
        layoutRadialMenu(menu, 1600, 1000);
        ModelButton buttons[MENU_BUTTON_COUNT];
        auto show = [&](int i) { buttons[i] = {true, ButtonIdle, false}; };
        auto hide = [&](int i) {
            if (buttons[i].state == ButtonPressed) {
                buttons[i].disableAfterPress = true;
            } else {
                buttons[i].state = ButtonDisabled;
            }
        };
        show(0);
        int state = MenuClosed, counter = 30;
        for (int step = 0; step < 300; ++step) {
            const int event = pick(rng);
            std::string what = "run " + std::to_string(run) + " step " + std::to_string(step);
            if (event < 10 && pick(rng) < 5) {
                // The dwell pressed a button; its name arrives at the start of the next frame.
                menu.buttons[static_cast<size_t>(event)].state = ButtonPressed;
                buttons[event].state = ButtonPressed;
            }
            if (event < 10 || event == 10) {
                const std::string name = event < 10 ? MENU_BUTTON_NAMES[event] : "BUTTON_NOT_IN_THE_MENU";
                what += " " + name;
                const int selected = pressMenuButton(menu, name);
                int expectedTool = -1;
                if (event == 0) {
                    for (int i = 1; i <= 9; ++i) show(i);
                    state = MenuOpening;
                    hide(0);
                } else {
                    if (event >= 1 && event <= 8) expectedTool = event;
                    for (int i = 1; i <= 9; ++i) hide(i);
                    show(0);
                    state = MenuClosing;
                }
                ASSERT_EQ(selected, expectedTool) << what;
            } else {
                what += " frame";
                advanceRadialMenu(menu);
                // A spin that starts at its own end (a name queued while the menu already
                // stood there) ends at once; the counter never leaves 5 ... 30.
                if (state == MenuOpening) {
                    counter = std::max(counter - 1, MENU_COUNTER_OPEN);
                    if (counter == MENU_COUNTER_OPEN) state = MenuOpen;
                } else if (state == MenuClosing) {
                    counter = std::min(counter + 1, MENU_COUNTER_CLOSED);
                    if (counter == MENU_COUNTER_CLOSED) state = MenuClosed;
                }
            }
            ASSERT_EQ(menu.state, state) << what;
            ASSERT_EQ(menu.counter, counter) << what;
            for (int i = 0; i < MENU_BUTTON_COUNT; ++i) {
                const Button& b = menu.buttons[static_cast<size_t>(i)];
                ASSERT_EQ(b.visible, buttons[i].visible) << what << " button " << i;
                ASSERT_EQ(b.state, buttons[i].state) << what << " button " << i;
                ASSERT_EQ(b.disableAfterPress, buttons[i].disableAfterPress) << what << " button " << i;
            }
        }
    }
}

}  // namespace
