#include "Lv2TestUtil.h"

#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/presets/presets.h>

#include <cstring>

#include "HostFloatingPoint.h"
#include "TestHost.h"
#include "TestSignal.h"

namespace lv2test {

World& World::get() {
    static World world;
    return world;
}

World::World() {
    map_.handle = this;
    map_.map = &World::Map;
    world_ = lilv_world_new();
    lilv_world_load_all(world_);  // LV2_PATH
    for (int v = 0; v < 2; ++v) {
        plugins_[v] = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri(lv2edition::kVariants[v]->uri));
        if (plugins_[v] == nullptr)
            continue;
        LilvNodes* related = lilv_plugin_get_related(plugins_[v], uri(LV2_PRESETS__Preset));
        LILV_FOREACH (nodes, i, related) {
            const LilvNode* preset = lilv_nodes_get(related, i);
            lilv_world_load_resource(world_, preset);
            LilvNodes* labels = lilv_world_find_nodes(world_, preset, uri(LILV_NS_RDFS "label"), nullptr);
            if (labels != nullptr && lilv_nodes_size(labels) == 1) {
                const char* label = lilv_node_as_string(lilv_nodes_get_first(labels));
                for (int p = 0; p < params::kNumPrograms; ++p)
                    if (std::strcmp(label, params::kProgramNames[p]) == 0)
                        presets_[v][p] = uri(lilv_node_as_uri(preset));
            }
            lilv_nodes_free(labels);
        }
        lilv_nodes_free(related);
    }
}

World::~World() {
    for (LilvNode* node : nodes_)
        lilv_node_free(node);
    lilv_world_free(world_);
}

const LilvNode* World::uri(const std::string& text) {
    nodes_.push_back(lilv_new_uri(world_, text.c_str()));
    return nodes_.back();
}

LV2_URID World::Map(LV2_URID_Map_Handle handle, const char* uri) { return static_cast<World*>(handle)->urid(uri); }

LV2_URID World::urid(const char* uri) {
    for (size_t i = 0; i < uris_.size(); ++i)
        if (uris_[i] == uri)
            return static_cast<LV2_URID>(i + 1);
    uris_.emplace_back(uri);
    return static_cast<LV2_URID>(uris_.size());
}

Stereo TestSignal(int frames, uint32_t seed) {
    Stereo s;
    testsignal::MakeTestSignal(s.left, s.right, frames, seed);
    return s;
}

long FirstDifference(const Stereo& a, const Stereo& b) {
    if (a.frames() != b.frames())
        return 0;
    for (size_t i = 0; i < a.frames(); ++i)
        if (std::memcmp(&a.left[i], &b.left[i], sizeof(float)) != 0 ||
            std::memcmp(&a.right[i], &b.right[i], sizeof(float)) != 0)
            return static_cast<long>(i);
    return -1;
}

// ---------------------------------------------------------------------------

Lv2Instance::Lv2Instance(double rate, bool connectControls, const lv2edition::Variant& variant)
    : variant_(variant) {
    World& w = World::get();
    if (w.plugin(variant) == nullptr)
        return;
    // With --unmasked-exceptions, each call into the plug-in (here through
    // lilv) runs as in a host that unmasks exceptions (HostFloatingPoint.h).
    {
        hostfp::UnmaskedCall call("instantiate");
        instance_ = lilv_plugin_instantiate(w.plugin(variant), rate, nullptr);
    }
    if (instance_ == nullptr)
        return;
    float defaults[lv2edition::kNumPorts];
    lilv_plugin_get_port_ranges_float(w.plugin(variant), nullptr, nullptr, defaults);
    for (int i = 0; i < params::kNumActive; ++i) {
        controls[i] = defaults[lv2edition::ControlPort(i)];
        if (connectControls) {
            hostfp::UnmaskedCall call("connect_port", i);
            lilv_instance_connect_port(instance_, lv2edition::ControlPort(i), &controls[i]);
        }
    }
    key = defaults[lv2edition::kKey];
    if (connectControls) {
        hostfp::UnmaskedCall call("connect_port (key)");
        lilv_instance_connect_port(instance_, lv2edition::kKey, &key);
        if (variant.sidechain)
            lilv_instance_connect_port(instance_, lv2edition::kKeyMissing, &keyMissing);
    }
    hostfp::UnmaskedCall call("activate");
    lilv_instance_activate(instance_);
}

