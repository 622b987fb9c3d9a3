// APlugin: the plug-in object, "Ostrel" by "Halvark", a 16-step sequencer of MIDI Control
// Change values; and APluginProgram, one of its 16 programs.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>

#include "host/DAudioEffectX.h"
#include "sequencer/uParameters.h"

namespace plugin {

constexpr std::int32_t kNumPrograms = 16;
constexpr std::size_t kProgramNameSize = 52;
// What hosts reserve for a program name, the terminating zero included.
constexpr std::size_t kHostProgramNameSize = 24;

// Event records: 1 to 250 hold delayed input (record 0 is not used: the outgoing messages have
// records of their own).
constexpr std::int32_t kEventRecords = 251;
constexpr std::int32_t kDelayRecords = kEventRecords - 1;
// An entry of the queue of waiting events: its acting sample << 8 | its record number.
constexpr int kQueueRecordBits = 8;
// Outgoing messages a block gathers before they go to the host in one list: 64 steps of 16.
// Qtractor keeps only the last list a plug-in hands it in a block, so a block's messages go in
// one list; a block that sends more (a very short step) hands over a full list and goes on.
constexpr std::int32_t kOutgoingRecords = 1024;
// reserved1 of every record, the outgoing ones included, is 99. Hosts ignore the reserved
// bytes; the mark stays so that what a host or a MIDI log records is the same as it always was.
// Not a leftover to clean up.
constexpr char kRecordMark = 99;

float defaultValue(std::int32_t index);

} // namespace plugin

class APluginProgram {
  public:
    APluginProgram();
    // Written by automation on the audio thread, read by program changes elsewhere.
    std::atomic<float> values[plugin::kNumParams];
    char name[plugin::kProgramNameSize];
};

class APlugin final : public AudioEffectX {
  public:
    explicit APlugin(audioMasterCallback audioMaster);
    ~APlugin() override;

    // Any thread (automation may arrive on the audio thread).
    void setParameter(std::int32_t index, float value) override;
    float getParameter(std::int32_t index) override;
    // Audio thread.
    void process(float** inputs, float** outputs, std::int32_t sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) override;
    std::int32_t processEvents(VstEvents* events) override;
    // User-interface thread.
    void setProgram(std::int32_t program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(std::int32_t category, std::int32_t index, char* text) override;
    void getParameterLabel(std::int32_t index, char* label) override;
    void getParameterDisplay(std::int32_t index, char* text) override;
    void getParameterName(std::int32_t index, char* text) override;
    float getVu() override;
    void suspend() override {}
    // Asks the host for MIDI events.
    void resume() override;
    bool getInputProperties(std::int32_t index, VstPinProperties* properties) override;
    bool getOutputProperties(std::int32_t index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    std::int32_t getVendorVersion() override { return 1; }
    std::int32_t canDo(char* text) override;
    std::int32_t fxIdle() override { return 0; }

    // For the editor, from its own thread.
    std::int32_t currentStep() const { return curStep.load(std::memory_order_relaxed); }
    std::int32_t stepLength() const { return samplesPerStep.load(std::memory_order_relaxed); }
    std::int32_t songPositionHundredths() const {
        return songPosition.load(std::memory_order_relaxed);
    }
    bool isEditorClosed() const { return editorClosed.load(std::memory_order_relaxed); }
    // For tests, between the host's calls: how many input events wait for their sample.
    std::int32_t waitingEvents() const { return pendingEvents; }
    void setEditorClosed(bool closed) { editorClosed.store(closed, std::memory_order_relaxed); }

  private:
    float param(std::int32_t index) const { return params[index].load(std::memory_order_relaxed); }
    void setParamOnly(std::int32_t index, float value) {
        params[index].store(value, std::memory_order_relaxed);
    }
    void notifyEditor();
    bool getPinProperties(const char* prefix, std::int32_t index, VstPinProperties* properties);

    // The step engine (audio thread).
    template <bool Accumulate>
    void processBlock(float** inputs, float** outputs, std::int32_t sampleFrames);
    void processSample();
    std::int32_t skipSteadySamples(std::int32_t i, std::int32_t end, std::uint64_t first);
    // Where watch stopped: the first sample whose answer differs, with that answer, or the
    // limit, not asked.
    struct Sighting {
        std::int32_t sample;
        bool asked;
        VstIntPtr answer;
    };
    // Its attributes stand here: GCC ignores those of a template's definition for an
    // instantiation that a call above the definition has already declared.
    template <bool Internal>
    [[gnu::noinline, gnu::aligned(64)]] Sighting watch(std::int32_t i, std::int32_t limit,
                                                       std::uint64_t expected);
    void processInternalTiming();
    void processExternalTiming();
    void followPosition(const VstTimeInfo* info);
    struct Position;
    void locate(const Position& now);
    void countSample();
    void stepBoundary();
    double readTempo();
    double readNewTempo(std::int32_t answer);
    void computeStepLength(float sync);
    std::int32_t stepCount() const;
    void sendStep(std::int32_t step);
    void sendControlChange(std::int32_t channel, std::int32_t controller, std::int32_t value);
    void sendGathered();

    // MIDI input (audio thread).
    void processDelayedEvents(std::uint64_t sample);
    void actOn(const VstMidiEvent& event);
    std::int32_t takeFreeRecord();

    // The list handed to the host: a VstEvents header followed by its pointers, laid out as
    // VstEvents is, with room for every outgoing record.
    struct OutgoingList {
        std::int32_t numEvents;
        VstIntPtr reserved;
        VstEvent* events[plugin::kOutgoingRecords];
    };
    OutgoingList outEvents{};
    VstMidiEvent outgoing[plugin::kOutgoingRecords];
    VstMidiEvent eventPool[plugin::kEventRecords];
    std::int32_t pendingEvents = 0;
    std::atomic<float> params[plugin::kNumParams];
    // Set while no editor window is open; written by the editor bridge.
    std::atomic<bool> editorClosed{false};
    double tempo = 0.0;
    double lastTempo = 0.0;
    std::atomic<std::int32_t> curStep{0};
    // The step sent last; none before the first message (and after a reset's boundary), so
    // that external timing sends the first step it finds, step 1 included.
    static constexpr std::int32_t kNoStep = -1;
    std::int32_t lastStep = kNoStep;
    // 0: no valid step length yet (or none can be computed now).
    std::atomic<std::int32_t> samplesPerStep{0};
    std::int32_t sampleCounter = 0;
    std::atomic<std::int32_t> songPosition{0};
    bool resetPending = false;
    float lastSync = 0.0f;
    APluginProgram programs[plugin::kNumPrograms];
    float vu = 0.0f;

    // Delayed input: the absolute sample the next block starts at, each occupied record's acting
    // sample and number in a min-heap (so a sample costs one comparison unless an event is due, and
    // events due together act in ascending record order), and a bit per free record.
    std::uint64_t samplePosition = 0;
    std::uint64_t dueQueue[plugin::kDelayRecords];
    std::uint64_t freeRecords[4];

    // The last tempoAt answer and the tempo it stands for: most samples ask and get the same
    // answer.
    std::int32_t tempoAnswer = 0;
    double tempoOfAnswer = 0.0;
    // The last song position and what it gave: hosts describe a whole block with one record.
    struct Position {
        double ppq;
        float sync, end;
        bool operator==(const Position&) const = default;
    };
    Position lastPosition{std::numeric_limits<double>::quiet_NaN(), 0.0f, 0.0f};
    std::int32_t positionStep = 0;
};
