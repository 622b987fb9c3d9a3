// Writes the layout of the editor as the Win32 backend shows it (tests/LayoutDump.h) for the
// comparison with the Linux editor: the plug-in's own code, its editor opened in a host's window
// on the (virtual) display, so labels are measured in the font Windows gives them.
//   write_layout FILE
#include <windows.h>

#include <cstdio>
#include <fstream>

#include "editor/uPluginEditor.h"
#include "host/Morvo.h"
#include "sequencer/uPlugin.h"
#include "tests/LayoutDump.h"
#include "tests/windows/WindowsPath.h"

namespace {

VstIntPtr VSTCALLBACK hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*,
                                   float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    HWND host = CreateWindowExA(0, "STATIC", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700,
                                380, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    AEffect* effect = pluginMain(hostCallback);
    if (host == nullptr || effect == nullptr ||
        effect->dispatcher(effect, effEditOpen, 0, 0, host, 0.0f) != 1) {
        std::fprintf(stderr, "the editor did not open\n");
        return 1;
    }
    auto* editor = static_cast<APluginEditor*>(static_cast<APlugin*>(effect->object)->getEditor());
    std::ofstream out(windowsPath(argv[1]), std::ios::binary); // lines end as on Linux
    const int lines = writeLayout(*editor->window(), out);
    out.close();
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    DestroyWindow(host);
    std::printf("%d controls\n", lines);
    return out ? 0 : 1;
}
