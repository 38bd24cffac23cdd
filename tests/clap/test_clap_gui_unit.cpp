// The CLAP editor (clap/ClapGui.cpp) over a plug-in and a host of the
// test's own: which editors it makes, and, in a real X window under Xvfb,
// its sizes, the host's timer and descriptor, automation and a new scale.
#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "ClapGui.h"
#include "EditorController.h"
#include "abi/Gui.h"

// Last: Xlib's macros clash with the headers above.
#include "X11TestUtil.h"

using namespace clapabi;

// The plug-in's side of ClapParts.h: values the test sets, edits it records.
namespace clapedition {

class ClapPlugin final : public EditorController {
public:
    void setParameterAutomated(int, float) override {}
    clap_plugin_t object{};
    const clap_host_t* host = nullptr;
    float values[22] = {};
    ClapGui* gui = nullptr;
};

ClapPlugin* PluginOf(const clap_plugin_t* plugin) { return static_cast<ClapPlugin*>(plugin->plugin_data); }
const clap_host_t* HostOf(ClapPlugin& plugin) { return plugin.host; }
float EditorValue(ClapPlugin& plugin, int index) { return plugin.values[index]; }
int EditorKeySource(ClapPlugin&) { return 0; }
bool EditorKeyMissing(ClapPlugin&) { return false; }
int EditorProgram(ClapPlugin&) { return -1; }
bool EditorActivity(ClapPlugin&, float*, float*) { return false; }
EditorController& EditorControllerOf(ClapPlugin& plugin) { return plugin; }
ClapGui*& GuiSlot(ClapPlugin& plugin) { return plugin.gui; }

}  // namespace clapedition

namespace {

// A host that offers what the case says and records what the editor asks,
// with the plug-in it made.
struct Fixture {
    explicit Fixture(bool timers = true, bool fds = true) : offersTimers(timers), offersFds(fds) {
        host.host_data = this;
        host.get_extension = &Extension;
        plugin.object.plugin_data = &plugin;
        plugin.host = &host;
    }
    static Fixture& Of(const clap_host_t* h) { return *static_cast<Fixture*>(h->host_data); }
    static const void* Extension(const clap_host_t* h, const char* id) {
        static const clap_host_timer_support_t timers{
            [](const clap_host_t* h, uint32_t period, clap_id* id) {
                return Of(h).timers.emplace(*id = Of(h).nextId++, period).second;
            },
            [](const clap_host_t* h, clap_id id) { return Of(h).timers.erase(id) == 1; }};
        static const clap_host_posix_fd_support_t fds{
            [](const clap_host_t* h, int fd, uint32_t flags) { return Of(h).fds.emplace(fd, flags).second; },
            nullptr, [](const clap_host_t* h, int fd) { return Of(h).fds.erase(fd) == 1; }};
        static const clap_host_gui_t gui{nullptr,
                                         [](const clap_host_t* h, uint32_t width, uint32_t height) {
                                             Of(h).resizes.emplace_back(width, height);
                                             return true;
                                         },
                                         nullptr, nullptr, nullptr};
        if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
            return Of(h).offersTimers ? &timers : nullptr;
        if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0)
            return Of(h).offersFds ? &fds : nullptr;
        return std::strcmp(id, CLAP_EXT_GUI) == 0 ? &gui : nullptr;
    }

    const clap_plugin_t* p() const { return &plugin.object; }
    std::pair<uint32_t, uint32_t> size() const {
        uint32_t w = 0, h = 0;
        EXPECT_TRUE(gui->get_size(p(), &w, &h));
        return {w, h};
    }
    // The host's loop for `ms` milliseconds: the descriptors every 5 ms
    // (reading nothing costs the window nothing), the timers every 25.
    void drive(int ms) {
        for (int t = 0; t < ms; t += 5) {
            poll(nullptr, 0, 5);
            for (const auto& fd : std::map<int, uint32_t>(fds))
                fdExt->on_fd(p(), fd.first, CLAP_POSIX_FD_READ);
            if (t % 25 == 0)
                for (const auto& timer : std::map<clap_id, uint32_t>(timers))
                    timerExt->on_timer(p(), timer.first);
        }
    }

    clap_host_t host{};
    bool offersTimers, offersFds;
    clap_id nextId = 7;
    std::map<clap_id, uint32_t> timers;  // registered now: id -> period
    std::map<int, uint32_t> fds;         // registered now: descriptor -> flags
    std::vector<std::pair<uint32_t, uint32_t>> resizes;
    clapedition::ClapPlugin plugin;
    const clap_plugin_gui_t* gui = static_cast<const clap_plugin_gui_t*>(clapedition::GuiExtension());
    const clap_plugin_timer_support_t* timerExt =
        static_cast<const clap_plugin_timer_support_t*>(clapedition::TimerSupportExtension());
    const clap_plugin_posix_fd_support_t* fdExt =
        static_cast<const clap_plugin_posix_fd_support_t*>(clapedition::PosixFdExtension());
};

