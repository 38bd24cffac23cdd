// Known values of the mappings, the filter design and the output stage.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "EngineTestUtil.h"
#include "GateMath.h"

using namespace enginetest;

namespace {

double Magnitude(const gate::BandCoefficients& c, double frequency, double rate) {
    const double pi = 3.14159265358979323846;
    const std::complex<double> z1 = std::polar(1.0, -2.0 * pi * frequency / rate);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((static_cast<double>(c.b0) + static_cast<double>(c.b2) * z2) /
                    (1.0 + static_cast<double>(c.a1) * z1 + static_cast<double>(c.a2) * z2));
}

std::vector<float> RenderSilenceOrSignal(APlugin& plugin, const std::vector<float>& l, const std::vector<float>& r) {
    std::vector<float> outL(l.size()), outR(r.size());
    float* in[2] = {const_cast<float*>(l.data()), const_cast<float*>(r.data())};
    float* out[2] = {outL.data(), outR.data()};
    plugin.processReplacing(in, out, static_cast<int>(l.size()));
    outL.insert(outL.end(), outR.begin(), outR.end());
    return outL;
}

}  // namespace

TEST(Mappings, ExponentialsAndGains) {
    EXPECT_NEAR(gate::Pow2(0.0f), 1.0001f, 1e-6);
    EXPECT_NEAR(gate::Pow2(10.0f), 1024.0f * 1.0001f, 0.01);
    EXPECT_NEAR(gate::Pow2(17.0f), 131085.0f, 2.0);
    EXPECT_NEAR(gate::Pow10(1.0f), 10.001f, 1e-4);
    EXPECT_EQ(gate::DbToGain(20, 40, 0.0f), 0.0f);
    EXPECT_NEAR(gate::DbToGain(20, 40, 0.5f), 1.0001f, 1e-5);
    EXPECT_NEAR(gate::DbToGain(20, 40, 0.0001f), 0.1f, 0.001);  // about -20 dB
    EXPECT_NEAR(gate::DbToGain(20, 40, 1.0f), 10.001f, 1e-3);
}

TEST(Mappings, ThresholdsAndSmoothingFromParameters) {
    float params[gate::kNumParams] = {};
    params[gate::kFirstGateLevel + 0] = 0.0f;
    params[gate::kFirstGateLevel + 1] = 1e-7f;  // smallest levels: about -70 dB
    params[gate::kFirstGateLevel + 2] = 0.5f;
    params[gate::kFirstGateLevel + 3] = 1.0f;
    params[gate::kAttack] = 0.0f;
    params[gate::kRelease] = 1.0f;
    gate::DerivedValues dv{};
    gate::DeriveGains(params, dv);
    EXPECT_EQ(dv.threshold[0], 0.0f);  // a gate that never closes
    EXPECT_NEAR(dv.threshold[1], 0.0003125f, 0.0003125f * 1e-3);
    EXPECT_NEAR(dv.threshold[2], 0.003125f, 0.003125f * 1e-3);
    EXPECT_NEAR(dv.threshold[3], 0.03125f, 0.03125f * 1e-3);
    EXPECT_NEAR(dv.attackCoef, 1.0001f, 1e-6);
    EXPECT_FLOAT_EQ(dv.attackNorm, 1.0f / (1.0f + dv.attackCoef));
    EXPECT_NEAR(dv.releaseCoef, 131085.0f, 2.0);
    EXPECT_EQ(dv.boostGain, 0.0f);
}

TEST(Design, BandCentresSpreadExponentially) {
    EXPECT_NEAR(gate::BandCentreFrequency(0.0f, 1.0f, 0), 20.002f, 0.001);
    EXPECT_NEAR(gate::BandCentreFrequency(0.0f, 1.0f, 15), 20482.0f, 1.0);
    EXPECT_NEAR(gate::BandCentreFrequency(1.0f, 0.0f, 0), 20482.0f, 1.0);
    EXPECT_NEAR(gate::BandCentreFrequency(1.0f, 0.0f, 15), 20.002f, 0.001);
    EXPECT_NEAR(gate::BandCentreFrequency(0.5f, 0.5f, 7), 640.064f, 0.01);
    // Equal musical steps: the ratio of neighbours is constant.
    const double r1 = gate::BandCentreFrequency(0.0f, 1.0f, 1) / gate::BandCentreFrequency(0.0f, 1.0f, 0);
    const double r2 = gate::BandCentreFrequency(0.0f, 1.0f, 15) / gate::BandCentreFrequency(0.0f, 1.0f, 14);
    EXPECT_NEAR(r1, r2, 1e-4);
}

TEST(Design, UnityPeakAndMinus3dBPoints) {
    const gate::BandCoefficients c = gate::DesignBandPass(0.33f, 1000.0f, 44100.0f);
    EXPECT_NEAR(Magnitude(c, 1000.0, 44100.0), 1.0, 0.002);
    const double halfPower = std::sqrt(0.5);
    EXPECT_NEAR(Magnitude(c, 848.0, 44100.0), halfPower, 0.01);
    EXPECT_NEAR(Magnitude(c, 1178.0, 44100.0), halfPower, 0.01);
    EXPECT_LT(Magnitude(c, 500.0, 44100.0), 0.4);
    EXPECT_EQ(c.b2, -c.b0);  // the 1e-12 added to each is far below their last bit here
}

