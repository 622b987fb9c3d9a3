// Morvo.clap loaded as a CLAP host loads it, through clap_entry: its descriptor and factory, the
// extensions' answers, the state's round trip and its refusals, and the Control Change stream of
// a song against the VST 2 library's, played through the guest with the same transport.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "formats/guest/Guest.h"
#include "tests/AllocationCounter.h"
#include "tests/StateBlobs.h"
#include "tests/Vst2Reference.h"
#include "tests/clap/ClapRig.h"
#include "tests/windows/EditorWindows.h"
#include "tests/windows/WindowsPath.h"

using namespace clap_rig;

namespace {

constexpr std::uint32_t kParameters = 23;
constexpr std::uint32_t kBlock = 512;
constexpr double kRate = 44100.0;

class ClapDoor : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(library.factory, nullptr) << MORVO_CLAP_PATH;
        plugin =
            library.factory->create_plugin(library.factory, &host.record, "com.halvark.ostrel");
        ASSERT_NE(plugin, nullptr);
        ASSERT_TRUE(plugin->init(plugin));
        x = Extensions(plugin);
        ASSERT_TRUE(x.params != nullptr && x.state != nullptr);
    }
    void TearDown() override {
        if (plugin != nullptr) plugin->destroy(plugin);
    }
    double value(clap_id id) {
        double v = -1.0;
        EXPECT_TRUE(x.params->get_value(plugin, id, &v));
        return v;
    }
    // Parameter changes through params flush, as a host sends them while not processing.
    void setValues(const std::vector<std::pair<clap_id, double>>& changes) {
        std::vector<clap_event_param_value> events;
        for (const auto& [id, v] : changes)
            events.push_back(parameterEvent(id, v));
        InputEvents in;
        for (const auto& event : events)
            in.events.push_back(&event.header);
        OutputEvents out;
        x.params->flush(plugin, &in.record, &out.record);
    }
    // Through a host stream that takes at most 100 bytes at a time, and one that gives 7.
    std::vector<std::uint8_t> save() {
        Stream stream({}, 100);
        EXPECT_TRUE(x.state->save(plugin, &stream.out));
        return stream.bytes;
    }
    bool load(const std::vector<std::uint8_t>& blob) {
        Stream stream(blob, 7);
        return x.state->load(plugin, &stream.in);
    }

    // The editor as a host opens it in its window, made with the window system `api` (the one
    // this system's editor takes, and not floating), at the size it asks for before.
    void openEditor(const char* api, const char* other, clap_window window) {
        ASSERT_TRUE(x.gui != nullptr && x.timer != nullptr);
        EXPECT_TRUE(x.gui->is_api_supported(plugin, api, false));
        EXPECT_FALSE(x.gui->is_api_supported(plugin, api, true));
        EXPECT_FALSE(x.gui->is_api_supported(plugin, other, false));
        std::uint32_t width = 0, height = 0;
        ASSERT_TRUE(x.gui->get_size(plugin, &width, &height));
        EXPECT_EQ(width * 1000 + height, 626u * 1000 + 280u);
        EXPECT_FALSE(x.gui->can_resize(plugin));
        EXPECT_FALSE(x.gui->set_size(plugin, 700, 300));
        EXPECT_TRUE(x.gui->set_size(plugin, 626, 280));
        ASSERT_TRUE(x.gui->create(plugin, api, false));
        window.api = api;
        ASSERT_TRUE(x.gui->set_parent(plugin, &window));
        EXPECT_TRUE(x.gui->show(plugin));
        ASSERT_EQ(host.timers.size(), 1u);
        EXPECT_NEAR(host.timers[0].second, 40, 10);
    }
    // An edit in the editor, as the host takes it at its next flush: one change of the
    // parameter to `edited`, in gestures that open before it and close after it if there are any.
    void expectOneEdit(clap_id id, double edited) {
        EXPECT_GT(host.flushRequests, 0);
        InputEvents none;
        OutputEvents out;
        x.params->flush(plugin, &none.record, &out.record);
        int open = 0, changes = 0;
        for (const OutputEvents::Automation& a : out.automation) {
            EXPECT_EQ(a.id, id);
            open += a.type == CLAP_EVENT_PARAM_GESTURE_BEGIN;
            open -= a.type == CLAP_EVENT_PARAM_GESTURE_END;
            EXPECT_GE(open, 0);
            changes += a.type == CLAP_EVENT_PARAM_VALUE;
            EXPECT_TRUE(a.type != CLAP_EVENT_PARAM_VALUE || a.value == edited) << a.value;
        }
        EXPECT_EQ(open, 0);
        EXPECT_EQ(changes, 1);
    }

    Library library{nativePath(MORVO_CLAP_PATH)};
    Host host{"morvo-clap-tests"};
    const clap_plugin* plugin = nullptr;
    Extensions x;
};

