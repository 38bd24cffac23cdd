// The chunk kernel in plain C++, one band to a "vector": every build has
// it, and it is the only one where the processor has no vector kernel of
// its own (or the build was made with HALVORINE_KERNELS=portable). Each
// operation below is the scalar form of what the vector kernels' lanes
// do, with the same results bit for bit: min and max as the x86
// instructions define them (not std::fmin), the masks as booleans.
#include <cstring>

#include "GateKernelImpl.h"

namespace gate {
namespace {

struct Portable {
    using T = double;
    using M = bool;
    static constexpr int N = 1;
    // Band groups in each step of the band pipeline, and band sums side by
    // side, as in the SSE2 kernel.
    static constexpr int kBandGroups = 4;
    static constexpr int kOutputVectors = 8;
    static T set1(double x) { return x; }
    static T load(const double* p) { return *p; }
    static T widen(const float* p) { return static_cast<double>(*p); }
    static void store(double* p, T v) { *p = v; }
    static void scatter(T v, double* p, int) { *p = v; }
    static T add(T a, T b) { return a + b; }
    static T sub(T a, T b) { return a - b; }
    static T mul(T a, T b) { return a * b; }
    static T div(T a, T b) { return a / b; }
    // a < b ? a : b and a > b ? a : b: with a NaN, b.
    static T min(T a, T b) { return a < b ? a : b; }
    static T max(T a, T b) { return a > b ? a : b; }
    static M lessThan(T a, T b) { return a < b; }
    static M greaterThan(T a, T b) { return a > b; }
    static M notLessThan(T a, T b) { return !(a < b); }
    static M ordered(T a, T b) { return a == a && b == b; }
    static T bitOr(T a, T b) { return FromBits(Bits(a) | Bits(b)); }
    static T select(M m, T a, T b) { return m ? a : b; }
    // m ? a : +0, as a lane mask's and gives.
    static T keep(M m, T a) { return m ? a : 0.0; }
    static T abs(T a) { return FromBits(Bits(a) & ~(uint64_t{1} << 63)); }
    // The rounding to a 32-bit float at every stored value (a round trip
    // that no optimiser may drop without fast-math).
    static T round(T a) { return static_cast<double>(static_cast<float>(a)); }
    // Veltkamp's splitting at 2^29 + 1 (see GateKernelImpl.h).
    static T roundNormal(T a) {
        const T p = a * 536870913.0;
        return p - (p - a);
    }

private:
    static uint64_t Bits(double x) {
        uint64_t bits;
        std::memcpy(&bits, &x, sizeof bits);
        return bits;
    }
    static double FromBits(uint64_t bits) {
        double x;
        std::memcpy(&x, &bits, sizeof x);
        return x;
    }
};

}  // namespace

void RoundNormalPortable(const double* in, double* out, int32_t count) {
    RoundNormalValues<Portable>(in, out, count);
}

void RunChunkPortable(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                      const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                      bool accumulate) {
    RunChunk<Portable, false, false>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

void RunChunkPortableMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                             const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                             bool accumulate) {
    RunChunk<Portable, false, true>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

void RunShortPortable(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                      const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                      bool accumulate) {
    RunChunk<Portable, true, false>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

void RunShortPortableMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                             const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                             bool accumulate) {
    RunChunk<Portable, true, true>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

}  // namespace gate
