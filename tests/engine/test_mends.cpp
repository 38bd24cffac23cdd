// Behaviour that deliberately departs from the naive design: bad input
// samples, sample-rate changes, and filters that keep ringing through
// changes that do not concern them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "EngineTestUtil.h"
#include "ReferenceGate.h"

using namespace enginetest;

namespace {

void Render(APlugin& plugin, std::vector<float>& l, std::vector<float>& r, int offset, int frames,
            std::vector<float>& outL, std::vector<float>& outR) {
    float* in[2] = {l.data() + offset, r.data() + offset};
    float* out[2] = {outL.data() + offset, outR.data() + offset};
    plugin.processReplacing(in, out, frames);
}

}  // namespace

TEST(BadInput, NonFiniteSamplesEnterAsSilence) {
    std::vector<float> l, r;
    MakeTestSignal(l, r, 6000, 17);
    std::vector<float> clean = l, cleanR = r;
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    for (int i = 0; i < 3; ++i) {
        l[1000 + 7 * i] = bad[i];
        r[2000 + 5 * i] = bad[i];
        clean[1000 + 7 * i] = 0.0f;
        cleanR[2000 + 5 * i] = 0.0f;
    }
    auto a = MakePlugin();
    auto b = MakePlugin();
    std::vector<float> outA(6000), outAR(6000), outB(6000), outBR(6000);
    Render(*a, l, r, 0, 6000, outA, outAR);
    Render(*b, clean, cleanR, 0, 6000, outB, outBR);
    for (int i = 0; i < 6000; ++i) {
        ASSERT_TRUE(std::isfinite(outA[i]) && std::isfinite(outAR[i])) << i;
        ASSERT_TRUE(SameBits(outA[i], outB[i]) && SameBits(outAR[i], outBR[i])) << i;
    }
}

namespace {

// Input that drives band filters past the float range: the largest finite
// samples, both signs, among ordinary signal.
std::vector<float> WithOverflowingSamples(std::vector<float> signal, uint32_t seed) {
    const float big = std::numeric_limits<float>::max();
    Lcg rng(seed);
    for (int i = 0; i < 6; ++i) {
        const size_t at = 300 + rng.next() % (signal.size() - 400);
        signal[at] = big;
        signal[at + 1] = -big;
        signal[at + 2 + rng.next() % 50] = (rng.next() & 1) ? big : -big;
    }
    return signal;
}

bool StateIsFinite(const gate::ProcessState& st) {
    for (int k = 0; k < gate::kNumBands; ++k)
        for (double v : {st.yL1[k], st.yL2[k], st.yR1[k], st.yR2[k], st.peak[k], st.envelope[k], st.bandGain[k]})
            if (!std::isfinite(v))
                return false;
    return std::isfinite(st.xL1) && std::isfinite(st.xL2) && std::isfinite(st.xR1) && std::isfinite(st.xR2);
}

}  // namespace

class Overflow : public ::testing::TestWithParam<gate::KernelSet> {};
INSTANTIATE_TEST_SUITE_P(Kernels, Overflow,
                         ::testing::ValuesIn(kAllKernels),
                         [](const ::testing::TestParamInfo<gate::KernelSet>& info) {
                             return std::string(KernelName(info.param));
                         });

