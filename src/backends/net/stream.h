// What machines playing one game send each other: the frames on the connection and the entries
// of the shared stream. Everything here reads untrusted bytes, as strictly as a recording file.
//
// Every WebSocket message is one frame, at most kMaxFrame bytes, its first byte the kind:
//     'h' hello     guest to host: the protocol, version, replay number, data files, code, role
//     'w' welcome   host to guest: the seat (player or watcher) and the game's seed
//     'r' refusal   host to guest: one line saying why, then the host closes
//     's' stream    entries of the stream, whole ones only
//     'e' escape    a follower's Escape during a match, for the machine that drives
//     'm' mismatch  a follower's picture differed from the driver's at the given turn
// Stream entries are a kind byte and unsigned LEB128 numbers (at most five bytes, the shortest
// form, no value past 32 bits):
//     1 clock    delta, count        readings, each the one before plus delta
//     2 message  message, wParam, lParam   one the game took from its queue
//     3 sound    0 or 1              whether a sound device opened
//     4 turn     turn, driver, 8-byte hash   the game waits for a player; the driver from here
//                                    and a hash of the front surface there
//     5 end      exit status         the host's game ended
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host.h"

namespace platform {

inline constexpr uint32_t kNetProtocol = 1;
inline constexpr size_t kMaxFrame = 64 * 1024;
inline constexpr size_t kMaxCodeLength = 64;

struct StreamEntry {
    enum Kind : uint8_t { Clock = 1, Message = 2, SoundDevice = 3, Turn = 4, End = 5 } kind = Clock;
    uint32_t value =
        0;  // Clock: delta; SoundDevice: 0 or 1; Turn: the driver from here; End: status
    uint32_t count = 1;  // Clock: how many readings; Turn: the turn's number
    platform::Message message;
    uint64_t hash = 0;  // Turn
};

inline StreamEntry makeEntry(StreamEntry::Kind kind, uint32_t value = 0, uint32_t count = 1) {
    StreamEntry e;
    e.kind = kind;
    e.value = value;
    e.count = count;
    return e;
}

struct Hello {
    uint32_t protocol = kNetProtocol;
    std::string version;   // the program's
    uint32_t compat = 0;   // kReplayCompat
    std::string files[4];  // the data files' checksums, as a recording holds them
    std::string code;
    bool watch = false;
};

struct Frame {
    char kind = 0;
    Hello hello;                       // 'h'
    bool player = false;               // 'w': seated as the player rather than a watcher
    uint32_t seed = 0;                 // 'w'
    std::string text;                  // 'r'
    std::vector<StreamEntry> entries;  // 's'
    uint32_t turn = 0;                 // 'm'
};

void encodeEntry(const StreamEntry& entry, std::string& out);
std::string encodeHello(const Hello& hello);
std::string encodeWelcome(bool player, uint32_t seed);
std::string encodeRefusal(const std::string& why);
std::string encodeMismatch(uint32_t turn);

// Reads one frame; false with a short reason in error. A refusal's text is kept to printable
// ASCII, so what a host says cannot reach a terminal as control codes.
bool parseFrame(const std::string& bytes, Frame& frame, std::string& error);

// Codes: 1 to kMaxCodeLength letters, digits, '-' and '_'.
bool validCode(const std::string& code);
// A code nobody guesses: 22 characters of 56 from the system's random source (about 127 bits).
std::string randomCode();

}  // namespace platform
