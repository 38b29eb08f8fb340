// The terrain's kept picture: a copy must be exactly what drawing would give, colour and depth,
// and anything that changes the picture must be drawn in the very frame it changes.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gl_test_window.h"
#include "common/sensor/hand_pointer.h"
#include "common/widgets/framebuffer_objects.h"
#include "terrain/orbit_manipulator.h"
#include "terrain/terra_colorizer.h"
#include "terrain/terrain.h"
#include "terrain/terrain_image_cache.h"

namespace {

struct Frame {
    std::vector<GLubyte> colour;
    std::vector<GLuint> depth;
};

Frame readFrame(int width = TEST_WINDOW_WIDTH, int height = TEST_WINDOW_HEIGHT) {
    Frame frame;
    frame.colour.resize(static_cast<size_t>(width) * height * 3);
    frame.depth.resize(static_cast<size_t>(width) * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, frame.colour.data());
    glReadPixels(0, 0, width, height, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, frame.depth.data());
    return frame;
}

size_t differingPixels(const Frame& a, const Frame& b) {
    size_t differing = 0;
    for (size_t p = 0; p < a.depth.size(); ++p) {
        const size_t i = 3 * p;
        if (a.colour[i] != b.colour[i] || a.colour[i + 1] != b.colour[i + 1] || a.colour[i + 2] != b.colour[i + 2] ||
            a.depth[p] != b.depth[p])
            ++differing;
    }
    return differing;
}

// The GL state the overlays drawn after the terrain start from.
struct StateAfter {
    GLfloat colour[4];
    GLfloat normal[3];
    GLint texture;
    GLint shadeModel;
    GLboolean lighting, texturing, blending;
};

StateAfter readState() {
    StateAfter s{};
    glGetFloatv(GL_CURRENT_COLOR, s.colour);
    glGetFloatv(GL_CURRENT_NORMAL, s.normal);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
    glGetIntegerv(GL_SHADE_MODEL, &s.shadeModel);
    s.lighting = glIsEnabled(GL_LIGHTING);
    s.texturing = glIsEnabled(GL_TEXTURE_2D);
    s.blending = glIsEnabled(GL_BLEND);
    return s;
}

void expectSameState(const StateAfter& a, const StateAfter& b) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a.colour[i], b.colour[i]) << "colour " << i;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(a.normal[i], b.normal[i]) << "normal " << i;
    EXPECT_EQ(a.texture, b.texture);
    EXPECT_EQ(a.shadeModel, b.shadeModel);
    EXPECT_EQ(a.lighting, b.lighting);
    EXPECT_EQ(a.texturing, b.texturing);
    EXPECT_EQ(a.blending, b.blending);
}

class TerrainImage : public ::testing::Test {
protected:
    WindowInfo window{"terrain test", 1.6f, TEST_WINDOW_HEIGHT, TEST_WINDOW_WIDTH};
    Camera camera{&window};
    Terrain terrain;
    TerrainImageCache cache;

