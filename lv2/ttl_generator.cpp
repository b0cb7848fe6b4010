// Writes the LV2 bundle's descriptions from the built component, at build time:
//
//   zentrova_lv2_ttl COMPONENT_BUNDLE LV2_BUNDLE [PRESET.aupreset ...]
//
// It opens the component through the host API, as any host would, and describes its parameters as
// ports (names, symbols, ranges, defaults, units, menus as integer enumerations); each preset file
// (a ClassInfo property list, as `zentrova preset save` writes it) is restored into the instance
// and written as an LV2 preset of port values. Nothing about the parameters is kept here.
#include "port_layout.h"
#include "ui/ui_description.h"

#include "host/cf_string.h"
#include "host/instance.h"
#include "host/parameters.h"

#include <AudioToolbox/AudioToolbox.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace zentrova_lv2;

namespace {

// A parameter as the component describes it, with the port symbol derived from its name.
struct parameter : host::parameter_description {
    std::string symbol;
};

struct preset {
    std::string name, uri;
    float values[k_parameter_count] = {};
};

[[noreturn]] void fail(const std::string &what) { throw std::runtime_error(what); }

void check(OSStatus status, const std::string &what) {
    if (status != noErr) fail(what + " failed with status " + std::to_string(status));
}

// "Follower Attack Time" -> "follower_attack_time": what a session saves automation under.
std::string symbol_of(const std::string &name) {
    std::string symbol;
    for (unsigned char c : name) {
        if (std::isalnum(c)) symbol += static_cast<char>(std::tolower(c));
        else if (!symbol.empty() && symbol.back() != '_') symbol += '_';
    }
    while (!symbol.empty() && symbol.back() == '_') symbol.pop_back();
    if (symbol.empty() || std::isdigit(static_cast<unsigned char>(symbol[0]))) symbol = "p_" + symbol;
    return symbol;
}

std::string quoted(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// Turtle decimals that read back as the same 32-bit float.
std::string number(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    std::string text = buffer;
    if (text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

class component {
public:
    explicit component(const std::string &bundle_path) {
        AudioComponent found = nullptr;
        check(AudioComponentRegisterBundle(bundle_path.c_str(), &found), "registering " + bundle_path);
        _unit = host::instance(found);
        check(_unit.status(), "opening the component");
        read_parameters();
    }

    const std::vector<parameter> &parameters() const { return _parameters; }

    preset read_preset(const std::string &path) {
        std::ifstream file(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!file && !file.eof()) fail("cannot read " + path);
        CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size()));
        CFPropertyListRef list = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, nullptr);
        CFRelease(data);
        if (list == nullptr || CFGetTypeID(list) != CFDictionaryGetTypeID()) fail(path + " is not a property list dictionary");
        const OSStatus status =
            AudioUnitSetProperty(_unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &list, sizeof list);
        preset p;
        p.name = host::to_string(static_cast<CFStringRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(list), CFSTR("name"))));
        CFRelease(list);
        check(status, "restoring " + path);
        if (p.name.empty()) fail(path + " has no preset name");
        p.uri = "urn:harrowfield:zentrova:preset:" + symbol_of(p.name);
        for (uint32_t id = 0; id < k_parameter_count; ++id)
            check(AudioUnitGetParameter(_unit, id, kAudioUnitScope_Global, 0, &p.values[id]), "reading a preset value");
        return p;
    }

private:
    void read_parameters() {
        std::set<std::string> symbols;
        for (host::parameter_description &description : host::read_parameters(_unit)) {
            if (description.id != _parameters.size()) fail("parameter identifiers are not 0 to 15 in order");
            if (description.unit == kAudioUnitParameterUnit_Indexed && description.value_strings.empty())
                fail("parameter " + std::to_string(description.id) + " is indexed but names no values");
            parameter p{std::move(description), {}};
            p.symbol = symbol_of(p.name);
            if (!symbols.insert(p.symbol).second) fail("two parameters share the port symbol " + p.symbol);
            _parameters.push_back(std::move(p));
        }
        if (_parameters.size() != k_parameter_count)
            fail("the component has " + std::to_string(_parameters.size()) + " parameters; the port layout expects " +
                 std::to_string(k_parameter_count));
    }

    host::instance _unit;
    std::vector<parameter> _parameters;
};

