// TPluginEditorWindow: the plug-in's own editor, a fixed 398 x 241 window
// painted from bitmaps, with one image slider for each of the parameters 0
// to 21 and a one-line read-out under them.
//
// The window keeps its own copy of the parameter values (`values`), which
// the editor bridge rewrites after every parameter change, possibly from
// the audio thread; a 25 ms timer redraws the sliders whose value moved.
// Every change the user makes goes to the plug-in through
// setParameterAutomated (EditorController, the window's one way out).
// Everything else runs on the window's own thread.
//
// The backend reports only window-level mouse input; the window itself finds
// the slider under the pointer and keeps the mouse on the slider of a left
// press until the left button is released (capture), so that every backend
// behaves alike.
//
// Scale. Everything here is laid out in panel units, the 398 x 241 pixels
// of the window at scale 1; the window can be shown at any scale from 1 to
// 3 in quarters (setScale), and then draws its pictures natively at the
// drawing scale (1, 2 or 3: the artwork and read-out font exist at each),
// places them at their panel position times that scale, and maps the
// pointer back to panel units, so that the slider table, the drag rules
// and every value behave exactly as at scale 1. The scale comes from the
// host (the bridge, the LV2 UI or a VST3 view pass it on), else from the
// system (the backend's own: a Windows window's DPI, X11's Xft.dpi), and
// HALVORINE_SCALE overrides both (platform::ChooseScale).
//
// The key selector. The editions that choose what keys the gates (not the
// VST 2.x one) write the choice into `keySource`; from the first refresh
// pass that sees it at 0 or above, a button at the right of the read-out,
// over the product's mark, shows it, and a left click on it moves to the
// next choice and tells the plug-in (EditorController::keySourceChosen).
// With keySource at -1, its default, the window draws and behaves exactly
// as it always has. `keyMissing` puts "Key: no signal" in the read-out
// while it holds; the line it covered comes back after.
//
// The program. The editions with a program parameter (not the VST 2.x one)
// write the current program's index into `program`; a refresh pass that
// sees it change names the new program in the read-out, since a program
// moves every slider and the line of the control last touched no longer
// holds. At -1, its default, the read-out keeps to the drags alone.
//
// Band activity and Learn. The editions that meter their bands (not the
// VST 2.x one) set `showsActivity` before the window shows, and hand it
// each band's level (bandActivity) before a refresh pass whenever audio
// ran. Each band slider's groove then shows the band's level on the
// slider's own scale: the fill ends where the knob would stand for a gate
// level whose threshold is that level, so that where the fill passes the
// knob the gate opens. It is lit while the band passes and dim while it
// is closed, and falls at 20 dB a second after a peak. A "Learn" button
// beside the key selector collects every band's highest level until it is
// clicked again, then sets each band's gate level a margin above it
// (gate::LearnGateLevels), one gesture per slider. With `showsActivity`
// false, its default, nothing of this is drawn and the window is as it
// always was.
//
// For an edition whose host hands the scale to a view (a content scale
// factor, a resize through the host's frame): create the window with the
// host's scale if it is known, else 0; pass a later one to setScale; do the
// resizing in EditorController::editorResized, which receives the new size
// in screen pixels; report form().clientWidth() and clientHeight() as the
// view's size, and, before the window exists,
// platform::ScaledLength(kClientWidth, platform::ChooseScale(hostScale,
// system)) (and the same for the height), where `system` is the scale the
// backend will find (platform::x11::DisplayScale,
// platform::win32::SystemScale(nullptr)).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "EditorController.h"
#include "ValueText.h"
#include "platform/Platform.h"

class TPluginEditorWindow : public platform::WindowEvents {
public:
    // Slots of the value copy; the plug-in fills 0 to 30 and the sliders
    // use 0 to 21.
    static constexpr int kNumValues = 501;
    static constexpr int kNumSliders = 22;
    static constexpr int kClientWidth = 398;
    static constexpr int kClientHeight = 241;
    // The key choices: Left, Right, Mid, Side, External.
    static constexpr int kNumKeySources = 5;
    // The timer's interval; each tick is one refresh pass.
    static constexpr int kTimerInterval = 25;

    // A picture control of the platform window; `id` is its place in the
    // painting order.
    struct Control {
        const char* name;
        int id;
    };

    // Builds the layout as a child of `parent`, runs FormCreate and starts
    // the timer. `scale` is the host's scale for the editor, 0 when the host
    // gives none (the system's then applies; see setScale). Window thread;
    // allocates.
    explicit TPluginEditorWindow(void* parent, double scale = 0.0);
    ~TPluginEditorWindow() override;
    TPluginEditorWindow(const TPluginEditorWindow&) = delete;
    TPluginEditorWindow& operator=(const TPluginEditorWindow&) = delete;

