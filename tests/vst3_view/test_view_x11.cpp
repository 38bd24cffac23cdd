// The view in a Linux host: attached to a real X window, driven only by the
// host's run loop (this test's), with real pointer input (XTest), and read
// back from the server. Its picture must equal the editor's for the same
// values and key choice: the headless window of a VST 2.x plug-in object
// built here, told the view's key choice (that edition's own panel, which
// the editor's golden files pin, has no key selector).
//
// Needs an X display (xvfb-run -a ctest); skipped without one, unless
// HALVORINE_REQUIRE_DISPLAY is set.
#include <cstdlib>

#include "EditorTestUtil.h"
#include "ViewHost.h"

// Last: Xlib's macros clash with the headers above.
#include "X11TestUtil.h"

using namespace viewtest;
using x11test::SamePicture;

namespace {

constexpr int kBoost = 5;

class X11View : public ::testing::Test {
protected:
    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0')
            SKIP_WITHOUT("X display (run under xvfb-run -a)");
        dpy = x11test::SharedDisplay();
        ASSERT_NE(dpy, nullptr);
        setenv("LC_ALL", "C", 1);  // the reference writes numbers with a full stop
        parent = x11test::MakeHostWindow(dpy, 398, 241);
        reference.dispatch(effEditOpen);
        reference.showKey(owner.keySource);  // Left, as a new instance
        for (int i = 0; i < 22; ++i)
            owner.values[i] = reference.plugin->getParameter(i);
        view = vst3edition::CreateEditorView(owner);
        ASSERT_NE(view, nullptr);
        view->setFrame(&frame);
    }
    void TearDown() override {
        if (view != nullptr) {
            view->removed();
            view->setFrame(nullptr);
            EXPECT_EQ(view->release(), 0u);
            EXPECT_EQ(owner.destroyed.size(), 1u);
        }
        EXPECT_EQ(frame.refs, 1u) << "the run loop's references are not balanced";
        if (parent != 0)
            XDestroyWindow(dpy, parent);
    }

    tresult attach(Window into) {
        return view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(into)), "X11EmbedWindowID");
    }
    std::vector<Window> children() { return x11test::Children(dpy, parent); }
    platform::Bitmap capture() {
        const std::vector<Window> c = children();
        return c.size() == 1 ? x11test::Capture(dpy, c[0], 398, 241) : platform::Bitmap{};
    }
    bool shows(const platform::Bitmap& expected, bool readEvents = true) {
        return frame.runUntil([&] { return SamePicture(capture(), expected); }, readEvents);
    }
    void pointerTo(int x, int y = 6) {  // on the Boost slider
        int rootX = 0, rootY = 0;
        Window ignored = 0;
        XTranslateCoordinates(dpy, parent, DefaultRootWindow(dpy), 20 + x, 180 + y, &rootX, &rootY, &ignored);
        xtest->motion(dpy, -1, rootX, rootY, CurrentTime);
        XSync(dpy, False);
    }
    void button(bool down) {
        xtest->button(dpy, Button1, down, CurrentTime);
        XSync(dpy, False);
    }

    Display* dpy = nullptr;
    Window parent = 0;
    edtest::Fixture reference;  // the VST 2.x plug-in object, its editor open headless, keyed
    Owner owner;
    Frame frame;
    IPlugView* view = nullptr;
    const x11test::XTest* xtest = x11test::XTest::get();
};

}  // namespace

