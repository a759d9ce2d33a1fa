// The connections, over Boost.Beast's WebSocket and HTTP on one port, all on one thread running
// an io_context. The game thread reaches them only through NetLink (posting to the context) and
// the Inbox (under its lock).
#include "backends/net/link.h"
#include "backends/replay/recording.h"

#include <utility>  // before Boost 1.74, whose awaitable.hpp needs std::exchange

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <set>
#include <thread>
#include <vector>

namespace platform {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using WebSocket = websocket::stream<beast::tcp_stream>;
using namespace std::chrono_literals;

void say(const std::string& line) { std::fprintf(stderr, "varnis: %s\n", line.c_str()); }

websocket::stream_base::timeout timeouts() {
    websocket::stream_base::timeout t;
    t.handshake_timeout = std::chrono::seconds(kSilenceSeconds);
    t.idle_timeout =
        std::chrono::seconds(kSilenceSeconds);  // pings at half of it keep a quiet peer alive
    t.keep_alive_pings = true;
    return t;
}

std::string why(const beast::error_code& ec) {
    if (ec == websocket::error::closed) return "closed the connection";
    if (ec == beast::error::timeout)
        return "went silent for " + std::to_string(kSilenceSeconds) + " s";
    return "connection lost (" + ec.message() + ")";
}

// ---- The site: a folder served over plain HTTP on the same port -------------------------------

const char* contentType(const std::string& path) {
    static const std::pair<const char*, const char*> types[] = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript"},
        {".wasm", "application/wasm"},         {".data", "application/octet-stream"},
        {".txt", "text/plain; charset=utf-8"}, {".ttf", "font/ttf"}};
    for (const auto& [ending, type] : types) {
        const size_t n = std::strlen(ending);
        if (path.size() > n && path.compare(path.size() - n, n, ending) == 0) return type;
    }
    return "application/octet-stream";
}

// The file a request's target names inside `site`, or "" when it names none: the path part of
// the target, '/' meaning index.html, no '..', no backslash or control character, and the file,
// its symbolic links followed, a regular one inside the folder.
std::string siteFile(const std::string& site, std::string target) {
    if (site.empty()) return "";
    target = target.substr(0, target.find_first_of("?#"));
    if (target.empty() || target[0] != '/' || target.find("..") != std::string::npos) return "";
    for (unsigned char c : target)
        if (c < 0x20 || c == 0x7F || c == '\\' || c == '%') return "";
    if (target.back() == '/') target += "index.html";
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root = fs::canonical(site, ec);
    if (ec) return "";
    const fs::path file = fs::canonical(root / fs::path(target.substr(1)), ec);
    if (ec || !fs::is_regular_file(file, ec)) return "";
    // Inside the folder: the folder's path is a leading part of the file's.
    auto [r, f] = std::mismatch(root.begin(), root.end(), file.begin(), file.end());
    return r == root.end() && f != file.end() ? file.string() : "";
}

// Frames a peer sends in a second before it counts as flooding: a playing guest sends its
// stream in batches, everyone else only the odd notice.
struct RateLimit {
    std::chrono::steady_clock::time_point windowStart = std::chrono::steady_clock::now();
    size_t frames = 0, bytes = 0;
    bool allow(size_t size, size_t maxFrames, size_t maxBytes) {
        const auto now = std::chrono::steady_clock::now();
        if (now - windowStart >= 1s) windowStart = now, frames = 0, bytes = 0;
        return ++frames <= maxFrames && (bytes += size) <= maxBytes;
    }
};

// ---- The host ---------------------------------------------------------------------------------

class HostLink;

struct Chunk {
    std::string bytes;
    uint64_t producer;
};

class Session : public std::enable_shared_from_this<Session> {
public:
    enum Seat { Pending, Player, Watcher };
    Session(HostLink& host, tcp::socket socket, uint64_t id);
    void start();
    void send(std::string frame);  // a control frame, before any stream
    void pump();                   // sends stream chunks that wait, if not sending already
    void close(const std::string& reason);
    void finish();  // sends everything, then closes normally

