#pragma once
// An independent model of the painting tools' frame-by-frame behaviour, written from the rules
// the tools are meant to follow rather than from their code. It shares no type with the program:
// strokes, the canvas, the view matrix, the edit history and the tool choice are its own, so a
// test can drive it and the real tools with the same input and compare the results after every
// frame. Plain records with the rules as member functions; nothing here touches GL.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/reference_picker.h"

namespace ref {

struct Pt {
    float x = 0.0f;
    float y = 0.0f;
};

using Mat = std::array<float, 16>;  // column-major: row r, column c is m[c * 4 + r]

struct Stroke {
    std::vector<Pt> points;
    Colour colour{{0.0f, 0.0f, 0.0f}};
    float width = 0.0f;
    int32_t id = 0;
};

struct Canvas {
    std::vector<Stroke> strokes;
    int32_t counter = 0;

    int32_t freshId() {
        counter = (counter + 1) % 1000000000;
        return counter;
    }
    int indexOf(int32_t id) const {
        for (size_t i = 0; i < strokes.size(); ++i) {
            if (strokes[i].id == id) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    void eraseFirstWithId(int32_t id) {
        const int i = indexOf(id);
        if (i >= 0) {
            strokes.erase(strokes.begin() + i);
        }
    }
    // The empty stroke that waits for the brush or the line: black, width 0, a fresh id.
    void appendEmpty() {
        Stroke s;
        s.id = freshId();
        strokes.push_back(s);
    }
    void appendEmptyIfNeeded() {
        if (strokes.empty() || !strokes.back().points.empty()) {
            appendEmpty();
        }
    }
};

// ---- 4 x 4 matrices ---------------------------------------------------------------------------

inline float at(const Mat& m, int r, int c) { return m[static_cast<size_t>(c * 4 + r)]; }

inline Mat identity() {
    Mat m{};
    m[0] = m[5] = m[10] = m[15] = 1.0f;
    return m;
}

inline Mat product(const Mat& a, const Mat& b) {
    Mat out{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += at(a, r, k) * at(b, k, c);
            }
            out[static_cast<size_t>(c * 4 + r)] = sum;
        }
    }
    return out;
}

inline Mat translation(float tx, float ty, float tz) {
    Mat m = identity();
    m[12] = tx;
    m[13] = ty;
    m[14] = tz;
    return m;
}

inline Mat rotationZ(float a) {
    Mat m{};
    m[0] = std::cos(a);
    m[1] = std::sin(a);
    m[4] = -std::sin(a);
    m[5] = std::cos(a);
    m[10] = 1.0f;
    m[15] = 1.0f;
    return m;
}

inline Mat uniformScale(float s) {
    Mat m{};
    m[0] = m[5] = m[10] = s;
    m[15] = 1.0f;
    return m;
}

// Determinant of the 3 x 3 matrix left when row `skipRow` and column `skipCol` are struck out.
inline float minor3(const Mat& m, int skipRow, int skipCol) {
    float e[3][3];
    int rr = 0;
    for (int r = 0; r < 4; ++r) {
        if (r == skipRow) {
            continue;
        }
        int cc = 0;
        for (int c = 0; c < 4; ++c) {
            if (c == skipCol) {
                continue;
            }
            e[rr][cc] = at(m, r, c);
            ++cc;
        }
        ++rr;
    }
    return e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) -
           e[0][1] * (e[1][0] * e[2][2] - e[1][2] * e[2][0]) +
           e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0]);
}

inline float cofactor(const Mat& m, int r, int c) {
    const float sign = ((r + c) % 2 == 0) ? 1.0f : -1.0f;
    return sign * minor3(m, r, c);
}

