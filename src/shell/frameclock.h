// The frame clock: a frame start stamp and waits that pump the window's messages.
#pragma once

#include <cstdint>

extern uint32_t frameStart;

// Dispatches every waiting message; 1 when the queue is empty, 0 when the quit message was taken.
int pumpMessages();
void startFrame();
// Pumps messages until more than ms milliseconds have passed since frameStart.
void waitUntil(uint32_t ms);
// Pumps messages until at least ms milliseconds have passed since the call.
void waitFor(uint32_t ms);
void clearKeys();
