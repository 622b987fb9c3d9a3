#include "formats/lv2/Lv2Plugin.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>

#include "formats/guest/Facts.h"
#include "host/Morvo.h"

namespace lv2_door {

namespace {

constexpr std::size_t kMidiChannels = 16;
constexpr std::uint32_t kChannels = 2;
constexpr std::uint32_t kMidiBytes = 3;
constexpr std::size_t kOutputEventBytes = padded(sizeof(LV2_Atom_Event) + kMidiBytes);

guest::Options guestOptions(guest::Listener* listener) {
    guest::Options options;
    options.format = "LV2";
    options.incomingCapacity = Lv2Plugin::kIncomingCapacity;
    options.listener = listener;
    return options;
}

// The longest block the host promises through its options; hosts without them get a default,
// and longer blocks are processed in pieces of it.
std::uint32_t maxBlockOf(const LV2_Feature* const* features, const LV2_URID_Map& map) {
    const LV2_URID key = map.map(map.handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID intType = map.map(map.handle, LV2_ATOM__Int);
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f) {
        if ((*f)->URI == nullptr || std::strcmp((*f)->URI, LV2_OPTIONS__options) != 0) continue;
        for (const auto* o = static_cast<const LV2_Options_Option*>((*f)->data);
             o != nullptr && o->key != 0; ++o) {
            if (o->key != key || o->type != intType || o->size != sizeof(std::int32_t) ||
                o->value == nullptr)
                continue;
            std::int32_t frames = 0;
            std::memcpy(&frames, o->value, sizeof frames);
            if (frames > 0 && frames <= Lv2Plugin::kLargestMaxBlock)
                return static_cast<std::uint32_t>(frames);
        }
    }
    return Lv2Plugin::kDefaultMaxBlock;
}

} // namespace

Lv2Plugin* Lv2Plugin::create(double sampleRate, const LV2_Feature* const* features) {
    const LV2_URID_Map* map = nullptr;
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
        if ((*f)->URI != nullptr && std::strcmp((*f)->URI, LV2_URID__map) == 0)
            map = static_cast<const LV2_URID_Map*>((*f)->data);
    if (map == nullptr || map->map == nullptr || !(sampleRate > 0.0)) return nullptr;
    auto* door = new (std::nothrow) Lv2Plugin(sampleRate, *map, maxBlockOf(features, *map));
    std::string error;
    if (door != nullptr && !door->start(error)) {
        delete door;
        return nullptr;
    }
    return door;
}

Lv2Plugin::Lv2Plugin(double rate, const LV2_URID_Map& map, std::uint32_t frames)
    : uris(map), plugin(guestOptions(this)), sampleRate(rate), maxBlock(frames),
      time(rate, static_cast<std::int32_t>(frames)),
      scratch(static_cast<std::size_t>(frames) * kChannels * 2, 0.0f) {
    for (std::int32_t i = 0; i < kMaxParameters; ++i) {
        controls[i] = &seen[i];
        edits[i].store(0.0f, std::memory_order_relaxed);
        edited[i].store(false, std::memory_order_relaxed);
    }
}

Lv2Plugin::~Lv2Plugin() {
    plugin.close();
}

bool Lv2Plugin::start(std::string& error) {
    if (!plugin.create(pluginMain, error)) return false;
    if (plugin.parameterCount() < 0 || plugin.parameterCount() > kMaxParameters) return false;
    plugin.open();
    // The parameters as the Turtle gives their ports' defaults: a host's first block changes none.
    const guest::Facts facts = guest::describe(plugin);
    parameters = static_cast<std::int32_t>(facts.parameters.size());
    for (std::int32_t i = 0; i < parameters; ++i)
        seen[i] = facts.parameters[static_cast<std::size_t>(i)].value;
    plugin.setSampleRate(sampleRate);
    plugin.setBlockSize(static_cast<std::int32_t>(maxBlock));
    // Room for a message per channel and frame: what no block of the plug-in exceeds.
    plugin.setEventCapacity(static_cast<std::size_t>(maxBlock) * kMidiChannels);
    plugin.setTransport(time.transport(0.0));
    return true;
}

void Lv2Plugin::connect(std::uint32_t port, void* data) {
    switch (port) {
    case audioInLeft:
    case audioInRight: audioIn[port - audioInLeft] = static_cast<const float*>(data); return;
    case audioOutLeft:
    case audioOutRight: audioOut[port - audioOutLeft] = static_cast<float*>(data); return;
    case control: controlIn = static_cast<const LV2_Atom_Sequence*>(data); return;
    case notify: notifyOut = static_cast<LV2_Atom_Sequence*>(data); return;
    case lost: lostOut = static_cast<float*>(data); return;
    default:
        if (port >= firstParameter &&
            port - firstParameter < static_cast<std::uint32_t>(parameters))
            controls[port - firstParameter] =
                data != nullptr ? static_cast<const float*>(data) : &seen[port - firstParameter];
        return;
    }
}

void Lv2Plugin::activate() {
    framesPlayed = 0.0;
    heldCount = 0;
    plugin.dropSent();
    plugin.resume();
}

void Lv2Plugin::deactivate() {
    plugin.suspend();
}

void Lv2Plugin::run(std::uint32_t frames) {
    runFrames = frames;
    // What waits from earlier blocks goes out at the start of this one, also when the last
    // block's output buffer had no room for a sequence at all.
    for (std::size_t i = 0; i < heldCount; ++i)
        held[i].frame = 0;
    takeControls();
    readInput(frames);
    // Some hosts run a block of no frames to hand over control values: nothing plays.
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t piece = std::min(frames - done, maxBlock);
        runPiece(done, piece);
        done += piece;
    }
    writeOutput(frames);
    if (lostOut != nullptr) *lostOut = static_cast<float>(lostCount);
}

