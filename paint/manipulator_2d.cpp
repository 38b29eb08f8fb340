#include "paint/manipulator_2d.h"

#include <cmath>

#include "common/tools/tool_icon.h"

namespace {

constexpr float PI_APPROX = 3.14159f;
// Below this many pixels between the hands the scale (a ratio of distances) is meaningless.
constexpr float MIN_HAND_DISTANCE = 0.001f;
// How far apart, in window pixels, neighbouring float canvas points may be drawn, so that paint
// lands under the pointer.
constexpr float MAX_CANVAS_SPACING = 0.5f;

float distance(ScreenPoint a, ScreenPoint b) { return std::hypot(b.x - a.x, b.y - a.y); }

}  // namespace

float pointerAngle(ScreenPoint left, ScreenPoint right) {
    const float dy = right.y - left.y;
    const float dx = right.x - left.x;
    const float alpha = std::atan2(std::fabs(dy), std::fabs(dx));
    if (dx >= 0.0f) {
        return dy > 0.0f ? alpha : -alpha;
    }
    return dy > 0.0f ? PI_APPROX - alpha : alpha + PI_APPROX;
}

Manipulator2D::Manipulator2D(const HandPointer& leftPointer, const HandPointer& rightPointer)
    : left_(leftPointer), right_(rightPointer) {
    icon = loadToolIcon("../images/manipulator.png");
}

void Manipulator2D::takeReference() {
    const ScreenPoint l = left_.screenPosition();
    const ScreenPoint r = right_.screenPosition();
    startAngle = pointerAngle(l, r);
    startDistance = distance(l, r);
    startMidpoint = ScreenPoint{(l.x + r.x) * 0.5f, (l.y + r.y) * 0.5f};
    startView = view;
}

void Manipulator2D::move() {
    const ScreenPoint l = left_.screenPosition();
    const ScreenPoint r = right_.screenPosition();
    const float currentDistance = distance(l, r);
    // With both pointers on one pixel at the reference there is no distance to scale from: the
    // gesture starts afresh from wherever the hands are now, so that it begins once they part.
    if (!(startDistance >= MIN_HAND_DISTANCE)) {
        takeReference();
        return;
    }
    // A zero scale now would collapse the paint to a point for good (every later view starts
    // from this one): keep the view reached so far until the hands are apart again.
    if (!(currentDistance >= MIN_HAND_DISTANCE)) {
        return;
    }
    rotation = pointerAngle(l, r) - startAngle;
    scale = currentDistance / startDistance;
    midpoint = ScreenPoint{(l.x + r.x) * 0.5f, (l.y + r.y) * 0.5f};
    pan = ScreenPoint{midpoint.x - startMidpoint.x, midpoint.y - startMidpoint.y};

    // T(M) · Rz(rotation) · S(scale) · T(-M) · T(pan) · startView
    Matrix4 m = translationMatrix(midpoint.x, midpoint.y, 0.0f);
    m = multiplyMatrix(m, rotationZMatrix(rotation));
    m = multiplyMatrix(m, scaleMatrix(scale));
    m = multiplyMatrix(m, translationMatrix(-midpoint.x, -midpoint.y, 0.0f));
    m = multiplyMatrix(m, translationMatrix(pan.x, pan.y, 0.0f));
    m = multiplyMatrix(m, startView);
    // The tools map the pointer onto the canvas through the inverse view and keep float canvas
    // points. Zoomed far in, those points are too coarse for the view's scale (a million times
    // in, paint lands tens of pixels from the hand; with no inverse at all, NaN points), so the
    // zoom stops at the last view whose canvas points lie at most half a pixel apart on screen.
    // Only zooming in is stopped: a view near the limit can still be panned and turned (which
    // move the limit a little), and one left past it by a window that grew can be pinched back.
    const float width = left_.window != nullptr ? static_cast<float>(left_.window->width) : 0.0f;
    const float height = left_.window != nullptr ? static_cast<float>(left_.window->height) : 0.0f;
    const float spacing = canvasSpacingInPixels(m, width, height);
    const bool zoomsIn = std::hypot(m[0], m[1]) > std::hypot(view[0], view[1]);
    if (!std::isfinite(spacing) || (spacing > MAX_CANVAS_SPACING && zoomsIn)) return;
    view = m;
}

void Manipulator2D::onLeftGrip(const ArmPose&) { takeReference(); }
void Manipulator2D::onRightGrip(const ArmPose&) { takeReference(); }
void Manipulator2D::onNoGrip(const ArmPose&) { takeReference(); }
void Manipulator2D::onBothGrip(const ArmPose&) { move(); }
