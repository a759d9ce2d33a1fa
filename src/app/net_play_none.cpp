#include <cstdio>

#include "app/net_play.h"

int startNetPlay(const Options&, std::FILE*, uint32_t&) {
    std::fputs("varnis: this build plays without the network (--host, --join)\n", stderr);
    return 2;
}
