// The view in a Windows host (under wine): attached to a real top-level
// window, driven by the window's own timer through the thread's messages,
// with posted mouse messages. Its picture must equal the editor's for the
// same values and key choice: a VST 2.x plug-in object built here, its
// editor opened as a Win32 window in a second host window and told the
// view's key choice (that edition's own panel has no key selector), read
// text and all.
#include <cstdlib>
#include <utility>

#include "EditorTestUtil.h"
#include "ViewHost.h"
#include "Win32Host.h"
#include "platform/win32/Win32Window.h"

using namespace viewtest;
using namespace w32test;

namespace {

constexpr int kBoost = 5;
constexpr RECT kNothingExcluded{0, 0, 0, 0};

class Win32View : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(host.handle(), nullptr) << "no host window: these tests need an X display (xvfb-run -a ctest)";
        const platform::WindowFactory previous = platform::setWindowFactory(&platform::win32::CreateWin32Window);
        vst2.dispatch(effEditOpen, 0, 0, vst2Host.handle());
        platform::setWindowFactory(previous);
        vst2.showKey(owner.keySource);  // Left, as a new instance
        for (int i = 0; i < 22; ++i)
            owner.values[i] = vst2.plugin->getParameter(i);
        view = vst3edition::CreateEditorView(owner);
        ASSERT_NE(view, nullptr);
        view->setFrame(&frame);
    }
    void TearDown() override {
        if (view != nullptr) {
            view->removed();
            EXPECT_EQ(view->release(), 0u);
            EXPECT_EQ(owner.destroyed.size(), 1u);
        }
        EXPECT_EQ(frame.refs, 1u);
    }

    HWND attach() {
        EXPECT_EQ(view->attached(host.handle(), "HWND"), kResultOk);
        Pump(60);  // the first paint and a timer tick
        const std::vector<HWND> editors = EditorWindows(host.handle());
        EXPECT_EQ(editors.size(), 1u);
        return editors.empty() ? nullptr : editors.front();
    }
    HWND vst2Editor() {
        const std::vector<HWND> editors = EditorWindows(vst2Host.handle());
        return editors.empty() ? nullptr : editors.front();
    }
    void drag(HWND editor, const POINT (&path)[4]) {
        auto post = [&](UINT message, WPARAM keys, POINT p) {
            PostMessageW(editor, message, keys, PointParam(p.x, p.y));
            PumpQueued();
        };
        post(WM_LBUTTONDOWN, MK_LBUTTON, path[0]);
        post(WM_MOUSEMOVE, MK_LBUTTON, path[1]);
        post(WM_MOUSEMOVE, MK_LBUTTON, path[2]);
        post(WM_LBUTTONUP, 0, path[3]);
        Pump(60);
    }
    void expectSamePicture(HWND editor, const char* what) {
        std::string first;
        const platform::Bitmap expected = CaptureByPrintClient(vst2Editor());
        EXPECT_EQ(CountDifferences(CaptureByPrintClient(editor), expected, kNothingExcluded, &first), 0)
            << what << ": " << first;
        EXPECT_EQ(CountDifferences(CaptureFromScreen(editor), expected, kNothingExcluded, &first), 0)
            << what << ", on the screen: " << first;
    }

    HostWindow host, vst2Host;
    edtest::Fixture vst2;  // the VST 2.x plug-in object, its editor in vst2Host, keyed
    Owner owner;
    Frame frame{false};
    IPlugView* view = nullptr;
};

}  // namespace

TEST_F(Win32View, ShowsTheKeyedEditorsPictureAndFollowsTheController) {
    HWND editor = attach();
    ASSERT_NE(editor, nullptr);
    ASSERT_NE(vst2Editor(), nullptr);
    EXPECT_EQ(GetParent(editor), host.handle());
    RECT r{};
    GetWindowRect(editor, &r);
    MapWindowPoints(HWND_DESKTOP, host.handle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 398);
    EXPECT_EQ(r.bottom, 241);
    expectSamePicture(editor, "just attached");

    owner.values[kBoost] = 0.25f;  // as the controller holds it
    vst3edition::EditorViewParameterChanged(view, kBoost, 0.25f);
    vst2.plugin->setParameter(kBoost, 0.25f);
    Pump(60);
    expectSamePicture(editor, "after the controller's change");
}

TEST_F(Win32View, AttachedAndRemovedAgainAndAgainLeaveNothingBehind) {
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(view->attached(host.handle(), "HWND"), kResultOk) << round;
        EXPECT_EQ(view->attached(host.handle(), "HWND"), kResultOk) << "twice in a row, round " << round;
        Pump(30);
        EXPECT_EQ(EditorWindows(host.handle()).size(), 1u);
        EXPECT_EQ(view->removed(), kResultOk);
        EXPECT_TRUE(EditorWindows(host.handle()).empty());
    }
    EXPECT_EQ(view->attached(nullptr, "HWND"), kInvalidArgument);
    EXPECT_EQ(view->attached(reinterpret_cast<void*>(0x1234), "HWND"), kResultFalse) << "not a window";
}

