// The editor bridge: size answers, nested opens and closes, the
// editor-closed flag, and how parameter values reach the window.
#include "EditorTestUtil.h"

using edtest::Fixture;

namespace {

ERect Rect(Fixture& f, VstIntPtr* answer = nullptr) {
    ERect* r = nullptr;
    const VstIntPtr a = f.dispatch(effEditGetRect, 0, 0, &r);
    if (answer != nullptr)
        *answer = a;
    return r != nullptr ? *r : ERect{-1, -1, -1, -1};
}

}  // namespace

TEST(EditorBridge, RectangleIsTheWindowsOnlyWhileOpen) {
    Fixture f;
    VstIntPtr answer = 0;
    ERect r = Rect(f, &answer);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.bottom, 518);
    EXPECT_EQ(r.right, 665);
    int parent = 0;
    EXPECT_EQ(f.dispatch(effEditOpen, 0, 0, &parent), 1);
    r = Rect(f);
    EXPECT_EQ(r.bottom, 241);
    EXPECT_EQ(r.right, 398);
    f.dispatch(effEditClose);
    r = Rect(f);
    EXPECT_EQ(r.bottom, 518);
    EXPECT_EQ(r.right, 665);
}

TEST(EditorBridge, OpenCopiesTheParametersAndShowsTheWindow) {
    Fixture f;
    f.plugin->setParameter(25, 0.75f);  // a spare parameter is copied too
    int parent = 0;
    f.dispatch(effEditOpen, 0, 0, &parent);
    TPluginEditorWindow& w = f.window();
    for (int i = 0; i <= 30; ++i)
        EXPECT_EQ(w.values[i].load(), f.plugin->parameterValue(i)) << i;
    EXPECT_EQ(w.values[25].load(), 0.75f);
    ASSERT_NE(w.plugin, nullptr);  // the window's edits reach the plug-in
    w.plugin->setParameterAutomated(5, 0.5f);
    EXPECT_EQ(f.plugin->parameterValue(5), 0.5f);
    EXPECT_FALSE(f.plugin->editorClosed);
    EXPECT_TRUE(f.screen().visible());
    EXPECT_EQ(f.screen().parent(), &parent);
    EXPECT_EQ(f.screen().left(), 0);
    EXPECT_EQ(f.screen().top(), 0);
    EXPECT_GE(f.screen().repaintCount(), 1);
    f.dispatch(effEditClose);
}

TEST(EditorBridge, OnlyTheCloseThatBalancesTheFirstOpenDestroys) {
    Fixture f;
    int parentA = 0, parentB = 0;
    f.dispatch(effEditOpen, 0, 0, &parentA);
    TPluginEditorWindow* first = &f.window();
    f.window().MoveHSlider(5, 40);  // leaves a read-out line a new window would not have
    f.dispatch(effEditOpen, 0, 0, &parentB);
    EXPECT_EQ(&f.window(), first);  // nothing new is built
    EXPECT_EQ(f.bridge().openRequests(), 2);
    EXPECT_EQ(f.bridge().parent(), &parentB);
    EXPECT_EQ(f.screen().parent(), &parentA);  // the window stays where it was made

    f.dispatch(effEditClose);
    ASSERT_EQ(f.bridge().editorWindow(), first);
    EXPECT_FALSE(f.screen().visible());  // hidden, not destroyed
    EXPECT_FALSE(f.plugin->editorClosed);
    EXPECT_EQ(Rect(f).right, 398);

    f.dispatch(effEditClose);
    EXPECT_EQ(f.bridge().editorWindow(), nullptr);
    EXPECT_EQ(f.bridge().parent(), nullptr);
    EXPECT_TRUE(f.plugin->editorClosed);
    EXPECT_EQ(f.bridge().openRequests(), 0);

    EXPECT_EQ(f.dispatch(effEditClose), 0);
    EXPECT_EQ(f.bridge().openRequests(), 0);
    EXPECT_TRUE(f.plugin->editorClosed);
}

