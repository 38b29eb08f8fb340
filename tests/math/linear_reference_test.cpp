// The float vector and matrix templates and the singular value decomposition against an
// independent double-precision model, over many fixed-seed inputs of every kind the decomposition
// meets: random, rank-deficient, zero, identity, repeated diagonal values, nearly singular, and
// very large and very small magnitudes.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/math/mat.h"
#include "common/math/svd.h"
#include "common/math/vec.h"
#include "common/math/vec3.h"
#include "reference_linear.h"

namespace lr = linear_ref;

namespace {

// Draws from raw generator output so the inputs do not depend on the library's distributions.
struct Draw {
    std::mt19937 engine;
    explicit Draw(uint32_t seed) : engine(seed) {}
    uint32_t upTo(uint32_t n) { return static_cast<uint32_t>(engine()) % (n + 1); }  // 0..n
    float signedUnit() { return static_cast<float>(engine() >> 8) / 8388608.0f - 1.0f; }  // [-1, 1)
};

lr::Vec toRef(const vec<float>& v) {
    lr::Vec r(v.size());
    for (uint32_t i = 0; i < v.size(); ++i) r[i] = v(i);
    return r;
}

lr::Mat toRef(const mat<float>& m) {
    lr::Mat r(m.nrows(), m.ncols());
    for (uint32_t i = 0; i < m.nrows(); ++i)
        for (uint32_t j = 0; j < m.ncols(); ++j) r.at(i, j) = m(i, j);
    return r;
}

vec<float> randomVec(Draw& draw, uint32_t n, float magnitude) {
    vec<float> v(n);
    for (uint32_t i = 0; i < n; ++i) v(i) = magnitude * draw.signedUnit();
    return v;
}

mat<float> randomMat(Draw& draw, uint32_t rows, uint32_t cols, float magnitude) {
    mat<float> m(rows, cols, 1.0f);
    for (uint32_t j = 0; j < cols; ++j)
        for (uint32_t i = 0; i < rows; ++i) m(i, j) = magnitude * draw.signedUnit();
    return m;
}

// A float result of one correctly rounded operation equals the double model rounded to float.
void expectSameAsRounded(const vec<float>& got, const lr::Vec& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (uint32_t i = 0; i < got.size(); ++i) EXPECT_EQ(got(i), static_cast<float>(want[i])) << what << " [" << i << "]";
}

void expectSameAsRounded(const mat<float>& got, const lr::Mat& want, const std::string& what) {
    ASSERT_EQ(got.nrows(), want.rows) << what;
    ASSERT_EQ(got.ncols(), want.cols) << what;
    for (uint32_t i = 0; i < got.nrows(); ++i)
        for (uint32_t j = 0; j < got.ncols(); ++j)
            EXPECT_EQ(got(i, j), static_cast<float>(want.at(i, j))) << what << " (" << i << ", " << j << ")";
    // Column-major storage: element (i, j) at i + j * rows.
    for (uint32_t k = 0; k < want.a.size(); ++k)
        EXPECT_EQ(got.data()[k], static_cast<float>(want.a[k])) << what << " storage " << k;
}

}  // namespace

TEST(LinearReference, VectorOperationsMatchTheModel) {
    Draw draw(0x7EC);
    for (int round = 0; round < 300; ++round) {
        const uint32_t n = 1 + draw.upTo(9);
        // Large and small, but with products that stay normal floats.
        const float magnitude = round % 3 == 0 ? 1e15f : (round % 3 == 1 ? 1e-15f : 10.0f);
        const vec<float> a = randomVec(draw, n, magnitude);
        const vec<float> b = randomVec(draw, n, magnitude);
        const lr::Vec ra = toRef(a), rb = toRef(b);
        const std::string at = "round " + std::to_string(round);

        expectSameAsRounded(a + b, lr::add(ra, rb), at + " a + b");
        expectSameAsRounded(a - b, lr::subtract(ra, rb), at + " a - b");
        vec<float> sum = a;
        sum += b;
        expectSameAsRounded(sum, lr::add(ra, rb), at + " a += b");
        vec<float> difference = a;
        difference -= b;
        expectSameAsRounded(difference, lr::subtract(ra, rb), at + " a -= b");
        const float s = 3.0f * draw.signedUnit();
        expectSameAsRounded(s * a, lr::scale(s, ra), at + " s * a");
        // The operands are untouched by the binary operators.
        expectSameAsRounded(a, ra, at + " a afterwards");

        // Accumulated in float: within n roundings of the exact sum.
        double magnitudeSum = 0.0;
        for (uint32_t i = 0; i < n; ++i) magnitudeSum += std::fabs(ra[i] * rb[i]);
        EXPECT_NEAR(dot(a, b), lr::dot(ra, rb), (n + 1) * FLT_EPSILON * magnitudeSum + 1e-45) << at;
    }
}

