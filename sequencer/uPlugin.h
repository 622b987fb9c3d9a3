// APlugin: the plug-in object, "Ostrel" by "Halvark".
#pragma once

#include "../host/DAudioEffectX.h"

class APlugin : public AudioEffectX {
  public:
    static constexpr std::int32_t kNumPrograms = 16;
    static constexpr std::int32_t kNumParams = 23;

    explicit APlugin(audioMasterCallback audioMaster);

    // Audio thread.
    void process(float** inputs, float** outputs, std::int32_t sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) override;
};
