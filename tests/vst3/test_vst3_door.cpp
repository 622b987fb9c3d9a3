// Morvo.vst3 loaded as a VST 3 host loads it, through its module entry and GetPluginFactory: the
// factory's class and the module information beside it, the component's buses, the parameters
// and the program list against the VST 2 library, the state's round trip and its refusals, and
// the Control Change stream of a song against the VST 2 library's with the same transport.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "formats/guest/Facts.h"
#include "formats/guest/Guest.h"
#include "tests/AllocationCounter.h"
#include "tests/StateBlobs.h"
#include "tests/Vst2Reference.h"
#include "tests/vst3/Vst3Rig.h"
#include "tests/windows/EditorWindows.h"
#include "tests/windows/WindowsPath.h"

using namespace vst3_rig;

namespace {

constexpr int32 kParameters = 23, kPrograms = 16;
constexpr int32 kBlock = 512;
constexpr double kRate = 44100.0;
// The class hosts keep in their songs: it never changes.
constexpr Uid kClass = makeUid(0x6EC6A5C8, 0xC7694AAE, 0xB44F68A3, 0x773A6AC7);
constexpr const char* kClassText = "6EC6A5C8C7694AAEB44F68A3773A6AC7";

// The VST 2 library through the guest, for what the VST 3 door must show the same.
using Vst2 = Vst2Reference;

class Vst3Door : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(module.factory, nullptr) << MORVO_VST3_BUNDLE;
        ASSERT_TRUE(plugin.whole());
        ASSERT_EQ(plugin.component->vtbl->base.initialize(plugin.component, nullptr), kResultOk);
        edit->setComponentHandler(plugin.controller, handler.face());
    }
    void TearDown() override {
        if (plugin.component != nullptr) plugin.component->vtbl->base.terminate(plugin.component);
    }
    ParamValue value(ParamID id) { return edit->getParamNormalized(plugin.controller, id); }
    std::string valueText(ParamID id, ParamValue v) {
        String128 shown{};
        EXPECT_EQ(edit->getParamStringByValue(plugin.controller, id, v, shown), kResultOk);
        return text(shown);
    }
    // Through a host stream that takes at most 100 bytes at a time, and one that gives 7.
    std::vector<std::uint8_t> save() {
        Stream stream({}, 100);
        EXPECT_EQ(plugin.component->vtbl->getState(plugin.component, stream.face()), kResultOk);
        return stream.bytes;
    }
    bool load(const std::vector<std::uint8_t>& blob) {
        Stream stream(blob, 7);
        return plugin.component->vtbl->setState(plugin.component, stream.face()) == kResultOk;
    }
    // The program-change parameter, the last of the controller's.
    ParameterInfo programParameter() {
        ParameterInfo info{};
        EXPECT_EQ(edit->getParameterInfo(plugin.controller, kParameters, info), kResultOk);
        return info;
    }

    Module module{nativePath(libraryIn(MORVO_VST3_BUNDLE).c_str())};
    Instance plugin{module.factory, kClass};
    const IEditControllerVtbl* edit =
        plugin.controller != nullptr ? plugin.controller->vtbl : nullptr;
    ComponentHandler handler;
};

using state_blobs::kCurrentAt;
using state_blobs::kHeader;
using state_blobs::kProgram;
using state_blobs::reseal;
using state_blobs::valueAt;

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

} // namespace

