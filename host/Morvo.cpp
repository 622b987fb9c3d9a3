#include "Morvo.h"

AEffect* pluginMain(audioMasterCallback audioMaster) {
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* plugin = createEffectInstance(audioMaster);
    return plugin != nullptr ? plugin->getAeffect() : nullptr;
}
