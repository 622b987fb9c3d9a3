// The plug-in as the host's parameter, program and query operations see it.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "SequencerRig.h"
#include "framework/Locale.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using namespace plugin;

namespace {

std::string text(SequencerRig& rig, std::int32_t opcode, std::int32_t index = 0) {
    char buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    rig.dispatch(opcode, index, 0, buffer);
    return buffer;
}

std::string decimal(const char* whole, const char* fraction) {
    return std::string(whole) + framework::decimalSeparator() + fraction;
}

} // namespace

TEST(Plugin, AFreshPluginHasItsDefaultsAndNames) {
    SequencerRig rig;
    EXPECT_EQ(rig.effect->numPrograms, 16);
    EXPECT_EQ(rig.effect->numParams, 23);
    for (int n = 0; n < 16; ++n) {
        char name[64] = "";
        EXPECT_EQ(rig.dispatch(effGetProgramNameIndexed, n, 0, name), 1);
        EXPECT_EQ(std::string(name), "Preset " + std::to_string(n));
    }
    EXPECT_EQ(rig.dispatch(effGetProgram), 0);
    EXPECT_EQ(text(rig, effGetProgramName), "Preset 0");

    const float expected[23] = {0.5f,  0.5f,    0.5f, 0.5f, 0.5f,  0.5f, 0.5f, 0.5f,
                                0.5f,  0.5f,    0.5f, 0.5f, 0.5f,  0.5f, 0.5f, 0.5f,
                                0.01f, 0.1102f, 0.0f, 1.0f, 0.16f, 0.0f, 0.0f};
    for (int i = 0; i < 23; ++i)
        EXPECT_EQ(rig.getParameter(i), expected[i]) << "parameter " << i;

    const char* names[23] = {"step 1",
                             "step 2",
                             "step 3",
                             "step 4",
                             "step 5",
                             "step 6",
                             "step 7",
                             "step 8",
                             "step 9",
                             "step 10",
                             "step 11",
                             "step 12",
                             "step 13",
                             "step 14",
                             "step 15",
                             "step 16",
                             "Sync Value -Do not automate",
                             "CC Out",
                             "CC Min",
                             "CC Max",
                             "End Step -Do not automate",
                             "Timing Mode",
                             "Start/Stop"};
    for (int i = 0; i < 23; ++i) {
        EXPECT_EQ(text(rig, effGetParamName, i), names[i]);
        EXPECT_EQ(text(rig, effGetParamLabel, i), "%");
    }
    EXPECT_EQ(text(rig, effGetParamName, 23), "undefined");
    EXPECT_EQ(text(rig, effGetParamName, -1), "par-1");
}

TEST(Plugin, ValuesAreClampedAndIndicesBounded) {
    SequencerRig rig;
    rig.setParameter(3, 1.7f);
    EXPECT_EQ(rig.getParameter(3), 1.0f);
    rig.setParameter(3, -0.2f);
    EXPECT_EQ(rig.getParameter(3), 0.0f);
    rig.setParameter(3, std::nanf(""));
    EXPECT_EQ(rig.getParameter(3), 0.0f);
    rig.setParameter(3, 0.25f);
    EXPECT_EQ(rig.getParameter(3), 0.25f);
    for (std::int32_t index : {23, -1, 1000}) {
        rig.setParameter(index, 0.5f);
        EXPECT_EQ(rig.getParameter(index), 0.0f);
    }
    for (int i = 0; i < 23; ++i)
        EXPECT_EQ(rig.getParameter(i), i == 3 ? 0.25f : defaultValue(i)) << "parameter " << i;
}

TEST(Plugin, ChangesAreWrittenThroughIntoTheCurrentProgram) {
    SequencerRig rig;
    rig.dispatch(effSetProgram, 0, 2);
    rig.setParameter(0, 0.25f);
    rig.dispatch(effSetProgram, 0, 5);
    EXPECT_EQ(rig.getParameter(0), 0.5f);
    EXPECT_EQ(rig.dispatch(effGetProgram), 5);
    rig.dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(rig.getParameter(0), 0.25f);

    // Out-of-range programs change nothing.
    rig.dispatch(effSetProgram, 0, 16);
    rig.dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(rig.dispatch(effGetProgram), 2);
    EXPECT_EQ(rig.getParameter(0), 0.25f);
    char name[64] = "untouched";
    EXPECT_EQ(rig.dispatch(effGetProgramNameIndexed, 16, 0, name), 0);
    EXPECT_EQ(rig.dispatch(effGetProgramNameIndexed, -1, 0, name), 0);
    EXPECT_STREQ(name, "untouched");
}

