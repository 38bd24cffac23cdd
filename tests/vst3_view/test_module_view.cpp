// The view as the VST3 module makes it: the module loaded from its bundle,
// createView("editor") on its controller, the view attached to a real
// window, and a drag that reaches the host's IComponentHandler as one
// beginEdit / performEdit / endEdit edit.
#include "EditorTestUtil.h"
#include "ViewHost.h"
#include "Vst3Host.h"
#if defined(_WIN32)
#include "Win32Host.h"
#else
#include "X11TestUtil.h"  // last: Xlib's macros
#endif

using namespace viewtest;

namespace {

// A host's window to attach views to.
struct Parent {
#if defined(_WIN32)
    static constexpr const char* kType = "HWND";
    static constexpr bool kRunLoop = false;  // the window has its own timers
    void* handle() { return host.handle(); }
    std::vector<HWND> editors() { return w32test::EditorWindows(host.handle()); }
    w32test::HostWindow host;
#else
    static constexpr const char* kType = "X11EmbedWindowID";
    static constexpr bool kRunLoop = true;
    ~Parent() { XDestroyWindow(dpy, window); }
    void* handle() { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }
    std::vector<Window> editors() { return x11test::Children(dpy, window); }
    Display* dpy = x11test::SharedDisplay();
    Window window = x11test::MakeHostWindow(dpy, 398, 241);
#endif
};

// The host's loop turns for a while: the windows' and the views' timers.
void Turn(Frame& frame) {
#if defined(_WIN32)
    (void)frame;
    w32test::Pump(60);
#else
    frame.runFor(60);
#endif
}

}  // namespace

TEST(Vst3ModuleView, ShowsTheEditorAndFramesADragAsOneEdit) {
    vst3host::Session s;
    IPlugView* view = s.controller->createView("editor");
    ASSERT_NE(view, nullptr);
#if defined(_WIN32)
    Frame frame(false);
    view->setFrame(&frame);
    w32test::HostWindow host;
    ASSERT_EQ(view->attached(host.handle(), "HWND"), kResultOk);
    w32test::Pump(60);
    const std::vector<HWND> editors = w32test::EditorWindows(host.handle());
    ASSERT_EQ(editors.size(), 1u);
    const POINT at50 = w32test::SliderPoint(5, 50), at71 = w32test::SliderPoint(5, 71);
    for (auto [message, keys, p] : {std::tuple{WM_LBUTTONDOWN, MK_LBUTTON, at50},
                                    std::tuple{WM_MOUSEMOVE, MK_LBUTTON, at71}, std::tuple{WM_LBUTTONUP, 0, at71}}) {
        PostMessageW(editors[0], message, keys, w32test::PointParam(p.x, p.y));
        w32test::PumpQueued();
    }
    w32test::Pump(60);
#else
    if (std::getenv("DISPLAY") == nullptr || x11test::XTest::get() == nullptr)
        SKIP_WITHOUT("X display with XTest");
    setenv("LC_ALL", "C", 1);  // the reference writes numbers with a full stop
    Frame frame;
    view->setFrame(&frame);
    Display* dpy = x11test::SharedDisplay();
    const Window parent = x11test::MakeHostWindow(dpy, 398, 241);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), "X11EmbedWindowID"), kResultOk);
    // A new instance starts on "BigBeat" with the key on "Left": the VST 2.x
    // editor's picture with the Key selector on that choice.
    edtest::Fixture reference;
    reference.dispatch(effEditOpen);
    reference.showKey(0);
    const platform::Bitmap expected = reference.screen().compose();
    auto picture = [&] { return x11test::Capture(dpy, x11test::Children(dpy, parent).at(0), 398, 241); };
    EXPECT_TRUE(frame.runUntil([&] { return x11test::SamePicture(picture(), expected); }))
        << x11test::SamePicture(picture(), expected).message();
    const x11test::XTest* xtest = x11test::XTest::get();
    int x = 0, y = 0;
    Window ignored = 0;
    XTranslateCoordinates(dpy, parent, DefaultRootWindow(dpy), 20, 186, &x, &y, &ignored);
    xtest->motion(dpy, -1, x + 50, y, CurrentTime);
    xtest->button(dpy, Button1, True, CurrentTime);
    xtest->motion(dpy, -1, x + 71, y, CurrentTime);
    xtest->button(dpy, Button1, False, CurrentTime);
    XSync(dpy, False);
    frame.runUntil([&] { return s.handler.calls.size() >= 4; });
#endif
    std::vector<vst3host::ComponentHandler::Call> edits;
    for (const auto& c : s.handler.calls)
        if (c.what != 'r')
            edits.push_back(c);
    ASSERT_EQ(edits.size(), 4u);
    const char kinds[] = {'b', 'p', 'p', 'e'};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_TRUE(edits[i].what == kinds[i] && edits[i].id == 5u) << i << ": " << edits[i].what << edits[i].id;
    EXPECT_EQ(edits[1].value, 0.5);
    EXPECT_EQ(edits[2].value, 0.7625f);
    EXPECT_EQ(s.controller->getParamNormalized(5), 0.7625f);

    EXPECT_EQ(view->removed(), kResultOk);
    view->setFrame(nullptr);
    EXPECT_EQ(view->release(), 0u);
    IPlugView* again = s.controller->createView("editor");
    ASSERT_NE(again, nullptr) << "a new view after the last one went";
    again->release();
