// APluginEditor: the bridge between the host's editor requests and the
// editor window. It tells the host the editor's size, creates the window
// in the host's parent window, counts nested opens, and keeps the window's
// copy of the parameter values current.
#pragma once

#include <atomic>

#include "DAudioEffect.h"
#include "EmbeddedEditor.h"

class APlugin;
class TPluginEditorWindow;

// The window itself, its scale, its refresh by effEditIdle and its closing
// (also from inside one of its own events) are the embedded editor's; the
// bridge adds what the VST 2.x interface fixes: the size answered while no
// window exists, nested opens, `update` and the plug-in's editorClosed.
class APluginEditor : public AEffEditor, private EmbeddedEditor::Owner {
public:
    explicit APluginEditor(APlugin* plugin);
    ~APluginEditor() override;

    // The host's user-interface thread.
    VstInt32 getRect(ERect** rect) override;
    VstInt32 open(void* ptr) override;
    void close() override;
    void idle() override;
    // Copies the plug-in's parameters 0 to 30 into the open window. Any
    // thread, the audio thread included: no lock, no allocation, no wait.
    void update() override;

    // The host's scale for the editor (effVendorSpecific 'PreS' 'AeCs'):
    // kept for every window from now on and applied to the open one, which
    // then tells the host its new size. Anything but a finite number above
    // 0 withdraws it: the system's scale applies again. User-interface
    // thread.
    void setScale(float scale);
    float hostScale() const { return scale; }

    // The open window, or null (tests and snapshots).
    TPluginEditorWindow* editorWindow() const { return editor.window(); }
    VstInt32 openRequests() const { return openCount; }
    void* parent() const { return parentWindow; }

private:
    APlugin* plugin() const;
    void destroyWindow();

    // EmbeddedEditor::Owner
    EditorController& edits() override;
    void showIn(TPluginEditorWindow& window) override;
    void sizeChanged(int width, int height) override;

    ERect rect{0, 0, 0, 0};
    VstInt32 openCount = 0;
    void* parentWindow = nullptr;
    float scale = 0.0f;  // the host's, 0 for none

    // What `update` writes into. It may run on the audio thread while the
    // user-interface thread opens or closes the editor, so it sees the
    // window only through this pointer, published as soon as the window
    // exists (before `open` copies the values into it) and withdrawn before
    // the window is destroyed; the destroying thread then waits for any
    // copy still under way (31 stores) before freeing it.
    std::atomic<TPluginEditorWindow*> updateTarget{nullptr};
    std::atomic<int> updatesRunning{0};
    static_assert(std::atomic<TPluginEditorWindow*>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
                  "update must not take a lock");
    EmbeddedEditor editor{*this, EmbeddedEditor::Refresh::Pushed};
};
