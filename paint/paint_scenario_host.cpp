#include "paint/paint_scenario_host.h"

#include <GL/gl.h>

#include "common/app/screenshot.h"
#include "paint/settings_panel.h"

void PaintScenarioHost::pressKey(unsigned char key) { paintKeyboard(app, key); }

void PaintScenarioHost::pressSpecialKey(int glutKey, int modifiers) { paintSpecial(app, glutKey, modifiers); }

bool PaintScenarioHost::loadGestureSets(const std::string& path) { return loadPaintGestureSets(app, path); }

bool PaintScenarioHost::saveGestureSets(const std::string& path) { return savePaintGestureSets(app, path); }

bool PaintScenarioHost::saveScreenshot(const std::string& path) {
    // The previous frame is complete in the front buffer; the panel is part of the window.
    glReadBuffer(GL_FRONT);
    bool saved = ::saveScreenshot(path, static_cast<int>(app.window.width) + SETTINGS_PANEL_WIDTH,
                                  static_cast<int>(app.window.height));
    glReadBuffer(GL_BACK);
    return saved;
}

std::string PaintScenarioHost::query(const std::string& what) { return paintQuery(app, what); }