#if !defined(_WIN32)
    XDestroyWindow(dpy, parent);
#endif
}

// A host may let go of the view and of the plug-in in any order, and may
// terminate and release the plug-in while its view is still open: the view
// holds the plug-in until it goes. (The asan preset and valgrind see a
// freed plug-in touched where it does not.)
TEST(Vst3ModuleView, ViewAndPlugInMayGoInAnyOrder) {
#if !defined(_WIN32)
    if (std::getenv("DISPLAY") == nullptr)
        SKIP_WITHOUT("X display");
#endif
    enum Step { Remove, ReleaseView, Terminate, EndPlugIn };
    const struct {
        const char* order;
        std::vector<Step> steps;
        uint32_t plugInLeft;  // what the host's last release of the plug-in answers
    } orders[] = {
        {"view, then plug-in", {Remove, ReleaseView, EndPlugIn}, 0},
        {"plug-in, then view", {EndPlugIn, Remove, ReleaseView}, 1},
        {"plug-in, then the open view", {EndPlugIn, ReleaseView}, 1},
        {"terminated, view, released", {Terminate, Remove, ReleaseView, EndPlugIn}, 0},
    };
    for (const auto& o : orders) {
        SCOPED_TRACE(o.order);
        Frame frame(Parent::kRunLoop);
        Parent parent;
        {
            vst3host::Session s;
            IPlugView* view = s.controller->createView("editor");
            ASSERT_NE(view, nullptr);
            view->setFrame(&frame);
            ASSERT_EQ(view->attached(parent.handle(), Parent::kType), kResultOk);
            Turn(frame);
            for (Step step : o.steps) {
                if (step == Remove) {
                    EXPECT_EQ(view->removed(), kResultOk);
                } else if (step == ReleaseView) {
                    view->setFrame(nullptr);
                    EXPECT_EQ(view->release(), 0u);
                } else if (step == Terminate) {
                    EXPECT_EQ(s.component->terminate(), kResultOk);
                } else {
                    s.end();
                    EXPECT_EQ(s.lastRelease, o.plugInLeft);
                }
                Turn(frame);
            }
        }
        EXPECT_EQ(parent.editors().size(), 0u);
        EXPECT_EQ(frame.refs, 1u);
    }
}

// A host that makes a new view before it lets go of the old one gets it.
// One window is open, the last attached view's, and the controller's
// changes reach it.
TEST(Vst3ModuleView, NewViewBeforeTheOldOneGoesTakesTheWindow) {
#if !defined(_WIN32)
    if (std::getenv("DISPLAY") == nullptr)
        SKIP_WITHOUT("X display");
    setenv("LC_ALL", "C", 1);  // the reference writes numbers with a full stop
#endif
    constexpr int kBoost = 5;
    Frame frame(Parent::kRunLoop);
    Parent first, second;
    vst3host::Session s;
    IPlugView* older = s.controller->createView("editor");
    IPlugView* newer = s.controller->createView("editor");
    ASSERT_NE(older, nullptr);
    ASSERT_NE(newer, nullptr) << "refused while the first view lives";
    older->setFrame(&frame);
    newer->setFrame(&frame);
    ASSERT_EQ(older->attached(first.handle(), Parent::kType), kResultOk);
    ASSERT_EQ(newer->attached(second.handle(), Parent::kType), kResultOk);
    Turn(frame);
    EXPECT_EQ(first.editors().size(), 0u) << "the older view's window stays open";
    ASSERT_EQ(second.editors().size(), 1u);

    EXPECT_EQ(s.controller->setParamNormalized(kBoost, 0.25), kResultOk);
#if !defined(_WIN32)
    edtest::Fixture reference;
    reference.dispatch(effEditOpen);
    reference.showKey(0);  // the new instance's "Left"
    reference.plugin->setParameter(kBoost, 0.25f);
    reference.screen().tick();
    auto shown = [&] { return x11test::Capture(second.dpy, second.editors().at(0), 398, 241); };
    EXPECT_TRUE(frame.runUntil([&] { return x11test::SamePicture(shown(), reference.screen().compose()); }))
        << x11test::SamePicture(shown(), reference.screen().compose()).message();
#endif

    // The host goes back to the older view: it takes the window again.
    ASSERT_EQ(older->attached(first.handle(), Parent::kType), kResultOk);
    Turn(frame);
    EXPECT_EQ(first.editors().size(), 1u);
    EXPECT_EQ(second.editors().size(), 0u);
    EXPECT_EQ(newer->removed(), kResultOk) << "still attached as far as the host knows";
    EXPECT_EQ(older->removed(), kResultOk);
    for (IPlugView* view : {older, newer}) {
        view->setFrame(nullptr);
        EXPECT_EQ(view->release(), 0u);
    }
}
