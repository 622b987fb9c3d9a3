// The X11 backend's form: a child window of the host's window on a display connection of its
// own, its controls drawn into one off-screen picture that is copied to the window. Nothing here
// starts a thread or waits: the window's events, the timers' ticks and the painting all happen
// in the host's idle calls (effEditIdle), on the host's user-interface thread, and a host that
// stops calling idle leaves the window as it was. The peers turn the user's pointer and keys
// into the same control calls the tests make, so handlers run exactly as they do headless.
#include <cstdint>

#include "Peers.h"
#include "framework/Platform.h"

namespace framework::x11 {

bool FormPeer::create() {
    const ErrorTrap trap;
    XWindowAttributes host{};
    if (XGetWindowAttributes(display, parent, &host) == 0) return false;
    visual = host.visual;
    const int width = form.bounds.width, height = form.bounds.height;
    XSetWindowAttributes attributes{};
    attributes.event_mask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | KeyPressMask |
                            FocusChangeMask | LeaveWindowMask | StructureNotifyMask;
    // No background until the first paint gives it the form's picture.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = host.colormap;
    window = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, host.depth, InputOutput, visual,
                           CWEventMask | CWBackPixmap | CWBorderPixel | CWColormap, &attributes);
    XSync(display, False);
    if (gone || window == 0) return false;
    protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

    buffer = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    canvas = cairo_create(buffer);
    screen = std::make_unique<Blitter>(display, window, visual, host.depth, buffer);
    // The scroll bar track: white and grey pixels in turn; held, grey and black.
    trackPattern = dither(kHighlight, kFace);
    pressedTrackPattern = dither(kDarkShadow, kShadow);
    for (int state = kUnchecked; state <= kHeldChecked; ++state)
        radios[state] = radioButton(static_cast<RadioState>(state));
    lastTicks.assign(form.timers.size(), Clock::now());
    return cairo_status(canvas) == CAIRO_STATUS_SUCCESS;
}

void FormPeer::showControls(Control& container) {
    for (const auto& child : container.children()) {
        Control& control = *child;
        control.peer = peerFor(*this, control);
        if (control.kind == Kind::Panel) showControls(control);
        if (control.peer && control.isShowing()) drawn(control).shownAt = control.onForm();
    }
}

namespace {

// The controls' peers go first, while the fonts they draw with still exist; then what painting
// used; then the window and the connection.
void releasePeers(Control& container) {
    for (const auto& child : container.children()) {
        releasePeers(*child);
        child->peer.reset();
    }
}

} // namespace

FormPeer::~FormPeer() {
    if (destroyed != nullptr) *destroyed = true;
    const ErrorTrap trap;
    // Whether the host destroyed its window first is known before anything is released.
    if (window != 0) lost();
    box.reset();
    releasePeers(form);
    screen.reset();
    if (canvas != nullptr) cairo_destroy(canvas);
    if (buffer != nullptr) cairo_surface_destroy(buffer);
    if (trackPattern != nullptr) cairo_pattern_destroy(trackPattern);
    if (pressedTrackPattern != nullptr) cairo_pattern_destroy(pressedTrackPattern);
    for (cairo_surface_t* radio : radios)
        if (radio != nullptr) cairo_surface_destroy(radio);
    fonts.clear();
    if (window != 0 && !gone) XDestroyWindow(display, window);
    XCloseDisplay(display);
    leaveLiveForms(*this);
}

// The form's window appears with its first paint, drawn once.
void FormPeer::paint() {
    if (gone) return;
    const ErrorTrap trap;
    invalidate(form.bounds);
    flush();
    if (!mapped) {
        // On screen when the host's open returns: the host may click or look at once.
        XMapWindow(display, window);
        mapped = true;
        XSync(display, False);
    }
}

bool FormPeer::lost() const {
    if (gone) return true;
    const ErrorTrap trap;
    XSync(display, False);
    XEvent event;
    if (XCheckTypedWindowEvent(display, window, DestroyNotify, &event) != 0)
        const_cast<FormPeer*>(this)->gone = true;
    return gone;
}

void FormPeer::idle() {
    if (gone) return;
    const ErrorTrap trap;
    bool formDestroyed = false;
    destroyed = &formDestroyed;
    while (!gone && XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        dispatch(event);
        if (formDestroyed) return;
        showNextMessage();
    }
    // Each timer ticks once when at least its interval has passed: a host that idles late gets
    // one refresh, not a burst.
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < form.timers.size() && i < lastTicks.size(); ++i) {
        if (now - lastTicks[i] < std::chrono::milliseconds(form.timers[i]->interval)) continue;
        lastTicks[i] = now;
        form.timers[i]->tick();
        if (formDestroyed) return;
    }
    if (tracking != nullptr) tracking->tick(now);
    if (focus != nullptr && focus != tracking) focus->tick(now);
    if (formDestroyed) return;
    showNextMessage();
    flush();
    destroyed = nullptr;
}

void FormPeer::flush() {
    if (gone || isEmpty(dirty)) return;
    cairo_save(canvas);
    cairo_rectangle(canvas, dirty.left, dirty.top, dirty.width, dirty.height);
    cairo_clip(canvas);
    fill(canvas, form.bounds, form.colour);
    drawChildren(canvas, form, dirty);
    cairo_restore(canvas);
    screen->copy(dirty, mapped);
    dirty = {};
    XFlush(display);
}