TEST(LinearReference, JointVectorArithmeticMatchesTheModel) {
    Draw draw(0x3D);
    auto toRef3 = [](Vec3 v) { return lr::Vec{v.x, v.y, v.z}; };
    auto expectSame3 = [](Vec3 got, const lr::Vec& want, const std::string& what) {
        EXPECT_EQ(got.x, static_cast<float>(want[0])) << what;
        EXPECT_EQ(got.y, static_cast<float>(want[1])) << what;
        EXPECT_EQ(got.z, static_cast<float>(want[2])) << what;
    };
    for (int round = 0; round < 300; ++round) {
        const float magnitude = round % 2 == 0 ? 3.0f : 1e12f;
        const Vec3 a{magnitude * draw.signedUnit(), magnitude * draw.signedUnit(), magnitude * draw.signedUnit()};
        const Vec3 b{magnitude * draw.signedUnit(), magnitude * draw.signedUnit(), magnitude * draw.signedUnit()};
        float s = 4.0f * draw.signedUnit();
        if (s == 0.0f) s = 0.5f;
        const lr::Vec ra = toRef3(a), rb = toRef3(b);
        const std::string at = "round " + std::to_string(round);
        expectSame3(a + b, lr::add(ra, rb), at + " a + b");
        expectSame3(a - b, lr::subtract(ra, rb), at + " a - b");
        expectSame3(-a, lr::scale(-1.0, ra), at + " -a");
        expectSame3(a * s, lr::scale(s, ra), at + " a * s");
        expectSame3(s * a, lr::scale(s, ra), at + " s * a");
        expectSame3(a / s, lr::Vec{ra[0] / s, ra[1] / s, ra[2] / s}, at + " a / s");
        // Two rounded products and a rounded difference per component.
        const Vec3 c = cross(a, b);
        const lr::Vec rc = lr::cross3(ra, rb);
        const float got[3] = {c.x, c.y, c.z};
        for (int k = 0; k < 3; ++k) {
            const double bound = 3.0 * FLT_EPSILON * (std::fabs(ra[(k + 1) % 3] * rb[(k + 2) % 3]) + std::fabs(ra[(k + 2) % 3] * rb[(k + 1) % 3]));
            EXPECT_NEAR(got[k], rc[static_cast<size_t>(k)], bound) << at << " cross " << k;
        }
    }
    // Right-handed: x cross y is z.
    const Vec3 z = cross(Vec3{1.0f, 0.0f, 0.0f}, Vec3{0.0f, 1.0f, 0.0f});
    EXPECT_EQ(z.x, 0.0f);
    EXPECT_EQ(z.y, 0.0f);
    EXPECT_EQ(z.z, 1.0f);
}

TEST(LinearReference, VectorStorageCopyAndAssignment) {
    Draw draw(0xC0B1);
    const vec<float> empty(0);
    EXPECT_EQ(empty.data(), nullptr);
    const vec<float> emptyCopy(empty);
    EXPECT_EQ(emptyCopy.data(), nullptr);
    EXPECT_EQ(emptyCopy.size(), 0u);
    for (int round = 0; round < 50; ++round) {
        const uint32_t n = 1 + draw.upTo(8);
        const vec<float> original = randomVec(draw, n, 5.0f);
        const lr::Vec model = toRef(original);
        vec<float> copy(original);
        ASSERT_NE(copy.data(), original.data());
        copy(n - 1) += 1.0f;  // a deep copy: the original does not see it
        expectSameAsRounded(original, model, "original after the copy changed");

        // Assignment keeps the array when the sizes agree and takes the new size otherwise.
        vec<float> sameSize(n);
        const float* kept = sameSize.data();
        sameSize = original;
        EXPECT_EQ(sameSize.data(), kept);
        expectSameAsRounded(sameSize, model, "assigned, same size");
        vec<float> otherSize(n + 1 + draw.upTo(3));
        otherSize = original;
        EXPECT_EQ(otherSize.size(), n);
        EXPECT_NE(otherSize.data(), original.data());
        expectSameAsRounded(otherSize, model, "assigned, other size");
    }
}

