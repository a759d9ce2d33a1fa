// Runs the real program on the headless runner in a folder of its own, holding the generated
// pictures and sounds, and reads back its status, trace and error output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace runner {

namespace fs = std::filesystem;

inline const char* const kAssetNames[] = {"title.bmp", "char.bmp", "shoot.wav", "bomb.wav"};

struct TraceLine {
    uint32_t ms = 0;
    std::string kind, rest;
};

struct Run {
    int status = -1;  // exit status; -1 when killed by a signal
    std::vector<TraceLine> trace;
    std::string errors;  // standard error

    bool has(const std::string& kind, const std::string& text = "") const {
        for (const TraceLine& l : trace)
            if (l.kind == kind && l.rest.find(text) != std::string::npos) return true;
        return false;
    }
    // True when the last trace line is "<ms> exit 1": the game ended through its own paths.
    bool endedCleanly() const {
        return status == 1 && !trace.empty() && trace.back().kind == "exit" && trace.back().rest == "1";
    }
    // Any report of AddressSanitizer, LeakSanitizer or UndefinedBehaviorSanitizer.
    bool sanitizerReport() const {
        return errors.find("Sanitizer") != std::string::npos ||
               errors.find("runtime error") != std::string::npos;
    }
    std::string tail() const {
        std::string s;
        const size_t from = trace.size() > 12 ? trace.size() - 12 : 0;
        for (size_t i = from; i < trace.size(); ++i)
            s += std::to_string(trace[i].ms) + " " + trace[i].kind + " " + trace[i].rest + "\n";
        return "status " + std::to_string(status) + "\n" + s + errors.substr(0, 3000);
    }
};

// A fresh folder under the temporary directory with copies of the generated assets; removed by
// the destructor.
class AssetFolder {
public:
    explicit AssetFolder(const std::string& name) {
        dir_ = fs::temp_directory_path() / ("varnis-" + name + "-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        for (const char* asset : kAssetNames) {
            std::error_code ec;
            fs::copy_file(fs::path(VARNIS_BINARY_DIR) / asset, dir_ / asset, ec);
            if (ec) complete_ = false;
        }
    }
    ~AssetFolder() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    AssetFolder(const AssetFolder&) = delete;
    AssetFolder& operator=(const AssetFolder&) = delete;

    const fs::path& dir() const { return dir_; }
    bool complete() const { return complete_; }

private:
    fs::path dir_;
    bool complete_ = true;
};

inline std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs `varnis --headless` in `dir` with the script; `tag` names the script and output files.
inline Run play(const fs::path& dir, const std::string& tag, const std::string& script, uint32_t seed,
                uint32_t maxMs) {
    const fs::path scriptPath = dir / (tag + ".script");
    const fs::path tracePath = dir / (tag + ".trace");
    const fs::path errorPath = dir / (tag + ".err");
    std::ofstream(scriptPath) << script;
    const std::string binary = std::string(VARNIS_BINARY_DIR) + "/varnis";
    const std::string cmd = "cd '" + dir.string() + "' && '" + binary + "' --headless --script '" +
                            scriptPath.string() + "' --seed " + std::to_string(seed) + " --max-ms " +
                            std::to_string(maxMs) + " > '" + tracePath.string() + "' 2> '" +
                            errorPath.string() + "'";
    Run run;
    const int rc = std::system(cmd.c_str());
    run.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    std::istringstream lines(readAll(tracePath));
    std::string text;
    while (std::getline(lines, text)) {
        std::istringstream ss(text);
        TraceLine l;
        ss >> l.ms >> l.kind;
        std::getline(ss >> std::ws, l.rest);
        run.trace.push_back(l);
    }
    run.errors = readAll(errorPath);
    std::error_code ec;
    fs::remove(scriptPath, ec);
    fs::remove(tracePath, ec);
    fs::remove(errorPath, ec);
    return run;
}

}  // namespace runner
