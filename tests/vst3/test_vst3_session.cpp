// The module through the sequence hosts use. Session.* hold for any
// well-behaved plug-in (ctest also runs them on a known-good bundle);
// Halvorine.* check this plug-in's own answers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ParameterTable.h"
#include "TestHost.h"
#include "TestSignal.h"
#include "Vst3Host.h"
#include "edition/SavedState.h"

using namespace vst3host;
using testhost::GuardedStereo;
namespace v3 = edition;

namespace {

std::vector<unsigned char> SaveState(IComponent* component) {
    MemoryStream stream;
    EXPECT_EQ(component->getState(&stream), kResultOk);
    EXPECT_EQ(stream.refs, 1u);
    return stream.bytes;
}

void Fill(GuardedStereo& buffers, uint32_t seed) {
    std::vector<float> l, r;
    testsignal::MakeTestSignal(l, r, buffers.frames(), seed);
    std::copy(l.begin(), l.end(), buffers.left());
    std::copy(r.begin(), r.end(), buffers.right());
}

bool IsHalvorine() { return Module::instance().path().find("Halvorine") != std::string::npos; }

}  // namespace

// Create, initialise, set up, activate, process blocks of every size with
// guarded buffers (in place too), stop, terminate, release: every host
// object handed over comes back, and the last release frees the instance.
TEST(Session, WholeSessionWithGuardedBuffers) {
    Session s;
    EXPECT_GT(s.context.refs, 1u) << "initialize keeps the context";
    for (int frames : {1, 7, 64, 4096, 0}) {
        GuardedStereo in(frames > 0 ? frames : 1), out(frames > 0 ? frames : 1, 7.0f);
        Fill(in, static_cast<uint32_t>(frames));
        ASSERT_EQ(s.process(in.channels(), out.channels(), frames), kResultOk) << frames;
        EXPECT_EQ(s.process(in.channels(), in.channels(), frames), kResultOk) << frames << " in place";
        EXPECT_TRUE(in.guardsIntact() && out.guardsIntact()) << frames;
        for (int i = 0; i < frames; ++i)
            ASSERT_TRUE(std::isfinite(out.left()[i]) && std::isfinite(out.right()[i]));
    }
    s.end();
    EXPECT_EQ(s.context.refs, 1u) << "terminate drops the context";
    EXPECT_EQ(s.handler.refs, 1u) << "terminate drops the handler";
    EXPECT_EQ(s.lastRelease, 0u) << "the last release frees the instance";
}

TEST(Session, StateRoundTripsExactly) {
    Session s;
    const auto saved = SaveState(s.component);
    ASSERT_FALSE(saved.empty());
    MemoryStream stream(saved);
    EXPECT_EQ(s.component->setState(&stream), kResultOk);
    EXPECT_EQ(stream.refs, 1u);
    EXPECT_EQ(SaveState(s.component), saved);
}

// Two instances side by side share nothing: a change to one leaves the
// other's output as a lone instance's.
TEST(Session, TwoInstancesAreIndependent) {
    Session a, b, lone;
    ParameterInfo info{};
    ASSERT_EQ(a.controller->getParameterInfo(0, info), kResultOk);
    ParameterChanges change;
    change.add(info.id, 0, info.defaultNormalizedValue > 0.5 ? 0.0 : 1.0);
    GuardedStereo in(512), outA(512), outB(512), outLone(512);
    Fill(in, 3);
    a.process(in.channels(), outA.channels(), 512, &change);
    b.process(in.channels(), outB.channels(), 512);
    lone.process(in.channels(), outLone.channels(), 512);
    EXPECT_EQ(0, std::memcmp(outB.left(), outLone.left(), 512 * sizeof(float)));
    EXPECT_EQ(0, std::memcmp(outB.right(), outLone.right(), 512 * sizeof(float)));
}

