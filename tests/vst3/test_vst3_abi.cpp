// The layouts hosts rely on, as the format's compilers lay them out: the
// same on Linux and 64-bit Windows; on 32-bit Windows pointers shrink and
// 64-bit fields keep 8-byte alignment.
#include <gtest/gtest.h>

#include <cstddef>

#include "abi/Component.h"
#include "abi/Controller.h"
#include "abi/Factory.h"
#include "abi/Processor.h"

using namespace vst3abi;

namespace {

constexpr bool k32 = sizeof(void*) == 4;

struct Layout {
    const char* what;
    size_t actual, expected;
};

#define FIELD(S, f, expected) {#S "." #f, offsetof(S, f), expected}
#define SIZE(S, expected) {"sizeof " #S, sizeof(S), expected}

const Layout kLayouts[] = {
    SIZE(PFactoryInfo, 452), FIELD(PFactoryInfo, url, 64), FIELD(PFactoryInfo, email, 320),
    FIELD(PFactoryInfo, flags, 448),
    SIZE(PClassInfo, 116), FIELD(PClassInfo, cardinality, 16), FIELD(PClassInfo, category, 20),
    FIELD(PClassInfo, name, 52),
    SIZE(PClassInfo2, 440), FIELD(PClassInfo2, classFlags, 116), FIELD(PClassInfo2, subCategories, 120),
    FIELD(PClassInfo2, vendor, 248), FIELD(PClassInfo2, version, 312), FIELD(PClassInfo2, sdkVersion, 376),
    SIZE(PClassInfoW, 696), FIELD(PClassInfoW, name, 52), FIELD(PClassInfoW, classFlags, 180),
    FIELD(PClassInfoW, subCategories, 184), FIELD(PClassInfoW, vendor, 312), FIELD(PClassInfoW, version, 440),
    FIELD(PClassInfoW, sdkVersion, 568),
    SIZE(BusInfo, 276), FIELD(BusInfo, channelCount, 8), FIELD(BusInfo, name, 12), FIELD(BusInfo, busType, 268),
    FIELD(BusInfo, flags, 272),
    SIZE(RoutingInfo, 12), FIELD(RoutingInfo, channel, 8),
    SIZE(ProcessSetup, 24), FIELD(ProcessSetup, maxSamplesPerBlock, 8), FIELD(ProcessSetup, sampleRate, 16),
    SIZE(AudioBusBuffers, 24), FIELD(AudioBusBuffers, silenceFlags, 8), FIELD(AudioBusBuffers, channelBuffers32, 16),
    SIZE(ProcessData, k32 ? 48 : 80), FIELD(ProcessData, numOutputs, 16), FIELD(ProcessData, inputs, k32 ? 20 : 24),
    FIELD(ProcessData, outputs, k32 ? 24 : 32), FIELD(ProcessData, inputParameterChanges, k32 ? 28 : 40),
    FIELD(ProcessData, outputParameterChanges, k32 ? 32 : 48), FIELD(ProcessData, inputEvents, k32 ? 36 : 56),
    FIELD(ProcessData, outputEvents, k32 ? 40 : 64), FIELD(ProcessData, processContext, k32 ? 44 : 72),
    SIZE(ParameterInfo, 792), FIELD(ParameterInfo, title, 4), FIELD(ParameterInfo, shortTitle, 260),
    FIELD(ParameterInfo, units, 516), FIELD(ParameterInfo, stepCount, 772),
    FIELD(ParameterInfo, defaultNormalizedValue, 776), FIELD(ParameterInfo, unitId, 784),
    FIELD(ParameterInfo, flags, 788),
    SIZE(UnitInfo, 268), FIELD(UnitInfo, name, 8), FIELD(UnitInfo, programListId, 264),
    SIZE(ProgramListInfo, 264), FIELD(ProgramListInfo, name, 4), FIELD(ProgramListInfo, programCount, 260),
};

}  // namespace

TEST(Abi, StructureLayouts) {
    for (const Layout& layout : kLayouts)
        EXPECT_EQ(layout.actual, layout.expected) << layout.what;
}

// The identifiers' bytes as Windows hosts and the others hold them.
TEST(Abi, IdentifierByteOrder) {
#if defined(_WIN32)
    const unsigned char expected[16] = {0x31, 0xFF, 0x31, 0xE8, 0xD5, 0xF2, 0x01, 0x43,
                                        0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
#else
    const unsigned char expected[16] = {0xE8, 0x31, 0xFF, 0x31, 0xF2, 0xD5, 0x43, 0x01,
                                        0x92, 0x8E, 0xBB, 0xEE, 0x25, 0x69, 0x78, 0x02};
#endif
    EXPECT_EQ(0, std::memcmp(IComponent::iid.bytes, expected, 16));
}
