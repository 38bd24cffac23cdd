// The VST3 edition's editor view: the same editor window as the other
// editions, inside the host's window, behind IPlugView.
//
// The edit controller creates it for the host's createView("editor") and
// keeps it informed of parameter changes; the view sends the user's edits
// back through the controller's EditorController, which frames them as
// beginEdit / performEdit / endEdit to the host. A controller may have
// several views (a host may make a new one before it lets go of the old);
// one window is open at a time, the most recently attached view's.
// Everything here runs on the host's user-interface thread.
#pragma once

#include "EditorController.h"

namespace vst3abi {
class IPlugView;
}

namespace vst3edition {

// What the view needs from the edit controller that made it.
class EditorViewOwner {
public:
    // The current value (0 to 1) of parameter `index`, 0 to 21, as the
    // window should show it when it opens.
    virtual float editorValue(int index) const = 0;
    // The Key choice (0 to 4) the window's selector shows, and whether the
    // read-out says the key is missing; read at every tick.
    virtual int editorKeySource() const = 0;
    virtual bool editorKeyMissing() const = 0;
    // The current program (0 to 7), which the read-out names when it
    // changes; read at every tick.
    virtual int editorProgram() const = 0;
    // The bands' activity since the previous call (level and gain ratio,
    // 16 each); false when no audio ran in between.
    virtual bool editorActivity(float level[16], float gain[16]) = 0;
    // Where the window's edits go.
    virtual EditorController& editorController() = 0;
    // Called on the host's UI thread at every tick of the open view's timer: the owner may tell the host now what it could not tell it from inside a host call.
    virtual void viewIdle() = 0;
    // A reference on the owner, taken when the view is made and given back
    // when it goes: a host may terminate and release the plug-in before it
    // releases the view, which must still be able to tell its owner.
    virtual void retainOwner() = 0;
    virtual void releaseOwner() = 0;
    // The view opened its window: the owner closes the windows of its
    // other views (EditorViewCloseWindow), so that one editor is open.
    virtual void viewAttached(vst3abi::IPlugView* view) = 0;
    // The view is going (its last reference was released): the owner must
    // forget it and send it nothing more.
    virtual void viewDestroyed(vst3abi::IPlugView* view) = 0;

protected:
    ~EditorViewOwner() = default;
};

// A new view with one reference (the caller's), or null if none can be
// made. The view holds `owner` (retainOwner) until its last release.
vst3abi::IPlugView* CreateEditorView(EditorViewOwner& owner);

// Parameter `index` (0 to 21) now has `value`: the host set it, or a program
// change did. The open window's slider follows at its next refresh.
void EditorViewParameterChanged(vst3abi::IPlugView* view, int index, float value);

// Closes the view's window, if it has one, as removed() would; the host
// still holds the view attached and may attach it again.
void EditorViewCloseWindow(vst3abi::IPlugView* view);

}  // namespace vst3edition
