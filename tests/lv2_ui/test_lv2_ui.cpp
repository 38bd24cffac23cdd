// The LV2 UI as an LV2 host sees it: halvorine_ui.so loaded from the bundle
// folder, instantiated through its descriptor into a real top-level X
// window (ui:parent), driven by its idle interface and by real pointer
// input (XTest), and read back from the server as pixels.
//
// Its picture must equal, pixel for pixel, the VST 2.x editor's headless
// picture of the same values and key choice, made in this process by a
// plug-in object built here (the UI library links none of it) and told the
// choice as the UI shows it (that edition's own panel has no key selector).
//
// Needs an X display (xvfb-run -a ctest); skipped without one. The pointer
// tests need libXtst.so.6 at run time (skipped without it). Where
// HALVORINE_REQUIRE_DISPLAY is set a missing one fails the test instead.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "EditorTestUtil.h"
#include "DVstUtils.h"
#include "Lv2Ports.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include "X11TestUtil.h"

namespace {

constexpr int kBoost = 5;
constexpr int kBand1 = 6;

// What the UI told its host, in order.
struct Message {
    enum Kind { Write, Touch } kind;
    uint32_t port;
    uint32_t size = 0;      // Write: the buffer's size
    uint32_t protocol = 0;  // Write: the port protocol
    float value = 0.0f;     // Write: the float sent
    bool grabbed = false;   // Touch
};

int g_hostErrors = 0;
int CountError(Display*, XErrorEvent*) {
    ++g_hostErrors;
    return 0;
}

// The process-wide X error handler, read without changing it.
XErrorHandler CurrentErrorHandler() {
    const XErrorHandler current = XSetErrorHandler(nullptr);
    XSetErrorHandler(current);
    return current;
}

#if defined(HALVORINE_FAILING_ALLOCATOR)
}  // namespace
extern std::atomic<bool> g_failLargeAllocations;
extern std::atomic<int> g_failedAllocations;
namespace {
#endif

// A host's URID map: the index of the URI in a list, plus one.
LV2_URID MapUri(LV2_URID_Map_Handle, const char* uri) {
    static std::vector<std::string> uris;
    for (size_t i = 0; i < uris.size(); ++i)
        if (uris[i] == uri)
            return static_cast<LV2_URID>(i + 1);
    uris.push_back(uri);
    return static_cast<LV2_URID>(uris.size());
}
LV2_URID_Map g_map{nullptr, &MapUri};

// The library, loaded once and kept loaded, as a host keeps it.
const LV2UI_Descriptor* Descriptor() {
    static const LV2UI_Descriptor* const descriptor = []() -> const LV2UI_Descriptor* {
        void* library = dlopen(HALVORINE_UI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return nullptr;
        auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
        return entry != nullptr ? entry(0) : nullptr;
    }();
    return descriptor;
}

class Lv2Ui : public ::testing::Test {
protected:
    // The features a host offers.
    struct Offer {
        bool parent = true;
        bool idle = true;
        bool touch = true;
        bool resize = true;
        const char* plugin = lv2edition::kPluginUri;
        Window into = 0;  // the parent; 0 for the test's host window
        bool map = true;
        float scaleFactor = 0.0f;  // ui:scaleFactor among the options, 0 for no options
    };

    // Options holding ui:scaleFactor `scale`, ended as the host ends them.
    struct ScaleOption {
        explicit ScaleOption(float s) : value(s) {
            options[0] = {LV2_OPTIONS_INSTANCE, 0, MapUri(nullptr, LV2_UI__scaleFactor), sizeof value,
                          MapUri(nullptr, LV2_ATOM__Float), &value};
            options[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        }
        float value;
        LV2_Options_Option options[2];
    };

    void SetUp() override {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0')
            SKIP_WITHOUT("X display (run under xvfb-run -a)");
        dpy = x11test::SharedDisplay();
        ASSERT_NE(dpy, nullptr) << "cannot open " << name;
        descriptor = Descriptor();
        ASSERT_NE(descriptor, nullptr) << "cannot load " << HALVORINE_UI_LIBRARY;
        idleInterface = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idleInterface, nullptr);
        XSetErrorHandler(&CountError);
        g_hostErrors = 0;
        setenv("LC_ALL", "C", 1);  // the headless reference writes numbers with a full stop
        parent = x11test::MakeHostWindow(dpy, 665, 518);
        reference.dispatch(effEditOpen);
        ShowKeySelector(reference);
    }

    // The LV2 UI has the "Key" selector, on "Left" until the host reports
    // the key port; the VST 2.x editor shows it once told a choice.
    static void ShowKeySelector(edtest::Fixture& f) {
        f.window().keySource.store(0);
        f.window().showsActivity = true;
        f.window().SetAll();
    }

    void TearDown() override {
        if (handle != nullptr)
            descriptor->cleanup(handle);
        // Whenever the host's code runs, from inside the UI's callbacks
        // too, the handler is the host's: one that the host installs then
        // never hands errors on to the UI's, which may be unloaded.
        EXPECT_EQ(callbacksUnderForeignHandler, 0);
        if (dpy != nullptr) {
            EXPECT_EQ(CurrentErrorHandler(), &CountError);
            if (parent != 0)
                XDestroyWindow(dpy, parent);
            XSync(dpy, False);
            EXPECT_EQ(g_hostErrors, 0) << "an X error reached the host's handler";
            XSetErrorHandler(nullptr);
        }
    }

    LV2UI_Handle instantiate() { return instantiate(Offer()); }
    LV2UI_Handle instantiate(const Offer& offer) {
        const Window into = offer.into != 0 ? offer.into : parent;
        const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(into))};
        const LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
        const LV2_Feature touchFeature{LV2_UI__touch, &touch};
        const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
        const ScaleOption scale(offer.scaleFactor);
        const LV2_Feature mapFeature{LV2_URID__map, &g_map};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(scale.options)};
        std::vector<const LV2_Feature*> features;
        if (offer.map)
            features.push_back(&mapFeature);
        if (offer.scaleFactor > 0.0f)
            features.push_back(&optionsFeature);
        if (offer.parent)
            features.push_back(&parentFeature);
        if (offer.idle)
            features.push_back(&idleFeature);
        if (offer.touch)
            features.push_back(&touchFeature);
        if (offer.resize)
            features.push_back(&resizeFeature);
        features.push_back(nullptr);
        widget = nullptr;
        return descriptor->instantiate(descriptor, offer.plugin, HALVORINE_LV2_BUNDLE, &WriteToPort, this, &widget,
                                       features.data());
    }

    void portEvent(int parameter, float value) {
        descriptor->port_event(handle, lv2edition::ControlPort(parameter), sizeof value, 0, &value);
    }

    // Runs the idle interface, as a host's UI loop does, until `done` holds
    // or two seconds have passed.
    bool pumpUntil(const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < end) {
            if (handle != nullptr) {
                EXPECT_EQ(idleInterface->idle(handle), 0);
            }
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

    std::vector<Window> children() { return x11test::Children(dpy, parent); }
    // The one window inside the host's window, 0 if there is none.
    Window editor() {
        const std::vector<Window> list = children();
        return list.size() == 1 ? list[0] : 0;
    }
    platform::Bitmap captureEditor() { return x11test::Capture(dpy, editor(), 398, 241); }
    bool shows(const platform::Bitmap& expected) {
        return pumpUntil([&] { return x11test::SamePicture(captureEditor(), expected); });
    }

    std::vector<Message> writes() const {
        std::vector<Message> out;
        for (const Message& m : messages)
            if (m.kind == Message::Write)
                out.push_back(m);
        return out;
    }

    // Real pointer input at slider-relative (x, y) of the slider of
    // `index`; x may lie outside the slider and the window.
    void pointerTo(int index, int x, int y = 6) {
        const platform::PictureSpec& slider = reference.screen().picture(reference.window().sliderOf(index)->id);
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

    static void WriteToPort(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol,
                            const void* buffer) {
        auto* self = static_cast<Lv2Ui*>(controller);
        self->callbacksUnderForeignHandler += CurrentErrorHandler() != &CountError;
        Message m{Message::Write, port, size, protocol};
        if (size == sizeof(float))
            m.value = *static_cast<const float*>(buffer);
        self->messages.push_back(m);
        if (self->onWrite)
            self->onWrite();
    }
    static void Touch(LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
        auto* self = static_cast<Lv2Ui*>(h);
        self->callbacksUnderForeignHandler += CurrentErrorHandler() != &CountError;
        Message m{Message::Touch, port};
        m.grabbed = grabbed;
        self->messages.push_back(m);
    }
    static int Resize(LV2UI_Feature_Handle h, int width, int height) {
        static_cast<Lv2Ui*>(h)->resizes.push_back({width, height});
        return 0;
    }

    Display* dpy = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
    Window parent = 0;
    LV2UI_Handle handle = nullptr;
    LV2UI_Widget widget = nullptr;
    LV2UI_Touch touch{this, &Touch};
    LV2UI_Resize resize{this, &Resize};
    std::vector<Message> messages;
    std::vector<std::pair<int, int>> resizes;
    std::function<void()> onWrite;
    int callbacksUnderForeignHandler = 0;
    edtest::Fixture reference;  // the VST 2.x editor, headless, open on "BigBeat"
    const x11test::XTest* xtest = x11test::XTest::get();
};

}  // namespace

