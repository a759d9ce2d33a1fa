// The title screen and its menu.
#pragma once

#include <cstdint>

class TitleMenu {
public:
    // 0 one player against the computer, 1 two players, 2 quit; kept across matches.
    int32_t selectedItem = 0;

    void run();
    void show();
    void moveCursor(int32_t delta);
    void blinkSelection();
};

extern TitleMenu titleMenu;
