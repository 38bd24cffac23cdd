// A host's side of the editor view, through the project's own declarations:
// the frame (with, on Linux, the run loop a host lends the view), and the
// view's owner, which records the edits the window sends.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "EditorView.h"
#include "Gui.h"
#if !defined(_WIN32)
#include <poll.h>
#endif

namespace viewtest {

using namespace vst3abi;

struct Edit {
    char kind;  // 'b' begin, 's' set, 'e' end
    int index;
    float value;
    bool operator==(const Edit& o) const { return kind == o.kind && index == o.index && value == o.value; }
};

class Owner final : public vst3edition::EditorViewOwner, public EditorController {
public:
    float editorValue(int index) const override { return values[index]; }
    int editorKeySource() const override { return keySource; }
    bool editorKeyMissing() const override { return keyMissing; }
    int editorProgram() const override { return program; }
    bool editorActivity(float*, float*) override { return false; }  // no audio runs here
    EditorController& editorController() override { return *this; }
    void viewIdle() override { ++idles; }
    void retainOwner() override { ++held; }
    void releaseOwner() override { --held; }
    void viewAttached(IPlugView* view) override { attached.push_back(view); }
    void viewDestroyed(IPlugView* view) override { destroyed.push_back(view); }
    // Held as the edit controller holds an edit, which the view reads back.
    void setParameterAutomated(int index, float value) override {
        values[index] = value;
        record({'s', index, value});
    }
    void beginGesture(int index) override { record({'b', index, 0.0f}); }
    void endGesture(int index) override { record({'e', index, 0.0f}); }
    void keySourceChosen(int choice) override { record({'k', choice, 0.0f}); }

    float values[22] = {};
    int keySource = 0;
    bool keyMissing = false;
    int program = -1;  // the read-out names no program
    std::vector<Edit> edits;
    std::vector<IPlugView*> attached, destroyed;
    int held = 0;   // references the views hold on the owner
    int idles = 0;  // viewIdle calls
    std::function<void()> onEdit;  // the host's reaction to each edit

private:
    void record(const Edit& e) {
        edits.push_back(e);
        if (onEdit)
            onEdit();
    }
};

// Lives on the test's stack: it counts references but never deletes itself.
// Its run loop references the handlers it holds, as a careful host would.
class Frame final : public IPlugFrame, public IRunLoop {
public:
    explicit Frame(bool offersRunLoop = true) : offersRunLoop(offersRunLoop) {}
    ~Frame() { EXPECT_TRUE(watches.empty() && timers.empty()) << "handlers left in the run loop"; }

    tresult VST3_CALL queryInterface(const TUID iid, void** obj) override {
        *obj = nullptr;
        if (FUnknown::iid.matches(iid) || IPlugFrame::iid.matches(iid))
            *obj = static_cast<IPlugFrame*>(this);
        else if (offersRunLoop && IRunLoop::iid.matches(iid))
            *obj = static_cast<IRunLoop*>(this);
        else
            return kNoInterface;
        ++refs;
        return kResultOk;
    }
    uint32_t VST3_CALL addRef() override { return ++refs; }
    uint32_t VST3_CALL release() override { return --refs; }
    // Records the view's requests; a host that takes them makes room and
    // confirms with onSize, at once (inside the call) or at its next turn
    // (confirmLater).
    tresult VST3_CALL resizeView(IPlugView* view, ViewRect* size) override {
        resizes.push_back(*size);
        if (!acceptResize)
            return kResultFalse;
        if (confirmInside)
            view->onSize(size);
        return kResultOk;
    }
    // The host's next turn: it confirms the last request it took.
    void confirmLater(IPlugView* view) {
        if (acceptResize && !confirmInside && !resizes.empty())
            view->onSize(&resizes.back());
    }

    tresult VST3_CALL registerEventHandler(IEventHandler* h, FileDescriptor fd) override {
        h->addRef();
        watches.push_back({h, fd});
        return kResultOk;
    }
    tresult VST3_CALL unregisterEventHandler(IEventHandler* h) override { return drop(watches, h); }
    tresult VST3_CALL registerTimer(ITimerHandler* h, TimerInterval ms) override {
        h->addRef();
        timers.push_back({h, ms, Clock::now()});
        return kResultOk;
    }
    tresult VST3_CALL unregisterTimer(ITimerHandler* h) override { return drop(timers, h); }

#if !defined(_WIN32)
    // Runs the loop until `done` holds or two seconds have passed: the
    // descriptors' handlers when there is something to read (unless
    // `readEvents` is false), the timers at their periods.
    bool runUntil(const std::function<bool()>& done, bool readEvents = true) {
        const auto end = Clock::now() + std::chrono::seconds(2);
        while (!done()) {
            if (Clock::now() > end)
                return false;
            std::vector<pollfd> fds;
            for (const Watch& w : watches)
                fds.push_back({w.fd, POLLIN, 0});
            poll(fds.data(), readEvents ? fds.size() : 0, 2);
            for (size_t i = 0; i < fds.size(); ++i)
                if ((fds[i].revents & POLLIN) != 0 && i < watches.size() && watches[i].fd == fds[i].fd)
                    Hand(watches[i].handler)->onFDIsSet(fds[i].fd);
            for (size_t i = 0; i < timers.size(); ++i)
                if (Clock::now() >= timers[i].due + std::chrono::milliseconds(timers[i].period)) {
                    timers[i].due = Clock::now();
                    Hand(timers[i].handler)->onTimer();
                }
        }
        return true;
    }
    void runFor(int ms) {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        runUntil([&] { return Clock::now() >= end; });
    }
#endif

    using Clock = std::chrono::steady_clock;
    struct Watch {
        IEventHandler* handler;
        FileDescriptor fd;
    };
    struct Timer {
        ITimerHandler* handler;
        TimerInterval period;
        Clock::time_point due;
    };
    bool offersRunLoop;
    uint32_t refs = 1;
    std::vector<ViewRect> resizes;
    bool acceptResize = true, confirmInside = true;
    std::vector<Watch> watches;
    std::vector<Timer> timers;

private:
    // A handler that its call unregisters stays alive until the call ends.
    template <typename T>
    static std::shared_ptr<T> Hand(T* h) {
        h->addRef();
        return std::shared_ptr<T>(h, [](T* p) { p->release(); });
    }
    template <typename List, typename H>
    static tresult drop(List& list, H* h) {
        auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.handler == h; });
        if (it == list.end())
            return kInvalidArgument;
        list.erase(it);
        h->release();
        return kResultOk;
    }
};

}  // namespace viewtest
