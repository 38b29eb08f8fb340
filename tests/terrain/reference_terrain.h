#pragma once
// An independent, deliberately plain model of the terrain modeller's arithmetic, written from
// the behaviour the tools must have rather than from their code: the mesh and its normals, the
// five height brushes and their parameters, the random source, the orbit camera, the TGA
// export and the colour stamp's blend. The tests run it side by side with the real tools.
//
// Nothing here includes the code under test; only plain types are shared.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace ref {

constexpr int CELLS = 256;
constexpr int SIDE = CELLS + 1;  // vertices along each side
constexpr int VERTEX_COUNT = SIDE * SIDE;
constexpr int FACE_COUNT = 2 * CELLS * CELLS;

using Vec3 = std::array<float, 3>;
using Pose = std::array<float, 18>;

// Arm-pose slots the tools read.
constexpr int WRIST_DISTANCE = 10;
constexpr int LEFT_X = 12, LEFT_Y = 13, LEFT_Z = 14;
constexpr int RIGHT_X = 15, RIGHT_Y = 16, RIGHT_Z = 17;

inline Vec3 normalised(const Vec3& v) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0.0f) return v;
    return {v[0] / length, v[1] / length, v[2] / length};
}

// ---------------------------------------------------------------------------------------------
// Height field

struct Mesh {
    std::vector<float> height = std::vector<float>(VERTEX_COUNT, 0.0f);
    std::vector<Vec3> normal = std::vector<Vec3>(VERTEX_COUNT, Vec3{0.0f, 1.0f, 0.0f});
    std::vector<std::array<int, 3>> face = std::vector<std::array<int, 3>>(FACE_COUNT);
    std::vector<Vec3> faceNormal = std::vector<Vec3>(FACE_COUNT, Vec3{0.0f, 1.0f, 0.0f});
    std::vector<std::vector<int>> facesOf = std::vector<std::vector<int>>(VERTEX_COUNT);
    std::vector<std::vector<int>> neighboursOf = std::vector<std::vector<int>>(VERTEX_COUNT);
    std::vector<int> dirty;

    static float xOf(int k) { return static_cast<float>(k % SIDE); }
    static float zOf(int k) { return static_cast<float>(k / SIDE); }

    Mesh() {
        auto attach = [this](int vertex, int f) {
            std::vector<int>& list = facesOf[vertex];
            if (std::find(list.begin(), list.end(), f) != list.end()) return;
            list.push_back(f);
            for (int other : face[f]) {
                std::vector<int>& near = neighboursOf[vertex];
                if (other != vertex && std::find(near.begin(), near.end(), other) == near.end()) near.push_back(other);
            }
        };
        for (int h = 0; h < CELLS * CELLS; ++h) {
            const int q = h + h / CELLS;
            face[2 * h] = {q, q + SIDE, q + SIDE + 1};
            face[2 * h + 1] = {q, q + SIDE + 1, q + 1};
            for (int vertex : {q, q + SIDE, q + SIDE + 1}) attach(vertex, 2 * h);
            for (int vertex : {q, q + 1, q + SIDE + 1}) attach(vertex, 2 * h + 1);
        }
    }

    Vec3 position(int k) const { return {xOf(k), height[k], zOf(k)}; }

    void updateNormals() {
        for (int vertex : dirty) {
            for (int f : facesOf[vertex]) {
                const Vec3 a = position(face[f][0]), b = position(face[f][1]), c = position(face[f][2]);
                const Vec3 u{c[0] - b[0], c[1] - b[1], c[2] - b[2]};
                const Vec3 w{a[0] - b[0], a[1] - b[1], a[2] - b[2]};
                faceNormal[f] = normalised({u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]});
            }
        }
        for (int vertex : dirty) {
            Vec3 sum = normal[vertex];
            for (int f : facesOf[vertex]) {
                for (int e = 0; e < 3; ++e) sum[e] += faceNormal[f][e];
            }
            normal[vertex] = normalised(sum);
        }
        dirty.clear();
    }
};

// ---------------------------------------------------------------------------------------------
// Random source of the randomise brush

struct Random {
    uint64_t u = 0, v = 0, w = 0;

    explicit Random(uint64_t seconds) {
        v = 4101842887655102017ULL;
        w = 1;
        u = seconds ^ v;
        draw();
        v = u;
        draw();
        w = v;
        draw();
    }

    uint64_t draw() {
        u = u * 2862933555777941757ULL + 7046029254386353087ULL;
        v ^= v >> 17;
        v ^= v << 31;
        v ^= v >> 8;
        w = 4294957665ULL * (w & 0xFFFFFFFFULL) + (w >> 32);
        uint64_t x = u ^ (u << 21);
        x ^= x >> 35;
        x ^= x << 4;
        return (x + v) ^ w;
    }

    double uniform() { return static_cast<double>(draw()) * 5.42101086242752217e-20; }
};

// ---------------------------------------------------------------------------------------------
// Height brushes

enum class Kind { RAISE, SMOOTH, RANDOMIZE, BULLDOZE, DUMP };

