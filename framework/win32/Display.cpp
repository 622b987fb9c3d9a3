#include "Display.h"

#include "Peers.h"

namespace framework::win32 {

std::mutex sharedTables;

namespace {
int shownForms = 0;
} // namespace

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&thisModule), &module);
    return module;
}

bool enterShownForm() {
    const std::lock_guard<std::mutex> lock(sharedTables);
    if (shownForms == 0) {
        WNDCLASSEXA container{};
        container.cbSize = sizeof container;
        container.lpfnWndProc = containerProc;
        container.hInstance = thisModule();
        container.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        container.lpszClassName = kContainerClass;
        if (RegisterClassExA(&container) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return false;
    }
    ++shownForms;
    return true;
}

void leaveShownForm() {
    const std::lock_guard<std::mutex> lock(sharedTables);
    if (--shownForms > 0) return;
    UnregisterClassA(kContainerClass, thisModule());
}

DWORD baseStyle(const Control& control) {
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (control.isVisible()) style |= WS_VISIBLE;
    if (control.tabOrder >= 0) style |= WS_TABSTOP;
    return style;
}

HWND createWindow(const char* className, const char* text, DWORD style, const Rect& box,
                  HWND parent, void* param) {
    return CreateWindowExA(0, className, text, style, box.left, box.top, box.width, box.height,
                           parent, nullptr, thisModule(), param);
}

} // namespace framework::win32
