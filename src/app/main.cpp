// Process entry: reads the command line, installs a back end and runs the game.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/shell.h"
#include "platform/host.h"

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    return winMain(uint32_t(std::time(nullptr)));
}
