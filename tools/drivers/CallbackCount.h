// What JACK's process callback allocates, counted for the tests: morvo-host links the build
// that counts nothing (NoCallbackCount.cpp); the tests build it with a counter in its place.
#pragma once

namespace callback_count {

// On JACK's thread, around the callback.
void enter();
void leave();
// The allocations counted so far; negative when nothing counts.
long total();

// Counts for one callback.
struct Scope {
    Scope() { enter(); }
    ~Scope() { leave(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace callback_count
