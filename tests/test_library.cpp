// The built library, loaded as a host loads it: through its exported entry points.
#include <gtest/gtest.h>

#include <cmath>
#include <dlfcn.h>

#include "host/DAEffectX.h"

#include "FloatingPointState.h"
#include "ShippedRecord.h"

namespace {

using EntryPoint = AEffect* (*)(audioMasterCallback);

VstIntPtr hostCallback(AEffect*, std::int32_t opcode, std::int32_t, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

void* openLibrary() {
    return dlopen(MORVO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
}

EntryPoint entry(void* library, const char* name) {
    return reinterpret_cast<EntryPoint>(dlsym(library, name));
}

void expectPluginRecord(AEffect* e) {
    expectShippedRecord(e);
    if (e == nullptr) return;
    EXPECT_EQ(e->dispatcher(e, effIdentify, 0, 0, nullptr, 0.0f), fourCharCode('N', 'v', 'E', 'f'));
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
}

} // namespace

TEST(Library, ExportsBothEntryPointsAndEachMakesAnInstance) {
    void* library = openLibrary();
    ASSERT_NE(library, nullptr) << dlerror();
    EntryPoint current = entry(library, "VSTPluginMain");
    EntryPoint legacy = entry(library, "main");
    ASSERT_NE(current, nullptr);
    ASSERT_NE(legacy, nullptr);
    expectPluginRecord(current(hostCallback));
    expectPluginRecord(legacy(hostCallback));
    EXPECT_EQ(dlclose(library), 0);
}

#if defined(__x86_64__) || defined(__i386__)
TEST(LibraryDeathTest, LoadingMasksFloatingPointExceptionsOnTheLoadingThread) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, so the load is the first
    EXPECT_EXIT(
        {
            unmaskDivisionByZero();
            if (openLibrary() == nullptr) std::exit(2);
            volatile double zero = 0.0;
            const double quotient = 1.0 / zero;
            volatile long double zeroX = 0.0L;
            const long double quotientX = 1.0L / zeroX;
            std::exit(std::isinf(quotient) && std::isinf(quotientX) ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif
