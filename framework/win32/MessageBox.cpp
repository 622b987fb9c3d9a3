// The Win32 backend's error box: the system's message box, owned by the host's top-level window,
// shown once the handler that raised it has returned.
#include "Display.h"
#include "Peers.h"

namespace framework::win32 {

void FormPeer::showMessage(const std::string& text) {
    if (!alive()) return;
    pendingMessages.push_back(text);
    PostMessageA(hwnd, kShowMessage, 0, 0);
}

void FormPeer::showPendingMessage() {
    if (pendingMessages.empty()) return;
    const std::string text = std::move(pendingMessages.front());
    pendingMessages.pop_front();
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string title = applicationTitle(path, ProgramNames::Windows);
    HWND owner = GetAncestor(hwnd, GA_ROOT);
    MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
    // The form and this peer may be gone now.
}

} // namespace framework::win32