TEST_P(Overflow, HugeFiniteInputLeavesFiniteOutputAsTheReferenceDoes) {
    // A band that overflows shows NaN for the rest of its chunk; its sum
    // leaves as 0, and after the chunk the band starts again from silence.
    // Both the engine and the reference do exactly that, bit for bit.
    std::vector<float> l, r;
    MakeTestSignal(l, r, 6144, 5);
    l = WithOverflowingSamples(l, 1);
    r = WithOverflowingSamples(r, 2);
    int restarts = 0;
    for (float rate : {8000.0f, 11025.0f, 44100.0f, 768000.0f}) {
        for (int program = 0; program < 8; ++program) {
            SCOPED_TRACE(::testing::Message() << rate << " Hz, program " << program);
            auto plugin = MakePlugin();
            if (!plugin->engine().useKernel(GetParam()))
                GTEST_SKIP() << "this processor does not run the " << KernelName(GetParam()) << " kernel";
            plugin->setSampleRate(rate);
            plugin->setProgram(program);
            reference::Gate ref;
            float params[gate::kNumParams];
            ParameterSet(*plugin, params);
            ref.Apply(params, rate, true);
            std::vector<float> outL(l.size()), outR(r.size()), refL(l.size()), refR(r.size());
            for (int pos = 0; pos < static_cast<int>(l.size()); pos += 512) {
                Render(*plugin, l, r, pos, 512, outL, outR);
                ASSERT_TRUE(StateIsFinite(plugin->engine().state())) << "after the block at " << pos;
            }
            ref.Block(l.data(), r.data(), refL.data(), refR.data(), static_cast<int>(l.size()), false);
            restarts += ref.restarts;
            for (size_t i = 0; i < l.size(); ++i) {
                ASSERT_TRUE(std::fabs(outL[i]) <= 1.0f && std::fabs(outR[i]) <= 1.0f) << i;
                ASSERT_TRUE(SameBits(outL[i], refL[i]) && SameBits(outR[i], refR[i])) << i;
            }
        }
    }
    EXPECT_GT(restarts, 0) << "no band overflowed: the case tests nothing";
}

TEST_P(Overflow, AnOverflowedBandStartsAgainWithinOneChunk) {
    // One overflowing pair in each 64-frame block, at every place in it:
    // at the end of each block every band's state is finite again, and the
    // sound goes on (the overflowed bands are not cut for good).
    auto plugin = MakePlugin();
    if (!plugin->engine().useKernel(GetParam()))
        GTEST_SKIP() << "this processor does not run the " << KernelName(GetParam()) << " kernel";
    plugin->setSampleRate(8000.0f);
    plugin->setProgram(0);  // every gate open
    std::vector<float> l, r;
    MakeTestSignal(l, r, 64 * 64 + 8192, 9);
    for (int block = 0; block < 63; ++block) {
        const int at = block * 64 + block;
        l[at] = r[at + 1] = std::numeric_limits<float>::max();
        l[at + 1] = r[at] = -std::numeric_limits<float>::max();
    }
    std::vector<float> outL(l.size()), outR(r.size());
    for (int pos = 0; pos < static_cast<int>(l.size()); pos += 64) {
        Render(*plugin, l, r, pos, 64, outL, outR);
        ASSERT_TRUE(StateIsFinite(plugin->engine().state())) << "after the block at " << pos;
    }
    // The last 8192 frames are ordinary signal: the bands that overflowed
    // pass it again.
    float loudest = 0.0f;
    for (size_t i = l.size() - 4096; i < l.size(); ++i)
        loudest = std::max(loudest, std::fabs(outL[i]));
    EXPECT_GT(loudest, 0.05f);
}

TEST(SampleRate, DesignRateFollowsTheHost) {
    auto plugin = MakePlugin();
    EXPECT_EQ(plugin->engine().designRate(), 44100.0f);  // no host: the base rate
    plugin->processReplacing(nullptr, nullptr, 0);
    std::vector<float> l(64, 0.1f), r(64, 0.1f), outL(64), outR(64);
    Render(*plugin, l, r, 0, 64, outL, outR);
    const gate::BandCoefficients at44k = plugin->engine().derived().band[3];

    plugin->setSampleRate(48000.0f);
    EXPECT_EQ(plugin->engine().designRate(), 48000.0f);
    Render(*plugin, l, r, 0, 64, outL, outR);
    const gate::BandCoefficients at48k = plugin->engine().derived().band[3];
    float params[gate::kNumParams];
    ParameterSet(*plugin, params);
    const gate::BandCoefficients expected =
        gate::DesignBandPass(params[2], gate::BandCentreFrequency(params[0], params[1], 3), 48000.0f);
    EXPECT_TRUE(SameBits(at48k.a1, expected.a1) && SameBits(at48k.b0, expected.b0));
    EXPECT_FALSE(SameBits(at44k.a1, at48k.a1));

    // Rates outside what the design handles change nothing in the engine,
    // though the base still records what the host said.
    for (float bad : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()}) {
        plugin->setSampleRate(bad);
        plugin->setBlockSizeAndSampleRate(256, bad);
        EXPECT_EQ(plugin->engine().designRate(), 48000.0f);
    }
    plugin->setBlockSizeAndSampleRate(256, 96000.0f);
    EXPECT_EQ(plugin->engine().designRate(), 96000.0f);
    EXPECT_EQ(plugin->getBlockSize(), 256);
}

