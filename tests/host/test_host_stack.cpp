// 32-bit Windows hosts call the plug-in with the stack aligned to 4 bytes
// only, not the 16 that this test program's own compiler keeps. Every entry
// is called here through a trampoline that leaves the stack 4, 8 or 12
// bytes off a 16-byte boundary, and must behave exactly as when called
// normally.
#include <gtest/gtest.h>

#include "BlackBox.h"

#if defined(_WIN32) && defined(__i386__)

#include <cstdint>
#include <cstring>

using blackbox::Instance;
using blackbox::Stereo;
using testhost::dispatch;
using testhost::Host;

// Calls the cdecl function `fn` with `count` 32-bit arguments so that its
// stack pointer at entry is `shift` bytes lower than a 16-byte boundary
// would put it; answers what the function leaves in eax.
extern "C" uint32_t HalvorineCallShifted(const void* fn, const uint32_t* args, int count, int shift);
__asm__(
    ".text\n"
    ".globl _HalvorineCallShifted\n"
    "_HalvorineCallShifted:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 8(%ebp), %edi\n"   // fn
    "  movl 12(%ebp), %esi\n"  // args
    "  movl 16(%ebp), %ecx\n"  // count
    "  movl 20(%ebp), %edx\n"  // shift
    "  andl $-16, %esp\n"
    "  subl %edx, %esp\n"
    "  movl %ecx, %eax\n"  // pad so that the arguments end where the shift says
    "  shll $2, %eax\n"
    "  negl %eax\n"
    "  andl $15, %eax\n"
    "  subl %eax, %esp\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%esi,%ecx,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  call *%edi\n"
    "  leal -8(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");

namespace {

uint32_t Word(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
uint32_t Word(float f) {
    uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

// The record's entries, each called with the stack `shift` bytes off.
struct ShiftedHost {
    int shift;

    AEffect* create(testhost::Module::EntryProc entry) const {
        const uint32_t args[] = {Word(reinterpret_cast<const void*>(&Host::audioMaster))};
        return reinterpret_cast<AEffect*>(static_cast<uintptr_t>(
            HalvorineCallShifted(reinterpret_cast<const void*>(entry), args, 1, shift)));
    }
    VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                       float opt = 0.0f) const {
        const uint32_t args[] = {Word(e), static_cast<uint32_t>(opcode), static_cast<uint32_t>(index),
                                 static_cast<uint32_t>(value), Word(ptr), Word(opt)};
        return static_cast<VstInt32>(
            HalvorineCallShifted(reinterpret_cast<const void*>(e->dispatcher), args, 6, shift));
    }
    void setParameter(AEffect* e, VstInt32 index, float value) const {
        const uint32_t args[] = {Word(e), static_cast<uint32_t>(index), Word(value)};
        HalvorineCallShifted(reinterpret_cast<const void*>(e->setParameter), args, 3, shift);
    }
    void render(AEffect* e, AEffectProcessProc entry, float** in, float** out, VstInt32 frames) const {
        const uint32_t args[] = {Word(e), Word(in), Word(out), static_cast<uint32_t>(frames)};
        HalvorineCallShifted(reinterpret_cast<const void*>(entry), args, 4, shift);
    }
};

// One session: build, set up, process with both entries, close.
Stereo Session(const ShiftedHost* shifted) {
    Host host;
    testhost::Module& module = testhost::Module::instance();
    AEffect* e = shifted ? shifted->create(module.main()) : host.create();
    EXPECT_NE(e, nullptr);
    if (e == nullptr)
        return {};
    auto request = [&](VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        return shifted ? shifted->dispatch(e, opcode, index, value, ptr, opt) : dispatch(e, opcode, index, value, ptr, opt);
    };
    auto set = [&](VstInt32 index, float value) {
        if (shifted)
            shifted->setParameter(e, index, value);
        else
            e->setParameter(e, index, value);
    };
    char text[256] = {};
    EXPECT_EQ(request(effIdentify, 0, 0, nullptr, 0.0f), 0x4E764566);
    request(effOpen, 0, 0, nullptr, 0.0f);
    request(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    request(effSetBlockSize, 0, 512, nullptr, 0.0f);
    request(effMainsChanged, 0, 1, nullptr, 0.0f);
    request(effSetProgram, 0, 5, nullptr, 0.0f);
    request(effGetParamName, 9, 0, text, 0.0f);
    EXPECT_STREQ(text, "Band 4Gate Level");
    set(2, 0.4f);
    set(3, 0.2f);
    set(12, 0.3f);

    const Stereo signal = blackbox::TestSignal(1024);
    Stereo in = signal;
    Stereo out = signal;  // process adds to it
    for (size_t pos = 0; pos < signal.size(); pos += 256) {
        float* inputs[2] = {in.left.data() + pos, in.right.data() + pos};
        float* outputs[2] = {out.left.data() + pos, out.right.data() + pos};
        const bool replacing = (pos / 256) % 2 == 0;
        if (shifted)
            shifted->render(e, replacing ? e->processReplacing : e->process, inputs, outputs, 256);
        else
            (replacing ? e->processReplacing : e->process)(e, inputs, outputs, 256);
    }
    EXPECT_EQ(request(effClose, 0, 0, nullptr, 0.0f), 1);
    return out;
}

}  // namespace

TEST(HostStack, EntriesCalledOnAFourByteAlignedStack) {
    const Stereo expected = Session(nullptr);
    ASSERT_EQ(expected.size(), 1024u);
    for (int shift : {0, 4, 8, 12}) {
        SCOPED_TRACE(shift);
        const ShiftedHost shifted{shift};
        EXPECT_EQ(Session(&shifted), expected);
    }
}

#endif
