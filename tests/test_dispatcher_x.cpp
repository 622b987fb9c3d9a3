// The extended dispatcher (opcodes 25 to 76) through the effect record: which operation each
// opcode reaches with which arguments, how results are formed, and every default.
#include <gtest/gtest.h>

#include "TestEffect.h"

using Log = std::vector<std::string>;

namespace {

struct Row {
    std::int32_t opcode;
    std::int32_t index;
    VstIntPtr value;
    void* ptr;
    float opt;
    std::string logged;
    VstIntPtr result;
};

char text[64] = "x";
VstPinProperties pin{};
VstSpeakerArrangement arrangement{};
int opaque[4];
void* p(void* q) {
    return q;
}

} // namespace

TEST(DispatcherX, EachOpcodeReachesItsOperationWithItsArguments) {
    FakeHost host;
    void* o = opaque;
    const Row rows[] = {
        {effProcessEvents, 0, 0, o, 0, line("processEvents %p", o), 5},
        {effCanBeAutomated, 2, 0, nullptr, 0, "canBeAutomated 2", 1},
        {effCanBeAutomated, 1, 0, nullptr, 0, "canBeAutomated 1", 0},
        {effString2Parameter, 1, 0, text, 0, "string2parameter 1 x", 1},
        {effGetProgramNameIndexed, 3, 9, text, 0, "getProgramNameIndexed 9 3", 1},
        {effCopyProgram, 2, 0, nullptr, 0, "copyProgram 2", 1},
        {effConnectInput, 1, 0, nullptr, 0, "inputConnected 1 0", 1},
        {effConnectOutput, 0, 5, nullptr, 0, "outputConnected 0 1", 1},
        {effGetInputProperties, 1, 0, &pin, 0, line("getInputProperties 1 %p", p(&pin)), 1},
        {effGetOutputProperties, 0, 0, &pin, 0, line("getOutputProperties 0 %p", p(&pin)), 1},
        {effOfflineNotify, 1, 3, o, 0, line("offlineNotify %p 3 1", o), 1},
        {effOfflinePrepare, 0, 2, o, 0, line("offlinePrepare %p 2", o), 1},
        {effOfflineRun, 0, 4, o, 0, line("offlineRun %p 4", o), 1},
        {effProcessVarIo, 0, 0, o, 0, line("processVariableIo %p", o), 1},
        {effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&arrangement), o, 0,
         line("setSpeakerArrangement %p %p", p(&arrangement), o), 1},
        {effSetBlockSizeAndSampleRate, 0, 64, nullptr, 96000.0f,
         "setBlockSizeAndSampleRate 64 96000", 1},
        {effSetBypass, 0, 1, nullptr, 0, "setBypass 1", 1},
        {effGetEffectName, 0, 0, text, 0, line("getEffectName %p", p(text)), 1},
        {effGetErrorText, 0, 0, text, 0, line("getErrorText %p", p(text)), 1},
        {effGetVendorString, 0, 0, text, 0, line("getVendorString %p", p(text)), 1},
        {effGetProductString, 0, 0, text, 0, line("getProductString %p", p(text)), 1},
        {effVendorSpecific, 4, 5, o, 0.5f, line("vendorSpecific 4 5 %p 0.5", o), 13},
        {effCanDo, 0, 0, text, 0, "canDo x", -1},
        {effSetViewPosition, 30, 40, nullptr, 0, "setViewPosition 30 40", 1},
        {effGetParameterProperties, 2, 0, o, 0, line("getParameterProperties 2 %p", o), 1},
        {effGetMidiProgramName, 9, 0, o, 0, line("getMidiProgramName 9 %p", o), 14},
        {effGetCurrentMidiProgram, 9, 0, o, 0, line("getCurrentMidiProgram 9 %p", o), 15},
        {effGetMidiProgramCategory, 9, 0, o, 0, line("getMidiProgramCategory 9 %p", o), 16},
        {effHasMidiProgramsChanged, 9, 0, nullptr, 0, "hasMidiProgramsChanged 9", 1},
        {effGetMidiKeyName, 9, 0, o, 0, line("getMidiKeyName 9 %p", o), 1},
        {effShellGetNextPlugin, 0, 0, text, 0, line("getNextShellPlugin %p", p(text)), 17},
        {effSetPanLaw, 0, 1, nullptr, 0.25f, "setPanLaw 1 0.25", 1},
        {effBeginLoadBank, 0, 0, o, 0, line("beginLoadBank %p", o), 18},
        {effBeginLoadProgram, 0, 0, o, 0, line("beginLoadProgram %p", o), 19},
    };
    for (const Row& row : rows) {
        RecordingEffect fx;
        EXPECT_EQ(fx.dispatch(row.opcode, row.index, row.value, row.ptr, row.opt), row.result)
            << "opcode " << row.opcode;
        EXPECT_EQ(fx.log, Log{row.logged}) << "opcode " << row.opcode;
    }
}