TEST_F(Lv2Ui, DescriptorNamesTheUiAndOffersTheIdleShowAndOptionsInterfacesOnly) {
    EXPECT_STREQ(descriptor->URI, lv2edition::kUiUri);
    auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(
        dlsym(dlopen(HALVORINE_UI_LIBRARY, RTLD_NOW | RTLD_NOLOAD), "lv2ui_descriptor"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry(1), nullptr);
    EXPECT_NE(descriptor->extension_data(LV2_UI__showInterface), nullptr);
    EXPECT_EQ(descriptor->extension_data(LV2_UI__resize), nullptr);
    EXPECT_NE(descriptor->extension_data(LV2_OPTIONS__interface), nullptr);
}

TEST_F(Lv2Ui, EmbedsItselfInTheParentWithTheKeyedEditorsPictureAndTellsTheHostItsSize) {
    handle = instantiate();
    ASSERT_NE(handle, nullptr);
    const Window child = editor();
    ASSERT_NE(child, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(widget), static_cast<uintptr_t>(child));
    XWindowAttributes a{};
    ASSERT_TRUE(XGetWindowAttributes(dpy, child, &a));
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.width, 398);
    EXPECT_EQ(a.height, 241);
    EXPECT_EQ(a.map_state, IsViewable);
    ASSERT_EQ(resizes.size(), 1u);
    EXPECT_EQ(resizes[0], std::make_pair(398, 241));

    // Before the host reports a port, the window shows the controls'
    // defaults: "BigBeat", as a new VST 2.x instance's editor does, with
    // the "Key" selector on "Left" (which that editor's own panel lacks).
    const platform::Bitmap expected = reference.screen().compose();
    EXPECT_TRUE(shows(expected)) << x11test::SamePicture(captureEditor(), expected).message();
    EXPECT_NE(edtest::Fnv1a(captureEditor()), edtest::kBigBeatGoldenHash) << "no Key selector";
    EXPECT_TRUE(messages.empty());
}