TEST(LinearReference, MatrixOperationsMatchTheModel) {
    Draw draw(0x3A7);
    for (int round = 0; round < 200; ++round) {
        const uint32_t rows = 1 + draw.upTo(7), cols = 1 + draw.upTo(7);
        const std::string at = "round " + std::to_string(round) + " " + std::to_string(rows) + "x" + std::to_string(cols);

        // The program's only fill is 1.0.
        const mat<float> ones(rows, cols, 1.0f);
        expectSameAsRounded(ones, lr::Mat(rows, cols, 1.0), at + " filled");

        const float magnitude = round % 4 == 0 ? 1e30f : 4.0f;
        const mat<float> a = randomMat(draw, rows, cols, magnitude);
        const mat<float> b = randomMat(draw, rows, cols, magnitude);
        const lr::Mat ra = toRef(a), rb = toRef(b);
        // Storage layout read back through data(): column-major.
        expectSameAsRounded(a, ra, at + " elements");

        for (uint32_t i = 0; i < rows; ++i) expectSameAsRounded(a.row(i), lr::row(ra, i), at + " row");
        for (uint32_t j = 0; j < cols; ++j) expectSameAsRounded(a.col(j), lr::col(ra, j), at + " col");

        expectSameAsRounded(a + b, lr::add(ra, rb), at + " a + b");
        const float s = 2.0f * draw.signedUnit();
        expectSameAsRounded(s * a, lr::scale(s, ra), at + " s * a");

        const mat<float> t = transpose(a);
        expectSameAsRounded(t, lr::transpose(ra), at + " transpose copy");
        expectSameAsRounded(a, ra, at + " transposed original unchanged");
        mat<float> inPlace = a;
        inPlace.transpose();
        expectSameAsRounded(inPlace, lr::transpose(ra), at + " transpose in place");
        inPlace.transpose();
        expectSameAsRounded(inPlace, ra, at + " transposed twice");

        mat<float> withColumn = a;
        lr::Mat modelWithColumn = ra;
        const uint32_t j = draw.upTo(cols - 1);
        const vec<float> column = randomVec(draw, rows, 9.0f);
        withColumn.set_col(j, column);
        lr::setCol(modelWithColumn, j, toRef(column));
        expectSameAsRounded(withColumn, modelWithColumn, at + " set_col");
    }
    // The filled 7 x 1 matrix gives a column of seven ones (used for row means).
    expectSameAsRounded(mat<float>(7, 1, 1.0f).col(0), lr::Vec(7, 1.0), "seven ones");
}

