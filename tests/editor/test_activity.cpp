// Band activity in the band sliders' grooves: a steady level L ends its
// fill where the knob stands for the gate level p whose threshold
// 10^((40 p - 40) / 20) / 32 is L, lit while the band passes and dim while
// it is closed, at every drawing scale.
#include <gtest/gtest.h>

#include <cmath>

#include "EditorTestUtil.h"
#include "uEditor.h"

namespace {

TEST(BandActivity, TheFillEndsWhereTheKnobWouldOpenTheGate) {
    struct Case {
        double scale;
        int band;
        double p;  // the gate level whose threshold the band's level is
        float gain;
        platform::Rgb shade;
    };
    const platform::Rgb lit{64, 176, 232}, dim{96, 112, 128};
    const Case cases[] = {
        {1.0, 0, 0.5, 1.0f, lit},  {1.0, 9, 0.25, 0.0f, dim}, {1.0, 15, 0.8, 1.0f, lit},
        {2.0, 3, 0.5, 0.0f, dim},  {2.0, 12, 0.6, 1.0f, lit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "scale " << c.scale << " band " << c.band + 1);
        edtest::Fixture f;
        f.dispatch(effEditOpen);
        TPluginEditorWindow& w = f.window();
        w.showsActivity = true;
        w.setScale(c.scale);
        const int index = 6 + c.band;
        f.plugin->setParameter(index, 1.0f);  // the knob at the far right, out of the way
        w.values[index].store(1.0f);
        const double level = std::pow(10.0, (40.0 * c.p - 40.0) / 20.0) / 32.0;
        w.bandActivity(c.band, static_cast<float>(level), c.gain);
        w.SetAll();
        platform::Surface& slider = f.screen().surface(w.sliderOf(index)->id);
        const int unit = static_cast<int>(c.scale);
        const double edge = (80.0 * c.p + 9.5) * unit;  // the knob's centre for p, in pixels
        const int y = 6 * unit;
        EXPECT_EQ(slider.pixel(static_cast<int>(edge) - 1, y), c.shade);
        EXPECT_NE(slider.pixel(static_cast<int>(edge) + 1, y), c.shade);
        EXPECT_EQ(slider.pixel(5 * unit, y), c.shade) << "filled from the groove's start";
    }
}

TEST(BandActivity, NoAudioLeavesTheGroovesAsTheyWere) {
    edtest::Fixture plain, metered;
    plain.dispatch(effEditOpen);
    metered.dispatch(effEditOpen);
    metered.window().showsActivity = true;
    metered.window().SetAll();
    for (int index = 6; index < 22; ++index) {
        platform::Surface& a = plain.screen().surface(plain.window().sliderOf(index)->id);
        platform::Surface& b = metered.screen().surface(metered.window().sliderOf(index)->id);
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(a.pixel(x, 6), b.pixel(x, 6)) << index << " " << x;
    }
}

}  // namespace
