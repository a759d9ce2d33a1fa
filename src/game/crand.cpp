#include "game/crand.h"

namespace {
uint32_t state = 1;
}

void crandSeed(uint32_t seed) { state = seed; }

int crand() {
    state = state * 214013u + 2531011u;
    return int((state >> 16) & 0x7FFF);
}

uint32_t crandState() { return state; }
