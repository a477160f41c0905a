#include "imaging/simple_rand.h"

#include <ctime>

namespace {
uint32_t randState = 1;
uint32_t (*randClock)() = nullptr;
}  // namespace

float simpleRand() {
    randState = (randState * 1103515245u + 12345u) & 0x7fffffffu;
    return static_cast<float>(randState / 2147483648.0);
}

void seedSimpleRandFromClock() {
    randState = randClock != nullptr ? randClock() : static_cast<uint32_t>(std::time(nullptr));
}

void setSimpleRandClock(uint32_t (*clock)()) { randClock = clock; }

uint32_t getSimpleRandState() { return randState; }

void setSimpleRandState(uint32_t state) { randState = state; }

void resetSimpleRand() { randState = 1; }
