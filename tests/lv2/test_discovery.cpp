// What a host learns through lilv: the plug-in, its ports and its presets,
// all matching the parameter table that the VST 2.x edition also reads.
#include <gtest/gtest.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Lv2TestUtil.h"

namespace {

using lv2test::World;

std::string NodeText(const LilvNode* node) { return node != nullptr ? lilv_node_as_string(node) : "(none)"; }

// One value of a port's property, or "(none)".
std::string PortValue(const LilvPort* port, const char* property) {
    World& w = World::get();
    LilvNodes* values = lilv_port_get_value(w.plugin(), port, w.uri(property));
    std::string text = values != nullptr && lilv_nodes_size(values) > 0 ? NodeText(lilv_nodes_get_first(values))
                                                                       : "(none)";
    lilv_nodes_free(values);
    return text;
}

uint32_t Bits(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

TEST(Lv2Discovery, ThePluginIsFoundWithItsNameAndFeatures) {
    World& w = World::get();
    ASSERT_NE(w.plugin(), nullptr) << "no <urn:pellucid:halvorine> on LV2_PATH";
    LilvNode* name = lilv_plugin_get_name(w.plugin());
    EXPECT_EQ(NodeText(name), "Halvorine");
    lilv_node_free(name);
    LilvNode* author = lilv_plugin_get_author_name(w.plugin());
    EXPECT_EQ(NodeText(author), "Pellucid");
    lilv_node_free(author);
    EXPECT_TRUE(lilv_plugin_verify(w.plugin()));
    // The release and the licence, as hosts and package tools read them.
    const std::pair<const char*, std::string> facts[] = {
        {LV2_CORE__minorVersion, std::to_string(HALVORINE_LV2_MINOR_VERSION)},
        {LV2_CORE__microVersion, std::to_string(HALVORINE_LV2_MICRO_VERSION)},
        {"http://usefulinc.com/ns/doap#license", "https://spdx.org/licenses/MIT"},
    };
    for (const auto& fact : facts) {
        LilvNodes* values = lilv_plugin_get_value(w.plugin(), w.uri(fact.first));
        EXPECT_EQ(lilv_nodes_size(values), 1u) << fact.first;
        EXPECT_EQ(values != nullptr ? NodeText(lilv_nodes_get_first(values)) : "(none)", fact.second);
        lilv_nodes_free(values);
    }

    LilvNodes* required = lilv_plugin_get_required_features(w.plugin());
    EXPECT_EQ(lilv_nodes_size(required), 0u) << "a host must need nothing to load it";
    lilv_nodes_free(required);
    EXPECT_TRUE(lilv_plugin_has_feature(w.plugin(), w.uri(LV2_CORE__hardRTCapable)));
    EXPECT_FALSE(lilv_plugin_has_feature(w.plugin(), w.uri(LV2_CORE__inPlaceBroken)));
    EXPECT_EQ(NodeText(lilv_plugin_get_uri(w.plugin())), lv2edition::kPluginUri);
}

TEST(Lv2Discovery, PortsAreTheAudioPairsThenOneControlPerParameter) {
    World& w = World::get();
    ASSERT_NE(w.plugin(), nullptr);
    const LilvPlugin* plugin = w.plugin();
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), lv2edition::kPlain.numPorts);  // the key's follow (test_key.cpp)

    const char* const audio[4] = {"in_l", "in_r", "out_l", "out_r"};
    for (uint32_t i = 0; i < 4; ++i) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
        EXPECT_EQ(NodeText(lilv_port_get_symbol(plugin, port)), audio[i]);
        EXPECT_TRUE(lilv_port_is_a(plugin, port, w.uri(LV2_CORE__AudioPort)));
        EXPECT_TRUE(lilv_port_is_a(plugin, port, w.uri(i < 2 ? LV2_CORE__InputPort : LV2_CORE__OutputPort)));
    }

    float minimum[lv2edition::kNumPorts], maximum[lv2edition::kNumPorts], defaults[lv2edition::kNumPorts];
    lilv_plugin_get_port_ranges_float(plugin, minimum, maximum, defaults);
    for (int i = 0; i < params::kNumActive; ++i) {
        const params::Parameter& p = params::kParameters[i];
        const uint32_t index = lv2edition::ControlPort(i);
        SCOPED_TRACE(p.symbol);
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        ASSERT_NE(port, nullptr);
        EXPECT_TRUE(lilv_port_is_a(plugin, port, w.uri(LV2_CORE__ControlPort)));
        EXPECT_TRUE(lilv_port_is_a(plugin, port, w.uri(LV2_CORE__InputPort)));
        EXPECT_EQ(NodeText(lilv_port_get_symbol(plugin, port)), p.symbol);
        LilvNode* name = lilv_port_get_name(plugin, port);
        EXPECT_EQ(NodeText(name), p.hostName);
        lilv_node_free(name);
        EXPECT_EQ(minimum[index], 0.0f);
        EXPECT_EQ(maximum[index], 1.0f);
        // A new instance of either edition starts on "BigBeat".
        EXPECT_EQ(Bits(defaults[index]), Bits(params::FactoryValue(params::kInitialProgram, i)));
        // The 0..1 values carry no unit that would suggest another scale.
        EXPECT_EQ(PortValue(port, "http://lv2plug.in/ns/extensions/units#unit"), "(none)");
        // No property that keeps a host from automating the control
        // (they glide), or marks it as one to set rarely.
        EXPECT_EQ(PortValue(port, LV2_CORE__portProperty), "(none)");
    }
    // Spot checks against the host texts, in case the table itself moved.
    EXPECT_EQ(NodeText(lilv_port_get_symbol(plugin, lilv_plugin_get_port_by_index(plugin, 6))), "freq_q");
    LilvNode* last = lilv_port_get_name(plugin, lilv_plugin_get_port_by_index(plugin, 25));
    EXPECT_EQ(NodeText(last), "Band 16Gate Level");
    lilv_node_free(last);
    EXPECT_EQ(defaults[4], 0.7375f);
}

