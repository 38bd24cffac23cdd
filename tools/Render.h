// Rendering an audio file through a plug-in, block by block.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace halvorine {

class Plugin;
class PluginLibrary;
class ClapModule;

// What --program and --set ask for, applied in that order.
struct Settings {
    std::string program;                                  // name or index; empty: the plug-in's own
    std::vector<std::pair<std::string, std::string>> set;  // NAME or index, value text
};

// Splits "NAME=VALUE" at its last '='; throws when there is none.
std::pair<std::string, std::string> splitAssignment(const std::string& text);
// Selects the program, then sets each parameter; throws with a one-line
// message for an unknown name, or a value that is neither a number in 0..1
// nor a value text of the parameter in its range (ValueTexts.h).
void applySettings(Plugin& plugin, const Settings& settings);

struct RenderOptions {
    std::string input;
    std::string output;
    std::string plugin;  // path of the library, or with a key source of the CLAP module
    // With a key source ("left" ... "external", as --key-source names them)
    // the render goes through the CLAP edition (ClapRender.h); `key` is the
    // key file, or empty for the sources taken from the input itself.
    std::string key;
    std::string keySource;
    Settings settings;
    int blockSize = 1024;
    // The library (or CLAP module) loaded once for many renders; when
    // empty, render() loads `plugin` itself.
    std::shared_ptr<const PluginLibrary> library;
    std::shared_ptr<const ClapModule> clapModule;
    // Told the frames done of the input's total (0 when unknown), at its
    // rate, as the render goes.
    std::function<void(long long done, long long total, int sampleRate)> progress;
};

struct Level {
    double peak = 0.0;        // largest magnitude, linear
    double sumSquares = 0.0;  // over every sample of every channel
    long long samples = 0;
    double peakDb() const;
    double rmsDb() const;
};

struct RenderResult {
    long long frames = 0;
    int sampleRate = 0;
    int inputChannels = 0;
    double seconds = 0.0;  // wall time of the whole render
    Level in, out;
    double audioSeconds() const { return sampleRate > 0 ? double(frames) / sampleRate : 0.0; }
    double realTimeFactor() const { return seconds > 0 ? audioSeconds() / seconds : 0.0; }
    std::string summary(const std::string& output) const;
};

// Thrown when SIGINT, SIGTERM or SIGHUP stopped a render; the output was
// not written and an earlier file of that name is untouched.
struct Interrupted : std::runtime_error {
    explicit Interrupted(int signal);
    int signal;
};

// Renders options.input into options.output. The output is written to a
// temporary file beside it and renamed over it only when everything
// succeeded. Memory use does not grow with the length of the input.
// A key file has the input's rate and one or two channels, and is not
// longer than the input; a shorter one goes on as silence.
// Throws std::runtime_error (one line) or Interrupted.
RenderResult render(const RenderOptions& options);

// Installs the interrupt handlers for the life of the object.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    static int pending();  // the signal received, 0 if none
};

}  // namespace halvorine
