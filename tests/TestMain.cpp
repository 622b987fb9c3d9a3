// The test programs' main: editors live in the headless backend, announced as a build with a
// native backend announces them.
#include <gtest/gtest.h>

#include "framework/Platform.h"

int main(int argc, char** argv) {
    framework::headless::standInForNativeWindows();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
