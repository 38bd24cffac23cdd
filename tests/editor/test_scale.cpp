// The editor at other scales than 1: where the scale comes from, the size
// the host is told, the geometry in panel units, the picture against scale
// 1, and the mouse, through the headless window.
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "DVstUtils.h"
#include "EditorTestUtil.h"
#include "artwork/Artwork.h"
#include "platform/Resample.h"

using edtest::Fixture;
using platform::Bitmap;
using platform::MouseButton;
using platform::Rgb;

namespace {

const VstInt32 kScaleIndex = FourCharCode('P', 'r', 'e', 'S');
const VstIntPtr kScaleValue = FourCharCode('A', 'e', 'C', 's');

// HALVORINE_SCALE set to `value`, or unset for null.
void SetScaleVariable(const char* value) {
#ifdef _WIN32
    _putenv_s("HALVORINE_SCALE", value != nullptr ? value : "");
#else
    if (value != nullptr)
        setenv("HALVORINE_SCALE", value, 1);
    else
        unsetenv("HALVORINE_SCALE");
#endif
}

// Sets HALVORINE_SCALE for one scope.
struct ScaleVariable {
    explicit ScaleVariable(const char* value) { SetScaleVariable(value); }
    ~ScaleVariable() { SetScaleVariable(nullptr); }
};

// The editor opened on "BigBeat" at the host's scale.
struct ScaledEditor {
    explicit ScaledEditor(float scale) {
        if (scale > 0.0f) {
            EXPECT_EQ(f.dispatch(effVendorSpecific, kScaleIndex, kScaleValue, nullptr, scale), 1);
        }
        EXPECT_EQ(f.dispatch(effEditOpen), 1);
        edtest::HostCalls().clear();
    }
    ~ScaledEditor() { f.dispatch(effEditClose); }
    ERect rect() {
        ERect* r = nullptr;
        f.dispatch(effEditGetRect, 0, 0, &r);
        return *r;
    }
    // A client coordinate whose pixel's centre lies in panel unit `units`:
    // the first such pixel, or the last.
    int pixel(int units, bool last = false) {
        const double s = f.window().form().scale();
        return last ? static_cast<int>(std::ceil((units + 1) * s - 0.5)) - 1
                    : static_cast<int>(std::ceil(units * s - 0.5));
    }
    Fixture f;
};

}  // namespace

TEST(EditorScale, ChoiceOfScaleTakesTheOverrideThenTheHostThenTheSystem) {
    const struct {
        const char* variable;  // HALVORINE_SCALE, null for unset
        double host, system, expected;
    } cases[] = {
        {nullptr, 0, 0, 1},        {nullptr, 2, 0, 2},         {nullptr, 0, 1.5, 1.5},
        {nullptr, 2, 1.5, 2},      {nullptr, 0.5, 0, 1},       {nullptr, 7, 0, 3},
        {nullptr, 1.3, 0, 1.25},   {nullptr, 1.126, 0, 1.25},  {nullptr, NAN, 2, 2},
        {nullptr, -2, INFINITY, 1}, {"3", 2, 1.5, 3},          {"150%", 2, 0, 1.5},
        {"1", 2, 2, 1},            {"two", 2, 0, 2},           {"", 0, 1.75, 1.75},
        {"2x", 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.variable ? c.variable : "(unset)") + " " + std::to_string(c.host) + " " +
                     std::to_string(c.system));
        ScaleVariable variable(c.variable);
        EXPECT_EQ(platform::ChooseScale(c.host, c.system), c.expected);
    }
}

// A locale whose decimal separator is a comma for LC_NUMERIC, for one
// scope; `active` is false where the system has none. Linux machines often
// have only C and C.UTF-8 installed: a German locale is then made from the
// C library's sources (localedef) in a folder of the test's own.
struct CommaLocale {
    CommaLocale() {
        for (const char* name : {"de_DE.UTF-8", "German_Germany.1252", "de-DE"})
            if (take(name))
                return;
#ifndef _WIN32
        const std::string folder = ::testing::TempDir() + "halvorine-locales";
        const std::string make = "mkdir -p '" + folder + "' && localedef -i de_DE -f UTF-8 '" + folder +
                                 "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(make.c_str()) == 0) {
            setenv("LOCPATH", folder.c_str(), 1);
            take("de_DE.UTF-8");
        }
#endif
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, "C"); }
    bool take(const char* name) {
        active = std::setlocale(LC_NUMERIC, name) != nullptr && *std::localeconv()->decimal_point == ',';
        return active;
    }
    bool active = false;
};

