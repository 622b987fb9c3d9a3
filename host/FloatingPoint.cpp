#include "FloatingPoint.h"

void maskFloatingPointExceptions() {
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
}
