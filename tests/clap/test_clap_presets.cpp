// The presets and remote controls (clap/ClapPresets.cpp) through their
// binary interface, as a host walks them, over a stand-in plug-in that
// records which programs it was told to choose.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "ClapPresets.h"
#include "ParameterTable.h"
#include "abi/Presets.h"

using namespace clapabi;

namespace clapedition {
class ClapPlugin {
public:
    clap_plugin_t clap{};
    const clap_host_t* host = nullptr;
    std::vector<int> chosen;
};
ClapPlugin* PluginOf(const clap_plugin_t* p) { return p ? static_cast<ClapPlugin*>(p->plugin_data) : nullptr; }
const clap_host_t* HostOf(ClapPlugin& p) { return p.host; }
bool ChooseProgram(ClapPlugin& p, int program) {
    p.chosen.push_back(program);
    return program >= 0 && program < params::kNumPrograms;
}
}  // namespace clapedition

namespace {

struct Recorder {
    std::vector<clap_preset_discovery_location_t> locations;
    std::vector<std::string> presets;  // "name=key plugin-ids" per preset
    int errors = 0, loaded = 0, begins = 0, refuseAfter = 100;
};
Recorder* RecorderOf(const clap_preset_discovery_metadata_receiver_t* r) { return static_cast<Recorder*>(r->receiver_data); }

clap_preset_discovery_indexer_t MakeIndexer(Recorder& rec) {
    clap_preset_discovery_indexer_t ix{};
    ix.clap_version = CLAP_VERSION;
    ix.name = "test";
    ix.indexer_data = &rec;
    ix.declare_location = [](const clap_preset_discovery_indexer_t* i, const clap_preset_discovery_location_t* l) {
        static_cast<Recorder*>(i->indexer_data)->locations.push_back(*l);
        return true;
    };
    return ix;
}

clap_preset_discovery_metadata_receiver_t MakeReceiver(Recorder& rec) {
    clap_preset_discovery_metadata_receiver_t r{};
    r.receiver_data = &rec;
    r.on_error = [](const clap_preset_discovery_metadata_receiver_t* r, int32_t, const char*) { ++RecorderOf(r)->errors; };
    r.begin_preset = [](const clap_preset_discovery_metadata_receiver_t* r, const char* name, const char* key) {
        Recorder* rec = RecorderOf(r);
        ++rec->begins;
        if (static_cast<int>(rec->presets.size()) >= rec->refuseAfter)
            return false;
        rec->presets.push_back(std::string(name) + "=" + key);
        return true;
    };
    r.add_plugin_id = [](const clap_preset_discovery_metadata_receiver_t* r, const clap_universal_plugin_id_t* id) {
        RecorderOf(r)->presets.back() += std::string(" ") + id->abi + ":" + id->id;
    };
    return r;
}

TEST(ClapPresets, DiscoveryAsAHostWalksIt) {
    const auto* f = static_cast<const clap_preset_discovery_factory_t*>(
        clapedition::PresetDiscoveryFactory(CLAP_PRESET_DISCOVERY_FACTORY_ID));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(clapedition::PresetDiscoveryFactory(CLAP_PRESET_DISCOVERY_FACTORY_ID_COMPAT), f);
    EXPECT_EQ(clapedition::PresetDiscoveryFactory("clap.plugin-factory"), nullptr);
    EXPECT_EQ(clapedition::PresetDiscoveryFactory(nullptr), nullptr);
    ASSERT_EQ(f->count(f), 1u);
    const clap_preset_discovery_provider_descriptor_t* d = f->get_descriptor(f, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(f->get_descriptor(f, 1), nullptr);
    EXPECT_STREQ(d->vendor, "Pellucid");

    Recorder rec;
    const clap_preset_discovery_indexer_t indexer = MakeIndexer(rec);
    EXPECT_EQ(f->create(f, &indexer, "com.pellucid.other"), nullptr);
    const clap_preset_discovery_provider_t* p = f->create(f, &indexer, d->id);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->init(p));
    ASSERT_EQ(rec.locations.size(), 1u);
    const clap_preset_discovery_location_t loc = rec.locations[0];
    EXPECT_EQ(loc.kind, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN);
    EXPECT_EQ(loc.location, nullptr);
    EXPECT_TRUE(loc.flags & CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);

    const clap_preset_discovery_metadata_receiver_t receiver = MakeReceiver(rec);
    ASSERT_TRUE(p->get_metadata(p, loc.kind, loc.location, &receiver));
    ASSERT_EQ(rec.presets.size(), size_t(params::kNumPrograms));
    for (int n = 0; n < params::kNumPrograms; ++n)
        EXPECT_EQ(rec.presets[n], std::string(params::kProgramNames[n]) + "=" + std::to_string(n) +
                                      " clap:com.pellucid.halvorine");
    EXPECT_EQ(rec.errors, 0);

    // A file location is not ours; a host that wants no more is not given more.
    EXPECT_FALSE(p->get_metadata(p, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp", &receiver));
    EXPECT_EQ(rec.errors, 1);
    rec.presets.clear();
    rec.refuseAfter = 2;
    rec.begins = 0;
    EXPECT_TRUE(p->get_metadata(p, loc.kind, loc.location, &receiver));
    EXPECT_EQ(rec.presets, (std::vector<std::string>{"Default=0 clap:com.pellucid.halvorine",
                                                     "Gated=1 clap:com.pellucid.halvorine"}));
    EXPECT_EQ(rec.begins, 3) << "asked again after the host said no";
    p->destroy(p);
}

// A host offering preset-load under the identifier `offered` (or none).
struct Host {
    clap_host_t clap{};
    clap_host_preset_load_t load{};
    const char* offered = nullptr;
    Recorder rec;
    Host() {
        clap.clap_version = CLAP_VERSION;
        clap.host_data = this;
        clap.get_extension = [](const clap_host_t* h, const char* id) -> const void* {
            Host* self = static_cast<Host*>(h->host_data);
            return self->offered != nullptr && std::string(id) == self->offered ? &self->load : nullptr;
        };
        load.on_error = [](const clap_host_t* h, uint32_t, const char*, const char*, int32_t, const char*) {
            ++static_cast<Host*>(h->host_data)->rec.errors;
        };
        load.loaded = [](const clap_host_t* h, uint32_t, const char*, const char*) {
            ++static_cast<Host*>(h->host_data)->rec.loaded;
        };
    }
};

TEST(ClapPresets, LoadFromLocation) {
    struct Case {
        uint32_t kind;
        const char* location;
        const char* key;
        const char* offered;
        bool ok;
    };
    const uint32_t kPlugin = CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, kFile = CLAP_PRESET_DISCOVERY_LOCATION_FILE;
    const Case cases[] = {
        {kPlugin, nullptr, "3", CLAP_EXT_PRESET_LOAD, true},
        {kPlugin, nullptr, "7", CLAP_EXT_PRESET_LOAD_COMPAT, true},  // a host of the draft
        {kPlugin, nullptr, "0", nullptr, true},                     // a host without preset-load
        {kPlugin, nullptr, "8", CLAP_EXT_PRESET_LOAD, false},
        {kPlugin, nullptr, "03", CLAP_EXT_PRESET_LOAD, false},
        {kPlugin, nullptr, nullptr, CLAP_EXT_PRESET_LOAD, false},
        {kPlugin, "/somewhere", "3", CLAP_EXT_PRESET_LOAD, false},
        {kFile, "/tmp/x.preset", "3", CLAP_EXT_PRESET_LOAD_COMPAT, false},
        {kPlugin, nullptr, "-1", nullptr, false},
    };
    const auto* ext = static_cast<const clap_plugin_preset_load_t*>(clapedition::PresetLoadExtension());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key ? c.key : "(null)") + " at " + (c.location ? c.location : "(plug-in)"));
        Host host;
        host.offered = c.offered;
        clapedition::ClapPlugin plugin;
        plugin.clap.plugin_data = &plugin;
        plugin.host = &host.clap;
        EXPECT_EQ(ext->from_location(&plugin.clap, c.kind, c.location, c.key), c.ok);
        EXPECT_EQ(plugin.chosen, c.ok ? std::vector<int>{c.key[0] - '0'} : std::vector<int>{});
        EXPECT_EQ(host.rec.loaded, c.ok && c.offered ? 1 : 0);
        EXPECT_EQ(host.rec.errors, !c.ok && c.offered ? 1 : 0);
    }
    clap_plugin_t foreign{};
    EXPECT_FALSE(ext->from_location(&foreign, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr, "3"));
}