TEST_F(Lv2Ui, PortEventsMoveTheSlidersAtTheNextIdleAsTheHostsChangesDoInTheVst2Editor) {
    handle = instantiate();
    ASSERT_NE(handle, nullptr);
    pumpFor(30);
    // Every control of "Gated", reported port by port.
    reference.dispatch(effSetProgram, 0, 1);
    for (int i = 0; i < params::kNumActive; ++i)
        portEvent(i, reference.plugin->parameterValue(i));
    reference.screen().tick();
    platform::Bitmap expected = reference.screen().compose();
    EXPECT_TRUE(shows(expected)) << x11test::SamePicture(captureEditor(), expected).message();

    // Values out of range are shown as the plug-in applies them.
    portEvent(kBoost, 7.0f);
    portEvent(kBand1, std::nanf(""));
    portEvent(21, -3.0f);
    reference.plugin->setParameter(kBoost, 7.0f);
    reference.plugin->setParameter(kBand1, std::nanf(""));
    reference.plugin->setParameter(21, -3.0f);
    reference.screen().tick();
    expected = reference.screen().compose();
    EXPECT_TRUE(shows(expected)) << x11test::SamePicture(captureEditor(), expected).message();

    // Events that are no control value of this plug-in change nothing.
    const float zero = 0.0f;
    const double wide = 0.0;
    descriptor->port_event(handle, lv2edition::kOutL, sizeof zero, 0, &zero);
    descriptor->port_event(handle, lv2edition::kNumPorts, sizeof zero, 0, &zero);
    descriptor->port_event(handle, lv2edition::ControlPort(kBoost), sizeof zero, 1, &zero);
    descriptor->port_event(handle, lv2edition::ControlPort(kBoost), sizeof wide, 0, &wide);
    pumpFor(60);
    EXPECT_TRUE(x11test::SamePicture(captureEditor(), expected));
    EXPECT_TRUE(messages.empty()) << "a port event was sent back";
}

