// The interfaces of VST 3 (as of its 3.7 releases) that the door and its test host use, written
// from the published binary interface: each interface is an object whose first field points at
// its table of methods, the tables laid out slot by slot in the published order (FUnknown's three
// first, then each base's, then the interface's own), every method taking the interface pointer
// it was called through first. Declaring the tables as records, rather than as C++ classes with
// virtual functions, lets every slot's offset be checked below, and one object hands out several
// faces without depending on how a compiler lays out multiple inheritance.
//
// Platform facts this file follows:
// - Methods use __stdcall on Windows (the interface's PLUGIN_API); on 64-bit Windows and
//   elsewhere that is the one C convention, on 32-bit Windows it is not the compiler's default.
// - The records are packed to 8 bytes on 32-bit Windows and 16 (natural) on 64-bit Windows; on
//   Linux no packing is set, so they are natural.
// - Interface identifiers are four 32-bit words; on Windows their 16 bytes follow the COM GUID
//   layout (first word and the two halves of the second little-endian), elsewhere all four words
//   are stored big-endian.
// - Results are COM's HRESULT values on Windows and small numbers elsewhere.
// The names are the interface's own, so its documentation reads straight onto this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#if defined(_WIN32)
#define MORVO_VST3_CALL __stdcall
#else
#define MORVO_VST3_CALL
#endif

#if defined(_WIN32) && defined(_WIN64)
#pragma pack(push, 16)
#elif defined(_WIN32)
#pragma pack(push, 8)
#endif

namespace vst3_abi {

// ---- Basic types ---------------------------------------------------------------------------

using int8 = std::int8_t;
using uint8 = std::uint8_t;
using int16 = std::int16_t;
using uint16 = std::uint16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using char8 = char;
using char16 = char16_t;
using TChar = char16;
using TBool = uint8;
using tresult = int32;
using TUID = char[16];          // an interface or class identifier
using FIDString = const char8*; // a zero-terminated identifier string
using String128 = TChar[128];   // a zero-terminated UTF-16 text of at most 127 units
using CString = const char8*;

using ParamID = uint32;
using ParamValue = double; // normalised, 0..1
using UnitID = int32;
using ProgramListID = int32;
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using SpeakerArrangement = uint64; // a bit per speaker
using Sample32 = float;
using Sample64 = double;
using SampleRate = double;
using TSamples = int64;
using TQuarterNotes = double;

// ---- Results -------------------------------------------------------------------------------

#if defined(_WIN32)
inline constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);     // E_NOINTERFACE
inline constexpr tresult kResultOk = 0;                                        // S_OK
inline constexpr tresult kResultFalse = 1;                                     // S_FALSE
inline constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u); // E_INVALIDARG
inline constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);  // E_NOTIMPL
inline constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);   // E_FAIL
inline constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);  // E_UNEXPECTED
inline constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);     // E_OUTOFMEMORY
#else
inline constexpr tresult kNoInterface = -1;
inline constexpr tresult kResultOk = 0;
inline constexpr tresult kResultFalse = 1;
inline constexpr tresult kInvalidArgument = 2;
inline constexpr tresult kNotImplemented = 3;
inline constexpr tresult kInternalError = 4;
inline constexpr tresult kNotInitialized = 5;
inline constexpr tresult kOutOfMemory = 6;
#endif
inline constexpr tresult kResultTrue = kResultOk;

// ---- Identifiers ---------------------------------------------------------------------------

// An identifier's 16 bytes, made from its four published words in the platform's order.
struct Uid {
    char8 bytes[16];
};

constexpr Uid makeUid(uint32 a, uint32 b, uint32 c, uint32 d) {
    auto byte = [](uint32 word, int shift) { return static_cast<char8>((word >> shift) & 0xFF); };
#if defined(_WIN32)
    return {{byte(a, 0), byte(a, 8), byte(a, 16), byte(a, 24), byte(b, 16), byte(b, 24), byte(b, 0),
             byte(b, 8), byte(c, 24), byte(c, 16), byte(c, 8), byte(c, 0), byte(d, 24), byte(d, 16),
             byte(d, 8), byte(d, 0)}};
#else
    return {{byte(a, 24), byte(a, 16), byte(a, 8), byte(a, 0), byte(b, 24), byte(b, 16), byte(b, 8),
             byte(b, 0), byte(c, 24), byte(c, 16), byte(c, 8), byte(c, 0), byte(d, 24), byte(d, 16),
             byte(d, 8), byte(d, 0)}};
#endif
}

constexpr bool sameUid(const char8* a, const Uid& b) {
    for (int i = 0; i < 16; ++i)
        if (a[i] != b.bytes[i]) return false;
    return true;
}

// ---- Method slots --------------------------------------------------------------------------

// A slot of a method table: the interface's calling convention, the interface pointer first.
template <typename Signature> struct MethodSlot;
template <typename R, typename... Args> struct MethodSlot<R(Args...)> {
    using type = R(MORVO_VST3_CALL*)(void* self, Args...);
};
template <typename Signature> using Method = typename MethodSlot<Signature>::type;

// ---- FUnknown, IPluginBase -----------------------------------------------------------------

struct FUnknownVtbl {
    // kResultOk with the object's face for `iid` in *object (counted), or kNoInterface and null.
    Method<tresult(const TUID iid, void** object)> queryInterface;
    Method<uint32()> addRef;
    Method<uint32()> release;
};
struct FUnknown {
    const FUnknownVtbl* vtbl;
};
inline constexpr Uid FUnknown_iid = makeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);

