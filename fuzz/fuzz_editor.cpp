// Fuzz target: the editor's logic, through the headless window.
//
// A plug-in object with its editor open receives random mouse sequences
// (any button, Shift, points on the sliders, elsewhere and outside the
// window, lost captures, timer ticks) mixed with values arriving from the
// plug-in's side (parameter changes with any float, program changes and
// names) and editor requests; the host may close or reopen the editor, or
// change parameters, from inside the automation callback of a drag.
// Besides the sanitizers it checks that
// - every automation the host hears names a slider, carries a value within
//   0..1 and comes after the plug-in applied that value;
// - the window's copy of the parameters equals the plug-in's after every
//   step, the drag state is consistent, and the read-out is printable.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "APluginEditor.h"
#include "DVstUtils.h"
#include "FuzzInput.h"
#include "platform/headless/HeadlessWindow.h"
#include "uEditor.h"
#include "uPlugin.h"

namespace {

using fuzzinput::Reader;
using platform::MouseButton;
using platform::headless::HeadlessWindow;

[[noreturn]] void Fail(const char* what, int a = 0, double b = 0.0) {
    std::fprintf(stderr, "fuzz_editor: %s (%d, %g)\n", what, a, b);
    std::abort();
}

#define CHECK(condition, ...)   \
    do {                        \
        if (!(condition))       \
            Fail(__VA_ARGS__);  \
    } while (0)

enum class Reaction : uint8_t { None, Close, CloseAndOpen, OtherParameter, Program };

struct State {
    APlugin* plugin = nullptr;
    Reaction onAutomate = Reaction::None;
    int reactionArgument = 0;
    int depth = 0;
};
State g;

VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    AEffect* e = g.plugin->getAeffect();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

VstIntPtr VSTCALLBACK Host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterVersion)
        return 2400;
    if (opcode != audioMasterAutomate)
        return 0;
    CHECK(index >= 0 && index < TPluginEditorWindow::kNumSliders, "automation of a parameter without slider",
          index);
    CHECK(opt >= 0.0f && opt <= 1.0f, "automation outside 0..1", index, opt);
    CHECK(g.plugin->getParameter(index) == opt, "the host heard of a value before the plug-in held it", index,
          opt);
    if (g.depth > 0)
        return 0;
    ++g.depth;
    switch (g.onAutomate) {
    case Reaction::Close:
        Dispatch(effEditClose);
        break;
    case Reaction::CloseAndOpen:
        Dispatch(effEditClose);
        Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x5000}));
        break;
    case Reaction::OtherParameter:
        g.plugin->setParameter(g.reactionArgument % 31, static_cast<float>(g.reactionArgument % 101) / 100.0f);
        break;
    case Reaction::Program:
        Dispatch(effSetProgram, 0, g.reactionArgument % 8);
        break;
    case Reaction::None:
        break;
    }
    --g.depth;
    return 0;
}

TPluginEditorWindow* Window() {
    return static_cast<APluginEditor*>(g.plugin->getEditor())->editorWindow();
}

HeadlessWindow* Screen() {
    TPluginEditorWindow* w = Window();
    return w != nullptr ? dynamic_cast<HeadlessWindow*>(&w->form()) : nullptr;
}

// A client point: on a slider (near or past its ends), anywhere in the
// window, or outside it, as far as a 16-bit window system reports.
void Point(Reader& in, HeadlessWindow& screen, TPluginEditorWindow& window, int& x, int& y) {
    switch (in.u8() % 4) {
    case 0:
    case 1: {
        const TPluginEditorWindow::Control* slider = window.sliderOf(in.u8() % TPluginEditorWindow::kNumSliders);
        // The picture lies at the drawing scale; the pointer at the scale.
        const platform::PictureSpec& spec = screen.picture(slider->id);
        const double toClient = screen.scale() / screen.drawingScale();
        x = static_cast<int>(spec.left * toClient) + static_cast<int8_t>(in.u8()) + 40;
        y = static_cast<int>(spec.top * toClient) + static_cast<int>(in.u8() % 24) - 4;
        break;
    }
    case 2:
        x = in.u16() % 420 - 10;
        y = in.u16() % 260 - 10;
        break;
    default:
        x = static_cast<int16_t>(in.u16());
        y = static_cast<int16_t>(in.u16());
        break;
    }
}

