// The editor's view: the record's editor embedded in the host's window (X11 on Linux, Win32 on
// Windows), at its one fixed size. The editor moves its step lights, and on X11 handles its
// window's events, only when idled: on Linux from a timer of the host's run loop, which the plug
// frame offers; on Windows from a timer of the user-interface thread.
#if defined(_WIN32)
#include <windows.h>
#endif

#include <cstring>
#include <new>

#include "formats/vst3/Vst3Plugin.h"

namespace vst3_door {

namespace {

#if defined(_WIN32)
constexpr const char* kPlatformType = kPlatformTypeHWND;
#else
constexpr const char* kPlatformType = kPlatformTypeX11EmbedWindowID;
#endif
// How often the editor is idled: about 25 times a second, what the step lights need.
constexpr TimerInterval kIdlePeriodMs = 40;

bool supported(FIDString type) {
    return type != nullptr && std::strcmp(type, kPlatformType) == 0;
}

#if defined(_WIN32)
// The Windows timers of the open views: a thread timer's callback learns only its id.
constexpr int kMostViews = 64;
struct TimerEntry {
    UINT_PTR id;
    Vst3View* view;
} timers[kMostViews] = {};
#endif

} // namespace

struct ViewSlots {
    static Vst3View& of(void* self) { return *static_cast<Vst3View::ViewFace*>(self)->self; }
    static Vst3View& ofTimer(void* self) { return *static_cast<Vst3View::TimerFace*>(self)->self; }

