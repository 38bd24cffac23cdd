// Writes the LV2 bundle's Turtle from the parameter table: manifest.ttl
// and halvorine.ttl (both plug-ins, plain and side-chain, their ports and
// the factory programs as presets of both). A build-time tool, run on the
// build machine.
//
//   halvorine-lv2-turtle BUNDLE-DIR DSP-BINARY [--ui UI-BINARY]
//
// With --ui the bundle also declares the X11 UI in UI-BINARY.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "Lv2Ports.h"
#include "ParameterTable.h"

// The project's version, given by the build: an LV2 host compares these
// to tell a newer release of the plug-in from an older one.
#if !defined(HALVORINE_LV2_MINOR_VERSION) || !defined(HALVORINE_LV2_MICRO_VERSION)
#error "the build defines HALVORINE_LV2_MINOR_VERSION and HALVORINE_LV2_MICRO_VERSION"
#endif

namespace {

using namespace lv2edition;

// The shortest decimal text that reads back as the same 32-bit float, with
// a decimal point or exponent, so that Turtle reads a decimal or a double
// rather than an integer.
std::string FloatLiteral(float value) {
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value)
            break;
    }
    std::string literal = text;
    if (literal.find_first_of(".e") == std::string::npos)
        literal += ".0";
    if (std::strtof(literal.c_str(), nullptr) != value)
        throw std::runtime_error("no exact literal for " + literal);
    return literal;
}

std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '"' || *p == '\\')
            out += '\\';
        out += *p;
    }
    return out + "\"";
}

bool IsSymbol(const char* text) {
    auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
    if (!letter(text[0]))
        return false;
    for (const char* p = text + 1; *p != '\0'; ++p)
        if (!letter(*p) && !(*p >= '0' && *p <= '9'))
            return false;
    return true;
}

// Program names become the end of a preset URI: letters and digits only.
bool IsUriSafe(const char* text) {
    if (*text == '\0')
        return false;
    for (const char* p = text; *p != '\0'; ++p)
        if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9')))
            return false;
    return true;
}

void CheckTable() {
    for (int i = 0; i < params::kNumActive; ++i) {
        const params::Parameter& p = params::kParameters[i];
        if (p.index != i)
            throw std::runtime_error("parameter row " + std::to_string(i) + " has index " + std::to_string(p.index));
        if (!IsSymbol(p.symbol))
            throw std::runtime_error(std::string("\"") + p.symbol + "\" is not an LV2 symbol");
        for (float v : p.programs)
            if (!(v >= 0.0f && v <= 1.0f))
                throw std::runtime_error(std::string("a factory value of ") + p.symbol + " is outside 0..1");
    }
    for (const char* name : params::kProgramNames)
        if (!IsUriSafe(name))
            throw std::runtime_error(std::string("program name \"") + name + "\" cannot end a URI");
}

std::string PresetUri(int program) { return std::string("<") + kPresetUriPrefix + params::kProgramNames[program] + ">"; }

const char* const kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix param: <http://lv2plug.in/ns/ext/parameters#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "\n";

std::string Node(const char* uri) { return std::string("<") + uri + ">"; }

// The plug-ins that a factory program applies to: every one.
std::string AllPlugins() {
    std::string list;
    for (const Variant* v : kVariants)
        list += (list.empty() ? "" : ", ") + Node(v->uri);
    return list;
}

std::string Manifest(const std::string& dspBinary, const std::string& uiBinary) {
    std::string t = kPrefixes;
    for (const Variant* v : kVariants)
        t += (v == kVariants[0] ? "" : "\n") + Node(v->uri) + "\n    a lv2:Plugin ;\n    lv2:binary <" + dspBinary +
             "> ;\n    rdfs:seeAlso <halvorine.ttl> .\n";
    if (!uiBinary.empty())
        t += std::string("\n<") + kUiUri + ">\n    a ui:X11UI ;\n    ui:binary <" + uiBinary +
             "> ;\n    rdfs:seeAlso <halvorine.ttl> .\n";
    for (int p = 0; p < params::kNumPrograms; ++p)
        t += "\n" + PresetUri(p) + "\n    a pset:Preset ;\n    lv2:appliesTo " + AllPlugins() +
             " ;\n    rdfs:seeAlso <halvorine.ttl> .\n";
    return t;
}