Lv2Instance::~Lv2Instance() {
    if (instance_ != nullptr) {
        hostfp::UnmaskedCall call("deactivate and cleanup");
        lilv_instance_deactivate(instance_);
        lilv_instance_free(instance_);
    }
}

namespace {

struct RestoreTarget {
    Lv2Instance* instance;
    LV2_URID floatType;
    int restored;
};

void SetPortValue(const char* symbol, void* user, const void* value, uint32_t size, uint32_t type) {
    auto* target = static_cast<RestoreTarget*>(user);
    ASSERT_EQ(type, target->floatType) << symbol << " is not an atom:Float";
    ASSERT_EQ(size, sizeof(float)) << symbol;
    for (int i = 0; i < params::kNumActive; ++i) {
        if (std::strcmp(symbol, params::kParameters[i].symbol) == 0) {
            std::memcpy(&target->instance->controls[i], value, sizeof(float));
            ++target->restored;
            return;
        }
    }
    ADD_FAILURE() << "preset value for unknown port " << symbol;
}

}  // namespace

void Lv2Instance::applyPreset(int program) {
    World& w = World::get();
    ASSERT_NE(w.preset(program, variant_), nullptr) << params::kProgramNames[program] << " for " << variant_.uri;
    LilvState* state = lilv_state_new_from_world(w.world(), w.map(), w.preset(program, variant_));
    ASSERT_NE(state, nullptr);
    RestoreTarget target{this, w.urid(LV2_ATOM__Float), 0};
    lilv_state_restore(state, instance_, &SetPortValue, &target, 0, nullptr);
    lilv_state_free(state);
    EXPECT_EQ(target.restored, params::kNumActive) << params::kProgramNames[program];
}

void Lv2Instance::run(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames) {
    hostfp::UnmaskedCall call("connect_port and run", static_cast<long>(frames));
    lilv_instance_connect_port(instance_, lv2edition::kInL, const_cast<float*>(inL));
    lilv_instance_connect_port(instance_, lv2edition::kInR, const_cast<float*>(inR));
    lilv_instance_connect_port(instance_, lv2edition::kOutL, outL);
    lilv_instance_connect_port(instance_, lv2edition::kOutR, outR);
    lilv_instance_run(instance_, frames);
}

void Lv2Instance::connectKey(const float* left, const float* right) {
    hostfp::UnmaskedCall call("connect_port (key audio)");
    lilv_instance_connect_port(instance_, lv2edition::kKeyL, const_cast<float*>(left));
    lilv_instance_connect_port(instance_, lv2edition::kKeyR, const_cast<float*>(right));
}

// ---------------------------------------------------------------------------

VstInstance::VstInstance(float rate, int program) {
    testhost::Host host;  // answers the construction's callbacks
    effect_ = host.create();
    if (effect_ == nullptr)
        return;
    testhost::dispatch(effect_, effOpen);
    testhost::dispatch(effect_, effSetSampleRate, 0, 0, nullptr, rate);
    testhost::dispatch(effect_, effSetBlockSize, 0, 512);
    testhost::dispatch(effect_, effSetProgram, 0, program);
    testhost::dispatch(effect_, effMainsChanged, 0, 1);
}

VstInstance::~VstInstance() {
    if (effect_ != nullptr) {
        testhost::dispatch(effect_, effMainsChanged, 0, 0);
        testhost::dispatch(effect_, effClose);
    }
}

void VstInstance::setParameter(int index, float value) { effect_->setParameter(effect_, index, value); }

float VstInstance::getParameter(int index) { return effect_->getParameter(effect_, index); }

void VstInstance::run(const float* inL, const float* inR, float* outL, float* outR, int frames) {
    float* in[2] = {const_cast<float*>(inL), const_cast<float*>(inR)};
    float* out[2] = {outL, outR};
    effect_->processReplacing(effect_, in, out, frames);
}

}  // namespace lv2test
