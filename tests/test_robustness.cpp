// Faults mended at the edges: windowed presentation, data files that are not regular files,
// snapshots that cannot be written, and slot numbers outside the surface table.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "support.h"

namespace fs = std::filesystem;

TEST(Robustness, WindowedScreenShowsThePicture) {
    platform::installBackend(std::make_unique<support::StubBackend>());
    ASSERT_TRUE(screen.openScreen(1, 640, 480, 0, 8, 5));
    support::paint(kBackSlot, 0, 0, 640, 480, 7);
    screen.present();
    for (auto [x, y] : {std::pair{0, 0}, {639, 479}})
        EXPECT_EQ(support::pixelAt(kFrontSlot, x, y), 7);
    // A text drawn on the front surface lands where the same text does on any other slot.
    platform::PaletteEntry grey[256];
    for (int i = 0; i < 256; ++i) grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
    ddPalette->setEntries(0, 0, 256, grey);
    for (int slot : {kFrontSlot, 2}) {
        screen.clearSurface(slot);
        screen.drawText(20, 30, 0, 0, "Varnis", 16, 0, 400, 0, 0xFFFFFF, 0, nullptr, 0, slot, 0);
    }
    int inked = 0;
    for (int y = 30; y < 50; ++y)
        for (int x = 20; x < 80; ++x) {
            EXPECT_EQ(support::pixelAt(kFrontSlot, x, y), support::pixelAt(2, x, y));
            inked += support::pixelAt(2, x, y) != 0;
        }
    EXPECT_GT(inked, 0);
    screen.closeScreen();
}

TEST(Robustness, SlotsOutsideTheTableAreIgnored) {
    platform::installBackend(std::make_unique<support::StubBackend>());
    ASSERT_TRUE(screen.openScreen(1, 640, 480, 1, 8, 5));
    for (int slot : {-1, kSurfaceSlots, 1 << 20}) {
        EXPECT_EQ(screen.clearSurface(slot), platform::DDERR_GENERIC);
        screen.lockSurface(slot);
        EXPECT_EQ(screen.unlockSurface(slot), platform::DDERR_GENERIC);
    }
    screen.closeScreen();
}

// Each data file in turn as a FIFO with no writer: opening it used to block for ever. A picture
// now gets the not-found message at once; a sound is left out and the game plays on.
TEST(Robustness, DataFileThatIsNotARegularFileCountsAsNotFound) {
    for (const char* name : support::kAssetNames) {
        const fs::path dir = support::makeAssetFolder();
        fs::remove(dir / name);
        ASSERT_EQ(mkfifo((dir / name).c_str(), 0600), 0);
        support::writeAll(dir / "script", "500 tap 13\n3000 close\n");  // Enter starts a match
        const support::Output o =
            support::runVarnis(dir, "--headless --script script --seed 1", "timeout 10");
        const bool picture = fs::path(name).extension() == ".bmp";
        EXPECT_EQ(o.status, 1) << name << "\n" << o.out << o.err;
        EXPECT_EQ(o.out.find(std::string("] ") + name) != std::string::npos, picture)
            << name << "\n"
            << o.out;
        fs::remove_all(dir);
    }
}

// A snapshot whose file cannot be made (here a folder has its name) ends the run with status 3,
// and the trace names no snapshot.
TEST(Robustness, UnwritableSnapshotEndsTheRunWithStatus3) {
    const fs::path dir = support::makeAssetFolder();
    fs::create_directory(dir / "shot.bmp");
    const support::Run run = support::play(dir, "500 snapshot shot\n900 snapshot later\n", 1);
    EXPECT_EQ(run.status, 3) << run.tail();
    ASSERT_FALSE(run.trace.empty());
    EXPECT_EQ(run.trace.back().kind + " " + run.trace.back().rest, "exit 3");
    EXPECT_FALSE(run.has("snapshot"));
    EXPECT_NE(run.errors.find("cannot write snapshot"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "later.bmp"));
    // A write that fails part of the way (a file size limit in place of a full disk) leaves no
    // file behind, and the message gives the system's reason.
    support::writeAll(dir / "script", "500 snapshot cut\n");
    const support::Output o =
        support::runVarnis(dir, "--headless --script script", "ulimit -f 100; trap '' XFSZ;");
    EXPECT_EQ(o.status, 3) << o.err;
    EXPECT_NE(o.err.find(std::strerror(EFBIG)), std::string::npos) << o.err;
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_FALSE(e.path().filename().string().starts_with("cut"));
    fs::remove_all(dir);
}