// Cofactor expansion along the first row; a determinant below 0.00001 of the cube of the
// longest of the first three columns, times the last row's length, or a result that is not
// finite, leaves the matrix as it is. Returns whether it was inverted.
inline bool invertInPlace(Mat& m) {
    float det = 0.0f;
    for (int c = 0; c < 4; ++c) {
        det += at(m, 0, c) * cofactor(m, 0, c);
    }
    double longest = 0.0;
    for (int c = 0; c < 3; ++c) {
        double sq = 0.0;
        for (int r = 0; r < 4; ++r) sq += static_cast<double>(at(m, r, c)) * at(m, r, c);
        longest = std::max(longest, std::sqrt(sq));
    }
    double size = longest * longest * longest;
    double lastRow = 0.0;
    for (int c = 0; c < 4; ++c) lastRow += static_cast<double>(at(m, 3, c)) * at(m, 3, c);
    size *= std::sqrt(lastRow);
    if (!(size > 0.0) || std::fabs(det) < 0.00001 * size || !std::isfinite(det)) {
        return false;
    }
    Mat inv{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            inv[static_cast<size_t>(c * 4 + r)] = cofactor(m, c, r) / det;
            if (!std::isfinite(inv[static_cast<size_t>(c * 4 + r)])) return false;
        }
    }
    m = inv;
    return true;
}

inline Pt windowToCanvas(const Mat& view, Pt p) {
    Mat m = view;
    invertInPlace(m);
    return Pt{m[0] * p.x + m[4] * p.y + m[12], m[1] * p.x + m[5] * p.y + m[13]};
}

inline Pt canvasToWindow(const Mat& view, Pt p) {
    return Pt{view[0] * p.x + view[4] * p.y + view[12], view[1] * p.x + view[5] * p.y + view[13]};
}

inline float dist(Pt a, Pt b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    return std::sqrt(dx * dx + dy * dy);
}

// ---- Pointers and tool input --------------------------------------------------------------------

// A hand pointer as the tools see it: its box in metres, its position, its engagement.
struct Pointer {
    float xMin = 0.0f, xMax = 0.5f, yMin = -0.1f, yMax = 0.4f;
    float x = 0.0f, y = 0.0f;
    bool engaged = false;
};

// Window pixels, clamped to [0, W - 1] x [0, H - 1].
inline Pt screenOf(const Pointer& p, float w, float h) {
    float sx = (p.x - p.xMin) / (p.xMax - p.xMin) * w;
    float sy = (p.y - p.yMin) / (p.yMax - p.yMin) * h;
    if (sx > w - 1.0f) sx = w - 1.0f;
    if (sx < 0.0f) sx = 0.0f;
    if (sy > h - 1.0f) sy = h - 1.0f;
    if (sy < 0.0f) sy = 0.0f;
    return Pt{sx, sy};
}

enum ToolIndex { NULL_TOOL = 0, MANIPULATOR, PICKER, BRUSH, LINE, INK, RUBBER, TRASH, TOOL_COUNT };

// Brush, line and rubber: 50 pixels per metre of left-wrist height, never below 1.
inline float widthAfter(float width, const Pose& pose, const Pose& last) {
    float w = width + (pose[LEFT_WRIST_Y] - last[LEFT_WRIST_Y]) * 50.0f;
    if (!(w > 1.0f)) {
        w = 1.0f;
    }
    return w;
}

// ---- Manipulator --------------------------------------------------------------------------------

inline float pointerAngle(Pt l, Pt r) {
    const float dy = r.y - l.y;
    const float dx = r.x - l.x;
    const float alpha = std::atan2(std::fabs(dy), std::fabs(dx));
    if (dx >= 0.0f) {
        return dy > 0.0f ? alpha : -alpha;
    }
    return dy > 0.0f ? 3.14159f - alpha : alpha + 3.14159f;
}

struct Manipulator {
    Mat view = identity();
    Mat startView = identity();
    float startAngle = 0.0f;
    float startDistance = 1.0f;
    Pt startMidpoint;

