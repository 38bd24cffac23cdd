// The editor as a Windows host sees it: the library loaded from its file,
// its editor opened into a real top-level window, driven with mouse
// messages posted to the editor's window and read back as pixels.
//
// The picture is compared, pixel for pixel, with the headless backend's
// picture of the same state, made in this process by the editor's logic
// linked statically; only the read-out strip may differ (GDI text against
// the baked font), and the text has tests of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "EditorTestUtil.h"
#include "Win32Host.h"
#include "artwork/Artwork.h"

using namespace w32test;

namespace {

constexpr int kBoost = 5;
constexpr RECT kNothingExcluded{0, 0, 0, 0};

struct Automation {
    VstInt32 index;
    float value;
    float held;  // the plug-in's value of that parameter during the callback
};

// A host window, one plug-in instance and a record of its automation.
class Win32Editor : public ::testing::Test {
protected:
    void SetUp() override {
        host.answer = [this](const testhost::Callback& c) -> VstIntPtr {
            if (c.opcode == audioMasterAutomate)
                automation.push_back({c.index, c.opt, c.effect->getParameter(c.effect, c.index)});
            return c.opcode == audioMasterVersion ? 2400 : 0;
        };
        ASSERT_NE(plugin.effect, nullptr);
        ASSERT_NE(window.handle(), nullptr) << "no host window: these tests need an X display (xvfb-run -a ctest)";
    }

    // Opens the editor and answers its window (the only one in the host's).
    HWND openEditor() {
        EXPECT_EQ(plugin.open(window.handle()), 1);
        const std::vector<HWND> editors = EditorWindows(window.handle());
        EXPECT_EQ(editors.size(), 1u);
        Pump(40);  // the first paint and a timer tick
        return editors.empty() ? nullptr : editors.front();
    }

    void post(HWND editor, UINT message, WPARAM keys, int x, int y) {
        PostMessageW(editor, message, keys, PointParam(x, y));
        PumpQueued();
    }
    void postOnSlider(HWND editor, UINT message, WPARAM keys, int index, int x) {
        const POINT p = SliderPoint(index, x);
        post(editor, message, keys, p.x, p.y);
    }

    testhost::Host host;
    HostWindow window;
    Instance plugin{host};
    std::vector<Automation> automation;
};

void ExpectSamePicture(const platform::Bitmap& actual, const platform::Bitmap& expected, const char* what) {
    std::string first;
    EXPECT_EQ(CountDifferences(actual, expected, kReadoutStrip, &first), 0) << what << ": " << first;
}

// The output directory for pictures a person may want to look at.
std::string PictureDir() {
    const char* dir = std::getenv("HALVORINE_SCREENSHOT_DIR");
    return dir != nullptr ? std::string(dir) + "\\" : std::string();
}

}  // namespace

TEST_F(Win32Editor, OpensAsABorderlessChildAtTheParentsOrigin) {
    ERect r = plugin.rect();
    EXPECT_EQ(r.right - r.left, 665);
    EXPECT_EQ(r.bottom - r.top, 518);

    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    r = plugin.rect();
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 398);
    EXPECT_EQ(r.bottom, 241);

    EXPECT_EQ(GetParent(editor), window.handle());
    const LONG style = GetWindowLongW(editor, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_EQ(style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | WS_SYSMENU), 0);
    EXPECT_EQ(GetWindowLongW(editor, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_STATICEDGE), 0);
    RECT client{}, outer{};
    GetClientRect(editor, &client);
    EXPECT_EQ(client.right, 398);
    EXPECT_EQ(client.bottom, 241);
    // Borderless: the window is its client area, at (0, 0) of the parent's.
    GetWindowRect(editor, &outer);
    MapWindowPoints(HWND_DESKTOP, window.handle(), reinterpret_cast<POINT*>(&outer), 2);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(outer.right, 398);
    EXPECT_EQ(outer.bottom, 241);
    EXPECT_EQ(GetWindowThreadProcessId(editor, nullptr), GetCurrentThreadId());

    plugin.closeEditor();
    r = plugin.rect();
    EXPECT_EQ(r.right, 665);
    EXPECT_EQ(r.bottom, 518);
    EXPECT_FALSE(IsWindow(editor));
}

