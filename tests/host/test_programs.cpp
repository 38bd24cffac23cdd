// Programs and parameter values, as a host stores and restores them.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "BlackBox.h"

using blackbox::Instance;
using blackbox::Observe;
using blackbox::Observed;
using blackbox::TextBuffer;
using testhost::dispatch;
using testhost::Host;

namespace {

const char* const kNames[8] = {"Default", "Gated", "HiGate", "LowGate", "LongRel", "Chuffy", "BandLimited", "BigBeat"};

// Factory values of parameters 0 to 21 (22 to 29 are 0 in every program).
const float kFactory[8][22] = {
    {0, 1, 0.33f, 0, 0, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 1, 0.33f, 0, 0, 0.5f, 0.625f, 0.675f, 0.675f, 0.65f, 0.675f, 0.6875f, 0.6875f, 0.7f, 0.7125f, 0.7125f, 0.7f,
     0.725f, 0.7625f, 0.75f, 0.7375f, 0.75f},
    {0.2375f, 0.9625f, 0.33f, 0, 0, 0.5f, 0.075f, 0.0625f, 0.0875f, 0.0625f, 0.125f, 0.1125f, 0.1125f, 0.1125f, 0.2f,
     0.3f, 0.325f, 0.8875f, 0.7625f, 0.9f, 0.8875f, 0.875f},
    {0.3375f, 1, 0.33f, 0, 0, 0.5f, 0.6f, 0.6f, 0.5875f, 0.5875f, 0.7875f, 0.75f, 0.75f, 0.9125f, 0.55f, 0.6375f,
     0.725f, 0.6875f, 0, 0, 0, 0},
    {0, 1, 0.35f, 0, 0.7875f, 0.5f, 0.8625f, 0.8125f, 0.7375f, 0.7875f, 0.7875f, 0.7875f, 0.7875f, 0.7625f, 0, 0, 0,
     0, 0, 0, 0, 0},
    {0, 1, 0.33f, 0.6875f, 0.5625f, 0.9f, 0.6f, 0.6125f, 0.6125f, 0.6f, 0.6f, 0.625f, 0.6f, 0.6375f, 0.7125f, 0.7125f,
     0.7f, 0.725f, 0.7625f, 0.9f, 0.8875f, 0.875f},
    {0.3125f, 0.8375f, 0.0375f, 0, 0.3875f, 1, 0.5125f, 0.525f, 0.525f, 0.525f, 0.4875f, 0.4875f, 0.4125f, 0.8f, 0, 0,
     0, 0, 0, 0.6875f, 0.675f, 0.6875f},
    {0.7375f, 0.55f, 0.125f, 0.3125f, 0.95f, 0.3f, 0, 0.7875f, 0, 0.7875f, 0, 0.775f, 0, 0.7875f, 0, 0.8875f, 0,
     0.8625f, 0, 0.8875f, 0, 0.8375f},
};

void ExpectFactoryValues(AEffect* e, int program) {
    SCOPED_TRACE(kNames[program]);
    for (VstInt32 i = 0; i < 30; ++i) {
        const float expected = i < 22 ? kFactory[program][i] : 0.0f;
        EXPECT_EQ(e->getParameter(e, i), expected) << "parameter " << i;
    }
}

std::string ProgramName(AEffect* e) { return testhost::textRequest(e, effGetProgramName); }

}  // namespace

TEST(Programs, BigBeatIsCurrentAfterMain) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    EXPECT_EQ(dispatch(e.get(), effGetProgram), 7);
    EXPECT_EQ(ProgramName(e.get()), "BigBeat");
    ExpectFactoryValues(e.get(), 7);
}

TEST(Programs, IndexedNamesWhateverTheCategory) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    // The category is ignored, also when it is too wide for 32 bits (64-bit
    // builds: `value` is 64 bits there).
    std::vector<VstIntPtr> categories = {0, 1, 5, -1, INT_MIN, INT_MAX};
    if (sizeof(VstIntPtr) == 8)
        for (int64_t wide : {INT64_MIN, INT64_MAX, int64_t{1} << 32, -(int64_t{1} << 32) + 3})
            categories.push_back(static_cast<VstIntPtr>(wide));
    for (VstIntPtr category : categories) {
        for (VstInt32 i = 0; i < 8; ++i) {
            SCOPED_TRACE(::testing::Message() << "category " << category << " index " << i);
            TextBuffer buffer;
            EXPECT_EQ(dispatch(e.get(), effGetProgramNameIndexed, i, category, buffer.bytes), 1);
            EXPECT_EQ(buffer.text(), kNames[i]);
            EXPECT_TRUE(buffer.untouchedFrom(std::strlen(kNames[i]) + 1));
        }
    }
    for (VstInt32 i : {8, 9, 100, -1, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(i);
        TextBuffer buffer;
        EXPECT_EQ(dispatch(e.get(), effGetProgramNameIndexed, i, 0, buffer.bytes), 0);
        EXPECT_TRUE(buffer.untouched());
    }
}

