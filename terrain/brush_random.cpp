#include "terrain/brush_random.h"

#include <cmath>

BrushRandom::BrushRandom(uint64_t seedSeconds) {
    v = 4101842887655102017ULL;
    w = 1;
    u = seedSeconds ^ v;
    next();
    v = u;
    next();
    w = v;
    next();
}

uint64_t BrushRandom::next() {
    u = u * 2862933555777941757ULL + 7046029254386353087ULL;
    v ^= v >> 17;
    v ^= v << 31;
    v ^= v >> 8;
    w = 4294957665ULL * (w & 0xFFFFFFFFULL) + (w >> 32);
    uint64_t x = u ^ (u << 21);
    x ^= x >> 35;
    x ^= x << 4;
    return (x + v) ^ w;
}

double BrushRandom::uniform() {
    const double q = 5.42101086242752217e-20 * static_cast<double>(next());
    // Draws within 2^10 of 2^64 round up to exactly 2^64 as doubles; keep the range half-open.
    return q < 1.0 ? q : std::nextafter(1.0, 0.0);
}
