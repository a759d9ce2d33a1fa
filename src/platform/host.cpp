#include <cstdio>
#include <cstdlib>
#include <deque>

#include "platform/backend.h"
#include "platform/stats.h"
#include "platform/text.h"

namespace platform {

namespace {

std::unique_ptr<Backend> active;
WindowProc windowProc = nullptr;
std::deque<Message> queue;
bool quitPosted = false;
int quitCode = 0;
MessageGate messageGate = nullptr;
void* messageGateUser = nullptr;

}  // namespace

Backend& backend() {
    if (!active) {
        // Every program chooses its back end before it uses the platform; reaching here is a
        // fault in that program, not something to paper over with a back end it did not ask for.
        std::fputs("varnis: no platform back end installed (platform::installBackend)\n", stderr);
        std::abort();
    }
    return *active;
}

void installBackend(std::unique_ptr<Backend> b) { active = std::move(b); }

void enqueueMessage(const Message& msg) {
    if (!messageGate || messageGate(messageGateUser, msg)) queue.push_back(msg);
}
void setMessageGate(MessageGate gate, void* user) {
    messageGate = gate;
    messageGateUser = user;
}
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
void getWindowRect(Rect& rect) {
    // The stand-in's primary surface is the window's 640 by 480 drawing area, not the desktop, so
    // the window is placed where its drawing area starts at that surface's origin: 3 pixels in
    // from the outer left edge, 42 below the outer top (border, caption and menu), wherever the
    // real window sits on the desktop. Positions derived from it then land on the picture.
    rect = Rect{-3, -42, 643, 482};
}

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

std::string sjisToUtf8(const char* sjis) { return encodeUtf8(decodeShiftJis(sjis)); }

Message keyMessage(uint32_t vk, bool pressed, bool repeat, bool altHeld) {
    altHeld = altHeld || (pressed && vk == VK_MENU);
    const bool system = altHeld || vk == VK_MENU || vk == VK_F10;
    uint32_t lParam = 1;
    if (altHeld) lParam |= 1u << 29;
    if (repeat || !pressed) lParam |= 1u << 30;
    if (!pressed) lParam |= 1u << 31;
    Message m;
    m.message = pressed ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    m.wParam = vk;
    m.lParam = int32_t(lParam);
    return m;
}

}  // namespace platform