struct IPluginBaseVtbl {
    FUnknownVtbl unknown;
    Method<tresult(FUnknown* context)> initialize; // the host's context: IHostApplication
    Method<tresult()> terminate;
};
inline constexpr Uid IPluginBase_iid = makeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);

// ---- IBStream ------------------------------------------------------------------------------

enum : int32 { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };

struct IBStreamVtbl {
    FUnknownVtbl unknown;
    Method<tresult(void* buffer, int32 numBytes, int32* numBytesRead)> read;
    Method<tresult(void* buffer, int32 numBytes, int32* numBytesWritten)> write;
    Method<tresult(int64 pos, int32 mode, int64* result)> seek;
    Method<tresult(int64* pos)> tell;
};
struct IBStream {
    const IBStreamVtbl* vtbl;
};
inline constexpr Uid IBStream_iid = makeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);

// ---- Factory -------------------------------------------------------------------------------

struct PFactoryInfo {
    enum : int32 {
        kNoFlags = 0,
        kClassesDiscardable = 1 << 0,
        kComponentNonDiscardable = 1 << 3,
        kUnicode = 1 << 4, // the classes' texts are also offered as UTF-16 (PClassInfoW)
    };
    char8 vendor[64];
    char8 url[256];
    char8 email[128];
    int32 flags;
};

inline constexpr int32 kManyInstances = 0x7FFFFFFF; // a class's cardinality

struct PClassInfo {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
};

struct PClassInfo2 {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char8 name[64];
    uint32 classFlags;
    char8 subCategories[128]; // '|' between them
    char8 vendor[64];
    char8 version[64];
    char8 sdkVersion[64];
};

struct PClassInfoW {
    TUID cid;
    int32 cardinality;
    char8 category[32];
    char16 name[64];
    uint32 classFlags;
    char8 subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

struct IPluginFactoryVtbl {
    FUnknownVtbl unknown;
    Method<tresult(PFactoryInfo* info)> getFactoryInfo;
    Method<int32()> countClasses;
    Method<tresult(int32 index, PClassInfo* info)> getClassInfo;
    // A new object of class `cid`, its face for `iid` in *object.
    Method<tresult(FIDString cid, FIDString iid, void** object)> createInstance;
};
struct IPluginFactory2Vtbl {
    IPluginFactoryVtbl factory;
    Method<tresult(int32 index, PClassInfo2* info)> getClassInfo2;
};
struct IPluginFactory3Vtbl {
    IPluginFactory2Vtbl factory2;
    Method<tresult(int32 index, PClassInfoW* info)> getClassInfoUnicode;
    Method<tresult(FUnknown* context)> setHostContext;
};
struct IPluginFactory3 {
    const IPluginFactory3Vtbl* vtbl;
};
inline constexpr Uid IPluginFactory_iid = makeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
inline constexpr Uid IPluginFactory2_iid = makeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
inline constexpr Uid IPluginFactory3_iid = makeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);

// The category of processing classes, and the sub-categories hosts sort them by.
inline constexpr const char* kVstAudioEffectClass = "Audio Module Class";

// ---- IComponent ----------------------------------------------------------------------------

enum : MediaType { kAudio = 0, kEvent = 1 };
enum : BusDirection { kInput = 0, kOutput = 1 };
enum : BusType { kMain = 0, kAux = 1 };

struct BusInfo {
    enum : uint32 { kDefaultActive = 1 << 0, kIsControlVoltage = 1 << 1 };
    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    BusType busType;
    uint32 flags;
};

struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;
};

struct IComponentVtbl {
    IPluginBaseVtbl base;
    Method<tresult(TUID classId)> getControllerClassId;
    Method<tresult(IoMode mode)> setIoMode;
    Method<int32(MediaType type, BusDirection dir)> getBusCount;
    Method<tresult(MediaType type, BusDirection dir, int32 index, BusInfo& bus)> getBusInfo;
    Method<tresult(RoutingInfo& inInfo, RoutingInfo& outInfo)> getRoutingInfo;
    Method<tresult(MediaType type, BusDirection dir, int32 index, TBool state)> activateBus;
    Method<tresult(TBool state)> setActive;
    Method<tresult(IBStream* state)> setState;
    Method<tresult(IBStream* state)> getState;
};
struct IComponent {
    const IComponentVtbl* vtbl;
};
inline constexpr Uid IComponent_iid = makeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);

// ---- Events --------------------------------------------------------------------------------

struct NoteOnEvent {
    int16 channel;
    int16 pitch;
    float tuning;   // cents
    float velocity; // 0..1
    int32 length;
    int32 noteId;
};

struct NoteOffEvent {
    int16 channel;
    int16 pitch;
    float velocity;
    int32 noteId;
    float tuning;
};

struct DataEvent {
    uint32 size;
    uint32 type;
    const uint8* bytes;
};

struct PolyPressureEvent {
    int16 channel;
    int16 pitch;
    float pressure;
    int32 noteId;
};

struct NoteExpressionValueEvent {
    uint32 typeId;
    int32 noteId;
    double value;
};

struct NoteExpressionTextEvent {
    uint32 typeId;
    int32 noteId;
    uint32 textLen;
    const TChar* text;
};

struct ChordEvent {
    int16 root;
    int16 bassNote;
    int16 mask;
    uint16 textLen;
    const TChar* text;
};

struct ScaleEvent {
    int16 root;
    int16 mask;
    uint16 textLen;
    const TChar* text;
};

