#include "Render.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "AudioFiles.h"
#include "ClapRender.h"
#include "PluginHost.h"
#include "ValueTexts.h"

namespace halvorine {

namespace {

// Read by every render thread; a lock-free atomic may be stored from a
// signal handler.
std::atomic<int> pendingSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "stored from a signal handler");

extern "C" void onInterrupt(int signal) { pendingSignal = signal; }

constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Frames per file read and write (rounded down to whole blocks).
constexpr size_t kFileFrames = 32768;

double toDb(double linear) { return linear > 0.0 ? 20.0 * std::log10(linear) : -INFINITY; }

std::string dbText(double db) {
    if (!std::isfinite(db))
        return "-inf";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", db);
    return buffer;
}

// Four running sums side by side: one chain of additions would wait for
// each sample's predecessor.
void measure(Level& level, const float* samples, size_t count) {
    double peak[4] = {level.peak, 0.0, 0.0, 0.0}, sum[4] = {0.0, 0.0, 0.0, 0.0};
    size_t i = 0;
    for (; i + 4 <= count; i += 4)
        for (int j = 0; j < 4; ++j) {
            const double v = samples[i + j];
            peak[j] = std::max(peak[j], std::fabs(v));
            sum[j] += v * v;
        }
    for (; i < count; ++i) {
        const double v = samples[i];
        peak[0] = std::max(peak[0], std::fabs(v));
        sum[0] += v * v;
    }
    level.peak = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
    level.sumSquares += (sum[0] + sum[1]) + (sum[2] + sum[3]);
    level.samples += static_cast<long long>(count);
}

}  // namespace

double Level::peakDb() const { return toDb(peak); }
double Level::rmsDb() const { return samples > 0 ? toDb(std::sqrt(sumSquares / double(samples))) : -INFINITY; }

std::string RenderResult::summary(const std::string& output) const {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer,
                  "%s: %.2f s at %d Hz %s in %.2f s (%.0fx real time); input peak %s dBFS, RMS %s dBFS; "
                  "output peak %s dBFS, RMS %s dBFS",
                  output.c_str(), audioSeconds(), sampleRate, inputChannels == 1 ? "mono" : "stereo", seconds,
                  realTimeFactor(), dbText(in.peakDb()).c_str(), dbText(in.rmsDb()).c_str(),
                  dbText(out.peakDb()).c_str(), dbText(out.rmsDb()).c_str());
    return buffer;
}

Interrupted::Interrupted(int sig) : std::runtime_error("interrupted"), signal(sig) {}

InterruptGuard::InterruptGuard() {
    pendingSignal = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int sig : kInterruptSignals)
        sigaction(sig, &action, nullptr);
}

InterruptGuard::~InterruptGuard() {
    for (int sig : kInterruptSignals)
        std::signal(sig, SIG_DFL);
}

int InterruptGuard::pending() { return pendingSignal; }

std::pair<std::string, std::string> splitAssignment(const std::string& text) {
    size_t eq = text.find_last_of('=');
    if (eq == std::string::npos || eq == 0)
        throw std::runtime_error("--set needs NAME=VALUE, got \"" + text + "\"");
    return {text.substr(0, eq), text.substr(eq + 1)};
}

void applySettings(Plugin& plugin, const Settings& settings) {
    if (!settings.program.empty())
        plugin.setProgram(plugin.findProgram(settings.program));
    for (const auto& [name, text] : settings.set) {
        int index = plugin.findParameter(name);
        plugin.setParameter(index, settingValue(plugin, index, text));
    }
}

// The key file, checked against the input before anything is written: a
// key is heard at the input's rate, frame by frame, so it must have that
// rate, and it may not run on past the end of the input, where its rest
// would be lost without a word. (InputFile refuses more than two channels.)
static void checkKey(const SF_INFO& key, const SF_INFO& in, const RenderOptions& options) {
    if (key.samplerate != in.samplerate)
        throw std::runtime_error("the key " + options.key + " is at " + std::to_string(key.samplerate) +
                                 " Hz and the input at " + std::to_string(in.samplerate) +
                                 " Hz; give a key at the input's rate");
    if (key.frames > in.frames)
        throw std::runtime_error("the key is longer than the input (" + std::to_string(key.frames) + " frames against " +
                                 std::to_string(in.frames) + "); cut it to the input's length");
}

