#include "uEditor.h"

#include "GateMath.h"
#include "ParameterTable.h"
#include "artwork/Artwork.h"
#include "font/BakedFont.h"

using platform::MouseButton;
using platform::Rgb;

namespace {

// The form's own colour (silver), under the background picture everywhere.
constexpr Rgb kSilver{192, 192, 192};
// The slider composition's fill and, being the bottom-left pixel of every
// slider picture, the sliders' transparent key.
constexpr Rgb kSliderGrey{128, 128, 128};
// Rows and columns of a slider that are copied from the scratch picture.
constexpr platform::Rect kSliderArea{0, 0, 100, 13};

static_assert(TPluginEditorWindow::kNumSliders == params::kNumActive, "a slider for every row of the table");

constexpr const char* kTitleLabel = "Halvorine : PellucidFX";

// The key selector's place: at the right of the read-out, in its row, over
// the product's mark (artwork::KeySelector is its face).
constexpr platform::Rect kKeySelectorArea{227, 210, 284, 233};

// The keys by which the mouse handlers recognise a slider: its name in
// capitals, in parameter order.
constexpr const char* kSliderKeys[TPluginEditorWindow::kNumSliders] = {
    "HSTART",   "HFINISH",  "HQ",       "HATT",     "HREL",     "HBOOST",   "HSLEFT1",  "HSLEFT2",
    "HSLEFT3",  "HSLEFT4",  "HSLEFT5",  "HSLEFT6",  "HSLEFT7",  "HSLEFT8",  "HSRIGHT1", "HSRIGHT2",
    "HSRIGHT3", "HSRIGHT4", "HSRIGHT5", "HSRIGHT6", "HSRIGHT7", "HSRIGHT8"};

// The control's name in capitals, the way the key table spells it; ASCII
// only, whatever the C library's locale.
bool EqualsInCapitals(const char* name, const char* key) {
    for (; *name != '\0' && *key != '\0'; ++name, ++key) {
        const char c = (*name >= 'a' && *name <= 'z') ? static_cast<char>(*name - 'a' + 'A') : *name;
        if (c != *key)
            return false;
    }
    return *name == *key;
}

}  // namespace

TPluginEditorWindow::TPluginEditorWindow(void* parent, double scale) : requested(scale) {
    // Every field starts cleared before the start-up runs.
    for (auto& v : values)
        v.store(0.0f, std::memory_order_relaxed);
    for (float& v : drawnValues)
        v = 0.0f;
    window = platform::createWindow(parent, kClientWidth, kClientHeight, kSilver, *this);
    // Still hidden and empty: the new size costs nothing.
    window->setScale(requested);
    unit = window->drawingScale();
    decimalSeparator = window->decimalSeparator();
    buildLayout();
    FormCreate();
    window->startTimer(Timer2.Interval);
}

TPluginEditorWindow::~TPluginEditorWindow() {
    // Closed in the middle of a drag: the gesture ends with the window.
    if (dragging && plugin != nullptr)
        plugin->endGesture(dragIndex);
}

int TPluginEditorWindow::addPicture(platform::PictureSpec spec) {
    const int width = spec.clipWidth > 0 ? spec.clipWidth : spec.width;
    const int height = spec.clipHeight > 0 ? spec.clipHeight : spec.height;
    const MouseArea area{{spec.left, spec.top, spec.left + width, spec.top + height}, spec.visible, spec.mouseEvents};
    spec.left *= unit;
    spec.top *= unit;
    spec.width *= unit;
    spec.height *= unit;
    spec.clipWidth *= unit;
    spec.clipHeight *= unit;
    const int id = window->addPicture(spec);
    if (static_cast<int>(mouseAreas.size()) <= id)
        mouseAreas.resize(static_cast<size_t>(id) + 1, MouseArea{{}, false, false});
    mouseAreas[static_cast<size_t>(id)] = area;
    return id;
}