// One plug-in: the ports of release 1.0.0, the "Key" choice and, for the
// side-chain plug-in, key_missing and the key's audio pair.
std::string Plugin(const Variant& v, bool withUi) {
    const std::string in = std::string("<") + kPluginUri + "#in>";
    const std::string out = std::string("<") + kPluginUri + "#out>";
    const std::string key = std::string("<") + kPluginUri + "#key>";
    const std::string project = std::string("<") + kPluginUri + "#project>";

    std::string t = Node(v.uri) + "\n    a lv2:Plugin, lv2:GatePlugin ;\n";
    t += std::string("    doap:name ") + Quoted(v.name) + " ;\n";
    t += "    doap:license <https://spdx.org/licenses/MIT> ;\n";
    t += "    lv2:project " + project + " ;\n";
    t += "    lv2:minorVersion " + std::to_string(HALVORINE_LV2_MINOR_VERSION) + " ;\n";
    t += "    lv2:microVersion " + std::to_string(HALVORINE_LV2_MICRO_VERSION) + " ;\n";
    t += std::string("    rdfs:comment \"A stereo sixteen-band gate: each band of the key (by default the left channel) "
                     "keys that band's gate on both channels; the passed bands are summed, boosted and "
                     "soft-clipped.") +
         (v.sidechain ? " The key may also be a side-chain input." : "") + "\" ;\n";
    t += "    lv2:optionalFeature lv2:hardRTCapable ;\n";
    t += "    pg:mainInput " + in + " ;\n    pg:mainOutput " + out + " ;\n";
    if (withUi)
        t += std::string("    ui:ui <") + kUiUri + "> ;\n";

    t += "    lv2:port";
    for (uint32_t port = 0; port < kFirstControl; ++port) {
        const AudioPort& a = kAudioPorts[port];
        t += port == 0 ? " [\n" : " , [\n";
        t += std::string("        a lv2:AudioPort, ") + (a.input ? "lv2:InputPort" : "lv2:OutputPort") + " ;\n";
        t += "        lv2:index " + std::to_string(port) + " ;\n";
        t += std::string("        lv2:symbol ") + Quoted(a.symbol) + " ;\n";
        t += std::string("        lv2:name ") + Quoted(a.name) + " ;\n";
        t += "        pg:group " + (a.input ? in : out) + " ;\n";
        t += std::string("        lv2:designation ") + (port % 2 == 0 ? "pg:left" : "pg:right") + "\n    ]";
    }
    for (int i = 0; i < params::kNumActive; ++i) {
        const params::Parameter& p = params::kParameters[i];
        t += " , [\n        a lv2:ControlPort, lv2:InputPort ;\n";
        t += "        lv2:index " + std::to_string(ControlPort(i)) + " ;\n";
        t += std::string("        lv2:symbol ") + Quoted(p.symbol) + " ;\n";
        t += std::string("        lv2:name ") + Quoted(p.hostName) + " ;\n";
        t += std::string("        rdfs:comment ") + Quoted(p.comment) + " ;\n";
        t += "        lv2:default " + FloatLiteral(p.programs[params::kInitialProgram]) + " ;\n";
        // Every control may be automated: the filters glide to a new Start,
        // Finish or Q without a click (HalvorineLv2.cpp).
        t += "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0\n    ]";
    }
    // The choice of what keys the gates; "External" where there is a key
    // input.
    t += " , [\n        a lv2:ControlPort, lv2:InputPort ;\n";
    t += "        lv2:index " + std::to_string(kKey) + " ;\n";
    t += "        lv2:symbol \"key\" ;\n        lv2:name \"Key\" ;\n";
    t += std::string("        rdfs:comment \"What keys each band's gate: that band of the left input, the right input, "
                     "their mid or side") +
         (v.sidechain ? ", or the key input (mono-summed)" : "") + ".\" ;\n";
    t += "        lv2:portProperty lv2:integer, lv2:enumeration ;\n";
    t += "        lv2:default 0 ;\n        lv2:minimum 0 ;\n        lv2:maximum " + std::to_string(v.numKeyChoices - 1);
    for (int choice = 0; choice < v.numKeyChoices; ++choice)
        t += std::string(" ;\n        lv2:scalePoint [ rdfs:label ") + Quoted(kKeyChoices[choice]) +
             " ; rdf:value " + std::to_string(choice) + " ]";
    t += "\n    ]";
    if (v.sidechain) {
        // Whether "External" hears no key, and the key: a stereo side-chain
        // that a host may leave unconnected (then it is silence).
        t += " , [\n        a lv2:ControlPort, lv2:OutputPort ;\n";
        t += "        lv2:index " + std::to_string(kKeyMissing) + " ;\n";
        t += "        lv2:symbol \"key_missing\" ;\n        lv2:name \"Key Missing\" ;\n";
        t += "        rdfs:comment \"1 while External is chosen and no key is connected, or the key has been silent "
             "for longer than the gates ring on.\" ;\n";
        t += "        lv2:portProperty lv2:toggled ;\n";
        t += "        lv2:default 0 ;\n        lv2:minimum 0 ;\n        lv2:maximum 1\n    ]";
        for (uint32_t port : {kKeyL, kKeyR}) {
            t += " , [\n        a lv2:AudioPort, lv2:InputPort ;\n";
            t += "        lv2:index " + std::to_string(port) + " ;\n";
            t += std::string("        lv2:symbol ") + (port == kKeyL ? "\"key_left\"" : "\"key_right\"") + " ;\n";
            t += std::string("        lv2:name ") + (port == kKeyL ? "\"Key Left\"" : "\"Key Right\"") + " ;\n";
            t += "        lv2:portProperty lv2:isSideChain, lv2:connectionOptional ;\n";
            t += "        pg:group " + key + " ;\n";
            t += std::string("        lv2:designation ") + (port == kKeyL ? "pg:left" : "pg:right") + "\n    ]";
        }
    }
    // The band meters, for hosts' generic controls and the UI: each band's
    // detector level (a peak held a tenth of a second, then falling at 20 dB
    // a second) and the fraction of the band that reaches the output.
    for (uint32_t band = 0; band < kNumMeterBands; ++band)
        for (const bool level : {true, false}) {
            const std::string number = std::to_string(band + 1);
            const uint32_t port = v.firstMeter + band + (level ? 0 : kNumMeterBands);
            t += " , [\n        a lv2:ControlPort, lv2:OutputPort ;\n";
            t += "        lv2:index " + std::to_string(port) + " ;\n";
            t += std::string("        lv2:symbol \"") + (level ? "level_" : "gain_") + number + "\" ;\n";
            t += std::string("        lv2:name \"Band ") + number + (level ? " Level" : " Gain") + "\" ;\n";
            t += std::string("        rdfs:comment \"") +
                 (level ? "The band's detector level as a ratio to full scale: above its gate level's threshold the "
                          "gate opens.\" ;\n"
                        : "The fraction of the band that reaches the output: 1 open, near 0 closed.\" ;\n");
            t += "        lv2:default 0.0 ;\n        lv2:minimum 0.0 ;\n        lv2:maximum 1.0\n    ]";
        }
    return t + " .\n";
}

