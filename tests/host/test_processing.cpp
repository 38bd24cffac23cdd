// The two processing entries, driven as a host drives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>

#include "BlackBox.h"

using blackbox::Instance;
using blackbox::Render;
using blackbox::Stereo;
using blackbox::TestSignal;
using testhost::dispatch;
using testhost::GuardedStereo;
using testhost::Host;

namespace {

void Fill(GuardedStereo& buffers, const Stereo& s) {
    for (int n = 0; n < buffers.frames(); ++n) {
        buffers.left()[n] = s.left[static_cast<size_t>(n)];
        buffers.right()[n] = s.right[static_cast<size_t>(n)];
    }
}

Stereo Read(GuardedStereo& buffers) {
    Stereo s;
    s.left.assign(buffers.left(), buffers.left() + buffers.frames());
    s.right.assign(buffers.right(), buffers.right() + buffers.frames());
    return s;
}

bool AllFinite(const Stereo& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (!std::isfinite(s.left[i]) || !std::isfinite(s.right[i]))
            return false;
    return true;
}

bool WithinUnit(const Stereo& s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (!(std::fabs(s.left[i]) <= 1.0f) || !(std::fabs(s.right[i]) <= 1.0f))
            return false;
    return true;
}

Stereo Concat(const Stereo& a, const Stereo& b) {
    Stereo r = a;
    r.left.insert(r.left.end(), b.left.begin(), b.left.end());
    r.right.insert(r.right.end(), b.right.begin(), b.right.end());
    return r;
}

}  // namespace

TEST(Processing, StaysInsideTheHostsBuffers) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    const int frames = 777;
    // Loud enough to reach the clipper, in "BigBeat" and in "Default".
    const Stereo loud = TestSignal(frames, 44100.0, 8.0f);
    for (VstIntPtr program : {7, 0}) {
        SCOPED_TRACE(program);
        dispatch(e.get(), effSetProgram, 0, program);
        for (bool replacing : {true, false}) {
            SCOPED_TRACE(replacing ? "processReplacing" : "process");
            GuardedStereo in(frames), out(frames, 0.0f);
            Fill(in, loud);
            host.clear();
            if (replacing)
                e->processReplacing(e.get(), in.channels(), out.channels(), frames);
            else
                e->process(e.get(), in.channels(), out.channels(), frames);
            EXPECT_TRUE(host.calls.empty()) << "the audio path calls the host";
            EXPECT_TRUE(in.guardsIntact());
            EXPECT_TRUE(out.guardsIntact());
            EXPECT_EQ(Read(in), loud) << "inputs are not written";
            const Stereo result = Read(out);
            EXPECT_TRUE(AllFinite(result));
            EXPECT_TRUE(WithinUnit(result));
        }
    }
}

TEST(Processing, EmptyAndNegativeBlocksTouchNothing) {
    Host host;
    Instance e(host);
    Instance twin(host);
    ASSERT_TRUE(e && twin);
    const Stereo signal = TestSignal(1024);
    Stereo first = Render(e.get(), blackbox::Slice(signal, 0, 512));
    Render(twin.get(), blackbox::Slice(signal, 0, 512));

    for (VstInt32 frames : {0, -1, -512, INT_MIN}) {
        SCOPED_TRACE(frames);
        for (bool replacing : {true, false}) {
            GuardedStereo in(16, 0.5f), out(16, 0.25f);
            if (replacing)
                e->processReplacing(e.get(), in.channels(), out.channels(), frames);
            else
                e->process(e.get(), in.channels(), out.channels(), frames);
            EXPECT_TRUE(out.guardsIntact());
            for (int n = 0; n < 16; ++n) {
                ASSERT_EQ(out.left()[n], 0.25f);
                ASSERT_EQ(out.right()[n], 0.25f);
            }
        }
    }
    // Nothing advanced either: the rest sounds as in an instance that never
    // saw the empty blocks.
    EXPECT_EQ(Render(e.get(), blackbox::Slice(signal, 512, 512)),
              Render(twin.get(), blackbox::Slice(signal, 512, 512)));
}