void TPluginEditorWindow::buildLayout() {
    platform::Window& w = *window;
    // Creation order is painting order: the background first, the read-out
    // last. Positions and sizes are panel units; addPicture scales them.
    auto picture = [&](Control& c, const char* name, int left, int top, int width, int height) {
        platform::PictureSpec spec;
        spec.name = name;
        spec.left = left;
        spec.top = top;
        spec.width = width;
        spec.height = height;
        c = {name, addPicture(spec)};
    };
    auto slider = [&](Control& c, const char* name, int left, int top, int index) {
        platform::PictureSpec spec;
        spec.name = name;
        spec.left = left;
        spec.top = top;
        spec.width = 100;
        spec.height = 13;
        spec.transparent = true;
        spec.mouseEvents = true;
        c = {name, addPicture(spec)};
        sliders[index] = &c;
    };

    picture(Image1, "Image1", 0, 0, 411, 241);
    {
        platform::PictureSpec spec;
        spec.name = "Backslider";
        spec.left = 230;
        spec.top = 220;
        spec.width = 105;
        spec.height = 13;
        spec.visible = false;  // a scratch surface, never shown
        Backslider = {spec.name, addPicture(spec)};
    }
    Control* const left[8] = {&HsLeft1, &HSLeft2, &HsLeft3, &HsLeft4, &HsLeft5, &HsLeft6, &HsLeft7, &HsLeft8};
    Control* const right[8] = {&HsRight1, &HsRight2, &HsRight3, &HsRight4,
                               &HsRight5, &HsRight6, &HsRight7, &HsRight8};
    const char* const leftNames[8] = {"HsLeft1", "HSLeft2", "HsLeft3", "HsLeft4",
                                      "HsLeft5", "HsLeft6", "HsLeft7", "HsLeft8"};
    const char* const rightNames[8] = {"HsRight1", "HsRight2", "HsRight3", "HsRight4",
                                       "HsRight5", "HsRight6", "HsRight7", "HsRight8"};
    // Two groups of four per band column: 20 pixels apart within a group,
    // 30 between the groups.
    const int bandTops[8] = {30, 50, 70, 90, 120, 140, 160, 180};
    for (int i = 0; i < 8; ++i)
        slider(*left[i], leftNames[i], 150, bandTops[i], 6 + i);
    for (int i = 0; i < 8; ++i)
        slider(*right[i], rightNames[i], 280, bandTops[i], 14 + i);
    slider(Hstart, "Hstart", 20, 30, 0);
    slider(HFinish, "HFinish", 20, 60, 1);
    slider(HQ, "HQ", 20, 90, 2);
    slider(Hatt, "Hatt", 20, 120, 3);
    slider(hboost, "hboost", 20, 180, 5);
    slider(Hrel, "Hrel", 20, 150, 4);
    // The read-out's frame; its caption lies under `printout`, so only its
    // face colour is drawn.
    picture(Panel8, "Panel8", 20, 210, 200, 23);
    w.surface(Panel8.id).fillRect({0, 0, 200 * unit, 23 * unit}, kSilver);
    {
        platform::PictureSpec spec;
        spec.name = "printout";
        spec.left = 20;  // at (0, 0) of Panel8, which clips it to 200 x 23
        spec.top = 210;
        spec.width = 201;
        spec.height = 23;
        spec.clipWidth = 200;
        spec.clipHeight = 23;
        printout = {spec.name, addPicture(spec)};
    }

    HBar = w.createImageList(artwork::Track(unit));
    ISliderPos = w.createImageList(artwork::Knob(unit));
    Iprintout = w.createImageList(artwork::ReadoutBackground(unit));
    backgroundImage = w.createImageList(artwork::Background(unit));
    platform::Surface& back = w.surface(Image1.id);
    back.fillRect({0, 0, back.width(), back.height()}, kSilver);
    back.drawImage(*backgroundImage, 0, 0);
    if (selectorShown)
        addKeySelector();
    if (learnShown)
        addLearnButton();
}