    uint64_t id;
    Seat seat = Pending;
    std::string peer;
    size_t nextChunk = 0, sentBytes = 0, joinBytes = 0;
    int slowSeconds = 0;
    bool closing = false;

private:
    void onRequest(beast::error_code ec);
    void serve();
    void read();
    void onFrame(const std::string& bytes);
    void gone(const std::string& reason);

    HostLink& host_;
    WebSocket ws_;
    beast::flat_buffer buffer_;
    http::request_parser<http::empty_body> parser_;
    asio::steady_timer helloTimer_;
    std::deque<std::string> control_;
    std::string writing_;
    bool busy_ = false, ended_ = false, finishing_ = false;
    RateLimit rate_;
};

class HostLink final : public NetLink {
public:
    HostLink(const HostSettings& s) : settings_(s), acceptor_(io_), slowTimer_(io_) {}
    ~HostLink() override { stop(); }

    bool listen(std::string& shown, uint16_t& port, std::string& error) {
        beast::error_code ec;
        const auto address =
            asio::ip::make_address(settings_.address.empty() ? "0.0.0.0" : settings_.address, ec);
        if (ec) return error = "'" + settings_.address + "' is not an IP address", false;
        const tcp::endpoint at(address, settings_.port);
        acceptor_.open(at.protocol(), ec);
        // A host started again at once gets its port while the last one's connections close.
        // Not on Windows: there that is so anyway, and the option would let a second program
        // take over a port in use instead of being told so.
#ifndef _WIN32
        if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
#endif
        if (!ec) acceptor_.bind(at, ec);
        if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
        if (ec) return error = ec.message(), false;
        port = acceptor_.local_endpoint().port();
        shown = settings_.address.empty() ? asio::ip::host_name() : settings_.address;
        accept();
        tick();
        thread_ = std::thread([this] { io_.run(); });
        return true;
    }

