// `halvorine snapshot`: the editor window drawn into a PNG file.
#pragma once

#include <string>

#include "Render.h"

namespace halvorine {

// Writes the editor window, after the settings, to `path`, at `scale`
// (HALVORINE_SCALE, if set, overrides it as it does for every editor);
// answers the exit code. `keySource` ("left", "right", "mid", "side",
// "external"; empty for none) shows the key selector on that choice, as
// the editions with a key input show it.
int snapshot(const std::string& path, const Settings& settings, double scale = 1.0,
             const std::string& keySource = "");

}  // namespace halvorine
