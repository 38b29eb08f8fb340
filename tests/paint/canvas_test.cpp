// Stroke ids, the open stroke, list edits and the view transform's matrix operations.
#include <gtest/gtest.h>

#include <cmath>

#include "paint/canvas.h"

namespace {

void expectMatrixNear(const Matrix4& a, const Matrix4& b, float tolerance) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(a[i], b[i], tolerance) << "element " << i;
    }
}

CanvasPoint apply(const Matrix4& m, float x, float y) {
    return CanvasPoint{m[0] * x + m[4] * y + m[12], m[1] * x + m[5] * y + m[13]};
}

}  // namespace

TEST(Canvas, IdsCountFromOneAndWrapAtOneBillion) {
    Canvas canvas;
    EXPECT_EQ(canvas.newStrokeId(), 1);
    EXPECT_EQ(canvas.newStrokeId(), 2);
    canvas.idCounter = 999999998;
    EXPECT_EQ(canvas.newStrokeId(), 999999999);
    EXPECT_EQ(canvas.newStrokeId(), 0);
    EXPECT_EQ(canvas.newStrokeId(), 1);
}

TEST(Canvas, OpenStrokeIsMadeOnlyWhenTheLastStrokeHasPoints) {
    Canvas canvas;
    canvas.appendOpenStrokeIfNeeded();
    canvas.appendOpenStrokeIfNeeded();
    ASSERT_EQ(canvas.strokes.size(), 1u);
    EXPECT_TRUE(canvas.strokes[0].points.empty());
    EXPECT_EQ(canvas.strokes[0].id, 1);
    EXPECT_EQ(canvas.strokes[0].width, 0.0f);

    canvas.openStroke().points.push_back(CanvasPoint{1.0f, 2.0f});
    Stroke& open = canvas.openStroke();  // the last stroke is painted now: a new one follows
    EXPECT_TRUE(open.points.empty());
    EXPECT_EQ(open.id, 2);
    EXPECT_EQ(canvas.strokes.size(), 2u);
}

TEST(Canvas, InsertEraseAndFindKeepTheOrder) {
    Canvas canvas;
    for (int i = 0; i < 4; ++i) {
        Stroke s;
        s.id = canvas.newStrokeId();
        canvas.appendStroke(s);
    }
    Stroke a;
    a.id = 10;
    Stroke b;
    b.id = 11;
    canvas.insertStrokes(1, {a, b});
    std::vector<int32_t> ids;
    for (const Stroke& s : canvas.strokes) {
        ids.push_back(s.id);
    }
    EXPECT_EQ(ids, (std::vector<int32_t>{1, 10, 11, 2, 3, 4}));
    EXPECT_TRUE(canvas.eraseStrokeById(10));
    canvas.eraseStroke(50);  // out of range: nothing
    EXPECT_EQ(canvas.findStrokeIndex(11), 1);
    EXPECT_EQ(canvas.findStrokeById(77), nullptr);
    EXPECT_EQ(canvas.strokes.size(), 5u);
}