TEST(SampleRate, OnlyRatesTheDesignHandlesAreTaken) {
    auto plugin = MakePlugin();
    for (float rate : {8000.0f, 768000.0f, 11025.0f, 384000.0f}) {
        plugin->setSampleRate(rate);
        EXPECT_EQ(plugin->engine().designRate(), rate);
    }
    // Absurdly small rates (the centre angle of 1e-13 Hz is past any
    // argument reduction), rates just outside the range, huge ones.
    for (float bad : {1e-30f, 1e-40f, std::numeric_limits<float>::denorm_min(), 1e-13f, 1.0f, 7999.0f,
                      std::nextafter(8000.0f, 0.0f), std::nextafter(768000.0f, 1e9f), 1e9f,
                      std::numeric_limits<float>::max()}) {
        SCOPED_TRACE(bad);
        plugin->setSampleRate(bad);
        EXPECT_EQ(plugin->engine().designRate(), 384000.0f);
        EXPECT_EQ(plugin->getSampleRate(), bad) << "the base keeps what the host said";
    }
}

TEST(SampleRate, EveryAcceptedRateDesignsStableBands) {
    // Poles inside the unit circle: |a2| < 1 and |a1| < 1 + a2, on the
    // stored floats. Where rounding would put a pole on or past the circle
    // is near z = 1 for the lowest bands at high rates, and near z = 1 or
    // z = -1 for bands centred near a multiple of half a low rate.
    auto stable = [](const gate::BandCoefficients& c) {
        return std::fabs(static_cast<double>(c.a2)) < 1.0 &&
               std::fabs(static_cast<double>(c.a1)) < 1.0 + static_cast<double>(c.a2);
    };
    const float qs[] = {0.0f, 0.005f, 0.0375f, 0.05f, 0.125f, 0.33f, 0.5f, 0.75f, 0.99f};
    for (float rate : {8000.0f, 11025.0f, 16000.0f, 22050.0f, 32000.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f,
                       384000.0f, 768000.0f}) {
        SCOPED_TRACE(rate);
        int unstable = 0;
        // Every Start position on a fine grid.
        for (int i = 0; i <= 2000; ++i) {
            const float centre = gate::BandCentreFrequency(i / 2000.0f, 0.0f, 0);
            for (float q : qs)
                unstable += !stable(gate::DesignBandPass(q, centre, rate));
        }
        // A few hundred float steps either side of each multiple of half
        // the rate that a band can be centred on.
        for (int m = 1; m * 0.5 * rate <= 20482.0; ++m) {
            float up = static_cast<float>(m * 0.5 * rate), down = up;
            for (int step = 0; step < 300; ++step, up = std::nextafter(up, 1e9f), down = std::nextafter(down, 0.0f))
                for (float q : qs)
                    unstable += !stable(gate::DesignBandPass(q, up, rate)) + !stable(gate::DesignBandPass(q, down, rate));
        }
        EXPECT_EQ(unstable, 0);
    }
}

