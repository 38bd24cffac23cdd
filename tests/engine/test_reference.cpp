// The production engine against the literal reference, bit for bit, and
// the properties that block processing must keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <limits>

#include "EngineTestUtil.h"
#include "ReferenceGate.h"

using namespace enginetest;

namespace {

// Runs the reference over the whole signal for the plug-in's current
// parameters, in one block per `blockSizes` entry (cycled), as the engine
// is run.
void RunReference(APlugin& plugin, const std::vector<float>& inL, const std::vector<float>& inR,
                  std::vector<float>& outL, std::vector<float>& outR, const std::vector<int>& blockSizes) {
    reference::Gate ref;
    float params[gate::kNumParams];
    ParameterSet(plugin, params);
    ref.Apply(params, plugin.engine().designRate(), true);
    outL.assign(inL.size(), 0.0f);
    outR.assign(inR.size(), 0.0f);
    const int total = static_cast<int>(inL.size());
    size_t b = 0;
    for (int pos = 0; pos < total;) {
        int n = blockSizes[b++ % blockSizes.size()];
        if (n > total - pos)
            n = total - pos;
        ref.Block(inL.data() + pos, inR.data() + pos, outL.data() + pos, outR.data() + pos, n, false);
        pos += n;
    }
}

void RunEngine(APlugin& plugin, const std::vector<float>& inL, const std::vector<float>& inR,
               std::vector<float>& outL, std::vector<float>& outR, const std::vector<int>& blockSizes) {
    outL.assign(inL.size(), 0.0f);
    outR.assign(inR.size(), 0.0f);
    const int total = static_cast<int>(inL.size());
    size_t b = 0;
    for (int pos = 0; pos < total;) {
        int n = blockSizes[b++ % blockSizes.size()];
        if (n > total - pos)
            n = total - pos;
        float* in[2] = {const_cast<float*>(inL.data()) + pos, const_cast<float*>(inR.data()) + pos};
        float* out[2] = {outL.data() + pos, outR.data() + pos};
        plugin.processReplacing(in, out, n);
        pos += n;
    }
}

int FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (!SameBits(a[i], b[i]))
            return static_cast<int>(i);
    return -1;
}

}  // namespace

// Every kernel must match; one the processor lacks is skipped, and says so.
class Kernels : public ::testing::TestWithParam<gate::KernelSet> {
protected:
    std::unique_ptr<APlugin> MakeKernelPlugin() {
        auto plugin = MakePlugin();
        if (!plugin->engine().useKernel(GetParam()))
            return nullptr;
        return plugin;
    }
    std::string SkipMessage() const {
        return std::string("this processor does not run the ") + KernelName(GetParam()) + " kernel";
    }
};
INSTANTIATE_TEST_SUITE_P(Reference, Kernels,
                         ::testing::ValuesIn(kAllKernels),
                         [](const ::testing::TestParamInfo<gate::KernelSet>& info) {
                             return std::string(KernelName(info.param));
                         });

TEST_P(Kernels, EveryFactoryProgramMatchesBitForBit) {
    std::vector<float> inL, inR;
    MakeTestSignal(inL, inR, 30000, 1234);
    for (int program = 0; program < 8; ++program) {
        auto plugin = MakeKernelPlugin();
        if (!plugin)
            GTEST_SKIP() << SkipMessage();
        plugin->setProgram(program);
        std::vector<float> refL, refR, engL, engR;
        RunReference(*plugin, inL, inR, refL, refR, {512});
        RunEngine(*plugin, inL, inR, engL, engR, {512});
        EXPECT_EQ(FirstDifference(refL, engL), -1) << "left, program " << program;
        EXPECT_EQ(FirstDifference(refR, engR), -1) << "right, program " << program;
    }
}

