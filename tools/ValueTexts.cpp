#include "ValueTexts.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "ParameterTable.h"
#include "PluginHost.h"
#include "edition/Parameters.h"

namespace halvorine {

namespace {

// The amount a value text stands for in the read-out's base unit (Hz, %,
// dB), to compare it with the ends of the range: the conversion to 0..1
// clamps, so it cannot tell "99dB" from "20dB". False when there is no
// number (an end such as "-∞dB" is open).
bool readAmount(const std::string& text, double& amount) {
    size_t at = text.find_first_not_of(' ');
    if (at == std::string::npos)
        return false;
    const bool negative = text[at] == '-';
    if (text[at] == '-' || text[at] == '+')
        ++at;
    double value = 0.0, scale = 0.0;  // scale 0: before the decimal point
    bool digits = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (scale == 0.0) {
                value = value * 10.0 + (c - '0');
            } else {
                scale /= 10.0;
                value += (c - '0') * scale;
            }
        } else if ((c == '.' || c == ',') && scale == 0.0) {
            scale = 1.0;
        } else {
            break;
        }
    }
    if (!digits)
        return false;
    at = text.find_first_not_of(' ', at);
    if (at != std::string::npos && (text[at] == 'k' || text[at] == 'K'))
        value *= 1000.0;
    amount = negative ? -value : value;
    return true;
}

// "-20dB..20dB": the read-out's texts of 0 and 1.
std::string rangeText(int index) {
    return valueText(index, 0.0f) + ".." + valueText(index, 1.0f);
}

bool inRange(int index, const std::string& text) {
    double amount = 0.0, low = 0.0, high = 0.0;
    if (!readAmount(text, amount))
        return true;  // a word the conversion knows, such as an open end
    if (readAmount(valueText(index, 0.0f), low) && amount < low)
        return false;
    return !(readAmount(valueText(index, 1.0f), high) && amount > high);
}

// The value of `text` for parameter `index`, called `name`; `texts`: it is
// Halvorine's and takes value texts.
float readSetting(int index, const std::string& name, bool texts, const std::string& text) {
    const std::string range = texts ? " or a value text, " + rangeText(index) : "";

    const char* begin = text.c_str();
    char* end = nullptr;
    const double number = std::strtod(begin, &end);
    if (!text.empty() && end != begin && *end == '\0' && std::isfinite(number)) {
        if (number < 0.0 || number > 1.0)
            throw std::runtime_error("value " + text + " for \"" + name + "\" is outside 0..1; " + name +
                                     " takes 0..1" + range);
        return static_cast<float>(number);
    }
    double value = 0.0;
    if (!texts || !edition::ValueFromText(static_cast<unsigned>(index), text, value))
        throw std::runtime_error("value \"" + text + "\" for \"" + name + "\" is not a number" +
                                 (texts ? " or a value text; " + name + " takes 0..1" + range : ""));
    if (!inRange(index, text))
        throw std::runtime_error(name + ": '" + text + "' is out of range; " + name + " takes " + rangeText(index) +
                                 " (or 0..1)");
    return static_cast<float>(value);
}

}  // namespace

bool hasValueText(Plugin& plugin, int index) {
    return index >= 0 && index < params::kNumActive &&
           plugin.parameterName(index) == params::kParameters[index].hostName;
}

std::string valueText(int index, float value) {
    std::string text;
    edition::ValueText(static_cast<unsigned>(index), value, text);
    return text;
}

float settingValue(Plugin& plugin, int index, const std::string& text) {
    return readSetting(index, plugin.parameterName(index), hasValueText(plugin, index), text);
}

float settingValue(int index, const std::string& text) {
    return readSetting(index, params::kParameters[index].hostName, true, text);
}

}  // namespace halvorine
