#include "game/titlemenu.h"

// Placeholder until the title menu lands: returns at once, and the entry goes on to its
// closing endless wait.
TitleMenu titleMenu;

void TitleMenu::run() {}
void TitleMenu::show() {}
void TitleMenu::moveCursor(int32_t) {}
void TitleMenu::blinkSelection() {}
