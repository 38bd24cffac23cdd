#include "APluginEditor.h"

#include <thread>

#include "uEditor.h"
#include "uPlugin.h"

namespace {
// The size answered while no window exists.
constexpr int16_t kClosedWidth = 665;
constexpr int16_t kClosedHeight = 518;
// Parameter block entries copied into the window: the 30 host parameters
// and the spare slot.
constexpr int kCopiedValues = 31;
}  // namespace

APluginEditor::APluginEditor(APlugin* plugin) : AEffEditor(plugin) {}

APluginEditor::~APluginEditor() {
    if (window != nullptr) {
        plugin()->editorClosed = true;
        destroyWindow();
    }
}

APlugin* APluginEditor::plugin() const { return static_cast<APlugin*>(effect); }

VstInt32 APluginEditor::getRect(ERect** out) {
    rect.top = 0;
    rect.left = 0;
    if (window != nullptr) {
        rect.bottom = static_cast<int16_t>(window->form().clientHeight());
        rect.right = static_cast<int16_t>(window->form().clientWidth());
    } else {
        rect.bottom = kClosedHeight;
        rect.right = kClosedWidth;
    }
    if (out != nullptr)
        *out = &rect;
    return 1;
}

VstInt32 APluginEditor::open(void* parent) {
    parentWindow = parent;
    ++openCount;
    if (openCount == 1 || window == nullptr) {
        try {
            window = new TPluginEditorWindow(parent);  // runs FormCreate
        } catch (...) {
            // No window to open in (a null or dead parent on Windows): the
            // request fails and the bridge stays as it was.
            --openCount;
            parentWindow = nullptr;
            return 0;
        }
        window->form().setPosition(0, 0);
        for (int i = 0; i < kCopiedValues; ++i)
            window->values[i].store(plugin()->parameterValue(i), std::memory_order_relaxed);
        window->plugin = plugin();
    }
    plugin()->editorClosed = false;
    updateTarget.store(window);
    window->form().repaintNow();
    window->form().show();
    window->SetAll();
    return 1;
}

void APluginEditor::close() {
    if (window != nullptr)
        window->form().hide();
    if (--openCount < 0)
        openCount = 0;
    if (openCount == 0) {
        plugin()->editorClosed = true;
        destroyWindow();
    }
}

void APluginEditor::idle() {
    if (window != nullptr)
        window->form().repaintNow();
}

void APluginEditor::update() {
    // The plug-in's editorClosed is true exactly while no window is
    // published here, so this test stands for it without reading a flag
    // that the user-interface thread writes.
    updatesRunning.fetch_add(1);
    if (TPluginEditorWindow* target = updateTarget.load()) {
        APlugin* p = plugin();
        for (int i = 0; i < kCopiedValues; ++i)
            target->values[i].store(p->parameterValue(i), std::memory_order_relaxed);
    }
    updatesRunning.fetch_sub(1);
}

void APluginEditor::destroyWindow() {
    TPluginEditorWindow* doomed = window;
    window = nullptr;
    parentWindow = nullptr;
    updateTarget.store(nullptr);
    // A copy that saw the old pointer finishes within microseconds.
    while (updatesRunning.load() != 0)
        std::this_thread::yield();
    if (doomed != nullptr && doomed->handlingEvent()) {
        // Closed from inside one of the window's own events (a host that
        // closes the editor while it hears of an edit): the handler is
        // still running on it, so it goes when the event is done.
        doomed->form().hide();
        doomed->plugin = nullptr;
        doomed->destroyAfterEvent();
        return;
    }
    delete doomed;
}
