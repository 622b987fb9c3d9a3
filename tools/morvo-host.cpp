// morvo-host: a small command-line VST 2 host. It loads a plug-in library through its entry
// point, as a host does, and prints what the effect record says.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/DAEffectX.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using EntryPoint = AEffect*(VSTCALLBACK*)(audioMasterCallback);

VstIntPtr VSTCALLBACK hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*,
                                   float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

EntryPoint findEntryPoint(const char* path, std::string& error) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        error = "cannot load the library";
        return nullptr;
    }
    auto entry = reinterpret_cast<EntryPoint>(
        reinterpret_cast<void*>(GetProcAddress(module, "VSTPluginMain")));
    if (entry == nullptr)
        entry =
            reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(module, "main")));
#else
    void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        error = dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<EntryPoint>(dlsym(module, "VSTPluginMain"));
    if (entry == nullptr) entry = reinterpret_cast<EntryPoint>(dlsym(module, "main"));
#endif
    if (entry == nullptr) error = "neither VSTPluginMain nor main is exported";
    return entry;
}

std::string fourChars(std::int32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(argc == 2 ? stdout : stderr, "usage: morvo-host LIBRARY\n");
        return argc == 2 ? 0 : 2;
    }
    std::string error;
    EntryPoint entry = findEntryPoint(argv[1], error);
    if (entry == nullptr) {
        std::fprintf(stderr, "morvo-host: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    AEffect* effect = entry(hostCallback);
    if (effect == nullptr || effect->magic != kEffectMagic) {
        std::fprintf(stderr, "morvo-host: %s: the entry point gave no effect record\n", argv[1]);
        return 1;
    }
    char name[256] = "", vendor[256] = "";
    effect->dispatcher(effect, effGetEffectName, 0, 0, name, 0.0f);
    effect->dispatcher(effect, effGetVendorString, 0, 0, vendor, 0.0f);
    std::printf("library    %s\n", argv[1]);
    std::printf("plug-in    %s by %s\n", name[0] ? name : "(no name)",
                vendor[0] ? vendor : "(no vendor)");
    std::printf("unique id  %s (0x%08X)\n", fourChars(effect->uniqueID).c_str(),
                static_cast<unsigned>(effect->uniqueID));
    std::printf("programs   %d\nparameters %d\ninputs     %d\noutputs    %d\n", effect->numPrograms,
                effect->numParams, effect->numInputs, effect->numOutputs);
    std::printf("flags      0x%X\nversion    %d\n", static_cast<unsigned>(effect->flags),
                effect->version);
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    return 0;
}
