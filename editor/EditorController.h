// What the editor window needs from the plug-in it edits, and nothing more.
//
// The window shows values that others copy into it (`values`); the only way
// back is this interface. The VST 2.x plug-in object implements it directly;
// the LV2 UI, which runs apart from the DSP instance, implements it with its
// host's port writes. Called on the window's own thread only, from inside the
// window's mouse handlers (and editorResized from a change of scale).
#pragma once

class EditorController {
public:
    // The user set parameter `index` (0 to 21) to `value` (0 to 1). The
    // window has already stored the value in its own copy; the call returns
    // with the change applied wherever the implementation applies it.
    virtual void setParameterAutomated(int index, float value) = 0;

    // The user took hold of a slider (a left press) and let go of it again.
    // Every setParameterAutomated of a drag lies between the two. A drag
    // that the window's destruction cuts short still ends. By default
    // nothing is sent: a host that has no use for gestures hears nothing new.
    virtual void beginGesture(int /*index*/) {}
    virtual void endGesture(int /*index*/) {}

    // The window took a new size, in screen pixels, after it was opened: it
    // is shown at a new scale (TPluginEditorWindow::setScale). A host that
    // embeds it is to resize its own window to match. Called last, so the
    // implementation may close the editor. By default nothing is sent.
    virtual void editorResized(int /*width*/, int /*height*/) {}

    // The user clicked the key selector, which now shows `choice` (0 Left,
    // 1 Right, 2 Mid, 3 Side, 4 External; the window has already stored it
    // in keySource). Only the editions that choose what keys the gates show
    // the selector; by default nothing is sent.
    virtual void keySourceChosen(int /*choice*/) {}

    // The window's timer ticked (every 25 ms while it is open): before its
    // refresh pass, and after it. An owner that reads what the window shows
    // at every tick (the VST3 view, the CLAP gui) puts it in first; after
    // the pass it may tell its host what waited. Inside the window's event:
    // the implementation may close the editor, whose window then goes when
    // the event is done. By default nothing happens.
    virtual void refreshing() {}
    virtual void refreshed() {}

    // The sample rate the plug-in's bands are designed for, which Learn
    // needs to tell a band that heard nothing (gate::LearnGateLevels); 0
    // when the editor cannot know it.
    virtual float learnRate() { return 0.0f; }

protected:
    // Not owned by the window: nobody deletes a plug-in through this.
    ~EditorController() = default;
};
