// AudioEffectX: the extended operations of the interface with their defaults, the extended
// dispatcher (opcodes 25 to 76), the requests to the host and the speaker-arrangement routines.
#pragma once

#include "DAudioEffect.h"

// The two requests the audio thread makes every sample, with the host's callback taken once: a
// loop that asks at each sample keeps the callback in a register instead of reading it back
// after every call. Without a callback each answers its default.
class SampleRequests {
  public:
    SampleRequests(audioMasterCallback callback, AEffect* effect)
        : callback(callback), effect(effect) {}
    bool hasHost() const { return callback != nullptr; }
    VstTimeInfo* getTimeInfo(std::int32_t filter) const {
        return callback != nullptr ? reinterpret_cast<VstTimeInfo*>(callback(
                                         effect, audioMasterGetTime, 0, filter, nullptr, 0.0f))
                                   : nullptr;
    }
    std::int32_t tempoAt(std::int32_t position) const {
        return callback != nullptr ? static_cast<std::int32_t>(callback(effect, audioMasterTempoAt,
                                                                        0, position, nullptr, 0.0f))
                                   : 0;
    }

  private:
    audioMasterCallback callback;
    AEffect* effect;
};

class AudioEffectX : public AudioEffect {
  public:
    AudioEffectX(audioMasterCallback audioMaster, std::int32_t numPrograms, std::int32_t numParams)
        : AudioEffect(audioMaster, numPrograms, numParams) {}

    VstIntPtr dispatcher(std::int32_t opcode, std::int32_t index, VstIntPtr value, void* ptr,
                         float opt) override;

    // Requests to the host. Audio thread: getTimeInfo, tempoAt, sendVstEventsToHost; the rest
    // on the thread of their caller. Each answers its default when there is no callback. The
    // two the audio thread makes every sample are inline.
    virtual VstTimeInfo* getTimeInfo(std::int32_t filter) {
        return sampleRequests().getTimeInfo(filter);
    }
    virtual void setTimeInfo(std::int32_t filter, VstTimeInfo* timeInfo);
    virtual std::int32_t tempoAt(std::int32_t position) {
        return sampleRequests().tempoAt(position);
    }
    virtual std::int32_t getNumAutomatableParameters();
    virtual std::int32_t getParameterQuantization();
    virtual bool ioChanged();
    virtual bool needIdle();
    virtual bool sizeWindow(std::int32_t width, std::int32_t height);
    virtual double updateSampleRate();
    virtual std::int32_t updateBlockSize();
    virtual std::int32_t getInputLatency();
    virtual std::int32_t getOutputLatency();
    virtual AEffect* getPreviousPlug();
    virtual AEffect* getNextPlug();
    virtual std::int32_t willProcessReplacing();
    virtual std::int32_t getCurrentProcessLevel();
    virtual std::int32_t getAutomationState();
    virtual bool offlineRead(VstOfflineTask* offline, std::int32_t option, bool readSource);
    virtual bool offlineWrite(VstOfflineTask* offline, std::int32_t option);
    virtual bool offlineStart(VstAudioFile* audioFiles, std::int32_t numAudioFiles,
                              std::int32_t numNewAudioFiles);
    virtual std::int32_t offlineGetCurrentPass();
    virtual std::int32_t offlineGetCurrentMetaPass();
    virtual void setOutputSamplerate(float samplerate);
    virtual VstSpeakerArrangement* getInputSpeakerArrangement();
    virtual VstSpeakerArrangement* getOutputSpeakerArrangement();
    // The buffer must hold at least 64 bytes.
    virtual bool getHostVendorString(char* text);
    virtual bool getHostProductString(char* text);
    virtual std::int32_t getHostVendorVersion();
    virtual VstIntPtr hostVendorSpecific(std::int32_t lArg1, VstIntPtr lArg2, void* ptrArg,
                                         float floatArg);
    virtual std::int32_t canHostDo(char* text);
    virtual std::int32_t getHostLanguage();
    virtual void* openWindow(VstWindow* window);
    virtual bool closeWindow(VstWindow* window);
    virtual void* getDirectory();
    virtual bool updateDisplay();
    virtual bool beginEdit(std::int32_t index);
    virtual bool endEdit(std::int32_t index);
    virtual bool openFileSelector(VstFileSelect* fileSelect);
    // Audio thread (from resume on the dispatcher thread in this plug-in): asks for MIDI.
    void wantEvents(std::int32_t filter = 1);
    // Audio thread: hands a list to the host, which takes the events during the call.
    bool sendVstEventsToHost(VstEvents* events);