TEST(Programs, SelectingLoadsTheFactoryValues) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    for (int p : {3, 0, 1, 2, 4, 5, 6, 7, 3}) {
        SCOPED_TRACE(p);
        host.clear();
        EXPECT_EQ(dispatch(e.get(), effSetProgram, 0, p), 0);
        ASSERT_EQ(host.calls.size(), 1u);
        EXPECT_EQ(host.calls[0].opcode, audioMasterGetTime);
        EXPECT_EQ(host.calls[0].value, 0);
        EXPECT_EQ(host.calls[0].effect, e.get());
        EXPECT_EQ(dispatch(e.get(), effGetProgram), p);
        EXPECT_EQ(ProgramName(e.get()), kNames[p]);
        ExpectFactoryValues(e.get(), p);
    }
}

TEST(Programs, OutOfRangeSelectionsChangeNothing) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    dispatch(e.get(), effSetProgram, 0, 4);
    e->setParameter(e.get(), 9, 0.3f);
    const Observed before = Observe(e.get());
    for (VstIntPtr p : {8, 9, 1000, INT_MAX}) {
        SCOPED_TRACE(p);
        host.clear();
        EXPECT_EQ(dispatch(e.get(), effSetProgram, 0, p), 0);
        EXPECT_TRUE(host.calls.empty()) << "ignored before anything happens";
        EXPECT_EQ(Observe(e.get()), before);
    }
    // On 64-bit builds `value` is 64 bits wide: numbers that only narrowing
    // would bring into range (INT64_MIN to 0, 2^32 + 3 to 3) are ignored too.
    if (sizeof(VstIntPtr) == 8) {
        const int64_t wide[] = {INT64_MIN, INT64_MIN + 3, int64_t{1} << 32, (int64_t{1} << 32) + 3,
                                -(int64_t{1} << 32) + 3, int64_t{INT_MIN} - 1};
        for (int64_t p : wide) {
            SCOPED_TRACE(p);
            host.clear();
            EXPECT_EQ(dispatch(e.get(), effSetProgram, 0, static_cast<VstIntPtr>(p)), 0);
            EXPECT_TRUE(host.calls.empty()) << "ignored before anything happens";
            EXPECT_EQ(Observe(e.get()), before);
        }
    }
    for (VstIntPtr p : {-1, -8, INT_MIN}) {
        SCOPED_TRACE(p);
        host.clear();
        EXPECT_EQ(dispatch(e.get(), effSetProgram, 0, p), 0);
        ASSERT_EQ(host.calls.size(), 1u) << "only the time-information request";
        EXPECT_EQ(host.calls[0].opcode, audioMasterGetTime);
        EXPECT_EQ(host.calls[0].value, 0);
        EXPECT_EQ(Observe(e.get()), before);
    }
}

TEST(Programs, EditsStayWithTheirProgram) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    dispatch(e.get(), effSetProgram, 0, 2);
    e->setParameter(e.get(), 4, 0.9f);
    e->setParameter(e.get(), 3, 1.7f);   // stored clamped
    e->setParameter(e.get(), 25, 0.4f);  // a parameter without sound is kept too
    dispatch(e.get(), effSetProgram, 0, 5);
    EXPECT_EQ(e->getParameter(e.get(), 4), 0.5625f);
    EXPECT_EQ(e->getParameter(e.get(), 3), 0.6875f);
    EXPECT_EQ(e->getParameter(e.get(), 25), 0.0f);
    dispatch(e.get(), effSetProgram, 0, 2);
    EXPECT_EQ(e->getParameter(e.get(), 4), 0.9f);
    EXPECT_EQ(e->getParameter(e.get(), 3), 1.0f);
    EXPECT_EQ(e->getParameter(e.get(), 25), 0.4f);
    EXPECT_EQ(e->getParameter(e.get(), 0), 0.2375f);
}