    // Controls, in declaration order. Timer2 is run by the platform
    // window; HBar, ISliderPos and Iprintout are its one-image lists.
    struct Timer {
        int Interval;
    };
    const Timer Timer2{kTimerInterval};
    std::unique_ptr<platform::ImageList> HBar;
    Control Backslider{};
    std::unique_ptr<platform::ImageList> ISliderPos;
    std::unique_ptr<platform::ImageList> Iprintout;
    Control Panel8{};
    Control printout{};
    Control HsLeft1{}, HSLeft2{}, HsLeft3{}, HsLeft4{}, HsLeft5{}, HsLeft6{}, HsLeft7{}, HsLeft8{};
    Control HsRight1{}, HsRight2{}, HsRight3{}, HsRight4{}, HsRight5{}, HsRight6{}, HsRight7{}, HsRight8{};
    Control Hstart{}, HFinish{}, HQ{}, Hatt{}, hboost{}, Hrel{};
    Control Image1{};
    Control KeySelector{};  // added when keySource is first seen at 0 or above
    Control LearnButton{};  // added at the first refresh pass when showsActivity is set
    Control Mark{};         // the product's mark in short, beside the Learn button

    // Fields. `plugin` is set by the bridge right after creation.
    EditorController* plugin = nullptr;
    int dragMode = -1;  // -1 no drag, 0 absolute, 1 fine; read only while dragging
    int dragIndex = 0;
    // Written by the bridge on any thread and read by the window's thread:
    // each entry is one whole float, relaxed, with no lock.
    std::atomic<float> values[kNumValues];
    static_assert(std::atomic<float>::is_always_lock_free, "values must be lock-free for the audio thread");
    float drawnValues[kNumValues];
    float dragStartValue = 0.0f;
    bool dragging = false;
    // Written by the owner like `values`: the key choice the selector shows
    // (-1: no selector) and whether the chosen key has no signal now.
    std::atomic<int> keySource{-1};
    std::atomic<bool> keyMissing{false};
    // Written by the owner like `values`: the current program, -1 for none.
    std::atomic<int> program{-1};
    // How many choices the selector goes through, from "Left": an edition
    // without a key input sets 4 (no "External") before the window shows.
    // Window thread.
    int keyChoices = kNumKeySources;
    // Band activity and Learn (see above). Window thread, set before the
    // window shows.
    bool showsActivity = false;
    static constexpr int kNumBands = 16;

    // Start-up: the title read-out, every slider marked as never drawn.
    void FormCreate();
    // The refresh pass: redraws each slider whose value differs from what
    // the previous pass saw, and the key selector and read-out as
    // keySource and keyMissing stand. Window thread; allocates nothing,
    // except when it first shows the selector.
    void SetAll();
    void Timer2Timer();

    // Slider drawing and read-out.
    void SetControl(int index);
    void DrawHSlider(const Control& slider, int index);
    void Clearscreen(const Control& picture, platform::Rgb colour);
    void PrintLabels(const std::string& label, const std::string& value);
    void SetLabel(int index);
    std::string FPer(int index) const;
    std::string dBStr(int index, double scale, double offset) const;
    std::string FilterStr(float value) const;
    std::string FloatStr(double x, double scale) const;

    // Mouse handlers of all 22 sliders, and the drag they run.
    void SetcontrolSelect(const Control& sender, platform::MouseButton button, bool shift, int x, int y);
    void MoveControl(const Control& sender, bool shift, int x, int y);
    void MouseUp(const Control& sender, platform::MouseButton button, bool shift, int x, int y);
    void SetHSlider(int index, int x, platform::MouseButton button, bool shift);
    void MoveHSlider(int index, int x);
    // A click on the key selector: the next choice, shown, printed and
    // sent to the plug-in.
    void ChooseNextKeySource();
    // Band `band` (0 to 15) reached `level` (its detector's largest value
    // since the previous call, as a ratio to full scale) and passes `gain`
    // of itself now. Window thread, before a refresh pass; only when audio
    // ran since the previous call.
    void bandActivity(int band, float level, float gain);
    // A click on the Learn button: learning starts, or ends and sets the
    // gate levels.
    void ClickLearn();

    // Shows the window at a new scale: the host's `scale`, or 0 to follow
    // the system's (platform::ChooseScale decides, HALVORINE_SCALE first).
    // If that changes the window's scale, its pictures are built again at
    // the new size, every slider and the read-out line are drawn as they
    // stood, and the window tells `plugin` its new size in screen pixels
    // (EditorController::editorResized, last: it may close the editor);
    // the answer is then true. Window thread.
    bool setScale(double scale);
    // The scale the host asked for (0: none, the system's applies).
    double requestedScale() const { return requested; }

