// What `halvorine info` reports about a plug-in.
#pragma once

#include <string>

namespace halvorine {

class Plugin;

// The record's fields, names, programs and parameters with their current
// values: for a person, or as one JSON object for scripts.
std::string infoText(Plugin& plugin);
std::string infoJson(Plugin& plugin);

}  // namespace halvorine
