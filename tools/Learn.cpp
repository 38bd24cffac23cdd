#include "Learn.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "AudioFiles.h"
#include "ClapRender.h"
#include "GateEngine.h"
#include "ParameterTable.h"
#include "PluginHost.h"
#include "ValueTexts.h"

namespace halvorine {

namespace {

// Frames per file read, and per engine block (the meters hold the largest
// level whatever the blocks).
constexpr long long kPieceFrames = 8192;
constexpr int kBlockFrames = 1024;

// The parameter set the engine gets from --program and --set, resolved as
// the CLAP edition's render resolves them (ClapInstance::configure): the
// program's values, or the initial program's, then each setting.
void resolveSettings(const Settings& settings, float set[gate::kNumParams]) {
    int program = params::kInitialProgram;
    if (!settings.program.empty()) {
        std::vector<std::string> names(params::kProgramNames, params::kProgramNames + params::kNumPrograms);
        program = findName(names, settings.program, "program");
    }
    for (int i = 0; i < gate::kNumParams; ++i)
        set[i] = params::FactoryValue(program, i);
    std::vector<std::string> names;
    for (const params::Parameter& parameter : params::kParameters)
        names.push_back(parameter.hostName);
    for (const auto& [name, text] : settings.set) {
        const int index = findName(names, name, "parameter");
        set[index] = settingValue(index, text);
    }
}

}  // namespace

NothingLearned::NothingLearned(const std::string& noise)
    : std::runtime_error(noise + " held no audio above the bands' floor (silence, or too short): nothing learned") {}

Learned learn(const LearnOptions& options) {
    float set[gate::kNumParams];
    resolveSettings(options.settings, set);
    const int source = options.keySource.empty() ? 0 : keySourceIndex(options.keySource);
    if (source < 0)
        throw std::runtime_error("unknown key source \"" + options.keySource + "\"");

    InputFile input(options.noise);
    const SF_INFO& info = input.info();
    Learned learned;
    learned.sampleRate = info.samplerate;
    if (!(info.samplerate >= gate::kMinDesignRate && info.samplerate <= gate::kMaxDesignRate))
        throw std::runtime_error(options.noise + " is at " + std::to_string(info.samplerate) +
                                 " Hz; the gate runs from 8000 to 768000 Hz");

    // The engine itself, as every edition runs it: the plug-in libraries
    // have no way to hand their meters to a host, and these are the very
    // meters the editor reads.
    auto engine = std::make_unique<gate::GateEngine>();
    for (int i = 0; i < gate::kNumParams; ++i)
        engine->setParameter(i, set[i]);
    engine->setDesignRate(static_cast<float>(info.samplerate));
    // The key sources are in the Key parameter's order; External is keyed
    // by the noise itself, which is then what the gates hear.
    engine->setKeySource(static_cast<gate::KeySource>(source));
    // It takes the meters once, at the end: they must cover every block.
    engine->setMetering(true);

    std::vector<float> interleaved(static_cast<size_t>(kPieceFrames) * info.channels);
    std::vector<float> left(kBlockFrames), right(kBlockFrames), outL(kBlockFrames), outR(kBlockFrames);
    for (;;) {
        if (int sig = InterruptGuard::pending())
            throw Interrupted(sig);
        const long long frames = input.read(interleaved.data(), kPieceFrames);
        if (frames == 0)
            break;
        for (long long start = 0; start < frames; start += kBlockFrames) {
            const int n = static_cast<int>(std::min<long long>(kBlockFrames, frames - start));
            // A mono file feeds both channels, as render does.
            const float* from = interleaved.data() + start * info.channels;
            for (int i = 0; i < n; ++i) {
                left[i] = from[i * info.channels];
                right[i] = from[i * info.channels + info.channels - 1];
            }
            engine->processReplacing(left.data(), right.data(), outL.data(), outR.data(), n, left.data(),
                                     right.data());
        }
    }
    // One take: the meters hold each band's largest level since the
    // engine started.
    gate::BandMeterReading reading;
    engine->meters().take(reading);
    if (reading.blocks == 0)
        std::fill(reading.level, reading.level + gate::kNumBands, 0.0f);

    float levels[gate::kNumBands];
    bool heard[gate::kNumBands];
    learned.heard = gate::LearnGateLevels(set, static_cast<float>(info.samplerate), reading.level,
                                          options.marginDb, levels, heard);
    if (learned.heard == 0)
        throw NothingLearned(options.noise);
    for (int k = 0; k < gate::kNumBands; ++k) {
        const int index = gate::kFirstGateLevel + k;
        const std::string text = valueText(index, levels[k]);
        // The text must bring back the very level (gate::GateLevelOfTenths
        // follows the read-out); a level that does not is a fault here.
        if (settingValue(index, text) != levels[k])
            throw std::runtime_error("the learned level of band " + std::to_string(k + 1) +
                                     " does not read back from " + text);
        learned.sets.emplace_back(params::kParameters[index].hostName, text);
        if (!heard[k])
            learned.silentBands.push_back(k + 1);
    }
    return learned;
}

std::string setArguments(const Learned& learned) {
    std::string line;
    for (const auto& [name, text] : learned.sets)
        line += std::string(line.empty() ? "" : " ") + "--set \"" + name + "=" + text + "\"";
    return line;
}

void addLearnedLevels(RenderOptions& render, const std::string& noise, double marginDb) {
    if (!render.input.empty()) {
        InputFile input(render.input);
        InputFile learnFrom(noise);
        if (learnFrom.info().samplerate != input.info().samplerate)
            throw std::runtime_error("the noise " + noise + " is at " + std::to_string(learnFrom.info().samplerate) +
                                     " Hz and the input at " + std::to_string(input.info().samplerate) +
                                     " Hz; learn from noise at the input's rate");
    }
    LearnOptions options;
    options.noise = noise;
    options.marginDb = marginDb;
    options.settings = render.settings;
    options.keySource = render.keySource;
    const Learned learned = learn(options);
    render.settings.set.insert(render.settings.set.end(), learned.sets.begin(), learned.sets.end());
}

}  // namespace halvorine
