// The editor as a Linux host sees it: the library loaded from its file, its
// editor opened into a real top-level X window, driven by effEditIdle and by
// real pointer input (XTest), and read back from the server as pixels.
//
// The picture must equal, pixel for pixel, the headless backend's picture of
// the same state, made in this process by the editor's logic linked
// statically (its default backend stays headless here).
//
// Needs an X display (xvfb-run -a ctest); skipped without one. The pointer
// tests need libXtst.so.6 at run time (skipped without it). Where
// HALVORINE_REQUIRE_DISPLAY is set (scripts/test.sh and CI, which always
// provide both) a missing one fails the test instead. With
// HALVORINE_SCREENSHOT_DIR set, the host window is written there as PNGs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "EditorTestUtil.h"
#include "DVstUtils.h"
#include "TestHost.h"
#if defined(HALVORINE_HAVE_PNG)
#include "WindowPng.h"
#endif

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include "X11TestUtil.h"
#include <X11/keysym.h>

namespace {

constexpr int kBoost = 5;
constexpr int kBand1 = 6;

using x11test::SamePicture;
using x11test::XTest;

// X errors on the test's own connection: a host's handler, which must never
// see an error of the plug-in's connection.
int g_hostErrors = 0;
int CountError(Display*, XErrorEvent*) {
    ++g_hostErrors;
    return 0;
}

struct Automation {
    VstInt32 index;
    float value;
    float held;  // the plug-in's value of that parameter during the callback
};

class X11Editor : public ::testing::Test {
protected:
    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0')
            SKIP_WITHOUT("X display (run under xvfb-run -a)");
        dpy = x11test::SharedDisplay();
        ASSERT_NE(dpy, nullptr) << "cannot open " << name;
        XSetErrorHandler(&CountError);
        g_hostErrors = 0;
        setenv("LC_ALL", "C", 1);  // the headless reference writes numbers with a full stop
        host.answer = [this](const testhost::Callback& c) -> VstIntPtr {
            if (c.opcode == audioMasterAutomate)
                automation.push_back({c.index, c.opt, c.effect->getParameter(c.effect, c.index)});
            return c.opcode == audioMasterVersion ? 2400 : 0;
        };
        effect = host.create();
        ASSERT_NE(effect, nullptr);
        parent = makeHostWindow();
        reference.dispatch(effEditOpen);
    }

    void TearDown() override {
        if (effect != nullptr)
            testhost::dispatch(effect, effClose);
        if (dpy != nullptr) {
            if (parent != 0)
                XDestroyWindow(dpy, parent);
            XSync(dpy, False);
            EXPECT_EQ(g_hostErrors, 0) << "an X error reached the host's handler";
            XSetErrorHandler(nullptr);
        }
    }

    // A mapped top-level window of the size the editor asks for when closed.
    Window makeHostWindow() { return x11test::MakeHostWindow(dpy, 665, 518); }

    VstIntPtr open(Window into) {
        return testhost::dispatch(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(into)));
    }
    void idle() { testhost::dispatch(effect, effEditIdle); }

    // Runs effEditIdle, as a host's user-interface timer does, until `done`
    // holds or two seconds have passed.
    bool pumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end) {
            idle();
            XSync(dpy, False);
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }
    void pumpFor(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        pumpUntil([&] { return std::chrono::steady_clock::now() >= end; });
    }

    std::vector<Window> children(Window w) { return x11test::Children(dpy, w); }
    platform::Bitmap capture(Window w, int width, int height) { return x11test::Capture(dpy, w, width, height); }
    platform::Bitmap captureEditor() { return capture(editor(), 398, 241); }

    // The one editor window inside the host's window, 0 if there is none.
    Window editor() {
        const std::vector<Window> list = children(parent);
        return list.size() == 1 ? list[0] : 0;
    }

    // Moves the real pointer to slider-relative (x, y) of the slider of
    // `index` (x may lie outside the slider and the window).
    void pointerTo(int index, int x, int y = 6) {
        const TPluginEditorWindow& w = reference.window();
        const platform::headless::HeadlessWindow& s = reference.screen();
        const platform::PictureSpec& slider = s.picture(w.sliderOf(index)->id);
        int rootX = 0, rootY = 0;
        Window ignored = 0;
        XTranslateCoordinates(dpy, parent, DefaultRootWindow(dpy), 0, 0, &rootX, &rootY, &ignored);
        xtest->motion(dpy, -1, rootX + slider.left + x, rootY + slider.top + y, CurrentTime);
        XSync(dpy, False);
    }
    void button(bool down) {
        xtest->button(dpy, Button1, down, CurrentTime);
        XSync(dpy, False);
    }

    void writePicture(const char* name) {
#if defined(HALVORINE_HAVE_PNG)
        if (const char* dir = std::getenv("HALVORINE_SCREENSHOT_DIR"))
            editorpng::WritePng(capture(parent, 665, 518), (std::string(dir) + "/" + name).c_str());
#else
        (void)name;
#endif
    }

    Display* dpy = nullptr;
    testhost::Host host;
    AEffect* effect = nullptr;
    Window parent = 0;
    std::vector<Automation> automation;
    edtest::Fixture reference;  // the headless editor, open, driven alongside
    const XTest* xtest = XTest::get();
};

}  // namespace

