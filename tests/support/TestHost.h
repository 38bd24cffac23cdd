// A test host: loads the plug-in library as a DAW does, through its entry
// function, and records every callback the plug-in makes, in order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "DAEffectX.h"

namespace testhost {

struct Callback {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// The plug-in module, loaded once per process and kept loaded.
class Module {
public:
    // Loads the library from `path` (by default the module built beside
    // the test program). Aborts the test program if it cannot.
    static Module& instance();
    static void setPath(const std::string& path);

    using EntryProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);
    EntryProc vstPluginMain() const { return vstPluginMain_; }
    EntryProc main() const { return main_; }
    const std::string& path() const { return path_; }

private:
    Module();
    std::string path_;
    void* handle_ = nullptr;
    EntryProc vstPluginMain_ = nullptr;
    EntryProc main_ = nullptr;
};

// Records every callback and answers through `answer` (2400 to
// audioMasterVersion and 0 to everything else unless a test sets it).
// One Host can serve several instances; callbacks made while no Host is
// current are answered 0.
class Host {
public:
    Host();
    ~Host();

    std::function<VstIntPtr(const Callback&)> answer;
    std::vector<Callback> calls;

    // Builds an instance through the exported `main` (or VSTPluginMain).
    AEffect* create(bool throughMain = true);

    std::vector<VstInt32> opcodes() const;
    size_t count(VstInt32 opcode) const;
    void clear() { calls.clear(); }

    static VstIntPtr VSTCALLBACK audioMaster(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                             void* ptr, float opt);

private:
    Host* previous_;
};

// From now on every call through `main` and the records it builds runs as
// in a host that unmasks invalid operation, division by zero and overflow
// on its threads; a call that leaves the thread's floating-point state
// changed fails the running test (see HostFloatingPoint.h). The test
// programs' --unmasked-exceptions.
void UnmaskExceptionsAroundCalls();

// The test program's command line, as main() received it.
void SetCommandLine(int argc, char** argv);
const std::vector<std::string>& CommandLine();

// Request helpers: straight through the record.
VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f);
std::string textRequest(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);

// A stereo buffer pair with guard words before and after each channel,
// so that a write past the host's buffer is seen.
class GuardedStereo {
public:
    explicit GuardedStereo(int frames, float fill = 0.0f);
    float** channels() { return pointers_; }
    float* left() { return pointers_[0]; }
    float* right() { return pointers_[1]; }
    bool guardsIntact() const;
    int frames() const { return frames_; }

private:
    static constexpr int kGuard = 16;
    static constexpr float kGuardValue = -12345.678f;
    int frames_;
    std::vector<float> storage_[2];
    float* pointers_[2];
};

}  // namespace testhost
