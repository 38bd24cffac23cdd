// Drives a baseline kernel the way the engine drove it: the derived values
// of one parameter set, blocks cut into chunks of kKernelChunk frames.
#pragma once

#include <cstdint>

#include "BaselineKernel.h"
#include "GateMath.h"

namespace gate_baseline {

class Engine {
public:
    Engine(const gate::DerivedValues& derived, bool avx);
    void processReplacing(const float* inL, const float* inR, float* outL, float* outR, int32_t frames);

private:
    KernelCoefficients kc_{};
    ProcessState state_{};
    KernelScratch scratch_{};
    bool avx_;
};

}  // namespace gate_baseline
