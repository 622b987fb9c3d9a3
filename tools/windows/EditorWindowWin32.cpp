// The editor's window on Windows: a plain top-level window whose client area the editor fills.
#include <windows.h>

#include "windows/EditorWindow.h"

namespace {

const char* const kWindowClass = "MorvoHostEditor";

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Closing by the user is handled by EditorWindow::idle, which closes the editor first.
    if (message == WM_CLOSE) {
        SetPropA(window, "closeAsked", reinterpret_cast<HANDLE>(1));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

struct EditorWindow::System {
    HWND window = nullptr;
};

bool EditorWindow::open(guest::Guest& plugin, const std::string& title, std::string& why) {
    // Some editors, this plug-in's among them, know their size only once they are open: the
    // window starts at a provisional size and takes the editor's after effEditOpen.
    int width = kProvisionalWidth, height = kProvisionalHeight;
    plugin.editorSize(width, height);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, style, FALSE);
    HWND window = CreateWindowExA(0, kWindowClass, title.c_str(), style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        why = "no window could be made for the editor";
        return false;
    }
    if (!plugin.openEditor(window)) {
        DestroyWindow(window);
        why = "the plug-in did not open its editor (effEditOpen answered 0)";
        return false;
    }
    if (int w = 0, h = 0; plugin.editorSize(w, h) && (w != width || h != height)) {
        RECT sized{0, 0, w, h};
        AdjustWindowRect(&sized, style, FALSE);
        SetWindowPos(window, nullptr, 0, 0, sized.right - sized.left, sized.bottom - sized.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    system = new System{window};
    shown = &plugin;
    return true;
}

void EditorWindow::idle() {
    if (shown == nullptr) return;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (GetPropA(system->window, "closeAsked") != nullptr) {
        close();
        return;
    }
    shown->idleEditor();
}

void EditorWindow::close() {
    if (shown == nullptr) return;
    shown->closeEditor();
    shown = nullptr;
    RemovePropA(system->window, "closeAsked");
    DestroyWindow(system->window);
    delete system;
    system = nullptr;
}
