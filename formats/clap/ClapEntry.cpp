// The CLAP library's one export, clap_entry, with its factory of one plug-in.
#include <cstring>
#include <new>

#include "formats/clap/ClapPlugin.h"
#include "host/FloatingPoint.h"

#if defined(_WIN32)
#define MORVO_CLAP_EXPORT __declspec(dllexport)
#else
#define MORVO_CLAP_EXPORT __attribute__((visibility("default")))
#endif

#ifndef MORVO_VERSION
#define MORVO_VERSION "1.2.0"
#endif

namespace clap_door {

using namespace clap_abi;

namespace {

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_NOTE_EFFECT, CLAP_PLUGIN_FEATURE_UTILITY,
                                 nullptr};

std::uint32_t pluginCount(const clap_plugin_factory*) {
    return 1;
}

const clap_plugin_descriptor* descriptor(const clap_plugin_factory*, std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin* createPlugin(const clap_plugin_factory*, const clap_host* host, const char* id) {
    // A host of another major version lays its records out differently.
    if (host == nullptr || id == nullptr || host->clap_version.major < 1 ||
        host->clap_version.major > CLAP_VERSION.major || std::strcmp(id, kDescriptor.id) != 0)
        return nullptr;
    auto* door = new (std::nothrow) ClapPlugin(host);
    return door != nullptr ? door->record() : nullptr;
}

const clap_plugin_factory kFactory{pluginCount, descriptor, createPlugin};

bool entryInit(const char*) {
    return true;
}
void entryDeinit() {}
const void* factory(const char* id) {
    if (id == nullptr) return nullptr;
    if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0) return &kFactory;
    if (std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID) == 0 ||
        std::strcmp(id, CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT) == 0)
        return &kPresetDiscovery;
    return nullptr;
}

// Hosts load plug-ins on threads whose floating-point state may trap; the plug-in's arithmetic
// must never raise an exception inside the host.
struct LoadTimeSetup {
    LoadTimeSetup() { maskFloatingPointExceptions(); }
} loadTimeSetup;

} // namespace

const clap_plugin_descriptor kDescriptor{CLAP_VERSION,
                                         "com.halvark.ostrel",
                                         "Ostrel",
                                         "Halvark",
                                         "",
                                         "",
                                         "",
                                         MORVO_VERSION,
                                         "A 16-step sequencer of MIDI Control Change values",
                                         kFeatures};

} // namespace clap_door

extern "C" MORVO_CLAP_EXPORT const clap_abi::clap_plugin_entry clap_entry{
    clap_abi::CLAP_VERSION, clap_door::entryInit, clap_door::entryDeinit, clap_door::factory};