// The factory offers one class, the plug-in's, in all three versions of its class information,
// and makes it only under its own id and for interfaces it has; the module information beside
// the library says the same, so hosts that read it without loading the library list the same.
TEST_F(Vst3Door, FactoryOffersOneAudioModuleClassAsTheModuleInformationSays) {
    IPluginFactory3* factory = module.factory;
    const IPluginFactoryVtbl& v1 = factory->vtbl->factory2.factory;
    PFactoryInfo about{};
    ASSERT_EQ(v1.getFactoryInfo(factory, &about), kResultOk);
    EXPECT_STREQ(about.vendor, "Halvark");
    EXPECT_NE(about.flags & PFactoryInfo::kUnicode, 0);
    ASSERT_EQ(v1.countClasses(factory), 1);
    PClassInfo info{};
    ASSERT_EQ(v1.getClassInfo(factory, 0, &info), kResultOk);
    EXPECT_TRUE(sameUid(info.cid, kClass));
    EXPECT_STREQ(info.category, "Audio Module Class");
    EXPECT_STREQ(info.name, "Ostrel");
    EXPECT_EQ(info.cardinality, kManyInstances);
    EXPECT_NE(v1.getClassInfo(factory, 1, &info), kResultOk);

    auto* factory2 = query<IPluginFactory3>(factory, IPluginFactory2_iid);
    auto* factory3 = query<IPluginFactory3>(factory, IPluginFactory3_iid);
    ASSERT_TRUE(factory2 != nullptr && factory3 != nullptr);
    PClassInfo2 info2{};
    ASSERT_EQ(factory2->vtbl->factory2.getClassInfo2(factory2, 0, &info2), kResultOk);
    EXPECT_TRUE(sameUid(info2.cid, kClass));
    EXPECT_STREQ(info2.name, "Ostrel");
    EXPECT_STREQ(info2.vendor, "Halvark");
    EXPECT_STREQ(info2.version, MORVO_VERSION);
    EXPECT_EQ(std::string(info2.subCategories).rfind("Fx", 0), 0u) << info2.subCategories;
    PClassInfoW wide{};
    ASSERT_EQ(factory3->vtbl->getClassInfoUnicode(factory3, 0, &wide), kResultOk);
    EXPECT_TRUE(sameUid(wide.cid, kClass));
    EXPECT_EQ(text(wide.name), "Ostrel");
    EXPECT_EQ(text(wide.vendor), "Halvark");
    EXPECT_EQ(text(wide.version), MORVO_VERSION);
    EXPECT_EQ(std::string(wide.subCategories), info2.subCategories);
    release(factory2);
    release(factory3);

    void* made = &info;
    const Uid other = makeUid(1, 2, 3, 4);
    EXPECT_NE(v1.createInstance(factory, other.bytes, IComponent_iid.bytes, &made), kResultOk);
    EXPECT_EQ(made, nullptr);
    made = &info;
    EXPECT_EQ(v1.createInstance(factory, kClass.bytes, other.bytes, &made), kNoInterface);
    EXPECT_EQ(made, nullptr);

    const std::string json = fileText(nativePath(
        (std::string(MORVO_VST3_BUNDLE) + "/Contents/Resources/moduleinfo.json").c_str()));
    for (const std::string& line :
         {std::string("\"CID\": \"") + kClassText + "\"", std::string("\"Name\": \"Ostrel\""),
          std::string("\"Vendor\": \"Halvark\""),
          std::string("\"Version\": \"") + MORVO_VERSION + "\"",
          std::string("\"Category\": \"Audio Module Class\""),
          std::string("\"Sub Categories\": [\"Fx\"")})
        EXPECT_NE(json.find(line), std::string::npos) << line << " in\n" << json;
}

// One stereo bus each way that the audio passes through, one MIDI bus of 16 channels each way;
// 32-bit samples; the process context the record's time information is made of.
TEST_F(Vst3Door, ComponentOffersStereoThroughAndOneMidiBusEachWay) {
    const IComponentVtbl& c = *plugin.component->vtbl;
    for (const MediaType type : {kAudio, kEvent})
        for (const BusDirection direction : {kInput, kOutput}) {
            ASSERT_EQ(c.getBusCount(plugin.component, type, direction), 1);
            BusInfo bus{};
            ASSERT_EQ(c.getBusInfo(plugin.component, type, direction, 0, bus), kResultOk);
            EXPECT_EQ(bus.channelCount, type == kAudio ? 2 : 16);
            EXPECT_EQ(bus.busType, kMain);
            EXPECT_NE(bus.flags & BusInfo::kDefaultActive, 0u);
            EXPECT_NE(c.getBusInfo(plugin.component, type, direction, 1, bus), kResultOk);
            EXPECT_EQ(c.activateBus(plugin.component, type, direction, 0, 1), kResultTrue);
            EXPECT_NE(c.activateBus(plugin.component, type, direction, 1, 1), kResultTrue);
        }
    const IAudioProcessorVtbl& p = *plugin.processor->vtbl;
    SpeakerArrangement stereo = kStereo, mono = kSpeakerL;
    EXPECT_EQ(p.setBusArrangements(plugin.processor, &stereo, 1, &stereo, 1), kResultTrue);
    EXPECT_NE(p.setBusArrangements(plugin.processor, &mono, 1, &mono, 1), kResultTrue);
    EXPECT_EQ(p.canProcessSampleSize(plugin.processor, kSample32), kResultTrue);
    EXPECT_NE(p.canProcessSampleSize(plugin.processor, kSample64), kResultTrue);
    using R = IProcessContextRequirements;
    const uint32 needs =
        plugin.requirements->vtbl->getProcessContextRequirements(plugin.requirements);
    for (const uint32 need : {R::kNeedTempo, R::kNeedProjectTimeMusic, R::kNeedBarPositionMusic,
                              R::kNeedTransportState, R::kNeedTimeSignature})
        EXPECT_NE(needs & need, 0u) << need;
}

