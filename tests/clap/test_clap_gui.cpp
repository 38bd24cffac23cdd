// The editor as a host runs it: created, embedded in a real window of the
// host's (an X window under Xvfb on Linux, a Win32 window under wine),
// shown and hidden while the host drives the timers and descriptors it
// registered, then destroyed: its window goes, and everything it
// registered is unregistered.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ClapHost.h"
#include "ClapTestUtil.h"

using namespace claphost;

// Skips for want of `what`, or fails where the environment promises it.
#define SKIP_WITHOUT_DISPLAY(what)                                                         \
    do {                                                                                   \
        if (std::getenv("HALVORINE_REQUIRE_DISPLAY") != nullptr)                           \
            GTEST_FAIL() << "no " << (what) << ", but HALVORINE_REQUIRE_DISPLAY is set";    \
        GTEST_SKIP() << "no " << (what);                                                   \
    } while (false)

TEST(Gui, EmbeddedShownHiddenAndDestroyed) {
#if !defined(_WIN32) && !defined(HALVORINE_CLAP_X11)
    GTEST_SKIP() << "built without Xlib";
#else
    REQUIRE_MODULE(Module::underTest());
    const char* const kApi = HostWindow::kApi;
    const bool halvorine = Module::underTest().firstId() == "com.pellucid.halvorine";
    HostWindow parent;
    if (!parent.ok())
        SKIP_WITHOUT_DISPLAY("display (run under xvfb-run -a)");
    Plugin p;
    ASSERT_TRUE(p.ok());
    if (!p.guiSupported(kApi)) {
        ASSERT_FALSE(halvorine) << "Halvorine has an embedded " << kApi << " editor";
        GTEST_SKIP() << "no embedded " << kApi << " editor";
    }
    ASSERT_TRUE(p.guiCreate(kApi));
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(p.guiSize(width, height));
    EXPECT_GT(width, 0u);
    EXPECT_GT(height, 0u);
    ASSERT_TRUE(p.guiSetParent(kApi, parent.handle()));
    EXPECT_TRUE(p.guiShow());
    p.drive(300);
    EXPECT_GE(parent.children(), 1) << "no window inside the host's";
    if (!p.host.timers.empty()) {
        EXPECT_GT(p.host.timerTicks, 0);
    }
    EXPECT_TRUE(p.guiHide());
    p.drive(50);
    EXPECT_TRUE(p.guiShow());
    p.drive(50);
    p.guiDestroy();
    p.drive(50);
    EXPECT_EQ(parent.children(), 0) << "the editor's window outlived destroy";
    EXPECT_TRUE(p.host.timers.empty()) << p.host.timers.size() << " timers left registered";
    EXPECT_TRUE(p.host.fds.empty()) << p.host.fds.size() << " descriptors left registered";
    EXPECT_FALSE(p.host.mainThreadOnlyCallOffMain);
#if !defined(_WIN32)
    if (halvorine) {
        EXPECT_GT(p.host.timerRegistrations + p.host.fdRegistrations, 0)
            << "on Linux the editor runs on the host's timers and descriptors";
    }
#endif
#endif
}
