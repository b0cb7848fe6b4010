// The real-time half of the live host: JACK's process callback rendering through the effect, with
// the ports it reads and writes and the MIDI it takes. Each period it sets what MIDI asked for,
// performs the instance's own run loop (which delivers those changes, and the editor's, to the
// instance's listener) and renders, all on JACK's thread: a change is heard from the period that
// first sees it. Nothing on that path allocates, locks or calls the system.
#pragma once

#include "effect_host.h"
#include "factory_presets.h"
#include "jack_client.h"

#include <jack/jack.h>

#include <atomic>
#include <string>
#include <vector>

namespace zentrova_live {

class jack_host {
public:
    struct settings {
        unsigned channels = 2;                 // 1 or 2
        unsigned midi_cc = 1;                  // the controller that drives "MIDI Control"
        std::vector<factory_preset> programs;  // program change N loads programs[N]
        bool keyed = false;                    // the keyed component, configured for a key of `channels` channels
    };

    // [control thread] Registers in_N, out_N, midi_in and, keyed, key_N on `client`. `effect` is configured for
    // `channels` at the client's rate and initialised with `instance_loop` current, a detached
    // run loop that only the process callback runs from now on.
    jack_host(jack_client &client, zentrova_cli::effect_host &effect, CFRunLoopRef instance_loop, settings settings);
    jack_host(const jack_host &) = delete;
    jack_host &operator=(const jack_host &) = delete;

    // [control thread] Installs the callbacks and activates the client. A host that measures its
    // periods passes its own process callback, which calls process() in turn.
    void start(JackProcessCallback process_callback = nullptr, void *argument = nullptr);

    // The short names of the ports --autoconnect connects: in_N, midi_in and out_N. A key is a
    // choice of its own, never made for the player.
    std::vector<std::string> port_names() const;
    // Whether the key ports are connected, so that the follower listens to them; until they are
    // it listens to the input, as the plain effect does.
    bool key_connected() const { return _key_connected.load(std::memory_order_relaxed); }

    // [JACK's process thread; real-time safe] One period.
    int process(jack_nframes_t frames) noexcept;

    long xruns() const { return _xruns.load(std::memory_order_relaxed); }
    bool render_failed() const { return _render_failed.load(std::memory_order_relaxed); }
    bool server_gone() const { return _server_gone.load(std::memory_order_relaxed); }
    // Called from JACK's threads when one of the three flags above changes: wait-free.
    void set_notify(void (*notify)(void *), void *argument) {
        _notify = notify;
        _notify_argument = argument;
    }

private:
    static int process_entry(jack_nframes_t frames, void *self) noexcept;
    void take_midi(jack_nframes_t frames) noexcept;
    void render(jack_nframes_t frames) noexcept;

    // Render calls are cut into slices of at most this many frames; JACK's period may be longer.
    static constexpr unsigned k_max_frames = 4096;

    jack_client &_client;
    zentrova_cli::effect_host &_effect;
    CFRunLoopRef _instance_loop;
    const settings _settings;
    jack_port_t *_in[2] = {}, *_out[2] = {};
    jack_port_t *_midi_in = nullptr;
    jack_port_t *_key[2] = {};
    std::atomic<bool> _key_connected{false};  // [JACK's notification thread] set

    std::atomic<long> _xruns{0};
    std::atomic<bool> _render_failed{false}, _server_gone{false};
    void (*_notify)(void *) = nullptr;
    void *_notify_argument = nullptr;
};

}  // namespace zentrova_live
