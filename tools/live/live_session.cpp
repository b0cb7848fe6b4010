#include "live_session.h"

#include "cli_errors.h"
#include "parameter_values.h"
#include "preset_files.h"

#include "host/events.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <filesystem>

namespace zentrova_live {

using zentrova_cli::user_error;

namespace {

// [signal handlers] Both only store and signal, which is wait-free and makes no system call; the
// main thread's run loop notices at its next poll.
std::atomic<bool> g_signalled{false};
std::atomic<CFRunLoopSourceRef> g_wake{nullptr};

void on_signal(int) {
    g_signalled.store(true);
    if (CFRunLoopSourceRef wake = g_wake.load()) CFRunLoopSourceSignal(wake);
}

void wake_main(void *source) { CFRunLoopSourceSignal(static_cast<CFRunLoopSourceRef>(source)); }

}  // namespace

void add_live_options(CLI::App &app, live_options &options) {
    app.add_option("--channels", options.channels, "1 or 2 (default): in_1/out_1 only, or both pairs")
        ->check(CLI::Range(1u, 2u));
    app.add_option("--name", options.client_name, "the JACK client's name (default: zentrova)");
    app.add_option("--connect", options.connections,
                   "PORT=OTHER: connect our PORT (in_1, out_2, midi_in, ...) with "
                   "the JACK port OTHER; repeatable")
        ->expected(1)
        ->allow_extra_args(false)
        ->take_all();
    app.add_flag("--autoconnect", options.autoconnect,
                 "connect the inputs to the physical capture ports and the outputs to the playback ports");
    app.add_option("--midi-cc", options.midi_cc, "the MIDI controller that drives MIDI Control (default 1)")
        ->check(CLI::Range(0u, 127u));
    app.add_option("--set", options.sets, "PARAM=VALUE, a parameter by id or name; repeatable")
        ->expected(1)
        ->allow_extra_args(false)
        ->take_all();
    app.add_option("--preset", options.preset, "start from an .aupreset file");
}

live_session::live_session(const live_options &options, const std::string &program, bool optional_gui)
    : _program(program) {
    try {
        open(options, optional_gui);
    } catch (...) {
        close();
        throw;
    }
}

void live_session::open(const live_options &options, bool optional_gui) {
    CFRunLoopSourceContext context{};
    context.info = this;
    context.perform = [](void *self) { static_cast<live_session *>(self)->handle_requests(); };
    _wake = CFRunLoopSourceCreate(nullptr, 0, &context);
    CFRunLoopAddSource(CFRunLoopGetCurrent(), _wake, kCFRunLoopDefaultMode);
    g_wake.store(_wake);
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);

    // Under a session manager the client's name and its state come from the manager's "open".
    const CFRunLoopRef main_loop = CFRunLoopGetCurrent();
    _nsm = nsm_client::from_environment([this, main_loop] {
        CFRunLoopSourceSignal(_wake);
        CFRunLoopWakeUp(main_loop);
    });
    std::string name = options.client_name;
    if (_nsm) {
        _nsm->announce("Zentrova", _program, optional_gui);
        _session = _nsm->wait_for_open(30, g_signalled);
        _session_file = _session->path + ".aupreset";
        name = _session->client_id;
    }

    // The keyed variant when the bundle has it: with nothing on its key ports it is the plain
    // effect, bit for bit, and with them it follows the key.
    jack_host::settings settings;
    try {
        _effect = std::make_unique<zentrova_cli::effect_host>(/*keyed=*/true);
        settings.keyed = true;
    } catch (const zentrova_cli::user_error &) {
        _effect = std::make_unique<zentrova_cli::effect_host>();
    }
    _client = std::make_unique<jack_client>(name);
    settings.channels = options.channels;
    settings.midi_cc = options.midi_cc;
    settings.programs = load_factory_presets(factory_preset_folder());
    _effect->configure(_client->sample_rate(), options.channels, 4096);
    if (settings.keyed) _effect->configure_key(options.channels);

    // The starting state: the session's file when it has one, else the command line's.
    std::error_code missing;
    if (_session && std::filesystem::exists(_session_file, missing)) {
        try {
            zentrova_cli::restore_preset(*_effect, _session_file);
        } catch (const std::exception &e) {
            _nsm->fail("/nsm/client/open", nsm_client::k_error_bad_project, e.what());
            throw;
        }
    } else {
        if (!options.preset.empty()) zentrova_cli::restore_preset(*_effect, options.preset);
        for (const std::string &text : options.sets) {
            const auto a = zentrova_cli::parse_assignment(_effect->parameters(), text);
            _effect->set_parameter(a.id, a.value);
        }
    }

    // The instance's listener binds to the run loop current at its first Initialize: one that
    // belongs to no thread, which the process callback performs every period.
    _instance_loop = CFRunLoopCreateDetached();
    const CFRunLoopRef previous = CFRunLoopSetCurrent(_instance_loop);
    const OSStatus status = AudioUnitInitialize(_effect->unit());
    CFRunLoopSetCurrent(previous);
    zentrova_cli::check_status(status, "initializing Zentrova");