std::string PluginDescription(bool withUi) {
    const std::string in = std::string("<") + kPluginUri + "#in>";
    const std::string out = std::string("<") + kPluginUri + "#out>";
    const std::string key = std::string("<") + kPluginUri + "#key>";
    const std::string project = std::string("<") + kPluginUri + "#project>";
    std::string t = kPrefixes;

    t += in + "\n    a pg:StereoGroup, pg:InputGroup ;\n    lv2:symbol \"in\" ;\n    rdfs:label \"Input\" .\n\n";
    t += out + "\n    a pg:StereoGroup, pg:OutputGroup ;\n    lv2:symbol \"out\" ;\n    rdfs:label \"Output\" ;\n"
               "    pg:source " + in + " .\n\n";
    t += key + "\n    a pg:StereoGroup, pg:InputGroup ;\n    lv2:symbol \"key\" ;\n    rdfs:label \"Key\" ;\n"
               "    pg:sideChainOf " + in + " .\n\n";

    // The maker belongs to the project: the schema gives doap:maintainer
    // only to a doap:Project, which an LV2 plug-in is not.
    t += project + "\n    a doap:Project ;\n    doap:name \"Halvorine\" ;\n"
                   "    doap:maintainer [ foaf:name \"Pellucid\" ] .\n";

    for (const Variant* v : kVariants)
        t += "\n" + Plugin(*v, withUi);

    // One UI for both plug-ins. The host's idle calls are welcome, not
    // needed: some hosts call the idle interface without offering the
    // feature, and a host with neither still gets a window, drawn at open.
    if (withUi)
        t += std::string("\n<") + kUiUri +
             ">\n    a ui:X11UI ;\n    lv2:requiredFeature ui:parent ;\n"
             "    lv2:optionalFeature ui:idleInterface, ui:resize, ui:touch, ui:noUserResize, opts:options, urid:map ;\n"
             "    opts:supportedOption ui:scaleFactor, param:sampleRate ;\n"
             "    lv2:extensionData ui:idleInterface, ui:showInterface, opts:interface .\n";

    for (int program = 0; program < params::kNumPrograms; ++program) {
        t += "\n" + PresetUri(program) + "\n    a pset:Preset ;\n";
        t += "    lv2:appliesTo " + AllPlugins() + " ;\n";
        t += std::string("    rdfs:label ") + Quoted(params::kProgramNames[program]) + " ;\n";
        t += "    lv2:port";
        for (int i = 0; i < params::kNumActive; ++i) {
            const params::Parameter& p = params::kParameters[i];
            t += std::string(i == 0 ? " [\n" : " , [\n") + "        lv2:symbol " + Quoted(p.symbol) +
                 " ;\n        pset:value " + FloatLiteral(p.programs[program]) + "\n    ]";
        }
        t += " .\n";
    }
    return t;
}

void WriteFile(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (!(argc == 3 || (argc == 5 && std::strcmp(argv[3], "--ui") == 0))) {
        std::fprintf(stderr, "Usage: %s BUNDLE-DIR DSP-BINARY [--ui UI-BINARY]\n", argv[0]);
        return 2;
    }
    const std::string bundle = argv[1];
    const std::string uiBinary = argc == 5 ? argv[4] : "";
    try {
        CheckTable();
        WriteFile(bundle + "/manifest.ttl", Manifest(argv[2], uiBinary));
        WriteFile(bundle + "/halvorine.ttl", PluginDescription(!uiBinary.empty()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
