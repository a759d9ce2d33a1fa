// The command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Options {
    enum Mode { Play, Headless, Replay, Help, Version } mode = Play;
    bool windowed = false;
    bool stats = false;  // print the run's figures to standard error on exit
    bool seedGiven = false;
    uint32_t seed = 0;
    std::string scriptPath;
    std::string snapshotDir = ".";
    uint32_t maxMs = 3600000;
    bool maxMsGiven = false;
    bool headless = false;        // with Replay: as fast as possible, no window
    bool snapshotsGiven = false;  // with Replay: write end.bmp there
    std::string recordPath;       // with Play: record the session into this file
    std::string replayPath;
    // Network play: --host [ADDR:]PORT or --join HOST:PORT, with --code and --watch; a host's
    // --site DIR.
    std::string hostAt, joinAt, code, site;
    bool watch = false;
    bool network() const { return !hostAt.empty() || !joinAt.empty(); }
};

// Reads argv[1..]; false with a message in error for bad usage.
bool parseOptions(const std::vector<std::string>& args, Options& options, std::string& error);

// What --help prints.
const char* usageText();