TEST(SampleRate, BandsAtTheEdgesOfTheRangeDieAway) {
    // The designs that rounding put on the stability limit: every band on
    // 20 Hz at 768 kHz, and every band on half the rate at 8 kHz. After
    // a loud burst the bands ring down instead of growing until they
    // overflow (and then sounding at full scale until they do).
    struct Case {
        float rate, position, q;
    } cases[] = {{768000.0f, 0.0f, 0.05f}, {768000.0f, 0.0f, 0.0f}, {8000.0f, 0.0f, 0.0f}};
    // The position whose centre lies nearest to 4 kHz.
    float nearest = 0.0f;
    for (int i = 0; i <= 100000; ++i)
        if (std::fabs(gate::BandCentreFrequency(i / 100000.0f, 0.0f, 0) - 4000.0f) <
            std::fabs(gate::BandCentreFrequency(nearest, 0.0f, 0) - 4000.0f))
            nearest = i / 100000.0f;
    cases[2].position = nearest;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        auto plugin = MakePlugin();
        plugin->setSampleRate(c.rate);
        plugin->setProgram(0);  // every gate open
        plugin->setParameter(0, c.position);
        plugin->setParameter(1, c.position);
        plugin->setParameter(2, c.q);
        std::vector<float> l, r;
        MakeTestSignal(l, r, 8192, 41);
        l.resize(100 * 4096, 0.0f);
        r.resize(100 * 4096, 0.0f);
        std::vector<float> outL(l.size()), outR(r.size());
        double largest = 0.0;
        for (int pos = 0; pos < static_cast<int>(l.size()); pos += 4096) {
            Render(*plugin, l, r, pos, 4096, outL, outR);
            for (double y : plugin->engine().state().yL1)
                largest = std::max(largest, std::fabs(y));
        }
        EXPECT_LT(largest, 1e3);
        for (size_t i = l.size() - 4096; i < l.size(); ++i)
            ASSERT_LT(std::fabs(outL[i]), 0.5f) << i;
    }
}

TEST(SampleRate, LowRatesStayStable) {
    // At 8 kHz the top bands lie far above half the rate; the bandwidth
    // limit keeps every filter stable.
    auto plugin = MakePlugin();
    plugin->setSampleRate(8000.0f);
    plugin->setParameter(0, 0.6f);
    plugin->setParameter(1, 1.0f);
    plugin->setParameter(2, 1.0f);
    std::vector<float> l, r;
    MakeTestSignal(l, r, 20000, 23);
    std::vector<float> outL(20000), outR(20000);
    Render(*plugin, l, r, 0, 20000, outL, outR);
    for (const auto& c : plugin->engine().derived().band) {
        // Poles inside the unit circle: |a2| < 1 and |a1| < 1 + a2.
        EXPECT_LT(std::fabs(c.a2), 1.0f);
        EXPECT_LT(std::fabs(c.a1), 1.0f + c.a2);
    }
    for (int i = 0; i < 20000; ++i)
        ASSERT_TRUE(std::isfinite(outL[i]) && std::isfinite(outR[i])) << i;
    for (double v : plugin->engine().state().yL1)
        EXPECT_LT(std::fabs(v), 100.0);
}