TEST(Processing, ProcessAddsToWhatTheOutputsHold) {
    Host host;
    Instance adding(host);
    Instance replacing(host);
    ASSERT_TRUE(adding && replacing);
    const int frames = 1500;
    const Stereo signal = TestSignal(frames);
    const Stereo held = TestSignal(frames, 8000.0, 0.25f);  // a different signal already in the outputs

    Stereo sum = held;
    Stereo in = signal;
    float* inputs[2] = {in.left.data(), in.right.data()};
    float* outputs[2] = {sum.left.data(), sum.right.data()};
    adding->process(adding.get(), inputs, outputs, frames);

    const Stereo alone = Render(replacing.get(), signal, frames);
    bool anySound = false;
    for (int n = 0; n < frames; ++n) {
        const size_t i = static_cast<size_t>(n);
        anySound = anySound || std::fabs(alone.left[i]) > 1e-3f;
        ASSERT_EQ(sum.left[i], held.left[i] + alone.left[i]) << "frame " << n;
        ASSERT_EQ(sum.right[i], held.right[i] + alone.right[i]) << "frame " << n;
    }
    EXPECT_TRUE(anySound) << "the comparison needs an audible effect output";
}

TEST(Processing, InPlaceBuffersGiveTheSameResult) {
    Host host;
    const Stereo signal = TestSignal(2000);
    for (bool replacing : {true, false}) {
        SCOPED_TRACE(replacing ? "processReplacing" : "process");
        Instance separate(host);
        Instance inPlace(host);
        ASSERT_TRUE(separate && inPlace);
        const Stereo expected = Render(separate.get(), signal, 300, true);

        Stereo buffers = signal;
        for (size_t pos = 0; pos < signal.size(); pos += 300) {
            int frames = static_cast<int>(std::min<size_t>(300, signal.size() - pos));
            float* io[2] = {buffers.left.data() + pos, buffers.right.data() + pos};
            if (replacing) {
                inPlace->processReplacing(inPlace.get(), io, io, frames);
            } else {
                // In place, process adds the effect's output to the input.
                inPlace->process(inPlace.get(), io, io, frames);
            }
        }
        for (size_t i = 0; i < signal.size(); ++i) {
            const float wantL = replacing ? expected.left[i] : signal.left[i] + expected.left[i];
            const float wantR = replacing ? expected.right[i] : signal.right[i] + expected.right[i];
            ASSERT_EQ(buffers.left[i], wantL) << "frame " << i;
            ASSERT_EQ(buffers.right[i], wantR) << "frame " << i;
        }
    }
}

TEST(Processing, AnySplitIntoBlocksSoundsTheSame) {
    // Also where a square of the largest floats drives bands past the
    // float range (every gate open, low rates): such a band leaves 0 while
    // it is not a number and starts again on the same frames, whatever the
    // blocks.
    struct Case {
        float rate;
        VstIntPtr program;
        bool overflowing;
    };
    for (const Case& c : {Case{44100.0f, 7, false}, Case{8000.0f, 0, true}, Case{11025.0f, 0, true}}) {
        SCOPED_TRACE(c.rate);
        Host host;
        Stereo signal = TestSignal(3000, c.rate);
        for (size_t n = 700; c.overflowing && n < 1700; ++n) {
            signal.left[n] = (n / 4) % 2 ? FLT_MAX : -FLT_MAX;
            signal.right[n] = -signal.left[n];
        }
        auto make = [&] {
            auto e = std::make_unique<Instance>(host);
            if (*e) {
                dispatch(e->get(), effSetSampleRate, 0, 0, nullptr, c.rate);
                dispatch(e->get(), effSetProgram, 0, c.program);
            }
            return e;
        };
        auto whole = make();
        ASSERT_TRUE(*whole);
        const Stereo expected = Render(whole->get(), signal, 3000);
        EXPECT_EQ(std::count(expected.left.begin(), expected.left.end(), 0.0f) > 0, c.overflowing);
        for (int block : {1, 7, 64, 100, 1024}) {
            SCOPED_TRACE(block);
            auto e = make();
            ASSERT_TRUE(*e);
            EXPECT_EQ(Render(e->get(), signal, block), expected);
        }
    }
}