TEST(Programs, NamesRoundTripWithinTheirLimits) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    dispatch(e.get(), effSetProgram, 0, 2);
    char name[] = "My Gate";
    EXPECT_EQ(dispatch(e.get(), effSetProgramName, 0, 0, name), 0);
    EXPECT_EQ(ProgramName(e.get()), "My Gate");
    EXPECT_EQ(testhost::textRequest(e.get(), effGetProgramNameIndexed, 2), "My Gate");
    for (int i : {0, 1, 3, 4, 5, 6, 7})
        EXPECT_EQ(testhost::textRequest(e.get(), effGetProgramNameIndexed, i), kNames[i]);
    dispatch(e.get(), effSetProgram, 0, 6);
    EXPECT_EQ(ProgramName(e.get()), "BandLimited");
    dispatch(e.get(), effSetProgram, 0, 2);
    EXPECT_EQ(ProgramName(e.get()), "My Gate");

    // The host's program-name buffer holds 24 characters and a terminator;
    // nothing is written beyond it, and longer names are cut there.
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (size_t length : {0u, 1u, 23u, 24u, 25u, 60u, 61u, 1000u}) {
        SCOPED_TRACE(length);
        std::string text;
        while (text.size() < length)
            text += alphabet;
        text.resize(length);
        std::vector<char> given(text.begin(), text.end());
        given.push_back('\0');
        const Observed before = Observe(e.get());
        EXPECT_EQ(dispatch(e.get(), effSetProgramName, 0, 0, given.data()), 0);
        const std::string expected = text.substr(0, 24);

        TextBuffer current;
        EXPECT_EQ(dispatch(e.get(), effGetProgramName, 0, 0, current.bytes), 0);
        EXPECT_EQ(current.text(), expected);
        EXPECT_TRUE(current.untouchedFrom(expected.size() + 1));

        TextBuffer indexed;
        EXPECT_EQ(dispatch(e.get(), effGetProgramNameIndexed, 2, 0, indexed.bytes), 1);
        EXPECT_EQ(indexed.text(), expected);
        EXPECT_TRUE(indexed.untouchedFrom(expected.size() + 1));

        // Only the current program's name changed.
        Observed after = Observe(e.get());
        for (int i : {0, 1, 3, 4, 5, 6, 7})
            EXPECT_EQ(after.programNames[static_cast<size_t>(i)], kNames[i]);
        after.programName = before.programName;
        after.programNames[2] = before.programNames[2];
        EXPECT_EQ(after, before);
    }
}

TEST(Parameters, ValuesAreLimitedToZeroToOne) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float given, stored;
    };
    const Case cases[] = {{1.5f, 1.0f},  {-0.2f, 0.0f}, {nan, 0.0f},   {-nan, 0.0f}, {inf, 1.0f},
                          {-inf, 0.0f},  {0.0f, 0.0f},  {1.0f, 1.0f},  {0.3f, 0.3f}, {1e-30f, 1e-30f},
                          {1.0000001f, 1.0f}, {-1e-30f, 0.0f}, {-0.0f, 0.0f}, {-1e-45f, 0.0f}};
    for (VstInt32 index : {3, 0, 5, 21, 29}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "index " << index << " value " << c.given);
            host.clear();
            e->setParameter(e.get(), index, c.given);
            EXPECT_TRUE(host.calls.empty()) << "a host's own change is not reported back";
            const float got = e->getParameter(e.get(), index);
            EXPECT_EQ(got, c.stored);
            EXPECT_FALSE(std::signbit(got)) << "no negative zero";
        }
    }
    // The clamped value is what the program keeps.
    e->setParameter(e.get(), 3, 1.5f);
    e->setParameter(e.get(), 4, -0.2f);
    dispatch(e.get(), effSetProgram, 0, 0);
    dispatch(e.get(), effSetProgram, 0, 7);
    EXPECT_EQ(e->getParameter(e.get(), 3), 1.0f);
    EXPECT_EQ(e->getParameter(e.get(), 4), 0.0f);
}

TEST(Parameters, IndicesOutsideTheHostRange) {
    Host host;
    Instance e(host);
    ASSERT_TRUE(e);
    e->setParameter(e.get(), 30, 0.7f);  // the spare slot: stored, never reported
    for (VstInt32 index : {30, 31, 1000, -1, -30, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(e->getParameter(e.get(), index), 0.0f);
    }
    const Observed before = Observe(e.get());
    for (VstInt32 index : {31, 32, 1000, -1, -30, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(index);
        host.clear();
        e->setParameter(e.get(), index, 0.5f);
        EXPECT_TRUE(host.calls.empty());
        EXPECT_EQ(Observe(e.get()), before);
    }
}
