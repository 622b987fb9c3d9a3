// Small plug-in and editor classes for driving the frame through its record: MinimalEffect
// keeps every default; RecordingEffect and RecordingEditor log each operation the dispatcher
// reaches, with its arguments, as one line of text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "host/DAudioEffectX.h"

class MinimalEffect : public AudioEffectX {
  public:
    explicit MinimalEffect(audioMasterCallback host = FakeHost::callback, std::int32_t programs = 4,
                           std::int32_t params = 3)
        : AudioEffectX(host, programs, params) {}
    void process(float**, float**, std::int32_t) override {}

    VstIntPtr dispatch(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return effect.dispatcher(&effect, opcode, index, value, ptr, opt);
    }
    using AudioEffect::callHost;
    using AudioEffect::setFlag;
    std::int32_t flags() const { return effect.flags; }
    std::int32_t currentProgram() const { return curProgram.load(); }
};

template <typename... Args> std::string line(const char* format, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

class RecordingEditor : public AEffEditor {
  public:
    RecordingEditor(AudioEffect* effect, std::vector<std::string>& log)
        : AEffEditor(effect), log(log) {}
    ~RecordingEditor() override { log.push_back("~editor"); }

    ERect rect{0, 0, 280, 626};
    bool storesRect = true;

    std::int32_t getRect(ERect** where) override {
        log.push_back("getRect");
        if (storesRect) *where = &rect;
        return 1;
    }
    std::int32_t open(void* ptr) override {
        log.push_back(line("open %p", ptr));
        return 1;
    }
    void close() override { log.push_back("close"); }
    void update() override { log.push_back("update"); }
    std::int32_t onKeyDown(VstKeyCode& key) override {
        log.push_back(line("keyDown %d %d %d", key.character, key.virt, key.modifier));
        return 7;
    }
    std::int32_t onKeyUp(VstKeyCode& key) override {
        log.push_back(line("keyUp %d %d %d", key.character, key.virt, key.modifier));
        return 8;
    }
    std::int32_t setKnobMode(std::int32_t mode) override {
        log.push_back(line("knobMode %d", mode));
        return 9;
    }

  private:
    std::vector<std::string>& log;
};

// Logs every operation the dispatchers reach; bool operations answer true and the others give
// numbers of their own, so that the dispatcher's conversions show in its results.
class RecordingEffect : public MinimalEffect {
  public:
    RecordingEffect() : MinimalEffect(FakeHost::callback, 4, 3) {}
    std::vector<std::string> log;
    float vu = 0.0f;
    bool keys = false;

    void open() override { log.push_back("open"); }
    void close() override { log.push_back("close"); }
    void setProgram(std::int32_t p) override { log.push_back(line("setProgram %d", p)); }
    void setProgramName(char* t) override { log.push_back(line("setProgramName %s", t)); }
    void getProgramName(char* t) override { std::snprintf(t, 8, "prog"); }
    void getParameterLabel(std::int32_t i, char* t) override { std::snprintf(t, 8, "lab%d", i); }
    void getParameterDisplay(std::int32_t i, char* t) override { std::snprintf(t, 8, "dis%d", i); }
    void getParameterName(std::int32_t i, char* t) override { std::snprintf(t, 8, "nam%d", i); }
    float getVu() override { return vu; }
    void setSampleRate(float r) override { log.push_back(line("setSampleRate %g", r)); }
    void setBlockSize(std::int32_t s) override { log.push_back(line("setBlockSize %d", s)); }
    void suspend() override { log.push_back("suspend"); }
    void resume() override { log.push_back("resume"); }
    std::int32_t getChunk(void** d, bool preset) override {
        log.push_back(line("getChunk %p %d", static_cast<void*>(d), preset));
        return 11;
    }
    std::int32_t setChunk(void* d, std::int32_t size, bool preset) override {
        log.push_back(line("setChunk %p %d %d", d, size, preset));
        return 12;
    }

    std::int32_t processEvents(VstEvents* ev) override {
        log.push_back(line("processEvents %p", static_cast<void*>(ev)));
        return 5;
    }
    bool canParameterBeAutomated(std::int32_t i) override {
        log.push_back(line("canBeAutomated %d", i));
        return i == 2;
    }
    bool string2parameter(std::int32_t i, char* t) override {
        log.push_back(line("string2parameter %d %s", i, t));
        return true;
    }
    bool getProgramNameIndexed(std::int32_t c, std::int32_t i, char*) override {
        log.push_back(line("getProgramNameIndexed %d %d", c, i));
        return true;
    }
    bool copyProgram(std::int32_t d) override {
        log.push_back(line("copyProgram %d", d));
        return true;
    }
    void inputConnected(std::int32_t i, bool s) override {
        log.push_back(line("inputConnected %d %d", i, s));
    }
    void outputConnected(std::int32_t i, bool s) override {
        log.push_back(line("outputConnected %d %d", i, s));
    }
    bool getInputProperties(std::int32_t i, VstPinProperties* p) override {
        log.push_back(line("getInputProperties %d %p", i, static_cast<void*>(p)));
        return true;
    }
    bool getOutputProperties(std::int32_t i, VstPinProperties* p) override {
        log.push_back(line("getOutputProperties %d %p", i, static_cast<void*>(p)));
        return true;
    }
    bool offlineNotify(VstAudioFile* f, std::int32_t n, bool start) override {
        log.push_back(line("offlineNotify %p %d %d", static_cast<void*>(f), n, start));
        return true;
    }
    bool offlinePrepare(VstOfflineTask* t, std::int32_t n) override {
        log.push_back(line("offlinePrepare %p %d", static_cast<void*>(t), n));
        return true;
    }
    bool offlineRun(VstOfflineTask* t, std::int32_t n) override {
        log.push_back(line("offlineRun %p %d", static_cast<void*>(t), n));
        return true;
    }
    bool processVariableIo(VstVariableIo* v) override {
        log.push_back(line("processVariableIo %p", static_cast<void*>(v)));
        return true;
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
        log.push_back(
            line("setSpeakerArrangement %p %p", static_cast<void*>(in), static_cast<void*>(out)));
        return true;
    }
    void setBlockSizeAndSampleRate(std::int32_t s, float r) override {
        log.push_back(line("setBlockSizeAndSampleRate %d %g", s, r));
    }
    bool setBypass(bool b) override {
        log.push_back(line("setBypass %d", b));
        return true;
    }
    bool getEffectName(char* t) override { return named("getEffectName", t); }
    bool getErrorText(char* t) override { return named("getErrorText", t); }
    bool getVendorString(char* t) override { return named("getVendorString", t); }
    bool getProductString(char* t) override { return named("getProductString", t); }
    VstIntPtr vendorSpecific(std::int32_t a, VstIntPtr b, void* p, float f) override {
        log.push_back(line("vendorSpecific %d %ld %p %g", a, static_cast<long>(b), p, f));
        return 13;
    }
    std::int32_t canDo(char* t) override {
        log.push_back(line("canDo %s", t));
        return -1;
    }
    bool setViewPosition(std::int32_t x, std::int32_t y) override {
        log.push_back(line("setViewPosition %d %d", x, y));
        return true;
    }
    bool getParameterProperties(std::int32_t i, VstParameterProperties* p) override {
        log.push_back(line("getParameterProperties %d %p", i, static_cast<void*>(p)));
        return true;
    }
    bool keysRequired() override { return keys; }
    std::int32_t getMidiProgramName(std::int32_t c, MidiProgramName* p) override {
        log.push_back(line("getMidiProgramName %d %p", c, static_cast<void*>(p)));
        return 14;
    }
    std::int32_t getCurrentMidiProgram(std::int32_t c, MidiProgramName* p) override {
        log.push_back(line("getCurrentMidiProgram %d %p", c, static_cast<void*>(p)));
        return 15;
    }
    std::int32_t getMidiProgramCategory(std::int32_t c, MidiProgramCategory* p) override {
        log.push_back(line("getMidiProgramCategory %d %p", c, static_cast<void*>(p)));
        return 16;
    }
    bool hasMidiProgramsChanged(std::int32_t c) override {
        log.push_back(line("hasMidiProgramsChanged %d", c));
        return true;
    }
    bool getMidiKeyName(std::int32_t c, MidiKeyName* p) override {
        log.push_back(line("getMidiKeyName %d %p", c, static_cast<void*>(p)));
        return true;
    }
    std::int32_t getNextShellPlugin(char* t) override {
        log.push_back(line("getNextShellPlugin %p", static_cast<void*>(t)));
        return 17;
    }
    bool setPanLaw(std::int32_t type, float v) override {
        log.push_back(line("setPanLaw %d %g", type, v));
        return true;
    }
    std::int32_t beginLoadBank(VstPatchChunkInfo* p) override {
        log.push_back(line("beginLoadBank %p", static_cast<void*>(p)));
        return 18;
    }
    std::int32_t beginLoadProgram(VstPatchChunkInfo* p) override {
        log.push_back(line("beginLoadProgram %p", static_cast<void*>(p)));
        return 19;
    }

  private:
    bool named(const char* what, char* text) {
        log.push_back(line("%s %p", what, static_cast<void*>(text)));
        return true;
    }
};
