// The editor's window on X11: a plain top-level window that the editor fills.
#include "windows/EditorWindow.h"

#include <cstdint>
#include <cstdlib>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// The editor has one size: the window keeps it.
void keepSize(Display* display, Window window, int width, int height) {
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = PMinSize | PMaxSize;
    hints->min_width = hints->max_width = width;
    hints->min_height = hints->max_height = height;
    XSetWMNormalHints(display, window, hints);
    XFree(hints);
}

} // namespace

struct EditorWindow::System {
    Display* display = nullptr;
    Window window = 0;
    Atom deleteWindow = 0;
};

bool EditorWindow::open(guest::Guest& plugin, const std::string& title, std::string& why) {
    const char* name = std::getenv("DISPLAY");
    Display* display = name != nullptr && *name != '\0' ? XOpenDisplay(nullptr) : nullptr;
    if (display == nullptr) {
        why = "no display to show the editor on";
        return false;
    }
    // Some editors, this plug-in's among them, know their size only once they are open: the
    // window starts at a provisional size and takes the editor's after effEditOpen.
    int width = kProvisionalWidth, height = kProvisionalHeight;
    plugin.editorSize(width, height);
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(
        display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
        static_cast<unsigned>(height), 0, BlackPixel(display, screen), BlackPixel(display, screen));
    XStoreName(display, window, title.c_str());
    keepSize(display, window, width, height);
    // Closing the window through the window manager comes as a message, not a destruction.
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    XSync(display, False);
    // On Linux the editor's parent is the X window's id, passed as the pointer.
    if (!plugin.openEditor(reinterpret_cast<void*>(static_cast<std::uintptr_t>(window)))) {
        XDestroyWindow(display, window);
        XCloseDisplay(display);
        why = "the plug-in did not open its editor (effEditOpen answered 0)";
        return false;
    }
    if (int w = 0, h = 0; plugin.editorSize(w, h) && (w != width || h != height)) {
        keepSize(display, window, w, h);
        XResizeWindow(display, window, static_cast<unsigned>(w), static_cast<unsigned>(h));
    }
    XSync(display, False);
    system = new System{display, window, deleteWindow};
    shown = &plugin;
    return true;
}

void EditorWindow::idle() {
    if (shown == nullptr) return;
    while (XPending(system->display) > 0) {
        XEvent event;
        XNextEvent(system->display, &event);
        if (event.type == ClientMessage &&
            static_cast<Atom>(event.xclient.data.l[0]) == system->deleteWindow) {
            close();
            return;
        }
    }
    shown->idleEditor();
    XFlush(system->display);
}

void EditorWindow::close() {
    if (shown == nullptr) return;
    shown->closeEditor();
    shown = nullptr;
    XDestroyWindow(system->display, system->window);
    XCloseDisplay(system->display);
    delete system;
    system = nullptr;
}
