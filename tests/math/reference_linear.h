#pragma once
// A double-precision model of the small vector and matrix kit and of the singular value
// decomposition, written from their documented behaviour, to compare the single-precision
// templates against. Matrices are column-major: element (i, j) at i + j * rows.
// The decomposition here is one-sided Jacobi, a different method from the program's
// bidiagonalisation, so the two do not share mistakes.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

namespace linear_ref {

using Vec = std::vector<double>;

struct Mat {
    size_t rows = 0;
    size_t cols = 0;
    std::vector<double> a;  // column-major

    Mat() = default;
    Mat(size_t r, size_t c, double fill = 0.0) : rows(r), cols(c), a(r * c, fill) {}
    double& at(size_t i, size_t j) { return a[i + j * rows]; }
    double at(size_t i, size_t j) const { return a[i + j * rows]; }
};

inline Vec add(const Vec& v, const Vec& w) {
    Vec r(v.size());
    for (size_t i = 0; i < v.size(); ++i) r[i] = v[i] + w[i];
    return r;
}

inline Vec subtract(const Vec& v, const Vec& w) {
    Vec r(v.size());
    for (size_t i = 0; i < v.size(); ++i) r[i] = v[i] - w[i];
    return r;
}

inline Vec scale(double s, const Vec& v) {
    Vec r(v.size());
    for (size_t i = 0; i < v.size(); ++i) r[i] = s * v[i];
    return r;
}

inline double dot(const Vec& v, const Vec& w) {
    double sum = 0.0;
    for (size_t i = 0; i < v.size(); ++i) sum += v[i] * w[i];
    return sum;
}

inline double norm(const Vec& v) { return std::sqrt(dot(v, v)); }

inline Vec row(const Mat& m, size_t i) {
    Vec r(m.cols);
    for (size_t j = 0; j < m.cols; ++j) r[j] = m.at(i, j);
    return r;
}

inline Vec col(const Mat& m, size_t j) {
    Vec c(m.rows);
    for (size_t i = 0; i < m.rows; ++i) c[i] = m.at(i, j);
    return c;
}

inline void setCol(Mat& m, size_t j, const Vec& v) {
    for (size_t i = 0; i < m.rows; ++i) m.at(i, j) = v[i];
}

inline Mat add(const Mat& m, const Mat& n) {
    Mat r(m.rows, m.cols);
    for (size_t k = 0; k < m.a.size(); ++k) r.a[k] = m.a[k] + n.a[k];
    return r;
}

inline Mat scale(double s, const Mat& m) {
    Mat r(m.rows, m.cols);
    for (size_t k = 0; k < m.a.size(); ++k) r.a[k] = s * m.a[k];
    return r;
}

inline Mat transpose(const Mat& m) {
    Mat t(m.cols, m.rows);
    for (size_t i = 0; i < m.rows; ++i)
        for (size_t j = 0; j < m.cols; ++j) t.at(j, i) = m.at(i, j);
    return t;
}

inline Mat multiply(const Mat& m, const Mat& n) {
    Mat r(m.rows, n.cols);
    for (size_t i = 0; i < m.rows; ++i)
        for (size_t j = 0; j < n.cols; ++j) {
            double sum = 0.0;
            for (size_t k = 0; k < m.cols; ++k) sum += m.at(i, k) * n.at(k, j);
            r.at(i, j) = sum;
        }
    return r;
}

// The plain 3-component vector used for joint arithmetic: a right-handed cross product.
inline Vec cross3(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

struct Decomposition {
    Mat U;         // rows x cols; column k is A v_k / w_k, zero where w_k is zero
    Vec w;         // cols values, descending
    Mat V;         // cols x cols, orthogonal
};

// One-sided Jacobi: rotate pairs of columns of a working copy of A (and of V, starting from
// the identity) until every pair is orthogonal; the column norms are then the singular values.
// Works for any shape; a matrix wider than tall simply ends with zero columns.
inline Decomposition decompose(const Mat& A) {
    const size_t m = A.rows, n = A.cols;
    Mat W = A;
    Mat V(n, n);
    for (size_t k = 0; k < n; ++k) V.at(k, k) = 1.0;
    for (int sweep = 0; sweep < 100; ++sweep) {
        bool rotated = false;
        for (size_t p = 0; p + 1 < n; ++p)
            for (size_t q = p + 1; q < n; ++q) {
                double alpha = 0, beta = 0, gamma = 0;
                for (size_t i = 0; i < m; ++i) {
                    alpha += W.at(i, p) * W.at(i, p);
                    beta += W.at(i, q) * W.at(i, q);
                    gamma += W.at(i, p) * W.at(i, q);
                }
                if (gamma == 0.0 || std::fabs(gamma) <= 1e-15 * std::sqrt(alpha * beta)) continue;
                rotated = true;
                const double zeta = (beta - alpha) / (2.0 * gamma);
                const double t = (zeta >= 0 ? 1.0 : -1.0) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta));
                const double c = 1.0 / std::sqrt(1.0 + t * t);
                const double s = c * t;
                for (size_t i = 0; i < m; ++i) {
                    const double x = W.at(i, p), y = W.at(i, q);
                    W.at(i, p) = c * x - s * y;
                    W.at(i, q) = s * x + c * y;
                }
                for (size_t i = 0; i < n; ++i) {
                    const double x = V.at(i, p), y = V.at(i, q);
                    V.at(i, p) = c * x - s * y;
                    V.at(i, q) = s * x + c * y;
                }
            }
        if (!rotated) break;
    }
    std::vector<double> norms(n);
    for (size_t k = 0; k < n; ++k) norms[k] = norm(col(W, k));
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return norms[x] > norms[y]; });

    Decomposition d{Mat(m, n), Vec(n), Mat(n, n)};
    for (size_t k = 0; k < n; ++k) {
        const size_t from = order[k];
        d.w[k] = norms[from];
        for (size_t i = 0; i < n; ++i) d.V.at(i, k) = V.at(i, from);
        for (size_t i = 0; i < m; ++i) d.U.at(i, k) = norms[from] > 0 ? W.at(i, from) / norms[from] : 0.0;
    }
    return d;
}

}  // namespace linear_ref
