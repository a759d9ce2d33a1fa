// The connections of network play, on a thread of their own (link.cpp, the only file that sees
// Boost.Beast). The game thread hands them what its game produced and takes from them what the
// other machine produced; it never blocks on a socket.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "backends/net/stream.h"

namespace platform {

// Limits on what a peer may do. A peer past one is disconnected with the reason logged.
inline constexpr int kMaxWatchers = 16;
inline constexpr int kMaxConnections = 24;  // seated ones and those still saying hello
inline constexpr int kSilenceSeconds = 5;   // no data (pings included) for this long: gone
inline constexpr size_t kMaxQueuedEntries = 1 << 20;  // received and not yet taken by the game
inline constexpr size_t kSlowBacklog = 512 * 1024;    // a watcher this far behind ...
inline constexpr int kSlowSeconds = 5;                // ... for this long is dropped

struct LinkEvent {
    enum Kind { Escape, Mismatch } kind = Escape;
    uint32_t turn = 0;
};

// What the network thread hands the game thread, under one lock.
struct Inbox {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<StreamEntry> entries;  // a guest's: the host's; the host's: its player's
    std::deque<LinkEvent> events;
    // Host: the seated player's connection (0 none), and the one whose entries are queued.
    uint64_t player = 0, entriesFrom = 0;
    bool playerLeft = false;  // the one whose entries are queued left; the host takes over
    // The last event of the connections (joined, left, refused, dropped), for the window's title.
    std::string status;
    bool statusChanged = false;
    // Guest: the connection ended; why, in a few words.
    bool closed = false;
    std::string closeReason;

    // Guest: a frame from the host, after the welcome. A frame out of place, or entries past the
    // queue's limit, close the connection instead. Whether it is closed now.
    bool takeFromHost(const Frame& f) {
        std::lock_guard<std::mutex> l(lock);
        if (f.kind == 's' && entries.size() + f.entries.size() > kMaxQueuedEntries) {
            closed = true;
            closeReason = "the host sends more than the game takes";
        } else if (f.kind == 's') {
            entries.insert(entries.end(), f.entries.begin(), f.entries.end());
        } else if (f.kind == 'e' || f.kind == 'm') {
            events.push_back({f.kind == 'e' ? LinkEvent::Escape : LinkEvent::Mismatch, f.turn});
        } else {
            closed = true;
            closeReason = "the host sent a frame out of place";
        }
        arrived.notify_all();
        return closed;
    }
};

class NetLink {
public:
    virtual ~NetLink() = default;
    // Encoded entries for the other machines. On the host `producer` is 0 for its own and the
    // player connection's number for those its game took from that player, which it is not sent.
    virtual void publish(std::string entries, uint64_t producer) = 0;
    // To the machine that drives: this follower's Escape, or its picture differing at a turn.
    virtual void sendEscape() = 0;
    virtual void sendMismatch(uint32_t turn) = 0;
    // Host: disconnects the player (its stream went wrong), logging why.
    virtual void dropPlayer(const std::string& why) { (void)why; }
    // Sends what is queued and closes the connections, waiting a few seconds at most.
    virtual void finish() = 0;
    // Waits up to `ms` for the connections to hand the game something (inbox.arrived), `l`
    // holding inbox.lock. In the browser nothing arrives unless the program yields meanwhile.
    virtual void waitForArrival(std::unique_lock<std::mutex>& l, int ms) {
        inbox.arrived.wait_for(l, std::chrono::milliseconds(ms));
    }

    Inbox inbox;
};

struct HostSettings {
    std::string address;  // "" for every interface
    uint16_t port = 0;    // 0: one the system picks
    std::string code;
    uint32_t seed = 0;
    Hello own;         // this program's version, replay number and data files
    std::string site;  // the folder served over HTTP on the same port; "" none
};

// Listens; false with the reason. `shown` is the address the share line names.
std::unique_ptr<NetLink> startHost(const HostSettings& settings, std::string& shown, uint16_t& port,
                                   std::string& error);
// Blocks until a player (not a watcher) has joined.
void waitForPlayer(NetLink& host);

struct JoinResult {
    bool refused = false;  // by the host, with its reason in error
    bool player = false;
    uint32_t seed = 0;
    std::string error;
};
std::unique_ptr<NetLink> joinHost(const std::string& host, const std::string& port,
                                  const Hello& hello, JoinResult& result);

}  // namespace platform
