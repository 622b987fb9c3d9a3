// A VST 3 module loaded as hosts load it, for the tests and morvo-vst3-play: the library inside its
// bundle opened (dlopen, LoadLibrary), its module entry called, and its factory taken from
// GetPluginFactory; the module exit called and the library closed at the end.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <string>

#include "formats/vst3/Vst3Interface.h"

namespace vst3_module {

// Where a bundle keeps its library for this platform, from the bundle's folder.
#if defined(_WIN32) && defined(_WIN64)
inline constexpr const char* kArchitectureFolder = "x86_64-win";
#elif defined(_WIN32)
inline constexpr const char* kArchitectureFolder = "x86-win";
#else
inline constexpr const char* kArchitectureFolder = "x86_64-linux";
#endif

class Module {
  public:
    // `path`: the library itself.
    explicit Module(const std::string& path) {
#if defined(_WIN32)
        handle = LoadLibraryA(path.c_str());
        if (handle == nullptr) return;
        auto symbol = [&](const char* name) {
            return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
        };
        auto enter = reinterpret_cast<vst3_abi::InitModuleProc>(symbol("InitDll"));
        exit = reinterpret_cast<void*>(symbol("ExitDll"));
        entered = enter != nullptr && enter();
#else
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
        auto symbol = [&](const char* name) { return dlsym(handle, name); };
        auto enter = reinterpret_cast<vst3_abi::ModuleEntryProc>(symbol("ModuleEntry"));
        exit = symbol("ModuleExit");
        entered = enter != nullptr && enter(handle);
#endif
        // Hosts take the factory only from a module that entered.
        auto get = reinterpret_cast<vst3_abi::GetFactoryProc>(symbol("GetPluginFactory"));
        if (entered && get != nullptr) factory = get();
    }
    ~Module() {
        if (factory != nullptr) factory->vtbl->factory2.factory.unknown.release(factory);
#if defined(_WIN32)
        if (entered && exit != nullptr) reinterpret_cast<vst3_abi::ExitModuleProc>(exit)();
        if (handle != nullptr) FreeLibrary(static_cast<HMODULE>(handle));
#else
        if (entered && exit != nullptr) reinterpret_cast<vst3_abi::ModuleExitProc>(exit)();
        if (handle != nullptr) dlclose(handle);
#endif
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    bool loaded() const {
        return handle != nullptr;
    }
    bool entered = false;
    vst3_abi::IPluginFactory3* factory = nullptr;

  private:
    void* handle = nullptr;
    void* exit = nullptr;
};

} // namespace vst3_module