    // The slider that shows parameter `index` (0 to 21), or null.
    const Control* sliderOf(int index) const;
    // The read-out line shown: the one most recently printed (label,
    // " :: ", value, or the key's line), or the key's "no signal" line.
    std::string readout() const;
    platform::Window& form() { return *window; }
    const platform::Window& form() const { return *window; }

    // True while one of the window's own events is being handled. A host
    // may close the editor from inside the automation callback of a drag;
    // the window must then outlive the handler, so the bridge hides it and
    // leaves its destruction to the end of the event.
    bool handlingEvent() const { return eventDepth > 0; }
    void destroyAfterEvent() { destroyRequested = true; }

    // platform::WindowEvents
    void onTimer() override;
    void onMouseDown(platform::MouseButton button, bool shift, int x, int y) override;
    void onMouseMove(bool shift, int x, int y) override;
    void onMouseUp(platform::MouseButton button, bool shift, int x, int y) override;
    void onCaptureLost() override;
    void onSystemScaleChanged() override;

private:
    struct EventScope;
    // Where a picture lies for the mouse, by control id.
    struct MouseArea {
        platform::Rect bounds;
        bool visible;
        bool takesMouse;
    };
    const Control* controlById(int id) const;
    // Adds a picture, given in panel units, to the mouse's map and to the
    // platform window at the drawing scale.
    int addPicture(platform::PictureSpec spec);
    // A control over `area` (panel units), added last: the editions' own
    // controls come after the VST 2.x window's, which keep their ids.
    Control addControl(const char* name, const platform::Rect& area, bool takesMouse);
    // Draws the read-out's background and its line over it.
    void paintReadout();
    // Prints one whole line in the read-out.
    void printLine(const std::string& line);
    // The key selector: added to the window (last, over everything), and
    // drawn with the choice it shows.
    void addKeySelector();
    void paintKeySelector();
    void refreshKeySelector();
    void refreshProgram();
    // Band activity: the held levels fall, and the sliders whose fill
    // changed are drawn again; the Learn button is added.
    void refreshActivity();
    void addLearnButton();
    void paintLearnButton();
    // The fill of band `band`'s slider as it is to be drawn: its right end
    // in pixels of the slider's surface (0: none) and its shade (0 dim to
    // kShades lit).
    struct Fill {
        int end;
        int shade;
        bool operator==(const Fill& o) const { return end == o.end && shade == o.shade; }
        bool operator!=(const Fill& o) const { return !(*this == o); }
    };
    Fill fillOf(int band) const;
    void drawActivity(platform::Surface& track, int band);
    // The topmost visible picture under a client point if it takes the
    // mouse, -1 otherwise; while a picture holds the mouse, that one.
    int mouseTarget(int x, int y) const;
    // The parameter index whose key equals the control's name in capitals,
    // or -1.
    int indexOfSender(const Control& sender) const;
    void buildLayout();

    std::unique_ptr<platform::Window> window;
    std::unique_ptr<platform::ImageList> backgroundImage;
    const Control* sliders[kNumSliders] = {};  // by parameter index
    char decimalSeparator = '.';
    std::string readoutLine;
    int eventDepth = 0;
    bool destroyRequested = false;
    std::vector<MouseArea> mouseAreas;
    int captured = -1;         // the control holding the mouse, -1 for none
    int lastX = 0, lastY = 0;  // the pointer's last position, panel units
    double requested = 0.0;    // the host's scale, 0 for none
    int unit = 1;              // the drawing scale: pixels per panel unit
    std::unique_ptr<platform::ImageList> keySelectorImage;
    bool selectorShown = false;  // the selector is part of the window
    int shownKeySource = -1;     // the choice the selector shows
    bool missingShown = false;   // the read-out says "Key: no signal"
    int seenProgram = -1;        // the program the last refresh pass saw
    // Band activity, per band: the level shown (dB, falling), the largest
    // new level since the last refresh pass, the gain ratio and the fill
    // drawn; while learning, the largest level heard.
    struct Meter {
        double shownDb = -1000.0;
        double newDb = -1000.0;
        float gain = 0.0f;
        Fill drawn{0, 0};
        float learned = 0.0f;
    };
    Meter meters[kNumBands];
    std::unique_ptr<platform::ImageList> learnImage;
    bool learnShown = false;  // the Learn button is part of the window
    bool learning = false;
    bool learnHeard = false;  // audio ran since learning started
};

// Takes down a window that a host embedded (the VST3 view's, the CLAP
// editor's): deletes it, a drag under way ending its gesture. Closed from
// inside one of the window's own events (a host that closes the editor
// while it hears of an edit), the handler is still running on the window:
// it is hidden, a drag under way ends its gesture now, while the plug-in
// is surely there, and the window goes when the event is done. Null does
// nothing. Window thread.
void CloseEmbeddedWindow(TPluginEditorWindow* window);