TEST_F(X11View, ShowsTheKeyedEditorsPictureDrivenByTheHostsRunLoop) {
    ASSERT_EQ(attach(parent), kResultOk);
    ASSERT_EQ(frame.watches.size(), 1u);
    ASSERT_EQ(frame.timers.size(), 1u);
    EXPECT_GE(frame.watches[0].fd, 0);
    EXPECT_EQ(frame.timers[0].period, 25u);
    ASSERT_EQ(children().size(), 1u);
    XWindowAttributes a{};
    XGetWindowAttributes(dpy, children()[0], &a);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.width, 398);
    EXPECT_EQ(a.height, 241);

    EXPECT_TRUE(shows(reference.screen().compose())) << SamePicture(capture(), reference.screen().compose()).message();
    EXPECT_NE(edtest::Fnv1a(capture()), edtest::kBigBeatGoldenHash) << "no Key selector";
    EXPECT_GT(owner.idles, 0) << "the owner hears the view's timer";

    // A value from the controller moves its slider at the next timer tick,
    // with no descriptor read at all.
    owner.values[kBoost] = 0.25f;  // as the controller holds it
    vst3edition::EditorViewParameterChanged(view, kBoost, 0.25f);
    reference.plugin->setParameter(kBoost, 0.25f);
    reference.screen().tick();
    EXPECT_TRUE(shows(reference.screen().compose(), false));
}

TEST_F(X11View, RefusesWithoutARunLoopOrAWindowAndComesAndGoesAgainAndAgain) {
    Frame noLoop(false);
    Window gone = XCreateSimpleWindow(dpy, parent, 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(dpy, gone);
    XSync(dpy, False);
    const std::pair<IPlugFrame*, Window> refused[] = {{nullptr, parent}, {&noLoop, parent}, {&frame, gone}};
    for (const auto& [with, into] : refused) {
        view->setFrame(with);
        EXPECT_EQ(attach(into), kResultFalse);
        EXPECT_TRUE(children().empty() && frame.watches.empty() && frame.timers.empty());
        EXPECT_TRUE(frame.refs == 1 && noLoop.refs == 1);
    }
    view->setFrame(&frame);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(attach(parent), kResultOk) << round;
        ASSERT_EQ(attach(parent), kResultOk) << "twice in a row, round " << round;
        EXPECT_EQ(children().size(), 1u);
        EXPECT_TRUE(frame.watches.size() == 1 && frame.timers.size() == 1);
        EXPECT_EQ(frame.refs, 2u) << "the view holds the run loop";
        frame.runFor(30);
        EXPECT_EQ(view->removed(), kResultOk);
        EXPECT_TRUE(children().empty() && frame.watches.empty() && frame.timers.empty());
        EXPECT_EQ(frame.refs, 1u);
    }
}

TEST_F(X11View, DragIsFramedByAGestureAndEndsWithTheKeyedEditorsPicture) {
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
    ASSERT_EQ(attach(parent), kResultOk);
    ASSERT_TRUE(shows(reference.screen().compose()));
    auto edits = [&](size_t n) { return frame.runUntil([&] { return owner.edits.size() >= n; }); };
    pointerTo(50);
    button(true);
    ASSERT_TRUE(edits(2));
    pointerTo(-40);  // left of the window
    ASSERT_TRUE(edits(3));
    pointerTo(71, 400);  // below it
    ASSERT_TRUE(edits(4));
    button(false);
    ASSERT_TRUE(edits(5));
    const std::vector<Edit> expected = {
        {'b', kBoost, 0}, {'s', kBoost, 0.5f}, {'s', kBoost, 0.0f}, {'s', kBoost, 0.7625f}, {'e', kBoost, 0}};
    EXPECT_EQ(owner.edits, expected);

    auto& s = reference.screen();
    const int x = reference.sliderX(kBoost, 0), y = reference.sliderY(kBoost);
    s.mouseDown(x + 50, y, platform::MouseButton::Left);
    s.mouseMove(x - 40, y);
    s.mouseMove(x + 71, y + 400);
    s.mouseUp(x + 71, y + 400, platform::MouseButton::Left);
    EXPECT_TRUE(shows(s.compose())) << SamePicture(capture(), s.compose()).message();
}