TEST_F(X11Editor, OpensAsAChildAtTheOriginShowingTheHeadlessPictureAndFollowsTheHost) {
    ASSERT_EQ(open(parent), 1);
    ERect* r = nullptr;
    testhost::dispatch(effect, effEditGetRect, 0, 0, &r);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->right, 398);
    EXPECT_EQ(r->bottom, 241);

    const Window child = editor();
    ASSERT_NE(child, 0u);
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(dpy, child, &a));
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.width, 398);
    EXPECT_EQ(a.height, 241);
    EXPECT_EQ(a.border_width, 0);
    EXPECT_EQ(a.map_state, IsViewable);

    platform::Bitmap expected = reference.screen().compose();
    pumpUntil([&] { return SamePicture(captureEditor(), expected); });
    EXPECT_TRUE(SamePicture(captureEditor(), expected)) << "just opened";
    writePicture("x11_open.png");

    // A host change moves the slider at the next timer pass, which runs
    // from effEditIdle.
    effect->setParameter(effect, kBoost, 0.25f);
    reference.plugin->setParameter(kBoost, 0.25f);
    reference.screen().tick();
    expected = reference.screen().compose();
    EXPECT_TRUE(pumpUntil([&] { return SamePicture(captureEditor(), expected); }))
        << SamePicture(captureEditor(), expected).message();

    // Covered and uncovered, the window paints itself again.
    Window cover = XCreateSimpleWindow(dpy, parent, 0, 0, 398, 241, 0, 0, 0);
    XMapWindow(dpy, cover);
    XSync(dpy, False);
    XDestroyWindow(dpy, cover);
    EXPECT_TRUE(pumpUntil([&] { return SamePicture(captureEditor(), expected); })) << "after an expose";
}

TEST_F(X11Editor, AbsoluteDragOnBoostKeepsReportingOutsideTheWindowAndAutomatesAfterThePluginHoldsTheValue) {
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
    ASSERT_EQ(open(parent), 1);
    pumpUntil([&] { return SamePicture(captureEditor(), reference.screen().compose()); });

    auto step = [&](size_t calls) { return pumpUntil([&] { return automation.size() >= calls; }); };
    pointerTo(kBoost, 50);
    button(true);
    ASSERT_TRUE(step(1));
    pointerTo(kBoost, -40);  // left of the window: x is negative
    ASSERT_TRUE(step(2));
    pointerTo(kBand1, 30);  // over another slider: still boost's, at its x 160
    ASSERT_TRUE(step(3));
    pointerTo(kBoost, 71, 400);  // below the window
    ASSERT_TRUE(step(4));
    button(false);
    pumpFor(40);
    pointerTo(kBand1, 30);  // released: a hover, which sends nothing
    pumpFor(40);

    const float expected[] = {0.5f, 0.0f, 1.0f, 0.7625f};
    ASSERT_EQ(automation.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(automation[i].index, kBoost) << i;
        EXPECT_EQ(automation[i].value, expected[i]) << i;
        EXPECT_EQ(automation[i].held, expected[i]) << "the host heard of change " << i << " first";
    }
    EXPECT_EQ(effect->getParameter(effect, kBoost), 0.7625f);

    // The same gestures on the headless window give the same picture, knob
    // and read-out included.
    auto& s = reference.screen();
    const int y = reference.sliderY(kBoost);
    s.mouseDown(reference.sliderX(kBoost, 50), y, platform::MouseButton::Left);
    s.mouseMove(reference.sliderX(kBoost, -40), y);
    s.mouseMove(reference.sliderX(kBoost, 160), y);
    s.mouseMove(reference.sliderX(kBoost, 71), y + 400);
    s.mouseUp(reference.sliderX(kBoost, 71), y + 400, platform::MouseButton::Left);
    s.mouseMove(reference.sliderX(kBand1, 30), reference.sliderY(kBand1));
    EXPECT_TRUE(pumpUntil([&] { return SamePicture(captureEditor(), s.compose()); }))
        << SamePicture(captureEditor(), s.compose()).message();
    writePicture("x11_after_drag.png");
}

