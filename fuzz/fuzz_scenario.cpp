// Scenario scripts are text from the user (--script FILE). Any bytes must parse or be refused
// with one message naming the file, and parsed actions must stay inside the documented bounds.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/app/scenario_script.h"

namespace {

[[noreturn]] void fault(const char* what, int line) {
    std::fprintf(stderr, "%s (line %d)\n", what, line);
    std::abort();
}

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
    return 0;
}