    void publish(std::string entries, uint64_t producer) override {
        asio::post(io_, [this, e = std::move(entries), producer]() mutable {
            totalBytes_ += e.size();
            chunks_.push_back({std::move(e), producer});
            for (auto& s : sessions_) s->pump();
        });
    }
    void sendEscape() override { toPlayer("e"); }
    void sendMismatch(uint32_t turn) override { toPlayer(encodeMismatch(turn)); }
    void dropPlayer(const std::string& reason) override {
        uint64_t id;
        {
            std::lock_guard<std::mutex> l(inbox.lock);
            id = inbox.player;
            inbox.player = 0;
            inbox.entries.clear();
        }
        asio::post(io_, [this, id, reason] {
            for (auto& s : sessions_)
                if (s->id == id) s->close(reason);
        });
    }
    void finish() override {
        asio::post(io_, [this] {
            finishing_ = true;
            acceptor_.close();
            for (auto& s : sessions_) s->finish();
        });
        // The last entries leave and every follower answers the close, ten seconds at most.
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < until) {
            auto idle = std::make_shared<std::promise<bool>>();
            auto answer = idle->get_future();
            asio::post(io_, [this, idle] {
                // Every follower has answered the close: closing with its bytes unread would reset
                // the connection and could lose the last entries on their way.
                idle->set_value(sessions_.empty());
            });
            if (answer.wait_for(1s) == std::future_status::ready && answer.get()) break;
            std::this_thread::sleep_for(20ms);
        }
        stop();
    }

    // Session callbacks, on the network thread.
    const std::vector<Chunk>& chunks() const { return chunks_; }
    size_t totalBytes() const { return totalBytes_; }
    bool finishing() const { return finishing_; }
    const std::string& site() const { return settings_.site; }
    void admit(const std::shared_ptr<Session>& s, const Hello& h) {
        const Hello& own = settings_.own;
        std::string refusal;
        if (h.protocol != own.protocol)
            refusal = "the host speaks protocol " + std::to_string(own.protocol) + ", not " +
                      std::to_string(h.protocol);
        else if (h.code != settings_.code)
            refusal = h.code.empty() ? "the host needs its code (--code)" : "wrong code";
        else if (h.version != own.version || h.compat != own.compat)
            refusal = "the host runs varnis " + own.version + " (replay " +
                      std::to_string(own.compat) + "), this is varnis " + h.version + " (replay " +
                      std::to_string(h.compat) + ")";
        for (int i = 0; i < 4 && refusal.empty(); ++i)
            if (h.files[i] != own.files[i])
                refusal = std::string("the host plays with another ") + kRecordedFiles[i];
        int watchers = 0;
        for (auto& o : sessions_) watchers += o->seat == Session::Watcher;
        uint64_t player;
        {
            std::lock_guard<std::mutex> l(inbox.lock);
            player = inbox.player;
        }
        const bool seatPlayer = !h.watch && player == 0;
        if (refusal.empty() && !seatPlayer && watchers >= kMaxWatchers)
            refusal = "the game is full";
        if (!refusal.empty()) {
            tell("refused " + s->peer + ": " + refusal);
            s->send(encodeRefusal(refusal));
            s->close("");
            return;
        }
        s->seat = seatPlayer ? Session::Player : Session::Watcher;
        s->joinBytes = totalBytes_;
        s->send(encodeWelcome(seatPlayer, settings_.seed));
        if (seatPlayer) {
            std::lock_guard<std::mutex> l(inbox.lock);
            inbox.player = s->id;
            inbox.arrived.notify_all();
        }
        tell(s->peer + (seatPlayer ? " joined as the second player" : " joined to watch"));
        s->pump();
    }
    // A player's frames: its stream while it drives, its notices.
    bool fromPlayer(uint64_t id, Frame& f) {
        std::lock_guard<std::mutex> l(inbox.lock);
        if (inbox.player != id) return true;  // dropped by the game thread meanwhile
        if (f.kind == 's') {
            if (inbox.entries.size() + f.entries.size() > kMaxQueuedEntries) return false;
            if (inbox.entriesFrom != id) inbox.entries.clear();
            inbox.entriesFrom = id;
            inbox.playerLeft = false;
            inbox.entries.insert(inbox.entries.end(), f.entries.begin(), f.entries.end());
        } else {
            inbox.events.push_back(
                {f.kind == 'e' ? LinkEvent::Escape : LinkEvent::Mismatch, f.turn});
        }
        inbox.arrived.notify_all();
        return true;
    }
    // Says a connection's event and shows it in the window's title.
    void tell(const std::string& line) {
        say(line);
        std::lock_guard<std::mutex> l(inbox.lock);
        inbox.status = line;
        inbox.statusChanged = true;
    }
    void mismatchFromWatcher(const std::string& peer, uint32_t turn) {
        say(peer + "'s picture differs from this game's at turn " + std::to_string(turn));
        std::lock_guard<std::mutex> l(inbox.lock);
        inbox.events.push_back({LinkEvent::Mismatch, turn});
        inbox.arrived.notify_all();
    }
    void ended(const std::shared_ptr<Session>& s, const std::string& reason) {
        if (!reason.empty())
            tell(s->peer + (s->seat == Session::Player ? " (the second player)" : "") +
                 " left: " + reason);
        if (s->seat == Session::Player) {
            std::lock_guard<std::mutex> l(inbox.lock);
            if (inbox.player == s->id) inbox.player = 0;
            if (inbox.entriesFrom == s->id) inbox.playerLeft = true;
            inbox.arrived.notify_all();
        }
        sessions_.erase(s);
    }

