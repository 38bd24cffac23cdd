// EmbeddedEditor: the editor window inside a host's window, for every
// edition (the VST 2.x bridge, the LV2 UI, the VST3 view, the CLAP gui).
// Each edition keeps only its own protocol; what is the same in all of
// them lives here once:
//
// - the window, and its size before it exists: the panel's at the scale
//   platform::ChooseScale picks from HALVORINE_SCALE, the host's and the
//   system's (read once until a window opens, and again after it closes:
//   the next window may open on another screen), so that the size a host
//   asks for first is the size the window opens at;
// - opening it into the host's parent window, and telling the host when it
//   opened at another size than the host was told;
// - the refresh: the host's idle calls (pump), or the window's own 25 ms
//   timer, which on X11 runs from the host's loop (the owner joins the
//   window to it, and calls tick and pump from it);
// - closing, also from inside one of the window's own events (a host that
//   closes the editor while it hears of an edit), when the window goes at
//   the end of the event and a drag under way ends its gesture at once;
// - asking the host for a new size (Owner::sizeChanged) when the window's
//   scale changes while it is open.
//
// Re-entry. Every call to the owner may end in the host destroying the
// editor's owner (and with it this object): each such call is the last
// thing a method does, or the owner holds itself for the length of the
// host's entry (the VST3 view's reference, the CLAP gui's entry count).
//
// Everything here runs on the host's user-interface thread.
#pragma once

#include "EditorController.h"
#include "platform/Platform.h"

class TPluginEditorWindow;

class EmbeddedEditor final : private EditorController {
public:
    // How the window follows its owner.
    enum class Refresh {
        // The owner writes what changes into the window (values) itself,
        // and the host's idle calls drive it (pump): the VST 2.x bridge, the
        // LV2 UI. The window comes from the process's window backend.
        Pushed,
        // The editor reads the owner at every tick of the window's timer
        // (Owner::showIn): the VST3 view, the CLAP gui, whose windows are
        // always the platform's native ones (Owner::backend).
        Pulled,
    };

    class Owner {
    public:
        // Where the window's edits go.
        virtual EditorController& edits() = 0;
        // What the window shows: when it opens, before it is shown, and
        // with Refresh::Pulled before every refresh pass.
        virtual void showIn(TPluginEditorWindow& window) = 0;
        // The backend the window is made with, and the system's scale read
        // before it exists; by default the process's (createWindow), with
        // no system scale known before the window.
        virtual platform::Backend backend() { return {}; }
        // A window whose timer the host's loop must drive (X11): its
        // connection `fd` is to be watched (pump) and tick() called every
        // TPluginEditorWindow::kTimerInterval ms. False if the host cannot:
        // the window is not opened, as nothing would drive it.
        virtual bool joinLoop(int fd) {
            (void)fd;
            return true;
        }
        // Out of the host's loop, before the window (and its connection)
        // goes.
        virtual void leaveLoop() {}
        // After each refresh pass: what the owner could not tell its host
        // from inside a host call, it may tell now. Inside the window's
        // event (see EditorController::refreshed).
        virtual void afterRefresh() {}
        // The window's new size in screen pixels: the host is to make room.
        // May destroy.
        virtual void sizeChanged(int width, int height) = 0;

    protected:
        ~Owner() = default;
    };

    EmbeddedEditor(Owner& owner, Refresh refresh);
    ~EmbeddedEditor();
    EmbeddedEditor(const EmbeddedEditor&) = delete;
    EmbeddedEditor& operator=(const EmbeddedEditor&) = delete;

    // The editor's size in screen pixels: the open window's, or what the
    // window would open at.
    int width() const;
    int height() const;

    // The host's scale (0: none, the system's applies), kept for every
    // window from now on. Applied to an open window, which then asks the
    // owner for its new size: last, it may destroy.
    void setHostScale(double scale);
    double hostScale() const { return requestedScale; }

    // Makes the window in `parent` (closing one that is open), fills it
    // (Owner::showIn), joins the host's loop and shows it. False if there is
    // no window to be had (a parent that is gone, no display, a host with
    // no loop to lend).
    bool open(void* parent);
    // After a successful open, last: if the window opened at another size
    // than the host was told before, the owner hears of it (sizeChanged).
    void reportSizeIfChanged();
    // Leaves the host's loop and takes the window down, or leaves it to go
    // at the end of the event it is closed in.
    void close();

    TPluginEditorWindow* window() const { return shown; }
    // The window's timer, due now, as the host's loop ticks it: the
    // owner's values, the refresh pass, Owner::afterRefresh, and what the
    // window has to draw.
    void tick();
    // The window's queued events and whatever it has to draw; its timer
    // when due (the host's idle call).
    void pump();
    void setVisible(bool visible);

private:
    // EditorController: the window's way out, to the owner.
    void setParameterAutomated(int index, float value) override;
    void beginGesture(int index) override;
    void endGesture(int index) override;
    void keySourceChosen(int choice) override;
    void editorResized(int width, int height) override;
    void refreshing() override;
    void refreshed() override;
    float learnRate() override { return owner.edits().learnRate(); }

    double scaleBeforeWindow() const;

    Owner& owner;
    const Refresh refresh;
    TPluginEditorWindow* shown = nullptr;
    double requestedScale = 0.0;        // the host's, 0 for none
    mutable double systemScale = -1.0;  // -1: not read since the last window
    int toldWidth = 0, toldHeight = 0;  // what the host was told before open
    bool joined = false;                // in the host's loop
};
