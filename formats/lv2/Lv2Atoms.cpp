#include "formats/lv2/Lv2Atoms.h"

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

namespace lv2_door {

Uris::Uris(const LV2_URID_Map& map) {
    const auto m = [&](const char* uri) { return map.map(map.handle, uri); };
    sequence = m(LV2_ATOM__Sequence);
    object = m(LV2_ATOM__Object);
    blank = m(LV2_ATOM__Blank);
    floatType = m(LV2_ATOM__Float);
    doubleType = m(LV2_ATOM__Double);
    intType = m(LV2_ATOM__Int);
    longType = m(LV2_ATOM__Long);
    midiEvent = m(LV2_MIDI__MidiEvent);
    position = m(LV2_TIME__Position);
    frame = m(LV2_TIME__frame);
    speed = m(LV2_TIME__speed);
    bar = m(LV2_TIME__bar);
    barBeat = m(LV2_TIME__barBeat);
    beat = m(LV2_TIME__beat);
    beatUnit = m(LV2_TIME__beatUnit);
    beatsPerBar = m(LV2_TIME__beatsPerBar);
    beatsPerMinute = m(LV2_TIME__beatsPerMinute);
    frameTime = m(LV2_ATOM__frameTime);
}

bool numberOf(const LV2_Atom& value, const Uris& uris, double& number) {
    // Copied out, not dereferenced: a host's atom need not be aligned for its type.
    const void* body = &value + 1;
    if (value.type == uris.floatType && value.size >= sizeof(float)) {
        float f;
        std::memcpy(&f, body, sizeof f);
        number = f;
    } else if (value.type == uris.doubleType && value.size >= sizeof(double)) {
        std::memcpy(&number, body, sizeof number);
    } else if (value.type == uris.intType && value.size >= sizeof(std::int32_t)) {
        std::int32_t i;
        std::memcpy(&i, body, sizeof i);
        number = i;
    } else if (value.type == uris.longType && value.size >= sizeof(std::int64_t)) {
        std::int64_t l;
        std::memcpy(&l, body, sizeof l);
        number = static_cast<double>(l);
    } else {
        return false;
    }
    return true;
}

} // namespace lv2_door
