#pragma once
// A whole pintara for tests: a GL context of the window's size (from Xvfb), the app built as
// start-up builds it on a seeded simulated performer, and the recogniser's console lines kept
// out of the test output. Returns nullptr when there is no display; the caller skips.
#include <memory>
#include <ostream>

#include "common/sensor/simulated_performer.h"
#include "paint/paint_app.h"
#include "widgets/gl_test_context.h"

inline std::unique_ptr<PaintApp> makeTestPaintApp(int width, int height, uint32_t performerSeed,
                                                  std::ostream& console) {
    if (!gltest::openContext(width, height)) return nullptr;
    auto app = std::make_unique<PaintApp>();
    app->window.width = width;
    app->window.height = height;
    app->window.aspect = static_cast<float>(width) / static_cast<float>(height);
    createPaintApp(*app, std::make_unique<SimulatedPerformer>(performerSeed), std::nullopt, 1000);
    app->recognizer->console = &console;
    return app;
}