TEST_F(X11Editor, ShiftPressStartsAFineDragThatSendsNothingUntilTheFirstMove) {
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
    const unsigned shiftKey = XKeysymToKeycode(dpy, XK_Shift_L);
    ASSERT_NE(shiftKey, 0u);
    effect->setParameter(effect, kBoost, 0.5f);
    ASSERT_EQ(open(parent), 1);
    pumpFor(30);
    pointerTo(kBoost, 50);
    xtest->key(dpy, shiftKey, True, CurrentTime);
    button(true);
    pumpFor(60);
    EXPECT_TRUE(automation.empty());
    pointerTo(kBoost, 60);
    EXPECT_TRUE(pumpUntil([&] { return !automation.empty(); }));
    button(false);
    xtest->key(dpy, shiftKey, False, CurrentTime);
    XSync(dpy, False);
    pumpFor(30);
    ASSERT_EQ(automation.size(), 1u);
    EXPECT_NEAR(automation[0].value, 0.55f, 1e-6);
}

TEST_F(X11Editor, CloseOpenAndEffCloseLeaveNoWindowBehind) {
    ASSERT_EQ(open(parent), 1);
    pumpFor(30);
    EXPECT_NE(editor(), 0u);
    testhost::dispatch(effect, effEditClose);
    EXPECT_TRUE(children(parent).empty());
    ASSERT_EQ(open(parent), 1);
    EXPECT_NE(editor(), 0u);
    pumpFor(30);
    testhost::dispatch(effect, effClose);  // with the editor open
    effect = nullptr;
    EXPECT_TRUE(children(parent).empty());

    // A host that destroys its window before it closes the editor: the
    // editor's requests on the dead window fail on its own connection.
    effect = host.create();
    ASSERT_NE(effect, nullptr);
    Window doomed = makeHostWindow();
    ASSERT_EQ(open(doomed), 1);
    pumpFor(30);
    XDestroyWindow(dpy, doomed);
    XSync(dpy, False);
    pumpFor(30);
    testhost::dispatch(effect, effEditClose);
}

TEST_F(X11Editor, RefusesToOpenWithoutAWindowOrADisplay) {
    ERect* r = nullptr;
    EXPECT_EQ(open(0), 0);
    Window gone = XCreateSimpleWindow(dpy, parent, 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(dpy, gone);
    XSync(dpy, False);
    EXPECT_EQ(open(gone), 0);

    const std::string display = std::getenv("DISPLAY");
    unsetenv("DISPLAY");
    EXPECT_EQ(open(parent), 0);
    setenv("DISPLAY", display.c_str(), 1);

    testhost::dispatch(effect, effEditGetRect, 0, 0, &r);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->right, 665) << "a failed open left a window behind";
    EXPECT_EQ(open(parent), 1);
    EXPECT_NE(editor(), 0u);
}

TEST_F(X11Editor, HostThatClosesTheEditorWhileHearingOfADragLosesNothing) {
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
    host.answer = [this](const testhost::Callback& c) -> VstIntPtr {
        if (c.opcode == audioMasterAutomate) {
            automation.push_back({c.index, c.opt, c.effect->getParameter(c.effect, c.index)});
            testhost::dispatch(c.effect, effEditIdle);  // re-entered: must do nothing
            testhost::dispatch(c.effect, effEditClose);
        }
        return c.opcode == audioMasterVersion ? 2400 : 0;
    };
    ASSERT_EQ(open(parent), 1);
    pumpFor(30);
    // Queued behind the press, these find the window gone.
    pointerTo(kBoost, 50);
    button(true);
    pointerTo(kBoost, 60);
    button(false);
    EXPECT_TRUE(pumpUntil([&] { return !automation.empty(); }));
    pumpFor(30);
    EXPECT_EQ(automation.size(), 1u);
    EXPECT_TRUE(children(parent).empty());
}

namespace {
int OtherHandler(Display*, XErrorEvent*) { return 0; }
}  // namespace

