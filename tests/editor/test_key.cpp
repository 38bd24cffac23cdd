// The key selector, driven through the headless window as a keyed edition's
// owner drives it: the picture and the clicks at every scale, and the
// read-out's key lines.
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
    void press(int x, int y, int toX, int toY) {  // panel units
        f.screen().mouseDown(at(x), at(y), platform::MouseButton::Left);
        f.screen().mouseMove(at(toX), at(toY));
        f.screen().mouseUp(at(toX), at(toY), platform::MouseButton::Left);
    }
    edtest::Fixture f;
    KeyOwner owner;
};

}  // namespace

TEST(EditorKey, SelectorDrawsInTheBottomStripAndClicksCycleItAtEveryScale) {
    // Press and release points; the last is a drag from Boost onto it.
    const struct {
        int x, y, toX, toY;
        bool hits;
    } clicks[] = {{227, 210, 227, 210, true},  {283, 232, 283, 232, true},  {255, 221, 255, 221, true},
                  {226, 221, 226, 221, false}, {284, 221, 284, 221, false}, {255, 209, 255, 209, false},
                  {255, 233, 255, 233, false}, {70, 186, 255, 221, false}};
    for (double s : {1.0, 1.25, 1.5, 2.0, 2.75, 3.0}) {
        SCOPED_TRACE(s);
        KeyedEditor e(s, 2);
        const platform::Bitmap without = KeyedEditor(s, -1).f.screen().compose();
        // A hash of the pixels that differ from it inside or outside the strip
        // (in-between scales filter a pixel further); 0 for none.
        auto differing = [&](bool inStrip) {
            const platform::Bitmap with = e.f.screen().compose();
            uint64_t hash = 0;
            for (int y = 0; y < with.height; ++y)
                for (int x = 0; x < with.width; ++x)
                    if (with.at(x, y) != without.at(x, y) &&
                        inStrip == (x >= std::floor(227 * s) - 1 && x <= std::ceil(284 * s) &&
                                    y >= std::floor(210 * s) - 1 && y <= std::ceil(233 * s)))
                        hash = hash * 1099511628211ull + x * 7919u + y * 104729u + with.at(x, y).r + 1;
            return hash;
        };
        EXPECT_NE(differing(true), 0u);
        EXPECT_EQ(differing(false), 0u);
        std::vector<int> expected;
        for (const auto& c : clicks) {
            const uint64_t before = differing(true);
            e.press(c.x, c.y, c.toX, c.toY);
            EXPECT_EQ(differing(true) != before, c.hits);  // the selector drawn with its choice
            if (c.hits) {
                expected.push_back((expected.empty() ? 3 : expected.back() + 1) % 5);
                EXPECT_EQ(e.w().readout(), valuetext::KeyLine(expected.back()));
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
