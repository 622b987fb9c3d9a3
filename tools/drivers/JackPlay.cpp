#include "drivers/JackPlay.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "drivers/CallbackCount.h"
#include "drivers/Interrupt.h"
#include "drivers/JackLibrary.h"
#include "reports/StepTable.h"
#include "windows/EditorWindow.h"

namespace {

// Loaded before any client is made; read-only afterwards, on every thread.
JackLibrary jack;

using Clock = std::chrono::steady_clock;

// Incoming messages the plug-in takes in one block: more than a JACK MIDI buffer holds.
constexpr std::size_t kIncomingPerBlock = 1024;

// Everything the process callback touches, made before the client is activated.
struct Client {
    jack_client_t* client = nullptr;
    jack_port_t* midiIn = nullptr;
    jack_port_t* midiOut = nullptr;
    jack_port_t* audioIn[2] = {};
    jack_port_t* audioOut[2] = {};
    guest::Guest* plugin = nullptr;
    double tempo = 120.0; // without a timebase master
    double sampleRate = 48000.0;
    jack_nframes_t largestBlock = 0;  // the plug-in's block size: longer cycles play in parts
    std::uint64_t limit = UINT64_MAX; // frames to play
    guest::Transport transport;

    // Written by the callback alone.
    std::uint64_t frames = 0;
    EventRing sent;     // what the plug-in sent, a song position before each cycle's first
    EventRing incoming; // what reached the plug-in
    // Shared with the main thread.
    std::atomic<bool> begun{false}; // the connections are in place: the song starts
    std::atomic<std::uint64_t> cycles{0}, played{0}, xruns{0}, lostIn{0}, lostOut{0};
    std::atomic<bool> gone{false};
    char goneReason[256] = "";
};

// A position entry in the ring of sent messages: no MIDI message has status byte 0.
bool isPosition(const ReceivedEvent& e) {
    return e.data[0] == 0;
}

// Bytes of a message by its status byte; 0 for what is not a whole short message.
std::size_t messageLength(unsigned char status) {
    if (status < 0x80 || status == 0xF0 || status == 0xF7) return 0;
    if (status >= 0xF4) return 1;
    if ((status & 0xE0) == 0xC0 || status == 0xF1 || status == 0xF3) return 2;
    return 3;
}

// Where the song is at the cycle's first frame: bar, beat and tick when a timebase master gives
// them, otherwise the transport's frame at the tempo asked for, in 4/4.
void readTransport(Client& c) {
    jack_position_t pos;
    const bool rolling = jack.transport_query(c.client, &pos) == JackTransportRolling;
    const double frame = static_cast<double>(pos.frame);
    const bool bbt = (pos.valid & JackPositionBBT) != 0 && pos.beats_per_minute > 0.0 &&
                     pos.ticks_per_beat > 0.0 && pos.beat_type > 0.0f && pos.beats_per_bar > 0.0f &&
                     pos.bar >= 1 && pos.beat >= 1 && std::isfinite(pos.beats_per_minute);
    guest::Transport& t = c.transport;
    t = inFourFour(c.sampleRate, static_cast<std::int32_t>(c.largestBlock), frame, c.tempo,
                   frame / (c.sampleRate * 60.0 / c.tempo), rolling);
    if (!bbt) return;
    // JACK counts beats of the time signature's note value; the plug-in, quarter notes.
    const double quarters = 4.0 / static_cast<double>(pos.beat_type);
    const double barBeats = static_cast<double>(pos.bar - 1) * pos.beats_per_bar;
    t.tempo = pos.beats_per_minute * quarters;
    t.songPosition =
        (barBeats + (pos.beat - 1) + static_cast<double>(pos.tick) / pos.ticks_per_beat) * quarters;
    t.barStart = barBeats * quarters;
    t.numerator = static_cast<std::int32_t>(std::lround(pos.beats_per_bar));
    t.denominator = static_cast<std::int32_t>(std::lround(pos.beat_type));
}

// The cycle's incoming messages in [from, to) to the plug-in, at their offsets in the block
// that starts at `from`.
void deliver(Client& c, void* in, std::uint32_t& next, std::uint32_t count, jack_nframes_t from,
             jack_nframes_t to) {
    jack_midi_event_t event;
    for (; next < count; ++next) {
        if (jack.midi_event_get(&event, in, next) != 0) continue;
        if (event.time >= to) break;
        if (event.size == 0 || event.size > 3 || messageLength(event.buffer[0]) != event.size)
            continue; // system exclusive and broken messages: nothing the plug-in reads
        ReceivedEvent message{c.frames + event.time, {}};
        std::memcpy(message.data, event.buffer, event.size);
        if (!c.plugin->queueEvent(static_cast<std::int32_t>(event.time - from), message.data))
            c.lostIn.fetch_add(1, std::memory_order_relaxed);
        c.incoming.push({message, false});
    }
}

// What the plug-in sent in a cycle, onto the output port at its frames (the guest keeps them
// in order, as JACK takes a port's messages), with the song position before the first.
struct PortSink final : guest::Sink {
    Client& c;
    void* out;
    bool positionGiven = false;
    PortSink(Client& client, void* port) : c(client), out(port) {}

