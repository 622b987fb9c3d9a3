// Counts the allocations and releases made while counting is on (the C library's, or the global
// operator new and delete's under a sanitizer), so a test can show that a piece of code
// allocates and frees nothing: made anywhere while a Scope lives, or on the thread of a
// ThreadScope.
#pragma once

#include <atomic>

namespace allocations {

extern std::atomic<bool> counting;
extern std::atomic<long> count;
// Counting on one thread only, beside threads that allocate as they please; the count goes on.
extern thread_local bool countingHere;

struct Scope {
    Scope() {
        count = 0;
        counting = true;
    }
    ~Scope() { counting = false; }
};

struct ThreadScope {
    ThreadScope() { countingHere = true; }
    ~ThreadScope() { countingHere = false; }
};

} // namespace allocations
