// Reading and setting the x87 control word and the SSE control register, for tests of the
// floating-point mask on every x86 target.
#pragma once

#if defined(__i386__) || defined(__x86_64__)

inline unsigned short x87ControlWord() {
    unsigned short word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

inline void setX87ControlWord(unsigned short word) {
    __asm__ volatile("fldcw %0" : : "m"(word));
}

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
