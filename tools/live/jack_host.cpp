#include "jack_host.h"

#include "host/events.h"

#include <jack/midiport.h>

#include <algorithm>
#include <cstring>

namespace zentrova_live {

jack_host::jack_host(jack_client &client, zentrova_cli::effect_host &effect, CFRunLoopRef instance_loop,
                     settings settings)
    : _client(client), _effect(effect), _instance_loop(instance_loop), _settings(std::move(settings)) {
    for (unsigned c = 0; c < _settings.channels; ++c)
        _in[c] = client.register_port(("in_" + std::to_string(c + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                      JackPortIsInput);
    for (unsigned c = 0; c < _settings.channels; ++c)
        _out[c] = client.register_port(("out_" + std::to_string(c + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                       JackPortIsOutput);
    _midi_in = client.register_port("midi_in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    if (_settings.keyed)
        for (unsigned c = 0; c < _settings.channels; ++c)
            _key[c] = client.register_port(("key_" + std::to_string(c + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                           JackPortIsInput);
}

std::vector<std::string> jack_host::port_names() const {
    std::vector<std::string> names;
    for (jack_port_t *port : {_in[0], _in[1], _midi_in, _out[0], _out[1]})
        if (port != nullptr) names.emplace_back(jack_port_short_name(port));
    return names;
}

void jack_host::start(JackProcessCallback process_callback, void *argument) {
    jack_client_t *client = _client.get();
    if (process_callback == nullptr) {
        process_callback = &jack_host::process_entry;
        argument = this;
    }
    jack_set_process_callback(client, process_callback, argument);
    jack_set_xrun_callback(
        client,
        [](void *self) -> int {
            auto *me = static_cast<jack_host *>(self);
            me->_xruns.fetch_add(1, std::memory_order_relaxed);
            return 0;
        },
        this);
    if (_settings.keyed)
        jack_set_port_connect_callback(
            client,
            [](jack_port_id_t, jack_port_id_t, int, void *self) {
                auto *me = static_cast<jack_host *>(self);
                bool connected = false;
                for (jack_port_t *key : me->_key)
                    connected = connected || (key != nullptr && jack_port_connected(key) > 0);
                me->_key_connected.store(connected, std::memory_order_relaxed);
            },
            this);
    jack_on_shutdown(
        client,
        [](void *self) {
            auto *me = static_cast<jack_host *>(self);
            me->_server_gone.store(true, std::memory_order_relaxed);
            if (me->_notify) me->_notify(me->_notify_argument);
        },
        this);
    _client.activate();
}

int jack_host::process_entry(jack_nframes_t frames, void *self) noexcept {
    return static_cast<jack_host *>(self)->process(frames);
}

int jack_host::process(jack_nframes_t frames) noexcept {
    take_midi(frames);
    // Delivers what MIDI set just now and whatever the editor or a restore announced since the
    // last period: the instance's listener publishes it, and the render applies it at its top.
    CFRunLoopRunDetached(_instance_loop, kCFRunLoopDefaultMode);
    render(frames);
    return 0;
}

// The period's messages in order; each parameter takes the last value they give it. A program
// change sets every parameter from its preset; the controller sets "MIDI Control" (0..127 as 0..1).
void jack_host::take_midi(jack_nframes_t frames) noexcept {
    void *buffer = jack_port_get_buffer(_midi_in, frames);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    if (count == 0) return;
    float values[zentrova::k_parameter_count] = {};
    bool changed[zentrova::k_parameter_count] = {};
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size < 2) continue;
        const std::uint8_t status = event.buffer[0] & 0xF0;
        if (status == 0xB0 && event.size >= 3 && event.buffer[1] == _settings.midi_cc) {
            values[zentrova::k_midi_control] = float(event.buffer[2] & 0x7F) / 127.0f;
            changed[zentrova::k_midi_control] = true;
        } else if (status == 0xC0 && (event.buffer[1] & 0x7F) < _settings.programs.size()) {
            const factory_preset &preset = _settings.programs[event.buffer[1] & 0x7F];
            std::copy(preset.values.begin(), preset.values.end(), values);
            std::fill(std::begin(changed), std::end(changed), true);
        }
    }
    for (std::uint32_t id = 0; id < zentrova::k_parameter_count; ++id)
        if (changed[id]) host::set_parameter(_effect.unit(), id, values[id]);
}

void jack_host::render(jack_nframes_t frames) noexcept {
    const unsigned channels = _settings.channels;
    const bool keyed = key_connected();
    const float *in[2] = {}, *key[2] = {};
    float *out[2] = {};
    for (unsigned c = 0; c < channels; ++c) {
        in[c] = static_cast<const float *>(jack_port_get_buffer(_in[c], frames));
        out[c] = static_cast<float *>(jack_port_get_buffer(_out[c], frames));
        if (keyed) key[c] = static_cast<const float *>(jack_port_get_buffer(_key[c], frames));
    }
    for (jack_nframes_t offset = 0; offset < frames;) {
        const unsigned n = std::min<unsigned>(k_max_frames, frames - offset);
        const float *slice_in[2] = {in[0] + offset, channels > 1 ? in[1] + offset : nullptr};
        const float *slice_key[2] = {keyed ? key[0] + offset : nullptr,
                                     keyed && channels > 1 ? key[1] + offset : nullptr};
        float *slice_out[2] = {out[0] + offset, channels > 1 ? out[1] + offset : nullptr};
        // Without a key the keyed component's follower hears the input: the plain effect.
        if (_effect.render_in_real_time(slice_in, slice_out, n, keyed ? slice_key : nullptr) != noErr) {
            for (unsigned c = 0; c < channels; ++c) std::memset(slice_out[c], 0, n * sizeof(float));
            if (!_render_failed.exchange(true, std::memory_order_relaxed) && _notify) _notify(_notify_argument);
        }
        offset += n;
    }
}

}  // namespace zentrova_live
