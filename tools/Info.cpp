#include "Info.h"

#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "PluginHost.h"
#include "ValueTexts.h"

namespace halvorine {

namespace {

struct FlagName {
    VstInt32 bit;
    const char* name;
};
constexpr FlagName kFlagNames[] = {
    {effFlagsHasEditor, "HasEditor"},         {effFlagsHasClip, "HasClip"},
    {effFlagsHasVu, "HasVu"},                 {effFlagsCanMono, "CanMono"},
    {effFlagsCanReplacing, "CanReplacing"},   {effFlagsProgramChunks, "ProgramChunks"},
    {effFlagsIsSynth, "IsSynth"},             {effFlagsNoSoundInStop, "NoSoundInStop"},
    {effFlagsExtIsAsync, "ExtIsAsync"},       {effFlagsExtHasBuffer, "ExtHasBuffer"},
};

// A four-character code as text, first character from the top byte;
// characters outside printable ASCII become '?'.
std::string fourCharText(VstInt32 code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((static_cast<uint32_t>(code) >> shift) & 0xFF);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string number(double v) {
    if (!std::isfinite(v))
        return "null";  // JSON has no NaN or infinity
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", v);
    return buffer;
}

struct Report {
    const AEffect* record;
    std::string path, effectName, vendor, product;
    VstIntPtr vendorVersion, vstVersion, category;
    int currentProgram;
    std::vector<std::string> flags, programs;
    struct Parameter {
        std::string name, label, display;
        float value;
        std::string text;  // the read-out's, or else the plug-in's display and label
    };
    std::vector<Parameter> parameters;
};

Report collect(Plugin& plugin) {
    Report r;
    r.record = plugin.effect();
    r.path = plugin.path();
    r.effectName = plugin.text(effGetEffectName);
    r.vendor = plugin.text(effGetVendorString);
    r.product = plugin.text(effGetProductString);
    r.vendorVersion = plugin.dispatch(effGetVendorVersion);
    r.vstVersion = plugin.dispatch(effGetVstVersion);
    r.category = plugin.dispatch(effGetPlugCategory);
    r.currentProgram = plugin.currentProgram();
    for (const FlagName& flag : kFlagNames)
        if (r.record->flags & flag.bit)
            r.flags.push_back(flag.name);
    for (int i = 0; i < plugin.numPrograms(); ++i)
        r.programs.push_back(plugin.programName(i));
    for (int i = 0; i < plugin.numParams(); ++i) {
        Report::Parameter p{plugin.parameterName(i), plugin.parameterLabel(i), plugin.parameterDisplay(i),
                            plugin.parameter(i), ""};
        // Halvorine's own plug-in gives no texts; its read-out's are the ones a user knows.
        if (hasValueText(plugin, i))
            p.text = valueText(i, p.value);
        else
            p.text = p.display + (p.label.empty() || p.display.empty() ? "" : " ") + p.label;
        r.parameters.push_back(p);
    }
    return r;
}

bool hasDoubleProcessing(const AEffect* e) {
#if INTPTR_MAX > INT32_MAX
    return e->processDoubleReplacing != nullptr;
#else
    (void)e;
    return false;
#endif
}

}  // namespace

std::string infoText(Plugin& plugin) {
    Report r = collect(plugin);
    const AEffect* e = r.record;
    std::ostringstream out;
    char line[256];
    out << "Plug-in     " << r.path << "\n";
    out << "Effect      " << r.effectName << "\n";
    out << "Vendor      " << r.vendor << " (vendor version " << r.vendorVersion << ")\n";
    out << "Product     " << r.product << "\n";
    out << "VST version " << r.vstVersion << ", category " << r.category << "\n";
    std::snprintf(line, sizeof line, "Record      magic '%s', unique ID '%s' (0x%08X), version %d\n",
                  fourCharText(e->magic).c_str(), fourCharText(e->uniqueID).c_str(),
                  static_cast<unsigned>(e->uniqueID), e->version);
    out << line;
    out << "            " << e->numInputs << " inputs, " << e->numOutputs << " outputs, " << e->numParams
        << " parameters, " << e->numPrograms << " programs, initial delay " << e->initialDelay << "\n";
    std::snprintf(line, sizeof line, "            flags 0x%X:", static_cast<unsigned>(e->flags));
    out << line;
    for (const std::string& flag : r.flags)
        out << " " << flag;
    out << "\n            processing: " << (e->processReplacing ? "replacing" : "accumulating only")
        << (hasDoubleProcessing(e) ? ", double" : "") << "\n";
    out << "Programs    (* current)\n";
    for (size_t i = 0; i < r.programs.size(); ++i) {
        std::snprintf(line, sizeof line, "  %c %3zu  %s\n", int(i) == r.currentProgram ? '*' : ' ', i,
                      r.programs[i].c_str());
        out << line;
    }
    out << "Parameters  (values 0..1, and as shown)\n";
    for (size_t i = 0; i < r.parameters.size(); ++i) {
        const auto& p = r.parameters[i];
        std::snprintf(line, sizeof line, "    %3zu  %-20s %.6f", i, p.name.c_str(), p.value);
        out << line;
        if (!p.text.empty())
            out << "  " << p.text;
        out << "\n";
    }
    return out.str();
}

std::string infoJson(Plugin& plugin) {
    Report r = collect(plugin);
    const AEffect* e = r.record;
    std::ostringstream out;
    out << "{\n  \"plugin\": " << jsonString(r.path) << ",\n";
    out << "  \"effectName\": " << jsonString(r.effectName) << ",\n";
    out << "  \"vendor\": " << jsonString(r.vendor) << ",\n";
    out << "  \"product\": " << jsonString(r.product) << ",\n";
    out << "  \"vendorVersion\": " << r.vendorVersion << ",\n";
    out << "  \"vstVersion\": " << r.vstVersion << ",\n";
    out << "  \"category\": " << r.category << ",\n";
    out << "  \"record\": {\"magic\": " << jsonString(fourCharText(e->magic)) << ", \"uniqueID\": " << e->uniqueID
        << ", \"uniqueIDText\": " << jsonString(fourCharText(e->uniqueID)) << ", \"version\": " << e->version
        << ", \"numPrograms\": " << e->numPrograms << ", \"numParams\": " << e->numParams
        << ", \"numInputs\": " << e->numInputs << ", \"numOutputs\": " << e->numOutputs
        << ", \"initialDelay\": " << e->initialDelay << ", \"flags\": " << e->flags << ", \"flagNames\": [";
    for (size_t i = 0; i < r.flags.size(); ++i)
        out << (i ? ", " : "") << jsonString(r.flags[i]);
    out << "], \"processReplacing\": " << (e->processReplacing ? "true" : "false")
        << ", \"processDoubleReplacing\": " << (hasDoubleProcessing(e) ? "true" : "false") << "},\n";
    out << "  \"currentProgram\": " << r.currentProgram << ",\n  \"programs\": [";
    for (size_t i = 0; i < r.programs.size(); ++i)
        out << (i ? ",\n    " : "\n    ") << "{\"index\": " << i << ", \"name\": " << jsonString(r.programs[i])
            << "}";
    out << "\n  ],\n  \"parameters\": [";
    for (size_t i = 0; i < r.parameters.size(); ++i) {
        const auto& p = r.parameters[i];
        out << (i ? ",\n    " : "\n    ") << "{\"index\": " << i << ", \"name\": " << jsonString(p.name)
            << ", \"value\": " << number(p.value) << ", \"label\": " << jsonString(p.label)
            << ", \"display\": " << jsonString(p.display) << ", \"text\": " << jsonString(p.text) << "}";
    }
    out << "\n  ]\n}\n";
    return out.str();
}

}  // namespace halvorine
