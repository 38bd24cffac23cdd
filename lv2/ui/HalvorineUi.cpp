// The LV2 UI: the editor window of the VST 2.x edition, embedded in the X
// window that the host passes as ui:parent. One UI serves both plug-ins of
// the bundle (Lv2Ports.h): the plain one's "Key" selector goes from Left to
// Side, and only the side-chain one's has "External" and shows that the
// key is missing.
//
// It runs apart from the DSP instance and shares nothing with it but the
// ports: the host reports control values through port_event, which the UI
// copies into the window's values as the VST 2.x editor bridge does, and a
// drag sends each value through write_function (control port protocol 0,
// one float), framed by ui:touch gestures when the host offers them.
//
// X has no per-window timer and the host owns the thread's event loop, so
// the host drives the window through ui:idleInterface: each idle call reads
// the window's own X connection, runs the 25 ms refresh pass when it is due
// and puts what changed on the screen. The interface is offered through
// extension_data whether or not the host passes the feature, as some hosts
// call it without passing it; a host that calls it never still gets a
// window, drawn once at open.
//
// The scale comes from the host's ui:scaleFactor option, at instantiation
// and through opts:interface later; without it the X11 backend takes the
// desktop's Xft.dpi, and HALVORINE_SCALE overrides both. The size passed to
// ui:resize is the scaled one.
//
// Every function here runs on the host's UI thread. No exception leaves for
// the host (out of memory while painting, say): each callback catches what
// its work throws and carries on, as the VST 2.x entry and the Win32 window
// procedure do. A refresh that failed is made again by the next idle call,
// since what changed stays marked until it is on the screen.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "EmbeddedEditor.h"
#include "FloatingPointGuard.h"
#include "GateMath.h"
#include "Lv2Ports.h"
#include "ParameterTable.h"
#include "platform/Platform.h"
#include "platform/x11/X11Window.h"
#include "uEditor.h"

namespace {

using lv2edition::ControlPort;

class HalvorineUi final : public EditorController, private EmbeddedEditor::Owner {
public:
    HalvorineUi(const lv2edition::Variant& variant, LV2UI_Write_Function write, LV2UI_Controller controller,
                const LV2UI_Touch* touch, const LV2UI_Resize* resize)
        : variant(variant), write(write), controller(controller), touch(touch), resize(resize) {}
    HalvorineUi(const HalvorineUi&) = delete;
    HalvorineUi& operator=(const HalvorineUi&) = delete;

    // Builds the window in `parent` at the host's `scale` (0: none).
    // Answers false if there is no window to be had (no display, a parent
    // that the display does not know).
    bool open(void* parent, float scale) {
        editor.setHostScale(scale);
        if (!editor.open(parent))
            return false;
        // Once more, shown: the server's first exposure is put on the
        // screen now, for a host that never calls the idle interface
        // (where the parent is already on the screen).
        editor.pump();
        return true;
    }

    LV2UI_Widget widget() const { return editor.window()->form().nativeHandle(); }
    int width() const { return editor.width(); }
    int height() const { return editor.height(); }

    // Throws nothing: it checks and stores one value.
    void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) noexcept {
        TPluginEditorWindow* window = editor.window();
        if (window == nullptr || format != 0 || size != sizeof(float) || buffer == nullptr)
            return;
        float value;
        std::memcpy(&value, buffer, sizeof value);
        // The key's choice, taken as the DSP side takes it; and whether the
        // DSP side hears no key for "External" (the read-out says so).
        if (port == lv2edition::kKey) {
            window->keySource.store(lv2edition::KeyChoice(value, variant.numKeyChoices), std::memory_order_relaxed);
            return;
        }
        if (port == lv2edition::kKeyMissing && variant.sidechain) {
            window->keyMissing.store(value > 0.5f, std::memory_order_relaxed);
            return;
        }
        // The band meters: a band's gain first keeps the latest ratio, its
        // level then reaches the window with it.
        if (port >= variant.firstMeter && port < variant.firstMeter + lv2edition::kNumMeterPorts) {
            const uint32_t meter = port - variant.firstMeter;
            if (meter >= lv2edition::kNumMeterBands)
                gains[meter - lv2edition::kNumMeterBands] = value;
            else
                window->bandActivity(static_cast<int>(meter), value, gains[meter]);
            return;
        }
        if (port < lv2edition::kFirstControl || port >= lv2edition::kEndControls)
            return;
        const int index = static_cast<int>(port - lv2edition::kFirstControl);
        // Shown as the DSP side applies it (clamped, NaN as 0) and drawn by
        // the next refresh pass, as a host's change is in the VST 2.x
        // edition; the read-out stays as it is.
        window->values[index].store(gate::ClampParameter(value), std::memory_order_relaxed);
    }

