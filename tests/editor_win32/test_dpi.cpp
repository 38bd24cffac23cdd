// The Windows editor at the screen's density: in a DPI-aware host thread it
// opens at the window's DPI over 96, in an unaware one at 1 (the system
// scales it), and at a host's own scale (effVendorSpecific) it shows the
// headless picture of that scale, filtered down at in-between scales.
//
// CTest runs these twice: in the suite's own prefix (96 dpi) and in one set
// to 192 dpi (LogPixels), where HALVORINE_EXPECT_DPI=192 makes sure the
// prefix really is at 192.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "DVstUtils.h"
#include "EditorTestUtil.h"
#include "Win32Host.h"

using namespace w32test;

namespace {

// DPI_AWARENESS_CONTEXT values; SetThreadDpiAwarenessContext is looked up
// at run time, as the module does.
const HANDLE kUnaware = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4));

using SetContextProc = HANDLE(WINAPI*)(HANDLE);
SetContextProc SetThreadContext() {
    return reinterpret_cast<SetContextProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
}

// The thread's DPI awareness for one scope, as a host sets it before it
// makes the windows it embeds plug-ins in.
struct ThreadAwareness {
    explicit ThreadAwareness(HANDLE context) : previous(SetThreadContext()(context)) {}
    ~ThreadAwareness() { SetThreadContext()(previous); }
    HANDLE previous;
};

SIZE ClientSizeOf(HWND hwnd) {
    RECT r{};
    GetClientRect(hwnd, &r);
    return {r.right - r.left, r.bottom - r.top};
}

// The read-out strip at a scale, where GDI's text and the baked font's
// legitimately differ.
RECT ReadoutStripAt(double scale) {
    return {static_cast<LONG>(std::floor(kReadoutStrip.left * scale)),
            static_cast<LONG>(std::floor(kReadoutStrip.top * scale)),
            static_cast<LONG>(std::ceil(kReadoutStrip.right * scale)),
            static_cast<LONG>(std::ceil(kReadoutStrip.bottom * scale))};
}

}  // namespace

TEST(Win32EditorDpi, AwareHostOpensAtTheWindowsDpiAndAnUnawareOneAtOne) {
    if (SetThreadContext() == nullptr)
        GTEST_SKIP() << "this system has no per-thread DPI awareness";
    int dpi = 0;
    {
        ThreadAwareness aware(kPerMonitorAwareV2);
        HDC screen = GetDC(nullptr);
        dpi = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
    }
    if (const char* expected = std::getenv("HALVORINE_EXPECT_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected)) << "the prefix is not at the density the test is run for";
    }
    const double screenScale = platform::ChooseScale(0.0, dpi / 96.0);

    const struct {
        HANDLE context;
        double scale;
    } cases[] = {{kPerMonitorAwareV2, screenScale}, {kUnaware, 1.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ThreadAwareness awareness(c.context);
        testhost::Host host;
        HostWindow window;
        Instance instance(host);
        ASSERT_EQ(instance.open(window.handle()), 1);
        Pump(50);
        const std::vector<HWND> editors = EditorWindows(window.handle());
        ASSERT_EQ(editors.size(), 1u);
        const SIZE size = ClientSizeOf(editors[0]);
        EXPECT_EQ(size.cx, platform::ScaledLength(398, c.scale));
        EXPECT_EQ(size.cy, platform::ScaledLength(241, c.scale));
        EXPECT_EQ(instance.rect().right, size.cx);
        EXPECT_EQ(instance.rect().bottom, size.cy);
        instance.closeEditor();
    }
}

TEST(Win32EditorDpi, HostScaleShowsTheHeadlessPictureOfThatScale) {
    for (const float scale : {2.0f, 1.5f}) {
        SCOPED_TRACE(scale);
        testhost::Host host;
        HostWindow window;
        Instance instance(host);
        EXPECT_EQ(testhost::dispatch(instance.effect, effVendorSpecific, FourCharCode('P', 'r', 'e', 'S'),
                                     FourCharCode('A', 'e', 'C', 's'), nullptr, scale),
                  1);
        ASSERT_EQ(instance.open(window.handle()), 1);
        Pump(50);
        const std::vector<HWND> editors = EditorWindows(window.handle());
        ASSERT_EQ(editors.size(), 1u);
        const platform::Bitmap shown = CaptureByPrintClient(editors[0]);
        ASSERT_EQ(shown.width, platform::ScaledLength(398, scale));
        ASSERT_EQ(shown.height, platform::ScaledLength(241, scale));

        edtest::Fixture reference;
        reference.dispatch(effVendorSpecific, FourCharCode('P', 'r', 'e', 'S'), FourCharCode('A', 'e', 'C', 's'),
                           nullptr, scale);
        reference.dispatch(effEditOpen);
        std::string first;
        EXPECT_EQ(CountDifferences(shown, reference.screen().compose(), ReadoutStripAt(scale), &first), 0) << first;
        reference.dispatch(effEditClose);
        instance.closeEditor();
    }
}
