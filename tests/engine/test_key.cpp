// The key: the key bands against the literal reference, bit for bit, in
// every kernel and block split; the identities between the key sources;
// and what keying does to the sound.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "EngineTestUtil.h"
#include "ReferenceGate.h"

using namespace enginetest;
using gate::KeySource;

namespace {

struct Signal {
    std::vector<float> l, r, keyL, keyR;
    bool key = false;  // keyL and keyR feed the key input
};

// Runs the engine over the signal in blocks of `blocks` (cycled); at frame
// `at` (on a block boundary), `event` is applied first.
template <class Event>
void Render(gate::GateEngine& engine, const Signal& s, const std::vector<int>& blocks, std::vector<float>& outL,
            std::vector<float>& outR, int at, Event event) {
    const int total = static_cast<int>(s.l.size());
    outL.assign(s.l.size(), 0.0f);
    outR.assign(s.r.size(), 0.0f);
    size_t b = 0;
    for (int pos = 0; pos < total;) {
        if (pos == at)
            event();
        int n = blocks[b++ % blocks.size()];
        n = n > total - pos ? total - pos : n;
        if (pos < at && pos + n > at)
            n = at - pos;
        engine.processReplacing(s.l.data() + pos, s.r.data() + pos, outL.data() + pos, outR.data() + pos, n,
                                s.key ? s.keyL.data() + pos : nullptr, s.key ? s.keyR.data() + pos : nullptr);
        pos += n;
    }
}

void Render(gate::GateEngine& engine, const Signal& s, const std::vector<int>& blocks, std::vector<float>& outL,
            std::vector<float>& outR) {
    Render(engine, s, blocks, outL, outR, -1, [] {});
}

float Loudest(const std::vector<float>& v, size_t from, size_t to) {
    float m = 0.0f;
    for (size_t i = from; i < to && i < v.size(); ++i)
        m = std::fabs(v[i]) > m ? std::fabs(v[i]) : m;
    return m;
}

int FirstDifference(const std::vector<float>& a, const std::vector<float>& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (!SameBits(a[i], b[i]))
            return static_cast<int>(i);
    return -1;
}

const char* SourceName(KeySource source) {
    static const char* const names[] = {"Left", "Right", "Mid", "Side", "External"};
    return names[static_cast<int>(source)];
}

// A sustained chord on both channels, loud enough to open every gate it
// reaches.
std::vector<float> Pad(int frames) {
    std::vector<float> pad(static_cast<size_t>(frames));
    for (int n = 0; n < frames; ++n)
        pad[static_cast<size_t>(n)] = static_cast<float>(
            0.2 * (std::sin(n * 0.0313) + std::sin(n * 0.0470) + std::sin(n * 0.0627) + std::sin(n * 0.2)));
    return pad;
}

// Wide bands, the fastest attack and release, unit boost, every gate
// level at -20 dB: the gates follow the key closely.
void FastGates(gate::GateEngine& engine) {
    const float set[6] = {0.0f, 1.0f, 0.5f, 0.0f, 0.0f, 0.5f};  // Start .. Boost
    for (int i = 0; i < 6; ++i)
        engine.setParameter(i, set[i]);
    for (int k = 0; k < gate::kNumBands; ++k)
        engine.setParameter(gate::kFirstGateLevel + k, 0.5f);
}

}  // namespace

class KeyKernels : public ::testing::TestWithParam<gate::KernelSet> {
protected:
    std::unique_ptr<APlugin> MakeKernelPlugin(int program) {
        auto plugin = MakePlugin();
        if (!plugin->engine().useKernel(GetParam()))
            return nullptr;
        plugin->setProgram(program);
        return plugin;
    }
};
INSTANTIATE_TEST_SUITE_P(Kernels, KeyKernels,
                         ::testing::ValuesIn(kAllKernels),
                         [](const ::testing::TestParamInfo<gate::KernelSet>& info) {
                             return std::string(KernelName(info.param));
                         });

