// pintara's start-up state, the frame loop's queue order and GL bookkeeping, and the settings
// panel's rows, driven without GLUT callbacks (a GL context from Xvfb in the test run).
#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/sensor/simulated_performer.h"
#include "paint/paint_app.h"
#include "paint/recognition_screen.h"
#include "paint/settings_panel.h"
#include "paint/test_paint_app.h"
#include "widgets/gl_test_context.h"

namespace {

constexpr int WIDTH = 800, HEIGHT = 600;

class PaintFrame : public ::testing::Test {
protected:
    void SetUp() override {
        app = makeTestPaintApp(WIDTH, HEIGHT, 11, quiet);
        if (!app) GTEST_SKIP() << "no display";
    }

    std::string toolName() const { return paintToolName(*app, app->tools.currentTool); }

    std::ostringstream quiet;
    std::unique_ptr<PaintApp> app;
};

std::array<float, 16> currentMatrix(GLenum which) {
    std::array<float, 16> m{};
    glGetFloatv(which, m.data());
    return m;
}

// gluPerspective's matrix, column by column, written out from its definition.
std::array<float, 16> perspective(double fovyDegrees, double aspect, double zNear, double zFar) {
    const double f = 1.0 / std::tan(fovyDegrees * M_PI / 360.0);
    std::array<float, 16> m{};
    m[0] = static_cast<float>(f / aspect);
    m[5] = static_cast<float>(f);
    m[10] = static_cast<float>((zFar + zNear) / (zNear - zFar));
    m[11] = -1.0f;
    m[14] = static_cast<float>(2.0 * zFar * zNear / (zNear - zFar));
    return m;
}

void expectMatrixNear(const std::array<float, 16>& actual, const std::array<float, 16>& expected) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-4f) << "element " << i;
}

TEST_F(PaintFrame, StartUpObjectsAndGlState) {
    // GL state as start-up leaves it for the first frame.
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
    GLint src = 0, dst = 0, pointHint = 0, lineHint = 0, mode = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    glGetIntegerv(GL_POINT_SMOOTH_HINT, &pointHint);
    glGetIntegerv(GL_LINE_SMOOTH_HINT, &lineHint);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_EQ(pointHint, GL_NICEST);
    EXPECT_EQ(lineHint, GL_NICEST);
    EXPECT_EQ(mode, GL_MODELVIEW);
    std::array<float, 4> clear{};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear.data());
    EXPECT_EQ(clear, (std::array<float, 4>{1, 1, 1, 1}));
    expectMatrixNear(currentMatrix(GL_PROJECTION_MATRIX), perspective(45.0, 800.0 / 600.0, 0.1, 1000.0));
    // Looking from (0, 0, 5) at the origin with y up is a move of the world by -5 along z.
    std::array<float, 16> lookAt = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -5, 1};
    expectMatrixNear(currentMatrix(GL_MODELVIEW_MATRIX), lookAt);

    // The application record.
    EXPECT_EQ(std::string(app->window.title), "*** Gesture Recognition via MICROSOFT KINECT ***");
    EXPECT_EQ(app->mode, ModeRecognition);
    EXPECT_TRUE(app->tools.gestureArmed);
    EXPECT_EQ(app->velocityReadout, 0.0f);
    EXPECT_EQ(app->countdown.start, 0u);
    EXPECT_EQ(app->countdown.duration, 0u);
    const char* tools[] = {"NullTool", "Manipulator2D", "Colorpicker", "Brush2D",
                           "StraightLine2D", "Ink2D", "Rubber2D", "StrokeEraser2D"};
    ASSERT_EQ(app->tools.tools.size(), 8u);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(paintToolName(*app, app->tools.tools[i]), std::string(tools[i]));
    EXPECT_EQ(toolName(), "Brush2D");
    const Rgb initial = {{0.0f, 0.55f, 0.75f}};
    EXPECT_EQ(app->currentColor, initial);

    EXPECT_EQ(app->messageLabel.duration, 1500);
    EXPECT_EQ(app->messageLabel.fade, 500u);
    EXPECT_EQ(app->messageLabel.x, 0u);
    EXPECT_EQ(app->messageLabel.y, 0u);
    EXPECT_EQ(app->messageLabel.colour, (std::array<uint8_t, 4>{0, 0, 0, 255}));

    ASSERT_EQ(app->recognitionButtons.size(), 1u);
    const Button& training = app->recognitionButtons[0];
    EXPECT_EQ(training.name, "BUTTON_TRAINING");
    EXPECT_FLOAT_EQ(training.size, 64.0f);
    EXPECT_FLOAT_EQ(training.x, 600.0f);
    EXPECT_FLOAT_EQ(training.y, 450.0f);
    EXPECT_TRUE(training.visible);
    EXPECT_EQ(training.state, ButtonIdle);
    EXPECT_FALSE(training.disableAfterPress);
    for (const Button& b : app->recognitionButtons) {
        EXPECT_EQ(b.colour[0], 0) << b.name;
        EXPECT_EQ(b.colour[1], 210) << b.name;
        EXPECT_EQ(b.colour[2], 255) << b.name;
    }
    for (const Button& b : app->trainingButtons) {
        EXPECT_FLOAT_EQ(b.size, 32.0f) << b.name;
        EXPECT_FALSE(b.visible) << b.name;
        EXPECT_EQ(b.state, ButtonDisabled) << b.name;
        EXPECT_EQ(b.colour[1], 210) << b.name;
    }
}

