// What the X11 editor tests do in a host's window: find the windows the plug-in put in it, click
// in the editor as a user does, count X errors, and let go of the drawing libraries' caches.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <vector>

inline std::vector<Window> childrenOf(Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<Window> found;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0 &&
        children != nullptr) {
        found.assign(children, children + count);
        XFree(children);
    }
    return found;
}

// X errors on the test's connections, counted (XSetErrorHandler(countXErrors)) instead of
// ending the program.
inline int xErrorCount = 0;
inline int countXErrors(Display*, XErrorEvent*) {
    ++xErrorCount;
    return 0;
}

// The process's caches of cairo and fontconfig go, so the leak checker sees only what the editor
// left.
inline void releaseDrawingCaches() {
    cairo_debug_reset_static_data();
    FcFini();
}

// A real click (XTest) on the first step slider's arrow towards the middle, for a slider at
// `value`; idle(milliseconds) runs the host's loop between the pointer's moves.
template <typename Idle>
void clickFirstStepArrow(Display* display, Window editor, double value, Idle idle) {
    const int arrowY = value > 0.5 ? 60 + 165 - 8 : 60 + 8;
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, editor, DefaultRootWindow(display), 36, arrowY, &x, &y, &child);
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    idle(20);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    idle(20);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    idle(60);
}