TEST(Plugin, ProgramNamesAreCopiedBoundedBothWays) {
    SequencerRig rig;
    char name[] = "Bassline for the long winter evenings, second take, final mix";
    rig.dispatch(effSetProgram, 0, 3);
    rig.dispatch(effSetProgramName, 0, 0, name);
    // Back out to the host: at most 24 bytes with the terminating zero.
    char out[32];
    std::memset(out, 'x', sizeof out);
    rig.dispatch(effGetProgramName, 0, 0, out);
    EXPECT_EQ(std::string(out), std::string(name, 23));
    EXPECT_EQ(out[24], 'x');
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(rig.dispatch(effGetProgramNameIndexed, 3, 0, out), 1);
    EXPECT_EQ(std::string(out), std::string(name, 23));
    EXPECT_EQ(out[24], 'x');
    // The other programs keep their names.
    EXPECT_EQ(rig.dispatch(effGetProgramNameIndexed, 2, 0, out), 1);
    EXPECT_STREQ(out, "Preset 2");
}

TEST(Plugin, DisplayTextsShowTheRawValueWithTwoDecimals) {
    SequencerRig rig;
    EXPECT_EQ(text(rig, effGetParamDisplay, 0), decimal("0", "50"));
    EXPECT_EQ(text(rig, effGetParamDisplay, ccOut), decimal("0", "11"));
    EXPECT_EQ(text(rig, effGetParamDisplay, endStep), decimal("0", "16"));
    EXPECT_EQ(text(rig, effGetParamDisplay, ccMax), decimal("1", "00"));
    EXPECT_EQ(text(rig, effGetParamDisplay, ccMin), decimal("0", "00"));
    rig.setParameter(1, 0.125f); // exactly a tie: to even
    EXPECT_EQ(text(rig, effGetParamDisplay, 1), decimal("0", "12"));
    rig.setParameter(1, 0.999f);
    EXPECT_EQ(text(rig, effGetParamDisplay, 1), decimal("1", "00"));
    EXPECT_EQ(text(rig, effGetParamDisplay, 23), "undefined");
    EXPECT_EQ(text(rig, effGetParamDisplay, -1), "undefined");
}

// The separator follows the user's regional settings.
#if defined(_WIN32)
TEST(Plugin, DisplayTextUsesTheUserLocalesDecimalSeparator) {
    // The user's setting, changed as the regional settings panel changes it, then restored.
    char saved[8] = "";
    ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved, sizeof saved), 0);
    ASSERT_TRUE(SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, ","));
    SequencerRig rig;
    char display[64] = "";
    rig.dispatch(effGetParamDisplay, 0, 0, display);
    SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved);
    EXPECT_STREQ(display, "0,50");
}
#else
TEST(Plugin, DisplayTextUsesTheCurrentLocalesDecimalSeparator) {
    // A German locale, generated for the tests into a folder of the build (LOCPATH).
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no de_DE.UTF-8 locale here";
    SequencerRig rig;
    char display[64] = "";
    rig.dispatch(effGetParamDisplay, 0, 0, display);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_STREQ(display, "0,50");
}
#endif

TEST(Plugin, DescriptiveAnswers) {
    SequencerRig rig;
    char buffer[256] = "";
    EXPECT_EQ(rig.dispatch(effGetEffectName, 0, 0, buffer), 1);
    EXPECT_STREQ(buffer, "Ostrel");
    EXPECT_EQ(rig.dispatch(effGetVendorString, 0, 0, buffer), 1);
    EXPECT_STREQ(buffer, "Halvark");
    EXPECT_EQ(rig.dispatch(effGetProductString, 0, 0, buffer), 1);
    EXPECT_STREQ(buffer, "Ostrel");
    EXPECT_EQ(rig.dispatch(effGetVendorVersion), 1);
    EXPECT_EQ(rig.dispatch(effIdle), 0);
    EXPECT_EQ(rig.dispatch(effGetVu), 0);
    EXPECT_EQ(rig.dispatch(effGetVu), 0);
    EXPECT_EQ(rig.dispatch(effGetPlugCategory), 0);
    EXPECT_EQ(rig.effect->flags, effFlagsHasEditor | effFlagsCanMono | effFlagsCanReplacing);
    EXPECT_EQ(rig.effect->uniqueID, fourCharCode('K', 'V', '0', '1'));

    for (const char* yes : {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                            "sendVstMidiEvent", "receiveVstTimeInfo"}) {
        std::strcpy(buffer, yes);
        EXPECT_EQ(rig.dispatch(effCanDo, 0, 0, buffer), 1) << yes;
    }
    for (const char* no : {"ReceiveVstTimeInfo", "receiveVstTimeInf", "bypass", ""}) {
        std::strcpy(buffer, no);
        EXPECT_EQ(rig.dispatch(effCanDo, 0, 0, buffer), -1) << no;
    }
}

