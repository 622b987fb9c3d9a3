// The gui and timer-support extensions: the record's editor embedded in the host's window (X11
// on Linux, Win32 on Windows), at its one fixed size, idled from the host's timer.
#include <cstdint>
#include <cstring>

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

// The plug-in gives its editor's rectangle only once the editor is open, while a host asks for
// the size before it makes the window to open it in: until then this is the size, the one the
// open editor reports.
constexpr int kEditorWidth = 626, kEditorHeight = 280;

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
    static bool size(const clap_plugin* p, std::uint32_t* width, std::uint32_t* height) {
        int w = kEditorWidth, h = kEditorHeight;
        if (width == nullptr || height == nullptr) return false;
        of(p).hosted.editorSize(w, h);
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
    // Hidden, the editor stays open in the host's window, which the host hides; shown again it
    // is as it was, without a new set_parent.
    static bool show(const clap_plugin* p) { return of(p).guiCreated; }
    static bool hide(const clap_plugin* p) { return of(p).guiCreated; }

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

bool ClapPlugin::setParent(const clap_window& window) {
    if (!guiCreated || hosted.editorOpen() || window.api == nullptr ||
        std::strcmp(window.api, kApi) != 0)
        return false;
#if defined(_WIN32)
    void* const parent = window.win32;
#else
    void* const parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window.x11));
#endif
    if (parent == nullptr || !hosted.openEditor(parent)) return false;
    // The X11 editor handles its window's events only in the idle calls, and on every system
    // the step lights follow the engine there: a host without timers leaves the editor still.
    const auto* timers = host != nullptr && host->get_extension != nullptr
                             ? static_cast<const clap_host_timer_support*>(
                                   host->get_extension(host, CLAP_EXT_TIMER_SUPPORT))
                             : nullptr;
    clap_id id = CLAP_INVALID_ID;
    if (timers != nullptr && timers->register_timer != nullptr &&
        timers->unregister_timer != nullptr && timers->register_timer(host, kIdlePeriodMs, &id)) {
        hostTimers = timers;
        idleTimer = id;
    }
    return true;
}

void ClapPlugin::destroyGui() {
    if (idleTimer != CLAP_INVALID_ID && hostTimers != nullptr)
        hostTimers->unregister_timer(host, idleTimer);
    idleTimer = CLAP_INVALID_ID;
    hostTimers = nullptr;
    hosted.closeEditor();
    guiCreated = false;
}

} // namespace clap_door
