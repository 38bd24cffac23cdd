#include "EmbeddedEditor.h"

#include <memory>

#include "uEditor.h"

namespace {

// While it exists, createWindow makes windows with `factory` (when there is
// one); whatever the process relied on before (the tests' headless windows)
// is back as soon as the window is made.
class FactoryScope {
public:
    explicit FactoryScope(platform::WindowFactory factory)
        : previous(factory != nullptr ? platform::setWindowFactory(factory) : nullptr) {}
    ~FactoryScope() {
        if (previous != nullptr)
            platform::setWindowFactory(previous);
    }
    FactoryScope(const FactoryScope&) = delete;
    FactoryScope& operator=(const FactoryScope&) = delete;

private:
    platform::WindowFactory previous;
};

}  // namespace

EmbeddedEditor::EmbeddedEditor(Owner& owner, Refresh refresh) : owner(owner), refresh(refresh) {}

EmbeddedEditor::~EmbeddedEditor() { close(); }

double EmbeddedEditor::scaleBeforeWindow() const {
    // Hosts ask for the size many times, and each reading of the system's
    // scale is a connection to the display.
    if (systemScale < 0.0) {
        const platform::Backend native = owner.backend();
        systemScale = native.systemScale != nullptr ? native.systemScale() : 0.0;
    }
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
    const platform::WindowFactory factory = owner.backend().create;
    if (refresh == Refresh::Pulled && factory == nullptr)
        return false;  // a build without a native window has no editor to show
    std::unique_ptr<TPluginEditorWindow> made;
    try {
        FactoryScope backend(factory);
        made = std::make_unique<TPluginEditorWindow>(parent, requestedScale);  // runs FormCreate
    } catch (...) {
        return false;  // no window to be had (a parent that is gone, no display)
    }
    made->form().setPosition(0, 0);
    owner.showIn(*made);
    made->plugin = this;
    const int fd = made->form().loopConnection();
    if (fd >= 0 && refresh == Refresh::Pulled) {
        if (!owner.joinLoop(fd))
            return false;
        joined = true;
    }
    shown = made.release();
    shown->form().repaintNow();
    shown->form().show();
    shown->SetAll();
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
    CloseEmbeddedWindow(doomed);  // or when the event it is closed in is done
}

void EmbeddedEditor::tick() {
    if (shown != nullptr)
        shown->form().runTimerNow();
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

void EmbeddedEditor::refreshing() {
    if (refresh == Refresh::Pulled && shown != nullptr)
        owner.showIn(*shown);
}

void EmbeddedEditor::refreshed() { owner.afterRefresh(); }

void EmbeddedEditor::setParameterAutomated(int index, float value) {
    owner.edits().setParameterAutomated(index, value);
}
void EmbeddedEditor::beginGesture(int index) { owner.edits().beginGesture(index); }
void EmbeddedEditor::endGesture(int index) { owner.edits().endGesture(index); }
void EmbeddedEditor::keySourceChosen(int choice) { owner.edits().keySourceChosen(choice); }
void EmbeddedEditor::editorResized(int width, int height) { owner.sizeChanged(width, height); }
