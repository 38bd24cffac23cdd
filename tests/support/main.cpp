// Test program entry: optional --plugin PATH and --unmasked-exceptions (see
// TestHost.h), then GoogleTest.
#include <gtest/gtest.h>

#include <cstring>

#include "TestHost.h"

#if defined(__i386__) && defined(_WIN32)
// Real 32-bit hosts run with the x87 at 53-bit precision (0x027F), not the
// 64-bit precision that the C start-up leaves; test as they run.
static void SetHostControlWord() {
    unsigned short cw = 0x027F;
    __asm__ __volatile__("fldcw %0" : : "m"(cw));
}
#else
static void SetHostControlWord() {}
#endif

int main(int argc, char** argv) {
    SetHostControlWord();
    testhost::SetCommandLine(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--plugin") == 0)
            testhost::Module::setPath(argv[i + 1]);
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--unmasked-exceptions") == 0)
            testhost::UnmaskExceptionsAroundCalls();
    return RUN_ALL_TESTS();
}
