// The whole game against hostile data files: every real-world picture and sound of the test data,
// and empty, truncated and garbage files, each put in place of one of the game's four files. The
// game must either play on (silently, if it must) or stop with its own message box and status 1;
// never crash, hang or draw a sanitizer report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "app/texts.h"
#include "game_runner.h"
#include "platform/host.h"

namespace {

namespace fs = std::filesystem;

// Enters a one-player match at full speed (Ctrl held), lets the computer shoot, fires once and
// quits from the field.
const char kScript[] =
    "100 down 17\n"
    "200 tap 13\n"
    "5500 tap 32\n"
    "7500 tap 19\n";

struct Case {
    std::string label;
    fs::path file;     // the file's contents, or empty with `bytes` set
    std::string bytes;
    const char* as;    // the asset it replaces
    bool valid = false;  // a well-formed file the game reads: it must play on without a word
};

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Files made here: empty, the asset cut at a few lengths, the asset with bytes flipped, and noise.
std::vector<Case> madeCases(const char* as) {
    std::vector<Case> out;
    const std::string whole = runner::readAll(fs::path(VARNIS_BINARY_DIR) / as);
    out.push_back({"empty", {}, "", as});
    for (size_t cut : {size_t(13), size_t(53), size_t(300), whole.size() / 2, whole.size() - 1})
        if (cut < whole.size()) out.push_back({"cut at " + std::to_string(cut), {}, whole.substr(0, cut), as});
    std::mt19937 rng(uint32_t(whole.size()));
    std::string flipped = whole;
    for (size_t i = 0; i < 16 && !flipped.empty(); ++i) flipped[rng() % std::min<size_t>(flipped.size(), 80)] ^= char(rng());
    out.push_back({"header bytes flipped", {}, flipped, as});
    std::string noise(4096, '\0');
    for (char& c : noise) c = char(rng());
    out.push_back({"noise", {}, noise, as});
    out.push_back({"noise behind a RIFF/BM tag", {}, std::string(std::string(as).ends_with(".wav") ? "RIFF" : "BM") + noise, as});
    return out;
}

std::vector<Case> allCases() {
    std::vector<Case> cases;
    const fs::path data(VARNIS_TESTDATA);
    for (const char* sub : {"bmpsuite/good", "bmpsuite/bad", "wav"}) {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(data / sub)) files.push_back(e.path());
        std::sort(files.begin(), files.end());
        // Pictures stand in for the pictures, sounds for the sounds, and one of each the other way.
        // Well-formed pictures take turns at the two names; every malformed one and every sound
        // takes both.
        const bool sounds = std::string(sub) == "wav", good = std::string(sub) == "bmpsuite/good";
        for (size_t i = 0; i < files.size(); ++i) {
            const fs::path& f = files[i];
            std::vector<const char*> names = sounds ? std::vector<const char*>{"shoot.wav", "bomb.wav"}
                                                    : std::vector<const char*>{"title.bmp", "char.bmp"};
            if (good) names = {names[i % 2]};
            for (const char* as : names)
                cases.push_back({std::string(sub) + "/" + f.filename().string(), f, "", as,
                                 good || f.filename().string().starts_with("pcm-")});
        }
        if (!files.empty())
            for (const char* as : sounds ? std::vector<const char*>{"char.bmp"} : std::vector<const char*>{"bomb.wav"})
                cases.push_back({std::string(sub) + "/" + files.front().filename().string(), files.front(), "", as});
    }
    for (const char* as : runner::kAssetNames)
        for (Case& c : madeCases(as)) cases.push_back(std::move(c));
    return cases;
}

// Plays every case in its own copy of the asset folder: the file in place of its asset.
void playCase(const fs::path& dir, const Case& c, const std::string& building, int& played, int& stopped) {
    SCOPED_TRACE(c.label + " as " + c.as);
    const fs::path target = dir / c.as, saved = dir / (std::string(c.as) + ".orig");
    fs::rename(target, saved);
    if (c.file.empty()) writeBytes(target, c.bytes);
    else fs::copy_file(c.file, target);
    const runner::Run r = runner::play(dir, "hostile", kScript, 5, 60000);
    fs::remove(target);
    fs::rename(saved, target);

    EXPECT_TRUE(r.endedCleanly()) << r.tail();
    EXPECT_FALSE(r.sanitizerReport()) << r.tail();
    const bool box = r.has("messagebox");
    // Playing on means the match was reached; a refused picture stops the game at its box, a
    // refused sound only warns.
    const bool reachedMatch = r.has("text", building);
    EXPECT_TRUE(box || reachedMatch) << r.tail();
    if (c.valid) {
        EXPECT_TRUE(reachedMatch && !box) << r.tail();
    }
    if (box && !reachedMatch) ++stopped;
    else ++played;
}

}  // namespace

TEST(HostileFiles, TheGamePlaysOnOrStopsWithItsOwnMessage) {
    if (!fs::is_directory(VARNIS_TESTDATA)) GTEST_SKIP() << "no test data in " << VARNIS_TESTDATA;
    const std::vector<Case> cases = allCases();
    const std::string building = platform::sjisToUtf8(kTextJustAMoment);
    // Two runs at a time, each in a folder of its own.
    int played[2] = {0, 0}, stopped[2] = {0, 0};
    std::mutex lock;
    auto half = [&](int h) {
        runner::AssetFolder folder("hostile" + std::to_string(h));
        if (!folder.complete()) return;
        for (size_t i = size_t(h); i < cases.size(); i += 2) {
            int p = 0, s = 0;
            playCase(folder.dir(), cases[i], building, p, s);
            std::lock_guard<std::mutex> g(lock);
            played[h] += p;
            stopped[h] += s;
        }
    };
    std::thread other(half, 1);
    half(0);
    other.join();
    const int total = played[0] + played[1] + stopped[0] + stopped[1];
    if (total == 0) GTEST_SKIP() << "the generated assets are not in " << VARNIS_BINARY_DIR;
    EXPECT_EQ(total, int(cases.size()));
    std::printf("hostile files: %d runs played on, %d stopped at a message box\n", played[0] + played[1],
                stopped[0] + stopped[1]);
}
