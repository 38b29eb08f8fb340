#include "common/math/svd.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <utility>

namespace {

constexpr int MAX_SWEEPS = 20;

// sqrt(a^2 + b^2) without destructive overflow or underflow.
float hypotenuse(float a, float b) {
    float absA = std::fabs(a);
    float absB = std::fabs(b);
    if (absA > absB) {
        float r = absB / absA;
        return absA * std::sqrt(1.0f + r * r);
    }
    if (absB == 0.0f) return 0.0f;
    float r = absA / absB;
    return absB * std::sqrt(1.0f + r * r);
}

// |a| with the sign of b (b == 0 counts as positive).
float withSign(float a, float b) { return b >= 0.0f ? std::fabs(a) : -std::fabs(a); }

bool allFinite(const mat<float>& m) {
    for (uint32_t j = 0; j < m.ncols(); ++j)
        for (uint32_t i = 0; i < m.nrows(); ++i)
            if (!std::isfinite(m(i, j))) return false;
    return true;
}

}  // namespace

bool svd(const mat<float>& A, mat<float>& U, diag_mat<float>& W, mat<float>& V) {
    // NaN or infinity would defeat the splitting test and walk the scan below index 0.
    if (!allFinite(A)) return false;

    const int m = static_cast<int>(A.nrows());
    const int n = static_cast<int>(A.ncols());
    if (&U != &A) U = A;
    mat<float>& a = U;  // the working copy; becomes U
    // Outputs of the right shape are reused rather than reallocated.
    if (W.size() != A.ncols()) W = diag_mat<float>(A.ncols());
    diag_mat<float>& w = W;
    if (V.nrows() != A.ncols() || V.ncols() != A.ncols()) V = mat<float>(A.ncols(), A.ncols());
    mat<float>& v = V;
    for (int i = 0; i < n; ++i) {
        w(i) = 0.0f;
        for (int j = 0; j < n; ++j) v(i, j) = 0.0f;
    }
    vec<float> rv1(static_cast<uint32_t>(n));  // superdiagonal of the bidiagonal form

    // 1. Householder reduction to upper bidiagonal form.
    float g = 0.0f;
    float scale = 0.0f;
    float anorm = 0.0f;
    int l = 0;
    for (int i = 0; i < n; ++i) {
        l = i + 1;
        rv1(i) = scale * g;
        g = 0.0f;
        scale = 0.0f;
        if (i < m) {
            for (int k = i; k < m; ++k) scale += std::fabs(a(k, i));
            if (scale > FLT_EPSILON) {
                float s = 0.0f;
                for (int k = i; k < m; ++k) {
                    a(k, i) /= scale;
                    s += a(k, i) * a(k, i);
                }
                float f = a(i, i);
                g = -withSign(std::sqrt(s), f);
                float h = f * g - s;
                a(i, i) = f - g;
                for (int j = l; j < n; ++j) {
                    float sum = 0.0f;
                    for (int k = i; k < m; ++k) sum += a(k, i) * a(k, j);
                    float factor = sum / h;
                    for (int k = i; k < m; ++k) a(k, j) += factor * a(k, i);
                }
                for (int k = i; k < m; ++k) a(k, i) *= scale;
            }
        }
        w(i) = scale * g;
        g = 0.0f;
        scale = 0.0f;
        if (i < m && i != n - 1) {
            for (int k = l; k < n; ++k) scale += std::fabs(a(i, k));
            if (scale > FLT_EPSILON) {
                float s = 0.0f;
                for (int k = l; k < n; ++k) {
                    a(i, k) /= scale;
                    s += a(i, k) * a(i, k);
                }
                float f = a(i, l);
                g = -withSign(std::sqrt(s), f);
                float h = f * g - s;
                a(i, l) = f - g;
                for (int k = l; k < n; ++k) rv1(k) = a(i, k) / h;
                for (int j = l; j < m; ++j) {
                    float sum = 0.0f;
                    for (int k = l; k < n; ++k) sum += a(j, k) * a(i, k);
                    for (int k = l; k < n; ++k) a(j, k) += sum * rv1(k);
                }
                for (int k = l; k < n; ++k) a(i, k) *= scale;
            }
        }
        anorm = std::max(anorm, std::fabs(w(i)) + std::fabs(rv1(i)));
    }

    // Accumulate the right-hand transformations into V.
    for (int i = n - 1; i >= 0; --i) {
        if (i < n - 1) {
            if (g != 0.0f) {
                // Two divisions rather than one to avoid underflow.
                for (int j = l; j < n; ++j) v(j, i) = (a(i, j) / a(i, l)) / g;
                for (int j = l; j < n; ++j) {
                    float s = 0.0f;
                    for (int k = l; k < n; ++k) s += a(i, k) * v(k, j);
                    for (int k = l; k < n; ++k) v(k, j) += s * v(k, i);
                }
            }
            for (int j = l; j < n; ++j) {
                v(i, j) = 0.0f;
                v(j, i) = 0.0f;
            }
        }
        v(i, i) = 1.0f;
        g = rv1(i);
        l = i;
    }

    // Accumulate the left-hand transformations into the working copy.
    for (int i = std::min(m, n) - 1; i >= 0; --i) {
        l = i + 1;
        g = w(i);
        for (int j = l; j < n; ++j) a(i, j) = 0.0f;
        if (g != 0.0f) {
            g = 1.0f / g;
            for (int j = l; j < n; ++j) {
                float s = 0.0f;
                for (int k = l; k < m; ++k) s += a(k, i) * a(k, j);
                float f = (s / a(i, i)) * g;
                for (int k = i; k < m; ++k) a(k, j) += f * a(k, i);
            }
            for (int j = i; j < m; ++j) a(j, i) *= g;
        } else {
            for (int j = i; j < m; ++j) a(j, i) = 0.0f;
        }
        a(i, i) += 1.0f;
    }

    // 2. Diagonalise the bidiagonal form by implicit-shift QR sweeps.
    const float negligible = FLT_EPSILON * anorm;
    for (int k = n - 1; k >= 0; --k) {
        for (int sweep = 0;; ++sweep) {
            // Find the start l of the unreduced block ending at k. rv1(0) is always zero, so
            // l == 0 always splits.
            bool cancel = true;
            int nm = 0;
            for (l = k; l >= 0; --l) {
                nm = l - 1;
                if (l == 0 || std::fabs(rv1(l)) <= negligible) {
                    cancel = false;
                    break;
                }
                if (std::fabs(w(nm)) <= negligible) break;
            }
            if (cancel) {
                // w(nm) is negligible: chase rv1(l) out with Givens rotations.
                float c = 0.0f;
                float s = 1.0f;
                for (int i = l; i <= k; ++i) {
                    float f = s * rv1(i);
                    rv1(i) = c * rv1(i);
                    if (std::fabs(f) <= negligible) break;
                    g = w(i);
                    float h = hypotenuse(f, g);
                    w(i) = h;
                    h = 1.0f / h;
                    c = g * h;
                    s = -f * h;
                    for (int j = 0; j < m; ++j) {
                        float y = a(j, nm);
                        float z = a(j, i);
                        a(j, nm) = y * c + z * s;
                        a(j, i) = z * c - y * s;
                    }
                }
            }
            float z = w(k);
            if (l == k) {
                // Converged: make the value non-negative.
                if (z < 0.0f) {
                    w(k) = -z;
                    for (int j = 0; j < n; ++j) v(j, k) = -v(j, k);
                }
                break;
            }
            if (sweep == MAX_SWEEPS) return false;

            // Shift from the bottom 2 x 2 minor.
            float x = w(l);
            nm = k - 1;
            float y = w(nm);
            g = rv1(nm);
            float h = rv1(k);
            float f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0f * h * y);
            g = hypotenuse(f, 1.0f);
            f = ((x - z) * (x + z) + h * ((y / (f + withSign(g, f))) - h)) / x;

            // Next QR transformation.
            float c = 1.0f;
            float s = 1.0f;
            for (int j = l; j <= nm; ++j) {
                int i = j + 1;
                g = rv1(i);
                y = w(i);
                h = s * g;
                g = c * g;
                z = hypotenuse(f, h);
                rv1(j) = z;
                c = f / z;
                s = h / z;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y *= c;
                for (int jj = 0; jj < n; ++jj) {
                    x = v(jj, j);
                    z = v(jj, i);
                    v(jj, j) = x * c + z * s;
                    v(jj, i) = z * c - x * s;
                }
                z = hypotenuse(f, h);
                w(j) = z;
                if (z != 0.0f) {  // rotation can be arbitrary when z is zero
                    z = 1.0f / z;
                    c = f * z;
                    s = h * z;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                for (int jj = 0; jj < m; ++jj) {
                    y = a(jj, j);
                    z = a(jj, i);
                    a(jj, j) = y * c + z * s;
                    a(jj, i) = z * c - y * s;
                }
            }
            rv1(l) = 0.0f;
            rv1(k) = f;
            w(k) = x;
        }
    }

    for (int i = 0; i < n; ++i)
        if (!std::isfinite(w(i))) return false;

    // Sort the values in descending order (selection sort: n is tiny) and swap the columns of
    // U and V along with them.
    for (int i = 0; i < n - 1; ++i) {
        int largest = i;
        for (int j = i + 1; j < n; ++j)
            if (w(j) > w(largest)) largest = j;
        if (largest == i) continue;
        std::swap(w(i), w(largest));
        for (int r = 0; r < m; ++r) std::swap(a(r, i), a(r, largest));
        for (int r = 0; r < n; ++r) std::swap(v(r, i), v(r, largest));
    }
    return true;
}
