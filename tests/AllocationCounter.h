// Counts the calls of the global operator new and operator delete made while counting is on,
// so a test can show that a piece of code allocates and frees nothing.
#pragma once

#include <atomic>

namespace allocations {

extern std::atomic<bool> counting;
extern std::atomic<long> count;

struct Scope {
    Scope() {
        count = 0;
        counting = true;
    }
    ~Scope() { counting = false; }
};

} // namespace allocations
