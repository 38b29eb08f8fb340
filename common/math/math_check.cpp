#include "common/math/math_check.h"

#include <cstdio>
#include <cstdlib>

void mathCheckFailed(const char* text, const char* file, int line) {
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", text, file, line);
    std::fflush(stderr);
    std::abort();
}