// The record's parameters keep their names, units, defaults and texts, and the two whose names
// carry the mark are not automatable; the programs are a list, selected by a parameter of their
// own, named as the VST 2 library names them, each bringing its values.
TEST_F(Vst3Door, ParametersAreTheRecordsAndTheProgramsAListTheyFollow) {
    Vst2 vst2;
    const guest::Facts facts = guest::describe(vst2.hosted);
    ASSERT_EQ(edit->getParameterCount(plugin.controller), kParameters + 1);
    int notAutomatable = 0;
    for (int32 i = 0; i < kParameters; ++i) {
        ParameterInfo info{};
        ASSERT_EQ(edit->getParameterInfo(plugin.controller, i, info), kResultOk);
        const guest::ParameterFacts& expected = facts.parameters[static_cast<std::size_t>(i)];
        EXPECT_EQ(info.id, ParamID(i));
        EXPECT_EQ(text(info.title), expected.name);
        EXPECT_EQ(text(info.units), expected.label);
        EXPECT_EQ(info.defaultNormalizedValue, expected.value);
        EXPECT_EQ(value(ParamID(i)), expected.value);
        EXPECT_EQ((info.flags & ParameterInfo::kCanAutomate) != 0, expected.automatable);
        EXPECT_EQ(info.flags & ParameterInfo::kIsProgramChange, 0);
        notAutomatable += (info.flags & ParameterInfo::kCanAutomate) == 0;
        // The plug-in's own text for any value, read back as the value it shows.
        for (const float v : {0.0f, 0.3f, 1.0f}) {
            vst2.hosted.setParameter(i, v);
            const std::string shown = valueText(ParamID(i), v);
            EXPECT_EQ(shown, vst2.hosted.parameterText(i));
            ParamValue back = -1.0;
            char16 typed[128];
            text(shown, typed);
            if (edit->getParamValueByString(plugin.controller, ParamID(i), typed, back) ==
                kResultOk) {
                vst2.hosted.setParameter(i, static_cast<float>(back));
                EXPECT_EQ(vst2.hosted.parameterText(i), shown);
            }
        }
        EXPECT_EQ(value(ParamID(i)), expected.value) << "formatting moved the value";
    }
    EXPECT_EQ(notAutomatable, 2);
    char16 typed[128];
    ParamValue back = -1.0;
    text("0,5", typed);
    EXPECT_EQ(edit->getParamValueByString(plugin.controller, 3, typed, back), kResultOk);
    EXPECT_EQ(back, 0.5);
    text("half", typed);
    EXPECT_NE(edit->getParamValueByString(plugin.controller, 3, typed, back), kResultOk);

    const ParameterInfo program = programParameter();
    const int32 wanted =
        ParameterInfo::kIsProgramChange | ParameterInfo::kIsList | ParameterInfo::kCanAutomate;
    EXPECT_EQ(program.flags & wanted, wanted);
    EXPECT_EQ(program.stepCount, kPrograms - 1);
    EXPECT_EQ(program.unitId, kRootUnitId);

    const IUnitInfoVtbl& u = *plugin.units->vtbl;
    ASSERT_EQ(u.getUnitCount(plugin.units), 1);
    UnitInfo unit{};
    ASSERT_EQ(u.getUnitInfo(plugin.units, 0, unit), kResultOk);
    EXPECT_EQ(unit.id, kRootUnitId);
    ASSERT_EQ(u.getProgramListCount(plugin.units), 1);
    ProgramListInfo list{};
    ASSERT_EQ(u.getProgramListInfo(plugin.units, 0, list), kResultOk);
    EXPECT_EQ(list.id, unit.programListId);
    ASSERT_EQ(list.programCount, kPrograms);
    for (int32 p = 0; p < kPrograms; ++p) {
        String128 name{};
        ASSERT_EQ(u.getProgramName(plugin.units, list.id, p, name), kResultOk);
        EXPECT_EQ(text(name), facts.programs[static_cast<std::size_t>(p)].name);
        const ParamValue at = edit->plainParamToNormalized(plugin.controller, program.id, p);
        EXPECT_EQ(edit->normalizedParamToPlain(plugin.controller, program.id, at), p);
        EXPECT_EQ(valueText(program.id, at), text(name));
    }
    String128 name{};
    EXPECT_NE(u.getProgramName(plugin.units, list.id, kPrograms, name), kResultOk);

    // The host picks program 3: every parameter follows, and the host hears of it.
    const ParamValue third = edit->plainParamToNormalized(plugin.controller, program.id, 3);
    ASSERT_EQ(edit->setParamNormalized(plugin.controller, program.id, third), kResultOk);
    EXPECT_NE(handler.restarts & kParamValuesChanged, 0);
    EXPECT_EQ(value(program.id), third);
    for (int32 i = 0; i < kParameters; ++i)
        EXPECT_EQ(value(ParamID(i)), facts.programs[3].values[static_cast<std::size_t>(i)]) << i;
}