TPluginEditorWindow::Control TPluginEditorWindow::addControl(const char* name, const platform::Rect& area,
                                                             bool takesMouse) {
    platform::PictureSpec spec;
    spec.name = name;
    spec.left = area.left;
    spec.top = area.top;
    spec.width = area.right - area.left;
    spec.height = area.bottom - area.top;
    spec.mouseEvents = takesMouse;
    return {name, addPicture(spec)};
}

void TPluginEditorWindow::addKeySelector() {
    // Last of all, so that every other control keeps its id.
    KeySelector = addControl("KeySelector", kKeySelectorArea, true);
    keySelectorImage = window->createImageList(artwork::KeySelector(unit));
    selectorShown = true;
}

void TPluginEditorWindow::paintKeySelector() {
    platform::Surface& s = window->surface(KeySelector.id);
    s.drawImage(*keySelectorImage, 0, 0);
    // Centred by the baked font's advances, which the Windows font shares
    // closely enough at this size.
    const std::string caption = valuetext::KeyCaption(shownKeySource);
    const int width = font::ReadoutFont(1).textWidth(caption);
    const int left = (kKeySelectorArea.right - kKeySelectorArea.left - width) / 2;
    s.drawText(left * unit, 5 * unit, caption, platform::FontSpec{"Arial", 8, Rgb{0, 0, 0}, unit});
}

void TPluginEditorWindow::refreshKeySelector() {
    const int source = keySource.load(std::memory_order_relaxed);
    if (source < 0)
        return;  // no selector in this edition: nothing here changes
    const int choice = source >= keyChoices ? keyChoices - 1 : source;
    if (!selectorShown || choice != shownKeySource) {
        if (!selectorShown)
            addKeySelector();
        shownKeySource = choice;
        paintKeySelector();
    }
    const bool missing = keyMissing.load(std::memory_order_relaxed);
    if (missing != missingShown) {
        missingShown = missing;
        paintReadout();
    }
}

void TPluginEditorWindow::FormCreate() {
    PrintLabels(kTitleLabel, "");
    for (int i = 0; i < 80; ++i)
        drawnValues[i] = -1.0f;  // outside 0..1: never drawn
    // The platform window is always double-buffered.
}

void TPluginEditorWindow::SetAll() {
    for (int i = 0; i < 30; ++i) {
        const float v = values[i].load(std::memory_order_relaxed);
        if (v != drawnValues[i])
            SetControl(i);
        drawnValues[i] = v;
    }
    refreshKeySelector();
    refreshProgram();
    refreshActivity();
}

// The first program seen is the one the window opened on: the title stays.
void TPluginEditorWindow::refreshProgram() {
    const int current = program.load(std::memory_order_relaxed);
    if (current == seenProgram)
        return;
    const bool opened = seenProgram >= 0;
    seenProgram = current;
    if (opened && current >= 0 && current < params::kNumPrograms)
        PrintLabels("Program", params::kProgramNames[current]);
}

void TPluginEditorWindow::Timer2Timer() { SetAll(); }

const TPluginEditorWindow::Control* TPluginEditorWindow::sliderOf(int index) const {
    return index >= 0 && index < kNumSliders ? sliders[index] : nullptr;
}

void TPluginEditorWindow::SetControl(int index) {
    if (const Control* slider = sliderOf(index))
        DrawHSlider(*slider, index);
}

void TPluginEditorWindow::DrawHSlider(const Control& slider, int index) {
    const float v = values[index].load(std::memory_order_relaxed);
    const int knobX = valuetext::FloorInt(static_cast<float>(v * 80.0 + 5.0));
    Clearscreen(Backslider, kSliderGrey);
    platform::Surface& scratch = window->surface(Backslider.id);
    scratch.drawImage(*HBar, 0, 0);
    if (showsActivity && index >= gate::kFirstGateLevel && index < gate::kFirstGateLevel + kNumBands)
        drawActivity(scratch, index - gate::kFirstGateLevel);
    scratch.drawImage(*ISliderPos, knobX * unit, 2 * unit);
    const platform::Rect area{kSliderArea.left * unit, kSliderArea.top * unit, kSliderArea.right * unit,
                              kSliderArea.bottom * unit};
    window->surface(slider.id).copyRect(area, scratch);
}

