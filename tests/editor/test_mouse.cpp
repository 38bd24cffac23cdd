// Mouse interaction on the sliders, driven through the headless window's
// pointer: press, move (with capture) and release.
#include "EditorTestUtil.h"
#include "artwork/Artwork.h"

using edtest::Fixture;
using platform::MouseButton;

namespace {

class MouseTest : public ::testing::Test {
protected:
    void SetUp() override {
        f.dispatch(effEditOpen);
        edtest::HostCalls().clear();
    }
    void TearDown() override { f.dispatch(effEditClose); }

    // Slider-relative x on the slider of `index`; y in its middle row.
    void press(int index, int x, MouseButton b = MouseButton::Left, bool shift = false) {
        f.screen().mouseDown(f.sliderX(index, x), f.sliderY(index), b, shift);
    }
    void move(int index, int x) { f.screen().mouseMove(f.sliderX(index, x), f.sliderY(index)); }
    void release(int index, int x, MouseButton b = MouseButton::Left) {
        f.screen().mouseUp(f.sliderX(index, x), f.sliderY(index), b);
    }
    float value(int index) { return f.window().values[index].load(); }
    float param(int index) { return f.plugin->getParameter(index); }

    Fixture f;
};

}  // namespace

TEST_F(MouseTest, AbsolutePressSetsTheValueFromThePosition) {
    const struct {
        int x;
        float value;
    } cases[] = {{-5, 0.0f}, {0, 0.0f},      {10, 0.0f},     {11, 0.0125f}, {50, 0.5f},
                 {89, 0.9875f}, {90, 1.0f}, {99, 1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        edtest::HostCalls().clear();
        // A press left of the slider lands on nothing; the others on HQ.
        if (c.x < 0) {
            press(2, c.x);
            EXPECT_TRUE(f.automation().empty());
            continue;
        }
        press(2, c.x);
        EXPECT_TRUE(f.window().dragging);
        EXPECT_EQ(f.window().dragMode, 0);
        EXPECT_EQ(f.window().dragIndex, 2);
        EXPECT_EQ(value(2), c.value);
        EXPECT_EQ(param(2), c.value);
        EXPECT_EQ(f.window().dragStartValue, c.value);
        ASSERT_EQ(f.automation().size(), 1u);  // at once, without a move
        EXPECT_EQ(f.automation()[0].index, 2);
        EXPECT_EQ(f.automation()[0].opt, c.value);
        release(2, c.x);
        EXPECT_FALSE(f.window().dragging);
        EXPECT_EQ(f.window().dragMode, -1);
    }
}

TEST_F(MouseTest, PressDrawsTheSliderAndWritesTheReadout) {
    press(5, 50);
    EXPECT_EQ(f.window().readout(), "Boost :: 0dB");
    // The knob's first column at 0.5 is 45: the track's pixel there is
    // replaced, the one before it is not.
    platform::Surface& s = f.screen().surface(f.window().hboost.id);
    const platform::Bitmap track = artwork::Track();
    EXPECT_EQ(s.pixel(44, 6), track.at(44, 6));
    EXPECT_NE(s.pixel(47, 6), track.at(47, 6));
    release(5, 50);
}

TEST_F(MouseTest, DraggingBeyondTheEndsHoldsTheLimitsAndKeepsSending) {
    press(6, 30);
    move(6, 300);  // far right of the slider: the capture still delivers it
    EXPECT_EQ(value(6), 1.0f);
    move(6, 300);
    move(6, -200);
    EXPECT_EQ(value(6), 0.0f);
    move(6, -150);
    const auto sent = f.automation();
    ASSERT_EQ(sent.size(), 5u);  // the press and every move, changed or not
    EXPECT_EQ(sent[1].opt, 1.0f);
    EXPECT_EQ(sent[2].opt, 1.0f);
    EXPECT_EQ(sent[3].opt, 0.0f);
    EXPECT_EQ(sent[4].opt, 0.0f);
    for (const auto& c : sent)
        EXPECT_EQ(c.index, 6);
    release(6, -150);
    EXPECT_EQ(f.window().dragStartValue, 0.0f);
}

TEST_F(MouseTest, FineDragAddsAThousandthPerPixelToTheStartValue) {
    f.plugin->setParameter(3, 0.5f);
    f.screen().tick();
    const std::string readoutBefore = f.window().readout();
    edtest::HostCalls().clear();

    press(3, 50, MouseButton::Left, true);
    EXPECT_TRUE(f.window().dragging);
    EXPECT_EQ(f.window().dragMode, 1);
    EXPECT_EQ(f.window().dragStartValue, 0.5f);
    EXPECT_TRUE(f.automation().empty());  // nothing until the pointer moves
    EXPECT_EQ(value(3), 0.5f);
    EXPECT_EQ(f.window().readout(), readoutBefore);

    const struct {
        int x;
        float value;
    } steps[] = {{50, 0.54f}, {10, 0.5f}, {0, 0.49f}, {110, 0.6f}};
    for (const auto& s : steps) {
        move(3, s.x);
        EXPECT_FLOAT_EQ(value(3), s.value) << s.x;
        EXPECT_EQ(param(3), value(3));
        EXPECT_EQ(f.automation().back().opt, value(3));
    }
    EXPECT_EQ(f.automation().size(), 4u);
    EXPECT_EQ(f.window().readout().rfind("Attack :: ", 0), 0u);
    release(3, 110);
    EXPECT_FLOAT_EQ(f.window().dragStartValue, 0.6f);
}

TEST_F(MouseTest, FineDragStaysWithinZeroToOne) {
    f.plugin->setParameter(4, 0.95f);
    press(4, 20, MouseButton::Left, true);
    move(4, 200);
    EXPECT_EQ(value(4), 1.0f);
    release(4, 200);
    f.plugin->setParameter(4, 0.005f);
    press(4, 20, MouseButton::Left, true);
    move(4, -100);
    EXPECT_EQ(value(4), 0.0f);
    release(4, -100);
}

TEST_F(MouseTest, RightAndMiddlePressesDoNothing) {
    const float before = value(8);
    for (MouseButton b : {MouseButton::Right, MouseButton::Middle}) {
        press(8, 70, b);
        EXPECT_FALSE(f.window().dragging);
        EXPECT_EQ(f.window().dragMode, -1);
        EXPECT_EQ(value(8), before);
        release(8, 70, b);
    }
    EXPECT_TRUE(f.automation().empty());
}

TEST_F(MouseTest, PressDuringADragIsIgnored) {
    press(10, 30);
    edtest::HostCalls().clear();
    press(10, 80, MouseButton::Right);
    press(11, 80, MouseButton::Left, true);  // captured: still the pressed slider
    // A press reported on another slider directly is ignored as well.
    f.window().SetcontrolSelect(*f.window().sliderOf(12), MouseButton::Left, false, 90, 6);
    EXPECT_TRUE(f.window().dragging);
    EXPECT_EQ(f.window().dragMode, 0);
    EXPECT_EQ(f.window().dragIndex, 10);
    EXPECT_EQ(value(10), 0.25f);
    EXPECT_TRUE(f.automation().empty());
    release(10, 30);
}

TEST_F(MouseTest, ReleaseOfAnyButtonEndsTheDrag) {
    press(14, 30);
    release(14, 30, MouseButton::Right);
    EXPECT_FALSE(f.window().dragging);
    EXPECT_EQ(f.window().dragMode, -1);
    edtest::HostCalls().clear();
    // The left button is still down and the slider still holds the mouse,
    // but moves only show its read-out line now.
    f.window().values[14].store(1.0f);
    move(14, 60);
    EXPECT_TRUE(f.automation().empty());
    EXPECT_EQ(f.window().readout(), "Band 9 Noise Gate Level :: 0dB");
    release(14, 60);
}

TEST_F(MouseTest, LostCaptureEndsTheDragAsARelease) {
    press(3, 30);
    move(3, 50);
    edtest::HostCalls().clear();
    f.screen().loseCapture();
    EXPECT_FALSE(f.window().dragging);
    EXPECT_EQ(f.window().dragMode, -1);
    // Nothing holds the mouse now: a move over another slider is a hover
    // there, and the dragged value stays where the drag left it.
    move(4, 70);
    EXPECT_EQ(f.window().readout(), "Release :: 95%");  // "BigBeat"'s value, not the pointer's
    EXPECT_EQ(param(3), 0.5f);
    EXPECT_TRUE(f.automation().empty());
    f.screen().loseCapture();
    EXPECT_FALSE(f.window().dragging);
}

TEST_F(MouseTest, ReleaseRunsTheRefreshPassAndKeepsTheReadout) {
    press(0, 50);
    const std::string line = f.window().readout();
    EXPECT_EQ(line, "Start Freq :: 640Hz");
    f.window().values[1].store(0.0f);  // changed behind the window's back
    release(0, 50);
    EXPECT_EQ(f.window().drawnValues[1], 0.0f);
    EXPECT_EQ(f.window().readout(), line);
}

TEST_F(MouseTest, HoverShowsTheSlidersLineAndSendsNothing) {
    f.plugin->setParameter(5, 0.5f);
    f.plugin->setParameter(21, 1.0f);
    edtest::HostCalls().clear();
    move(5, 40);
    EXPECT_EQ(f.window().readout(), "Boost :: 0dB");
    move(21, 3);
    EXPECT_EQ(f.window().readout(), "Band 16 Noise Gate Level :: 0dB");
    // Off every slider nothing changes.
    f.screen().mouseMove(5, 5);
    EXPECT_EQ(f.window().readout(), "Band 16 Noise Gate Level :: 0dB");
    EXPECT_TRUE(f.automation().empty());
}

TEST_F(MouseTest, SlidersAreRecognisedByTheirNamesInCapitals) {
    // HSLeft2's capital S does not matter: it drives parameter 7.
    press(7, 90);
    EXPECT_EQ(param(7), 1.0f);
    EXPECT_EQ(f.window().readout(), "Band 2 Noise Gate Level :: 0dB");
    release(7, 90);
    // A control whose name is no slider key is ignored.
    TPluginEditorWindow::Control stranger{"Panel8", f.window().Panel8.id};
    edtest::HostCalls().clear();
    f.window().SetcontrolSelect(stranger, MouseButton::Left, false, 50, 5);
    f.window().MoveControl(stranger, false, 50, 5);
    EXPECT_FALSE(f.window().dragging);
    EXPECT_TRUE(f.automation().empty());
}

TEST_F(MouseTest, ADragTellsTheHostOfNothingButItsAutomation) {
    // No begin or end of an edit, nor anything else, around the values.
    press(9, 20);
    move(9, 40);
    release(9, 40);
    press(10, 20, MouseButton::Left, true);
    move(10, 60);
    release(10, 60);
    ASSERT_EQ(edtest::HostCalls().size(), 3u);
    for (const auto& c : edtest::HostCalls())
        EXPECT_EQ(c.opcode, audioMasterAutomate);
}
