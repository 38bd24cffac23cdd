// The library's load step, seen from the loading thread: a host whose
// floating-point control word leaves division by zero unmasked loads the
// library; afterwards every exception is masked and the precision and
// rounding settings are the host's own. Exits 0 when they are, 1 otherwise.
#include <cstdio>

#include "TestHost.h"

namespace {

unsigned short ReadControlWord() {
    unsigned short cw = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(cw));
    return cw;
}

void WriteControlWord(unsigned short cw) { __asm__ __volatile__("fldcw %0" : : "m"(cw)); }

unsigned int ReadMxcsr() {
    unsigned int value = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(value));
    return value;
}

[[maybe_unused]] void WriteMxcsr(unsigned int value) { __asm__ __volatile__("ldmxcsr %0" : : "m"(value)); }

constexpr unsigned short kX87Masks = 0x003F;  // invalid, denormal, zero divide, overflow, underflow, precision
constexpr unsigned short kX87ZeroDivide = 0x0004;
constexpr unsigned int kSseMasks = 0x1F80;
[[maybe_unused]] constexpr unsigned int kSseZeroDivide = 0x0200;

}  // namespace

int main() {
    // The host's settings: 53-bit precision (as 32-bit hosts run), round to
    // nearest, division by zero unmasked.
    const unsigned short hostCw = static_cast<unsigned short>((ReadControlWord() & ~0x0F3Fu) | 0x0200u | kX87Masks) &
                                  static_cast<unsigned short>(~kX87ZeroDivide);
    WriteControlWord(hostCw);
#if defined(__linux__) && defined(__x86_64__)
    WriteMxcsr(ReadMxcsr() & ~kSseZeroDivide);
#endif
    const unsigned short before = ReadControlWord();
    const unsigned int mxcsrBefore = ReadMxcsr();
    if ((before & kX87ZeroDivide) != 0) {
        std::printf("FAIL: could not unmask division by zero before loading (control word %#06x)\n", before);
        return 1;
    }

    testhost::Module& module = testhost::Module::instance();  // loads the library, exits on failure

    const unsigned short after = ReadControlWord();
    const unsigned int mxcsrAfter = ReadMxcsr();
    int failures = 0;
    if ((after & kX87Masks) != kX87Masks) {
        std::printf("FAIL: x87 exception masks %#04x after loading, want %#04x\n", after & kX87Masks, kX87Masks);
        ++failures;
    }
    if ((after & ~kX87Masks) != (before & ~kX87Masks)) {
        std::printf("FAIL: x87 control word %#06x before, %#06x after: more than the masks changed\n", before, after);
        ++failures;
    }
    if ((mxcsrAfter & kSseMasks) != kSseMasks) {
        std::printf("FAIL: SSE exception masks %#06x after loading, want %#06x\n", mxcsrAfter & kSseMasks, kSseMasks);
        ++failures;
    }
    if ((mxcsrAfter & ~kSseMasks & ~0x3Fu) != (mxcsrBefore & ~kSseMasks & ~0x3Fu)) {
        std::printf("FAIL: MXCSR %#010x before, %#010x after: more than the masks changed\n", mxcsrBefore,
                    mxcsrAfter);
        ++failures;
    }
    if (module.main() == nullptr || module.vstPluginMain() == nullptr) {
        std::printf("FAIL: the library does not export both entry names\n");
        ++failures;
    }
    std::printf("%s: x87 %#06x -> %#06x, MXCSR %#010x -> %#010x (%s)\n", failures == 0 ? "PASS" : "FAIL", before,
                after, mxcsrBefore, mxcsrAfter, module.path().c_str());
    return failures == 0 ? 0 : 1;
}
