// Baseline chunk kernel for AVX: four bands to a vector, compiled with AVX
// code generation; called only where the processor runs AVX.
#include <immintrin.h>

#include "BaselineKernelImpl.h"

namespace gate_baseline {
namespace {

struct Avx {
    using T = __m256d;
    static constexpr int N = 4;
    static T set1(double x) { return _mm256_set1_pd(x); }
    static T load(const double* p) { return _mm256_loadu_pd(p); }
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
    static T bitAnd(T a, T b) { return _mm256_and_pd(a, b); }
    static T bitOr(T a, T b) { return _mm256_or_pd(a, b); }
    static T bitXor(T a, T b) { return _mm256_xor_pd(a, b); }
    static T abs(T a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static T round(T a) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(a)); }
};

}  // namespace

void RunChunkAvx(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                 const float* inR, float* outL, float* outR, int32_t frames, bool accumulate) {
    RunChunk<Avx>(kc, st, scratch, inL, inR, outL, outR, frames, accumulate);
    _mm256_zeroupper();  // no penalty for SSE code that runs next
}

}  // namespace gate_baseline
