#include "DAudioEffect.h"

namespace {

AudioEffect* objectOf(AEffect* e) {
    return static_cast<AudioEffect*>(e->object);
}

// Opcodes whose ptr the plug-in reads or writes through. A host that passes null there gets 0
// instead of a crash.
bool readsOrWritesPtr(std::int32_t opcode) {
    switch (opcode) {
    case effSetProgramName:
    case effGetProgramName:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effEditGetRect:
    case effGetChunk:
    case effSetChunk: return true;
    default: return false;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// AEffEditor

std::int32_t AEffEditor::getRect(ERect** rect) {
    *rect = nullptr;
    return 0;
}

std::int32_t AEffEditor::open(void* ptr) {
    systemWindow = ptr;
    return 0;
}

void AEffEditor::idle() {
    if (updateFlag.load(std::memory_order_relaxed) != 0) {
        updateFlag.store(0, std::memory_order_relaxed);
        update();
    }
}

std::int32_t AEffEditor::onKeyDown(VstKeyCode&) {
    return -1;
}
std::int32_t AEffEditor::onKeyUp(VstKeyCode&) {
    return -1;
}
std::int32_t AEffEditor::setKnobMode(std::int32_t) {
    return 0;
}
std::int32_t AEffEditor::onWheel(float) {
    return 0;
}

// ---------------------------------------------------------------------------------------------
// AudioEffect: construction and the record

AudioEffect::AudioEffect(audioMasterCallback audioMaster, std::int32_t numPrograms,
                         std::int32_t numParams)
    : effect{}, numPrograms(numPrograms), numParams(numParams), audioMaster(audioMaster) {
    effect.magic = kEffectMagic;
    effect.dispatcher = effectDispatcher;
    effect.process = effectProcess;
    effect.setParameter = effectSetParameter;
    effect.getParameter = effectGetParameter;
    effect.numPrograms = numPrograms;
    effect.numParams = numParams;
    effect.numInputs = 1;
    effect.numOutputs = 2;
    effect.flags = 0;
    effect.ioRatio = 1.0f;
    effect.object = this;
    effect.user = nullptr;
    effect.uniqueID = fourCharCode('N', 'o', 'E', 'f');
    effect.version = 1;
    effect.processReplacing = effectProcessReplacing;
}

AudioEffect::~AudioEffect() = default;

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor.reset(newEditor);
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(std::int32_t flag, bool state) {
    if (state)
        effect.flags |= flag;
    else
        effect.flags &= ~flag;
}

VstIntPtr VSTCALLBACK AudioEffect::effectDispatcher(AEffect* e, std::int32_t opcode,
                                                    std::int32_t index, VstIntPtr value, void* ptr,
                                                    float opt) {
    AudioEffect* object = objectOf(e);
    const VstIntPtr result = object->dispatcher(opcode, index, value, ptr, opt);
    if (opcode == effClose) {
        // The record lives inside the object: it is gone when this call returns.
        delete object;
        return 1;
    }
    return result;
}

void VSTCALLBACK AudioEffect::effectProcess(AEffect* e, float** inputs, float** outputs,
                                            std::int32_t sampleFrames) {
    objectOf(e)->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK AudioEffect::effectProcessReplacing(AEffect* e, float** inputs, float** outputs,
                                                     std::int32_t sampleFrames) {
    objectOf(e)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK AudioEffect::effectSetParameter(AEffect* e, std::int32_t index, float value) {
    objectOf(e)->setParameter(index, value);
}

float VSTCALLBACK AudioEffect::effectGetParameter(AEffect* e, std::int32_t index) {
    return objectOf(e)->getParameter(index);
}

// ---------------------------------------------------------------------------------------------
// AudioEffect: the basic dispatcher

VstIntPtr AudioEffect::dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                  void* ptr, float opt) {
    if (ptr == nullptr && readsOrWritesPtr(opcode)) return 0;
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
        // Only an upper bound here: negative numbers are the plug-in's to reject.
        if (value < numPrograms) setProgram(narrowToInt32(value));
        return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName: setProgramName(text); return 0;
    case effGetProgramName: getProgramName(text); return 0;
    case effGetParamLabel: getParameterLabel(index, text); return 0;
    case effGetParamDisplay: getParameterDisplay(index, text); return 0;
    case effGetParamName: getParameterName(index, text); return 0;
    case effGetVu: return roundToInt32(static_cast<long double>(getVu()) * 32767.0L);
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(narrowToInt32(value)); return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect: {
        if (!editor) return 0;
        ERect** hostVariable = static_cast<ERect**>(ptr);
        ERect* rect = *hostVariable;
        const std::int32_t result = editor->getRect(&rect);
        *hostVariable = rect;
        return result;
    }
    case effEditOpen: return editor ? editor->open(ptr) : 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effIdentify: return fourCharCode('N', 'v', 'E', 'f');
    case effGetChunk: return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk: return setChunk(ptr, narrowToInt32(value), index != 0);
    default: return 0; // effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep, rest
    }
}

// ---------------------------------------------------------------------------------------------
// AudioEffect: requests to the host

void AudioEffect::setParameterAutomated(std::int32_t index, float value) {
    setParameter(index, value);
    if (hasHost()) callHost(audioMasterAutomate, index, 0, nullptr, value);
}

std::int32_t AudioEffect::getMasterVersion() {
    if (!hasHost()) return 1;
    const auto version = static_cast<std::int32_t>(callHost(audioMasterVersion));
    return version == 0 ? 1 : version;
}

std::int32_t AudioEffect::getCurrentUniqueId() {
    return hasHost() ? static_cast<std::int32_t>(callHost(audioMasterCurrentId)) : 0;
}

void AudioEffect::masterIdle() {
    if (hasHost()) callHost(audioMasterIdle);
}

// The host answers 0 for a connected pin.
bool AudioEffect::isInputConnected(std::int32_t input) {
    return hasHost() ? callHost(audioMasterPinConnected, input, 0) == 0 : true;
}

bool AudioEffect::isOutputConnected(std::int32_t output) {
    return hasHost() ? callHost(audioMasterPinConnected, output, 1) == 0 : true;
}