// A MIDI 1.0 channel message other than a note, going out of the plug-in.
struct LegacyMIDICCOutEvent {
    uint8 controlNumber; // 0..127 a controller, or one of the numbers below
    int8 channel;        // 0..15
    int8 value;          // 0..127; a pitch bend's low 7 bits
    int8 value2;         // a pitch bend's high 7 bits
};
// controlNumber values beyond the controllers.
enum : uint8 { kAfterTouch = 128, kPitchBend = 129, kCtrlProgramChange = 130 };

struct Event {
    enum : uint16 { kIsLive = 1 << 0 };
    enum : uint16 {
        kNoteOnEvent = 0,
        kNoteOffEvent = 1,
        kDataEvent = 2,
        kPolyPressureEvent = 3,
        kNoteExpressionValueEvent = 4,
        kNoteExpressionTextEvent = 5,
        kChordEvent = 6,
        kScaleEvent = 7,
        kLegacyMIDICCOutEvent = 65535,
    };
    int32 busIndex;
    int32 sampleOffset;
    TQuarterNotes ppqPosition;
    uint16 flags;
    uint16 type;
    union {
        NoteOnEvent noteOn;
        NoteOffEvent noteOff;
        DataEvent data;
        PolyPressureEvent polyPressure;
        NoteExpressionValueEvent noteExpressionValue;
        NoteExpressionTextEvent noteExpressionText;
        ChordEvent chord;
        ScaleEvent scale;
        LegacyMIDICCOutEvent midiCCOut;
    };
};

struct IEventListVtbl {
    FUnknownVtbl unknown;
    Method<int32()> getEventCount;
    Method<tresult(int32 index, Event& e)> getEvent;
    Method<tresult(Event& e)> addEvent; // the host copies it
};
struct IEventList {
    const IEventListVtbl* vtbl;
};
inline constexpr Uid IEventList_iid = makeUid(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);

// ---- Parameter changes ---------------------------------------------------------------------

struct IParamValueQueueVtbl {
    FUnknownVtbl unknown;
    Method<ParamID()> getParameterId;
    Method<int32()> getPointCount;
    Method<tresult(int32 index, int32& sampleOffset, ParamValue& value)> getPoint;
    Method<tresult(int32 sampleOffset, ParamValue value, int32& index)> addPoint;
};
struct IParamValueQueue {
    const IParamValueQueueVtbl* vtbl;
};
inline constexpr Uid IParamValueQueue_iid = makeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4604BD73);

struct IParameterChangesVtbl {
    FUnknownVtbl unknown;
    Method<int32()> getParameterCount;
    Method<IParamValueQueue*(int32 index)> getParameterData;
    Method<IParamValueQueue*(const ParamID& id, int32& index)> addParameterData;
};
struct IParameterChanges {
    const IParameterChangesVtbl* vtbl;
};
inline constexpr Uid IParameterChanges_iid =
    makeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);

// ---- Processing ----------------------------------------------------------------------------

enum : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 }; // processMode
enum : int32 { kSample32 = 0, kSample64 = 1 };               // symbolicSampleSize
inline constexpr SpeakerArrangement kSpeakerL = 1 << 0, kSpeakerR = 1 << 1;
inline constexpr SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;
inline constexpr uint32 kNoTail = 0;

struct ProcessSetup {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 maxSamplesPerBlock;
    SampleRate sampleRate;
};

struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags; // a bit per channel
    union {
        Sample32** channelBuffers32;
        Sample64** channelBuffers64;
    };
};

struct Chord {
    uint8 keyNote;
    uint8 rootNote;
    int16 chordMask;
};

struct FrameRate {
    uint32 framesPerSecond;
    uint32 flags;
};

// Where the host's song is at the block's first sample; only what `state` marks valid holds.
struct ProcessContext {
    enum : uint32 {
        kPlaying = 1 << 1,
        kCycleActive = 1 << 2,
        kRecording = 1 << 3,
        kSystemTimeValid = 1 << 8,
        kProjectTimeMusicValid = 1 << 9,
        kTempoValid = 1 << 10,
        kBarPositionValid = 1 << 11,
        kCycleValid = 1 << 12,
        kTimeSigValid = 1 << 13,
        kSmpteValid = 1 << 14,
        kClockValid = 1 << 15,
        kContTimeValid = 1 << 17,
        kChordValid = 1 << 18,
    };
    uint32 state;
    double sampleRate;
    TSamples projectTimeSamples;
    int64 systemTime;
    TSamples continousTimeSamples; // the interface's spelling
    TQuarterNotes projectTimeMusic;
    TQuarterNotes barPositionMusic;
    TQuarterNotes cycleStartMusic;
    TQuarterNotes cycleEndMusic;
    double tempo;
    int32 timeSigNumerator;
    int32 timeSigDenominator;
    Chord chord;
    int32 smpteOffsetSubframes;
    FrameRate frameRate;
    int32 samplesToNextClock;
};

struct ProcessData {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    IEventList* inputEvents;
    IEventList* outputEvents;
    ProcessContext* processContext;
};

struct IAudioProcessorVtbl {
    FUnknownVtbl unknown;
    Method<tresult(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                   int32 numOuts)>
        setBusArrangements;
    Method<tresult(BusDirection dir, int32 index, SpeakerArrangement& arr)> getBusArrangement;
    Method<tresult(int32 symbolicSampleSize)> canProcessSampleSize;
    Method<uint32()> getLatencySamples;
    Method<tresult(ProcessSetup& setup)> setupProcessing;
    Method<tresult(TBool state)> setProcessing;
    Method<tresult(ProcessData& data)> process;
    Method<uint32()> getTailSamples;
};
struct IAudioProcessor {
    const IAudioProcessorVtbl* vtbl;
};
inline constexpr Uid IAudioProcessor_iid = makeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);

