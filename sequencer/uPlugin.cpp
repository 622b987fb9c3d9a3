// APlugin: construction, parameters, programs and the answers to the host's descriptive
// queries. The step engine and the MIDI input live in files of their own.
#include "uPlugin.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include "editor/uPluginEditor.h"
#include "framework/Locale.h"
#include "framework/Platform.h"
#include "host/Morvo.h"

using namespace plugin;

namespace {

const char* const kParameterNames[kNumParams] = {
    "step 1",
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
    "Start/Stop",
};

// The texts hosts ask about with effCanDo that this plug-in does.
const char* const kCapabilities[] = {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                                     "sendVstMidiEvent", "receiveVstTimeInfo"};

bool isParameter(std::int32_t index) {
    return index >= 0 && index < kNumParams;
}

} // namespace

float plugin::defaultValue(std::int32_t index) {
    switch (index) {
    case syncValue: return kSyncValues[0]; // 1 step per beat
    case ccOut: return 0.1102f;            // controller 14 (13.9954 rounded)
    case ccMin: return 0.0f;
    case ccMax: return 1.0f;
    case endStep: return fromEndStepNumber(kNumSteps);
    case timingMode: return 0.0f; // internal clock
    case startStop: return 0.0f;  // running
    default: return 0.5f;         // the step values
    }
}

APluginProgram::APluginProgram() {
    for (std::int32_t i = 0; i < kNumParams; ++i)
        values[i].store(defaultValue(i), std::memory_order_relaxed);
    copyText(name, "Init", sizeof name);
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new (std::nothrow) APlugin(audioMaster);
}

APlugin::APlugin(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    static_assert(offsetof(OutgoingList, events) == offsetof(VstEvents, events));
    const auto blank = [](VstMidiEvent& record) {
        record = VstMidiEvent{};
        record.type = kVstMidiType;
        record.byteSize = sizeof(VstMidiEvent);
        record.reserved1 = kRecordMark;
    };
    for (VstMidiEvent& record : eventPool)
        blank(record);
    for (VstMidiEvent& record : outgoing)
        blank(record);
    for (std::int32_t i = 0; i < kOutgoingRecords; ++i)
        outEvents.events[i] = reinterpret_cast<VstEvent*>(&outgoing[i]);
    freeRecords[0] = ~std::uint64_t{1}; // record 0 is never used
    freeRecords[1] = freeRecords[2] = ~std::uint64_t{0};
    freeRecords[3] = (std::uint64_t{1} << (kEventRecords - 192)) - 1; // records up to 250
    for (std::int32_t i = 0; i < kNumParams; ++i)
        setParamOnly(i, defaultValue(i));
    // Without windows to show, no editor is announced: hosts then offer their own panel.
    if (framework::editorsAvailable()) setEditor(new APluginEditor(this));

    suspend();
    hasVu(false);
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    isSynth(false);
    setUniqueID(fourCharCode('K', 'V', '0', '1'));
    for (std::int32_t n = 0; n < kNumPrograms; ++n)
        std::snprintf(programs[n].name, sizeof programs[n].name, "Preset %d", static_cast<int>(n));
    curProgram.store(0, std::memory_order_relaxed);
    setProgram(0);
}

// The editor goes first, while the plug-in it may still tell about its window is whole; the
// programs and event records are members.
APlugin::~APlugin() {
    setEditor(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Parameters and programs

void APlugin::setParameter(std::int32_t index, float value) {
    if (std::isnan(value) || value < 0.0f)
        value = 0.0f;
    else if (value > 1.0f)
        value = 1.0f;
    if (!isParameter(index)) return;
    setParamOnly(index, value);
    programs[curProgram.load(std::memory_order_relaxed)].values[index].store(
        value, std::memory_order_relaxed);
    if (editor) editor->update();
}

float APlugin::getParameter(std::int32_t index) {
    return isParameter(index) ? param(index) : 0.0f;
}

void APlugin::setProgram(std::int32_t program) {
    if (program < 0 || program >= kNumPrograms) return;
    curProgram.store(program, std::memory_order_relaxed);
    for (std::int32_t i = 0; i < kNumParams; ++i)
        setParameter(i, programs[program].values[i].load(std::memory_order_relaxed));
    notifyEditor();
}

void APlugin::notifyEditor() {
    if (!isEditorClosed() && editor) editor->update();
}

void APlugin::setProgramName(char* name) {
    // Bounded: a host may hand a longer text than a program name holds.
    copyText(programs[curProgram.load(std::memory_order_relaxed)].name, name, kProgramNameSize);
    notifyEditor();
}

void APlugin::getProgramName(char* name) {
    copyText(name, programs[curProgram.load(std::memory_order_relaxed)].name, kHostProgramNameSize);
}

bool APlugin::getProgramNameIndexed(std::int32_t, std::int32_t index, char* text) {
    if (index < 0 || index >= kNumPrograms) return false;
    copyText(text, programs[index].name, kHostProgramNameSize);
    return true;
}

void APlugin::getParameterLabel(std::int32_t, char* label) {
    std::strcpy(label, "%");
}

void APlugin::getParameterDisplay(std::int32_t index, char* text) {
    if (!isParameter(index)) {
        std::strcpy(text, "undefined");
        return;
    }
    // "0.50" is 5 characters with its zero: well within the 8 hosts reserve.
    formatFixed2(param(index), framework::decimalSeparator(), text, 8);
}

// Names are copied in full (up to 28 bytes, "Sync Value -Do not automate"), not cut to the
// interface's nominal 8 characters: hosts give name buffers far larger than that, and users
// see the whole name in their host's panel.
void APlugin::getParameterName(std::int32_t index, char* text) {
    if (isParameter(index))
        std::strcpy(text, kParameterNames[index]);
    else if (index < 0)
        std::sprintf(text, "par%d", static_cast<int>(index));
    else
        std::strcpy(text, "undefined");
}

float APlugin::getVu() {
    const float value = vu;
    vu = 0.0f;
    return value;
}

// ---------------------------------------------------------------------------------------------
// Descriptive answers

void APlugin::resume() {
    wantEvents(1);
}

bool APlugin::getPinProperties(const char* prefix, std::int32_t index,
                               VstPinProperties* properties) {
    if (index < 0 || index > 1) return false;
    std::snprintf(properties->label, sizeof properties->label, "%s%d", prefix,
                  static_cast<int>(index + 1));
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool APlugin::getInputProperties(std::int32_t index, VstPinProperties* properties) {
    return getPinProperties("Input #", index, properties);
}

bool APlugin::getOutputProperties(std::int32_t index, VstPinProperties* properties) {
    return getPinProperties("Output #", index, properties);
}

bool APlugin::getEffectName(char* name) {
    std::strcpy(name, "Ostrel");
    return true;
}

bool APlugin::getVendorString(char* text) {
    std::strcpy(text, "Halvark");
    return true;
}

bool APlugin::getProductString(char* text) {
    std::strcpy(text, "Ostrel");
    return true;
}

std::int32_t APlugin::canDo(char* text) {
    for (const char* capability : kCapabilities)
        if (std::strcmp(text, capability) == 0) return 1;
    return -1;
}