void TPluginEditorWindow::Clearscreen(const Control& picture, Rgb colour) {
    platform::Surface& s = window->surface(picture.id);
    s.fillRect({0, 0, s.width(), s.height()}, colour);
}

void TPluginEditorWindow::PrintLabels(const std::string& label, const std::string& value) {
    printLine(label + " :: " + value);
}

void TPluginEditorWindow::printLine(const std::string& line) {
    readoutLine = line;
    paintReadout();
}

std::string TPluginEditorWindow::readout() const {
    return missingShown ? std::string(valuetext::kKeyMissingLine) : readoutLine;
}

void TPluginEditorWindow::paintReadout() {
    platform::Surface& s = window->surface(printout.id);
    s.drawImage(*Iprintout, 0, 0);
    // The printed line stays underneath "no signal", to come back after.
    const std::string_view line = missingShown ? std::string_view(valuetext::kKeyMissingLine) : readoutLine;
    s.drawText(8 * unit, 3 * unit, line, platform::FontSpec{"Arial", 8, Rgb{0, 0, 0}, unit});
}

bool TPluginEditorWindow::setScale(double scale) {
    requested = scale;
    if (!window->setScale(scale))
        return false;
    // The platform window dropped its pictures: build them again at the
    // new drawing scale, as they stood. The controls keep their ids, so a
    // drag under way goes on.
    unit = window->drawingScale();
    mouseAreas.clear();
    buildLayout();
    paintReadout();
    for (int i = 0; i < kNumSliders; ++i)
        SetControl(i);
    if (selectorShown)
        paintKeySelector();
    if (plugin != nullptr)
        plugin->editorResized(window->clientWidth(), window->clientHeight());
    return true;
}

void TPluginEditorWindow::SetLabel(int index) {
    if (index < 0 || index >= kNumSliders)
        return;  // no line: the read-out keeps what it shows
    const params::Parameter& parameter = params::kParameters[index];
    switch (parameter.readout) {
    case params::Readout::Frequency:
        PrintLabels(parameter.label, FilterStr(values[index].load(std::memory_order_relaxed)));
        return;
    case params::Readout::Percent: PrintLabels(parameter.label, FPer(index)); return;
    case params::Readout::Decibels:
        PrintLabels(parameter.label, dBStr(index, parameter.dbScale, parameter.dbOffset));
        return;
    }
}

std::string TPluginEditorWindow::FPer(int index) const {
    return valuetext::PercentText(values[index].load(std::memory_order_relaxed), decimalSeparator);
}

std::string TPluginEditorWindow::dBStr(int index, double scale, double offset) const {
    return valuetext::DecibelText(values[index].load(std::memory_order_relaxed), scale, offset,
                                   decimalSeparator);
}

std::string TPluginEditorWindow::FilterStr(float value) const {
    return valuetext::FilterStr(value, decimalSeparator);
}

std::string TPluginEditorWindow::FloatStr(double x, double scale) const {
    return valuetext::FloatStr(x, scale, decimalSeparator);
}

// ---------------------------------------------------------------------------
// Mouse

int TPluginEditorWindow::indexOfSender(const Control& sender) const {
    int index = -1;
    for (int i = 0; i < kNumSliders; ++i)
        if (EqualsInCapitals(sender.name, kSliderKeys[i]))
            index = i;
    return index;
}

void TPluginEditorWindow::SetcontrolSelect(const Control& sender, MouseButton button, bool shift, int x, int) {
    if (dragging)
        return;  // a press during a drag is ignored, not queued
    const int index = indexOfSender(sender);
    if (index >= 0)
        SetHSlider(index, x, button, shift);
}

void TPluginEditorWindow::MoveControl(const Control& sender, bool, int x, int) {
    const int index = indexOfSender(sender);
    if (index >= 0)
        MoveHSlider(index, x);
}

