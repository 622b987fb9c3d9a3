// The CLAP door: one CLAP plug-in record in front of a guest that hosts the VST 2 record of the
// same library. It translates the host's calls, events and transport into the guest's, and the
// plug-in's MIDI and automation back into CLAP events; it knows nothing of the plug-in itself.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "formats/clap/ClapInterface.h"
#include "formats/guest/Facts.h"
#include "formats/guest/Guest.h"

namespace clap_door {

// What the plug-in says about itself, read once from a plug-in of its own the first time the
// host reaches the library, and the descriptors the library gives from it: the plug-in's, and
// that of the provider naming its programs.
struct Library {
    Library();
    Library(const Library&) = delete;
    guest::Facts facts;
    bool described = false; // false: no plug-in could be made, and the factories offer none
    std::string id, providerId;
    clap_abi::clap_plugin_descriptor descriptor{};
    clap_abi::clap_preset_discovery_provider_descriptor provider{};
};
const Library& library();

// The factory whose one provider names the plug-in's programs (ClapPresets.cpp).
extern const clap_abi::clap_preset_discovery_factory kPresetDiscovery;

// The format a guest of the plug-in names to it as its host's.
inline constexpr const char* kFormat = "CLAP";

// Automation made outside the audio thread (the editor), waiting for process or flush: a
// single-producer, single-consumer ring of fixed capacity that drops what finds no room.
struct Edit {
    enum Kind : std::uint8_t { change, begin, end } kind;
    std::int32_t index;
    float value;
};

class EditRing {
  public:
    bool push(const Edit& edit);
    bool pop(Edit& edit);

  private:
    static constexpr std::uint32_t kCapacity = 1024; // a power of two
    Edit slots[kCapacity]{};
    std::atomic<std::uint32_t> head{0}, tail{0};
};

// The plug-in's MIDI, onto the host's output events at the frames the guest gives them.
struct MidiSink final : guest::Sink {
    const clap_abi::clap_output_events* out;
    explicit MidiSink(const clap_abi::clap_output_events* events) : out(events) {}
    void take(std::uint32_t frame, const unsigned char data[3]) override;
};

class ClapPlugin final : private guest::Listener {
  public:
    explicit ClapPlugin(const clap_abi::clap_host* host);
    const clap_abi::clap_plugin* record() const { return &plugin; }

  private:
    // Main thread.
    bool init();
    void destroy();
    bool activate(double sampleRate, std::uint32_t maxFrames);
    void deactivate();
    const void* extension(const char* id) const;
    // Audio thread.
    bool startProcessing();
    void stopProcessing();
    void reset();
    clap_abi::clap_process_status process(const clap_abi::clap_process& block);

    // Where the host says the calling thread is, when it offers the thread check; a call on the
    // wrong thread is refused where it can be (a host bug, which would otherwise race).
    bool onMainThread() const;
    bool onAudioThread() const;

    // The block's pieces, on the audio thread.
    guest::Transport transportOf(const clap_abi::clap_event_transport* transport) const;
    void takeEvent(const clap_abi::clap_event_header& event, bool parametersOnly);
    void sendEdits(const clap_abi::clap_output_events* out);
    void sendEdit(const Edit& edit, const clap_abi::clap_output_events* out);

    // Parameters (ClapParams.cpp).
    bool parameterInfo(std::uint32_t index, clap_abi::clap_param_info& info);
    bool valueText(clap_abi::clap_id id, double value, char* text, std::uint32_t capacity);
    bool textValue(clap_abi::clap_id id, const char* text, double& value);
    void flush(const clap_abi::clap_input_events* in, const clap_abi::clap_output_events* out);
    void takeParameters(const clap_abi::clap_input_events* in); // at the block's start
    std::int32_t parameterCount() const {
        return static_cast<std::int32_t>(facts.parameters.size());
    }
    bool isParameter(clap_abi::clap_id id) const { return id < facts.parameters.size(); }

    // State (ClapState.cpp), main thread.
    bool save(const clap_abi::clap_ostream& stream);
    bool load(const clap_abi::clap_istream& stream);
    // Makes a program the current one, as a VST 2 host selecting it does, and tells the host
    // its values changed.
    void selectProgram(std::int32_t program);

    // Presets (ClapPresets.cpp), main thread: a program by its place in the discovery factory.
    bool loadPreset(std::uint32_t kind, const char* location, const char* key);
    static const clap_abi::clap_plugin_preset_load presetLoad;

    // guest::Listener: from the audio thread inside process, or from the editor's thread.
    void automated(std::int32_t index, float value) override;
    void beganEdit(std::int32_t index) override;
    void endedEdit(std::int32_t index) override;
    void edited(const Edit& edit);

    // The editor (ClapGui.cpp), main thread.
    bool setParent(const clap_abi::clap_window& window);
    void showGui(bool shown);
    void destroyGui();
    static const clap_abi::clap_plugin_gui gui;
    static const clap_abi::clap_plugin_timer_support timerSupport;

    static ClapPlugin& of(const clap_abi::clap_plugin* record) {
        return *static_cast<ClapPlugin*>(record->plugin_data);
    }
    friend struct Slots;
    friend struct GuiSlots;
    friend struct PresetSlots;

    clap_abi::clap_plugin plugin;
    const clap_abi::clap_host* host;
    // The host's extensions the door calls, asked for once in init; one offered without the
    // functions the door calls counts as not offered.
    const clap_abi::clap_host_thread_check* threads = nullptr;
    const clap_abi::clap_host_params* hostParams = nullptr;
    const clap_abi::clap_host_timer_support* hostTimers = nullptr;
    const clap_abi::clap_host_preset_load* hostPresets = nullptr;
    const guest::Facts& facts; // the library's
    guest::Guest hosted;
    // A second instance that only formats values, so that a host asking for the text of any
    // value never moves the parameters the song plays with.
    guest::Guest formatter;
    // Every program's values as the door last set or read them: the plug-in changes only the
    // current one's, and only the door switches programs.
    std::vector<std::vector<float>> storedPrograms;
    double sampleRate = 44100.0;
    std::uint32_t maxFrames = 0;
    std::vector<float> scratch; // two channels of maxFrames, for hosts without 32-bit buffers
    double framesPlayed = 0.0;  // since processing started: the guest's sample position
    std::atomic<bool> active{false};
    // While process runs: where its automation goes directly, and the thread that runs it.
    std::atomic<const clap_abi::clap_output_events*> processOut{nullptr};
    std::atomic<std::thread::id> audioThread{};
    EditRing edits;
    // The editor: created by the host, its own window in the host's (which hide and show take
    // off the screen and back), and the host's timer that idles it while it is open.
    bool guiCreated = false;
    struct EditorWindow;
    struct Closer {
        void operator()(EditorWindow* window) const;
    };
    std::unique_ptr<EditorWindow, Closer> editorWindow;
    clap_abi::clap_id idleTimer = clap_abi::CLAP_INVALID_ID;
};

} // namespace clap_door