TEST(EditorScale, OverrideKeepsItsFullStopInACommaLocale) {
    CommaLocale comma;
    if (!comma.active)
        GTEST_SKIP() << "no locale with a decimal comma, and none could be made";
    const struct {
        const char* variable;
        double host, expected;
    } cases[] = {{"1.5", 0, 1.5}, {"2.75", 0, 2.75}, {"112.5%", 0, 1.25}, {" 1.25 ", 2, 1.25}, {"1,5", 2, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable);
        ScaleVariable variable(c.variable);
        EXPECT_EQ(platform::ChooseScale(c.host, 0.0), c.expected);
    }
}

TEST(EditorScale, HostScaleSetsTheSizeTheHostIsToldAndOnlyItsOwnRequestIsTaken) {
    const struct {
        float scale;
        int width, height, closedWidth, closedHeight;
    } cases[] = {{0.0f, 398, 241, 665, 518},   {1.0f, 398, 241, 665, 518},    {1.5f, 597, 362, 998, 777},
                 {2.0f, 796, 482, 1330, 1036}, {3.0f, 1194, 723, 1995, 1554}, {1.75f, 697, 422, 1164, 907}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        Fixture f;
        if (c.scale > 0.0f) {
            EXPECT_EQ(f.dispatch(effVendorSpecific, kScaleIndex, kScaleValue, nullptr, c.scale), 1);
        }
        ERect* r = nullptr;
        f.dispatch(effEditGetRect, 0, 0, &r);
        EXPECT_EQ(r->right, c.closedWidth);
        EXPECT_EQ(r->bottom, c.closedHeight);
        f.dispatch(effEditOpen);
        EXPECT_EQ(f.screen().clientWidth(), c.width);
        EXPECT_EQ(f.screen().clientHeight(), c.height);
        EXPECT_EQ(f.screen().compose().width, c.width);
        EXPECT_EQ(f.screen().compose().height, c.height);
        f.dispatch(effEditGetRect, 0, 0, &r);
        EXPECT_EQ(r->right, c.width);
        EXPECT_EQ(r->bottom, c.height);
        f.dispatch(effEditClose);
    }
    // Any other vendor request answers 0 and changes nothing.
    Fixture f;
    EXPECT_EQ(f.dispatch(effVendorSpecific, kScaleIndex, 0, nullptr, 2.0f), 0);
    EXPECT_EQ(f.dispatch(effVendorSpecific, 0, kScaleValue, nullptr, 2.0f), 0);
    EXPECT_EQ(f.dispatch(effVendorSpecific, FourCharCode('s', 't', 'C', 'A'), kScaleValue, nullptr, 2.0f), 0);
    f.dispatch(effEditOpen);
    EXPECT_EQ(f.screen().clientWidth(), 398);
    f.dispatch(effEditClose);
}

TEST(EditorScale, OverrideWinsOverTheHost) {
    ScaleVariable variable("3");
    ScaledEditor e(2.0f);
    EXPECT_EQ(e.rect().right, 1194);
    EXPECT_EQ(e.rect().bottom, 723);
}

