// The process-wide pseudo-random generator of the dithering operations.
//
// One 32-bit state, 1 when the process starts. Each draw advances it as
// state = (state * 1103515245 + 12345) mod 2^32, keeps the low 31 bits and
// returns state / 2^31 in single precision, a value in [0, 1). The dithering
// methods reseed it from the clock only when asked to jitter their threshold,
// so output is otherwise reproducible. Single-threaded use only.
#ifndef ZV_IMAGING_SIMPLE_RAND_H
#define ZV_IMAGING_SIMPLE_RAND_H

#include <cstdint>

float simpleRand();

// Seeds the state with the current time in whole seconds (low 32 bits).
void seedSimpleRandFromClock();

// The clock that seeding reads; null puts back the system clock. Tests fix
// it so that methods which reseed give the same result in any second.
void setSimpleRandClock(uint32_t (*clock)());

uint32_t getSimpleRandState();
void setSimpleRandState(uint32_t state);

// Back to the start state 1, as in a new process.
void resetSimpleRand();

#endif
