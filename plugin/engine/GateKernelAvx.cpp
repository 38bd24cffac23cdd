// The chunk kernel for AVX: four bands to a vector. This file alone is
// compiled with AVX code generation (and, like every file, without fused
// multiply-add); the engine calls it only where CpuRuns(KernelSet::Avx) says so.
#include <immintrin.h>

#include "GateKernelImpl.h"

namespace gate {
namespace {

struct Avx {
    using T = __m256d;
    using M = T;  // lane masks: all ones or all zeros
    static constexpr int N = 4;
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
    static T set1(double x) { return _mm256_set1_pd(x); }
    static T load(const double* p) { return _mm256_loadu_pd(p); }
    // Four floats from p, widened to doubles.
    static T widen(const float* p) { return _mm256_cvtps_pd(_mm_loadu_ps(p)); }
    static void store(double* p, T v) { _mm256_storeu_pd(p, v); }
    // Lane i to p[i * stride]: one value per band row of the scratch.
    static void scatter(T v, double* p, int stride) {
        const __m128d low = _mm256_castpd256_pd128(v);
        const __m128d high = _mm256_extractf128_pd(v, 1);
        _mm_storel_pd(p, low);
        _mm_storeh_pd(p + stride, low);
        _mm_storel_pd(p + 2 * stride, high);
        _mm_storeh_pd(p + 3 * stride, high);
    }
    static T add(T a, T b) { return _mm256_add_pd(a, b); }
    static T sub(T a, T b) { return _mm256_sub_pd(a, b); }
    static T mul(T a, T b) { return _mm256_mul_pd(a, b); }
    static T div(T a, T b) { return _mm256_div_pd(a, b); }
    // a < b ? a : b and a > b ? a : b, as the instructions define them.
    static T min(T a, T b) { return _mm256_min_pd(a, b); }
    static T max(T a, T b) { return _mm256_max_pd(a, b); }
    static T lessThan(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static T greaterThan(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    // Not a < b: also where either is NaN.
    static T notLessThan(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_NLT_UQ); }
    // Neither a nor b is NaN.
    static T ordered(T a, T b) { return _mm256_cmp_pd(a, b, _CMP_ORD_Q); }
    static T bitOr(T a, T b) { return _mm256_or_pd(a, b); }
    // m ? a : b lane by lane, as b ^ (m & (a ^ b)); m ? a : 0.
    static T select(M m, T a, T b) { return _mm256_xor_pd(b, _mm256_and_pd(m, _mm256_xor_pd(a, b))); }
    static T keep(M m, T a) { return _mm256_and_pd(m, a); }
    static T abs(T a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static T round(T a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }
    // The same rounding for zero and the normal float range (see
    // GateKernelImpl.h): Veltkamp's splitting at 2^29 + 1.
    static T roundNormal(T a) {
        const T p = _mm256_mul_pd(a, _mm256_set1_pd(536870913.0));
        return _mm256_sub_pd(p, _mm256_sub_pd(p, a));
    }
};

}  // namespace

void RoundNormalAvx(const double* in, double* out, int32_t count) {
    RoundNormalValues<Avx>(in, out, count);
    _mm256_zeroupper();
}

void RunChunkAvx(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                 const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate) {
    RunChunk<Avx, false, false>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
    _mm256_zeroupper();  // no penalty for SSE code that runs next
}

void RunChunkAvxMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                        const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                        bool accumulate) {
    RunChunk<Avx, false, true>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
    _mm256_zeroupper();
}

void RunShortAvx(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                 const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate) {
    RunChunk<Avx, true, false>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
    _mm256_zeroupper();
}

void RunShortAvxMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                        const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                        bool accumulate) {
    RunChunk<Avx, true, true>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
    _mm256_zeroupper();
}

}  // namespace gate