void TPluginEditorWindow::MouseUp(const Control&, MouseButton, bool, int, int) {
    dragStartValue = values[dragIndex].load(std::memory_order_relaxed);
    const bool endsDrag = dragging;
    dragging = false;
    dragMode = -1;
    if (endsDrag && plugin != nullptr)
        plugin->endGesture(dragIndex);
    SetAll();
}

void TPluginEditorWindow::SetHSlider(int index, int x, MouseButton button, bool shift) {
    int p = x - 10;
    p = p < 0 ? 0 : (p > 80 ? 80 : p);
    dragMode = -1;
    dragging = false;
    if (button == MouseButton::Left)
        dragMode = shift ? 1 : 0;

    if (dragMode == 0) {
        dragging = true;
        dragIndex = index;
        const float v = valuetext::limit(static_cast<float>(p / 80.0));
        values[index].store(v, std::memory_order_relaxed);
        dragStartValue = v;
        if (plugin != nullptr) {
            plugin->beginGesture(index);
            // The gesture's handler may have closed the editor.
            if (plugin != nullptr)
                plugin->setParameterAutomated(index, v);
        }
        SetControl(index);
        SetLabel(index);
    } else if (dragMode == 1) {
        // A fine drag sends nothing until the pointer moves.
        dragging = true;
        dragIndex = index;
        dragStartValue = values[index].load(std::memory_order_relaxed);
        if (plugin != nullptr)
            plugin->beginGesture(index);
    }
}

void TPluginEditorWindow::MoveHSlider(int index, int x) {
    if (!dragging) {
        SetLabel(index);  // hover: show the slider's line
        return;
    }
    int p = x - 10;
    float v;
    if (dragMode == 0) {
        p = p < 0 ? 0 : (p > 80 ? 80 : p);
        v = valuetext::limit(static_cast<float>(p / 80.0));
    } else {
        // Fine: 0.001 per pixel from the slider's left edge plus 10, on top
        // of the value at the press; the pointer may be anywhere.
        v = static_cast<float>(p / 1000.0 + dragStartValue);
        if (v < 0.0f)
            v = 0.0f;
        if (v > 1.0f)
            v = 1.0f;
    }
    values[index].store(v, std::memory_order_relaxed);
    if (plugin != nullptr)
        plugin->setParameterAutomated(index, v);
    SetControl(index);
    SetLabel(index);
}

void TPluginEditorWindow::ChooseNextKeySource() {
    const int choice = (shownKeySource + 1) % keyChoices;
    keySource.store(choice, std::memory_order_relaxed);
    shownKeySource = choice;
    paintKeySelector();
    printLine(valuetext::KeyLine(choice));
    // Last: the plug-in's handler may close the editor.
    if (plugin != nullptr)
        plugin->keySourceChosen(choice);
}

// ---------------------------------------------------------------------------
// Platform events

const TPluginEditorWindow::Control* TPluginEditorWindow::controlById(int id) const {
    for (const Control* c : sliders)
        if (c != nullptr && c->id == id)
            return c;
    return nullptr;
}

int TPluginEditorWindow::mouseTarget(int x, int y) const {
    if (captured >= 0)
        return captured;
    for (int i = static_cast<int>(mouseAreas.size()) - 1; i >= 0; --i) {
        const MouseArea& a = mouseAreas[static_cast<size_t>(i)];
        if (a.visible && x >= a.bounds.left && x < a.bounds.right && y >= a.bounds.top && y < a.bounds.bottom)
            return a.takesMouse ? i : -1;
    }
    return -1;
}

// Counts the events under way; the last one to finish carries out a
// destruction that the bridge asked for meanwhile. Nothing touches the
// window after that: the handlers return at once, and the backends do
// nothing more after an event.
struct TPluginEditorWindow::EventScope {
    explicit EventScope(TPluginEditorWindow& w) : window(w) { ++window.eventDepth; }
    ~EventScope() {
        if (--window.eventDepth == 0 && window.destroyRequested)
            delete &window;
    }
    EventScope(const EventScope&) = delete;
    EventScope& operator=(const EventScope&) = delete;
    TPluginEditorWindow& window;
};