    void idle() {
        try {
            editor.pump();
        } catch (...) {
            // Nothing of this object is touched here: the host may have
            // cleaned it up from inside the event that threw.
        }
    }

    // The host's show and hide, for hosts that treat every UI as one with
    // a window of its own: the embedded window follows.
    int show() {
        try {
            editor.setVisible(true);
            editor.pump();
            return 0;
        } catch (...) {
            return 1;
        }
    }
    int hide() {
        try {
            editor.setVisible(false);
            return 0;
        } catch (...) {
            return 1;
        }
    }

    // The host's new scale factor (0: none).
    void setScale(float scale) { editor.setHostScale(scale); }

    // EditorController. Nothing may touch this object after the host's
    // callback: the host may clean the UI up from inside it.
    void setParameterAutomated(int index, float value) override {
        write(controller, ControlPort(index), sizeof value, 0, &value);
    }
    void beginGesture(int index) override {
        if (touch != nullptr)
            touch->touch(touch->handle, ControlPort(index), true);
    }
    void endGesture(int index) override {
        if (touch != nullptr)
            touch->touch(touch->handle, ControlPort(index), false);
    }
    void keySourceChosen(int choice) override {
        const float value = static_cast<float>(choice);
        write(controller, lv2edition::kKey, sizeof value, 0, &value);
    }

    // EmbeddedEditor::Owner
    EditorController& edits() override { return *this; }
    void showIn(TPluginEditorWindow& window) override {
        // Until the host reports the ports, each control's lv2:default: the
        // program that a new instance starts on, as in a new VST 2.x
        // editor; and the "Key" selector on "Left".
        for (int i = 0; i < params::kNumActive; ++i)
            window.values[i].store(params::FactoryValue(params::kInitialProgram, i), std::memory_order_relaxed);
        window.keySource.store(0, std::memory_order_relaxed);
        window.keyChoices = variant.numKeyChoices;
        window.showsActivity = true;
    }
    void sizeChanged(int width, int height) override {
        if (resize != nullptr && resize->ui_resize != nullptr)
            resize->ui_resize(resize->handle, width, height);
    }
    float learnRate() override { return sampleRate; }

    // The URIDs of the scale and rate options, 0 without urid:map.
    LV2_URID scaleFactorKey = 0;
    LV2_URID sampleRateKey = 0;
    LV2_URID floatType = 0;
    // The host's sample rate, for Learn; 0 if it gave none.
    float sampleRate = 0.0f;

