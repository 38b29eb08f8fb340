// The exact geometry and colours the widgets send to GL, caught in feedback mode (before any
// rasterisation) and compared with the model's numbers: label glyph quads, boxes and fading,
// the button's dwell sector, press flash and textured squares, and the countdown digits.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/widgets/button.h"
#include "common/widgets/label.h"
#include "gl_test_context.h"
#include "widgets/reference_widgets.h"

namespace {

// Large enough that nothing drawn here is clipped.
constexpr int VIEW_W = 4000;
constexpr int VIEW_H = 3000;

struct Vertex {
    float x, y, r, g, b, a;
    bool textured = false;  // the texture coordinates below are compared only when set
    float s = 0.0f, t = 0.0f;
};

Vertex withTexture(Vertex v, float s, float t) {
    v.textured = true;
    v.s = s;
    v.t = t;
    return v;
}

std::string describe(const Vertex& v) {
    std::ostringstream s;
    s << "(" << v.x << ", " << v.y << " | " << v.r * 255 << ", " << v.g * 255 << ", " << v.b * 255 << ", " << v.a * 255
      << ")";
    return s.str();
}

// Polygon vertices in window pixels with their colours. `ownProjection` leaves the projection to
// the drawing (the countdown sets its own).
template <typename Draw>
std::vector<Vertex> capture(Draw draw, bool ownProjection = false) {
    static std::vector<GLfloat> buffer(1 << 16);  // reused: far more than any widget needs
    glViewport(0, 0, VIEW_W, VIEW_H);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    if (!ownProjection) glOrtho(0.0, VIEW_W, 0.0, VIEW_H, -10.0, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw();
    const GLint used = glRenderMode(GL_RENDER);
    std::vector<Vertex> out;
    EXPECT_GE(used, 0) << "feedback buffer overflow";
    GLint k = 0;
    auto vertex = [&]() {
        const size_t i = static_cast<size_t>(k);
        Vertex v{buffer[i], buffer[i + 1], buffer[i + 3], buffer[i + 4], buffer[i + 5], buffer[i + 6]};
        v.s = buffer[i + 7] / buffer[i + 10];
        v.t = buffer[i + 8] / buffer[i + 10];
        out.push_back(v);
        k += 11;  // x, y, z, r, g, b, a, s, t, r, q
    };
    while (k < used) {
        const GLint token = static_cast<GLint>(buffer[static_cast<size_t>(k++)]);
        if (token == GL_POLYGON_TOKEN) {
            const GLint n = static_cast<GLint>(buffer[static_cast<size_t>(k++)]);
            for (GLint i = 0; i < n; ++i) vertex();
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            vertex();
            vertex();
        } else if (token == GL_POINT_TOKEN) {
            vertex();
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            ++k;
        } else {
            ADD_FAILURE() << "unexpected feedback token " << token;
            break;
        }
    }
    return out;
}

// GL clamps vertex colours to 0..1.
float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// `b` is the expected vertex.
bool same(const Vertex& a, const Vertex& b) {
    if (b.textured && (std::fabs(a.s - b.s) > 1e-5f || std::fabs(a.t - b.t) > 1e-5f)) return false;
    return std::fabs(a.x - b.x) < 0.02f && std::fabs(a.y - b.y) < 0.02f && std::fabs(a.r - b.r) < 0.003f &&
           std::fabs(a.g - b.g) < 0.003f && std::fabs(a.b - b.b) < 0.003f && std::fabs(a.a - b.a) < 0.003f;
}

// Every vertex drawn is one the model expects and every expected vertex is drawn.
void expectSameVertices(const std::vector<Vertex>& drawn, const std::vector<Vertex>& expected,
                        const std::string& what) {
    for (const Vertex& d : drawn) {
        bool found = false;
        for (const Vertex& e : expected) found = found || same(d, e);
        ASSERT_TRUE(found) << what << ": unexpected vertex " << describe(d);
    }
    for (const Vertex& e : expected) {
        bool found = false;
        for (const Vertex& d : drawn) found = found || same(d, e);
        ASSERT_TRUE(found) << what << ": missing vertex " << describe(e);
    }
}

class WidgetsDrawingReference : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gltest::openContext(256, 256)) GTEST_SKIP() << "no display";
    }
};

}  // namespace

