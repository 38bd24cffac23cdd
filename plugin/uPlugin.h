// APlugin: the sixteen-band gate as a VST 2.x plug-in object, with its
// programs and the texts it hands the host.
#pragma once

#include <atomic>

#include "DAudioEffectX.h"
#include "EditorController.h"
#include "GateEngine.h"

// One program: a complete set of stored parameter values and a name.
class APluginProgram {
public:
    APluginProgram();

    static constexpr int kNumValues = 501;
    static constexpr int kMaxNameLength = 60;

    // Stored parameter values. A host may change a parameter on its audio
    // thread while it selects programs on another: each value is one whole
    // float, without a lock.
    std::atomic<float> fvar[kNumValues];
    char name[kMaxNameLength + 1];
};

// The editor window edits it as an EditorController: its changes arrive
// through setParameterAutomated, and the plug-in sends the host nothing for
// the drag's gestures.
class APlugin : public AudioEffectX, public EditorController {
public:
    static constexpr VstInt32 kNumPrograms = 8;
    static constexpr VstInt32 kNumParams = 30;

    // Without `withEditor` there is no editor bridge: the editor flag stays
    // clear and the editor requests answer 0 (a library built without an
    // editor).
    explicit APlugin(audioMasterCallback audioMaster, bool withEditor = true);
    ~APlugin() override;

    // Parameters. Any thread; lock-free and allocation-free.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    // Parameter block entries 0 to 30 (the spare slot included), for the
    // editor's copy.
    float parameterValue(VstInt32 index) const;
    // setParameter, then audioMasterAutomate: the base's behaviour, which
    // is also what the editor window calls.
    void setParameterAutomated(VstInt32 index, float value) override;

    // Audio thread.
    void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    float getVu() override;
    void suspend() override;

    // Sample rate: the design rate follows the host.
    void setSampleRate(float sampleRate) override;
    void setBlockSizeAndSampleRate(VstInt32 blockSize, float sampleRate) override;

    // Programs.
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    // Host texts and fixed answers.
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;
    // 'PreS' with 'AeCs' and the scale in `floatArg`: the host's scale for
    // the editor; answers 1. Every other call answers as the base does.
    VstIntPtr vendorSpecific(VstInt32 lArg, VstIntPtr lArg2, void* ptrArg, float floatArg) override;
    // The editor took a new size: the host hears it (audioMasterSizeWindow).
    void editorResized(int width, int height) override;
    VstInt32 processEvents(VstEvents* events) override;
    void resume() override;

    const APluginProgram& program(VstInt32 index) const { return *programs[index]; }
    gate::GateEngine& engine() { return gateEngine; }

    // Set whenever the editor bridge destroys its window, cleared by every
    // open; while set, program changes do not refresh the editor. Written
    // on the user-interface thread and read by program changes, which a
    // host may make on another.
    std::atomic<bool> editorClosed{false};

private:
    void writeFactoryPrograms();
    void refreshEditor();

    APluginProgram* programs[kNumPrograms] = {};
    gate::GateEngine gateEngine;  // holds the parameter block, all 31 slots
};
