// The X11 backend's peers. Every control is drawn: the form's peer owns the window, the
// off-screen picture and the fonts, and paints each control's peer in its place; it passes the
// user's pointer and keys on to the peer of the control they are for. Coordinates are the form's.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Display.h"
#include "Painting.h"
#include "framework/Controls.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <cairo.h>

namespace framework::x11 {

using Clock = std::chrono::steady_clock;

class FormPeer;

// A drawn control: the form paints it, in its place, and passes it the user's pointer and keys.
// Coordinates are the form's.
class DrawnPeer : public Peer {
  public:
    DrawnPeer(FormPeer& form, Control& control) : form(form), control(control) {}
    void changed() override;
    virtual void draw(cairo_t* cr, const Rect& at) = 0;
    // Scroll bars, edits and buttons take the keyboard when clicked or reached by Tab.
    virtual bool takesFocus() const { return false; }
    virtual void press(int x, int y) { (void)x, (void)y; }
    virtual void drag(int x, int y) { (void)x, (void)y; }
    virtual void release(int x, int y) { (void)x, (void)y; }
    // The press was lost: another window took the pointer.
    virtual void cancel() {}
    virtual void key(KeySym key, char typed) { (void)key, (void)typed; }
    virtual void focusMoved(bool gained, bool byTab) { (void)gained, (void)byTab; }
    // Time passes: a held arrow repeats, the caret blinks.
    virtual void tick(Clock::time_point now) { (void)now; }

    FormPeer& form;
    Control& control;
    Rect shownAt; // where it was drawn last, to be drawn over when it moves or goes

  protected:
    void redraw();
    bool focused() const;
};

inline DrawnPeer& drawn(const Control& control) {
    return static_cast<DrawnPeer&>(*control.peer);
}

// The windowed control under a point of a container, as they lie: later ones above earlier
// ones, a panel's own above the panel. Null where only pictures, labels or nothing lie.
Control* windowedAt(const Control& container, int x, int y);
// A container's pictures and labels in layout order, each above the ones before it, then its
// windowed controls above them all; only what meets the area is drawn.
void drawChildren(cairo_t* cr, const Control& container, const Rect& area);

// The peer that draws a control of the form and answers for it (null for a form).
std::unique_ptr<DrawnPeer> peerFor(FormPeer& form, Control& control);
std::unique_ptr<DrawnPeer> scrollBarPeer(FormPeer& form, ScrollBar& bar);
std::unique_ptr<DrawnPeer> editPeer(FormPeer& form, Edit& edit);

// ---------------------------------------------------------------------------------------------
// The error message box: a small window of our own over the editor with the message and OK,
// transient for the host's window. The editor takes no input while it is up.

class MessageBox {
  public:
    MessageBox(FormPeer& owner, const std::string& text);
    ~MessageBox();
    MessageBox(const MessageBox&) = delete;
    MessageBox& operator=(const MessageBox&) = delete;
    // True when the event dismissed the box.
    bool handle(const XEvent& event);

    Window window = 0;

  private:
    void draw();
    Rect okButton() const { return {(width - 75) / 2, height - 12 - 23, 75, 23}; }

    FormPeer& owner;
    std::string message;
    int width = 0, height = 0, textWidth = 0;
    cairo_surface_t* picture = nullptr; // drawn off screen, as the form is
    std::unique_ptr<Blitter> screen;
    bool shown = false, down = false, over = false;
};

class FormPeer : public Peer {
  public:
    FormPeer(Form& form, Display* display, Window parent)
        : form(form), display(display), parent(parent) {
        enterLiveForms(*this);
    }
    ~FormPeer() override;

    // The window and what painting needs; false when the host's window does not exist.
    bool create();
    void showControls(Control& container);

    void paint() override;
    void showMessage(const std::string& text) override {
        pending.push_back(text);
        losePress();
    }
    bool lost() const override;
    void idle() override;
    void changed() override { invalidate(form.bounds); }

    void invalidate(const Rect& area) {
        dirty = unite(dirty, intersect(area, {0, 0, form.bounds.width, form.bounds.height}));
    }
    void hidden(DrawnPeer& peer) {
        if (tracking == &peer) losePress();
        if (focus == &peer) focus = nullptr;
    }
    bool hasFocus(const DrawnPeer& peer) const { return focus == &peer && keyboard; }
    // The window was destroyed with the host's, or never made.
    void markGone() { gone = true; }

    Form& form;
    Display* const display;
    const Window parent;
    Window window = 0;
    Visual* visual = nullptr;
    FontSet fonts;
    cairo_pattern_t* trackPattern = nullptr;        // the scroll bar track's dither
    cairo_pattern_t* pressedTrackPattern = nullptr; // and while it is held
    cairo_surface_t* radios[4] = {};                // by RadioState
    std::unique_ptr<MessageBox> box;
    Atom protocols = 0, deleteWindow = 0;
    bool gone = false;

  private:
    void dispatch(XEvent& event);
    void pointerDown(int x, int y, Time time);
    void pointerUp(int x, int y);
    void keyDown(XKeyEvent& event);
    void setFocus(DrawnPeer* peer, bool byTab, Time time);
    void moveFocus(bool backwards);
    void losePress();
    void showNextMessage();
    void messageDismissed();
    // Draws what changed into the off-screen picture and copies what needs it to the window.
    void flush();
    bool blocked() const { return box != nullptr || !pending.empty(); }

    cairo_surface_t* buffer = nullptr; // the off-screen picture of the whole form
    cairo_t* canvas = nullptr;
    std::unique_ptr<Blitter> screen; // copies it to the window
    Rect dirty;
    bool mapped = false;
    bool keyboard = false; // the window has the X input focus
    DrawnPeer* focus = nullptr;
    DrawnPeer* tracking = nullptr; // the control the pointer went down on
    bool formPressed = false;      // the pointer went down on a picture or label
    std::vector<Clock::time_point> lastTicks;
    std::deque<std::string> pending;
    // Set when the form is destroyed by a handler that runs from idle (a host that closes the
    // editor from its automation callback): idle then touches nothing more.
    bool* destroyed = nullptr;
};

} // namespace framework::x11
