#include "app/net_play.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/window_backend.h"
#include "backends/headless/headless.h"
#include "backends/net/net_backend.h"
#include "backends/replay/recording.h"
#include "backends/replay/replay.h"
#include "platform/datafile.h"
#include "platform/host.h"

namespace {

int fail(const std::string& line) {
    std::fprintf(stderr, "varnis: %s\n", line.c_str());
    return 2;
}

// "ADDR:PORT" or "PORT" (host) / "HOST:PORT" (join); the port a number to 65535.
bool splitAddress(const std::string& text, bool needHost, std::string& host, std::string& port) {
    const size_t colon = text.rfind(':');
    host = colon == std::string::npos ? "" : text.substr(0, colon);
    port = colon == std::string::npos ? text : text.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) > 65535)
        return false;
    return !needHost || !host.empty();
}

bool readText(const std::string& path, std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

}  // namespace

int startNetPlay(const Options& o, std::FILE* trace, uint32_t& seed) {
    platform::NetPlayOptions net;
    net.headless = o.headless;
    if (o.headless && !o.scriptPath.empty()) {
        std::string text, error;
        if (!readText(o.scriptPath, text)) return fail("cannot read the script " + o.scriptPath);
        if (!platform::parseScript(text, net.script, error))
            return fail(o.scriptPath + ": " + error);
        if (!platform::isWritableFolder(o.snapshotDir))
            return fail("cannot write snapshots into " + o.snapshotDir);
        net.snapshotDir = o.snapshotDir;
    }
    platform::Hello own;
    own.version = VARNIS_VERSION;
    own.compat = platform::kReplayCompat;
    for (int i = 0; i < 4; ++i)
        own.files[i] = platform::dataFileChecksum(platform::kRecordedFiles[i]);

    std::string host, port;
    if (!o.hostAt.empty()) {
        if (!splitAddress(o.hostAt, false, host, port))
            return fail("--host '" + o.hostAt + "' is not [ADDR:]PORT");
        if (!o.code.empty() && !platform::validCode(o.code))
            return fail("a code is 1 to 64 letters, digits, '-' and '_'");
        platform::HostSettings h;
        h.address = host;
        h.port = uint16_t(std::stoul(port));
        h.code = o.code.empty() ? platform::randomCode() : o.code;
        h.seed = seed;
        h.own = own;
        h.site = o.site;
        if (h.site.empty()) {
            std::vector<std::string> candidates;
            for (const std::string& f : platform::installedDataFolders())
                candidates.push_back(f + "/site");
            candidates.push_back("build-web/site");
            for (const std::string& c : candidates)
                if (isFolder(c)) {
                    h.site = c;
                    break;
                }
        } else if (!isFolder(h.site)) {
            return fail("--site " + h.site + " is not a folder");
        }
        std::string shown, error;
        uint16_t bound = 0;
        net.link = platform::startHost(h, shown, bound, error);
        if (!net.link) return fail("cannot host on " + o.hostAt + ": " + error);
        const std::string at = shown + ":" + std::to_string(bound);
        std::fprintf(stderr,
                     "varnis: hosting; share http://%s/?code=%s or varnis --join %s --code %s\n",
                     at.c_str(), h.code.c_str(), at.c_str(), h.code.c_str());
        if (o.headless)
            platform::waitForPlayer(*net.link);  // scripted runs start with their player
        net.seat = 0;
    } else {
        if (!splitAddress(o.joinAt, true, host, port))
            return fail("--join '" + o.joinAt + "' is not HOST:PORT");
        own.code = o.code;
        own.watch = o.watch;
        platform::JoinResult r;
        net.link = platform::joinHost(host, port, own, r);
        if (!net.link)
            return fail((r.refused ? "refused by " : "cannot join ") + o.joinAt + ": " + r.error);
        seed = r.seed;
        net.seat = r.player ? 1 : -1;
        const std::string joined =
            "joined " + o.joinAt +
            (r.player ? " as the second player (right fortress)" : " to watch");
        std::fprintf(stderr, "varnis: %s\n", joined.c_str());
        net.link->inbox.status = joined;
        net.link->inbox.statusChanged = true;
    }
    if (!o.recordPath.empty()) {
        net.writer = std::make_unique<platform::RecordWriter>();
        std::string error;
        if (!net.writer->open(o.recordPath, seed, error))
            return fail("cannot write the recording " + o.recordPath + ": " + error);
    }
    std::unique_ptr<platform::Backend> inner;
    if (o.headless) {
        platform::HeadlessOptions h;
        h.maxMs = o.maxMs;
        inner = platform::makeHeadlessBackend(std::move(h));
        net.traceOut = trace;
    } else {
        inner = makeWindowBackend(o.windowed);
        net.traceOut = trace;
    }
    platform::installBackend(platform::makeNetBackend(std::move(inner), std::move(net)));
    return 0;
}
