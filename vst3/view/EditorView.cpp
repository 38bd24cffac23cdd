// The VST3 editor view: the editor window of the other editions behind
// IPlugView, as the VST 2.x editor bridge and the LV2 UI put it behind
// theirs.
//
// The window is made by attached() inside the host's window and destroyed by
// removed(); the host may do both many times over one view's life. What
// drives the window depends on the platform:
//
// - Windows: the window is a Win32 child window with a timer of its own,
//   driven by the host's message loop, as in the VST 2.x edition. The view
//   has a second timer on the same window for its owner's idle calls.
// - Linux: X has no per-window timer and the host owns the thread's loop,
//   so the view borrows the host's: it asks the IPlugFrame for IRunLoop and
//   registers a 25 ms timer (the window's refresh pass) and a watch on its
//   X connection (pointer and expose events, as they come). Nothing runs on
//   a thread of our own. A host that offers no run loop gets no editor:
//   attached() answers kResultFalse, since a window that nothing drives
//   would never draw or answer the mouse.
//
// Size, opening and closing, the refresh and the Win32 timer are the
// embedded editor's (EmbeddedEditor): the view adds IPlugView's rules. A
// new size of the window goes to the host through IPlugFrame::resizeView;
// the host confirms with onSize, inside that call or later, and the view
// answers the new size from then on in either case.
//
// Every entry from the host masks floating-point exceptions for its length
// (fpenv::FloatingPointGuard) and lets no exception through.
#include "EditorView.h"

#include <atomic>
#include <cstring>
#include <memory>

#include "EmbeddedEditor.h"
#include "FloatingPointGuard.h"
#include "Gui.h"
#include "platform/NativeWindow.h"
#include "uEditor.h"

#if defined(_WIN32)
#include <windows.h>
#define HALVORINE_VIEW_NATIVE 1
#elif defined(HALVORINE_X11)
#define HALVORINE_VIEW_NATIVE 1
#define HALVORINE_VIEW_RUN_LOOP 1
#endif

