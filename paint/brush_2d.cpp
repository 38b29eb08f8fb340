#include "paint/brush_2d.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "common/tools/tool_icon.h"
#include "paint/manipulator_2d.h"

float changedWidth(float width, const ArmPose& pose, const ArmPose& lastPose) {
    const float changed =
        width + (pose[POSE_LEFT_WRIST_Y] - lastPose[POSE_LEFT_WRIST_Y]) * WIDTH_GAIN;
    // Written so that a NaN from a corrupt pose also ends at the minimum.
    return changed > MIN_TOOL_WIDTH ? changed : MIN_TOOL_WIDTH;
}

void drawPointerDisk(ScreenPoint centre, float innerRadius, float outerRadius) {
    static GLUquadric* quadric = gluNewQuadric();  // made once, reused for the whole run
    if (quadric == nullptr) {
        return;
    }
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glTranslatef(centre.x, centre.y, 0.0f);
    gluDisk(quadric, innerRadius, outerRadius, 16, 1);
    glPopMatrix();
}

Brush2D::Brush2D(const HandPointer& rightPointer, Canvas& canvas, const Manipulator2D& manipulator,
                 const std::array<float, 3>& currentColor, EditHistory& history)
    : pointer_(rightPointer),
      canvas_(canvas),
      manipulator_(manipulator),
      currentColor_(currentColor),
      history_(history) {
    icon = loadToolIcon("../images/brushtool.png");
}

Brush2D::~Brush2D() { releaseStrokeInProgress(); }

void Brush2D::releaseStrokeInProgress() {
    if (canvas_.strokeInProgress.owner == this) {
        canvas_.strokeInProgress.owner = nullptr;
        canvas_.strokeInProgress.id = -1;
    }
}

Stroke* Brush2D::activeStroke() {
    const StrokeInProgress& painting = canvas_.strokeInProgress;
    if (!strokeActive || painting.owner != this || painting.id != activeStrokeId) {
        return nullptr;
    }
    return canvas_.findStrokeById(activeStrokeId);
}

void Brush2D::recordUnrecordedStroke(const Stroke& stroke) {
    undoStack.push_back(stroke);
    history_.recordEdit(this);
    redoStack.clear();
    endStroke();
}

void Brush2D::endStroke() {
    strokeActive = false;
    activeStrokeId = -1;
    releaseStrokeInProgress();
}

void Brush2D::addPoint() {
    const ScreenPoint p = pointer_.screenPosition();
    const CanvasPoint c = windowToCanvas(manipulator_.view, p.x, p.y);

    // Paint into the stroke begun by this tool; otherwise into the open stroke, which is made
    // first if another tool removed it, so that no point lands in a finished stroke.
    Stroke* stroke = activeStroke();
    if (stroke == nullptr) {
        strokeActive = false;  // the stroke in progress is gone or recorded elsewhere: start afresh
        stroke = &canvas_.openStroke();
    }
    stroke->colour = currentColor_;
    stroke->width = width;
    if (std::hypot(p.x - lastPoint.x, p.y - lastPoint.y) > width) {
        stroke->points.push_back(c);
        lastPoint = p;
        if (!strokeActive) {
            canvas_.strokeInProgress.id = stroke->id;
            canvas_.strokeInProgress.owner = this;
        }
        strokeActive = true;
        activeStrokeId = stroke->id;
    }
}

void Brush2D::finishStroke() {
    if (strokeActive) {
        const Stroke* stroke = activeStroke();
        if (stroke != nullptr) {
            recordUnrecordedStroke(*stroke);  // ends the stroke as well
        } else {
            endStroke();
        }
    }
    canvas_.appendOpenStrokeIfNeeded();
}

void Brush2D::onLeftGrip(const ArmPose& pose) {
    width = changedWidth(width, pose, lastPose);
    finishStroke();
    lastPose = pose;
}

void Brush2D::onRightGrip(const ArmPose& pose) {
    addPoint();
    lastPose = pose;
}

void Brush2D::onBothGrip(const ArmPose& pose) {
    width = changedWidth(width, pose, lastPose);
    addPoint();
    lastPose = pose;
}

void Brush2D::onNoGrip(const ArmPose& pose) {
    finishStroke();
    lastPose = pose;
}

void Brush2D::drawOverlay() {
    if (!pointer_.engaged()) {
        return;
    }
    glColor3f(currentColor_[0], currentColor_[1], currentColor_[2]);
    drawPointerDisk(pointer_.screenPosition(), 0.0f, width * 0.5f);
}

void Brush2D::undo() { moveStrokeRecord(canvas_, undoStack, redoStack, false); }

void Brush2D::redo() { moveStrokeRecord(canvas_, redoStack, undoStack, true); }
