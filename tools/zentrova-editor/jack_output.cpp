#include "jack_output.h"

#include "cli_errors.h"
#include "jack_client.h"

namespace zentrova_editor {

std::unique_ptr<jack_output> jack_output::open(const std::string &client_name, std::string *why) {
    std::unique_ptr<jack_output> out(new jack_output);
    try {
        out->_client = std::make_unique<zentrova_live::jack_client>(client_name);
        out->_ports[0] = out->_client->register_port("out_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        out->_ports[1] = out->_client->register_port("out_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
    } catch (const zentrova_cli::user_error &e) {
        *why = e.what();
        return nullptr;
    }
    return out;
}

// The client deactivates before the render function (and what it renders from) goes.
jack_output::~jack_output() { _client.reset(); }

double jack_output::sample_rate() const { return _client->sample_rate(); }
unsigned jack_output::buffer_size() const { return _client->period(); }

int jack_output::process(jack_nframes_t frames, void *self) {
    auto *out = static_cast<jack_output *>(self);
    float *buffers[2] = {static_cast<float *>(jack_port_get_buffer(out->_ports[0], frames)),
                         static_cast<float *>(jack_port_get_buffer(out->_ports[1], frames))};
    out->_render(buffers, frames);
    return 0;
}

bool jack_output::start(render_function render, std::string *why) {
    _render = std::move(render);
    try {
        jack_set_process_callback(_client->get(), &jack_output::process, this);
        _client->activate();
    } catch (const zentrova_cli::user_error &e) {
        *why = e.what();
        return false;
    }
    _client->connect_physical({"out_left", "out_right"});
    return true;
}

}  // namespace zentrova_editor
