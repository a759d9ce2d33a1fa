#include "platform/sdl/desktop.h"

#include <SDL.h>
#ifndef _WIN32
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/backend.h"
#include "platform/datafile.h"

namespace platform {

namespace {

#ifndef _WIN32
extern "C" void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
extern "C" void quietWayland(const char*, va_list) {}

// Xlib calls this when the connection to the X server breaks. Its own handler calls exit(), and
// the destructors that runs shut SDL down through the dead connection, which never returns.
extern "C" int displayGone(void*) {
    static std::atomic_flag entered;
    if (entered.test_and_set())
        for (;;) pause();  // another thread broke too and is ending the process
    std::fputs("varnis: the connection to the display was lost\n", stderr);
    backend().displayLost();
    _exit(1);
}

// Loads a library SDL would load later anyway (the same soname gives SDL the same instance, with
// the handler set here) and hands one function of it a handler. The library stays loaded.
template <typename Handler>
void setHandler(const char* soname, const char* setter, Handler handler) {
    void* library = dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
    if (!library) return;  // not installed: SDL will not use it either
    if (void* f = dlsym(library, setter)) reinterpret_cast<void (*)(Handler)>(f)(handler);
}
#endif

constexpr int kIconSize = 64;

}  // namespace

void quietSystemLibraries() {
    static bool done = false;
    if (done) return;
    done = true;
#ifndef _WIN32
    setHandler("libasound.so.2", "snd_lib_error_set_handler", &quietAlsa);
    setHandler("libwayland-client.so.0", "wl_log_set_handler_client", &quietWayland);
#endif
}

void endWhenDisplayLost() {
#ifndef _WIN32
    // SDL has loaded libX11 by now when it talks to an X server: the same soname is the same
    // instance, whose handler covers every connection (a message box opens one of its own).
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
    if (!x11) return;
    using Handler = int (*)(void*);
    if (void* f = dlsym(x11, "XSetIOErrorHandler"))
        reinterpret_cast<Handler (*)(Handler)>(f)(&displayGone);
#endif
}

void setWindowIcon(SDL_Window* window) {
    std::FILE* f = openDataFile("icon.rgba");
    if (!f) return;
    std::vector<unsigned char> pixels(size_t(kIconSize) * kIconSize * 4 + 1);
    const size_t n = std::fread(pixels.data(), 1, pixels.size(), f);
    std::fclose(f);
    if (n != pixels.size() - 1) return;  // not the icon: too short or too long
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), kIconSize, kIconSize, 32,
                                                           kIconSize * 4, SDL_PIXELFORMAT_RGBA32);
    if (!icon) return;
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}

}  // namespace platform
