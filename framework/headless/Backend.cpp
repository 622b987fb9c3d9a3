// The headless backend: the controls keep their state in memory and nothing is drawn. Builds
// without a native backend use it, and announce an editor only when a test asks them to
// (headless::standInForNativeWindows).
#include "framework/Platform.h"

namespace framework::backend {

bool nativeWindows() {
    return false;
}

bool show(Form&, void*) {
    return true;
}

} // namespace framework::backend
