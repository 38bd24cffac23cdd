// Hosting a VST 2.x plug-in library the way a DAW does: through dlopen, the
// exported entry function and the effect record it returns, nothing else.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DAEffectX.h"

namespace halvorine {

// Where the project's own plug-in, Halvorine.so, is looked for when no
// library is named, in this order: beside the running program (the build
// tree), in <prefix>/lib/vst for a program installed in <prefix>/bin, and
// in the user's ~/.vst (where a per-user install puts it).
std::vector<std::string> pluginSearchPaths();
// The first of those that exists, or "" if none does.
std::string findDefaultPlugin();
// The message for when none does: what was looked for and where.
std::string noDefaultPluginMessage();

// The index that `nameOrIndex` selects among `names`: a whole number below
// their count, else the name exactly, else ignoring case. Throws with the
// list of names ("unknown <kind> ...") when nothing matches.
int findName(const std::vector<std::string>& names, const std::string& nameOrIndex, const std::string& kind);

using EntryProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);

// A loaded library and its entry function. A batch loads it once and builds
// every instance from it; the library stays loaded while any of them lives.
class PluginLibrary {
public:
    // Throws std::runtime_error with a one-line message on failure.
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();  // unloads the library
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    EntryProc entry() const { return entry_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    void* library_ = nullptr;
    EntryProc entry_ = nullptr;
};

// One instance of a library's effect.
//
// An instance is driven from one thread at a time; instances are
// independent, so several may live in a process, each on its own thread.
class Plugin {
public:
    // Loads the library and builds the instance, telling it `sampleRate`
    // already while it is being built (plug-ins ask for the rate then).
    // Throws std::runtime_error with a one-line message on failure.
    Plugin(const std::string& path, double sampleRate);
    // The same from a library loaded already.
    Plugin(std::shared_ptr<const PluginLibrary> library, double sampleRate);
    // Builds the instance through an entry function linked into this
    // program; `name` stands for the path in messages.
    using EntryProc = halvorine::EntryProc;
    Plugin(EntryProc entry, const std::string& name, double sampleRate);
    ~Plugin();  // effClose, then the library (if any) is unloaded
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    AEffect* effect() const { return effect_; }
    const std::string& path() const { return path_; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f);

    // effOpen, effSetSampleRate and effSetBlockSize.
    void open(int blockSize);
    // effMainsChanged 1 / 0. resume() before the first block, suspend() after
    // the last; the destructor suspends if still resumed.
    void resume();
    void suspend();
    // One block of at most the announced block size; inputs and outputs hold
    // numInputs and numOutputs channel pointers. Outputs are overwritten.
    void process(float** inputs, float** outputs, int frames);

    int numParams() const { return effect_->numParams; }
    int numPrograms() const { return effect_->numPrograms; }
    std::string parameterName(int index);
    std::string parameterLabel(int index);
    std::string parameterDisplay(int index);
    float parameter(int index) { return effect_->getParameter(effect_, index); }
    void setParameter(int index, float value) { effect_->setParameter(effect_, index, value); }
    std::string programName(int index);  // effGetProgramNameIndexed, or by switching when unsupported
    int currentProgram() { return static_cast<int>(dispatch(effGetProgram)); }
    void setProgram(int index) { dispatch(effSetProgram, 0, index); }
    // A text request that writes into a buffer (effGetEffectName and so on).
    std::string text(VstInt32 opcode, VstInt32 index = 0);

    // Resolves "Boost", "Band 3Gate Level" (exact, then ignoring case) or an
    // index; throws with the list of names when nothing matches.
    int findParameter(const std::string& nameOrIndex);
    int findProgram(const std::string& nameOrIndex);

    // The host's answers to the plug-in's callbacks.
    VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

private:
    void build(EntryProc entry);

    std::string path_;
    std::shared_ptr<const PluginLibrary> library_;
    AEffect* effect_ = nullptr;
    double sampleRate_;
    int blockSize_ = 0;
    bool resumed_ = false;
    bool processing_ = false;
};

}  // namespace halvorine
