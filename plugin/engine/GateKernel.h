// The per-sample gate step over a chunk of frames: the data it works on and
// its implementations: portable C++ (every build, one band at a time), on
// x86 SSE2 (every x86 build), AVX and AVX-512 (each chosen at run time
// where the processor has it), on 64-bit ARM NEON. All compute exactly the
// same samples: the same IEEE results in the same order, one, two, four or
// eight bands to a vector.
//
// Plain data only: the AVX and AVX-512 implementations are compiled with
// other code generation flags, so nothing here may be an inline function
// that they could end up sharing.
#pragma once

#include <cstdint>

namespace gate {

constexpr int kKernelBands = 16;
// Frames per chunk: the kernel takes a chunk through the band stages, then
// forms its band sums. The engine cuts the stream into chunks counted from
// its start, and calls a kernel for every piece of a block within one.
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
    // Two-stage envelope follower of each keying band (the left band, or
    // the key band), and its gate level.
    double peak[kKernelBands];
    double envelope[kKernelBands];
    double bandGain[kKernelBands];
    // The key's input and its bands one and two frames back, for every key
    // but the left channel's own bands (see KernelKey).
    double xK1, xK2;
    double yK1[kKernelBands];
    double yK2[kKernelBands];
    // The largest detector value of each band (what is compared with its
    // threshold) since the engine last set it to 0, for the meters: the
    // metered kernels raise it frame by frame, and a NaN leaves it as it
    // was. Last, so that the rest lies as it did before the meters.
    double detectMax[kKernelBands];
};

// What keys the gates. With `keyBands` false the left audio bands drive the
// envelope followers (and nothing else here is read); otherwise the key
// signal runs through its own bands, with the audio bands' coefficients
// and its own histories, and those drive them. The key sample of frame f
// is (a[f] + b[f]) * 0.5, or with `difference` (a[f] - b[f]) * 0.5, in
// double, then enters like an input sample (its 1e-12, a rounding to
// float; NaN or infinite: silence). Null a and b: the key is silence.
struct KernelKey {
    bool keyBands;
    bool difference;
    const float* a;
    const float* b;
};

// The derived values in the form the kernels read them.
struct KernelCoefficients {
    double b0[kKernelBands];
    double b2[kKernelBands];
    double a1[kKernelBands];
    double a2[kKernelBands];
    double threshold[kKernelBands];
    double attackCoef, attackNorm, releaseCoef, releaseNorm, boostGain;
    // Every band has |a1| + |a2| <= 3 and |b0| + |b2| <= 2, which bounds how
    // fast its output can grow (see GateKernelImpl.h).
    bool boundedFilters;
};

// Scratch of one chunk, passed from part to part. Rows are frames, two
// frames of history first where a part looks back. The kernels work
// fastest with it on a 64-byte boundary (the engine aligns it).
struct KernelScratch {
    // Inputs with their 1e-12: [frame + 2].
    double xL[kKernelChunk + 2];
    double xR[kKernelChunk + 2];
    // Band outputs: [frame + 2][band].
    double yL[kKernelChunk + 2][kKernelBands];
    double yR[kKernelChunk + 2][kKernelBands];
    // Detector values, then the bands' ratios: [frame][band].
    double detect[kKernelChunk][kKernelBands];
    // Gated band outputs, [band][frame], for the band sums.
    double gatedL[kKernelBands][kKernelChunk];
    double gatedR[kKernelBands][kKernelChunk];
    // The key's band outputs and inputs, as yL and xL. Last, so that the
    // rest lies as it does without them: the band rows' offsets from a
    // 64-byte boundary decide how many loads cross a cache line.
    double yK[kKernelChunk + 2][kKernelBands];
    // Keyed: each band's fade beside its ratio in `detect`, [frame][band]
    // (placed as `detect` is).
    double fade[kKernelChunk][kKernelBands];
    double xK[kKernelChunk + 2];
};

// Runs `frames` (1 .. kKernelChunk) frames, keyed by `key` (whose
// pointers, like the others, point at the chunk's first frame);
// `accumulate` adds to the outputs instead of replacing them. Each is
// defined only in the builds whose processor has its instructions (see
// CMakeLists.txt): other code reaches them through KernelFor and
// RoundNormalFor. The ...Metered ones also raise ProcessState::detectMax;
// the others leave it alone, and pay nothing for the meters.
void RunChunkPortable(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                      const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                      bool accumulate);
void RunChunkPortableMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                             const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                             bool accumulate);
void RunChunkNeon(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate);
void RunChunkNeonMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                         const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                         bool accumulate);
void RunChunkSse2(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate);
void RunChunkSse2Metered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                         const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                         bool accumulate);
void RunChunkAvx(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                 const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate);
void RunChunkAvxMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                        const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                        bool accumulate);
void RunChunkAvx512(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                    const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate);
void RunChunkAvx512Metered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                           const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                           bool accumulate);

// A chunk kernel of the signature above.
using ChunkKernel = void (*)(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch,
                             const float* inL, const float* inR, const KernelKey& key, float* outL,
                             float* outR, int32_t frames, bool accumulate);

// The short path of a kernel (see ShortBandStages in GateKernelImpl.h):
// it computes the same samples, and is faster for chunks of up to
// kShortChunk frames.
constexpr int32_t kShortChunk = 8;
void RunShortPortable(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                      const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                      bool accumulate);
void RunShortPortableMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                             const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                             bool accumulate);
void RunShortNeon(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate);
void RunShortNeonMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                         const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                         bool accumulate);
void RunShortSse2(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate);
void RunShortSse2Metered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                         const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                         bool accumulate);
void RunShortAvx(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                 const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate);
void RunShortAvxMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                        const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                        bool accumulate);

// For tests: each kernel's split rounding (see GateKernelImpl.h) of
// `count` values.
void RoundNormalPortable(const double* in, double* out, int32_t count);
void RoundNormalNeon(const double* in, double* out, int32_t count);
void RoundNormalSse2(const double* in, double* out, int32_t count);
void RoundNormalAvx(const double* in, double* out, int32_t count);
void RoundNormalAvx512(const double* in, double* out, int32_t count);

// The kernels: the portable one, then the x86 ones narrowest first, then
// 64-bit ARM's.
enum class KernelSet { Portable, Sse2, Avx, Avx512, Neon };

// Whether this build has a kernel and this processor and operating system
// run it (the portable one: always; SSE2 and NEON: in every build for
// their processor, unless it was made with the portable kernel alone).
bool CpuRuns(KernelSet set);
// The widest kernel that runs here.
KernelSet WidestKernel();
// What runs a call of `frames` frames (1 .. kKernelChunk) for the kernel
// set `set`: the set's own chunk kernel, or for a short call the path that
// is fastest there; `metered`, its metered form. Every one computes the
// same samples.
ChunkKernel KernelFor(KernelSet set, int32_t frames, bool metered = false);
// For tests: the split rounding of a kernel that CpuRuns, else nullptr.
using RoundNormalFunction = void (*)(const double* in, double* out, int32_t count);
RoundNormalFunction RoundNormalFor(KernelSet set);

}  // namespace gate