namespace {

enum class Kind {
    Random,
    RankDeficient,
    Zero,
    Identity,
    RepeatedDiagonal,
    NearlySingular,
    Huge,
    Small,
    PlanarPoints,
    DuplicateColumns,
    ZeroColumn,
    Integer,
    Count
};

const char* kindName(Kind kind) {
    static const char* names[] = {"random", "rank-deficient", "zero", "identity", "repeated diagonal",
                                  "nearly singular", "huge", "small", "planar points", "duplicate columns",
                                  "zero column", "integer"};
    return names[static_cast<int>(kind)];
}

mat<float> matrixOfKind(Draw& draw, Kind kind, uint32_t m, uint32_t n) {
    mat<float> a(m, n, 1.0f);
    auto fill = [&](float magnitude) {
        for (uint32_t j = 0; j < n; ++j)
            for (uint32_t i = 0; i < m; ++i) a(i, j) = magnitude * draw.signedUnit();
    };
    switch (kind) {
    case Kind::Random: fill(1.0f + 99.0f * (draw.signedUnit() + 1.0f)); break;
    case Kind::Huge: fill(1e15f); break;  // squares of the values still fit a float
    // Small, but far enough above the absolute FLT_EPSILON skip limit that no part of the
    // reduction is skipped (see SvdTreatsAMatrixOfNegligibleColumnsAsZero for below it).
    case Kind::Small: fill(1e-3f); break;
    case Kind::Zero: fill(0.0f); break;
    case Kind::Identity:
        fill(0.0f);
        for (uint32_t k = 0; k < m && k < n; ++k) a(k, k) = 1.0f;
        break;
    case Kind::RepeatedDiagonal: {
        // Diagonal values drawn from a few levels, so several repeat; some negative, and the
        // rows shuffled so the input is not already in order.
        fill(0.0f);
        const float levels[] = {3.0f, -3.0f, 1.5f, 0.0f};
        std::vector<uint32_t> rowOf(m);
        for (uint32_t i = 0; i < m; ++i) rowOf[i] = i;
        for (uint32_t i = m; i > 1; --i) std::swap(rowOf[i - 1], rowOf[draw.upTo(i - 1)]);
        for (uint32_t k = 0; k < m && k < n; ++k) a(rowOf[k], k) = levels[draw.upTo(3)];
        break;
    }
    case Kind::RankDeficient:
    case Kind::NearlySingular: {
        const uint32_t rank = n > 1 ? 1 + draw.upTo(n - 2) : 0;
        fill(0.0f);
        for (uint32_t r = 0; r < rank; ++r) {
            std::vector<float> left(m), right(n);
            for (float& x : left) x = draw.signedUnit();
            for (float& x : right) x = draw.signedUnit();
            for (uint32_t i = 0; i < m; ++i)
                for (uint32_t j = 0; j < n; ++j) a(i, j) += 2.0f * left[i] * right[j];
        }
        if (kind == Kind::NearlySingular)
            for (uint32_t j = 0; j < n; ++j)
                for (uint32_t i = 0; i < m; ++i) a(i, j) += 1e-5f * draw.signedUnit();
        break;
    }
    case Kind::PlanarPoints: {
        // Points near a tilted plane through the origin, one per row, then centred.
        fill(1.0f);
        for (uint32_t i = 0; i < m; ++i) {
            if (n < 3) break;
            a(i, 2) = 0.3f * a(i, 0) - 0.5f * a(i, 1) + 1e-3f * draw.signedUnit();
        }
        for (uint32_t j = 0; j < n; ++j) {
            float mean = 0.0f;
            for (uint32_t i = 0; i < m; ++i) mean += a(i, j);
            mean /= static_cast<float>(m);
            for (uint32_t i = 0; i < m; ++i) a(i, j) -= mean;
        }
        break;
    }
    case Kind::DuplicateColumns:
        fill(5.0f);
        for (uint32_t i = 0; i < m; ++i) a(i, n - 1) = a(i, 0);
        break;
    case Kind::ZeroColumn:
        fill(5.0f);
        for (uint32_t i = 0; i < m; ++i) a(i, draw.upTo(n - 1)) = 0.0f;
        break;
    case Kind::Integer:
        for (uint32_t j = 0; j < n; ++j)
            for (uint32_t i = 0; i < m; ++i) a(i, j) = static_cast<float>(static_cast<int>(draw.upTo(6)) - 3);
        break;
    case Kind::Count: break;
    }
    return a;
}

// Checks one decomposition of `A` against the model. Singular values are compared directly;
// vectors only through what is unique about them: reconstruction, orthogonality, and the
// subspace each column lies in (a sign, or a rotation within a group of equal values, is free).
void expectMatchesModel(const mat<float>& A, const std::string& what) {
    const mat<float> before = A;
    mat<float> U(2, 5, 7.0f), V(1, 1, 7.0f);  // stale outputs of the wrong shape
    diag_mat<float> W(9);
    ASSERT_TRUE(svd(A, U, W, V)) << what;

    const uint32_t m = A.nrows(), n = A.ncols();
    for (uint32_t k = 0; k < m * n; ++k) ASSERT_EQ(A.data()[k], before.data()[k]) << what << ": A was changed";
    ASSERT_EQ(U.nrows(), m) << what;
    ASSERT_EQ(U.ncols(), n) << what;
    ASSERT_EQ(W.size(), n) << what;
    ASSERT_EQ(V.nrows(), n) << what;
    ASSERT_EQ(V.ncols(), n) << what;

    const lr::Decomposition model = lr::decompose(toRef(A));
    const double largest = model.w.empty() ? 0.0 : model.w[0];
    const double valueTolerance = 2e-6 * std::sqrt(static_cast<double>(m * n)) * largest;

    for (uint32_t k = 0; k < n; ++k) {
        EXPECT_GE(W(k), 0.0f) << what << " w" << k;
        if (k > 0) {
            EXPECT_LE(W(k), W(k - 1)) << what << ": not descending at " << k;
        }
        EXPECT_NEAR(W(k), model.w[k], valueTolerance) << what << " w" << k;
    }

    const lr::Mat u = toRef(U), v = toRef(V);
    lr::Mat wv = lr::transpose(v);
    for (uint32_t k = 0; k < n; ++k)
        for (uint32_t j = 0; j < n; ++j) wv.at(k, j) *= W(k);
    const lr::Mat product = lr::multiply(u, wv);
    for (uint32_t i = 0; i < m; ++i)
        for (uint32_t j = 0; j < n; ++j)
            EXPECT_NEAR(product.at(i, j), A(i, j), valueTolerance + 1e-30) << what << ": U W V^T at " << i << ", " << j;

    const lr::Mat vtv = lr::multiply(lr::transpose(v), v);
    for (uint32_t p = 0; p < n; ++p)
        for (uint32_t q = 0; q < n; ++q)
            EXPECT_NEAR(vtv.at(p, q), p == q ? 1.0 : 0.0, 1e-5) << what << ": V^T V at " << p << ", " << q;

    // Values the model tells apart by more than this are separate groups.
    const double groupGap = 1e-3 * largest;
    auto gapAround = [&](uint32_t k) {
        double gap = HUGE_VAL;
        for (uint32_t j = 0; j < n; ++j)
            if (std::fabs(model.w[j] - model.w[k]) > groupGap) gap = std::min(gap, std::fabs(model.w[j] - model.w[k]));
        return gap;
    };
    for (uint32_t k = 0; k < n; ++k) {
        const double gap = gapAround(k);
        if (gap == HUGE_VAL) continue;  // every value equal: any orthonormal basis will do
        const double vectorTolerance = 1e-5 + 4e-6 * largest / gap;
        // The program's column k lies in the span of the model's columns with the same value.
        double inV = 0.0, inU = 0.0;
        for (uint32_t j = 0; j < n; ++j) {
            if (std::fabs(model.w[j] - model.w[k]) > groupGap) continue;
            const double dv = lr::dot(lr::col(v, k), lr::col(model.V, j));
            const double du = lr::dot(lr::col(u, k), lr::col(model.U, j));
            inV += dv * dv;
            inU += du * du;
        }
        EXPECT_NEAR(inV, 1.0, vectorTolerance) << what << ": V column " << k;
        // U's column is fixed by A v / w only where w is clearly above zero.
        if (model.w[k] > groupGap) {
            EXPECT_NEAR(inU, 1.0, vectorTolerance) << what << ": U column " << k;
        }
    }
}

}  // namespace

