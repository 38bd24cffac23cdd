// The band sliders' activity fill and the Learn button of the editions that
// meter their bands (see "Band activity and Learn" in uEditor.h).
#include <cmath>

#include "GateMath.h"
#include "ParameterTable.h"
#include "ValueText.h"
#include "artwork/Artwork.h"
#include "font/BakedFont.h"
#include "uEditor.h"

namespace {

using platform::Rgb;

// The groove of a slider's track, in panel units: its dark channel.
constexpr platform::Rect kGroove{4, 5, 96, 8};
// The Learn button: the key selector's face, beside it, over the left of
// the product's mark, which the mark's compact form beside it replaces.
constexpr platform::Rect kLearnArea{287, 210, 344, 233};
constexpr platform::Rect kMarkArea{344, 206, 398, 241};
constexpr Rgb kAccent{34, 86, 118};  // the mark's colour in the artwork
constexpr Rgb kMaker{84, 84, 84};
// A peak falls at 20 dB a second: so much a refresh pass (25 ms).
constexpr double kFallPerPass = 20.0 * TPluginEditorWindow::kTimerInterval / 1000.0;
// The fill's shades from a closed band's to an open one's, by the band's
// gain ratio.
constexpr int kShades = 8;
constexpr Rgb kDim{96, 112, 128};
constexpr Rgb kLit{64, 176, 232};
// With no rate from the plug-in, Learn tells a band that heard nothing by
// the bands designed at this one (the floor moves little with the rate).
constexpr float kFallbackLearnRate = 48000.0f;

Rgb Shade(int shade) {
    auto mix = [shade](uint8_t dim, uint8_t lit) {
        return static_cast<uint8_t>(dim + (lit - dim) * shade / kShades);
    };
    return {mix(kDim.r, kLit.r), mix(kDim.g, kLit.g), mix(kDim.b, kLit.b)};
}

}  // namespace

void TPluginEditorWindow::bandActivity(int band, float level, float gain) {
    if (band < 0 || band >= kNumBands || !(level >= 0.0f))
        return;
    Meter& m = meters[band];
    if (level > 0.0f)
        m.newDb = std::fmax(m.newDb, 20.0 * std::log10(static_cast<double>(level)));
    m.gain = gain;
    if (learning) {
        m.learned = std::fmax(m.learned, level);
        learnHeard = true;
    }
}

// A level L stands where the knob stands for the gate level whose threshold
// is L: the threshold of level p is 10^((40 p - 40) / 20) / 32 (the
// read-out's decibels of the gate level, over the engine's 32), so p is
// (20 log10(32 L) + 40) / 40; the knob's centre is at 80 p + 9.5.
TPluginEditorWindow::Fill TPluginEditorWindow::fillOf(int band) const {
    const Meter& m = meters[band];
    const params::Parameter& level = params::kParameters[gate::kFirstGateLevel + band];
    const double p = (m.shownDb + 20.0 * std::log10(32.0) + level.dbOffset) / level.dbScale;
    const double centre = 80.0 * p + 9.5;
    const int end = static_cast<int>(std::lround(std::fmin(centre, kGroove.right) * unit));
    if (end <= kGroove.left * unit)
        return {0, 0};
    const float gain = m.gain < 0.0f ? 0.0f : (m.gain > 1.0f ? 1.0f : m.gain);
    return {end, static_cast<int>(std::lround(gain * kShades))};
}

void TPluginEditorWindow::drawActivity(platform::Surface& track, int band) {
    const Fill fill = meters[band].drawn;
    if (fill.end > 0)
        track.fillRect({kGroove.left * unit, kGroove.top * unit, fill.end, kGroove.bottom * unit}, Shade(fill.shade));
}

