// Writes the LV2 bundle's Turtle files (manifest.ttl, Morvo.ttl, presets.ttl) from what the
// plug-in's own record says about itself, created through the guest as the LV2 door creates it:
// its name and vendor, the parameters' names, defaults and whether a host may automate them, and
// the programs, so the files cannot disagree with it. Run at build time: make_turtle
// BUNDLE_FOLDER. The release's version is MAJOR.MINOR.MICRO; the plug-in's record gives the major
// number (its vendor version), LV2 only the minor and micro ones: the build stops when the two
// disagree, so that every door and every package tell a host and a user the same version.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/guest/Facts.h"
#include "formats/guest/Guest.h"
#include "formats/lv2/Lv2Ports.h"
#include "host/Morvo.h"

namespace {

using namespace lv2_door;

const char* const kPrefixes = R"(@prefix atom: <http://lv2plug.in/ns/ext/atom#> .
@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .
@prefix doap: <http://usefulinc.com/ns/doap#> .
@prefix foaf: <http://xmlns.com/foaf/0.1/> .
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix midi: <http://lv2plug.in/ns/ext/midi#> .
@prefix opts: <http://lv2plug.in/ns/ext/options#> .
@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix rsz: <http://lv2plug.in/ns/ext/resize-port#> .
@prefix time: <http://lv2plug.in/ns/ext/time#> .
@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .
@prefix urid: <http://lv2plug.in/ns/ext/urid#> .

)";

// A float exactly, as a Turtle decimal or double.
std::string number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    std::string written = text;
    if (written.find_first_of(".e") == std::string::npos) written += ".0";
    return written;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A port symbol from a parameter's name: its words in lower case joined by underscores,
// without the marks it carries for hosts ("Sync Value -Do not automate" is sync_value).
std::string symbolOf(const std::string& name, std::set<std::string>& taken) {
    std::string symbol;
    for (char c : guest::plainName(name)) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            symbol += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (!symbol.empty() && symbol.back() != '_')
            symbol += '_';
    }
    while (!symbol.empty() && symbol.back() == '_')
        symbol.pop_back();
    if (symbol.empty() || std::isdigit(static_cast<unsigned char>(symbol[0])))
        symbol = "p_" + symbol;
    std::string unique = symbol;
    for (int n = 2; !taken.insert(unique).second; ++n)
        unique = symbol + "_" + std::to_string(n);
    return unique;
}

void audioPort(std::ostream& out, std::uint32_t index, bool input, const char* symbol,
               const char* name) {
    out << "    [\n        a lv2:AudioPort , lv2:" << (input ? "InputPort" : "OutputPort")
        << " ;\n        lv2:index " << index << " ;\n        lv2:symbol \"" << symbol
        << "\" ;\n        lv2:name \"" << name << "\"\n    ] ,\n";
}