TEST(Halvorine, Factory) {
    if (!IsHalvorine())
        GTEST_SKIP();
    IPluginFactory* factory = Module::instance().factory();
    PFactoryInfo info{};
    ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Pellucid");
    IPluginFactory3* f3 = nullptr;
    ASSERT_EQ(factory->queryInterface(Id(IPluginFactory3::iid), reinterpret_cast<void**>(&f3)), kResultOk);
    PClassInfo2 info2{};
    ASSERT_EQ(f3->getClassInfo2(0, &info2), kResultOk);
    EXPECT_STREQ(info2.category, "Audio Module Class");
    EXPECT_STREQ(info2.name, "Halvorine");
    EXPECT_STREQ(info2.subCategories, "Fx|Dynamics");
    EXPECT_STREQ(info2.version, HALVORINE_VERSION);
    PClassInfoW infoW{};
    ASSERT_EQ(f3->getClassInfoUnicode(0, &infoW), kResultOk);
    EXPECT_EQ(Narrow(infoW.vendor), "Pellucid");
    EXPECT_EQ(0, std::memcmp(infoW.cid, info2.cid, 16));
    f3->release();
    TUID other{};
    void* obj = &other;
    EXPECT_NE(factory->createInstance(other, Id(IComponent::iid), &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
}

TEST(Halvorine, BusesAndRefusedSetups) {
    if (!IsHalvorine())
        GTEST_SKIP();
    Session s;
    EXPECT_EQ(s.component->getBusCount(kEvent, kInput), 0);
    BusInfo bus{};
    ASSERT_EQ(s.component->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
    EXPECT_EQ(Narrow(bus.name), "Output");
    EXPECT_EQ(bus.channelCount, 2);
    struct Arrangement {
        SpeakerArrangement in, out;
        int32_t ins, outs;
    };
    const Arrangement refused[] = {{1, 1, 1, 1}, {kStereo, 0x3F, 1, 1}, {0x3F, kStereo, 1, 1},
                                   {kStereo, kStereo, 3, 1}, {kStereo, kStereo, 1, 0}};
    for (const Arrangement& a : refused) {
        SpeakerArrangement ins[3] = {a.in, a.in, a.in}, outs[2] = {a.out, a.out};
        EXPECT_EQ(s.processor->setBusArrangements(ins, a.ins, outs, a.outs), kResultFalse);
        SpeakerArrangement now = 0;
        EXPECT_EQ(s.processor->getBusArrangement(kOutput, 0, now), kResultOk);
        EXPECT_EQ(now, kStereo);
    }
    EXPECT_EQ(s.processor->canProcessSampleSize(kSample64), kResultFalse);
    for (double rate : {0.0, 7999.0, 768001.0, std::nan("")}) {
        ProcessSetup setup{kRealtime, kSample32, 512, rate};
        EXPECT_EQ(s.processor->setupProcessing(setup), kResultFalse) << rate;
    }
    ProcessSetup doubles{kRealtime, kSample64, 512, 48000.0};
    EXPECT_EQ(s.processor->setupProcessing(doubles), kResultFalse);
}

TEST(Halvorine, ParameterTexts) {
    if (!IsHalvorine())
        GTEST_SKIP();
    Session s;
    ASSERT_EQ(s.controller->getParameterCount(), 25);
    struct Case {
        ParamID id;
        const char* title;
        const char* shortTitle;  // the panel's caption
        double value;
        const char* text;
        int32_t flags;
    };
    const Case cases[] = {
        {0, "Start Freq", "Low Freq", 0.5, "640Hz", ParameterInfo::kCanAutomate},
        {1, "End Freq", "Hi Freq", 1.0, "20.5KHz", ParameterInfo::kCanAutomate},
        {2, "Q", "Q", 0.125, "12.5%", ParameterInfo::kCanAutomate},
        {4, "Release", "Release", 0.25, "25%", ParameterInfo::kCanAutomate},
        {5, "Boost", "Boost", 0.75, "10dB", ParameterInfo::kCanAutomate},
        {6, "Band 1 Noise Gate Level", "Band 1", 0.75, "-10dB", ParameterInfo::kCanAutomate},
        {21, "Band 16 Noise Gate Level", "Band 16", 0.5, "-20dB", ParameterInfo::kCanAutomate},
        {22, "Program", "Program", 1.0 / 7, "Gated",
         ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange},
        {23, "Bypass", "Bypass", 1.0, "On", ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass},
        {24, "Key", "Key", 1.0, "External", ParameterInfo::kCanAutomate | ParameterInfo::kIsList},
        {24, "Key", "Key", 0.25, "Right", ParameterInfo::kCanAutomate | ParameterInfo::kIsList},
    };
    for (const Case& c : cases) {
        ParameterInfo info{};
        ASSERT_EQ(s.controller->getParameterInfo(static_cast<int32_t>(c.id), info), kResultOk);
        EXPECT_EQ(info.id, c.id);
        EXPECT_EQ(Narrow(info.title), c.title);
        EXPECT_EQ(Narrow(info.shortTitle), c.shortTitle);
        EXPECT_EQ(info.flags, c.flags) << c.title;
        String128 text{};
        ASSERT_EQ(s.controller->getParamStringByValue(c.id, c.value, text), kResultOk);
        EXPECT_EQ(Narrow(text), c.text);
        // A unit shows once: in the text, or as the units.
        const std::string units = Narrow(info.units);
        EXPECT_TRUE(units.empty() || Narrow(text).find(units) == std::string::npos) << c.title << ": " << units;
        double back = -1;
        ASSERT_EQ(s.controller->getParamValueByString(c.id, text, back), kResultOk) << c.text;
        EXPECT_NEAR(back, c.value, 1e-3) << c.text;
    }
    ParameterInfo program{};
    s.controller->getParameterInfo(22, program);
    EXPECT_EQ(program.stepCount, 7);
    EXPECT_NEAR(program.defaultNormalizedValue, 1.0, 1e-12) << "a new instance is on BigBeat";
    ParameterInfo key{};
    s.controller->getParameterInfo(24, key);
    EXPECT_EQ(key.stepCount, 4);
    EXPECT_EQ(key.defaultNormalizedValue, 0.0) << "Left, as before there was a choice";
    for (const char* bad : {"", "abc", "5 furlongs", "12 dB"}) {
        String128 text{};
        for (int i = 0; bad[i] != 0; ++i)
            text[i] = static_cast<char16>(bad[i]);
        double value = -1;
        EXPECT_EQ(s.controller->getParamValueByString(0, text, value), kResultFalse) << bad;
    }
}

// Choosing a program sets the 22 values on both sides, and the host hears
// of it: never from inside its own call (some hosts hold a lock there that
// their restartComponent waits for), but from the processor's output
// changes, and at a later call from its user-interface thread once it has
// taken those (the next block has begun).
TEST(Halvorine, ProgramChange) {
    if (!IsHalvorine())
        GTEST_SKIP();
    Session s;
    constexpr int kLowGate = 3;
    ASSERT_EQ(s.controller->setParamNormalized(22, 3.0 / 7), kResultOk);
    for (int i = 0; i < 22; ++i)
        EXPECT_EQ(s.controller->getParamNormalized(static_cast<ParamID>(i)), params::FactoryValue(kLowGate, i));
    EXPECT_TRUE(s.handler.calls.empty()) << "called back from inside setParamNormalized";

    ParameterChanges change, reported;
    change.add(22, 0, 3.0 / 7);
    GuardedStereo in(16), out(16);
    AudioBusBuffers input{2, 0, {in.channels()}}, output{2, 0, {out.channels()}};
    ProcessData data{};
    data.symbolicSampleSize = kSample32;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &input;
    data.outputs = &output;
    data.inputParameterChanges = &change;
    data.outputParameterChanges = &reported;
    s.processor->process(data);  // a flush
    ASSERT_EQ(reported.queues.size(), 22u);
    for (int i = 0; i < 22; ++i)
        EXPECT_EQ(reported.queues[i].points.back().second, params::FactoryValue(kLowGate, i));
    ParameterChanges none;
    data.inputParameterChanges = &none;
    s.processor->process(data);
    v3::State state{};
    const auto bytes = SaveState(s.component);
    ASSERT_EQ(v3::ReadState(bytes.data(), bytes.size(), state), v3::StateError::None);
    EXPECT_EQ(state.program, kLowGate);
    for (int i = 0; i < 22; ++i)
        EXPECT_EQ(state.values[i], params::FactoryValue(kLowGate, i));
    ASSERT_EQ(s.handler.calls.size(), 1u) << "getState is a call from the user-interface thread";
    EXPECT_EQ(s.handler.calls[0].what, 'r');
    EXPECT_EQ(static_cast<int>(s.handler.calls[0].value), kParamValuesChanged);
}

// Changes inside one block land where a host splitting the block there
// would put them.
TEST(Halvorine, ChangesApplyAtTheirOffsets) {
    if (!IsHalvorine())
        GTEST_SKIP();
    Session whole, split;
    GuardedStereo in(4096), outWhole(4096), outSplit(4096);
    Fill(in, 11);
    ParameterChanges changes;
    changes.add(5, 1000, 0.9);  // Boost
    changes.add(0, 1000, 0.2);  // Start Freq
    changes.add(5, 3000, 0.1);
    whole.process(in.channels(), outWhole.channels(), 4096, &changes);

    auto run = [&](int from, int to, ParameterChanges* c) {
        float* i[2] = {in.left() + from, in.right() + from};
        float* o[2] = {outSplit.left() + from, outSplit.right() + from};
        split.process(i, o, to - from, c);
    };
    ParameterChanges at1000, at3000;
    at1000.add(5, 0, 0.9);
    at1000.add(0, 0, 0.2);
    at3000.add(5, 0, 0.1);
    run(0, 1000, nullptr);
    run(1000, 3000, &at1000);
    run(3000, 4096, &at3000);
    EXPECT_EQ(0, std::memcmp(outWhole.left(), outSplit.left(), 4096 * sizeof(float)));
    EXPECT_EQ(0, std::memcmp(outWhole.right(), outSplit.right(), 4096 * sizeof(float)));
}

// Bypass: the input exactly once the fade is over, and in between a mix
// that never leaves the span of the gate's output and the input.
TEST(Halvorine, BypassFades) {
    if (!IsHalvorine())
        GTEST_SKIP();
    Session bypassed, running;
    GuardedStereo in(2048), outB(2048), outR(2048);
    Fill(in, 5);
    ParameterChanges on;
    on.add(23, 0, 1.0);
    uint64_t flags = 0;
    bypassed.process(in.channels(), outB.channels(), 2048, &on, &flags);
    running.process(in.channels(), outR.channels(), 2048);
    const int fade = static_cast<int>(v3::kBypassFadeSeconds * 44100.0);
    for (int i = 0; i < 2048; ++i) {
        const float dry = in.left()[i], wet = outR.left()[i], got = outB.left()[i];
        if (i > fade)
            ASSERT_EQ(got, dry) << i;
        else
            ASSERT_TRUE(got >= std::min(dry, wet) - 1e-6f && got <= std::max(dry, wet) + 1e-6f) << i;
    }
    EXPECT_NE(outB.left()[fade / 2], outR.left()[fade / 2]) << "a fade, not a switch";
    const auto bytes = SaveState(bypassed.component);
    v3::State state{};
    ASSERT_EQ(v3::ReadState(bytes.data(), bytes.size(), state), v3::StateError::None);
    EXPECT_TRUE(state.bypass);
}

// Silence flags say what the output is, whatever the host left in them.
TEST(Halvorine, SilenceFlags) {
    if (!IsHalvorine())
        GTEST_SKIP();
    Session s;
    GuardedStereo in(256), out(256);
    Fill(in, 9);
    ParameterChanges mute, unmute;
    mute.add(5, 0, 0.0);  // Boost 0 mutes
    unmute.add(5, 0, 0.5);
    uint64_t flags = 0;
    s.process(in.channels(), out.channels(), 256, &mute, &flags);
    EXPECT_EQ(flags, 3u);
    s.process(in.channels(), out.channels(), 256, &unmute, &flags);
    EXPECT_EQ(flags, 0u);
}

namespace {

// The version 2 bytes of a version 1 state: the same values, and Key.
std::vector<unsigned char> AsVersion2(std::vector<unsigned char> v1, unsigned char key) {
    v1[4] = 2;
    v1.insert(v1.end(), {key, 0, 0, 0});
    return v1;
}

}  // namespace

// A state saved by the first version, kept in the repository: every later
// build must load it (with Key on Left, which is what that version ran),
// and save the same values again.
TEST(Halvorine, LoadsTheSavedState) {
    if (!IsHalvorine())
        GTEST_SKIP();
    const auto saved = ReadFile(DataPath("state-v1.bin"));
    ASSERT_EQ(saved.size(), v3::kStateSizeV1);
    Session s;
    ParameterChanges external;
    external.add(24, 0, 1.0);  // so that loading must set Left, not keep it
    GuardedStereo in(64), out(64);
    s.process(in.channels(), out.channels(), 64, &external);
    MemoryStream stream(saved);
    stream.piece = 7;  // handed over in pieces, as some hosts do
    ASSERT_EQ(s.component->setState(&stream), kResultOk);
    EXPECT_EQ(SaveState(s.component), AsVersion2(saved, 0));
    MemoryStream again(saved);
    ASSERT_EQ(s.controller->setComponentState(&again), kResultOk);
    EXPECT_EQ(s.controller->getParamNormalized(22), 1.0 / 7);            // Gated
    EXPECT_EQ(s.controller->getParamNormalized(5), static_cast<float>(0.6));  // Boost, edited
    EXPECT_EQ(s.controller->getParamNormalized(24), 0.0);                // Left
}

// Short, corrupt and newer streams are refused and change nothing.
TEST(Halvorine, RefusesBadStreams) {
    if (!IsHalvorine())
        GTEST_SKIP();
    const auto good = AsVersion2(ReadFile(DataPath("state-v1.bin")), 4);
    ASSERT_EQ(good.size(), v3::kStateSize);
    struct Case {
        const char* what;
        size_t at;      // where `word` goes, or the length to cut to
        uint32_t word;  // little-endian
        bool cut;
    };
    const Case cases[] = {
        {"empty", 0, 0, true},           {"short", 50, 0, true},          {"one short", 107, 0, true},
        {"without its Key", 104, 0, true},
        {"magic", 0, 0x53766C49, false}, {"newer", 4, 3, false},          {"version 0", 4, 0, false},
        {"NaN", 8, 0x7FC00000, false},   {"above 1", 16, 0x3F800001, false}, {"negative", 8, 0xBF800000, false},
        {"program 8", 96, 8, false},     {"program -1", 96, 0xFFFFFFFF, false}, {"bypass 2", 100, 2, false},
        {"Key 5", 104, 5, false},        {"Key -1", 104, 0xFFFFFFFF, false},
    };
    for (const Case& c : cases) {
        auto bytes = good;
        if (c.cut)
            bytes.resize(c.at);
        else
            for (int i = 0; i < 4; ++i)
                bytes[c.at + i] = static_cast<unsigned char>(c.word >> (8 * i));
        Session s;
        const auto before = SaveState(s.component);
        const double shown = s.controller->getParamNormalized(0);
        MemoryStream stream(bytes), stream2(bytes);
        EXPECT_EQ(s.component->setState(&stream), kResultFalse) << c.what;
        EXPECT_EQ(s.controller->setComponentState(&stream2), kResultFalse) << c.what;
        EXPECT_EQ(SaveState(s.component), before) << c.what;
        EXPECT_EQ(s.controller->getParamNormalized(0), shown) << c.what;
    }
}
