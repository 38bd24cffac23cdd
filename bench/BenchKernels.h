// The kernels the benchmarks compare, by name: the engine's own, run through
// the plug-in object, and the baseline (the kernels as they stood before
// the speed work), run by a driver of its own from the same derived values.
// Every figure is then a ratio measured side by side in one run.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "GateEngine.h"
#include "GateKernel.h"

namespace benchkernels {

struct Choice {
    // "baseline-sse2", "baseline-avx", "sse2", "avx", "avx512", and each
    // kernel keyed by the mid signal: "sse2+mid", "avx+mid", "avx512+mid".
    std::string name;
    bool baseline;
    gate::KernelSet set;
    // What ran before on the processors this kernel runs on (for a kernel
    // of today): the figure its speed-up is measured against. For a keyed
    // row, the same kernel keyed by the left bands: what the key bands cost.
    std::string before;
    gate::KeySource key = gate::KeySource::Left;
};

// Every kernel by name, baselines first; also those this processor lacks.
const std::vector<Choice>& Choices();
const Choice* FindChoice(const std::string& name);

class Runner {
public:
    virtual ~Runner() = default;
    virtual void process(const float* inL, const float* inR, float* outL, float* outR, int frames) = 0;
};

// A fresh instance with a factory program; null where the processor lacks
// the kernel. `takeMeters`: an engine kernel's meters are taken after every
// block, as an open editor keeps them on (metered kernels).
std::unique_ptr<Runner> MakeRunner(const Choice& choice, int program, bool takeMeters = false);

// A loud, gated-drum-like stereo test signal that opens and closes the gates.
void MakeSignal(std::vector<float>& left, std::vector<float>& right, int frames);

// Whether `choice` computes exactly the SSE2 engine kernel's samples (with
// the same key source) for the first `frames` frames of the test signal.
bool MatchesEngine(const Choice& choice, int program, int frames);

}  // namespace benchkernels
