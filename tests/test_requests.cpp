// Requests from the plug-in to its host: the arguments each one passes, how the answer is
// converted, and the default each gives when there is no host callback.
#include <gtest/gtest.h>

#include <cstring>

#include "TestEffect.h"

namespace {

int token[2];
void* const P = &token[0];

// A request made through the effect, its result widened to one comparable number.
using Request = std::function<VstIntPtr(MinimalEffect&)>;

struct Case {
    const char* name;
    Request call;
    std::int32_t opcode, index;
    VstIntPtr value;
    void* ptr;
    float opt;
    VstIntPtr answer;      // what the host answers
    VstIntPtr result;      // what the request then gives
    VstIntPtr withoutHost; // what it gives with no callback
};

VstIntPtr asInt(const void* pointer) {
    return reinterpret_cast<VstIntPtr>(pointer);
}

template <typename T> VstIntPtr of(T value) {
    if constexpr (std::is_pointer_v<T>)
        return asInt(value);
    else
        return static_cast<VstIntPtr>(value);
}

std::vector<Case> cases() {
    auto tp = [](void* q) { return static_cast<VstTimeInfo*>(q); };
    return {
        {"getMasterVersion", [](auto& f) { return of(f.getMasterVersion()); }, audioMasterVersion,
         0, 0, nullptr, 0, 2400, 2400, 1},
        {"getMasterVersion zero", [](auto& f) { return of(f.getMasterVersion()); },
         audioMasterVersion, 0, 0, nullptr, 0, 0, 1, 1},
        {"getCurrentUniqueId", [](auto& f) { return of(f.getCurrentUniqueId()); },
         audioMasterCurrentId, 0, 0, nullptr, 0, 77, 77, 0},
        {"masterIdle", [](auto& f) { return f.masterIdle(), VstIntPtr{0}; }, audioMasterIdle, 0, 0,
         nullptr, 0, 1, 0, 0},
        {"isInputConnected 0", [](auto& f) { return of(f.isInputConnected(3)); },
         audioMasterPinConnected, 3, 0, nullptr, 0, 0, 1, 1},
        {"isInputConnected 1", [](auto& f) { return of(f.isInputConnected(3)); },
         audioMasterPinConnected, 3, 0, nullptr, 0, 1, 0, 1},
        {"isOutputConnected", [](auto& f) { return of(f.isOutputConnected(1)); },
         audioMasterPinConnected, 1, 1, nullptr, 0, -1, 0, 1},
        {"wantEvents", [](auto& f) { return f.wantEvents(1), VstIntPtr{0}; }, audioMasterWantMidi,
         0, 1, nullptr, 0, 1, 0, 0},
        {"getTimeInfo", [](auto& f) { return of(f.getTimeInfo(8)); }, audioMasterGetTime, 0, 8,
         nullptr, 0, asInt(P), asInt(P), 0},
        {"setTimeInfo", [tp](auto& f) { return f.setTimeInfo(3, tp(P)), VstIntPtr{0}; },
         audioMasterSetTime, 0, 3, P, 0, 1, 0, 0},
        {"tempoAt", [](auto& f) { return of(f.tempoAt(0)); }, audioMasterTempoAt, 0, 0, nullptr, 0,
         1200000, 1200000, 0},
        {"sendVstEventsToHost 1",
         [](auto& f) { return of(f.sendVstEventsToHost(static_cast<VstEvents*>(P))); },
         audioMasterProcessEvents, 0, 0, P, 0, 1, 1, 0},
        {"sendVstEventsToHost 2",
         [](auto& f) { return of(f.sendVstEventsToHost(static_cast<VstEvents*>(P))); },
         audioMasterProcessEvents, 0, 0, P, 0, 2, 0, 0},
        {"sendVstEventsToHost -1",
         [](auto& f) { return of(f.sendVstEventsToHost(static_cast<VstEvents*>(P))); },
         audioMasterProcessEvents, 0, 0, P, 0, -1, 0, 0},
        {"getNumAutomatableParameters", [](auto& f) { return of(f.getNumAutomatableParameters()); },
         audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0, 23, 23, 0},
        {"getParameterQuantization", [](auto& f) { return of(f.getParameterQuantization()); },
         audioMasterGetParameterQuantization, 0, 0, nullptr, 0, 100, 100, 0},
        {"ioChanged", [](auto& f) { return of(f.ioChanged()); }, audioMasterIOChanged, 0, 0,
         nullptr, 0, 5, 1, 0},
        {"needIdle", [](auto& f) { return of(f.needIdle()); }, audioMasterNeedIdle, 0, 0, nullptr,
         0, -3, 1, 0},
        {"sizeWindow", [](auto& f) { return of(f.sizeWindow(626, 280)); }, audioMasterSizeWindow,
         626, 280, nullptr, 0, 0, 0, 0},
        {"getInputLatency", [](auto& f) { return of(f.getInputLatency()); },
         audioMasterGetInputLatency, 0, 0, nullptr, 0, 64, 64, 0},
        {"getOutputLatency", [](auto& f) { return of(f.getOutputLatency()); },
         audioMasterGetOutputLatency, 0, 0, nullptr, 0, 32, 32, 0},
        {"getPreviousPlug", [](auto& f) { return of(f.getPreviousPlug()); },
         audioMasterGetPreviousPlug, 0, 0, nullptr, 0, asInt(P), asInt(P), 0},
        {"getNextPlug", [](auto& f) { return of(f.getNextPlug()); }, audioMasterGetNextPlug, 0, 0,
         nullptr, 0, asInt(P), asInt(P), 0},
        {"willProcessReplacing", [](auto& f) { return of(f.willProcessReplacing()); },
         audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0, 2, 2, 0},
        {"getCurrentProcessLevel", [](auto& f) { return of(f.getCurrentProcessLevel()); },
         audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0, 2, 2, 0},
        {"getAutomationState", [](auto& f) { return of(f.getAutomationState()); },
         audioMasterGetAutomationState, 0, 0, nullptr, 0, 3, 3, 0},
        {"offlineRead source",
         [](auto& f) { return of(f.offlineRead(static_cast<VstOfflineTask*>(P), 4, true)); },
         audioMasterOfflineRead, 1, 4, P, 0, 9, 1, 0},
        {"offlineRead",
         [](auto& f) { return of(f.offlineRead(static_cast<VstOfflineTask*>(P), 4, false)); },
         audioMasterOfflineRead, 0, 4, P, 0, 0, 0, 0},
        {"offlineWrite",
         [](auto& f) { return of(f.offlineWrite(static_cast<VstOfflineTask*>(P), 6)); },
         audioMasterOfflineWrite, 0, 6, P, 0, 1, 1, 0},
        {"offlineStart",
         [](auto& f) { return of(f.offlineStart(static_cast<VstAudioFile*>(P), 3, 2)); },
         audioMasterOfflineStart, 2, 3, P, 0, 1, 1, 0},
        {"offlineGetCurrentPass", [](auto& f) { return of(f.offlineGetCurrentPass()); },
         audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0, 7, 1, 0},
        {"offlineGetCurrentMetaPass", [](auto& f) { return of(f.offlineGetCurrentMetaPass()); },
         audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0, 0, 0, 0},
        {"setOutputSamplerate",
         [](auto& f) { return f.setOutputSamplerate(48000.5f), VstIntPtr{0}; },
         audioMasterSetOutputSampleRate, 0, 0, nullptr, 48000.5f, 1, 0, 0},
        {"getInputSpeakerArrangement", [](auto& f) { return of(f.getInputSpeakerArrangement()); },
         audioMasterGetInputSpeakerArrangement, 0, 0, nullptr, 0, asInt(P), asInt(P), 0},
        {"getOutputSpeakerArrangement", [](auto& f) { return of(f.getOutputSpeakerArrangement()); },
         audioMasterGetOutputSpeakerArrangement, 0, 0, nullptr, 0, asInt(P), asInt(P), 0},
        {"getHostVendorString",
         [](auto& f) { return of(f.getHostVendorString(static_cast<char*>(P))); },
         audioMasterGetVendorString, 0, 0, P, 0, 1, 1, 0},
        {"getHostProductString",
         [](auto& f) { return of(f.getHostProductString(static_cast<char*>(P))); },
         audioMasterGetProductString, 0, 0, P, 0, 0, 0, 0},
        {"getHostVendorVersion", [](auto& f) { return of(f.getHostVendorVersion()); },
         audioMasterGetVendorVersion, 0, 0, nullptr, 0, 1200, 1200, 0},
        {"hostVendorSpecific", [](auto& f) { return of(f.hostVendorSpecific(4, 5, P, 0.25f)); },
         audioMasterVendorSpecific, 4, 5, P, 0.25f, -8, -8, 0},
        {"canHostDo -1", [](auto& f) { return of(f.canHostDo(static_cast<char*>(P))); },
         audioMasterCanDo, 0, 0, P, 0, -1, -1, 0},
        {"canHostDo 1", [](auto& f) { return of(f.canHostDo(static_cast<char*>(P))); },
         audioMasterCanDo, 0, 0, P, 0, 1, 1, 0},
        {"getHostLanguage", [](auto& f) { return of(f.getHostLanguage()); }, audioMasterGetLanguage,
         0, 0, nullptr, 0, 2, 2, 0},
        {"openWindow", [](auto& f) { return of(f.openWindow(static_cast<VstWindow*>(P))); },
         audioMasterOpenWindow, 0, 0, P, 0, asInt(P), asInt(P), 0},
        {"closeWindow", [](auto& f) { return of(f.closeWindow(static_cast<VstWindow*>(P))); },
         audioMasterCloseWindow, 0, 0, P, 0, 1, 1, 0},
        {"getDirectory", [](auto& f) { return of(f.getDirectory()); }, audioMasterGetDirectory, 0,
         0, nullptr, 0, asInt(P), asInt(P), 0},
        {"updateDisplay", [](auto& f) { return of(f.updateDisplay()); }, audioMasterUpdateDisplay,
         0, 0, nullptr, 0, 1, 1, 0},
        {"beginEdit", [](auto& f) { return of(f.beginEdit(7)); }, audioMasterBeginEdit, 7, 0,
         nullptr, 0, 1, 1, 0},
        {"endEdit", [](auto& f) { return of(f.endEdit(7)); }, audioMasterEndEdit, 7, 0, nullptr, 0,
         0, 0, 0},
        {"openFileSelector",
         [](auto& f) { return of(f.openFileSelector(static_cast<VstFileSelect*>(P))); },
         audioMasterOpenFileSelector, 0, 0, P, 0, 1, 1, 0},
    };
}

} // namespace

