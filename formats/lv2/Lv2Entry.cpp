// The LV2 library's two exports: lv2_descriptor with the one plug-in, and lv2ui_descriptor with
// its UI (Lv2Ui.cpp).
#include <lv2/core/lv2.h>

#include "formats/lv2/Lv2Plugin.h"
#include "formats/lv2/Lv2Ports.h"
#include "host/FloatingPoint.h"

namespace lv2_door {

namespace {

Lv2Plugin& of(LV2_Handle handle) {
    return *static_cast<Lv2Plugin*>(handle);
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
    return Lv2Plugin::create(rate, features);
}
void connect(LV2_Handle h, std::uint32_t port, void* data) {
    of(h).connect(port, data);
}
void activate(LV2_Handle h) {
    of(h).activate();
}
void run(LV2_Handle h, std::uint32_t frames) {
    of(h).run(frames);
}
void deactivate(LV2_Handle h) {
    of(h).deactivate();
}
void cleanup(LV2_Handle h) {
    delete &of(h);
}
const void* extensionData(const char*) {
    return nullptr;
}

const LV2_Descriptor kDescriptor{kPluginUri, instantiate, connect, activate,
                                 run,        deactivate,  cleanup, extensionData};

// Hosts load plug-ins on threads whose floating-point state may trap; the plug-in's arithmetic
// must never raise an exception inside the host.
struct LoadTimeSetup {
    LoadTimeSetup() { maskFloatingPointExceptions(); }
} loadTimeSetup;

} // namespace

} // namespace lv2_door

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &lv2_door::kDescriptor : nullptr;
}
