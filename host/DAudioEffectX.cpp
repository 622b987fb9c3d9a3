#include "DAudioEffectX.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Opcodes whose ptr (and for effSetSpeakerArrangement and effGetSpeakerArrangement also value)
// the plug-in reads or writes through. A host that passes null there gets 0 instead of a crash.
// An operation that never touches its pointer is left out, so that a null one still gets the
// operation's own answer (effGetCurrentMidiProgram: -1, no MIDI programs).
bool readsOrWritesPtr(std::int32_t opcode) {
    switch (opcode) {
    case effProcessEvents:
    case effString2Parameter:
    case effGetProgramNameIndexed:
    case effGetInputProperties:
    case effGetOutputProperties:
    case effOfflineNotify:
    case effOfflinePrepare:
    case effOfflineRun:
    case effProcessVarIo:
    case effSetSpeakerArrangement:
    case effGetEffectName:
    case effGetErrorText:
    case effGetVendorString:
    case effGetProductString:
    case effCanDo:
    case effGetParameterProperties:
    case effGetMidiProgramName:
    case effGetMidiProgramCategory:
    case effGetMidiKeyName:
    case effGetSpeakerArrangement:
    case effShellGetNextPlugin:
    case effBeginLoadBank:
    case effBeginLoadProgram: return true;
    default: return false;
    }
}

bool valueIsPointer(std::int32_t opcode) {
    return opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement;
}

VstIntPtr fromBool(bool state) {
    return state ? 1 : 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The extended dispatcher

VstIntPtr AudioEffectX::dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                   void* ptr, float opt) {
    if (opcode < effProcessEvents || opcode > effBeginLoadProgram)
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    if (readsOrWritesPtr(opcode) && (ptr == nullptr || (valueIsPointer(opcode) && value == 0)))
        return 0;

    char* text = static_cast<char*>(ptr);
    const std::int32_t number = narrowToInt32(value);
    switch (opcode) {
    case effProcessEvents: return processEvents(static_cast<VstEvents*>(ptr));
    case effCanBeAutomated: return fromBool(canParameterBeAutomated(index));
    case effString2Parameter: return fromBool(string2parameter(index, text));
    case effGetNumProgramCategories: return getNumCategories();
    case effGetProgramNameIndexed: return fromBool(getProgramNameIndexed(number, index, text));
    case effCopyProgram: return fromBool(copyProgram(index));
    case effConnectInput: inputConnected(index, value != 0); return 1;
    case effConnectOutput: outputConnected(index, value != 0); return 1;
    case effGetInputProperties:
        return fromBool(getInputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetOutputProperties:
        return fromBool(getOutputProperties(index, static_cast<VstPinProperties*>(ptr)));
    case effGetPlugCategory: return getPlugCategory();
    case effGetCurrentPosition: return reportCurrentPosition();
    case effGetDestinationBuffer: return reinterpret_cast<VstIntPtr>(reportDestinationBuffer());
    case effOfflineNotify:
        return fromBool(offlineNotify(static_cast<VstAudioFile*>(ptr), number, index != 0));
    case effOfflinePrepare:
        return fromBool(offlinePrepare(static_cast<VstOfflineTask*>(ptr), number));
    case effOfflineRun: return fromBool(offlineRun(static_cast<VstOfflineTask*>(ptr), number));
    case effProcessVarIo: return fromBool(processVariableIo(static_cast<VstVariableIo*>(ptr)));
    case effSetSpeakerArrangement:
        return fromBool(setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                              static_cast<VstSpeakerArrangement*>(ptr)));
    case effSetBlockSizeAndSampleRate: setBlockSizeAndSampleRate(number, opt); return 1;
    case effSetBypass: return fromBool(setBypass(value != 0));
    case effGetEffectName: return fromBool(getEffectName(text));
    case effGetErrorText: return fromBool(getErrorText(text));
    case effGetVendorString: return fromBool(getVendorString(text));
    case effGetProductString: return fromBool(getProductString(text));
    case effGetVendorVersion: return getVendorVersion();
    case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
    case effCanDo: return canDo(text);
    case effGetTailSize: return getGetTailSize();
    case effIdle: return fxIdle();
    case effGetIcon: return reinterpret_cast<VstIntPtr>(getIcon());
    case effSetViewPosition: return fromBool(setViewPosition(index, number));
    case effGetParameterProperties:
        return fromBool(getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)));
    case effKeysRequired: return keysRequired() ? 0 : 1; // the opcode asks the inverse
    case effGetVstVersion: return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
        if (!editor) return 0;
        VstKeyCode key{};
        key.character = index;
        key.virt = static_cast<unsigned char>(value & 0xFF);
        key.modifier = static_cast<unsigned char>(roundToInt32(opt) & 0xFF);
        return opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
    }
    case effSetEditKnobMode: return editor ? editor->setKnobMode(number) : 0;
    case effGetMidiProgramName:
        return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
    case effGetCurrentMidiProgram:
        return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
    case effGetMidiProgramCategory:
        return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
    case effHasMidiProgramsChanged: return fromBool(hasMidiProgramsChanged(index));
    case effGetMidiKeyName: return fromBool(getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)));
    case effBeginSetProgram: return fromBool(beginSetProgram());
    case effEndSetProgram: return fromBool(endSetProgram());
    case effGetSpeakerArrangement:
        return fromBool(getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                              static_cast<VstSpeakerArrangement**>(ptr)));
    case effShellGetNextPlugin: return getNextShellPlugin(text);
    case effStartProcess: return startProcess();
    case effStopProcess: return stopProcess();
    case effSetTotalSampleToProcess: return setTotalSampleToProcess(number);
    case effSetPanLaw: return fromBool(setPanLaw(number, opt));
    case effBeginLoadBank: return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
    case effBeginLoadProgram: return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
    default: return 0;
    }
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                         VstSpeakerArrangement** pluginOutput) {
    *pluginInput = nullptr;
    *pluginOutput = nullptr;
    return false;
}

