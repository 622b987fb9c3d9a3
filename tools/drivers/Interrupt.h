// What morvo-host's live modes share: Ctrl-C and SIGTERM end the play (the handler only sets a
// flag, which the main thread's loop reads), and the pace of the editor's idle and the printing.
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>

// The editor idles about 40 times a second, and what was sent is printed at the same pace.
constexpr auto kTick = std::chrono::milliseconds(25);

inline std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" inline void onInterrupt(int) {
    interruptRequested.store(true, std::memory_order_relaxed);
}

// While it lives, Ctrl-C and SIGTERM set interruptRequested instead of ending the program.
class InterruptWatch {
  public:
    InterruptWatch() {
        interruptRequested.store(false);
        std::signal(SIGINT, onInterrupt);
        std::signal(SIGTERM, onInterrupt);
    }
    ~InterruptWatch() {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
    static bool requested() { return interruptRequested.load(std::memory_order_relaxed); }
};
