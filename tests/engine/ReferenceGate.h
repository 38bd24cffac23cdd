// A literal, deliberately plain version of the per-sample gate step, kept
// apart from the production engine so that the engine stays free to be
// optimised: the two must agree bit for bit.
//
// Everything is done the slow, obvious way: sixteen input histories per
// channel, the ring tables, one function per step, every stored value
// rounded to float exactly where it is stored.
//
// The key: for every source but Left the key sample (formed from the raw
// samples in double, then entering as an input does) runs through bands
// of its own, whose outputs the followers track instead of the left bands,
// and which bound how loud the gated bands may come out.
#pragma once

#include <cmath>
#include <cstring>

#include "GateEngine.h"
#include "GateKernel.h"
#include "GateMath.h"

namespace reference {

using gate::kNumBands;

struct Gate {
    gate::DerivedValues dv{};
    float inHistL[kNumBands][3] = {};
    float inHistR[kNumBands][3] = {};
    float outHistL[kNumBands][3] = {};
    float outHistR[kNumBands][3] = {};
    gate::KeySource key = gate::KeySource::Left;
    float inHistK[kNumBands][3] = {};
    float outHistK[kNumBands][3] = {};
    float peak[kNumBands] = {};
    float envelope[kNumBands] = {};
    float bandGain[kNumBands] = {};
    float detect[kNumBands] = {};
    float gateTarget[kNumBands] = {};
    float detectMax[kNumBands] = {};  // largest detector value of the latest block
    float sumL = 0, sumR = 0;
    int ringPos = 0, slotNow = 0, slotPrev1 = 0, slotPrev2 = 0;
    long long streamFrames = 0;  // frames since the stream started
    int restarts = 0;            // bands started again from silence, for the tests

    void clearHistories() {
        std::memset(inHistL, 0, sizeof inHistL);
        std::memset(inHistR, 0, sizeof inHistR);
        std::memset(outHistL, 0, sizeof outHistL);
        std::memset(outHistR, 0, sizeof outHistR);
        std::memset(inHistK, 0, sizeof inHistK);
        std::memset(outHistK, 0, sizeof outHistK);
    }

    bool keyed() const { return key != gate::KeySource::Left; }

    // Frame n's key sample from the raw inputs; no key input: silence.
    float KeySample(float l, float r, const float* keyL, const float* keyR, int n) const {
        double v = 0.0;
        if (key == gate::KeySource::Right)
            v = r;
        else if (key == gate::KeySource::Mid)
            v = ((double)l + (double)r) * 0.5;
        else if (key == gate::KeySource::Side)
            v = ((double)l - (double)r) * 0.5;
        else if (key == gate::KeySource::External && keyL != nullptr)
            v = ((double)keyL[n] + (double)keyR[n]) * 0.5;
        if (!std::isfinite(v))
            v = 0.0;
        return (float)(v + 1e-12);
    }

    static float Sign(float x) {
        if (x > 0)
            return 1.0f;
        if (x < 0)
            return -1.0f;
        return 0.0f;
    }

    static float SoftClip(float x) {
        float a = (float)std::fabs((double)x);
        float s = Sign(x);
        float m;
        if (a > 1)
            m = 1;
        else
            m = (float)((-(double)a * (double)a + 3.0 * (double)a) * 0.5);
        return m * s;
    }

    void FilterBand(int k, float xL, float xR, float xK) {
        const gate::BandCoefficients& c = dv.band[k];
        inHistL[k][slotNow] = xL;
        outHistL[k][slotNow] = (float)((double)c.b0 * inHistL[k][slotNow] + (double)c.b2 * inHistL[k][slotPrev2] -
                                       (double)c.a1 * outHistL[k][slotPrev1] -
                                       (double)c.a2 * outHistL[k][slotPrev2] + 1e-12);
        inHistR[k][slotNow] = xR;
        outHistR[k][slotNow] = (float)((double)c.b0 * inHistR[k][slotNow] + (double)c.b2 * inHistR[k][slotPrev2] -
                                       (double)c.a1 * outHistR[k][slotPrev1] -
                                       (double)c.a2 * outHistR[k][slotPrev2] + 1e-12);
        if (!keyed())
            return;
        inHistK[k][slotNow] = xK;
        outHistK[k][slotNow] = (float)((double)c.b0 * inHistK[k][slotNow] + (double)c.b2 * inHistK[k][slotPrev2] -
                                       (double)c.a1 * outHistK[k][slotPrev1] -
                                       (double)c.a2 * outHistK[k][slotPrev2] + 1e-12);
    }

    float FollowEnvelope(int k, float y) {
        float a = (float)std::fabs((double)y);
        if (peak[k] < a)
            peak[k] = (float)(((double)peak[k] - a) * 0.9 + a);
        else
            peak[k] = (float)(((double)peak[k] - a) * 0.998 + a);
        if (peak[k] < 0)
            peak[k] = 0;
        if (peak[k] > 10)
            peak[k] = 10;
        envelope[k] = (float)((0.05 * peak[k] + envelope[k]) / 1.05);
        if (envelope[k] < 0)
            envelope[k] = 0;
        if (envelope[k] > 10)
            envelope[k] = 10;
        return envelope[k];
    }