TEST_P(Kernels, ExtremeSettingsMatchBitForBit) {
    // Corners of the parameter space: narrowest and widest bands, fastest
    // and slowest smoothing, gates that never close, full boost.
    const float settings[][6] = {
        {0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f},    {1.0f, 0.0f, 1.0f, 1.0f, 1.0f, 0.0001f},
        {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},    {0.0f, 0.0f, 0.005f, 0.1f, 0.9f, 0.75f},
        {1.0f, 1.0f, 0.99f, 0.0f, 1.0f, 1.0f},
    };
    std::vector<float> inL, inR;
    MakeTestSignal(inL, inR, 12000, 99);
    for (const auto& s : settings) {
        auto plugin = MakeKernelPlugin();
        if (!plugin)
            GTEST_SKIP() << SkipMessage();
        for (int i = 0; i < 6; ++i)
            plugin->setParameter(i, s[i]);
        for (int k = 0; k < 16; ++k)
            plugin->setParameter(6 + k, (k % 3) * 0.4f);
        std::vector<float> refL, refR, engL, engR;
        RunReference(*plugin, inL, inR, refL, refR, {256});
        RunEngine(*plugin, inL, inR, engL, engR, {256});
        EXPECT_EQ(FirstDifference(refL, engL), -1) << "start " << s[0] << " q " << s[2];
        EXPECT_EQ(FirstDifference(refR, engR), -1) << "start " << s[0] << " q " << s[2];
    }
}

// The meters report the engine's own detector values: each band's largest
// over the blocks since the previous take, and its gate level at the end
// of the latest block, as the reference computes them. Blocks of varied
// length cross the stream's chunks and take the short path; taken after
// every block and after every third.
TEST_P(Kernels, MetersReportTheDetectorLevels) {
    struct Case {
        int program;
        gate::KeySource key;
        int takeEvery;
    };
    const Case cases[] = {{7, gate::KeySource::Left, 1}, {1, gate::KeySource::Left, 3}, {4, gate::KeySource::Side, 3}};
    const int blockSizes[] = {512, 5, 100, 64, 3, 300};
    std::vector<float> inL, inR;
    MakeTestSignal(inL, inR, 12000, 77);
    for (const Case& c : cases) {
        auto plugin = MakeKernelPlugin();
        if (!plugin)
            GTEST_SKIP() << SkipMessage();
        plugin->setProgram(c.program);
        plugin->engine().setKeySource(c.key);
        plugin->engine().setMetering(true);  // from the first block, before any take
        reference::Gate ref;
        ref.key = c.key;
        float params[gate::kNumParams];
        ParameterSet(*plugin, params);
        ref.Apply(params, plugin->engine().designRate(), true);
        std::vector<float> refL(inL.size()), refR(inR.size()), engL(inL.size()), engR(inR.size());
        float expected[gate::kNumBands] = {};
        int blocks = 0;
        for (int pos = 0, total = static_cast<int>(inL.size()); pos < total; ++blocks) {
            const int n = std::min(blockSizes[blocks % 6], total - pos);
            ref.Block(inL.data() + pos, inR.data() + pos, refL.data() + pos, refR.data() + pos, n, false);
            plugin->engine().processReplacing(inL.data() + pos, inR.data() + pos, engL.data() + pos,
                                              engR.data() + pos, n);
            pos += n;
            for (int k = 0; k < gate::kNumBands; ++k)
                expected[k] = std::max(expected[k], ref.detectMax[k]);
            if ((blocks + 1) % c.takeEvery != 0)
                continue;
            gate::BandMeterReading reading;
            plugin->engine().meters().take(reading);
            ASSERT_EQ(reading.blocks, static_cast<uint32_t>(c.takeEvery));
            for (int k = 0; k < gate::kNumBands; ++k) {
                ASSERT_TRUE(SameBits(reading.level[k], expected[k]))
                    << "program " << c.program << " block " << blocks << " band " << k;
                // The fraction passed: the reference's ratio, or none where the
                // band is cut, and never more than the whole band.
                const float ratio = (float)((double)ref.bandGain[k] / ((double)ref.detect[k] + 0.0001));
                const float passed = ref.bandGain[k] > 0.001f ? std::min(ratio, 1.0f) : 0.0f;
                ASSERT_TRUE(SameBits(reading.gain[k], passed))
                    << "program " << c.program << " block " << blocks << " band " << k;
                expected[k] = 0.0f;
            }
        }
        EXPECT_EQ(FirstDifference(refL, engL), -1) << "program " << c.program;
    }
}