private:
    void accept() {
        acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
            if (ec) return;  // closed
            if (int(sessions_.size()) >= kMaxConnections) {
                beast::error_code ignored;
                say("refused a connection from " +
                    socket.remote_endpoint(ignored).address().to_string() +
                    ": too many connections");
                socket.close(ignored);
            } else {
                auto s = std::make_shared<Session>(*this, std::move(socket), ++lastId_);
                sessions_.insert(s);
                s->start();
            }
            accept();
        });
    }
    // Once a second: watchers that stay far behind are dropped (catching up does not count).
    void tick() {
        slowTimer_.expires_after(1s);
        slowTimer_.async_wait([this](beast::error_code ec) {
            if (ec) return;
            std::vector<std::shared_ptr<Session>> slow;
            for (auto& s : sessions_) {
                if (s->seat != Session::Watcher) continue;
                const bool behind =
                    s->sentBytes >= s->joinBytes && totalBytes_ - s->sentBytes > kSlowBacklog;
                s->slowSeconds = behind ? s->slowSeconds + 1 : 0;
                if (s->slowSeconds >= kSlowSeconds) slow.push_back(s);
            }
            for (auto& s : slow) s->close("too slow to follow the game");
            tick();
        });
    }
    void toPlayer(std::string frame) {
        asio::post(io_, [this, f = std::move(frame)] {
            for (auto& s : sessions_)
                if (s->seat == Session::Player) s->send(f);
        });
    }
    void stop() {
        if (!thread_.joinable()) return;
        io_.stop();
        thread_.join();
    }

    HostSettings settings_;
    asio::io_context io_;
    tcp::acceptor acceptor_;
    asio::steady_timer slowTimer_;
    std::thread thread_;
    std::set<std::shared_ptr<Session>> sessions_;
    std::vector<Chunk> chunks_;
    size_t totalBytes_ = 0;
    uint64_t lastId_ = 0;
    bool finishing_ = false;
};

Session::Session(HostLink& host, tcp::socket socket, uint64_t id_)
    : id(id_), host_(host), ws_(std::move(socket)), helloTimer_(ws_.get_executor()) {
    beast::error_code ec;
    peer = beast::get_lowest_layer(ws_).socket().remote_endpoint(ec).address().to_string(ec);
    // Small batches of entries go out at once: the follower waits for them.
    beast::get_lowest_layer(ws_).socket().set_option(tcp::no_delay(true), ec);
    if (peer.empty()) peer = "a peer";
    parser_.header_limit(8 * 1024);
    parser_.body_limit(0);
}

void Session::start() {
    beast::get_lowest_layer(ws_).expires_after(std::chrono::seconds(kSilenceSeconds));
    http::async_read(
        ws_.next_layer(), buffer_, parser_,
        [self = shared_from_this()](beast::error_code ec, size_t) { self->onRequest(ec); });
}

void Session::onRequest(beast::error_code ec) {
    if (ec) return gone("sent no request (" + ec.message() + ")");
    if (!websocket::is_upgrade(parser_.get())) return serve();
    beast::get_lowest_layer(ws_).expires_never();
    ws_.set_option(timeouts());
    ws_.read_message_max(kMaxFrame);
    ws_.binary(true);
    ws_.async_accept(parser_.get(), [self = shared_from_this()](beast::error_code ec) {
        if (ec) return self->gone("no WebSocket handshake (" + ec.message() + ")");
        self->helloTimer_.expires_after(std::chrono::seconds(kSilenceSeconds));
        self->helloTimer_.async_wait([self](beast::error_code ec) {
            if (!ec && self->seat == Pending) self->close("said no hello");
        });
        self->read();
    });
}

// Plain HTTP: a file of the site for GET and HEAD, one request a connection.
void Session::serve() {
    const auto& req = parser_.get();
    const bool head = req.method() == http::verb::head;
    const std::string path = req.method() == http::verb::get || head
                                 ? siteFile(host_.site(), std::string(req.target()))
                                 : "";
    http::file_body::value_type file;
    beast::error_code ec;
    if (!path.empty()) file.open(path.c_str(), beast::file_mode::scan, ec);
    auto done = [self = shared_from_this()](beast::error_code, size_t) { self->gone(""); };
    if (path.empty() || ec) {
        auto res = std::make_shared<http::response<http::string_body>>(http::status::not_found,
                                                                       req.version());
        res->set(http::field::content_type, "text/plain; charset=utf-8");
        res->keep_alive(false);
        res->body() = "Not here. A game is joined with varnis --join.\n";
        res->prepare_payload();
        if (head) res->body().clear();  // the length stays the GET's
        return http::async_write(ws_.next_layer(), *res,
                                 [res, done](auto ec, size_t n) { done(ec, n); });
    }
    const uint64_t size = file.size();
    auto res = std::make_shared<http::response<http::file_body>>(http::status::ok, req.version());
    res->set(http::field::content_type, contentType(path));
    res->keep_alive(false);
    res->content_length(size);
    if (!head) res->body() = std::move(file);
    // A large file may take a while to go out: a minute, rather than the request's few seconds.
    beast::get_lowest_layer(ws_).expires_after(std::chrono::seconds(60));
    if (head) {
        auto sr = std::make_shared<http::response_serializer<http::file_body>>(*res);
        return http::async_write_header(ws_.next_layer(), *sr,
                                        [res, sr, done](auto ec, size_t n) { done(ec, n); });
    }
    http::async_write(ws_.next_layer(), *res, [res, done](auto ec, size_t n) { done(ec, n); });
}