TEST_P(KeyKernels, EqualChannelsKeyAsTheLeftBandsDo) {
    // Both channels and the key the same signal: the key bands compute what
    // the left bands compute, so Right, Mid and External give Left's
    // samples bit for bit, through the pipeline and the short path alike;
    // Side keys from silence, and the gates never open.
    const std::vector<std::vector<int>> splits = {{512}, {1, 5, 64, 7, 200, 3}, {8, 3, 2}};
    Signal s;
    MakeTestSignal(s.l, s.r, 9000, 21);
    s.r = s.keyL = s.keyR = s.l;
    s.key = true;
    for (int program : {7, 1})
        for (const auto& blocks : splits) {
            auto left = MakeKernelPlugin(program);
            if (!left)
                GTEST_SKIP() << "this processor does not run the " << KernelName(GetParam()) << " kernel";
            std::vector<float> leftL, leftR;
            Render(left->engine(), s, blocks, leftL, leftR);
            ASSERT_GT(Loudest(leftL, 0, leftL.size()), 0.1f) << "the left bands open no gate: nothing to compare";
            for (KeySource source : {KeySource::Right, KeySource::Mid, KeySource::Side, KeySource::External}) {
                SCOPED_TRACE(::testing::Message() << SourceName(source) << ", program " << program << ", blocks of "
                                                  << blocks[0] << " ...");
                auto keyed = MakeKernelPlugin(program);
                keyed->engine().setKeySource(source);
                std::vector<float> outL, outR;
                Render(keyed->engine(), s, blocks, outL, outR);
                if (source == KeySource::Side) {
                    EXPECT_LT(Loudest(outL, 0, outL.size()), 1e-9f);
                    EXPECT_LT(Loudest(outR, 0, outR.size()), 1e-9f);
                } else {
                    EXPECT_EQ(FirstDifference(leftL, outL), -1);
                    EXPECT_EQ(FirstDifference(leftR, outR), -1);
                }
            }
        }
}

TEST_P(KeyKernels, EveryKeySourceMatchesTheReference) {
    // Channels that differ and a key of its own; the events that clear the
    // key bands (a redesign, reset(), a change of the key source, here from
    // Mid) and an
    // overflowing key (whose bands start again after their chunk), in long
    // calls, short ones and odd splits.
    enum class Event { None, Redesign, Reset, SourceChange };
    enum class Key { None, Own, Overflowing };
    struct Case {
        KeySource source;
        Key key;
        Event event;
        std::vector<int> blocks;
    };
    const Case cases[] = {
        {KeySource::Right, Key::None, Event::None, {512}},
        {KeySource::Mid, Key::None, Event::Redesign, {1, 5, 64, 7, 200, 3}},
        {KeySource::Side, Key::None, Event::Reset, {8, 3}},
        {KeySource::Side, Key::None, Event::SourceChange, {61, 130, 512}},
        {KeySource::External, Key::Own, Event::None, {61, 130, 512}},
        {KeySource::External, Key::Own, Event::Redesign, {2, 64, 9}},
        {KeySource::External, Key::None, Event::None, {512}},
        {KeySource::External, Key::Overflowing, Event::None, {512, 7}},
        {KeySource::External, Key::Own, Event::SourceChange, {1}},
        {KeySource::Left, Key::Own, Event::Reset, {1, 5, 64, 7, 200, 3}},
    };
    const int frames = 6144, at = 3000;
    const float big = std::numeric_limits<float>::max();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << SourceName(c.source) << ", key " << static_cast<int>(c.key)
                                          << ", event " << static_cast<int>(c.event) << ", blocks of "
                                          << c.blocks[0] << " ...");
        auto plugin = MakeKernelPlugin(7);
        if (!plugin)
            GTEST_SKIP() << "this processor does not run the " << KernelName(GetParam()) << " kernel";
        Signal s;
        MakeTestSignal(s.l, s.r, frames, 3);
        MakeTestSignal(s.keyR, s.keyL, frames, 4);
        s.key = c.key != Key::None;
        if (c.key == Key::Overflowing)  // square waves of the largest floats, ever lower
            for (int j = 400; j < 5400; ++j)
                s.keyL[static_cast<size_t>(j)] = s.keyR[static_cast<size_t>(j)] = (j >> (j / 500)) & 1 ? -big : big;
        gate::GateEngine& engine = plugin->engine();
        const float rate = engine.designRate();
        engine.setKeySource(c.event == Event::SourceChange ? KeySource::Mid : c.source);

        reference::Gate ref;
        float params[gate::kNumParams];
        ParameterSet(*plugin, params);
        ref.key = c.event == Event::SourceChange ? KeySource::Mid : c.source;
        ref.Apply(params, rate, true);
        std::vector<float> refL(frames), refR(frames), outL, outR;
        const float* keyL = s.key ? s.keyL.data() : nullptr;
        const float* keyR = s.key ? s.keyR.data() : nullptr;
        ref.Block(s.l.data(), s.r.data(), refL.data(), refR.data(), at, false, keyL, keyR);
        switch (c.event) {
        case Event::None:
            break;
        case Event::Redesign:
            params[gate::kStartFreq] += 0.05f;
            ref.Apply(params, rate, true);
            break;
        case Event::Reset:
            ref = reference::Gate{};
            ref.key = c.source;
            ref.Apply(params, rate, true);
            break;
        case Event::SourceChange:
            ref.key = c.source;
            std::memset(ref.inHistK, 0, sizeof ref.inHistK);
            std::memset(ref.outHistK, 0, sizeof ref.outHistK);
            break;
        }
        ref.Block(s.l.data() + at, s.r.data() + at, refL.data() + at, refR.data() + at, frames - at, false,
                  keyL ? keyL + at : nullptr, keyR ? keyR + at : nullptr);

        Render(engine, s, c.blocks, outL, outR, at, [&] {
            if (c.event == Event::Redesign)
                engine.setParameter(gate::kStartFreq, params[gate::kStartFreq]);
            else if (c.event == Event::Reset)
                engine.reset();
            else if (c.event == Event::SourceChange)
                engine.setKeySource(c.source);
        });
        EXPECT_EQ(FirstDifference(refL, outL), -1);
        EXPECT_EQ(FirstDifference(refR, outR), -1);
        if (c.source != KeySource::External || c.key != Key::None) {
            EXPECT_GT(Loudest(outL, 0, outL.size()), 0.05f) << "no gate opened: the case tests little";
        }
        if (c.key == Key::Overflowing) {
            EXPECT_GT(ref.restarts, 0) << "no key band overflowed: the case tests nothing";
        }
    }
}