TEST(Processing, NonFiniteInputCountsAsSilence) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Stereo clean = TestSignal(4096);
    Stereo bad = clean;
    struct Hit {
        size_t frame;
        bool left, right;
        float value;
    };
    const Hit hits[] = {{100, true, false, nan}, {200, false, true, inf},   {300, true, false, -inf},
                        {400, true, true, nan},  {401, true, true, inf},    {402, false, true, -nan},
                        {1000, true, true, inf}, {1001, true, false, nan}};
    for (const Hit& h : hits) {
        if (h.left) {
            bad.left[h.frame] = h.value;
            clean.left[h.frame] = 0.0f;
        }
        if (h.right) {
            bad.right[h.frame] = h.value;
            clean.right[h.frame] = 0.0f;
        }
    }
    for (bool replacing : {true, false}) {
        SCOPED_TRACE(replacing ? "processReplacing" : "process");
        for (VstIntPtr program : {7, 0, 5}) {
            SCOPED_TRACE(program);
            Host host;
            Instance poisoned(host);
            Instance reference(host);
            ASSERT_TRUE(poisoned && reference);
            dispatch(poisoned.get(), effSetProgram, 0, program);
            dispatch(reference.get(), effSetProgram, 0, program);
            const Stereo out = Render(poisoned.get(), bad, 512, replacing);
            EXPECT_TRUE(AllFinite(out));
            EXPECT_EQ(out, Render(reference.get(), clean, 512, replacing))
                << "a NaN or infinite sample enters as 0";
        }
    }
}

