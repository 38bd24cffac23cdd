// The chunk kernel for SSE2, which every x86 build has: two bands to a vector.
#include <emmintrin.h>

#include "GateKernelImpl.h"

namespace gate {
namespace {

struct Sse2 {
    using T = __m128d;
    using M = T;  // lane masks: all ones or all zeros
    static constexpr int N = 2;
    // Band groups in each step of the band pipeline, and vectors of band
    // sums side by side (sixteen sums are more than the registers hold,
    // but more chains of roundings side by side pay for the spills): fewer
    // sums in 32-bit code, which has 8 registers, not 16.
    static constexpr int kBandGroups = 4;
#if defined(__x86_64__)
    static constexpr int kOutputVectors = 8;
#else
    static constexpr int kOutputVectors = 2;
#endif
    static T set1(double x) { return _mm_set1_pd(x); }
    static T load(const double* p) { return _mm_loadu_pd(p); }
    // Two floats from p, widened to doubles.
    static T widen(const float* p) {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }
    static void store(double* p, T v) { _mm_storeu_pd(p, v); }
    // Lane i to p[i * stride]: one value per band row of the scratch.
    static void scatter(T v, double* p, int stride) {
        _mm_storel_pd(p, v);
        _mm_storeh_pd(p + stride, v);
    }
    static T add(T a, T b) { return _mm_add_pd(a, b); }
    static T sub(T a, T b) { return _mm_sub_pd(a, b); }
    static T mul(T a, T b) { return _mm_mul_pd(a, b); }
    static T div(T a, T b) { return _mm_div_pd(a, b); }
    // a < b ? a : b and a > b ? a : b, as the instructions define them.
    static T min(T a, T b) { return _mm_min_pd(a, b); }
    static T max(T a, T b) { return _mm_max_pd(a, b); }
    static T lessThan(T a, T b) { return _mm_cmplt_pd(a, b); }
    static T greaterThan(T a, T b) { return _mm_cmpgt_pd(a, b); }
    // Not a < b: also where either is NaN.
    static T notLessThan(T a, T b) { return _mm_cmpnlt_pd(a, b); }
    // Neither a nor b is NaN.
    static T ordered(T a, T b) { return _mm_cmpord_pd(a, b); }
    static T bitOr(T a, T b) { return _mm_or_pd(a, b); }
    // m ? a : b lane by lane, as b ^ (m & (a ^ b)); m ? a : 0.
    static T select(M m, T a, T b) { return _mm_xor_pd(b, _mm_and_pd(m, _mm_xor_pd(a, b))); }
    static T keep(M m, T a) { return _mm_and_pd(m, a); }
    static T abs(T a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
    // The rounding to a 32-bit float at every stored value: two real
    // conversions, which the optimiser cannot drop.
    static T round(T a) { return _mm_cvtps_pd(_mm_cvtpd_ps(a)); }
    // The same rounding for zero and the normal float range (see
    // GateKernelImpl.h): Veltkamp's splitting at 2^29 + 1.
    static T roundNormal(T a) {
        const T p = _mm_mul_pd(a, _mm_set1_pd(536870913.0));
        return _mm_sub_pd(p, _mm_sub_pd(p, a));
    }
};

}  // namespace

void RoundNormalSse2(const double* in, double* out, int32_t count) {
    RoundNormalValues<Sse2>(in, out, count);
}

void RunChunkSse2(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate) {
    RunChunk<Sse2, false, false>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

void RunChunkSse2Metered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                         const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                         bool accumulate) {
    RunChunk<Sse2, false, true>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

void RunShortSse2(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate) {
    RunChunk<Sse2, true, false>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

void RunShortSse2Metered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                         const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                         bool accumulate) {
    RunChunk<Sse2, true, true>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

}  // namespace gate
