/* The two things the real-window test needs from a window manager, on a bare X server:
     mini_wm              manage windows: map them as asked, and carry out _NET_WM_STATE full-screen
                          requests by resizing to the whole screen and back
     mini_wm close ID     ask window ID to close, as a window manager's close button does
                          (a WM_DELETE_WINDOW client message)
   Runs on $DISPLAY. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static Atom netWmState, netWmStateFullscreen;

/* A window may go away between its request and the answer; that is no reason to stop. */
static int ignoreError(Display* d, XErrorEvent* e) { return (void)d, (void)e, 0; }

static int hasFullscreenState(Display* d, Window w) {
    Atom type;
    int format, found = 0;
    unsigned long count, after;
    unsigned char* data = NULL;
    if (XGetWindowProperty(d, w, netWmState, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        for (unsigned long i = 0; i < count; ++i)
            if (((Atom*)data)[i] == netWmStateFullscreen) found = 1;
        XFree(data);
    }
    return found;
}

/* Full screen: the whole root window; otherwise the window's own requested size, centred. */
static void applyState(Display* d, Window w, int fullscreen, int width, int height) {
    const int sw = DisplayWidth(d, DefaultScreen(d)), sh = DisplayHeight(d, DefaultScreen(d));
    if (fullscreen) {
        XChangeProperty(d, w, netWmState, XA_ATOM, 32, PropModeReplace,
                        (unsigned char*)&netWmStateFullscreen, 1);
        XMoveResizeWindow(d, w, 0, 0, (unsigned)sw, (unsigned)sh);
    } else {
        XDeleteProperty(d, w, netWmState);
        XMoveResizeWindow(d, w, (sw - width) / 2, (sh - height) / 2, (unsigned)width,
                          (unsigned)height);
    }
}

static int closeWindow(Display* d, Window w) {
    XEvent e = {0};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(d, w, False, NoEventMask, &e);
    return XSync(d, False), sent ? 0 : 1;
}

int main(int argc, char** argv) {
    Display* d = XOpenDisplay(NULL);
    if (!d) return fprintf(stderr, "mini_wm: cannot open the display\n"), 1;
    netWmState = XInternAtom(d, "_NET_WM_STATE", False);
    netWmStateFullscreen = XInternAtom(d, "_NET_WM_STATE_FULLSCREEN", False);
    if (argc == 3 && strcmp(argv[1], "close") == 0)
        return closeWindow(d, (Window)strtoul(argv[2], NULL, 0));
    if (argc != 1) return fprintf(stderr, "usage: mini_wm | mini_wm close WINDOW-ID\n"), 2;
    XSetErrorHandler(ignoreError);
    const Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureRedirectMask | SubstructureNotifyMask);
    XSync(d, False);
    /* The window size to go back to, one window at a time is all the test uses. */
    int windowWidth = 640, windowHeight = 480;
    for (;;) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == MapRequest) {
            const Window w = e.xmaprequest.window;
            if (hasFullscreenState(d, w)) applyState(d, w, 1, windowWidth, windowHeight);
            XMapWindow(d, w), XSetInputFocus(d, w, RevertToPointerRoot, CurrentTime);
        } else if (e.type == ConfigureRequest) {
            XConfigureRequestEvent* r = &e.xconfigurerequest;
            XWindowChanges c = {r->x,     r->y,     r->width, r->height, r->border_width,
                                r->above, r->detail};
            if (!hasFullscreenState(d, r->window) && (r->value_mask & (CWWidth | CWHeight)))
                windowWidth = r->width, windowHeight = r->height;
            XConfigureWindow(d, r->window, (unsigned)r->value_mask, &c);
        } else if (e.type == ClientMessage && e.xclient.message_type == netWmState &&
                   ((Atom)e.xclient.data.l[1] == netWmStateFullscreen ||
                    (Atom)e.xclient.data.l[2] == netWmStateFullscreen)) {
            const Window w = e.xclient.window;
            const long action = e.xclient.data.l[0]; /* 0 remove, 1 add, 2 toggle */
            applyState(d, w, action == 2 ? !hasFullscreenState(d, w) : action == 1, windowWidth,
                       windowHeight);
        }
        XFlush(d);
    }
}