TEST(Key, AKickKeyedPadOpensAtTheKicksAndNowhereElse) {
    // A pad on both channels keyed by a kick on the key input: the gates
    // open at each kick's onset and are shut well before the next one (and
    // before the first). Keyed by its own left channel, the pad keeps them
    // open throughout.
    constexpr int kFrames = 4 * 11025, kFirst = 2000, kEvery = 11025;
    Signal s;
    s.l = s.r = Pad(kFrames);
    s.keyL.assign(kFrames, 0.0f);
    Lcg rng(8);
    for (int onset = kFirst; onset < kFrames; onset += kEvery)
        for (int t = 0; t < 2000 && onset + t < kFrames; ++t)
            s.keyL[static_cast<size_t>(onset + t)] =
                static_cast<float>(std::exp(-t / 300.0) * (0.8 * std::sin(t * 0.0085) + 0.3 * rng.uniform()));
    s.keyR = s.keyL;
    s.key = true;
    for (KeySource source : {KeySource::External, KeySource::Left}) {
        SCOPED_TRACE(SourceName(source));
        gate::GateEngine engine;
        FastGates(engine);
        engine.setKeySource(source);
        std::vector<float> outL, outR;
        Render(engine, s, {512}, outL, outR);
        for (int onset = kFirst; onset < kFrames; onset += kEvery) {
            SCOPED_TRACE(onset);
            EXPECT_GT(Loudest(outL, onset, onset + 1500), 0.1f) << "shut at a kick";
            const float between = Loudest(outL, onset + 8000, onset + kEvery);
            if (source == KeySource::External) {
                EXPECT_LT(between, 1e-6f) << "open between kicks";
            } else {
                EXPECT_GT(between, 0.1f) << "the pad does not open its own gates";
            }
        }
        if (source == KeySource::External)
            EXPECT_LT(Loudest(outR, 0, kFirst), 1e-6f) << "open before the first kick";
    }
}

TEST(Key, RightMidAndSideKeyFromTheirOwnSignal) {
    // One burst signal in both channels at the gains below: each source
    // keys from its own mix of them, and opens the gates exactly where that
    // mix is not silent.
    struct Case {
        float left, right;
        KeySource source;
        bool opens;
    };
    const Case cases[] = {
        {0.0f, 1.0f, KeySource::Left, false}, {0.0f, 1.0f, KeySource::Right, true},
        {1.0f, 0.0f, KeySource::Right, false}, {0.0f, 1.0f, KeySource::Mid, true},
        {1.0f, -1.0f, KeySource::Mid, false}, {1.0f, -1.0f, KeySource::Side, true},
        {0.5f, 0.5f, KeySource::Side, false}, {0.0f, 1.0f, KeySource::Side, true},
    };
    std::vector<float> burst, unused;
    MakeTestSignal(burst, unused, 9000, 12);
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.left << " / " << c.right << ", " << SourceName(c.source));
        auto plugin = MakePlugin();
        plugin->setProgram(7);
        plugin->engine().setKeySource(c.source);
        Signal s;
        for (float x : burst) {
            s.l.push_back(x * c.left);
            s.r.push_back(x * c.right);
        }
        std::vector<float> outL, outR;
        Render(plugin->engine(), s, {512}, outL, outR);
        const float loudest = std::max(Loudest(outL, 0, outL.size()), Loudest(outR, 0, outR.size()));
        if (c.opens)
            EXPECT_GT(loudest, 0.05f);
        else
            EXPECT_LT(loudest, 1e-6f);
    }
}