TEST_F(PaintFrame, ReshapeUsesTheNearerFarPlaneAndLeavesTheModelviewCurrent) {
    reshapePaintApp(*app, 1000, 500);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    expectMatrixNear(currentMatrix(GL_PROJECTION_MATRIX), perspective(45.0, 2.0, 0.1, 100.0));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1000);
    EXPECT_EQ(viewport[3], 500);
}

// Buttons pressed in the previous frame are handled before its recognised gestures: a capture
// button arms, so the rest pose that follows it in the same frame is taken as an armed result
// (a message, no tool change) instead of parking the painting on NullTool.
TEST_F(PaintFrame, ButtonsAreHandledBeforeResultsAtTheStartOfTheFrame) {
    app->tools.gestureArmed = false;  // only the rest pose is watched for
    uint32_t t = 1000;
    for (int i = 0; i < 60 && !app->recognizer->hasResults(); ++i) paintFrame(*app, t += 33);
    ASSERT_TRUE(app->recognizer->hasResults()) << "the performer at rest gave no default gesture";
    app->buttonEvents.push_back("BUTTON_NEW_SET");
    paintFrame(*app, t += 33);
    EXPECT_TRUE(app->recognizer->trainingPending);
    EXPECT_EQ(toolName(), "Brush2D");
    EXPECT_EQ(app->messageLabel.text, "Default Gesture recognized");
}

TEST_F(PaintFrame, WhileDisarmedTheRestPoseParksOnTheNullToolInTheNextFrame) {
    app->tools.gestureArmed = false;
    uint32_t t = 1000;
    for (int i = 0; i < 60 && !app->recognizer->hasResults(); ++i) paintFrame(*app, t += 33);
    ASSERT_TRUE(app->recognizer->hasResults());
    EXPECT_EQ(toolName(), "Brush2D");  // queued in this frame, handled at the start of the next
    paintFrame(*app, t += 33);
    EXPECT_EQ(toolName(), "NullTool");
    EXPECT_TRUE(app->tools.gestureArmed);
    EXPECT_EQ(app->messageLabel.text, "");  // nothing is shown for it
}

TEST_F(PaintFrame, TheReadoutsFollowTheNewestFrame) {
    for (uint32_t t = 1033; t < 1033 + 20 * 33; t += 33) {
        paintFrame(*app, t);
        EXPECT_EQ(app->velocityReadout, app->recognizer->historyRecord(HISTORY_LENGTH - 1).speed) << t;
    }
    std::vector<PanelRow> rows = buildSettingsPanel(*app);
    EXPECT_EQ(rows[9].floatValue, &app->velocityReadout);
    EXPECT_EQ(*rows[10].intValue, static_cast<int>(app->recognizer->marksSnapshot().size()));
}