// The key port's value and key_missing show as the VST 2.x editor shows
// that choice and "no signal"; a click on the selector writes the next
// choice to the key port. The plain plug-in has no "External" (its top
// choice is "Side") and no key to miss.
TEST_F(Lv2Ui, TheKeySelectorShowsTheKeyPortAndAClickWritesTheNextChoice) {
    const struct {
        const lv2edition::Variant& variant;
        int shown;
        bool missingShown;
    } cases[] = {
        {lv2edition::kSidechain, 4, true},
        {lv2edition::kPlain, 3, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant.uri);
        Offer offer;
        offer.plugin = c.variant.uri;
        handle = instantiate(offer);
        ASSERT_NE(handle, nullptr);
        pumpFor(30);
        const float external = 4.0f, missing = 1.0f;
        descriptor->port_event(handle, lv2edition::kKey, sizeof external, 0, &external);
        if (c.variant.sidechain)  // the plain plug-in's port there is a band meter
            descriptor->port_event(handle, lv2edition::kKeyMissing, sizeof missing, 0, &missing);
        edtest::Fixture shown;
        shown.dispatch(effEditOpen);
        shown.window().keySource.store(c.shown);
        shown.window().showsActivity = true;
        shown.window().keyMissing.store(c.missingShown);
        shown.window().SetAll();
        shown.screen().tick();
        const platform::Bitmap expected = shown.screen().compose();
        EXPECT_TRUE(shows(expected)) << x11test::SamePicture(captureEditor(), expected).message();
        EXPECT_TRUE(messages.empty()) << "a port event was sent back";

        if (xtest != nullptr) {
            int rootX = 0, rootY = 0;
            Window ignored = 0;
            XTranslateCoordinates(dpy, parent, DefaultRootWindow(dpy), 0, 0, &rootX, &rootY, &ignored);
            xtest->motion(dpy, -1, rootX + 255, rootY + 221, CurrentTime);  // the selector's middle
            button(true);
            button(false);
            ASSERT_TRUE(pumpUntil([&] { return !writes().empty(); }));
            pumpFor(30);
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].port, lv2edition::kKey);
            EXPECT_EQ(messages[0].size, sizeof(float));
            EXPECT_EQ(messages[0].protocol, 0u);
            EXPECT_EQ(messages[0].value, 0.0f);  // after the top choice, "Left"
        }
        descriptor->cleanup(handle);
        handle = nullptr;
        messages.clear();
    }
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
}

