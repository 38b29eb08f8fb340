#include "paint/rubber_2d.h"

#include <GL/gl.h>

#include <cmath>

#include "common/tools/tool_icon.h"
#include "paint/brush_2d.h"
#include "paint/manipulator_2d.h"

namespace {

// Lengths below this (canvas units) have no usable direction.
constexpr float DEGENERATE_LENGTH = 1e-6f;
// How far |a - c| + |c - b| may exceed |b - a| with the centre still counted as on the segment.
constexpr float ON_SEGMENT_TOLERANCE = 0.1f;

float distance(CanvasPoint a, CanvasPoint b) { return std::hypot(b.x - a.x, b.y - a.y); }

// Unit vector from `from` toward `to`; `fallback` when the two points (nearly) coincide.
CanvasPoint directionToward(CanvasPoint from, CanvasPoint to, CanvasPoint fallback) {
    const float len = distance(from, to);
    if (!(len > DEGENERATE_LENGTH)) {
        return fallback;
    }
    return CanvasPoint{(to.x - from.x) / len, (to.y - from.y) / len};
}

// The circle's crossings of the segment a -> b (a != b): measured from F, the foot of the
// perpendicular from the centre c, at distance k toward a (ea) and toward b (eb). Where F
// coincides with an end its direction is undefined and the segment's own direction is used.
void cutPoints(CanvasPoint a, CanvasPoint b, CanvasPoint c, float k, CanvasPoint& ea,
               CanvasPoint& eb) {
    const float len = distance(a, b);
    const CanvasPoint u{(b.x - a.x) / len, (b.y - a.y) / len};
    const float t = (c.x - a.x) * u.x + (c.y - a.y) * u.y;
    const CanvasPoint f{a.x + t * u.x, a.y + t * u.y};
    const CanvasPoint toA = directionToward(f, a, CanvasPoint{-u.x, -u.y});
    const CanvasPoint toB = directionToward(f, b, u);
    ea = CanvasPoint{f.x + k * toA.x, f.y + k * toA.y};
    eb = CanvasPoint{f.x + k * toB.x, f.y + k * toB.y};
}

}  // namespace

Rubber2D::Rubber2D(const HandPointer& rightPointer, const Manipulator2D& manipulator,
                   Canvas& canvas, const int32_t& pickedStrokeId, EditHistory& history)
    : pointer_(rightPointer),
      manipulator_(manipulator),
      canvas_(canvas),
      pickedStrokeId_(pickedStrokeId),
      history_(history) {
    icon = loadToolIcon("../images/rubbertool.png");
}

