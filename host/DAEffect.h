// The effect record of the VST 2 interface and the constants of the basic dispatcher, written
// from the published binary layout. Every offset is checked below for 32-bit and 64-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "DVstUtils.h"

#if defined(_WIN32) && defined(__i386__)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

// Pointer-sized integer: the dispatcher's value and result and the callback's value and result
// are 32 bits on 32-bit builds and 64 bits on 64-bit builds.
using VstIntPtr = std::intptr_t;

struct AEffect;

using audioMasterCallback = VstIntPtr(VSTCALLBACK*)(AEffect* effect, std::int32_t opcode,
                                                    std::int32_t index, VstIntPtr value, void* ptr,
                                                    float opt);
using AEffectDispatcherProc = VstIntPtr(VSTCALLBACK*)(AEffect* effect, std::int32_t opcode,
                                                      std::int32_t index, VstIntPtr value,
                                                      void* ptr, float opt);
using AEffectProcessProc = void(VSTCALLBACK*)(AEffect* effect, float** inputs, float** outputs,
                                              std::int32_t sampleFrames);
using AEffectSetParameterProc = void(VSTCALLBACK*)(AEffect* effect, std::int32_t index,
                                                   float value);
using AEffectGetParameterProc = float(VSTCALLBACK*)(AEffect* effect, std::int32_t index);

struct AEffect {
    std::int32_t magic;
    AEffectDispatcherProc dispatcher;
    AEffectProcessProc process;
    AEffectSetParameterProc setParameter;
    AEffectGetParameterProc getParameter;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    std::int32_t flags;
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    std::int32_t initialDelay;
    std::int32_t realQualities;
    std::int32_t offQualities;
    float ioRatio;
    void* object;
    void* user;
    std::int32_t uniqueID;
    std::int32_t version;
    AEffectProcessProc processReplacing;
    // The slot of the later double-precision process function; zero means "not offered".
    void* processDoubleReplacing;
    char future[56];
};

constexpr std::int32_t kEffectMagic = fourCharCode('V', 's', 't', 'P');

// Effect flags (AEffect::flags).
enum : std::int32_t {
    effFlagsHasEditor = 1 << 0,
    effFlagsHasClip = 1 << 1,
    effFlagsHasVu = 1 << 2,
    effFlagsCanMono = 1 << 3,
    effFlagsCanReplacing = 1 << 4,
    effFlagsProgramChunks = 1 << 5,
    effFlagsIsSynth = 1 << 8,
    effFlagsNoSoundInStop = 1 << 9,
    effFlagsExtIsAsync = 1 << 10,
    effFlagsExtHasBuffer = 1 << 11,
};

// Opcodes of the basic dispatcher.
enum : std::int32_t {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditDraw = 16,
    effEditMouse = 17,
    effEditKey = 18,
    effEditIdle = 19,
    effEditTop = 20,
    effEditSleep = 21,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
};

// Requests of the basic interface (the host callback's opcode).
enum : std::int32_t {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
};

// Editor rectangle; for effEditGetRect the dispatcher's ptr is the address of the host's
// ERect pointer variable.
struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

static_assert(sizeof(ERect) == 8);
static_assert(offsetof(ERect, top) == 0 && offsetof(ERect, left) == 2);
static_assert(offsetof(ERect, bottom) == 4 && offsetof(ERect, right) == 6);

// The published offset for this build's pointer width.
constexpr std::size_t layoutOffset(std::size_t offset32, std::size_t offset64) {
    return sizeof(void*) == 8 ? offset64 : offset32;
}

static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(sizeof(VstIntPtr) == sizeof(void*));
static_assert(sizeof(float) == 4);
static_assert(offsetof(AEffect, magic) == 0);
static_assert(offsetof(AEffect, dispatcher) == layoutOffset(4, 8));
static_assert(offsetof(AEffect, process) == layoutOffset(8, 16));
static_assert(offsetof(AEffect, setParameter) == layoutOffset(12, 24));
static_assert(offsetof(AEffect, getParameter) == layoutOffset(16, 32));
static_assert(offsetof(AEffect, numPrograms) == layoutOffset(20, 40));
static_assert(offsetof(AEffect, numParams) == layoutOffset(24, 44));
static_assert(offsetof(AEffect, numInputs) == layoutOffset(28, 48));
static_assert(offsetof(AEffect, numOutputs) == layoutOffset(32, 52));
static_assert(offsetof(AEffect, flags) == layoutOffset(36, 56));
static_assert(offsetof(AEffect, resvd1) == layoutOffset(40, 64));
static_assert(offsetof(AEffect, resvd2) == layoutOffset(44, 72));
static_assert(offsetof(AEffect, initialDelay) == layoutOffset(48, 80));
static_assert(offsetof(AEffect, realQualities) == layoutOffset(52, 84));
static_assert(offsetof(AEffect, offQualities) == layoutOffset(56, 88));
static_assert(offsetof(AEffect, ioRatio) == layoutOffset(60, 92));
static_assert(offsetof(AEffect, object) == layoutOffset(64, 96));
static_assert(offsetof(AEffect, user) == layoutOffset(68, 104));
static_assert(offsetof(AEffect, uniqueID) == layoutOffset(72, 112));
static_assert(offsetof(AEffect, version) == layoutOffset(76, 116));
static_assert(offsetof(AEffect, processReplacing) == layoutOffset(80, 120));
static_assert(offsetof(AEffect, processDoubleReplacing) == layoutOffset(84, 128));
static_assert(offsetof(AEffect, future) == layoutOffset(88, 136));
static_assert(sizeof(AEffect) == layoutOffset(144, 192));