void FormPeer::dispatch(XEvent& event) {
    if (box != nullptr && event.xany.window == box->window) {
        if (box->handle(event)) messageDismissed();
        return;
    }
    if (event.xany.window != window) return;
    switch (event.type) {
    case ButtonPress:
        // While the error box is up the editor takes no input, as under a modal box.
        if (event.xbutton.button == Button1 && !blocked())
            pointerDown(event.xbutton.x, event.xbutton.y, event.xbutton.time);
        break;
    case ButtonRelease:
        if (event.xbutton.button == Button1) pointerUp(event.xbutton.x, event.xbutton.y);
        break;
    case MotionNotify: {
        // Only the latest place of the pointer matters, up to the next event of another kind.
        XEvent next;
        while (XEventsQueued(display, QueuedAlready) > 0) {
            XPeekEvent(display, &next);
            if (next.type != MotionNotify || next.xany.window != window) break;
            XNextEvent(display, &event);
        }
        if (tracking != nullptr) tracking->drag(event.xmotion.x, event.xmotion.y);
        break;
    }
    case KeyPress:
        if (!blocked()) keyDown(event.xkey);
        break;
    case FocusIn:
    case FocusOut:
        if (event.xfocus.detail == NotifyPointer || event.xfocus.detail == NotifyInferior) break;
        keyboard = event.type == FocusIn;
        if (focus != nullptr) focus->focusMoved(keyboard, false);
        break;
    case LeaveNotify:
        // Another client grabbed the pointer (a menu, the window manager): the press is void.
        if (event.xcrossing.mode == NotifyGrab) losePress();
        break;
    case DestroyNotify:
        if (event.xdestroywindow.window == window) gone = true;
        break;
    case MappingNotify: XRefreshKeyboardMapping(&event.xmapping); break;
    default: break;
    }
}

void FormPeer::pointerDown(int x, int y, Time time) {
    if (tracking != nullptr || formPressed) return;
    Control* hit = windowedAt(form, x, y);
    if (hit != nullptr && hit->kind != Kind::Panel && hit->peer) {
        DrawnPeer& peer = drawn(*hit);
        if (peer.takesFocus()) setFocus(&peer, false, time);
        tracking = &peer;
        peer.press(x, y);
        return;
    }
    // Pictures and labels take a click when the button goes down and comes up over them.
    formPressed = true;
    form.pressAt(x, y);
}

void FormPeer::pointerUp(int x, int y) {
    if (tracking != nullptr) {
        DrawnPeer* peer = tracking;
        tracking = nullptr;
        peer->release(x, y);
    } else if (formPressed) {
        formPressed = false;
        form.releaseAt(x, y);
    }
}

void FormPeer::losePress() {
    if (tracking != nullptr) {
        DrawnPeer* peer = tracking;
        tracking = nullptr;
        peer->cancel();
    }
    if (formPressed) {
        formPressed = false;
        form.pressLost();
    }
}

// A click on a control that takes the keyboard takes it for the editor's window too; clicks
// elsewhere leave the host's keyboard shortcuts alone.
void FormPeer::setFocus(DrawnPeer* peer, bool byTab, Time time) {
    DrawnPeer* before = focus;
    focus = peer;
    if (!keyboard) {
        XSetInputFocus(display, window, RevertToParent, time);
        keyboard = true;
    }
    if (before != nullptr && before != peer) before->focusMoved(false, byTab);
    if (peer != nullptr) peer->focusMoved(true, byTab);
}

// Tab and Shift+Tab: the next showing slider, edit or button of the form in the layout's tab
// order, round at the ends.
void FormPeer::moveFocus(bool backwards) {
    if (Control* next = form.nextTabStop(focus != nullptr ? &focus->control : nullptr, backwards))
        setFocus(&drawn(*next), true, CurrentTime);
}

void FormPeer::keyDown(XKeyEvent& event) {
    char typed[8] = {};
    KeySym key = NoSymbol;
    const int length = XLookupString(&event, typed, sizeof typed, &key, nullptr);
    if (key == XK_Tab || key == XK_ISO_Left_Tab || key == XK_KP_Tab) {
        moveFocus(key == XK_ISO_Left_Tab || (event.state & ShiftMask) != 0);
        return;
    }
    if (focus == nullptr) return;
    focus->key(key, length == 1 ? typed[0] : '\0');
}

void FormPeer::showNextMessage() {
    if (box != nullptr || pending.empty() || gone) return;
    const std::string text = std::move(pending.front());
    pending.pop_front();
    box = std::make_unique<MessageBox>(*this, text);
}

void FormPeer::messageDismissed() {
    box.reset();
    showNextMessage();
    if (box != nullptr || focus == nullptr) return;
    // The keyboard comes back to the control that had it, if the editor is still on screen.
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, window, &attributes) != 0 &&
        attributes.map_state == IsViewable) {
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        keyboard = true;
        focus->focusMoved(true, false);
    }
}

} // namespace framework::x11

namespace framework {

bool backend::nativeWindows() {
    return true;
}

bool backend::show(Form& form, void* parentWindow) {
    // A connection of the editor's own: the host's is not ours to read events from.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    auto peer = std::make_unique<x11::FormPeer>(
        form, display, static_cast<Window>(reinterpret_cast<std::uintptr_t>(parentWindow)));
    if (!peer->create()) return false;
    x11::FormPeer& shown = *peer;
    form.peer = std::move(peer);
    shown.showControls(form);
    return true;
}

} // namespace framework