// Some hosts call the idle interface without passing the feature, and one
// may never call it: the UI opens for either plug-in all the same, drawn
// once at open before any idle call.
TEST_F(Lv2Ui, OpensForEitherPluginWithOrWithoutTheIdleFeature) {
    const platform::Bitmap expected = reference.screen().compose();
    const struct {
        const char* plugin;
        bool idle;
    } cases[] = {
        {lv2edition::kPluginUri, false},
        {lv2edition::kSidechainUri, false},
        {lv2edition::kSidechainUri, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.plugin << (c.idle ? " with" : " without") << " the idle feature");
        Offer offer;
        offer.plugin = c.plugin;
        offer.idle = c.idle;
        handle = instantiate(offer);
        ASSERT_NE(handle, nullptr);
        XSync(dpy, False);
        ASSERT_NE(editor(), 0u);
        EXPECT_TRUE(x11test::SamePicture(captureEditor(), expected))
            << x11test::SamePicture(captureEditor(), expected).message();
        descriptor->cleanup(handle);
        handle = nullptr;
    }
}

TEST_F(Lv2Ui, RealDragWritesEachValueToItsPortBetweenTheTouchesOfAGesture) {
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
    handle = instantiate();
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(shows(reference.screen().compose()));

    auto step = [&](size_t count) { return pumpUntil([&] { return writes().size() >= count; }); };
    pointerTo(kBoost, 50);
    button(true);
    ASSERT_TRUE(step(1));
    pointerTo(kBoost, -40);  // left of the window
    ASSERT_TRUE(step(2));
    pointerTo(kBand1, 30);  // over another slider: still boost's, at its x 160
    ASSERT_TRUE(step(3));
    pointerTo(kBoost, 71, 400);  // below the window
    ASSERT_TRUE(step(4));
    button(false);
    pumpFor(40);
    pointerTo(kBand1, 30);  // released: a hover, which sends nothing
    pumpFor(40);

    const uint32_t port = lv2edition::ControlPort(kBoost);
    ASSERT_EQ(messages.size(), 6u);
    EXPECT_EQ(messages.front().kind, Message::Touch);
    EXPECT_EQ(messages.front().port, port);
    EXPECT_TRUE(messages.front().grabbed);
    EXPECT_EQ(messages.back().kind, Message::Touch);
    EXPECT_EQ(messages.back().port, port);
    EXPECT_FALSE(messages.back().grabbed);
    const float expected[] = {0.5f, 0.0f, 1.0f, 0.7625f};
    for (int i = 0; i < 4; ++i) {
        const Message& m = messages[static_cast<size_t>(i) + 1];
        EXPECT_EQ(m.kind, Message::Write) << i;
        EXPECT_EQ(m.port, port) << i;
        EXPECT_EQ(m.size, sizeof(float)) << i;
        EXPECT_EQ(m.protocol, 0u) << i;
        EXPECT_EQ(m.value, expected[i]) << i;
    }

    // The same gestures on the VST 2.x editor give the same picture, knob
    // and read-out included.
    auto& s = reference.screen();
    const int y = reference.sliderY(kBoost);
    s.mouseDown(reference.sliderX(kBoost, 50), y, platform::MouseButton::Left);
    s.mouseMove(reference.sliderX(kBoost, -40), y);
    s.mouseMove(reference.sliderX(kBoost, 160), y);
    s.mouseMove(reference.sliderX(kBoost, 71), y + 400);
    s.mouseUp(reference.sliderX(kBoost, 71), y + 400, platform::MouseButton::Left);
    s.mouseMove(reference.sliderX(kBand1, 30), reference.sliderY(kBand1));
    EXPECT_TRUE(shows(s.compose())) << x11test::SamePicture(captureEditor(), s.compose()).message();
}

