// Process entry: reads the command line, installs a back end and runs the game.
#include <cstdio>
#include <ctime>

#include "app/net_play.h"
#include "app/options.h"
#include "app/window.h"
#include "platform/datafile.h"
#include "app/window_backend.h"
#include "backends/headless/headless.h"
#include "backends/replay/replay.h"
#include "platform/process.h"
#include "platform/stats.h"

namespace {

int usageError(const std::string& message) {
    std::fprintf(stderr, "varnis: %s\n(varnis --help shows the options)\n", message.c_str());
    return 2;
}

bool readFile(const std::string& path, std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// Replays: the recording is read and checked before anything is shown.
int startReplay(const Options& o, uint32_t& seed) {
    platform::Recording recording;
    std::string error;
    if (!platform::loadRecording(o.replayPath, recording, error)) {
        std::fprintf(stderr, "varnis: cannot replay %s: %s\n", o.replayPath.c_str(), error.c_str());
        return 2;
    }
    if (o.snapshotsGiven && !platform::isWritableFolder(o.snapshotDir))
        return usageError("cannot write snapshots into " + o.snapshotDir);
    seed = recording.seed;
    platform::ReplayOptions r;
    r.source = o.replayPath;
    if (o.maxMsGiven) r.maxMs = o.maxMs;
    if (o.snapshotsGiven) r.endPicture = o.snapshotDir + "/end.bmp";
    r.traceOut = o.headless ? stdout : platform::takeTraceFile();
    platform::installBackend(platform::makeReplayBackend(
        std::move(recording), std::move(r), o.headless ? nullptr : makeWindowBackend(o.windowed)));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    platform::prepareProcess();
    Options o;
    std::string error;
    if (!parseOptions(std::vector<std::string>(argv + 1, argv + argc), o, error))
        return usageError(error);
    if (o.mode == Options::Help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (o.mode == Options::Version) {
        std::printf("varnis %s\n", VARNIS_VERSION);
        return 0;
    }
    if (o.stats) platform::stats::enable();
    uint32_t seed = o.seedGiven ? o.seed : uint32_t(std::time(nullptr));
    if (o.network()) {
        if (const int status = startNetPlay(o, seed)) return status;
    } else if (o.mode == Options::Replay) {
        if (const int status = startReplay(o, seed)) return status;
    } else if (o.mode == Options::Headless) {
        std::string text;
        if (!readFile(o.scriptPath, text)) return usageError("cannot read the script " + o.scriptPath);
        platform::HeadlessOptions h;
        if (!platform::parseScript(text, h.events, error))
            return usageError(o.scriptPath + ": " + error);
        if (!platform::isWritableFolder(o.snapshotDir))
            return usageError("cannot write snapshots into " + o.snapshotDir);
        h.snapshotDir = o.snapshotDir;
        h.maxMs = o.maxMs;
        h.traceOut = stdout;
        platform::installBackend(platform::makeHeadlessBackend(std::move(h)));
        platform::stats::useStepClock([] { return double(platform::timeGetTime()); }, true);
    } else {
        std::unique_ptr<platform::RecordWriter> writer;
        if (!o.recordPath.empty()) {
            writer = std::make_unique<platform::RecordWriter>();
            if (!writer->open(o.recordPath, seed, error))
                return usageError("cannot write the recording " + o.recordPath + ": " + error);
        }
        std::FILE* trace = platform::takeTraceFile();
        auto window = makeWindowBackend(o.windowed);
        platform::installBackend(writer || trace ? platform::makeRecordingBackend(
                                                       std::move(window), std::move(writer), trace)
                                                 : std::move(window));
    }
    const int code = winMain(seed);
    platform::stats::report();
    return code;
}