    // The float option `key` among the host's options, or 0 if they hold
    // none.
    float optionIn(const LV2_Options_Option* options, LV2_URID key) const {
        for (const LV2_Options_Option* o = options; key != 0 && o != nullptr && o->key != 0; ++o)
            if (o->key == key && o->type == floatType && o->size == sizeof(float) && o->value != nullptr) {
                float value;
                std::memcpy(&value, o->value, sizeof value);
                return value;
            }
        return 0.0f;
    }
    float scaleIn(const LV2_Options_Option* options) const { return optionIn(options, scaleFactorKey); }

private:
    const lv2edition::Variant& variant;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    const LV2UI_Touch* touch;
    const LV2UI_Resize* resize;
    float gains[lv2edition::kNumMeterBands] = {};
    // Last, so that it goes first: a drag that the host's cleanup cuts short
    // ends its gesture through the members above.
    EmbeddedEditor editor{*this, EmbeddedEditor::Refresh::Pushed};
};

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
        if ((*f)->URI != nullptr && std::strcmp((*f)->URI, uri) == 0)
            return (*f)->data;
    return nullptr;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    const lv2edition::Variant* variant = nullptr;
    for (const lv2edition::Variant* v : lv2edition::kVariants)
        if (pluginUri != nullptr && std::strcmp(pluginUri, v->uri) == 0)
            variant = v;
    if (variant == nullptr || write == nullptr || widget == nullptr)
        return nullptr;
    void* parent = const_cast<void*>(FindFeature(features, LV2_UI__parent));
    if (parent == nullptr)
        return nullptr;
    const auto* touch = static_cast<const LV2UI_Touch*>(FindFeature(features, LV2_UI__touch));
    if (touch != nullptr && touch->touch == nullptr)
        touch = nullptr;
    const auto* resize = static_cast<const LV2UI_Resize*>(FindFeature(features, LV2_UI__resize));
    const auto* map = static_cast<const LV2_URID_Map*>(FindFeature(features, LV2_URID__map));
    const auto* options = static_cast<const LV2_Options_Option*>(FindFeature(features, LV2_OPTIONS__options));

    auto* ui = new (std::nothrow) HalvorineUi(*variant, write, controller, touch, resize);
    if (ui == nullptr)
        return nullptr;
    if (map != nullptr && map->map != nullptr) {
        ui->scaleFactorKey = map->map(map->handle, LV2_UI__scaleFactor);
        ui->sampleRateKey = map->map(map->handle, LV2_PARAMETERS__sampleRate);
        ui->floatType = map->map(map->handle, LV2_ATOM__Float);
        ui->sampleRate = ui->optionIn(options, ui->sampleRateKey);
    }
    if (!ui->open(parent, ui->scaleIn(options))) {
        delete ui;
        return nullptr;
    }
    *widget = ui->widget();
    if (resize != nullptr && resize->ui_resize != nullptr)
        resize->ui_resize(resize->handle, ui->width(), ui->height());
    return ui;
}

void Cleanup(LV2UI_Handle handle) { delete static_cast<HalvorineUi*>(handle); }

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    static_cast<HalvorineUi*>(handle)->portEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) {
    static_cast<HalvorineUi*>(handle)->idle();
    return 0;  // the UI closes only when the host cleans it up
}

// Each function the host calls runs behind a floating-point guard: the
// host's thread may have exceptions unmasked, and gets its own settings back.
const LV2UI_Idle_Interface kIdleInterface = {fpenv::Guarded<Idle>};

int Show(LV2UI_Handle handle) { return static_cast<HalvorineUi*>(handle)->show(); }
int Hide(LV2UI_Handle handle) { return static_cast<HalvorineUi*>(handle)->hide(); }
const LV2UI_Show_Interface kShowInterface = {fpenv::Guarded<Show>, fpenv::Guarded<Hide>};

// Options: the host may change ui:scaleFactor while the UI is open; nothing
// can be read back.
uint32_t GetOptions(LV2_Handle, LV2_Options_Option*) { return LV2_OPTIONS_ERR_UNKNOWN; }

uint32_t SetOptions(LV2_Handle handle, const LV2_Options_Option* options) {
    auto* ui = static_cast<HalvorineUi*>(handle);
    const float scale = ui->scaleIn(options);
    try {
        if (scale > 0.0f)
            ui->setScale(scale);  // last: the host hears of the new size and may clean the UI up
    } catch (...) {
        // No memory for the larger window: it stays as it was.
        return LV2_OPTIONS_ERR_UNKNOWN;
    }
    return LV2_OPTIONS_SUCCESS;
}

const LV2_Options_Interface kOptionsInterface = {&GetOptions, fpenv::Guarded<SetOptions>};

const void* ExtensionData(const char* uri) {
    if (uri != nullptr && std::strcmp(uri, LV2_UI__idleInterface) == 0)
        return &kIdleInterface;
    if (uri != nullptr && std::strcmp(uri, LV2_UI__showInterface) == 0)
        return &kShowInterface;
    if (uri != nullptr && std::strcmp(uri, LV2_OPTIONS__interface) == 0)
        return &kOptionsInterface;
    return nullptr;
}

const LV2UI_Descriptor kDescriptor = {lv2edition::kUiUri, fpenv::Guarded<Instantiate>, fpenv::Guarded<Cleanup>,
                                      fpenv::Guarded<PortEvent>, &ExtensionData};

// The window opens in the host's X window: install the X11 backend when the
// library loads. Storing a function pointer is all a load step may safely
// do; the display is opened with the first window.
__attribute__((constructor)) void InstallX11Backend() { platform::setWindowFactory(&platform::x11::CreateX11Window); }

}  // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
