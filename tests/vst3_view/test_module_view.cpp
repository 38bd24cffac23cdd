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
    Frame frame;
    view->setFrame(&frame);
    Display* dpy = x11test::SharedDisplay();
    const Window parent = x11test::MakeHostWindow(dpy, 398, 241);
    ASSERT_EQ(view->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), "X11EmbedWindowID"), kResultOk);
    // A new instance starts on "BigBeat": the editor's golden picture.
    auto picture = [&] { return x11test::Capture(dpy, x11test::Children(dpy, parent).at(0), 398, 241); };
    EXPECT_TRUE(frame.runUntil([&] { return edtest::Fnv1a(picture()) == edtest::kBigBeatGoldenHash; }));
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