// Signals that leave the range in which the kernels may round the cheap
// way (inputs beyond 2^20, filters that overflow, subnormal and zero
// samples, non-finite samples) and come back: the kernels change their
// rounding chunk by chunk and must still match, with flush-to-zero and
// denormals-are-zero off and on. Also the widest bands at a low design
// rate, most of them beyond half of it.
TEST_P(Kernels, ExtremeSignalsMatchBitForBit) {
    const int frames = 12000;
    std::vector<float> baseL, baseR;
    MakeTestSignal(baseL, baseR, frames, 31);
    struct Case {
        const char* name;
        float (*shape)(int n, float x);
        float rate;
    };
    const Case cases[] = {
        {"beyond 2^20", [](int n, float x) { return n >= 3000 && n < 3600 ? x * 3e6f : x; }, 44100.0f},
        // A square wave of the largest float at the bands' centre: the
        // filters ring up beyond it and overflow.
        {"overflowing",
         [](int n, float x) { return n >= 2000 && n < 4000 ? ((n * 640 / 22050) % 2 ? -FLT_MAX : FLT_MAX) : x; },
         44100.0f},
        {"subnormal and zero",
         [](int n, float x) {
             if (n >= 1000 && n < 5000)
                 return (n % 3 == 0) ? 0.0f : x * 1e-40f;
             return n >= 7000 && n < 7100 ? -0.0f : x;
         },
         44100.0f},
        {"non-finite",
         [](int n, float x) {
             if (n % 997 == 5)
                 return std::numeric_limits<float>::quiet_NaN();
             if (n % 1013 == 7)
                 return -std::numeric_limits<float>::infinity();
             return n % 1500 == 0 ? 1e30f : x;
         },
         44100.0f},
        {"low design rate", [](int, float x) { return x; }, 8000.0f},
    };
    for (const Case& c : cases) {
        std::vector<float> inL(frames), inR(frames);
        for (int n = 0; n < frames; ++n) {
            inL[n] = c.shape(n, baseL[n]);
            inR[n] = c.shape(n, baseR[n]);
        }
        // The engine's samples with flush-to-zero off, which it must give
        // with it on as well (x86's FTZ and DAZ, 64-bit ARM's FZ).
        std::vector<float> plainL, plainR;
        for (bool ftz : {false, true}) {
            FlushToZero mode(ftz);
            auto plugin = MakeKernelPlugin();
            if (!plugin)
                GTEST_SKIP() << SkipMessage();
            plugin->setSampleRate(c.rate);
            // Every band at 640 Hz, a tenth of it wide, except at the low
            // rate: there the widest bands, up to beyond half the rate.
            const bool low = c.rate < 44100.0f;
            plugin->setParameter(0, low ? 0.3f : 0.5f);
            plugin->setParameter(1, low ? 1.0f : 0.5f);
            plugin->setParameter(2, low ? 1.0f : 0.1f);
            for (int k = 0; k < 16; ++k)
                plugin->setParameter(6 + k, (k % 4) * 0.3f);
            std::vector<float> refL, refR, engL, engR;
            RunReference(*plugin, inL, inR, refL, refR, {512, 100});
            RunEngine(*plugin, inL, inR, engL, engR, {512, 100});
            EXPECT_EQ(FirstDifference(refL, engL), -1) << c.name << (ftz ? ", flush-to-zero" : "");
            EXPECT_EQ(FirstDifference(refR, engR), -1) << c.name << (ftz ? ", flush-to-zero" : "");
            if (!ftz) {
                plainL = engL;
                plainR = engR;
            } else {
                EXPECT_EQ(FirstDifference(plainL, engL), -1) << c.name << ", flush-to-zero against off";
                EXPECT_EQ(FirstDifference(plainR, engR), -1) << c.name << ", flush-to-zero against off";
            }
        }
    }
}

