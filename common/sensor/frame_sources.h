#pragma once
// Chooses the program's sensor backend from its --sensor value:
//   "synthetic"    the simulated performer (registered by the program, see below)
//   "replay:FILE"  a recording made with --record FILE
//   "csv:FILE"     a text skeleton stream
// A backend that cannot open is "no sensor found": the caller prints MISSING_SENSOR_MESSAGE
// and `error` to stderr and exits with code 1.
#include <functional>
#include <memory>
#include <string>

#include "common/sensor/frame_source.h"

// The simulated performer lives in its own files and needs the program's options (script,
// demo, mouse), so it is plugged in rather than named here: the program registers a factory
// before calling openFrameSource. Without one, "synthetic" is "no sensor found".
using SyntheticSourceFactory = std::function<std::unique_ptr<FrameSource>()>;
void registerSyntheticSource(SyntheticSourceFactory factory);

// nullptr and a one-line `error` when the backend is unknown or cannot open.
std::unique_ptr<FrameSource> openFrameSource(const std::string& sourceName, std::string& error);