TEST(Key, ExternalWithoutAKeyIsSilentAfterTheRelease) {
    // The key input is fed, then disconnected (null) while the pad goes on:
    // the gates close, and after the release the output is silence.
    constexpr int kFrames = 3 * 8192;
    const std::vector<float> pad = Pad(kFrames);
    gate::GateEngine engine;
    FastGates(engine);
    engine.setKeySource(KeySource::External);
    ASSERT_EQ(engine.keySource(), KeySource::External);
    engine.setKeySource(static_cast<KeySource>(gate::kNumKeySources));  // not a source: ignored
    ASSERT_EQ(engine.keySource(), KeySource::External);
    std::vector<float> outL(kFrames), outR(kFrames);
    for (int pos = 0; pos < kFrames; pos += 256) {
        const float* key = pos < 8192 ? pad.data() + pos : nullptr;
        engine.processReplacing(pad.data() + pos, pad.data() + pos, outL.data() + pos, outR.data() + pos, 256, key,
                                key);
    }
    EXPECT_GT(Loudest(outL, 0, 8192), 0.1f) << "the key opened nothing";
    EXPECT_LT(Loudest(outL, 2 * 8192, kFrames), 1e-6f);
    EXPECT_LT(Loudest(outR, 2 * 8192, kFrames), 1e-6f);
}

TEST_P(KeyKernels, AKeyNeverMakesABandLouderThanItself) {
    // Quiet noise keyed by a loud signal that stops, or by a key source
    // changed from Left to External with no key: as the key's level falls
    // faster than the gate levels release, the ratio gate level / key
    // level grows large; the audio bands must still never come out much
    // louder than they went in, and fall to silence after the release.
    constexpr int kFrames = 10 * 8192, kKeyFrames = 2000;
    Signal s;
    s.l.resize(kFrames);
    s.r.resize(kFrames);
    Lcg rng(5);
    for (int n = 0; n < kFrames; ++n) {
        s.l[static_cast<size_t>(n)] = static_cast<float>(0.01 * rng.uniform());
        s.r[static_cast<size_t>(n)] = static_cast<float>(0.01 * rng.uniform());
    }
    MakeTestSignal(s.keyL, s.keyR, kFrames, 9);
    for (int n = kKeyFrames; n < kFrames; ++n)
        s.keyL[static_cast<size_t>(n)] = s.keyR[static_cast<size_t>(n)] = 0.0f;
    for (bool leftFirst : {false, true})
        for (const std::vector<int>& blocks : {std::vector<int>{512}, std::vector<int>{3, 61}}) {
            SCOPED_TRACE(::testing::Message() << (leftFirst ? "Left, then External without a key" : "a key that stops")
                                              << ", blocks of " << blocks[0]);
            auto plugin = MakeKernelPlugin(7);
            if (!plugin)
                GTEST_SKIP() << "this processor does not run the " << KernelName(GetParam()) << " kernel";
            gate::GateEngine& engine = plugin->engine();
            // BigBeat's release is seconds long; a shorter one still outlasts
            // the key's fall, and lets the tail end within the signal.
            engine.setParameter(gate::kRelease, 0.8f);
            s.key = !leftFirst;
            engine.setKeySource(leftFirst ? KeySource::Left : KeySource::External);
            std::vector<float> outL, outR;
            Render(engine, s, blocks, outL, outR, kKeyFrames, [&] { engine.setKeySource(KeySource::External); });
            EXPECT_LT(std::max(Loudest(outL, kKeyFrames, kFrames), Loudest(outR, kKeyFrames, kFrames)), 0.05f);
            EXPECT_LT(std::max(Loudest(outL, kFrames - 8192, kFrames), Loudest(outR, kFrames - 8192, kFrames)),
                      1e-6f);
        }
}
