// The plug-in's entry point and the work the library does when it is loaded.
#pragma once

#include "DAudioEffect.h"

// Creates one independent instance for the host and returns its effect record, or null when
// the host answers 0 to the version request or no instance could be made.
AEffect* pluginMain(audioMasterCallback audioMaster);

// The plug-in this library is: defined by the plug-in, the one thing the frame knows of it.
// Null when no instance could be made; never throws.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);
