// The VST 2 library through the guest, as the door tests' reference for what a door must show
// and send the same (MORVO_VST2_PATH, the library as built).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "formats/guest/Guest.h"
#include "tests/windows/WindowsPath.h"

struct Vst2Reference {
    explicit Vst2Reference(const guest::Options& options = {.incomingCapacity = 64})
        : hosted(options) {
        std::string error;
        EXPECT_TRUE(hosted.load(nativePath(MORVO_VST2_PATH), error)) << error;
        hosted.open();
    }
    guest::Guest hosted;
};
