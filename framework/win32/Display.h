// The Win32 backend's window system: this library's module, our window class (registered while
// a form is shown), and the windows made for the controls.
#pragma once

#include <windows.h>

#include <mutex>

#include "framework/Controls.h"

namespace framework::win32 {

// Our own window classes, registered while a form is shown. Hosts unload a plug-in library and
// load it again at another address; a class left registered would point at the old procedure.
constexpr char kContainerClass[] = "HalvarkOstrelContainer";
// Posted to a form to show an error box once the handler that raised it has returned.
constexpr UINT kShowMessage = WM_APP + 1;

// Guards the tables below: the count of shown forms, the class registration that goes with
// it, and the fonts. Taken on user-interface threads only, never on the audio thread.
extern std::mutex sharedTables;

HINSTANCE thisModule();

// Our window class is registered while any form is shown.
bool enterShownForm();
void leaveShownForm();

// The style every control's window starts from: a child, shown or not, a tab stop or not.
DWORD baseStyle(const Control& control);
HWND createWindow(const char* className, const char* text, DWORD style, const Rect& box,
                  HWND parent, void* param = nullptr);

} // namespace framework::win32