void Session::read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, size_t) {
        if (ec) return self->gone(self->closing ? "" : why(ec));
        std::string bytes = beast::buffers_to_string(self->buffer_.data());
        self->buffer_.consume(self->buffer_.size());
        self->onFrame(bytes);
        if (!self->closing) self->read();
    });
}

void Session::onFrame(const std::string& bytes) {
    const bool player = seat == Player;
    if (!rate_.allow(bytes.size(), player ? 4000 : 20, player ? 8 << 20 : 4096))
        return close("sends too fast");
    Frame f;
    std::string error;
    if (!parseFrame(bytes, f, error)) return close("sent a bad frame: " + error);
    if (seat == Pending) {
        if (f.kind != 'h') return close("sent something before its hello");
        helloTimer_.cancel();
        return host_.admit(shared_from_this(), f.hello);
    }
    if (player && (f.kind == 's' || f.kind == 'e' || f.kind == 'm')) {
        if (!host_.fromPlayer(id, f)) close("sends more than the game takes");
        return;
    }
    if (seat == Watcher && f.kind == 'm') return host_.mismatchFromWatcher(peer, f.turn);
    close("sent a frame its seat never sends");
}

void Session::send(std::string frame) {
    control_.push_back(std::move(frame));
    pump();
}

void Session::pump() {
    if (busy_ || ended_ || closing) return;
    writing_.clear();
    if (!control_.empty()) {
        writing_ = std::move(control_.front());
        control_.pop_front();
    } else if (seat != Pending) {
        // Whole chunks, up to a frame's worth; a player is not sent back what came from it.
        const auto& chunks = host_.chunks();
        size_t skipped = 0;
        while (nextChunk < chunks.size()) {
            const Chunk& c = chunks[nextChunk];
            if (c.producer == id && seat == Player) {
                skipped += c.bytes.size();
                ++nextChunk;
                continue;
            }
            if (!writing_.empty() && writing_.size() + c.bytes.size() >= kMaxFrame) break;
            if (writing_.empty()) writing_ = "s";
            writing_ += c.bytes;
            ++nextChunk;
        }
        sentBytes += skipped;
        if (writing_.size() > kMaxFrame) writing_.clear();  // a chunk never grows that large
    }
    if (writing_.empty()) {
        if (finishing_ && nextChunk == host_.chunks().size()) {
            finishing_ = false;
            closing = true;
            ws_.async_close(websocket::close_code::normal,
                            [self = shared_from_this()](beast::error_code) { self->gone(""); });
        }
        return;
    }
    busy_ = true;
    const size_t streamBytes = writing_[0] == 's' ? writing_.size() - 1 : 0;
    ws_.async_write(asio::buffer(writing_),
                    [self = shared_from_this(), streamBytes](beast::error_code ec, size_t) {
                        self->busy_ = false;
                        if (ec) return self->gone(self->closing ? "" : why(ec));
                        self->sentBytes += streamBytes;
                        if (self->closing && !self->finishing_) return;
                        self->pump();
                    });
}

void Session::finish() {
    finishing_ = true;
    pump();
}

