// The browser's guest, over the page's WebSocket (emscripten/websocket.h). There is one thread: the
// socket's callbacks run only while the program yields to the browser, so every wait here sleeps
// with emscripten_sleep (ASYNCIFY) rather than on the Inbox's condition variable. A browser does
// not listen: hosting is the desktop program's.
#include <emscripten.h>
#include <emscripten/websocket.h>

#include <algorithm>
#include <chrono>
#include <deque>

#include "backends/net/link.h"

namespace platform {

namespace {

class WebGuestLink final : public NetLink {
public:
    ~WebGuestLink() override { drop(); }

    // Opens ws://HOST:PORT/play, sends the hello and yields until the host answers.
    void join(const std::string& host, const std::string& port, const Hello& hello,
              JoinResult& result) {
        result_ = &result;
        const std::string url = "ws://" +
                                (host.find(':') != std::string::npos ? "[" + host + "]" : host) +
                                ":" + port + "/play";
        EmscriptenWebSocketCreateAttributes attributes;
        emscripten_websocket_init_create_attributes(&attributes);
        attributes.url = url.c_str();
        attributes.createOnMainThread = EM_TRUE;
        const EMSCRIPTEN_WEBSOCKET_T socket = emscripten_websocket_new(&attributes);
        if (socket <= 0) {
            result.error = "this browser cannot open a WebSocket to " + url;
            return;
        }
        socket_ = socket;
        emscripten_websocket_set_onopen_callback(socket_, this, onOpen);
        emscripten_websocket_set_onmessage_callback(socket_, this, onMessage);
        emscripten_websocket_set_onerror_callback(socket_, this, onError);
        emscripten_websocket_set_onclose_callback(socket_, this, onClose);
        send(encodeHello(hello));
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::seconds(2 * kSilenceSeconds);
        while (!settled_ && std::chrono::steady_clock::now() < until) emscripten_sleep(5);
        if (!settled_) settle("the host does not answer");
        if (!result.error.empty()) drop();
        result_ = nullptr;
    }

    void publish(std::string entries, uint64_t) override { send("s" + entries); }
    void sendEscape() override { send("e"); }
    void sendMismatch(uint32_t turn) override { send(encodeMismatch(turn)); }
    void finish() override {
        // What was sent is on its way already; the closing handshake gets a moment, as the host
        // may be gone.
        if (!open()) return drop();
        emscripten_websocket_close(socket_, 1000, nullptr);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (!ended_ && std::chrono::steady_clock::now() < until) emscripten_sleep(5);
        drop();
    }
    // The game waits only while another machine drives, and a driving game sends readings all
    // the time. A page sees no pings, so a host silent for long (stopped, or cut off without a
    // close) is taken for gone; long enough for a host to drop a silent player and take over.
    void waitForArrival(std::unique_lock<std::mutex>& l, int ms) override {
        const double now = emscripten_get_now();
        if (now - lastWait_ > 1000) waitingSince_ = now;  // a new wait, not the same one going on
        lastWait_ = now;
        l.unlock();
        if (!ended_ && now - std::max(lastHeard_, waitingSince_) > kSilentHostMs) {
            lost("the host went silent for " + std::to_string(kSilentHostMs / 1000) + " s");
            drop();
        } else {
            emscripten_sleep(unsigned(ms));
        }
        l.lock();
    }

private:
    // A send on a socket that is not open would be logged by the browser as an error: before it
    // opens frames wait, once it is closing or closed they are dropped.
    bool open() const {
        unsigned short state = 3;
        return socket_ > 0 &&
               emscripten_websocket_get_ready_state(socket_, &state) == EMSCRIPTEN_RESULT_SUCCESS &&
               state == 1;
    }
    void send(std::string frame) {
        if (ended_ || socket_ <= 0) return;
        if (!open()) {
            waiting_.push_back(std::move(frame));
            return;
        }
        emscripten_websocket_send_binary(socket_, frame.data(), uint32_t(frame.size()));
    }
    // The socket forgotten, its callbacks with it: nothing calls into this object any more.
    void drop() {
        ended_ = true;
        waiting_.clear();
        if (socket_ <= 0) return;
        if (open()) emscripten_websocket_close(socket_, 1000, nullptr);
        emscripten_websocket_delete(socket_);
        socket_ = 0;
    }
    void settle(const std::string& error) {
        settled_ = true;
        if (result_) result_->error = error;
    }
    void lost(const std::string& reason) {
        ended_ = true;
        waiting_.clear();
        if (!settled_) return settle(reason);
        std::lock_guard<std::mutex> l(inbox.lock);
        if (!inbox.closed) inbox.closeReason = reason;
        inbox.closed = true;
        inbox.arrived.notify_all();
    }
    void onFrame(const std::string& bytes) {
        Frame f;
        std::string error;
        if (!parseFrame(bytes, f, error)) return lost("the host sent a bad frame: " + error);
        if (!settled_) {
            if (f.kind == 'r') {
                result_->refused = true;
                return settle(f.text);
            }
            if (f.kind != 'w') return settle("the host's answer is not a welcome");
            result_->player = f.player;
            result_->seed = f.seed;
            return settle("");
        }
        inbox.takeFromHost(f);
    }

