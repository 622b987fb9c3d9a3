// The floating-point environment the plug-in computes in: the x87 control word of 80-bit
// extended precision with every exception masked, set on the thread that loads the library
// and for the length of each block. Every target built here is x86 (i686 or x86_64), whose
// long double is the x87 80-bit format the rounding helpers rely on.
#pragma once

#if !defined(__i386__) && !defined(__x86_64__)
#error "the plug-in's arithmetic is x87 extended precision: build for i686 or x86_64"
#endif

// The x87 control word the plug-in computes with, from any other: the six exception masks
// set, rounding to nearest, 64-bit precision; the remaining bits as they were.
constexpr unsigned short extendedPrecisionWord(unsigned short word) {
    return static_cast<unsigned short>((word & ~0x0C00u) | 0x0300u | 0x003Fu);
}

// The calling thread's x87 control word. The "memory" clobbers keep the compiler from moving
// loads and stores of the values computed with it across a change.
inline unsigned short x87ControlWord() {
    unsigned short word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word) : : "memory");
    return word;
}
inline void setX87ControlWord(unsigned short word) {
    __asm__ volatile("fldcw %0" : : "m"(word) : "memory");
}

// Masks every floating-point exception on the calling thread (x87 and SSE), with rounding to
// nearest and 64-bit x87 precision. The library runs it on the thread that loads it.
void maskFloatingPointExceptions();

// Extended precision for the length of a block. The library sets it on the thread that loads
// it, but a host's audio thread may run with its own word (Windows starts threads at 53-bit
// precision, and some hosts unmask exceptions); the host gets its word back afterwards. The
// host's callbacks during the block run with the plug-in's word.
class ExtendedPrecisionScope {
  public:
    ExtendedPrecisionScope() : hosts(x87ControlWord()) {
        const unsigned short ours = extendedPrecisionWord(hosts);
        changed = ours != hosts;
        if (changed) setX87ControlWord(ours);
    }
    ~ExtendedPrecisionScope() {
        if (changed) setX87ControlWord(hosts);
    }
    ExtendedPrecisionScope(const ExtendedPrecisionScope&) = delete;
    ExtendedPrecisionScope& operator=(const ExtendedPrecisionScope&) = delete;

  private:
    unsigned short hosts;
    bool changed = false;
};