    void takeReference(Pt l, Pt r) {
        startAngle = pointerAngle(l, r);
        startDistance = dist(l, r);
        startMidpoint = Pt{(l.x + r.x) / 2.0f, (l.y + r.y) / 2.0f};
        startView = view;
    }
    // The last move's spacing of float canvas points on screen; near the half-pixel limit either
    // side's rounding may decide.
    float lastSpacing = 0.0f;
    float newScale = 0.0f, currentScale = 0.0f;  // the move's view and the one before it

    // Returns false when the move is undefined: both pointers on one pixel when the reference was
    // taken (the scale would divide by zero; the reference is taken again from here) or now (a
    // zero scale would collapse the paint to a point, and every later view starts from this
    // one), or a view with no inverse or one so far zoomed in that neighbouring float canvas
    // points anywhere in the w x h window would be drawn more than half a pixel apart. The view
    // is then left as it was.
    bool move(Pt l, Pt r, float w, float h) {
        lastSpacing = 0.0f;
        if (!(startDistance >= 0.001f)) {
            takeReference(l, r);
            return false;
        }
        if (!(dist(l, r) >= 0.001f)) {
            return false;
        }
        const float rotation = pointerAngle(l, r) - startAngle;
        const float scale = dist(l, r) / startDistance;
        const Pt m{(l.x + r.x) / 2.0f, (l.y + r.y) / 2.0f};
        const Pt pan{m.x - startMidpoint.x, m.y - startMidpoint.y};
        Mat v = translation(m.x, m.y, 0.0f);
        v = product(v, rotationZ(rotation));
        v = product(v, uniformScale(scale));
        v = product(v, translation(-m.x, -m.y, 0.0f));
        v = product(v, translation(pan.x, pan.y, 0.0f));
        v = product(v, startView);
        Mat inverse = v;
        if (!invertInPlace(inverse)) return false;
        // Only zooming in is stopped at the limit; panning and turning there go on.
        lastSpacing = spacingOnScreen(v, w, h);
        newScale = std::sqrt(v[0] * v[0] + v[1] * v[1]);
        currentScale = std::sqrt(view[0] * view[0] + view[1] * view[1]);
        if (!std::isfinite(lastSpacing) || (lastSpacing > 0.5f && newScale > currentScale)) return false;
        view = v;
        return true;
    }

    // How far apart two neighbouring float canvas points are drawn in the w x h window.
    static float spacingOnScreen(const Mat& v, float w, float h) {
        Mat inverse = v;
        if (!invertInPlace(inverse)) return INFINITY;
        float largest = 0.0f;  // canvas coordinate, largest at a window corner
        for (const Pt& corner : {Pt{0.0f, 0.0f}, Pt{w, 0.0f}, Pt{0.0f, h}, Pt{w, h}}) {
            const Pt c = windowToCanvas(v, corner);
            largest = std::max(largest, std::max(std::fabs(c.x), std::fabs(c.y)));
        }
        const float spacing = std::sqrt(v[0] * v[0] + v[1] * v[1]) * largest * 1.1920929e-7f;  // float epsilon
        return std::isfinite(spacing) ? spacing : INFINITY;
    }
};

// ---- Records --------------------------------------------------------------------------------------

struct ColourRecord {
    int32_t id = 0;
    Colour colour{{0.0f, 0.0f, 0.0f}};
};

struct EraseRecord {
    Stroke before;
    std::vector<Stroke> pieces;
};

struct Brush {
    float width = 10.0f;
    Pose last{};
    Pt lastPoint;
    bool active = false;
    int32_t activeId = -1;  // the stroke that received the points of the active stroke
    std::vector<Stroke> undo, redo;
};

struct Line {
    float width = 10.0f;
    Pose last{};
    Pt start;
    bool startKnown = false;  // no finish yet: the first grip starts where the pointer is
    Pt end;
    bool active = false;
    std::vector<Stroke> undo, redo;
};

