// Playing through a JACK server, when the library is installed and a server runs. The library is
// opened at run time, so the editor host neither needs it to build nor to start. JACK's process
// thread then drives the rendering.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace zentrova_editor {

class jack_output {
public:
    // [JACK's real-time thread] Fill two channels of `frames` samples.
    using render_function = std::function<void(float *const *out, unsigned frames)>;

    // Null when there is no JACK library or no running server; *why says which.
    static std::unique_ptr<jack_output> open(const std::string &client_name, std::string *why);
    ~jack_output();

    double sample_rate() const;
    unsigned buffer_size() const;
    // Starts the callbacks and connects the two outputs to the first two playback ports.
    bool start(render_function render, std::string *why);

private:
    jack_output() = default;
    struct library;
    static int process(unsigned frames, void *self);
    std::unique_ptr<library> _jack;
    void *_client = nullptr;
    void *_ports[2] = {};
    render_function _render;
};

}  // namespace zentrova_editor