void Session::close(const std::string& reason) {
    if (closing || ended_) return;
    closing = true;
    // One that never said hello is noise on the port, not worth the window's title.
    if (!reason.empty() && seat == Pending) say("disconnected " + peer + ": " + reason);
    if (!reason.empty() && seat != Pending) host_.tell("disconnected " + peer + ": " + reason);
    // A refusal goes out first when it can; the socket closes in any case.
    auto self = shared_from_this();
    if (busy_) return gone("");
    if (!control_.empty()) {
        busy_ = true;
        writing_ = std::move(control_.front());
        control_.clear();
        ws_.async_write(asio::buffer(writing_), [self](beast::error_code, size_t) {
            self->busy_ = false;
            self->ws_.async_close(websocket::close_code::policy_error,
                                  [self](beast::error_code) { self->gone(""); });
        });
        return;
    }
    ws_.async_close(websocket::close_code::policy_error,
                    [self](beast::error_code) { self->gone(""); });
}

void Session::gone(const std::string& reason) {
    if (ended_) return;
    ended_ = true;
    helloTimer_.cancel();
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().close(ignored);
    host_.ended(shared_from_this(), reason);
}

// ---- A guest or a watcher ----------------------------------------------------------------------

class GuestLink final : public NetLink {
public:
    GuestLink() : ws_(io_) {}
    ~GuestLink() override { stop(); }

    void join(const std::string& host, const std::string& port, const Hello& hello,
              JoinResult& result) {
        std::promise<void> done;
        auto settled = done.get_future();
        result_ = &result;
        done_ = &done;
        hello_ = encodeHello(hello);
        host_ = host;
        resolver_ = std::make_unique<tcp::resolver>(io_);
        resolver_->async_resolve(
            host, port, [this](beast::error_code ec, tcp::resolver::results_type found) {
                if (ec) return settle("cannot find " + host_ + " (" + ec.message() + ")");
                beast::get_lowest_layer(ws_).expires_after(std::chrono::seconds(kSilenceSeconds));
                beast::get_lowest_layer(ws_).async_connect(found, [this](beast::error_code ec,
                                                                         tcp::endpoint) {
                    if (ec) return settle("cannot connect (" + ec.message() + ")");
                    beast::get_lowest_layer(ws_).expires_never();
                    beast::get_lowest_layer(ws_).socket().set_option(tcp::no_delay(true), ec);
                    ws_.set_option(timeouts());
                    ws_.read_message_max(kMaxFrame);
                    ws_.binary(true);
                    ws_.async_handshake(host_, "/play", [this](beast::error_code ec) {
                        if (ec) return settle("no WebSocket handshake (" + ec.message() + ")");
                        ws_.async_write(asio::buffer(hello_), [this](beast::error_code ec, size_t) {
                            if (ec) return settle(why(ec));
                            ws_.async_read(buffer_,
                                           [this](beast::error_code ec, size_t) { onWelcome(ec); });
                        });
                    });
                });
            });
        thread_ = std::thread([this] { io_.run(); });
        settled.wait();
    }