TEST_F(Win32Editor, ShowsThePictureOfTheHeadlessRender) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    edtest::Fixture reference;
    reference.dispatch(effEditOpen);
    const platform::Bitmap expected = reference.screen().compose();

    const platform::Bitmap printed = CaptureByPrintClient(editor);
    ExpectSamePicture(printed, expected, "WM_PRINTCLIENT");
    ExpectSamePicture(CaptureByPrintWindow(editor), expected, "PrintWindow");

    // What WM_PAINT put on the screen. A display of fewer than 24 bits per
    // pixel cannot hold the artwork's colours exactly.
    HDC screen = GetDC(nullptr);
    const int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    const platform::Bitmap shown = CaptureFromScreen(editor);
    if (depth >= 24)
        ExpectSamePicture(shown, expected, "screen");
    else
        std::printf("screen depth %d: the on-screen picture is not compared\n", depth);
    if (!PictureDir().empty()) {
        WriteBmp(printed, PictureDir() + "editor_open.bmp");
        WriteBmp(shown, PictureDir() + "editor_open_screen.bmp");
        WriteBmp(CaptureWindowFromScreen(window.handle()), PictureDir() + "host_open_screen.bmp");
    }

    // The read-out holds the title line in GDI text: ink on the strip.
    int inked = 0;
    for (int y = kReadoutStrip.top; y < kReadoutStrip.bottom; ++y)
        for (int x = kReadoutStrip.left; x < kReadoutStrip.right; ++x) {
            const platform::Rgb c = printed.at(x, y);
            inked += c.r < 64 && c.g < 64 && c.b < 64;
        }
    EXPECT_GT(inked, 40);
}

TEST_F(Win32Editor, AbsoluteDragOnBoostAutomatesAfterThePluginHoldsTheValue) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    const platform::Bitmap before = CaptureByPrintClient(editor);

    postOnSlider(editor, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 50);
    EXPECT_EQ(GetCapture(), editor);
    postOnSlider(editor, WM_MOUSEMOVE, MK_LBUTTON, kBoost, 30);
    postOnSlider(editor, WM_MOUSEMOVE, MK_LBUTTON, kBoost, 71);
    postOnSlider(editor, WM_LBUTTONUP, 0, kBoost, 71);
    EXPECT_EQ(GetCapture(), nullptr);

    ASSERT_EQ(automation.size(), 3u);
    const float expected[3] = {0.5f, 0.25f, 0.7625f};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(automation[i].index, kBoost);
        EXPECT_FLOAT_EQ(automation[i].value, expected[i]);
        EXPECT_FLOAT_EQ(automation[i].held, expected[i]) << "the host heard of the change before the plug-in held it";
    }
    EXPECT_FLOAT_EQ(plugin.effect->getParameter(plugin.effect, kBoost), 0.7625f);

    // The knob moved, exactly where the headless window puts it.
    Pump(40);
    edtest::Fixture reference;
    reference.dispatch(effEditOpen);
    auto& screen = reference.screen();
    const int y = reference.sliderY(kBoost);
    screen.mouseDown(reference.sliderX(kBoost, 50), y, platform::MouseButton::Left);
    screen.mouseMove(reference.sliderX(kBoost, 30), y);
    screen.mouseMove(reference.sliderX(kBoost, 71), y);
    screen.mouseUp(reference.sliderX(kBoost, 71), y, platform::MouseButton::Left);
    const platform::Bitmap after = CaptureByPrintClient(editor);
    ExpectSamePicture(after, screen.compose(), "after the drag");
    EXPECT_GT(CountDifferences(after, before, kReadoutStrip), 0);
    if (!PictureDir().empty()) {
        WriteBmp(after, PictureDir() + "editor_after_drag.bmp");
        WriteBmp(CaptureWindowFromScreen(window.handle()), PictureDir() + "host_after_drag_screen.bmp");
    }
}

