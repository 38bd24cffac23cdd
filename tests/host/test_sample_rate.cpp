// The rate the band filters are designed for follows the host. Seen from
// outside only through the sound: an instance designed for 48 kHz sounds
// different from one designed for 44.1 kHz, and instances designed for the
// same rate sound the same, bit for bit.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "BlackBox.h"

using blackbox::Instance;
using blackbox::Stereo;
using testhost::Callback;
using testhost::dispatch;
using testhost::Host;

namespace {

using RateAnswer = std::function<VstIntPtr(const Callback&)>;
using Action = std::function<void(AEffect*)>;

// Builds an instance whose host answers audioMasterGetSampleRate through
// `rate`, selects "Default" (every gate open), runs `after` and renders the
// test signal.
Stereo Sound(const RateAnswer& rate, const Action& after = {}) {
    Host host;
    host.answer = [&](const Callback& c) -> VstIntPtr {
        if (c.opcode == audioMasterVersion)
            return 2400;
        if (c.opcode == audioMasterGetSampleRate)
            return rate(c);
        return 0;
    };
    Instance e(host);
    EXPECT_TRUE(e);
    if (!e)
        return {};
    dispatch(e.get(), effSetProgram, 0, 0);
    if (after)
        after(e.get());
    return blackbox::Render(e.get(), blackbox::TestSignal(4096));
}

RateAnswer Answer(VstIntPtr value) {
    return [value](const Callback&) { return value; };
}

// Answers `value` after sending effSetSampleRate with `sent` from inside
// the callback, as some hosts do.
RateAnswer SendWhileAnswering(float sent, VstIntPtr value) {
    return [sent, value](const Callback& c) {
        dispatch(c.effect, effSetSampleRate, 0, 0, nullptr, sent);
        return value;
    };
}

Action SetRate(float rate) {
    return [rate](AEffect* e) { dispatch(e, effSetSampleRate, 0, 0, nullptr, rate); };
}

}  // namespace

TEST(DesignRate, TakenFromTheHostDuringConstruction) {
    const Stereo at44 = Sound(Answer(0));
    const Stereo at48 = Sound(Answer(48000));
    ASSERT_FALSE(at44.left.empty());
    ASSERT_NE(at44, at48) << "a 48 kHz design must move the bands";

    EXPECT_EQ(Sound(Answer(44100)), at44) << "44100 is also the rate without an answer";
    EXPECT_EQ(Sound(SendWhileAnswering(48000.0f, 0)), at48)
        << "effSetSampleRate sent while answering 0 sets the design rate";
    EXPECT_EQ(Sound(Answer(-48000)), at44) << "a negative answer is no rate";
    EXPECT_EQ(Sound(Answer(1)), at44) << "1 Hz is no rate the bands can be designed for";
    EXPECT_EQ(Sound(Answer(100000000)), at44) << "nor is 100 MHz";
    EXPECT_EQ(Sound(SendWhileAnswering(48000.0f, -1)), at48);
}

TEST(DesignRate, FollowsLaterRateRequests) {
    const Stereo at44 = Sound(Answer(0));
    const Stereo at48 = Sound(Answer(48000));
    ASSERT_NE(at44, at48);

    EXPECT_EQ(Sound(Answer(0), SetRate(48000.0f)), at48);
    EXPECT_EQ(Sound(Answer(48000), SetRate(44100.0f)), at44);
    EXPECT_EQ(Sound(Answer(0),
                    [](AEffect* e) {
                        EXPECT_EQ(dispatch(e, effSetBlockSizeAndSampleRate, 0, 512, nullptr, 48000.0f), 1);
                    }),
              at48);
    // The block size, which the sound does not depend on, does not hold the
    // rate back, whatever its value (too wide for 32 bits on 64-bit builds).
    std::vector<VstIntPtr> blockSizes = {0, -1, INT_MIN};
    if (sizeof(VstIntPtr) == 8)
        for (int64_t wide : {INT64_MIN, INT64_MAX, int64_t{1} << 32, (int64_t{1} << 32) + 512})
            blockSizes.push_back(static_cast<VstIntPtr>(wide));
    for (VstIntPtr blockSize : blockSizes) {
        SCOPED_TRACE(blockSize);
        EXPECT_EQ(Sound(Answer(0),
                        [blockSize](AEffect* e) {
                            EXPECT_EQ(dispatch(e, effSetBlockSizeAndSampleRate, 0, blockSize, nullptr, 48000.0f), 1);
                        }),
                  at48);
    }
    // Rates that the band design does not handle change nothing: not
    // finite and positive, absurdly small (at 1e-13 Hz the output was NaN
    // even on silence), outside 8 kHz .. 768 kHz.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {0.0f, -0.0f, -48000.0f, nan, inf, -inf, 1e-30f, 1e-40f, 1e-13f, 7999.0f, 768001.0f,
                      1e9f, std::numeric_limits<float>::max()}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(Sound(Answer(0), SetRate(bad)), at44);
        EXPECT_EQ(Sound(Answer(48000), SetRate(bad)), at48);
        EXPECT_EQ(Sound(Answer(48000),
                        [bad](AEffect* e) { dispatch(e, effSetBlockSizeAndSampleRate, 0, 512, nullptr, bad); }),
                  at48);
    }
}

// The ends of the accepted range design bands of their own, and sound
// finite and within -1..1 with every program.
TEST(DesignRate, EndsOfTheRangeAreTaken) {
    const Stereo at44 = Sound(Answer(0));
    for (float rate : {8000.0f, 768000.0f}) {
        SCOPED_TRACE(rate);
        EXPECT_NE(Sound(Answer(0), SetRate(rate)), at44);
        for (VstIntPtr program = 0; program < 8; ++program) {
            const Stereo out = Sound(Answer(0), [rate, program](AEffect* e) {
                dispatch(e, effSetSampleRate, 0, 0, nullptr, rate);
                dispatch(e, effSetProgram, 0, program);
            });
            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_TRUE(std::fabs(out.left[i]) <= 1.0f && std::fabs(out.right[i]) <= 1.0f) << i;
        }
    }
}

// Hosts running below 44.1 kHz put the upper bands above half the design
// rate; with the widest bandwidth the filters must still be stable: after
// a loud passage, silence decays to (nearly) nothing instead of ringing on
// at full scale.
TEST(DesignRate, LowHostRatesKeepEveryFilterStable) {
    for (VstIntPtr rate : {32000, 22050, 11025, 8000}) {
        SCOPED_TRACE(rate);
        const Stereo out = Sound(Answer(rate), [rate](AEffect* e) {
            e->setParameter(e, 2, 1.0f);  // widest bands
            blackbox::Stereo loud = blackbox::TestSignal(8192, static_cast<double>(rate), 0.9f);
            loud.left.resize(8192 + 44100, 0.0f);
            loud.right.resize(8192 + 44100, 0.0f);
            const Stereo tail = blackbox::Render(e, loud);
            for (size_t i = 0; i < tail.size(); ++i) {
                ASSERT_TRUE(std::isfinite(tail.left[i]) && std::isfinite(tail.right[i])) << "frame " << i;
                ASSERT_LE(std::fabs(tail.left[i]), 1.0f);
                ASSERT_LE(std::fabs(tail.right[i]), 1.0f);
            }
            for (size_t i = tail.size() - 4096; i < tail.size(); ++i) {
                ASSERT_LT(std::fabs(tail.left[i]), 1e-9f) << "frame " << i;
                ASSERT_LT(std::fabs(tail.right[i]), 1e-9f) << "frame " << i;
            }
        });
        EXPECT_EQ(out.size(), 4096u);
    }
}
