// The LV2 host rig's instance, loaded through lilv as LV2 hosts load a bundle: the urid:map and a
// promised maxBlockLength as its features, every port connected to a buffer of the host's (audio
// of the longest block, atom input and output, a float for each control port, the inputs at
// their defaults), run, and what it sent read back.
#pragma once

#include <lilv/lilv.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include "tests/lv2/Lv2Rig.h"

namespace lv2_rig {

// The bundle folder's plug-in (of `uri`, or its only one), in a lilv world of its own.
struct Bundle {
    LilvWorld* world = lilv_world_new();
    const LilvPlugin* plugin = nullptr;
    explicit Bundle(const std::string& folder, const char* uri = nullptr) {
        lilv_world_load_specifications(world);
        lilv_world_load_plugin_classes(world);
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, (folder + "/").c_str());
        lilv_world_load_bundle(world, bundle);
        const LilvPlugins* all = lilv_world_get_all_plugins(world);
        LILV_FOREACH(plugins, i, all) {
            const LilvPlugin* candidate = lilv_plugins_get(all, i);
            if (lilv_node_equals(lilv_plugin_get_bundle_uri(candidate), bundle) &&
                (uri == nullptr ||
                 std::strcmp(lilv_node_as_uri(lilv_plugin_get_uri(candidate)), uri) == 0))
                plugin = candidate;
        }
        lilv_node_free(bundle);
    }
    ~Bundle() { lilv_world_free(world); }
    LilvNode* node(const char* uri) const { return lilv_new_uri(world, uri); }
};

class Instance {
  public:
    static constexpr std::size_t kAtomBytes = 1 << 16;

    Instance(const Bundle& bundle, UriMap& uris, double rate, std::int32_t maxBlock,
             std::uint32_t longestBlock)
        : uriMap(uris), blockOption(maxBlock) {
        if (bundle.plugin == nullptr) return;
        const LilvPlugin* plugin = bundle.plugin;
        LilvNode* audioClass = bundle.node(LILV_URI_AUDIO_PORT);
        LilvNode* atomClass = bundle.node(LV2_ATOM__AtomPort);
        LilvNode* controlClass = bundle.node(LILV_URI_CONTROL_PORT);
        LilvNode* inputClass = bundle.node(LILV_URI_INPUT_PORT);
        const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
        controls.assign(ports, 0.0f);
        audio.assign(ports * longestBlock, 0.0f);
        for (std::uint32_t p = 0; p < ports; ++p) {
            const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
            const bool input = lilv_port_is_a(plugin, port, inputClass);
            if (lilv_port_is_a(plugin, port, audioClass)) {
                buffers.emplace_back(p, audio.data() + p * longestBlock);
            } else if (lilv_port_is_a(plugin, port, atomClass)) {
                buffers.emplace_back(p, input ? control.data() : notify.data());
            } else if (lilv_port_is_a(plugin, port, controlClass)) {
                buffers.emplace_back(p, &controls[p]);
                if (!input) continue;
                LilvNode* value = nullptr;
                lilv_port_get_range(plugin, port, &value, nullptr, nullptr);
                controls[p] = value != nullptr ? lilv_node_as_float(value) : 0.0f;
                lilv_node_free(value);
                LilvNode* name = lilv_port_get_name(plugin, port);
                names.emplace_back(lilv_node_as_string(name));
                lilv_node_free(name);
                parameters.push_back(p);
            }
        }
        for (LilvNode* node : {audioClass, atomClass, controlClass, inputClass})
            lilv_node_free(node);
        instance = lilv_plugin_instantiate(plugin, rate, features);
        if (instance == nullptr) return;
        connect();
        lilv_instance_activate(instance);
    }
    ~Instance() {
        if (instance == nullptr) return;
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    Instance(const Instance&) = delete;

    // Every port to its buffer, as at the start.
    void connect() {
        for (const auto& [port, buffer] : buffers)
            connect(port, buffer);
    }
    void connect(std::uint32_t port, void* data) {
        lilv_instance_connect_port(instance, port, data);
    }
    // One block, the atom output offering `capacity` bytes.
    void run(std::uint32_t frames) {
        reinterpret_cast<LV2_Atom*>(notify.data())->size = capacity;
        reinterpret_cast<LV2_Atom*>(notify.data())->type = 0;
        lilv_instance_run(instance, frames);
    }
    // What the block sent: take(frame, bytes) for each message; null, or what is wrong with it.
    template <typename Take> const char* read(std::uint32_t frames, Take&& take) {
        return readOutput(notify.data(), capacity, frames, uriMap, take);
    }

    LilvInstance* instance = nullptr;
    std::vector<float> audio; // the longest block for each port, by port index
    std::vector<std::uint64_t> control = std::vector<std::uint64_t>(kAtomBytes / 8);
    std::vector<std::uint64_t> notify = std::vector<std::uint64_t>(kAtomBytes / 8);
    std::vector<float> controls;             // by port index
    std::vector<std::uint32_t> parameters;   // the control inputs
    std::vector<std::string> names;          // and their names
    std::uint32_t capacity = kAtomBytes - 8; // what the atom output offers
    UriMap& uriMap;
    AtomSequence in{control, uriMap};

  private:
    std::vector<std::pair<std::uint32_t, void*>> buffers;
    std::int32_t blockOption;
    LV2_Options_Option options[2] = {{LV2_OPTIONS_INSTANCE, 0, uriMap(LV2_BUF_SIZE__maxBlockLength),
                                      sizeof blockOption, uriMap(LV2_ATOM__Int), &blockOption},
                                     {}};
    LV2_Feature mapFeature{LV2_URID__map, &uriMap.map};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
    const LV2_Feature* features[3] = {&mapFeature, &optionsFeature, nullptr};
};

} // namespace lv2_rig