// The editor swaps its own error handler in while it reads its connection
// and puts the host's back afterwards; a handler that the host installs
// meanwhile (here while it hears of an edit, inside the editor's event)
// is the host's choice and stays.
TEST_F(X11Editor, ErrorHandlerTheHostInstallsDuringAnEventStaysInstalled) {
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
    ASSERT_EQ(open(parent), 1);
    pumpFor(30);
    testhost::dispatch(effect, effEditClose);
    EXPECT_EQ(XSetErrorHandler(&CountError), &CountError) << "the host's handler was not put back";

    host.answer = [this](const testhost::Callback& c) -> VstIntPtr {
        if (c.opcode == audioMasterAutomate) {
            automation.push_back({c.index, c.opt, c.effect->getParameter(c.effect, c.index)});
            XSetErrorHandler(&OtherHandler);
        }
        return c.opcode == audioMasterVersion ? 2400 : 0;
    };
    ASSERT_EQ(open(parent), 1);
    pumpFor(30);
    pointerTo(kBoost, 50);
    button(true);
    ASSERT_TRUE(pumpUntil([&] { return !automation.empty(); }));
    button(false);
    pumpFor(30);
    testhost::dispatch(effect, effEditClose);
    EXPECT_EQ(XSetErrorHandler(&CountError), &OtherHandler) << "the editor replaced the host's new handler";
}

// Where the host gives no scale, the desktop's Xft.dpi sets it (96 dpi
// being 1); the window opens at that size, tells the host so, and shows the
// headless picture of the same scale. A host's scale and HALVORINE_SCALE
// come first.
TEST_F(X11Editor, OpensAtTheScaleOfTheDesktopsXftDpi) {
    const struct {
        const char* resources;
        float hostScale;        // effVendorSpecific, 0 for none
        const char* variable;   // HALVORINE_SCALE, null for unset
        int width, height;
        float shownScale;
    } cases[] = {
        {"Xft.dpi:\t192\n", 0.0f, nullptr, 796, 482, 2.0f},
        {"Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n", 0.0f, nullptr, 597, 362, 1.5f},
        {"Xft.dpi:\t96\n", 0.0f, nullptr, 398, 241, 1.0f},
        {"Xcursor.size:\t24\n", 0.0f, nullptr, 398, 241, 1.0f},
        {"Xft.dpi:\t192\n", 1.0f, nullptr, 398, 241, 1.0f},
        {"Xft.dpi:\t192\n", 0.0f, "1", 398, 241, 1.0f},
    };
    const Window big = x11test::MakeHostWindow(dpy, 900, 600);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resources);
        x11test::ScopedResources resources(dpy, c.resources);
        if (c.variable != nullptr)
            setenv("HALVORINE_SCALE", c.variable, 1);
        if (c.hostScale > 0.0f) {
            EXPECT_EQ(testhost::dispatch(effect, effVendorSpecific, FourCharCode('P', 'r', 'e', 'S'),
                                         FourCharCode('A', 'e', 'C', 's'), nullptr, c.hostScale),
                      1);
        }
        ASSERT_EQ(open(big), 1);
        unsetenv("HALVORINE_SCALE");
        ERect* r = nullptr;
        testhost::dispatch(effect, effEditGetRect, 0, 0, &r);
        EXPECT_EQ(r->right, c.width);
        EXPECT_EQ(r->bottom, c.height);
        const std::vector<Window> list = children(big);
        ASSERT_EQ(list.size(), 1u);
        XWindowAttributes a{};
        ASSERT_TRUE(XGetWindowAttributes(dpy, list[0], &a));
        EXPECT_EQ(a.width, c.width);
        EXPECT_EQ(a.height, c.height);

        edtest::Fixture scaled;
        scaled.dispatch(effVendorSpecific, FourCharCode('P', 'r', 'e', 'S'), FourCharCode('A', 'e', 'C', 's'), nullptr,
                        c.shownScale);
        scaled.dispatch(effEditOpen);
        const platform::Bitmap expected = scaled.screen().compose();
        EXPECT_TRUE(pumpUntil([&] { return SamePicture(capture(list[0], c.width, c.height), expected); }))
            << SamePicture(capture(list[0], c.width, c.height), expected).message();
        scaled.dispatch(effEditClose);
        testhost::dispatch(effect, effEditClose);
        testhost::dispatch(effect, effVendorSpecific, FourCharCode('P', 'r', 'e', 'S'),
                           FourCharCode('A', 'e', 'C', 's'), nullptr, 0.0f);
    }
    XDestroyWindow(dpy, big);
}