MouseButton Button(Reader& in) {
    switch (in.u8() % 4) {
    case 1:
        return MouseButton::Right;
    case 2:
        return MouseButton::Middle;
    default:
        return MouseButton::Left;
    }
}

void Check() {
    for (int i = 0; i < 30; ++i) {
        const float v = g.plugin->getParameter(i);
        CHECK(v >= 0.0f && v <= 1.0f, "parameter outside 0..1", i, v);
    }
    TPluginEditorWindow* w = Window();
    if (w == nullptr)
        return;
    for (int i = 0; i <= 30; ++i) {
        const float shown = w->values[i].load();
        CHECK(shown == g.plugin->parameterValue(i), "the window's copy differs from the plug-in", i, shown);
    }
    CHECK(w->dragMode >= -1 && w->dragMode <= 1, "drag mode", w->dragMode);
    CHECK(w->dragging == (w->dragMode != -1), "drag state", w->dragMode);
    if (w->dragging)
        CHECK(w->dragIndex >= 0 && w->dragIndex < TPluginEditorWindow::kNumSliders, "drag index", w->dragIndex);
    for (char c : w->readout())
        CHECK(c >= 0x20 && c < 0x7F, "read-out character", static_cast<unsigned char>(c));
}

void Step(Reader& in) {
    // What the host does if this step makes the editor automate.
    const uint8_t reaction = in.u8();
    g.onAutomate = reaction < 200 ? Reaction::None : static_cast<Reaction>(reaction % 5);
    g.reactionArgument = in.u8();

    const uint8_t kind = in.u8() % 14;
    HeadlessWindow* screen = Screen();
    TPluginEditorWindow* window = Window();
    if (kind < 6 && screen != nullptr) {
        int x = 0, y = 0;
        switch (kind) {
        case 0:
        case 1: {
            Point(in, *screen, *window, x, y);
            const MouseButton button = Button(in);
            screen->mouseDown(x, y, button, in.flag());
            break;
        }
        case 2:
        case 3:
            Point(in, *screen, *window, x, y);
            screen->mouseMove(x, y, in.flag());
            break;
        case 4: {
            Point(in, *screen, *window, x, y);
            const MouseButton button = Button(in);
            screen->mouseUp(x, y, button, in.flag());
            break;
        }
        default:
            if (in.flag())
                screen->tick();
            else
                screen->loseCapture();
            break;
        }
        // (The window may be gone now: a reaction closed it.)
    } else {
        switch (kind) {
        case 6: {
            const int index = in.u8() % 33 - 1;
            g.plugin->setParameter(index, in.anyFloat());
            break;
        }
        case 7:
            Dispatch(effSetProgram, 0, in.u8() % 10 - 1);
            break;
        case 8: {
            char name[40] = {};
            for (size_t i = 0, n = in.u8() % sizeof name; i + 1 < n; ++i)
                name[i] = static_cast<char>(in.u8() | 1);
            Dispatch(effSetProgramName, 0, 0, name);
            break;
        }
        case 9:
            Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(in.u16())));
            break;
        case 10:
            Dispatch(effEditClose);
            break;
        case 12:
            // The host's scale, any float: only finite ones from 1 to 3 apply.
            Dispatch(effVendorSpecific, FourCharCode('P', 'r', 'e', 'S'), FourCharCode('A', 'e', 'C', 's'), nullptr,
                     in.anyFloat());
            break;
        case 13:
            if (HeadlessWindow* s = Screen())
                s->setSystemScale(1.0 + (in.u8() % 9) * 0.25);
            break;
        default: {
            ERect* rect = nullptr;
            Dispatch(effEditIdle);
            CHECK(Dispatch(effEditGetRect, 0, 0, &rect) == 1 && rect != nullptr && rect->right > rect->left,
                  "effEditGetRect");
            if (HeadlessWindow* s = Screen(); s != nullptr && in.u8() < 16)
                CHECK(static_cast<int>(s->compose().pixels.size()) == s->clientWidth() * s->clientHeight(),
                      "the composed window's size");
            break;
        }
        }
    }
    Check();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    g = State{};
    g.plugin = new APlugin(&Host);
    Dispatch(effSetProgram, 0, in.u8() % 8);
    Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(uintptr_t{0x4000}));
    for (int steps = 0; steps < 400 && !in.empty(); ++steps)
        Step(in);
    if (in.u8() & 1)
        Dispatch(effEditClose);
    delete g.plugin;  // with the editor open or closed
    g.plugin = nullptr;
    return 0;
}