TEST(LinearReference, SvdMatchesTheModelOnEveryKindAndSize) {
    Draw draw(0x5FD);
    int cases = 0;
    for (int kind = 0; kind < static_cast<int>(Kind::Count); ++kind)
        for (uint32_t m = 1; m <= 8; ++m)
            for (uint32_t n = 1; n <= m && n <= 6; ++n)
                for (int repeat = 0; repeat < 3; ++repeat) {
                    const mat<float> A = matrixOfKind(draw, static_cast<Kind>(kind), m, n);
                    expectMatchesModel(A, std::string(kindName(static_cast<Kind>(kind))) + " " + std::to_string(m) +
                                              "x" + std::to_string(n) + " #" + std::to_string(repeat));
                    if (::testing::Test::HasFatalFailure()) return;
                    ++cases;
                }
    EXPECT_GT(cases, 1000);
}

TEST(LinearReference, SvdOfTheFeatureExtractorsShape) {
    // The shape the program actually decomposes, many times over.
    Draw draw(0x73);
    for (int round = 0; round < 300; ++round) {
        const Kind kind = static_cast<Kind>(round % static_cast<int>(Kind::Count));
        expectMatchesModel(matrixOfKind(draw, kind, 7, 3), std::string(kindName(kind)) + " 7x3 round " + std::to_string(round));
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(LinearReference, SvdOfWideMatricesReconstructs) {
    Draw draw(0x1DE);
    for (uint32_t m = 1; m <= 3; ++m)
        for (uint32_t n = m + 1; n <= 5; ++n)
            for (int repeat = 0; repeat < 5; ++repeat) {
                const mat<float> A = matrixOfKind(draw, Kind::Random, m, n);
                mat<float> U, V;
                diag_mat<float> W;
                const std::string what = std::to_string(m) + "x" + std::to_string(n);
                ASSERT_TRUE(svd(A, U, W, V)) << what;
                const lr::Decomposition model = lr::decompose(toRef(A));
                ASSERT_EQ(W.size(), n);
                const double tolerance = 1e-5 * model.w[0];
                for (uint32_t k = 0; k < n; ++k) EXPECT_NEAR(W(k), model.w[k], tolerance) << what << " w" << k;
                for (uint32_t i = 0; i < m; ++i)
                    for (uint32_t j = 0; j < n; ++j) {
                        double sum = 0.0;
                        for (uint32_t k = 0; k < n; ++k) sum += static_cast<double>(U(i, k)) * W(k) * V(j, k);
                        EXPECT_NEAR(sum, A(i, j), tolerance) << what;
                    }
            }
}

TEST(LinearReference, SvdTreatsAMatrixOfNegligibleColumnsAsZero) {
    // Every column's absolute sum is at most FLT_EPSILON, so every Householder step is skipped:
    // all values are 0 and the decomposition still succeeds with orthogonal V.
    Draw draw(0x71);
    for (float magnitude : {1e-30f, 1e-12f, 1.5e-8f}) {
        const mat<float> A = matrixOfKind(draw, Kind::Random, 7, 3);
        mat<float> tiny = (magnitude / 200.0f) * A;
        mat<float> U, V;
        diag_mat<float> W;
        ASSERT_TRUE(svd(tiny, U, W, V));
        for (uint32_t k = 0; k < 3; ++k) EXPECT_EQ(W(k), 0.0f) << magnitude;
        const lr::Mat v = toRef(V);
        const lr::Mat vtv = lr::multiply(lr::transpose(v), v);
        for (uint32_t p = 0; p < 3; ++p)
            for (uint32_t q = 0; q < 3; ++q) EXPECT_NEAR(vtv.at(p, q), p == q ? 1.0 : 0.0, 1e-6);
    }
    // Small, but every column and every remaining part of one well above the limit: the same
    // shape is decomposed in full.
    mat<float> small(7, 3, 1.0f);
    for (uint32_t i = 0; i < 7; ++i) {
        small(i, 0) = 1e-6f * static_cast<float>(i + 1);
        small(i, 1) = i % 2 == 0 ? 1e-6f : -2e-6f;
        small(i, 2) = i < 3 ? 3e-6f : -1e-6f;
    }
    expectMatchesModel(small, "just above the negligible limit");
}

TEST(LinearReference, SvdNeverReportsAWrongResultForOverflowingMagnitudes) {
    // Beyond about 1e19 the squares in the shift computation overflow a float. The
    // decomposition may then fail, but when it reports success the result must be right.
    Draw draw(0xB16);
    for (float magnitude : {1e18f, 1e20f, 1e25f, 1e30f, 1e36f})
        for (uint32_t m = 1; m <= 7; ++m)
            for (uint32_t n = 1; n <= m && n <= 3; ++n) {
                mat<float> A = matrixOfKind(draw, Kind::Random, m, n);
                A = (magnitude / 200.0f) * A;
                mat<float> U, V;
                diag_mat<float> W;
                if (!svd(A, U, W, V)) continue;
                expectMatchesModel(A, "magnitude " + std::to_string(magnitude) + " " + std::to_string(m) + "x" +
                                          std::to_string(n));
            }
}

TEST(LinearReference, SvdMayWriteUOverItsInput) {
    Draw draw(0xA5);
    for (int round = 0; round < 40; ++round) {
        const Kind kind = static_cast<Kind>(round % static_cast<int>(Kind::Count));
        const uint32_t m = 1 + draw.upTo(6), n = 1 + draw.upTo(m - 1);
        const mat<float> A = matrixOfKind(draw, kind, m, n);
        mat<float> U, V, V2;
        diag_mat<float> W, W2;
        ASSERT_TRUE(svd(A, U, W, V));
        mat<float> shared = A;
        ASSERT_TRUE(svd(shared, shared, W2, V2));
        for (uint32_t k = 0; k < m * n; ++k) EXPECT_EQ(shared.data()[k], U.data()[k]) << kindName(kind);
        for (uint32_t k = 0; k < n; ++k) EXPECT_EQ(W2(k), W(k)) << kindName(kind);
        for (uint32_t k = 0; k < n * n; ++k) EXPECT_EQ(V2.data()[k], V.data()[k]) << kindName(kind);
    }
}