TEST(DispatcherX, DefaultsOfEveryOperation) {
    FakeHost host;
    void* o = opaque;
    VstSpeakerArrangement* in = &arrangement;
    VstSpeakerArrangement* out = &arrangement;
    const Row rows[] = {
        {effProcessEvents, 0, 0, o, 0, "", 0},
        {effCanBeAutomated, 99, 0, nullptr, 0, "", 1}, // every index, even past the count
        {effString2Parameter, 0, 0, text, 0, "", 0},
        {effGetNumProgramCategories, 0, 0, nullptr, 0, "", 1},
        {effGetProgramNameIndexed, 0, 0, text, 0, "", 0},
        {effCopyProgram, 0, 0, nullptr, 0, "", 0},
        {effConnectInput, 0, 1, nullptr, 0, "", 1},
        {effConnectOutput, 0, 1, nullptr, 0, "", 1},
        {effGetInputProperties, 0, 0, &pin, 0, "", 0},
        {effGetOutputProperties, 0, 0, &pin, 0, "", 0},
        {effGetPlugCategory, 0, 0, nullptr, 0, "", kPlugCategUnknown},
        {effGetCurrentPosition, 0, 0, nullptr, 0, "", 0},
        {effGetDestinationBuffer, 0, 0, nullptr, 0, "", 0},
        {effOfflineNotify, 0, 0, o, 0, "", 0},
        {effOfflinePrepare, 0, 0, o, 0, "", 0},
        {effOfflineRun, 0, 0, o, 0, "", 0},
        {effProcessVarIo, 0, 0, o, 0, "", 0},
        {effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(o), o, 0, "", 0},
        {effSetBlockSizeAndSampleRate, 0, 128, nullptr, 22050.0f, "", 1},
        {effSetBypass, 0, 1, nullptr, 0, "", 0},
        {effGetEffectName, 0, 0, text, 0, "", 0},
        {effGetErrorText, 0, 0, text, 0, "", 0},
        {effGetVendorString, 0, 0, text, 0, "", 0},
        {effGetProductString, 0, 0, text, 0, "", 0},
        {effGetVendorVersion, 0, 0, nullptr, 0, "", 0},
        {effVendorSpecific, 1, 2, o, 3, "", 0},
        {effCanDo, 0, 0, text, 0, "", 0},
        {effGetTailSize, 0, 0, nullptr, 0, "", 0},
        {effIdle, 0, 0, nullptr, 0, "", 0},
        {effGetIcon, 0, 0, nullptr, 0, "", 0},
        {effSetViewPosition, 1, 2, nullptr, 0, "", 0},
        {effGetParameterProperties, 0, 0, o, 0, "", 0},
        {effKeysRequired, 0, 0, nullptr, 0, "", 1},
        {effGetVstVersion, 0, 0, nullptr, 0, "", 2300},
        {effEditKeyDown, 'a', 0, nullptr, 0, "", 0}, // no editor
        {effEditKeyUp, 'a', 0, nullptr, 0, "", 0},
        {effSetEditKnobMode, 0, 1, nullptr, 0, "", 0},
        {effGetMidiProgramName, 0, 0, o, 0, "", 0},
        {effGetCurrentMidiProgram, 0, 0, o, 0, "", -1},
        {effGetCurrentMidiProgram, 0, 0, nullptr, 0, "", -1}, // never reads its pointer
        {effGetMidiProgramCategory, 0, 0, o, 0, "", 0},
        {effHasMidiProgramsChanged, 0, 0, nullptr, 0, "", 0},
        {effGetMidiKeyName, 0, 0, o, 0, "", 0},
        {effBeginSetProgram, 0, 0, nullptr, 0, "", 0},
        {effEndSetProgram, 0, 0, nullptr, 0, "", 0},
        {effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out, 0, "", 0},
        {effShellGetNextPlugin, 0, 0, text, 0, "", 0},
        {effStartProcess, 0, 0, nullptr, 0, "", 0},
        {effStopProcess, 0, 0, nullptr, 0, "", 0},
        {effSetTotalSampleToProcess, 0, 4096, nullptr, 0, "", 4096},
        {effSetPanLaw, 0, 0, nullptr, 0.5f, "", 0},
        {effBeginLoadBank, 0, 0, o, 0, "", 0},
        {effBeginLoadProgram, 0, 0, o, 0, "", 0},
    };
    for (const Row& row : rows) {
        MinimalEffect fx;
        EXPECT_EQ(fx.dispatch(row.opcode, row.index, row.value, row.ptr, row.opt), row.result)
            << "opcode " << row.opcode;
    }
    // The default getSpeakerArrangement stores null into both host variables.
    EXPECT_EQ(in, nullptr);
    EXPECT_EQ(out, nullptr);
}

