#include "drivers/CallbackCount.h"

namespace callback_count {

void enter() {}
void leave() {}
long total() {
    return -1;
}

} // namespace callback_count