void Rubber2D::eraseStep() {
    if (pickedStrokeId_ == -1) {
        return;
    }
    const int found = canvas_.findStrokeIndex(pickedStrokeId_);
    if (found < 0) {
        return;
    }
    // Indices, not references: inserting pieces moves the strokes in memory.
    const size_t si = static_cast<size_t>(found);
    if (canvas_.strokes[si].points.empty()) {
        return;  // an empty stroke has nothing to erase (and cannot be picked)
    }

    EraseRecord record;
    record.before = canvas_.strokes[si];
    canvas_.noteStrokeRecorded(record.before);  // a stroke still being painted is recorded first

    if (canvas_.strokes[si].points.size() == 1) {  // a dot goes whole, wherever the circle is
        canvas_.eraseStroke(si);
        undoStack.push_back(record);
        history_.recordEdit(this);
        redoStack.clear();
        return;
    }

    const ScreenPoint p = pointer_.screenPosition();
    const CanvasPoint c = windowToCanvas(manipulator_.view, p.x, p.y);
    const float k = distance(c, windowToCanvas(manipulator_.view, p.x + width, p.y));
    auto inside = [&](CanvasPoint q) { return distance(q, c) < k; };

    const Stroke& original = record.before;
    auto insertPiece = [&](std::vector<CanvasPoint> points) {
        Stroke piece;
        piece.points = std::move(points);
        piece.colour = original.colour;
        piece.width = original.width;
        piece.id = canvas_.newStrokeId();
        // The open stroke is dropped; the brush and line tools make it again when they need it.
        if (!canvas_.strokes.empty() && canvas_.strokes.back().points.empty()) {
            canvas_.strokes.pop_back();
        }
        canvas_.insertStrokes(si + 1, {piece});
        record.pieces.push_back(piece);
    };

    bool removed = false;
    size_t j = 0;
    // Each case either advances j or shortens the stroke, so the walk ends. Every cut restarts
    // at the start of what is left, so an inside point a is always the stroke's first point.
    while (j + 1 < canvas_.strokes[si].points.size()) {
        std::vector<CanvasPoint>& pts = canvas_.strokes[si].points;
        const CanvasPoint a = pts[j];
        const CanvasPoint b = pts[j + 1];
        const bool aInside = inside(a);
        const bool bInside = inside(b);
        const bool bIsLast = j + 2 == pts.size();
        const float ab = distance(a, b);
        CanvasPoint ea;
        CanvasPoint eb;
        if (!aInside && !bInside) {
            const bool centreOnSegment =
                std::fabs(ab - distance(c, a) - distance(c, b)) < ON_SEGMENT_TOLERANCE;
            // A zero-length segment has nothing between its ends to cut.
            if (centreOnSegment && ab > DEGENERATE_LENGTH) {
                cutPoints(a, b, c, k, ea, eb);
                std::vector<CanvasPoint> head(pts.begin(), pts.begin() + static_cast<long>(j) + 1);
                head.push_back(ea);
                std::vector<CanvasPoint> tail;
                tail.push_back(eb);
                tail.insert(tail.end(), pts.begin() + static_cast<long>(j) + 1, pts.end());
                insertPiece(std::move(head));
                canvas_.strokes[si].points = std::move(tail);
                j = 1;
            } else {
                ++j;
            }
        } else if (!aInside && bInside) {
            cutPoints(a, b, c, k, ea, eb);
            std::vector<CanvasPoint> head(pts.begin(), pts.begin() + static_cast<long>(j) + 1);
            head.push_back(ea);
            insertPiece(std::move(head));
            std::vector<CanvasPoint>& rest = canvas_.strokes[si].points;
            if (bIsLast) {
                canvas_.eraseStroke(si);
                removed = true;
                break;
            }
            rest.erase(rest.begin(), rest.begin() + static_cast<long>(j) + 1);
            j = 0;
        } else if (aInside && bInside) {
            if (bIsLast) {
                canvas_.eraseStroke(si);
                removed = true;
                break;
            }
            pts.erase(pts.begin() + static_cast<long>(j));
            j = 0;
        } else {
            cutPoints(a, b, c, k, ea, eb);
            pts[j] = eb;
            j = j + 1;
        }
    }
    if (!removed) {
        record.pieces.push_back(canvas_.strokes[si]);
    }
    undoStack.push_back(std::move(record));
    history_.recordEdit(this);
    redoStack.clear();
}

void Rubber2D::onLeftGrip(const ArmPose& pose) {
    width = changedWidth(width, pose, lastPose);
    lastPose = pose;
}

void Rubber2D::onRightGrip(const ArmPose& pose) {
    eraseStep();
    lastPose = pose;
}

void Rubber2D::onBothGrip(const ArmPose& pose) {
    width = changedWidth(width, pose, lastPose);
    eraseStep();
    lastPose = pose;
}

void Rubber2D::onNoGrip(const ArmPose& pose) { lastPose = pose; }

void Rubber2D::drawOverlay() {
    if (!pointer_.engaged()) {
        return;
    }
    glColor3f(0.0f, 0.0f, 0.0f);
    drawPointerDisk(pointer_.screenPosition(), width - width * 0.05f, width);
}

void Rubber2D::undo() {
    if (undoStack.empty()) {
        return;
    }
    const EraseRecord& record = undoStack.back();
    for (const Stroke& piece : record.pieces) {
        canvas_.eraseStrokeById(piece.id);
    }
    canvas_.appendStroke(record.before);
    redoStack.push_back(record);
    undoStack.pop_back();
}

void Rubber2D::redo() {
    if (redoStack.empty()) {
        return;
    }
    const EraseRecord& record = redoStack.back();
    canvas_.eraseStrokeById(record.before.id);
    for (const Stroke& piece : record.pieces) {
        canvas_.appendStroke(piece);
    }
    undoStack.push_back(record);
    redoStack.pop_back();
}