TEST(DispatcherX, DefaultsThatWriteState) {
    FakeHost host;
    MinimalEffect fx;
    fx.dispatch(effSetBlockSizeAndSampleRate, 0, 128, nullptr, 22050.0f);
    EXPECT_EQ(fx.getBlockSize(), 128);
    EXPECT_EQ(fx.getSampleRate(), 22050.0f);
    fx.isSynth(true);
    EXPECT_EQ(fx.dispatch(effGetPlugCategory), kPlugCategSynth);
    // Operations no opcode reaches.
    EXPECT_EQ(fx.getChannelParameter(1, 2), 0.0f);
    EXPECT_EQ(fx.offlineGetNumPasses(), 0);
    EXPECT_EQ(fx.offlineGetNumMetaPasses(), 0);
}

TEST(DispatcherX, KeysRequiredIsAskedInverted) {
    FakeHost host;
    RecordingEffect fx;
    EXPECT_EQ(fx.dispatch(effKeysRequired), 1);
    fx.keys = true;
    EXPECT_EQ(fx.dispatch(effKeysRequired), 0);
}

TEST(DispatcherX, KeyRecordsRoundTheModifierHalfToEven) {
    FakeHost host;
    Log log; // outlives the effect, whose destruction the editor logs
    MinimalEffect fx;
    fx.setEditor(new RecordingEditor(&fx, log));
    EXPECT_EQ(fx.dispatch(effEditKeyDown, 'a', 0x1FF, nullptr, 2.5f), 7);
    EXPECT_EQ(fx.dispatch(effEditKeyUp, 66, 3, nullptr, 3.5f), 8);
    EXPECT_EQ(fx.dispatch(effEditKeyDown, 1, 2, nullptr, 258.0f), 7); // low 8 bits of 258
    EXPECT_EQ(fx.dispatch(effSetEditKnobMode, 0, 2), 9);
    EXPECT_EQ(log, (Log{"keyDown 97 255 2", "keyUp 66 3 4", "keyDown 1 2 2", "knobMode 2"}));
}

TEST(DispatcherX, OpcodesOutsideItsRangeReachTheBasicTable) {
    FakeHost host;
    RecordingEffect fx;
    EXPECT_EQ(fx.dispatch(effIdentify), 0x4E764566);
    fx.dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(fx.log, Log{"setProgram 1"});
    EXPECT_EQ(fx.dispatch(77, 1, 1, opaque, 1.0f), 0);
    EXPECT_EQ(fx.dispatch(-5, 1, 1, opaque, 1.0f), 0);
}

TEST(DispatcherX, NullRecordsAndTextsGiveZeroAndReachNothing) {
    FakeHost host;
    RecordingEffect fx;
    for (std::int32_t opcode : {effProcessEvents,
                                effString2Parameter,
                                effGetProgramNameIndexed,
                                effGetInputProperties,
                                effGetOutputProperties,
                                effOfflineNotify,
                                effOfflinePrepare,
                                effOfflineRun,
                                effProcessVarIo,
                                effSetSpeakerArrangement,
                                effGetEffectName,
                                effGetErrorText,
                                effGetVendorString,
                                effGetProductString,
                                effCanDo,
                                effGetParameterProperties,
                                effGetMidiProgramName,
                                effGetMidiProgramCategory,
                                effGetMidiKeyName,
                                effGetSpeakerArrangement,
                                effShellGetNextPlugin,
                                effBeginLoadBank,
                                effBeginLoadProgram})
        EXPECT_EQ(fx.dispatch(opcode, 0, reinterpret_cast<VstIntPtr>(opaque), nullptr), 0)
            << "opcode " << opcode;
    // The speaker-arrangement opcodes also read through value.
    EXPECT_EQ(fx.dispatch(effSetSpeakerArrangement, 0, 0, opaque), 0);
    VstSpeakerArrangement* out = &arrangement;
    EXPECT_EQ(fx.dispatch(effGetSpeakerArrangement, 0, 0, &out), 0);
    EXPECT_EQ(out, &arrangement);
    EXPECT_TRUE(fx.log.empty());
}