    void publish(std::string entries, uint64_t) override { send("s" + entries); }
    void sendEscape() override { send("e"); }
    void sendMismatch(uint32_t turn) override { send(encodeMismatch(turn)); }
    void finish() override {
        // What waits to be sent goes first (three seconds at most); the closing handshake gets a
        // moment more, as the host may be gone already.
        auto started = std::make_shared<std::promise<void>>();
        auto closed = std::make_shared<std::promise<void>>();
        auto sent = started->get_future(), answer = closed->get_future();
        asio::post(ws_.get_executor(), [this, started, closed] {
            closing_ = true;
            closeStarted_ = started;
            closeDone_ = closed;
            flushOrClose();
        });
        if (sent.wait_for(3s) == std::future_status::ready) answer.wait_for(200ms);
        stop();
    }

private:
    void settle(const std::string& error) {
        result_->error = error;
        done_->set_value();
    }
    void onWelcome(beast::error_code ec) {
        if (ec) return settle("the host " + why(ec));
        Frame f;
        std::string error;
        const std::string bytes = beast::buffers_to_string(buffer_.data());
        buffer_.consume(buffer_.size());
        if (!parseFrame(bytes, f, error) || (f.kind != 'w' && f.kind != 'r'))
            return settle("the host's answer is not a welcome" +
                          (error.empty() ? "" : ": " + error));
        if (f.kind == 'r') {
            result_->refused = true;
            return settle(f.text);
        }
        result_->player = f.player;
        result_->seed = f.seed;
        joined_ = true;
        done_->set_value();
        read();
    }
    void read() {
        ws_.async_read(buffer_, [this](beast::error_code ec, size_t) {
            if (ec) return lost("the host " + why(ec));
            const std::string bytes = beast::buffers_to_string(buffer_.data());
            buffer_.consume(buffer_.size());
            Frame f;
            std::string error;
            if (!parseFrame(bytes, f, error)) return lost("the host sent a bad frame: " + error);
            if (!rate_.allow(bytes.size(), 20000, 64 << 20)) return lost("the host sends too fast");
            if (inbox.takeFromHost(f)) return;
            read();
        });
    }
    void lost(const std::string& reason) {
        settleClose();  // nothing more to wait for when finishing
        std::lock_guard<std::mutex> l(inbox.lock);
        if (!inbox.closed) inbox.closeReason = reason;
        inbox.closed = true;
        inbox.arrived.notify_all();
    }
    void send(std::string frame) {
        asio::post(ws_.get_executor(), [this, f = std::move(frame)]() mutable {
            queue_.push_back(std::move(f));
            flushOrClose();
        });
    }
    void flushOrClose() {
        if (busy_ || !joined_) return;
        if (queue_.empty()) {
            if (closing_ && !closeSent_) {
                closeSent_ = true;
                busy_ = true;
                if (closeStarted_) closeStarted_->set_value();
                closeStarted_ = nullptr;
                ws_.async_close(websocket::close_code::normal, [this](beast::error_code) {
                    if (closeDone_) closeDone_->set_value();
                    closeDone_ = nullptr;
                });
            }
            return;
        }
        // Frames waiting together go out as one, up to the frame limit.
        writing_ = std::move(queue_.front());
        queue_.pop_front();
        while (writing_[0] == 's' && !queue_.empty() && queue_.front()[0] == 's' &&
               writing_.size() + queue_.front().size() < kMaxFrame) {
            writing_.append(queue_.front(), 1);
            queue_.pop_front();
        }
        busy_ = true;
        ws_.async_write(asio::buffer(writing_), [this](beast::error_code ec, size_t) {
            busy_ = false;
            if (ec) return lost("the host " + why(ec));
            flushOrClose();
        });
    }
    void settleClose() {
        for (auto* p : {&closeStarted_, &closeDone_})
            if (*p) (*p)->set_value(), p->reset();
    }
    void stop() {
        if (!thread_.joinable()) return;
        io_.stop();
        thread_.join();
    }

    asio::io_context io_;
    WebSocket ws_;
    std::unique_ptr<tcp::resolver> resolver_;
    beast::flat_buffer buffer_;
    std::thread thread_;
    JoinResult* result_ = nullptr;
    std::promise<void>* done_ = nullptr;
    std::shared_ptr<std::promise<void>> closeStarted_, closeDone_;
    std::string hello_, host_, writing_;
    std::deque<std::string> queue_;
    bool joined_ = false, busy_ = false, closing_ = false, closeSent_ = false;
    RateLimit rate_;
};

}  // namespace

std::unique_ptr<NetLink> startHost(const HostSettings& settings, std::string& shown, uint16_t& port,
                                   std::string& error) {
    auto host = std::make_unique<HostLink>(settings);
    if (!host->listen(shown, port, error)) return nullptr;
    return host;
}

void waitForPlayer(NetLink& host) {
    std::unique_lock<std::mutex> l(host.inbox.lock);
    host.inbox.arrived.wait(l, [&] { return host.inbox.player != 0; });
}

std::unique_ptr<NetLink> joinHost(const std::string& host, const std::string& port,
                                  const Hello& hello, JoinResult& result) {
    auto guest = std::make_unique<GuestLink>();
    guest->join(host, port, hello, result);
    if (!result.error.empty()) return nullptr;
    return guest;
}

}  // namespace platform