// Requests and parameter changes that must leave the running sound exactly
// as it was: nothing they do may clear a filter or reset a follower.
TEST(Processing, RequestsThatLeaveTheRunningSoundAlone) {
    const Stereo signal = TestSignal(4096);
    auto run = [&](const std::function<void(AEffect*)>& between) {
        Host host;
        Instance e(host);
        EXPECT_TRUE(e);
        if (!e)
            return Stereo{};
        Stereo first = Render(e.get(), blackbox::Slice(signal, 0, 2048));
        between(e.get());
        return Concat(first, Render(e.get(), blackbox::Slice(signal, 2048, 2048)));
    };
    const Stereo reference = run([](AEffect*) {});

    struct Case {
        const char* what;
        std::function<void(AEffect*)> action;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {"suspend and resume", [](AEffect* e) {
             dispatch(e, effMainsChanged, 0, 0);
             dispatch(e, effMainsChanged, 0, 1);
         }},
        {"the design rate again", [](AEffect* e) { dispatch(e, effSetSampleRate, 0, 0, nullptr, 44100.0f); }},
        {"block size", [](AEffect* e) { dispatch(e, effSetBlockSize, 0, 32); }},
        {"block size and the design rate",
         [](AEffect* e) { dispatch(e, effSetBlockSizeAndSampleRate, 0, 64, nullptr, 44100.0f); }},
        {"rates that are no rates",
         [nan](AEffect* e) {
             dispatch(e, effSetSampleRate, 0, 0, nullptr, 0.0f);
             dispatch(e, effSetSampleRate, 0, 0, nullptr, nan);
             dispatch(e, effSetBlockSizeAndSampleRate, 0, 64, nullptr, -1.0f);
         }},
        {"the current program again", [](AEffect* e) { dispatch(e, effSetProgram, 0, 7); }},
        {"programs out of range",
         [](AEffect* e) {
             dispatch(e, effSetProgram, 0, 8);
             dispatch(e, effSetProgram, 0, -1);
         }},
        {"parameters 22 to 30",
         [](AEffect* e) {
             for (VstInt32 i = 22; i <= 30; ++i)
                 e->setParameter(e, i, 0.61f);
         }},
        {"parameters out of range",
         [](AEffect* e) {
             for (VstInt32 i : {-1, 31, 1000, INT_MIN, INT_MAX})
                 e->setParameter(e, i, 0.5f);
         }},
        {"every parameter to its own value",
         [](AEffect* e) {
             for (VstInt32 i = 0; i < 30; ++i)
                 e->setParameter(e, i, e->getParameter(e, i));
         }},
        {"program name", [](AEffect* e) {
             char name[] = "Kept";
             dispatch(e, effSetProgramName, 0, 0, name);
         }},
        {"queries and notifications", [](AEffect* e) {
             char text[256] = {};
             VstEvents events{};
             dispatch(e, effOpen);
             dispatch(e, effGetVu);
             dispatch(e, effIdentify);
             dispatch(e, effGetParamName, 3, 0, text);
             dispatch(e, effGetParamDisplay, 3, 0, text);
             dispatch(e, effProcessEvents, 0, 0, &events);
             dispatch(e, effConnectInput, 0, 0);
             dispatch(e, effConnectOutput, 1, 0);
             dispatch(e, effSetBypass, 0, 1);
             dispatch(e, effCanDo, 0, 0, const_cast<char*>("receiveVstEvents"));
             dispatch(e, effEditIdle);
             for (VstInt32 op : {69, 70, 1000, -1, INT_MIN})
                 dispatch(e, op, 3, 5, text, 48000.0f);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(run(c.action), reference);
    }
}

// Boost scales only what leaves the engine, so an instance whose Boost
// changes between blocks continues exactly like one that had the new Boost
// all along, provided the change cleared no filter.
TEST(Processing, BoostChangeKeepsTheFilters) {
    const Stereo signal = TestSignal(4096);
    Host host;
    Instance changed(host);
    Instance always(host);
    ASSERT_TRUE(changed && always);
    always->setParameter(always.get(), 5, 0.45f);
    Render(changed.get(), blackbox::Slice(signal, 0, 2048));
    changed->setParameter(changed.get(), 5, 0.45f);
    const Stereo expected = Render(always.get(), signal);
    const Stereo secondHalf = Render(changed.get(), blackbox::Slice(signal, 2048, 2048));
    EXPECT_EQ(secondHalf, blackbox::Slice(expected, 2048, 2048));

    // The change is heard: against an instance left at "BigBeat"'s Boost,
    // and at Boost 0, which mutes to exact zeros.
    Instance unchanged(host);
    ASSERT_TRUE(unchanged);
    EXPECT_NE(blackbox::Slice(Render(unchanged.get(), signal), 2048, 2048), secondHalf);
    changed->setParameter(changed.get(), 5, 0.0f);
    const Stereo muted = Render(changed.get(), signal);
    for (size_t i = 0; i < muted.size(); ++i) {
        ASSERT_EQ(muted.left[i], 0.0f) << "frame " << i;
        ASSERT_EQ(muted.right[i], 0.0f) << "frame " << i;
    }
}

// Every new filter design clears the filter histories, even when a later
// request returns to the earlier design before the next block: the sound
// then continues from cleared filters (with the followers and gate levels
// carried on), the same whichever design input came and went.
TEST(Processing, DesignThatComesAndGoesClearsTheFilters) {
    const Stereo signal = TestSignal(4096);
    auto secondHalf = [&](const std::function<void(AEffect*)>& between) {
        Host host;
        Instance e(host);
        EXPECT_TRUE(e);
        if (!e)
            return Stereo{};
        Render(e.get(), blackbox::Slice(signal, 0, 2048));
        between(e.get());
        return Render(e.get(), blackbox::Slice(signal, 2048, 2048));
    };
    const Stereo untouched = secondHalf([](AEffect*) {});
    auto swing = [](VstInt32 index, float other) {
        return [index, other](AEffect* e) {
            const float original = e->getParameter(e, index);
            e->setParameter(e, index, other);
            e->setParameter(e, index, original);
        };
    };
    const Stereo cleared = secondHalf(swing(0, 0.5f));
    EXPECT_NE(cleared, untouched) << "Start moved away and back: the filters start again from rest";
    EXPECT_EQ(secondHalf(swing(1, 0.2f)), cleared) << "Finish";
    EXPECT_EQ(secondHalf(swing(2, 0.9f)), cleared) << "Q";
    EXPECT_EQ(secondHalf([](AEffect* e) {
                  dispatch(e, effSetSampleRate, 0, 0, nullptr, 48000.0f);
                  dispatch(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
              }),
              cleared)
        << "design rate";
    EXPECT_EQ(secondHalf([](AEffect* e) {
                  dispatch(e, effSetProgram, 0, 0);
                  dispatch(e, effSetProgram, 0, 7);
              }),
              cleared)
        << "another program and back";
}

// The largest finite samples drive the filters of some bands past the float
// range. The output stays finite and within -1..1, and those bands start
// again from silence: after a redesign (which clears the filters but not
// the followers) and quiet spells the instance sounds like one that never
// saw the samples, instead of missing the bands that overflowed.
TEST(Processing, HugeFiniteInputLeavesFiniteOutputAndTheBandsRecover) {
    const float big = std::numeric_limits<float>::max();
    Stereo hit = TestSignal(4096, 8000.0);
    for (size_t at : {1000u, 1700u, 2500u, 3001u}) {
        hit.left[at] = hit.right[at + 1] = big;
        hit.left[at + 1] = hit.right[at] = -big;
    }
    const Stereo quiet{std::vector<float>(40000, 0.0f), std::vector<float>(40000, 0.0f)};
    const Stereo after = TestSignal(8192, 8000.0);
    auto redesign = [](AEffect* e) {
        const float q = e->getParameter(e, 2);
        e->setParameter(e, 2, 0.9f);
        e->setParameter(e, 2, q);
    };
    for (bool replacing : {true, false}) {
        for (VstIntPtr program = 0; program < 8; ++program) {
            SCOPED_TRACE(::testing::Message() << (replacing ? "processReplacing" : "process") << ", program "
                                              << program);
            Host host;
            Instance e(host), fresh(host);
            ASSERT_TRUE(e && fresh);
            for (AEffect* instance : {e.get(), fresh.get()}) {
                dispatch(instance, effSetSampleRate, 0, 0, nullptr, 8000.0f);
                dispatch(instance, effSetProgram, 0, program);
            }
            const Stereo out = Render(e.get(), hit, 512, replacing);
            EXPECT_TRUE(AllFinite(out) && WithinUnit(out));
            const Stereo tail = Render(e.get(), quiet, 512, replacing);
            EXPECT_TRUE(AllFinite(tail) && WithinUnit(tail));
            Render(fresh.get(), quiet, 512, replacing);
            // The filters that rang at huge levels start from rest, and the
            // followers and gate levels they held at the top fall back
            // (quickly with "Default"'s attack and release).
            for (AEffect* instance : {e.get(), fresh.get()}) {
                dispatch(instance, effSetProgram, 0, 0);
                redesign(instance);
                Render(instance, quiet, 512, replacing);
            }
            const Stereo recovered = Render(e.get(), after, 512, replacing);
            const Stereo expected = Render(fresh.get(), after, 512, replacing);
            float worst = 0.0f;
            for (size_t i = 0; i < after.size(); ++i)
                worst = std::max({worst, std::fabs(recovered.left[i] - expected.left[i]),
                                  std::fabs(recovered.right[i] - expected.right[i])});
            EXPECT_LT(worst, 1e-3f);
        }
    }
}
