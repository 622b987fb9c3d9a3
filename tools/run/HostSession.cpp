#include "run/HostSession.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A block of n samples carries at most one message per MIDI channel and sample.
constexpr std::size_t kMidiChannels = 16;

guest::Options options(guest::Listener* listener) {
    guest::Options chosen;
    chosen.eventCapacity = static_cast<std::size_t>(SessionSettings{}.blockSize) * kMidiChannels;
    chosen.vendor = "Morvo";
    chosen.product = "morvo-host";
    chosen.listener = listener;
    return chosen;
}

// The transport before playing: the session's tempo, stopped, nowhere yet.
guest::Transport fixedTempo(const SessionSettings& settings) {
    guest::Transport transport;
    transport.sampleRate = settings.sampleRate;
    transport.blockSize = settings.blockSize;
    transport.hasTempo = true;
    transport.tempo = settings.tempo;
    return transport;
}

} // namespace

HostSession::HostSession() : hosted(options(this)) {
    hosted.setTransport(fixedTempo(settings));
}

HostSession::~HostSession() = default;

std::int32_t HostSession::findParameter(const std::string& name, std::string& error) {
    return ::findParameter(parameterNames(), name, error);
}

std::vector<std::string> HostSession::parameterNames() {
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < hosted.parameterCount(); ++i)
        names.push_back(hosted.parameterName(i));
    return names;
}

void HostSession::automated(std::int32_t index, float value) {
    // Kept only when playing offline: live, this may come from the audio thread.
    if (ring == nullptr) automation.emplace_back(index, value);
}

void HostSession::take(std::uint32_t frame, const unsigned char data[3]) {
    ReceivedEvent event{blockStart + frame, {}};
    std::memcpy(event.data, data, sizeof event.data);
    if (out != nullptr) out->take(frame, data);
    if (ring != nullptr)
        ring->push({event, false}); // the audio thread: nothing allocated
    else
        received.push_back(event);
}

void HostSession::runBlock(const guest::Transport& now, std::int32_t frames) {
    hosted.run(now, {inputs, outputs, frames}, *this);
    blockStart += static_cast<std::uint64_t>(frames);
}

void HostSession::start(const SessionSettings& chosen, std::int32_t program,
                        const std::vector<std::pair<std::int32_t, float>>& parameters,
                        std::vector<SentNote> notes, EventRing* events) {
    settings = chosen;
    ring = events;
    samplesPerBeat = settings.sampleRate * 60.0 / settings.tempo;
    std::sort(notes.begin(), notes.end(),
              [](const SentNote& a, const SentNote& b) { return a.sample < b.sample; });
    sent = std::move(notes);
    nextNote = 0;
    blockStart = 0;
    hosted.setEventCapacity(static_cast<std::size_t>(settings.blockSize) * kMidiChannels);
    hosted.setTransport(fixedTempo(settings));

    hosted.open();
    hosted.setSampleRate(settings.sampleRate);
    hosted.setBlockSize(settings.blockSize);
    if (program >= 0) hosted.setProgram(program);
    for (const auto& [index, value] : parameters)
        hosted.setParameter(index, value);
    startValues.clear();
    for (std::int32_t i = 0; i < hosted.parameterCount(); ++i)
        startValues.push_back(hosted.parameter(i));
    hosted.resume();
    hosted.handOver(*this);

    silence.assign(static_cast<std::size_t>(settings.blockSize), 0.0f);
    left.assign(silence.size(), 0.0f);
    right.assign(silence.size(), 0.0f);
    inputs[0] = inputs[1] = silence.data();
    outputs[0] = left.data();
    outputs[1] = right.data();
    hosted.setIncomingCapacity(sent.size()); // as many as there are notes: no block needs more
}

void HostSession::processBlock(std::int32_t frames) {
    while (nextNote < sent.size() &&
           sent[nextNote].sample < blockStart + static_cast<std::uint64_t>(frames)) {
        const ReceivedEvent noteOn = sent[nextNote++].message();
        hosted.queueEvent(static_cast<std::int32_t>(noteOn.sample - blockStart), noteOn.data);
    }
    // Playing from the start at one tempo in 4/4: the song position counts the samples.
    const auto sample = static_cast<double>(blockStart);
    runBlock(inFourFour(settings.sampleRate, settings.blockSize, sample, settings.tempo,
                        sample / samplesPerBeat, true),
             frames);
}

void HostSession::playSong(const SessionSettings& chosen, std::int32_t program,
                           const std::vector<std::pair<std::int32_t, float>>& parameters,
                           const Song& song) {
    SessionSettings timed = chosen;
    timed.tempo = song.tempo;
    start(timed, program, parameters, {});
    hosted.setIncomingCapacity(static_cast<std::size_t>(
        std::count_if(song.items.begin(), song.items.end(),
                      [](const SongItem& item) { return item.kind == SongItem::note; })));
    SongPlayer player(song, settings.sampleRate, settings.blockSize);
    SongBlock block;
    while (player.next(block)) {
        for (const auto& [index, value] : block.parameters)
            hosted.setParameter(index, value);
        for (const auto& [offset, note] : block.notes)
            hosted.queueEvent(offset, SentNote{0, note}.message().data);
        runBlock(block.transport, block.frames);
    }
    stop();
}

void HostSession::stop() {
    hosted.suspend();
    hosted.close();
    hosted.handOver(*this);
}
