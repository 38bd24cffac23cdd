// The editor window: layout, refresh pass, slider composition, read-out
// and the picture the headless backend composes.
#include <cstdio>
#include <string>

#include "EditorTestUtil.h"
#include "artwork/Artwork.h"
#include "font/BakedFont.h"

using edtest::Fixture;
using platform::Bitmap;
using platform::Rgb;

namespace {

struct Expected {
    const char* name;
    int left, top, width, height;
};

// Painting order, positions and sizes of the window's pictures.
const Expected kLayout[] = {
    {"Image1", 0, 0, 411, 241},     {"Backslider", 230, 220, 105, 13}, {"HsLeft1", 150, 30, 100, 13},
    {"HSLeft2", 150, 50, 100, 13},  {"HsLeft3", 150, 70, 100, 13},     {"HsLeft4", 150, 90, 100, 13},
    {"HsLeft5", 150, 120, 100, 13}, {"HsLeft6", 150, 140, 100, 13},    {"HsLeft7", 150, 160, 100, 13},
    {"HsLeft8", 150, 180, 100, 13}, {"HsRight1", 280, 30, 100, 13},    {"HsRight2", 280, 50, 100, 13},
    {"HsRight3", 280, 70, 100, 13}, {"HsRight4", 280, 90, 100, 13},    {"HsRight5", 280, 120, 100, 13},
    {"HsRight6", 280, 140, 100, 13}, {"HsRight7", 280, 160, 100, 13},  {"HsRight8", 280, 180, 100, 13},
    {"Hstart", 20, 30, 100, 13},    {"HFinish", 20, 60, 100, 13},      {"HQ", 20, 90, 100, 13},
    {"Hatt", 20, 120, 100, 13},     {"hboost", 20, 180, 100, 13},      {"Hrel", 20, 150, 100, 13},
    {"Panel8", 20, 210, 200, 23},   {"printout", 20, 210, 201, 23},
};

const char* const kSliderByIndex[22] = {"Hstart",   "HFinish",  "HQ",       "Hatt",     "Hrel",     "hboost",
                                        "HsLeft1",  "HSLeft2",  "HsLeft3",  "HsLeft4",  "HsLeft5",  "HsLeft6",
                                        "HsLeft7",  "HsLeft8",  "HsRight1", "HsRight2", "HsRight3", "HsRight4",
                                        "HsRight5", "HsRight6", "HsRight7", "HsRight8"};

// The slider picture as DrawHSlider must compose it: grey, the track, the
// knob at its column, both through their masks.
Bitmap ExpectedSlider(int knobX) {
    const Bitmap track = artwork::Track(), knob = artwork::Knob();
    Bitmap out;
    out.width = 100;
    out.height = 13;
    out.pixels.assign(100 * 13, Rgb{128, 128, 128});
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 100; ++x)
            if (!track.transparent(x, y))
                out.pixels[y * 100 + x] = track.at(x, y);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x)
            if (knobX + x < 100 && !knob.transparent(x, y))
                out.pixels[(y + 2) * 100 + knobX + x] = knob.at(x, y);
    return out;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(f.dispatch(effEditOpen), 1); }
    void TearDown() override { f.dispatch(effEditClose); }

    // The slider's picture as it stands (100 x 13).
    Bitmap sliderPicture(int index) {
        platform::Surface& s = f.screen().surface(f.window().sliderOf(index)->id);
        Bitmap out;
        out.width = 100;
        out.height = 13;
        for (int y = 0; y < 13; ++y)
            for (int x = 0; x < 100; ++x)
                out.pixels.push_back(s.pixel(x, y));
        return out;
    }
    void setFromHost(int index, float value) {
        f.plugin->getAeffect()->setParameter(f.plugin->getAeffect(), index, value);
    }

    Fixture f;
};

}  // namespace

TEST_F(WindowTest, ControlsStandInTheirPlacesInPaintingOrder) {
    auto& screen = f.screen();
    ASSERT_EQ(screen.pictureCount(), static_cast<int>(std::size(kLayout)));
    for (int i = 0; i < screen.pictureCount(); ++i) {
        const platform::PictureSpec& p = screen.picture(i);
        SCOPED_TRACE(kLayout[i].name);
        EXPECT_STREQ(p.name, kLayout[i].name);
        EXPECT_EQ(p.left, kLayout[i].left);
        EXPECT_EQ(p.top, kLayout[i].top);
        EXPECT_EQ(p.width, kLayout[i].width);
        EXPECT_EQ(p.height, kLayout[i].height);
    }
    const platform::PictureSpec& printout = screen.picture(screen.findPicture("printout"));
    EXPECT_EQ(printout.clipWidth, 200);  // Panel8 clips it
    EXPECT_FALSE(screen.picture(screen.findPicture("Backslider")).visible);
    for (int i = 0; i < 22; ++i) {
        const platform::PictureSpec& s = screen.picture(f.window().sliderOf(i)->id);
        EXPECT_STREQ(s.name, kSliderByIndex[i]) << "index " << i;
        EXPECT_TRUE(s.transparent && s.mouseEvents);
    }
    EXPECT_EQ(f.window().sliderOf(22), nullptr);
    EXPECT_EQ(screen.clientWidth(), 398);
    EXPECT_EQ(screen.clientHeight(), 241);
    EXPECT_EQ(screen.timerIntervalMs(), 25);
}