void TPluginEditorWindow::refreshActivity() {
    if (!showsActivity)
        return;
    if (!learnShown)
        addLearnButton();
    for (int band = 0; band < kNumBands; ++band) {
        Meter& m = meters[band];
        m.shownDb = std::fmax(m.shownDb - kFallPerPass, m.newDb);
        m.newDb = -1000.0;
        const Fill fill = fillOf(band);
        if (fill != m.drawn) {
            m.drawn = fill;
            SetControl(gate::kFirstGateLevel + band);
        }
    }
}

void TPluginEditorWindow::addLearnButton() {
    // After the key selector, so that every other control keeps its id.
    LearnButton = addControl("LearnButton", kLearnArea, true);
    learnImage = window->createImageList(artwork::KeySelector(unit));
    learnShown = true;
    paintLearnButton();

    // The mark in short, right of the button: the panel's field (each row
    // as the background has it at the panel's right margin), the name in
    // the mark's colour and the maker under it.
    Mark = addControl("Mark", kMarkArea, false);
    platform::Surface& back = window->surface(Image1.id);
    platform::Surface& s = window->surface(Mark.id);
    for (int y = 0; y < s.height(); ++y)
        s.fillRect({0, y, s.width(), y + 1}, back.pixel(394 * unit, kMarkArea.top * unit + y));
    const font::BakedFont& text = font::ReadoutFont(1);
    const int nameWidth = text.textWidth("Halvorine"), makerWidth = text.textWidth("Pellucid");
    const int right = 394 - kMarkArea.left;
    s.drawText((right - nameWidth) * unit, 6 * unit, "Halvorine", platform::FontSpec{"Arial", 8, kAccent, unit});
    s.drawText((right - makerWidth) * unit, 19 * unit, "Pellucid", platform::FontSpec{"Arial", 8, kMaker, unit});
}

void TPluginEditorWindow::paintLearnButton() {
    platform::Surface& s = window->surface(LearnButton.id);
    s.drawImage(*learnImage, 0, 0);
    // While learning, the next click sets the levels.
    const std::string caption = learning ? "Set" : "Learn";
    const int width = font::ReadoutFont(1).textWidth(caption);
    const int left = (kLearnArea.right - kLearnArea.left - width) / 2;
    s.drawText(left * unit, 5 * unit, caption, platform::FontSpec{"Arial", 8, Rgb{0, 0, 0}, unit});
}

void TPluginEditorWindow::ClickLearn() {
    if (!learning) {
        learning = true;
        learnHeard = false;
        for (Meter& m : meters)
            m.learned = 0.0f;
        paintLearnButton();
        printLine("Learning: play the noise alone");
        return;
    }
    learning = false;
    paintLearnButton();
    float set[gate::kNumParams] = {};
    for (int i = 0; i < kNumSliders; ++i)
        set[i] = values[i].load(std::memory_order_relaxed);
    float largest[kNumBands], levels[kNumBands];
    bool heard[kNumBands] = {};
    for (int band = 0; band < kNumBands; ++band)
        largest[band] = meters[band].learned;
    float rate = plugin != nullptr ? plugin->learnRate() : 0.0f;
    if (!(rate >= gate::kMinDesignRate && rate <= gate::kMaxDesignRate))
        rate = kFallbackLearnRate;
    if (!learnHeard || gate::LearnGateLevels(set, rate, largest, gate::kLearnMarginDb, levels, heard) == 0) {
        printLine("Learn: no audio came, nothing changed");
        return;
    }
    printLine("Learned");
    // One whole gesture per slider, so that a host records each as
    // automation and the lot as one change; the host may close the editor
    // from inside any of these calls, and then nothing more is sent.
    for (int band = 0; band < kNumBands; ++band) {
        if (!heard[band])
            continue;
        const int index = gate::kFirstGateLevel + band;
        values[index].store(levels[band], std::memory_order_relaxed);
        if (plugin == nullptr)
            return;
        plugin->beginGesture(index);
        if (plugin == nullptr)
            return;
        plugin->setParameterAutomated(index, levels[band]);
        if (plugin == nullptr)
            return;
        plugin->endGesture(index);
    }
}
