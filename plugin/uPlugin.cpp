#include "uPlugin.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "APluginEditor.h"
#include "DVstUtils.h"
#include "entry.h"

namespace {

constexpr int kNumFactoryValues = 26;  // fvar[0] to fvar[25]

struct FactoryProgram {
    const char* name;
    float values[kNumFactoryValues];
};

// Columns: Start, Finish, Q, Attack, Release, Boost, gate levels of bands
// 1 to 16, four spare slots.
const FactoryProgram kFactoryPrograms[APlugin::kNumPrograms] = {
    {"Default", {0, 1, 0.33f, 0, 0, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"Gated",
     {0, 1, 0.33f, 0, 0, 0.5f, 0.625f, 0.675f, 0.675f, 0.65f, 0.675f, 0.6875f, 0.6875f, 0.7f, 0.7125f, 0.7125f,
      0.7f, 0.725f, 0.7625f, 0.75f, 0.7375f, 0.75f, 0, 0, 0, 0}},
    {"HiGate",
     {0.2375f, 0.9625f, 0.33f, 0, 0, 0.5f, 0.075f, 0.0625f, 0.0875f, 0.0625f, 0.125f, 0.1125f, 0.1125f, 0.1125f,
      0.2f, 0.3f, 0.325f, 0.8875f, 0.7625f, 0.9f, 0.8875f, 0.875f, 0, 0, 0, 0}},
    {"LowGate",
     {0.3375f, 1, 0.33f, 0, 0, 0.5f, 0.6f, 0.6f, 0.5875f, 0.5875f, 0.7875f, 0.75f, 0.75f, 0.9125f, 0.55f, 0.6375f,
      0.725f, 0.6875f, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"LongRel",
     {0, 1, 0.35f, 0, 0.7875f, 0.5f, 0.8625f, 0.8125f, 0.7375f, 0.7875f, 0.7875f, 0.7875f, 0.7875f, 0.7625f, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"Chuffy",
     {0, 1, 0.33f, 0.6875f, 0.5625f, 0.9f, 0.6f, 0.6125f, 0.6125f, 0.6f, 0.6f, 0.625f, 0.6f, 0.6375f, 0.7125f,
      0.7125f, 0.7f, 0.725f, 0.7625f, 0.9f, 0.8875f, 0.875f, 0, 0, 0, 0}},
    {"BandLimited",
     {0.3125f, 0.8375f, 0.0375f, 0, 0.3875f, 1, 0.5125f, 0.525f, 0.525f, 0.525f, 0.4875f, 0.4875f, 0.4125f, 0.8f,
      0, 0, 0, 0, 0, 0.6875f, 0.675f, 0.6875f, 0, 0, 0, 0}},
    {"BigBeat",
     {0.7375f, 0.55f, 0.125f, 0.3125f, 0.95f, 0.3f, 0, 0.7875f, 0, 0.7875f, 0, 0.775f, 0, 0.7875f, 0, 0.8875f, 0,
      0.8625f, 0, 0.8875f, 0, 0.8375f, 0, 0, 0, 0}},
};

const char* const kParameterNames[6] = {"Start Freq", "Finish Freq", "Freq Q", "Attack", "Release", "Boost"};

}  // namespace

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) { return new APlugin(audioMaster); }

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

APlugin::APlugin(audioMasterCallback audioMaster) : AudioEffectX(audioMaster, kNumPrograms, kNumParams) {
    for (int i = kNumPrograms - 1; i >= 0; --i)
        programs[i] = new APluginProgram();
    suspend();
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

void APlugin::writeFactoryPrograms() {
    for (int p = 0; p < kNumPrograms; ++p) {
        for (int i = 0; i < kNumFactoryValues; ++i)
            programs[p]->fvar[i].store(kFactoryPrograms[p].values[i], std::memory_order_relaxed);
        CopyText(programs[p]->name, kFactoryPrograms[p].name, sizeof programs[p]->name);
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
    if (index >= 0 && index <= 5) {
        std::strcpy(text, kParameterNames[index]);
    } else if (index >= 6 && index <= 21) {
        std::sprintf(text, "Band %dGate Level", static_cast<int>(index - 5));
    }
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

// Events are accepted and have no effect.
VstInt32 APlugin::processEvents(VstEvents*) { return 1; }

void APlugin::resume() { wantEvents(1); }