    void SetUp() override {
        if (!openTestWindow()) GTEST_SKIP() << "no display";
        terrain.initGraphics();
        raiseHills(terrain);
        OrbitManipulator orbit(camera);
        orbit.distance = 200.0f;
        orbit.updateCamera();
        loadCamera(camera);
        glViewport(0, 0, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
    }

    void TearDown() override {
        glViewport(0, 0, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glLightfv(GL_LIGHT0, GL_POSITION, defaultLight);
        glPopMatrix();
    }

    // What drawing straight into the window gives, and the state it leaves.
    Frame drawnDirectly(StateAfter* state = nullptr) {
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glColor3f(0.2f, 0.3f, 0.4f);
        glNormal3f(0.0f, 0.0f, 1.0f);
        terrain.draw();
        if (state != nullptr) *state = readState();
        return readFrame();
    }

    // One frame through the cache, starting from a state unlike the one the terrain leaves.
    Frame throughCache(StateAfter* state = nullptr) {
        glColor3f(0.2f, 0.3f, 0.4f);
        glNormal3f(0.0f, 0.0f, 1.0f);
        cache.draw(terrain);
        if (state != nullptr) *state = readState();
        return readFrame();
    }

    // The frame after `change`, made over a kept picture: it must be drawn (only in part when
    // `inPart`) and have the colour, depth and state of a whole draw, which is returned.
    Frame expectDrawnAfter(const std::function<void()>& change, bool inPart) {
        const int drawnBefore = cache.framesDrawn, partBefore = cache.framesDrawnInPart;
        change();
        StateAfter state{};
        const Frame got = throughCache(&state);
        EXPECT_EQ(cache.framesDrawn, drawnBefore + 1);
        EXPECT_EQ(cache.framesDrawnInPart, partBefore + (inPart ? 1 : 0));
        StateAfter drawnState{};
        const Frame expected = drawnDirectly(&drawnState);
        EXPECT_EQ(differingPixels(got, expected), 0u);
        expectSameState(state, drawnState);
        return expected;
    }

    const GLfloat defaultLight[4] = {0.0f, 0.0f, 1.0f, 0.0f};
};

// Views in which the terrain fills the middle of the window, a small part of it, or lies partly
// behind the eye (where the part it covers cannot be bounded and the whole window is copied);
// each plain and with the normals shown.
TEST_F(TerrainImage, ACopiedPictureIsTheDrawnOneInColourDepthAndState) {
    struct View {
        const char* name;
        float distance, elevation, azimuth;
        size_t minimumCovered;  // pixels the terrain must cover for the view to mean anything
    };
    const View views[] = {{"middle", 200.0f, 50.0f, 50.0f, TEST_WINDOW_WIDTH * TEST_WINDOW_HEIGHT / 4},
                          {"far", 800.0f, 60.0f, 20.0f, 1000},
                          {"inside", 30.0f, 4.0f, 200.0f, TEST_WINDOW_WIDTH * TEST_WINDOW_HEIGHT / 4}};
    for (const View& view : views) {
        OrbitManipulator orbit(camera);
        orbit.distance = view.distance;
        orbit.elevation = view.elevation;
        orbit.azimuth = view.azimuth;
        orbit.updateCamera();
        loadCamera(camera);
        for (bool normals : {false, true}) {
            SCOPED_TRACE(std::string(view.name) + (normals ? ", normals shown" : ", plain"));
            terrain.showNormals = normals;
            StateAfter drawnState{};
            const Frame expected = drawnDirectly(&drawnState);
            size_t covered = 0;
            for (GLuint d : expected.depth) covered += d != 0xFFFFFFFFu ? 1 : 0;
            ASSERT_GT(covered, view.minimumCovered);

            const int drawnBefore = cache.framesDrawn, copiedBefore = cache.framesCopied;
            // A changed view draws; the next two frames, unchanged, draw and keep the picture's
            // colour and then its depth; the ones after copy it. The cache's very first frame,
            // which copies its picture out anyway to have the renderer build its copying code,
            // keeps that picture at once.
            const bool firstFrame = cache.framesDrawn == 0;
            for (int frame = 0; frame < 5; ++frame) {
                SCOPED_TRACE("frame " + std::to_string(frame));
                StateAfter state{};
                const Frame got = throughCache(&state);
                EXPECT_EQ(differingPixels(got, expected), 0u);
                expectSameState(state, drawnState);
            }
            ASSERT_FALSE(cache.disabled()) << "this context should copy the window's picture";
            EXPECT_EQ(cache.framesDrawn - drawnBefore, firstFrame ? 1 : 3);
            EXPECT_EQ(cache.framesCopied - copiedBefore, firstFrame ? 4 : 2);
        }
    }
}

// The cache's first frame keeps its picture straight away: a second frame like it is copied,
// and the changes after it are drawn, in part or whole, from that picture.
TEST_F(TerrainImage, TheFirstFramesPictureIsKeptAtOnce) {
    StateAfter drawnState{};
    const Frame expected = drawnDirectly(&drawnState);
    throughCache();
    ASSERT_FALSE(cache.disabled()) << "this context should copy the window's picture";
    ASSERT_EQ(cache.framesDrawn, 1);
    StateAfter state{};
    EXPECT_EQ(differingPixels(throughCache(&state), expected), 0u);
    expectSameState(state, drawnState);
    EXPECT_EQ(cache.framesCopied, 1);
    EXPECT_EQ(cache.framesDrawn, 1);

    expectDrawnAfter(
        [&] {
            TerrainVertex& v = terrain.vertexAt(100, 140);
            v.y += 25.0f;
            terrain.markDirty(v);
            terrain.updateNormals();
        },
        true);
    expectDrawnAfter(
        [&] {
            OrbitManipulator orbit(camera);
            orbit.distance = 260.0f;
            orbit.azimuth = 120.0f;
            orbit.updateCamera();
            loadCamera(camera);
        },
        false);
}

// A first frame whose viewport does not start at the window's corner keeps nothing; the frames
// after it draw until the picture is kept as usual.
TEST_F(TerrainImage, AFirstFrameOffTheCornerKeepsNothing) {
    glViewport(20, 10, TEST_WINDOW_WIDTH - 40, TEST_WINDOW_HEIGHT - 20);
    const Frame expected = drawnDirectly();
    throughCache();
    EXPECT_EQ(differingPixels(throughCache(), expected), 0u);
    EXPECT_EQ(cache.framesCopied, 0);
    EXPECT_EQ(cache.framesDrawn, 2);
}

// Each way the picture can change, made after the picture was kept: the next frame must draw
// and show the change.
TEST_F(TerrainImage, EveryChangeIsDrawnInTheFrameItHappens) {
    Camera other{&window};
    OrbitManipulator orbit(other);
    orbit.distance = 150.0f;
    orbit.azimuth = 80.0f;
    orbit.updateCamera();
    const GLfloat movedLight[4] = {0.3f, 1.0f, 0.2f, 0.0f};
    TerrainVertex& middle = terrain.vertexAt(128, 128);
    const std::vector<std::pair<std::string, std::function<void()>>> changes = {
        {"a height", [&] { middle.y += 25.0f; }},
        {"a normal", [&] {
             middle.nx = 0.6f;
             middle.ny = 0.8f;
             middle.nz = 0.0f;
         }},
        {"the colour map", [&] {
             std::vector<GLubyte> red(64 * 64 * 3, 0);
             for (size_t i = 0; i < red.size(); i += 3) red[i] = 255;
             glBindTexture(GL_TEXTURE_2D, terrain.colourMap);
             glTexSubImage2D(GL_TEXTURE_2D, 0, 224, 224, 64, 64, GL_RGB, GL_UNSIGNED_BYTE, red.data());
             ++terrain.colourMapRevision;
         }},
        {"the normals shown", [&] { terrain.showNormals = !terrain.showNormals; }},
        {"the view", [&] {
             glMatrixMode(GL_MODELVIEW);
             glLoadMatrixf(other.view.data());
         }},
        {"the projection", [&] {
             glMatrixMode(GL_PROJECTION);
             glScalef(1.25f, 1.25f, 1.0f);  // a narrower field of view
             glMatrixMode(GL_MODELVIEW);
         }},
        {"the light", [&] {
             glMatrixMode(GL_MODELVIEW);
             glPushMatrix();
             glLoadIdentity();
             glLightfv(GL_LIGHT0, GL_POSITION, movedLight);
             glPopMatrix();
         }},
        {"the viewport", [&] { glViewport(0, 0, TEST_WINDOW_WIDTH - 100, TEST_WINDOW_HEIGHT - 60); }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        for (int i = 0; i < 3; ++i) throughCache();
        const int copiedFirst = cache.framesCopied;
        const Frame before = throughCache();
        ASSERT_FALSE(cache.disabled());
        ASSERT_EQ(cache.framesCopied, copiedFirst + 1) << "the picture should be kept before the change";
        const int drawnBefore = cache.framesDrawn;

        change();
        const Frame got = throughCache();
        EXPECT_EQ(cache.framesDrawn, drawnBefore + 1);
        const Frame expected = drawnDirectly();
        EXPECT_GT(differingPixels(expected, before), 0u) << "the change should show";
        EXPECT_EQ(differingPixels(got, expected), 0u);
        // Kept again three frames later, at the new size where the viewport changed.
        throughCache();
        throughCache();
        const int copiedBefore = cache.framesCopied;
        EXPECT_EQ(differingPixels(throughCache(), expected), 0u);
        EXPECT_EQ(cache.framesCopied, copiedBefore + 1);
    }
}

// A brush at work changes only vertices: the frame draws only around them, over the kept
// picture, and must still be exactly the drawn one, frame after frame, wherever the brush is.
TEST_F(TerrainImage, ABrushAtWorkIsDrawnAroundItsVerticesWithTheDrawnPicture) {
    // Kept first from nearer, so that the kept buffer holds terrain where the view below
    // shows none.
    for (int i = 0; i < 4; ++i) throughCache();
    OrbitManipulator orbit(camera);
    orbit.distance = 260.0f;
    orbit.elevation = 35.0f;
    orbit.azimuth = 30.0f;
    orbit.updateCamera();
    loadCamera(camera);
    // A mound of the given height and radius (in cells) around a vertex, with its normals
    // recomputed as the brushes do.
    const auto mound = [&](int column, int row, int radius, float height) {
        for (int j = row - radius; j <= row + radius; ++j) {
            for (int i = column - radius; i <= column + radius; ++i) {
                if (i < 0 || j < 0 || i > terrain.columns || j > terrain.rows) continue;
                const float d = std::hypot(static_cast<float>(i - column), static_cast<float>(j - row)) / radius;
                if (d >= 1.0f) continue;
                TerrainVertex& v = terrain.vertexAt(i, j);
                v.y += height * (1.0f - d * d);
                terrain.markDirty(v);
            }
        }
        terrain.updateNormals();
    };
    struct Step {
        const char* what;
        int column, row, radius;
        float height;
        bool inPart;  // drawn only around the change
        bool shows;   // the change is in sight
    };
    const Step steps[] = {
        {"a hill in the middle", 128, 128, 12, 20.0f, true, true},
        {"the same hill, higher", 128, 128, 12, 15.0f, true, true},
        {"a tall peak reaching past the top of the terrain's picture", 60, 200, 6, 120.0f, true, true},
        {"the peak brought down again", 60, 200, 6, -120.0f, true, true},
        {"a dent at the terrain's corner", 256, 0, 5, -8.0f, true, true},
        {"a dent at the terrain's edge", 256, 140, 4, -6.0f, true, true},
        {"a dent out of sight", 0, 256, 5, -8.0f, true, false},
        {"the whole terrain raised", 128, 128, 200, 3.0f, false, true},
    };
    for (int i = 0; i < 4; ++i) throughCache();
    ASSERT_FALSE(cache.disabled());
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const Frame before = throughCache();
        const Frame expected =
            expectDrawnAfter([&] { mound(step.column, step.row, step.radius, step.height); }, step.inPart);
        EXPECT_EQ(differingPixels(expected, before) > 0, step.shows);
        // The picture kept after drawing in part is copied in the next unchanged frame; after a
        // whole draw it is kept over the two frames after.
        if (step.inPart) {
            const int copiedBefore = cache.framesCopied;
            EXPECT_EQ(differingPixels(throughCache(), expected), 0u);
            EXPECT_EQ(cache.framesCopied, copiedBefore + 1);
        } else {
            for (int i = 0; i < 3; ++i) EXPECT_EQ(differingPixels(throughCache(), expected), 0u);
        }
    }
    // A brush gripping over many frames: every frame drawn in part, and each the drawn picture.
    const int partBefore = cache.framesDrawnInPart;
    for (int frame = 0; frame < 6; ++frame) {
        SCOPED_TRACE("gripping, frame " + std::to_string(frame));
        mound(100 + 3 * frame, 90, 8, 4.0f);
        const Frame got = throughCache();
        EXPECT_EQ(differingPixels(got, drawnDirectly()), 0u);
    }
    EXPECT_EQ(cache.framesDrawnInPart, partBefore + 6);
    // A height that is no number cannot be bounded: the whole terrain is drawn.
    throughCache();
    terrain.vertexAt(50, 50).y = NAN;
    const int partBeforeNan = cache.framesDrawnInPart;
    const Frame got = throughCache();
    EXPECT_EQ(cache.framesDrawnInPart, partBeforeNan);
    EXPECT_EQ(differingPixels(got, drawnDirectly()), 0u);
}

// The colour brush changes the colour map's texels and nothing else the cache compares but the
// map's revision, which its stamp counts, telling where it painted: the frame draws only the
// faces reading those texels, and must still show what a whole draw shows.
TEST_F(TerrainImage, AColourStampIsDrawnInTheFrameItHappens) {
    HandPointer pointer(1, &window);
    const std::array<float, 3> paint{{1.0f, 0.0f, 0.0f}};
    TerraColorizer brush(pointer, terrain, window, paint);
    struct Step {
        const char* what;
        std::vector<std::array<float, 2>> stamps;  // grid x, z
        bool inPart;
    };
    const Step steps[] = {
        {"a stamp in the middle", {{128.0f, 128.0f}}, true},
        {"a stamp at the map's near edge", {{128.0f, 0.5f}}, true},
        {"a stamp at the map's side edge", {{255.0f, 100.0f}}, true},
        {"two stamps near each other in one frame", {{60.0f, 60.0f}, {70.0f, 75.0f}}, true},
        // One box around both spans most of the picture: drawn whole.
        {"two stamps far apart in one frame", {{40.0f, 60.0f}, {200.0f, 190.0f}}, false},
    };
    for (int i = 0; i < 4; ++i) throughCache();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const int drawnBefore = cache.framesDrawn;
        const Frame before = throughCache();
        ASSERT_EQ(cache.framesDrawn, drawnBefore) << "the picture should be kept before the stamp";
        const Frame expected = expectDrawnAfter(
            [&] {
                for (const auto& at : step.stamps) ASSERT_TRUE(brush.stamp(at[0], at[1]));
            },
            step.inPart);
        EXPECT_GT(differingPixels(expected, before), 0u) << "the stamp should show";
        EXPECT_EQ(differingPixels(throughCache(), expected), 0u);
    }
    // A writer that only counts its change (the map's texels replaced directly) gets the whole
    // terrain drawn, before or after a stamp told its own area in the same frame.
    const auto paintDirectly = [&](int u, int v) {
        std::vector<GLubyte> blue(64 * 64 * 3, 0);
        for (size_t i = 2; i < blue.size(); i += 3) blue[i] = 255;
        glBindTexture(GL_TEXTURE_2D, terrain.colourMap);
        glTexSubImage2D(GL_TEXTURE_2D, 0, u, v, 64, 64, GL_RGB, GL_UNSIGNED_BYTE, blue.data());
        ++terrain.colourMapRevision;
    };
    struct Order {
        const char* what;
        bool stampBefore, stampAfter;
    };
    const Order orders[] = {{"stamp, then texels replaced", true, false},
                            {"texels replaced, then stamp", false, true},
                            {"stamp, texels replaced, stamp", true, true}};
    for (const Order& order : orders) {
        SCOPED_TRACE(order.what);
        throughCache();
        throughCache();
        if (order.stampBefore) {
            ASSERT_TRUE(brush.stamp(128.0f, 128.0f));
        }
        paintDirectly(order.stampBefore ? 40 : 300, 400);
        if (order.stampAfter) {
            ASSERT_TRUE(brush.stamp(120.0f, 120.0f));
        }
        const int partBefore = cache.framesDrawnInPart;
        const Frame got = throughCache();
        EXPECT_EQ(cache.framesDrawnInPart, partBefore);
        EXPECT_EQ(differingPixels(got, drawnDirectly()), 0u);
    }
}

// One vertex moved changes the six faces around it, whose other vertices stay where they were;
// and far from the origin the renderer's float rounding moves vertices by pixels. Each frame
// drawn in part must still be the drawn one.
TEST_F(TerrainImage, ASingleVertexAndAPlateauFarUpAreDrawnWithAllTheirFaces) {
    struct Place {
        const char* what;
        float height;    // of the whole terrain
        float distance;  // of the eye from the middle of the terrain at that height
        int inPart;      // frames at least drawn in part (far up, the rounding may leave none)
    };
    const Place places[] = {{"close by", 0.0f, 40.0f, 40}, {"on a plateau ten million units up", 1e7f, 25.0f, 0}};
    for (const Place& place : places) {
        SCOPED_TRACE(place.what);
        for (TerrainVertex& v : terrain.vertices) v.y = place.height;
        OrbitManipulator orbit(camera);
        orbit.centre[1] = place.height;
        orbit.distance = place.distance;
        orbit.elevation = 30.0f;
        orbit.azimuth = 40.0f;
        orbit.updateCamera();
        loadCamera(camera);
        for (int i = 0; i < 3; ++i) throughCache();
        const int partBefore = cache.framesDrawnInPart;
        int mismatched = 0;
        for (int column = 120; column <= 136; column += 4) {
            for (int row = 120; row <= 136; row += 4) {
                TerrainVertex& v = terrain.vertexAt(column, row);
                for (const float y : {place.height + 4.0f, place.height}) {
                    v.y = y;
                    if (differingPixels(throughCache(), drawnDirectly()) != 0 && ++mismatched <= 3) {
                        ADD_FAILURE() << "vertex " << column << ", " << row << " at " << y;
                    }
                }
            }
        }
        EXPECT_EQ(mismatched, 0);
        EXPECT_GE(cache.framesDrawnInPart, partBefore + place.inPart);
    }
}

// Brushes at work in random places, sizes and views, some frames with both kinds of change or
// none: every frame must be the drawn one, however it was made.
TEST_F(TerrainImage, RandomBrushWorkAlwaysShowsTheDrawnPicture) {
    HandPointer pointer(1, &window);
    const std::array<float, 3> paint{{0.1f, 0.2f, 0.9f}};
    TerraColorizer brush(pointer, terrain, window, paint);
    std::mt19937 random(17);
    std::uniform_real_distribution<float> place(-4.0f, 260.0f), unit(0.0f, 1.0f);
    OrbitManipulator orbit(camera);
    int mismatched = 0, frame = 0;
    const auto check = [&] {
        const Frame got = throughCache();
        if (differingPixels(got, drawnDirectly()) != 0 && ++mismatched <= 3) {
            ADD_FAILURE() << "frame " << frame << " differs from the drawn picture";
        }
        ++frame;
    };
    // Episodes: the view moves now and then, two quiet frames keep the picture, then a few
    // frames of random brush work.
    for (int episode = 0; episode < 8; ++episode) {
        if (episode % 3 == 2) {
            orbit.distance = 150.0f + 250.0f * unit(random);
            orbit.elevation = 10.0f + 70.0f * unit(random);
            orbit.azimuth = 360.0f * unit(random);
            orbit.updateCamera();
            loadCamera(camera);
        }
        check();
        check();
        for (int work = 0; work < 3; ++work) {
            if (unit(random) < 0.6f) {  // a height brush's change
                const int column = static_cast<int>(place(random)), row = static_cast<int>(place(random));
                const int radius = 1 + static_cast<int>(12.0f * unit(random));
                for (int j = row - radius; j <= row + radius; ++j) {
                    for (int i = column - radius; i <= column + radius; ++i) {
                        if (i < 0 || j < 0 || i > terrain.columns || j > terrain.rows) continue;
                        TerrainVertex& v = terrain.vertexAt(i, j);
                        v.y += 30.0f * (unit(random) - 0.4f);
                        terrain.markDirty(v);
                    }
                }
                terrain.updateNormals();
            }
            if (unit(random) < 0.6f) {  // a colour stamp
                brush.radius = 0.5f + 10.0f * unit(random);
                brush.stamp(place(random), place(random));
            }
            check();
        }
    }
    EXPECT_EQ(mismatched, 0);
    EXPECT_GT(cache.framesDrawnInPart, 8);
    EXPECT_GT(cache.framesCopied, 2);
}

// The window system can change the window's size a frame before the program hears of it and
// sets the viewport. The renderer rasterises a little differently in a window of another size,
// so that frame must draw, not copy.
TEST_F(TerrainImage, AWindowResizedBeforeItsViewportStillDraws) {
    const auto windowSize = [] {
        unsigned int size[2] = {0, 0};
        currentDrawableSize(size);
        return std::array<unsigned int, 2>{{size[0], size[1]}};
    };
    glutDisplayFunc([] {});  // GLUT handles no events for a window without one
    const auto resize = [&](int width, int height) {
        glutReshapeWindow(width, height);
        for (int i = 0; i < 400 && windowSize()[0] != static_cast<unsigned int>(width); ++i) {
            glutMainLoopEvent();
            glFinish();
        }
        // What GLUT did with the viewport meanwhile is undone: the program has not heard yet.
        glViewport(0, 0, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
        return windowSize()[0] == static_cast<unsigned int>(width) &&
               windowSize()[1] == static_cast<unsigned int>(height);
    };
    for (int i = 0; i < 4; ++i) throughCache();
    const int drawnBefore = cache.framesDrawn;
    const bool resized = resize(TEST_WINDOW_WIDTH + 40, TEST_WINDOW_HEIGHT + 30);
    if (resized) {
        throughCache();
        EXPECT_EQ(cache.framesDrawn, drawnBefore + 1);
    }
    ASSERT_TRUE(resize(TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT)) << "the test window did not come back to its size";
    ASSERT_TRUE(resized) << "the window system did not resize the test window";
}

// A picture kept before the window shrank must not be copied once it has grown back: the kept
// one is remade at the new size first.
TEST_F(TerrainImage, AViewportBackToItsOldSizeStillDrawsFirst) {
    for (int i = 0; i < 4; ++i) throughCache();
    glViewport(0, 0, 300, 200);
    for (int i = 0; i < 4; ++i) throughCache();
    glViewport(0, 0, TEST_WINDOW_WIDTH, TEST_WINDOW_HEIGHT);
    const int drawnBefore = cache.framesDrawn;
    const Frame got = throughCache();
    EXPECT_EQ(cache.framesDrawn, drawnBefore + 1);
    EXPECT_EQ(differingPixels(got, drawnDirectly()), 0u);
}

}  // namespace
