#pragma once
// Independent reference models of the hand pointer and the hand open/closed detector, written
// from their documented behaviour rather than from the code under test, for frame-by-frame
// comparison. Where that behaviour leaves an input undefined (NaN or huge coordinates, negative
// settings, no ray hitting the hand) the model makes the safe choice said at that spot.
// Everything is plain arithmetic on explicit inputs: an arm pose and a clock time for the
// pointer, a skeleton and a 640 x 480 image of millimetres for the detector.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "common/sensor/skeleton_record.h"

namespace refhands {

// ---------------------------------------------------------------------------------------------
// Hand pointer

struct RefPointer {
    float xMin = -0.5f, xMax = 0.0f, yMin = -0.1f, yMax = 0.4f;
    float x = 0.0f, y = 0.0f;
    float lastX = 0.0f, lastY = 0.0f;
    int hand = 0;
    int state = 0;  // 0 idle, 1 arming, 2 engaged
    int armStart = 0;
    int armDelay = 500;

    explicit RefPointer(int handIndex) : hand(handIndex) {
        if (hand == 1) {
            xMin = 0.0f;
            xMax = 0.5f;
        }
    }

    void update(const std::array<float, 18>& pose, uint32_t now) {
        const int base = hand == 1 ? 15 : 12;
        const float tx = pose[base];
        const float ty = pose[base + 1];
        const float reach = pose[base + 2];
        // A NaN or infinite hand value would stay in the filter for good: such a frame changes
        // nothing.
        if (!std::isfinite(tx) || !std::isfinite(ty) || !std::isfinite(reach)) return;

        const float fx = lastX * 0.6f + tx * 0.4f;
        const float fy = lastY * 0.6f + ty * 0.4f;
        const float dx = fx - lastX;
        const float dy = fy - lastY;
        float gain = 40.0f * std::sqrt(dx * dx + dy * dy);
        if (!(gain < 4.0f)) {
            gain = 4.0f;
        } else if (!(gain > 0.5f)) {
            gain = 0.5f;
        }
        x = x + gain * dx;
        y = y + gain * dy;
        lastX = fx;
        lastY = fy;

        x = x < xMin ? xMin : x;
        x = x > xMax ? xMax : x;
        y = y < yMin ? yMin : y;
        y = y > yMax ? yMax : y;

        // Elapsed time as the signed difference on the 32-bit millisecond clock: a wrap of the
        // clock does not matter, and a clock set back counts as no time passed.
        const int32_t elapsed = static_cast<int32_t>(now - static_cast<uint32_t>(armStart));
        switch (state) {
        case 0:
            if (reach > 0.2f) {
                armStart = static_cast<int>(now);
                state = 1;
            }
            break;
        case 1:
            if (reach < 0.2f) {
                state = 0;
            } else if (elapsed > armDelay) {
                state = 2;
                x = fx;
                y = fy;
            }
            break;
        default:
            if (reach < 0.2f) {
                state = 0;
            }
            break;
        }
    }

