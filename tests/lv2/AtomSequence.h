// An atom:Sequence written event by event into a buffer of the host's, as our LV2 hosts feed a
// plug-in's atom input.
#pragma once

#include <lv2/atom/atom.h>

#include <cstdint>
#include <cstring>
#include <vector>

class AtomSequence {
  public:
    // types: the URIDs of atom:Sequence and midi:MidiEvent in the host's map.
    AtomSequence(std::vector<std::uint64_t>& buffer, LV2_URID sequence, LV2_URID midiEvent)
        : bytes(buffer), sequenceType(sequence), midiType(midiEvent) {
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
        atom()->atom.size += static_cast<std::uint32_t>((sizeof head + size + 7) & ~7u);
    }
    void midi(std::int64_t frames, unsigned char status, unsigned char a, unsigned char b) {
        const unsigned char data[3] = {status, a, b};
        event(frames, midiType, data, 3);
    }

  private:
    std::vector<std::uint64_t>& bytes;
    LV2_URID sequenceType, midiType;
};
