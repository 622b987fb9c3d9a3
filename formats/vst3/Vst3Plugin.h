// The VST 3 door: one object that is the component, the audio processor and the edit controller
// of one class, in front of a guest that hosts the VST 2 record of the same library. It
// translates the host's calls, events, parameter changes and process context into the guest's,
// and the plug-in's MIDI and automation back into VST 3 events, parameter changes and component
// handler calls; it knows nothing of the plug-in itself.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "formats/guest/Facts.h"
#include "formats/guest/Guest.h"
#include "formats/vst3/Vst3Interface.h"

namespace vst3_door {

using namespace vst3_abi;

// The one class the factory offers. Hosts keep it in their songs: it never changes.
inline constexpr Uid kClassId = makeUid(0x6EC6A5C8, 0xC7694AAE, 0xB44F68A3, 0x773A6AC7);
// Where hosts that sort effects by kind list a sequencer of control values.
inline constexpr const char* kSubCategories = "Fx|Generator";
// The interface release the declarations follow, as the class info reports it.
inline constexpr const char* kSdkVersion = "VST 3.7.9";

// The parameter that selects a program, after the record's own (which keep their indices as
// their ids), and the one program list naming the record's programs.
inline constexpr ParamID kProgramParameter = 0x50726F67; // "Prog"
inline constexpr ProgramListID kProgramList = 1;

// What the plug-in says about itself, read once from a plug-in of its own the first time the
// host reaches the library.
struct Library {
    Library();
    Library(const Library&) = delete;
    guest::Facts facts;
    bool described = false; // false: no plug-in could be made, and the factory offers none
};
const Library& library();

// The format a guest of the plug-in names to it as its host's.
inline constexpr const char* kFormat = "VST3";

// Text crossing the interface: the plug-in's 8-bit texts into UTF-16 fields (cut to fit, always
// terminated), and back (units above 0x7F become '?', which no number contains).
void copyText(char16* to, std::size_t capacity, const std::string& from);
std::string narrowText(const char16* from, std::size_t most);

// The host's objects the door keeps, counted while it keeps them.
template <typename Interface> class HostPointer {
  public:
    HostPointer() = default;
    HostPointer(const HostPointer&) = delete;
    ~HostPointer() { reset(nullptr); }
    void reset(Interface* to) {
        if (to != nullptr) to->vtbl->unknown.addRef(to);
        Interface* was = held.exchange(to);
        if (was != nullptr) was->vtbl->unknown.release(was);
    }
    Interface* get() const { return held.load(std::memory_order_acquire); }

  private:
    std::atomic<Interface*> held{nullptr};
};

class Vst3View;

class Vst3Plugin final : private guest::Listener {
  public:
    // A new object, counted once for the caller.
    static Vst3Plugin* create();
    tresult query(const char8* iid, void** object);
    uint32 addRef() { return refs.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32 release();

    // One of the object's faces: the table its interface calls through, and the object.
    struct Face {
        const void* vtbl;
        Vst3Plugin* door;
    };
    static Vst3Plugin& of(void* self) { return *static_cast<Face*>(self)->door; }

  private:
    Vst3Plugin();
    ~Vst3Plugin();

    // IPluginBase, user-interface thread.
    tresult initialize();
    tresult terminate();
    // IComponent, user-interface thread.
    int32 busCount(MediaType type, BusDirection direction) const;
    tresult busInfo(MediaType type, BusDirection direction, int32 index, BusInfo& bus) const;
    tresult setActive(bool active);
    tresult saveState(IBStream* stream); // Vst3State.cpp
    tresult loadState(IBStream* stream); // Vst3State.cpp
    // IAudioProcessor: set-up on the user-interface thread, process on the audio thread.
    tresult setBusArrangements(const SpeakerArrangement* inputs, int32 ins,
                               const SpeakerArrangement* outputs, int32 outs);
    tresult setupProcessing(const ProcessSetup& setup);
    tresult setProcessing(bool processing);
    tresult process(ProcessData& data);

    // The block's pieces, on the audio thread.
    guest::Transport transportOf(const ProcessContext* context) const;
    void takeParameterChanges(IParameterChanges* in, IParameterChanges* out);
    void takeEvents(IEventList* in);
    // Tells the host, through the block's outgoing changes, of every parameter's value.
    void reportValues(IParameterChanges* out);

    // Parameters and programs (Vst3Params.cpp), user-interface thread unless said otherwise.
    int32 parameterCount() const;
    bool isRecordParameter(ParamID id) const { return id < facts.parameters.size(); }
    tresult parameterInfo(int32 index, ParameterInfo& info) const;
    tresult valueText(ParamID id, ParamValue value, char16* text);
    tresult textValue(ParamID id, const char16* text, ParamValue& value);
    ParamValue toPlain(ParamID id, ParamValue normalized) const;
    ParamValue toNormalized(ParamID id, ParamValue plain) const;
    ParamValue normalized(ParamID id);
    tresult setNormalized(ParamID id, ParamValue value);
    int32 programCount() const { return static_cast<int32>(facts.programs.size()); }
    int32 programOf(ParamValue normalized) const;
    tresult programName(ProgramListID list, int32 program, char16* name);
    // Any thread: makes a program the current one, as a VST 2 host selecting it does, keeping
    // the values of the one left; false when it already was.
    bool selectProgram(int32 program);
    std::atomic<float>& stored(int32 program, int32 parameter) {
        return storedPrograms[static_cast<std::size_t>(program * facts.parameters.size() +
                                                       static_cast<std::size_t>(parameter))];
    }
    // The editor's view (Vst3View.cpp), counted for the host.
    IPlugView* createView(FIDString name);
    // The host shows the values it read before a change it did not make: tell it.
    void valuesChanged();

    // guest::Listener: from the audio thread inside process, or from the editor's thread.
    void automated(std::int32_t index, float value) override;
    void beganEdit(std::int32_t index) override;
    void endedEdit(std::int32_t index) override;
    bool inProcess() const;

    friend struct Slots;
    friend class Vst3View;

    Face component, processor, controller, requirements, units;
    std::atomic<uint32> refs{1};
    const guest::Facts& facts; // the library's
    guest::Guest hosted;
    // A second instance that only formats values, so that a host asking for the text of any
    // value never moves the parameters the song plays with.
    guest::Guest formatter;
    // Hosts that treat the one object as two initialise it twice: once is enough.
    int initialized = 0;
    // Every program's values as the door last set or read them (programs x parameters), made
    // once: the plug-in shows only the current program's, and a program may change on the
    // audio thread while the host saves the state on its own.
    std::unique_ptr<std::atomic<float>[]> storedPrograms;
    HostPointer<IComponentHandler> handler;
    double sampleRate = 44100.0;
    int32 maxFrames = 0;
    std::unique_ptr<float[]> scratch; // two channels each way of maxFrames
    std::atomic<bool> active{false};  // set by the user-interface thread, read by process
    // While process runs: where its automation goes, and the thread that runs it.
    std::atomic<IParameterChanges*> processOut{nullptr};
    std::atomic<std::thread::id> audioThread{};
    // The editor's view while the host holds it (Vst3View.cpp).
    Vst3View* view = nullptr;
};

// The editor: the record's editor embedded in the host's window (X11 on Linux, Win32 on
// Windows), at its one fixed size, idled from the host's run loop on Linux and from a timer of
// its own on Windows. It keeps its plug-in counted while the host holds it.
class Vst3View {
  public:
    explicit Vst3View(Vst3Plugin& plugin);
    IPlugView* face() { return reinterpret_cast<IPlugView*>(&view); }
    void idle(); // from the timer, on the user-interface thread

    struct ViewFace {
        const IPlugViewVtbl* vtbl;
        Vst3View* self;
    };
    struct TimerFace {
        const ITimerHandlerVtbl* vtbl;
        Vst3View* self;
    };

  private:
    ~Vst3View();
    friend struct ViewSlots;
    tresult query(const char8* iid, void** object);
    uint32 release();
    bool size(ViewRect& rect);
    tresult attached(void* parent, const char* type);
    tresult removed();

    ViewFace view;
    TimerFace timer;
    std::atomic<uint32> refs{1};
    Vst3Plugin& plugin; // counted while the view lives
    HostPointer<IPlugFrame> frame;
    IRunLoop* runLoop = nullptr; // the frame's, counted while the timer is registered
    bool open = false;
#if defined(_WIN32)
    std::uintptr_t windowsTimer = 0;
#endif
};

} // namespace vst3_door
