// Placeholder for the gesture commands until the gesture engine's versions land here.
#include <cstdio>

#include "gesturetool/commands.h"

namespace {
int notImplemented(const char* name) {
    std::fprintf(stderr, "gesturetool %s: not implemented yet\n", name);
    return 2;
}
}  // namespace

int runTrain(int, char**) { return notImplemented("train"); }
int runRecognize(int, char**) { return notImplemented("recognize"); }
int runInspect(int, char**) { return notImplemented("inspect"); }