TEST_F(Lv2Ui, WithOnlyTheRequiredFeaturesADragStillWrites) {
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
    Offer bare;
    bare.touch = false;
    bare.resize = false;
    handle = instantiate(bare);
    ASSERT_NE(handle, nullptr);
    pumpFor(30);
    pointerTo(kBand1, 90);
    button(true);
    pointerTo(kBand1, 10);
    EXPECT_TRUE(pumpUntil([&] { return writes().size() >= 2; }));
    button(false);
    pumpFor(30);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].port, lv2edition::ControlPort(kBand1));
    EXPECT_EQ(messages[0].value, 1.0f);
    EXPECT_EQ(messages[1].value, 0.0f);
    EXPECT_TRUE(resizes.empty());
}

TEST_F(Lv2Ui, RefusesAnotherPluginAMissingFeatureOrAParentItCannotReach) {
    Offer other;
    other.plugin = "urn:pellucid:halvorine#not";
    EXPECT_EQ(instantiate(other), nullptr);
    Offer noParent;
    noParent.parent = false;
    EXPECT_EQ(instantiate(noParent), nullptr);
    Offer gone;
    gone.into = XCreateSimpleWindow(dpy, parent, 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(dpy, gone.into);
    XSync(dpy, False);
    EXPECT_EQ(instantiate(gone), nullptr);

    const std::string display = std::getenv("DISPLAY");
    unsetenv("DISPLAY");
    EXPECT_EQ(instantiate(), nullptr);
    setenv("DISPLAY", display.c_str(), 1);

    EXPECT_TRUE(children().empty()) << "a refused UI left a window behind";
    EXPECT_TRUE(resizes.empty());
    handle = instantiate();
    EXPECT_NE(handle, nullptr);
}

TEST_F(Lv2Ui, CleanupLeavesNoWindowBehindAndEndsAGestureUnderWay) {
    handle = instantiate();
    ASSERT_NE(handle, nullptr);
    pumpFor(30);
    descriptor->cleanup(handle);
    handle = nullptr;
    XSync(dpy, False);
    EXPECT_TRUE(children().empty());

    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6 for the drag");
    handle = instantiate();
    ASSERT_NE(handle, nullptr);
    pumpFor(30);
    pointerTo(kBoost, 30);
    button(true);
    ASSERT_TRUE(pumpUntil([&] { return !writes().empty(); }));
    descriptor->cleanup(handle);  // the button is still down
    handle = nullptr;
    button(false);
    XSync(dpy, False);
    EXPECT_TRUE(children().empty());
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages.back().kind, Message::Touch);
    EXPECT_EQ(messages.back().port, lv2edition::ControlPort(kBoost));
    EXPECT_FALSE(messages.back().grabbed);
}

TEST_F(Lv2Ui, HostThatCleansUpWhileHearingOfADragLosesNothing) {
    if (xtest == nullptr)
        SKIP_WITHOUT("libXtst.so.6");
    handle = instantiate();
    ASSERT_NE(handle, nullptr);
    pumpFor(30);
    onWrite = [this] {
        LV2UI_Handle doomed = handle;
        handle = nullptr;
        descriptor->cleanup(doomed);
    };
    // Queued behind the press, these find the window gone.
    pointerTo(kBoost, 50);
    button(true);
    pointerTo(kBoost, 60);
    button(false);
    // Idle runs until the first write; the UI is gone after it.
    EXPECT_TRUE(pumpUntil([&] { return handle == nullptr; }));
    XSync(dpy, False);
    EXPECT_EQ(writes().size(), 1u);
    EXPECT_TRUE(children().empty());
    // The drag that the cleanup cut short still ends its gesture.
    std::vector<bool> touches;
    for (const Message& m : messages)
        if (m.kind == Message::Touch && m.port == lv2edition::ControlPort(kBoost))
            touches.push_back(m.grabbed);
    EXPECT_EQ(touches, (std::vector<bool>{true, false}));
}

