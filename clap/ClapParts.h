// How the CLAP edition's parts meet. The plug-in object (ClapPlugin.cpp:
// entry, factory, plug-in, ports, parameters, state, latency, tail, render)
// answers the host's get_factory and get_extension with what the other
// parts provide: the editor (ClapGui.cpp: gui, timer-support,
// posix-fd-support) and the factory programs as presets and the remote
// control pages (ClapPresets.cpp). Each part reaches the plug-in only
// through the functions below, on the host's main thread.
#pragma once

#include "abi/Base.h"

class EditorController;

namespace clapedition {

class ClapPlugin;
struct ClapGui;  // the editor's state for one plug-in (ClapGui.cpp)

// --- Provided by the plug-in (ClapPlugin.cpp) ---

// The plug-in behind a clap_plugin_t that this edition made; null for any other.
ClapPlugin* PluginOf(const clapabi::clap_plugin_t* plugin);
// The host that created it.
const clapabi::clap_host_t* HostOf(ClapPlugin& plugin);
// The value (0 to 1) of sound parameter `index` (0 to 21), as the editor shows it now.
float EditorValue(ClapPlugin& plugin, int index);
// The Key choice (0 to 4) the editor's selector shows, and whether the
// processor's last block wanted a key that the host did not give.
int EditorKeySource(ClapPlugin& plugin);
bool EditorKeyMissing(ClapPlugin& plugin);
int EditorProgram(ClapPlugin& plugin);
// The bands' activity since the previous call (16 levels and gain ratios);
// false when no audio ran in between.
bool EditorActivity(ClapPlugin& plugin, float level[16], float gain[16]);
// Where the editor's edits go (the sliders' and the Key selector's): they
// reach the host as gesture-begin, value and gesture-end output events, and
// the sound at the next block.
EditorController& EditorControllerOf(ClapPlugin& plugin);
// Chooses factory program `program` (0 to 7) as the Program parameter does; false
// for another number.
bool ChooseProgram(ClapPlugin& plugin, int program);
// The editor's slot in the plug-in: null while there is no editor. The plug-in
// calls DestroyGui on it when it is destroyed with an editor still made.
ClapGui*& GuiSlot(ClapPlugin& plugin);

// --- Provided by the editor (ClapGui.cpp) ---

const void* GuiExtension();           // "clap.gui"
const void* TimerSupportExtension();  // "clap.timer-support"
const void* PosixFdExtension();       // "clap.posix-fd-support" (null where there is none)
void DestroyGui(ClapGui* gui);

// --- Provided by the presets and controls (ClapPresets.cpp) ---

// The preset-discovery factory, for its factory ID (null for another ID).
const void* PresetDiscoveryFactory(const char* factoryId);
const void* PresetLoadExtension();     // "clap.preset-load"
const void* RemoteControlsExtension(); // "clap.remote-controls"

}  // namespace clapedition
