// The entry functions, the effect record and instance construction, seen
// from a host.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "BlackBox.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using blackbox::Instance;
using testhost::dispatch;
using testhost::Host;
using testhost::Module;

namespace {

bool AllZero(const char* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

void ExpectFreshRecord(AEffect* e) {
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_EQ(e->numPrograms, 8);
    EXPECT_EQ(e->numParams, 30);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, HALVORINE_EDITOR ? 0x19 : 0x18);  // without the editor flag in a build without one
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_NE(e->object, nullptr);
    EXPECT_NE(e->object, static_cast<void*>(e)) << "object names the plug-in object, not the record";
    EXPECT_EQ(e->user, nullptr);
    EXPECT_EQ(e->uniqueID, 0x68766C51);
    EXPECT_EQ(e->version, 1);
#if INTPTR_MAX > INT32_MAX
    EXPECT_EQ(e->processDoubleReplacing, nullptr);
#endif
    EXPECT_TRUE(AllZero(e->future, sizeof e->future));
}

}  // namespace

TEST(Record, EveryFieldAfterEitherEntry) {
    for (bool throughMain : {true, false}) {
        SCOPED_TRACE(throughMain ? "main" : "VSTPluginMain");
        Host host;
        Instance e(host, throughMain);
        ExpectFreshRecord(e.get());
    }
}

TEST(Record, BothEntryNamesAreExported) {
    Module& m = Module::instance();
    ASSERT_NE(m.main(), nullptr);
    ASSERT_NE(m.vstPluginMain(), nullptr);
#if defined(_WIN32)
    // One function under two export names, in a library whose export table
    // names it "Halvorine.dll".
    EXPECT_EQ(reinterpret_cast<void*>(m.main()), reinterpret_cast<void*>(m.vstPluginMain()));
    HMODULE module = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCSTR>(reinterpret_cast<void*>(m.main())), &module));
    const unsigned char* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(dir.VirtualAddress, 0u);
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    EXPECT_STREQ(reinterpret_cast<const char*>(base + exports->Name), "Halvorine.dll");
#endif
}

TEST(Record, HostAnsweringZeroToVersionGetsNothing) {
    for (bool throughMain : {true, false}) {
        SCOPED_TRACE(throughMain ? "main" : "VSTPluginMain");
        Host host;
        host.answer = [](const testhost::Callback&) -> VstIntPtr { return 0; };
        AEffect* e = host.create(throughMain);
        EXPECT_EQ(e, nullptr);
        ASSERT_EQ(host.calls.size(), 1u) << "only audioMasterVersion may reach the host";
        EXPECT_EQ(host.calls[0].opcode, audioMasterVersion);
        if (e != nullptr)
            dispatch(e, effClose);
    }
}

TEST(Record, CallbacksDuringConstructionInOrder) {
    for (bool throughMain : {true, false}) {
        SCOPED_TRACE(throughMain ? "main" : "VSTPluginMain");
        Host host;
        Instance e(host, throughMain);
        ASSERT_TRUE(e);
        ASSERT_EQ(host.calls.size(), 10u);

        const testhost::Callback& version = host.calls[0];
        EXPECT_EQ(version.opcode, audioMasterVersion);
        EXPECT_EQ(version.effect, nullptr);
        EXPECT_EQ(version.index, 0);
        EXPECT_EQ(version.value, 0);
        EXPECT_EQ(version.ptr, nullptr);
        EXPECT_EQ(version.opt, 0.0f);

        EXPECT_EQ(host.calls[1].opcode, audioMasterGetSampleRate);
        EXPECT_EQ(host.calls[1].effect, e.get());
        for (size_t i = 2; i < 10; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(host.calls[i].opcode, audioMasterGetTime);
            EXPECT_EQ(host.calls[i].effect, e.get());
            EXPECT_EQ(host.calls[i].value, 0);
            EXPECT_EQ(host.calls[i].ptr, nullptr);
        }
    }
}

