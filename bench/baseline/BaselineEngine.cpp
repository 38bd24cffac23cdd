#include "BaselineEngine.h"

namespace gate_baseline {

Engine::Engine(const gate::DerivedValues& derived, bool avx) : avx_(avx) {
    for (int k = 0; k < kKernelBands; ++k) {
        kc_.b0[k] = derived.band[k].b0;
        kc_.b2[k] = derived.band[k].b2;
        kc_.a1[k] = derived.band[k].a1;
        kc_.a2[k] = derived.band[k].a2;
        kc_.threshold[k] = derived.threshold[k];
    }
    kc_.attackCoef = derived.attackCoef;
    kc_.attackNorm = derived.attackNorm;
    kc_.releaseCoef = derived.releaseCoef;
    kc_.releaseNorm = derived.releaseNorm;
    kc_.boostGain = derived.boostGain;
}

void Engine::processReplacing(const float* inL, const float* inR, float* outL, float* outR, int32_t frames) {
    const auto kernel = avx_ ? RunChunkAvx : RunChunkSse2;
    for (int32_t done = 0; done < frames; done += kKernelChunk) {
        const int32_t n = frames - done < kKernelChunk ? frames - done : kKernelChunk;
        kernel(kc_, state_, scratch_, inL + done, inR + done, outL + done, outR + done, n, false);
    }
}

}  // namespace gate_baseline
