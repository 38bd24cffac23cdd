#include "APluginEditor.h"

#include <cmath>
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
// What a new window's entries hold until they are first copied: outside
// 0..1, the range of every parameter.
constexpr float kNotCopied = -1.0f;
}  // namespace

APluginEditor::APluginEditor(APlugin* plugin) : AEffEditor(plugin) {}

APluginEditor::~APluginEditor() {
    if (editor.window() != nullptr) {
        plugin()->editorClosed = true;
        destroyWindow();
    }
}

APlugin* APluginEditor::plugin() const { return static_cast<APlugin*>(effect); }

VstInt32 APluginEditor::getRect(ERect** out) {
    rect.top = 0;
    rect.left = 0;
    if (editor.window() != nullptr) {
        rect.bottom = static_cast<int16_t>(editor.height());
        rect.right = static_cast<int16_t>(editor.width());
    } else {
        // Scaled only when a scale is known without a window: the host's,
        // or the user's override. The system's needs the parent window.
        const double s = platform::ChooseScale(scale, 0.0);
        rect.bottom = static_cast<int16_t>(platform::ScaledLength(kClosedHeight, s));
        rect.right = static_cast<int16_t>(platform::ScaledLength(kClosedWidth, s));
    }
    if (out != nullptr)
        *out = &rect;
    return 1;
}

VstInt32 APluginEditor::open(void* parent) {
    parentWindow = parent;
    ++openCount;
    if (openCount == 1 || editor.window() == nullptr) {
        if (!editor.open(parent)) {
            // No window to open in (a null or dead parent on Windows): the
            // request fails and the bridge stays as it was.
            --openCount;
            parentWindow = nullptr;
            return 0;
        }
        plugin()->editorClosed = false;
        return 1;
    }
    plugin()->editorClosed = false;
    TPluginEditorWindow* window = editor.window();
    window->form().repaintNow();
    window->form().show();
    window->SetAll();
    return 1;
}

EditorController& APluginEditor::edits() { return *plugin(); }

// `update` may run on another thread while the window opens. Published
// before the copy, the window cannot miss a change: a change stored before
// the publication is read by the copy, and one stored after it is copied by
// its own update. The copy fills only the entries that no update has
// written since, so that it never puts an older value over a newer one.
void APluginEditor::showIn(TPluginEditorWindow& window) {
    for (int i = 0; i < kCopiedValues; ++i)
        window.values[i].store(kNotCopied, std::memory_order_relaxed);
    updateTarget.store(&window);
    // Every update begins with a read-modify-write of updatesRunning,
    // after its change was stored; so does this copy, after the window was
    // published. Such operations take turns: if the update's comes first,
    // this copy sees its change; if this one does, the update sees the
    // window.
    updatesRunning.fetch_add(0);
    for (int i = 0; i < kCopiedValues; ++i) {
        float unfilled = kNotCopied;
        window.values[i].compare_exchange_strong(unfilled, plugin()->parameterValue(i));
    }
}

void APluginEditor::sizeChanged(int width, int height) { plugin()->editorResized(width, height); }

void APluginEditor::close() {
    editor.setVisible(false);
    if (--openCount < 0)
        openCount = 0;
    if (openCount == 0) {
        plugin()->editorClosed = true;
        destroyWindow();
    }
}

void APluginEditor::setScale(float hostScale) {
    scale = std::isfinite(hostScale) && hostScale > 0.0f ? hostScale : 0.0f;
    editor.setHostScale(scale);  // last: the host hears of the new size and may close the editor
}

void APluginEditor::idle() { editor.pump(); }

void APluginEditor::update() {
    // Tests the published window instead of the plug-in's editorClosed: a
    // window is published from just after it is made until just before it
    // is destroyed. So once the editor is closed nothing is published and
    // this does nothing, as it must; before the first open neither is
    // anything published, though editorClosed is still false. The one
    // difference on purpose: an open publishes its new window a moment
    // before it clears editorClosed, so that a change made meanwhile
    // reaches the window.
    updatesRunning.fetch_add(1);  // after the caller stored the change (see `open`)
    if (TPluginEditorWindow* target = updateTarget.load()) {
        APlugin* p = plugin();
        for (int i = 0; i < kCopiedValues; ++i)
            target->values[i].store(p->parameterValue(i), std::memory_order_relaxed);
    }
    updatesRunning.fetch_sub(1);
}

void APluginEditor::destroyWindow() {
    parentWindow = nullptr;
    updateTarget.store(nullptr);
    // A copy that saw the old pointer finishes within microseconds.
    while (updatesRunning.load() != 0)
        std::this_thread::yield();
    editor.close();  // or when the event it is closed in is done
}