TEST_F(Win32View, DragIsFramedByAGestureAndEndsWithTheKeyedEditorsPicture) {
    HWND editor = attach();
    ASSERT_NE(editor, nullptr);
    const POINT at50 = SliderPoint(kBoost, 50), at71 = SliderPoint(kBoost, 71);
    const POINT path[4] = {at50, {-40, at50.y}, {at71.x, at71.y + 400}, {at71.x, at71.y + 400}};
    drag(editor, path);
    const std::vector<Edit> expected = {
        {'b', kBoost, 0}, {'s', kBoost, 0.5f}, {'s', kBoost, 0.0f}, {'s', kBoost, 0.7625f}, {'e', kBoost, 0}};
    EXPECT_EQ(owner.edits, expected);
    drag(vst2Editor(), path);
    expectSamePicture(editor, "after the drag");
}

TEST_F(Win32View, HostThatRemovesAndReleasesTheViewWhileHearingOfADragLosesNothing) {
    HWND editor = attach();
    ASSERT_NE(editor, nullptr);
    owner.onEdit = [&] {
        if (owner.edits.back().kind == 's' && view != nullptr) {
            EXPECT_EQ(view->removed(), kResultOk);
            view->release();
            view = nullptr;
        }
    };
    const POINT at50 = SliderPoint(kBoost, 50), at60 = SliderPoint(kBoost, 60);
    drag(editor, {at50, at60, at60, at60});
    const std::vector<Edit> expected = {{'b', kBoost, 0}, {'s', kBoost, 0.5f}, {'e', kBoost, 0}};
    EXPECT_EQ(owner.edits, expected);
    EXPECT_EQ(owner.destroyed.size(), 1u);
    EXPECT_TRUE(EditorWindows(host.handle()).empty());
}

// In a DPI-aware host thread the size the host asks for before the view is
// attached is the size the window opens at (the screen's DPI over 96), and
// a new content scale asks the host for the new size. CTest runs this in a
// prefix at 96 dpi and in one at 192 (HALVORINE_EXPECT_DPI).
TEST(Win32ViewDpi, SizeBeforeAttachingIsTheWindowsAndANewScaleAsksTheHost) {
    using SetContextProc = HANDLE(WINAPI*)(HANDLE);
    const auto setContext = reinterpret_cast<SetContextProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
    if (setContext == nullptr)
        GTEST_SKIP() << "this system has no per-thread DPI awareness";
    const HANDLE previous = setContext(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4)));  // per monitor, v2
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    if (const char* expected = std::getenv("HALVORINE_EXPECT_DPI")) {
        ASSERT_EQ(dpi, std::atoi(expected)) << "the prefix is not at the density the test is run for";
    }
    const double screenScale = platform::ChooseScale(0.0, dpi / 96.0);
    {
        HostWindow host;
        Owner owner;
        Frame frame(false);
        frame.confirmInside = false;
        IPlugView* view = vst3edition::CreateEditorView(owner);
        view->setFrame(&frame);
        auto viewSize = [&] {
            ViewRect r{};
            view->getSize(&r);
            return std::pair{r.right - r.left, r.bottom - r.top};
        };
        auto shownSize = [&] {
            RECT r{};
            const std::vector<HWND> editors = EditorWindows(host.handle());
            if (editors.size() == 1)
                GetClientRect(editors[0], &r);
            return std::pair{static_cast<int>(r.right), static_cast<int>(r.bottom)};
        };
        const std::pair expected{platform::ScaledLength(398, screenScale), platform::ScaledLength(241, screenScale)};
        EXPECT_EQ(viewSize(), expected) << "before attaching";
        ASSERT_EQ(view->attached(host.handle(), "HWND"), kResultOk);
        Pump(60);
        EXPECT_EQ(shownSize(), expected);
        EXPECT_EQ(viewSize(), expected);
        EXPECT_TRUE(frame.resizes.empty()) << "the host was told the right size the first time";
        EXPECT_GT(owner.idles, 0) << "the owner hears the view's timer";

        IPlugViewContentScaleSupport* scale = nullptr;
        TUID id;
        IPlugViewContentScaleSupport::iid.copyTo(id);
        ASSERT_EQ(view->queryInterface(id, reinterpret_cast<void**>(&scale)), kResultOk);
        const float later = screenScale == 1.5 ? 2.5f : 1.5f;
        const std::pair laterSize{platform::ScaledLength(398, later), platform::ScaledLength(241, later)};
        scale->setContentScaleFactor(later);
        ASSERT_EQ(frame.resizes.size(), 1u);
        EXPECT_EQ(std::pair(frame.resizes[0].right, frame.resizes[0].bottom), laterSize);
        frame.confirmLater(view);
        Pump(30);
        EXPECT_EQ(shownSize(), laterSize);
        EXPECT_EQ(viewSize(), laterSize);
        scale->release();
        view->removed();
        view->setFrame(nullptr);
        EXPECT_EQ(view->release(), 0u);
    }
    setContext(previous);
}