TEST(ClapPresets, RemoteControlPages) {
    const std::vector<std::vector<clap_id>> expected = {{0, 1, 2, 3, 4, 5, 23, CLAP_INVALID_ID},
                                                        {6, 7, 8, 9, 10, 11, 12, 13},
                                                        {14, 15, 16, 17, 18, 19, 20, 21}};
    const char* names[] = {"Main", "Bands 1\u20138", "Bands 9\u201316"};
    const auto* ext = static_cast<const clap_plugin_remote_controls_t*>(clapedition::RemoteControlsExtension());
    clapedition::ClapPlugin plugin;
    plugin.clap.plugin_data = &plugin;
    ASSERT_EQ(ext->count(&plugin.clap), expected.size());
    std::set<clap_id> pageIds;
    for (uint32_t i = 0; i < expected.size(); ++i) {
        clap_remote_controls_page_t page;
        std::memset(&page, 0x5a, sizeof(page));
        ASSERT_TRUE(ext->get(&plugin.clap, i, &page));
        EXPECT_STREQ(page.page_name, names[i]);
        EXPECT_STREQ(page.section_name, i == 0 ? "Main" : "Bands");
        EXPECT_EQ(std::vector<clap_id>(page.param_ids, page.param_ids + 8), expected[i]);
        EXPECT_FALSE(page.is_for_preset);
        pageIds.insert(page.page_id);
    }
    EXPECT_EQ(pageIds.size(), expected.size()) << "page ids repeat";
    clap_remote_controls_page_t page;
    EXPECT_FALSE(ext->get(&plugin.clap, 3, &page));
    EXPECT_FALSE(ext->get(&plugin.clap, 0, nullptr));

    EXPECT_TRUE(clapedition::IsRemoteControlsId("clap.remote-controls/2"));
    EXPECT_TRUE(clapedition::IsRemoteControlsId("clap.remote-controls.draft/2"));
    EXPECT_TRUE(clapedition::IsPresetLoadId("clap.preset-load/2"));
    EXPECT_TRUE(clapedition::IsPresetLoadId("clap.preset-load.draft/2"));
    EXPECT_FALSE(clapedition::IsPresetLoadId("clap.preset-load"));
    EXPECT_FALSE(clapedition::IsRemoteControlsId(nullptr));
}

}  // namespace
