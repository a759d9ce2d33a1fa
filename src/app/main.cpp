// Process entry: reads the command line, installs a back end and runs the game.
#include <cstdio>
#include <ctime>

#include "app/options.h"
#include "app/shell.h"
#include "platform/datafile.h"
#include "platform/headless/headless.h"
#if defined(__EMSCRIPTEN__)
#include "platform/web/web_backend.h"
#else
#include "platform/sdl/sdl_backend.h"
#endif
#include "platform/stats.h"
#ifdef _WIN32
#include "platform/win32/win32.h"
#endif

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

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    platform::win32::attachParentConsole();
#endif
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
    const uint32_t seed = o.seedGiven ? o.seed : uint32_t(std::time(nullptr));
    if (o.mode == Options::Headless) {
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
#if defined(__EMSCRIPTEN__)
        platform::installBackend(platform::makeWebBackend());
#else
        platform::installBackend(platform::makeSdlBackend(o.windowed));
#endif
    }
    const int code = winMain(seed);
    platform::stats::report();
    return code;
}
