// Halvorine's parameter values as the editor's read-out writes them
// ("640Hz", "-20dB", "33%"), shown by info and read by --set, with the
// conversions of the VST3 and CLAP editions (edition/Parameters), so that
// every host sees the same texts. The VST 2.x plug-in itself gives none.
#pragma once

#include <string>

namespace halvorine {

class Plugin;

// True when parameter `index` of the loaded plug-in is Halvorine's: its
// name is the parameter table's at that index.
bool hasValueText(Plugin& plugin, int index);
// The read-out's text of `value` for such a parameter.
std::string valueText(int index, float value);

// What --set gives parameter `index` for `text`: a number in 0..1 is the
// value itself; for a Halvorine parameter, a value text ("15dB",
// "1.2KHz", also without its unit or with a decimal comma) is read as the
// VST3 and CLAP editions read it. Throws with a one-line message, naming the
// parameter's range, for anything else or anything out of range.
float settingValue(Plugin& plugin, int index, const std::string& text);
// The same for Halvorine's parameter `index` (below params::kNumActive)
// without a loaded library: the CLAP edition's parameter of that ID.
float settingValue(int index, const std::string& text);

}  // namespace halvorine