    // Every parameter change, from the editor or from MIDI, is heard here: unsaved changes.
    zentrova_cli::check_status(AUEventListenerCreate(&live_session::on_parameter_event, this, CFRunLoopGetCurrent(),
                                                     kCFRunLoopDefaultMode, 0.05f, 0, &_edits),
                               "listening to parameter changes");
    for (std::uint32_t id = 0; id < zentrova::k_parameter_count; ++id) {
        AudioUnitEvent event{};
        event.mEventType = kAudioUnitEvent_ParameterValueChange;
        event.mArgument.mParameter = {_effect->unit(), id, kAudioUnitScope_Global, 0};
        AUEventListenerAddEventType(_edits, this, &event);
    }

    _jack_host = std::make_unique<jack_host>(*_client, *_effect, _instance_loop, std::move(settings));
    _jack_host->set_notify(&wake_main, _wake);
    _jack_host->start();
    std::vector<std::string> own;
    for (const std::string &text : options.connections) {
        const auto equals = text.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
            throw user_error("--connect takes PORT=OTHER (for example in_1=system:capture_1), not \"" + text + "\"");
        _client->connect(text.substr(0, equals), text.substr(equals + 1));
    }
    if (options.autoconnect) _client->connect_physical(_jack_host->port_names());

    if (_nsm) _nsm->reply("/nsm/client/open", "Zentrova is playing as " + _client->name());
    std::fprintf(stderr, "%s: playing as JACK client \"%s\" at %.0f Hz, %u frames a period\n", _program.c_str(),
                 _client->name().c_str(), _client->sample_rate(), _client->period());
}

live_session::~live_session() {
    finish();
    close();
}

// Whatever open() got as far as making, in the reverse order.
void live_session::close() noexcept {
    g_wake.store(nullptr);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (_edits) AUListenerDispose(_edits);
    _edits = nullptr;
    // The process callback uses the host and the effect: it stops before either goes (a start that
    // failed after activation has not been through finish()).
    if (_client && _jack_host && _jack_host->server_gone()) _client->abandon();
    if (_client) _client->deactivate();
    _jack_host.reset();
    _client.reset();
    _effect.reset();  // before the run loop its listener is bound to goes
    if (_instance_loop) CFRelease(_instance_loop);
    _instance_loop = nullptr;
    _nsm.reset();
    if (_wake) {
        CFRunLoopSourceInvalidate(_wake);
        CFRelease(_wake);
    }
    _wake = nullptr;
}

bool live_session::quitting() const {
    return g_signalled.load() || (_jack_host && (_jack_host->server_gone() || _jack_host->render_failed()));
}

void live_session::gui_shown(bool shown) {
    if (_nsm) _nsm->gui_shown(shown);
}

void live_session::run_until_quit() {
    while (!quitting()) CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, true);
}

int live_session::finish() {
    if (_finished || !_client) return 0;
    _finished = true;
    const bool gone = _jack_host->server_gone(), failed = _jack_host->render_failed();
    // The client leaves the server (its ports with it) only while the server still runs.
    if (!gone) _client->deactivate();
    std::fprintf(stderr, "%s: %ld xrun%s\n", _program.c_str(), _jack_host->xruns(),
                 _jack_host->xruns() == 1 ? "" : "s");
    if (failed) {
        std::fprintf(stderr, "%s: the effect stopped rendering\n", _program.c_str());
        return 2;
    }
    if (gone) {
        std::fprintf(stderr, "%s: the JACK server went away\n", _program.c_str());
        return 1;
    }
    return 0;
}

void live_session::handle_requests() {
    nsm_client::request what{};
    nsm_client::open_request open;
    while (_nsm && _nsm->take_request(what, open)) {
        switch (what) {
        case nsm_client::request::save: save(); break;
        case nsm_client::request::show_gui:
        case nsm_client::request::hide_gui:
            if (on_gui_request) on_gui_request(what == nsm_client::request::show_gui);
            break;
        case nsm_client::request::open:
            // Without the "switch" capability a manager starts the program anew for another session.
            _nsm->fail("/nsm/client/open", nsm_client::k_error_general, "Zentrova opens one session per run");
            break;
        }
    }
    if (quitting() && on_quit) on_quit();
}

void live_session::save() {
    try {
        CFPropertyListRef state = _effect->copy_state();
        try {
            zentrova_cli::write_preset_file(_session_file, state, /*force=*/true);
        } catch (...) {
            CFRelease(state);
            throw;
        }
        CFRelease(state);
        _nsm->reply("/nsm/client/save", "saved " + _session_file);
        mark_dirty(false);
    } catch (const std::exception &e) {
        _nsm->fail("/nsm/client/save", nsm_client::k_error_general, e.what());
    }
}

void live_session::mark_dirty(bool dirty) {
    _dirty = dirty;
    if (_nsm) _nsm->set_dirty(dirty);
}

void live_session::on_parameter_event(void *self, void *, const AudioUnitEvent *, UInt64, AudioUnitParameterValue) {
    auto *me = static_cast<live_session *>(self);
    if (!me->_dirty) me->mark_dirty(true);
}

int run_headless(const live_options &options) {
    live_session session(options, "zentrova", /*optional_gui=*/false);
    session.run_until_quit();
    return session.finish();
}

}  // namespace zentrova_live
