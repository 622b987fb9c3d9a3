// How long the editor takes to open under Windows (or Wine), against creating and painting the
// same windows plainly: for each round, the host's part (get rect, open, first paint) is timed,
// then the same child windows (class, style, place, text) are created in a plain window of the
// same size and painted. Prints the medians and their ratio.
//   editor_open LIBRARY [rounds]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/DAEffectX.h"

namespace {

VstIntPtr VSTCALLBACK hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*,
                                   float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

double now() {
    LARGE_INTEGER ticks, frequency;
    QueryPerformanceCounter(&ticks);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Paints what is not painted yet, as a host's message loop would: the plain windows, just
// made, all of them; the editor, which painted itself in open, whatever is left. (Invalidating
// first would time a second full paint of the editor, which no host asks for.)
void paintNow(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

struct Child {
    std::string className, text;
    DWORD style;
    RECT place; // in its parent's client coordinates
    int parent; // index of the parent in the list, -1: the top window
};

BOOL CALLBACK collect(HWND window, LPARAM data) {
    auto& found = *reinterpret_cast<std::vector<HWND>*>(data);
    found.push_back(window);
    return TRUE;
}

// Every window below the editor's, in creation order of parents before children.
std::vector<Child> describe(HWND top) {
    std::vector<HWND> windows;
    EnumChildWindows(top, collect, reinterpret_cast<LPARAM>(&windows));
    std::vector<Child> children;
    for (HWND window : windows) {
        Child child;
        char text[256] = {}, name[64] = {};
        GetClassNameA(window, name, sizeof name);
        GetWindowTextA(window, text, sizeof text);
        // Our own classes become plain static windows: the baseline draws nothing of its own.
        child.className = std::string(name).rfind("Halvark", 0) == 0 ? "Static" : name;
        child.text = text;
        child.style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
        GetWindowRect(window, &child.place);
        MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&child.place), 2);
        const auto at = std::find(windows.begin(), windows.end(), GetParent(window));
        child.parent = at == windows.end() ? -1 : static_cast<int>(at - windows.begin());
        children.push_back(child);
    }
    return children;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LIBRARY [rounds]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    HMODULE library = LoadLibraryA(argv[1]);
    auto entry = library == nullptr ? nullptr
                                    : reinterpret_cast<AEffect*(VSTCALLBACK*)(audioMasterCallback)>(
                                          reinterpret_cast<void*>(GetProcAddress(library, "main")));
    AEffect* effect = entry != nullptr ? entry(hostCallback) : nullptr;
    if (effect == nullptr) {
        std::fprintf(stderr, "%s: no plug-in\n", argv[1]);
        return 1;
    }
    auto dispatch = [&](std::int32_t opcode, void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f);
    };
    dispatch(effOpen);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "EditorOpenHost";
    RegisterClassA(&windowClass);
    HWND host = CreateWindowExA(0, "EditorOpenHost", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                700, 380, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    pump();

    std::vector<double> editor, plain;
    std::vector<Child> children;
    for (int round = 0; round <= rounds; ++round) {
        double start = now();
        ERect* rect = nullptr;
        dispatch(effEditGetRect, &rect);
        dispatch(effEditOpen, host);
        paintNow(host);
        const double opened = now() - start;
        HWND form = GetWindow(host, GW_CHILD);
        if (children.empty()) children = describe(form);
        dispatch(effEditClose);
        pump();

        start = now();
        HWND frame = CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                     626, 280, host, nullptr, GetModuleHandleA(nullptr), nullptr);
        std::vector<HWND> made;
        for (const Child& child : children) {
            HWND parent = child.parent < 0 ? frame : made[static_cast<std::size_t>(child.parent)];
            made.push_back(CreateWindowExA(0, child.className.c_str(), child.text.c_str(),
                                           child.style, child.place.left, child.place.top,
                                           child.place.right - child.place.left,
                                           child.place.bottom - child.place.top, parent, nullptr,
                                           GetModuleHandleA(nullptr), nullptr));
        }
        paintNow(host);
        const double built = now() - start;
        DestroyWindow(frame);
        pump();
        if (round == 0) continue; // the first round loads what the system loads once
        editor.push_back(opened);
        plain.push_back(built);
    }
    dispatch(effClose);
    DestroyWindow(host);
    const double e = median(editor), p = median(plain);
    std::printf("editor open (get rect, open, first paint): %.2f ms\n", e);
    std::printf("the same %zu windows created plainly and painted: %.2f ms\n", children.size(), p);
    std::printf("ratio: %.2f (median of %d rounds)\n", e / p, rounds);
    return 0;
}
