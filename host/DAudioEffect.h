// AudioEffect: the VST 1 side of a plug-in object, which embeds the effect
// record, translates requests 0 to 24 into virtual operations and makes the
// VST 1 calls back into the host. AEffEditor: the base of an editor bridge.
#pragma once

#include <atomic>

#include "DAEffectX.h"

class AudioEffect;

class AEffEditor {
public:
    explicit AEffEditor(AudioEffect* effect);
    virtual ~AEffEditor() = default;

    virtual VstInt32 getRect(ERect** rect);
    virtual VstInt32 open(void* ptr);
    virtual void close();
    virtual void idle();
    virtual void update();
    virtual void postUpdate();
    virtual VstInt32 onKeyDown(VstKeyCode& keyCode);
    virtual VstInt32 onKeyUp(VstKeyCode& keyCode);
    virtual VstInt32 setKnobMode(VstInt32 val);
    virtual bool onWheel(float distance);

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
    VstInt32 updateFlag = 0;
};

class AudioEffect {
public:
    // Fills the record and the base fields. All requests, parameter calls
    // and processing reach the object through the record built here.
    AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    // The base's teardown: frees the editor bridge, if there is one.
    virtual ~AudioEffect();

    virtual void setSampleRate(float sampleRate);
    virtual void setBlockSize(VstInt32 blockSize);
    virtual void setParameter(VstInt32 index, float value);
    virtual float getParameter(VstInt32 index);
    virtual void setParameterAutomated(VstInt32 index, float value);
    virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames);
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
    virtual void open();
    virtual void close();
    virtual VstInt32 getProgram();
    virtual void setProgram(VstInt32 program);
    virtual void setProgramName(char* name);
    virtual void getProgramName(char* name);
    virtual void getParameterLabel(VstInt32 index, char* label);
    virtual void getParameterDisplay(VstInt32 index, char* text);
    virtual void getParameterName(VstInt32 index, char* text);
    virtual float getVu();
    virtual VstInt32 getChunk(void** data, bool isPreset);
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset);
    virtual void suspend();
    virtual void resume();
    virtual void setUniqueID(VstInt32 iD);
    virtual void setNumInputs(VstInt32 inputs);
    virtual void setNumOutputs(VstInt32 outputs);
    virtual void hasVu(bool state);
    virtual void hasClip(bool state);
    virtual void canMono(bool state);
    virtual void canProcessReplacing(bool state);
    virtual void programsAreChunks(bool state);
    virtual void setRealtimeQualities(VstInt32 qualities);
    virtual void setOfflineQualities(VstInt32 qualities);
    virtual void setInitialDelay(VstInt32 delay);
    virtual VstInt32 getMasterVersion();
    virtual VstInt32 getCurrentUniqueId();
    virtual void masterIdle();
    virtual bool isInputConnected(VstInt32 input);
    virtual bool isOutputConnected(VstInt32 output);

    AEffect* getAeffect() { return &cEffect; }
    // Attaches (or, with null, detaches) the editor bridge and keeps
    // effFlagsHasEditor in step with it.
    void setEditor(AEffEditor* newEditor);

    float getSampleRate() const { return sampleRate; }
    VstInt32 getBlockSize() const { return blockSize; }
    AEffEditor* getEditor() const { return editor; }

protected:
    // Sends one callback to the host; answers 0 without a host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);
    void setFlag(VstInt32 bit, bool state);

    AEffect cEffect;
    float sampleRate;
    AEffEditor* editor;
    VstInt32 numPrograms;
    VstInt32 numParams;
    // Written by program selection on the host's user-interface thread and
    // read by parameter changes, which a host may make on its audio thread:
    // one whole integer, without a lock.
    std::atomic<VstInt32> curProgram;
    VstInt32 blockSize;
    audioMasterCallback audioMaster;
};