TEST(Requests, EachPassesItsArgumentsAndConvertsTheAnswer) {
    for (const Case& c : cases()) {
        FakeHost host;
        MinimalEffect fx;
        host.answers[c.opcode] = c.answer;
        EXPECT_EQ(c.call(fx), c.result) << c.name;
        ASSERT_EQ(host.calls.size(), 1u) << c.name;
        const HostCall& call = host.calls[0];
        EXPECT_EQ(call.effect, fx.getAeffect()) << c.name;
        EXPECT_EQ(call.opcode, c.opcode) << c.name;
        EXPECT_EQ(call.index, c.index) << c.name;
        EXPECT_EQ(call.value, c.value) << c.name;
        EXPECT_EQ(call.ptr, c.ptr) << c.name;
        EXPECT_EQ(call.opt, c.opt) << c.name;
    }
}

TEST(Requests, WithoutAHostEachGivesItsDefault) {
    for (const Case& c : cases()) {
        MinimalEffect fx(nullptr);
        EXPECT_EQ(c.call(fx), c.withoutHost) << c.name;
    }
}

TEST(Requests, FileSelectorWithoutARecordDoesNotAskTheHost) {
    FakeHost host;
    MinimalEffect fx;
    host.answers[audioMasterOpenFileSelector] = 1;
    EXPECT_FALSE(fx.openFileSelector(nullptr));
    EXPECT_TRUE(host.calls.empty());
}

