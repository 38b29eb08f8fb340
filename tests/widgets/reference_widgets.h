#pragma once
// An independent model of the dwell button, the capture countdown and the label's fading and
// glyph layout, written from the widgets' described behaviour rather than from their code, so
// that long random runs can compare the two frame by frame.
#include <cmath>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace refwidgets {

// ---- Dwell button ----
enum State { Disabled = 0, Idle = 1, Hovered = 2, Pressed = 3 };

struct Button {
    std::string name;
    float x = 0.0f, y = 0.0f, size = 0.0f;
    bool visible = false;
    int state = Disabled;
    bool disableAfterPress = false;
    uint32_t hoverStart = 0;
    uint32_t pressTime = 0;
};

inline bool inside(const Button& b, float px, float py) {
    const float dx = px - b.x;
    const float dy = py - b.y;
    const float sq = b.size * b.size;
    const float d2 = dx * dx + dy * dy;
    return d2 < sq;
}

// Elapsed milliseconds on the wrapping 32-bit clock.
inline uint32_t since(uint32_t now, uint32_t then) { return now - then; }

inline void update(Button& b, float px, float py, uint32_t now, std::deque<std::string>& events) {
    if (b.disableAfterPress && since(now, b.pressTime) > 1200u) {
        b.state = Disabled;
        b.disableAfterPress = false;
    }
    const bool in = inside(b, px, py);
    switch (b.state) {
        case Idle:
            if (in) {
                b.hoverStart = now;
                b.state = Hovered;
            }
            break;
        case Hovered:
            if (!in) {
                b.state = Idle;
            } else if (since(now, b.hoverStart) > 1000u) {
                events.push_back(b.name);
                b.pressTime = now;
                b.state = Pressed;
            }
            break;
        case Pressed:
            if (!in) b.state = Idle;
            break;
        default:
            break;
    }
}

inline void enable(Button& b) {
    b.disableAfterPress = false;
    b.state = Idle;
    b.visible = true;
}

inline void switchOff(Button& b) {
    if (b.state == Pressed)
        b.disableAfterPress = true;
    else
        b.state = Disabled;
}

inline int alpha(const Button& b) { return b.state == Idle ? 128 : 255; }

// ---- Countdown ----
struct Countdown {
    uint32_t start = 0;
    uint32_t duration = 0;
};

inline bool running(const Countdown& c, uint32_t now) {
    return c.start != 0 && since(now, c.start) <= c.duration;
}

// Whole seconds left while running.
inline int secondsLeft(const Countdown& c, uint32_t now) {
    const int64_t left = int64_t(c.duration) - int64_t(since(now, c.start));
    return left <= 0 ? 0 : int(left / 1000);
}

// The digits drawn, most significant first; none when no whole second is left.
inline std::vector<int> digits(int r) {
    std::vector<int> d;
    if (r <= 0) return d;
    const int n = int(std::floor(std::log10(double(r)))) + 1;
    for (int i = n - 1; i >= 0; --i) {
        int p = 1;
        for (int k = 0; k < i; ++k) p *= 10;
        d.push_back((r / p) % 10);
    }
    return d;
}

// ---- Glyphs ----
struct Glyph {
    bool exists = false;
    int atlas = -1;  // 0 capitals, 1 small letters
    float u0 = 0.0f, u1 = 0.0f;
};

inline std::vector<Glyph> glyphTable() {
    static const char capitals[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ!?.,:;+-*/#'";
    static const float capitalBounds[] = {
        0.0000f, 0.0358f, 0.0606f, 0.0925f, 0.1253f, 0.1499f, 0.1712f, 0.2034f, 0.2336f, 0.2430f,
        0.2623f, 0.2923f, 0.3170f, 0.3533f, 0.3837f, 0.4200f, 0.4436f, 0.4799f, 0.5071f, 0.5325f,
        0.5655f, 0.5946f, 0.6265f, 0.6689f, 0.7001f, 0.7310f, 0.7592f, 0.7713f, 0.7923f, 0.8047f,
        0.8147f, 0.8295f, 0.8416f, 0.8759f, 0.9019f, 0.9239f, 0.9458f, 0.9773f, 0.9873f};
    static const char smalls[] = "abcdefghijklmnopqrstuvwxyz0123456789() ";
    static const float smallBounds[] = {
        0.0000f, 0.0257f, 0.0528f, 0.0764f, 0.1056f, 0.1314f, 0.1491f, 0.1779f, 0.2045f, 0.2158f,
        0.2357f, 0.2608f, 0.2721f, 0.3134f, 0.3401f, 0.3686f, 0.3958f, 0.4250f, 0.4419f, 0.4643f,
        0.4825f, 0.5095f, 0.5354f, 0.5732f, 0.6022f, 0.6283f, 0.6546f, 0.6834f, 0.6984f, 0.7237f,
        0.7486f, 0.7777f, 0.8013f, 0.8296f, 0.8565f, 0.8843f, 0.9124f, 0.9269f, 0.9428f, 0.9630f};
    std::vector<Glyph> table(256);
    for (int k = 0; capitals[k] != 0; ++k) {
        Glyph& g = table[static_cast<unsigned char>(capitals[k])];
        g = {true, 0, capitalBounds[k], capitalBounds[k + 1]};
    }
    for (int k = 0; smalls[k] != 0; ++k) {
        Glyph& g = table[static_cast<unsigned char>(smalls[k])];
        g = {true, 1, smallBounds[k], smallBounds[k + 1]};
    }
    return table;
}

// Running width of a text in glyph units (one unit = height * 21.875 pixels).
inline double textWidth(const std::vector<Glyph>& table, const std::string& text, uint32_t height,
                        uint32_t spacing) {
    double s = 0.0;
    for (char c : text) {
        const Glyph& g = table[static_cast<unsigned char>(c)];
        if (!g.exists) continue;
        s += double(g.u1 - g.u0) + double(spacing) / (double(height) * 21.875);
    }
    return s;
}

// ---- Label fading ----
struct Fade {
    bool visible = true;
    double opacity = 1.0;
    double scale = 1.0;
};

inline Fade fade(int32_t duration, uint32_t fadeMs, uint32_t start, uint32_t now) {
    Fade f;
    if (duration == -1) return f;
    const int64_t t = int64_t(since(now, start));
    const int64_t d = duration;
    const int64_t fm = fadeMs;
    if (t > d + 2 * fm) {
        f.visible = false;
        return f;
    }
    if (t < fm) {
        f.opacity = double(t) / double(fm);
        f.scale = 1.0 / f.opacity;
    } else if (t > fm + d) {
        f.opacity = double(d + 2 * fm - t) / double(fm);
        f.scale = 1.0 / f.opacity;
    }
    return f;
}

// Single precision, like every other number of the drawing.
inline int boxAlpha(int a, double opacity) {
    const int v = int(float(a - 150) * float(opacity));
    return v > 0 ? v : 0;
}
inline int textAlpha(int a, double opacity) { return int(float(a) * float(opacity)); }

}  // namespace refwidgets
