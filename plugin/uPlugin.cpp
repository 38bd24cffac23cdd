#include "uPlugin.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "APluginEditor.h"
#include "DVstUtils.h"
#include "ParameterTable.h"

static_assert(params::kNumPrograms == APlugin::kNumPrograms, "one table of programs");
static_assert(params::kNumHostParameters == APlugin::kNumParams, "one table of parameters");
static_assert(params::kNumActive == gate::kFirstGateLevel + gate::kNumBands, "a row for every parameter with a sound");

// ---------------------------------------------------------------------------
// Programs

APluginProgram::APluginProgram() {
    for (auto& value : fvar)
        value.store(0.0f, std::memory_order_relaxed);
    std::memset(name, 0, sizeof name);
    std::strcpy(name, "Init");
}

// ---------------------------------------------------------------------------
// Construction and teardown

APlugin::APlugin(audioMasterCallback audioMaster, bool withEditor)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    for (int i = kNumPrograms - 1; i >= 0; --i)
        programs[i] = new APluginProgram();
    suspend();
    if (withEditor)
        setEditor(new APluginEditor(this));
    hasVu(false);
    setNumInputs(2);
    setNumOutputs(2);
    canMono(true);
    canProcessReplacing(true);
    isSynth(false);
    setUniqueID(FourCharCode('h', 'v', 'l', 'Q'));
    // The processing state starts at rest (ring position 0, all zero).
    gateEngine.setDesignRate(updateSampleRate());
    writeFactoryPrograms();
    for (VstInt32 i = 0; i < kNumPrograms; ++i)
        setProgram(i);
}

APlugin::~APlugin() {
    // The base's part of the teardown comes first: the editor bridge (and
    // with it any open window) goes before the programs.
    delete editor;
    setEditor(nullptr);
    for (auto*& program : programs) {
        delete program;
        program = nullptr;
    }
}

// fvar[0] to fvar[25]: the table's values, and 0 for the four spare slots
// after them.
void APlugin::writeFactoryPrograms() {
    constexpr int kNumFactoryValues = 26;
    for (int p = 0; p < kNumPrograms; ++p) {
        for (int i = 0; i < kNumFactoryValues; ++i)
            programs[p]->fvar[i].store(params::FactoryValue(p, i), std::memory_order_relaxed);
        CopyText(programs[p]->name, params::kProgramNames[p], sizeof programs[p]->name);
    }
}

// ---------------------------------------------------------------------------
// Parameters

void APlugin::setParameter(VstInt32 index, float value) {
    if (index < 0 || index >= gate::kNumParams)
        return;
    value = gate::ClampParameter(value);
    gateEngine.setParameter(index, value);
    programs[curProgram.load(std::memory_order_relaxed)]->fvar[index].store(value, std::memory_order_relaxed);
    if (editor != nullptr)
        editor->update();
}

float APlugin::getParameter(VstInt32 index) {
    if (index < 0 || index >= kNumParams)
        return 0.0f;
    return gateEngine.getParameter(index);
}

void APlugin::setParameterAutomated(VstInt32 index, float value) {
    AudioEffectX::setParameterAutomated(index, value);
}

float APlugin::parameterValue(VstInt32 index) const {
    if (index < 0 || index >= gate::kNumParams)
        return 0.0f;
    return gateEngine.getParameter(index);
}

void APlugin::setSampleRate(float newRate) {
    AudioEffectX::setSampleRate(newRate);
    gateEngine.setDesignRate(newRate);  // ignores rates the band design does not handle
}

void APlugin::setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newRate) {
    AudioEffectX::setBlockSizeAndSampleRate(newBlockSize, newRate);
    gateEngine.setDesignRate(newRate);
}

// ---------------------------------------------------------------------------
// Audio

void APlugin::process(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (inputs == nullptr || outputs == nullptr)
        return;
    gateEngine.process(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
}

void APlugin::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (inputs == nullptr || outputs == nullptr)
        return;
    gateEngine.processReplacing(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
}

float APlugin::getVu() { return 0.0f; }

// Filter histories, followers and gate levels carry on where they were.
void APlugin::suspend() {}

// ---------------------------------------------------------------------------
// Programs

void APlugin::refreshEditor() {
    if (!editorClosed && editor != nullptr)
        editor->update();
}

void APlugin::setProgram(VstInt32 program) {
    getTimeInfo(0);  // asked for, not used
    if (program < 0 || program >= kNumPrograms)
        return;
    curProgram = program;
    for (int i = 0; i < gate::kNumParams; ++i)
        setParameter(i, programs[program]->fvar[i].load(std::memory_order_relaxed));
    refreshEditor();
}

void APlugin::setProgramName(char* name) {
    CopyText(programs[curProgram]->name, name, sizeof programs[curProgram]->name);
    refreshEditor();
}

void APlugin::getProgramName(char* name) { CopyText(name, programs[curProgram]->name, kVstMaxProgNameLen + 1); }

bool APlugin::getProgramNameIndexed(VstInt32, VstInt32 index, char* text) {
    if (index < 0 || index >= kNumPrograms)
        return false;
    return CopyText(text, programs[index]->name, kVstMaxProgNameLen + 1);
}

// ---------------------------------------------------------------------------
// Host texts

void APlugin::getParameterLabel(VstInt32, char* label) { label[0] = '\0'; }

// The host's buffer is left as it came: the plug-in has no value texts.
void APlugin::getParameterDisplay(VstInt32, char*) {}

void APlugin::getParameterName(VstInt32 index, char* text) {
    if (index >= 0 && index < params::kNumActive)
        std::strcpy(text, params::kParameters[index].hostName);
}

bool APlugin::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (index < 0 || index >= 2)
        return false;
    std::snprintf(properties->label, sizeof properties->label, "Halvorine %d", static_cast<int>(index + 1));
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool APlugin::getEffectName(char* name) {
    std::strcpy(name, "Halvorine");
    return true;
}

bool APlugin::getVendorString(char* text) {
    std::strcpy(text, "Pellucid");
    return true;
}

bool APlugin::getProductString(char* text) {
    std::strcpy(text, "Halvorine");
    return true;
}

VstInt32 APlugin::getVendorVersion() { return 1; }

VstInt32 APlugin::canDo(char* text) {
    static const char* const kCapabilities[] = {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo"};
    for (const char* capability : kCapabilities)
        if (std::strcmp(text, capability) == 0)
            return 1;
    return -1;
}

// A host that knows the screen's density tells the editor its scale this
// way; the bridge keeps it for every window and applies it to the open one.
VstIntPtr APlugin::vendorSpecific(VstInt32 lArg, VstIntPtr lArg2, void* ptrArg, float floatArg) {
    constexpr VstInt32 kScaleRequest = FourCharCode('P', 'r', 'e', 'S');
    constexpr VstIntPtr kScaleValue = FourCharCode('A', 'e', 'C', 's');
    if (lArg == kScaleRequest && lArg2 == kScaleValue && editor != nullptr) {
        static_cast<APluginEditor*>(editor)->setScale(floatArg);
        return 1;
    }
    return AudioEffectX::vendorSpecific(lArg, lArg2, ptrArg, floatArg);
}

void APlugin::editorResized(int width, int height) { sizeWindow(width, height); }

// Events are accepted and have no effect.
VstInt32 APlugin::processEvents(VstEvents*) { return 1; }

void APlugin::resume() { wantEvents(1); }
