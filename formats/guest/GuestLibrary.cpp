#include "formats/guest/GuestLibrary.h"

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace guest {

namespace {

bool fileExists(const std::string& path) {
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        return true;
    }
    return false;
}

EntryFunction findSymbol(void* handle, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<EntryFunction>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name)));
#else
    return reinterpret_cast<EntryFunction>(dlsym(handle, name));
#endif
}

} // namespace

EntryFunction Library::open(const std::string& path, std::string& error) {
    close();
    if (!fileExists(path)) {
        error = "no such file";
        return nullptr;
    }
#if defined(_WIN32)
    handle = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (handle == nullptr) {
        error = "not a library this host can load";
        return nullptr;
    }
    EntryFunction entry = findSymbol(handle, "VSTPluginMain");
    if (entry == nullptr) entry = findSymbol(handle, "main");
    if (entry == nullptr) error = "exports neither VSTPluginMain nor main";
    return entry;
}

void Library::close() {
    if (handle == nullptr) return;
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
    handle = nullptr;
}

} // namespace guest
