#include "BenchKernels.h"

#include <cstdint>
#include <cstring>

#include "BaselineEngine.h"
#include "uPlugin.h"

namespace benchkernels {

namespace {

class EngineRunner : public Runner {
public:
    EngineRunner(std::unique_ptr<APlugin> plugin, bool takeMeters)
        : plugin_(std::move(plugin)), takeMeters_(takeMeters) {}
    void process(const float* inL, const float* inR, float* outL, float* outR, int frames) override {
        float* in[2] = {const_cast<float*>(inL), const_cast<float*>(inR)};
        float* out[2] = {outL, outR};
        plugin_->processReplacing(in, out, frames);
        if (takeMeters_)
            plugin_->engine().meters().take(reading_);
    }

private:
    std::unique_ptr<APlugin> plugin_;
    bool takeMeters_;
    gate::BandMeterReading reading_{};
};

class BaselineRunner : public Runner {
public:
    BaselineRunner(const gate::DerivedValues& derived, bool avx)
        : engine_(std::make_unique<gate_baseline::Engine>(derived, avx)) {}
    void process(const float* inL, const float* inR, float* outL, float* outR, int frames) override {
        engine_->processReplacing(inL, inR, outL, outR, frames);
    }

private:
    std::unique_ptr<gate_baseline::Engine> engine_;
};

}  // namespace

const std::vector<Choice>& Choices() {
    static const std::vector<Choice> choices = {
        {"baseline-sse2", true, gate::KernelSet::Sse2, ""},
        {"baseline-avx", true, gate::KernelSet::Avx, ""},
        {"sse2", false, gate::KernelSet::Sse2, "baseline-sse2"},
        {"avx", false, gate::KernelSet::Avx, "baseline-avx"},
        {"avx512", false, gate::KernelSet::Avx512, "baseline-avx"},
        {"sse2+mid", false, gate::KernelSet::Sse2, "sse2", gate::KeySource::Mid},
        {"avx+mid", false, gate::KernelSet::Avx, "avx", gate::KeySource::Mid},
        {"avx512+mid", false, gate::KernelSet::Avx512, "avx512", gate::KeySource::Mid},
    };
    return choices;
}

const Choice* FindChoice(const std::string& name) {
    for (const Choice& c : Choices())
        if (c.name == name)
            return &c;
    return nullptr;
}

std::unique_ptr<Runner> MakeRunner(const Choice& choice, int program, bool takeMeters) {
    if (!gate::CpuRuns(choice.set))
        return nullptr;
    auto plugin = std::make_unique<APlugin>(nullptr);
    plugin->setProgram(program);
    if (choice.baseline) {
        plugin->engine().refresh();
        return std::make_unique<BaselineRunner>(plugin->engine().derived(), choice.set == gate::KernelSet::Avx);
    }
    plugin->engine().useKernel(choice.set);
    plugin->engine().setKeySource(choice.key);
    return std::make_unique<EngineRunner>(std::move(plugin), takeMeters);
}

void MakeSignal(std::vector<float>& left, std::vector<float>& right, int frames) {
    uint32_t s = 12345;
    left.resize(static_cast<size_t>(frames));
    right.resize(static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        s = s * 1664525u + 1013904223u;
        const float noise = static_cast<float>(static_cast<int32_t>(s) >> 8) / 8388608.0f;
        const int phase = n % 11025;
        const float env = phase < 3000 ? 1.0f - phase / 3000.0f : 0.001f;
        left[static_cast<size_t>(n)] = env * noise;
        right[static_cast<size_t>(n)] = env * noise * 0.7f;
    }
}

bool MatchesEngine(const Choice& choice, int program, int frames) {
    auto runner = MakeRunner(choice, program);
    const Choice* sse2 = nullptr;
    for (const Choice& c : Choices())
        if (!c.baseline && c.set == gate::KernelSet::Sse2 && c.key == choice.key)
            sse2 = &c;
    auto reference = MakeRunner(*sse2, program);
    if (!runner || !reference)
        return false;
    std::vector<float> l, r;
    MakeSignal(l, r, frames);
    std::vector<float> outL(l.size()), outR(l.size()), refL(l.size()), refR(l.size());
    constexpr int kBlock = 512;
    for (int pos = 0; pos < frames; pos += kBlock) {
        const int n = frames - pos < kBlock ? frames - pos : kBlock;
        runner->process(l.data() + pos, r.data() + pos, outL.data() + pos, outR.data() + pos, n);
        reference->process(l.data() + pos, r.data() + pos, refL.data() + pos, refR.data() + pos, n);
    }
    return std::memcmp(outL.data(), refL.data(), outL.size() * sizeof(float)) == 0 &&
           std::memcmp(outR.data(), refR.data(), outR.size() * sizeof(float)) == 0;
}

}  // namespace benchkernels
