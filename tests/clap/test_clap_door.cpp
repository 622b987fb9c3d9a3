// Morvo.clap loaded as a CLAP host loads it, through clap_entry: its descriptor and factory, the
// extensions' answers, the state's round trip and its refusals, and the Control Change stream of
// a song against the VST 2 library's, played through the guest with the same transport.
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "formats/clap/ClapInterface.h"
#include "formats/guest/Guest.h"
#include "tests/AllocationCounter.h"
#include "tests/windows/WindowsPath.h"

using namespace clap_abi;

namespace {

// The build's paths as this program's system shows them.
std::string nativePath(const char* path) {
#if defined(_WIN32)
    return windowsPath(path);
#else
    return path;
#endif
}

constexpr std::uint32_t kParameters = 23;
constexpr std::uint32_t kBlock = 512;
constexpr double kRate = 44100.0;

// The host side of a plug-in: its record, a request_flush counter through host params, and
// timers the plug-in registers (the host's loop calls them; here the test does).
struct TestHost {
    clap_host record{};
    int flushRequests = 0;
    std::vector<std::pair<clap_id, std::uint32_t>> timers; // registered: id and period
    clap_id nextTimer = 7;
    int unknownUnregisters = 0;
    clap_host_timer_support timerSupport{[](const clap_host* h, std::uint32_t period, clap_id* id) {
                                             auto& self = *static_cast<TestHost*>(h->host_data);
                                             *id = self.nextTimer++;
                                             self.timers.emplace_back(*id, period);
                                             return true;
                                         },
                                         [](const clap_host* h, clap_id id) {
                                             auto& self = *static_cast<TestHost*>(h->host_data);
                                             for (auto t = self.timers.begin();
                                                  t != self.timers.end(); ++t)
                                                 if (t->first == id) {
                                                     self.timers.erase(t);
                                                     return true;
                                                 }
                                             ++self.unknownUnregisters;
                                             return false;
                                         }};
    // The thread check, offered when asked for: the thread the host says the call comes from.
    bool checksThreads = false, onAudioThread = false;
    clap_host_thread_check threadCheck{
        [](const clap_host* h) { return !static_cast<TestHost*>(h->host_data)->onAudioThread; },
        [](const clap_host* h) { return static_cast<TestHost*>(h->host_data)->onAudioThread; }};
    clap_param_rescan_flags rescans = 0; // every rescan's flags, or-ed
    clap_host_params params{
        [](const clap_host* h, clap_param_rescan_flags flags) {
            static_cast<TestHost*>(h->host_data)->rescans |= flags;
        },
        nullptr, [](const clap_host* h) { ++static_cast<TestHost*>(h->host_data)->flushRequests; }};
    // What preset-load tells: the keys of the presets loaded, and how many loads failed.
    std::vector<std::string> presetsLoaded;
    int presetErrors = 0;
    clap_host_preset_load presetLoad{
        [](const clap_host* h, std::uint32_t, const char*, const char*, std::int32_t, const char*) {
            ++static_cast<TestHost*>(h->host_data)->presetErrors;
        },
        [](const clap_host* h, std::uint32_t kind, const char* location, const char* key) {
            const bool inside = kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && !location && key;
            static_cast<TestHost*>(h->host_data)->presetsLoaded.push_back(inside ? key : "?");
        }};
    TestHost() {
        record.clap_version = CLAP_VERSION;
        record.host_data = this;
        record.name = "morvo-clap-tests";
        record.vendor = record.url = record.version = "";
        record.get_extension = [](const clap_host* h, const char* id) -> const void* {
            auto& self = *static_cast<TestHost*>(h->host_data);
            if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &self.timerSupport;
            if (self.checksThreads && std::strcmp(id, CLAP_EXT_THREAD_CHECK) == 0)
                return &self.threadCheck;
            if (std::strcmp(id, CLAP_EXT_PRESET_LOAD) == 0) return &self.presetLoad;
            return std::strcmp(id, CLAP_EXT_PARAMS) == 0 ? &self.params : nullptr;
        };
        record.request_restart = record.request_process =
            record.request_callback = [](const clap_host*) {};
    }
};

// Input events of one block, pointing at records the caller keeps.
struct InputEvents {
    std::vector<const clap_event_header*> events;
    clap_input_events record{this,
                             [](const clap_input_events* l) {
                                 return static_cast<std::uint32_t>(
                                     static_cast<InputEvents*>(l->ctx)->events.size());
                             },
                             [](const clap_input_events* l, std::uint32_t i) {
                                 return static_cast<InputEvents*>(l->ctx)->events[i];
                             }};
};

// What the plug-in sends, in fixed storage: pushing allocates nothing.
struct OutputEvents {
    struct Midi {
        std::uint32_t block, time;
        std::uint8_t data[3];
        bool operator==(const Midi& o) const {
            return block == o.block && time == o.time && std::memcmp(data, o.data, 3) == 0;
        }
    };
    std::vector<Midi> midi = std::vector<Midi>(1 << 16);
    std::size_t count = 0, others = 0, unordered = 0;
    std::uint32_t block = 0, lastTime = 0;
    clap_output_events record{this, [](const clap_output_events* l, const clap_event_header* e) {
                                  auto& self = *static_cast<OutputEvents*>(l->ctx);
                                  if (e->time < self.lastTime) ++self.unordered;
                                  self.lastTime = e->time;
                                  if (e->type != CLAP_EVENT_MIDI ||
                                      self.count == self.midi.size()) {
                                      ++self.others;
                                      return true;
                                  }
                                  const auto& m = *reinterpret_cast<const clap_event_midi*>(e);
                                  Midi& kept = self.midi[self.count++];
                                  kept = {self.block, e->time, {}};
                                  std::memcpy(kept.data, m.data, 3);
                                  return m.port_index == 0;
                              }};
    void startBlock(std::uint32_t b) {
        block = b;
        lastTime = 0;
    }
};

// The library opened as a host opens it, and its entry found by name.
struct Library {
#if defined(_WIN32)
    HMODULE handle = LoadLibraryA(nativePath(MORVO_CLAP_PATH).c_str());
    void* find(const char* name) {
        return handle ? reinterpret_cast<void*>(GetProcAddress(handle, name)) : nullptr;
    }
    void close() {
        FreeLibrary(handle);
    }
#else
    void* handle = dlopen(MORVO_CLAP_PATH, RTLD_NOW | RTLD_LOCAL);
    void* find(const char* name) {
        return handle ? dlsym(handle, name) : nullptr;
    }
    void close() {
        dlclose(handle);
    }
#endif
    const clap_plugin_entry* entry = static_cast<const clap_plugin_entry*>(find("clap_entry"));
    const clap_plugin_factory* factory = nullptr;
    Library() {
        if (entry != nullptr && entry->init(MORVO_CLAP_PATH))
            factory =
                static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    }
    ~Library() {
        if (entry != nullptr) entry->deinit();
        if (handle != nullptr) close();
    }
};

class ClapDoor : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(library.factory, nullptr) << MORVO_CLAP_PATH;
        plugin =
            library.factory->create_plugin(library.factory, &host.record, "com.halvark.ostrel");
        ASSERT_NE(plugin, nullptr);
        ASSERT_TRUE(plugin->init(plugin));
        params =
            static_cast<const clap_plugin_params*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
        state =
            static_cast<const clap_plugin_state*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
        ASSERT_TRUE(params != nullptr && state != nullptr);
    }
    void TearDown() override {
        if (plugin != nullptr) plugin->destroy(plugin);
    }
    double value(clap_id id) {
        double v = -1.0;
        EXPECT_TRUE(params->get_value(plugin, id, &v));
        return v;
    }
    // Parameter changes through params flush, as a host sends them while not processing.
    void setValues(const std::vector<std::pair<clap_id, double>>& changes) {
        std::vector<clap_event_param_value> events(changes.size());
        InputEvents in;
        for (std::size_t i = 0; i < changes.size(); ++i) {
            events[i].header = {sizeof events[i], 0, 0, CLAP_EVENT_PARAM_VALUE, 0};
            events[i].param_id = changes[i].first;
            events[i].value = changes[i].second;
            in.events.push_back(&events[i].header);
        }
        OutputEvents out;
        params->flush(plugin, &in.record, &out.record);
    }
    std::vector<std::uint8_t> save() {
        std::vector<std::uint8_t> blob;
        clap_ostream stream{&blob, [](const clap_ostream* s, const void* data, std::uint64_t size) {
                                auto* to = static_cast<std::vector<std::uint8_t>*>(s->ctx);
                                const auto* from = static_cast<const std::uint8_t*>(data);
                                // A host stream that takes at most 100 bytes at a time.
                                size = std::min<std::uint64_t>(size, 100);
                                to->insert(to->end(), from, from + size);
                                return static_cast<std::int64_t>(size);
                            }};
        EXPECT_TRUE(state->save(plugin, &stream));
        return blob;
    }
    bool load(const std::vector<std::uint8_t>& blob) {
        struct Cursor {
            const std::vector<std::uint8_t>* blob;
            std::size_t at;
        } cursor{&blob, 0};
        clap_istream stream{&cursor, [](const clap_istream* s, void* data, std::uint64_t size) {
                                auto& c = *static_cast<Cursor*>(s->ctx);
                                size = std::min<std::uint64_t>({size, 7, c.blob->size() - c.at});
                                if (size > 0) std::memcpy(data, c.blob->data() + c.at, size);
                                c.at += size;
                                return static_cast<std::int64_t>(size);
                            }};
        return state->load(plugin, &stream);
    }

    Library library;
    TestHost host;
    const clap_plugin* plugin = nullptr;
    const clap_plugin_params* params = nullptr;
    const clap_plugin_state* state = nullptr;
};