// Every screen, with and without the capture countdown, leaves the GL state as it found it:
// depth test on, the modelview matrix current, both matrix stacks as deep as before.
TEST_F(PaintFrame, EveryScreenRestoresTheMatricesAndDepthTest) {
    uint32_t t = 1000;
    for (int mode : {ModeRecognition, ModeTraining, ModePainting}) {
        for (bool countdown : {false, true}) {
            app->mode = mode;
            if (countdown) {
                app->countdown.start = t;
                app->countdown.duration = 4000;
            } else {
                app->countdown = Countdown();
            }
            GLint projectionDepth = 0, modelviewDepth = 0;
            glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &projectionDepth);
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &modelviewDepth);
            const std::array<float, 16> projection = currentMatrix(GL_PROJECTION_MATRIX);
            const std::array<float, 16> modelview = currentMatrix(GL_MODELVIEW_MATRIX);
            t += 1500;  // half-way through a second of the countdown
            paintFrame(*app, t);
            const std::string where = std::string(paintModeName(mode)) + (countdown ? " with countdown" : "");
            GLint depth = 0, mode2 = 0;
            glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
            EXPECT_EQ(depth, projectionDepth) << where;
            glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
            EXPECT_EQ(depth, modelviewDepth) << where;
            glGetIntegerv(GL_MATRIX_MODE, &mode2);
            EXPECT_EQ(mode2, GL_MODELVIEW) << where;
            EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << where;
            EXPECT_EQ(currentMatrix(GL_PROJECTION_MATRIX), projection) << where;
            EXPECT_EQ(currentMatrix(GL_MODELVIEW_MATRIX), modelview) << where;
            GLint viewport[4] = {};
            glGetIntegerv(GL_VIEWPORT, viewport);
            EXPECT_EQ(viewport[2], WIDTH) << where;
            EXPECT_EQ(viewport[3], HEIGHT) << where;
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << where;
        }
    }
}

// The graphs are drawn with the depth test the frame leaves on: each shape must still show over
// the ones drawn before it in the same plane.
TEST_F(PaintFrame, TheGraphsShowEveryLineOverTheirShadedAreas) {
    // The test process's one window keeps the size of its first test's.
    const int W = glutGet(GLUT_WINDOW_WIDTH), H = glutGet(GLUT_WINDOW_HEIGHT);
    const auto redPixels = [W, H](int x0, int x1, int y0, int y1) {
        std::vector<GLubyte> rgb(static_cast<size_t>(W) * H * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const GLubyte* p = &rgb[(static_cast<size_t>(y) * W + x) * 3];
                count += p[0] > 200 && p[1] < 60 && p[2] < 60;
            }
        return count;
    };
    ASSERT_TRUE(glIsEnabled(GL_DEPTH_TEST));

    // Marks from 60 to 140 and a speed peak at 100, inside the marked span.
    std::vector<SpeedSample> samples(150);
    for (int i = 60; i <= 140; i += 10) samples[static_cast<size_t>(i)].marked = true;
    for (int i = 95; i <= 105; ++i) samples[static_cast<size_t>(i)].speed = 2.0f;
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawSpeedGraph(samples.data(), 150, 1.0f, 3.0f, W, H);
    EXPECT_GT(redPixels(W / 2 * 62 / 150, W / 2 * 138 / 150, 0, H / 4), 10) << "speed curve in the span";
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));

    // Two peaks, each with its shaded neighbourhood and red line.
    std::vector<float> radii(40, 10.0f);
    radii[10] = radii[30] = 30.0f;
    const int peaks[] = {10, 30};
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawContourGraph(ContourGraph{radii.data(), 40, 12.0f, peaks, 2, 3}, W, H);
    EXPECT_GT(redPixels(W * 3 / 4, W, 0, H / 4), 10) << "peak lines";
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(PaintFrame, SettingsPanelRowsTopToBottom) {
    struct Expected {
        const char* label;
        PanelControl control;
        const void* variable;
    };
    GestureRecognizer& r = *app->recognizer;
    HandStateDetector& right = *app->rightDetector;
    using C = PanelControl;
    const Expected table[] = {
        {"Velocity Low Threshold:", C::FLOAT_SPINNER, &r.velocityLowThreshold},
        {"Velocity High Threshold:", C::FLOAT_SPINNER, &r.velocityHighThreshold},
        {"Max size of moving window:", C::INT_SPINNER, &r.maxMovingWindowSize},
        {"Min recognition interval length:", C::INT_SPINNER, &r.minRecognitionIntervalLength},
        {"Pose Recogn. Threshold:", C::FLOAT_SPINNER, &r.poseRecognitionThreshold},
        {"Default Gesture Threshold:", C::FLOAT_SPINNER, &r.defaultGestureThreshold},
        {"Similarity Measure:", C::MEASURE_LIST, nullptr},
        {"Gesture Recogn. Threshold:", C::FLOAT_SPINNER, &r.gestureRecognitionThreshold},
        {"Nr. Of. Neighbours:", C::INT_SPINNER, &r.numberOfNeighbours},
        {"Current velocity:", C::FLOAT_FIELD, &app->velocityReadout},
        {"Current size of moving window:", C::INT_FIELD, &r.currentWindowSize},
        {"", C::SEPARATOR, nullptr},
        {"Elbow Left:", C::FLOAT_FIELD, &app->pose[0]},
        {"Elbow Right:", C::FLOAT_FIELD, &app->pose[1]},
        {"Elevation Left:", C::FLOAT_FIELD, &app->pose[2]},
        {"Elevation Right:", C::FLOAT_FIELD, &app->pose[3]},
        {"Hor. Add. Left:", C::FLOAT_FIELD, &app->pose[4]},
        {"Hor. Add. Right:", C::FLOAT_FIELD, &app->pose[5]},
        {"Rotation Left:", C::FLOAT_FIELD, &app->pose[6]},
        {"Rotation Right:", C::FLOAT_FIELD, &app->pose[7]},
        {"", C::SEPARATOR, nullptr},
        {"Hand depth treshold:", C::INT_SPINNER, &right.depthThreshold},
        {"Hand contour filter size:", C::INT_SPINNER, &right.filterSize},
        {"Hand contour neighbourhood size:", C::INT_SPINNER, &right.neighbourhood},
        {"Hand contour gradient:", C::FLOAT_SPINNER, &right.gradient},
    };
    const std::vector<PanelRow> rows = buildSettingsPanel(*app);
    ASSERT_EQ(rows.size(), sizeof table / sizeof table[0]);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].label, table[i].label) << "row " << i + 1;
        EXPECT_EQ(rows[i].control, table[i].control) << "row " << i + 1;
        const void* bound = rows[i].floatValue != nullptr ? static_cast<const void*>(rows[i].floatValue)
                                                           : static_cast<const void*>(rows[i].intValue);
        EXPECT_EQ(bound, table[i].variable) << "row " << i + 1;
    }

    // The values the rows show at start.
    EXPECT_FLOAT_EQ(*rows[0].floatValue, 4.0f);
    EXPECT_FLOAT_EQ(*rows[1].floatValue, 1.0f);
    EXPECT_EQ(*rows[2].intValue, 12);
    EXPECT_EQ(*rows[3].intValue, 8);
    EXPECT_FLOAT_EQ(*rows[4].floatValue, 20.0f);
    EXPECT_FLOAT_EQ(*rows[5].floatValue, 28.0f);
    EXPECT_FLOAT_EQ(*rows[7].floatValue, 35.0f);
    EXPECT_EQ(*rows[8].intValue, 3);
    EXPECT_EQ(*rows[21].intValue, 110);
    EXPECT_EQ(*rows[22].intValue, 6);
    EXPECT_EQ(*rows[23].intValue, 8);
    EXPECT_FLOAT_EQ(*rows[24].floatValue, 0.6f);
}