// The VST 2 library through the guest, for what the CLAP door must show the same.
using Vst2 = Vst2Reference;

using state_blobs::kCurrentAt;
using state_blobs::kHeader;
using state_blobs::kProgram;
using state_blobs::reseal;
using state_blobs::valueAt;

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
    Host ancient("morvo-clap-tests");
    ancient.record.clap_version = {0, 9, 0};
    EXPECT_EQ(library.factory->create_plugin(library.factory, &ancient.record, d->id), nullptr);
}

TEST_F(ClapDoor, ExtensionsAnswerAsTheRecordDoes) {
    const auto* audio = x.audioPorts;
    const auto* notes = x.notePorts;
    ASSERT_TRUE(audio && notes && x.latency && x.gui);
    EXPECT_EQ(plugin->get_extension(plugin, "clap.surround"), nullptr);
    EXPECT_EQ(x.latency->get(plugin), 0u);
    // The editor keeps one size: its resize hints, which hosts ask for, allow no resizing.
    clap_gui_resize_hints hints{true, true, true, 3, 4};
    ASSERT_TRUE(x.gui->get_resize_hints(plugin, &hints));
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
    ASSERT_EQ(x.params->count(plugin), kParameters);
    clap_param_info info{};
    EXPECT_FALSE(x.params->get_info(plugin, kParameters, &info));
    int unautomatable = 0;
    for (clap_id i = 0; i < kParameters; ++i) {
        ASSERT_TRUE(x.params->get_info(plugin, i, &info));
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
        ASSERT_TRUE(x.params->value_to_text(plugin, i, probe, text, sizeof text));
        vst2.hosted.setParameter(static_cast<std::int32_t>(i), static_cast<float>(probe));
        EXPECT_EQ(text, vst2.hosted.parameterText(static_cast<std::int32_t>(i)));
        EXPECT_EQ(value(i), info.default_value);
        double back = -1.0;
        ASSERT_TRUE(x.params->text_to_value(plugin, i, text, &back)) << text;
        // The text shows two decimals: parsed back it is within half a hundredth and reads
        // the same.
        EXPECT_NEAR(back, probe, 0.0051);
        char again[64];
        ASSERT_TRUE(x.params->value_to_text(plugin, i, back, again, sizeof again));
        EXPECT_STREQ(again, text);
    }
    EXPECT_EQ(unautomatable, 2);
    double parsed = -1.0;
    EXPECT_FALSE(x.params->text_to_value(plugin, 0, "loud", &parsed));
    EXPECT_FALSE(x.params->text_to_value(plugin, 0, "1.5", &parsed));
    EXPECT_FALSE(x.params->text_to_value(plugin, kParameters, "0.5", &parsed));
    EXPECT_TRUE(x.params->text_to_value(plugin, 0, "0,25", &parsed));
    EXPECT_EQ(parsed, 0.25);
    EXPECT_FALSE(x.params->get_value(plugin, kParameters, &parsed));
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

    for (const auto& blob : state_blobs::brokenFrom(saved)) {
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
    indexer.declare_location = [](const clap_preset_discovery_indexer* i,
                                  const clap_preset_discovery_location* at) {
        static_cast<Index*>(i->indexer_data)->locations.push_back(*at);
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

    const clap_plugin_preset_load* load = x.presets;
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
    // The messages, and those for another controller than program 0's 38.
    std::size_t all = 0, strangers = 0;
    std::thread audio([&] {
        ASSERT_TRUE(plugin->start_processing(plugin));
        // A step every 276 frames, from note 12 in the first block.
        const clap_event_transport transport =
            transportEvent({.playing = true, .hasTempo = true, .tempo = 300.0});
        const clap_event_note start = noteOn(12, 0.0);
        InputEvents events;
        events.events = {&transport.header, &start.header};
        OutputEvents out;
        Block block(kFrames, events, out);
        for (std::uint32_t b = 0; saving.load(std::memory_order_relaxed); ++b) {
            plugin->process(plugin, &block.process);
            events.events.resize(1);
            all += out.midi.size() + out.automation.size() + out.strange;
            strangers += out.automation.size() + out.strange;
            for (const OutputEvents::Midi& midi : out.midi)
                strangers += midi.data[1] != 38;
            out.clear();
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

    ASSERT_GT(all, 16u * kRounds / 5);
    EXPECT_EQ(strangers, 0u) << "of " << all;
}

// The start and stop notes, even at a note-on's softest velocity, move start/stop as the song
// plays, not as the program stores it: a host saving the state (hosts autosave) keeps the
// sequencer as the notes left it, and saves it so.
TEST_F(ClapDoor, SavingKeepsWhatTheStartAndStopNotesDid) {
    ASSERT_TRUE(plugin->activate(plugin, kRate, 1, kBlock));
    ASSERT_TRUE(plugin->start_processing(plugin));
    setValues({{16, 0.16}}); // a step every 1378 samples at 120 bpm
    const clap_event_transport transport =
        transportEvent({.playing = true, .hasTempo = true, .tempo = 120.0});
    OutputEvents out;
    InputEvents events;
    Block block(kBlock, events, out, &transport);
    const auto play = [&](int key) {
        // The softest note-on is still one: MIDI's velocity 0 is a note-off.
        const clap_event_note note = noteOn(key, 0.0);
        events.events.assign(1, &note.header);
        EXPECT_EQ(plugin->process(plugin, &block.process), CLAP_PROCESS_CONTINUE);
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
    out.clear();
    for (int b = 0; b < 8; ++b)
        play(-1);
    EXPECT_EQ(out.midi.size(), 0u) << "the sequencer runs again after a save";

    setValues({{22, 1.0}});
    play(12); // start
    ASSERT_EQ(value(22), 0.0);
    EXPECT_EQ(savedStartStop(), 0.0f);
    EXPECT_EQ(value(22), 0.0);
    out.clear();
    for (int b = 0; b < 8; ++b)
        play(-1);
    EXPECT_GT(out.midi.size(), 0u) << "the sequencer stopped after a save";
    plugin->stop_processing(plugin);
    plugin->deactivate(plugin);
}

// A host that offers the thread check gets its misplaced calls refused instead of raced: the
// main thread's calls from the audio thread and the audio thread's from the main thread. And a
// block of no frames still takes the host's parameter changes.
TEST_F(ClapDoor, CallsOnTheWrongThreadAreRefusedWhereTheHostSays) {
    Host threaded("morvo-clap-tests");
    threaded.checksThreads = true;
    const clap_plugin* p =
        library.factory->create_plugin(library.factory, &threaded.record, "com.halvark.ostrel");
    ASSERT_TRUE(p != nullptr && p->init(p));
    const Extensions y(p);
    Stream stream;
    const clap_event_param_value change = parameterEvent(17, 0.3);
    InputEvents events;
    events.events.push_back(&change.header);
    OutputEvents out;
    const clap_process empty = processOf(0, nullptr, nullptr, nullptr, &events.record, &out.record);

    threaded.onAudioThread = true;
    EXPECT_FALSE(p->activate(p, kRate, 1, kBlock));
    EXPECT_FALSE(y.state->save(p, &stream.out));
    EXPECT_FALSE(y.gui != nullptr && y.gui->create(p, nullptr, false));
    EXPECT_FALSE(y.presets->from_location(p, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "1"));
    threaded.onAudioThread = false;
    ASSERT_TRUE(p->activate(p, kRate, 1, kBlock));
    EXPECT_FALSE(p->start_processing(p));
    EXPECT_EQ(p->process(p, &empty), CLAP_PROCESS_ERROR);
    double value = -1.0;
    ASSERT_TRUE(y.params->get_value(p, 17, &value));
    EXPECT_NE(value, 0.3);
    threaded.onAudioThread = true;
    ASSERT_TRUE(p->start_processing(p));
    EXPECT_EQ(p->process(p, &empty), CLAP_PROCESS_CONTINUE);
    ASSERT_TRUE(y.params->get_value(p, 17, &value));
    EXPECT_EQ(value, static_cast<double>(0.3f));
    p->stop_processing(p);
    threaded.onAudioThread = false;
    EXPECT_TRUE(y.state->save(p, &stream.out));
    EXPECT_GT(stream.bytes.size(), 16u);
    p->deactivate(p);
    p->destroy(p);
}

// One song at 120 bpm and then 97.5, with a stop, a relocation, notes 12/13/14 (as note events
// and as raw MIDI), parameter changes, both timings and transport changes within blocks: the
// door's Control Change stream is the VST 2 library's, message for message and block for block,
// and the door allocates nothing.
TEST_F(ClapDoor, TheStreamIsTheVst2LibrarysWithTheSameTransport) {
    constexpr std::uint32_t kBlocks = 1000; // about 11.6 seconds
    ASSERT_TRUE(plugin->activate(plugin, kRate, 1, kBlock));
    ASSERT_TRUE(plugin->start_processing(plugin));
    Vst2 vst2;
    guest::Guest& g = vst2.hosted;
    g.setSampleRate(kRate);
    g.setBlockSize(kBlock);
    g.setEventCapacity(kBlock * 16);
    g.resume();

    OutputEvents clapOut, vst2Out;
    InputEvents events;
    events.events.reserve(8);
    clap_event_transport transport{}, later{};
    clap_event_note note{};
    clap_event_midi midi{};
    clap_event_param_value change{};
    Block block(kBlock, events, clapOut);

    double beat = 0.0, tempo = 120.0;
    long counted = 0, failures = 0;
    {
        allocations::Scope scope;
        for (std::uint32_t b = 0; b < kBlocks; ++b) {
            if (b == 400) tempo = 97.5;
            if (b == 650) beat = 32.0; // relocated
            const bool playing = b < 550 || b >= 600;
            // The position in the interface's fixed point, for both doors.
            const auto position = std::llround(beat * CLAP_BEATTIME_FACTOR);
            const auto bar = position / (4 * CLAP_BEATTIME_FACTOR) * 4 * CLAP_BEATTIME_FACTOR;
            guest::Transport same{.sampleRate = kRate,
                                  .blockSize = kBlock,
                                  .samplePosition = double(b) * kBlock,
                                  .playing = playing,
                                  .hasTempo = true,
                                  .tempo = tempo,
                                  .hasSongPosition = true,
                                  .songPosition = double(position) / CLAP_BEATTIME_FACTOR,
                                  .hasBars = true,
                                  .barStart = double(bar) / CLAP_BEATTIME_FACTOR,
                                  .hasTimeSignature = true};
            transport = transportEvent(same);
            events.events.clear();
            // The transport as an event, as the process's own, or none at all.
            const bool none = b >= 150 && b < 170, own = b >= 900 && b < 950;
            block.process.transport = own ? &transport : nullptr;
            if (!none && !own) events.events.push_back(&transport.header);
            // And a stop in the block's last frame, which the record has no place for: the
            // block still starts with the transport above.
            later = transport;
            later.header.time = kBlock - 1;
            later.flags = 0;
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
                note = noteOn(key, 100.0 / 127.0, 77);
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
                change = parameterEvent(id, id == 17 ? 0.3 : b == 500 ? 1.0 : 0.0, 3);
                events.events.push_back(&change.header);
                g.setParameter(static_cast<std::int32_t>(id), static_cast<float>(change.value));
            }

            if (!none) events.events.push_back(&later.header);
            clapOut.startBlock(b);
            if (plugin->process(plugin, &block.process) != CLAP_PROCESS_CONTINUE) ++failures;

            struct Sent final : guest::Sink {
                OutputEvents& kept;
                std::uint32_t block;
                Sent(OutputEvents& to, std::uint32_t b) : kept(to), block(b) {}
                void take(std::uint32_t frame, const unsigned char data[3]) override {
                    kept.midi.push_back({block, frame, {data[0], data[1], data[2]}, 0});
                }
            } sent(vst2Out, b);
            g.run(same, {block.inputs, block.outputs, kBlock}, sent);
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

    EXPECT_EQ(clapOut.unordered + clapOut.strange + clapOut.automation.size(), 0u);
    ASSERT_EQ(clapOut.midi.size(), vst2Out.midi.size());
    EXPECT_GT(clapOut.midi.size(), 200u); // it played
    for (std::size_t i = 0; i < clapOut.midi.size(); ++i)
        ASSERT_EQ(clapOut.midi[i], vst2Out.midi[i]) << "message " << i;
    // Something in each part of the song: before and after the tempo change, in external timing.
    auto sentIn = [&](std::uint32_t from, std::uint32_t to) {
        std::size_t n = 0;
        for (const OutputEvents::Midi& m : clapOut.midi)
            n += m.block >= from && m.block < to;
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
// size, its idle timer, a click in it reaching the host as a parameter event, its window off the
// screen while hidden, and nothing left behind when the host destroys it.
#include <X11/Xlib.h>

#include "tests/x11/XTree.h"
#include <X11/extensions/XTest.h>
#include <unistd.h>

TEST_F(ClapDoor, EditorEmbedsInTheHostsX11WindowIdlesOnItsTimerAndSendsItsAutomation) {
    Display* const display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "needs a display (run through tests/x11/with_xvfb.sh)";
    XSetErrorHandler(countXErrors);
    const Window parent =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 400, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    clap_window window{};
    window.x11 = parent;
    ASSERT_NO_FATAL_FAILURE(openEditor(CLAP_WINDOW_API_X11, CLAP_WINDOW_API_WIN32, window));
    const clap_id idle = host.timers[0].first;
    const auto idleFor = [&](int milliseconds) {
        XSync(display, False);
        for (int t = 0; t < milliseconds; t += 5) {
            x.timer->on_timer(plugin, idle);
            usleep(5000);
        }
    };
    idleFor(200);
    // The size before the editor opened is the open editor's.
    std::uint32_t width = 0, height = 0;
    ASSERT_TRUE(x.gui->get_size(plugin, &width, &height));
    EXPECT_EQ(width * 1000 + height, 626u * 1000 + 280u);

    const std::vector<Window> editor = childrenOf(display, parent);
    ASSERT_EQ(editor.size(), 1u);
    XWindowAttributes attributes{};
    const auto viewable = [&] {
        return XGetWindowAttributes(display, editor[0], &attributes) != 0 &&
               attributes.map_state == IsViewable;
    };
    EXPECT_TRUE(viewable());
    EXPECT_EQ(attributes.width, 626);
    EXPECT_EQ(attributes.height, 280);

    // A click on the first step slider's arrow, towards the middle.
    const double before = value(0);
    clickFirstStepArrow(display, editor[0], before, idleFor);
    const double after = value(0);
    EXPECT_GT(std::abs(after - before), 0.0); // at most a step, onto the slider's positions
    EXPECT_LE(std::abs(after - before), 1.0 / 127.0 + 1e-6);
    expectOneEdit(0, after);

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
    InputEvents none;
    OutputEvents queued;
    x.params->flush(plugin, &none.record, &queued.record);
    ASSERT_EQ(queued.automation.size(), 1024u);
    EXPECT_EQ(queued.automation.front().value, 1.0);
    EXPECT_EQ(queued.automation.back().value, 0.0);
    // Hidden, the editor is off the screen, and shown again it is back.
    EXPECT_TRUE(x.gui->hide(plugin));
    EXPECT_FALSE(viewable());
    EXPECT_TRUE(x.gui->show(plugin));
    EXPECT_TRUE(viewable());
    EXPECT_TRUE(x.gui->hide(plugin));
    x.gui->destroy(plugin);
    EXPECT_TRUE(host.timers.empty());
    EXPECT_EQ(host.misuses, 0);
    XSync(display, False);
    EXPECT_TRUE(childrenOf(display, parent).empty());
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(xErrorCount, 0);
    XCloseDisplay(display);
    releaseDrawingCaches();
}
#endif

#if defined(_WIN32)
// The editor embedded in a Win32 window of the host's, as a Windows host gives it: its place and
// size, a click on a step slider reaching the host as a parameter event between gestures, its
// window hidden while the host hides it, and nothing left in the host's window once the host
// destroys it.
TEST_F(ClapDoor, EditorEmbedsInTheHostsWin32WindowAndSendsItsAutomation) {
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
                x.timer->on_timer(plugin, id);
            Sleep(5);
        }
    };
    clap_window window{};
    window.win32 = parent;
    ASSERT_NO_FATAL_FAILURE(openEditor(CLAP_WINDOW_API_WIN32, CLAP_WINDOW_API_X11, window));
    pump(200);

    const HWND editor = GetWindow(parent, GW_CHILD);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(GetWindow(editor, GW_HWNDNEXT), nullptr); // one editor
    RECT box{};
    GetClientRect(editor, &box);
    EXPECT_EQ(box.right * 1000 + box.bottom, 626 * 1000 + 280);
    EXPECT_TRUE(IsWindowVisible(editor));
    const HWND slider = secondStepSlider(editor);
    ASSERT_NE(slider, nullptr);

    // A click on the down arrow, as the mouse gives it: the bar tracks until the button is up.
    const double before = value(1);
    PostMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(8, 160));
    SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 160));
    pump(50);
    const double after = value(1);
    EXPECT_NE(after, before);
    EXPECT_EQ(after, 1.0f - 65.0f / 127.0f);
    expectOneEdit(1, after);

    // Hidden, the editor is off the screen, and shown again it is back.
    EXPECT_TRUE(x.gui->hide(plugin));
    EXPECT_FALSE(IsWindowVisible(editor));
    EXPECT_TRUE(x.gui->show(plugin));
    EXPECT_TRUE(IsWindowVisible(editor));
    EXPECT_TRUE(x.gui->hide(plugin));
    x.gui->destroy(plugin);
    pump(50);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    EXPECT_TRUE(host.timers.empty());
    EXPECT_EQ(host.misuses, 0);
    DestroyWindow(parent);
}
#endif
