// The X11 backend's connection to the window system: the trap for the X errors our calls may
// cause, the forms it knows of, and the host's top-level window.
#pragma once

#include <X11/Xlib.h>

namespace framework::x11 {

class FormPeer;

// Held around every call of ours that may fail: the errors about our windows are swallowed while
// it is, and every other goes on to the host's handler. Any thread, any depth.
class ErrorTrap {
  public:
    ErrorTrap();
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
};

// The forms on screen, whose windows' errors the trap knows to be ours.
void enterLiveForms(FormPeer& form);
void leaveLiveForms(FormPeer& form);

// The host's top-level window that holds its window: the error box stays above it.
Window topLevelOf(Display* display, Window window);

} // namespace framework::x11
