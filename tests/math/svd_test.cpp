#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "common/math/svd.h"

namespace {

// Checks A = U diag(W) V^T, W non-negative and descending, U and V with orthonormal columns.
void expectValidDecomposition(const mat<float>& A, const mat<float>& U, const diag_mat<float>& W,
                              const mat<float>& V) {
    const uint32_t m = A.nrows();
    const uint32_t n = A.ncols();
    ASSERT_EQ(U.nrows(), m);
    ASSERT_EQ(U.ncols(), n);
    ASSERT_EQ(W.size(), n);
    ASSERT_EQ(V.nrows(), n);
    ASSERT_EQ(V.ncols(), n);

    float largest = 0.0f;
    for (uint32_t j = 0; j < n; ++j)
        for (uint32_t i = 0; i < m; ++i) largest = std::max(largest, std::fabs(A(i, j)));
    for (uint32_t i = 0; i < m; ++i) {
        for (uint32_t j = 0; j < n; ++j) {
            float sum = 0.0f;
            for (uint32_t k = 0; k < n; ++k) sum += U(i, k) * W(k) * V(j, k);
            EXPECT_NEAR(sum, A(i, j), 1e-5f * largest) << "element " << i << ", " << j;
        }
    }
    for (uint32_t k = 0; k < n; ++k) {
        EXPECT_GE(W(k), 0.0f);
        if (k > 0) {
            EXPECT_LE(W(k), W(k - 1));
        }
    }
    for (uint32_t p = 0; p < n; ++p) {
        for (uint32_t q = 0; q < n; ++q) {
            float expected = p == q ? 1.0f : 0.0f;
            EXPECT_NEAR(dot(V.col(p), V.col(q)), expected, 1e-5f);
            // A zero singular value leaves its U column free; only the others must be orthonormal.
            if (W(p) > 1e-5f * largest && W(q) > 1e-5f * largest) {
                EXPECT_NEAR(dot(U.col(p), U.col(q)), expected, 1e-5f);
            }
        }
    }
}

}  // namespace

TEST(Svd, RandomMatricesReconstruct) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> value(-3.0f, 3.0f);
    // The outputs are reused across calls, so stale contents of the right shape must not leak.
    mat<float> U;
    mat<float> V;
    diag_mat<float> W;
    for (uint32_t m = 1; m <= 7; ++m) {
        for (uint32_t n = 1; n <= 3 && n <= m; ++n) {
            for (int trial = 0; trial < 20; ++trial) {
                mat<float> A(m, n);
                for (uint32_t j = 0; j < n; ++j)
                    for (uint32_t i = 0; i < m; ++i) A(i, j) = value(random);
                SCOPED_TRACE(testing::Message() << m << " x " << n << " trial " << trial);
                ASSERT_TRUE(svd(A, U, W, V));
                expectValidDecomposition(A, U, W, V);
            }
        }
    }
}

TEST(Svd, RankDeficientAndNegativeInputs) {
    mat<float> A(5, 3);
    for (uint32_t i = 0; i < 5; ++i) {
        A(i, 0) = static_cast<float>(i) - 2.0f;
        A(i, 1) = 2.0f * A(i, 0);  // column 1 repeats column 0
        A(i, 2) = static_cast<float>(i * i);
    }
    mat<float> U;
    mat<float> V;
    diag_mat<float> W;
    ASSERT_TRUE(svd(A, U, W, V));
    expectValidDecomposition(A, U, W, V);
    EXPECT_NEAR(W(2), 0.0f, 1e-5f * W(0));

    mat<float> single(1, 1, -4.0f);
    ASSERT_TRUE(svd(single, U, W, V));
    EXPECT_FLOAT_EQ(W(0), 4.0f);
    EXPECT_FLOAT_EQ(U(0, 0) * W(0) * V(0, 0), -4.0f);
}

TEST(Svd, ZeroMatrixGivesZeroValues) {
    mat<float> A(7, 3);
    mat<float> U;
    mat<float> V;
    diag_mat<float> W;
    ASSERT_TRUE(svd(A, U, W, V));
    for (uint32_t k = 0; k < 3; ++k) EXPECT_EQ(W(k), 0.0f);
    expectValidDecomposition(A, U, W, V);
}

TEST(Svd, NearlyPlanarPointsGiveThePlaneNormal) {
    // Seven centred points on the plane z = 0.3 x - 0.2 y, with a little noise off it.
    const float xs[7] = {-0.3f, 0.0f, 0.0f, -0.2f, 0.2f, -0.1f, 0.1f};
    const float ys[7] = {-0.25f, 0.0f, 0.25f, 0.2f, 0.2f, -0.3f, -0.3f};
    const float noise[7] = {0.001f, -0.002f, 0.0f, 0.001f, 0.0f, -0.001f, 0.001f};
    mat<float> A(7, 3);
    for (uint32_t i = 0; i < 7; ++i) {
        A(i, 0) = xs[i];
        A(i, 1) = ys[i];
        A(i, 2) = 0.3f * xs[i] - 0.2f * ys[i] + noise[i];
    }
    for (uint32_t j = 0; j < 3; ++j) {  // centre the columns
        float mean = 0.0f;
        for (uint32_t i = 0; i < 7; ++i) mean += A(i, j) / 7.0f;
        for (uint32_t i = 0; i < 7; ++i) A(i, j) -= mean;
    }
    mat<float> U;
    mat<float> V;
    diag_mat<float> W;
    ASSERT_TRUE(svd(A, U, W, V));
    expectValidDecomposition(A, U, W, V);
    EXPECT_GT(W(1), 0.1f);
    EXPECT_LT(W(2), 0.01f);
    // The plane's normal is (0.3, -0.2, -1) up to sign.
    const float norm = std::sqrt(0.09f + 0.04f + 1.0f);
    float alignment = (0.3f * V(0, 2) - 0.2f * V(1, 2) - V(2, 2)) / norm;
    EXPECT_NEAR(std::fabs(alignment), 1.0f, 1e-3f);
}

TEST(Svd, InputMayBeTheOutputU) {
    mat<float> A(4, 2);
    const float values[8] = {1, 2, 3, 4, -1, 0.5f, 2, -3};
    for (uint32_t k = 0; k < 8; ++k) A(k % 4, k / 4) = values[k];
    const mat<float> original(A);
    mat<float> V;
    diag_mat<float> W;
    ASSERT_TRUE(svd(A, A, W, V));
    expectValidDecomposition(original, A, W, V);

    mat<float> U;
    mat<float> copy(original);
    ASSERT_TRUE(svd(copy, U, W, V));
    for (uint32_t k = 0; k < 8; ++k) EXPECT_EQ(copy(k % 4, k / 4), values[k]);  // A untouched
}

TEST(Svd, NonFiniteInputFails) {
    mat<float> A(7, 3, 1.0f);
    A(3, 1) = std::numeric_limits<float>::quiet_NaN();
    mat<float> U;
    mat<float> V;
    diag_mat<float> W;
    EXPECT_FALSE(svd(A, U, W, V));
    A(3, 1) = std::numeric_limits<float>::infinity();
    EXPECT_FALSE(svd(A, U, W, V));
}
