// The gui and timer-support extensions: the record's editor embedded in the host's window (X11
// on Linux, Win32 on Windows), at its one fixed size, idled from the host's timer, and its
// window taken off the screen while the host hides it.
#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "formats/clap/ClapPlugin.h"

namespace clap_door {

using namespace clap_abi;

namespace {

#if defined(_WIN32)
constexpr const char* kApi = CLAP_WINDOW_API_WIN32;
#else
constexpr const char* kApi = CLAP_WINDOW_API_X11;
#endif
// How often the host idles the editor: about 25 times a second, what the step lights need.
constexpr std::uint32_t kIdlePeriodMs = 40;

bool supported(const char* api, bool floating) {
    return api != nullptr && !floating && std::strcmp(api, kApi) == 0;
}

} // namespace

struct GuiSlots {
    static ClapPlugin& of(const clap_plugin* p) { return ClapPlugin::of(p); }

    static bool isApiSupported(const clap_plugin*, const char* api, bool floating) {
        return supported(api, floating);
    }
    static bool preferredApi(const clap_plugin*, const char** api, bool* floating) {
        if (api == nullptr || floating == nullptr) return false;
        *api = kApi;
        *floating = false;
        return true;
    }
    static bool create(const clap_plugin* p, const char* api, bool floating) {
        ClapPlugin& door = of(p);
        if (door.guiCreated || !supported(api, floating) || !door.hosted.hasEditor() ||
            !door.onMainThread())
            return false;
        door.guiCreated = true;
        return true;
    }
    static void destroy(const clap_plugin* p) { of(p).destroyGui(); }
    // The editor is drawn at one size in physical pixels; the host scales nothing of it.
    static bool setScale(const clap_plugin*, double) { return false; }
    // Before the editor opens, the size the library measured.
    static bool size(const clap_plugin* p, std::uint32_t* width, std::uint32_t* height) {
        ClapPlugin& door = of(p);
        int w = door.facts.editorWidth, h = door.facts.editorHeight;
        if (width == nullptr || height == nullptr) return false;
        door.hosted.editorSize(w, h);
        *width = static_cast<std::uint32_t>(w);
        *height = static_cast<std::uint32_t>(h);
        return true;
    }
    static bool canResize(const clap_plugin*) { return false; }
    // Qtractor asks every editor for its hints and warns when refused: a fixed size has them.
    static bool resizeHints(const clap_plugin*, clap_gui_resize_hints* hints) {
        if (hints == nullptr) return false;
        *hints = clap_gui_resize_hints{};
        return true;
    }
    static bool setSize(const clap_plugin* p, std::uint32_t width, std::uint32_t height) {
        std::uint32_t w = 0, h = 0;
        return size(p, &w, &h) && width == w && height == h;
    }
    static bool setParent(const clap_plugin* p, const clap_window* window) {
        return window != nullptr && of(p).setParent(*window);
    }
    static bool setTransient(const clap_plugin*, const clap_window*) { return false; }
    static void suggestTitle(const clap_plugin*, const char*) {}
    // Hidden, the editor stays open with its window off the screen; shown again it is as it
    // was, without a new set_parent.
    static bool show(const clap_plugin* p) {
        of(p).showGui(true);
        return of(p).guiCreated;
    }
    static bool hide(const clap_plugin* p) {
        of(p).showGui(false);
        return of(p).guiCreated;
    }

    static void onTimer(const clap_plugin* p, clap_id id) {
        ClapPlugin& door = of(p);
        if (id != CLAP_INVALID_ID && id == door.idleTimer) door.hosted.idleEditor();
    }
};

const clap_plugin_gui ClapPlugin::gui{
    GuiSlots::isApiSupported, GuiSlots::preferredApi, GuiSlots::create,    GuiSlots::destroy,
    GuiSlots::setScale,       GuiSlots::size,         GuiSlots::canResize, GuiSlots::resizeHints,
    GuiSlots::size,           GuiSlots::setSize,      GuiSlots::setParent, GuiSlots::setTransient,
    GuiSlots::suggestTitle,   GuiSlots::show,         GuiSlots::hide};
const clap_plugin_timer_support ClapPlugin::timerSupport{GuiSlots::onTimer};

#if defined(_WIN32)
// The editor's window: the child it adds to the host's window.
struct ClapPlugin::EditorWindow {
    HWND window = nullptr;