TEST(Plugin, PinPropertiesForTwoStereoPins) {
    SequencerRig rig;
    VstPinProperties pin{};
    pin.arrangementType = 7; // left as the host passed it
    EXPECT_EQ(rig.dispatch(effGetOutputProperties, 1, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Output #2");
    EXPECT_EQ(pin.flags, kVstPinIsActive | kVstPinIsStereo);
    EXPECT_EQ(pin.arrangementType, 7);
    EXPECT_EQ(rig.dispatch(effGetInputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Input #1");

    VstPinProperties untouched{};
    std::strcpy(untouched.label, "mine");
    EXPECT_EQ(rig.dispatch(effGetInputProperties, 2, 0, &untouched), 0);
    EXPECT_EQ(rig.dispatch(effGetOutputProperties, -1, 0, &untouched), 0);
    EXPECT_STREQ(untouched.label, "mine");
    EXPECT_EQ(untouched.flags, 0);
}

TEST(Plugin, ResumeAsksForMidiAndSuspendDoesNothing) {
    SequencerRig rig; // the rig resumes once
    EXPECT_EQ(rig.wantMidiRequests, 1);
    rig.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(rig.wantMidiRequests, 2);
    rig.dispatch(effMainsChanged, 0, 0);
    EXPECT_EQ(rig.wantMidiRequests, 2);
}

namespace {

struct CountingEditor : AEffEditor {
    using AEffEditor::AEffEditor;
    int* updates;
    void update() override { ++*updates; }
};

} // namespace

TEST(Plugin, ChangesReachTheEditorAndClosedEditorsMissOnlyProgramNotices) {
    SequencerRig rig;
    int updates = 0;
    auto* editor = new CountingEditor(&rig.plugin());
    editor->updates = &updates;
    rig.plugin().setEditor(editor);

    rig.setParameter(4, 0.3f);
    EXPECT_EQ(updates, 1);
    rig.setParameter(40, 0.3f); // no such parameter: nothing to tell
    EXPECT_EQ(updates, 1);
    rig.dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(updates, 1 + 23 + 1); // each value, then the program as a whole
    char name[] = "Lead";
    rig.dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(updates, 26);

    rig.plugin().setEditorClosed(true);
    rig.setParameter(4, 0.6f); // parameter changes always reach the editor object
    EXPECT_EQ(updates, 27);
    rig.dispatch(effSetProgram, 0, 2);
    EXPECT_EQ(updates, 27 + 23);
    rig.dispatch(effSetProgramName, 0, 0, name);
    EXPECT_EQ(updates, 50);

    // MIDI notes change startStop for the engine alone: no notice.
    std::vector<VstMidiEvent> stop{SequencerRig::midiEvent(0x90, 13, 100, 0)};
    rig.deliver({reinterpret_cast<VstEvent*>(&stop[0])});
    rig.run(10);
    EXPECT_EQ(updates, 50);
    EXPECT_EQ(rig.getParameter(startStop), 1.0f);
}

// The editor writes what the user chose and shows what it reads back: every number it can
// write must read back as the same number, or the refresh would move what the user just set.
TEST(Parameters, EveryNumberTheEditorWritesReadsBackTheSame) {
    for (std::int32_t n = 0; n <= 127; ++n) {
        EXPECT_EQ(midiNumber(fromMidiNumber(n)), n);
        EXPECT_EQ(sliderPosition(fromSliderPosition(n)), n);
    }
    for (std::int32_t n = 1; n <= kNumSteps; ++n) {
        EXPECT_EQ(endStepNumber(fromEndStepNumber(n)), n);
        EXPECT_EQ(stepCount(fromEndStepNumber(n)), n);
    }
    for (int choice = 0; choice < kSyncChoices; ++choice)
        EXPECT_EQ(roundToInt32(stepsPerBeat(kSyncValues[choice])), kSyncSteps[choice]);
    EXPECT_EQ(stepCount(0.0f), 1); // kept within the 16 steps
    EXPECT_EQ(stepCount(1.0f), kNumSteps);
    EXPECT_EQ(controllerValue(0.0f, 1.0f, 0.5f), 64);  // 63.5: ties to even
    EXPECT_EQ(controllerValue(1.0f, 0.0f, 0.25f), 95); // a range upside down runs downwards
}