const char *k_prefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pprops: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

const char *unit_uri(AudioUnitParameterUnit unit) {
    switch (unit) {
    case kAudioUnitParameterUnit_Decibels: return "units:db";
    case kAudioUnitParameterUnit_Milliseconds: return "units:ms";
    case kAudioUnitParameterUnit_Seconds: return "units:s";
    case kAudioUnitParameterUnit_Hertz: return "units:hz";
    case kAudioUnitParameterUnit_Percent: return "units:pc";
    // A plain factor (resonance, drive, shape, the MIDI position): a coefficient, so a host shows
    // it as a number rather than guessing a unit.
    case kAudioUnitParameterUnit_Generic:
    case kAudioUnitParameterUnit_LinearGain: return "units:coef";
    default: return nullptr;  // indexed: the menu says it
    }
}

void write_parameter_port(std::ostream &out, uint32_t index, const parameter &p) {
    out << "    a lv2:InputPort, lv2:ControlPort ;\n"
        << "    lv2:index " << index << " ;\n    lv2:symbol " << quoted(p.symbol) << " ;\n    lv2:name " << quoted(p.name)
        << " ;\n";
    if (!p.value_strings.empty()) {
        // A menu: the item index as an integer, each item a scale point.
        out << "    lv2:portProperty lv2:integer, lv2:enumeration ;\n"
            << "    lv2:default " << std::lround(p.default_value) << " ;\n    lv2:minimum " << std::lround(p.minimum)
            << " ;\n    lv2:maximum " << std::lround(p.maximum) << " ;\n    lv2:scalePoint";
        for (size_t i = 0; i < p.value_strings.size(); ++i)
            out << (i ? " ,\n        " : " ") << "[ rdfs:label " << quoted(p.value_strings[i]) << " ; rdf:value " << i << " ]";
        out << "\n";
        return;
    }
    // A linear slider over twenty seconds cannot reach the tens of milliseconds where envelopes
    // are usually set.
    if (p.unit == kAudioUnitParameterUnit_Milliseconds && p.maximum >= 10000) out << "    lv2:portProperty pprops:logarithmic ;\n";
    out << "    lv2:default " << number(p.default_value) << " ;\n    lv2:minimum " << number(p.minimum)
        << " ;\n    lv2:maximum " << number(p.maximum);
    if (const char *unit = unit_uri(p.unit)) out << " ;\n    units:unit " << unit;
    out << "\n";
}