    // Keyed, a band times the ratio is bounded by |key band| ratio +
    // |band| min(ratio, 1, gate level / threshold); a NaN passes.
    float KeyedGated(int k, float y, float ratio) const {
        double fade = (double)bandGain[k] / (double)dv.threshold[k];
        if (fade > 1.0)
            fade = 1.0;
        if (ratio < fade)
            fade = ratio;
        const double bound = std::fabs((double)outHistK[k][slotNow]) * ratio + std::fabs((double)y) * fade;
        double v = (double)y * ratio;
        if (v > bound)
            v = bound;
        else if (v < -bound)
            v = -bound;
        return (float)(v + 1e-12);
    }

    void ProcessSample(float xL, float xR, float xK) {
        for (int k = 0; k < kNumBands; ++k)
            FilterBand(k, xL, xR, xK);
        sumR = 0;
        sumL = 0;
        for (int k = 0; k < kNumBands; ++k) {
            const float keying = keyed() ? outHistK[k][slotNow] : outHistL[k][slotNow];
            detect[k] = (float)((double)FollowEnvelope(k, keying) + 1e-12);
            if (detect[k] > detectMax[k])
                detectMax[k] = detect[k];
            if (detect[k] > dv.threshold[k])
                gateTarget[k] = detect[k];
            else
                gateTarget[k] = (float)1e-12;
            if (bandGain[k] > gateTarget[k])
                bandGain[k] = (float)(((double)bandGain[k] * dv.releaseCoef + gateTarget[k]) * dv.releaseNorm + 1e-12);
            else
                bandGain[k] = (float)(((double)bandGain[k] * dv.attackCoef + gateTarget[k]) * dv.attackNorm + 1e-12);
            float gL, gR;
            if (bandGain[k] > 0.001) {
                float ratio = (float)((double)bandGain[k] / ((double)detect[k] + 0.0001));
                if (keyed()) {
                    gL = KeyedGated(k, outHistL[k][slotNow], ratio);
                    gR = KeyedGated(k, outHistR[k][slotNow], ratio);
                } else {
                    gL = (float)((double)outHistL[k][slotNow] * ratio + 1e-12);
                    gR = (float)((double)outHistR[k][slotNow] * ratio + 1e-12);
                }
            } else {
                gL = 0;
                gR = 0;
            }
            sumL = (float)((double)sumL + gL + 1e-12);
            sumR = (float)((double)sumR + gR + 1e-12);
        }
    }

    // A band whose state is no longer finite (a filter driven past the
    // float range) starts again from silence, on both channels. The engine
    // looks after every chunk of the stream: every kKernelChunk frames from
    // its start, whatever the blocks.
    void RestartOverflowedBands() {
        for (int k = 0; k < kNumBands; ++k) {
            bool finite = std::isfinite(peak[k]) && std::isfinite(envelope[k]) && std::isfinite(bandGain[k]);
            for (int slot = 0; slot < 3; ++slot)
                finite = finite && std::isfinite(outHistL[k][slot]) && std::isfinite(outHistR[k][slot]) &&
                         std::isfinite(outHistK[k][slot]);
            if (finite)
                continue;
            std::memset(outHistL[k], 0, sizeof outHistL[k]);
            std::memset(outHistR[k], 0, sizeof outHistR[k]);
            std::memset(outHistK[k], 0, sizeof outHistK[k]);
            peak[k] = envelope[k] = bandGain[k] = 0;
            ++restarts;
        }
    }

    // A NaN sum (from a band that overflowed) leaves as 0.
    static float Output(float clipped) { return std::isnan(clipped) ? 0.0f : clipped; }

    // One block; accumulate selects `process` over `processReplacing`;
    // keyL and keyR: the key input (External), null for none.
    void Block(const float* inL, const float* inR, float* outL, float* outR, int frames, bool accumulate,
               const float* keyL = nullptr, const float* keyR = nullptr) {
        static const int RingNext[3] = {1, 2, 0};
        static const int RingNow[3] = {2, 1, 0};
        static const int RingPrev1[3] = {0, 2, 1};
        static const int RingPrev2[3] = {1, 0, 2};
        std::memset(detectMax, 0, sizeof detectMax);
        for (int n = 0; n < frames; ++n) {
            float in0 = std::isfinite(inL[n]) ? inL[n] : 0.0f;
            float in1 = std::isfinite(inR[n]) ? inR[n] : 0.0f;
            float xL = (float)((double)in0 + 1e-12);
            float xR = (float)((double)in1 + 1e-12);
            ringPos = RingNext[ringPos];
            slotNow = RingNow[ringPos];
            slotPrev1 = RingPrev1[ringPos];
            slotPrev2 = RingPrev2[ringPos];
            ProcessSample(xL, xR, KeySample(inL[n], inR[n], keyL, keyR, n));
            sumL = Output(SoftClip((float)((double)sumL * dv.boostGain)));
            sumR = Output(SoftClip((float)((double)sumR * dv.boostGain)));
            if (accumulate) {
                outL[n] += sumL;
                outR[n] += sumR;
            } else {
                outL[n] = sumL;
                outR[n] = sumR;
            }
            if (++streamFrames % gate::kKernelChunk == 0)
                RestartOverflowedBands();
        }
    }

    // Derives every value from a parameter set at a design rate, clearing
    // the histories only when the design inputs changed.
    void Apply(const float params[gate::kNumParams], float rate, bool clear) {
        gate::DesignAllBands(params, rate, dv.band);
        gate::DeriveGains(params, dv);
        if (clear)
            clearHistories();
    }
};

}  // namespace reference
