#include "DAudioEffect.h"

#include <cmath>
#include <cstring>

#include "DVstUtils.h"
#include "FloatingPointGuard.h"

// ---------------------------------------------------------------------------
// Helpers shared by the host interface

bool CopyText(char* dest, const char* text, int capacity) {
    if (dest == nullptr || capacity <= 0)
        return false;
    size_t length = std::strlen(text);
    if (length > static_cast<size_t>(capacity - 1))
        length = static_cast<size_t>(capacity - 1);
    std::memcpy(dest, text, length);
    dest[length] = '\0';
    return true;
}

int32_t RoundHalfEven(double x) {
    if (!std::isfinite(x) || x >= 2147483647.0 || x <= -2147483648.0)
        return 0;
    double whole = std::floor(x);
    double fraction = x - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return static_cast<int32_t>(whole);
}

// ---------------------------------------------------------------------------
// Entry functions placed in the record. They keep no state: the object is
// found through the record's `object` field. The record holds each of them
// behind a floating-point guard (fpenv::Guarded): the host's thread may have
// exceptions unmasked, and gets its own settings back on return.

namespace {

AudioEffect* objectOf(AEffect* e) { return static_cast<AudioEffect*>(e->object); }

VstIntPtr VSTCALLBACK DispatcherEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                      float opt) {
    AudioEffect* object = objectOf(e);
    VstIntPtr answer = 0;
    try {
        answer = object->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        // Nothing may unwind into the host; a request that failed answers 0.
        answer = 0;
    }
    if (opcode == effClose) {
        delete object;  // the record goes with it
        return 1;
    }
    return answer;
}

void VSTCALLBACK ProcessEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    objectOf(e)->process(inputs, outputs, sampleFrames);
}

void VSTCALLBACK ProcessReplacingEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
    objectOf(e)->processReplacing(inputs, outputs, sampleFrames);
}

void VSTCALLBACK SetParameterEntry(AEffect* e, VstInt32 index, float value) {
    objectOf(e)->setParameter(index, value);
}

float VSTCALLBACK GetParameterEntry(AEffect* e, VstInt32 index) { return objectOf(e)->getParameter(index); }

}  // namespace

// ---------------------------------------------------------------------------
// AEffEditor

AEffEditor::AEffEditor(AudioEffect* effect) : effect(effect) {}
VstInt32 AEffEditor::getRect(ERect**) { return 0; }
VstInt32 AEffEditor::open(void* ptr) {
    systemWindow = ptr;
    return 0;
}
void AEffEditor::close() {}
void AEffEditor::idle() {
    if (updateFlag != 0) {
        updateFlag = 0;
        update();
    }
}
void AEffEditor::update() {}
void AEffEditor::postUpdate() { updateFlag = 1; }
VstInt32 AEffEditor::onKeyDown(VstKeyCode&) { return -1; }
VstInt32 AEffEditor::onKeyUp(VstKeyCode&) { return -1; }
VstInt32 AEffEditor::setKnobMode(VstInt32) { return 0; }
bool AEffEditor::onWheel(float) { return false; }

// ---------------------------------------------------------------------------
// AudioEffect

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : sampleRate(44100.0f),
      editor(nullptr),
      numPrograms(numPrograms),
      numParams(numParams),
      curProgram(0),
      blockSize(1024),
      audioMaster(audioMaster) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = fpenv::Guarded<DispatcherEntry>;
    cEffect.process = fpenv::Guarded<ProcessEntry>;
    cEffect.setParameter = fpenv::Guarded<SetParameterEntry>;
    cEffect.getParameter = fpenv::Guarded<GetParameterEntry>;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = FourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = fpenv::Guarded<ProcessReplacingEntry>;
}