    static std::vector<HWND> children(HWND parent) {
        std::vector<HWND> found;
        for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
            found.push_back(child);
        return found;
    }
    bool open(guest::Guest& hosted, void* parent) {
        const std::vector<HWND> theirs = children(static_cast<HWND>(parent));
        if (!hosted.openEditor(parent)) return false;
        for (HWND child : children(static_cast<HWND>(parent)))
            if (std::find(theirs.begin(), theirs.end(), child) == theirs.end()) window = child;
        return true;
    }
    // A window the host destroyed with its own is left alone.
    void show(bool shown) {
        if (window != nullptr && IsWindow(window) != 0)
            ShowWindow(window, shown ? SW_SHOW : SW_HIDE);
    }
};
#else
// The editor's window: the newest child of the host's window once the editor opened there, on
// a display connection of the door's own (the host's and the editor's are theirs to read). The
// door learns of its end from the server: a host may destroy its window, and the editor's with
// it, before it hides the editor, and a request about a window that is gone is an X error, which
// ends the process where the host installed no handler.
struct ClapPlugin::EditorWindow {
    Display* display = nullptr;
    Window window = 0;

    ~EditorWindow() {
        if (display != nullptr) XCloseDisplay(display);
    }
    bool open(guest::Guest& hosted, void* parent) {
        if (!hosted.openEditor(parent)) return false;
        display = XOpenDisplay(nullptr);
        Window root = 0, up = 0, *children = nullptr;
        unsigned count = 0;
        // Siblings stack in the order they were made: the editor's is on top.
        if (display != nullptr &&
            XQueryTree(display, static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent)),
                       &root, &up, &children, &count) != 0 &&
            count > 0) {
            window = children[count - 1];
            // At the server before the window can go: a host may destroy the editor before it
            // hides it, and the request would then fail when the connection closes.
            XSelectInput(display, window, StructureNotifyMask);
            XSync(display, False);
        }
        if (children != nullptr) XFree(children);
        return true;
    }
    void show(bool shown) {
        if (window == 0) return;
        XSync(display, False);
        for (XEvent event;
             window != 0 && XCheckWindowEvent(display, window, StructureNotifyMask, &event) != 0;)
            if (event.type == DestroyNotify) window = 0;
        if (window == 0) return;
        if (shown)
            XMapWindow(display, window);
        else
            XUnmapWindow(display, window);
        // Done when the host looks again.
        XSync(display, False);
    }
};
#endif

void ClapPlugin::Closer::operator()(EditorWindow* window) const {
    delete window;
}

bool ClapPlugin::setParent(const clap_window& window) {
    if (!guiCreated || hosted.editorOpen() || window.api == nullptr ||
        std::strcmp(window.api, kApi) != 0)
        return false;
#if defined(_WIN32)
    void* const parent = window.win32;
#else
    void* const parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window.x11));
#endif
    std::unique_ptr<EditorWindow, Closer> opened(new EditorWindow);
    if (parent == nullptr || !opened->open(hosted, parent)) return false;
    editorWindow = std::move(opened);
    // The X11 editor handles its window's events only in the idle calls, and on every system
    // the step lights follow the engine there: a host without timers leaves the editor still.
    clap_id id = CLAP_INVALID_ID;
    if (hostTimers != nullptr && hostTimers->register_timer(host, kIdlePeriodMs, &id))
        idleTimer = id;
    return true;
}

void ClapPlugin::showGui(bool shown) {
    if (editorWindow != nullptr) editorWindow->show(shown);
}

void ClapPlugin::destroyGui() {
    if (idleTimer != CLAP_INVALID_ID) hostTimers->unregister_timer(host, idleTimer);
    idleTimer = CLAP_INVALID_ID;
    // The editor's window goes first, then the connection that watched it.
    hosted.closeEditor();
    editorWindow.reset();
    guiCreated = false;
}

} // namespace clap_door