TEST_F(Win32Editor, ShiftDragMovesOneThousandthPerPixel) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    plugin.effect->setParameter(plugin.effect, kBoost, 0.5f);
    Pump(40);  // the window's copy follows the host's change

    postOnSlider(editor, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, kBoost, 50);
    EXPECT_TRUE(automation.empty()) << "a fine press sends nothing until the pointer moves";
    EXPECT_EQ(GetCapture(), editor);
    postOnSlider(editor, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, kBoost, 60);
    postOnSlider(editor, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, kBoost, 61);
    postOnSlider(editor, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, kBoost, 0);
    postOnSlider(editor, WM_LBUTTONUP, MK_SHIFT, kBoost, 0);

    ASSERT_EQ(automation.size(), 3u);
    EXPECT_NEAR(automation[0].value, 0.55f, 1e-6);
    EXPECT_NEAR(automation[1].value - automation[0].value, 0.001f, 1e-6);
    EXPECT_NEAR(automation[2].value, 0.49f, 1e-6);  // 10 pixels left of the span's start
    for (const Automation& a : automation) {
        EXPECT_EQ(a.index, kBoost);
        EXPECT_EQ(a.held, a.value);
    }
}

TEST_F(Win32Editor, DragThatLeavesTheWindowKeepsReporting) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    postOnSlider(editor, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 50);
    // Left of the window (a negative x), over another slider, above and
    // left of the window, right of it and below it: the pressed slider
    // receives every move.
    const POINT band1 = SliderPoint(6, 30);  // hboost's x 160
    post(editor, WM_MOUSEMOVE, MK_LBUTTON, -40, 186);
    post(editor, WM_MOUSEMOVE, MK_LBUTTON, band1.x, band1.y);
    post(editor, WM_MOUSEMOVE, MK_LBUTTON, -5, -20);
    post(editor, WM_MOUSEMOVE, MK_LBUTTON, 600, 300);
    EXPECT_EQ(GetCapture(), editor);
    post(editor, WM_LBUTTONUP, 0, 600, 300);
    EXPECT_EQ(GetCapture(), nullptr);

    const float expected[] = {0.5f, 0.0f, 1.0f, 0.0f, 1.0f};
    ASSERT_EQ(automation.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(automation[i].index, kBoost) << i;
        EXPECT_EQ(automation[i].value, expected[i]) << i;
    }
    // Released: a move over band 1 is a hover again and sends nothing.
    post(editor, WM_MOUSEMOVE, 0, band1.x, band1.y);
    EXPECT_EQ(automation.size(), 5u);
}

TEST_F(Win32Editor, RightAndMiddlePressesDoNotDragOrCapture) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    postOnSlider(editor, WM_RBUTTONDOWN, MK_RBUTTON, kBoost, 50);
    EXPECT_EQ(GetCapture(), nullptr);
    postOnSlider(editor, WM_MOUSEMOVE, MK_RBUTTON, kBoost, 60);
    postOnSlider(editor, WM_RBUTTONUP, 0, kBoost, 60);
    postOnSlider(editor, WM_MBUTTONDOWN, MK_MBUTTON, kBoost, 50);
    EXPECT_EQ(GetCapture(), nullptr);
    postOnSlider(editor, WM_MBUTTONUP, 0, kBoost, 50);
    EXPECT_TRUE(automation.empty());

    // A right release during a left drag ends it; the left button's later
    // moves are hovers.
    postOnSlider(editor, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 50);
    postOnSlider(editor, WM_RBUTTONUP, MK_LBUTTON, kBoost, 50);
    postOnSlider(editor, WM_MOUSEMOVE, MK_LBUTTON, kBoost, 70);
    EXPECT_EQ(automation.size(), 1u);
    postOnSlider(editor, WM_LBUTTONUP, 0, kBoost, 70);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Win32Editor, LosingTheCaptureEndsTheDrag) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    postOnSlider(editor, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 50);
    ASSERT_EQ(GetCapture(), editor);
    // A host dialog takes the mouse; the button-up goes there, not here.
    SetCapture(window.handle());
    PumpQueued();
    ReleaseCapture();
    ASSERT_EQ(automation.size(), 1u);
    // The drag is over: a move is a hover, a new press a new drag.
    postOnSlider(editor, WM_MOUSEMOVE, MK_LBUTTON, kBoost, 80);
    EXPECT_EQ(automation.size(), 1u);
    postOnSlider(editor, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 30);
    postOnSlider(editor, WM_LBUTTONUP, 0, kBoost, 30);
    ASSERT_EQ(automation.size(), 2u);
    EXPECT_EQ(automation[1].value, 0.25f);
}

