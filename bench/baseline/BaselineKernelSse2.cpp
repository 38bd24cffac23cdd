// Baseline chunk kernel for SSE2: two bands to a vector.
#include <emmintrin.h>

#include "BaselineKernelImpl.h"

namespace gate_baseline {
namespace {

struct Sse2 {
    using T = __m128d;
    static constexpr int N = 2;
    static T set1(double x) { return _mm_set1_pd(x); }
    static T load(const double* p) { return _mm_loadu_pd(p); }
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
    static T bitAnd(T a, T b) { return _mm_and_pd(a, b); }
    static T bitOr(T a, T b) { return _mm_or_pd(a, b); }
    static T bitXor(T a, T b) { return _mm_xor_pd(a, b); }
    static T abs(T a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
    // The rounding to a 32-bit float at every stored value: two real
    // conversions, which the optimiser cannot drop.
    static T round(T a) { return _mm_cvtps_pd(_mm_cvtpd_ps(a)); }
};

}  // namespace

void RunChunkSse2(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, float* outL, float* outR, int32_t frames, bool accumulate) {
    RunChunk<Sse2>(kc, st, scratch, inL, inR, outL, outR, frames, accumulate);
}

}  // namespace gate_baseline