struct IProcessContextRequirementsVtbl {
    FUnknownVtbl unknown;
    Method<uint32()> getProcessContextRequirements;
};
struct IProcessContextRequirements {
    enum : uint32 {
        kNeedSystemTime = 1 << 0,
        kNeedContinousTimeSamples = 1 << 1,
        kNeedProjectTimeMusic = 1 << 2,
        kNeedBarPositionMusic = 1 << 3,
        kNeedCycleMusic = 1 << 4,
        kNeedSamplesToNextClock = 1 << 5,
        kNeedTempo = 1 << 6,
        kNeedTimeSignature = 1 << 7,
        kNeedChord = 1 << 8,
        kNeedFrameRate = 1 << 9,
        kNeedTransportState = 1 << 10,
    };
    const IProcessContextRequirementsVtbl* vtbl;
};
inline constexpr Uid IProcessContextRequirements_iid =
    makeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);

// ---- Edit controller -----------------------------------------------------------------------

struct ParameterInfo {
    enum : int32 {
        kNoFlags = 0,
        kCanAutomate = 1 << 0,
        kIsReadOnly = 1 << 1,
        kIsWrapAround = 1 << 2,
        kIsList = 1 << 3,
        kIsHidden = 1 << 4,
        kIsProgramChange = 1 << 15,
        kIsBypass = 1 << 16,
    };
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount; // 0: continuous
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};

// restartComponent's flags.
enum : int32 {
    kReloadComponent = 1 << 0,
    kIoChanged = 1 << 1,
    kParamValuesChanged = 1 << 2,
    kLatencyChanged = 1 << 3,
    kParamTitlesChanged = 1 << 4,
};

struct IComponentHandlerVtbl {
    FUnknownVtbl unknown;
    Method<tresult(ParamID id)> beginEdit;
    Method<tresult(ParamID id, ParamValue valueNormalized)> performEdit;
    Method<tresult(ParamID id)> endEdit;
    Method<tresult(int32 flags)> restartComponent;
};
struct IComponentHandler {
    const IComponentHandlerVtbl* vtbl;
};
inline constexpr Uid IComponentHandler_iid =
    makeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);

struct IPlugView;

struct IEditControllerVtbl {
    IPluginBaseVtbl base;
    Method<tresult(IBStream* state)> setComponentState;
    Method<tresult(IBStream* state)> setState;
    Method<tresult(IBStream* state)> getState;
    Method<int32()> getParameterCount;
    Method<tresult(int32 paramIndex, ParameterInfo& info)> getParameterInfo;
    Method<tresult(ParamID id, ParamValue valueNormalized, String128 string)> getParamStringByValue;
    Method<tresult(ParamID id, TChar* string, ParamValue& valueNormalized)> getParamValueByString;
    Method<ParamValue(ParamID id, ParamValue valueNormalized)> normalizedParamToPlain;
    Method<ParamValue(ParamID id, ParamValue plainValue)> plainParamToNormalized;
    Method<ParamValue(ParamID id)> getParamNormalized;
    Method<tresult(ParamID id, ParamValue value)> setParamNormalized;
    Method<tresult(IComponentHandler* handler)> setComponentHandler;
    Method<IPlugView*(FIDString name)> createView; // counted
};
struct IEditController {
    const IEditControllerVtbl* vtbl;
};
inline constexpr Uid IEditController_iid = makeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
inline constexpr const char* kEditorViewName = "editor"; // createView's one name

// ---- Units and program lists ---------------------------------------------------------------

inline constexpr UnitID kRootUnitId = 0;
inline constexpr UnitID kNoParentUnitId = -1;
inline constexpr ProgramListID kNoProgramListId = -1;

struct UnitInfo {
    UnitID id;
    UnitID parentUnitId;
    String128 name;
    ProgramListID programListId;
};

struct ProgramListInfo {
    ProgramListID id;
    String128 name;
    int32 programCount;
};

struct IUnitInfoVtbl {
    FUnknownVtbl unknown;
    Method<int32()> getUnitCount;
    Method<tresult(int32 unitIndex, UnitInfo& info)> getUnitInfo;
    Method<int32()> getProgramListCount;
    Method<tresult(int32 listIndex, ProgramListInfo& info)> getProgramListInfo;
    Method<tresult(ProgramListID listId, int32 programIndex, String128 name)> getProgramName;
    Method<tresult(ProgramListID listId, int32 programIndex, CString attributeId,
                   String128 attributeValue)>
        getProgramInfo;
    Method<tresult(ProgramListID listId, int32 programIndex)> hasProgramPitchNames;
    Method<tresult(ProgramListID listId, int32 programIndex, int16 midiPitch, String128 name)>
        getProgramPitchName;
    Method<UnitID()> getSelectedUnit;
    Method<tresult(UnitID unitId)> selectUnit;
    Method<tresult(MediaType type, BusDirection dir, int32 busIndex, int32 channel, UnitID& unitId)>
        getUnitByBus;
    Method<tresult(int32 listOrUnitId, int32 programIndex, IBStream* data)> setUnitProgramData;
};
struct IUnitInfo {
    const IUnitInfoVtbl* vtbl;
};
inline constexpr Uid IUnitInfo_iid = makeUid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);

