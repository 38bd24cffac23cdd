// The editor inside a host's window, as every edition embeds it
// (EmbeddedEditor), over headless windows: the size before the window
// exists, the pulled refresh, a change of scale, and a close from inside
// the window's own event. The editions' own tests cover only their
// protocols.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EmbeddedEditor.h"
#include "platform/headless/HeadlessWindow.h"
#include "uEditor.h"

namespace {

double gSystemScale = 0.0;
int gSystemScaleReads = 0;
double SystemScale() {
    ++gSystemScaleReads;
    return gSystemScale;
}

struct Owner final : EmbeddedEditor::Owner, EditorController {
    explicit Owner(EmbeddedEditor::Refresh refresh) : editor(*this, refresh) {}

    EditorController& edits() override { return *this; }
    void showIn(TPluginEditorWindow& window) override {
        ++shown;
        window.values[5].store(boost, std::memory_order_relaxed);
    }
    platform::Backend backend() override { return {&platform::headless::CreateHeadlessWindow, &SystemScale}; }
    void afterRefresh() override { ++refreshed; }
    void sizeChanged(int width, int height) override { calls.push_back("size " + std::to_string(width) + "x" + std::to_string(height)); }

    // EditorController: the edits, and a host that closes the editor as it
    // hears of the first one.
    void setParameterAutomated(int index, float) override {
        calls.push_back("set " + std::to_string(index));
        if (closeOnEdit)
            editor.close();
    }
    void beginGesture(int index) override { calls.push_back("begin " + std::to_string(index)); }
    void endGesture(int index) override { calls.push_back("end " + std::to_string(index)); }

    platform::headless::HeadlessWindow& screen() {
        return static_cast<platform::headless::HeadlessWindow&>(editor.window()->form());
    }

    float boost = 0.25f;
    int shown = 0, refreshed = 0;
    bool closeOnEdit = false;
    std::vector<std::string> calls;
    EmbeddedEditor editor;
};

// The headless window's own system scale is 1: where the system's scale
// read before was another, the window opens at another size than the host
// was told, and the host hears of it.
TEST(EmbeddedEditor, SizeBeforeTheWindowAndAfterItOpens) {
    struct Case {
        double host, system;
        int told, opened;
    };
    const Case cases[] = {{0.0, 0.0, 398, 398}, {2.0, 0.0, 796, 796}, {0.0, 2.0, 796, 398}, {1.0, 3.0, 398, 398}};
    for (const Case& c : cases) {
        gSystemScale = c.system;
        gSystemScaleReads = 0;
        Owner owner(EmbeddedEditor::Refresh::Pulled);
        owner.editor.setHostScale(c.host);
        for (int asked = 0; asked < 3; ++asked)
            EXPECT_EQ(owner.editor.width(), c.told) << c.host << " " << c.system;
        EXPECT_EQ(gSystemScaleReads, 1) << "read once until a window opens";
        int parent = 0;
        ASSERT_TRUE(owner.editor.open(&parent));
        EXPECT_EQ(owner.editor.width(), c.opened);
        owner.editor.reportSizeIfChanged();
        const std::vector<std::string> reported =
            c.told == c.opened ? std::vector<std::string>{} : std::vector<std::string>{"size 398x241"};
        EXPECT_EQ(owner.calls, reported);
        owner.editor.close();
        gSystemScale = 3.0;  // the next window may open on another screen
        EXPECT_EQ(owner.editor.width(), c.host > 0.0 ? c.told : 1194);
    }
    gSystemScale = 0.0;
}

TEST(EmbeddedEditor, PulledRefreshAndANewScaleAsksTheHost) {
    Owner owner(EmbeddedEditor::Refresh::Pulled);
    int parent = 0;
    ASSERT_TRUE(owner.editor.open(&parent));
    EXPECT_EQ(owner.shown, 1) << "filled before it is shown";
    owner.boost = 0.75f;
    owner.screen().tick();
    EXPECT_EQ(owner.shown, 2);
    EXPECT_EQ(owner.refreshed, 1);
    EXPECT_EQ(owner.editor.window()->values[5].load(), 0.75f);
    owner.editor.setHostScale(2.0);
    EXPECT_EQ(owner.calls, std::vector<std::string>{"size 796x482"});
    EXPECT_EQ(owner.editor.width(), 796);

    Owner pushed(EmbeddedEditor::Refresh::Pushed);
    ASSERT_TRUE(pushed.editor.open(&parent));
    pushed.screen().tick();
    EXPECT_EQ(pushed.shown, 1) << "a pushed window is filled once, at open";
}

// A host that closes the editor while it hears of a drag's edit: the window
// outlives the event, and the drag's gesture still ends.
TEST(EmbeddedEditor, ClosedInsideADragTheGestureEnds) {
    for (const auto refresh : {EmbeddedEditor::Refresh::Pushed, EmbeddedEditor::Refresh::Pulled}) {
        Owner owner(refresh);
        int parent = 0;
        ASSERT_TRUE(owner.editor.open(&parent));
        owner.closeOnEdit = true;
        TPluginEditorWindow& window = *owner.editor.window();
        platform::headless::HeadlessWindow& screen = owner.screen();
        const auto& slider = screen.picture(window.sliderOf(5)->id);
        screen.mouseDown(slider.left + 40, slider.top + 6, platform::MouseButton::Left);
        EXPECT_EQ(owner.editor.window(), nullptr);
        EXPECT_EQ(owner.calls, (std::vector<std::string>{"begin 5", "set 5", "end 5"}));
    }
}

}  // namespace
