#pragma once
// Singular value decomposition of small single-precision matrices (Golub-Reinsch).
#include "common/math/mat.h"

// Decomposes the m x n matrix A (m >= n) as A = U * diag(W) * V^T. U becomes m x n with
// orthonormal columns, W holds the n singular values, non-negative and in descending order,
// V becomes n x n orthogonal; the columns of U and V follow the order of W. A is not modified
// and may be the same object as U.
// Returns false, leaving U, W and V meaningless, when a value has not converged after 20 QR
// sweeps or when A or the result is not finite (NaN or infinity in the input).
bool svd(const mat<float>& A, mat<float>& U, diag_mat<float>& W, mat<float>& V);