// ---- Editor view ---------------------------------------------------------------------------

struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

// attached's parent types: an HWND, or an X11 window id (the parent pointer holds the id).
inline constexpr const char* kPlatformTypeHWND = "HWND";
inline constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

struct IPlugFrame;

struct IPlugViewVtbl {
    FUnknownVtbl unknown;
    Method<tresult(FIDString type)> isPlatformTypeSupported;
    Method<tresult(void* parent, FIDString type)> attached;
    Method<tresult()> removed;
    Method<tresult(float distance)> onWheel;
    Method<tresult(char16 key, int16 keyCode, int16 modifiers)> onKeyDown;
    Method<tresult(char16 key, int16 keyCode, int16 modifiers)> onKeyUp;
    Method<tresult(ViewRect* size)> getSize;
    Method<tresult(ViewRect* newSize)> onSize;
    Method<tresult(TBool state)> onFocus;
    Method<tresult(IPlugFrame* frame)> setFrame;
    Method<tresult()> canResize;
    Method<tresult(ViewRect* rect)> checkSizeConstraint;
};
struct IPlugView {
    const IPlugViewVtbl* vtbl;
};
inline constexpr Uid IPlugView_iid = makeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);

struct IPlugFrameVtbl {
    FUnknownVtbl unknown;
    Method<tresult(IPlugView* view, ViewRect* newSize)> resizeView;
};
struct IPlugFrame {
    const IPlugFrameVtbl* vtbl;
};
inline constexpr Uid IPlugFrame_iid = makeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);

// Linux: the host's run loop, which the plug frame offers, calls the plug-in's timers and file
// descriptor handlers on the user-interface thread.
using TimerInterval = uint64; // milliseconds
using FileDescriptor = int;

struct IEventHandlerVtbl {
    FUnknownVtbl unknown;
    Method<void(FileDescriptor fd)> onFDIsSet;
};
struct IEventHandler {
    const IEventHandlerVtbl* vtbl;
};
inline constexpr Uid IEventHandler_iid = makeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);

struct ITimerHandlerVtbl {
    FUnknownVtbl unknown;
    Method<void()> onTimer;
};
struct ITimerHandler {
    const ITimerHandlerVtbl* vtbl;
};
inline constexpr Uid ITimerHandler_iid = makeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);

struct IRunLoopVtbl {
    FUnknownVtbl unknown;
    Method<tresult(IEventHandler* handler, FileDescriptor fd)> registerEventHandler;
    Method<tresult(IEventHandler* handler)> unregisterEventHandler;
    Method<tresult(ITimerHandler* handler, TimerInterval milliseconds)> registerTimer;
    Method<tresult(ITimerHandler* handler)> unregisterTimer;
};
struct IRunLoop {
    const IRunLoopVtbl* vtbl;
};
inline constexpr Uid IRunLoop_iid = makeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);

// ---- The library's exports ----------------------------------------------------------------

using GetFactoryProc = IPluginFactory3*(MORVO_VST3_CALL*)();
#if defined(_WIN32)
using InitModuleProc = bool(MORVO_VST3_CALL*)();
using ExitModuleProc = bool(MORVO_VST3_CALL*)();
#else
using ModuleEntryProc = bool (*)(void* libraryHandle);
using ModuleExitProc = bool (*)();
#endif

// ---- Layout checks -------------------------------------------------------------------------
// The published sizes and offsets on Linux x86_64, 64-bit Windows and 32-bit Windows; `atWidth`
// gives the 32-bit value first. The three targets differ only in pointer size: a 32-bit Windows
// build aligns 64-bit fields to 8 (packing 8), as the 64-bit ones do naturally.

constexpr std::size_t atWidth(std::size_t bits32, std::size_t bits64) {
    return sizeof(void*) == 4 ? bits32 : bits64;
}
constexpr std::size_t kSlot = sizeof(void*); // one method's place in a table

namespace layout {
template <typename T>
inline constexpr bool plain = std::is_standard_layout_v<T>&& std::is_trivially_copyable_v<T>;
}

static_assert(sizeof(char16) == 2 && sizeof(TBool) == 1 && sizeof(Uid) == 16);
#if defined(_WIN32)
static_assert(IAudioProcessor_iid.bytes[0] == '\x99' && IAudioProcessor_iid.bytes[3] == '\x42' &&
              IAudioProcessor_iid.bytes[4] == '\xDA' && IAudioProcessor_iid.bytes[6] == '\x3C' &&
              IAudioProcessor_iid.bytes[8] == '\xA5' && IAudioProcessor_iid.bytes[15] == '\x3D');
#else
static_assert(IAudioProcessor_iid.bytes[0] == '\x42' && IAudioProcessor_iid.bytes[3] == '\x99' &&
              IAudioProcessor_iid.bytes[4] == '\xB7' && IAudioProcessor_iid.bytes[6] == '\x45' &&
              IAudioProcessor_iid.bytes[8] == '\xA5' && IAudioProcessor_iid.bytes[15] == '\x3D');
#endif
static_assert(FUnknown_iid.bytes[8] == '\xC0' && FUnknown_iid.bytes[15] == '\x46');

