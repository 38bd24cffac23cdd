// Rendering with a key. The VST 2.x library has two inputs and no "Key"
// parameter, so `render --key` and `--key-source` reach the same engine
// through the CLAP edition, Halvorine.clap: a plain C interface that the
// tool hosts itself here, through the project's declarations (clap/abi/),
// with the key on the plug-in's second input port.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "abi/Extensions.h"

namespace halvorine {

struct Settings;

// Where Halvorine.clap is looked for when no module is named, in this
// order: beside the running program (the build tree), in <prefix>/lib/clap
// for a program installed in <prefix>/bin, in the user's ~/.clap, and in
// /usr/lib/clap (the system's folder of CLAP plug-ins).
std::vector<std::string> clapSearchPaths();
// The first of those that exists, or "" if none does.
std::string findDefaultClap();
// The message for when none does: what was looked for and where.
std::string noDefaultClapMessage();

// The Key parameter's choices as --key-source names them, in its order
// (the plain values 0..4).
constexpr int kNumKeySources = 5;
extern const char* const kKeySourceNames[kNumKeySources];
// The choice that `name` names, or -1.
int keySourceIndex(const std::string& name);

// A loaded module, its entry initialised, and its plug-in factory. A batch
// loads it once and creates every instance from it (the factory may be
// asked from any thread); the module stays loaded while any of them lives.
class ClapModule {
public:
    // Throws std::runtime_error with a one-line message on failure.
    explicit ClapModule(const std::string& path);
    ~ClapModule();  // deinitialises the entry and unloads the module
    ClapModule(const ClapModule&) = delete;
    ClapModule& operator=(const ClapModule&) = delete;

    const std::string& path() const { return path_; }
    const clapabi::clap_plugin_factory_t* factory() const { return factory_; }
    const char* pluginId() const { return pluginId_; }

private:
    void unload();

    std::string path_;
    void* library_ = nullptr;
    const clapabi::clap_plugin_entry_t* entry_ = nullptr;
    bool entryInitialised_ = false;
    const clapabi::clap_plugin_factory_t* factory_ = nullptr;
    const char* pluginId_ = nullptr;
};

// One instance of a module's plug-in, driven from one thread as an offline
// host drives it: configure, activate, process, and the destructor
// deactivates and destroys it. Instances are independent: a batch drives
// several at once, each on its own thread.
class ClapInstance {
public:
    // Loads the module and creates and initialises its first plug-in; throws
    // std::runtime_error with a one-line message, also for a module without
    // a stereo main input and output, a key input port or a Key parameter.
    explicit ClapInstance(const std::string& path);
    // The same from a module loaded already.
    explicit ClapInstance(std::shared_ptr<const ClapModule> module);
    ~ClapInstance();
    ClapInstance(const ClapInstance&) = delete;
    ClapInstance& operator=(const ClapInstance&) = delete;

    // Before activate: the program, then the parameters (as --program and
    // --set ask, by the VST 2.x names or indices, which are the CLAP IDs),
    // then the key source (0..4), passed through the parameters' flush.
    void configure(const Settings& settings, int keySource);
    void activate(double sampleRate, int maxFrames);
    // One block of at most maxFrames; each of in, key and out holds two
    // channels (a mono key: the same channel twice).
    void process(float* const* in, float* const* key, float* const* out, int frames);

private:
    void unload();

    std::shared_ptr<const ClapModule> module_;
    std::string path_;
    clapabi::clap_host_t host_{};
    const clapabi::clap_plugin_t* plugin_ = nullptr;
    const clapabi::clap_plugin_params_t* params_ = nullptr;
    bool active_ = false, processing_ = false;
    int64_t steadyTime_ = 0;
};

}  // namespace halvorine
