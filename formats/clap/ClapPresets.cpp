// The plug-in's programs as CLAP presets: a preset-discovery factory whose one provider declares
// one location inside the plug-in and names each program there, as the record named it when the
// library read it, with its number as the load key; and the preset-load extension, which selects
// the program a key names as a VST 2 host selecting it does.
#include <charconv>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "formats/clap/ClapPlugin.h"

namespace clap_door {

using namespace clap_abi;

namespace {

// Load keys are the programs' numbers in decimal, from 0: what the plug-in's programs are
// indexed by.
std::string loadKey(std::int32_t program) {
    return std::to_string(program);
}

// The program a preset's place names, or -1 for a place that is none of them.
std::int32_t programAt(std::uint32_t kind, const char* location, const char* key,
                       std::int32_t programs) {
    if (kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN || location != nullptr || key == nullptr)
        return -1;
    std::int32_t program = -1;
    const char* end = key + std::strlen(key);
    const auto [stop, error] = std::from_chars(key, end, program);
    if (error != std::errc{} || stop != end || program < 0 || program >= programs ||
        loadKey(program) != key) // one key a program: no signs, no leading zeros
        return -1;
    return program;
}

struct Provider {
    clap_preset_discovery_provider record;
    const clap_preset_discovery_indexer* indexer;

    static const Provider& of(const clap_preset_discovery_provider* p) {
        return *static_cast<const Provider*>(p->provider_data);
    }
    static bool init(const clap_preset_discovery_provider* p) {
        const clap_preset_discovery_indexer* indexer = of(p).indexer;
        const clap_preset_discovery_location programs{
            CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, library().descriptor.name,
            CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr};
        return indexer->declare_location != nullptr &&
               indexer->declare_location(indexer, &programs);
    }
    static void destroy(const clap_preset_discovery_provider* p) { delete &of(p); }
    static bool metadata(const clap_preset_discovery_provider*, std::uint32_t kind,
                         const char* location,
                         const clap_preset_discovery_metadata_receiver* receiver) {
        if (receiver == nullptr || receiver->begin_preset == nullptr ||
            receiver->add_plugin_id == nullptr || kind != CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN ||
            location != nullptr)
            return false;
        const clap_universal_plugin_id plugin{"clap", library().descriptor.id};
        const std::vector<guest::ProgramFacts>& programs = library().facts.programs;
        for (std::size_t p = 0; p < programs.size(); ++p) {
            if (!receiver->begin_preset(receiver, programs[p].name.c_str(),
                                        loadKey(static_cast<std::int32_t>(p)).c_str()))
                break;
            receiver->add_plugin_id(receiver, &plugin);
        }
        return true;
    }
    static const void* extension(const clap_preset_discovery_provider*, const char*) {
        return nullptr;
    }
};

std::uint32_t providerCount(const clap_preset_discovery_factory*) {
    return library().described ? 1 : 0;
}

const clap_preset_discovery_provider_descriptor*
providerDescriptor(const clap_preset_discovery_factory*, std::uint32_t index) {
    return index == 0 && library().described ? &library().provider : nullptr;
}

const clap_preset_discovery_provider* createProvider(const clap_preset_discovery_factory*,
                                                     const clap_preset_discovery_indexer* indexer,
                                                     const char* id) {
    if (indexer == nullptr || id == nullptr || !library().described ||
        std::strcmp(id, library().providerId.c_str()) != 0)
        return nullptr;
    auto* provider = new (std::nothrow) Provider{};
    if (provider == nullptr) return nullptr;
    provider->record = {&library().provider, provider,           Provider::init,
                        Provider::destroy,   Provider::metadata, Provider::extension};
    provider->indexer = indexer;
    return &provider->record;
}

} // namespace

const clap_preset_discovery_factory kPresetDiscovery{providerCount, providerDescriptor,
                                                     createProvider};

struct PresetSlots {
    static bool fromLocation(const clap_plugin* p, std::uint32_t kind, const char* location,
                             const char* key) {
        return ClapPlugin::of(p).loadPreset(kind, location, key);
    }
};

const clap_plugin_preset_load ClapPlugin::presetLoad{PresetSlots::fromLocation};

bool ClapPlugin::loadPreset(std::uint32_t kind, const char* location, const char* key) {
    if (!onMainThread()) return false;
    const std::int32_t program =
        programAt(kind, location, key, static_cast<std::int32_t>(storedPrograms.size()));
    if (program < 0) {
        if (hostPresets != nullptr)
            hostPresets->on_error(host, kind, location, key, 0,
                                  "not one of the plug-in's programs");
        return false;
    }
    selectProgram(program);
    if (hostPresets != nullptr) hostPresets->loaded(host, kind, location, key);
    return true;
}

} // namespace clap_door
