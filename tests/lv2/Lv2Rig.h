// The LV2 host rig our tests share (the door's tests, morvo-lv2-play, the LV2 fuzz harness): a
// urid:map, an atom:Sequence written as hosts feed a plug-in's atom input, time:Position objects
// as hosts forge them, and the reading of what a plug-in sent, checked as a host relies on it.
// LilvRig.h adds an instance with its ports connected, loaded through lilv.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace lv2_rig {

constexpr std::size_t padded(std::size_t size) {
    return (size + 7) & ~std::size_t{7};
}

// urid:map: URIs numbered from `base` in the order first asked, or a map that `fails` (maps
// everything to 0). A plug-in that asks for a null URI aborts the test.
struct UriMap {
    std::vector<std::string> uris;
    LV2_URID base = 1;
    bool fails = false;
    LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) {
                         return (*static_cast<UriMap*>(h))(uri);
                     }};
    UriMap() = default;
    UriMap(const UriMap&) = delete; // the map's handle is this
    LV2_URID operator()(const char* uri) {
        if (uri == nullptr) {
            std::fputs("\n*** Morvo invariant broken: a null URI mapped\n", stderr);
            std::abort();
        }
        if (fails) return 0;
        for (std::size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return base + static_cast<LV2_URID>(i);
        uris.emplace_back(uri);
        return base + static_cast<LV2_URID>(uris.size() - 1);
    }
};

// An atom:Sequence written event by event into a buffer of the host's.
class AtomSequence {
  public:
    AtomSequence(std::vector<std::uint64_t>& buffer, UriMap& uris)
        : bytes(buffer), sequenceType(uris(LV2_ATOM__Sequence)),
          midiType(uris(LV2_MIDI__MidiEvent)), objectType(uris(LV2_ATOM__Object)) {
        clear();
    }
    LV2_Atom_Sequence* atom() { return reinterpret_cast<LV2_Atom_Sequence*>(bytes.data()); }
    void clear() { *atom() = {{sizeof(LV2_Atom_Sequence_Body), sequenceType}, {0, 0}}; }
    void event(std::int64_t frames, LV2_URID type, const void* body, std::uint32_t size) {
        // Written through the buffer's bytes: the header's type covers only the header.
        auto* at =
            reinterpret_cast<std::uint8_t*>(bytes.data()) + sizeof(LV2_Atom) + atom()->atom.size;
        const LV2_Atom_Event head{{frames}, {size, type}};
        std::memcpy(at, &head, sizeof head);
        std::memcpy(at + sizeof head, body, size);
        atom()->atom.size += static_cast<std::uint32_t>(padded(sizeof head + size));
    }
    void event(std::int64_t frames, LV2_URID type, const std::vector<std::uint8_t>& body) {
        event(frames, type, body.data(), static_cast<std::uint32_t>(body.size()));
    }
    // An atom:Object of the body (forged or position below).
    void object(std::int64_t frames, const std::vector<std::uint8_t>& body) {
        event(frames, objectType, body);
    }
    void midi(std::int64_t frames, unsigned char status, unsigned char a, unsigned char b) {
        const unsigned char data[3] = {status, a, b};
        event(frames, midiType, data, 3);
    }

  private:
    std::vector<std::uint64_t>& bytes;
    LV2_URID sequenceType, midiType, objectType;
};

// A property of a time:Position as a host forges it: key, atom type (Float, Double, Int, Long)
// and value.
struct Property {
    const char* key;
    const char* type;
    double value;
};

// A time:Position object's body (or one of `otype`) with the given properties.
inline std::vector<std::uint8_t> forged(UriMap& uris, const std::vector<Property>& properties,
                                        LV2_URID otype = 0) {
    std::vector<std::uint8_t> body(sizeof(LV2_Atom_Object_Body));
    const LV2_Atom_Object_Body head{0, otype != 0 ? otype : uris(LV2_TIME__Position)};
    std::memcpy(body.data(), &head, sizeof head);
    for (const auto& [key, type, value] : properties) {
        const std::string kind = type;
        const bool wide = kind == LV2_ATOM__Long || kind == LV2_ATOM__Double;
        const LV2_Atom_Property_Body p{uris(key), 0, {wide ? 8u : 4u, uris(type)}};
        std::uint8_t room[24] = {};
        std::memcpy(room, &p, sizeof p);
        const auto put = [&](auto number) { std::memcpy(room + sizeof p, &number, sizeof number); };
        if (kind == LV2_ATOM__Long)
            put(static_cast<std::int64_t>(value));
        else if (kind == LV2_ATOM__Double)
            put(value);
        else if (kind == LV2_ATOM__Int)
            put(static_cast<std::int32_t>(value));
        else
            put(static_cast<float>(value));
        body.insert(body.end(), room, room + 24);
    }
    return body;
}

// A time:Position as our own hosts send it: the frame a Long, every other value of `type`.
inline std::vector<std::uint8_t> position(UriMap& uris,
                                          const std::vector<std::pair<const char*, double>>& fields,
                                          const char* type, LV2_URID otype = 0) {
    std::vector<Property> properties;
    for (const auto& [key, value] : fields)
        properties.push_back(
            {key, std::strcmp(key, LV2_TIME__frame) == 0 ? LV2_ATOM__Long : type, value});
    return forged(uris, properties, otype);
}

// What a plug-in wrote into an atom output that offered `capacity` bytes, in a block of `frames`:
// take(frame, bytes) for each MIDI message in order. Returns null, or what a host finds wrong: a
// buffer too small for a sequence written to, a sequence beyond its capacity or not in frames,
// events past its end, other than 3-byte MIDI, out of time order or beyond the block.
template <typename Take>
const char* readOutput(const void* buffer, std::uint32_t capacity, std::uint32_t frames,
                       UriMap& uris, Take&& take) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    LV2_Atom head;
    std::memcpy(&head, bytes, sizeof head);
    if (capacity < sizeof(LV2_Atom_Sequence_Body))
        return head.size == capacity ? nullptr
                                     : "an output buffer without room for a sequence was written";
    if (head.type != uris(LV2_ATOM__Sequence)) return "the output is no sequence";
    if (head.size < sizeof(LV2_Atom_Sequence_Body) || head.size > capacity)
        return "the output sequence's size is beyond its capacity";
    LV2_Atom_Sequence_Body body;
    std::memcpy(&body, bytes + sizeof head, sizeof body);
    if (body.unit != 0 && body.unit != uris(LV2_ATOM__frameTime))
        return "the output is not in frames";
    const LV2_URID midi = uris(LV2_MIDI__MidiEvent);
    const std::size_t end = sizeof head + head.size;
    std::int64_t last = 0;
    for (std::size_t at = sizeof(LV2_Atom_Sequence); at < end;) {
        LV2_Atom_Event event;
        if (end - at < sizeof event) return "an output event's header past the sequence's end";
        std::memcpy(&event, bytes + at, sizeof event);
        if (event.body.size > end - at - sizeof event) return "an output event past the end";
        if (event.body.type != midi || event.body.size != 3)
            return "an output event that is no 3-byte MIDI message";
        if (event.time.frames < last) return "output events out of time order";
        if (event.time.frames < 0 || event.time.frames >= std::int64_t{frames})
            return "an output event beyond the block's frames";
        last = event.time.frames;
        take(static_cast<std::uint32_t>(event.time.frames), bytes + at + sizeof event);
        at += padded(sizeof event + event.body.size);
        if (at > padded(end)) return "an output event's padding past the sequence's end";
    }
    return nullptr;
}

} // namespace lv2_rig