TEST_F(WindowTest, StartsWithTheTitleAndEveryIndexMarkedUndrawn) {
    // A fresh window, before the bridge's values and refresh pass.
    TPluginEditorWindow w(nullptr);
    EXPECT_EQ(w.readout(), "Halvorine : PellucidFX :: ");
    for (int i = 0; i < 80; ++i)
        EXPECT_EQ(w.drawnValues[i], -1.0f);
    for (int i = 80; i < TPluginEditorWindow::kNumValues; ++i)
        EXPECT_EQ(w.drawnValues[i], 0.0f);
    EXPECT_EQ(w.plugin, nullptr);
    EXPECT_FALSE(w.dragging);
}

TEST_F(WindowTest, FirstPassDrawsEverySliderAtItsValue) {
    auto& w = f.window();
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(w.drawnValues[i], f.plugin->parameterValue(i)) << i;
    for (int i = 30; i < 80; ++i)
        EXPECT_EQ(w.drawnValues[i], -1.0f) << i;  // outside the pass
    for (int i = 0; i < 22; ++i) {
        const int knobX = valuetext::FloorInt(static_cast<float>(f.plugin->parameterValue(i) * 80.0 + 5.0));
        EXPECT_EQ(sliderPicture(i).pixels, ExpectedSlider(knobX).pixels) << "slider " << i;
    }
}

TEST_F(WindowTest, KnobColumnsForValuesZeroHalfAndOne) {
    const Bitmap trackOnly = ExpectedSlider(200);  // knob beyond the picture
    const struct {
        float value;
        int first, last;
    } cases[] = {{0.0f, 5, 13}, {0.5f, 45, 53}, {1.0f, 85, 93}};
    for (const auto& c : cases) {
        setFromHost(9, c.value);
        f.screen().tick();
        const Bitmap s = sliderPicture(9);
        int first = 100, last = -1;
        for (int x = 0; x < 100; ++x)
            for (int y = 0; y < 13; ++y)
                if (s.at(x, y) != trackOnly.at(x, y)) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        EXPECT_EQ(first, c.first) << c.value;
        EXPECT_EQ(last, c.last) << c.value;
        // The track fills all 100 columns: row 6 is never the grey key.
        for (int x = 0; x < 100; ++x)
            EXPECT_NE(s.at(x, 6), (Rgb{128, 128, 128})) << x;
    }
}

TEST_F(WindowTest, AbsoluteValuesPutTheKnobOnItsOwnColumn) {
    for (int k = 0; k <= 80; ++k) {
        f.window().values[6].store(static_cast<float>(k / 80.0));
        f.window().SetControl(6);
        EXPECT_EQ(sliderPicture(6).pixels, ExpectedSlider(k + 5).pixels) << k;
    }
}

TEST_F(WindowTest, ChangeAndChangeBackBetweenTicksIsNotRedrawn) {
    auto& w = f.window();
    platform::Surface& s = f.screen().surface(w.sliderOf(4)->id);
    const float original = w.values[4].load();
    s.fillRect({0, 0, 1, 1}, Rgb{1, 2, 3});  // a mark that only a redraw removes
    w.values[4].store(0.123f);
    w.values[4].store(original);
    f.screen().tick();
    EXPECT_EQ(s.pixel(0, 0), (Rgb{1, 2, 3}));
    w.values[4].store(0.123f);
    f.screen().tick();
    EXPECT_EQ(s.pixel(0, 0), (Rgb{128, 128, 128}));
    EXPECT_EQ(w.drawnValues[4], 0.123f);
}

TEST_F(WindowTest, HostChangeMovesTheSliderAtTheNextTickAndLeavesTheReadout) {
    const std::string before = f.window().readout();
    setFromHost(5, 1.0f);
    EXPECT_EQ(f.window().values[5].load(), 1.0f);  // copied at once
    EXPECT_EQ(sliderPicture(5).pixels, ExpectedSlider(valuetext::FloorInt(0.3f * 80.0 + 5.0)).pixels);
    f.screen().tick();
    EXPECT_EQ(sliderPicture(5).pixels, ExpectedSlider(85).pixels);
    EXPECT_EQ(f.window().readout(), before);
}