struct Rubber {
    float width = 10.0f;
    Pose last{};
    std::vector<EraseRecord> undo, redo;
};

struct Ink {
    std::vector<ColourRecord> undo, redo;
};

struct Trash {
    std::vector<Stroke> undo, redo;
};

// ---- The painting program's tool state ---------------------------------------------------------

// How often the rules with several outcomes took each outcome, so that a test can show that its
// input reached them.
struct Coverage {
    int rubberCase[6] = {0, 0, 0, 0, 0, 0};  // 1..5: the segment cases of the erase step
    int rubberDots = 0;                      // one-point strokes removed whole
    int rubberOpenRemoved = 0;               // open strokes removed for a piece
    int brushRecords = 0, lineRecords = 0, inkRecords = 0, trashRecords = 0, rubberRecords = 0;
    int inkRepeats = 0;                      // fills of the stroke the top record already holds
    int brushTaken = 0;                      // stroke in progress stored by another tool
    int moves = 0, undefinedMoves = 0, flatViews = 0, zoomStops = 0;
};

struct World {
    float windowW = 1600.0f;
    float windowH = 1000.0f;
    Pointer left{-0.5f, 0.0f, -0.1f, 0.4f, 0.0f, 0.0f, false};
    Pointer right{0.0f, 0.5f, -0.1f, 0.4f, 0.0f, 0.0f, false};
    Canvas canvas;
    Colour colour{{0.0f, 0.55f, 0.75f}};
    int32_t picked = -1;

    Manipulator manipulator;
    Picker picker;
    Brush brush;
    Line line;
    Ink ink;
    Rubber rubber;
    Trash trash;

    std::vector<int> done;    // tool indices, oldest first
    std::vector<int> undone;  // most recently undone last
    int current = BRUSH;
    bool armed = true;
    Coverage seen;
    // Decisions of this frame whose value lay within rounding of the threshold: there the
    // program's float arithmetic may fairly go the other way.
    int ties = 0;

    void noteTie(float value, float threshold, float band) {
        if (std::fabs(value - threshold) <= band) ++ties;
    }

    Pt leftScreen() const { return screenOf(left, windowW, windowH); }
    Pt rightScreen() const { return screenOf(right, windowW, windowH); }
    Pt toCanvas(Pt window) const { return windowToCanvas(manipulator.view, window); }

    void recordEdit(int tool) {
        if (tool == BRUSH) ++seen.brushRecords;
        if (tool == LINE) ++seen.lineRecords;
        if (tool == INK) ++seen.inkRecords;
        if (tool == TRASH) ++seen.trashRecords;
        if (tool == RUBBER) ++seen.rubberRecords;
        done.push_back(tool);
        undone.clear();
    }

    // -- tool choice --
    void select(int index) {
        if (index >= 0 && index < TOOL_COUNT) current = index;
    }
    void gesture(const std::string& name, bool painting) {
        if (armed) {
            if (name.size() == 1 && name[0] >= '0' && name[0] <= '6') {
                select(name[0] - '0' + 1);
                if (painting) armed = false;
            } else if (name == "7" && painting) {
                undoLast();
            } else if (name == "8" && painting) {
                redoLast();
            }
        } else if (name == "DEFAULT_GESTURE") {
            select(NULL_TOOL);
            armed = true;
        }
    }

    // -- history --
    void undoLast() {
        if (done.empty()) return;
        const int t = done.back();
        undone.push_back(t);
        undoTool(t);
        done.pop_back();
    }
    void redoLast() {
        if (undone.empty()) return;
        const int t = undone.back();
        done.push_back(t);
        redoTool(t);
        undone.pop_back();
    }
    void undoTool(int t) {
        switch (t) {
            case BRUSH: strokeUndo(brush.undo, brush.redo); break;
            case LINE: strokeUndo(line.undo, line.redo); break;
            case INK: inkMove(ink.undo, ink.redo); break;
            case RUBBER: rubberUndo(); break;
            case TRASH: trashUndo(); break;
            default: break;
        }
    }
    void redoTool(int t) {
        switch (t) {
            case BRUSH: strokeRedo(brush.undo, brush.redo); break;
            case LINE: strokeRedo(line.undo, line.redo); break;
            case INK: inkMove(ink.redo, ink.undo); break;
            case RUBBER: rubberRedo(); break;
            case TRASH: trashRedo(); break;
            default: break;
        }
    }