TEST_F(Win32Editor, TimerDrawsAChangeFromTheHost) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    plugin.effect->setParameter(plugin.effect, 9, 1.0f);  // band 4
    plugin.effect->setParameter(plugin.effect, 0, 0.0f);  // start frequency
    Pump(80);  // a few 25 ms ticks, nothing else

    edtest::Fixture reference;
    reference.dispatch(effEditOpen);
    reference.plugin->setParameter(9, 1.0f);
    reference.plugin->setParameter(0, 0.0f);
    reference.screen().tick();
    ExpectSamePicture(CaptureByPrintClient(editor), reference.screen().compose(), "after the host's change");
    ExpectSamePicture(CaptureFromScreen(editor), reference.screen().compose(), "on the screen");
    EXPECT_TRUE(automation.empty());
}

TEST_F(Win32Editor, OpenCloseOpenBuildsANewWindow) {
    HWND first = openEditor();
    ASSERT_NE(first, nullptr);
    postOnSlider(first, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 90);
    postOnSlider(first, WM_LBUTTONUP, 0, kBoost, 90);
    plugin.closeEditor();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(EditorWindows(window.handle()).empty());

    HWND second = openEditor();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(IsWindowVisible(second));
    // The new window shows the plug-in's current value (1 from the drag).
    edtest::Fixture reference;
    reference.plugin->setParameter(kBoost, 1.0f);
    reference.dispatch(effEditOpen);
    ExpectSamePicture(CaptureByPrintClient(second), reference.screen().compose(), "reopened");

    // Nested opens: the first close only hides, the balancing one destroys.
    EXPECT_EQ(plugin.open(window.handle()), 1);
    EXPECT_EQ(EditorWindows(window.handle()).size(), 1u);
    plugin.closeEditor();
    EXPECT_TRUE(IsWindow(second));
    EXPECT_FALSE(IsWindowVisible(second));
    plugin.closeEditor();
    EXPECT_FALSE(IsWindow(second));
    plugin.closeEditor();  // unbalanced: nothing to do
    EXPECT_TRUE(EditorWindows(window.handle()).empty());
}

TEST_F(Win32Editor, ClosingDuringADragLeavesNothingBehind) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    postOnSlider(editor, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 50);
    postOnSlider(editor, WM_MOUSEMOVE, MK_LBUTTON, kBoost, 60);
    ASSERT_EQ(GetCapture(), editor);
    // Messages of the drag still queued when the window goes.
    PostMessageW(editor, WM_MOUSEMOVE, MK_LBUTTON, PointParam(90, 186));
    PostMessageW(editor, WM_LBUTTONUP, 0, PointParam(90, 186));
    plugin.closeEditor();
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_EQ(GetCapture(), nullptr);
    const size_t sent = automation.size();
    Pump(80);  // no timer, no queued move reaches anything
    EXPECT_EQ(automation.size(), sent);
    EXPECT_TRUE(EditorWindows(window.handle()).empty());

    // The next window starts idle: a move is a hover, a press a new drag.
    HWND again = openEditor();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    postOnSlider(again, WM_MOUSEMOVE, MK_LBUTTON, kBoost, 30);
    EXPECT_EQ(automation.size(), sent);
    postOnSlider(again, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 30);
    postOnSlider(again, WM_LBUTTONUP, 0, kBoost, 30);
    EXPECT_EQ(automation.size(), sent + 1);
}

