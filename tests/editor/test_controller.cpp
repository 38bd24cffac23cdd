// The window's one way out, EditorController, seen from a controller that
// is no plug-in (as the LV2 UI's is): what it hears of a drag, in order,
// and how a drag ends when the window loses the mouse or goes away.
#include <string>
#include <vector>

#include "EditorTestUtil.h"

using platform::MouseButton;

namespace {

class Recorder final : public EditorController {
public:
    void setParameterAutomated(int index, float value) override {
        calls.push_back("set " + std::to_string(index) + " " + std::to_string(value));
    }
    void beginGesture(int index) override { calls.push_back("begin " + std::to_string(index)); }
    void endGesture(int index) override { calls.push_back("end " + std::to_string(index)); }
    std::vector<std::string> calls;
};

class ControllerTest : public ::testing::Test {
protected:
    ControllerTest() : window(new TPluginEditorWindow(nullptr)) {
        for (int i = 0; i < 31; ++i)
            window->values[i].store(0.5f);
        window->plugin = &recorder;
        window->SetAll();
    }
    ~ControllerTest() override { delete window; }

    platform::headless::HeadlessWindow& screen() {
        return dynamic_cast<platform::headless::HeadlessWindow&>(window->form());
    }
    // Client point of slider-relative x on the slider of `index`.
    int x(int index, int sliderX) { return screen().picture(window->sliderOf(index)->id).left + sliderX; }
    int y(int index) { return screen().picture(window->sliderOf(index)->id).top + 6; }

    Recorder recorder;
    TPluginEditorWindow* window;
};

using Calls = std::vector<std::string>;

}  // namespace

TEST_F(ControllerTest, GesturesFrameEveryDragAndNothingElse) {
    screen().mouseDown(x(2, 50), y(2), MouseButton::Left);
    screen().mouseMove(x(2, 90), y(2));
    screen().mouseUp(x(2, 90), y(2), MouseButton::Left);
    EXPECT_EQ(recorder.calls, (Calls{"begin 2", "set 2 0.500000", "set 2 1.000000", "end 2"}));

    // A fine drag takes hold at the press and sends from the first move.
    recorder.calls.clear();
    screen().mouseDown(x(7, 50), y(7), MouseButton::Left, true);
    EXPECT_EQ(recorder.calls, (Calls{"begin 7"}));
    screen().mouseMove(x(7, 20), y(7), true);
    screen().mouseUp(x(7, 20), y(7), MouseButton::Left);
    EXPECT_EQ(recorder.calls, (Calls{"begin 7", "set 7 0.510000", "end 7"}));

    // Other buttons, hovers and releases outside a drag send nothing.
    recorder.calls.clear();
    screen().mouseDown(x(9, 50), y(9), MouseButton::Right);
    screen().mouseUp(x(9, 50), y(9), MouseButton::Right);
    screen().mouseMove(x(9, 70), y(9));
    screen().mouseUp(x(9, 70), y(9), MouseButton::Left);
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(ControllerTest, ReleasingAnotherButtonEndsTheGestureOnce) {
    screen().mouseDown(x(4, 10), y(4), MouseButton::Left);
    screen().mouseUp(x(4, 10), y(4), MouseButton::Right);
    screen().mouseMove(x(4, 60), y(4));  // left still down: a hover now
    screen().mouseUp(x(4, 60), y(4), MouseButton::Left);
    EXPECT_EQ(recorder.calls, (Calls{"begin 4", "set 4 0.000000", "end 4"}));
    EXPECT_FALSE(screen().mouseCaptured());
}

TEST_F(ControllerTest, LosingTheMouseEndsTheDragAsAReleaseWhereThePointerWasLastSeen) {
    screen().mouseDown(x(5, 50), y(5), MouseButton::Left);
    EXPECT_TRUE(screen().mouseCaptured());
    screen().mouseMove(x(5, 70), y(5) + 100);  // outside the slider: still its drag
    window->values[12].store(0.25f);           // changed behind the window's back
    screen().loseCapture();
    EXPECT_FALSE(window->dragging);
    EXPECT_EQ(window->dragMode, -1);
    EXPECT_EQ(window->dragStartValue, 0.75f);
    EXPECT_EQ(window->drawnValues[12], 0.25f);  // the release's refresh pass ran
    EXPECT_EQ(recorder.calls, (Calls{"begin 5", "set 5 0.500000", "set 5 0.750000", "end 5"}));

    // The mouse is free again: a move elsewhere is a hover over what lies
    // under it, and a second loss is nothing.
    recorder.calls.clear();
    screen().mouseMove(x(21, 50), y(21));
    EXPECT_EQ(window->readout(), "Band 16 Noise Gate Level :: -20dB");
    screen().loseCapture();
    window->onCaptureLost();
    EXPECT_TRUE(recorder.calls.empty());
}

TEST_F(ControllerTest, ClosingTheWindowMidDragEndsTheGesture) {
    screen().mouseDown(x(0, 30), y(0), MouseButton::Left);
    delete window;
    window = nullptr;
    EXPECT_EQ(recorder.calls, (Calls{"begin 0", "set 0 0.250000", "end 0"}));
}

TEST_F(ControllerTest, OnlyTheTopmostPictureUnderThePointerTakesIt) {
    // The read-out lies over nothing that takes the mouse; the background
    // lies under every slider and takes nothing either.
    screen().mouseDown(30, 220, MouseButton::Left);
    screen().mouseDown(5, 5, MouseButton::Left);
    EXPECT_FALSE(screen().mouseCaptured());
    EXPECT_FALSE(window->dragging);
    // A slider's last column takes it; the column after it does not.
    screen().mouseDown(x(14, 99), y(14), MouseButton::Left);
    EXPECT_EQ(window->dragIndex, 14);
    screen().mouseUp(x(14, 99), y(14), MouseButton::Left);
    recorder.calls.clear();
    screen().mouseDown(x(14, 100), y(14), MouseButton::Left);
    EXPECT_TRUE(recorder.calls.empty());
}