    // Brush and line: undo takes the stroke off, redo puts the record back at the end.
    void strokeUndo(std::vector<Stroke>& undo, std::vector<Stroke>& redo) {
        if (undo.empty()) return;
        const Stroke r = undo.back();
        canvas.eraseFirstWithId(r.id);
        redo.push_back(r);
        undo.pop_back();
    }
    void strokeRedo(std::vector<Stroke>& undo, std::vector<Stroke>& redo) {
        if (redo.empty()) return;
        const Stroke r = redo.back();
        canvas.strokes.push_back(r);
        undo.push_back(r);
        redo.pop_back();
    }
    // Fill: the top record's colour goes back on every stroke of its id; the colour replaced
    // is what the other side can bring back. Exactly one record moves, also when the stroke is
    // gone, so that each side keeps one record per history entry of this tool.
    void inkMove(std::vector<ColourRecord>& from, std::vector<ColourRecord>& to) {
        if (from.empty()) return;
        const ColourRecord r = from.back();
        from.pop_back();
        ColourRecord back = r;
        bool first = true;
        for (Stroke& s : canvas.strokes) {
            if (s.id == r.id) {
                if (first) back.colour = s.colour;
                first = false;
                s.colour = r.colour;
            }
        }
        to.push_back(back);
    }
    void rubberUndo() {
        if (rubber.undo.empty()) return;
        const EraseRecord r = rubber.undo.back();
        for (const Stroke& p : r.pieces) canvas.eraseFirstWithId(p.id);
        canvas.strokes.push_back(r.before);
        rubber.redo.push_back(r);
        rubber.undo.pop_back();
    }
    void rubberRedo() {
        if (rubber.redo.empty()) return;
        const EraseRecord r = rubber.redo.back();
        canvas.eraseFirstWithId(r.before.id);
        for (const Stroke& p : r.pieces) canvas.strokes.push_back(p);
        rubber.undo.push_back(r);
        rubber.redo.pop_back();
    }
    void trashUndo() {
        if (trash.undo.empty()) return;
        const Stroke s = trash.undo.back();
        canvas.strokes.push_back(s);
        trash.redo.push_back(s);
        trash.undo.pop_back();
    }
    void trashRedo() {
        if (trash.redo.empty()) return;
        const Stroke s = trash.redo.back();
        canvas.eraseFirstWithId(s.id);
        trash.undo.push_back(s);
        trash.redo.pop_back();
    }

    // -- per-frame input to the current tool --
    void input(Input in, const Pose& pose) {
        switch (current) {
            case MANIPULATOR:
                if (in == BOTH_GRIP) {
                    ++seen.moves;
                    if (!manipulator.move(leftScreen(), rightScreen(), windowW, windowH)) ++seen.undefinedMoves;
                    if (manipulator.lastSpacing > 0.5f && std::isfinite(manipulator.lastSpacing) &&
                        manipulator.newScale > manipulator.currentScale) {
                        ++seen.zoomStops;
                    }
                    noteTie(manipulator.lastSpacing, 0.5f, 0.001f);
                    if (manipulator.lastSpacing > 0.5f) {
                        noteTie(manipulator.newScale, manipulator.currentScale, 1e-5f * manipulator.currentScale);
                    }
                    if (std::fabs(manipulator.view[0] * manipulator.view[5] - manipulator.view[1] * manipulator.view[4]) *
                            std::fabs(manipulator.view[10]) < 0.00001f) {
                        ++seen.flatViews;
                    }
                } else {
                    manipulator.takeReference(leftScreen(), rightScreen());
                }
                break;
            case PICKER: picker.input(in, pose, colour); break;
            case BRUSH: brushInput(in, pose); break;
            case LINE: lineInput(in, pose); break;
            case INK:
                if (in == RIGHT_GRIP || in == BOTH_GRIP) fill();
                break;
            case RUBBER: rubberInput(in, pose); break;
            case TRASH:
                if (in == RIGHT_GRIP || in == BOTH_GRIP) deletePicked();
                break;
            default: break;
        }
    }