TEST(EditorBridge, OpenAfterCloseBuildsANewWindow) {
    Fixture f;
    f.dispatch(effEditOpen);
    f.window().MoveHSlider(5, 40);
    ASSERT_NE(f.window().readout(), "Halvorine : PellucidFX :: ");
    f.dispatch(effEditClose);
    f.dispatch(effEditOpen);
    // The start-up ran again: title line, and the first pass drew everything.
    EXPECT_EQ(f.window().readout(), "Halvorine : PellucidFX :: ");
    EXPECT_EQ(f.window().drawnValues[0], f.plugin->parameterValue(0));
    EXPECT_EQ(f.window().drawnValues[40], -1.0f);
    EXPECT_TRUE(f.screen().visible());
    f.dispatch(effEditClose);
}

TEST(EditorBridge, RequestsBeforeAnyOpenDoNoHarm) {
    Fixture f;
    EXPECT_EQ(f.dispatch(effEditIdle), 0);
    EXPECT_FALSE(f.plugin->editorClosed);
    EXPECT_EQ(f.dispatch(effEditClose), 0);
    EXPECT_TRUE(f.plugin->editorClosed);  // a close without an open still sets it
    EXPECT_EQ(f.bridge().openRequests(), 0);
    f.plugin->setParameter(3, 0.5f);  // update with no window
    EXPECT_EQ(f.plugin->getParameter(3), 0.5f);
    EXPECT_EQ(f.dispatch(effEditOpen), 1);
    EXPECT_FALSE(f.plugin->editorClosed);
    f.dispatch(effEditIdle);
    f.dispatch(effEditClose);
}

TEST(EditorBridge, UpdateReachesTheWindowOnlyWhileItExists) {
    Fixture f;
    f.dispatch(effEditOpen);
    f.dispatch(effEditOpen);
    f.dispatch(effEditClose);  // open but hidden: still kept current
    TPluginEditorWindow& w = f.window();
    f.plugin->setParameter(12, 0.3f);
    EXPECT_EQ(w.values[12].load(), 0.3f);
    // No repaint: the slider moves at the next tick.
    EXPECT_EQ(w.drawnValues[12], 0.0f);
    f.screen().tick();
    EXPECT_EQ(w.drawnValues[12], 0.3f);
    f.dispatch(effEditClose);
    f.plugin->setParameter(12, 0.6f);  // with the window gone, nothing to write
    EXPECT_EQ(f.bridge().editorWindow(), nullptr);
    f.dispatch(effEditOpen);
    EXPECT_EQ(f.window().values[12].load(), 0.6f);
    f.dispatch(effEditClose);
}

TEST(EditorBridge, ProgramChangeReachesTheWindowWithoutAutomation) {
    Fixture f;
    f.dispatch(effEditOpen);
    edtest::HostCalls().clear();
    f.dispatch(effSetProgram, 0, 2);
    const APluginProgram& program = f.plugin->program(2);
    for (int i = 0; i <= 30; ++i)
        EXPECT_EQ(f.window().values[i].load(), program.fvar[i]) << i;
    EXPECT_TRUE(f.automation().empty());
    f.dispatch(effEditClose);
}

namespace {

// What the plug-in and the window held when the host heard of an edit.
struct Seen {
    bool heard = false;
    VstInt32 index = -1;
    float opt = -1, parameter = -1, windowValue = -1;
    std::vector<int> order;  // 1 for automation
};
Seen seen;
TPluginEditorWindow* watched = nullptr;

VstIntPtr VSTCALLBACK WatchingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterVersion)
        return 2400;
    if (opcode == audioMasterAutomate) {
        seen.heard = true;
        seen.index = index;
        seen.opt = opt;
        seen.parameter = effect->getParameter(effect, index);
        seen.windowValue = watched != nullptr ? watched->values[index].load() : -1;
    }
    return 0;
}

}  // namespace

