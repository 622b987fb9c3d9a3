// A build without a window system to show an editor in: live play goes on without it.
#include "windows/EditorWindow.h"

struct EditorWindow::System {};

bool EditorWindow::open(guest::Guest&, const std::string&, std::string& why) {
    why = "this morvo-host was built without a window system";
    return false;
}

void EditorWindow::idle() {}

void EditorWindow::close() {}
