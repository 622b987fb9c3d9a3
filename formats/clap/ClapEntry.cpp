// The CLAP library's one export, clap_entry, with its factory of one plug-in, described as the
// plug-in describes itself.
#include <cctype>
#include <cstring>
#include <new>

#include "formats/clap/ClapPlugin.h"
#include "formats/shared/PluginFacts.h"
#include "host/FloatingPoint.h"

#if defined(_WIN32)
#define MORVO_CLAP_EXPORT __declspec(dllexport)
#else
#define MORVO_CLAP_EXPORT __attribute__((visibility("default")))
#endif

namespace clap_door {

using namespace clap_abi;

namespace {

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_NOTE_EFFECT, CLAP_PLUGIN_FEATURE_UTILITY,
                                 nullptr};

// A part of a reverse-DNS id: the name in lower case, with a dash for what is neither a letter
// nor a digit.
std::string idPart(const std::string& name) {
    std::string part;
    for (const char c : name)
        part += std::isalnum(static_cast<unsigned char>(c)) != 0
                    ? static_cast<char>(std::tolower(static_cast<unsigned char>(c)))
                    : '-';
    return part;
}

std::uint32_t pluginCount(const clap_plugin_factory*) {
    return library().described ? 1 : 0;
}

const clap_plugin_descriptor* descriptor(const clap_plugin_factory*, std::uint32_t index) {
    return index == 0 && library().described ? &library().descriptor : nullptr;
}

const clap_plugin* createPlugin(const clap_plugin_factory*, const clap_host* host, const char* id) {
    // A host of another major version lays its records out differently.
    if (host == nullptr || id == nullptr || host->clap_version.major < 1 ||
        host->clap_version.major > CLAP_VERSION.major || !library().described ||
        std::strcmp(id, library().id.c_str()) != 0)
        return nullptr;
    auto* door = new (std::nothrow) ClapPlugin(host);
    return door != nullptr ? door->record() : nullptr;
}

const clap_plugin_factory kFactory{pluginCount, descriptor, createPlugin};

// The library is described here, where hosts expect a library's work at loading, before they
// ask the factory.
bool entryInit(const char*) {
    return library().described;
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

Library::Library() {
    if (!plugin_facts::describe(kFormat, facts)) return;
    id = "com." + idPart(facts.vendor) + "." + idPart(facts.name);
    providerId = id + ".programs";
    descriptor = {CLAP_VERSION,
                  id.c_str(),
                  facts.name.c_str(),
                  facts.vendor.c_str(),
                  "",
                  "",
                  "",
                  facts.version.c_str(),
                  "A 16-step sequencer of MIDI Control Change values",
                  kFeatures};
    provider = {CLAP_VERSION, providerId.c_str(), facts.name.c_str(), facts.vendor.c_str()};
    described = true;
}

// Made once, on the first thread that asks; the strings stay where the descriptors point until
// the library is unloaded.
const Library& library() {
    static const Library made;
    return made;
}

} // namespace clap_door

extern "C" MORVO_CLAP_EXPORT const clap_abi::clap_plugin_entry clap_entry{
    clap_abi::CLAP_VERSION, clap_door::entryInit, clap_door::entryDeinit, clap_door::factory};
