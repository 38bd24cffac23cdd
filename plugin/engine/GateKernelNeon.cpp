// The chunk kernel for 64-bit ARM: two bands to a vector, as SSE2, with
// NEON's doubles. Every operation gives the SSE2 instruction's result bit
// for bit: multiplies and adds stay separate instructions (no fused
// multiply-add, which rounds once where SSE2 rounds twice), and min and
// max are a compare and a select, since NEON's own fmin and fmax treat a
// NaN and signed zeros otherwise.
#include <arm_neon.h>

#include "GateKernelImpl.h"

namespace gate {
namespace {

struct Neon {
    using T = float64x2_t;
    using M = uint64x2_t;  // lane masks: all ones or all zeros
    static constexpr int N = 2;
    // As SSE2 in 64-bit code. All eight groups in one pass, which the 32
    // registers seem to invite, spill more: GCC 12 gives a tenth more
    // instructions a frame.
    static constexpr int kBandGroups = 4;
    static constexpr int kOutputVectors = 8;
    static T set1(double x) { return vdupq_n_f64(x); }
    static T load(const double* p) { return vld1q_f64(p); }
    // Two floats from p, widened to doubles.
    static T widen(const float* p) { return vcvt_f64_f32(vld1_f32(p)); }
    static void store(double* p, T v) { vst1q_f64(p, v); }
    // Lane i to p[i * stride]: one value per band row of the scratch.
    static void scatter(T v, double* p, int stride) {
        vst1q_lane_f64(p, v, 0);
        vst1q_lane_f64(p + stride, v, 1);
    }
    static T add(T a, T b) { return vaddq_f64(a, b); }
    static T sub(T a, T b) { return vsubq_f64(a, b); }
    static T mul(T a, T b) { return vmulq_f64(a, b); }
    static T div(T a, T b) { return vdivq_f64(a, b); }
    // a < b ? a : b and a > b ? a : b: with a NaN, b, as SSE2's minpd and
    // maxpd.
    static T min(T a, T b) { return vbslq_f64(vcltq_f64(a, b), a, b); }
    static T max(T a, T b) { return vbslq_f64(vcgtq_f64(a, b), a, b); }
    static M lessThan(T a, T b) { return vcltq_f64(a, b); }
    static M greaterThan(T a, T b) { return vcgtq_f64(a, b); }
    // Not a < b: also where either is NaN.
    static M notLessThan(T a, T b) {
        return vreinterpretq_u64_u32(vmvnq_u32(vreinterpretq_u32_u64(vcltq_f64(a, b))));
    }
    // Neither a nor b is NaN.
    static M ordered(T a, T b) { return vandq_u64(vceqq_f64(a, a), vceqq_f64(b, b)); }
    static T bitOr(T a, T b) {
        return vreinterpretq_f64_u64(vorrq_u64(vreinterpretq_u64_f64(a), vreinterpretq_u64_f64(b)));
    }
    // m ? a : b lane by lane; m ? a : +0.
    static T select(M m, T a, T b) { return vbslq_f64(m, a, b); }
    static T keep(M m, T a) { return vreinterpretq_f64_u64(vandq_u64(m, vreinterpretq_u64_f64(a))); }
    static T abs(T a) { return vabsq_f64(a); }
    // The rounding to a 32-bit float at every stored value: two real
    // conversions, to nearest as the floating-point guard sets it.
    static T round(T a) { return vcvt_f64_f32(vcvt_f32_f64(a)); }
    // The same rounding for zero and the normal float range (see
    // GateKernelImpl.h): Veltkamp's splitting at 2^29 + 1.
    static T roundNormal(T a) {
        const T p = vmulq_f64(a, vdupq_n_f64(536870913.0));
        return vsubq_f64(p, vsubq_f64(p, a));
    }
};

}  // namespace

void RoundNormalNeon(const double* in, double* out, int32_t count) {
    RoundNormalValues<Neon>(in, out, count);
}

void RunChunkNeon(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate) {
    RunChunk<Neon, false, false>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

void RunChunkNeonMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                         const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                         bool accumulate) {
    RunChunk<Neon, false, true>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

void RunShortNeon(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                  const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames, bool accumulate) {
    RunChunk<Neon, true, false>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

void RunShortNeonMetered(const KernelCoefficients& kc, ProcessState& st, KernelScratch& scratch, const float* inL,
                         const float* inR, const KernelKey& key, float* outL, float* outR, int32_t frames,
                         bool accumulate) {
    RunChunk<Neon, true, true>(kc, st, scratch, inL, inR, key, outL, outR, frames, accumulate);
}

}  // namespace gate