TEST_F(Win32Editor, ClosingThePluginWithTheEditorOpenFreesEverything) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    postOnSlider(editor, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 50);
    ASSERT_EQ(GetCapture(), editor);
    plugin.close();
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_TRUE(EditorWindows(window.handle()).empty());
    EXPECT_EQ(FindWindowExW(window.handle(), nullptr, nullptr, nullptr), nullptr) << "a child window is left";
    const size_t sent = automation.size();
    Pump(80);
    EXPECT_EQ(automation.size(), sent);
}

TEST_F(Win32Editor, NoParentWindowFailsTheOpenAndChangesNothing) {
    EXPECT_EQ(plugin.open(nullptr), 0);
    EXPECT_EQ(plugin.rect().right, 665);
    // A handle whose window is gone.
    HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, window.handle(), nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    EXPECT_EQ(plugin.open(gone), 0);
    EXPECT_EQ(plugin.rect().right, 665);
    // No open was counted: one open and one close make a whole cycle.
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    plugin.closeEditor();
    EXPECT_FALSE(IsWindow(editor));
}

TEST_F(Win32Editor, HostWindowDestroyedBeforeTheCloseLeavesNoStaleHandleBehind) {
    auto doomed = std::make_unique<HostWindow>();
    ASSERT_EQ(plugin.open(doomed->handle()), 1);
    const std::vector<HWND> editors = EditorWindows(doomed->handle());
    ASSERT_EQ(editors.size(), 1u);
    const HWND editor = editors.front();
    Pump(40);
    postOnSlider(editor, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 50);  // a drag holds the mouse
    ASSERT_EQ(GetCapture(), editor);

    // The host destroys its window, and with it the editor's, before it
    // closes the editor; the system may give the handle to a new window.
    doomed.reset();
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(plugin.rect().right, 398) << "the editor is still open";
    testhost::dispatch(plugin.effect, effEditIdle);
    Pump(60);

    // Closing calls no window by the old handle: a call with a handle that
    // names no window fails with ERROR_INVALID_WINDOW_HANDLE.
    SetLastError(ERROR_SUCCESS);
    plugin.closeEditor();
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE))
        << "the close reached for the destroyed window";
    EXPECT_EQ(plugin.rect().right, 665);

    // The editor opens again into a live window, and works.
    const size_t sent = automation.size();
    HWND again = openEditor();
    ASSERT_NE(again, nullptr);
    postOnSlider(again, WM_LBUTTONDOWN, MK_LBUTTON, kBoost, 30);
    postOnSlider(again, WM_LBUTTONUP, 0, kBoost, 30);
    EXPECT_EQ(automation.size(), sent + 1);
    plugin.closeEditor();
    EXPECT_FALSE(IsWindow(again));
}

// ---------------------------------------------------------------------------
// Text: the read-out is "Arial" at 8 points through GDI, black over the
// read-out background, with the user's decimal separator.

