// gesturetool poses and convert: frame-by-frame work on csv streams and recordings.
#include <cstdio>

#include "gesturetool/commands.h"

int runPoses(int, char**) {
    std::fprintf(stderr, "gesturetool poses: not implemented yet\n");
    return 2;
}

int runConvert(int, char**) {
    std::fprintf(stderr, "gesturetool convert: not implemented yet\n");
    return 2;
}