    void take(std::uint32_t frame, const unsigned char data[3]) override {
        if (!positionGiven) {
            c.sent.push({{std::bit_cast<std::uint64_t>(c.transport.songPosition), {}}, false});
            positionGiven = true;
        }
        const std::size_t length = messageLength(data[0]);
        if (length == 0 || jack.midi_event_write(out, frame, data, length) != 0)
            c.lostOut.fetch_add(1, std::memory_order_relaxed);
        ReceivedEvent message{c.frames + frame, {}};
        std::memcpy(message.data, data, sizeof message.data);
        c.sent.push({message, false});
    }
};

// JACK's real-time thread: nothing here allocates, locks, waits or prints.
int process(jack_nframes_t n, void* arg) {
    const callback_count::Scope counting;
    Client& c = *static_cast<Client*>(arg);
    void* out = jack.port_get_buffer(c.midiOut, n);
    jack.midi_clear_buffer(out);
    float* inputs[2];
    float* outputs[2];
    for (int i = 0; i < 2; ++i) {
        inputs[i] = static_cast<float*>(jack.port_get_buffer(c.audioIn[i], n));
        outputs[i] = static_cast<float*>(jack.port_get_buffer(c.audioOut[i], n));
    }
    const std::uint64_t left = c.limit - std::min(c.limit, c.frames);
    const auto playing = static_cast<jack_nframes_t>(
        c.begun.load(std::memory_order_relaxed) ? std::min<std::uint64_t>(n, left) : 0);
    // Before the song starts and after it ends the audio passes through all the same.
    if (playing < n)
        for (int i = 0; i < 2; ++i)
            if (outputs[i] != inputs[i])
                std::memmove(outputs[i] + playing, inputs[i] + playing,
                             (n - playing) * sizeof(float));

    if (playing > 0) {
        void* in = jack.port_get_buffer(c.midiIn, n);
        const std::uint32_t count = jack.midi_get_event_count(in);
        std::uint32_t next = 0;
        readTransport(c);
        const double samplesPerBeat = c.sampleRate * 60.0 / c.transport.tempo;
        const double firstSample = c.transport.samplePosition;
        const double firstBeat = c.transport.songPosition;
        PortSink sink(c, out);
        for (jack_nframes_t from = 0; from < playing;) {
            const jack_nframes_t frames = std::min(playing - from, c.largestBlock);
            deliver(c, in, next, count, from, from + frames);
            // A stopped transport stays where it is for the whole cycle.
            const double moved = c.transport.playing ? static_cast<double>(from) : 0.0;
            c.transport.samplePosition = firstSample + moved;
            c.transport.songPosition = firstBeat + moved / samplesPerBeat;
            float* blockIn[2] = {inputs[0] + from, inputs[1] + from};
            float* blockOut[2] = {outputs[0] + from, outputs[1] + from};
            c.plugin->run(c.transport,
                          {blockIn, blockOut, static_cast<std::int32_t>(frames), from, playing},
                          sink);
            from += frames;
        }
        c.frames += playing;
        // Notes first: a reader that sees a block in `sent` finds its notes published.
        c.incoming.publish();
        c.sent.push({{c.frames, {}}, true});
        c.sent.publish();
        c.played.store(c.frames, std::memory_order_relaxed);
    }
    c.cycles.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int countXrun(void* arg) {
    static_cast<Client*>(arg)->xruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void serverGone(jack_status_t, const char* reason, void* arg) {
    Client& c = *static_cast<Client*>(arg);
    std::snprintf(c.goneReason, sizeof c.goneReason, "%s", reason != nullptr ? reason : "");
    c.gone.store(true, std::memory_order_release);
}

// libjack's own messages: several lines for one missing server, more for one that went away;
// this program says what happened in a line of its own.
void quiet(const char*) {}

// What the callback sent and what reached the plug-in, taken on the main thread into the step
// table (each cycle at the song position it played at) and into the lists the files are made of.
class Taker {
  public:
    Taker(StepTable& steps, Reports& files) : table(steps), reports(files) {}

    void take(Client& c) {
        c.incoming.drain([&](const RingEntry& entry) {
            table.sentToPlugin(entry.event);
            reports.toPlugin(entry.event);
        });
        c.sent.drain([&](const RingEntry& entry) {
            if (entry.blockEnd || isPosition(entry.event)) {
                showCycle();
                if (entry.blockEnd)
                    table.reach(entry.event.sample);
                else
                    position = std::bit_cast<double>(entry.event.sample);
                return;
            }
            cycle.push_back(entry.event);
        });
        showCycle();
        std::fflush(stdout);
    }

  private:
    void showCycle() {
        if (!cycle.empty()) table.add(cycle, position);
        reports.fromPlugin(cycle);
        cycle.clear();
    }

    StepTable& table;
    Reports& reports;
    std::vector<ReceivedEvent> cycle;
    double position = 0.0;
};

// Connects our port and each named one; false, with the reason printed, when one fails.
bool connectAll(jack_client_t* client, jack_port_t* ours, const std::vector<std::string>& ports,
                bool fromOurs) {
    bool all = true;
    for (const std::string& port : ports) {
        const char* mine = jack.port_name(ours);
        const int result = fromOurs ? jack.connect(client, mine, port.c_str())
                                    : jack.connect(client, port.c_str(), mine);
        if (result == 0 || result == EEXIST) continue;
        std::fprintf(stderr, "morvo-host: cannot connect %s %s %s\n",
                     fromOurs ? mine : port.c_str(), "to", fromOurs ? port.c_str() : mine);
        all = false;
    }
    if (!all) {
        // The MIDI ports there are, to pick from.
        const char** names = jack.get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, 0);
        std::fprintf(stderr, "MIDI ports:\n");
        for (std::size_t i = 0; names != nullptr && names[i] != nullptr; ++i)
            std::fprintf(stderr, "  %s\n", names[i]);
        if (names != nullptr) jack.free(names);
    }
    return all;
}

} // namespace

int playJack(HostSession& session, const LiveSettings& settings, const JackPorts& studio,
             Reports& reports) {
    if (!settings.notes.empty()) {
        std::fprintf(stderr, "morvo-host: --note plays with morvo-host's own clock; with --jack, "
                             "play notes into the client's MIDI input\n");
        return 2;
    }
    std::string missing;
    if (!jack.load(missing)) {
        std::fprintf(stderr, "morvo-host: %s\n", missing.c_str());
        return 1;
    }
    jack.set_error_function(quiet);
    jack.set_info_function(quiet);
    jack_status_t status{};
    jack_client_t* client = jack.client_open(studio.client.c_str(), JackNoStartServer, &status);
    if (client == nullptr) {
        if ((status & JackServerFailed) != 0)
            std::fprintf(stderr, "morvo-host: no JACK server is running (start one, for example "
                                 "jackd -d alsa, or PipeWire's JACK)\n");
        else
            std::fprintf(stderr, "morvo-host: JACK refused the client '%s' (status 0x%x)\n",
                         studio.client.c_str(), static_cast<unsigned>(status));
        return 1;
    }

    auto c = std::make_unique<Client>();
    c->client = client;
    c->sampleRate = jack.get_sample_rate(client);
    c->largestBlock = jack.get_buffer_size(client);
    c->tempo = settings.session.tempo;
    c->midiIn = jack.port_register(client, "midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    c->midiOut =
        jack.port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    const char* audioNames[2][2] = {{"audio_in_1", "audio_in_2"}, {"audio_out_1", "audio_out_2"}};
    bool ports = c->midiIn != nullptr && c->midiOut != nullptr;
    for (int i = 0; i < 2; ++i) {
        c->audioIn[i] = jack.port_register(client, audioNames[0][i], JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsInput, 0);
        c->audioOut[i] = jack.port_register(client, audioNames[1][i], JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsOutput, 0);
        ports = ports && c->audioIn[i] != nullptr && c->audioOut[i] != nullptr;
    }
    if (!ports) {
        std::fprintf(stderr, "morvo-host: JACK refused to make the client's ports\n");
        jack.client_close(client);
        return 1;
    }

    SessionSettings s = settings.session;
    s.sampleRate = c->sampleRate;
    s.blockSize = static_cast<std::int32_t>(c->largestBlock);
    const double samplesPerBeat = s.sampleRate * 60.0 / s.tempo;
    if (settings.bounded)
        c->limit = static_cast<std::uint64_t>(std::llround(s.beats * samplesPerBeat));
    session.start(s, settings.program, settings.parameters, {}, &c->sent);
    session.guest().setIncomingCapacity(kIncomingPerBlock);
    c->plugin = &session.guest();
    c->sent.publish(); // what the plug-in sent as it resumed

    InterruptWatch watch;
    jack.set_process_callback(client, process, c.get());
    jack.set_xrun_callback(client, countXrun, c.get());
    jack.on_info_shutdown(client, serverGone, c.get());
    if (jack.activate(client) != 0) {
        std::fprintf(stderr, "morvo-host: JACK did not activate the client\n");
        jack.client_close(client);
        session.stop();
        return 1;
    }
    bool connected = connectAll(client, c->midiOut, studio.connectOut, true);
    connected = connectAll(client, c->midiIn, studio.connectIn, false) && connected;
    // The song starts once the connections are in the graph: two cycles after they were made.
    const std::uint64_t cycle = c->cycles.load(std::memory_order_relaxed);
    const Clock::time_point waitEnd = Clock::now() + std::chrono::seconds(1);
    while (c->cycles.load(std::memory_order_relaxed) < cycle + 2 && Clock::now() < waitEnd &&
           !c->gone.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    c->begun.store(connected, std::memory_order_relaxed);

    reports.start(s.tempo, s.sampleRate, s.blockSize, settings.title);
    StepTable table(s, std::nullopt, {}, true);
    Taker taker(table, reports);
    EditorWindow window;
    if (connected) {
        table.heading(settings.title, std::string("JACK client ") + jack.get_client_name(client) +
                                          ", this tempo without a timebase master");
        std::string why = "the plug-in has no editor";
        if (session.guest().hasEditor())
            window.open(session.guest(), session.text(effGetEffectName), why);
        if (!window.isOpen())
            std::fprintf(stderr, "morvo-host: %s: playing without a window\n", why.c_str());
    }
    Clock::time_point tick = Clock::now();
    while (connected && !InterruptWatch::requested() && !c->gone.load(std::memory_order_acquire) &&
           c->played.load(std::memory_order_relaxed) < c->limit) {
        taker.take(*c);
        window.idle();
        tick = std::max(tick + kTick, Clock::now());
        std::this_thread::sleep_until(tick);
    }
    const bool gone = c->gone.load(std::memory_order_acquire);
    if (!gone) jack.deactivate(client);
    jack.client_close(client);
    window.close();
    session.stop();
    c->sent.publish(); // what the plug-in sent as it closed
    taker.take(*c);
    if (!connected) return 1;

    const std::uint64_t played = c->played.load(std::memory_order_relaxed);
    const std::uint64_t xruns = c->xruns.load(std::memory_order_relaxed);
    table.finish();
    std::printf("played %.3f seconds, %llu xrun%s\n", static_cast<double>(played) / s.sampleRate,
                static_cast<unsigned long long>(xruns), xruns == 1 ? "" : "s");
    if (callback_count::total() >= 0)
        std::printf("allocations in the process callback: %ld\n", callback_count::total());
    std::fflush(stdout);
    if (gone)
        std::fprintf(stderr, "morvo-host: the JACK server went away%s%s\n",
                     c->goneReason[0] != '\0' ? ": " : "", c->goneReason);
    const std::pair<const char*, std::uint64_t> losses[] = {
        {"messages to the plug-in were lost: more than a block takes", c->lostIn.load()},
        {"messages from the plug-in were lost: more than JACK's buffer holds", c->lostOut.load()},
        {"messages from the plug-in were not printed: the printing fell behind",
         c->sent.dropped() + c->incoming.dropped()},
        {"messages were lost: more than a block holds", session.lost()}};
    for (const auto& [what, count] : losses)
        if (count > 0)
            std::fprintf(stderr, "morvo-host: %llu %s\n", static_cast<unsigned long long>(count),
                         what);

    std::string error;
    const double beats = static_cast<double>(played) / samplesPerBeat;
    if (!reports.finish(beats, error)) {
        std::fprintf(stderr, "morvo-host: %s\n", error.c_str());
        return 1;
    }
    return gone ? 1 : 0;
}
