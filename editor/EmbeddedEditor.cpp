// Compiled into each edition that embeds the editor, with that edition's
// platform backend: where it has a native one (Windows, Linux with X11),
// HALVORINE_NATIVE_WINDOW is defined and Refresh::Pulled windows are native
// ones; a build without (no Xlib, a fuzz build) opens no such window.
#include "EmbeddedEditor.h"

#include <memory>

#include "FloatingPointGuard.h"
#include "platform/NativeWindow.h"
#include "platform/Platform.h"
#include "uEditor.h"

namespace {

#if defined(_WIN32)
// The refresh tick on the window, beside the window's own timer (id 1). Its
// id is the editor's address, so that the procedure finds the editor
// without a table; it ends with the window.
void CALLBACK RefreshTimer(HWND, UINT, UINT_PTR id, DWORD) {
    fpenv::FloatingPointGuard guard;
    try {
        reinterpret_cast<EmbeddedEditor*>(id)->tick();
    } catch (...) {
    }
}
#endif

}  // namespace

EmbeddedEditor::EmbeddedEditor(Owner& owner, Refresh refresh) : owner(owner), refresh(refresh) {}

EmbeddedEditor::~EmbeddedEditor() { close(); }

double EmbeddedEditor::scaleBeforeWindow() const {
    // Hosts ask for the size many times, and each reading of the system's
    // scale is a connection to the display.
    if (systemScale < 0.0)
        systemScale = platform::NativeSystemScale();
    return platform::ChooseScale(requestedScale, systemScale);
}

int EmbeddedEditor::width() const {
    return shown != nullptr ? shown->form().clientWidth()
                            : platform::ScaledLength(TPluginEditorWindow::kClientWidth, scaleBeforeWindow());
}

int EmbeddedEditor::height() const {
    return shown != nullptr ? shown->form().clientHeight()
                            : platform::ScaledLength(TPluginEditorWindow::kClientHeight, scaleBeforeWindow());
}

void EmbeddedEditor::setHostScale(double scale) {
    requestedScale = scale > 0.0 ? scale : 0.0;  // NaN too withdraws it
    if (shown != nullptr)
        shown->setScale(requestedScale);  // last: the host hears of the new size
}

bool EmbeddedEditor::open(void* parent) {
    close();  // opened again: the window moves to the new parent
    toldWidth = width();
    toldHeight = height();
    std::unique_ptr<TPluginEditorWindow> made;
    try {
        if (refresh == Refresh::Pulled) {
#if defined(HALVORINE_NATIVE_WINDOW)
            [[maybe_unused]] platform::NativeWindows native;
            made = std::make_unique<TPluginEditorWindow>(parent, requestedScale);  // runs FormCreate
#else
            return false;  // a build without a native window has no editor to show
#endif
        } else {
            made = std::make_unique<TPluginEditorWindow>(parent, requestedScale);
        }
    } catch (...) {
        return false;  // no window to be had (a parent that is gone, no display)
    }
    made->form().setPosition(0, 0);
    owner.showIn(*made);
    made->plugin = this;
#if defined(HALVORINE_X11)
    if (refresh == Refresh::Pulled) {
        const int fd = platform::x11::ConnectionFileDescriptor(made->form());
        if (fd < 0 || !owner.joinLoop(fd))
            return false;
        joined = true;
    }
#endif
    shown = made.release();
    shown->form().repaintNow();
    shown->form().show();
    shown->SetAll();
    startOwnTimer();
    return true;
}

void EmbeddedEditor::reportSizeIfChanged() {
    // The window opened at another size than the host was told (its screen
    // is not the one the system's scale is for): the host is to follow.
    if (shown != nullptr && (width() != toldWidth || height() != toldHeight))
        owner.sizeChanged(width(), height());
}

void EmbeddedEditor::close() {
    systemScale = -1.0;  // the next window may open on another screen
    if (joined) {
        joined = false;
        owner.leaveLoop();  // first: the descriptor closes with the window
    }
    TPluginEditorWindow* doomed = shown;
    shown = nullptr;
    if (doomed == nullptr)
        return;
    stopOwnTimer(*doomed);
    CloseEmbeddedWindow(doomed);  // or when the event it is closed in is done
}

int EmbeddedEditor::connection() const {
#if defined(HALVORINE_X11)
    return shown != nullptr ? platform::x11::ConnectionFileDescriptor(shown->form()) : -1;
#else
    return -1;
#endif
}

void EmbeddedEditor::tick() {
    if (shown == nullptr)
        return;
    if (refresh == Refresh::Pulled)
        owner.showIn(*shown);
#if defined(HALVORINE_X11)
    if (refresh == Refresh::Pulled)
        platform::x11::RunTimerNow(shown->form());  // the window's events may close the editor
#endif
    if (shown != nullptr)
        owner.afterRefresh();
}

void EmbeddedEditor::pump() {
    if (shown != nullptr)
        shown->form().repaintNow();
}

void EmbeddedEditor::setVisible(bool visible) {
    if (shown == nullptr)
        return;
    if (visible)
        shown->form().show();
    else
        shown->form().hide();
}

void EmbeddedEditor::startOwnTimer() {
#if defined(_WIN32)
    if (refresh == Refresh::Pulled)
        SetTimer(static_cast<HWND>(shown->form().nativeHandle()), reinterpret_cast<UINT_PTR>(this),
                 TPluginEditorWindow::kTimerInterval, &RefreshTimer);
#endif
}

void EmbeddedEditor::stopOwnTimer(TPluginEditorWindow& window) {
#if defined(_WIN32)
    if (refresh == Refresh::Pulled)
        KillTimer(static_cast<HWND>(window.form().nativeHandle()), reinterpret_cast<UINT_PTR>(this));
#else
    (void)window;
#endif
}

void EmbeddedEditor::setParameterAutomated(int index, float value) {
    owner.edits().setParameterAutomated(index, value);
}
void EmbeddedEditor::beginGesture(int index) { owner.edits().beginGesture(index); }
void EmbeddedEditor::endGesture(int index) { owner.edits().endGesture(index); }
void EmbeddedEditor::keySourceChosen(int choice) { owner.edits().keySourceChosen(choice); }
void EmbeddedEditor::editorResized(int width, int height) { owner.sizeChanged(width, height); }
