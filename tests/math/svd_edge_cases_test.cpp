// The decomposition's skip threshold and the final ordering of values and vectors.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "common/math/svd.h"

namespace {

TEST(SvdEdges, ColumnsWhoseAbsoluteSumIsWithinEpsilonAreSkipped) {
    mat<float> U;
    mat<float> V;
    diag_mat<float> W;
    // Seven entries of 1e-8 sum to 7e-8, not above FLT_EPSILON (1.19e-7): the column counts
    // as zero although its entries are not.
    mat<float> tiny(7, 1, 1e-8f);
    ASSERT_TRUE(svd(tiny, U, W, V));
    EXPECT_EQ(W(0), 0.0f);

    // Seven entries of 1e-7 sum to 7e-7: above the threshold, decomposed as usual.
    mat<float> small(7, 1, 1e-7f);
    ASSERT_TRUE(svd(small, U, W, V));
    EXPECT_NEAR(W(0), std::sqrt(7.0f) * 1e-7f, 1e-12f);
    EXPECT_NEAR(std::fabs(V(0, 0)), 1.0f, 1e-6f);
    for (uint32_t i = 0; i < 7; ++i) EXPECT_NEAR(U(i, 0) * W(0) * V(0, 0), 1e-7f, 1e-12f);
}

TEST(SvdEdges, ValuesAreSortedDescendingWithTheirVectors) {
    // Columns scaled by 1, 3 and 2: the values come out 3, 2, 1 and V's columns are the axes
    // 1, 2 and 0 (up to sign), U's the matching unit columns.
    mat<float> A(4, 3, 0.0f);
    A(0, 0) = 1.0f;
    A(1, 1) = -3.0f;  // a negative entry: its value is made positive, a vector negated
    A(2, 2) = 2.0f;
    mat<float> U;
    mat<float> V;
    diag_mat<float> W;
    ASSERT_TRUE(svd(A, U, W, V));
    EXPECT_NEAR(W(0), 3.0f, 1e-6f);
    EXPECT_NEAR(W(1), 2.0f, 1e-6f);
    EXPECT_NEAR(W(2), 1.0f, 1e-6f);
    const uint32_t axis[3] = {1, 2, 0};
    for (uint32_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(std::fabs(V(axis[k], k)), 1.0f, 1e-6f) << "column " << k;
        EXPECT_NEAR(std::fabs(U(axis[k], k)), 1.0f, 1e-6f) << "column " << k;
        // The product keeps the original entry, sign included.
        EXPECT_NEAR(U(axis[k], k) * W(k) * V(axis[k], k), A(axis[k], axis[k]), 1e-5f);
    }
}

TEST(SvdEdges, AWideMatrixDecomposesToo) {
    // 3 x 7 (more columns than rows), as the torso's stacked joints would be untransposed.
    mat<float> A(3, 7);
    for (uint32_t j = 0; j < 7; ++j)
        for (uint32_t i = 0; i < 3; ++i) A(i, j) = std::sin(1.0f + i * 7.0f + j);
    mat<float> U;
    mat<float> V;
    diag_mat<float> W;
    ASSERT_TRUE(svd(A, U, W, V));
    ASSERT_EQ(W.size(), 7u);
    for (uint32_t k = 3; k < 7; ++k) EXPECT_NEAR(W(k), 0.0f, 1e-5f);  // rank at most 3
    for (uint32_t k = 1; k < 7; ++k) EXPECT_LE(W(k), W(k - 1));
    for (uint32_t i = 0; i < 3; ++i)
        for (uint32_t j = 0; j < 7; ++j) {
            float sum = 0.0f;
            for (uint32_t k = 0; k < 7; ++k) sum += U(i, k) * W(k) * V(j, k);
            EXPECT_NEAR(sum, A(i, j), 1e-5f) << i << ", " << j;
        }
}

}  // namespace
