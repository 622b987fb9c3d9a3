// What every shipped library's entry point must give: the plug-in's record as a host reads it.
#pragma once

#include <gtest/gtest.h>

#include "host/DAEffect.h"

inline void expectShippedRecord(const AEffect* e) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, kEffectMagic);
    EXPECT_EQ(e->numPrograms, 16);
    EXPECT_EQ(e->numParams, 23);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
#if defined(_WIN32) || defined(__linux__)
    // The shipped libraries show their editor window in the host's: Win32 controls on Windows,
    // controls drawn on X11 on Linux.
    EXPECT_EQ(e->flags, effFlagsHasEditor | effFlagsCanMono | effFlagsCanReplacing);
#else
    // No native editor window here: no editor announced, so hosts show their own panel.
    EXPECT_EQ(e->flags, effFlagsCanMono | effFlagsCanReplacing);
#endif
    EXPECT_EQ(e->uniqueID, fourCharCode('K', 'V', '0', '1'));
    EXPECT_EQ(e->version, 1);
    ASSERT_NE(e->object, nullptr);
    EXPECT_NE(e->object, static_cast<const void*>(e));
}
