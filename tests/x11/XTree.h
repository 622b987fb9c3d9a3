// The X11 editor tests' look at a host's window: the windows the plug-in put in it.
#pragma once

#include <X11/Xlib.h>

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