namespace vst3edition {

namespace {

using namespace vst3abi;

constexpr int kSliders = TPluginEditorWindow::kNumSliders;

#if defined(_WIN32)
constexpr const char* kNativeType = kPlatformTypeHWND;
#elif defined(HALVORINE_X11)
constexpr const char* kNativeType = kPlatformTypeX11EmbedWindowID;
#endif

template <typename Body>
tresult HostEntry(tresult failed, Body&& body) {
    return fpenv::HostCall(failed, std::forward<Body>(body));
}

// Keeps an object alive for a scope: a host may release it from inside a
// call that the object is still running.
class Hold {
public:
    explicit Hold(FUnknown* object) : object(object) { object->addRef(); }
    ~Hold() { object->release(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    FUnknown* object;
};

class EditorView;

#if defined(HALVORINE_VIEW_RUN_LOOP)
// What the view registers in the host's run loop: an object of its own,
// with its own count, so that a host that keeps its handlers referenced
// does not keep the view alive, and a handler that the host still calls
// after the view has gone finds nothing to do.
class RunLoopClient final : public IEventHandler, public ITimerHandler {
public:
    explicit RunLoopClient(EditorView& view) : view(&view) {}

    // The view has left the run loop.
    void forget() { view = nullptr; }

    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override;
    uint32_t VST3_CALL addRef() override {
        fpenv::FloatingPointGuard guard;
        return ++refs;
    }
    uint32_t VST3_CALL release() override {
        fpenv::FloatingPointGuard guard;
        const uint32_t left = --refs;
        if (left == 0)
            delete this;
        return left;
    }
    void VST3_CALL onFDIsSet(FileDescriptor fd) override;
    void VST3_CALL onTimer() override;

private:
    ~RunLoopClient() = default;

    std::atomic<uint32_t> refs{1};
    EditorView* view;
};
#endif

class EditorView final : public IPlugView, public IPlugViewContentScaleSupport, private EmbeddedEditor::Owner {
public:
    // Holds the owner until the last release.
    explicit EditorView(EditorViewOwner& owner) : owner(owner) { owner.retainOwner(); }
    EditorView(const EditorView&) = delete;
    EditorView& operator=(const EditorView&) = delete;

    // FUnknown
    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override;
    uint32_t VST3_CALL addRef() override {
        fpenv::FloatingPointGuard guard;
        return ++refs;
    }
    uint32_t VST3_CALL release() override;

    // IPlugView
    tresult VST3_CALL isPlatformTypeSupported(FIDString type) override {
        return HostEntry(kResultFalse, [&] { return Supported(type) ? kResultTrue : kResultFalse; });
    }
    tresult VST3_CALL attached(void* parent, FIDString type) override {
        return HostEntry(kInternalError, [&] { return attach(parent, type); });
    }
    tresult VST3_CALL removed() override {
        return HostEntry(kInternalError, [&] {
            const bool wasAttached = attachedByHost;
            attachedByHost = false;
            detach();
            return wasAttached ? kResultOk : kResultFalse;
        });
    }
    // The editor has no use for the wheel or the keyboard: the host keeps
    // them (its shortcuts go on working while the editor has the focus).
    tresult VST3_CALL onWheel(float) override {
        return HostEntry(kResultFalse, [] { return kResultFalse; });
    }
    tresult VST3_CALL onKeyDown(char16, int16_t, int16_t) override {
        return HostEntry(kResultFalse, [] { return kResultFalse; });
    }
    tresult VST3_CALL onKeyUp(char16, int16_t, int16_t) override {
        return HostEntry(kResultFalse, [] { return kResultFalse; });
    }
    tresult VST3_CALL getSize(ViewRect* size) override {
        return HostEntry(kInternalError, [&] {
            if (size == nullptr)
                return kInvalidArgument;
            *size = ViewRect{0, 0, width(), height()};
            return kResultOk;
        });
    }
    // The window keeps its size (the panel's at its scale) at the top-left
    // corner of whatever the host makes room for. The host's confirmation of
    // a size the view asked for needs nothing more: the window took it when
    // its scale changed.
    tresult VST3_CALL onSize(ViewRect* newSize) override {
        return HostEntry(kInternalError, [&] { return newSize != nullptr ? kResultOk : kInvalidArgument; });
    }
    tresult VST3_CALL onFocus(TBool) override {
        return HostEntry(kInternalError, [] { return kResultOk; });
    }
    // Not referenced: the host keeps the frame for as long as it is set,
    // and sets another (or none) before the frame goes. The run loop that
    // the view takes from it is referenced while the view uses it.
    tresult VST3_CALL setFrame(IPlugFrame* newFrame) override {
        return HostEntry(kInternalError, [&] {
            frame = newFrame;
            return kResultOk;
        });
    }
    tresult VST3_CALL canResize() override {
        return HostEntry(kResultFalse, [] { return kResultFalse; });
    }
    tresult VST3_CALL checkSizeConstraint(ViewRect* rect) override {
        return HostEntry(kInternalError, [&] {
            if (rect == nullptr)
                return kInvalidArgument;
            rect->right = rect->left + width();
            rect->bottom = rect->top + height();
            return kResultOk;
        });
    }

    // IPlugViewContentScaleSupport. The panel is drawn again at the host's
    // scale (1 to 3; HALVORINE_SCALE still overrides it), and the host is
    // asked for the new size through its frame (windowResized). A factor
    // that is not a number or not positive withdraws the host's scale.
    tresult VST3_CALL setContentScaleFactor(ScaleFactor factor) override {
        return HostEntry(kResultFalse, [&] {
            Hold self(static_cast<IPlugView*>(this));
            editor.setHostScale(factor > 0.0f ? static_cast<double>(factor) : 0.0);  // last: may close the view
            return kResultOk;
        });
    }

    // From the owner (EditorViewCloseWindow): a newer view opened its window.
    void closeWindow() { detach(); }

    // From the owner (EditorViewParameterChanged): shown at once, before
    // the next tick reads it.
    void parameterChanged(int index, float value) {
        if (editor.window() != nullptr && index >= 0 && index < kSliders)
            editor.window()->values[index].store(platform::ShownValue(value), std::memory_order_relaxed);
    }

#if defined(HALVORINE_VIEW_RUN_LOOP)
    // From the run loop: the window's connection has events to read, or the
    // timer's period is up.
    void readEvents() {
        Hold self(static_cast<IPlugView*>(this));
        editor.pump();
    }
    void runTimer() {
        Hold self(static_cast<IPlugView*>(this));
        editor.tick();
    }
#endif

private:
    ~EditorView() = default;  // by the last release

    static bool Supported(FIDString type) {
#if defined(HALVORINE_VIEW_NATIVE)
        return type != nullptr && std::strcmp(type, kNativeType) == 0;
#else
        (void)type;
        return false;
#endif
    }

    tresult attach(void* parent, FIDString type);
    // The view's size in screen pixels: the open window's, or what the
    // window would open at.
    int width() const { return editor.width(); }
    int height() const { return editor.height(); }
    // Takes the window down and leaves the run loop; answers whether there
    // was a window.
    bool detach() {
        const bool had = editor.window() != nullptr;
        editor.close();
        return had;
    }

    // EmbeddedEditor::Owner
    EditorController& edits() override { return owner.editorController(); }
    platform::Backend backend() override { return platform::NativeBackend(); }
    // The values, and the Key choice, the processor's key and the program,
    // which change behind the view's back: read at every tick.
    void showIn(TPluginEditorWindow& window) override {
        for (int i = 0; i < kSliders; ++i)
            window.values[i].store(platform::ShownValue(owner.editorValue(i)), std::memory_order_relaxed);
        window.keySource.store(owner.editorKeySource(), std::memory_order_relaxed);
        window.keyMissing.store(owner.editorKeyMissing(), std::memory_order_relaxed);
        window.program.store(owner.editorProgram(), std::memory_order_relaxed);
        window.showsActivity = true;
        float level[TPluginEditorWindow::kNumBands], gain[TPluginEditorWindow::kNumBands];
        if (owner.editorActivity(level, gain))
            for (int band = 0; band < TPluginEditorWindow::kNumBands; ++band)
                window.bandActivity(band, level[band], gain[band]);
    }
    void afterRefresh() override {
        Hold self(static_cast<IPlugView*>(this));
        owner.viewIdle();
    }
    // Last in a change of the window's scale: the host is to make room.
    void sizeChanged(int newWidth, int newHeight) override {
        if (frame == nullptr)
            return;
        Hold self(static_cast<IPlugView*>(this));
        ViewRect wanted{0, 0, newWidth, newHeight};
        frame->resizeView(this, &wanted);  // the host may call onSize inside, or close the view
    }
#if defined(HALVORINE_VIEW_RUN_LOOP)
    bool joinLoop(int fd) override;
    void leaveLoop() override;
#endif

    std::atomic<uint32_t> refs{1};
    EditorViewOwner& owner;
    IPlugFrame* frame = nullptr;
    bool attachedByHost = false;  // between a successful attached() and removed()
#if defined(HALVORINE_VIEW_RUN_LOOP)
    IRunLoop* offeredLoop = nullptr;  // the frame's, while attach opens the window
    IRunLoop* runLoop = nullptr;      // referenced while the window is in it
    RunLoopClient* client = nullptr;
#endif
    EmbeddedEditor editor{*this, EmbeddedEditor::Refresh::Pulled};  // last: it goes first
};

tresult EditorView::queryInterface(const TUID iid, void** obj) {
    return HostEntry(kInternalError, [&]() -> tresult {
        if (obj == nullptr)
            return kInvalidArgument;
        *obj = nullptr;
        if (FUnknown::iid.matches(iid) || IPlugView::iid.matches(iid))
            *obj = static_cast<IPlugView*>(this);
        else if (IPlugViewContentScaleSupport::iid.matches(iid))
            *obj = static_cast<IPlugViewContentScaleSupport*>(this);
        else
            return kNoInterface;
        addRef();
        return kResultOk;
    });
}

uint32_t EditorView::release() {
    fpenv::FloatingPointGuard guard;
    const uint32_t left = --refs;
    if (left == 0) {
        try {
            detach();
        } catch (...) {
        }
        try {
            owner.viewDestroyed(this);
        } catch (...) {
        }
        EditorViewOwner& heldOwner = owner;
        delete this;
        heldOwner.releaseOwner();  // last: it may be the owner's last reference
    }
    return left;
}

tresult EditorView::attach(void* parent, FIDString type) {
    if (!Supported(type))
        return kResultFalse;
    if (parent == nullptr)
        return kInvalidArgument;
    // Attached again without a removed() between: the window moves to the
    // new parent.
    attachedByHost = false;
    detach();

#if defined(HALVORINE_VIEW_RUN_LOOP)
    IRunLoop* loop = nullptr;
    void* queried = nullptr;
    TUID runLoopIid;
    IRunLoop::iid.copyTo(runLoopIid);
    if (frame != nullptr && frame->queryInterface(runLoopIid, &queried) == kResultOk)
        loop = static_cast<IRunLoop*>(queried);
    if (loop == nullptr)
        return kResultFalse;
    offeredLoop = loop;  // joinLoop keeps it, or it is released here
    const bool opened = editor.open(parent);
    if (offeredLoop != nullptr)
        offeredLoop->release();
    offeredLoop = nullptr;
#else
    const bool opened = editor.open(parent);
#endif
    if (!opened)
        return kResultFalse;
    attachedByHost = true;
    Hold self(static_cast<IPlugView*>(this));
    owner.viewAttached(this);
    editor.reportSizeIfChanged();
    return kResultOk;
}

#if defined(HALVORINE_VIEW_RUN_LOOP)
bool EditorView::joinLoop(int fd) {
    auto* joining = new RunLoopClient(*this);
    if (offeredLoop->registerEventHandler(joining, fd) != kResultOk) {
        joining->forget();
        joining->release();
        return false;
    }
    if (offeredLoop->registerTimer(joining, TPluginEditorWindow::kTimerInterval) != kResultOk) {
        offeredLoop->unregisterEventHandler(joining);
        joining->forget();
        joining->release();
        return false;
    }
    runLoop = offeredLoop;
    offeredLoop = nullptr;
    client = joining;
    return true;
}

void EditorView::leaveLoop() {
    if (runLoop == nullptr)
        return;
    IRunLoop* loop = runLoop;
    RunLoopClient* leaving = client;
    runLoop = nullptr;
    client = nullptr;
    leaving->forget();
    loop->unregisterEventHandler(leaving);
    loop->unregisterTimer(leaving);
    leaving->release();
    loop->release();
}
#endif

#if defined(HALVORINE_VIEW_RUN_LOOP)
tresult RunLoopClient::queryInterface(const TUID iid, void** obj) {
    return HostEntry(kInternalError, [&]() -> tresult {
        if (obj == nullptr)
            return kInvalidArgument;
        *obj = nullptr;
        if (FUnknown::iid.matches(iid) || IEventHandler::iid.matches(iid))
            *obj = static_cast<IEventHandler*>(this);
        else if (ITimerHandler::iid.matches(iid))
            *obj = static_cast<ITimerHandler*>(this);
        else
            return kNoInterface;
        addRef();
        return kResultOk;
    });
}

void RunLoopClient::onFDIsSet(FileDescriptor) {
    HostEntry(kResultOk, [&] {
        Hold self(static_cast<IEventHandler*>(this));
        if (view != nullptr)
            view->readEvents();
        return kResultOk;
    });
}

void RunLoopClient::onTimer() {
    HostEntry(kResultOk, [&] {
        Hold self(static_cast<IEventHandler*>(this));
        if (view != nullptr)
            view->runTimer();
        return kResultOk;
    });
}
#endif

}  // namespace

IPlugView* CreateEditorView(EditorViewOwner& owner) {
#if defined(HALVORINE_VIEW_NATIVE)
    try {
        return new EditorView(owner);
    } catch (...) {
        return nullptr;
    }
#else
    (void)owner;
    return nullptr;  // a build without a native window has no editor to show
#endif
}

void EditorViewCloseWindow(IPlugView* view) {
#if defined(HALVORINE_VIEW_NATIVE)
    if (view != nullptr)
        static_cast<EditorView*>(view)->closeWindow();
#else
    (void)view;
#endif
}

void EditorViewParameterChanged(IPlugView* view, int index, float value) {
#if defined(HALVORINE_VIEW_NATIVE)
    if (view != nullptr)
        static_cast<EditorView*>(view)->parameterChanged(index, value);
#else
    (void)view;
    (void)index;
    (void)value;
#endif
}

}  // namespace vst3edition
