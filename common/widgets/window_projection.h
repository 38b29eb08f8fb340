#pragma once
// Placing points in the window as the renderer does (up to its rounding), for code that bounds
// what a draw can touch: the product of GL's column-major projection and model-view matrices,
// in double, and the window position of a point through it and the viewport.
#include <algorithm>
#include <cfloat>
#include <cmath>

inline void windowTransform(const float projection[16], const float modelview[16], double out[16]) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += static_cast<double>(projection[k * 4 + r]) * modelview[c * 4 + k];
            out[c * 4 + r] = sum;
        }
}

// The window position of (x, y, z) through `m` and the viewport {x, y, width, height}; false
// for a point on or behind the eye's plane, or one that lands at no finite position.
inline bool projectToWindow(const double m[16], const int viewport[4], double x, double y, double z, double& windowX,
                            double& windowY) {
    const double clipX = m[0] * x + m[4] * y + m[8] * z + m[12];
    const double clipY = m[1] * x + m[5] * y + m[9] * z + m[13];
    const double clipW = m[3] * x + m[7] * y + m[11] * z + m[15];
    if (!(clipW > 1e-6)) return false;
    windowX = viewport[0] + (clipX / clipW + 1.0) * 0.5 * viewport[2];
    windowY = viewport[1] + (clipY / clipW + 1.0) * 0.5 * viewport[3];
    return std::isfinite(windowX) && std::isfinite(windowY);
}

// How far, in window pixels, the renderer's float arithmetic may place (x, y, z) from
// projectToWindow's double result: a few float steps of the largest terms each row of the
// transform adds, through the division by w. Far below a pixel at ordinary views; it grows when
// points or the eye lie far from the origin, or the view zooms in very far. Infinity for a
// point on or behind the eye's plane.
inline double windowRounding(const double m[16], const int viewport[4], double x, double y, double z) {
    const double sumX = std::fabs(m[0] * x) + std::fabs(m[4] * y) + std::fabs(m[8] * z) + std::fabs(m[12]);
    const double sumY = std::fabs(m[1] * x) + std::fabs(m[5] * y) + std::fabs(m[9] * z) + std::fabs(m[13]);
    const double sumW = std::fabs(m[3] * x) + std::fabs(m[7] * y) + std::fabs(m[11] * z) + std::fabs(m[15]);
    const double clipX = m[0] * x + m[4] * y + m[8] * z + m[12];
    const double clipY = m[1] * x + m[5] * y + m[9] * z + m[13];
    const double clipW = m[3] * x + m[7] * y + m[11] * z + m[15];
    if (!(clipW > 1e-6)) return INFINITY;
    const double ndc = std::max(std::fabs(clipX), std::fabs(clipY)) / clipW;
    const double error = 8.0 * FLT_EPSILON * (std::max(sumX, sumY) + (ndc + 1.0) * sumW) / clipW;
    return error * 0.5 * std::max(viewport[2], viewport[3]);
}
