// Reading what the host puts into the atom port, within the sizes it states: every header and
// body is checked to lie inside the sequence (or object) before it is read, so a malformed or
// truncated atom ends the walk instead of being read past. Allocation-free, for run().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

namespace lv2_door {

// The URIs the door reads and writes, mapped once through the host's urid:map.
struct Uris {
    LV2_URID sequence, object, blank, floatType, doubleType, intType, longType, midiEvent, position,
        frame, speed, bar, barBeat, beat, beatUnit, beatsPerBar, beatsPerMinute, frameTime;
    explicit Uris(const LV2_URID_Map& map);
};

constexpr std::size_t padded(std::size_t size) {
    return (size + 7u) & ~static_cast<std::size_t>(7u);
}

// Calls take(event) for each event of a sequence of `size` body bytes, in order.
template <typename Take>
void forEachEvent(const LV2_Atom_Sequence_Body* body, std::uint32_t size, Take&& take) {
    if (body == nullptr || size < sizeof(LV2_Atom_Sequence_Body)) return;
    const auto* at = reinterpret_cast<const std::uint8_t*>(body) + sizeof(LV2_Atom_Sequence_Body);
    const auto* end = reinterpret_cast<const std::uint8_t*>(body) + size;
    while (static_cast<std::size_t>(end - at) >= sizeof(LV2_Atom_Event)) {
        const auto* event = reinterpret_cast<const LV2_Atom_Event*>(at);
        const std::size_t room = static_cast<std::size_t>(end - at) - sizeof(LV2_Atom_Event);
        if (event->body.size > room) return;
        take(*event);
        const std::size_t step = padded(sizeof(LV2_Atom_Event) + event->body.size);
        if (step > static_cast<std::size_t>(end - at)) return;
        at += step;
    }
}

// Calls take(key, value) for each property of an object atom (its header included).
template <typename Take> void forEachProperty(const LV2_Atom& object, Take&& take) {
    if (object.size < sizeof(LV2_Atom_Object_Body)) return;
    const auto* begin = reinterpret_cast<const std::uint8_t*>(&object + 1);
    const auto* at = begin + sizeof(LV2_Atom_Object_Body);
    const auto* end = begin + object.size;
    while (static_cast<std::size_t>(end - at) >= sizeof(LV2_Atom_Property_Body)) {
        const auto* property = reinterpret_cast<const LV2_Atom_Property_Body*>(at);
        const std::size_t room =
            static_cast<std::size_t>(end - at) - sizeof(LV2_Atom_Property_Body);
        if (property->value.size > room) return;
        take(property->key, property->value);
        const std::size_t step = padded(sizeof(LV2_Atom_Property_Body) + property->value.size);
        if (step > static_cast<std::size_t>(end - at)) return;
        at += step;
    }
}

// A number atom of any of the four numeric types, as a double; false for anything else.
bool numberOf(const LV2_Atom& value, const Uris& uris, double& number);

} // namespace lv2_door
