// Shared helpers of the LV2 tests: the plug-in found through lilv over
// LV2_PATH (ctest points it at the build's bundle), instances of it, and
// the VST 2.x library loaded through its entry as the reference.
#pragma once

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DAEffectX.h"
#include "Lv2Ports.h"
#include "ParameterTable.h"

namespace lv2test {

// The lilv world, loaded once per test program, and our plug-ins in it.
class World {
public:
    static World& get();

    LilvWorld* world() const { return world_; }
    // Null when the plug-in was not found.
    const LilvPlugin* plugin(const lv2edition::Variant& variant = lv2edition::kPlain) const {
        return plugins_[variant.sidechain ? 1 : 0];
    }
    // A node that lives as long as the world.
    const LilvNode* uri(const std::string& uri);
    LV2_URID_Map* map() { return &map_; }
    LV2_URID urid(const char* uri);
    // The preset of each factory program among the plug-in's related
    // resources, found by its label; null where none has that label.
    const LilvNode* preset(int program, const lv2edition::Variant& variant = lv2edition::kPlain) const {
        return presets_[variant.sidechain ? 1 : 0][program];
    }

private:
    World();
    ~World();
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri);

    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugins_[2] = {};
    std::vector<std::string> uris_;
    std::vector<LilvNode*> nodes_;
    LV2_URID_Map map_{};
    const LilvNode* presets_[2][params::kNumPrograms] = {};
};

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t frames = 0) : left(frames), right(frames) {}
    size_t frames() const { return left.size(); }
};

Stereo TestSignal(int frames, uint32_t seed);
// The first frame at which two renders differ in any bit, or -1.
long FirstDifference(const Stereo& a, const Stereo& b);

// One LV2 instance of `variant` through lilv, its controls connected to
// `controls`, which start at the ports' defaults (or left unconnected).
// Activated when built.
class Lv2Instance {
public:
    explicit Lv2Instance(double rate, bool connectControls = true,
                         const lv2edition::Variant& variant = lv2edition::kPlain);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool ok() const { return instance_ != nullptr; }
    LilvInstance* raw() const { return instance_; }
    float controls[params::kNumActive];
    // The "Key" choice and (side-chain plug-in) the key_missing output,
    // connected with the controls.
    float key = 0.0f;
    float keyMissing = -1.0f;

    // Restores the factory program's preset through lilv's state API; the
    // test fails if a value is not a 32-bit float or names no control.
    void applyPreset(int program);
    // Connects the four audio ports and runs one block.
    void run(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames);
    // Connects the key ports (null: unconnected) for the blocks that follow.
    void connectKey(const float* left, const float* right);

private:
    const lv2edition::Variant& variant_;
    LilvInstance* instance_ = nullptr;
};

// The VST 2.x library's instance, set up as a host does: sample rate,
// block size, program, resume.
class VstInstance {
public:
    VstInstance(float rate, int program);
    ~VstInstance();
    VstInstance(const VstInstance&) = delete;
    VstInstance& operator=(const VstInstance&) = delete;

    bool ok() const { return effect_ != nullptr; }
    void setParameter(int index, float value);
    float getParameter(int index);
    void run(const float* inL, const float* inR, float* outL, float* outR, int frames);

private:
    AEffect* effect_ = nullptr;
};

// Renders `in` in blocks of `block` frames; `beforeBlock` (if any) runs
// before each block with the block's number.
template <class Instance>
Stereo Render(Instance& instance, const Stereo& in, int block, const std::function<void(int)>& beforeBlock = {}) {
    Stereo out(in.frames());
    int number = 0;
    for (size_t pos = 0; pos < in.frames(); pos += static_cast<size_t>(block), ++number) {
        const size_t n = std::min(in.frames() - pos, static_cast<size_t>(block));
        if (beforeBlock)
            beforeBlock(number);
        instance.run(in.left.data() + pos, in.right.data() + pos, out.left.data() + pos, out.right.data() + pos,
                     static_cast<uint32_t>(n));
    }
    return out;
}

}  // namespace lv2test
