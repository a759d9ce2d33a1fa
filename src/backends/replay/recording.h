// Recordings of real play. The game is deterministic given its seed, the readings of its clock,
// the messages the window system hands it, whether a sound device opened and its four data files;
// a recording holds exactly those, in the order the game took them, so a replay is the same match.
//
// The file is text. A header:
//     varnis recording 1                 the format
//     game 1.0.0 replay 1                the program's version and replay-compatibility number
//     seed 1234
//     file title.bmp 89ab...             FNV-1a 64 of each data file, or "missing"
//     (the same for char.bmp, shoot.wav, bomb.wav)
// then lines "@<ms>:<entries>", <ms> being the clock's last reading before the line, and a last
// line "end" when the game ended in order. An entry is one of
//     a..z, A..Z [count]   clock readings, each the one before plus 0..51 ms, count times (1 if absent)
//     +<ms>                one reading, the one before plus ms
//     (<message>,<wParam>,<lParam>)   a message from the window system, hexadecimal
//     !0 or !1             no sound device opened, or one did
// and "*" followed by three characters stands for a copy of entries text that came before, in
// this line or the lines before (the distance back and the length, see recording.cpp): the game's
// frames repeat, and copies keep a ten-minute session well under 200 KB.
// A line without its newline (the game was killed while writing) is not read: the recording
// replays to the last whole line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/host.h"

namespace platform {

// Moves whenever the same recording would play differently: a change to what the game draws,
// draws at random, reads from the clock or how it paces itself.
inline constexpr uint32_t kReplayCompat = 1;
inline constexpr uint32_t kRecordingFormat = 1;
inline constexpr const char* kRecordedFiles[4] = {"title.bmp", "char.bmp", "shoot.wav", "bomb.wav"};

struct RecordEntry {
    enum Kind : uint8_t { Clock, Message, SoundDevice } kind = Clock;
    uint32_t delta = 0;  // Clock: each reading is the one before plus delta; SoundDevice: 0 or 1
    uint32_t count = 1;  // Clock: how many readings
    platform::Message message;
};

struct Recording {
    std::string version;     // of the program that recorded it
    uint32_t compat = 0;
    uint32_t seed = 0;
    std::string files[4];    // checksums, as kRecordedFiles
    std::vector<RecordEntry> entries;
    bool complete = false;   // the game ended in order ("end" was written)
};

// The checksum of a data file as a recording holds it: 16 hexadecimal digits, or "missing".
std::string dataFileChecksum(const char* name);

// Reads a recording; false with one line of explanation (no file name) in error.
bool parseRecording(const std::string& text, Recording& recording, std::string& error);
// Reads the file (at most 64 MiB) and checks the program version and the data files too.
bool loadRecording(const std::string& path, Recording& recording, std::string& error);

// Writes a recording as the game goes. Lines reach the file at least twice a second of the
// game's clock, and before a message box (which may stay up for long).
class RecordWriter {
public:
    ~RecordWriter();
    // Creates the file and writes the header with the data files' checksums.
    bool open(const std::string& path, uint32_t seed, std::string& error);
    void clock(uint32_t ms);
    void message(const platform::Message& msg);
    void soundDevice(bool opened);
    void flush();
    // Writes "end" and closes the file.
    void finish();

private:
    void emitRun();
    void endLine();

    std::FILE* file_ = nullptr;
    std::string path_;
    bool failed_ = false;           // a write failed (said on standard error once)
    std::string pending_;           // whole lines not yet written
    std::string line_;              // the entries of the line being built
    uint32_t lineAt_ = 0;           // the reading the line starts from
    std::string history_;           // the entries of the lines before, for copies
    uint32_t last_ = 0;             // the last reading
    uint32_t written_ = 0;          // the last reading in pending_ or line_
    uint32_t lastFlush_ = 0;
    uint32_t runDelta_ = 0, runCount_ = 0;
};

}  // namespace platform