TEST(Redesign, OnlyWhenTheBandsChange) {
    std::vector<float> l, r;
    MakeTestSignal(l, r, 8000, 29);
    // Renders 4000 frames, changes one parameter, renders 4000 more, and
    // compares with the reference told whether the change clears the
    // filter histories.
    auto matchesReference = [&](int index, float value, bool clears) {
        auto plugin = MakePlugin();
        reference::Gate ref;
        float params[gate::kNumParams];
        ParameterSet(*plugin, params);
        ref.Apply(params, 44100.0f, true);
        std::vector<float> outL(8000), outR(8000), refL(8000), refR(8000);
        Render(*plugin, l, r, 0, 4000, outL, outR);
        ref.Block(l.data(), r.data(), refL.data(), refR.data(), 4000, false);
        plugin->setParameter(index, value);
        ParameterSet(*plugin, params);
        ref.Apply(params, 44100.0f, clears);
        Render(*plugin, l, r, 4000, 4000, outL, outR);
        ref.Block(l.data() + 4000, r.data() + 4000, refL.data() + 4000, refR.data() + 4000, 4000, false);
        for (int i = 0; i < 8000; ++i)
            if (!SameBits(outL[i], refL[i]) || !SameBits(outR[i], refR[i]))
                return ::testing::AssertionFailure() << "index " << index << " differs at frame " << i;
        return ::testing::AssertionSuccess();
    };
    // Boost, smoothing, a gate level or an idle slot: the filters ring on.
    for (int index : {5, 3, 10, 24, 30})
        EXPECT_TRUE(matchesReference(index, 0.8f, false));
    // Start, Finish or Q: the bands are designed anew, from silence.
    for (int index : {0, 1, 2})
        EXPECT_TRUE(matchesReference(index, 0.4f, true));
}

TEST(Redesign, SameValueAgainKeepsTheHistories) {
    // Selecting the current program again loads the same values: nothing
    // to redesign, so the output carries on as if nothing happened.
    std::vector<float> l, r;
    MakeTestSignal(l, r, 6000, 31);
    auto a = MakePlugin();
    auto b = MakePlugin();
    std::vector<float> outA(6000), outAR(6000), outB(6000), outBR(6000);
    Render(*a, l, r, 0, 3000, outA, outAR);
    Render(*b, l, r, 0, 3000, outB, outBR);
    b->setProgram(7);
    Render(*a, l, r, 3000, 3000, outA, outAR);
    Render(*b, l, r, 3000, 3000, outB, outBR);
    for (int i = 0; i < 6000; ++i)
        ASSERT_TRUE(SameBits(outA[i], outB[i]) && SameBits(outAR[i], outBR[i])) << i;
}

TEST(Requests, WideValuesAreIgnoredNotNarrowed) {
    // 64-bit builds: a `value` outside 32 bits is no block size, program,
    // category or knob mode, whatever its low 32 bits say; what else the
    // request carries still counts (the rate, the program asked for).
    if (sizeof(VstIntPtr) < 8)
        GTEST_SKIP() << "value is 32 bits wide here";
    auto plugin = MakePlugin();
    plugin->dispatcher(effSetBlockSizeAndSampleRate, 0, 256, nullptr, 48000.0f);
    plugin->dispatcher(effSetProgram, 0, 4, nullptr, 0.0f);
    const VstIntPtr wide[] = {static_cast<VstIntPtr>(INT64_MIN), static_cast<VstIntPtr>((int64_t{1} << 32) + 2),
                              static_cast<VstIntPtr>(-(int64_t{1} << 32) + 512)};
    for (VstIntPtr value : wide) {
        SCOPED_TRACE(value);
        plugin->dispatcher(effSetBlockSize, 0, value, nullptr, 0.0f);
        EXPECT_EQ(plugin->dispatcher(effSetBlockSizeAndSampleRate, 0, value, nullptr, 96000.0f), 1);
        EXPECT_EQ(plugin->getBlockSize(), 256);
        EXPECT_EQ(plugin->engine().designRate(), 96000.0f) << "the rate is taken all the same";
        plugin->dispatcher(effSetSampleRate, 0, 0, nullptr, 48000.0f);
        plugin->dispatcher(effSetProgram, 0, value, nullptr, 0.0f);
        EXPECT_EQ(plugin->getProgram(), 4);
        char name[32];
        std::memset(name, 'x', sizeof name);
        EXPECT_EQ(plugin->dispatcher(effGetProgramNameIndexed, 2, value, name, 0.0f), 1) << "the category is ignored";
        EXPECT_STREQ(name, "HiGate");
    }
    char name[32] = {};
    EXPECT_EQ(plugin->dispatcher(effGetProgramNameIndexed, 2, -1, name, 0.0f), 1);
    EXPECT_STREQ(name, "HiGate");
}