TEST(Design, BandwidthIsLimited) {
    auto same = [](gate::BandCoefficients a, gate::BandCoefficients b) {
        return SameBits(a.b0, b.b0) && SameBits(a.b2, b.b2) && SameBits(a.a1, b.a1) && SameBits(a.a2, b.a2);
    };
    EXPECT_TRUE(same(gate::DesignBandPass(1.0f, 1000.0f, 44100.0f), gate::DesignBandPass(0.99f, 1000.0f, 44100.0f)));
    EXPECT_TRUE(same(gate::DesignBandPass(0.0f, 1000.0f, 44100.0f), gate::DesignBandPass(0.005f, 1000.0f, 44100.0f)));
    EXPECT_TRUE(same(gate::DesignBandPass(NAN, 1000.0f, 44100.0f), gate::DesignBandPass(0.005f, 1000.0f, 44100.0f)));
    // The narrowest band the parameters allow: tiny but finite.
    const gate::BandCoefficients narrow = gate::DesignBandPass(0.005f, 20.0f, 44100.0f);
    EXPECT_NEAR(narrow.b0, 7.1e-6, 0.3e-6);
    EXPECT_TRUE(std::isfinite(narrow.a1) && std::isfinite(narrow.a2));
}

TEST(Output, SoftClipCurve) {
    EXPECT_NEAR(gate::SoftClip(0.01f), 0.01495f, 1e-7);
    EXPECT_NEAR(gate::SoftClip(0.1f), 0.145f, 1e-6);
    EXPECT_FLOAT_EQ(gate::SoftClip(0.5f), 0.625f);
    EXPECT_FLOAT_EQ(gate::SoftClip(-0.5f), -0.625f);
    EXPECT_EQ(gate::SoftClip(1.0f), 1.0f);
    EXPECT_EQ(gate::SoftClip(3.7f), 1.0f);
    EXPECT_EQ(gate::SoftClip(-12.0f), -1.0f);
    EXPECT_EQ(gate::SoftClip(0.0f), 0.0f);
}

TEST(Output, SilenceCarriesTheSmallConstant) {
    auto plugin = MakePlugin();
    plugin->setProgram(0);  // "Default": Boost 0.5, every gate level 0
    std::vector<float> silence(4096, 0.0f);
    const std::vector<float> out = RenderSilenceOrSignal(*plugin, silence, silence);
    const double expected = 16e-12 * plugin->engine().derived().boostGain * 1.5;
    EXPECT_NEAR(out.back(), 2.4e-11, 0.05e-11);
    EXPECT_NEAR(out.back(), expected, expected * 1e-3);
    EXPECT_EQ(out.back(), out[out.size() / 2 - 1]);  // both channels alike

    // A signal on the right input alone opens nothing: the left channel
    // keys every band.
    auto rightOnly = MakePlugin();
    rightOnly->setProgram(0);
    std::vector<float> l, r;
    MakeTestSignal(l, r, 4096, 5);
    const std::vector<float> cut = RenderSilenceOrSignal(*rightOnly, silence, r);
    for (float v : cut)
        ASSERT_TRUE(SameBits(v, out.back())) << v;
}

TEST(Output, BoostZeroIsExactSilence) {
    auto plugin = MakePlugin();
    plugin->setParameter(gate::kBoost, 0.0f);
    std::vector<float> l, r;
    MakeTestSignal(l, r, 4096, 11);
    for (float v : RenderSilenceOrSignal(*plugin, l, r))
        ASSERT_EQ(v, 0.0f);
}

TEST(Output, LoudSignalStaysWithinUnity) {
    auto plugin = MakePlugin();
    plugin->setProgram(5);  // "Chuffy": high boost
    std::vector<float> l, r;
    MakeTestSignal(l, r, 8192, 13);
    for (auto& v : l)
        v *= 8.0f;
    for (auto& v : r)
        v *= 8.0f;
    float peak = 0.0f;
    for (float v : RenderSilenceOrSignal(*plugin, l, r)) {
        ASSERT_TRUE(std::isfinite(v));
        ASSERT_LE(std::fabs(v), 1.0f);
        peak = std::max(peak, std::fabs(v));
    }
    EXPECT_EQ(peak, 1.0f);  // the clipper was reached
}

TEST(Parameters, ClampedAndStoredInTheCurrentProgram) {
    auto plugin = MakePlugin();
    plugin->setProgram(2);
    plugin->setParameter(3, 1.5f);
    EXPECT_EQ(plugin->getParameter(3), 1.0f);
    EXPECT_EQ(plugin->program(2).fvar[3], 1.0f);
    plugin->setParameter(3, -0.2f);
    EXPECT_EQ(plugin->getParameter(3), 0.0f);
    EXPECT_EQ(plugin->program(2).fvar[3], 0.0f);
    plugin->setParameter(4, NAN);
    EXPECT_EQ(plugin->getParameter(4), 0.0f);
    // The spare slot 30 is written by program selection only, and hidden.
    plugin->setParameter(30, 0.7f);
    EXPECT_EQ(plugin->getParameter(30), 0.0f);
    EXPECT_EQ(plugin->parameterValue(30), 0.7f);
    // Out-of-range indices change nothing.
    plugin->setParameter(31, 0.5f);
    plugin->setParameter(-1, 0.5f);
    EXPECT_EQ(plugin->program(2).fvar[31], 0.0f);
}