// ---------------------------------------------------------------------------------------------
// Requests to the host

void AudioEffectX::setTimeInfo(std::int32_t filter, VstTimeInfo* timeInfo) {
    if (hasHost()) callHost(audioMasterSetTime, 0, filter, timeInfo);
}

std::int32_t AudioEffectX::getNumAutomatableParameters() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterGetNumAutomatableParameters))
                     : 0;
}

std::int32_t AudioEffectX::getParameterQuantization() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterGetParameterQuantization)) : 0;
}

bool AudioEffectX::ioChanged() {
    return hasHost() && callHost(audioMasterIOChanged) != 0;
}

bool AudioEffectX::needIdle() {
    return hasHost() && callHost(audioMasterNeedIdle) != 0;
}

bool AudioEffectX::sizeWindow(std::int32_t width, std::int32_t height) {
    return hasHost() && callHost(audioMasterSizeWindow, width, height) != 0;
}

double AudioEffectX::updateSampleRate() {
    if (hasHost()) {
        const VstIntPtr answer = callHost(audioMasterGetSampleRate);
        if (answer > 0) setSampleRate(static_cast<float>(answer));
    }
    return getSampleRate();
}

std::int32_t AudioEffectX::updateBlockSize() {
    if (hasHost()) {
        const VstIntPtr answer = callHost(audioMasterGetBlockSize);
        if (answer > 0) setBlockSize(narrowToInt32(answer));
    }
    return getBlockSize();
}

std::int32_t AudioEffectX::getInputLatency() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterGetInputLatency)) : 0;
}

std::int32_t AudioEffectX::getOutputLatency() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterGetOutputLatency)) : 0;
}

AEffect* AudioEffectX::getPreviousPlug() {
    return hasHost() ? reinterpret_cast<AEffect*>(callHost(audioMasterGetPreviousPlug)) : nullptr;
}

AEffect* AudioEffectX::getNextPlug() {
    return hasHost() ? reinterpret_cast<AEffect*>(callHost(audioMasterGetNextPlug)) : nullptr;
}

std::int32_t AudioEffectX::willProcessReplacing() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterWillReplaceOrAccumulate)) : 0;
}

std::int32_t AudioEffectX::getCurrentProcessLevel() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterGetCurrentProcessLevel)) : 0;
}

std::int32_t AudioEffectX::getAutomationState() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterGetAutomationState)) : 0;
}

bool AudioEffectX::offlineRead(VstOfflineTask* offline, std::int32_t option, bool readSource) {
    return hasHost() && callHost(audioMasterOfflineRead, readSource ? 1 : 0, option, offline) != 0;
}

bool AudioEffectX::offlineWrite(VstOfflineTask* offline, std::int32_t option) {
    return hasHost() && callHost(audioMasterOfflineWrite, 0, option, offline) != 0;
}

bool AudioEffectX::offlineStart(VstAudioFile* audioFiles, std::int32_t numAudioFiles,
                                std::int32_t numNewAudioFiles) {
    return hasHost() &&
           callHost(audioMasterOfflineStart, numNewAudioFiles, numAudioFiles, audioFiles) != 0;
}

std::int32_t AudioEffectX::offlineGetCurrentPass() {
    return hasHost() && callHost(audioMasterOfflineGetCurrentPass) != 0 ? 1 : 0;
}

