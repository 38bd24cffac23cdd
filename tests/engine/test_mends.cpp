// Behaviour that deliberately departs from the naive design: bad input
// samples, sample-rate changes, and filters that keep ringing through
// changes that do not concern them.
#include <gtest/gtest.h>

#include <cmath>
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

    // Rates that are not finite and positive change nothing in the engine,
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