TEST(Requests, SampleRateAndBlockSizeAreStoredOnlyWhenPositive) {
    FakeHost host;
    MinimalEffect fx;
    host.answers[audioMasterGetSampleRate] = 48000;
    EXPECT_EQ(fx.updateSampleRate(), 48000.0);
    EXPECT_EQ(fx.getSampleRate(), 48000.0f);
    host.answers[audioMasterGetSampleRate] = 0;
    EXPECT_EQ(fx.updateSampleRate(), 48000.0);
    host.answers[audioMasterGetSampleRate] = -44100;
    EXPECT_EQ(fx.updateSampleRate(), 48000.0);

    host.answers[audioMasterGetBlockSize] = 256;
    EXPECT_EQ(fx.updateBlockSize(), 256);
    host.answers[audioMasterGetBlockSize] = -1;
    EXPECT_EQ(fx.updateBlockSize(), 256);
    EXPECT_EQ(host.callsOf(audioMasterGetSampleRate).size(), 3u);
    EXPECT_EQ(host.callsOf(audioMasterGetBlockSize).size(), 2u);

    MinimalEffect alone(nullptr);
    EXPECT_EQ(alone.updateSampleRate(), 44100.0);
    EXPECT_EQ(alone.updateBlockSize(), 1024);
}

namespace {

struct OneParameter : MinimalEffect {
    using MinimalEffect::MinimalEffect;
    float value = 0.0f;
    void setParameter(std::int32_t, float v) override { value = v; }
    float getParameter(std::int32_t) override { return value; }
};

} // namespace

TEST(Requests, AutomationSetsTheParameterBeforeTheHostHears) {
    FakeHost host;
    OneParameter fx;
    float seenByHost = -1.0f;
    host.script = [&](const HostCall& call) -> VstIntPtr {
        if (call.opcode == audioMasterAutomate) seenByHost = fx.getParameter(call.index);
        return 0;
    };
    const float value = 0.1f + 1e-8f; // a value whose bits must arrive unchanged
    fx.setParameterAutomated(5, value);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(host.calls[0].index, 5);
    EXPECT_EQ(host.calls[0].value, 0);
    EXPECT_EQ(host.calls[0].ptr, nullptr);
    EXPECT_EQ(std::memcmp(&host.calls[0].opt, &value, sizeof value), 0);
    EXPECT_EQ(seenByHost, value);

    OneParameter alone(nullptr);
    alone.setParameterAutomated(0, 0.75f);
    EXPECT_EQ(alone.getParameter(0), 0.75f);
}