std::int32_t AudioEffectX::offlineGetCurrentMetaPass() {
    return hasHost() && callHost(audioMasterOfflineGetCurrentMetaPass) != 0 ? 1 : 0;
}

void AudioEffectX::setOutputSamplerate(float samplerate) {
    if (hasHost()) callHost(audioMasterSetOutputSampleRate, 0, 0, nullptr, samplerate);
}

VstSpeakerArrangement* AudioEffectX::getInputSpeakerArrangement() {
    return hasHost() ? reinterpret_cast<VstSpeakerArrangement*>(
                           callHost(audioMasterGetInputSpeakerArrangement))
                     : nullptr;
}

VstSpeakerArrangement* AudioEffectX::getOutputSpeakerArrangement() {
    return hasHost() ? reinterpret_cast<VstSpeakerArrangement*>(
                           callHost(audioMasterGetOutputSpeakerArrangement))
                     : nullptr;
}

bool AudioEffectX::getHostVendorString(char* text) {
    return hasHost() && callHost(audioMasterGetVendorString, 0, 0, text) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
    return hasHost() && callHost(audioMasterGetProductString, 0, 0, text) != 0;
}

std::int32_t AudioEffectX::getHostVendorVersion() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterGetVendorVersion)) : 0;
}

VstIntPtr AudioEffectX::hostVendorSpecific(std::int32_t lArg1, VstIntPtr lArg2, void* ptrArg,
                                           float floatArg) {
    return hasHost() ? callHost(audioMasterVendorSpecific, lArg1, lArg2, ptrArg, floatArg) : 0;
}

std::int32_t AudioEffectX::canHostDo(char* text) {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterCanDo, 0, 0, text)) : 0;
}

std::int32_t AudioEffectX::getHostLanguage() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterGetLanguage)) : 0;
}

void* AudioEffectX::openWindow(VstWindow* window) {
    return hasHost() ? reinterpret_cast<void*>(callHost(audioMasterOpenWindow, 0, 0, window))
                     : nullptr;
}

bool AudioEffectX::closeWindow(VstWindow* window) {
    return hasHost() && callHost(audioMasterCloseWindow, 0, 0, window) != 0;
}

void* AudioEffectX::getDirectory() {
    return hasHost() ? reinterpret_cast<void*>(callHost(audioMasterGetDirectory)) : nullptr;
}

bool AudioEffectX::updateDisplay() {
    return hasHost() && callHost(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::beginEdit(std::int32_t index) {
    return hasHost() && callHost(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(std::int32_t index) {
    return hasHost() && callHost(audioMasterEndEdit, index) != 0;
}

bool AudioEffectX::openFileSelector(VstFileSelect* fileSelect) {
    return hasHost() && fileSelect != nullptr &&
           callHost(audioMasterOpenFileSelector, 0, 0, fileSelect) != 0;
}

void AudioEffectX::wantEvents(std::int32_t filter) {
    if (hasHost()) callHost(audioMasterWantMidi, 0, filter);
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
    return hasHost() && callHost(audioMasterProcessEvents, 0, 0, events) == 1;
}

// ---------------------------------------------------------------------------------------------
// Speaker arrangements

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement,
                                       std::int32_t nbChannels) {
    if (arrangement == nullptr) return false;
    deallocateArrangement(arrangement);
    constexpr std::size_t maxChannels =
        (SIZE_MAX - kSpeakerArrangementHeader) / sizeof(VstSpeakerProperties);
    if (nbChannels < 0 || static_cast<std::size_t>(nbChannels) > maxChannels) return false;
    const std::size_t size = static_cast<std::size_t>(nbChannels) * sizeof(VstSpeakerProperties) +
                             kSpeakerArrangementHeader;
    // calloc gives the zero-filled block; out of memory reads as "no arrangement".
    auto* block = static_cast<VstSpeakerArrangement*>(std::calloc(1, size));
    if (block == nullptr) return false;
    block->numChannels = nbChannels;
    *arrangement = block;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
    if (arrangement != nullptr && *arrangement != nullptr) {
        std::free(*arrangement);
        *arrangement = nullptr;
    }
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, const VstSpeakerProperties* from) {
    if (to == nullptr || from == nullptr) return false;
    copyText(to->name, from->name, sizeof to->name);
    to->type = from->type;
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    std::memcpy(to->future, from->future, sizeof to->future);
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, const VstSpeakerArrangement* from) {
    if (from == nullptr) return false;
    if (!deallocateArrangement(to) || !allocateArrangement(to, from->numChannels)) return false;
    (*to)->type = from->type;
    for (std::int32_t i = 0; i < from->numChannels; ++i)
        if (!copySpeaker(speakerAt(*to, i), speakerAt(from, i))) return false;
    return true;
}
