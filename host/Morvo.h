// The plug-in's entry point and the work the library does when it is loaded.
#pragma once

#include "DAEffect.h"

// Creates one independent instance for the host and returns its effect record, or null when
// the host answers 0 to the version request or no instance could be made.
AEffect* pluginMain(audioMasterCallback audioMaster);

// Masks every floating-point exception on the calling thread, with rounding to nearest and
// (on x87) 64-bit precision. The library runs it on the thread that loads it.
void maskFloatingPointExceptions();
