// Message boxes on Windows are the system's own, owned by the game's window.
#include <windows.h>

#include <SDL.h>
#include <SDL_syswm.h>

#include <string>

namespace platform {

namespace {

std::wstring wide(const std::string& utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

}  // namespace

bool systemMessageBox(SDL_Window* owner, const std::string& text, const char* caption) {
    HWND hwnd = nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (owner && SDL_GetWindowWMInfo(owner, &info) && info.subsystem == SDL_SYSWM_WINDOWS)
        hwnd = info.info.win.window;
    return MessageBoxW(hwnd, wide(text).c_str(), wide(caption).c_str(),
                       MB_OK | MB_ICONINFORMATION) != 0;
}

}  // namespace platform
