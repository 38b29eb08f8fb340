#include "paint/paint_scenario_host.h"

void PaintScenarioHost::pressKey(unsigned char key) { paintKeyboard(app, key); }

void PaintScenarioHost::pressSpecialKey(int glutKey, int modifiers) { paintSpecial(app, glutKey, modifiers); }

bool PaintScenarioHost::loadGestureSets(const std::string& path) { return loadPaintGestureSets(app, path); }

bool PaintScenarioHost::saveGestureSets(const std::string& path) { return savePaintGestureSets(app, path); }

bool PaintScenarioHost::saveScreenshot(const std::string& path) { return requestScreenshot(harness, path); }

std::string PaintScenarioHost::query(const std::string& what) { return paintQuery(app, what); }
