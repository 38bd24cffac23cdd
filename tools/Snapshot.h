// `halvorine snapshot`: the editor window drawn into a PNG file.
#pragma once

#include <string>

#include "Render.h"

namespace halvorine {

// Writes the editor window, after the settings, to `path`; answers the exit
// code.
int snapshot(const std::string& path, const Settings& settings);

}  // namespace halvorine