TEST(EditorBridge, ADragReachesThePluginBeforeTheHostHearsOfIt) {
    APlugin plugin(&WatchingHost);
    AEffect* e = plugin.getAeffect();
    e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0);
    auto* bridge = static_cast<APluginEditor*>(plugin.getEditor());
    watched = bridge->editorWindow();
    auto& screen = dynamic_cast<platform::headless::HeadlessWindow&>(watched->form());
    const platform::PictureSpec& hatt = screen.picture(watched->Hatt.id);
    seen = Seen{};
    screen.mouseDown(hatt.left + 50, hatt.top + 6, platform::MouseButton::Left);
    EXPECT_TRUE(seen.heard);
    EXPECT_EQ(seen.index, 3);
    EXPECT_EQ(seen.opt, 0.5f);
    EXPECT_EQ(seen.parameter, 0.5f);    // the plug-in already held it
    EXPECT_EQ(seen.windowValue, 0.5f);  // and had copied it into the window
    screen.mouseUp(hatt.left + 50, hatt.top + 6, platform::MouseButton::Left);
    watched = nullptr;
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
}

TEST(EditorBridge, DestroyingThePluginWithTheEditorOpenFreesTheWindow) {
    // Under the sanitiser builds a leak or a use after free shows here.
    auto* plugin = new APlugin(&edtest::RecordingHost);
    AEffect* e = plugin->getAeffect();
    e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0);
    e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0);
    EXPECT_NE(static_cast<APluginEditor*>(plugin->getEditor())->editorWindow(), nullptr);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0);
}

namespace {
// A host that closes the editor, or the whole instance, as soon as it
// hears of an edit.
VstInt32 g_closeWith = effEditClose;
VstIntPtr VSTCALLBACK ClosingHost(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    if (opcode == audioMasterVersion)
        return 2400;
    if (opcode == audioMasterAutomate && effect != nullptr)
        effect->dispatcher(effect, g_closeWith, 0, 0, nullptr, 0);
    return 0;
}
}  // namespace

TEST(EditorBridge, HostClosingInsideTheAutomationCallbackIsSurvived) {
    // The window is still handling the press when the host closes it: it
    // must go only once the event is done (the sanitiser builds would see
    // a use after free otherwise).
    {
        g_closeWith = effEditClose;
        APlugin plugin(&ClosingHost);
        AEffect* e = plugin.getAeffect();
        e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0);
        auto* bridge = static_cast<APluginEditor*>(plugin.getEditor());
        TPluginEditorWindow* window = bridge->editorWindow();
        auto& screen = dynamic_cast<platform::headless::HeadlessWindow&>(window->form());
        const platform::PictureSpec& boost = screen.picture(window->hboost.id);
        screen.mouseDown(boost.left + 30, boost.top + 6, platform::MouseButton::Left);
        EXPECT_EQ(bridge->editorWindow(), nullptr);
        EXPECT_EQ(plugin.getParameter(5), 0.25f);
        EXPECT_TRUE(plugin.editorClosed);
        // Opening again builds a new window that works.
        g_closeWith = effGetProgram;  // harmless from now on
        EXPECT_EQ(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0), 1);
        ASSERT_NE(bridge->editorWindow(), nullptr);
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0);
    }
    // The same with the whole instance closed from the callback.
    {
        g_closeWith = effClose;
        auto* plugin = new APlugin(&ClosingHost);
        AEffect* e = plugin->getAeffect();
        e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0);
        TPluginEditorWindow* window = static_cast<APluginEditor*>(plugin->getEditor())->editorWindow();
        auto& screen = dynamic_cast<platform::headless::HeadlessWindow&>(window->form());
        const platform::PictureSpec& q = screen.picture(window->HQ.id);
        screen.mouseDown(q.left + 50, q.top + 6, platform::MouseButton::Left);  // frees plugin and window
        g_closeWith = effGetProgram;
    }
}