TEST(Record, TwoInstancesAreIndependent) {
    Host host;
    Instance a(host);
    Instance b(host);
    Instance reference(host);
    ASSERT_TRUE(a && b && reference);
    EXPECT_NE(a.get(), b.get());
    EXPECT_NE(a->object, b->object);

    const blackbox::Observed before = blackbox::Observe(b.get());
    a->setParameter(a.get(), 0, 0.125f);
    a->setParameter(a.get(), 29, 0.5f);
    dispatch(a.get(), effSetProgram, 0, 2);
    a->setParameter(a.get(), 4, 0.9f);
    char name[] = "Renamed";
    dispatch(a.get(), effSetProgramName, 0, 0, name);
    dispatch(a.get(), effSetSampleRate, 0, 0, nullptr, 96000.0f);
    EXPECT_EQ(blackbox::Observe(b.get()), before);

    // Sound: what a processes does not reach b.
    const blackbox::Stereo signal = blackbox::TestSignal(2048);
    blackbox::Render(a.get(), signal);
    EXPECT_EQ(blackbox::Render(b.get(), signal), blackbox::Render(reference.get(), signal));
}

TEST(Record, CloseAnswersOneAndLeavesOtherInstancesWorking) {
    Host host;
    Instance survivor(host);
    ASSERT_TRUE(survivor);
    const blackbox::Observed before = blackbox::Observe(survivor.get());

    AEffect* fresh = host.create();
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(dispatch(fresh, effClose), 1);

    AEffect* used = host.create();
    ASSERT_NE(used, nullptr);
    blackbox::Render(used, blackbox::TestSignal(512));
    dispatch(used, effMainsChanged, 0, 1);
    EXPECT_EQ(dispatch(used, effClose), 1);

    EXPECT_EQ(blackbox::Observe(survivor.get()), before);
    const blackbox::Stereo out = blackbox::Render(survivor.get(), blackbox::TestSignal(512));
    for (float v : out.left)
        ASSERT_TRUE(std::isfinite(v));
}

// However the host's heap places them, every instance processes: a host
// keeps many instances alive, built between allocations of its own.
TEST(Record, ManyInstancesEachProcess) {
    Host host;
    std::vector<std::unique_ptr<Instance>> instances;
    std::vector<std::vector<char>> hostAllocations;
    for (int i = 0; i < 12; ++i) {
        hostAllocations.emplace_back(static_cast<size_t>(8 * i + 4));
        instances.push_back(std::make_unique<Instance>(host));
        ASSERT_TRUE(*instances.back());
    }
    const blackbox::Stereo signal = blackbox::TestSignal(256);
    blackbox::Stereo first;
    for (const auto& e : instances) {
        const blackbox::Stereo out = blackbox::Render(e->get(), signal);
        if (first.size() == 0)
            first = out;
        EXPECT_EQ(out, first) << "identical instances sound identical";
    }
}

// The plug-in asks for time information and for MIDI but uses no answer
// except the sample rate: a host answering odd things elsewhere changes
// nothing.
TEST(Record, OnlyTheSampleRateAnswerIsUsed) {
    Host plain;
    Instance reference(plain);
    ASSERT_TRUE(reference);
    dispatch(reference.get(), effSetProgram, 0, 4);
    dispatch(reference.get(), effMainsChanged, 0, 1);

    Host odd;
    odd.answer = [](const testhost::Callback& c) -> VstIntPtr {
        switch (c.opcode) {
        case audioMasterVersion:
            return 1;
        case audioMasterGetSampleRate:
            return 0;
        case audioMasterGetTime:
            return 0x10;  // no time-information record lives there
        default:
            return -1;
        }
    };
    Instance e(odd);
    ASSERT_TRUE(e);
    dispatch(e.get(), effSetProgram, 0, 4);
    dispatch(e.get(), effMainsChanged, 0, 1);
    EXPECT_EQ(blackbox::Observe(e.get()).parameters, blackbox::Observe(reference.get()).parameters);
    const blackbox::Stereo signal = blackbox::TestSignal(2048);
    EXPECT_EQ(blackbox::Render(e.get(), signal), blackbox::Render(reference.get(), signal));
}
