// The plug-in's editor in a top-level window of its own, as a host shows it: the window sized
// from effEditGetRect and handed to effEditOpen, effEditIdle called regularly from the thread
// that owns the window, effEditClose at the end. X11 on Linux, Win32 on Windows. Every call
// belongs to the user-interface thread.
#pragma once

#include <string>

#include "formats/guest/Guest.h"

class EditorWindow {
  public:
    EditorWindow() = default;
    ~EditorWindow() { close(); }
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // Opens the window and the editor in it; on failure returns false with the reason, and
    // nothing stays open.
    bool open(guest::Guest& plugin, const std::string& title, std::string& why);
    // Handles the window's pending events and lets the editor idle. A window the user closed
    // closes the editor; the plug-in plays on.
    void idle();
    void close();
    bool isOpen() const { return shown != nullptr; }

  private:
    guest::Guest* shown = nullptr; // the guest whose editor is open
    struct System;
    System* system = nullptr;
};

// The window's size until the editor gives its own.
constexpr int kProvisionalWidth = 400, kProvisionalHeight = 300;