TEST_F(X11View, HostThatRemovesAndReleasesTheViewWhileHearingOfADragLosesNothing) {
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
    ASSERT_EQ(attach(parent), kResultOk);
    frame.runFor(30);
    owner.onEdit = [&] {
        if (owner.edits.back().kind == 's' && view != nullptr) {
            EXPECT_EQ(view->removed(), kResultOk);
            view->setFrame(nullptr);
            view->release();
            view = nullptr;
        }
    };
    pointerTo(50);
    button(true);
    pointerTo(60);  // queued behind the press: finds the window gone
    button(false);
    frame.runUntil([&] { return view == nullptr; });
    frame.runFor(50);
    const std::vector<Edit> expected = {{'b', kBoost, 0}, {'s', kBoost, 0.5f}, {'e', kBoost, 0}};
    EXPECT_EQ(owner.edits, expected);
    EXPECT_EQ(owner.destroyed.size(), 1u);
    EXPECT_TRUE(children().empty());
    EXPECT_TRUE(frame.watches.empty() && frame.timers.empty());
}

// On a dense screen (the desktop's Xft.dpi) the size the host asks for
// before the view is attached is the size the window opens at; a later
// content scale asks the host for the new size, which it confirms at once
// or at its next turn.
TEST_F(X11View, SizeBeforeAttachingIsTheWindowsAndANewScaleAsksTheHost) {
    const struct {
        const char* resources;
        float hostScale;  // before attaching, 0 for none
        int width, height;
        float laterScale;
        int laterWidth, laterHeight;
        bool confirmInside;
    } cases[] = {
        {"Xft.dpi:\t192\n", 0.0f, 796, 482, 1.5f, 597, 362, true},
        {"Xft.dpi:\t144\n", 0.0f, 597, 362, 3.0f, 1194, 723, false},
        {"Xft.dpi:\t192\n", 1.0f, 398, 241, 2.0f, 796, 482, false},
        {"Xcursor.size:\t24\n", 0.0f, 398, 241, 2.0f, 796, 482, true},
    };
    const Window big = x11test::MakeHostWindow(dpy, 1200, 800);
    auto shownSize = [&] {
        XWindowAttributes a{};
        const std::vector<Window> list = x11test::Children(dpy, big);
        if (list.size() == 1)
            XGetWindowAttributes(dpy, list[0], &a);
        return std::pair{a.width, a.height};
    };
    auto viewSize = [&] {
        ViewRect r{};
        view->getSize(&r);
        return std::pair{r.right - r.left, r.bottom - r.top};
    };
    IPlugViewContentScaleSupport* scale = nullptr;
    TUID id;
    IPlugViewContentScaleSupport::iid.copyTo(id);
    ASSERT_EQ(view->queryInterface(id, reinterpret_cast<void**>(&scale)), kResultOk);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resources);
        x11test::ScopedResources resources(dpy, c.resources);
        frame.resizes.clear();
        frame.confirmInside = c.confirmInside;
        scale->setContentScaleFactor(c.hostScale);
        const std::pair<int, int> expected{c.width, c.height}, later{c.laterWidth, c.laterHeight};
        EXPECT_EQ(viewSize(), expected) << "before attaching";
        ASSERT_EQ(attach(big), kResultOk);
        frame.runFor(30);
        EXPECT_EQ(shownSize(), expected);
        EXPECT_EQ(viewSize(), expected);
        EXPECT_TRUE(frame.resizes.empty()) << "the host was told the right size the first time";

        scale->setContentScaleFactor(c.laterScale);
        ASSERT_EQ(frame.resizes.size(), 1u);
        EXPECT_EQ(std::pair(frame.resizes[0].right, frame.resizes[0].bottom), later);
        frame.confirmLater(view);
        frame.runFor(30);
        EXPECT_EQ(shownSize(), later);
        EXPECT_EQ(viewSize(), later);
        EXPECT_EQ(view->removed(), kResultOk);
    }
    scale->setContentScaleFactor(0.0f);
    scale->release();
    XDestroyWindow(dpy, big);
}
