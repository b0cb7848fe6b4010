#include "lilv_host.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace lv2_test {

host_world::host_world() : _world(lilv_world_new()) {
    const std::string path = std::string("file://") + ZENTROVA_TEST_BUILD_DIR + "/Zentrova.lv2/";
    LilvNode *bundle = lilv_new_uri(_world, path.c_str());
    lilv_world_load_bundle(_world, bundle);
    lilv_node_free(bundle);
}

host_world::~host_world() { lilv_world_free(_world); }

const LilvPlugin *host_world::plugin(unsigned channels) const {
    LilvNode *uri = lilv_new_uri(_world, channels == 1 ? "urn:harrowfield:zentrova:mono" : "urn:harrowfield:zentrova:stereo");
    const LilvPlugin *found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(_world), uri);
    lilv_node_free(uri);
    if (!found) throw std::runtime_error("the Zentrova LV2 bundle is not in the build folder");
    return found;
}

LV2_URID host_world::map_uri(LV2_URID_Map_Handle self, const char *uri) {
    auto &uris = static_cast<host_world *>(self)->_uris;
    for (size_t i = 0; i < uris.size(); ++i)
        if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
}

const char *host_world::unmap_urid(LV2_URID_Unmap_Handle self, LV2_URID urid) {
    auto &uris = static_cast<host_world *>(self)->_uris;
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr;
}

plugin_instance::plugin_instance(host_world &world, unsigned channels)
    : _world(world), _plugin(world.plugin(channels)), _channels(channels), _in(channels, std::vector<float>(k_block)),
      _out(channels, std::vector<float>(k_block)), _output(channels) {
    for (auto &channel : _output) channel.reserve(64 * k_block);  // no allocation beside run() for 64 blocks
    _midi_event = world.map()->map(world.map()->handle, LV2_MIDI__MidiEvent);
    _sequence = world.map()->map(world.map()->handle, LV2_ATOM__Sequence);
    _instance = lilv_plugin_instantiate(_plugin, 48000, world.features());
    if (!_instance) throw std::runtime_error("instantiate failed");
    const uint32_t ports = lilv_plugin_get_num_ports(_plugin);
    _controls.resize(ports);
    std::vector<float> defaults(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(_plugin, nullptr, nullptr, defaults.data());
    LilvNode *audio = lilv_new_uri(world.world(), LV2_CORE__AudioPort);
    LilvNode *input = lilv_new_uri(world.world(), LV2_CORE__InputPort);
    LilvNode *atom = lilv_new_uri(world.world(), LV2_ATOM__AtomPort);
    unsigned audio_in = 0, audio_out = 0;
    for (uint32_t i = 0; i < ports; ++i) {
        const LilvPort *port = lilv_plugin_get_port_by_index(_plugin, i);
        if (lilv_port_is_a(_plugin, port, audio)) {
            auto &buffers = lilv_port_is_a(_plugin, port, input) ? _in : _out;
            unsigned &n = lilv_port_is_a(_plugin, port, input) ? audio_in : audio_out;
            lilv_instance_connect_port(_instance, i, buffers[n++].data());
        } else if (lilv_port_is_a(_plugin, port, atom)) {
            lilv_instance_connect_port(_instance, i, _midi);
        } else {
            _controls[i] = std::isnan(defaults[i]) ? 0.0f : defaults[i];
            lilv_instance_connect_port(_instance, i, &_controls[i]);
        }
    }
    lilv_node_free(audio);
    lilv_node_free(input);
    lilv_node_free(atom);
    // An empty sequence until events are sent.
    auto *seq = reinterpret_cast<LV2_Atom_Sequence *>(_midi);
    seq->atom = {sizeof(LV2_Atom_Sequence_Body), _sequence};
    seq->body = {0, 0};
    lilv_instance_activate(_instance);
}

plugin_instance::~plugin_instance() {
    lilv_instance_deactivate(_instance);
    lilv_instance_free(_instance);
}

float &plugin_instance::control(const char *symbol) {
    LilvNode *name = lilv_new_string(_world.world(), symbol);
    const LilvPort *port = lilv_plugin_get_port_by_symbol(_plugin, name);
    lilv_node_free(name);
    if (!port) throw std::runtime_error(std::string("no port ") + symbol);
    return _controls[lilv_port_get_index(_plugin, port)];
}

void plugin_instance::send_controller(uint8_t controller, uint8_t value) {
    auto *seq = reinterpret_cast<LV2_Atom_Sequence *>(_midi);
    struct {
        LV2_Atom_Event event;
        uint8_t message[3];
    } midi{};
    midi.event.time.frames = 0;
    midi.event.body = {3, _midi_event};
    midi.message[0] = LV2_MIDI_MSG_CONTROLLER;
    midi.message[1] = controller;
    midi.message[2] = value;
    LV2_Atom_Event *end = lv2_atom_sequence_end(&seq->body, seq->atom.size);
    std::memcpy(end, &midi, sizeof(LV2_Atom_Event) + 3);
    seq->atom.size += lv2_atom_pad_size(sizeof(LV2_Atom_Event) + 3);
}

void plugin_instance::run(const std::vector<std::vector<float>> &input, size_t offset) {
    for (unsigned c = 0; c < _channels; ++c) std::memcpy(_in[c].data(), input[c].data() + offset, k_block * sizeof(float));
    lilv_instance_run(_instance, k_block);
    for (unsigned c = 0; c < _channels; ++c) _output[c].insert(_output[c].end(), _out[c].begin(), _out[c].end());
    auto *seq = reinterpret_cast<LV2_Atom_Sequence *>(_midi);
    seq->atom.size = sizeof(LV2_Atom_Sequence_Body);  // events are for one block
}

std::vector<std::vector<float>> riff(unsigned channels, size_t frames) {
    std::vector<std::vector<float>> out(channels, std::vector<float>(frames));
    for (size_t i = 0; i < frames; ++i) {
        const size_t beat = i / 6000;
        const bool on = i % 6000 < 3500;
        const double period = (beat % 3 == 0) ? 218.0 : (beat % 3 == 1) ? 145.0 : 327.0;
        const double saw = 2.0 * std::fmod(static_cast<double>(i), period) / period - 1.0;
        const double decay = std::exp(-static_cast<double>(i % 6000) / 1500.0);
        for (unsigned c = 0; c < channels; ++c)
            out[c][i] = on ? static_cast<float>(0.6 * decay * saw * (c ? 0.8 : 1.0)) : 0.0f;
    }
    return out;
}

}  // namespace lv2_test
