// What the shared library exports: VSTPluginMain, which current hosts look up first, and main,
// which older hosts look up. Built into the library only, so test programs keep their own main.
#include "FloatingPoint.h"
#include "Morvo.h"

#if defined(_WIN32)
#define MORVO_EXPORT
#else
#define MORVO_EXPORT __attribute__((visibility("default")))
#endif

extern "C" MORVO_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback audioMaster) {
    return pluginMain(audioMaster);
}

#if !defined(_WIN32)
// C++ reserves the name main, so the ELF symbol gets it through an assembler label. The Windows
// builds export main from VSTPluginMain through their module-definition files.
extern "C" MORVO_EXPORT AEffect* morvoLegacyMain(audioMasterCallback audioMaster) __asm__("main");
extern "C" AEffect* morvoLegacyMain(audioMasterCallback audioMaster) {
    return pluginMain(audioMaster);
}
#endif

namespace {

// Hosts load plug-ins on threads whose floating-point state may trap; the plug-in's arithmetic
// (divisions by a tempo of 0 included) must never raise an exception inside the host.
struct LoadTimeSetup {
    LoadTimeSetup() { maskFloatingPointExceptions(); }
} loadTimeSetup;

} // namespace