AudioEffect::~AudioEffect() {
    delete editor;
    editor = nullptr;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(VstInt32 bit, bool state) {
    if (state)
        cEffect.flags |= bit;
    else
        cEffect.flags &= ~bit;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (audioMaster == nullptr)
        return 0;
    return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::setSampleRate(float newRate) { sampleRate = newRate; }
void AudioEffect::setBlockSize(VstInt32 newSize) { blockSize = newSize; }
void AudioEffect::setParameter(VstInt32, float) {}
float AudioEffect::getParameter(VstInt32) { return 0.0f; }

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    // The plug-in holds the value before the host hears of it.
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::processReplacing(float**, float**, VstInt32) {}
void AudioEffect::open() {}
void AudioEffect::close() {}
VstInt32 AudioEffect::getProgram() { return curProgram; }
void AudioEffect::setProgram(VstInt32 program) { curProgram = program; }
void AudioEffect::setProgramName(char*) {}
void AudioEffect::getProgramName(char*) {}
void AudioEffect::getParameterLabel(VstInt32, char*) {}
void AudioEffect::getParameterDisplay(VstInt32, char*) {}
void AudioEffect::getParameterName(VstInt32, char*) {}
float AudioEffect::getVu() { return 0.0f; }
VstInt32 AudioEffect::getChunk(void**, bool) { return 0; }
VstInt32 AudioEffect::setChunk(void*, VstInt32, bool) { return 0; }
void AudioEffect::suspend() {}
void AudioEffect::resume() {}

void AudioEffect::setUniqueID(VstInt32 iD) { cEffect.uniqueID = iD; }
void AudioEffect::setNumInputs(VstInt32 inputs) { cEffect.numInputs = inputs; }
void AudioEffect::setNumOutputs(VstInt32 outputs) { cEffect.numOutputs = outputs; }
void AudioEffect::hasVu(bool state) { setFlag(effFlagsHasVu, state); }
void AudioEffect::hasClip(bool state) { setFlag(effFlagsHasClip, state); }
void AudioEffect::canMono(bool state) { setFlag(effFlagsCanMono, state); }
void AudioEffect::canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
void AudioEffect::programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
void AudioEffect::setRealtimeQualities(VstInt32 qualities) { cEffect.realQualities = qualities; }
void AudioEffect::setOfflineQualities(VstInt32 qualities) { cEffect.offQualities = qualities; }
void AudioEffect::setInitialDelay(VstInt32 delay) { cEffect.initialDelay = delay; }

VstInt32 AudioEffect::getMasterVersion() {
    VstInt32 version = static_cast<VstInt32>(callHost(audioMasterVersion));
    return version == 0 ? 1 : version;
}

VstInt32 AudioEffect::getCurrentUniqueId() { return static_cast<VstInt32>(callHost(audioMasterCurrentId)); }

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::isInputConnected(VstInt32 input) {
    if (audioMaster == nullptr)
        return true;
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    if (audioMaster == nullptr)
        return true;
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

// Requests 0 to 24. Every request that reads or writes through the host's
// pointer does nothing with a null pointer and answers 0: a host bug must not
// take the process down. Likewise a request whose `value` is a number that
// does not fit the operation's 32 bits (see FitsInt32).
VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (static_cast<uint32_t>(opcode) > static_cast<uint32_t>(effSetChunk))
        return 0;
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        if (value < numPrograms && FitsInt32(value))
            setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (text != nullptr)
            setProgramName(text);
        return 0;
    case effGetProgramName:
        if (text != nullptr)
            getProgramName(text);
        return 0;
    case effGetParamLabel:
        if (text != nullptr)
            getParameterLabel(index, text);
        return 0;
    case effGetParamDisplay:
        if (text != nullptr)
            getParameterDisplay(index, text);
        return 0;
    case effGetParamName:
        if (text != nullptr)
            getParameterName(index, text);
        return 0;
    case effGetVu:
        return RoundHalfEven(static_cast<double>(getVu()) * 32767.0);
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        if (FitsInt32(value))
            setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect:
        if (editor == nullptr || ptr == nullptr)
            return 0;
        return editor->getRect(static_cast<ERect**>(ptr));
    case effEditOpen:
        return editor != nullptr ? editor->open(ptr) : 0;
    case effEditClose:
        if (editor != nullptr)
            editor->close();
        return 0;
    case effEditIdle:
        if (editor != nullptr)
            editor->idle();
        return 0;
    case effIdentify:
        return FourCharCode('N', 'v', 'E', 'f');
    case effGetChunk:
        if (ptr == nullptr)
            return 0;
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        if (ptr == nullptr || !FitsInt32(value))
            return 0;
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:  // effEditDraw, effEditMouse, effEditKey, effEditTop, effEditSleep
        return 0;
    }
}
