// morvo-host's JACK callback, counted: its allocations go into the tests' counter.
#include "AllocationCounter.h"
#include "drivers/CallbackCount.h"

namespace callback_count {

void enter() {
    allocations::countingHere = true;
}
void leave() {
    allocations::countingHere = false;
}
long total() {
    return allocations::count.load();
}

} // namespace callback_count
