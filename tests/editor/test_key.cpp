// The key selector, driven through the headless window as a keyed edition's
// owner drives it: clicks at every scale, the read-out's key lines, and the
// picture against the window without it.
#include <cmath>

#include "EditorTestUtil.h"

namespace {

struct KeyOwner : EditorController {
    void setParameterAutomated(int, float) override {}
    void keySourceChosen(int choice) override { chosen.push_back(choice); }
    std::vector<int> chosen;
};

// The editor on "BigBeat" at `scale`, owned by a KeyOwner, showing `source`.
struct KeyedEditor {
    KeyedEditor(double scale, int source) {
        f.dispatch(effEditOpen);
        w().plugin = &owner;
        w().keySource.store(source);
        w().SetAll();
        w().setScale(scale);  // which draws the selector again
    }
    ~KeyedEditor() { f.dispatch(effEditClose); }
    TPluginEditorWindow& w() { return f.window(); }
    int at(int units) { return static_cast<int>(std::ceil(units * w().form().scale() - 0.5)); }
    void press(int x, int y, int toX, int toY) {
        f.screen().mouseDown(at(x), at(y), platform::MouseButton::Left);
        f.screen().mouseMove(at(toX), at(toY));
        f.screen().mouseUp(at(toX), at(toY), platform::MouseButton::Left);
    }
    uint64_t selector() {  // the selector's place as drawn
        const int u = w().form().drawingScale();
        return edtest::Fnv1a(f.screen().composeFrame({227 * u, 210 * u, 284 * u, 233 * u}));
    }
    edtest::Fixture f;
    KeyOwner owner;
};

const double kScales[] = {1, 1.25, 1.5, 2, 2.75, 3};

}  // namespace

TEST(EditorKey, ClicksInsideTheSelectorCycleTheChoicesAtEveryScale) {
    // Press and release points, panel units; the last is a drag from Boost.
    const struct {
        int x, y, toX, toY;
        bool hits;
    } clicks[] = {{227, 210, 227, 210, true},  {283, 232, 283, 232, true},  {255, 221, 255, 221, true},
                  {226, 221, 226, 221, false}, {284, 221, 284, 221, false}, {255, 209, 255, 209, false},
                  {255, 233, 255, 233, false}, {70, 186, 255, 221, false}};
    for (double scale : kScales) {
        SCOPED_TRACE(scale);
        KeyedEditor e(scale, 2);
        std::vector<int> expected;
        for (const auto& c : clicks) {
            const uint64_t before = e.selector();
            e.press(c.x, c.y, c.toX, c.toY);
            EXPECT_EQ(e.selector() != before, c.hits);
            if (c.hits) {
                expected.push_back((expected.empty() ? 3 : expected.back() + 1) % 5);
                EXPECT_EQ(e.w().readout(), editortext::KeyLine(expected.back()));
            }
        }
        EXPECT_EQ(e.owner.chosen, expected);
        EXPECT_EQ(e.w().keySource.load(), 0);
        EXPECT_EQ(e.w().values[5].load(), 1.0f);  // the drag went to Boost alone
    }
}

TEST(EditorKey, NoSignalCoversTheReadoutLineUntilTheKeyComesBack) {
    const char* const title = "Halvorine : PellucidFX :: ";
    const struct {
        int source;  // as the owner writes it
        bool missing;
        int clickX, clickY;  // then a click there (the selector, Boost), if any
        const char* line;
    } steps[] = {{-1, true, 0, 0, title},           {0, true, 0, 0, "Key: no signal"},
                 {0, false, 0, 0, title},           {0, false, 255, 221, "Key: Right"},
                 {1, true, 70, 186, "Key: no signal"}, {1, false, 0, 0, "Boost :: 0dB"}};
    KeyedEditor e(1, -1);
    for (const auto& s : steps) {
        e.w().keySource.store(s.source);
        e.w().keyMissing.store(s.missing);
        e.w().SetAll();
        if (s.clickX > 0)
            e.press(s.clickX, s.clickY, s.clickX, s.clickY);
        EXPECT_EQ(e.w().readout(), s.line);
        if (s.source < 0) {  // the VST 2.x edition's window, as ever
            EXPECT_EQ(edtest::Fnv1a(e.f.screen().compose()), edtest::kBigBeatGoldenHash);
        }
    }
}

TEST(EditorKey, SelectorChangesOnlyTheBottomStripAtEveryScale) {
    for (double scale : kScales) {
        SCOPED_TRACE(scale);
        const platform::Bitmap without = KeyedEditor(scale, -1).f.screen().compose();
        const platform::Bitmap with = KeyedEditor(scale, 4).f.screen().compose();
        int inside = 0, outside = 0;
        for (int y = 0; y < with.height; ++y)
            for (int x = 0; x < with.width; ++x)  // in-between scales filter a pixel further
                if (with.at(x, y) != without.at(x, y))
                    ++(x >= std::floor(227 * scale) - 1 && x <= std::ceil(284 * scale) &&
                               y >= std::floor(210 * scale) - 1 && y <= std::ceil(233 * scale)
                           ? inside
                           : outside);
        EXPECT_GT(inside, 0);
        EXPECT_EQ(outside, 0);
    }
}
