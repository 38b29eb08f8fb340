#pragma once
// What pintara offers scenario scripts: keys, gesture-set files without the dialog, screenshots
// and the values assertions compare.
#include "common/app/program_harness.h"
#include "common/app/scenario_script.h"
#include "paint/paint_app.h"

class PaintScenarioHost : public ScenarioHost {
public:
    PaintScenarioHost(PaintApp& app, ProgramHarness& harness) : app(app), harness(harness) {}
    void pressKey(unsigned char key) override;
    void pressSpecialKey(int glutKey, int modifiers) override;
    bool loadGestureSets(const std::string& path) override;
    bool saveGestureSets(const std::string& path) override;
    bool saveScreenshot(const std::string& path) override;
    std::string query(const std::string& what) override;

private:
    PaintApp& app;
    ProgramHarness& harness;
};