struct Brush {
    Kind kind;
    float radius = 4.0f;
    float second = 0.0f;  // exponent, strength, amplitude or level
    Pose previous{};
    bool hit = false;
    Vec3 hitPoint{0.0f, 0.0f, 0.0f};
    Random random{0};

    Brush(Kind k, uint64_t seedSeconds) : kind(k), random(seedSeconds) {
        switch (kind) {
        case Kind::RAISE: second = 1.0f; break;
        case Kind::SMOOTH: second = 0.5f; break;
        case Kind::RANDOMIZE: second = 0.5f; break;
        case Kind::BULLDOZE:
        case Kind::DUMP: second = 1.0f; break;
        }
    }

    void adjust(const Pose& pose) {
        const float dx = pose[LEFT_X] - previous[LEFT_X];
        const float dy = pose[LEFT_Y] - previous[LEFT_Y];
        if (std::fabs(dy) < std::fabs(dx)) {
            radius = radius + 50.0f * dx;
            if (kind != Kind::RAISE) radius = std::max(radius, 0.0f);
            return;
        }
        switch (kind) {
        case Kind::RAISE: second = std::clamp(second + 20.0f * dy, 0.2f, 8.0f); break;
        case Kind::SMOOTH: second = std::clamp(second + dy, 0.0f, 1.0f); break;
        case Kind::RANDOMIZE: second = std::clamp(second + dy, -1.0f, 1.0f); break;
        case Kind::BULLDOZE:
        case Kind::DUMP: second = second + 50.0f * dy; break;
        }
    }

    // One stroke at the picked point (px, py, pz); a miss is handled by the caller.
    void stroke(Mesh& mesh) {
        const float px = hitPoint[0], pz = hitPoint[2];
        const int ci = static_cast<int>(px), cj = static_cast<int>(pz);
        const float reachRadius = std::fabs(radius);
        const int rr = static_cast<int>(kind == Kind::RANDOMIZE ? radius : reachRadius);
        std::vector<std::pair<int, float>> smoothed;
        for (int i = ci - rr; i <= ci + rr; ++i) {
            if (i < 0 || i > CELLS) continue;
            for (int j = cj - rr; j <= cj + rr; ++j) {
                if (j < 0 || j > CELLS) continue;
                const int k = i + j * SIDE;
                const float ddx = Mesh::xOf(k) - px, ddz = Mesh::zOf(k) - pz;
                const float d = std::sqrt(ddx * ddx + ddz * ddz);
                float& y = mesh.height[k];
                switch (kind) {
                case Kind::RAISE:
                    if (d < reachRadius) {
                        const double sign = radius < 0.0f ? -1.0 : 1.0;
                        const double p = second;
                        const double step = sign * 0.1 * reachRadius / std::sqrt(p) *
                                            (1.0 + std::cos(3.14159 * std::pow(static_cast<double>(d) / reachRadius, p)));
                        y = static_cast<float>(y + step);
                        mesh.dirty.push_back(k);
                    }
                    break;
                case Kind::SMOOTH:
                    if (d < reachRadius) {
                        double sum = 0.0;
                        for (int n : mesh.neighboursOf[k]) sum += mesh.height[n];
                        const double mean = sum / static_cast<double>(mesh.neighboursOf[k].size());
                        smoothed.emplace_back(k, static_cast<float>(second * mean + (1.0 - second) * y));
                    }
                    break;
                case Kind::RANDOMIZE:
                    if (d < static_cast<float>(rr)) {
                        const double q = random.uniform();
                        const double ratio = static_cast<double>(d) / radius;
                        const double falloff = std::pow(static_cast<double>(2.71828f), -4.0 * ratio * ratio);
                        y = static_cast<float>(y + falloff * (q * 1.0 * second));
                        mesh.dirty.push_back(k);
                    }
                    break;
                case Kind::BULLDOZE:
                case Kind::DUMP:
                    if (d < static_cast<float>(rr)) {
                        const float level = second;
                        const bool moves = kind == Kind::BULLDOZE ? level < y : level > y;
                        if (moves) {
                            const double t = static_cast<double>(d) / radius;
                            y = static_cast<float>(level * (1.0 - t) + t * y);
                        }
                        mesh.dirty.push_back(k);
                    }
                    break;
                }
            }
        }
        for (const auto& [k, y] : smoothed) {
            mesh.height[k] = y;
            mesh.dirty.push_back(k);
        }
        mesh.updateNormals();
    }
};

// ---------------------------------------------------------------------------------------------
// Orbit camera, in double precision; the real one works in floats.

using Mat = std::array<double, 16>;  // column by column

inline Mat product(const Mat& a, const Mat& b) {
    Mat out{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += a[k * 4 + row] * b[col * 4 + k];
            out[col * 4 + row] = s;
        }
    return out;
}

inline Mat translation(double x, double y, double z) { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1}; }

inline Mat projection(double aspect) {
    const double f = 1.0 / std::tan(45.0 * 0.5);
    const double n = 0.1, far = 1000.0;
    Mat p{};
    p[0] = f;
    p[5] = f * aspect;
    p[10] = -(far + n) / (far - n);
    p[11] = -1.0;
    p[14] = -2.0 * n * far / (far - n);
    return p;
}

