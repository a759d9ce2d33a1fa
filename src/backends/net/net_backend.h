// Network play: every machine runs the game from one stream of clock readings and messages (what a
// recording holds), driven by the machine whose player the game waits for and followed, a latency
// behind, by the others. It wraps the window or headless back end as the recording back end does.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "backends/headless/headless.h"
#include "backends/net/link.h"
#include "backends/replay/recording.h"
#include "platform/backend.h"

namespace platform {

struct NetPlayOptions {
    int seat = 0;  // 0 the host, 1 the second player, -1 a watcher
    std::unique_ptr<NetLink> link;
    std::unique_ptr<RecordWriter> writer;  // --record, or null
    std::FILE* traceOut = nullptr;
    // Headless: the inner back end's virtual clock is kept on the stream's, and the script's
    // keys (events) are timed on it, and on the stream's readings while this machine follows.
    bool headless = false;
    std::vector<ScriptEvent> script;
    std::string snapshotDir = ".";
};

std::unique_ptr<Backend> makeNetBackend(std::unique_ptr<Backend> inner, NetPlayOptions options);

}  // namespace platform