TEST_F(WindowTest, ReadoutLines) {
    auto& w = f.window();
    w.PrintLabels("Q", "50%");
    EXPECT_EQ(w.readout(), "Q :: 50%");
    w.SetLabel(22);
    EXPECT_EQ(w.readout(), "Q :: 50%");  // no line for index 22
    w.values[5].store(0.5f);
    w.SetLabel(5);
    EXPECT_EQ(w.readout(), "Boost :: 0dB");
    w.values[21].store(1.0f);
    w.SetLabel(21);
    EXPECT_EQ(w.readout(), "Band 16 Noise Gate Level :: 0dB");
    w.values[6].store(0.0f);
    w.SetLabel(6);
    EXPECT_EQ(w.readout(), "Band 1 Noise Gate Level :: -40dB");
    w.values[0].store(0.5f);
    w.SetLabel(0);
    EXPECT_EQ(w.readout(), "Start Freq :: 640Hz");
    w.values[1].store(1.0f);
    w.SetLabel(1);
    EXPECT_EQ(w.readout(), "End Freq :: 20.5KHz");
    w.values[3].store(0.25f);
    w.SetLabel(3);
    EXPECT_EQ(w.readout(), "Attack :: 25%");
}

TEST_F(WindowTest, ReadoutUsesTheUsersDecimalSeparator) {
    f.dispatch(effEditClose);
    // A window reads the separator when it is built.
    struct CommaWindow {
        static std::unique_ptr<platform::Window> make(void* parent, int w, int h, Rgb bg,
                                                      platform::WindowEvents& events) {
            auto window = std::make_unique<platform::headless::HeadlessWindow>(parent, w, h, bg, events);
            window->setDecimalSeparator(',');
            return window;
        }
    };
    const platform::WindowFactory previous = platform::setWindowFactory(&CommaWindow::make);
    f.dispatch(effEditOpen);
    platform::setWindowFactory(previous);
    f.window().values[21].store(0.51f);
    f.window().SetLabel(21);
    EXPECT_EQ(f.window().readout(), "Band 16 Noise Gate Level :: -19,6dB");
}

TEST_F(WindowTest, LongestLineFitsTheStrip) {
    const std::string longest = "Band 16 Noise Gate Level :: -19.6dB";
    EXPECT_LE(8 + font::kReadoutFont.textWidth(longest), 200 - 2);
    f.window().values[21].store(0.51f);
    f.window().SetLabel(21);
    ASSERT_EQ(f.window().readout(), longest);
    // Ink lies in the strip and stops short of its right edge.
    const Bitmap frame = f.screen().compose();
    const Bitmap strip = artwork::ReadoutBackground();
    int lastInk = -1;
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 200; ++x)
            if (frame.at(20 + x, 210 + y) != strip.at(x, y))
                lastInk = std::max(lastInk, x);
    EXPECT_GT(lastInk, 150);
    EXPECT_LT(lastInk, 196);
}

TEST_F(WindowTest, ComposedWindowShowsTheBackgroundThroughSliderCorners) {
    const Bitmap frame = f.screen().compose();
    const Bitmap background = artwork::Background();
    ASSERT_EQ(background.width, 407);
    ASSERT_EQ(background.height, 242);
    ASSERT_EQ(frame.width, 398);
    ASSERT_EQ(frame.height, 241);
    for (int i = 0; i < 22; ++i) {
        const platform::PictureSpec& s = f.screen().picture(f.window().sliderOf(i)->id);
        for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {99, 12}, {98, 12}, {99, 11}, {0, 12}, {99, 0}})
            EXPECT_EQ(frame.at(s.left + x, s.top + y), background.at(s.left + x, s.top + y))
                << "slider " << i << " corner " << x << "," << y;
        // Inside, the slider's own picture is painted over the background.
        const Rgb body = f.screen().surface(f.window().sliderOf(i)->id).pixel(50, 6);
        EXPECT_EQ(frame.at(s.left + 50, s.top + 6), body);
    }
    // The lower right, outside every control, is the background's own.
    EXPECT_EQ(frame.at(397, 240), background.at(397, 240));
    EXPECT_EQ(frame.at(300, 5), background.at(300, 5));
}

// The window just opened on "BigBeat", pixel for pixel. The same picture
// is stored as golden/bigbeat_open.png; editor_png_tests compares the two.
TEST_F(WindowTest, GoldenImageOfTheWindowOpenedOnBigBeat) {
    char name[25];
    f.dispatch(effGetProgramName, 0, 0, name);
    ASSERT_STREQ(name, "BigBeat");
    const uint64_t hash = edtest::Fnv1a(f.screen().compose());
    EXPECT_EQ(hash, edtest::kBigBeatGoldenHash) << std::hex << "0x" << hash;
}