void write_plugin(std::ostream &out, const std::vector<parameter> &parameters, const plugin_variant &plugin) {
    const uint32_t channels = plugin.channels;
    const port_layout layout{channels, plugin.keyed};
    const bool stereo = channels == 2;
    const std::string uri = plugin.uri;
    out << "<" << uri << ">\n"
        << "    a lv2:Plugin, lv2:FilterPlugin, doap:Project ;\n"
        << "    doap:name " << quoted(plugin.name) << " ;\n"
        << (plugin.keyed ? "    rdfs:comment \"Envelope-controlled formant filter whose envelope follows the key "
                           "input (sidechain): the resonances of spoken vowels, swept by another signal's level.\" ;\n"
                         : "    rdfs:comment \"Envelope-controlled formant filter: the resonances of spoken vowels, "
                           "swept by the input's level or by a MIDI controller.\" ;\n")
        << "    doap:license <" ZENTROVA_LICENSE_URI "> ;\n"
        << "    doap:maintainer [ foaf:name " << quoted(ZENTROVA_MAINTAINER_NAME)
        << " ; foaf:mbox <mailto:" ZENTROVA_MAINTAINER_EMAIL "> ] ;\n"
        << "    lv2:minorVersion " << ZENTROVA_LV2_MINOR << " ;\n    lv2:microVersion " << ZENTROVA_LV2_MICRO << " ;\n"
        << "    pg:mainInput <" << uri << "#in> ;\n    pg:mainOutput <" << uri << "#out> ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable, urid:map ;\n"
        << "    lv2:extensionData state:interface ;\n";
    const char *in_names[2][2] = {{"in", "In"}, {"in_l", "In L"}};
    const char *in_r[2] = {"in_r", "In R"};
    const char *out_names[2][2] = {{"out", "Out"}, {"out_l", "Out L"}};
    const char *out_r[2] = {"out_r", "Out R"};
    // Each audio port in its group (the main input or output), with its channel's designation.
    auto audio = [&](const char *direction, uint32_t index, const char *const *names, const char *group,
                     const char *designation) {
        out << "    lv2:port [\n    a lv2:" << direction << ", lv2:AudioPort ;\n    lv2:index " << index
            << " ;\n    lv2:symbol \"" << names[0] << "\" ;\n    lv2:name \"" << names[1] << "\" ;\n"
            << "    pg:group <" << uri << "#" << group << "> ;\n    lv2:designation " << designation << "\n    ] ;\n";
    };
    const char *designations[2] = {stereo ? "pg:left" : "pg:center", "pg:right"};
    for (uint32_t c = 0; c < channels; ++c)
        audio("InputPort", layout.audio_in(c), c ? in_r : in_names[stereo], "in", designations[c]);
    for (uint32_t c = 0; c < channels; ++c)
        audio("OutputPort", layout.audio_out(c), c ? out_r : out_names[stereo], "out", designations[c]);
    for (uint32_t id = 0; id < parameters.size(); ++id) {
        out << "    lv2:port [\n";
        write_parameter_port(out, layout.parameter(id), parameters[id]);
        out << "    ] ;\n";
    }
    out << "    lv2:port [\n    a lv2:OutputPort, lv2:ControlPort ;\n    lv2:index " << layout.level()
        << " ;\n    lv2:symbol \"level\" ;\n    lv2:name \"Input Level\" ;\n"
        << "    rdfs:comment \"The input follower's level, linear amplitude, once per block\" ;\n"
        << "    lv2:minimum 0.0 ;\n    lv2:maximum 1.0 ;\n    units:unit units:coef\n    ] ;\n";
    out << "    lv2:port [\n    a lv2:InputPort, lv2:ControlPort ;\n    lv2:index " << layout.midi_controller()
        << " ;\n    lv2:symbol \"midi_controller\" ;\n    lv2:name \"MIDI Controller\" ;\n"
        << "    rdfs:comment \"The control change number that drives MIDI Control (1: modulation wheel)\" ;\n"
        << "    lv2:portProperty lv2:integer ;\n    lv2:default " << k_default_midi_controller
        << " ;\n    lv2:minimum 0 ;\n    lv2:maximum 127\n    ] ;\n";
    out << "    lv2:port [\n    a lv2:InputPort, atom:AtomPort ;\n    lv2:index " << layout.midi_in()
        << " ;\n    lv2:symbol \"midi_in\" ;\n    lv2:name \"MIDI In\" ;\n"
        << "    atom:bufferType atom:Sequence ;\n    atom:supports midi:MidiEvent ;\n"
        << "    lv2:designation lv2:control ;\n    lv2:portProperty lv2:connectionOptional\n    ]";
    // The key's ports come last, so a keyed plug-in numbers every other port as its plain twin.
    // Optional: left unconnected, the envelope follows the main input.
    const char *key_names[2][2] = {{"key", "Key"}, {"key_l", "Key L"}};
    const char *key_r[2] = {"key_r", "Key R"};
    for (uint32_t c = 0; plugin.keyed && c < channels; ++c) {
        const char *const *names = c ? key_r : key_names[stereo];
        out << " ;\n    lv2:port [\n    a lv2:InputPort, lv2:AudioPort ;\n    lv2:index " << layout.key(c)
            << " ;\n    lv2:symbol \"" << names[0] << "\" ;\n    lv2:name \"" << names[1] << "\" ;\n"
            << "    lv2:portProperty lv2:isSideChain, lv2:connectionOptional ;\n    pg:group <" << uri << "#key> ;\n"
            << "    lv2:designation " << designations[c] << "\n    ]";
    }
    out << " .\n\n";
    // No latency port: the component's latency is 0 (what it answers to its Latency property), and
    // a port that could only ever say 0 makes hosts read it for nothing.
    const char *group_class = stereo ? "pg:StereoGroup" : "pg:MonoGroup";
    for (const char *group : {"in", "out"})
        out << "<" << uri << "#" << group << ">\n    a " << (group[0] == 'i' ? "pg:InputGroup" : "pg:OutputGroup")
            << ", " << group_class << " ;\n    lv2:symbol \"" << group << "\" ;\n    rdfs:label \""
            << (group[0] == 'i' ? "Input" : "Output") << "\" .\n\n";
    if (plugin.keyed)
        out << "<" << uri << "#key>\n    a pg:InputGroup, " << group_class << " ;\n    lv2:symbol \"key\" ;\n"
            << "    rdfs:label \"Key\" ;\n    pg:sideChainOf <" << uri << "#in> .\n\n";
}