RenderResult render(const RenderOptions& options) {
    auto started = std::chrono::steady_clock::now();
    InputFile input(options.input);
    const SF_INFO& in = input.info();
    if (sameFile(options.input, options.output))
        throw std::runtime_error("refusing to write " + options.output + " over the input " + options.input);

    // Keyed, the CLAP edition: two stereo inputs (the audio and the key) and
    // a stereo output. Otherwise the VST 2.x library with its own pins.
    const bool keyed = !options.keySource.empty();
    std::unique_ptr<InputFile> key;
    if (keyed && !options.key.empty()) {
        if (sameFile(options.key, options.output))
            throw std::runtime_error("refusing to write " + options.output + " over the key " + options.key);
        key = std::make_unique<InputFile>(options.key, true);
        checkKey(key->info(), in, options);
    }
    std::unique_ptr<Plugin> plugin;
    std::unique_ptr<ClapInstance> clap;
    int numInputs = 2, numOutputs = 2;
    if (keyed) {
        const int source = keySourceIndex(options.keySource);
        if (source < 0)
            throw std::runtime_error("unknown key source \"" + options.keySource + "\"");
        clap = options.clapModule ? std::make_unique<ClapInstance>(options.clapModule)
                                  : std::make_unique<ClapInstance>(options.plugin);
        clap->configure(options.settings, source);
    } else {
        plugin = options.library ? std::make_unique<Plugin>(options.library, in.samplerate)
                                 : std::make_unique<Plugin>(options.plugin, in.samplerate);
        numInputs = plugin->effect()->numInputs;
        numOutputs = plugin->effect()->numOutputs;
        if (numOutputs < 1 || numOutputs > 8 || numInputs < 0 || numInputs > 8)
            throw std::runtime_error("plug-in " + options.plugin + " has " + std::to_string(numInputs) +
                                     " inputs and " + std::to_string(numOutputs) +
                                     " outputs; 0 to 8 inputs and 1 to 8 outputs work");
    }
    int format = chooseOutputFormat(options.output, in.format, in.samplerate, numOutputs);
    if (plugin) {
        plugin->open(options.blockSize);
        applySettings(*plugin, options.settings);
    }
    if (InterruptGuard::pending())
        throw Interrupted(InterruptGuard::pending());

    OutputFile output(options.output, format, in.samplerate, numOutputs);
    // The file is read and written in large pieces, each processed in
    // blocks of the requested size.
    const size_t block = static_cast<size_t>(options.blockSize);
    const size_t piece = block * std::max<size_t>(1, kFileFrames / block);
    std::vector<float> interleavedIn(piece * in.channels), interleavedOut(piece * numOutputs);
    std::vector<std::vector<float>> inputs(numInputs, std::vector<float>(block));
    std::vector<std::vector<float>> outputs(numOutputs, std::vector<float>(block));
    std::vector<float*> inputPointers, outputPointers;
    for (auto& channel : inputs)
        inputPointers.push_back(channel.data());
    for (auto& channel : outputs)
        outputPointers.push_back(channel.data());
    // The key's piece, and its channels for a block: silence where there is
    // no key file or it has ended; a mono key is its one channel twice.
    const int keyChannels = key ? key->info().channels : 1;
    std::vector<float> interleavedKey(keyed ? piece * keyChannels : 0);
    std::vector<std::vector<float>> keys(keyed ? keyChannels : 0, std::vector<float>(block));
    float* keyPointers[2] = {nullptr, nullptr};
    if (keyed) {
        keyPointers[0] = keys[0].data();
        keyPointers[1] = keys[keyChannels - 1].data();
    }

    RenderResult result;
    result.sampleRate = in.samplerate;
    result.inputChannels = in.channels;
    if (options.progress)
        options.progress(0, in.frames, in.samplerate);
    if (plugin)
        plugin->resume();
    else
        clap->activate(in.samplerate, options.blockSize);
    for (;;) {
        if (int sig = InterruptGuard::pending())
            throw Interrupted(sig);
        long long frames = input.read(interleavedIn.data(), static_cast<long long>(piece));
        if (frames == 0)
            break;
        const size_t total = static_cast<size_t>(frames);
        measure(result.in, interleavedIn.data(), total * in.channels);
        if (keyed) {
            size_t filled = 0;
            for (long long got = 1; key && filled < total && got > 0; filled += static_cast<size_t>(got))
                got = key->read(interleavedKey.data() + filled * keyChannels, static_cast<long long>(total - filled));
            std::fill(interleavedKey.begin() + filled * keyChannels, interleavedKey.end(), 0.0f);
        }
        for (size_t start = 0; start < total; start += block) {
            const size_t n = std::min(block, total - start);
            const float* from = interleavedIn.data() + start * in.channels;
            // Plug-in input k takes file channel k modulo the file's
            // channels: a mono file feeds both inputs of a stereo effect.
            for (int c = 0; c < numInputs; ++c) {
                const float* source = from + c % in.channels;
                float* target = inputs[c].data();
                for (size_t i = 0; i < n; ++i)
                    target[i] = source[i * in.channels];
            }
            if (plugin) {
                plugin->process(inputPointers.data(), outputPointers.data(), static_cast<int>(n));
            } else {
                for (int c = 0; c < keyChannels; ++c) {
                    const float* source = interleavedKey.data() + start * keyChannels + c;
                    for (size_t i = 0; i < n; ++i)
                        keys[c][i] = source[i * keyChannels];
                }
                clap->process(inputPointers.data(), keyPointers, outputPointers.data(), static_cast<int>(n));
            }
            float* to = interleavedOut.data() + start * numOutputs;
            for (int c = 0; c < numOutputs; ++c) {
                const float* source = outputs[c].data();
                for (size_t i = 0; i < n; ++i)
                    to[i * numOutputs + c] = source[i];
            }
        }
        measure(result.out, interleavedOut.data(), total * numOutputs);
        output.write(interleavedOut.data(), frames);
        result.frames += frames;
        if (options.progress)
            options.progress(result.frames, in.frames, in.samplerate);
    }
    if (plugin)
        plugin->suspend();
    clap.reset();
    if (int sig = InterruptGuard::pending())
        throw Interrupted(sig);
    output.commit();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

}  // namespace halvorine
