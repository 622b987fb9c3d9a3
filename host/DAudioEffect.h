// AudioEffect, the base of every plug-in object: it owns the effect record handed to the host,
// turns the basic opcodes into virtual operations, and holds the host callback. AEffEditor is
// the base of the editor object the editor opcodes go to.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "DAEffectX.h"

class AudioEffect;

class AEffEditor {
  public:
    explicit AEffEditor(AudioEffect* effect) : effect(effect) {}
    virtual ~AEffEditor() = default;
    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    // User-interface thread: stores null at rect; the editor's size is unknown here.
    virtual std::int32_t getRect(ERect** rect);
    // User-interface thread: remembers the host's parent window.
    virtual std::int32_t open(void* ptr);
    // User-interface thread.
    virtual void close() {}
    // User-interface thread: runs one pending update.
    virtual void idle();
    // Any thread: brings the editor in line with the plug-in.
    virtual void update() {}
    // Any thread: asks for an update at the next idle.
    virtual void postUpdate() { updateFlag.store(1, std::memory_order_relaxed); }
    // User-interface thread: keys the host offers the editor; -1 means "not used".
    virtual std::int32_t onKeyDown(VstKeyCode& keyCode);
    virtual std::int32_t onKeyUp(VstKeyCode& keyCode);
    virtual std::int32_t setKnobMode(std::int32_t val);
    virtual std::int32_t onWheel(float distance);

  protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
    std::atomic<std::int32_t> updateFlag{0};
};

class AudioEffect {
  public:
    AudioEffect(audioMasterCallback audioMaster, std::int32_t numPrograms, std::int32_t numParams);
    virtual ~AudioEffect();
    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    AEffect* getAeffect() { return &effect; }
    // Takes ownership of the editor (null for none) and announces it in the record's flags.
    void setEditor(AEffEditor* newEditor);
    AEffEditor* getEditor() const { return editor.get(); }

    // Dispatcher thread (usually the user-interface thread) unless said otherwise.
    virtual void setSampleRate(float rate) { sampleRate.store(rate, std::memory_order_relaxed); }
    virtual void setBlockSize(std::int32_t size) {
        blockSize.store(size, std::memory_order_relaxed);
    }
    // Any thread: automation may arrive on the audio thread.
    virtual void setParameter(std::int32_t, float) {}
    virtual float getParameter(std::int32_t) { return 0.0f; }
    // User-interface thread: a change the user made; the host hears of it after the plug-in.
    virtual void setParameterAutomated(std::int32_t index, float value);
    // Audio thread: accumulating processing; every plug-in supplies it.
    virtual void process(float** inputs, float** outputs, std::int32_t sampleFrames) = 0;
    // Audio thread: replacing processing.
    virtual void processReplacing(float**, float**, std::int32_t) {}
    virtual VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value,
                                 void* ptr, float opt);
    virtual void open() {}
    virtual void close() {}
    virtual std::int32_t getProgram() { return curProgram.load(std::memory_order_relaxed); }
    virtual void setProgram(std::int32_t program) {
        curProgram.store(program, std::memory_order_relaxed);
    }
    virtual void setProgramName(char*) {}
    virtual void getProgramName(char*) {}
    virtual void getParameterLabel(std::int32_t, char*) {}
    virtual void getParameterDisplay(std::int32_t, char*) {}
    virtual void getParameterName(std::int32_t, char*) {}
    virtual float getVu() { return 0.0f; }
    virtual std::int32_t getChunk(void**, bool) { return 0; }
    virtual std::int32_t setChunk(void*, std::int32_t, bool) { return 0; }
    virtual void suspend() {}
    virtual void resume() {}

    // Record setters; none of them tells the host.
    virtual void setUniqueID(std::int32_t id) { effect.uniqueID = id; }
    virtual void setNumInputs(std::int32_t n) { effect.numInputs = n; }
    virtual void setNumOutputs(std::int32_t n) { effect.numOutputs = n; }
    virtual void hasVu(bool state) { setFlag(effFlagsHasVu, state); }
    virtual void hasClip(bool state) { setFlag(effFlagsHasClip, state); }
    virtual void canMono(bool state) { setFlag(effFlagsCanMono, state); }
    virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
    virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
    virtual void setRealtimeQualities(std::int32_t n) { effect.realQualities = n; }
    virtual void setOfflineQualities(std::int32_t n) { effect.offQualities = n; }
    virtual void setInitialDelay(std::int32_t n) { effect.initialDelay = n; }

    // Requests to the host; each answers its default when there is no callback.
    virtual std::int32_t getMasterVersion();
    virtual std::int32_t getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(std::int32_t input);
    virtual bool isOutputConnected(std::int32_t output);

    float getSampleRate() const { return sampleRate.load(std::memory_order_relaxed); }
    std::int32_t getBlockSize() const { return blockSize.load(std::memory_order_relaxed); }

  protected:
    void setFlag(std::int32_t flag, bool state);
    bool hasHost() const { return audioMaster != nullptr; }
    // One call of the host callback with this plug-in's record; only when hasHost(). Inline:
    // the audio thread makes one or two a sample.
    VstIntPtr callHost(std::int32_t opcode, std::int32_t index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f) {
        return audioMaster(&effect, opcode, index, value, ptr, opt);
    }

    AEffect effect;
    // Written by the dispatcher thread, read by the audio thread.
    std::atomic<float> sampleRate{44100.0f};
    std::unique_ptr<AEffEditor> editor;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::atomic<std::int32_t> blockSize{1024};
    // Written by program changes, read by automation on the audio thread.
    std::atomic<std::int32_t> curProgram{0};
    audioMasterCallback audioMaster;

  private:
    static VstIntPtr VSTCALLBACK effectDispatcher(AEffect* e, std::int32_t opcode,
                                                  std::int32_t index, VstIntPtr value, void* ptr,
                                                  float opt);
    static void VSTCALLBACK effectProcess(AEffect* e, float** inputs, float** outputs,
                                          std::int32_t sampleFrames);
    static void VSTCALLBACK effectProcessReplacing(AEffect* e, float** inputs, float** outputs,
                                                   std::int32_t sampleFrames);
    static void VSTCALLBACK effectSetParameter(AEffect* e, std::int32_t index, float value);
    static float VSTCALLBACK effectGetParameter(AEffect* e, std::int32_t index);
};
