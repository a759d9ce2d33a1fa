// windows.h first: the other system headers build on it.
#include <windows.h>

#include <mmsystem.h>
#include <psapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/process.h"
#include "platform/win32.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace platform::win32 {

namespace {

bool redirected(DWORD which) {
    const HANDLE h = GetStdHandle(which);
    return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

std::string narrow(const wchar_t* w, int length) {
    const int n = WideCharToMultiByte(CP_ACP, 0, w, length, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, w, length, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace

void attachParentConsole() {
    bool out = redirected(STD_OUTPUT_HANDLE), err = redirected(STD_ERROR_HANDLE);
    if ((!out || !err) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out) out = std::freopen("CONOUT$", "w", stdout) != nullptr;
        if (!err) err = std::freopen("CONOUT$", "w", stderr) != nullptr;
    }
    // Started without a console and without redirection, the streams have no file to set.
    if (out) _setmode(_fileno(stdout), _O_BINARY);
    if (err) _setmode(_fileno(stderr), _O_BINARY);
}

const std::string& programFolder() {
    static const std::string folder = [] {
        std::wstring path(MAX_PATH, L'\0');
        for (;;) {
            const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
            if (n == 0) return std::string();
            if (n < path.size()) {
                path.resize(n);
                break;
            }
            if (path.size() >= 32768) return std::string();
            path.resize(path.size() * 2);
        }
        const size_t slash = path.find_last_of(L"\\/");
        return slash == std::wstring::npos ? std::string() : narrow(path.data(), int(slash + 1));
    }();
    return folder;
}

namespace {

HANDLE preciseTimer() {
    static const HANDLE timer = [] {
        HANDLE t = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
        if (!t) {
            // Older systems: an ordinary timer, which fires on the scheduler's tick; 1 ms ticks.
            timeBeginPeriod(1);
            t = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        }
        return t;
    }();
    return timer;
}

// Waits for the timer set to the moment, and for messages too when `input`.
void waitUntil(std::chrono::steady_clock::time_point moment, bool input) {
    const auto left = moment - std::chrono::steady_clock::now();
    const long long ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(left).count() / 100;
    if (ticks <= 0) return;
    LARGE_INTEGER due;
    due.QuadPart = -ticks;  // relative, in 100 ns units
    HANDLE timer = preciseTimer();
    if (timer && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
        if (input)
            MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT);
        else
            WaitForSingleObject(timer, INFINITE);
    } else {
        const DWORD ms = DWORD((ticks + 9999) / 10000);
        if (input)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
        else
            Sleep(ms);
    }
}

}  // namespace

void sleepUntil(std::chrono::steady_clock::time_point moment) { waitUntil(moment, false); }
void waitForInputUntil(std::chrono::steady_clock::time_point moment) { waitUntil(moment, true); }

double cpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& f) {
        return double((uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

double peakMemoryMB() {
    PROCESS_MEMORY_COUNTERS c{};
    c.cb = sizeof c;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c)) return 0;
    return double(c.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

}  // namespace platform::win32

namespace platform {

void prepareProcess() { win32::attachParentConsole(); }

void unsetEnvironment(const char* name) { _putenv_s(name, ""); }

void sleepUntil(std::chrono::steady_clock::time_point moment) { win32::sleepUntil(moment); }

void askForShortSlices() {}

}  // namespace platform
