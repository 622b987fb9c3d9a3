#include "Display.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "Peers.h"

namespace framework::x11 {

namespace {

// X errors. Some hosts destroy their window before they close the editor, and ours goes with
// theirs; what we then ask of it fails. Those errors are expected and swallowed, and the window
// counts as lost; every other error goes to the handler the host installed. Xlib's handler is the
// process's, and the editors of two instances may run on two threads (some hosts give each
// plug-in's editor a thread of its own): the handler is ours while any thread is inside one of our
// calls, and the host's again once none is.

using ErrorHandler = int (*)(Display*, XErrorEvent*);
std::atomic<ErrorHandler> hostHandler{nullptr};
// The calls inside a trap on every thread, and the swaps of the handler that go with them. Taken
// on user-interface threads only, never on the audio thread, and never inside the handler.
std::mutex trapGuard;
int trapDepth = 0;

std::mutex registryGuard; // the live forms, for the error handler
std::vector<FormPeer*> liveForms;

bool aboutOurWindows(Display* display, const XErrorEvent& error) {
    const std::lock_guard<std::mutex> lock(registryGuard);
    for (FormPeer* form : liveForms) {
        if (form->display != display) continue;
        const XID id = error.resourceid;
        const bool window = id == form->window || id == form->parent;
        if (window && (error.error_code == BadWindow || error.error_code == BadDrawable))
            form->markGone();
        // Once the window is gone, what was made with it (its pixmap, its graphics context)
        // may fail too.
        return window || form->gone || (form->box != nullptr && id == form->box->window);
    }
    return false;
}

int onXError(Display* display, XErrorEvent* error) {
    if (aboutOurWindows(display, *error)) return 0;
    const ErrorHandler host = hostHandler.load();
    return host != nullptr ? host(display, error) : 0;
}

} // namespace

// Ours at every depth: a handler the host installed while another thread was inside a trap
// becomes the one that other errors go on to.
ErrorTrap::ErrorTrap() {
    const std::lock_guard<std::mutex> lock(trapGuard);
    ++trapDepth;
    const ErrorHandler previous = XSetErrorHandler(onXError);
    if (previous != onXError) hostHandler.store(previous);
}

// The last trap gives the host its handler back. One the host installed while we were
// trapped stays in place, not the one it replaced.
ErrorTrap::~ErrorTrap() {
    const std::lock_guard<std::mutex> lock(trapGuard);
    if (--trapDepth > 0) return;
    const ErrorHandler current = XSetErrorHandler(hostHandler.load());
    if (current != onXError) XSetErrorHandler(current);
}

void enterLiveForms(FormPeer& form) {
    const std::lock_guard<std::mutex> lock(registryGuard);
    liveForms.push_back(&form);
}

void leaveLiveForms(FormPeer& form) {
    const std::lock_guard<std::mutex> lock(registryGuard);
    liveForms.erase(std::find(liveForms.begin(), liveForms.end(), &form));
}

Window topLevelOf(Display* display, Window window) {
    Window root = 0, up = 0, current = window;
    for (;;) {
        Window* children = nullptr;
        unsigned count = 0;
        if (XQueryTree(display, current, &root, &up, &children, &count) == 0) return window;
        if (children != nullptr) XFree(children);
        if (up == root || up == 0) return current;
        current = up;
    }
}

} // namespace framework::x11