// Method tables: each slot one pointer, in the published order.
static_assert(sizeof(FUnknownVtbl) == 3 * kSlot);
static_assert(offsetof(FUnknownVtbl, addRef) == 1 * kSlot);
static_assert(offsetof(FUnknownVtbl, release) == 2 * kSlot);
static_assert(sizeof(IPluginBaseVtbl) == 5 * kSlot);
static_assert(offsetof(IPluginBaseVtbl, initialize) == 3 * kSlot);
static_assert(offsetof(IPluginBaseVtbl, terminate) == 4 * kSlot);
static_assert(sizeof(IBStreamVtbl) == 7 * kSlot);
static_assert(offsetof(IBStreamVtbl, read) == 3 * kSlot);
static_assert(offsetof(IBStreamVtbl, write) == 4 * kSlot);
static_assert(offsetof(IBStreamVtbl, seek) == 5 * kSlot);
static_assert(offsetof(IBStreamVtbl, tell) == 6 * kSlot);
static_assert(sizeof(IPluginFactoryVtbl) == 7 * kSlot);
static_assert(offsetof(IPluginFactoryVtbl, getFactoryInfo) == 3 * kSlot);
static_assert(offsetof(IPluginFactoryVtbl, countClasses) == 4 * kSlot);
static_assert(offsetof(IPluginFactoryVtbl, getClassInfo) == 5 * kSlot);
static_assert(offsetof(IPluginFactoryVtbl, createInstance) == 6 * kSlot);
static_assert(offsetof(IPluginFactory2Vtbl, getClassInfo2) == 7 * kSlot);
static_assert(offsetof(IPluginFactory3Vtbl, getClassInfoUnicode) == 8 * kSlot);
static_assert(offsetof(IPluginFactory3Vtbl, setHostContext) == 9 * kSlot);
static_assert(sizeof(IPluginFactory3Vtbl) == 10 * kSlot);
static_assert(offsetof(IComponentVtbl, getControllerClassId) == 5 * kSlot);
static_assert(offsetof(IComponentVtbl, setIoMode) == 6 * kSlot);
static_assert(offsetof(IComponentVtbl, getBusCount) == 7 * kSlot);
static_assert(offsetof(IComponentVtbl, getBusInfo) == 8 * kSlot);
static_assert(offsetof(IComponentVtbl, getRoutingInfo) == 9 * kSlot);
static_assert(offsetof(IComponentVtbl, activateBus) == 10 * kSlot);
static_assert(offsetof(IComponentVtbl, setActive) == 11 * kSlot);
static_assert(offsetof(IComponentVtbl, setState) == 12 * kSlot);
static_assert(offsetof(IComponentVtbl, getState) == 13 * kSlot);
static_assert(sizeof(IComponentVtbl) == 14 * kSlot);
static_assert(offsetof(IEventListVtbl, getEventCount) == 3 * kSlot);
static_assert(offsetof(IEventListVtbl, getEvent) == 4 * kSlot);
static_assert(offsetof(IEventListVtbl, addEvent) == 5 * kSlot);
static_assert(sizeof(IEventListVtbl) == 6 * kSlot);
static_assert(offsetof(IParamValueQueueVtbl, getParameterId) == 3 * kSlot);
static_assert(offsetof(IParamValueQueueVtbl, getPointCount) == 4 * kSlot);
static_assert(offsetof(IParamValueQueueVtbl, getPoint) == 5 * kSlot);
static_assert(offsetof(IParamValueQueueVtbl, addPoint) == 6 * kSlot);
static_assert(sizeof(IParamValueQueueVtbl) == 7 * kSlot);
static_assert(offsetof(IParameterChangesVtbl, getParameterCount) == 3 * kSlot);
static_assert(offsetof(IParameterChangesVtbl, getParameterData) == 4 * kSlot);
static_assert(offsetof(IParameterChangesVtbl, addParameterData) == 5 * kSlot);
static_assert(sizeof(IParameterChangesVtbl) == 6 * kSlot);
static_assert(offsetof(IAudioProcessorVtbl, setBusArrangements) == 3 * kSlot);
static_assert(offsetof(IAudioProcessorVtbl, getBusArrangement) == 4 * kSlot);
static_assert(offsetof(IAudioProcessorVtbl, canProcessSampleSize) == 5 * kSlot);
static_assert(offsetof(IAudioProcessorVtbl, getLatencySamples) == 6 * kSlot);
static_assert(offsetof(IAudioProcessorVtbl, setupProcessing) == 7 * kSlot);
static_assert(offsetof(IAudioProcessorVtbl, setProcessing) == 8 * kSlot);
static_assert(offsetof(IAudioProcessorVtbl, process) == 9 * kSlot);
static_assert(offsetof(IAudioProcessorVtbl, getTailSamples) == 10 * kSlot);
static_assert(sizeof(IAudioProcessorVtbl) == 11 * kSlot);
static_assert(offsetof(IProcessContextRequirementsVtbl, getProcessContextRequirements) ==
              3 * kSlot);