TEST_F(WidgetsDrawingReference, LabelGlyphQuadsBoxesAndFadingAreExact) {
    const std::vector<refwidgets::Glyph> glyphs = refwidgets::glyphTable();
    std::mt19937 rng(31);
    const std::string alphabet = "AQWZ!?'#abmz09() %_=";
    Label label = createLabel();
    int drawnLabels = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const int n = std::uniform_int_distribution<int>(0, 12)(rng);
        for (int i = 0; i < n; ++i)
            text.push_back(alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)]);
        label.text = text;
        label.height = std::uniform_int_distribution<uint32_t>(8, 40)(rng);
        label.spacing = std::uniform_int_distribution<uint32_t>(0, 8)(rng);
        label.x = std::uniform_int_distribution<uint32_t>(0, 800)(rng);
        label.y = std::uniform_int_distribution<uint32_t>(0, 800)(rng);
        label.colour = {{uint8_t(rng() % 256), uint8_t(rng() % 256), uint8_t(rng() % 256), uint8_t(rng() % 256)}};
        label.withBox = rng() % 2 == 0;
        const int32_t durations[] = {-1, 0, 1500, 700};
        label.duration = durations[rng() % 4];
        label.fade = rng() % 3 == 0 ? 0u : 500u;
        const uint32_t start = std::uniform_int_distribution<uint32_t>(0, 0xFFFFFFFFu)(rng);
        rebuildLabel(label, start);
        ASSERT_EQ(label.start, start);
        // Moments on and around the fading boundaries, never at opacity 0 (infinitely small).
        const int64_t span = label.duration < 0 ? 5000 : label.duration + 2 * int64_t(label.fade);
        const int64_t t = std::uniform_int_distribution<int64_t>(1, span + 50)(rng);
        const uint32_t now = start + uint32_t(t);
        const refwidgets::Fade f = refwidgets::fade(label.duration, label.fade, start, now);
        if (f.visible && f.opacity == 0.0) continue;
        const std::vector<Vertex> drawn = capture([&] { drawLabel(label, now); });

        std::vector<Vertex> expected;
        if (f.visible) {
            const double unit = label.height * 21.875;  // pixels per horizontal glyph unit
            const double mx = label.withBox ? 0.1 : 0.0, my = label.withBox ? 0.3 : 0.0;
            const double k = f.scale;
            auto at = [&](double gx, double gy, int r, int g, int b, int a) {
                return Vertex{float(label.x + k * unit * gx), float(label.y + k * label.height * gy), r / 255.0f,
                              g / 255.0f, b / 255.0f, a / 255.0f};
            };
            const int textAlpha = refwidgets::textAlpha(label.colour[3], f.opacity);
            double s = 0.0;
            for (char c : text) {
                const refwidgets::Glyph& g = glyphs[static_cast<unsigned char>(c)];
                if (!g.exists) continue;
                const double w = double(g.u1) - double(g.u0);
                const double x0 = mx + s;
                // The atlas's first row lies along the top edge.
                const double corners[4][4] = {{x0, my, g.u0, 1}, {x0 + w, my, g.u1, 1}, {x0 + w, my + 1, g.u1, 0},
                                              {x0, my + 1, g.u0, 0}};
                for (const auto& c : corners)
                    expected.push_back(withTexture(
                        at(c[0], c[1], label.colour[0], label.colour[1], label.colour[2], textAlpha), float(c[2]),
                        float(c[3])));
                s += w + label.spacing / unit;
            }
            if (label.withBox) {
                const int boxAlpha = refwidgets::boxAlpha(label.colour[3], f.opacity);
                for (auto [gx, gy] : {std::pair<double, double>{0, 0}, {2 * mx + s, 0}, {2 * mx + s, 2 * my + 1},
                                      {-mx, 2 * my + 1}})
                    expected.push_back(at(gx, gy, 255, 255, 255, boxAlpha));
            }
            ++drawnLabels;
        }
        // A label scaled up while fading may reach beyond the view, where GL would clip it.
        bool inView = true;
        for (const Vertex& v : expected) inView = inView && v.x >= 0 && v.x <= VIEW_W && v.y >= 0 && v.y <= VIEW_H;
        if (!inView) {
            --drawnLabels;
            continue;
        }
        std::ostringstream what;
        what << "\"" << text << "\" height " << label.height << " spacing " << label.spacing << " box "
             << label.withBox << " duration " << label.duration << " fade " << label.fade << " t " << t;
        ASSERT_NO_FATAL_FAILURE(expectSameVertices(drawn, expected, what.str()));
    }
    EXPECT_GT(drawnLabels, 150);
}

