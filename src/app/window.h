// The process entry's game half: the one window, its procedure and the start-up order.
#pragma once

#include <cstdint>

int32_t mainWindowProc(uint32_t message, uint32_t wParam, int32_t lParam);

// The entry: window, display, sound, seed, title menu. Returns only when the window class cannot
// be registered (0). seed is what srand gets (the calendar time unless --seed was given).
int winMain(uint32_t seed);