TEST(ClapGuiUnit, EmbeddedX11EditorsOnlyAndOnlyWithTheHostsTimers) {
    const struct {
        const char* api;
        bool floating, timers, fds;
        bool made;
    } cases[] = {
        {"x11", false, true, true, true},   {"x11", false, true, false, true},  {"x11", true, true, true, false},
        {"win32", false, true, true, false}, {"wayland", false, true, true, false}, {"x11", false, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        Fixture f(c.timers, c.fds);
        ASSERT_NE(f.gui, nullptr);
        EXPECT_EQ(f.gui->is_api_supported(f.p(), c.api, c.floating), std::strcmp(c.api, "x11") == 0 && !c.floating);
        const char* preferred = nullptr;
        bool floating = true;
        ASSERT_TRUE(f.gui->get_preferred_api(f.p(), &preferred, &floating));
        EXPECT_STREQ(preferred, "x11");
        EXPECT_FALSE(floating);
        EXPECT_EQ(f.gui->create(f.p(), c.api, c.floating), c.made);
        EXPECT_EQ(f.plugin.gui != nullptr, c.made);
        EXPECT_FALSE(f.gui->create(f.p(), c.api, c.floating)) << "a second editor";
        EXPECT_FALSE(f.gui->show(f.p())) << "no window before set_parent";
        f.gui->destroy(f.p());
        EXPECT_EQ(f.plugin.gui, nullptr);
    }
}

// On a dense screen (the desktop's Xft.dpi) the size the host asks for
// before set_parent is the size the window opens at; the window lives on
// the host's timer and descriptor, shows the host's automation, and a later
// scale asks the host for the new size.
TEST(ClapGuiUnit, SizeRegistrationsAutomationAndScaleInAnX11Host) {
    const char* name = std::getenv("DISPLAY");
    Display* dpy = name != nullptr && *name != '\0' ? x11test::SharedDisplay() : nullptr;
    if (dpy == nullptr) {
        SKIP_WITHOUT("X display (run under xvfb-run -a)");
    }
    const struct {
        const char* resources;
        double hostScale;  // before set_parent, 0 for none
        uint32_t width, height;
        double laterScale;
        uint32_t laterWidth, laterHeight;
    } cases[] = {
        {"Xft.dpi:\t192\n", 0.0, 796, 482, 1.5, 597, 362},
        {"Xft.dpi:\t144\n", 0.0, 597, 362, 3.0, 1194, 723},
        {"Xft.dpi:\t192\n", 1.0, 398, 241, 2.0, 796, 482},
        {"Xcursor.size:\t24\n", 0.0, 398, 241, 2.0, 796, 482},
    };
    const Window parent = x11test::MakeHostWindow(dpy, 1200, 800);
    auto shown = [&] {
        XWindowAttributes a{};
        const std::vector<Window> list = x11test::Children(dpy, parent);
        if (list.size() == 1)
            XGetWindowAttributes(dpy, list[0], &a);
        return std::pair<uint32_t, uint32_t>(a.width, a.height);
    };
    // The host's window, where the editor's lies at (0, 0).
    auto capture = [&] { return x11test::Capture(dpy, parent, shown().first, shown().second); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resources);
        x11test::ScopedResources resources(dpy, c.resources);
        Fixture f;
        const std::pair<uint32_t, uint32_t> expected{c.width, c.height}, later{c.laterWidth, c.laterHeight};
        ASSERT_TRUE(f.gui->create(f.p(), "x11", false));
        if (c.hostScale > 0.0) {
            EXPECT_TRUE(f.gui->set_scale(f.p(), c.hostScale));
        }
        EXPECT_EQ(f.size(), expected) << "before set_parent";
        clap_window_t into{};
        into.api = "x11";
        into.x11 = parent;
        ASSERT_TRUE(f.gui->set_parent(f.p(), &into));
        ASSERT_TRUE(f.gui->show(f.p()));
        f.drive(60);
        EXPECT_EQ(shown(), expected);
        EXPECT_EQ(f.size(), expected);
        EXPECT_TRUE(f.resizes.empty()) << "the host was told the right size the first time";
        ASSERT_EQ(f.timers.size(), 1u);
        EXPECT_EQ(f.timers.begin()->second, 25u);
        ASSERT_EQ(f.fds.size(), 1u);
        EXPECT_EQ(f.fds.begin()->second, CLAP_POSIX_FD_READ);
        EXPECT_TRUE(f.gui->set_size(f.p(), c.width, c.height));
        EXPECT_FALSE(f.gui->set_size(f.p(), c.width + 1, c.height));

        // Automation: the plug-in's value moves, and the window follows at
        // the host's next ticks.
        const platform::Bitmap before = capture();
        f.plugin.values[5] = 1.0f;
        // Up to 2 s: under emulation and load the server may put the
        // window's picture on the screen later than the ticks that drew it.
        bool followed = false;
        for (int waited = 0; waited < 2000 && !followed; waited += 100) {
            f.drive(100);
            followed = !x11test::SamePicture(capture(), before);
        }
        EXPECT_TRUE(followed) << "the window did not follow the value";

        EXPECT_TRUE(f.gui->set_scale(f.p(), c.laterScale));
        ASSERT_EQ(f.resizes.size(), 1u);
        EXPECT_EQ(f.resizes[0], later);
        f.drive(30);
        EXPECT_EQ(shown(), later);
        EXPECT_EQ(f.size(), later);
        EXPECT_TRUE(f.gui->hide(f.p()));
        f.gui->destroy(f.p());
        XSync(dpy, False);
        EXPECT_TRUE(x11test::Children(dpy, parent).empty()) << "the window outlived destroy";
        EXPECT_TRUE(f.timers.empty() && f.fds.empty()) << "left registered";
    }
    XDestroyWindow(dpy, parent);
}

}  // namespace
