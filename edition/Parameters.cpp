#include "edition/Parameters.h"

#include <cmath>
#include <cstring>

#include "ValueText.h"

namespace edition {

const char* const kKeyNames[kKeyChoices] = {"Left", "Right", "Mid", "Side", "External"};

namespace {

// A decimal number at the start of `text` (sign, digits, one '.' or ','),
// without the C library, whose reading depends on the host's locale.
// Answers how many characters it took, 0 if there was no number.
size_t ReadNumber(const std::string& text, double& number) {
    size_t at = 0;
    while (at < text.size() && text[at] == ' ')
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    double whole = 0.0, scale = 1.0;
    bool digits = false, point = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (point) {
                scale /= 10.0;
                whole += (c - '0') * scale;
            } else {
                whole = whole * 10.0 + (c - '0');
            }
        } else if ((c == '.' || c == ',') && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    number = negative ? -whole : whole;
    return at;
}

// A thousandth of a dB: well inside a tenth, well above float rounding.
constexpr double kDecibelNudge = 0.001;

// What follows the number, spaces dropped, in lower case.
std::string Unit(const std::string& text, size_t from) {
    std::string unit;
    for (size_t i = from; i < text.size(); ++i)
        if (text[i] != ' ')
            unit += static_cast<char>(text[i] >= 'A' && text[i] <= 'Z' ? text[i] - 'A' + 'a' : text[i]);
    return unit;
}

// Whether the read-out shows `value` of parameter `id` below `tenth` dB.
bool ShownBelow(unsigned id, double value, double tenth) {
    std::string shown;
    double back = 0.0;
    return ValueText(id, value, shown) && ReadNumber(shown, back) > 0 && back < tenth - 1e-9;
}

}  // namespace

double ClampNormalized(double value) {
    if (!(value >= 0.0))
        return 0.0;
    return value > 1.0 ? 1.0 : value;
}

bool DescribeParameter(unsigned id, ParameterDescription& out) {
    if (id < static_cast<unsigned>(kNumSound)) {
        const params::Parameter& row = params::kParameters[id];
        // No units: the value texts carry theirs ("640Hz"), and hosts
        // that show both would show it twice.
        out = {row.label, row.caption, "", 0, row.programs[params::kInitialProgram], false, false, false};
        return true;
    }
    if (id == kProgramId) {
        out = {"Program", "Program", "", kProgramSteps, NormalizedFromProgram(params::kInitialProgram), true, true,
               false};
        return true;
    }
    if (id == kBypassId) {
        out = {"Bypass", "Bypass", "", 1, 0.0, false, false, true};
        return true;
    }
    if (id == kKeyId) {
        out = {"Key", "Key", "", kKeySteps, 0.0, true, false, false};  // Left: the gate as it always was
        return true;
    }
    return false;
}

int ProgramFromNormalized(double value) {
    const int program = static_cast<int>(ClampNormalized(value) * params::kNumPrograms);
    return program > kProgramSteps ? kProgramSteps : program;
}

double NormalizedFromProgram(int program) { return static_cast<double>(program) / kProgramSteps; }

int KeyFromNormalized(double value) {
    const int key = static_cast<int>(ClampNormalized(value) * kKeyChoices);
    return key > kKeySteps ? kKeySteps : key;
}

double NormalizedFromKey(int key) { return static_cast<double>(key) / kKeySteps; }

double PlainFromNormalized(unsigned id, double value) {
    if (id == kProgramId)
        return ProgramFromNormalized(value);
    if (id == kBypassId)
        return value >= 0.5 ? 1.0 : 0.0;
    if (id == kKeyId)
        return KeyFromNormalized(value);
    return value;
}

double NormalizedFromPlain(unsigned id, double plain) {
    if (id == kProgramId) {
        const double program = plain < 0.0 ? 0.0 : plain > kProgramSteps ? kProgramSteps : plain;
        return NormalizedFromProgram(static_cast<int>(program + 0.5));
    }
    if (id == kKeyId) {
        const double key = plain < 0.0 ? 0.0 : plain > kKeySteps ? kKeySteps : plain;
        return NormalizedFromKey(static_cast<int>(key + 0.5));
    }
    return ClampNormalized(plain);
}

bool ValueText(unsigned id, double value, std::string& text) {
    value = ClampNormalized(value);
    if (id < static_cast<unsigned>(kNumSound)) {
        const params::Parameter& row = params::kParameters[id];
        const float v = static_cast<float>(value);
        switch (row.readout) {
        case params::Readout::Frequency: text = valuetext::FilterStr(v); break;
        case params::Readout::Percent: text = valuetext::PercentText(v); break;
        case params::Readout::Decibels: text = valuetext::DecibelText(v, row.dbScale, row.dbOffset); break;
        }
        return true;
    }
    if (id == kProgramId) {
        text = params::kProgramNames[ProgramFromNormalized(value)];
        return true;
    }
    if (id == kBypassId) {
        text = value >= 0.5 ? "On" : "Off";
        return true;
    }
    if (id == kKeyId) {
        text = kKeyNames[KeyFromNormalized(value)];
        return true;
    }
    return false;
}

bool ValueFromText(unsigned id, const std::string& text, double& value) {
    if (id == kProgramId) {
        for (int p = 0; p < params::kNumPrograms; ++p) {
            if (text == params::kProgramNames[p]) {
                value = NormalizedFromProgram(p);
                return true;
            }
        }
        double number = 0.0;  // a program number, 1 to 8
        const size_t used = ReadNumber(text, number);
        if (used == 0 || used != text.size() || number < 1 || number > params::kNumPrograms)
            return false;
        value = NormalizedFromProgram(static_cast<int>(number) - 1);
        return true;
    }
    if (id == kBypassId) {
        const std::string word = Unit(text, 0);
        if (word == "on" || word == "1") {
            value = 1.0;
            return true;
        }
        if (word == "off" || word == "0") {
            value = 0.0;
            return true;
        }
        return false;
    }
    if (id == kKeyId) {
        // The names in any case, as hosts that let the user type them do.
        const std::string word = Unit(text, 0);
        for (int k = 0; k < kKeyChoices; ++k) {
            if (word == Unit(kKeyNames[k], 0)) {
                value = NormalizedFromKey(k);
                return true;
            }
        }
        return false;
    }
    if (id >= static_cast<unsigned>(kNumSound))
        return false;

    const params::Parameter& row = params::kParameters[id];
    double number = 0.0;
    const size_t used = ReadNumber(text, number);
    if (used == 0)
        return false;
    const std::string unit = Unit(text, used);
    switch (row.readout) {
    case params::Readout::Frequency: {
        if (unit == "khz" || unit == "k")
            number *= 1000.0;
        else if (!unit.empty() && unit != "hz")
            return false;
        if (!(number > 0.0))
            return false;
        value = ClampNormalized(std::log2(number / 20.0) / 10.0);
        return true;
    }
    case params::Readout::Percent:
        if (!unit.empty() && unit != "%")
            return false;
        value = ClampNormalized(number / 100.0);
        return true;
    case params::Readout::Decibels:
        if (!unit.empty() && unit != "db")
            return false;
        value = ClampNormalized((number + row.dbOffset) / row.dbScale);
        // The read-out floors to a tenth of a dB, so "-4.6dB" stands for
        // -4.6 up to -4.5. Where float rounding puts the exact value just
        // below its tenth (it would show "-4.7dB"), aim a hair inside.
        if (ShownBelow(id, value, std::floor(number * 10.0 + 1e-9) / 10.0))
            value = ClampNormalized((number + kDecibelNudge + row.dbOffset) / row.dbScale);
        return true;
    }
    return false;
}

}  // namespace edition
