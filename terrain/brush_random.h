#pragma once
// BrushRandom: the random-number generator of the randomise brush. Three 64-bit words combined
// from a linear congruential step, an xorshift and a multiply-with-carry; all arithmetic is
// modulo 2^64.
#include <cstdint>

struct BrushRandom {
    uint64_t u = 0;
    uint64_t v = 0;
    uint64_t w = 0;

    // Seeds from a calendar time in seconds (the caller reads the clock), so runs started in
    // different seconds draw different numbers.
    explicit BrushRandom(uint64_t seedSeconds);

    uint64_t next();   // one 64-bit draw
    double uniform();  // one draw scaled into [0, 1)
};
