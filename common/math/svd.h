#pragma once
// Singular value decomposition of small single-precision matrices (Golub-Reinsch).
#include "common/math/mat.h"

// Decomposes the m x n matrix A (m >= n) as A = U * diag(W) * V^T. U becomes m x n with
// orthonormal columns, W holds the n singular values, non-negative and in descending order,
// V becomes n x n orthogonal; the columns of U and V follow the order of W. A is not modified
// and may be the same object as U.
// Returns false, leaving U, W and V meaningless, when a value has not converged after 20 QR
// sweeps or when A or the result is not finite (NaN or infinity in the input, or entries of
// about 1e19 and above, whose shifts overflow).
// Householder steps skip a column or row whose scale is not above FLT_EPSILON, so for matrices
// whose entries are all about 1e-5 or smaller the reconstruction loses accuracy, down to W = 0
// for entries of 1e-9 (the arm-pose fit works in metres, far above this).
bool svd(const mat<float>& A, mat<float>& U, diag_mat<float>& W, mat<float>& V);