TEST_F(PaintFrame, SimilarityListItemsAndTheMeasuresTheyChoose) {
    struct Item {
        const char* text;
        SimilarityMeasure measure;
    };
    const Item items[] = {
        {"Euclidean", SimilarityMeasure::EUCLIDEAN},
        {"mod. Eudlidean", SimilarityMeasure::MODIFIED_EUCLIDEAN},
        {"Pearson Corr.", SimilarityMeasure::PEARSON_CORRELATION},
        {"sqr. Pearson", SimilarityMeasure::PEARSON_CORRELATION_SQUARED},
        {"DTW", SimilarityMeasure::DTW},
        {"FMDistance", SimilarityMeasure::FM},
    };
    EXPECT_EQ(measureItemOf(*app), 4);  // "DTW" shows at start
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(std::string(measureItemText(i)), items[i].text) << "item " << i;
        ASSERT_TRUE(chooseMeasureItem(*app, i));
        EXPECT_EQ(app->recognizer->similarityMeasure, items[i].measure) << "item " << i;
        EXPECT_EQ(measureItemOf(*app), i);
    }
    EXPECT_EQ(std::string(measureItemText(-1)), "");
    EXPECT_EQ(std::string(measureItemText(6)), "");
    EXPECT_FALSE(chooseMeasureItem(*app, -1));
    EXPECT_EQ(app->recognizer->similarityMeasure, SimilarityMeasure::FM);

    // Measures the list does not offer show no item.
    for (SimilarityMeasure hidden :
         {SimilarityMeasure::MODIFIED_PEARSON, SimilarityMeasure::MODIFIED_DTW, SimilarityMeasure::MODIFIED_FM}) {
        app->recognizer->setSimilarityMeasure(hidden, -1.0f);
        EXPECT_EQ(measureItemOf(*app), -1);
    }
}

}  // namespace
