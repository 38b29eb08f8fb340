#include "paint/straight_line_2d.h"

#include <GL/gl.h>

#include <cmath>

#include "common/tools/tool_icon.h"
#include "paint/brush_2d.h"
#include "paint/manipulator_2d.h"

StraightLine2D::StraightLine2D(const HandPointer& rightPointer, Canvas& canvas,
                               const Manipulator2D& manipulator,
                               const std::array<float, 3>& currentColor, EditHistory& history)
    : pointer_(rightPointer),
      canvas_(canvas),
      manipulator_(manipulator),
      currentColor_(currentColor),
      history_(history) {
    icon = loadToolIcon("../images/straightline.png");
}

void StraightLine2D::updateEnd() {
    const ScreenPoint p = pointer_.screenPosition();
    if (!startKnown) {
        start = p;
        startKnown = true;
    }
    if (std::hypot(p.x - start.x, p.y - start.y) > width) {
        end = windowToCanvas(manipulator_.view, p.x, p.y);
        lineActive = true;
    }
}

void StraightLine2D::finishLine() {
    if (lineActive) {
        // Into the open stroke, made first if another tool removed it, so that the line never
        // lands in a finished stroke.
        Stroke& stroke = canvas_.openStroke();
        stroke.points.push_back(windowToCanvas(manipulator_.view, start.x, start.y));
        stroke.points.push_back(end);
        stroke.colour = currentColor_;
        stroke.width = width;
        undoStack.push_back(stroke);
        history_.recordEdit(this);
        redoStack.clear();
        lineActive = false;
    }
    canvas_.appendOpenStrokeIfNeeded();
    start = pointer_.screenPosition();
    end = CanvasPoint{start.x, start.y};
    startKnown = true;
}

void StraightLine2D::onLeftGrip(const ArmPose& pose) {
    width = changedWidth(width, pose, lastPose);
    finishLine();
    lastPose = pose;
}

void StraightLine2D::onRightGrip(const ArmPose& pose) {
    updateEnd();
    lastPose = pose;
}

void StraightLine2D::onBothGrip(const ArmPose& pose) {
    width = changedWidth(width, pose, lastPose);
    updateEnd();
    lastPose = pose;
}

void StraightLine2D::onNoGrip(const ArmPose& pose) {
    finishLine();
    lastPose = pose;
}

void StraightLine2D::drawOverlay() {
    if (!pointer_.engaged()) {
        return;
    }
    const ScreenPoint p = pointer_.screenPosition();
    const ScreenPoint from = startKnown ? start : p;
    glColor3f(currentColor_[0], currentColor_[1], currentColor_[2]);
    glLineWidth(width);
    glBegin(GL_LINES);
    glVertex2f(from.x, from.y);
    glVertex2f(p.x, p.y);
    glEnd();
    drawPointerDisk(from, 0.0f, width * 0.5f);
    drawPointerDisk(p, 0.0f, width * 0.5f);
}

void StraightLine2D::undo() { moveStrokeRecord(canvas_, undoStack, redoStack, false); }

void StraightLine2D::redo() { moveStrokeRecord(canvas_, redoStack, undoStack, true); }
