#include "Morvo.h"

#include <new>

#include "host/DVstUtils.h"
#include "sequencer/uPlugin.h"

#if !defined(__i386__) && !defined(__x86_64__) && defined(__GLIBC__)
#include <fenv.h>
#endif

AEffect* pluginMain(audioMasterCallback audioMaster) {
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    auto* plugin = new (std::nothrow) APlugin(audioMaster);
    return plugin != nullptr ? plugin->getAeffect() : nullptr;
}

void maskFloatingPointExceptions() {
#if defined(__i386__) || defined(__x86_64__)
    // x87: the six exception masks set, precision control 64 bits, rounding to nearest.
    setX87ControlWord(extendedPrecisionWord(x87ControlWord()));
    // SSE: the six exception masks of MXCSR set as well (every x86_64 processor has SSE; a
    // 32-bit host may in principle run where it is missing).
#if defined(__i386__)
    // This runs from a load-time constructor, possibly before the run-time's own CPU detection.
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("sse")) return;
#endif
    constexpr unsigned int sseExceptionMasks = 0x1F80;
    unsigned int csr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(csr));
    csr |= sseExceptionMasks;
    __asm__ volatile("ldmxcsr %0" : : "m"(csr));
#elif defined(__GLIBC__)
    fedisableexcept(FE_ALL_EXCEPT);
#endif
}