static_assert(offsetof(IComponentHandlerVtbl, beginEdit) == 3 * kSlot);
static_assert(offsetof(IComponentHandlerVtbl, performEdit) == 4 * kSlot);
static_assert(offsetof(IComponentHandlerVtbl, endEdit) == 5 * kSlot);
static_assert(offsetof(IComponentHandlerVtbl, restartComponent) == 6 * kSlot);
static_assert(offsetof(IEditControllerVtbl, setComponentState) == 5 * kSlot);
static_assert(offsetof(IEditControllerVtbl, setState) == 6 * kSlot);
static_assert(offsetof(IEditControllerVtbl, getState) == 7 * kSlot);
static_assert(offsetof(IEditControllerVtbl, getParameterCount) == 8 * kSlot);
static_assert(offsetof(IEditControllerVtbl, getParameterInfo) == 9 * kSlot);
static_assert(offsetof(IEditControllerVtbl, getParamStringByValue) == 10 * kSlot);
static_assert(offsetof(IEditControllerVtbl, getParamValueByString) == 11 * kSlot);
static_assert(offsetof(IEditControllerVtbl, normalizedParamToPlain) == 12 * kSlot);
static_assert(offsetof(IEditControllerVtbl, plainParamToNormalized) == 13 * kSlot);
static_assert(offsetof(IEditControllerVtbl, getParamNormalized) == 14 * kSlot);
static_assert(offsetof(IEditControllerVtbl, setParamNormalized) == 15 * kSlot);
static_assert(offsetof(IEditControllerVtbl, setComponentHandler) == 16 * kSlot);
static_assert(offsetof(IEditControllerVtbl, createView) == 17 * kSlot);
static_assert(sizeof(IEditControllerVtbl) == 18 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, getUnitCount) == 3 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, getUnitInfo) == 4 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, getProgramListCount) == 5 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, getProgramListInfo) == 6 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, getProgramName) == 7 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, getProgramInfo) == 8 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, hasProgramPitchNames) == 9 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, getProgramPitchName) == 10 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, getSelectedUnit) == 11 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, selectUnit) == 12 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, getUnitByBus) == 13 * kSlot);
static_assert(offsetof(IUnitInfoVtbl, setUnitProgramData) == 14 * kSlot);
static_assert(sizeof(IUnitInfoVtbl) == 15 * kSlot);
static_assert(offsetof(IPlugViewVtbl, isPlatformTypeSupported) == 3 * kSlot);
static_assert(offsetof(IPlugViewVtbl, attached) == 4 * kSlot);
static_assert(offsetof(IPlugViewVtbl, removed) == 5 * kSlot);
static_assert(offsetof(IPlugViewVtbl, onWheel) == 6 * kSlot);
static_assert(offsetof(IPlugViewVtbl, onKeyDown) == 7 * kSlot);
static_assert(offsetof(IPlugViewVtbl, onKeyUp) == 8 * kSlot);
static_assert(offsetof(IPlugViewVtbl, getSize) == 9 * kSlot);
static_assert(offsetof(IPlugViewVtbl, onSize) == 10 * kSlot);
static_assert(offsetof(IPlugViewVtbl, onFocus) == 11 * kSlot);
static_assert(offsetof(IPlugViewVtbl, setFrame) == 12 * kSlot);
static_assert(offsetof(IPlugViewVtbl, canResize) == 13 * kSlot);
static_assert(offsetof(IPlugViewVtbl, checkSizeConstraint) == 14 * kSlot);
static_assert(sizeof(IPlugViewVtbl) == 15 * kSlot);
static_assert(offsetof(IPlugFrameVtbl, resizeView) == 3 * kSlot);
static_assert(offsetof(IEventHandlerVtbl, onFDIsSet) == 3 * kSlot);
static_assert(offsetof(ITimerHandlerVtbl, onTimer) == 3 * kSlot);
static_assert(offsetof(IRunLoopVtbl, registerEventHandler) == 3 * kSlot);
static_assert(offsetof(IRunLoopVtbl, unregisterEventHandler) == 4 * kSlot);
static_assert(offsetof(IRunLoopVtbl, registerTimer) == 5 * kSlot);
static_assert(offsetof(IRunLoopVtbl, unregisterTimer) == 6 * kSlot);

// Records.
static_assert(layout::plain<PFactoryInfo> && sizeof(PFactoryInfo) == 452);
static_assert(offsetof(PFactoryInfo, url) == 64 && offsetof(PFactoryInfo, email) == 320);
static_assert(offsetof(PFactoryInfo, flags) == 448);
static_assert(layout::plain<PClassInfo> && sizeof(PClassInfo) == 116);
static_assert(offsetof(PClassInfo, cardinality) == 16 && offsetof(PClassInfo, category) == 20);
static_assert(offsetof(PClassInfo, name) == 52);
static_assert(layout::plain<PClassInfo2> && sizeof(PClassInfo2) == 440);
static_assert(offsetof(PClassInfo2, classFlags) == 116);
static_assert(offsetof(PClassInfo2, subCategories) == 120);
static_assert(offsetof(PClassInfo2, vendor) == 248 && offsetof(PClassInfo2, version) == 312);
static_assert(offsetof(PClassInfo2, sdkVersion) == 376);
static_assert(layout::plain<PClassInfoW> && sizeof(PClassInfoW) == 696);
static_assert(offsetof(PClassInfoW, name) == 52 && offsetof(PClassInfoW, classFlags) == 180);
static_assert(offsetof(PClassInfoW, subCategories) == 184);
static_assert(offsetof(PClassInfoW, vendor) == 312 && offsetof(PClassInfoW, version) == 440);
static_assert(offsetof(PClassInfoW, sdkVersion) == 568);

static_assert(layout::plain<BusInfo> && sizeof(BusInfo) == 276);
static_assert(offsetof(BusInfo, channelCount) == 8 && offsetof(BusInfo, name) == 12);
static_assert(offsetof(BusInfo, busType) == 268 && offsetof(BusInfo, flags) == 272);
static_assert(layout::plain<RoutingInfo> && sizeof(RoutingInfo) == 12);

