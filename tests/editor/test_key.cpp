// The key selector of the editions that choose what keys the gates, driven
// through the headless window as their owners drive it: clicks at every
// scale, the read-out's key lines, and the picture against the window
// without it.
#include <cmath>
#include <string>

#include "EditorTestUtil.h"

using platform::MouseButton;

namespace {

// Stands in for a keyed edition's owner: keeps what the window sends.
struct KeyOwner : EditorController {
    void setParameterAutomated(int index, float) override { automated.push_back(index); }
    void keySourceChosen(int choice) override { chosen.push_back(choice); }
    std::vector<int> automated, chosen;
};

// The editor on "BigBeat" at `scale`, owned by a KeyOwner, showing `source`.
struct KeyedEditor {
    KeyedEditor(double scale, int source) {
        f.dispatch(effEditOpen);
        w().plugin = &owner;
        w().setScale(scale);
        w().keySource.store(source);
        w().SetAll();
    }
    ~KeyedEditor() { f.dispatch(effEditClose); }
    TPluginEditorWindow& w() { return f.window(); }
    // The first client pixel whose centre lies in panel unit `units`.
    int at(int units) { return static_cast<int>(std::ceil(units * w().form().scale() - 0.5)); }
    void click(int x, int y, MouseButton b = MouseButton::Left) {
        f.screen().mouseDown(at(x), at(y), b);
        f.screen().mouseUp(at(x), at(y), b);
    }
    edtest::Fixture f;
    KeyOwner owner;
};

const double kScales[] = {1, 1.25, 1.5, 2, 2.75, 3};

}  // namespace

TEST(EditorKey, ClicksCycleTheChoicesInsideTheSelectorOnlyAtEveryScale) {
    const struct {
        int x, y;
        bool hits;
    } points[] = {{227, 210, true}, {283, 232, true}, {255, 221, true},  {226, 221, false},
                  {284, 221, false}, {255, 209, false}, {255, 233, false}};
    for (double scale : kScales) {
        SCOPED_TRACE(scale);
        KeyedEditor e(scale, 2);
        std::vector<int> expected;
        uint64_t shown = edtest::Fnv1a(e.f.screen().compose());
        for (const auto& p : points) {
            e.click(p.x, p.y);
            if (!p.hits)
                continue;
            expected.push_back((expected.empty() ? 3 : expected.back() + 1) % 5);
            EXPECT_EQ(e.w().readout(), editortext::KeyLine(expected.back()));
            const uint64_t now = edtest::Fnv1a(e.f.screen().compose());
            EXPECT_NE(now, shown) << "the selector was not drawn again";
            shown = now;
        }
        EXPECT_EQ(e.owner.chosen, expected);
        EXPECT_EQ(e.w().keySource.load(), expected.back());
        // Other buttons choose nothing.
        e.click(255, 221, MouseButton::Right);
        e.click(255, 221, MouseButton::Middle);
        EXPECT_EQ(e.owner.chosen.size(), expected.size());
    }
}

TEST(EditorKey, SliderDragEndingOnTheSelectorChoosesNothing) {
    KeyedEditor e(1.25, 4);
    e.f.screen().mouseDown(e.at(70), e.at(186), MouseButton::Left);  // Boost
    e.f.screen().mouseMove(e.at(255), e.at(221));
    e.f.screen().mouseUp(e.at(255), e.at(221), MouseButton::Left);
    EXPECT_TRUE(e.owner.chosen.empty());
    EXPECT_EQ(e.w().keySource.load(), 4);
    EXPECT_EQ(e.w().values[5].load(), 1.0f);
    EXPECT_EQ(e.owner.automated, std::vector<int>({5, 5}));
}

TEST(EditorKey, NoSignalCoversTheReadoutLineUntilTheKeyComesBack) {
    const char* const title = "Halvorine : PellucidFX :: ";
    // The owner's key choice and "no signal", then a click on the selector
    // or a press on Boost's middle; the line shown after.
    const struct {
        int source;
        bool missing, clickSelector, pressBoost;
        const char* line;
    } steps[] = {{0, true, false, false, "Key: no signal"}, {0, false, false, false, title},
                 {0, false, true, false, "Key: Right"},     {1, true, false, true, "Key: no signal"},
                 {1, false, false, false, "Boost :: 0dB"},  {4, true, true, false, "Key: no signal"},
                 {2, false, false, false, "Key: Left"}};
    KeyedEditor e(1, 0);
    const uint64_t start = edtest::Fnv1a(e.f.screen().compose());
    for (const auto& s : steps) {
        SCOPED_TRACE(s.line);
        e.w().keySource.store(s.source);
        e.w().keyMissing.store(s.missing);
        e.w().SetAll();
        if (s.clickSelector)
            e.click(255, 221);
        if (s.pressBoost)
            e.click(70, 186);
        EXPECT_EQ(e.w().readout(), s.line);
        // The title's line comes back drawn as it was.
        EXPECT_EQ(edtest::Fnv1a(e.f.screen().compose()) == start, s.line == title);
    }
}

TEST(EditorKey, SelectorChangesOnlyItsOwnPlaceAndIsAbsentWithoutAKey) {
    for (double scale : kScales) {
        SCOPED_TRACE(scale);
        KeyedEditor plain(scale, -1);
        plain.w().keyMissing.store(true);  // ignored: this edition has no key
        plain.w().SetAll();
        EXPECT_FALSE(plain.w().hasKeySelector());
        EXPECT_EQ(plain.w().readout(), "Halvorine : PellucidFX :: ");
        const platform::Bitmap without = plain.f.screen().compose();
        if (scale == 1) {
            EXPECT_EQ(edtest::Fnv1a(without), edtest::kBigBeatGoldenHash);
        }
        KeyedEditor keyed(scale, 4);
        const platform::Bitmap with = keyed.f.screen().compose();
        ASSERT_EQ(with.pixels.size(), without.pixels.size());
        int inside = 0, outside = 0;
        for (int y = 0; y < with.height; ++y)
            for (int x = 0; x < with.width; ++x)
                if (with.at(x, y) != without.at(x, y)) {
                    // In-between scales are filtered down: a pixel more.
                    const bool in = x >= std::floor(227 * scale) - 1 && x < std::ceil(284 * scale) + 1 &&
                                    y >= std::floor(210 * scale) - 1 && y < std::ceil(233 * scale) + 1;
                    (in ? inside : outside) += 1;
                }
        EXPECT_GT(inside, 0);
        EXPECT_EQ(outside, 0);
    }
}
