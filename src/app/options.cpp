#include "app/options.h"

#include "platform/parse.h"

namespace {

// --host, --join, --code, --watch and --site; 0 when args[i] is none of them, -1 on an error.
int netOption(const std::vector<std::string>& args, size_t& i, Options& o, std::string& error) {
    const std::string& a = args[i];
    std::string* target = a == "--host"   ? &o.hostAt
                          : a == "--join" ? &o.joinAt
                          : a == "--code" ? &o.code
                          : a == "--site" ? &o.site
                                          : nullptr;
    if (a == "--watch") {
        o.watch = true;
        return 1;
    }
    if (!target) return 0;
    if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return -1;
    }
    if (args[i + 1].empty()) {
        error = a + " was given an empty value";
        return -1;
    }
    *target = args[++i];
    return 1;
}

// What network play allows beside it; called once the other options are read.
bool checkNetOptions(const Options& o, std::string& error) {
    if (!o.hostAt.empty() && !o.joinAt.empty())
        error = "--host and --join exclude each other";
    else if (!o.network() && (!o.code.empty() || o.watch))
        error = "--code and --watch go with --host or --join";
    else if (o.watch && o.joinAt.empty())
        error = "--watch goes with --join";
    else if (!o.site.empty() && o.hostAt.empty())
        error = "--site goes with --host";
    else if (!o.joinAt.empty() && o.code.empty())
        error = "--join needs the host's --code";
    else if (o.network() && !o.replayPath.empty())
        error = "--replay plays a recording, not over the network";
    else if (!o.joinAt.empty() && o.seedGiven)
        error = "--join takes its seed from the host, not --seed";
    return error.empty();
}

}  // namespace

const char* usageText() {
    return "usage: varnis [--window] [--seed N] [--record FILE] [--stats]\n"
           "       varnis [--window] --replay FILE [--stats]\n"
           "       varnis --headless --script FILE [--snapshots DIR] [--max-ms N] [--seed N] "
           "[--stats]\n"
           "       varnis --headless --replay FILE [--snapshots DIR] [--max-ms N] [--stats]\n"
           "       varnis [--window | --headless [--script FILE]] --host [ADDR:]PORT [--code CODE] "
           "...\n"
           "       varnis [--window | --headless [--script FILE]] --join HOST:PORT --code CODE "
           "[--watch] ...\n"
           "       varnis --help | --version\n"
           "\n"
           "  --window         play in a window instead of full screen (Alt+Enter toggles)\n"
           "  --seed N         start the random generator from N instead of the clock\n"
           "  --stats          on exit, print what the run cost and how it was paced to stderr\n"
           "  --record FILE    write everything the game takes from outside into FILE, so the\n"
           "                   session can be replayed exactly\n"
           "  --replay FILE    play a recording back, at its own pace (Pause ends it); with\n"
           "                   --headless as fast as possible, tracing, and with --snapshots\n"
           "                   writing end.bmp, the picture when the recording ends\n"
           "  --headless       run without window or sound on a virtual clock, driven by a script\n"
           "  --script FILE    the script: one '<ms> down|up|tap <vk>', '<ms> close' or\n"
           "                   '<ms> snapshot <name>' a line\n"
           "  --snapshots DIR  where snapshots are written (default: the working directory)\n"
           "  --max-ms N       end with status 124 once the virtual clock passes N ms\n"
           "                   (default 3600000)\n"
           "  --host [ADDR:]PORT  play as usual and let others join on PORT (0: any free one); "
           "the\n"
           "                   line to share is printed; a headless host starts once a player "
           "joined\n"
           "  --join HOST:PORT join a host: the first to join plays the right fortress (Space or\n"
           "                   Enter fires), the others watch\n"
           "  --code CODE      the host's code (made at random when a host is given none)\n"
           "  --watch          join to watch only\n"
           "  --site DIR       the folder a host serves over HTTP on its port (default: site/\n"
           "                   beside the data files, else build-web/site)\n";
}

bool parseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
    bool help = false, version = false, headless = false, sawSnapshots = false, sawMaxMs = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // An empty value is refused rather than taken as the option left out: `--record "$f"`
        // with $f unset would otherwise play without recording, and --replay "" a live game.
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            if (args[i + 1].empty()) {
                error = a + " was given an empty value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--version") {
            version = true;
        } else if (a == "--window") {
            o.windowed = true;
        } else if (a == "--stats") {
            o.stats = true;
        } else if (a == "--headless") {
            headless = true;
        } else if (a == "--seed") {
            if (!value(v)) return false;
            if (!platform::parseNumber(v, o.seed)) {
                error = "the seed '" + v + "' is not a number from 0 to 4294967295";
                return false;
            }
            o.seedGiven = true;
        } else if (a == "--record") {
            if (!value(o.recordPath)) return false;
        } else if (a == "--replay") {
            if (!value(o.replayPath)) return false;
        } else if (a == "--script") {
            if (!value(o.scriptPath)) return false;
        } else if (a == "--snapshots") {
            if (!value(o.snapshotDir)) return false;
            sawSnapshots = true;
        } else if (a == "--max-ms") {
            if (!value(v)) return false;
            if (!platform::parseNumber(v, o.maxMs)) {
                error = "--max-ms '" + v + "' is not a number from 0 to 4294967295";
                return false;
            }
            sawMaxMs = true;
        } else if (const int taken = netOption(args, i, o, error)) {
            if (taken < 0) return false;
        } else {
            error = "unknown option '" + a + "'";
            return false;
        }
    }
    if (!checkNetOptions(o, error)) return false;
    if (help) {
        o.mode = Options::Help;
        return true;
    }
    if (version) {
        o.mode = Options::Version;
        return true;
    }
    o.headless = headless;
    o.snapshotsGiven = sawSnapshots;
    o.maxMsGiven = sawMaxMs;
    if (!o.recordPath.empty() && ((headless && !o.network()) || !o.replayPath.empty())) {
        error = "--record records play, not --headless runs or replays";
        return false;
    }
    if (!o.replayPath.empty()) {
        if (!o.scriptPath.empty() || o.seedGiven) {
            error = "--replay takes its seed and input from the recording, not --seed or --script";
            return false;
        }
        if (headless ? o.windowed : sawSnapshots || sawMaxMs) {
            error = headless ? "--window and --headless exclude each other"
                             : "--snapshots and --max-ms go with --headless";
            return false;
        }
        o.mode = Options::Replay;
        return true;
    }
    if (headless) {
        if (o.windowed) {
            error = "--window and --headless exclude each other";
            return false;
        }
        if (o.scriptPath.empty() && !o.network()) {
            error = "--headless needs --script FILE";
            return false;
        }
        o.mode = Options::Headless;
        return true;
    }
    if (!o.scriptPath.empty() || sawSnapshots || sawMaxMs) {
        error = "--script, --snapshots and --max-ms go with --headless";
        return false;
    }
    o.mode = Options::Play;
    return true;
}
