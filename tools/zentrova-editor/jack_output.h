// Playing a file through a JACK server, when one runs: two output ports, driven by JACK's process
// thread, connected to the first two playback ports (the file-playing editor's way; the live mode
// connects only what it is asked to).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <jack/jack.h>

namespace zentrova_live {
class jack_client;
}

namespace zentrova_editor {

class jack_output {
public:
    // [JACK's real-time thread] Fill two channels of `frames` samples.
    using render_function = std::function<void(float *const *out, unsigned frames)>;

    // Null when no server is running; *why says so.
    static std::unique_ptr<jack_output> open(const std::string &client_name, std::string *why);
    ~jack_output();

    double sample_rate() const;
    unsigned buffer_size() const;
    // Starts the callbacks and connects the two outputs to the first two playback ports.
    bool start(render_function render, std::string *why);

private:
    jack_output() = default;
    static int process(jack_nframes_t frames, void *self);
    std::unique_ptr<zentrova_live::jack_client> _client;
    jack_port_t *_ports[2] = {};
    render_function _render;
};

}  // namespace zentrova_editor
