#include "common/tools/colorpicker.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "common/tools/tool_icon.h"

namespace {

constexpr float DEGREES_TO_RADIANS = 0.017453f;
constexpr float SECTOR_RADIANS = 1.0472f;
constexpr float VALUE_GAIN = 2.0f;       // value per metre of left-wrist height
constexpr float SATURATION_GAIN = 2.0f;  // saturation per metre of right-wrist height
constexpr float HUE_GAIN = 200.0f;       // the hue turns by (200 * dx)^2 degrees, signed

float limitUnit(float v) { return std::min(std::max(v, -1.0f), 1.0f); }

}  // namespace

Rgb hexconeColor(float hueDegrees, float s, float v) {
    const float h = hueDegrees * DEGREES_TO_RADIANS;
    const float sector = h / SECTOR_RADIANS;
    // The sector is the integer part, truncated toward zero: a hue just below 0 still falls in
    // sector 0. Sectors past 6, and NaN, are black.
    if (!(sector > -1.0f && sector < 7.0f)) {
        return Rgb{{0.0f, 0.0f, 0.0f}};
    }
    const int k = static_cast<int>(sector);
    const float f = sector - static_cast<float>(k);
    const float p = (1.0f - s) * v;
    const float q = v * (1.0f - s * f);
    const float t = v * (1.0f - s * (1.0f - f));
    switch (k) {
    case 0:
    case 6: return Rgb{{v, t, p}};
    case 1: return Rgb{{q, v, p}};
    case 2: return Rgb{{p, v, t}};
    case 3: return Rgb{{p, q, v}};
    case 4: return Rgb{{t, p, v}};
    case 5: return Rgb{{v, p, q}};
    default: return Rgb{{0.0f, 0.0f, 0.0f}};
    }
}

Colorpicker::Colorpicker(Rgb& currentColor, const WindowInfo& window)
    : currentColor_(currentColor), window_(window) {
    icon = loadToolIcon("../images/colorpicker.png");
}

void Colorpicker::changeValue(const ArmPose& pose) {
    const float dyL = pose[POSE_LEFT_WRIST_Y] - lastPose[POSE_LEFT_WRIST_Y];
    const float changed = value + VALUE_GAIN * dyL;
    if (std::isfinite(changed)) value = limitUnit(changed);  // a corrupt pose keeps the value
}

void Colorpicker::changeHueOrSaturation(const ArmPose& pose) {
    const float dxR = pose[POSE_RIGHT_WRIST_X] - lastPose[POSE_RIGHT_WRIST_X];
    const float dyR = pose[POSE_RIGHT_WRIST_Y] - lastPose[POSE_RIGHT_WRIST_Y];
    if (std::fabs(dyR) < std::fabs(dxR)) {
        // A signed square: fast sideways motion turns the wheel much faster than slow motion.
        const float t = HUE_GAIN * dxR;
        const float turned = hue + t * std::fabs(t);
        if (!std::isfinite(turned)) {
            return;  // a corrupt pose keeps the hue
        }
        // The same result as subtracting (or adding) 360 until the hue is in range, without a
        // loop that would never end for huge values: from above into (0, 360]; from below into
        // [0, 360], where a tiny negative hue plus 360 rounds to 360 itself.
        hue = turned;
        if (hue > 360.0f) {
            hue = std::fmod(hue, 360.0f);
            if (hue == 0.0f) {
                hue = 360.0f;
            }
        } else if (hue < 0.0f) {
            const float rest = std::fmod(hue, 360.0f);  // exact, in (-360, 0]
            hue = rest == 0.0f ? 0.0f : rest + 360.0f;
        }
    } else {
        const float changed = saturation + SATURATION_GAIN * dyR;
        if (std::isfinite(changed)) saturation = limitUnit(changed);  // as for the value
    }
}

void Colorpicker::onLeftGrip(const ArmPose& pose) {
    changeValue(pose);
    onNoGrip(pose);
}

void Colorpicker::onRightGrip(const ArmPose& pose) {
    changeHueOrSaturation(pose);
    onNoGrip(pose);
}

void Colorpicker::onBothGrip(const ArmPose& pose) {
    changeHueOrSaturation(pose);
    changeValue(pose);
    onNoGrip(pose);
}

void Colorpicker::onNoGrip(const ArmPose& pose) {
    lastPose = pose;
    currentColor_ = hexconeColor(hue, saturation, value);
}

void Colorpicker::drawOverlay() {
    const float w = static_cast<float>(window_.width);
    const float h = static_cast<float>(window_.height);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, w, 0.0, h, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    // The wheel's radius is a third of the window height.
    glTranslatef(w * 0.5f, h * 0.5f, 0.0f);
    glScalef(h / 3.0f, h / 3.0f, 1.0f);

    // Turned so that the current hue sits at the top.
    glPushMatrix();
    glRotatef(90.0f, 0.0f, 0.0f, 1.0f);
    glRotatef(-hue, 0.0f, 0.0f, 1.0f);
    glBegin(GL_TRIANGLE_FAN);
    glColor3f(value, value, value);
    glVertex2f(0.0f, 0.0f);
    for (int i = 0; i <= 361; ++i) {
        const float theta = static_cast<float>(i) * DEGREES_TO_RADIANS;
        const Rgb rim = hexconeColor(static_cast<float>(i), 1.0f, value);
        glColor3f(rim[0], rim[1], rim[2]);
        glVertex2f(std::cos(theta), std::sin(theta));
    }
    glEnd();
    glPopMatrix();

    // The marker on the vertical axis: rim for saturation 1, centre for 0, bottom rim for -1.
    glTranslatef(0.0f, saturation, 0.0f);
    glScalef(0.2f, 0.2f, 0.2f);
    glBegin(GL_QUADS);
    glColor3f(0.0f, 0.0f, 0.0f);
    glVertex2f(-1.05f, -1.05f);
    glVertex2f(1.05f, -1.05f);
    glVertex2f(1.05f, 1.05f);
    glVertex2f(-1.05f, 1.05f);
    glColor3f(currentColor_[0], currentColor_[1], currentColor_[2]);
    glVertex2f(-1.0f, -1.0f);
    glVertex2f(1.0f, -1.0f);
    glVertex2f(1.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glEnable(GL_DEPTH_TEST);
}
