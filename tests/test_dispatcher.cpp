// The basic dispatcher (opcodes 0 to 24) and the editor base class, through the effect record.
#include <gtest/gtest.h>

#include <cstring>

#include "TestEffect.h"

using Log = std::vector<std::string>;

TEST(Dispatcher, OpenCloseAndMainsReachTheirOperations) {
    FakeHost host;
    RecordingEffect fx;
    EXPECT_EQ(fx.dispatch(effOpen), 0);
    EXPECT_EQ(fx.dispatch(effMainsChanged, 0, 0), 0);
    EXPECT_EQ(fx.dispatch(effMainsChanged, 0, 1), 0);
    // Any non-zero value resumes, and nothing tracks the state: resume twice reaches it twice.
    EXPECT_EQ(fx.dispatch(effMainsChanged, 0, 2), 0);
    EXPECT_EQ(fx.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(fx.dispatch(effSetBlockSize, 0, 256), 0);
    EXPECT_EQ(fx.log, (Log{"open", "suspend", "resume", "resume", "setSampleRate 48000",
                           "setBlockSize 256"}));
}

TEST(Dispatcher, SetProgramHasOnlyAnUpperBound) {
    FakeHost host;
    RecordingEffect fx; // 4 programs
    fx.dispatch(effSetProgram, 0, 4);
    fx.dispatch(effSetProgram, 0, 3);
    fx.dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(fx.log, (Log{"setProgram 3", "setProgram -1"}));
}

TEST(Dispatcher, DefaultProgramOperationsStoreAndReturnTheNumber) {
    FakeHost host;
    MinimalEffect fx(FakeHost::callback, 4, 3);
    EXPECT_EQ(fx.dispatch(effGetProgram), 0);
    fx.dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(fx.dispatch(effGetProgram), 2);
    fx.dispatch(effSetProgram, 0, 4); // ignored
    EXPECT_EQ(fx.dispatch(effGetProgram), 2);
}

TEST(Dispatcher, TextOperationsAnswerZeroEvenWhenTheyWrite) {
    FakeHost host;
    RecordingEffect fx;
    char text[64] = "Lead";
    EXPECT_EQ(fx.dispatch(effSetProgramName, 0, 0, text), 0);
    EXPECT_EQ(fx.log, (Log{"setProgramName Lead"}));
    EXPECT_EQ(fx.dispatch(effGetProgramName, 0, 0, text), 0);
    EXPECT_STREQ(text, "prog");
    EXPECT_EQ(fx.dispatch(effGetParamLabel, 2, 0, text), 0);
    EXPECT_STREQ(text, "lab2");
    EXPECT_EQ(fx.dispatch(effGetParamDisplay, 1, 0, text), 0);
    EXPECT_STREQ(text, "dis1");
    EXPECT_EQ(fx.dispatch(effGetParamName, 0, 0, text), 0);
    EXPECT_STREQ(text, "nam0");
}

TEST(Dispatcher, DefaultTextOperationsLeaveTheBufferAlone) {
    FakeHost host;
    MinimalEffect fx;
    for (std::int32_t opcode :
         {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        char text[16] = "untouched";
        EXPECT_EQ(fx.dispatch(opcode, 0, 0, text), 0);
        EXPECT_STREQ(text, "untouched") << "opcode " << opcode;
    }
}

TEST(Dispatcher, NullBuffersGiveZeroAndReachNothing) {
    FakeHost host;
    Log editorLog; // outlives the effect, whose destruction the editor logs
    RecordingEffect fx;
    fx.setEditor(new RecordingEditor(&fx, editorLog));
    for (std::int32_t opcode :
         {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay,
          effGetParamName, effEditGetRect, effGetChunk, effSetChunk})
        EXPECT_EQ(fx.dispatch(opcode, 0, 0, nullptr), 0) << "opcode " << opcode;
    EXPECT_TRUE(fx.log.empty());
    EXPECT_TRUE(editorLog.empty());
}

TEST(Dispatcher, VuIsScaledAndRoundedHalfToEven) {
    FakeHost host;
    RecordingEffect fx;
    fx.vu = 0.5f; // 16383.5
    EXPECT_EQ(fx.dispatch(effGetVu), 16384);
    fx.vu = 1.0f;
    EXPECT_EQ(fx.dispatch(effGetVu), 32767);
    fx.vu = 2.5f / 32767.0f; // about 2.5 once widened: a tie goes to the even neighbour
    EXPECT_EQ(fx.dispatch(effGetVu), 2);
    MinimalEffect plain;
    EXPECT_EQ(plain.dispatch(effGetVu), 0);
}

TEST(Dispatcher, ChunksPassPresetFlagAndSize) {
    FakeHost host;
    RecordingEffect fx;
    void* data = nullptr;
    char block[4];
    EXPECT_EQ(fx.dispatch(effGetChunk, 1, 0, &data), 11);
    EXPECT_EQ(fx.dispatch(effSetChunk, 0, 4, block), 12);
    EXPECT_EQ(fx.log, (Log{line("getChunk %p 1", static_cast<void*>(&data)),
                           line("setChunk %p 4 0", static_cast<void*>(block))}));
    MinimalEffect plain;
    EXPECT_EQ(plain.dispatch(effGetChunk, 0, 0, &data), 0);
    EXPECT_EQ(plain.dispatch(effSetChunk, 0, 4, block), 0);
}

TEST(Dispatcher, IdentifyAndUnknownOpcodes) {
    FakeHost host;
    MinimalEffect fx;
    EXPECT_EQ(fx.dispatch(effIdentify), 0x4E764566);
    for (std::int32_t opcode : std::initializer_list<std::int32_t>{
             effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep, -1, 77, 1000})
        EXPECT_EQ(fx.dispatch(opcode, 1, 1, nullptr, 1.0f), 0) << "opcode " << opcode;
    // The basic table alone knows nothing above 24.
    EXPECT_EQ(fx.AudioEffect::dispatcher(effGetVstVersion, 0, 0, nullptr, 0.0f), 0);
}

TEST(Dispatcher, EditorOpcodesWithoutAnEditorTouchNothing) {
    FakeHost host;
    MinimalEffect fx;
    ERect sentinel{};
    ERect* hostRect = &sentinel;
    EXPECT_EQ(fx.dispatch(effEditGetRect, 0, 0, &hostRect), 0);
    EXPECT_EQ(hostRect, &sentinel);
    int window = 0;
    EXPECT_EQ(fx.dispatch(effEditOpen, 0, 0, &window), 0);
    EXPECT_EQ(fx.dispatch(effEditClose), 0);
    EXPECT_EQ(fx.dispatch(effEditIdle), 0);
}

TEST(Dispatcher, EditorOpcodesReachTheEditor) {
    FakeHost host;
    Log log;
    MinimalEffect fx;
    auto* editor = new RecordingEditor(&fx, log);
    fx.setEditor(editor);
    EXPECT_EQ(fx.flags() & effFlagsHasEditor, effFlagsHasEditor);

    ERect* hostRect = nullptr;
    EXPECT_EQ(fx.dispatch(effEditGetRect, 0, 0, &hostRect), 1);
    EXPECT_EQ(hostRect, &editor->rect);

    // An editor that stores nothing leaves the host's variable as it was.
    editor->storesRect = false;
    ERect old{};
    hostRect = &old;
    EXPECT_EQ(fx.dispatch(effEditGetRect, 0, 0, &hostRect), 1);
    EXPECT_EQ(hostRect, &old);

    int window = 0;
    EXPECT_EQ(fx.dispatch(effEditOpen, 0, 0, &window), 1);
    EXPECT_EQ(fx.dispatch(effEditIdle), 0);
    EXPECT_EQ(fx.dispatch(effEditClose), 0);
    EXPECT_EQ(log,
              (Log{"getRect", "getRect", line("open %p", static_cast<void*>(&window)), "close"}));

    fx.setEditor(nullptr); // destroys the editor and clears the flag
    EXPECT_EQ(log.back(), "~editor");
    EXPECT_EQ(fx.flags() & effFlagsHasEditor, 0);
}

TEST(Editor, BaseGetRectStoresNullAndIdleRunsOnePendingUpdate) {
    FakeHost host;
    MinimalEffect fx;
    struct CountingEditor : AEffEditor {
        using AEffEditor::AEffEditor;
        int updates = 0;
        void update() override { ++updates; }
    };
    auto* editor = new CountingEditor(&fx);
    fx.setEditor(editor);
    ERect sentinel{};
    ERect* hostRect = &sentinel;
    EXPECT_EQ(fx.dispatch(effEditGetRect, 0, 0, &hostRect), 0);
    EXPECT_EQ(hostRect, nullptr);
    int window = 0;
    EXPECT_EQ(fx.dispatch(effEditOpen, 0, 0, &window), 0);

    editor->postUpdate();
    editor->postUpdate();
    fx.dispatch(effEditIdle);
    fx.dispatch(effEditIdle);
    EXPECT_EQ(editor->updates, 1);
    // The base editor wants no keys and ignores knob mode and the wheel.
    EXPECT_EQ(fx.dispatch(effEditKeyDown, 'a', 0, nullptr, 0.0f), -1);
    EXPECT_EQ(fx.dispatch(effEditKeyUp, 'a', 0, nullptr, 0.0f), -1);
    EXPECT_EQ(fx.dispatch(effSetEditKnobMode, 0, 2), 0);
    EXPECT_EQ(editor->onWheel(1.0f), 0);
}

TEST(Flags, EachSetterChangesOnlyItsBit) {
    FakeHost host;
    MinimalEffect fx;
    struct Setter {
        void (*set)(MinimalEffect&, bool);
        std::int32_t bit;
    };
    const Setter setters[] = {
        {[](MinimalEffect& f, bool s) { f.hasVu(s); }, effFlagsHasVu},
        {[](MinimalEffect& f, bool s) { f.hasClip(s); }, effFlagsHasClip},
        {[](MinimalEffect& f, bool s) { f.canMono(s); }, effFlagsCanMono},
        {[](MinimalEffect& f, bool s) { f.canProcessReplacing(s); }, effFlagsCanReplacing},
        {[](MinimalEffect& f, bool s) { f.programsAreChunks(s); }, effFlagsProgramChunks},
        {[](MinimalEffect& f, bool s) { f.isSynth(s); }, effFlagsIsSynth},
        {[](MinimalEffect& f, bool s) { f.noTail(s); }, effFlagsNoSoundInStop},
        {[](MinimalEffect& f, bool s) { f.wantAsyncOperation(s); }, effFlagsExtIsAsync},
        {[](MinimalEffect& f, bool s) { f.hasExternalBuffer(s); }, effFlagsExtHasBuffer},
    };
    EXPECT_EQ(fx.flags(), 0);
    fx.setFlag(effFlagsHasEditor, true); // a bit the setters must leave alone
    for (const Setter& s : setters) {
        s.set(fx, true);
        EXPECT_EQ(fx.flags(), effFlagsHasEditor | s.bit);
        s.set(fx, false);
        EXPECT_EQ(fx.flags(), effFlagsHasEditor);
    }
}

TEST(Record, SettersStoreTheirFieldsAndDefaultsAreTheBaseOnes) {
    FakeHost host;
    MinimalEffect fx(FakeHost::callback, 7, 5);
    const AEffect& e = *fx.getAeffect();
    EXPECT_EQ(e.numPrograms, 7);
    EXPECT_EQ(e.numParams, 5);
    EXPECT_EQ(e.numInputs, 1);
    EXPECT_EQ(e.numOutputs, 2);
    EXPECT_EQ(e.uniqueID, 0x4E6F4566);
    EXPECT_EQ(fx.getSampleRate(), 44100.0f);
    EXPECT_EQ(fx.getBlockSize(), 1024);
    fx.setUniqueID(42);
    fx.setNumInputs(3);
    fx.setNumOutputs(4);
    fx.setInitialDelay(5);
    fx.setRealtimeQualities(6);
    fx.setOfflineQualities(7);
    EXPECT_EQ(e.uniqueID, 42);
    EXPECT_EQ(e.numInputs, 3);
    EXPECT_EQ(e.numOutputs, 4);
    EXPECT_EQ(e.initialDelay, 5);
    EXPECT_EQ(e.realQualities, 6);
    EXPECT_EQ(e.offQualities, 7);
    EXPECT_EQ(fx.getParameter(0), 0.0f);
    EXPECT_EQ(e.getParameter(const_cast<AEffect*>(&e), 1), 0.0f);
}

TEST(Record, ParameterFunctionsForwardToTheObject) {
    FakeHost host;
    struct ParamEffect : MinimalEffect {
        std::int32_t lastIndex = -1;
        float lastValue = -1.0f;
        void setParameter(std::int32_t i, float v) override {
            lastIndex = i;
            lastValue = v;
        }
        float getParameter(std::int32_t i) override { return static_cast<float>(i) / 4.0f; }
    } fx;
    AEffect* e = fx.getAeffect();
    e->setParameter(e, 2, 0.75f);
    EXPECT_EQ(fx.lastIndex, 2);
    EXPECT_EQ(fx.lastValue, 0.75f);
    EXPECT_EQ(e->getParameter(e, 3), 0.75f);
}
