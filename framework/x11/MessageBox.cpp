// The X11 backend's error box: a small window of our own over the editor with the message and
// OK, transient for the host's window, that a window manager treats as a modal dialog.
#include <algorithm>
#include <cerrno>
#include <cmath>

#include "Peers.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

namespace framework::x11 {

MessageBox::MessageBox(FormPeer& owner, const std::string& text) : owner(owner), message(text) {
    Display* display = owner.display;
    const ScaledFont& font = owner.fonts.get(Font{});
    std::string buffer;
    textWidth = static_cast<int>(std::ceil(advance(font, utf8(message, buffer))));
    // Margins, a 32-pixel icon beside the text, and OK centred below.
    width = std::max(12 + 32 + 12 + textWidth + 16, 75 + 24);
    height = 12 + std::max(32, font.lineHeight) + 14 + 23 + 12;
    const int screenNumber = DefaultScreen(display);
    const Window root = RootWindow(display, screenNumber);
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, owner.window, root, 0, 0, &x, &y, &child);
    x += (owner.form.bounds.width - width) / 2;
    y += (owner.form.bounds.height - height) / 2;
    XSetWindowAttributes attributes{};
    attributes.event_mask =
        ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | KeyPressMask | StructureNotifyMask;
    attributes.background_pixmap = None;
    window = XCreateWindow(display, root, x, y, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWEventMask | CWBackPixmap, &attributes);
    // As a window manager sees a dialog: titled, fixed in size, above the host's window, closed
    // by its close button.
    const std::string title = applicationTitle(
        program_invocation_short_name != nullptr ? program_invocation_short_name : "",
        ProgramNames::Posix);
    XStoreName(display, window, title.c_str());
    XSetTransientForHint(display, window, topLevelOf(display, owner.parent));
    XSizeHints* size = XAllocSizeHints();
    size->flags = PPosition | PSize | PMinSize | PMaxSize;
    size->x = x;
    size->y = y;
    size->width = size->min_width = size->max_width = width;
    size->height = size->min_height = size->max_height = height;
    XSetWMNormalHints(display, window, size);
    XFree(size);
    XWMHints* hints = XAllocWMHints();
    hints->flags = InputHint;
    hints->input = True;
    XSetWMHints(display, window, hints);
    XFree(hints);
    Atom deleteWindow = owner.deleteWindow;
    XSetWMProtocols(display, window, &deleteWindow, 1);
    const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    const Atom dialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(display, window, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dialog), 1);
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom modal = XInternAtom(display, "_NET_WM_STATE_MODAL", False);
    XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&modal), 1);
    // The message as text, for screen readers and programs that cannot read pixels.
    const Atom readable = XInternAtom(display, "_MESSAGE_TEXT", False);
    XChangeProperty(display, window, readable, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(message.data()),
                    static_cast<int>(message.size()));
    picture = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    screen = std::make_unique<Blitter>(display, window, DefaultVisual(display, screenNumber),
                                       DefaultDepth(display, screenNumber), picture);
    draw();
    XMapRaised(display, window);
    shown = true;
}

MessageBox::~MessageBox() {
    screen.reset();
    cairo_surface_destroy(picture);
    XDestroyWindow(owner.display, window);
    XFlush(owner.display);
}

bool MessageBox::handle(const XEvent& event) {
    const Rect ok = okButton();
    switch (event.type) {
    case MapNotify:
        // The box has the keyboard, so Enter and Escape answer it.
        XSetInputFocus(owner.display, window, RevertToParent, CurrentTime);
        return false;
    case ButtonPress:
        if (event.xbutton.button != Button1) return false;
        down = over = ok.contains(event.xbutton.x, event.xbutton.y);
        draw();
        return false;
    case MotionNotify:
        if (down && over != ok.contains(event.xmotion.x, event.xmotion.y)) {
            over = !over;
            draw();
        }
        return false;
    case ButtonRelease: {
        if (event.xbutton.button != Button1) return false;
        const bool click = down && ok.contains(event.xbutton.x, event.xbutton.y);
        down = over = false;
        draw();
        return click;
    }
    case KeyPress: {
        XKeyEvent copy = event.xkey;
        KeySym key = NoSymbol;
        char typed[8];
        XLookupString(&copy, typed, sizeof typed, &key, nullptr);
        return key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space;
    }
    case ClientMessage:
        return event.xclient.message_type == owner.protocols &&
               static_cast<Atom>(event.xclient.data.l[0]) == owner.deleteWindow;
    default: return false;
    }
}

void MessageBox::draw() {
    cairo_t* cr = cairo_create(picture);
    fill(cr, {0, 0, width, height}, kFace);
    // The error icon: a red disc with a white cross.
    const double cx = 12 + 16, cy = 12 + 16;
    cairo_arc(cr, cx, cy, 15, 0, 2 * M_PI);
    setColour(cr, 0xFF0000);
    cairo_fill_preserve(cr);
    setColour(cr, 0x800000);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    setColour(cr, kWhite);
    cairo_set_line_width(cr, 3.5);
    cairo_move_to(cr, cx - 7, cy - 7);
    cairo_line_to(cr, cx + 7, cy + 7);
    cairo_move_to(cr, cx + 7, cy - 7);
    cairo_line_to(cr, cx - 7, cy + 7);
    cairo_stroke(cr);
    const ScaledFont& font = owner.fonts.get(Font{});
    std::string buffer;
    drawText(cr, font, 12 + 32 + 12, 12 + (32 - font.lineHeight) / 2, utf8(message, buffer),
             kBlack);
    // OK: the default button, with the keyboard.
    const Rect ok = okButton();
    const bool pushed = down && over;
    frame(cr, ok, kBlack, kBlack);
    if (pushed) {
        fill(cr, inset(ok, 1), kFace);
        frame(cr, inset(ok, 1), kShadow, kShadow);
    } else {
        raisedFace(cr, inset(ok, 1));
    }
    const int captionWidth = static_cast<int>(std::lround(advance(font, "OK")));
    const int shift = pushed ? 1 : 0;
    drawText(cr, font, ok.left + (ok.width - captionWidth) / 2 + shift,
             ok.top + (ok.height - font.lineHeight) / 2 + shift, "OK", kBlack);
    focusRect(cr, inset(ok, 4));
    cairo_destroy(cr);
    screen->copy({0, 0, width, height}, shown);
}

} // namespace framework::x11