    // The stroke new points go into. Normally the canvas's last stroke, the open stroke. When
    // another tool has taken the open stroke away (the rubber removes it when it inserts a
    // piece), a fresh one is made first, so that points never land in a stroke painted earlier.
    Stroke& openStroke() {
        canvas.appendEmptyIfNeeded();
        return canvas.strokes.back();
    }

    void brushAddPoint() {
        const Pt p = rightScreen();
        const Pt c = toCanvas(p);
        // A stroke in progress keeps receiving the points even when other strokes were put after
        // it meanwhile (an undo or redo between two frames appends at the end); if it is gone,
        // painting starts afresh in the open stroke. (A stroke another tool stores is recorded
        // and ended before that: see storedInRecord.)
        if (brush.active && !brushStrokeStillOwn()) brush.active = false;
        Stroke& s = brush.active ? canvas.strokes[static_cast<size_t>(canvas.indexOf(brush.activeId))]
                                 : openStroke();
        s.colour = colour;
        s.width = brush.width;
        noteTie(dist(p, brush.lastPoint), brush.width, 1e-5f * brush.width);
        if (dist(p, brush.lastPoint) > brush.width) {
            s.points.push_back(c);
            brush.lastPoint = p;
            brush.active = true;
            brush.activeId = s.id;
        }
    }
    bool brushStrokeStillOwn() const { return canvas.indexOf(brush.activeId) >= 0; }
    // A tool stores `before` (the stroke as it was before the tool acted) in an undo record of its
    // own, and has not recorded its edit yet. If the brush is still painting that stroke, the
    // brush records `before` first and the next point starts a new stroke: left unrecorded until
    // the brush finishes, the stroke would be put back twice (both records) or be left with no
    // record undo can reach.
    void storedInRecord(const Stroke& before) {
        if (brush.active && before.id == brush.activeId) {
            ++seen.brushTaken;
            brush.undo.push_back(before);
            recordEdit(BRUSH);
            brush.redo.clear();
            brush.active = false;
        }
    }
    void brushFinish() {
        if (brush.active) {
            // The stroke this grip painted, wherever it now is; nothing when it was deleted.
            const int i = brushStrokeStillOwn() ? canvas.indexOf(brush.activeId) : -1;
            if (i >= 0) {
                brush.undo.push_back(canvas.strokes[static_cast<size_t>(i)]);
                recordEdit(BRUSH);
                brush.redo.clear();
            }
            brush.active = false;
        }
        canvas.appendEmptyIfNeeded();
    }
    void brushInput(Input in, const Pose& pose) {
        if (in == LEFT_GRIP || in == BOTH_GRIP) brush.width = widthAfter(brush.width, pose, brush.last);
        if (in == LEFT_GRIP || in == NO_GRIP) brushFinish();
        if (in == RIGHT_GRIP || in == BOTH_GRIP) brushAddPoint();
        brush.last = pose;
    }

