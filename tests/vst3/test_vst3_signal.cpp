// What a host hears in two situations that the parity test does not
// cover: the ring-out after the input falls silent, and automation of the
// band design and Boost.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "TestHost.h"
#include "TestSignal.h"
#include "Vst3Host.h"

using namespace vst3host;
using testhost::GuardedStereo;

namespace {

constexpr double kPi = 3.14159265358979323846;  // MinGW's <cmath> has no M_PI in strict C++17

bool IsHalvorine() { return Module::instance().path().find("Halvorine") != std::string::npos; }

}  // namespace

// getTailSamples tells the host how long the output rings once the input
// is silent; a host that stops calling process after that long and calls
// again later hears nothing of the old ring: the block it resumes with
// sounds as in a new instance. Silence comes as zeros, or as the host's
// silence flags over a buffer that is not quite zero.
TEST(Halvorine, TailAndResumeAfterSilence) {
    if (!IsHalvorine())
        GTEST_SKIP();
    constexpr int kBlock = 512;
    for (const bool flagged : {false, true}) {
        Session s, fresh;
        GuardedStereo noise(kBlock), out(kBlock), quiet(kBlock, flagged ? 1e-20f : 0.0f);
        std::vector<float> l, r;
        testsignal::MakeTestSignal(l, r, kBlock, 21);
        std::copy(l.begin(), l.end(), noise.left());
        std::copy(r.begin(), r.end(), noise.right());
        for (int block = 0; block < 40; ++block)
            s.process(noise.channels(), out.channels(), kBlock);
        const uint32_t tail = s.processor->getTailSamples();
        ASSERT_GT(tail, 0u);
        ASSERT_LT(tail, 10u * 44100u);
        uint32_t silent = 0;
        for (; silent < tail; silent += kBlock) {
            s.process(quiet.channels(), out.channels(), kBlock, nullptr, nullptr, flagged ? 3 : 0);
            for (int i = 0; i < kBlock; ++i)
                if (silent + static_cast<uint32_t>(i) >= tail)
                    ASSERT_LT(std::fabs(out.left()[i]), 1.5849e-5f) << "frame " << silent + i << " of the tail";
        }
        // The host stopped here; later it resumes.
        GuardedStereo resumed(kBlock), alone(kBlock);
        s.process(noise.channels(), resumed.channels(), kBlock);
        fresh.process(noise.channels(), alone.channels(), kBlock);
        EXPECT_EQ(0, std::memcmp(resumed.left(), alone.left(), kBlock * sizeof(float))) << "flagged " << flagged;
        EXPECT_EQ(0, std::memcmp(resumed.right(), alone.right(), kBlock * sizeof(float))) << "flagged " << flagged;
    }
}

// Automation of Start, Finish, Q and Boost glides: a 441 Hz sine through
// the Default program, each parameter swept by a 2 Hz sine in 400 steps
// over 4 s, sent as points every 16 frames. The largest step between two
// output samples stays within twice that of the same signal unautomated
// (a change that cleared the filters, or jumped the gain, would click).
TEST(Halvorine, AutomationGlides) {
    if (!IsHalvorine())
        GTEST_SKIP();
    constexpr double kRate = 44100.0;
    constexpr int kFrames = 4 * 44100, kBlock = 256, kSteps = 400;
    struct Sweep {
        ParamID id;
        const char* name;
        double centre, depth;  // around the Default program's value
    };
    const Sweep sweeps[] = {
        {0, "Start Freq", 0.1, 0.1}, {1, "Finish Freq", 0.9, 0.1}, {2, "Freq Q", 0.33, 0.1}, {5, "Boost", 0.3, 0.2}};
    std::vector<float> sine(kFrames);
    for (int i = 0; i < kFrames; ++i)
        sine[i] = static_cast<float>(0.25 * std::sin(2.0 * kPi * 441.0 * i / kRate));

    // The largest step of the output, with `sweep` automated or not.
    auto largestStep = [&](const Sweep* sweep) {
        Session s(kRate, kBlock);
        std::vector<float> outL(kFrames), outR(kFrames);
        for (int at = 0; at < kFrames; at += kBlock) {
            const int n = std::min(kBlock, kFrames - at);
            ParameterChanges changes;
            if (at == 0)
                changes.add(22, 0, 0.0);  // Default
            for (int offset = 0; sweep != nullptr && offset < n; offset += 16) {
                const int step = (at + offset) * kSteps / kFrames;
                const double t = 4.0 * step / kSteps;
                changes.add(sweep->id, offset, sweep->centre + sweep->depth * std::sin(2.0 * kPi * 2.0 * t));
            }
            float* in[2] = {sine.data() + at, sine.data() + at};
            float* out[2] = {outL.data() + at, outR.data() + at};
            s.process(in, out, n, &changes);
        }
        double largest = 0.0;
        for (int i = 1; i < kFrames; ++i)
            largest = std::max(largest, static_cast<double>(std::fabs(outL[i] - outL[i - 1])));
        return largest;
    };
    const double plain = largestStep(nullptr);
    ASSERT_GT(plain, 0.0);
    for (const Sweep& sweep : sweeps) {
        const double automated = largestStep(&sweep);
        std::printf("%-12s largest step %.5f automated, %.5f not (%.2f times)\n", sweep.name, automated, plain,
                    automated / plain);
        EXPECT_LE(automated, 2.0 * plain) << sweep.name;
    }
}