    // Window pixels for a W x H window.
    void screen(float w, float h, float& sx, float& sy) const {
        sx = (x - xMin) / (xMax - xMin) * w;
        sy = (y - yMin) / (yMax - yMin) * h;
        sx = std::min(std::max(sx, 0.0f), w - 1.0f);
        sy = std::min(std::max(sy, 0.0f), h - 1.0f);
        // An empty window keeps the position at 0.
        sx = std::max(sx, 0.0f);
        sy = std::max(sy, 0.0f);
    }
};

// ---------------------------------------------------------------------------------------------
// Hand open/closed detector

constexpr int REF_WIDTH = 640;
constexpr int REF_HEIGHT = 480;

// Float to int rounding toward zero. A coordinate that cannot be an image position (beyond a
// million pixels, infinite or NaN) is held a million pixels outside the image, so that it finds
// no hand pixel and later integer sums cannot overflow.
inline int truncToInt(float v) {
    if (std::isnan(v)) return -1000000;
    if (v >= 1.0e6f) return 1000000;
    if (v <= -1.0e6f) return -1000000;
    return static_cast<int>(v);
}

struct RefJointPixel {
    int u = 0, v = 0, depth = 0;
};

inline RefJointPixel refProject(const Vector4& p) {
    RefJointPixel r;
    if (!(p.z > 1.1920929e-7f)) return r;
    r.u = truncToInt(p.x * 2.0f * 285.63f / p.z + 320.0f + 0.5f);
    r.v = truncToInt(240.0f - p.y * 2.0f * 285.63f / p.z + 0.5f);
    // Millimetres of the float product, kept modulo 8192 like the depth image's 13 bits.
    const float mm = p.z * 1000.0f;
    r.depth = std::isfinite(mm) ? static_cast<int>(std::fmod(std::trunc(static_cast<double>(mm)), 8192.0))
                                : truncToInt(mm) % 8192;
    return r;
}

// Moving mean over 2f + 1 entries, the ends repeating the first and last full windows; only
// when the profile has more than 2f entries (and f is not negative).
inline void refSmooth(std::vector<float>& profile, int f) {
    const int n = static_cast<int>(profile.size());
    if (f < 0 || static_cast<int64_t>(n) <= 2 * static_cast<int64_t>(f)) return;
    const std::vector<float> c = profile;
    float S = 0.0f;
    for (int q = 0; q <= 2 * f; ++q) S += c[q];
    const float wgt = 1.0f / static_cast<float>(2 * f + 1);
    for (int q = 0; q < f; ++q) profile[q] = S * wgt;
    for (int q = f; q <= n - f - 2; ++q) {
        profile[q] = S * wgt;
        S = S + c[q + f + 1] - c[q - f];
    }
    for (int q = n - f - 1; q <= n - 1; ++q) profile[q] = S * wgt;
}

// Indices k..n-k-1 above the mean that rise (not strictly) over the k entries before, fall over
// the k after, with summed slope above the gradient. A neighbourhood below 1 finds nothing.
inline void refPeaks(const std::vector<float>& profile, float meanRadius, int k, float gradient,
                     std::vector<int>& peaks) {
    peaks.clear();
    if (k < 1) return;
    const int n = static_cast<int>(profile.size());
    for (int i = k; i <= n - k - 1; ++i) {
        const float p = profile[i];
        if (!(p > meanRadius)) continue;
        bool shape = true;
        for (int m = 0; m < k && shape; ++m) {
            shape = profile[i - m] >= profile[i - m - 1] && profile[i + m] >= profile[i + m + 1];
        }
        if (!shape) continue;
        const float slope = (p - profile[i - k]) / static_cast<float>(k) + (p - profile[i + k]) / static_cast<float>(k);
        if (slope > gradient) peaks.push_back(i);
    }
}

enum RefOutcome { REF_MEASURED = 0, REF_BEHIND_BODY = 1, REF_NOT_FOUND = 2, REF_PROFILE_SHORT = 3 };

struct RefDetector {
    int depthThreshold = 110;
    int neighbourhood = 8;
    int filterSize = 6;
    float gradient = 0.6f;
    int hand = 0;

    std::vector<float> profile;
    float meanRadius = 0.0f;
    std::vector<int> peaks;
    std::deque<bool> history{false, false, false};
    int imageWidth = 0, imageHeight = 0;
    std::vector<uint8_t> image;
    int state = 0;

    // What the last update found on its way.
    int wristU = 0, wristV = 0, wristDepth = 0;
    float angle = 0.0f;
    int A = 0, B = 0, C = 0;

    explicit RefDetector(int handIndex) : hand(handIndex) {}

    // Working inputs of one update.
    const uint16_t* depth = nullptr;
    float cosA = 1.0f, sinA = 0.0f;

    bool handPixel(int i, int j) const {
        const int px = wristU + truncToInt(i * cosA - j * sinA + 0.5f);
        const int py = wristV - truncToInt(i * sinA + j * cosA + 0.5f);
        if (px < 1 || px > 639 || py < 1 || py > 479) return false;
        const int d = depth[py * REF_WIDTH + px];
        return std::abs(d - wristDepth) < depthThreshold;
    }

