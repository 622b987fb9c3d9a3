// Reading and setting the SSE control register (the x87 control word through the plug-in's own
// accessors), for tests of the floating-point mask on every x86 target.
#pragma once

#include "host/FloatingPoint.h"

#if defined(__i386__) || defined(__x86_64__)

inline unsigned int sseControl() {
    unsigned int csr = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(csr));
    return csr;
}

inline void setSseControl(unsigned int csr) {
    __asm__ volatile("ldmxcsr %0" : : "m"(csr));
}

constexpr unsigned short kX87ExceptionMasks = 0x003F;
constexpr unsigned int kSseExceptionMasks = 0x1F80;
constexpr unsigned int kSseDivideByZeroMask = 0x0200;
constexpr unsigned short kX87DivideByZeroMask = 0x0004;

// Makes division by zero trap on this thread, as some hosts' threads do.
inline void unmaskDivisionByZero() {
    setX87ControlWord(static_cast<unsigned short>(x87ControlWord() & ~kX87DivideByZeroMask));
    setSseControl(sseControl() & ~kSseDivideByZeroMask);
}

#endif