namespace {

// The read-out strip as GDI draws `line` on the read-out background.
platform::Bitmap ExpectedReadout(const char* line) {
    const platform::Bitmap background = artwork::ReadoutBackground();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = background.width;
    info.bmiHeader.biHeight = -background.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    uint32_t* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    for (int i = 0; i < background.width * background.height; ++i) {
        const platform::Rgb c = background.pixels[static_cast<size_t>(i)];
        bits[i] = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
    }
    HFONT font = CreateFontW(-MulDiv(8, 96, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, 8, 3, line, static_cast<int>(std::strlen(line)));
    GdiFlush();
    platform::Bitmap out;
    out.width = background.width;
    out.height = background.height;
    for (int i = 0; i < out.width * out.height; ++i)
        out.pixels.push_back({static_cast<uint8_t>(bits[i] >> 16), static_cast<uint8_t>(bits[i] >> 8),
                              static_cast<uint8_t>(bits[i])});
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(font);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return out;
}

platform::Bitmap ReadoutOf(const platform::Bitmap& window) {
    platform::Bitmap out;
    out.width = kReadoutStrip.right - kReadoutStrip.left;
    out.height = kReadoutStrip.bottom - kReadoutStrip.top;
    for (int y = kReadoutStrip.top; y < kReadoutStrip.bottom; ++y)
        for (int x = kReadoutStrip.left; x < kReadoutStrip.right; ++x)
            out.pixels.push_back(window.at(x, y));
    return out;
}

// Sets the user's decimal separator for the life of the object.
class DecimalSeparator {
public:
    explicit DecimalSeparator(const wchar_t* separator) {
        GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved, 8);
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator);
    }
    ~DecimalSeparator() { SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved[0] != 0 ? saved : L"."); }

private:
    wchar_t saved[8] = {};
};

}  // namespace

TEST_F(Win32Editor, ReadoutIsArialTextWithTheUsersDecimalSeparator) {
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    std::string first;
    EXPECT_EQ(CountDifferences(ReadoutOf(CaptureByPrintClient(editor)), ExpectedReadout("Halvorine : PellucidFX :: "),
                               kNothingExcluded, &first),
              0)
        << "title line: " << first;
    plugin.closeEditor();

    DecimalSeparator comma(L",");
    plugin.effect->setParameter(plugin.effect, 2, 1.0f / 3.0f);
    editor = openEditor();
    ASSERT_NE(editor, nullptr);
    postOnSlider(editor, WM_MOUSEMOVE, 0, 2, 40);  // hover over Q
    Pump(30);
    const platform::Bitmap shown = CaptureByPrintClient(editor);
    EXPECT_EQ(CountDifferences(ReadoutOf(shown), ExpectedReadout("Q :: 33,3%"), kNothingExcluded, &first), 0)
        << "hover line: " << first;
    EXPECT_GT(CountDifferences(ReadoutOf(shown), ExpectedReadout("Q :: 33.3%"), kNothingExcluded), 0);
    if (!PictureDir().empty()) {
        WriteBmp(shown, PictureDir() + "editor_readout.bmp");
        WriteBmp(CaptureWindowFromScreen(window.handle()), PictureDir() + "host_readout_screen.bmp");
    }
    EXPECT_TRUE(automation.empty());
}

TEST_F(Win32Editor, LongestReadoutLineFitsTheStrip) {
    plugin.effect->setParameter(plugin.effect, 21, 0.51f);  // band 16 at -19.6 dB
    HWND editor = openEditor();
    ASSERT_NE(editor, nullptr);
    postOnSlider(editor, WM_MOUSEMOVE, 0, 21, 40);
    const platform::Bitmap strip = ReadoutOf(CaptureByPrintClient(editor));
    const char* line = "Band 16 Noise Gate Level :: -19.6dB";
    std::string first;
    EXPECT_EQ(CountDifferences(strip, ExpectedReadout(line), kNothingExcluded, &first), 0) << first;
    // Dark ink from the text's left edge to well short of the strip's
    // right end: a real proportional face, nothing clipped.
    int leftmost = strip.width, rightmost = -1;
    for (int y = 0; y < strip.height; ++y)
        for (int x = 0; x < strip.width; ++x) {
            const platform::Rgb c = strip.at(x, y);
            if (c.r < 96 && c.g < 96 && c.b < 96 && x > 4 && x < strip.width - 4) {
                leftmost = std::min(leftmost, x);
                rightmost = std::max(rightmost, x);
            }
        }
    EXPECT_GE(leftmost, 8);
    EXPECT_LE(leftmost, 10);
    EXPECT_GT(rightmost, 120) << "the text is too narrow for 8-point Arial";
    EXPECT_LT(rightmost, 192) << "the longest line runs into the strip's edge";
}