TEST_F(WidgetsDrawingReference, ButtonSectorFlashAndSquaresAreExact) {
    std::mt19937 rng(8);
    Button b = createButton("BUTTON_TEST", 0, 0, 32, 0, 210, 255, "../images/add_button.png");
    int sectors = 0, flashes = 0;
    for (int round = 0; round < 400; ++round) {
        b.x = std::uniform_real_distribution<float>(200, 1800)(rng);
        b.y = std::uniform_real_distribution<float>(200, 1800)(rng);
        b.size = std::uniform_real_distribution<float>(10, 70)(rng);
        b.sizeSquared = b.size * b.size;
        b.colour = {{uint8_t(rng() % 256), uint8_t(rng() % 256), uint8_t(rng() % 256)}};
        b.visible = rng() % 10 != 0;
        b.state = static_cast<int>(rng() % 4);
        b.hoverStart = std::uniform_int_distribution<uint32_t>(0, 0xFFFFFFFFu)(rng);
        // A hovered button past a full second (drawn once before the dwell test presses it) is a
        // full disc either way; the program stops the sweep at one turn instead of overlapping it.
        const uint32_t elapsed =
            std::uniform_int_distribution<uint32_t>(0, b.state == ButtonHovered ? 1000 : 1400)(rng);
        const uint32_t now = b.hoverStart + elapsed;
        const std::vector<Vertex> drawn = capture([&] { drawButton(b, now); });

        std::vector<Vertex> expected;
        if (b.visible) {
            const int a = b.state == ButtonIdle ? 128 : 255;
            auto at = [&](double px, double py, float r, float g, float bl, float al) {
                return Vertex{float(b.x + b.size * px), float(b.y + b.size * py), r, g, bl, al};
            };
            if (b.state == ButtonHovered) {
                const double e = elapsed / 1000.0;
                const int n = int(e * 64);
                if (n >= 2) {  // with fewer rim points the fan has no triangle
                    expected.push_back(at(0, 0, 0.6f, 0.6f, 0.6f, clamp01(float(e))));
                    for (int i = 0; i < n; ++i) {
                        const double theta = double(i) / (n - 1) * e * 2 * 3.14159;
                        expected.push_back(
                            at(1.1 * std::sin(theta), 1.1 * std::cos(theta), 0.6f, 0.6f, 0.6f, clamp01(float(e))));
                    }
                    ++sectors;
                }
            }
            if (b.state == ButtonPressed && elapsed < 1200) {
                const double t = elapsed / 1000.0 - 1.0;
                const double radius = 1.1 + 3 * t;
                const float alpha = clamp01(float(1 - 5 * t));
                expected.push_back(at(0, 0, 0.6f, 0.6f, 0.6f, alpha));
                for (int i = 0; i < 64; ++i) {
                    const double theta = i / 63.0 * 2 * 3.14159;
                    expected.push_back(at(radius * std::sin(theta), radius * std::cos(theta), 0.6f, 0.6f, 0.6f, alpha));
                }
                ++flashes;
            }
            const bool grey = b.state == ButtonDisabled;
            const float r = (grey ? 200 : b.colour[0]) / 255.0f, g = (grey ? 200 : b.colour[1]) / 255.0f,
                        bl = (grey ? 200 : b.colour[2]) / 255.0f;
            // Texture coordinates put the image's first row at the top.
            const float corners[4][4] = {{-1, 1, 0, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}, {1, 1, 1, 0}};
            for (const auto& c : corners) {
                expected.push_back(withTexture(at(c[0], c[1], r, g, bl, a / 255.0f), c[2], c[3]));
                expected.push_back(withTexture(at(c[0], c[1], 1, 1, 1, a / 255.0f), c[2], c[3]));
            }
        }
        std::ostringstream what;
        what << "state " << b.state << " visible " << b.visible << " elapsed " << elapsed;
        ASSERT_NO_FATAL_FAILURE(expectSameVertices(drawn, expected, what.str()));
    }
    EXPECT_GT(sectors, 40);
    EXPECT_GT(flashes, 5);
}

TEST_F(WidgetsDrawingReference, CountdownDigitsGrowAndFadeEverySecond) {
    DigitTextures digits{};
    const float aspect = 4.0f / 3.0f;
    int shown = 0;
    for (uint32_t duration : {4000u, 12000u, 3000u}) {
        const Countdown c{123456u, duration};
        for (uint32_t t = 0; t <= duration + 1; t += 13) {
            const uint32_t now = c.start + t;
            const uint32_t e = t % 1000;
            const int r = refwidgets::secondsLeft({c.start, c.duration}, now);
            const std::vector<int> shownDigits = refwidgets::digits(r);
            const int n = static_cast<int>(shownDigits.size());
            // Beyond this scale the digits leave the view and GL clips them.
            if (e == 0 || double(e) * (n + 1) > 1000.0 * aspect * 0.95 || e > 950) continue;
            const std::vector<Vertex> drawn =
                capture([&] { drawCountdown(c, digits, aspect, now); }, true);
            std::vector<Vertex> expected;
            const float alpha = 1.0f - e / 1000.0f;
            for (int i = 0; i < n; ++i) {
                const double cx = 1 - n + 2 * i;
                const double corners[4][4] = {{-1, 1, 0, 0}, {-1, -1, 0, 1}, {1, -1, 1, 1}, {1, 1, 1, 0}};
                for (const auto& c : corners) {
                    const double px = double(e) * (cx + c[0]), py = double(e) * c[1];
                    expected.push_back(withTexture({float((px / (1000.0 * aspect) + 1) / 2 * VIEW_W),
                                                    float((py / 1000.0 + 1) / 2 * VIEW_H), 1, 1, 1, alpha},
                                                   float(c[2]), float(c[3])));
                }
            }
            if (n > 0) ++shown;
            std::ostringstream what;
            what << "duration " << duration << " t " << t;
            ASSERT_NO_FATAL_FAILURE(expectSameVertices(drawn, expected, what.str()));
        }
    }
    EXPECT_GT(shown, 600);
}
