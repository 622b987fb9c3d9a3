// What the fuzz harnesses share: the input reader, the failure report, the clock that bounds a
// block, and the checks of what a host relies on whichever door it comes through: the Control
// Change stream (16 a step, channels in order, ccOut's controller and a step's value) and the
// events the plug-in holds until they are due.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <sys/resource.h>

#include "sequencer/uPlugin.h"

namespace fuzz {

[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "\n*** Morvo invariant broken: %s\n", what);
    std::abort();
}
inline void require(bool holds, const char* what) {
    if (!holds) fail(what);
}

// Times a call of the plug-in. Time the host spends answering is the host's; time the thread
// spends switched out for other processes (a busy machine) is no one's, so a call during which
// that happened is held to the thread's processor time instead. Otherwise the clock rules, so a
// call that sleeps or waits is caught too.
class Stopwatch {
  public:
    using Clock = std::chrono::steady_clock;
    Stopwatch() : start(Clock::now()) { getrusage(RUSAGE_THREAD, &before); }
    bool within(Clock::duration bound, Clock::duration hosts) const {
        if (Clock::now() - start - hosts < bound) return true;
        rusage after{};
        getrusage(RUSAGE_THREAD, &after);
        if (after.ru_nivcsw == before.ru_nivcsw) return false;
        const auto processorTime = [](const rusage& u) {
            return std::chrono::seconds(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                   std::chrono::microseconds(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
        };
        return processorTime(after) - processorTime(before) - hosts < bound;
    }

  private:
    Clock::time_point start;
    rusage before{};
};

// The input, read as numbers: one selector byte (small value, small negative, a value from a
// table of edge cases, or raw bytes follow); an input that runs out reads zeros.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    bool empty() const { return at >= size; }
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    template <typename T> T raw() {
        unsigned char bytes[sizeof(T)] = {};
        for (auto& b : bytes)
            b = byte();
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    std::int32_t number() {
        static constexpr std::int32_t edges[16] = {INT32_MIN, INT32_MAX, -99,     -1,  0,   1,
                                                   16,        22,        23,      24,  250, 251,
                                                   4096,      4097,      1 << 30, -100};
        const std::uint8_t b = byte();
        if (b < 0xC0) return b;
        if (b < 0xE0) return 0xBF - b;
        if (b < 0xF0) return edges[b - 0xE0];
        return raw<std::int32_t>();
    }
    float value() {
        using F = std::numeric_limits<float>;
        static constexpr float edges[16] = {
            F::quiet_NaN(), -F::quiet_NaN(), F::infinity(), -F::infinity(), -0.0f, F::denorm_min(),
            F::max(),       -1.0f,           2.0f,          0.49999997f,    0.5f,  0.01f,
            0.16f,          0.32f,           1e-30f,        44100.0f};
        const std::uint8_t b = byte();
        if (b <= 0x7F) return static_cast<float>(b) / 127.0f;
        if (b < 0x90) return edges[b - 0x80];
        return raw<float>();
    }
    double real() {
        using D = std::numeric_limits<double>;
        static constexpr double edges[8] = {D::quiet_NaN(), D::infinity(),  -D::infinity(),
                                            D::max(),       -1e300,         9.3e18,
                                            -0.25,          D::denorm_min()};
        const std::uint8_t b = byte();
        if (b <= 0xDF) return b / 4.0;
        if (b < 0xE8) return edges[b - 0xE0];
        return raw<double>();
    }

  private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

// The value a parameter stores when a host sets it: clamped to 0..1, 0 for not a number.
inline float stored(float value) {
    return std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
}

inline std::int32_t roundedMidi(long double value) {
    return static_cast<std::int32_t>(std::nearbyint(value * 127.0L));
}

// The Control Change messages of one block: 16 a step, channels 1 to 16 in order, ccOut's
// controller and one step's value (of the parameters at the block's start) for all 16. A door
// that holds messages back for later blocks allows each block's parameters in turn.
class ControlChanges {
  public:
    // Before the block, from the parameters as the block starts with them.
    template <typename Parameter> void expect(Parameter p) {
        std::fill(std::begin(isController), std::end(isController), false);
        std::fill(std::begin(isStepValue), std::end(isStepValue), false);
        messages = 0;
        allow(p);
    }
    // Also what a block with these parameters sends, for messages that may come out later.
    template <typename Parameter> void allow(Parameter p) {
        const auto at = [&](std::int32_t i) { return static_cast<long double>(p(i)); };
        const std::int32_t controller = roundedMidi(at(plugin::ccOut));
        if (controller >= 0 && controller < 128) isController[controller] = true;
        for (std::int32_t s = 0; s < plugin::kNumSteps; ++s) {
            const std::int32_t v =
                roundedMidi((at(plugin::ccMax) - at(plugin::ccMin)) * at(s) + at(plugin::ccMin));
            if (v >= 0 && v < 128) isStepValue[v] = true;
        }
    }
    void check(unsigned char status, unsigned char number, unsigned char data) {
        require(status == 0xB0 + messages % 16, "Control Change status out of channel order");
        require(number < 128 && isController[number], "controller number is not ccOut's");
        require(data < 128 && isStepValue[data], "controller value is no step's value");
        if (messages % 16 == 0) {
            groupController = number;
            groupValue = data;
        }
        require(number == groupController && data == groupValue, "one step's 16 messages differ");
        ++messages;
    }
    // After the block.
    void checkWhole(bool silent) const {
        require(messages % 16 == 0, "a step sent other than 16 messages");
        require(!silent || messages == 0, "a stopped sequencer sent MIDI");
    }
    std::int32_t count() const { return messages; }
    // Where messages were lost, the next one may begin a step.
    void restart() { messages = 0; }

  private:
    std::int32_t messages = 0;
    bool isController[128] = {};
    bool isStepValue[128] = {};
    unsigned char groupController = 0, groupValue = 0;
};

// The incoming MIDI the plug-in holds until it is due (at most 250 messages), as a host that
// sent it knows it: when each acts, and what it does to the transport.
class Pending {
  public:
    std::size_t size() const { return waiting.size(); }
    // One MIDI message handed to the plug-in with this delta; one that finds the pool full is
    // dropped.
    void add(std::int32_t deltaFrames, unsigned char status, unsigned char note,
             unsigned char velocity) {
        if (waiting.size() >= static_cast<std::size_t>(plugin::kDelayRecords)) return;
        int transport = 0;
        if ((status & 0xF0) == 0x90 && (velocity & 0x7F) != 0) {
            if ((note & 0x7F) == plugin::kStartNote || (note & 0x7F) == plugin::kResetNote)
                transport = 1;
            if ((note & 0x7F) == plugin::kStopNote) transport = -1;
        }
        // Delay d acts at sample d - 1 of the coming block, 0 and negative delays at sample 0.
        const std::int64_t delay = deltaFrames > 0 ? deltaFrames - 1 : 0;
        waiting.push_back({samples + static_cast<std::uint64_t>(delay), transport});
    }
    // Before a block of this many frames: whether a start note falls in it.
    bool startDue(std::uint64_t frames) const {
        return std::any_of(waiting.begin(), waiting.end(), [&](const Waiting& w) {
            return w.sample < samples + frames && w.transport > 0;
        });
    }
    // After the block: the messages due in it have acted. What they did to the transport: 1 a
    // start, 2 a stop, 3 both, 0 neither.
    int act(std::uint64_t frames) {
        const std::uint64_t end = samples + frames;
        int acted = 0;
        std::erase_if(waiting, [&](const Waiting& w) {
            if (w.sample >= end) return false;
            acted |= w.transport > 0 ? 1 : (w.transport < 0 ? 2 : 0);
            return true;
        });
        samples = end;
        return acted;
    }
    // The same, with the start/stop parameter read afterwards: it follows the last kind of
    // transport note (when only one kind acted).
    template <typename StartStop> void played(std::uint64_t frames, StartStop startStop) {
        const int acted = act(frames);
        if (acted == 1 || acted == 2) checkActed(acted, startStop());
    }
    static void checkActed(int acted, double startStop) {
        if (acted == 1) require(startStop == 0.0, "a start note left the sequencer stopped");
        if (acted == 2) require(startStop == 1.0, "a stop note left it running");
    }

  private:
    struct Waiting {
        std::uint64_t sample;
        int transport; // +1 start, -1 stop, 0 nothing
    };
    std::vector<Waiting> waiting;
    std::uint64_t samples = 0; // processed so far
};

} // namespace fuzz
