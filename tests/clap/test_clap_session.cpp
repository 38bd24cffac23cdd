// What holds for any well-behaved CLAP plug-in, through the tests' host:
// ctest runs these on Halvorine.clap and on a known-good plug-in (Debian's
// zam-plugins), so that a fault of the host shows apart from one of ours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ClapHost.h"
#include "ClapTestUtil.h"
#include "TestHost.h"

using namespace claphost;
using testhost::GuardedStereo;

TEST(Session, EntryFactoryAndDescriptor) {
    Module& module = Module::underTest();
    REQUIRE_MODULE(module);
    EXPECT_TRUE(clap_version_is_compatible(module.entry()->clap_version));
    const clap_plugin_factory_t* f = module.factory();
    ASSERT_GE(f->get_plugin_count(f), 1u);
    const clap_plugin_descriptor_t* d = f->get_plugin_descriptor(f, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(clap_version_is_compatible(d->clap_version));
    for (const char* text : {d->id, d->name, d->vendor, d->url, d->version})
        EXPECT_NE(text, nullptr);
    ASSERT_NE(d->features, nullptr);
    EXPECT_NE(d->features[0], nullptr) << "no features";
    Plugin p(module, d->id);
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.raw()->desc, d) << "the instance's descriptor is the factory's";
}

// Activation at two rates, then blocks of every size up to the maximum in
// guarded buffers, apart and in place; the output stays finite.
TEST(Session, ActivateAndProcess) {
    REQUIRE_MODULE(Module::underTest());
    for (double rate : {44100.0, 48000.0}) {
        Plugin p;
        ASSERT_TRUE(p.activate(rate, 1, 4096)) << rate;
        for (uint32_t frames : {1u, 37u, 512u, 4096u}) {
            GuardedStereo in(static_cast<int>(frames)), out(static_cast<int>(frames), 7.0f);
            claptest::Fill(in, frames);
            EXPECT_NE(p.process(in.channels(), out.channels(), frames), CLAP_PROCESS_ERROR) << frames;
            EXPECT_NE(p.process(in.channels(), in.channels(), frames), CLAP_PROCESS_ERROR) << frames << " in place";
            EXPECT_TRUE(in.guardsIntact() && out.guardsIntact()) << frames;
            EXPECT_TRUE(claptest::Finite(out)) << frames;
        }
    }
}

// Every parameter's info is sane, its value in range, and the text of a
// value reads back to a value with the same text.
TEST(Session, ParameterInfoAndTexts) {
    REQUIRE_MODULE(Module::underTest());
    Plugin p;
    const uint32_t count = p.paramCount();
    ASSERT_GT(count, 0u);
    std::vector<clap_id> ids;
    for (uint32_t i = 0; i < count; ++i) {
        clap_param_info_t info{};
        ASSERT_TRUE(p.paramInfo(i, info)) << i;
        ASSERT_NE(std::memchr(info.name, 0, sizeof info.name), nullptr) << i;
        EXPECT_LE(info.min_value, info.default_value) << info.name;
        EXPECT_LE(info.default_value, info.max_value) << info.name;
        double value = NAN;
        ASSERT_TRUE(p.paramValue(info.id, value)) << info.name;
        EXPECT_TRUE(value >= info.min_value && value <= info.max_value) << info.name << " " << value;
        for (double v : {info.min_value, info.default_value, info.max_value}) {
            std::string text, again;
            ASSERT_TRUE(p.valueToText(info.id, v, text)) << info.name;
            double back = NAN;
            ASSERT_TRUE(p.textToValue(info.id, text, back)) << info.name << ": " << text;
            ASSERT_TRUE(p.valueToText(info.id, back, again));
            EXPECT_EQ(again, text) << info.name;
        }
        ids.push_back(info.id);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end()) << "two parameters share an ID";
}

// A state saved into a stream that takes one byte a write, loaded from one
// that hands over one byte a read, saves the same bytes again, also in a
// second instance.
TEST(Session, StateRoundTrip) {
    REQUIRE_MODULE(Module::underTest());
    Plugin p, other;
    if (!p.hasState())
        GTEST_SKIP() << "no state extension";
    const auto saved = p.state(1);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(p.state(), saved);
    IStream stream(saved, 1);
    ASSERT_TRUE(other.load(stream));
    EXPECT_EQ(other.state(), saved);
}