void Lv2Plugin::takeControls() {
    // Most blocks change no control: told by the ports' bits all alike, without a branch each,
    // four at a time (the ports beyond the record's read their own last values).
    auto differs = [&](std::int32_t i) {
        return std::bit_cast<std::uint32_t>(*controls[i]) ^ std::bit_cast<std::uint32_t>(seen[i]);
    };
    static_assert(kMaxParameters % 4 == 0);
    std::uint32_t differ = 0;
    for (std::int32_t i = 0; i < parameters; i += 4)
        differ |= differs(i) | differs(i + 1) | differs(i + 2) | differs(i + 3);
    if (differ == 0) return;
    // A changed port value reaches the plug-in as a VST 2 host's setParameter; a value that is
    // not a number is ignored, and one beyond 0..1 is held at its end.
    for (std::int32_t i = 0; i < parameters; ++i) {
        const float value = *controls[i];
        if (!std::isfinite(value) || value == seen[i]) continue;
        seen[i] = value;
        plugin.setParameter(i, std::clamp(value, 0.0f, 1.0f));
    }
}

void Lv2Plugin::readInput(std::uint32_t frames) {
    midiInCount = positionCount = 0;
    if (frames == 0 || controlIn == nullptr || controlIn->atom.type != uris.sequence) return;
    const bool frameStamps = controlIn->atom.size >= sizeof(LV2_Atom_Sequence_Body) &&
                             (controlIn->body.unit == 0 || controlIn->body.unit == uris.frameTime);
    // Pieces take a queue's worth of MIDI each: in a sequence in time order, what a piece would
    // drop is not kept.
    std::uint32_t piece = 0;
    std::size_t inPiece = 0;
    forEachEvent(&controlIn->body, controlIn->atom.size, [&](const LV2_Atom_Event& event) {
        // Where an event belongs: hosts stamping in beats, or out of the block, get its edges.
        const std::uint32_t at = !frameStamps || event.time.frames < 0
                                     ? 0
                                     : static_cast<std::uint32_t>(std::min<std::int64_t>(
                                           event.time.frames, std::int64_t{frames} - 1));
        const auto* body = reinterpret_cast<const unsigned char*>(&event.body + 1);
        if (event.body.type == uris.midiEvent) {
            if (event.body.size == 0 || event.body.size > kMidiBytes || body[0] < 0x80) return;
            if (at / maxBlock != piece) {
                piece = at / maxBlock;
                inPiece = 0;
            }
            if (inPiece == kIncomingCapacity || midiInCount == kRunMidiCapacity) return;
            ++inPiece;
            Message& message = midiIn[midiInCount++];
            message = {at, {}};
            std::memcpy(message.data, body, event.body.size);
        } else if ((event.body.type == uris.object || event.body.type == uris.blank) &&
                   event.body.size >= sizeof(LV2_Atom_Object_Body) &&
                   reinterpret_cast<const LV2_Atom_Object_Body*>(body)->otype == uris.position &&
                   positionCount < kRunPositionCapacity) {
            positions[positionCount++] = {at, &event.body};
        }
    });
}

