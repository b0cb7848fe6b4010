#include "jack_output.h"

#include <dlfcn.h>

namespace zentrova_editor {

// The few calls of JACK's C API used here, declared by their documented signatures.
struct jack_output::library {
    void *handle = nullptr;
    void *(*client_open)(const char *, int, int *, ...) = nullptr;
    int (*client_close)(void *) = nullptr;
    int (*set_process_callback)(void *, int (*)(unsigned, void *), void *) = nullptr;
    void *(*port_register)(void *, const char *, const char *, unsigned long, unsigned long) = nullptr;
    void *(*port_get_buffer)(void *, unsigned) = nullptr;
    const char *(*port_name)(const void *) = nullptr;
    int (*activate)(void *) = nullptr;
    int (*deactivate)(void *) = nullptr;
    unsigned (*get_sample_rate)(void *) = nullptr;
    unsigned (*get_buffer_size)(void *) = nullptr;
    const char **(*get_ports)(void *, const char *, const char *, unsigned long) = nullptr;
    int (*connect)(void *, const char *, const char *) = nullptr;
    void (*free)(void *) = nullptr;

    // Never closed: the library keeps threads and state of its own for the life of the process.
    template <class F>
    bool bind(F &f, const char *name) {
        f = reinterpret_cast<F>(dlsym(handle, name));
        return f != nullptr;
    }
};

namespace {
constexpr int no_start_server = 0x01;  // JackNoStartServer
constexpr unsigned long port_is_input = 0x1, port_is_output = 0x2, port_is_physical = 0x4;
constexpr const char *audio_type = "32 bit float mono audio";
}  // namespace

std::unique_ptr<jack_output> jack_output::open(const std::string &client_name, std::string *why) {
    auto lib = std::make_unique<library>();
    lib->handle = dlopen("libjack.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!lib->handle) {
        *why = "JACK is not installed";
        return nullptr;
    }
    if (!(lib->bind(lib->client_open, "jack_client_open") && lib->bind(lib->client_close, "jack_client_close") &&
          lib->bind(lib->set_process_callback, "jack_set_process_callback") &&
          lib->bind(lib->port_register, "jack_port_register") && lib->bind(lib->port_get_buffer, "jack_port_get_buffer") &&
          lib->bind(lib->port_name, "jack_port_name") && lib->bind(lib->activate, "jack_activate") &&
          lib->bind(lib->deactivate, "jack_deactivate") && lib->bind(lib->get_sample_rate, "jack_get_sample_rate") &&
          lib->bind(lib->get_buffer_size, "jack_get_buffer_size") && lib->bind(lib->get_ports, "jack_get_ports") &&
          lib->bind(lib->connect, "jack_connect") && lib->bind(lib->free, "jack_free"))) {
        *why = "the JACK library lacks a function this host uses";
        return nullptr;
    }
    // Without a server the library reports its failed attempts on stderr; the host says it once.
    void (*set_error_function)(void (*)(const char *)) = nullptr;
    void (*set_info_function)(void (*)(const char *)) = nullptr;
    if (lib->bind(set_error_function, "jack_set_error_function")) set_error_function([](const char *) {});
    if (lib->bind(set_info_function, "jack_set_info_function")) set_info_function([](const char *) {});
    int status = 0;
    void *client = lib->client_open(client_name.c_str(), no_start_server, &status);
    if (!client) {
        *why = "no JACK server is running";
        return nullptr;
    }
    std::unique_ptr<jack_output> out(new jack_output);
    out->_jack = std::move(lib);
    out->_client = client;
    const char *names[2] = {"out_left", "out_right"};
    for (int c = 0; c < 2; ++c) {
        out->_ports[c] = out->_jack->port_register(client, names[c], audio_type, port_is_output, 0);
        if (!out->_ports[c]) {
            *why = "JACK refused an output port";
            return nullptr;
        }
    }
    return out;
}

jack_output::~jack_output() {
    if (_client) {
        _jack->deactivate(_client);
        _jack->client_close(_client);
    }
}

double jack_output::sample_rate() const { return _jack->get_sample_rate(_client); }
unsigned jack_output::buffer_size() const { return _jack->get_buffer_size(_client); }

int jack_output::process(unsigned frames, void *self) {
    auto *out = static_cast<jack_output *>(self);
    float *buffers[2] = {static_cast<float *>(out->_jack->port_get_buffer(out->_ports[0], frames)),
                         static_cast<float *>(out->_jack->port_get_buffer(out->_ports[1], frames))};
    out->_render(buffers, frames);
    return 0;
}

bool jack_output::start(render_function render, std::string *why) {
    _render = std::move(render);
    if (_jack->set_process_callback(_client, &jack_output::process, this) != 0 || _jack->activate(_client) != 0) {
        *why = "JACK would not start the client";
        return false;
    }
    // Playback ports are the server's physical inputs; without any, the outputs stay unconnected.
    if (const char **playback = _jack->get_ports(_client, nullptr, audio_type, port_is_input | port_is_physical)) {
        for (int c = 0; c < 2 && playback[c]; ++c) _jack->connect(_client, _jack->port_name(_ports[c]), playback[c]);
        _jack->free(playback);
    }
    return true;
}

}  // namespace zentrova_editor