// Every picture stands at its panel position times the drawing scale, and
// every knob where its value puts it: the slider's picture is the track and
// the knob of that scale, the knob's left edge at its panel column times
// the scale.
TEST(EditorScale, GeometryAtScalesTwoAndThreeIsPanelUnitsTimesTheScale) {
    for (int scale : {2, 3}) {
        SCOPED_TRACE(scale);
        ScaledEditor e(static_cast<float>(scale));
        Fixture reference;
        reference.dispatch(effEditOpen);
        ASSERT_EQ(e.f.screen().pictureCount(), reference.screen().pictureCount());
        for (int i = 0; i < e.f.screen().pictureCount(); ++i) {
            const platform::PictureSpec& s = e.f.screen().picture(i);
            const platform::PictureSpec& r = reference.screen().picture(i);
            EXPECT_EQ(std::string(s.name), r.name);
            EXPECT_EQ(s.left, r.left * scale) << r.name;
            EXPECT_EQ(s.top, r.top * scale) << r.name;
            EXPECT_EQ(s.width, r.width * scale) << r.name;
            EXPECT_EQ(s.clipHeight, r.clipHeight * scale) << r.name;
        }
        reference.dispatch(effEditClose);

        const Bitmap track = artwork::Track(scale), knob = artwork::Knob(scale);
        ASSERT_EQ(track.width, 100 * scale);
        ASSERT_EQ(knob.width, 9 * scale);
        for (const float value : {0.0f, 0.0125f, 0.5f, 0.6125f, 1.0f}) {
            SCOPED_TRACE(value);
            const int index = 9;
            e.f.window().values[index].store(value);
            e.f.screen().tick();
            const int knobX = static_cast<int>(std::lround(value * 80)) + 5;
            platform::Surface& s = e.f.screen().surface(e.f.window().sliderOf(index)->id);
            int wrong = 0;
            for (int y = 0; y < 13 * scale; ++y)
                for (int x = 0; x < 100 * scale; ++x) {
                    const int kx = x - knobX * scale, ky = y - 2 * scale;
                    const bool onKnob = kx >= 0 && ky >= 0 && kx < knob.width && ky < knob.height &&
                                        !knob.transparent(kx, ky);
                    const Rgb expected = onKnob ? knob.at(kx, ky)
                                                : track.transparent(x, y) ? Rgb{128, 128, 128} : track.at(x, y);
                    wrong += s.pixel(x, y) != expected;
                }
            EXPECT_EQ(wrong, 0);
        }
    }
}

// Not equal, as the finer artwork and font are drawn afresh, but close: the
// mean difference is under a level and a half, and few pixels differ much.
TEST(EditorScale, ScaleTwoFilteredDownByTwoIsCloseToScaleOne) {
    Fixture one;
    one.dispatch(effEditOpen);
    const Bitmap atOne = one.screen().compose();
    one.dispatch(effEditClose);
    ScaledEditor two(2.0f);
    const Bitmap atTwo = two.f.screen().compose();
    ASSERT_EQ(atTwo.width, 2 * atOne.width);
    Bitmap down;
    down.width = atOne.width;
    down.height = atOne.height;
    down.pixels.resize(atOne.pixels.size());
    platform::FilterDown(
        atTwo.width, atTwo.height, down.width, down.height, {0, 0, down.width, down.height},
        [&](int x, int y) { return atTwo.at(x, y); },
        [&](int x, int y, Rgb c) { down.pixels[static_cast<size_t>(y) * down.width + x] = c; });
    double sum = 0;
    int farOff = 0;
    for (size_t i = 0; i < atOne.pixels.size(); ++i) {
        const int d = std::abs(atOne.pixels[i].r - down.pixels[i].r) + std::abs(atOne.pixels[i].g - down.pixels[i].g) +
                      std::abs(atOne.pixels[i].b - down.pixels[i].b);
        sum += d / 3.0;
        farOff += d / 3 > 64;
    }
    const double mean = sum / static_cast<double>(atOne.pixels.size());
    EXPECT_LT(mean, 1.5);
    EXPECT_LT(farOff, static_cast<int>(atOne.pixels.size() / 100)) << "pixels far off";
}