    RefOutcome update(const SkeletonRecord& skeleton, const uint16_t* depthMm, std::deque<std::string>& events) {
        depth = depthMm;
        const int wrist = hand == 1 ? 10 : 6;
        const int elbow = hand == 1 ? 9 : 5;
        const RefJointPixel w = refProject(skeleton.joints[wrist]);
        wristU = w.u;
        wristV = w.v;
        wristDepth = w.depth;

        const int torso[6] = {0, 1, 2, 3, 4, 8};
        for (int t : torso) {
            if (refProject(skeleton.joints[t]).depth < wristDepth) return REF_BEHIND_BODY;
        }

        const RefJointPixel e = refProject(skeleton.joints[elbow]);
        const int du = e.u - wristU;
        const int dv = e.v - wristV;
        const float s = du > 0 ? 1.0f : -1.0f;
        angle = s * std::atan2(static_cast<float>(std::abs(du)), static_cast<float>(std::abs(dv)));
        if (e.v < wristV) angle = 3.1415927f - angle;
        cosA = std::cos(angle);
        sinA = std::sin(angle);

        A = 0;
        B = 0;
        C = 0;
        auto columnHasHand = [&](int i) {
            for (int j = 0; j <= 199; ++j) {
                if (handPixel(i, j)) return true;
            }
            return false;
        };
        for (int i = 0; i >= -99; --i) {
            if (!columnHasHand(i)) break;
            A = i;
        }
        for (int i = 0; i <= 99; ++i) {
            if (!columnHasHand(i)) break;
            B = i;
        }
        for (int j = 0; j <= 199; ++j) {
            bool found = false;
            for (int i = A; i < B && !found; ++i) found = handPixel(i, j);
            if (!found) break;
            C = j;
        }
        if (A == 0 && B == 0) return REF_NOT_FOUND;

        profile.clear();
        float sum = 0.0f;
        auto ray = [&](int i, int j) {
            if (!handPixel(i, j)) return false;
            const float r = std::sqrt(static_cast<float>(i * i + j * j));
            profile.push_back(r);
            sum += r;
            return true;
        };
        auto tanDeg = [](float p) { return std::tan(p * 3.1415927f / 180.0f); };
        if (B != 0) {
            for (int k = 0; k < 90; ++k) {
                const float t = tanDeg(0.5f * k);
                for (int i = B; i >= 1; --i) {
                    if (ray(i, truncToInt(i * t + 0.5f))) break;
                }
            }
        }
        if (C != 0) {
            for (int k = 90; k >= 1; --k) {
                const float t = tanDeg(0.5f * k);
                for (int j = C; j >= 1; --j) {
                    if (ray(truncToInt(j * t + 0.5f), j)) break;
                }
            }
            for (int k = 0; k < 90; ++k) {
                const float t = tanDeg(0.5f * k);
                for (int j = C; j >= 1; --j) {
                    if (ray(-truncToInt(j * t + 0.5f), j)) break;
                }
            }
        }
        if (A != 0) {
            for (int k = 90; k >= 0; --k) {
                const float t = tanDeg(0.5f * k);
                for (int i = A; i <= -1; ++i) {
                    if (ray(i, truncToInt(0.5f - i * t))) break;
                }
            }
        }

        const int n = static_cast<int>(profile.size());
        refSmooth(profile, filterSize);
        // No ray hit at all would make the mean 0 / 0: it is 0 instead.
        meanRadius = n > 0 ? sum / static_cast<float>(n) : 0.0f;

        peaks.clear();
        const int k = neighbourhood;
        // A negative neighbourhood would test entries outside the profile: not a measurement.
        if (k < 0 || static_cast<int64_t>(n) < 2 * static_cast<int64_t>(k)) return REF_PROFILE_SHORT;
        refPeaks(profile, meanRadius, k, gradient, peaks);
        const bool closedNow = peaks.size() < 2;

        imageWidth = B - A + 1;
        imageHeight = C + 1;
        image.assign(static_cast<size_t>(imageWidth) * imageHeight * 4, 0);
        for (int r = 0; r < imageHeight; ++r) {
            for (int col = 0; col < imageWidth; ++col) {
                if (handPixel(A + col, C - r)) {
                    uint8_t* px = &image[(static_cast<size_t>(r) * imageWidth + col) * 4];
                    px[0] = px[1] = px[2] = 180;
                }
            }
        }

        history.pop_front();
        history.push_back(closedNow);
        const char* side = hand == 1 ? "RIGHT" : "LEFT";
        const bool allClosed = history[0] && history[1] && history[2];
        const bool allOpen = !history[0] && !history[1] && !history[2];
        if (state == 0 && allClosed) {
            events.push_back(std::string(side) + "_HAND_CLOSED");
            state = 1;
        } else if (state == 1 && allOpen) {
            events.push_back(std::string(side) + "_HAND_OPENED");
            state = 0;
        }
        return REF_MEASURED;
    }
};

}  // namespace refhands
