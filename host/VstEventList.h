// A VstEvents list of any length, laid out as hosts lay it out: the two header fields, then
// numEvents pointers in one block exactly that long (the record itself declares room for two).
// For hosts and tests: it allocates.
#pragma once

#include <cstddef>
#include <vector>

#include "DAEffectX.h"

// The pointers follow the header with no gap on 32 and 64 bits alike: two pointer-sized words.
static_assert(offsetof(VstEvents, events) == 2 * sizeof(VstIntPtr));
static_assert(sizeof(VstEvent*) == sizeof(VstIntPtr));

class VstEventList {
  public:
    VstEventList() { assign(nullptr, 0); }
    VstEventList(VstEvent* const* events, std::size_t count) { assign(events, count); }

    // The list of these events in this order, each record 32 bytes as every event is.
    template <typename Event> void assign(std::vector<Event>& events) {
        static_assert(sizeof(Event) == sizeof(VstEvent));
        assign(nullptr, events.size());
        for (std::size_t i = 0; i < events.size(); ++i)
            pointers()[i] = reinterpret_cast<VstEvent*>(&events[i]);
    }

    // Null events leave their pointers null, to be filled in through pointers().
    void assign(VstEvent* const* events, std::size_t count) {
        storage.assign(kHeaderWords + count, 0);
        get()->numEvents = static_cast<std::int32_t>(count);
        for (std::size_t i = 0; events != nullptr && i < count; ++i)
            pointers()[i] = events[i];
    }

    VstEvents* get() { return reinterpret_cast<VstEvents*>(storage.data()); }
    VstEvent** pointers() { return reinterpret_cast<VstEvent**>(storage.data() + kHeaderWords); }

  private:
    static constexpr std::size_t kHeaderWords = 2;
    std::vector<VstIntPtr> storage;
};