void write_file(const std::string &path, const std::string &text) {
    std::ofstream file(path, std::ios::trunc);
    file << text;
    if (!file.flush()) fail("cannot write " + path);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::cerr << "usage: zentrova_lv2_ttl COMPONENT_BUNDLE LV2_BUNDLE [PRESET.aupreset ...]\n";
        return 1;
    }
    try {
        component effect(argv[1]);
        const std::string bundle = argv[2];
        std::vector<preset> presets;
        for (int i = 3; i < argc; ++i) presets.push_back(effect.read_preset(argv[i]));

        std::ostringstream plugins;
        plugins << k_prefixes;
        for (const plugin_variant &plugin : k_plugins) write_plugin(plugins, effect.parameters(), plugin);
        write_file(bundle + "/zentrova.ttl", plugins.str());

        std::string applies_to;
        for (const plugin_variant &plugin : k_plugins)
            applies_to += std::string(applies_to.empty() ? "" : ", ") + "<" + plugin.uri + ">";
        std::ostringstream manifest, preset_text;
        manifest << k_prefixes << k_ui_prefixes << "\n";
        write_ui_manifest(manifest);
        for (const plugin_variant &plugin : k_plugins)
            manifest << "<" << plugin.uri << ">\n    a lv2:Plugin ;\n    lv2:binary <zentrova_lv2.so> ;\n"
                     << "    rdfs:seeAlso <zentrova.ttl> .\n\n";
        preset_text << k_prefixes;
        for (const preset &p : presets) {
            manifest << "<" << p.uri << ">\n    a pset:Preset ;\n    lv2:appliesTo " << applies_to
                     << " ;\n    rdfs:seeAlso <presets.ttl> .\n\n";
            preset_text << "<" << p.uri << ">\n    a pset:Preset ;\n    lv2:appliesTo " << applies_to
                        << " ;\n    rdfs:label " << quoted(p.name);
            for (uint32_t id = 0; id < k_parameter_count; ++id)
                preset_text << " ;\n    lv2:port [ lv2:symbol " << quoted(effect.parameters()[id].symbol)
                            << " ; pset:value " << number(p.values[id]) << " ]";
            preset_text << " .\n\n";
        }
        write_file(bundle + "/manifest.ttl", manifest.str());
        write_file(bundle + "/presets.ttl", preset_text.str());
    } catch (const std::exception &e) {
        std::cerr << "zentrova_lv2_ttl: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