void Lv2Plugin::runPiece(std::uint32_t offset, std::uint32_t frames) {
    const std::uint32_t end = offset + frames;
    // Before the piece: its MIDI, and positions at its first frame.
    for (std::size_t i = 0; i < midiInCount; ++i)
        if (midiIn[i].frame >= offset && midiIn[i].frame < end)
            plugin.queueEvent(static_cast<std::int32_t>(midiIn[i].frame - offset), midiIn[i].data);
    for (std::size_t i = 0; i < positionCount; ++i)
        if (positions[i].frame == offset) time.take(*positions[i].atom, uris);

    // The host's buffers, in place or not (the record passes audio through either way); an
    // input left unconnected is silence.
    float* inputs[kChannels];
    float* outputs[kChannels];
    for (std::uint32_t c = 0; c < kChannels; ++c) {
        outputs[c] = audioOut[c] != nullptr ? audioOut[c] + offset
                                            : scratch.data() + (kChannels + c) * maxBlock;
        if (audioIn[c] != nullptr) {
            // The record reads its inputs and never writes them.
            inputs[c] = const_cast<float*>(audioIn[c]) + offset;
        } else {
            inputs[c] = scratch.data() + c * maxBlock;
            std::fill_n(inputs[c], frames, 0.0f);
        }
    }
    plugin.run(time.transport(framesPlayed),
               {inputs, outputs, static_cast<std::int32_t>(frames), offset, runFrames}, *this);

    // After it: positions later in the piece take over from their frame on.
    std::uint32_t from = offset;
    for (std::size_t i = 0; i < positionCount; ++i) {
        const std::uint32_t at = positions[i].frame;
        if (at <= offset || at >= end) continue;
        time.advance(at - from);
        time.take(*positions[i].atom, uris);
        from = at;
    }
    time.advance(end - from);
    framesPlayed += frames;
}

void Lv2Plugin::take(std::uint32_t frame, const unsigned char data[3]) {
    if (heldCount == kHeldCapacity) {
        ++lostCount;
        return;
    }
    held[heldCount].frame = frame;
    std::memcpy(held[heldCount++].data, data, kMidiBytes);
}

void Lv2Plugin::writeOutput(std::uint32_t frames) {
    if (notifyOut == nullptr) {
        // Nobody listens: nothing is kept for later.
        heldCount = 0;
        return;
    }
    // The host says how much room the port has in its size; what does not fit waits.
    const std::size_t capacity = notifyOut->atom.size;
    if (capacity < sizeof(LV2_Atom_Sequence_Body)) return;
    notifyOut->atom.type = uris.sequence;
    notifyOut->atom.size = sizeof(LV2_Atom_Sequence_Body);
    notifyOut->body.unit = 0; // frames
    notifyOut->body.pad = 0;
    // A block of no frames (some hosts run one to hand over control values) has no frame to
    // stamp an event at, and hosts drop events beyond the block: what waits, waits on.
    const std::size_t room =
        frames == 0 ? 0 : (capacity - sizeof(LV2_Atom_Sequence_Body)) / kOutputEventBytes;
    const std::size_t sent = std::min(room, heldCount);
    auto* at = reinterpret_cast<std::uint8_t*>(&notifyOut->body + 1);
    for (std::size_t i = 0; i < sent; ++i, at += kOutputEventBytes) {
        auto* event = reinterpret_cast<LV2_Atom_Event*>(at);
        event->time.frames = held[i].frame;
        event->body.type = uris.midiEvent;
        event->body.size = kMidiBytes;
        std::memset(&event->body + 1, 0, kOutputEventBytes - sizeof(LV2_Atom_Event));
        std::memcpy(&event->body + 1, held[i].data, kMidiBytes);
    }
    notifyOut->atom.size += static_cast<std::uint32_t>(sent * kOutputEventBytes);
    if (heldCount > sent) std::memmove(held, held + sent, (heldCount - sent) * sizeof(Message));
    heldCount -= sent;
}

bool Lv2Plugin::takeEdit(std::int32_t index, float& value) {
    // The flag publishes the value stored before it.
    if (index < 0 || index >= parameters ||
        !edited[index].exchange(false, std::memory_order_acquire))
        return false;
    value = edits[index].load(std::memory_order_relaxed);
    return true;
}

void Lv2Plugin::automated(std::int32_t index, float value) {
    if (index < 0 || index >= parameters) return;
    edits[index].store(value, std::memory_order_relaxed);
    edited[index].store(true, std::memory_order_release);
}

} // namespace lv2_door