TEST_F(Lv2Ui, OutOfMemoryWhilePaintingStaysInsideTheUiWhichCatchesUpAfterwards) {
#if !defined(HALVORINE_FAILING_ALLOCATOR)
    GTEST_SKIP() << "sanitizer builds bring their own allocator";
#else
    handle = instantiate();
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(shows(reference.screen().compose()));
    portEvent(kBoost, 0.1f);
    g_failedAllocations = 0;
    g_failLargeAllocations = true;
    pumpFor(100);  // an exception out of idle fails the test
    g_failLargeAllocations = false;
    EXPECT_GT(g_failedAllocations.load(), 0) << "no picture was painted meanwhile";
    reference.plugin->setParameter(kBoost, 0.1f);
    reference.screen().tick();
    const platform::Bitmap expected = reference.screen().compose();
    EXPECT_TRUE(shows(expected)) << x11test::SamePicture(captureEditor(), expected).message();
#endif
}

// The host's ui:scaleFactor sets the scale, else the desktop's Xft.dpi; the
// host is told the scaled size, the picture is the headless one of that
// scale, and a new scale factor through opts:interface resizes the UI.
TEST_F(Lv2Ui, OpensAtTheHostsScaleFactorOrTheDesktopsAndFollowsANewOne) {
    const struct {
        const char* resources;
        float scaleFactor;
        int width, height;
        float shownScale;
    } cases[] = {
        {"Xft.dpi:\t192\n", 0.0f, 796, 482, 2.0f},
        {"Xft.dpi:\t192\n", 1.5f, 597, 362, 1.5f},
        {"", 0.0f, 398, 241, 1.0f},
    };
    const auto* options =
        static_cast<const LV2_Options_Interface*>(descriptor->extension_data(LV2_OPTIONS__interface));
    ASSERT_NE(options, nullptr);
    const Window big = x11test::MakeHostWindow(dpy, 900, 600);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resources);
        x11test::ScopedResources resources(dpy, c.resources);
        Offer offer;
        offer.into = big;
        offer.scaleFactor = c.scaleFactor;
        resizes.clear();
        handle = instantiate(offer);
        ASSERT_NE(handle, nullptr);
        const std::vector<Window> list = x11test::Children(dpy, big);
        ASSERT_EQ(list.size(), 1u);
        XWindowAttributes a{};
        ASSERT_TRUE(XGetWindowAttributes(dpy, list[0], &a));
        EXPECT_EQ(a.width, c.width);
        EXPECT_EQ(a.height, c.height);
        ASSERT_EQ(resizes.size(), 1u);
        EXPECT_EQ(resizes[0], std::make_pair(c.width, c.height));

        edtest::Fixture scaled;
        scaled.dispatch(effVendorSpecific, FourCharCode('P', 'r', 'e', 'S'), FourCharCode('A', 'e', 'C', 's'), nullptr,
                        c.shownScale);
        scaled.dispatch(effEditOpen);
        ShowKeySelector(scaled);
        const platform::Bitmap expected = scaled.screen().compose();
        EXPECT_TRUE(pumpUntil([&] { return x11test::SamePicture(x11test::Capture(dpy, list[0], c.width, c.height),
                                                                 expected); }));
        scaled.dispatch(effEditClose);

        const ScaleOption larger(1.25f);
        EXPECT_EQ(options->set(handle, larger.options), 0u);
        pumpFor(20);
        ASSERT_TRUE(XGetWindowAttributes(dpy, list[0], &a));
        EXPECT_EQ(a.width, 498);
        EXPECT_EQ(a.height, 301);
        EXPECT_EQ(resizes.back(), std::make_pair(498, 301));
        descriptor->cleanup(handle);
        handle = nullptr;
    }
    XDestroyWindow(dpy, big);
}
