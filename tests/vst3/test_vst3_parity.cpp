// The VST3 edition against the VST 2.x library: the eight programs at three
// rates and four block sizes give the same samples, bit for bit. The
// program reaches each as a host sends it: effSetProgram, and the Program
// parameter at offset 0 of the first block.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestHost.h"
#include "TestSignal.h"
#include "Vst3Host.h"

using namespace vst3host;

namespace {

constexpr int kFrames = 8192;

std::vector<float> RunVst2(int program, double rate, int block, const std::vector<float>& l,
                           const std::vector<float>& r) {
    testhost::Host host;
    AEffect* e = host.create();
    testhost::dispatch(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
    testhost::dispatch(e, effSetBlockSize, 0, block);
    testhost::dispatch(e, effMainsChanged, 0, 1);
    testhost::dispatch(e, effSetProgram, 0, program);
    std::vector<float> out(2 * kFrames);
    for (int at = 0; at < kFrames; at += block) {
        const int n = std::min(block, kFrames - at);
        float* in[2] = {const_cast<float*>(l.data()) + at, const_cast<float*>(r.data()) + at};
        float* o[2] = {out.data() + at, out.data() + kFrames + at};
        e->processReplacing(e, in, o, n);
    }
    testhost::dispatch(e, effClose);
    return out;
}

std::vector<float> RunVst3(int program, double rate, int block, const std::vector<float>& l,
                           const std::vector<float>& r) {
    Session s(rate, block);
    std::vector<float> out(2 * kFrames);
    ParameterChanges choose;
    choose.add(22, 0, program / 7.0);
    for (int at = 0; at < kFrames; at += block) {
        const int n = std::min(block, kFrames - at);
        float* in[2] = {const_cast<float*>(l.data()) + at, const_cast<float*>(r.data()) + at};
        float* o[2] = {out.data() + at, out.data() + kFrames + at};
        s.process(in, o, n, at == 0 ? &choose : nullptr);
    }
    return out;
}

}  // namespace

TEST(Halvorine, SameSamplesAsTheVst2Library) {
    if (Module::instance().path().find("Halvorine") == std::string::npos)
        GTEST_SKIP();
    std::vector<float> l, r;
    testsignal::MakeTestSignal(l, r, kFrames, 77);
    for (int program = 0; program < 8; ++program)
        for (double rate : {44100.0, 48000.0, 96000.0})
            for (int block : {1, 7, 64, 4096}) {
                const auto vst2 = RunVst2(program, rate, block, l, r);
                const auto vst3 = RunVst3(program, rate, block, l, r);
                ASSERT_EQ(0, std::memcmp(vst2.data(), vst3.data(), vst2.size() * sizeof(float)))
                    << "program " << program << ", " << rate << " Hz, blocks of " << block;
            }
}
