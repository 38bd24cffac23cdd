// The factory programs as presets a host can index and load, and the
// parameters in pages for a hardware controller (ClapPresets.cpp). What the
// plug-in object answers with is declared in ClapParts.h; this adds which
// extension identifiers those answers belong to, since hosts made while
// the extensions were drafts ask by the draft identifiers.
#pragma once

#include "ClapParts.h"

namespace clapedition {

// True for "clap.preset-load/2" and its draft identifier: the plug-in's
// get_extension answers PresetLoadExtension() for either.
bool IsPresetLoadId(const char* extensionId);
// True for "clap.remote-controls/2" and its draft identifier: answered with
// RemoteControlsExtension().
bool IsRemoteControlsId(const char* extensionId);

}  // namespace clapedition
