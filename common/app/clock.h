#pragma once
// The one clock every time in a program comes from (dwell, fades, countdowns, report
// intervals). Milliseconds, truncated to 32 bits like the sensor runtime's system time.
#include <cstdint>

struct Clock {
    uint32_t fixedStepMs = 0;  // 0: wall clock; otherwise each frame advances by this much
    uint32_t nowMs = 0;        // the current frame's time
    uint64_t frameCount = 0;
    uint32_t lastWallMs = 0;   // the wall-clock reading behind nowMs
};

// Wall-clock milliseconds: system time in 100 ns units / 10,000, truncated to 32 bits.
uint32_t wallClockMs();

// Starts a frame: on the wall clock waits until at least 1000/30 ms after the previous frame
// began (so frames come at the sensor's 30 Hz) and reads the time; with a fixed step advances
// the virtual time by the step without waiting (the first frame is at one step, never 0,
// because a start time of 0 means "not running" to countdowns). Returns the frame's time.
uint32_t beginFrame(Clock& clock);

// Moves the frame time on by how far the wall clock has moved since its last reading. A wall
// clock set back (by hand or by a time service) holds the frame time still instead: every
// dwell and delay compares times by unsigned difference, so a time earlier than the last
// would read as some 49 days later and press buttons and engage pointers at once.
uint32_t followWallClock(Clock& clock, uint32_t wallMs);

// Waits within a frame, as a sensor fetch does: sleeps on the wall clock; with a fixed step
// moves the virtual time on by `ms`, so the next frame begins that much later.
void waitOnClock(Clock& clock, uint32_t ms);