void TPluginEditorWindow::onTimer() {
    EventScope scope(*this);
    if (plugin != nullptr)
        plugin->refreshing();
    Timer2Timer();
    if (plugin != nullptr)
        plugin->refreshed();
}

void TPluginEditorWindow::onMouseDown(MouseButton button, bool shift, int x, int y) {
    EventScope scope(*this);
    x = platform::PanelUnits(x, window->scale());
    y = platform::PanelUnits(y, window->scale());
    lastX = x;
    lastY = y;
    const int target = mouseTarget(x, y);
    if (target < 0)
        return;
    if (button == MouseButton::Left) {
        // The pressed slider holds the mouse until the left button is up.
        captured = target;
        window->captureMouse();
    }
    const platform::Rect& at = mouseAreas[static_cast<size_t>(target)].bounds;
    if (const Control* c = controlById(target))
        SetcontrolSelect(*c, button, shift, x - at.left, y - at.top);
    else if (selectorShown && target == KeySelector.id && button == MouseButton::Left && !dragging)
        ChooseNextKeySource();
    else if (learnShown && target == LearnButton.id && button == MouseButton::Left && !dragging)
        ClickLearn();
}

void TPluginEditorWindow::onMouseMove(bool shift, int x, int y) {
    EventScope scope(*this);
    x = platform::PanelUnits(x, window->scale());
    y = platform::PanelUnits(y, window->scale());
    lastX = x;
    lastY = y;
    const int target = mouseTarget(x, y);
    if (target < 0)
        return;
    const platform::Rect& at = mouseAreas[static_cast<size_t>(target)].bounds;
    if (const Control* c = controlById(target))
        MoveControl(*c, shift, x - at.left, y - at.top);
    else if (selectorShown && target == KeySelector.id && !dragging)
        printLine(valuetext::KeyLine(shownKeySource));  // hover: the selector's line
}

void TPluginEditorWindow::onMouseUp(MouseButton button, bool shift, int x, int y) {
    EventScope scope(*this);
    x = platform::PanelUnits(x, window->scale());
    y = platform::PanelUnits(y, window->scale());
    lastX = x;
    lastY = y;
    const int target = mouseTarget(x, y);
    if (button == MouseButton::Left && captured >= 0) {
        captured = -1;  // first: releasing may report the capture's end
        window->releaseMouse();
    }
    if (target < 0)
        return;
    const platform::Rect& at = mouseAreas[static_cast<size_t>(target)].bounds;
    if (const Control* c = controlById(target))
        MouseUp(*c, button, shift, x - at.left, y - at.top);
}

void TPluginEditorWindow::onCaptureLost() {
    EventScope scope(*this);
    if (captured < 0)
        return;
    // No button-up will come: the drag ends as a release where the pointer
    // was last seen would end it.
    const int target = captured;
    captured = -1;
    window->releaseMouse();
    const platform::Rect& at = mouseAreas[static_cast<size_t>(target)].bounds;
    if (const Control* c = controlById(target))
        MouseUp(*c, MouseButton::Left, false, lastX - at.left, lastY - at.top);
}

void TPluginEditorWindow::onSystemScaleChanged() {
    EventScope scope(*this);
    if (requested > 0.0)
        return;  // the host's scale stands until the host says otherwise
    setScale(0.0);
}

void CloseEmbeddedWindow(TPluginEditorWindow* window) {
    if (window == nullptr)
        return;
    if (!window->handlingEvent()) {
        delete window;
        return;
    }
    window->form().hide();
    EditorController* edits = window->plugin;
    window->plugin = nullptr;
    if (window->dragging && edits != nullptr) {
        window->dragging = false;
        edits->endGesture(window->dragIndex);
    }
    window->destroyAfterEvent();
}
