// The chunk kernel for AVX-512 (the foundation instructions only): eight
// bands to a vector, lane masks in mask registers. This file alone is
// compiled with AVX-512 code generation (and, like every file, without
// fused multiply-add); the engine calls it only where
// CpuRuns(KernelSet::Avx512) says so.
#include <immintrin.h>

#include "GateKernelImpl.h"

namespace gate {
namespace {

struct Avx512 {
    using T = __m512d;
    using M = __mmask8;
    static constexpr int N = 8;
    // Both band groups in every step of the pipeline. Vectors of band sums
    // side by side: fewer in 32-bit code, which has 8 registers, not 32.
    static constexpr int kBandGroups = 2;
#if defined(__x86_64__)
    static constexpr int kOutputVectors = 8;
#else
    static constexpr int kOutputVectors = 2;
#endif
    static T set1(double x) { return _mm512_set1_pd(x); }
    static T load(const double* p) { return _mm512_loadu_pd(p); }
    // Eight floats from p, widened to doubles.
    static T widen(const float* p) { return _mm512_cvtps_pd(_mm256_loadu_ps(p)); }
    static void store(double* p, T v) { _mm512_storeu_pd(p, v); }
    // Lane i to p[i * stride]: one value per band row of the scratch.
    static void scatter(T v, double* p, int stride) {
        const __m128d q0 = _mm512_castpd512_pd128(v);
        const __m128d q1 = _mm_castps_pd(_mm512_extractf32x4_ps(_mm512_castpd_ps(v), 1));
        const __m128d q2 = _mm_castps_pd(_mm512_extractf32x4_ps(_mm512_castpd_ps(v), 2));
        const __m128d q3 = _mm_castps_pd(_mm512_extractf32x4_ps(_mm512_castpd_ps(v), 3));
        _mm_storel_pd(p, q0);
        _mm_storeh_pd(p + stride, q0);
        _mm_storel_pd(p + 2 * stride, q1);
        _mm_storeh_pd(p + 3 * stride, q1);
        _mm_storel_pd(p + 4 * stride, q2);
        _mm_storeh_pd(p + 5 * stride, q2);
        _mm_storel_pd(p + 6 * stride, q3);
        _mm_storeh_pd(p + 7 * stride, q3);
    }
    static T add(T a, T b) { return _mm512_add_pd(a, b); }
    static T sub(T a, T b) { return _mm512_sub_pd(a, b); }
    static T mul(T a, T b) { return _mm512_mul_pd(a, b); }
    static T div(T a, T b) { return _mm512_div_pd(a, b); }
    // a < b ? a : b and a > b ? a : b, as the instructions define them
    // (the second operand where either is NaN, or both are zeros).
    static T min(T a, T b) { return _mm512_min_pd(a, b); }
    static T max(T a, T b) { return _mm512_max_pd(a, b); }
    static M lessThan(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static M greaterThan(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ); }
    // Not a < b: also where either is NaN.
    static M notLessThan(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_NLT_UQ); }
    // Neither a nor b is NaN.
    static M ordered(T a, T b) { return _mm512_cmp_pd_mask(a, b, _CMP_ORD_Q); }
    static T bitOr(T a, T b) {
        return _mm512_castsi512_pd(_mm512_or_si512(_mm512_castpd_si512(a), _mm512_castpd_si512(b)));
    }
    // m ? a : b lane by lane; m ? a : 0.
    static T select(M m, T a, T b) { return _mm512_mask_blend_pd(m, b, a); }
    static T keep(M m, T a) { return _mm512_maskz_mov_pd(m, a); }
    static T abs(T a) { return _mm512_abs_pd(a); }
    // The rounding to a 32-bit float at every stored value: two real
    // conversions, which the optimiser cannot drop.
    static T round(T a) { return _mm512_cvtps_pd(_mm512_cvtpd_ps(a)); }
    // The same rounding for zero and the normal float range (see
    // GateKernelImpl.h): Veltkamp's splitting at 2^29 + 1.
    static T roundNormal(T a) {
        const T p = _mm512_mul_pd(a, _mm512_set1_pd(536870913.0));
        return _mm512_sub_pd(p, _mm512_sub_pd(p, a));
    }
};

}  // namespace

void RoundNormalAvx512(const double* in, double* out, int32_t count) {
    RoundNormalValues<Avx512>(in, out, count);
    _mm256_zeroupper();
}

void RunChunkAvx512(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                    const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate) {
    RunChunk<Avx512, false, false>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
    _mm256_zeroupper();  // no penalty for SSE code that runs next
}

void RunChunkAvx512Metered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                           const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                           bool accumulate) {
    RunChunk<Avx512, false, true>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
    _mm256_zeroupper();
}

}  // namespace gate