TEST_F(Vst3Door, StateRoundTripsBitForBitAndBrokenBlobsChangeNothing) {
    edit->setParamNormalized(plugin.controller, 3, 0.25);
    edit->setParamNormalized(plugin.controller, 17, 0.75);
    const std::vector<std::uint8_t> saved = save();
    ASSERT_EQ(saved.size(), kHeader + kPrograms * kProgram + 4);
    EXPECT_EQ(std::memcmp(saved.data(), "OSTR", 4), 0);

    edit->setParamNormalized(plugin.controller, 3, 0.5);
    edit->setParamNormalized(plugin.controller, 17, 0.125);
    const std::vector<std::uint8_t> changed = save();
    ASSERT_NE(changed, saved);

    for (const auto& blob : state_blobs::brokenFrom(saved)) {
        EXPECT_FALSE(load(blob)) << blob.size();
        EXPECT_EQ(save(), changed);
    }
    EXPECT_EQ(handler.restarts, 0);

    ASSERT_TRUE(load(saved));
    EXPECT_NE(handler.restarts & kParamValuesChanged, 0);
    EXPECT_EQ(save(), saved);
    EXPECT_EQ(value(3), 0.25);
    EXPECT_EQ(value(17), 0.75);
    // Every program loads, not only the current one, and the current one is the blob's.
    std::vector<std::uint8_t> other = saved;
    const float quarter = 0.25f;
    std::memcpy(other.data() + valueAt(2, 5), &quarter, 4);
    other[kCurrentAt] = 2;
    reseal(other);
    ASSERT_TRUE(load(other));
    EXPECT_EQ(save(), other);
    EXPECT_EQ(value(5), 0.25);
    EXPECT_EQ(value(programParameter().id),
              edit->plainParamToNormalized(plugin.controller, programParameter().id, 2));
}

// A host saves the song while it plays: the stream keeps to the current program's controller
// however often it saves, though every other program names another one.
class Vst3DoorConcurrency : public Vst3Door {};

