// The C library's random generator, as the game has always used it:
// state = state * 214013 + 2531011 (mod 2^32), result (state >> 16) & 0x7FFF.
// The platform's own rand() is a different generator and is never used.
#pragma once

#include <cstdint>

void crandSeed(uint32_t seed);
int crand();
// The generator's state, for tests that pin the sequence.
uint32_t crandState();
