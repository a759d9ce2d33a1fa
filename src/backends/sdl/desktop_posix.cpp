// The desktop's system libraries, reached through the dynamic loader: SDL loads them itself, and
// the game does not link them.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "backends/sdl/desktop.h"
#include "platform/backend.h"

namespace platform {

namespace {

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

}  // namespace

void quietSystemLibraries() {
    static bool done = false;
    if (done) return;
    done = true;
    setHandler("libasound.so.2", "snd_lib_error_set_handler", &quietAlsa);
    setHandler("libwayland-client.so.0", "wl_log_set_handler_client", &quietWayland);
}

void endWhenDisplayLost() {
    // SDL has loaded libX11 by now when it talks to an X server: the same soname is the same
    // instance, whose handler covers every connection (a message box opens one of its own).
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD);
    if (!x11) return;
    using Handler = int (*)(void*);
    if (void* f = dlsym(x11, "XSetIOErrorHandler"))
        reinterpret_cast<Handler (*)(Handler)>(f)(&displayGone);
}

}  // namespace platform