TEST_F(Vst3DoorConcurrency, SavingWhilePlayingLeavesWhatPlaysAlone) {
    constexpr int32 kFrames = 64;
    constexpr ParamID kCcOut = 17, kSync = 16;
    edit->setParamNormalized(plugin.controller, kCcOut, 0.3);
    edit->setParamNormalized(plugin.controller, kSync, 0.32);
    std::vector<std::uint8_t> blob = save();
    ASSERT_EQ(blob.size(), kHeader + kPrograms * kProgram + 4);
    const float other = 1.0f; // controller 127
    for (std::size_t p = 1; p < kPrograms; ++p)
        std::memcpy(blob.data() + valueAt(p, kCcOut), &other, 4);
    reseal(blob);
    ASSERT_TRUE(load(blob));
    const std::vector<std::uint8_t> before = save();

    ProcessSetup setup{kRealtime, kSample32, kFrames, kRate};
    ASSERT_EQ(plugin.processor->vtbl->setupProcessing(plugin.processor, setup), kResultOk);
    ASSERT_EQ(plugin.component->vtbl->setActive(plugin.component, 1), kResultOk);
    std::atomic<bool> saving{true};
    std::atomic<int> played{0};
    // The messages, and those for another controller than program 0's 38.
    std::size_t all = 0, strangers = 0;
    std::thread audio([&] {
        plugin.processor->vtbl->setProcessing(plugin.processor, 1);
        Block block(kFrames);
        // A step every 276 frames, from note 12 in the first block.
        block.context = contextOf({.playing = true, .hasTempo = true, .tempo = 300.0});
        Event start = noteOn(12, 1.0f / 127.0f, 0);
        EventList::add(&block.events, start);
        for (int b = 0; saving.load(std::memory_order_relaxed); ++b) {
            plugin.processor->vtbl->process(plugin.processor, block.data);
            block.events.events.clear();
            for (const Event& e : block.sent.events) {
                std::uint8_t data[3] = {};
                ++all;
                strangers += !midiOf(e, data) || data[1] != 38;
            }
            strangers += static_cast<std::size_t>(block.sentChanges.used);
            block.sent.events.clear();
            block.sentChanges.clear();
            played.store(b + 1, std::memory_order_relaxed);
        }
        plugin.processor->vtbl->setProcessing(plugin.processor, 0);
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
    plugin.component->vtbl->setActive(plugin.component, 0);

    ASSERT_GT(all, 16u * kRounds / 5);
    EXPECT_EQ(strangers, 0u) << "of " << all;
}

// Hosts deliver parameter changes outside playing in blocks of no samples: the values change,
// and nothing plays or goes out.
TEST_F(Vst3Door, ABlockOfNoSamplesChangesTheParametersAndPlaysNothing) {
    ASSERT_TRUE(plugin.start(kRate, kBlock));
    Block block(kBlock);
    block.data.numSamples = 0;
    block.data.processContext = nullptr;
    block.changes.set(17, 0.5);
    block.changes.set(22, 0.0); // started, as far as the parameter goes
    ASSERT_EQ(plugin.processor->vtbl->process(plugin.processor, block.data), kResultOk);
    EXPECT_EQ(value(17), 0.5);
    EXPECT_EQ(value(22), 0.0);
    EXPECT_TRUE(block.sent.events.empty());
    EXPECT_EQ(block.sentChanges.used, 0);
    plugin.stop();
    ASSERT_EQ(plugin.component->vtbl->base.initialize(plugin.component, nullptr), kResultOk);
}

// A host that initialises the one object as component and again as controller, and terminates
// it twice, finds it working until the last terminate.
TEST_F(Vst3Door, InitialisedTwiceItLivesUntilTheLastTerminate) {
    const IPluginBaseVtbl& base = plugin.component->vtbl->base;
    ASSERT_EQ(plugin.controller->vtbl->base.initialize(plugin.controller, nullptr), kResultOk);
    edit->setParamNormalized(plugin.controller, 4, 0.5);
    ASSERT_EQ(base.terminate(plugin.component), kResultOk);
    EXPECT_EQ(value(4), 0.5);
    EXPECT_EQ(save().size(), kHeader + kPrograms * kProgram + 4);
    ASSERT_EQ(base.initialize(plugin.component, nullptr), kResultOk); // TearDown's terminate
}

// The song through the VST 3 door and through the VST 2 library with the same transport: the
// same messages at the same frames, the notes reaching the plug-in at their offsets, the
// parameter changes at the block's start, and nothing allocated in any block.
TEST_F(Vst3Door, TheStreamIsTheVst2LibrarysWithTheSameTransport) {
    constexpr int32 kBlocks = 700; // about 8 seconds
    ASSERT_TRUE(plugin.start(kRate, kBlock));
    Vst2 vst2;
    guest::Guest& g = vst2.hosted;
    g.setSampleRate(kRate);
    g.setBlockSize(kBlock);
    g.setEventCapacity(kBlock * 16);
    g.resume();

    struct Sent {
        int32 block, frame;
        std::uint8_t data[3];
        bool operator==(const Sent&) const = default;
    };
    std::vector<Sent> vst3Out, vst2Out;
    vst3Out.reserve(1 << 16);
    vst2Out.reserve(1 << 16);
    Block block(kBlock);
    double beat = 0.0, tempo = 120.0;
    long counted = 0, failures = 0, strange = 0, unordered = 0;
    ParamValue reported = -1.0;
    const ParamID programId = programParameter().id;
    {
        allocations::Scope scope;
        for (int32 b = 0; b < kBlocks; ++b) {
            if (b == 350) tempo = 97.5;
            if (b == 500) beat = 32.0; // relocated
            const bool playing = b < 400 || b >= 420;
            guest::Transport same{.sampleRate = kRate,
                                  .blockSize = kBlock,
                                  .samplePosition = double(b) * kBlock,
                                  .playing = playing,
                                  .hasTempo = true,
                                  .tempo = tempo,
                                  .hasSongPosition = true,
                                  .songPosition = beat,
                                  .hasBars = true,
                                  .barStart = std::floor(beat / 4.0) * 4.0,
                                  .hasTimeSignature = true};
            block.clear();
            block.context = contextOf(same);
            // A host without a context for a while: what a VST 2 host without a tempo says.
            const bool none = b >= 150 && b < 170;
            block.data.processContext = none ? nullptr : &block.context;
            if (none)
                same = {.sampleRate = kRate,
                        .blockSize = kBlock,
                        .samplePosition = same.samplePosition};
            // Notes: 12 starts, 13 stops, 14 resets and starts; a note-off goes nowhere.
            const int key = b == 50 ? 12 : b == 200 ? 13 : b == 250 || b == 600 ? 14 : 0;
            if (key != 0) {
                Event on = noteOn(key, 100 / 127.0f, 400, 2);
                EventList::add(&block.events, on);
                const unsigned char bytes[3] = {0x92, static_cast<unsigned char>(key), 100};
                g.queueEvent(400, bytes);
            }
            // 8 steps a beat, CC Out, then external timing, internal again, then program 2.
            const ParamID id = b == 0                 ? 16
                               : b == 100             ? 17
                               : b == 300 || b == 450 ? 21
                               : b == 650             ? 1000
                                                      : 0;
            if (id == 16 || id == 17 || id == 21) {
                const ParamValue v = id == 16 ? 0.08 : id == 17 ? 0.3 : b == 300 ? 1.0 : 0.0;
                block.changes.set(id, 0.9, 0); // an earlier point in the same block
                block.changes.set(id, v, 40);
                g.setParameter(static_cast<std::int32_t>(id), 0.9f);
                g.setParameter(static_cast<std::int32_t>(id), static_cast<float>(v));
            } else if (id == 1000) {
                block.changes.set(programId, 2.0 / (kPrograms - 1));
                g.setProgram(2);
            }

            if (plugin.processor->vtbl->process(plugin.processor, block.data) != kResultOk)
                ++failures;
            if (b == 650) reported = block.sentChanges.last(17);
            int32 last = 0;
            for (const Event& e : block.sent.events) {
                Sent s{b, e.sampleOffset, {}};
                if (e.busIndex != 0 || !midiOf(e, s.data) || e.sampleOffset >= kBlock) {
                    ++strange;
                    continue;
                }
                unordered += e.sampleOffset < last;
                last = e.sampleOffset;
                vst3Out.push_back(s);
            }
            struct Kept final : guest::Sink {
                std::vector<Sent>& kept;
                int32 block;
                Kept(std::vector<Sent>& to, int32 b) : kept(to), block(b) {}
                void take(std::uint32_t frame, const unsigned char data[3]) override {
                    kept.push_back({block, static_cast<int32>(frame), {data[0], data[1], data[2]}});
                }
            } kept(vst2Out, b);
            g.run(same, {block.inputs, block.outputs, kBlock}, kept);
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
    plugin.stop();

    EXPECT_EQ(strange + unordered, 0);
    ASSERT_EQ(vst3Out.size(), vst2Out.size());
    EXPECT_GT(vst3Out.size(), 200u); // it played
    for (std::size_t i = 0; i < vst3Out.size(); ++i)
        ASSERT_EQ(vst3Out[i], vst2Out[i]) << "message " << i;
    // Something in each part of the song: the start note, the tempo change, external timing.
    auto sentIn = [&](int32 from, int32 to) {
        std::size_t n = 0;
        for (const Sent& s : vst3Out)
            n += s.block >= from && s.block < to;
        return n;
    };
    EXPECT_GT(sentIn(50, 200) * sentIn(300, 450) * sentIn(450, 600) * sentIn(600, 700), 0u);
    // The program change in a block tells the host the values that came with it.
    EXPECT_EQ(reported, g.parameter(17));
}

#if defined(MORVO_VST3_X11)
// The editor as a Linux host opens it: a view of one fixed size for X11 windows only, embedded in
// a real X11 window of the host's on a virtual display, idled from the frame's run loop, a click
// in it reaching the host's handler as one edit between begin and end, and nothing left behind
// once the host removes it.
#include <X11/Xlib.h>

#include "tests/x11/XTree.h"
#include <X11/extensions/XTest.h>
#include <unistd.h>

TEST_F(Vst3Door, EditorEmbedsInTheHostsX11WindowIdlesOnItsRunLoopAndSendsItsEdits) {
    Display* const display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "needs a display (run through tests/x11/with_xvfb.sh)";
    XSetErrorHandler(countXErrors);
    EXPECT_EQ(edit->createView(plugin.controller, "another"), nullptr);
    IPlugView* view = edit->createView(plugin.controller, kEditorViewName);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(edit->createView(plugin.controller, kEditorViewName), nullptr); // one at a time
    const IPlugViewVtbl& v = *view->vtbl;
    EXPECT_EQ(v.isPlatformTypeSupported(view, kPlatformTypeX11EmbedWindowID), kResultTrue);
    EXPECT_NE(v.isPlatformTypeSupported(view, kPlatformTypeHWND), kResultTrue);
    ViewRect size{};
    ASSERT_EQ(v.getSize(view, &size), kResultOk);
    EXPECT_EQ(size.right - size.left, 626);
    EXPECT_EQ(size.bottom - size.top, 280);
    EXPECT_NE(v.canResize(view), kResultTrue);
    ViewRect bigger{0, 0, 700, 300};
    EXPECT_NE(v.onSize(view, &bigger), kResultOk);
    ASSERT_EQ(v.checkSizeConstraint(view, &bigger), kResultOk);
    EXPECT_EQ(bigger.right * 1000 + bigger.bottom, 626 * 1000 + 280);

    const Window parent =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 800, 400, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    PlugFrame frame;
    ASSERT_EQ(v.setFrame(view, frame.face()), kResultOk);
    ASSERT_EQ(v.attached(view, reinterpret_cast<void*>(parent), kPlatformTypeX11EmbedWindowID),
              kResultOk);
    ASSERT_EQ(frame.loop.timers.size(), 1u);
    EXPECT_NEAR(double(frame.loop.timers[0].second), 40.0, 10.0);
    const auto idleFor = [&](int milliseconds) {
        XSync(display, False);
        for (int t = 0; t < milliseconds; t += 5) {
            frame.loop.fire();
            usleep(5000);
        }
    };
    idleFor(200);
    const std::vector<Window> editor = childrenOf(display, parent);
    ASSERT_EQ(editor.size(), 1u);
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, editor[0], &attributes), 0);
    EXPECT_EQ(attributes.map_state, IsViewable);
    EXPECT_EQ(attributes.width * 1000 + attributes.height, 626 * 1000 + 280);

    const ParamValue before = value(0);
    clickFirstStepArrow(display, editor[0], before, idleFor);
    const ParamValue after = value(0);
    EXPECT_GT(std::abs(after - before), 0.0);
    int open = 0, performed = 0;
    for (const ComponentHandler::Edit& e : handler.edits) {
        EXPECT_EQ(e.id, 0u);
        open += e.kind == 'b' ? 1 : e.kind == 'e' ? -1 : 0;
        EXPECT_GE(open, 0);
        if (e.kind == 'p') {
            ++performed;
            EXPECT_EQ(e.value, after);
        }
    }
    EXPECT_EQ(open, 0);
    EXPECT_EQ(performed, 1);

    ASSERT_EQ(v.removed(view), kResultOk);
    EXPECT_TRUE(frame.loop.timers.empty());
    XSync(display, False);
    EXPECT_TRUE(childrenOf(display, parent).empty());
    v.setFrame(view, nullptr);
    release(view);
    // The view gone, the next one can be made.
    view = edit->createView(plugin.controller, kEditorViewName);
    EXPECT_NE(view, nullptr);
    if (view != nullptr) release(view);
    XDestroyWindow(display, parent);
    XSync(display, False);
    EXPECT_EQ(xErrorCount, 0);
    XCloseDisplay(display);
    releaseDrawingCaches();
}
#endif

#if defined(_WIN32)
// The editor as a Windows host opens it: a view for HWND parents only, embedded in a window of
// the host's, a click on a step slider reaching the host's handler as one edit between begin and
// end, and nothing left in the host's window once the host removes it.
TEST_F(Vst3Door, EditorEmbedsInTheHostsWin32WindowAndSendsItsEdits) {
    IPlugView* view = edit->createView(plugin.controller, kEditorViewName);
    ASSERT_NE(view, nullptr);
    const IPlugViewVtbl& v = *view->vtbl;
    EXPECT_EQ(v.isPlatformTypeSupported(view, kPlatformTypeHWND), kResultTrue);
    EXPECT_NE(v.isPlatformTypeSupported(view, kPlatformTypeX11EmbedWindowID), kResultTrue);
    ViewRect size{};
    ASSERT_EQ(v.getSize(view, &size), kResultOk);
    EXPECT_EQ((size.right - size.left) * 1000 + size.bottom - size.top, 626 * 1000 + 280);
    HWND parent = CreateWindowExA(0, "STATIC", "morvo-vst3-tests", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  0, 0, 800, 400, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    const auto pump = [&](int milliseconds) {
        for (int t = 0; t < milliseconds; t += 5) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            Sleep(5);
        }
    };
    PlugFrame frame;
    ASSERT_EQ(v.setFrame(view, frame.face()), kResultOk);
    ASSERT_EQ(v.attached(view, parent, kPlatformTypeHWND), kResultOk);
    pump(200);

    const HWND editor = GetWindow(parent, GW_CHILD);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(GetWindow(editor, GW_HWNDNEXT), nullptr); // one editor
    RECT box{};
    GetClientRect(editor, &box);
    EXPECT_EQ(box.right * 1000 + box.bottom, 626 * 1000 + 280);
    const HWND slider = secondStepSlider(editor);
    ASSERT_NE(slider, nullptr);

    // A click on the down arrow, as the mouse gives it: the bar tracks until the button is up.
    const ParamValue before = value(1);
    PostMessageA(slider, WM_LBUTTONUP, 0, MAKELPARAM(8, 160));
    SendMessageA(slider, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 160));
    pump(50);
    const ParamValue after = value(1);
    EXPECT_NE(after, before);
    EXPECT_EQ(after, 1.0f - 65.0f / 127.0f);
    int open = 0, performed = 0;
    for (const ComponentHandler::Edit& e : handler.edits) {
        EXPECT_EQ(e.id, 1u);
        open += e.kind == 'b' ? 1 : e.kind == 'e' ? -1 : 0;
        EXPECT_GE(open, 0);
        performed += e.kind == 'p';
        EXPECT_TRUE(e.kind != 'p' || e.value == after) << e.value;
    }
    EXPECT_EQ(open, 0);
    EXPECT_EQ(performed, 1);

    ASSERT_EQ(v.removed(view), kResultOk);
    pump(50);
    EXPECT_EQ(GetWindow(parent, GW_CHILD), nullptr);
    v.setFrame(view, nullptr);
    release(view);
    DestroyWindow(parent);
}
#endif