inline Mat rigidInverse(const Mat& pose) {
    Mat rotationT{};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) rotationT[col * 4 + row] = pose[row * 4 + col];
    rotationT[15] = 1.0;
    return product(rotationT, translation(-pose[12], -pose[13], -pose[14]));
}

struct Orbit {
    double centre[3] = {128.0, 0.0, 128.0};
    float azimuth = 50.0f, elevation = 50.0f;
    double distance = 300.0;
    float gain = 100.0f;
    Pose previous{};
    Mat pose{};

    Orbit() { update(); }

    void update() {
        const double a = azimuth * 3.1415927 / 180.0, b = elevation * 3.1415927 / 180.0;
        const Mat ry{std::cos(a), 0, std::sin(a), 0, 0, 1, 0, 0, -std::sin(a), 0, std::cos(a), 0, 0, 0, 0, 1};
        const Mat rx{1, 0, 0, 0, 0, std::cos(b), -std::sin(b), 0, 0, std::sin(b), std::cos(b), 0, 0, 0, 0, 1};
        pose = product(product(product(translation(centre[0], centre[1], centre[2]), ry), rx), translation(0, 0, distance));
    }

    void rotate(const Pose& f) {
        azimuth += static_cast<float>(gain * (f[RIGHT_X] - previous[RIGHT_X]));
        elevation += static_cast<float>(gain * (previous[RIGHT_Y] - f[RIGHT_Y]));
    }

    void zoomAndPan(const Pose& f) {
        distance += (static_cast<double>(previous[WRIST_DISTANCE]) - f[WRIST_DISTANCE]) * distance;
        const double mx = (static_cast<double>(f[LEFT_X]) + f[RIGHT_X]) / 2.0;
        const double my = (static_cast<double>(f[LEFT_Y]) + f[RIGHT_Y]) / 2.0;
        const double px = (static_cast<double>(previous[LEFT_X]) + previous[RIGHT_X]) / 2.0;
        const double py = (static_cast<double>(previous[LEFT_Y]) + previous[RIGHT_Y]) / 2.0;
        const double sx = (mx - px) * gain, sy = (my - py) * gain;
        for (int axis = 0; axis < 2; ++axis) {
            const double* column = &pose[axis * 4];
            const double length = std::sqrt(column[0] * column[0] + column[1] * column[1] + column[2] * column[2]);
            const double shift = -(axis == 0 ? sx : sy) * distance * 0.01;
            for (int e = 0; e < 3; ++e) centre[e] += shift * column[e] / length;
        }
    }

    void noGrip(const Pose& f) {
        update();
        previous = f;
    }
    void leftGrip(const Pose& f) { noGrip(f); }
    void rightGrip(const Pose& f) {
        rotate(f);
        noGrip(f);
    }
    void bothGrip(const Pose& f) {
        zoomAndPan(f);
        noGrip(f);
    }
};

// ---------------------------------------------------------------------------------------------
// Export

// Whole TGA file for `rgb` (width * height * 3 bytes, source row k at k * width * 3).
inline std::vector<uint8_t> tgaFile(int width, int height, const std::vector<uint8_t>& rgb) {
    std::vector<uint8_t> out(18, 0);
    out[2] = 2;
    out[12] = static_cast<uint8_t>(width & 0xFF);
    out[13] = static_cast<uint8_t>(width >> 8);
    out[14] = static_cast<uint8_t>(height & 0xFF);
    out[15] = static_cast<uint8_t>(height >> 8);
    out[16] = 24;
    for (int row = height - 1; row >= 0; --row) {
        for (int column = 0; column < width; ++column) {
            const uint8_t* p = &rgb[(static_cast<size_t>(row) * width + column) * 3];
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
    }
    return out;
}

// The normalised height scaled to `top`, computed in long double. `nearBoundary` reports a
// value so close to an integer that the last bits of any reasonable arithmetic may decide it.
inline long long scaledHeight(float y, float hmin, float hmax, long long top, bool& nearBoundary) {
    const long double span = static_cast<long double>(hmax) - hmin;
    nearBoundary = false;
    if (span == 0.0L) return 0;
    const long double exact = (static_cast<long double>(y) - hmin) * top / span;
    const long double whole = std::floor(exact);
    nearBoundary = exact - whole < 1e-6L * (1.0L + exact) || whole + 1.0L - exact < 1e-6L * (1.0L + exact);
    return static_cast<long long>(whole);
}

inline std::array<uint8_t, 3> highPixel(long long n) {
    return {static_cast<uint8_t>((n >> 16) & 0xFF), static_cast<uint8_t>((n >> 8) & 0xFF), static_cast<uint8_t>(n & 0xFF)};
}

inline std::array<uint8_t, 3> lowPixel(long long g) {
    if (g <= 255) return {static_cast<uint8_t>(g), 0, 0};
    if (g <= 510) return {255, static_cast<uint8_t>(g - 255), 0};
    return {255, 255, static_cast<uint8_t>(g - 510)};
}

}  // namespace ref
