// What the Windows editor tests of the doors look for in a host's window: a step's slider in the
// editor the plug-in put there.
#pragma once

#if defined(_WIN32)
#include <windows.h>

#include <cstring>

namespace editor_windows {

struct Search {
    HWND editor;
    HWND slider = nullptr;
};

inline BOOL CALLBACK findSecondStepSlider(HWND window, LPARAM data) {
    auto& found = *reinterpret_cast<Search*>(data);
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    RECT box{};
    GetWindowRect(window, &box);
    MapWindowPoints(HWND_DESKTOP, found.editor, reinterpret_cast<POINT*>(&box), 2);
    if (std::strcmp(name, "ScrollBar") != 0 || box.left != 52 || box.top != 60) return TRUE;
    found.slider = window;
    return FALSE;
}

} // namespace editor_windows

// The second step's slider: the scroll bar at (52, 60) of the editor; null when there is none.
inline HWND secondStepSlider(HWND editor) {
    editor_windows::Search search{editor};
    EnumChildWindows(editor, editor_windows::findSecondStepSlider,
                     reinterpret_cast<LPARAM>(&search));
    return search.slider;
}
#endif
