#include "EditorTestUtil.h"

namespace edtest {

std::vector<HostCall>& HostCalls() {
    static std::vector<HostCall> calls;
    return calls;
}

VstIntPtr VSTCALLBACK RecordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    HostCalls().push_back({opcode, index, opt});
    return opcode == audioMasterVersion ? 2400 : 0;
}

Fixture::Fixture() : plugin(new APlugin(&RecordingHost)) { HostCalls().clear(); }

Fixture::~Fixture() { delete plugin; }

VstIntPtr Fixture::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    AEffect* e = plugin->getAeffect();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

APluginEditor& Fixture::bridge() { return *static_cast<APluginEditor*>(plugin->getEditor()); }

TPluginEditorWindow& Fixture::window() {
    TPluginEditorWindow* w = bridge().editorWindow();
    if (w == nullptr)
        ADD_FAILURE() << "the editor is not open";
    return *w;
}

platform::headless::HeadlessWindow& Fixture::screen() {
    return dynamic_cast<platform::headless::HeadlessWindow&>(window().form());
}

int Fixture::sliderX(int index, int x) { return screen().picture(window().sliderOf(index)->id).left + x; }

int Fixture::sliderY(int index) { return screen().picture(window().sliderOf(index)->id).top + 6; }

void Fixture::showKey(int source) {
    window().keySource.store(source);
    window().showsActivity = true;
    window().SetAll();
}

std::vector<HostCall> Fixture::automation() const {
    std::vector<HostCall> out;
    for (const HostCall& c : HostCalls())
        if (c.opcode == audioMasterAutomate)
            out.push_back(c);
    return out;
}

uint64_t Fnv1a(const platform::Bitmap& image) {
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](uint8_t byte) {
        h ^= byte;
        h *= 1099511628211ull;
    };
    for (const platform::Rgb& p : image.pixels) {
        mix(p.r);
        mix(p.g);
        mix(p.b);
    }
    return h;
}

}  // namespace edtest