bool write(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    return static_cast<bool>(file);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_turtle BUNDLE_FOLDER\n";
        return 2;
    }
    const std::string folder = argv[1];
    guest::Guest plugin;
    std::string error;
    if (!plugin.create(pluginMain, error)) {
        std::cerr << "make_turtle: " << error << "\n";
        return 1;
    }
    plugin.open();
    const guest::Facts facts = guest::describe(plugin);
    plugin.close();
    unsigned major = 0, minor = 0, micro = 0;
    char rest = 0;
    if (std::sscanf(facts.version.c_str(), "%u.%u.%u%c", &major, &minor, &micro, &rest) != 3) {
        std::cerr << "make_turtle: " << facts.version << " is not MAJOR.MINOR.MICRO\n";
        return 2;
    }
    if (facts.vendorVersion != static_cast<std::int32_t>(major)) {
        std::cerr << "make_turtle: the project's version is " << facts.version
                  << ", but the plug-in's record reports vendor version " << facts.vendorVersion
                  << ": give the project the major version the plug-in reports\n";
        return 1;
    }
    std::vector<std::string> symbols;
    std::set<std::string> taken = {"in_left", "in_right", "out_left", "out_right",
                                   "control", "notify",   "lost"};
    for (const guest::ParameterFacts& parameter : facts.parameters)
        symbols.push_back(symbolOf(parameter.name, taken));

    std::ostringstream manifest;
    manifest << kPrefixes;
    manifest << "<" << kPluginUri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << kLibrary
             << "> ;\n    rdfs:seeAlso <Morvo.ttl> .\n\n";
    manifest << "<" << kUiUri << ">\n    a ui:X11UI ;\n    lv2:binary <" << kLibrary
             << "> ;\n    rdfs:seeAlso <Morvo.ttl> .\n";
    for (std::size_t p = 0; p < facts.programs.size(); ++p)
        manifest << "\n<" << kPresetPrefix << p + 1 << ">\n    a pset:Preset ;\n    lv2:appliesTo <"
                 << kPluginUri << "> ;\n    rdfs:label " << quoted(facts.programs[p].name)
                 << " ;\n    rdfs:seeAlso <presets.ttl> .\n";

    std::ostringstream plugin_ttl;
    plugin_ttl << kPrefixes;
    plugin_ttl << "<" << kPluginUri << ">\n"
               << "    a lv2:Plugin , lv2:MIDIPlugin , doap:Project ;\n"
               << "    doap:name " << quoted(facts.name) << " ;\n"
               << "    doap:maintainer [\n        foaf:name " << quoted(facts.vendor)
               << "\n    ] ;\n"
               << "    rdfs:comment \"A 16-step sequencer of MIDI Control Change values\" ;\n"
               << "    lv2:minorVersion " << minor << " ;\n    lv2:microVersion " << micro << " ;\n"
               << "    lv2:requiredFeature urid:map ;\n"
               << "    lv2:optionalFeature lv2:hardRTCapable , opts:options ;\n"
               << "    opts:supportedOption bufsz:maxBlockLength ;\n"
               << "    ui:ui <" << kUiUri << "> ;\n"
               << "    lv2:port\n";
    audioPort(plugin_ttl, audioInLeft, true, "in_left", "Input Left");
    audioPort(plugin_ttl, audioInRight, true, "in_right", "Input Right");
    audioPort(plugin_ttl, audioOutLeft, false, "out_left", "Output Left");
    audioPort(plugin_ttl, audioOutRight, false, "out_right", "Output Right");
    plugin_ttl << "    [\n        a lv2:InputPort , atom:AtomPort ;\n"
               << "        atom:bufferType atom:Sequence ;\n"
               << "        atom:supports midi:MidiEvent , time:Position ;\n"
               << "        lv2:designation lv2:control ;\n"
               << "        lv2:index " << control << " ;\n"
               << "        lv2:symbol \"control\" ;\n        lv2:name \"MIDI In\"\n    ] ,\n";
    plugin_ttl << "    [\n        a lv2:OutputPort , atom:AtomPort ;\n"
               << "        atom:bufferType atom:Sequence ;\n"
               << "        atom:supports midi:MidiEvent ;\n"
               << "        rsz:minimumSize " << kMinimumOutputBytes << " ;\n"
               << "        lv2:index " << notify << " ;\n"
               << "        lv2:symbol \"notify\" ;\n        lv2:name \"MIDI Out\"\n    ] ,\n";
    plugin_ttl << "    [\n        a lv2:ControlPort , lv2:OutputPort ;\n"
               << "        lv2:index " << lost << " ;\n"
               << "        lv2:symbol \"lost\" ;\n        lv2:name \"Messages lost\" ;\n"
               << "        lv2:portProperty lv2:integer ;\n"
               << "        lv2:minimum 0 ;\n        lv2:maximum 16777216\n    ]";
    for (std::size_t i = 0; i < facts.parameters.size(); ++i) {
        const guest::ParameterFacts& p = facts.parameters[i];
        plugin_ttl << " ,\n    [\n        a lv2:ControlPort , lv2:InputPort ;\n"
                   << "        lv2:index " << firstParameter + i << " ;\n"
                   << "        lv2:symbol \"" << symbols[i] << "\" ;\n"
                   << "        lv2:name " << quoted(p.name) << " ;\n"
                   << "        lv2:default " << number(p.value) << " ;\n"
                   << "        lv2:minimum 0.0 ;\n        lv2:maximum 1.0";
        if (!p.automatable) plugin_ttl << " ;\n        lv2:portProperty pprops:notAutomatic";
        plugin_ttl << "\n    ]";
    }
    plugin_ttl << " .\n\n";
    // The UI needs the plug-in instance itself, a parent window and idle calls: hosts that
    // cannot give them show their own controls instead. Its fixed size is told by its window's
    // size hints (ui:resize is deprecated).
    plugin_ttl << "<" << kUiUri << ">\n    a ui:X11UI ;\n"
               << "    lv2:requiredFeature ui:parent , ui:idleInterface ,\n"
               << "        <http://lv2plug.in/ns/ext/instance-access> ;\n"
               << "    lv2:extensionData ui:idleInterface .\n";

    std::ostringstream presets;
    presets << kPrefixes;
    for (std::size_t p = 0; p < facts.programs.size(); ++p) {
        presets << "<" << kPresetPrefix << p + 1 << ">\n    a pset:Preset ;\n    lv2:appliesTo <"
                << kPluginUri << "> ;\n    rdfs:label " << quoted(facts.programs[p].name)
                << " ;\n    lv2:port";
        for (std::size_t i = 0; i < facts.parameters.size(); ++i)
            presets << (i == 0 ? "" : " ,") << " [\n        lv2:symbol \"" << symbols[i]
                    << "\" ;\n        pset:value " << number(facts.programs[p].values[i])
                    << "\n    ]";
        presets << " .\n\n";
    }

    if (!write(folder + "/manifest.ttl", manifest.str()) ||
        !write(folder + "/Morvo.ttl", plugin_ttl.str()) ||
        !write(folder + "/presets.ttl", presets.str())) {
        std::cerr << "make_turtle: cannot write into " << folder << "\n";
        return 1;
    }
    return 0;
}