TEST(Lv2Discovery, EveryFactoryProgramIsAPresetWithExactValues) {
    World& w = World::get();
    ASSERT_NE(w.plugin(), nullptr);
    LilvNodes* related = lilv_plugin_get_related(w.plugin(), w.uri("http://lv2plug.in/ns/ext/presets#Preset"));
    EXPECT_EQ(lilv_nodes_size(related), static_cast<unsigned>(params::kNumPrograms));
    lilv_nodes_free(related);

    for (int program = 0; program < params::kNumPrograms; ++program) {
        SCOPED_TRACE(params::kProgramNames[program]);
        ASSERT_NE(w.preset(program), nullptr);
        EXPECT_EQ(NodeText(w.preset(program)), std::string(lv2edition::kPresetUriPrefix) + params::kProgramNames[program]);
        lv2test::Lv2Instance instance(44100.0);
        ASSERT_TRUE(instance.ok());
        for (float& c : instance.controls)
            c = -1.0f;  // so that a value the preset leaves out shows
        instance.applyPreset(program);
        for (int i = 0; i < params::kNumActive; ++i)
            EXPECT_EQ(Bits(instance.controls[i]), Bits(params::FactoryValue(program, i))) << params::kParameters[i].symbol;
    }
}

}  // namespace

#if defined(HALVORINE_LV2_UI)
namespace {

// The URIs of `property` of `subject`, sorted.
std::vector<std::string> Objects(const LilvNode* subject, const char* property) {
    World& w = World::get();
    LilvNodes* found = lilv_world_find_nodes(w.world(), subject, w.uri(property), nullptr);
    std::vector<std::string> out;
    LILV_FOREACH (nodes, i, found)
        out.push_back(NodeText(lilv_nodes_get(found, i)));
    lilv_nodes_free(found);
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(Lv2Discovery, TheUiIsAnX11UiBesideTheDspBinaryThatTheHostMustParent) {
    World& w = World::get();
    ASSERT_NE(w.plugin(), nullptr);
    LilvUIs* uis = lilv_plugin_get_uis(w.plugin());
    ASSERT_EQ(lilv_uis_size(uis), 1u);
    const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
    const LilvNode* uri = lilv_ui_get_uri(ui);
    EXPECT_EQ(NodeText(uri), lv2edition::kUiUri);
    EXPECT_TRUE(lilv_ui_is_a(ui, w.uri(LV2_UI__X11UI)));

    char* binary = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
    char* dsp = lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_library_uri(w.plugin())), nullptr);
    const std::string uiPath = binary != nullptr ? binary : "", dspPath = dsp != nullptr ? dsp : "";
    lilv_free(binary);
    lilv_free(dsp);
    const size_t slash = dspPath.find_last_of('/');
    EXPECT_EQ(uiPath, dspPath.substr(0, slash + 1) + "halvorine_ui.so");
    EXPECT_EQ(access(uiPath.c_str(), R_OK), 0) << uiPath;

    lilv_world_load_resource(w.world(), uri);
    EXPECT_EQ(Objects(uri, LV2_CORE__requiredFeature), (std::vector<std::string>{LV2_UI__parent}));
    EXPECT_EQ(Objects(uri, LV2_CORE__optionalFeature),
              (std::vector<std::string>{LV2_OPTIONS__options, LV2_URID__map, LV2_UI__idleInterface,
                                        LV2_UI__noUserResize, LV2_UI__resize, LV2_UI__touch}));
    EXPECT_EQ(Objects(uri, LV2_CORE__extensionData),
              (std::vector<std::string>{LV2_OPTIONS__interface, LV2_UI__idleInterface, LV2_UI__showInterface}));
    EXPECT_EQ(Objects(uri, LV2_OPTIONS__supportedOption),
              (std::vector<std::string>{LV2_PARAMETERS__sampleRate, LV2_UI__scaleFactor}));
    lilv_uis_free(uis);
}
#endif
