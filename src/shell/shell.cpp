#include "shell/shell.h"

#include "platform/backend.h"
#include "platform/host.h"
#include "shell/texts.h"

using namespace platform;

WindowHandle mainWindow = 0;
uint8_t keyDown[256] = {};
int32_t waitEnabled = 1;
const int32_t fireKey[2] = {VK_SPACE, VK_RETURN};
char textBuffer[256] = {};

namespace {
CloseDisplayHook closeDisplay = nullptr;
}

void setCloseDisplayHook(CloseDisplayHook hook) { closeDisplay = hook; }

void fatalExit(const char* message) {
    if (closeDisplay) closeDisplay();
    if (message) messageBox(message, kTextErrorCaption);
    exitProcess(1);
}

void awaitPlayer(int player, bool inMatch) { backend().awaitPlayer(player, inMatch); }
