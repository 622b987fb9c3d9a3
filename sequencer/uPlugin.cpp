#include "uPlugin.h"

APlugin::APlugin(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    hasVu(false);
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    isSynth(false);
    setUniqueID(fourCharCode('K', 'V', '0', '1'));
}

void APlugin::process(float** inputs, float** outputs, std::int32_t sampleFrames) {
    for (int channel = 0; channel < 2; ++channel)
        for (std::int32_t i = 0; i < sampleFrames; ++i)
            outputs[channel][i] += inputs[channel][i];
}

void APlugin::processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) {
    for (int channel = 0; channel < 2; ++channel)
        for (std::int32_t i = 0; i < sampleFrames; ++i)
            outputs[channel][i] = inputs[channel][i];
}
