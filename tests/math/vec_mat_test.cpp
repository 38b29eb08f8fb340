#include <gtest/gtest.h>

#include "common/math/mat.h"
#include "common/math/vec.h"

namespace {

vec<float> makeVec(std::initializer_list<float> values) {
    vec<float> v(static_cast<uint32_t>(values.size()));
    uint32_t i = 0;
    for (float x : values) v(i++) = x;
    return v;
}

// 2 x 3 matrix with element (i, j) = 10 * i + j.
mat<float> makeIndexed() {
    mat<float> m(2, 3);
    for (uint32_t j = 0; j < 3; ++j)
        for (uint32_t i = 0; i < 2; ++i) m(i, j) = 10.0f * i + j;
    return m;
}

}  // namespace

TEST(Vec, ConstructionAllocatesOnlyForNonEmpty) {
    vec<float> empty;
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(empty.data(), nullptr);
    vec<float> zeroSized(0);
    EXPECT_EQ(zeroSized.data(), nullptr);
    vec<float> three(3);
    ASSERT_NE(three.data(), nullptr);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(three(i), 0.0f);
}

TEST(Vec, CopiesAreDeep) {
    vec<float> a = makeVec({1, 2, 3});
    vec<float> b(a);
    EXPECT_NE(b.data(), a.data());
    b(1) = 20.0f;
    EXPECT_EQ(a(1), 2.0f);

    vec<float> empty;
    vec<float> emptyCopy(empty);
    EXPECT_EQ(emptyCopy.data(), nullptr);
    EXPECT_EQ(emptyCopy.size(), 0u);
}

TEST(Vec, AssignmentReusesArrayOnlyWhenSizesAgree) {
    vec<float> a = makeVec({1, 2, 3});
    vec<float> b(3);
    const float* before = b.data();
    b = a;
    EXPECT_EQ(b.data(), before);
    EXPECT_EQ(b(2), 3.0f);
    b(2) = 30.0f;
    EXPECT_EQ(a(2), 3.0f);

    vec<float> c(5);
    c = a;
    EXPECT_EQ(c.size(), 3u);
    EXPECT_EQ(c(0), 1.0f);
    EXPECT_NE(c.data(), a.data());

    vec<float> empty;
    c = empty;
    EXPECT_EQ(c.size(), 0u);
    EXPECT_EQ(c.data(), nullptr);

    c = a;
    vec<float>& alias = c;
    c = alias;  // self-assignment keeps the contents
    EXPECT_EQ(c(1), 2.0f);
}

TEST(Vec, ArithmeticAndDot) {
    vec<float> a = makeVec({1, 2, 3});
    vec<float> b = makeVec({4, -5, 6});
    vec<float> sum = a + b;
    vec<float> diff = a - b;
    EXPECT_EQ(sum(0), 5.0f);
    EXPECT_EQ(sum(1), -3.0f);
    EXPECT_EQ(diff(2), -3.0f);
    EXPECT_EQ(a(0), 1.0f);  // operands untouched
    a += b;
    EXPECT_EQ(a(2), 9.0f);
    a -= b;
    EXPECT_EQ(a(2), 3.0f);
    EXPECT_EQ(dot(a, b), 4.0f - 10.0f + 18.0f);
    vec<float> scaled = 2.0f * a;
    EXPECT_EQ(scaled(2), 6.0f);
    EXPECT_EQ(a(2), 3.0f);
}

TEST(Mat, StorageIsColumnMajor) {
    mat<float> m = makeIndexed();
    ASSERT_EQ(m.nrows(), 2u);
    ASSERT_EQ(m.ncols(), 3u);
    // (i, j) lies at i + j * nrows.
    EXPECT_EQ(m.data()[1 + 2 * 2], 12.0f);
    EXPECT_EQ(m.data()[0 + 1 * 2], 1.0f);
    const mat<float>& cm = m;
    EXPECT_EQ(cm(1, 2), 12.0f);
}

