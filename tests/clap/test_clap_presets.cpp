// The presets and remote controls (clap/ClapPresets.cpp) as a host walks them,
// over a stand-in plug-in that records the programs it was told to choose.
#include <gtest/gtest.h>

#include <cstring>
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
    ClapPlugin() { clap.plugin_data = this; }
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

using Receiver = clap_preset_discovery_metadata_receiver_t;
struct Recorder;
Recorder* Of(void* data) { return static_cast<Recorder*>(data); }

// The host's indexer, metadata receiver, and host offering preset-load as `offered` (or not).
struct Recorder {
    std::vector<clap_preset_discovery_location_t> locations;
    std::vector<std::string> presets;  // "name=key abi:id" per preset
    int errors = 0, loaded = 0, begins = 0, refuseAfter = 100;
    const char* offered = nullptr;
    clap_preset_discovery_indexer_t indexer{};
    Receiver receiver{};
    clap_host_t host{};
    clap_host_preset_load_t load{};

    Recorder() {
        indexer.clap_version = host.clap_version = CLAP_VERSION;
        indexer.name = "test";
        indexer.indexer_data = receiver.receiver_data = host.host_data = this;
        indexer.declare_location = [](const clap_preset_discovery_indexer_t* i, const clap_preset_discovery_location_t* l) {
            Of(i->indexer_data)->locations.push_back(*l);
            return true;
        };
        receiver.on_error = [](const Receiver* r, int32_t, const char*) { ++Of(r->receiver_data)->errors; };
        receiver.begin_preset = [](const Receiver* r, const char* name, const char* key) {
            Recorder* self = Of(r->receiver_data);
            if (++self->begins > self->refuseAfter)
                return false;
            self->presets.push_back(std::string(name) + "=" + key);
            return true;
        };
        receiver.add_plugin_id = [](const Receiver* r, const clap_universal_plugin_id_t* id) {
            Of(r->receiver_data)->presets.back() += std::string(" ") + id->abi + ":" + id->id;
        };
        host.get_extension = [](const clap_host_t* h, const char* id) -> const void* {
            Recorder* self = Of(h->host_data);
            return self->offered != nullptr && std::strcmp(id, self->offered) == 0 ? &self->load : nullptr;
        };
        load.on_error = [](const clap_host_t* h, uint32_t, const char*, const char*, int32_t, const char*) {
            ++Of(h->host_data)->errors;
        };
        load.loaded = [](const clap_host_t* h, uint32_t, const char*, const char*) { ++Of(h->host_data)->loaded; };
    }
};

TEST(ClapPresets, DiscoveryAsAHostWalksIt) {
    const auto* f = static_cast<const clap_preset_discovery_factory_t*>(
        clapedition::PresetDiscoveryFactory("clap.preset-discovery-factory/2"));
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(clapedition::PresetDiscoveryFactory("clap.preset-discovery-factory/draft-2"), f);
    EXPECT_EQ(clapedition::PresetDiscoveryFactory("clap.plugin-factory"), nullptr);
    ASSERT_EQ(f->count(f), 1u);
    const clap_preset_discovery_provider_descriptor_t* d = f->get_descriptor(f, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(f->get_descriptor(f, 1), nullptr);

    Recorder rec;
    EXPECT_EQ(f->create(f, &rec.indexer, "com.pellucid.other"), nullptr);
    const clap_preset_discovery_provider_t* p = f->create(f, &rec.indexer, d->id);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->init(p));
    ASSERT_EQ(rec.locations.size(), 1u);
    const clap_preset_discovery_location_t loc = rec.locations[0];
    EXPECT_EQ(loc.kind, CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN);
    EXPECT_EQ(loc.location, nullptr);
    EXPECT_TRUE(loc.flags & CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT);

    ASSERT_TRUE(p->get_metadata(p, loc.kind, loc.location, &rec.receiver));
    ASSERT_EQ(rec.presets.size(), size_t(params::kNumPrograms));
    for (int n = 0; n < params::kNumPrograms; ++n)
        EXPECT_EQ(rec.presets[n], std::string(params::kProgramNames[n]) + "=" + std::to_string(n) +
                                      " clap:com.pellucid.halvorine");

    // A file location is not ours; a host that wants no more is not asked again.
    EXPECT_FALSE(p->get_metadata(p, CLAP_PRESET_DISCOVERY_LOCATION_FILE, "/tmp", &rec.receiver));
    EXPECT_EQ(rec.errors, 1);
    rec.presets.clear();
    rec.begins = 0;
    rec.refuseAfter = 2;
    EXPECT_TRUE(p->get_metadata(p, loc.kind, loc.location, &rec.receiver));
    EXPECT_EQ(rec.presets.size(), 2u);
    EXPECT_EQ(rec.begins, 3);
    p->destroy(p);
}