TEST(ViewMatrix, BuildingBlocksActAsDocumented) {
    const Matrix4 t = translationMatrix(3.0f, -2.0f, 1.0f);
    const CanvasPoint moved = apply(t, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(moved.x, 4.0f);
    EXPECT_FLOAT_EQ(moved.y, -1.0f);

    const CanvasPoint turned = apply(rotationZMatrix(3.14159265f / 2.0f), 1.0f, 0.0f);
    EXPECT_NEAR(turned.x, 0.0f, 1e-6f);  // counter-clockwise with y up
    EXPECT_NEAR(turned.y, 1.0f, 1e-6f);

    // A · B applies B first.
    const Matrix4 ts = multiplyMatrix(t, scaleMatrix(2.0f));
    const CanvasPoint p = apply(ts, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(p.x, 5.0f);
    EXPECT_FLOAT_EQ(p.y, 0.0f);
    expectMatrixNear(multiplyMatrix(identityMatrix(), ts), ts, 0.0f);
}

TEST(ViewMatrix, InverseUndoesAGeneralTransform) {
    Matrix4 m = multiplyMatrix(translationMatrix(120.0f, -40.0f, 5.0f),
                               multiplyMatrix(rotationZMatrix(0.7f), scaleMatrix(2.5f)));
    m[3] = 0.001f;  // a little projective part, so that every cofactor matters
    m[8] = 0.3f;
    Matrix4 inverse = m;
    ASSERT_TRUE(invertMatrix(inverse));
    expectMatrixNear(multiplyMatrix(m, inverse), identityMatrix(), 1e-5f);
    expectMatrixNear(multiplyMatrix(inverse, m), identityMatrix(), 1e-5f);
}

TEST(ViewMatrix, WindowToCanvasInvertsTheViewUnlessItIsNearlySingular) {
    // A view squashed flat along y (two columns parallel to within rounding) is singular.
    Matrix4 flat = scaleMatrix(2.0f);
    flat[5] = 2e-7f;
    Matrix4 m = flat;
    EXPECT_FALSE(invertMatrix(m));
    expectMatrixNear(m, flat, 0.0f);
    // windowToCanvas then uses the view as it is.
    const CanvasPoint c = windowToCanvas(flat, 100.0f, 50.0f);
    EXPECT_FLOAT_EQ(c.x, 200.0f);
    EXPECT_FLOAT_EQ(c.y, 1e-5f);
    Matrix4 zero{};
    EXPECT_FALSE(invertMatrix(zero));
    // Zoomed in 3e13 times the cofactors overflow: no inverse, and the view is left as it is.
    const Matrix4 huge =
        multiplyMatrix(translationMatrix(-1.8e16f, -1.2e16f, 0.0f), scaleMatrix(3.0e13f));
    m = huge;
    EXPECT_FALSE(invertMatrix(m));
    expectMatrixNear(m, huge, 0.0f);

    // Zoomed far out the view is small but not singular (determinant s³ = 8e-6 at s = 0.02, and
    // 1e-12 at s = 0.0001): points still land under the pointer, rotated and moved as well.
    for (float s : {0.02f, 0.0001f}) {
        const Matrix4 far = multiplyMatrix(translationMatrix(700.0f, 300.0f, 0.0f),
                                           multiplyMatrix(rotationZMatrix(0.4f), scaleMatrix(s)));
        const CanvasPoint canvasPoint{1234.0f / s * 0.01f, -567.0f / s * 0.01f};
        const float wx = far[0] * canvasPoint.x + far[4] * canvasPoint.y + far[12];
        const float wy = far[1] * canvasPoint.x + far[5] * canvasPoint.y + far[13];
        const CanvasPoint back = windowToCanvas(far, wx, wy);
        EXPECT_NEAR(back.x, canvasPoint.x, 1e-3f * std::fabs(canvasPoint.x)) << s;
        EXPECT_NEAR(back.y, canvasPoint.y, 1e-3f * std::fabs(canvasPoint.y)) << s;
    }

    const Matrix4 view = multiplyMatrix(translationMatrix(100.0f, 50.0f, 0.0f), scaleMatrix(2.0f));
    const CanvasPoint inverted = windowToCanvas(view, 300.0f, 250.0f);
    EXPECT_NEAR(inverted.x, 100.0f, 1e-4f);
    EXPECT_NEAR(inverted.y, 100.0f, 1e-4f);
}

TEST(Canvas, PickedPixelEncodesTheListIndexAndWhiteIsTheBackground) {
    // Red carries bits 16..23 of the index, green 8..15, blue 0..7.
    EXPECT_EQ(pickedStrokeIndex(0, 0, 0, 1), 0);
    EXPECT_EQ(pickedStrokeIndex(0x01, 0x02, 0x03, 70000), 0x010203);
    EXPECT_EQ(pickedStrokeIndex(0, 1, 0, 257), 256);
    // An index at or past the end of the list picks nothing.
    EXPECT_EQ(pickedStrokeIndex(0, 1, 0, 256), -1);
    EXPECT_EQ(pickedStrokeIndex(0, 0, 5, 5), -1);
    EXPECT_EQ(pickedStrokeIndex(0, 0, 4, 5), 4);
    // Index 16777215 reads back as the white background even with more strokes than that.
    EXPECT_EQ(pickedStrokeIndex(255, 255, 255, 20000000), -1);
    EXPECT_EQ(pickedStrokeIndex(255, 255, 254, 20000000), 16777214);
}