TEST(Mat, FilledColumnIsSevenOnes) {
    mat<float> ones(7, 1, 1.0f);
    vec<float> c = ones.col(0);
    ASSERT_EQ(c.size(), 7u);
    for (uint32_t i = 0; i < 7; ++i) EXPECT_EQ(c(i), 1.0f);
    // The row mean of a 3 x 7 matrix uses it.
    mat<float> points(3, 7);
    for (uint32_t j = 0; j < 7; ++j) points(1, j) = static_cast<float>(j);
    EXPECT_FLOAT_EQ(dot(points.row(1), c) / 7.0f, 3.0f);

    mat<float> zeros(3, 6);
    for (uint32_t j = 0; j < 6; ++j)
        for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(zeros(i, j), 0.0f);
}

TEST(Mat, RowsColumnsAndSetCol) {
    mat<float> m = makeIndexed();
    vec<float> r = m.row(1);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r(0), 10.0f);
    EXPECT_EQ(r(2), 12.0f);
    vec<float> c = m.col(2);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c(0), 2.0f);
    EXPECT_EQ(c(1), 12.0f);

    m.set_col(0, makeVec({-1, -2}));
    EXPECT_EQ(m(0, 0), -1.0f);
    EXPECT_EQ(m(1, 0), -2.0f);
    EXPECT_EQ(m(0, 1), 1.0f);  // neighbours untouched
}

TEST(Mat, SumScaleAndTranspose) {
    mat<float> m = makeIndexed();
    mat<float> s = m + 2.0f * m;
    EXPECT_EQ(s(1, 2), 36.0f);
    EXPECT_EQ(m(1, 2), 12.0f);

    mat<float> t = transpose(m);
    EXPECT_EQ(m.nrows(), 2u);  // the copying transpose leaves m alone
    ASSERT_EQ(t.nrows(), 3u);
    ASSERT_EQ(t.ncols(), 2u);
    for (uint32_t i = 0; i < 2; ++i)
        for (uint32_t j = 0; j < 3; ++j) EXPECT_EQ(t(j, i), m(i, j));

    m.transpose();
    ASSERT_EQ(m.nrows(), 3u);
    EXPECT_EQ(m(2, 1), 12.0f);
    EXPECT_EQ(m.data()[2 + 1 * 3], 12.0f);
}

TEST(Mat, CopiesAreDeep) {
    mat<float> a = makeIndexed();
    mat<float> b(a);
    b(0, 0) = 99.0f;
    EXPECT_EQ(a(0, 0), 0.0f);
    mat<float> d(4, 4);
    d = a;  // takes the source's shape
    EXPECT_EQ(d.nrows(), 2u);
    EXPECT_EQ(d.ncols(), 3u);
    EXPECT_EQ(d(1, 2), 12.0f);
    d(1, 2) = 0.0f;
    EXPECT_EQ(a(1, 2), 12.0f);
}

TEST(MathChecksDeathTest, ViolationsStopWithTheCheckText) {
    vec<float> v(3);
    EXPECT_DEATH(v(3) = 1.0f, "Assertion failed: i < _size, file .*vec.h, line [0-9]+");
    const vec<float>& cv = v;
    EXPECT_DEATH((void)cv(7), "i < _size");
    vec<float> w(4);
    EXPECT_DEATH(v += w, "_size == v._size");
    EXPECT_DEATH(v -= w, "_size == v._size");
    EXPECT_DEATH((void)dot(w, v), "i < _size");

    mat<float> m(2, 3);
    EXPECT_DEATH(m(2, 0) = 1.0f, "i < _nrows && j < _ncols, file .*mat.h");
    EXPECT_DEATH(m(0, 3) = 1.0f, "i < _nrows && j < _ncols");
    const mat<float> empty;
    EXPECT_DEATH((void)empty(0, 0), "_data != NULL && i < _nrows && j < _ncols");
    EXPECT_DEATH(m.set_col(0, vec<float>(1)), "i < _size");
    EXPECT_DEATH(m.set_col(0, vec<float>(3)), "i < _nrows && j < _ncols");
    mat<float> other(3, 2);
    EXPECT_DEATH((void)(m + other), "_ncols == m\\.ncols\\(\\) && _nrows == m\\.nrows\\(\\)");
}