static_assert(layout::plain<NoteOnEvent> && sizeof(NoteOnEvent) == 20);
static_assert(offsetof(NoteOnEvent, pitch) == 2 && offsetof(NoteOnEvent, velocity) == 8);
static_assert(offsetof(NoteOnEvent, noteId) == 16);
static_assert(layout::plain<NoteOffEvent> && sizeof(NoteOffEvent) == 16);
static_assert(offsetof(NoteOffEvent, velocity) == 4 && offsetof(NoteOffEvent, tuning) == 12);
static_assert(sizeof(DataEvent) == atWidth(12, 16) && offsetof(DataEvent, bytes) == 8);
static_assert(sizeof(PolyPressureEvent) == 12);
static_assert(sizeof(NoteExpressionValueEvent) == 16);
static_assert(offsetof(NoteExpressionValueEvent, value) == 8);
static_assert(sizeof(NoteExpressionTextEvent) == atWidth(16, 24));
static_assert(offsetof(NoteExpressionTextEvent, text) == atWidth(12, 16));
static_assert(sizeof(ChordEvent) == atWidth(12, 16) && offsetof(ChordEvent, text) == 8);
static_assert(sizeof(ScaleEvent) == atWidth(12, 16) && offsetof(ScaleEvent, text) == 8);
static_assert(layout::plain<LegacyMIDICCOutEvent> && sizeof(LegacyMIDICCOutEvent) == 4);
static_assert(offsetof(LegacyMIDICCOutEvent, value2) == 3);
static_assert(layout::plain<Event> && sizeof(Event) == 48);
static_assert(offsetof(Event, sampleOffset) == 4 && offsetof(Event, ppqPosition) == 8);
static_assert(offsetof(Event, flags) == 16 && offsetof(Event, type) == 18);
static_assert(offsetof(Event, noteOn) == 24 && offsetof(Event, midiCCOut) == 24);

static_assert(layout::plain<ProcessSetup> && sizeof(ProcessSetup) == 24);
static_assert(offsetof(ProcessSetup, maxSamplesPerBlock) == 8);
static_assert(offsetof(ProcessSetup, sampleRate) == 16);
static_assert(layout::plain<AudioBusBuffers> && sizeof(AudioBusBuffers) == 24);
static_assert(offsetof(AudioBusBuffers, silenceFlags) == 8);
static_assert(offsetof(AudioBusBuffers, channelBuffers32) == 16);
static_assert(layout::plain<ProcessContext> && sizeof(ProcessContext) == 112);
static_assert(offsetof(ProcessContext, sampleRate) == 8);
static_assert(offsetof(ProcessContext, projectTimeSamples) == 16);
static_assert(offsetof(ProcessContext, systemTime) == 24);
static_assert(offsetof(ProcessContext, continousTimeSamples) == 32);
static_assert(offsetof(ProcessContext, projectTimeMusic) == 40);
static_assert(offsetof(ProcessContext, barPositionMusic) == 48);
static_assert(offsetof(ProcessContext, cycleStartMusic) == 56);
static_assert(offsetof(ProcessContext, cycleEndMusic) == 64);
static_assert(offsetof(ProcessContext, tempo) == 72);
static_assert(offsetof(ProcessContext, timeSigNumerator) == 80);
static_assert(offsetof(ProcessContext, timeSigDenominator) == 84);
static_assert(offsetof(ProcessContext, chord) == 88);
static_assert(offsetof(ProcessContext, smpteOffsetSubframes) == 92);
static_assert(offsetof(ProcessContext, frameRate) == 96);
static_assert(offsetof(ProcessContext, samplesToNextClock) == 104);
static_assert(layout::plain<ProcessData> && sizeof(ProcessData) == atWidth(48, 80));
static_assert(offsetof(ProcessData, numOutputs) == 16);
static_assert(offsetof(ProcessData, inputs) == atWidth(20, 24));
static_assert(offsetof(ProcessData, outputs) == atWidth(24, 32));
static_assert(offsetof(ProcessData, inputParameterChanges) == atWidth(28, 40));
static_assert(offsetof(ProcessData, outputParameterChanges) == atWidth(32, 48));
static_assert(offsetof(ProcessData, inputEvents) == atWidth(36, 56));
static_assert(offsetof(ProcessData, outputEvents) == atWidth(40, 64));
static_assert(offsetof(ProcessData, processContext) == atWidth(44, 72));

static_assert(layout::plain<ParameterInfo> && sizeof(ParameterInfo) == 792);
static_assert(offsetof(ParameterInfo, title) == 4 && offsetof(ParameterInfo, shortTitle) == 260);
static_assert(offsetof(ParameterInfo, units) == 516);
static_assert(offsetof(ParameterInfo, stepCount) == 772);
static_assert(offsetof(ParameterInfo, defaultNormalizedValue) == 776);
static_assert(offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788);
static_assert(layout::plain<UnitInfo> && sizeof(UnitInfo) == 268);
static_assert(offsetof(UnitInfo, name) == 8 && offsetof(UnitInfo, programListId) == 264);
static_assert(layout::plain<ProgramListInfo> && sizeof(ProgramListInfo) == 264);
static_assert(offsetof(ProgramListInfo, programCount) == 260);
static_assert(layout::plain<ViewRect> && sizeof(ViewRect) == 16);
static_assert(offsetof(ViewRect, right) == 8 && offsetof(ViewRect, bottom) == 12);

// An interface pointer is one pointer: its table.
static_assert(sizeof(IComponent) == kSlot && sizeof(IPlugView) == kSlot);

} // namespace vst3_abi

#if defined(_WIN32)
#pragma pack(pop)
#endif