TEST(ClapPresets, LoadFromLocation) {
    const uint32_t kPlugin = CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, kFile = CLAP_PRESET_DISCOVERY_LOCATION_FILE;
    const char* const kLoad = "clap.preset-load/2";
    const struct {
        uint32_t kind;
        const char *location, *key, *offered;
        int chosen;  // -1: none, and from_location says false
    } cases[] = {
        {kPlugin, nullptr, "3", kLoad, 3},
        {kPlugin, nullptr, "7", "clap.preset-load.draft/2", 7},  // a host of the draft
        {kPlugin, nullptr, "0", nullptr, 0},                     // a host without preset-load
        {kPlugin, nullptr, "8", kLoad, -1},
        {kPlugin, nullptr, "03", kLoad, -1},
        {kPlugin, nullptr, nullptr, kLoad, -1},
        {kPlugin, "/somewhere", "3", kLoad, -1},
        {kFile, "/tmp/x.preset", "3", "clap.preset-load.draft/2", -1},
    };
    const auto* ext = static_cast<const clap_plugin_preset_load_t*>(clapedition::PresetLoadExtension());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key ? c.key : "(null)") + " at " + (c.location ? c.location : "(plug-in)"));
        Recorder rec;
        rec.offered = c.offered;
        clapedition::ClapPlugin plugin;
        plugin.host = &rec.host;
        const bool ok = c.chosen >= 0;
        EXPECT_EQ(ext->from_location(&plugin.clap, c.kind, c.location, c.key), ok);
        EXPECT_EQ(plugin.chosen, ok ? std::vector<int>{c.chosen} : std::vector<int>{});
        EXPECT_EQ(rec.loaded, ok && c.offered ? 1 : 0);
        EXPECT_EQ(rec.errors, !ok && c.offered ? 1 : 0);
    }
}

TEST(ClapPresets, RemoteControlPages) {
    const std::vector<std::vector<clap_id>> expected = {{0, 1, 2, 3, 4, 5, 23, CLAP_INVALID_ID},
                                                        {6, 7, 8, 9, 10, 11, 12, 13},
                                                        {14, 15, 16, 17, 18, 19, 20, 21}};
    const char* names[] = {"Main", "Bands 1\u20138", "Bands 9\u201316"};
    const auto* ext = static_cast<const clap_plugin_remote_controls_t*>(clapedition::RemoteControlsExtension());
    clapedition::ClapPlugin plugin;
    ASSERT_EQ(ext->count(&plugin.clap), expected.size());
    for (uint32_t i = 0; i < expected.size(); ++i) {
        clap_remote_controls_page_t page;
        std::memset(&page, 0x5a, sizeof(page));
        ASSERT_TRUE(ext->get(&plugin.clap, i, &page));
        EXPECT_STREQ(page.page_name, names[i]);
        EXPECT_EQ(std::vector<clap_id>(page.param_ids, page.param_ids + 8), expected[i]);
    }
    clap_remote_controls_page_t page;
    EXPECT_FALSE(ext->get(&plugin.clap, 3, &page));
    EXPECT_FALSE(ext->get(&plugin.clap, 0, nullptr));
}

}  // namespace
