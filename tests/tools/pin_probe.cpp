// A plug-in with one input and two outputs that asks its host which of its
// pins are connected, and answers that as its effect name: "in 10 out 110"
// lists input 0 and 1 and outputs 0 to 2, 1 for connected.
#include <cstring>
#include <string>

#include "DAEffectX.h"

namespace {

audioMasterCallback g_host = nullptr;
AEffect g_effect{};

bool Connected(AEffect* effect, VstInt32 index, bool output) {
    // Answer 0 is "connected".
    return g_host(effect, audioMasterPinConnected, index, output ? 1 : 0, nullptr, 0.0f) == 0;
}

VstIntPtr VSTCALLBACK Dispatch(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
    if (opcode != effGetEffectName || ptr == nullptr)
        return 0;
    std::string name = "in ";
    for (int i = 0; i < 2; ++i)
        name += Connected(effect, i, false) ? '1' : '0';
    name += " out ";
    for (int i = 0; i < 3; ++i)
        name += Connected(effect, i, true) ? '1' : '0';
    std::strcpy(static_cast<char*>(ptr), name.c_str());
    return 1;
}

void VSTCALLBACK Process(AEffect*, float**, float**, VstInt32) {}
void VSTCALLBACK SetParameter(AEffect*, VstInt32, float) {}
float VSTCALLBACK GetParameter(AEffect*, VstInt32) { return 0.0f; }

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
    g_host = host;
    g_effect.magic = kEffectMagic;
    g_effect.dispatcher = &Dispatch;
    g_effect.process = &Process;
    g_effect.processReplacing = &Process;
    g_effect.setParameter = &SetParameter;
    g_effect.getParameter = &GetParameter;
    g_effect.numInputs = 1;
    g_effect.numOutputs = 2;
    g_effect.flags = effFlagsCanReplacing;
    return &g_effect;
}
