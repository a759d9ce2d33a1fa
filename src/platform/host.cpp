#include <cstdio>
#include <cstdlib>
#include <deque>

#include "platform/backend.h"
#include "platform/headless/headless.h"
#include "platform/stats.h"
#include "platform/text.h"

namespace platform {

namespace {

std::unique_ptr<Backend> active;
WindowProc windowProc = nullptr;
std::deque<Message> queue;
bool quitPosted = false;
int quitCode = 0;
std::function<bool(const Message&)> messageGate;

}  // namespace

Backend& backend() {
    if (!active) active = makeHeadlessBackend(HeadlessOptions{});
    return *active;
}

void installBackend(std::unique_ptr<Backend> b) { active = std::move(b); }

void enqueueMessage(const Message& msg) {
    if (!messageGate || messageGate(msg)) queue.push_back(msg);
}
void setMessageGate(std::function<bool(const Message&)> gate) { messageGate = std::move(gate); }
bool messageQueueEmpty() { return queue.empty() && !quitPosted; }
void resetMessageQueue() {
    queue.clear();
    quitPosted = false;
}

bool registerWindowClass(WindowProc proc) {
    windowProc = proc;
    return proc != nullptr;
}

bool createWindow(const char* caption) { return backend().createWindow(caption); }
void showWindow() { backend().showWindow(); }
void hideCursor() { backend().hideCursor(); }
void getWindowRect(Rect& rect) { backend().getWindowRect(rect); }

int getSystemMetrics(int index) {
    switch (index) {
        case SM_CXBORDER: return 1;
        case SM_CYBORDER: return 1;
        case SM_CYCAPTION: return 19;
        case SM_CYMENUSIZE: return 19;
        default: return 0;
    }
}

bool peekMessage() {
    backend().poll(messageQueueEmpty());
    return !messageQueueEmpty();
}

bool getMessage(Message& msg) {
    if (queue.empty()) {
        // Only the quit message can be waiting (peekMessage said something was).
        quitPosted = false;
        msg = Message{WM_QUIT, uint32_t(quitCode), 0};
        return false;
    }
    msg = queue.front();
    queue.pop_front();
    return true;
}

void translateMessage(const Message&) {}

int32_t dispatchMessage(const Message& msg) {
    if (windowProc) return windowProc(msg.message, msg.wParam, msg.lParam);
    return defWindowProc(msg.message, msg.wParam, msg.lParam);
}

int32_t defWindowProc(uint32_t message, uint32_t wParam, int32_t lParam) {
    // System keys: Alt+Enter toggles the presentation, Alt+F4 asks to close; nothing is recorded.
    if (message == WM_SYSKEYDOWN) {
        const bool altHeld = (lParam & (1 << 29)) != 0;
        const bool repeat = (lParam & (1 << 30)) != 0;  // held down: toggle once per press
        if (altHeld && !repeat && wParam == VK_RETURN) backend().toggleFullscreen();
        if (altHeld && wParam == VK_F4) postMessage(WM_CLOSE, 0, 0);
    }
    return 0;
}

void postMessage(uint32_t message, uint32_t wParam, int32_t lParam) {
    queue.push_back(Message{message, wParam, lParam});
}

void postQuitMessage(int exitCode) {
    quitPosted = true;
    quitCode = exitCode;
}

uint32_t timeGetTime() { return backend().now(); }
void idle(bool hasDeadline, uint32_t deadline) { backend().idle(hasDeadline, deadline); }
void waitVerticalBlank() { backend().waitVerticalBlank(); }

void messageBox(const char* text, const char* caption) {
    const std::string utf8Caption = caption ? sjisToUtf8(caption) : std::string();
    backend().messageBox(sjisToUtf8(text ? text : ""), caption ? utf8Caption.c_str() : nullptr);
}

void exitProcess(int code) {
    stats::report();
    backend().shutdown(code);
    std::fflush(stdout);
    std::exit(code);
}

bool tracing() { return backend().tracing(); }
void trace(const std::string& text) { backend().trace(text); }

std::string sjisToUtf8(const char* sjis) {
    std::string out;
    for (const char32_t c : decodeShiftJis(sjis)) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace platform
