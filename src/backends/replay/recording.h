// Recordings of real play. The game is deterministic given its seed, the readings of its clock,
// the messages the window system hands it, whether a sound device opened and its four data files;
// a recording holds exactly those, in the order the game took them, so a replay is the same match.
//
// The file is a gzip stream (zcat shows it) of text. A header:
//     varnis recording 2                 the format
//     game 1.1.0 replay 1                the program's version and replay-compatibility number
//     seed 1234
//     file title.bmp 89ab...             FNV-1a 64 of each data file, or "missing"
//     (the same for char.bmp, shoot.wav, bomb.wav)
// then lines "@<ms>:<entries>", <ms> being the clock's last reading before the line, and a last
// line "end <crc>" when the game ended in order, <crc> being the CRC-32 (eight hexadecimal digits)
// of all the text before that line. An entry is one of
//     a..z, A..Z [count]   clock readings, each the one before plus 0..51 ms, count times (1 if
//     absent)
//     +<ms>                one reading, the one before plus ms
//     (<message>,<wParam>,<lParam>)   a message from the window system, hexadecimal
//     !0 or !1             no sound device opened, or one did
// The writer ends the compressed stream's block (a sync flush) wherever it writes, so the file
// always holds whole lines up to its last write. A file cut off (the game was killed while
// writing) replays to its last whole line. gzip's own CRC catches damage to a whole file, the end
// line's CRC an edit of its text; a cut-off file has no end line, so an edit of its text is not
// caught there.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/host.h"

struct z_stream_s;

namespace platform {

// Moves whenever the same recording would play differently: a change to what the game draws,
// draws at random, reads from the clock or how it paces itself.
inline constexpr uint32_t kReplayCompat = 1;
inline constexpr uint32_t kRecordingFormat = 2;
inline constexpr const char* kRecordedFiles[4] = {"title.bmp", "char.bmp", "shoot.wav", "bomb.wav"};
// No game takes more clock readings than this in a millisecond of its clock, with an allowance of
// a second's worth at any point: a recording claiming more is refused (it could keep a replay busy
// for hours without its clock moving, where --max-ms cannot stop it). Holding Ctrl through a match
// takes readings fastest: about 320 a millisecond, 510 in the busiest one, on a desktop machine
// of 2026; this leaves ten times that.
inline constexpr uint64_t kMaxReadingsPerMs = 5000;

struct RecordEntry {
    enum Kind : uint8_t { Clock, Message, SoundDevice } kind = Clock;
    uint32_t delta = 0;  // Clock: each reading is the one before plus delta; SoundDevice: 0 or 1
    uint32_t count = 1;  // Clock: how many readings
    platform::Message message;
};

struct Recording {
    std::string version;  // of the program that recorded it
    uint32_t compat = 0;
    uint32_t seed = 0;
    std::string files[4];   // checksums, as kRecordedFiles
    std::string entries;    // the entries of its lines, checked, one after another: see EntryReader
    bool complete = false;  // the game ended in order (the end line was written)
};

// The entries of a recording in order. The recording's text stands for them (a long recording
// holds millions), so they are read back from it one at a time.
class EntryReader {
public:
    explicit EntryReader(const Recording& r) : text_(&r.entries) {}
    // The next entry; false at the end.
    bool next(RecordEntry& e);

private:
    const std::string* text_;
    size_t pos_ = 0;
};

// The checksum of a data file as a recording holds it: 16 hexadecimal digits, or "missing".
std::string dataFileChecksum(const char* name);

// Reads a recording's text (as zcat shows it); false with one line of explanation (no file name)
// in error.
bool parseRecording(const std::string& text, Recording& recording, std::string& error);
// Reads a recording file's bytes (the gzip stream), as parseRecording.
bool readRecording(const std::string& bytes, Recording& recording, std::string& error);
// Reads the file and checks the program version and the data files too.
bool loadRecording(const std::string& path, Recording& recording, std::string& error);

// Writes a recording as the game goes. Lines reach the file at least twice a second of the
// game's clock, and before a message box (which may stay up for long). After a write fails the
// file grows no more: what it holds is whole up to there and replays to there.
class RecordWriter {
public:
    RecordWriter();
    ~RecordWriter();
    // Creates the file and writes the header with the data files' checksums.
    bool open(const std::string& path, uint32_t seed, std::string& error);
    void clock(uint32_t ms);
    void message(const platform::Message& msg);
    void soundDevice(bool opened);
    void flush();
    // Writes the end line and closes the file.
    void finish();

private:
    void emitRun();
    void endLine();
    // Compresses pending_ (its text joins the CRC) and writes what zlib gives, with `mode`
    // (Z_SYNC_FLUSH or Z_FINISH).
    void write(int mode);
    void fail(const char* why);

    std::FILE* file_ = nullptr;
    std::unique_ptr<z_stream_s> z_;
    std::string path_;
    bool failed_ = false;   // a write failed (said on standard error once); nothing more is written
    uint32_t crc_ = 0;      // of the text so far
    std::string pending_;   // whole lines not yet written
    std::string line_;      // the entries of the line being built
    uint32_t lineAt_ = 0;   // the reading the line starts from
    uint32_t last_ = 0;     // the last reading
    uint32_t written_ = 0;  // the last reading in pending_ or line_
    uint32_t lastFlush_ = 0;
    uint32_t runDelta_ = 0, runCount_ = 0;
};

}  // namespace platform