    static EM_BOOL onOpen(int, const EmscriptenWebSocketOpenEvent*, void* self) {
        auto& link = *static_cast<WebGuestLink*>(self);
        std::deque<std::string> waiting;
        waiting.swap(link.waiting_);
        for (std::string& frame : waiting) link.send(std::move(frame));
        return EM_TRUE;
    }
    static EM_BOOL onMessage(int, const EmscriptenWebSocketMessageEvent* e, void* self) {
        auto& link = *static_cast<WebGuestLink*>(self);
        if (link.ended_) return EM_TRUE;
        link.lastHeard_ = emscripten_get_now();
        if (e->isText) {
            link.lost("the host sent text");
        } else {
            link.onFrame(std::string(reinterpret_cast<const char*>(e->data), e->numBytes));
        }
        if (link.ended_ && link.socket_ > 0) link.drop();
        return EM_TRUE;
    }
    static EM_BOOL onError(int, const EmscriptenWebSocketErrorEvent*, void* self) {
        // A close event follows with its code; this one says nothing more.
        (void)self;
        return EM_TRUE;
    }
    static EM_BOOL onClose(int, const EmscriptenWebSocketCloseEvent* e, void* self) {
        auto& link = *static_cast<WebGuestLink*>(self);
        // 1006: no close handshake, the connection broke (or never came about).
        if (!link.settled_ && e->code == 1006)
            link.lost("cannot connect");
        else if (e->code == 1006)
            link.lost("the connection to the host was lost");
        else if (e->code == 1000 || e->code == 1008)
            link.lost("the host closed the connection");
        else
            link.lost("the host closed the connection (code " + std::to_string(e->code) + ")");
        return EM_TRUE;
    }

    static constexpr int kSilentHostMs = 3 * kSilenceSeconds * 1000;

    EMSCRIPTEN_WEBSOCKET_T socket_ = 0;
    double lastHeard_ = 0, lastWait_ = 0, waitingSince_ = 0;
    JoinResult* result_ = nullptr;
    std::deque<std::string> waiting_;
    bool settled_ = false, ended_ = false;
};

}  // namespace

std::unique_ptr<NetLink> startHost(const HostSettings&, std::string&, uint16_t&,
                                   std::string& error) {
    error = "a browser cannot host; the desktop program can (varnis --host)";
    return nullptr;
}

void waitForPlayer(NetLink&) {}

std::unique_ptr<NetLink> joinHost(const std::string& host, const std::string& port,
                                  const Hello& hello, JoinResult& result) {
    auto guest = std::make_unique<WebGuestLink>();
    guest->join(host, port, hello, result);
    if (!result.error.empty()) return nullptr;
    return guest;
}

}  // namespace platform
