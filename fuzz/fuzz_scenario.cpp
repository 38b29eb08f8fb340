// Scenario scripts are text from the user (--script FILE). Any bytes must parse or be refused
// with one message naming the file, and parsed actions must stay inside the documented bounds.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/app/scenario_script.h"
#include "common/sensor/simulated_performer.h"

namespace {

[[noreturn]] void fault(const char* what, int line) {
    std::fprintf(stderr, "%s (line %d)\n", what, line);
    std::abort();
}

// A program that does what the script asks and always answers the same.
class FakeHost : public ScenarioHost {
public:
    void pressKey(unsigned char) override {}
    void pressSpecialKey(int, int) override {}
    bool loadGestureSets(const std::string& path) override { return !path.empty(); }
    bool saveGestureSets(const std::string& path) override { return !path.empty(); }
    bool saveScreenshot(const std::string& path) override { return !path.empty(); }
    // Fuzzed paths must not create folders on the machine.
    bool makeOutputFolders(const std::string&, std::string&) override { return true; }
    std::string query(const std::string& what) override { return what == "tool" ? "Brush2D" : "1"; }
};

// Frames of a parsed script played per input: 10 s at 33 ms, enough to start a few actions.
constexpr int PLAYED_FRAMES = 300;
constexpr uint32_t STEP_MS = 33;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    Scenario scenario;
    std::string error;
    if (!parseScenario(text, "fuzz.scn", scenario, error)) {
        if (error.find("fuzz.scn") == std::string::npos) fault("error does not name the file", 0);
        if (error.find('\n') != std::string::npos) fault("error spans more than one line", 0);
        return 0;
    }
    for (const ScenarioAction& a : scenario.actions) {
        if (a.line < 1) fault("action without a line", a.line);
        if (a.durationMs > SCENARIO_MAX_DURATION_MS) fault("duration beyond the maximum", a.line);
        if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(a.value))
            fault("non-finite position", a.line);
        if (a.hand < 0 || a.hand > SCENARIO_BOTH_HANDS) fault("hand out of range", a.line);
    }

    // Play the start of it against the simulated performer, as --script does.
    static SkeletonFrame frame;
    SimulatedPerformer performer(1);
    FakeHost host;
    ScenarioRunner runner(scenario, performer, host);
    for (int i = 0; i < PLAYED_FRAMES && !runner.finished() && !runner.failed(); ++i) {
        const uint32_t now = static_cast<uint32_t>(i) * STEP_MS;
        runner.step(now);
        performer.advance(now);
        performer.nextSkeletonFrame(frame);
    }
    if (runner.failed() && runner.failureMessage().find("fuzz.scn") == std::string::npos)
        fault("failure does not name the script", runner.currentLine());
    return 0;
}