    void lineUpdateEnd() {
        const Pt p = rightScreen();
        if (!line.startKnown) {
            line.start = p;
            line.startKnown = true;
        }
        noteTie(dist(p, line.start), line.width, 1e-5f * line.width);
        if (dist(p, line.start) > line.width) {
            line.end = toCanvas(p);
            line.active = true;
        }
    }
    void lineFinish() {
        if (line.active) {
            const Pt from = toCanvas(line.start);
            Stroke& s = openStroke();
            s.points.push_back(from);
            s.points.push_back(line.end);
            s.colour = colour;
            s.width = line.width;
            line.undo.push_back(s);
            recordEdit(LINE);
            line.redo.clear();
            line.active = false;
        }
        canvas.appendEmptyIfNeeded();
        line.start = rightScreen();
        line.end = line.start;
        line.startKnown = true;
    }
    void lineInput(Input in, const Pose& pose) {
        if (in == LEFT_GRIP || in == BOTH_GRIP) line.width = widthAfter(line.width, pose, line.last);
        if (in == LEFT_GRIP || in == NO_GRIP) lineFinish();
        if (in == RIGHT_GRIP || in == BOTH_GRIP) lineUpdateEnd();
        line.last = pose;
    }

    void fill() {
        if (picked == -1) return;
        for (Stroke& s : canvas.strokes) {
            if (s.id != picked) continue;
            bool differs = false;
            for (int k = 0; k < 3; ++k) {
                if (std::fabs(s.colour[static_cast<size_t>(k)] - colour[static_cast<size_t>(k)]) >= 0.00001f) {
                    differs = true;
                }
            }
            if (differs && !ink.undo.empty() && ink.undo.back().id == s.id) ++seen.inkRepeats;
            if (differs && (ink.undo.empty() || ink.undo.back().id != s.id)) {
                ink.undo.push_back(ColourRecord{s.id, s.colour});
                recordEdit(INK);
                ink.redo.clear();
            }
            s.colour = colour;
        }
    }

    void deletePicked() {
        if (picked == -1) return;
        const int i = canvas.indexOf(picked);
        if (i < 0) return;
        storedInRecord(canvas.strokes[static_cast<size_t>(i)]);
        trash.undo.push_back(canvas.strokes[static_cast<size_t>(i)]);
        recordEdit(TRASH);
        trash.redo.clear();
        canvas.strokes.erase(canvas.strokes.begin() + i);
    }

    void rubberInput(Input in, const Pose& pose) {
        if (in == LEFT_GRIP || in == BOTH_GRIP) rubber.width = widthAfter(rubber.width, pose, rubber.last);
        if (in == RIGHT_GRIP || in == BOTH_GRIP) eraseStep();
        rubber.last = pose;
    }

    // Lengths of at most this many canvas units have no usable direction.
    static constexpr float TINY = 1e-6f;

    // The point at distance k from f towards q; when f (nearly) is q, along `fallback` instead
    // (the segment's own direction), since the direction from f is then undefined.
    Pt toward(Pt f, Pt q, float k, Pt fallback) {
        const float d = dist(f, q);
        noteTie(d, TINY, 1e-7f + 2e-6f * (std::fabs(f.x) + std::fabs(f.y)));
        if (!(d > TINY)) return Pt{f.x + fallback.x * k, f.y + fallback.y * k};
        return Pt{f.x + (q.x - f.x) / d * k, f.y + (q.y - f.y) / d * k};
    }