// The VST 2 library through the guest, for what the CLAP door must show the same.
struct Vst2 {
    guest::Guest hosted{{.incomingCapacity = 64}};
    Vst2() {
        std::string error;
        EXPECT_TRUE(hosted.load(nativePath(MORVO_VST2_PATH), error)) << error;
        hosted.open();
    }
};

// The state blob: "OSTR" and four words (version, programs, parameters, current program), then
// each program's 32-byte name and values, then the checksum.
constexpr std::size_t kHeader = 20, kCurrentAt = 16, kProgram = 32 + 4 * kParameters;
constexpr std::size_t valueAt(std::size_t program, std::size_t parameter) {
    return kHeader + program * kProgram + 32 + 4 * parameter;
}

// A blob changed by hand, with its FNV-1a checksum made to hold again.
void reseal(std::vector<std::uint8_t>& blob) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i + 4 < blob.size(); ++i)
        hash = (hash ^ blob[i]) * 16777619u;
    std::memcpy(blob.data() + blob.size() - 4, &hash, 4);
}

} // namespace

TEST_F(ClapDoor, FactoryOffersOneDescriptorAndCreatesOnlyItForCompatibleHosts) {
    ASSERT_EQ(library.factory->get_plugin_count(library.factory), 1u);
    const clap_plugin_descriptor* d = library.factory->get_plugin_descriptor(library.factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(library.factory->get_plugin_descriptor(library.factory, 1), nullptr);
    EXPECT_EQ(d, plugin->desc);
    EXPECT_STREQ(d->id, "com.halvark.ostrel");
    EXPECT_STREQ(d->name, "Ostrel");
    EXPECT_STREQ(d->vendor, "Halvark");
    EXPECT_STRNE(d->version, "");
    ASSERT_TRUE(d->features[0] && d->features[1]);
    EXPECT_STREQ(d->features[0], "note-effect");
    EXPECT_STREQ(d->features[1], "utility");
    EXPECT_EQ(d->features[2], nullptr);
    EXPECT_EQ(library.entry->get_factory("clap.plugin-invalidation-factory/1"), nullptr);
    EXPECT_EQ(library.factory->create_plugin(library.factory, &host.record, "com.halvark.other"),
              nullptr);
    TestHost ancient;
    ancient.record.clap_version = {0, 9, 0};
    EXPECT_EQ(library.factory->create_plugin(library.factory, &ancient.record, d->id), nullptr);
}

TEST_F(ClapDoor, ExtensionsAnswerAsTheRecordDoes) {
    const auto* audio = static_cast<const clap_plugin_audio_ports*>(
        plugin->get_extension(plugin, CLAP_EXT_AUDIO_PORTS));
    const auto* notes = static_cast<const clap_plugin_note_ports*>(
        plugin->get_extension(plugin, CLAP_EXT_NOTE_PORTS));
    const auto* latency =
        static_cast<const clap_plugin_latency*>(plugin->get_extension(plugin, CLAP_EXT_LATENCY));
    ASSERT_TRUE(audio && notes && latency);
    EXPECT_EQ(plugin->get_extension(plugin, "clap.surround"), nullptr);
    EXPECT_EQ(latency->get(plugin), 0u);
    // The editor keeps one size: its resize hints, which hosts ask for, allow no resizing.
    const auto* gui =
        static_cast<const clap_plugin_gui*>(plugin->get_extension(plugin, CLAP_EXT_GUI));
    ASSERT_NE(gui, nullptr);
    clap_gui_resize_hints hints{true, true, true, 3, 4};
    ASSERT_TRUE(gui->get_resize_hints(plugin, &hints));
    EXPECT_FALSE(hints.can_resize_horizontally || hints.can_resize_vertically ||
                 hints.preserve_aspect_ratio || hints.aspect_ratio_width != 0 ||
                 hints.aspect_ratio_height != 0);
    for (bool input : {true, false}) {
        clap_audio_port_info a{};
        clap_note_port_info n{};
        ASSERT_EQ(audio->count(plugin, input) * 10 + notes->count(plugin, input), 11u);
        ASSERT_TRUE(audio->get(plugin, 0, input, &a) && notes->get(plugin, 0, input, &n));
        EXPECT_FALSE(audio->get(plugin, 1, input, &a) || notes->get(plugin, 1, input, &n));
        EXPECT_EQ(a.channel_count, 2u);
        EXPECT_STREQ(a.port_type, CLAP_PORT_STEREO);
        EXPECT_EQ(a.in_place_pair, 0u);
        EXPECT_EQ(n.supported_dialects, CLAP_NOTE_DIALECT_MIDI);
        EXPECT_EQ(n.preferred_dialect, CLAP_NOTE_DIALECT_MIDI);
    }

    Vst2 vst2;
    ASSERT_EQ(params->count(plugin), kParameters);
    clap_param_info info{};
    EXPECT_FALSE(params->get_info(plugin, kParameters, &info));
    int unautomatable = 0;
    for (clap_id i = 0; i < kParameters; ++i) {
        ASSERT_TRUE(params->get_info(plugin, i, &info));
        const std::string name = vst2.hosted.parameterName(static_cast<std::int32_t>(i));
        EXPECT_EQ(info.id, i);
        EXPECT_EQ(info.name, name);
        const bool automatable = (info.flags & CLAP_PARAM_IS_AUTOMATABLE) != 0;
        EXPECT_EQ(automatable, name.find("-Do not automate") == std::string::npos) << name;
        unautomatable += !automatable;
        EXPECT_EQ(info.min_value, 0.0);
        EXPECT_EQ(info.max_value, 1.0);
        EXPECT_EQ(info.default_value, vst2.hosted.parameter(static_cast<std::int32_t>(i)));
        EXPECT_EQ(value(i), info.default_value);

        // Any value's text is the record's display of it, and leaves the value as it was.
        const double probe = 0.137 + 0.031 * i;
        char text[64];
        ASSERT_TRUE(params->value_to_text(plugin, i, probe, text, sizeof text));
        vst2.hosted.setParameter(static_cast<std::int32_t>(i), static_cast<float>(probe));
        EXPECT_EQ(text, vst2.hosted.parameterText(static_cast<std::int32_t>(i)));
        EXPECT_EQ(value(i), info.default_value);
        double back = -1.0;
        ASSERT_TRUE(params->text_to_value(plugin, i, text, &back)) << text;
        // The text shows two decimals: parsed back it is within half a hundredth and reads
        // the same.
        EXPECT_NEAR(back, probe, 0.0051);
        char again[64];
        ASSERT_TRUE(params->value_to_text(plugin, i, back, again, sizeof again));
        EXPECT_STREQ(again, text);
    }
    EXPECT_EQ(unautomatable, 2);
    double parsed = -1.0;
    EXPECT_FALSE(params->text_to_value(plugin, 0, "loud", &parsed));
    EXPECT_FALSE(params->text_to_value(plugin, 0, "1.5", &parsed));
    EXPECT_FALSE(params->text_to_value(plugin, kParameters, "0.5", &parsed));
    EXPECT_TRUE(params->text_to_value(plugin, 0, "0,25", &parsed));
    EXPECT_EQ(parsed, 0.25);
    EXPECT_FALSE(params->get_value(plugin, kParameters, &parsed));
    // Values that are no numbers never reach the plug-in, which would take them for 0 or 1.
    const double infinity = std::numeric_limits<double>::infinity();
    setValues({{3, 0.25}, {17, 0.75}, {3, std::nan("")}, {17, infinity}, {3, -infinity}});
    EXPECT_EQ(value(3), 0.25);
    EXPECT_EQ(value(17), 0.75);
}

TEST_F(ClapDoor, StateRoundTripsBitForBitAndBrokenBlobsChangeNothing) {
    setValues({{3, 0.25}, {17, 0.75}, {22, 1.0}});
    EXPECT_EQ(value(3), 0.25);
    const std::vector<std::uint8_t> saved = save();
    ASSERT_GT(saved.size(), 16u * (32 + 4 * kParameters));

    setValues({{3, 0.5}, {17, 0.125}});
    const std::vector<std::uint8_t> changed = save();
    ASSERT_NE(changed, saved);

    std::vector<std::vector<std::uint8_t>> broken;
    broken.push_back(std::vector<std::uint8_t>(saved.begin(), saved.end() - 1)); // short
    broken.push_back(std::vector<std::uint8_t>(saved.begin(), saved.begin() + 10));
    broken.push_back({});
    broken.push_back(saved);
    broken.back()[100] ^= 0x40; // corrupt
    broken.push_back(saved);
    broken.back()[4] += 1; // a later version, with a checksum that holds
    reseal(broken.back());
    broken.push_back(saved);
    broken.back()[kCurrentAt] = 16; // a current program past the last
    reseal(broken.back());
    broken.push_back(saved);
    const float tooHigh = 1.5f; // a value above 1, in the second program
    std::memcpy(broken.back().data() + valueAt(1, 5), &tooHigh, 4);
    reseal(broken.back());
    broken.push_back(saved);
    broken.back().push_back(0); // long
    for (const auto& blob : broken) {
        EXPECT_FALSE(load(blob)) << blob.size();
        EXPECT_EQ(save(), changed);
    }

    EXPECT_EQ(host.rescans, 0u);
    ASSERT_TRUE(load(saved));
    EXPECT_EQ(host.rescans, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
    EXPECT_EQ(save(), saved);
    EXPECT_EQ(value(3), 0.25);
    EXPECT_EQ(value(17), 0.75);
    // Every program loads, not only the current one: the next save gives them back.
    std::vector<std::uint8_t> other = saved;
    const float quarter = 0.25f; // not the default step value
    std::memcpy(other.data() + valueAt(2, 5), &quarter, 4);
    reseal(other);
    ASSERT_TRUE(load(other));
    EXPECT_EQ(save(), other);
}

// The programs are presets hosts list and load: the discovery factory, under its id and the
// draft's, declares one location inside the plug-in and names the programs there as the VST 2
// library names them; a load selects the program as a VST 2 host does, keeps what the one left
// played, and tells the host; a place that names no program changes nothing, and the host hears.
TEST_F(ClapDoor, ProgramsArePresetsThatHostsListByNameAndLoad) {
    const auto* discovery = static_cast<const clap_preset_discovery_factory*>(
        library.entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
    ASSERT_NE(discovery, nullptr);
    EXPECT_EQ(library.entry->get_factory(CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT), discovery);
    ASSERT_EQ(discovery->count(discovery), 1u);
    const clap_preset_discovery_provider_descriptor* d = discovery->get_descriptor(discovery, 0);
    ASSERT_TRUE(d != nullptr && discovery->get_descriptor(discovery, 1) == nullptr);
    // The host's index: the locations declared, and each preset as "name=key for abi:id".
    struct Index {
        std::vector<clap_preset_discovery_location> locations;
        std::vector<std::string> presets;
    } index;
    clap_preset_discovery_indexer indexer{};
    indexer.indexer_data = &index;
    indexer.declare_location = [](const clap_preset_discovery_indexer* x,
                                  const clap_preset_discovery_location* at) {
        static_cast<Index*>(x->indexer_data)->locations.push_back(*at);
        return true;
    };
    clap_preset_discovery_metadata_receiver receiver{};
    receiver.receiver_data = &index;
    receiver.begin_preset = [](const clap_preset_discovery_metadata_receiver* r, const char* name,
                               const char* key) {
        static_cast<Index*>(r->receiver_data)->presets.push_back(std::string(name) + "=" + key);
        return true;
    };
    receiver.add_plugin_id = [](const clap_preset_discovery_metadata_receiver* r,
                                const clap_universal_plugin_id* id) {
        static_cast<Index*>(r->receiver_data)->presets.back() +=
            std::string(" for ") + id->abi + ":" + id->id;
    };
    EXPECT_EQ(discovery->create(discovery, &indexer, "com.halvark.other"), nullptr);
    const clap_preset_discovery_provider* provider = discovery->create(discovery, &indexer, d->id);
    ASSERT_TRUE(provider != nullptr && provider->init(provider));
    ASSERT_EQ(index.locations.size(), 1u);
    const clap_preset_discovery_location at = index.locations[0];
    EXPECT_EQ(at.kind, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN);
    EXPECT_EQ(at.location, nullptr);
    EXPECT_EQ(at.flags, CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);
    EXPECT_FALSE(
        provider->get_metadata(provider, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/", &receiver));
    ASSERT_TRUE(provider->get_metadata(provider, at.kind, at.location, &receiver));
    provider->destroy(provider);
    Vst2 vst2;
    ASSERT_EQ(index.presets.size(), 16u);
    for (std::int32_t p = 0; p < 16; ++p)
        EXPECT_EQ(index.presets[p], vst2.hosted.programName(p) + "=" + std::to_string(p) +
                                        " for clap:com.halvark.ostrel");

    const auto* load = static_cast<const clap_plugin_preset_load*>(
        plugin->get_extension(plugin, CLAP_EXT_PRESET_LOAD));
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(plugin->get_extension(plugin, CLAP_EXT_PRESET_LOAD_COMPAT), load);
    setValues({{3, 0.25}}); // in program 0
    ASSERT_TRUE(load->from_location(plugin, at.kind, nullptr, "5"));
    EXPECT_EQ(host.presetsLoaded, std::vector<std::string>{"5"});
    EXPECT_EQ(host.rescans, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
    EXPECT_EQ(value(3), vst2.hosted.parameter(3)); // the fifth program's
    const std::vector<std::uint8_t> blob = save();
    float kept = -1.0f;
    std::memcpy(&kept, blob.data() + valueAt(0, 3), sizeof kept);
    EXPECT_EQ(kept, 0.25f);
    EXPECT_EQ(blob[kCurrentAt], 5);
    for (const char* key : {"16", "05", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(load->from_location(plugin, at.kind, nullptr, key));
    EXPECT_FALSE(load->from_location(plugin, at.kind, "", "5"));
    EXPECT_FALSE(load->from_location(plugin, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/", "5"));
    EXPECT_EQ(host.presetErrors, 6);
    EXPECT_EQ(host.presetsLoaded.size(), 1u);
    EXPECT_EQ(save(), blob);
}

// A host saves the song while it plays: the stream keeps to the current program's controller
// however often it saves, though every other program names another one.
class ClapDoorConcurrency : public ClapDoor {};

TEST_F(ClapDoorConcurrency, SavingWhilePlayingLeavesWhatPlaysAlone) {
    constexpr std::uint32_t kFrames = 64;
    constexpr clap_id kCcOut = 17, kSync = 16;
    setValues({{kCcOut, 0.3}, {kSync, 0.32}});
    std::vector<std::uint8_t> blob = save();
    ASSERT_EQ(blob.size(), kHeader + 16 * kProgram + 4);
    const float other = 1.0f; // controller 127
    for (std::size_t p = 1; p < 16; ++p)
        std::memcpy(blob.data() + valueAt(p, kCcOut), &other, 4);
    reseal(blob);
    ASSERT_TRUE(load(blob));
    const std::vector<std::uint8_t> before = save();

    ASSERT_TRUE(plugin->activate(plugin, kRate, 1, kFrames));
    std::atomic<bool> saving{true};
    std::atomic<std::uint32_t> played{0};
    // Counts the messages, and those for another controller than program 0's 38.
    std::pair<std::size_t, std::size_t> sent{0, 0};
    clap_output_events out{&sent, [](const clap_output_events* l, const clap_event_header* e) {
                               auto& [all, strangers] =
                                   *static_cast<std::pair<std::size_t, std::size_t>*>(l->ctx);
                               ++all;
                               strangers +=
                                   e->type != CLAP_EVENT_MIDI ||
                                   reinterpret_cast<const clap_event_midi*>(e)->data[1] != 38;
                               return true;
                           }};
    std::thread audio([&] {
        ASSERT_TRUE(plugin->start_processing(plugin));
        std::vector<float> buffers(4 * kFrames, 0.0f);
        float* in[2] = {buffers.data(), buffers.data() + kFrames};
        float* outs[2] = {buffers.data() + 2 * kFrames, buffers.data() + 3 * kFrames};
        clap_audio_buffer audioIn{in, nullptr, 2, 0, 0}, audioOut{outs, nullptr, 2, 0, 0};
        clap_event_transport transport{};
        transport.header = {sizeof transport, 0, 0, CLAP_EVENT_TRANSPORT, 0};
        transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_IS_PLAYING;
        transport.tempo = 300.0; // a step every 276 frames
        clap_event_note start{}; // note 12, in the first block
        start.header = {sizeof start, 0, 0, CLAP_EVENT_NOTE_ON, 0};
        start.key = 12;
        start.note_id = -1;
        InputEvents events;
        events.events.push_back(&transport.header);
        events.events.push_back(&start.header);
        clap_process block{-1, kFrames, nullptr, &audioIn, &audioOut, 1, 1, &events.record, &out};
        for (std::uint32_t b = 0; saving.load(std::memory_order_relaxed); ++b) {
            plugin->process(plugin, &block);
            events.events.resize(1);
            played.store(b + 1, std::memory_order_relaxed);
        }
        plugin->stop_processing(plugin);
    });
    // Saves all the while the audio thread plays, long enough for the two to overlap on a
    // busy machine.
#if defined(__SANITIZE_THREAD__) // ten times slower, and looking at every access
    constexpr int kRounds = 2000;
#else
    constexpr int kRounds = 20000;
#endif
    for (int saves = 0; saves < kRounds || played.load(std::memory_order_relaxed) < kRounds;
         ++saves)
        ASSERT_EQ(save(), before);
    saving.store(false, std::memory_order_relaxed);
    audio.join();
    plugin->deactivate(plugin);

    ASSERT_GT(sent.first, 16u * kRounds / 5);
    EXPECT_EQ(sent.second, 0u) << "of " << sent.first;
}

// The start and stop notes, even at a note-on's softest velocity, move start/stop as the song
// plays, not as the program stores it: a host saving the state (hosts autosave) keeps the
// sequencer as the notes left it, and saves it so.
TEST_F(ClapDoor, SavingKeepsWhatTheStartAndStopNotesDid) {
    ASSERT_TRUE(plugin->activate(plugin, kRate, 1, kBlock));
    ASSERT_TRUE(plugin->start_processing(plugin));
    setValues({{16, 0.16}}); // a step every 1378 samples at 120 bpm
    clap_event_transport transport{};
    transport.header = {sizeof transport, 0, 0, CLAP_EVENT_TRANSPORT, 0};
    transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_IS_PLAYING;
    transport.tempo = 120.0;
    std::vector<float> buffers(2 * kBlock, 0.0f);
    float* channels[2] = {buffers.data(), buffers.data() + kBlock};
    clap_audio_buffer audio{channels, nullptr, 2, 0, 0};
    OutputEvents out;
    InputEvents events;
    clap_process block{-1, kBlock, &transport, &audio, &audio, 1, 1, &events.record, &out.record};
    const auto play = [&](int key) {
        clap_event_note note{};
        note.header = {sizeof note, 0, 0, CLAP_EVENT_NOTE_ON, 0};
        note.note_id = -1;
        note.key = static_cast<std::int16_t>(key);
        note.velocity = 0.0; // the softest note-on is still one: MIDI's velocity 0 is a note-off
        events.events.assign(1, &note.header);
        EXPECT_EQ(plugin->process(plugin, &block), CLAP_PROCESS_CONTINUE);
        events.events.clear();
    };
    // Where the current program's start/stop lies in the blob.
    constexpr std::size_t kStartStopAt = valueAt(0, 22);
    const auto savedStartStop = [&] {
        const std::vector<std::uint8_t> blob = save();
        float stored = -1.0f;
        std::memcpy(&stored, blob.data() + kStartStopAt, sizeof stored);
        return stored;
    };

    play(13); // stop
    ASSERT_EQ(value(22), 1.0);
    EXPECT_EQ(savedStartStop(), 1.0f);
    EXPECT_EQ(value(22), 1.0);
    out.count = 0;
    for (int b = 0; b < 8; ++b)
        play(-1);
    EXPECT_EQ(out.count, 0u) << "the sequencer runs again after a save";

    setValues({{22, 1.0}});
    play(12); // start
    ASSERT_EQ(value(22), 0.0);
    EXPECT_EQ(savedStartStop(), 0.0f);
    EXPECT_EQ(value(22), 0.0);
    out.count = 0;
    for (int b = 0; b < 8; ++b)
        play(-1);
    EXPECT_GT(out.count, 0u) << "the sequencer stopped after a save";
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
}

// A host that offers the thread check gets its misplaced calls refused instead of raced: the
// main thread's calls from the audio thread and the audio thread's from the main thread. And a
// block of no frames still takes the host's parameter changes.
TEST_F(ClapDoor, CallsOnTheWrongThreadAreRefusedWhereTheHostSays) {
    TestHost threaded;
    threaded.checksThreads = true;
    const clap_plugin* p =
        library.factory->create_plugin(library.factory, &threaded.record, "com.halvark.ostrel");
    ASSERT_TRUE(p != nullptr && p->init(p));
    const auto* st = static_cast<const clap_plugin_state*>(p->get_extension(p, CLAP_EXT_STATE));
    const auto* gui = static_cast<const clap_plugin_gui*>(p->get_extension(p, CLAP_EXT_GUI));
    const auto* pr = static_cast<const clap_plugin_params*>(p->get_extension(p, CLAP_EXT_PARAMS));
    const auto* presets =
        static_cast<const clap_plugin_preset_load*>(p->get_extension(p, CLAP_EXT_PRESET_LOAD));
    std::vector<std::uint8_t> blob;
    clap_ostream stream{&blob, [](const clap_ostream* s, const void* data, std::uint64_t size) {
                            const auto* from = static_cast<const std::uint8_t*>(data);
                            static_cast<std::vector<std::uint8_t>*>(s->ctx)->insert(
                                static_cast<std::vector<std::uint8_t>*>(s->ctx)->end(), from,
                                from + size);
                            return static_cast<std::int64_t>(size);
                        }};
    clap_event_param_value change{};
    change.header = {sizeof change, 0, 0, CLAP_EVENT_PARAM_VALUE, 0};
    change.param_id = 17;
    change.value = 0.3;
    InputEvents events;
    events.events.push_back(&change.header);
    OutputEvents out;
    clap_process empty{-1, 0, nullptr, nullptr, nullptr, 0, 0, &events.record, &out.record};

    threaded.onAudioThread = true;
    EXPECT_FALSE(p->activate(p, kRate, 1, kBlock));
    EXPECT_FALSE(st->save(p, &stream));
    EXPECT_FALSE(gui != nullptr && gui->create(p, nullptr, false));
    EXPECT_FALSE(presets->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "1"));
    threaded.onAudioThread = false;
    ASSERT_TRUE(p->activate(p, kRate, 1, kBlock));
    EXPECT_FALSE(p->start_processing(p));
    EXPECT_EQ(p->process(p, &empty), CLAP_PROCESS_ERROR);
    double value = -1.0;
    ASSERT_TRUE(pr->get_value(p, 17, &value));
    EXPECT_NE(value, 0.3);
    threaded.onAudioThread = true;
    ASSERT_TRUE(p->start_processing(p));
    EXPECT_EQ(p->process(p, &empty), CLAP_PROCESS_CONTINUE);
    ASSERT_TRUE(pr->get_value(p, 17, &value));
    EXPECT_EQ(value, static_cast<double>(0.3f));
    p->stop_processing(p);
    threaded.onAudioThread = false;
    EXPECT_TRUE(st->save(p, &stream));
    EXPECT_GT(blob.size(), 16u);
    p->deactivate(p);
    p->destroy(p);
}

// One song at 120 bpm and then 97.5, with a stop, a relocation, notes 12/13/14 (as note events
// and as raw MIDI), parameter changes, both timings and transport changes within blocks: the
// door's Control Change stream is the VST 2 library's, message for message and block for block,
// and the door allocates nothing.
TEST_F(ClapDoor, TheStreamIsTheVst2LibrarysWithTheSameTransport) {
    constexpr std::uint32_t kBlocks = 1000; // about 11.6 seconds
    const auto* audio = static_cast<const clap_plugin_audio_ports*>(
        plugin->get_extension(plugin, CLAP_EXT_AUDIO_PORTS));
    ASSERT_NE(audio, nullptr);
    ASSERT_TRUE(plugin->activate(plugin, kRate, 1, kBlock));
    ASSERT_TRUE(plugin->start_processing(plugin));
    Vst2 vst2;
    guest::Guest& g = vst2.hosted;
    g.setSampleRate(kRate);
    g.setBlockSize(kBlock);
    g.setEventCapacity(kBlock * 16);
    g.resume();

    std::vector<float> buffers(4 * kBlock, 0.0f);
    float* in[2] = {buffers.data(), buffers.data() + kBlock};
    float* out[2] = {buffers.data() + 2 * kBlock, buffers.data() + 3 * kBlock};
    clap_audio_buffer audioIn{in, nullptr, 2, 0, 0}, audioOut{out, nullptr, 2, 0, 0};
    OutputEvents clapOut, vst2Out;
    InputEvents events;
    events.events.reserve(8);
    clap_event_transport transport{}, later{};
    clap_event_note note{};
    clap_event_midi midi{};
    clap_event_param_value change{};
    clap_process block{-1, kBlock, nullptr,        &audioIn,       &audioOut,
                       1,  1,      &events.record, &clapOut.record};

    double beat = 0.0, tempo = 120.0;
    long counted = 0, failures = 0;
    {
        allocations::Scope scope;
        for (std::uint32_t b = 0; b < kBlocks; ++b) {
            if (b == 400) tempo = 97.5;
            if (b == 650) beat = 32.0; // relocated
            const bool playing = b < 550 || b >= 600;
            const auto position = std::llround(beat * CLAP_BEATTIME_FACTOR);
            transport = {};
            transport.header = {sizeof transport, 0, 0, CLAP_EVENT_TRANSPORT, 0};
            transport.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE |
                              CLAP_TRANSPORT_HAS_TIME_SIGNATURE |
                              (playing ? CLAP_TRANSPORT_IS_PLAYING : 0u);
            transport.song_pos_beats = position;
            transport.tempo = tempo;
            transport.bar_start =
                (position / (4 * CLAP_BEATTIME_FACTOR)) * 4 * CLAP_BEATTIME_FACTOR;
            transport.tsig_num = transport.tsig_denom = 4;
            events.events.clear();
            // The transport as an event, as the process's own, or none at all.
            const bool none = b >= 150 && b < 170, own = b >= 900 && b < 950;
            block.transport = own ? &transport : nullptr;
            if (!none && !own) events.events.push_back(&transport.header);
            // And a stop in the block's last frame, which the record has no place for: the
            // block still starts with the transport above.
            later = transport;
            later.header.time = kBlock - 1;
            later.flags = 0;

            guest::Transport same{.sampleRate = kRate,
                                  .blockSize = kBlock,
                                  .samplePosition = double(b) * kBlock,
                                  .playing = playing,
                                  .hasTempo = true,
                                  .tempo = tempo,
                                  .hasSongPosition = true,
                                  .songPosition = double(position) / CLAP_BEATTIME_FACTOR,
                                  .hasBars = true,
                                  .barStart = double(transport.bar_start) / CLAP_BEATTIME_FACTOR,
                                  .hasTimeSignature = true};
            if (none) // what a VST 2 host without a transport says
                same = {.sampleRate = kRate,
                        .blockSize = kBlock,
                        .samplePosition = same.samplePosition};
            if (b == 450) { // a host's reset, on the audio thread
                plugin->reset(plugin);
                g.suspend();
                g.resume();
            }
            // Notes: 12 starts, 13 stops, 14 resets and starts.
            const int key = b == 100 ? 12 : b == 250 ? 13 : b == 300 || b == 760 ? 14 : 0;
            if (key != 0) {
                note = {};
                note.header = {sizeof note, 77, 0, CLAP_EVENT_NOTE_ON, 0};
                note.key = static_cast<std::int16_t>(key);
                note.note_id = -1;
                note.velocity = 100.0 / 127.0;
                events.events.push_back(&note.header);
                const unsigned char on[3] = {0x90, static_cast<unsigned char>(key), 100};
                g.queueEvent(77, on);
            }
            if (b == 820) { // raw MIDI: a stop on channel 3
                midi = {};
                midi.header = {sizeof midi, 5, 0, CLAP_EVENT_MIDI, 0};
                midi.data[0] = 0x92;
                midi.data[1] = 13;
                midi.data[2] = 64;
                events.events.push_back(&midi.header);
                g.queueEvent(5, midi.data);
            }
            const clap_id id = b == 200 ? 17 : b == 500 ? 21 : b == 700 ? 21 : kParameters;
            if (id != kParameters) { // CC Out, then external timing, then internal again
                change = {};
                change.header = {sizeof change, 3, 0, CLAP_EVENT_PARAM_VALUE, 0};
                change.param_id = id;
                change.value = id == 17 ? 0.3 : b == 500 ? 1.0 : 0.0;
                events.events.push_back(&change.header);
                g.setParameter(static_cast<std::int32_t>(id), static_cast<float>(change.value));
            }

            if (!none) events.events.push_back(&later.header);
            clapOut.startBlock(b);
            if (plugin->process(plugin, &block) != CLAP_PROCESS_CONTINUE) ++failures;

            vst2Out.startBlock(b);
            struct Stream final : guest::Sink {
                OutputEvents& kept;
                std::uint32_t block;
                Stream(OutputEvents& to, std::uint32_t b) : kept(to), block(b) {}
                void take(std::uint32_t frame, const unsigned char data[3]) override {
                    auto& message = kept.midi[kept.count++];
                    message = {block, frame, {}};
                    std::memcpy(message.data, data, 3);
                }
            } stream(vst2Out, b);
            g.run(same, {in, out, kBlock}, stream);
            beat += kBlock * tempo / (60.0 * kRate) * (playing ? 1 : 0);
        }
        counted = allocations::count;
    }
    EXPECT_EQ(failures, 0);
#if defined(_WIN32) // a Windows library allocates through a run-time of its own, unseen here
    static_cast<void>(counted);
#else
    EXPECT_EQ(counted, 0);
#endif
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);

    EXPECT_EQ(clapOut.unordered + clapOut.others, 0u);
    ASSERT_EQ(clapOut.count, vst2Out.count);
    EXPECT_GT(clapOut.count, 200u); // it played
    for (std::size_t i = 0; i < clapOut.count; ++i)
        ASSERT_EQ(clapOut.midi[i], vst2Out.midi[i]) << "message " << i;
    // Something in each part of the song: before and after the tempo change, in external timing.
    auto sentIn = [&](std::uint32_t from, std::uint32_t to) {
        std::size_t n = 0;
        for (std::size_t i = 0; i < clapOut.count; ++i)
            n += clapOut.midi[i].block >= from && clapOut.midi[i].block < to;
        return n;
    };
    EXPECT_GT(sentIn(100, 250) * sentIn(400, 500) * sentIn(500, 550) * sentIn(760, 1000), 0u);
}

#if !defined(_WIN32)
// The allocation counter sees what the loaded library allocates: a guard for the test above.
TEST_F(ClapDoor, TheAllocationCounterSeesTheLibrarysAllocations) {
    long counted = 0;
    {
        allocations::Scope scope;
        const clap_plugin* other =
            library.factory->create_plugin(library.factory, &host.record, "com.halvark.ostrel");
        ASSERT_NE(other, nullptr);
        other->destroy(other);
        counted = allocations::count;
    }
    EXPECT_GT(counted, 0);
}
#endif

#if defined(MORVO_CLAP_X11)
// The editor embedded in a real X11 window of the host's, on a virtual display: its place and
// size, its idle timer, a click in it reaching the host as a parameter event, and nothing left
// behind when the host destroys it.
#include <X11/Xlib.h>

#include "tests/x11/XTree.h"
#include <X11/extensions/XTest.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <unistd.h>

namespace {

int xErrors = 0;
int countXError(Display*, XErrorEvent*) {
    ++xErrors;
    return 0;
}

// Parameter values and gestures the plug-in hands the host.
struct AutomationOut {
    struct Automation {
        std::uint16_t type;
        clap_id id;
        double value;
    };
    std::vector<Automation> events;
    clap_output_events record{
        this, [](const clap_output_events* l, const clap_event_header* e) {
            const bool change = e->type == CLAP_EVENT_PARAM_VALUE;
            if (change || e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ||
                e->type == CLAP_EVENT_PARAM_GESTURE_END)
                static_cast<AutomationOut*>(l->ctx)->events.push_back(
                    {e->type, reinterpret_cast<const clap_event_param_gesture*>(e)->param_id,
                     change ? reinterpret_cast<const clap_event_param_value*>(e)->value : -1.0});
            return true;
        }};
};

} // namespace

TEST_F(ClapDoor, EditorEmbedsInTheHostsX11WindowIdlesOnItsTimerAndSendsItsAutomation) {
    Display* const display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "needs a display (run through tests/x11/with_xvfb.sh)";
    XSetErrorHandler(countXError);
    const auto* gui =
        static_cast<const clap_plugin_gui*>(plugin->get_extension(plugin, CLAP_EXT_GUI));
    const auto* timer = static_cast<const clap_plugin_timer_support*>(
        plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
    ASSERT_TRUE(gui != nullptr && timer != nullptr);
    EXPECT_TRUE(gui->is_api_supported(plugin, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->is_api_supported(plugin, CLAP_WINDOW_API_X11, true));
    EXPECT_FALSE(gui->is_api_supported(plugin, CLAP_WINDOW_API_WIN32, false));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->get_size(plugin, &width, &height));
    EXPECT_EQ(width, 626u);
    EXPECT_EQ(height, 280u);
    EXPECT_FALSE(gui->can_resize(plugin));
    EXPECT_FALSE(gui->set_size(plugin, 700, 300));
    EXPECT_TRUE(gui->set_size(plugin, 626, 280));

    const Window parent =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 400, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    ASSERT_TRUE(gui->create(plugin, CLAP_WINDOW_API_X11, false));
    clap_window window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = parent;
    ASSERT_TRUE(gui->set_parent(plugin, &window));
    EXPECT_TRUE(gui->show(plugin));
    ASSERT_EQ(host.timers.size(), 1u);
    const clap_id idle = host.timers[0].first;
    EXPECT_NEAR(host.timers[0].second, 40, 10);
    const auto idleFor = [&](int milliseconds) {
        XSync(display, False);
        for (int t = 0; t < milliseconds; t += 5) {
            timer->on_timer(plugin, idle);
            usleep(5000);
        }
    };
    idleFor(200);
    // The size before the editor opened is the open editor's.
    ASSERT_TRUE(gui->get_size(plugin, &width, &height));
    EXPECT_EQ(width, 626u);
    EXPECT_EQ(height, 280u);

    const std::vector<Window> editor = childrenOf(display, parent);
    ASSERT_EQ(editor.size(), 1u);
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, editor[0], &attributes), 0);
    EXPECT_EQ(attributes.width, 626);
    EXPECT_EQ(attributes.height, 280);
    EXPECT_EQ(attributes.map_state, IsViewable);

    // A click on the first step slider's arrow, towards the middle.
    const double before = value(0);
    clickFirstStepArrow(display, editor[0], before, idleFor);
    const double after = value(0);
    EXPECT_GT(std::abs(after - before), 0.0); // at most a step, onto the slider's positions
    EXPECT_LE(std::abs(after - before), 1.0 / 127.0 + 1e-6);
    EXPECT_GT(host.flushRequests, 0);
    AutomationOut out;
    InputEvents none;
    params->flush(plugin, &none.record, &out.record);
    ASSERT_FALSE(out.events.empty());
    // The change, in gestures that open before it and close after it if there are any.
    int open = 0, changes = 0;
    for (const auto& a : out.events) {
        EXPECT_EQ(a.id, 0u);
        if (a.type == CLAP_EVENT_PARAM_GESTURE_BEGIN) ++open;
        if (a.type == CLAP_EVENT_PARAM_GESTURE_END) {
            EXPECT_GE(--open, 0);
        }
        if (a.type == CLAP_EVENT_PARAM_VALUE) {
            ++changes;
            EXPECT_EQ(a.value, after);
        }
    }
    EXPECT_EQ(open, 0);
    EXPECT_EQ(changes, 1);

    // The changes wait for the host in a queue of 1,024: past that the newest are dropped and the
    // first kept, in order. 1,101 clicks on stop and play in turn (the one clicked is covered by
    // its lit picture until the other is clicked), from stop.
    for (int c = 0; c < 1101; ++c) {
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(display, editor[0], DefaultRootWindow(display), c % 2 ? 62 : 38, 254,
                              &x, &y, &child);
        XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
    }
    idleFor(300);
    AutomationOut queued;
    params->flush(plugin, &none.record, &queued.record);
    ASSERT_EQ(queued.events.size(), 1024u);
    EXPECT_EQ(queued.events.front().value, 1.0);
    EXPECT_EQ(queued.events.back().value, 0.0);
    EXPECT_TRUE(gui->hide(plugin));
    gui->destroy(plugin);
    EXPECT_TRUE(host.timers.empty());
    EXPECT_EQ(host.unknownUnregisters, 0);
    XSync(display, False);
    EXPECT_TRUE(childrenOf(display, parent).empty());
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(xErrors, 0);
    XCloseDisplay(display);
    // The process's caches of cairo and fontconfig go, so the leak checker sees only what the
    // editor left.
    cairo_debug_reset_static_data();
    FcFini();
}
#endif

#if defined(_WIN32)
// The editor embedded in a Win32 window of the host's, as a Windows host gives it: its place and
// size, a click on a step slider reaching the host as a parameter event between gestures, and
// nothing left in the host's window once the host destroys it.
namespace {

struct Found {
    HWND editor;
    HWND slider = nullptr;
};

// The second step's slider: the scroll bar at (52, 60) of the editor.
BOOL CALLBACK findSlider(HWND window, LPARAM data) {
    auto& found = *reinterpret_cast<Found*>(data);
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    RECT box{};
    GetWindowRect(window, &box);
    MapWindowPoints(HWND_DESKTOP, found.editor, reinterpret_cast<POINT*>(&box), 2);
    if (std::strcmp(name, "ScrollBar") != 0 || box.left != 52 || box.top != 60) return TRUE;
    found.slider = window;
    return FALSE;
}

} // namespace

TEST_F(ClapDoor, EditorEmbedsInTheHostsWin32WindowAndSendsItsAutomation) {
    const auto* gui =
        static_cast<const clap_plugin_gui*>(plugin->get_extension(plugin, CLAP_EXT_GUI));
    const auto* timer = static_cast<const clap_plugin_timer_support*>(
        plugin->get_extension(plugin, CLAP_EXT_TIMER_SUPPORT));
    ASSERT_TRUE(gui != nullptr && timer != nullptr);
    EXPECT_TRUE(gui->is_api_supported(plugin, CLAP_WINDOW_API_WIN32, false));
    EXPECT_FALSE(gui->is_api_supported(plugin, CLAP_WINDOW_API_WIN32, true));
    EXPECT_FALSE(gui->is_api_supported(plugin, CLAP_WINDOW_API_X11, false));
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(gui->get_size(plugin, &width, &height));
    EXPECT_EQ(width * 1000 + height, 626u * 1000 + 280u);
    EXPECT_FALSE(gui->can_resize(plugin));

    HWND parent = CreateWindowExA(0, "STATIC", "morvo-clap-tests", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  0, 0, 800, 400, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    const auto pump = [&](int milliseconds) {
        for (int t = 0; t < milliseconds; t += 5) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            for (const auto& [id, period] : host.timers)
                timer->on_timer(plugin, id);
            Sleep(5);
        }
    };
    ASSERT_TRUE(gui->create(plugin, CLAP_WINDOW_API_WIN32, false));
    clap_window window{};
    window.api = CLAP_WINDOW_API_WIN32;
    window.win32 = parent;
    ASSERT_TRUE(gui->set_parent(plugin, &window));
    EXPECT_TRUE(gui->show(plugin));
    pump(200);

    Found found{GetWindow(parent, GW_CHILD)};
    ASSERT_NE(found.editor, nullptr);
    EXPECT_EQ(GetWindow(found.editor, GW_HWNDNEXT), nullptr); // one editor
    RECT box{};
    GetClientRect(found.editor, &box);
    EXPECT_EQ(box.right * 1000 + box.bottom, 626 * 1000 + 280);
    EXPECT_TRUE(IsWindowVisible(found.editor));
    EnumChildWindows(found.editor, findSlider, reinterpret_cast<LPARAM>(&found));
    ASSERT_NE(found.slider, nullptr);

    // A click on the down arrow, as the mouse gives it: the bar tracks until the button is up.
    const double before = value(1);
    PostMessageA(found.slider, WM_LBUTTONUP, 0, MAKELPARAM(8, 160));
    SendMessageA(found.slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 160));
    pump(50);
    const double after = value(1);
    EXPECT_NE(after, before);
    EXPECT_EQ(after, 1.0f - 65.0f / 127.0f);
    EXPECT_GT(host.flushRequests, 0);
    struct Seen {
        int open = 0, changes = 0, unbalanced = 0;
        double value = -1.0;
    } seen;
    clap_output_events out{&seen, [](const clap_output_events* l, const clap_event_header* e) {
                               auto& s = *static_cast<Seen*>(l->ctx);
                               if (e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN) ++s.open;
                               if (e->type == CLAP_EVENT_PARAM_GESTURE_END && --s.open < 0)
                                   ++s.unbalanced;
                               if (e->type == CLAP_EVENT_PARAM_VALUE) {
                                   ++s.changes;
                                   s.value =
                                       reinterpret_cast<const clap_event_param_value*>(e)->value;
                               }
                               return true;
                           }};
    InputEvents none;
    params->flush(plugin, &none.record, &out);
    EXPECT_EQ(seen.changes, 1);
    EXPECT_EQ(seen.value, after);
    EXPECT_EQ(seen.open + seen.unbalanced, 0);

    EXPECT_TRUE(gui->hide(plugin));
    gui->destroy(plugin);
    pump(50);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    EXPECT_TRUE(host.timers.empty());
    DestroyWindow(parent);
}
#endif
