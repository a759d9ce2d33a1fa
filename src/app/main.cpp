// Process entry: reads the command line, installs a back end and runs the game.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "app/net_play.h"
#include "app/options.h"
#include "app/window.h"
#include "app/window_backend.h"
#include "backends/headless/headless.h"
#include "backends/replay/recording.h"
#include "backends/replay/replay.h"
#include "platform/datafile.h"
#include "platform/printable.h"
#include "platform/process.h"
#include "platform/stats.h"

namespace {

// Messages quote file names and what files hold: shown with their control characters escaped.
void say(const std::string& message) {
    std::fprintf(stderr, "varnis: %s\n", platform::printable(message).c_str());
}

int usageError(const std::string& message) {
    say(message);
    std::fputs("(varnis --help shows the options)\n", stderr);
    return 2;
}

// The largest script read: far more than any run needs.
constexpr size_t kMaxScriptBytes = size_t(16) << 20;

// The file VARNIS_TRACE_FILE names ("" when unset), taken out of the environment so that the
// window back end does not write a trace of its own: the trace of a run in a window is written by
// the wrappers of replay.h, stamped with the readings the game sees.
std::string takeTracePath() {
    const char* path = std::getenv("VARNIS_TRACE_FILE");
    std::string taken = path ? path : "";
    platform::unsetEnvironment("VARNIS_TRACE_FILE");
    return taken;
}

// A file this run is about to write that is one it reads: a data file of the game (as the game
// finds it) or the recording being replayed. Compared as files, not by name, so that another name
// for the same file (./title.bmp, a link) is caught too. "" when it is none of them.
std::string inputAt(const std::string& output, const std::string& replayPath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (output.empty() || !fs::exists(output, ec)) return {};
    for (const char* name : platform::kRecordedFiles)
        if (fs::equivalent(output, platform::dataFilePath(name), ec))
            return std::string("the data file ") + name;
    if (!replayPath.empty() && fs::equivalent(output, replayPath, ec))
        return "the recording being replayed";
    return {};
}

// The trace file of a run in a window; null when none is asked for. False (with the message said)
// when it cannot be written or would be written over a file the run reads or its recording.
bool openTrace(const std::string& replayPath, const std::string& recordPath, std::FILE*& trace) {
    trace = nullptr;
    const std::string path = takeTracePath();
    if (path.empty()) return true;
    std::string error;
    std::error_code ec;
    if (const std::string input = inputAt(path, replayPath); !input.empty())
        error = "it is " + input;
    else if (!recordPath.empty() && std::filesystem::equivalent(path, recordPath, ec))
        error = "it is the recording being made";
    else if ((trace = platform::openTraceFile(path, error)))
        return true;
    say("cannot write the trace file " + path + " (VARNIS_TRACE_FILE): " + error);
    return false;
}

// Replays: the recording is read and checked before anything is shown.
int startReplay(const Options& o, uint32_t& seed) {
    platform::Recording recording;
    std::string error;
    if (!platform::loadRecording(o.replayPath, recording, error)) {
        say("cannot replay " + o.replayPath + ": " + error);
        return 2;
    }
    if (o.snapshotsGiven && !platform::isWritableFolder(o.snapshotDir))
        return usageError("cannot write snapshots into " + o.snapshotDir);
    std::FILE* trace = stdout;
    if (!o.headless && !openTrace(o.replayPath, "", trace)) return 2;
    seed = recording.seed;
    platform::ReplayOptions r;
    r.source = o.replayPath;
    if (o.maxMsGiven) r.maxMs = o.maxMs;
    if (o.snapshotsGiven) r.endPicture = o.snapshotDir + "/end.bmp";
    r.traceOut = trace;
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
        if (const std::string input = inputAt(o.recordPath, ""); !input.empty())
            return usageError("cannot write the recording " + o.recordPath + ": it is " + input);
        std::FILE* trace = stdout;
        if (!o.headless && !openTrace("", o.recordPath, trace)) return 2;
        // exit, not return: in the browser, joining suspends main, whose return value is then lost.
        if (const int status = startNetPlay(o, trace, seed)) std::exit(status);
    } else if (o.mode == Options::Replay) {
        if (const int status = startReplay(o, seed)) return status;
    } else if (o.mode == Options::Headless) {
        std::string text;
        if (!platform::readWholeFile(o.scriptPath, kMaxScriptBytes, text, error))
            return usageError("cannot read the script " + o.scriptPath + ": " + error);
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
            if (const std::string input = inputAt(o.recordPath, ""); !input.empty())
                return usageError("cannot write the recording " + o.recordPath + ": it is " +
                                  input);
            writer = std::make_unique<platform::RecordWriter>();
            if (!writer->open(o.recordPath, seed, error))
                return usageError("cannot write the recording " + o.recordPath + ": " + error);
        }
        std::FILE* trace = nullptr;
        if (!openTrace("", o.recordPath, trace)) return 2;
        auto window = makeWindowBackend(o.windowed);
        platform::installBackend(writer || trace ? platform::makeRecordingBackend(
                                                       std::move(window), std::move(writer), trace)
                                                 : std::move(window));
    }
    return winMain(seed);  // --stats reports at exit, however the run ends
}