    void eraseStep() {
        if (picked == -1) return;
        const int found = canvas.indexOf(picked);
        if (found < 0) return;
        const int32_t sid = picked;
        EraseRecord rec;
        rec.before = canvas.strokes[static_cast<size_t>(found)];
        if (rec.before.points.size() == 1) {
            ++seen.rubberDots;
            storedInRecord(rec.before);
            canvas.strokes.erase(canvas.strokes.begin() + found);
            rubber.undo.push_back(rec);
            recordEdit(RUBBER);
            rubber.redo.clear();
            return;
        }
        const Pt p = rightScreen();
        const Pt c = toCanvas(p);
        const float k = dist(c, toCanvas(Pt{p.x + rubber.width, p.y}));
        const float band = 2e-5f * (std::fabs(c.x) + std::fabs(c.y) + k);
        auto inside = [&](Pt q) {
            noteTie(dist(q, c), k, band);
            return dist(q, c) < k;
        };
        auto stroke = [&]() -> Stroke& { return canvas.strokes[static_cast<size_t>(canvas.indexOf(sid))]; };
        auto insertPiece = [&](const std::vector<Pt>& points) {
            Stroke piece;
            piece.points = points;
            piece.colour = rec.before.colour;
            piece.width = rec.before.width;
            piece.id = canvas.freshId();
            if (!canvas.strokes.empty() && canvas.strokes.back().points.empty()) {
                ++seen.rubberOpenRemoved;
                canvas.strokes.pop_back();
            }
            const int at = canvas.indexOf(sid);
            canvas.strokes.insert(canvas.strokes.begin() + at + 1, piece);
            rec.pieces.push_back(piece);
        };
        bool onCanvas = true;
        size_t j = 0;
        while (j + 1 < stroke().points.size()) {
            std::vector<Pt>& pts = stroke().points;
            const Pt a = pts[j];
            const Pt b = pts[j + 1];
            const bool bIsLast = j + 2 == pts.size();
            const float abx = b.x - a.x, aby = b.y - a.y;
            const float len = dist(a, b);
            const Pt along = len > 0.0f ? Pt{abx / len, aby / len} : Pt{0.0f, 0.0f};
            const float t = len > 0.0f ? ((c.x - a.x) * abx + (c.y - a.y) * aby) / (len * len) : 0.0f;
            const Pt f{a.x + t * abx, a.y + t * aby};
            const Pt ea = toward(f, a, k, Pt{-along.x, -along.y});
            const Pt eb = toward(f, b, k, along);
            const bool inA = inside(a);
            const bool inB = inside(b);
            if (!inA && !inB) {
                // A segment of (nearly) no length has nothing between its ends to cut.
                const float offLine = std::fabs(dist(b, a) - dist(c, a) - dist(c, b));
                noteTie(offLine, 0.1f, 2e-5f * (dist(b, a) + dist(c, a) + dist(c, b)));
                noteTie(len, TINY, 1e-7f + 2e-6f * (std::fabs(a.x) + std::fabs(a.y)));
                if (offLine < 0.1f && len > TINY) {
                    ++seen.rubberCase[1];
                    std::vector<Pt> before(pts.begin(), pts.begin() + static_cast<long>(j) + 1);
                    before.push_back(ea);
                    std::vector<Pt> after{eb};
                    after.insert(after.end(), pts.begin() + static_cast<long>(j) + 1, pts.end());
                    insertPiece(before);
                    stroke().points = after;
                    j = 1;
                } else {
                    ++seen.rubberCase[2];
                    ++j;
                }
            } else if (!inA && inB) {
                ++seen.rubberCase[3];
                std::vector<Pt> before(pts.begin(), pts.begin() + static_cast<long>(j) + 1);
                before.push_back(ea);
                std::vector<Pt> after(pts.begin() + static_cast<long>(j) + 1, pts.end());
                insertPiece(before);
                if (bIsLast) {
                    canvas.eraseFirstWithId(sid);
                    onCanvas = false;
                    break;
                }
                stroke().points = after;
                j = 0;
            } else if (inA && inB) {
                ++seen.rubberCase[4];
                if (bIsLast) {
                    canvas.eraseFirstWithId(sid);
                    onCanvas = false;
                    break;
                }
                pts.erase(pts.begin());
                j = 0;
            } else {
                ++seen.rubberCase[5];
                pts[0] = eb;
                j = 1;
            }
        }
        if (onCanvas) rec.pieces.push_back(stroke());
        storedInRecord(rec.before);
        rubber.undo.push_back(rec);
        recordEdit(RUBBER);
        rubber.redo.clear();
    }
};

}  // namespace ref