    // Operations the dispatcher reaches (dispatcher thread unless said otherwise).
    // Audio thread: the block's incoming events, before process or processReplacing.
    virtual std::int32_t processEvents(VstEvents*) { return 0; }
    virtual bool canParameterBeAutomated(std::int32_t) { return true; }
    virtual bool string2parameter(std::int32_t, char*) { return false; }
    virtual float getChannelParameter(std::int32_t, std::int32_t) { return 0.0f; }
    virtual std::int32_t getNumCategories() { return 1; }
    virtual bool getProgramNameIndexed(std::int32_t, std::int32_t, char*) { return false; }
    virtual bool copyProgram(std::int32_t) { return false; }
    virtual void inputConnected(std::int32_t, bool) {}
    virtual void outputConnected(std::int32_t, bool) {}
    virtual bool getInputProperties(std::int32_t, VstPinProperties*) { return false; }
    virtual bool getOutputProperties(std::int32_t, VstPinProperties*) { return false; }
    virtual std::int32_t getPlugCategory() {
        return (effect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
    }
    virtual void wantAsyncOperation(bool state) { setFlag(effFlagsExtIsAsync, state); }
    virtual void hasExternalBuffer(bool state) { setFlag(effFlagsExtHasBuffer, state); }
    virtual std::int32_t reportCurrentPosition() { return 0; }
    virtual float* reportDestinationBuffer() { return nullptr; }
    virtual bool offlineNotify(VstAudioFile*, std::int32_t, bool) { return false; }
    virtual bool offlinePrepare(VstOfflineTask*, std::int32_t) { return false; }
    virtual bool offlineRun(VstOfflineTask*, std::int32_t) { return false; }
    virtual std::int32_t offlineGetNumPasses() { return 0; }
    virtual std::int32_t offlineGetNumMetaPasses() { return 0; }
    virtual void isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
    virtual void noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
    virtual bool processVariableIo(VstVariableIo*) { return false; }
    virtual bool setSpeakerArrangement(VstSpeakerArrangement*, VstSpeakerArrangement*) {
        return false;
    }
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                       VstSpeakerArrangement** pluginOutput);
    virtual void setBlockSizeAndSampleRate(std::int32_t size, float rate) {
        blockSize.store(size, std::memory_order_relaxed);
        sampleRate.store(rate, std::memory_order_relaxed);
    }
    virtual bool setBypass(bool) { return false; }
    virtual bool getEffectName(char*) { return false; }
    virtual bool getErrorText(char*) { return false; }
    virtual bool getVendorString(char*) { return false; }
    virtual bool getProductString(char*) { return false; }
    virtual std::int32_t getVendorVersion() { return 0; }
    virtual VstIntPtr vendorSpecific(std::int32_t, VstIntPtr, void*, float) { return 0; }
    virtual std::int32_t canDo(char*) { return 0; }
    virtual void* getIcon() { return nullptr; }
    virtual bool setViewPosition(std::int32_t, std::int32_t) { return false; }
    virtual std::int32_t getGetTailSize() { return 0; }
    virtual std::int32_t fxIdle() { return 0; }
    virtual bool getParameterProperties(std::int32_t, VstParameterProperties*) { return false; }
    virtual bool keysRequired() { return false; }
    virtual std::int32_t getVstVersion() { return 2300; }
    virtual std::int32_t getMidiProgramName(std::int32_t, MidiProgramName*) { return 0; }
    virtual std::int32_t getCurrentMidiProgram(std::int32_t, MidiProgramName*) { return -1; }
    virtual std::int32_t getMidiProgramCategory(std::int32_t, MidiProgramCategory*) { return 0; }
    virtual bool hasMidiProgramsChanged(std::int32_t) { return false; }
    virtual bool getMidiKeyName(std::int32_t, MidiKeyName*) { return false; }
    virtual bool beginSetProgram() { return false; }
    virtual bool endSetProgram() { return false; }
    virtual std::int32_t setTotalSampleToProcess(std::int32_t value) { return value; }
    virtual std::int32_t getNextShellPlugin(char*) { return 0; }
    virtual std::int32_t startProcess() { return 0; }
    virtual std::int32_t stopProcess() { return 0; }
    virtual bool setPanLaw(std::int32_t, float) { return false; }
    virtual std::int32_t beginLoadBank(VstPatchChunkInfo*) { return 0; }
    virtual std::int32_t beginLoadProgram(VstPatchChunkInfo*) { return 0; }

    // Speaker arrangements: the caller owns the block whose address it passes and releases it
    // with deallocateArrangement.
    virtual bool allocateArrangement(VstSpeakerArrangement** arrangement, std::int32_t nbChannels);
    virtual bool deallocateArrangement(VstSpeakerArrangement** arrangement);
    virtual bool copySpeaker(VstSpeakerProperties* to, const VstSpeakerProperties* from);
    virtual bool matchArrangement(VstSpeakerArrangement** to, const VstSpeakerArrangement* from);

  protected:
    SampleRequests sampleRequests() { return {audioMaster, &effect}; }
};