// The same gestures at the same panel positions give the same values and
// read-outs at every scale; the pointer may lie anywhere within a panel
// unit's pixels.
TEST(EditorScale, DragsGiveTheSameValuesAsAtScaleOne) {
    struct Step {
        enum Kind { Press, ShiftPress, Move, Release } kind;
        int index, x;  // slider-relative, panel units
    };
    const std::vector<Step> gesture = {
        {Step::Press, 5, 37},      {Step::Move, 5, 61},  {Step::Move, 5, -40},    {Step::Move, 5, 150},
        {Step::Release, 5, 150},   {Step::ShiftPress, 9, 40}, {Step::Move, 9, 47}, {Step::Move, 9, 3},
        {Step::Move, 9, 230},      {Step::Release, 9, 230},   {Step::Move, 14, 20}, {Step::Press, 0, 11},
        {Step::Move, 0, 89},       {Step::Release, 0, 89},
    };
    auto run = [&](float scale, bool within) {
        ScaledEditor e(scale);
        std::vector<float> sent;
        for (const Step& s : gesture) {
            const platform::PictureSpec& slider = e.f.screen().picture(e.f.window().sliderOf(s.index)->id);
            const int unit = e.f.screen().drawingScale();
            const int x = e.pixel(slider.left / unit + s.x, within), y = e.pixel(slider.top / unit + 6, within);
            switch (s.kind) {
            case Step::Press: e.f.screen().mouseDown(x, y, MouseButton::Left); break;
            case Step::ShiftPress: e.f.screen().mouseDown(x, y, MouseButton::Left, true); break;
            case Step::Move: e.f.screen().mouseMove(x, y); break;
            case Step::Release: e.f.screen().mouseUp(x, y, MouseButton::Left); break;
            }
        }
        for (const edtest::HostCall& c : e.f.automation())
            sent.push_back(c.opt);
        return std::make_pair(sent, e.f.window().readout());
    };
    const auto unscaled = run(0.0f, false);
    ASSERT_GT(unscaled.first.size(), 8u);
    for (const float scale : {1.25f, 1.5f, 2.0f, 3.0f})
        for (const bool within : {false, true}) {
            SCOPED_TRACE(std::to_string(scale) + " " + std::to_string(within));
            const auto scaled = run(scale, within);
            EXPECT_EQ(scaled.first, unscaled.first);
            EXPECT_EQ(scaled.second, unscaled.second);
        }
}

// A new scale while the editor is open (the host's again, or the system's
// when the host gives none) rebuilds the window as it stood and tells the
// host the new size.
TEST(EditorScale, NewScaleWhileOpenRebuildsTheWindowAndResizesTheHostsWindow) {
    ScaledEditor e(0.0f);
    e.f.screen().mouseMove(e.pixel(150 + 50), e.pixel(30 + 6));  // hover: HsLeft1's line
    const std::string line = e.f.window().readout();
    e.f.window().values[5].store(0.75f);
    e.f.screen().tick();

    auto sized = [&] {
        std::vector<std::pair<int, float>> out;
        for (const edtest::HostCall& c : edtest::HostCalls())
            if (c.opcode == audioMasterSizeWindow)
                out.push_back({c.index, c.opt});
        edtest::HostCalls().clear();
        return out;
    };
    e.f.screen().setSystemScale(1.5);
    EXPECT_EQ(e.f.screen().clientWidth(), 597);
    EXPECT_EQ(sized().size(), 1u);
    EXPECT_EQ(e.f.dispatch(effVendorSpecific, kScaleIndex, kScaleValue, nullptr, 2.0f), 1);
    EXPECT_EQ(e.f.screen().clientWidth(), 796);
    ASSERT_EQ(sized().size(), 1u);
    e.f.screen().setSystemScale(3.0);  // the host's scale stands
    EXPECT_EQ(e.f.screen().clientWidth(), 796);
    EXPECT_TRUE(sized().empty());
    EXPECT_EQ(e.f.dispatch(effVendorSpecific, kScaleIndex, kScaleValue, nullptr, 2.0f), 1);
    EXPECT_TRUE(sized().empty()) << "the same scale again resizes nothing";

    // As it stood: the same picture as a window opened at 2 in that state.
    ScaledEditor fresh(2.0f);
    fresh.f.window().values[5].store(0.75f);
    fresh.f.screen().tick();
    fresh.f.screen().mouseMove(fresh.pixel(150 + 50), fresh.pixel(30 + 6));
    EXPECT_EQ(e.f.window().readout(), line);
    EXPECT_EQ(edtest::Fnv1a(e.f.screen().compose()), edtest::Fnv1a(fresh.f.screen().compose()));

    // Withdrawn, the system's scale applies again.
    e.f.dispatch(effVendorSpecific, kScaleIndex, kScaleValue, nullptr, 0.0f);
    EXPECT_EQ(e.f.screen().clientWidth(), 1194);
}
