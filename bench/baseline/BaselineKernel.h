// The baseline for the speed benchmarks: the chunk kernels as they stood
// before they were reworked for speed (one band group through the whole
// chunk at a time), kept unchanged apart from their namespace so that every
// figure is a ratio measured side by side in the same run. Not part of the
// plug-in.
//
// Plain data only: the AVX implementation is compiled with other code
// generation flags, so nothing here may be an inline function that the two
// could end up sharing.
#pragma once

#include <cstdint>

namespace gate_baseline {

constexpr int kKernelBands = 16;
// Frames per pass: the bands of a chunk are gated first, then the chunk's
// band sums are formed, several frames side by side.
constexpr int kKernelChunk = 64;

// Processing state. Every value is a 32-bit float held in a double, so the
// arithmetic between stored values runs in double without conversions on
// the way in. Nothing asks for more alignment than every heap allocator
// gives (8 bytes on 32-bit Windows): the kernels load and store unaligned.
struct ProcessState {
    // Inputs one and two frames back, the same for every band.
    double xL1, xL2, xR1, xR2;
    // Band outputs one and two frames back.
    double yL1[kKernelBands];
    double yL2[kKernelBands];
    double yR1[kKernelBands];
    double yR2[kKernelBands];
    // Two-stage envelope follower of each left band, and its gate level.
    double peak[kKernelBands];
    double envelope[kKernelBands];
    double bandGain[kKernelBands];
};

// The derived values in the form the kernels read them.
struct KernelCoefficients {
    double b0[kKernelBands];
    double b2[kKernelBands];
    double a1[kKernelBands];
    double a2[kKernelBands];
    double threshold[kKernelBands];
    double attackCoef, attackNorm, releaseCoef, releaseNorm, boostGain;
};

// Scratch of one chunk: the gated band outputs, [band][frame].
struct KernelScratch {
    double gatedL[kKernelBands][kKernelChunk];
    double gatedR[kKernelBands][kKernelChunk];
};

// Runs `frames` (1 .. kKernelChunk) frames; `accumulate` adds to the
// outputs instead of replacing them.
void RunChunkSse2(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, float* outL, float* outR, int32_t frames, bool accumulate);
void RunChunkAvx(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                 const float* inR, float* outL, float* outR, int32_t frames, bool accumulate);

}  // namespace gate_baseline
