// What the training screen sends to GL, caught in feedback mode: the framed background, the
// stick figure (live while capturing, else the stored example replayed one record per frame)
// and the set label's place, compared with numbers worked out independently here.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/sensor/simulated_performer.h"
#include "paint/paint_app.h"
#include "paint/test_paint_app.h"
#include "widgets/gl_test_context.h"

namespace {

constexpr int W = 800;
constexpr int H = 600;

struct Vertex {
    float x, y, r, g, b, a, s, t;
};

struct Primitive {
    bool line = false;
    std::vector<Vertex> vertices;
};

std::vector<Primitive> captureTrainingScreen(PaintApp& app, const SkeletonRecord& skeleton) {
    static std::vector<GLfloat> buffer(1 << 20);  // reused: twenty balls of 16 x 16 fit easily
    glViewport(0, 0, W, H);
    glDisable(GL_LIGHTING);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    drawTrainingScreen(app, skeleton);
    const GLint used = glRenderMode(GL_RENDER);
    EXPECT_GE(used, 0) << "feedback buffer overflow";
    std::vector<Primitive> out;
    GLint k = 0;
    auto vertex = [&](Primitive& p) {
        const size_t i = static_cast<size_t>(k);
        p.vertices.push_back({buffer[i], buffer[i + 1], buffer[i + 3], buffer[i + 4], buffer[i + 5], buffer[i + 6],
                              buffer[i + 7] / buffer[i + 10], buffer[i + 8] / buffer[i + 10]});
        k += 11;
    };
    while (k < used) {
        const GLint token = static_cast<GLint>(buffer[static_cast<size_t>(k++)]);
        Primitive p;
        if (token == GL_POLYGON_TOKEN) {
            const GLint n = static_cast<GLint>(buffer[static_cast<size_t>(k++)]);
            for (GLint i = 0; i < n; ++i) vertex(p);
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            p.line = true;
            vertex(p);
            vertex(p);
        } else if (token == GL_POINT_TOKEN) {
            vertex(p);
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            ++k;
            continue;
        } else {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
        out.push_back(p);
    }
    return out;
}

bool colourIs(const Vertex& v, int r, int g, int b, int a) {
    return std::fabs(v.r * 255 - r) < 0.6f && std::fabs(v.g * 255 - g) < 0.6f && std::fabs(v.b * 255 - b) < 0.6f &&
           std::fabs(v.a * 255 - a) < 0.6f;
}

bool near(float x, float y, float ex, float ey, float tolerance = 0.02f) {
    return std::fabs(x - ex) < tolerance && std::fabs(y - ey) < tolerance;
}

// A body whose joints are spread over the screen; `shift` moves all of it sideways (metres).
SkeletonRecord body(float shift) {
    SkeletonRecord s{};
    for (int j = 0; j < JOINT_COUNT; ++j) {
        s.joints[j].x = shift + 0.07f * static_cast<float>(j % 5) - 0.15f;
        s.joints[j].y = 0.8f - 0.08f * static_cast<float>(j);
        s.joints[j].z = 2.0f + 0.01f * static_cast<float>(j);
        s.joints[j].w = 1.0f;
    }
    return s;
}

float screenX(const SkeletonRecord& s, int joint) { return W / 2.0f + 300.0f * s.joints[joint].x; }
float screenY(const SkeletonRecord& s, int joint) { return H / 2.0f + 300.0f * s.joints[joint].y; }

// The figure's bones as joint pairs: spine and head, both arms from the shoulder centre, both
// legs from the hip centre.
std::vector<std::pair<int, int>> bones() {
    const std::vector<std::vector<int>> strips = {
        {0, 1, 2, 3}, {2, 4, 5, 6, 7}, {2, 8, 9, 10, 11}, {0, 12, 13, 14, 15}, {0, 16, 17, 18, 19}};
    std::vector<std::pair<int, int>> out;
    for (const auto& strip : strips)
        for (size_t i = 0; i + 1 < strip.size(); ++i) out.push_back({strip[i], strip[i + 1]});
    return out;
}

// Checks that the figure drawn is the one of `s`: every bone as a line in the bone colour, and a
// ball of radius 0.04 m (12 pixels) in the joint colour around every joint and nowhere else.
void expectFigure(const std::vector<Primitive>& drawn, const SkeletonRecord& s, const std::string& what) {
    std::vector<const Primitive*> boneLines;
    std::vector<int> ballVertices(JOINT_COUNT, 0);
    std::vector<float> ballReach(JOINT_COUNT, 0.0f);
    for (const Primitive& p : drawn) {
        if (p.line && colourIs(p.vertices[0], 0, 170, 200, 255)) boneLines.push_back(&p);
        if (p.line || !colourIs(p.vertices[0], 0, 104, 170, 255)) continue;
        for (const Vertex& v : p.vertices) {
            int owner = -1;
            for (int j = 0; j < JOINT_COUNT && owner < 0; ++j) {
                if (std::hypot(v.x - screenX(s, j), v.y - screenY(s, j)) <= 12.02f) owner = j;
            }
            ASSERT_GE(owner, 0) << what << ": a ball vertex away from every joint at " << v.x << ", " << v.y;
            ++ballVertices[owner];
            ballReach[owner] = std::max(ballReach[owner], std::hypot(v.x - screenX(s, owner), v.y - screenY(s, owner)));
        }
    }
    for (int j = 0; j < JOINT_COUNT; ++j) {
        EXPECT_GE(ballVertices[j], 16 * 16) << what << ": ball of joint " << j;
        EXPECT_NEAR(ballReach[j], 12.0f, 0.3f) << what << ": ball of joint " << j;
    }
    const auto expectedBones = bones();
    ASSERT_EQ(boneLines.size(), expectedBones.size()) << what;
    for (size_t i = 0; i < expectedBones.size(); ++i) {
        const auto [a, b] = expectedBones[i];
        const Primitive& line = *boneLines[i];
        EXPECT_TRUE(near(line.vertices[0].x, line.vertices[0].y, screenX(s, a), screenY(s, a)) &&
                    near(line.vertices[1].x, line.vertices[1].y, screenX(s, b), screenY(s, b)))
            << what << ": bone " << a << "-" << b << " drawn from " << line.vertices[0].x << ", " << line.vertices[0].y;
    }
}

class TrainingDrawingReference : public ::testing::Test {
protected:
    void SetUp() override {
        app = makeTestPaintApp(W, H, 7, quiet);
        if (!app) GTEST_SKIP() << "no display";
        app->nowMs = 5000;
        app->mode = ModeTraining;
        for (Button& b : app->trainingButtons) b.visible = false;  // the buttons are compared elsewhere
    }

    std::ostringstream quiet;
    std::unique_ptr<PaintApp> app;
};

}  // namespace

TEST_F(TrainingDrawingReference, BackgroundFrameAndLiveFigureWhileCapturing) {
    app->recognizer->requestTraining(true, false);
    const SkeletonRecord live = body(0.1f);
    const std::vector<Primitive> drawn = captureTrainingScreen(*app, live);

    // The background: the image inside 5 % margins, first image row at the top, tinted.
    const float corners[4][4] = {{0.05f * W, 0.05f * H, 0, 1}, {0.95f * W, 0.05f * H, 1, 1},
                                 {0.95f * W, 0.95f * H, 1, 0}, {0.05f * W, 0.95f * H, 0, 0}};
    for (const auto& c : corners) {
        bool found = false;
        for (const Primitive& p : drawn)
            for (const Vertex& v : p.vertices)
                found = found || (!p.line && near(v.x, v.y, c[0], c[1]) && colourIs(v, 240, 255, 255, 255) &&
                                  std::fabs(v.s - c[2]) < 1e-6f && std::fabs(v.t - c[3]) < 1e-6f);
        EXPECT_TRUE(found) << "background corner " << c[0] << ", " << c[1];
    }
    // The black outline: a closed strip through the four corners.
    int outline = 0;
    for (const Primitive& p : drawn) {
        if (!p.line || !colourIs(p.vertices[0], 0, 0, 0, 255)) continue;
        const auto& a = corners[outline % 4];
        const auto& b = corners[(outline + 1) % 4];
        EXPECT_TRUE(near(p.vertices[0].x, p.vertices[0].y, a[0], a[1]) && near(p.vertices[1].x, p.vertices[1].y, b[0], b[1]))
            << "outline segment " << outline;
        ++outline;
    }
    EXPECT_EQ(outline, 4);
    ASSERT_NO_FATAL_FAILURE(expectFigure(drawn, live, "live figure"));
}

TEST_F(TrainingDrawingReference, StoredExamplesReplayOneRecordPerFrameAndKeepTheirPlace) {
    GestureSet set;
    set.type = GestureType::RIGHT;
    for (int g = 0; g < 2; ++g) {
        Gesture gesture;
        gesture.type = GestureType::RIGHT;
        gesture.poses.resize(3);
        for (int r = 0; r < 3 + g; ++r) gesture.skeletons.push_back(body(0.1f * r - 0.3f * g));
        set.gestures.push_back(gesture);
    }
    app->recognizer->TrainedGestureSets.push_back(set);
    handleButton(*app, "BUTTON_TRAINING");
    for (Button& b : app->trainingButtons) b.visible = false;
    const SkeletonRecord live = body(0.5f);  // not shown: no capture is armed

    // Example 1 of 3 records: 0, 1, 2, 0, 1.
    for (int frame = 0; frame < 5; ++frame) {
        const std::vector<Primitive> drawn = captureTrainingScreen(*app, live);
        ASSERT_NO_FATAL_FAILURE(expectFigure(drawn, body(0.1f * (frame % 3)), "example 1 frame " + std::to_string(frame)));
    }
    // Example 2 (4 records) starts at its own counter; coming back to example 1 goes on at record 2.
    handleButton(*app, "BUTTON_NEXT_GEST");
    for (int frame = 0; frame < 5; ++frame) {
        const std::vector<Primitive> drawn = captureTrainingScreen(*app, live);
        ASSERT_NO_FATAL_FAILURE(
            expectFigure(drawn, body(0.1f * (frame % 4) - 0.3f), "example 2 frame " + std::to_string(frame)));
    }
    handleButton(*app, "BUTTON_PREV_GEST");
    ASSERT_NO_FATAL_FAILURE(expectFigure(captureTrainingScreen(*app, live), body(0.2f), "back to example 1"));

    // The set line sits at 6 % of the window from the lower-left corner, 24 pixels high, black.
    EXPECT_EQ(app->gestureLabel.text, "Gesture Set: 1 / 1 - Gesture: 1 / 2 - RIGHT");
    const std::vector<Primitive> drawn = captureTrainingScreen(*app, live);
    bool labelCorner = false, labelTop = false;
    for (const Primitive& p : drawn) {
        for (const Vertex& v : p.vertices) {
            labelCorner = labelCorner || (near(v.x, v.y, 48.0f, 36.0f) && colourIs(v, 0, 0, 0, 255));
            labelTop = labelTop || (near(v.x, v.y, 48.0f, 60.0f) && colourIs(v, 0, 0, 0, 255));
        }
    }
    EXPECT_TRUE(labelCorner);
    EXPECT_TRUE(labelTop);
}
