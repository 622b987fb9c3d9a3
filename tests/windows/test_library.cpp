// The built Windows library, loaded as a Windows host loads it: LoadLibrary, the entry point by
// name, calls through the record, and FreeLibrary.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <windows.h>

#include "host/DAEffectX.h"
#include "tests/FloatingPointState.h"
#include "tests/ShippedRecord.h"
#include "tests/windows/WindowsPath.h"

namespace {

std::string libraryPath; // from the command line, as a Windows path

using EntryPoint = AEffect*(VSTCALLBACK*)(audioMasterCallback);

VstIntPtr VSTCALLBACK hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*,
                                   float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

// Runs first, before any other test has loaded the library into this process.
TEST(WindowsLibrary, LoadingMasksFloatingPointExceptionsOnTheLoadingThread) {
    ASSERT_EQ(GetModuleHandleA(libraryPath.c_str()), nullptr);
    const unsigned short savedWord = x87ControlWord();
    const unsigned int savedCsr = sseControl();
    unmaskDivisionByZero();
    HMODULE library = LoadLibraryA(libraryPath.c_str());
    const unsigned short word = x87ControlWord();
    const unsigned int csr = sseControl();
    volatile double zero = 0.0;
    const double quotient = 1.0 / zero;
    setX87ControlWord(savedWord);
    setSseControl(savedCsr);
    ASSERT_NE(library, nullptr) << "error " << GetLastError();
    EXPECT_EQ(word & 0x0F3F, 0x033F);
    EXPECT_EQ(csr & kSseExceptionMasks, kSseExceptionMasks);
    EXPECT_TRUE(std::isinf(quotient));
    EXPECT_TRUE(FreeLibrary(library));
}

TEST(WindowsLibrary, EntryPointGivesACompleteRecordAndTheRecordWorks) {
    HMODULE library = LoadLibraryA(libraryPath.c_str());
    ASSERT_NE(library, nullptr);
    auto legacy =
        reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(GetProcAddress(library, "main")));
    auto current = reinterpret_cast<EntryPoint>(
        reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")));
    ASSERT_NE(legacy, nullptr);
    // The 32-bit library exports main alone; the 64-bit one also VSTPluginMain.
    EXPECT_EQ(current != nullptr, sizeof(void*) == 8);

    for (EntryPoint entry : {legacy, current}) {
        if (entry == nullptr) continue;
        AEffect* e = entry(hostCallback);
        expectShippedRecord(e);
        if (e == nullptr) continue;

        EXPECT_EQ(e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
        EXPECT_EQ(e->dispatcher(e, effSetBlockSizeAndSampleRate, 0, 64, nullptr, 48000.0f), 1);
        EXPECT_EQ(e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f), 0);
        EXPECT_EQ(e->dispatcher(e, effIdentify, 0, 0, nullptr, 0.0f),
                  fourCharCode('N', 'v', 'E', 'f'));
        EXPECT_EQ(e->dispatcher(e, effGetVstVersion, 0, 0, nullptr, 0.0f), 2300);
        float in[2][64], out[2][64] = {};
        for (int i = 0; i < 64; ++i)
            in[0][i] = in[1][i] = static_cast<float>(i);
        float* inputs[2] = {in[0], in[1]};
        float* outputs[2] = {out[0], out[1]};
        e->processReplacing(e, inputs, outputs, 64);
        EXPECT_EQ(out[1][63], 63.0f);
        EXPECT_EQ(e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    }
    EXPECT_TRUE(FreeLibrary(library));
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    libraryPath = windowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