// Any split into blocks, with blocks of every length the kernels treat
// apart (short chunks, pieces up to the end of a chunk, whole chunks),
// gives the reference's samples: also where bands overflow and start
// again, which happens every 64 frames from the start of the stream,
// wherever the blocks end. The overflowing signals are squares of the
// largest floats at low rates, with every gate open.
TEST_P(Kernels, AnySplitGivesTheSameOutput) {
    struct Case {
        const char* name;
        float rate;
        int program;
        int squareFrom, squareTo, halfPeriod;  // a +-FLT_MAX square over these frames
    };
    const Case cases[] = {
        {"ordinary signal", 44100.0f, 7, 0, 0, 1},
        {"square of the largest floats at 8 kHz", 8000.0f, 0, 1000, 2600, 4},
        {"square of the largest floats at 11025 Hz", 11025.0f, 0, 2001, 2400, 3},
    };
    const std::vector<std::vector<int>> splits = {{9000}, {1}, {0, 1, 0, 3}, {7, 0, 64, 1, 511}, {4096, 1},
                                                  {2, 5, 8, 9, 31, 33, 100}};
    std::vector<float> baseL, baseR;
    MakeTestSignal(baseL, baseR, 9000, 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> inL = baseL, inR = baseR;
        for (int n = c.squareFrom; n < c.squareTo; ++n) {
            const bool high = (n - c.squareFrom) / c.halfPeriod % 2 == 0;
            inL[n] = high ? FLT_MAX : -FLT_MAX;
            inR[n] = high ? -FLT_MAX : FLT_MAX;
        }
        auto plugin = MakeKernelPlugin();
        if (!plugin)
            GTEST_SKIP() << SkipMessage();
        plugin->setSampleRate(c.rate);
        plugin->setProgram(c.program);
        reference::Gate ref;
        float params[gate::kNumParams];
        ParameterSet(*plugin, params);
        ref.Apply(params, c.rate, true);
        std::vector<float> refL(inL.size()), refR(inR.size());
        ref.Block(inL.data(), inR.data(), refL.data(), refR.data(), static_cast<int>(inL.size()), false);
        EXPECT_EQ(ref.restarts > 0, c.squareTo > c.squareFrom) << "bands overflowed as the case means them to";
        for (const auto& split : splits) {
            auto splitPlugin = MakeKernelPlugin();
            splitPlugin->setSampleRate(c.rate);
            splitPlugin->setProgram(c.program);
            std::vector<float> outL, outR;
            RunEngine(*splitPlugin, inL, inR, outL, outR, split);
            EXPECT_EQ(FirstDifference(refL, outL), -1) << "split starting " << split[0];
            EXPECT_EQ(FirstDifference(refR, outR), -1) << "split starting " << split[0];
        }
        // reset() starts a new stream: the chunks count from there again,
        // as in a new engine.
        std::vector<float> outL, outR;
        RunEngine(*plugin, inL, inR, outL, outR, {37});
        plugin->engine().reset();
        RunEngine(*plugin, inL, inR, outL, outR, {100});
        EXPECT_EQ(FirstDifference(refL, outL), -1) << "after a reset";
        EXPECT_EQ(FirstDifference(refR, outR), -1) << "after a reset";
    }
}

TEST(Blocks, InPlaceBuffersAndAccumulation) {
    std::vector<float> inL, inR;
    MakeTestSignal(inL, inR, 2048, 3);
    std::vector<float> expectL, expectR;
    {
        auto plugin = MakePlugin();
        RunEngine(*plugin, inL, inR, expectL, expectR, {300});
    }
    // In place: the outputs overwrite the inputs frame by frame.
    {
        auto plugin = MakePlugin();
        std::vector<float> bufL = inL, bufR = inR;
        for (int pos = 0; pos < 2048; pos += 300) {
            const int n = std::min(300, 2048 - pos);
            float* io[2] = {bufL.data() + pos, bufR.data() + pos};
            plugin->processReplacing(io, io, n);
        }
        EXPECT_EQ(FirstDifference(expectL, bufL), -1);
        EXPECT_EQ(FirstDifference(expectR, bufR), -1);
    }
    // process adds to what the outputs hold.
    {
        auto plugin = MakePlugin();
        std::vector<float> outL(2048, 0.25f), outR(2048, -0.5f);
        for (int pos = 0; pos < 2048; pos += 300) {
            const int n = std::min(300, 2048 - pos);
            float* in[2] = {inL.data() + pos, inR.data() + pos};
            float* out[2] = {outL.data() + pos, outR.data() + pos};
            plugin->process(in, out, n);
        }
        for (size_t i = 0; i < outL.size(); ++i) {
            ASSERT_TRUE(SameBits(outL[i], 0.25f + expectL[i])) << i;
            ASSERT_TRUE(SameBits(outR[i], -0.5f + expectR[i])) << i;
        }
    }
}

TEST(Blocks, ZeroOrNegativeFramesTouchNothing) {
    auto plugin = MakePlugin();
    float inL[4] = {1, 1, 1, 1}, inR[4] = {1, 1, 1, 1};
    float outL[4] = {9, 9, 9, 9}, outR[4] = {9, 9, 9, 9};
    float* in[2] = {inL, inR};
    float* out[2] = {outL, outR};
    plugin->processReplacing(in, out, 64 / 64);  // settle the first parameter set
    const gate::ProcessState before = plugin->engine().state();
    outL[0] = outR[0] = 9;
    plugin->processReplacing(in, out, 0);
    plugin->process(in, out, -5);
    EXPECT_EQ(std::memcmp(&before, &plugin->engine().state(), sizeof before), 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(outL[i], 9.0f);
        EXPECT_EQ(outR[i], 9.0f);
    }
}
