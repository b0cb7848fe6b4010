#include "jack_client.h"

#include "cli_errors.h"

#include <cstring>

namespace zentrova_live {

using zentrova_cli::user_error;

namespace {

// Without a server the library reports each failed attempt on stderr; the host says it once.
void quiet(const char *) {}

std::vector<std::string> port_names(jack_client_t *client, const char *type, unsigned long flags) {
    std::vector<std::string> names;
    if (const char **ports = jack_get_ports(client, nullptr, type, flags)) {
        for (const char **p = ports; *p; ++p) names.emplace_back(*p);
        jack_free(ports);
    }
    return names;
}

}  // namespace

jack_client::jack_client(const std::string &name) {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status{};
    _client = jack_client_open(name.c_str(), JackNoStartServer, &status);
    if (_client == nullptr) {
        if (status & JackServerFailed)
            throw user_error("no JACK server is running (start one: jackd, or PipeWire's JACK)");
        if (status & JackInvalidOption) throw user_error("JACK refused the client name \"" + name + "\"");
        throw user_error("JACK refused the client \"" + name + "\" (status " + std::to_string(int(status)) + ")");
    }
}

jack_client::~jack_client() {
    if (_client == nullptr) return;
    deactivate();
    jack_client_close(_client);
}

std::string jack_client::name() const { return jack_get_client_name(_client); }
double jack_client::sample_rate() const { return jack_get_sample_rate(_client); }
unsigned jack_client::period() const { return jack_get_buffer_size(_client); }

jack_port_t *jack_client::register_port(const char *short_name, const char *type, unsigned long flags) {
    jack_port_t *port = jack_port_register(_client, short_name, type, flags, 0);
    if (port == nullptr) throw user_error(std::string("JACK refused the port ") + short_name);
    return port;
}

void jack_client::activate() {
    if (jack_activate(_client) != 0) throw user_error("JACK would not activate the client");
    _active = true;
}

void jack_client::deactivate() {
    if (_active) jack_deactivate(_client);
    _active = false;
}

void jack_client::connect(const std::string &own, const std::string &other) {
    const std::string full = name() + ":" + own;
    jack_port_t *port = jack_port_by_name(_client, full.c_str());
    if (port == nullptr) throw user_error("--connect: this client has no port \"" + own + "\"");
    if (jack_port_by_name(_client, other.c_str()) == nullptr)
        throw user_error("--connect: no JACK port \"" + other + "\"");
    const bool output = (jack_port_flags(port) & JackPortIsOutput) != 0;
    const int result = output ? jack_connect(_client, full.c_str(), other.c_str())
                              : jack_connect(_client, other.c_str(), full.c_str());
    if (result != 0 && result != EEXIST) throw user_error("JACK would not connect " + full + " and " + other);
}

int jack_client::connect_physical(const std::vector<std::string> &own) {
    int made = 0;
    std::size_t used[2][2] = {};  // [audio, MIDI][capture, playback]
    for (const std::string &short_name : own) {
        const std::string full = name() + ":" + short_name;
        jack_port_t *port = jack_port_by_name(_client, full.c_str());
        if (port == nullptr) continue;
        const bool output = (jack_port_flags(port) & JackPortIsOutput) != 0;
        const bool midi = std::strcmp(jack_port_type(port), JACK_DEFAULT_MIDI_TYPE) == 0;
        const std::vector<std::string> theirs = port_names(
            _client, midi ? JACK_DEFAULT_MIDI_TYPE : JACK_DEFAULT_AUDIO_TYPE,
            (output ? JackPortIsInput : JackPortIsOutput) | JackPortIsPhysical);
        std::size_t &next = used[midi][output];
        if (next == theirs.size()) continue;
        const std::string &other = theirs[next++];
        made += (output ? jack_connect(_client, full.c_str(), other.c_str())
                        : jack_connect(_client, other.c_str(), full.c_str())) == 0;
    }
    return made;
}

}  // namespace zentrova_live