    static tresult MORVO_VST3_CALL queryInterface(void* self, const TUID iid, void** object) {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        return iid != nullptr ? of(self).query(iid, object) : kInvalidArgument;
    }
    static uint32 MORVO_VST3_CALL addRef(void* self) {
        return of(self).refs.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    static uint32 MORVO_VST3_CALL release(void* self) { return of(self).release(); }
    static tresult MORVO_VST3_CALL timerQuery(void* self, const TUID iid, void** object) {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        return iid != nullptr ? ofTimer(self).query(iid, object) : kInvalidArgument;
    }
    static uint32 MORVO_VST3_CALL timerAddRef(void* self) {
        return ofTimer(self).refs.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    static uint32 MORVO_VST3_CALL timerRelease(void* self) { return ofTimer(self).release(); }

    static tresult MORVO_VST3_CALL isPlatformTypeSupported(void*, FIDString type) {
        return supported(type) ? kResultTrue : kResultFalse;
    }
    static tresult MORVO_VST3_CALL attached(void* self, void* parent, FIDString type) {
        return of(self).attached(parent, type);
    }
    static tresult MORVO_VST3_CALL removed(void* self) { return of(self).removed(); }
    static tresult MORVO_VST3_CALL onWheel(void*, float) { return kResultFalse; }
    // Keys reach the editor's own window; the host keeps every key it passes on.
    static tresult MORVO_VST3_CALL onKey(void*, char16, int16, int16) { return kResultFalse; }
    static tresult MORVO_VST3_CALL getSize(void* self, ViewRect* rect) {
        return rect != nullptr && of(self).size(*rect) ? kResultOk : kResultFalse;
    }
    // One size: a host that asks for another is told the editor's.
    static tresult MORVO_VST3_CALL onSize(void* self, ViewRect* rect) {
        ViewRect own{};
        return rect != nullptr && of(self).size(own) && rect->right - rect->left == own.right &&
                       rect->bottom - rect->top == own.bottom
                   ? kResultOk
                   : kResultFalse;
    }
    static tresult MORVO_VST3_CALL onFocus(void*, TBool) { return kResultOk; }
    static tresult MORVO_VST3_CALL setFrame(void* self, IPlugFrame* frame) {
        of(self).frame.reset(frame);
        return kResultOk;
    }
    static tresult MORVO_VST3_CALL canResize(void*) { return kResultFalse; }
    static tresult MORVO_VST3_CALL checkSizeConstraint(void* self, ViewRect* rect) {
        ViewRect own{};
        if (rect == nullptr || !of(self).size(own)) return kInvalidArgument;
        rect->right = rect->left + own.right;
        rect->bottom = rect->top + own.bottom;
        return kResultOk;
    }
    static void MORVO_VST3_CALL onTimer(void* self) { ofTimer(self).idle(); }

    static constexpr IPlugViewVtbl view{{queryInterface, addRef, release},
                                        isPlatformTypeSupported,
                                        attached,
                                        removed,
                                        onWheel,
                                        onKey,
                                        onKey,
                                        getSize,
                                        onSize,
                                        onFocus,
                                        setFrame,
                                        canResize,
                                        checkSizeConstraint};
    static constexpr ITimerHandlerVtbl timer{{timerQuery, timerAddRef, timerRelease}, onTimer};
};

IPlugView* Vst3Plugin::createView(FIDString name) {
    // One editor a plug-in: the record has one.
    if (name == nullptr || std::strcmp(name, kEditorViewName) != 0 || initialized == 0 ||
        !hosted.hasEditor() || view != nullptr)
        return nullptr;
    auto* made = new (std::nothrow) Vst3View(*this);
    return made != nullptr ? made->face() : nullptr;
}

Vst3View::Vst3View(Vst3Plugin& owner)
    : view{&ViewSlots::view, this}, timer{&ViewSlots::timer, this}, plugin(owner) {
    plugin.addRef();
    plugin.view = this;
}

Vst3View::~Vst3View() {
    plugin.view = nullptr;
    plugin.release();
}

tresult Vst3View::query(const char8* iid, void** object) {
    void* face = nullptr;
    if (sameUid(iid, FUnknown_iid) || sameUid(iid, IPlugView_iid))
        face = &view;
    else if (sameUid(iid, ITimerHandler_iid))
        face = &timer;
    if (face == nullptr) return kNoInterface;
    refs.fetch_add(1, std::memory_order_relaxed);
    *object = face;
    return kResultOk;
}

uint32 Vst3View::release() {
    const uint32 left = refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        // A host that releases the view without removing it first still gets its timer back.
        removed();
        frame.reset(nullptr);
        delete this;
    }
    return left;
}

bool Vst3View::size(ViewRect& rect) {
    int width = plugin.facts.editorWidth, height = plugin.facts.editorHeight;
    plugin.hosted.editorSize(width, height);
    if (width <= 0 || height <= 0) return false;
    rect = {0, 0, width, height};
    return true;
}

#if defined(_WIN32)
namespace {
void CALLBACK idleViews(HWND, UINT, UINT_PTR id, DWORD) {
    for (const TimerEntry& entry : timers)
        if (entry.id == id && entry.view != nullptr) entry.view->idle();
}
} // namespace
#endif

tresult Vst3View::attached(void* parent, const char* type) {
    if (open || parent == nullptr || !supported(type)) return kResultFalse;
    if (!plugin.hosted.openEditor(parent)) return kResultFalse;
    open = true;
#if defined(_WIN32)
    for (TimerEntry& entry : timers)
        if (entry.view == nullptr) {
            entry.id = SetTimer(nullptr, 0, static_cast<UINT>(kIdlePeriodMs), idleViews);
            entry.view = entry.id != 0 ? this : nullptr;
            windowsTimer = entry.id;
            break;
        }
#else
    // The run loop comes with the frame the host set; without one the editor stays still.
    IPlugFrame* host = frame.get();
    void* found = nullptr;
    if (host != nullptr &&
        host->vtbl->unknown.queryInterface(host, IRunLoop_iid.bytes, &found) == kResultOk &&
        found != nullptr) {
        runLoop = static_cast<IRunLoop*>(found);
        if (runLoop->vtbl->registerTimer(runLoop, reinterpret_cast<ITimerHandler*>(&timer),
                                         kIdlePeriodMs) != kResultOk) {
            runLoop->vtbl->unknown.release(runLoop);
            runLoop = nullptr;
        }
    }
#endif
    return kResultOk;
}

tresult Vst3View::removed() {
    if (!open) return kResultFalse;
#if defined(_WIN32)
    for (TimerEntry& entry : timers)
        if (entry.view == this) {
            KillTimer(nullptr, entry.id);
            entry = TimerEntry{};
        }
    windowsTimer = 0;
#else
    if (runLoop != nullptr) {
        runLoop->vtbl->unregisterTimer(runLoop, reinterpret_cast<ITimerHandler*>(&timer));
        runLoop->vtbl->unknown.release(runLoop);
        runLoop = nullptr;
    }
#endif
    plugin.hosted.closeEditor();
    open = false;
    return kResultOk;
}

void Vst3View::idle() {
    if (open) plugin.hosted.idleEditor();
}

} // namespace vst3_door
