// A live session: the effect played through JACK in real time, from the command line or under a
// session manager, shared by `zentrova live` and `zentrova-editor --live`. It opens, in order:
// the session manager's request (when NSM_URL is set), the JACK client, the effect with its state
// (the session's file, else --preset and --set), the ports; then it starts processing and makes
// the connections asked for. The main thread runs its run loop meanwhile: session requests,
// signals and the server's going away all reach it there.
#pragma once

#include "effect_host.h"
#include "jack_client.h"
#include "jack_host.h"
#include "nsm_client.h"

#include <AudioToolbox/AudioToolbox.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zentrova_live {

struct live_options {
    unsigned channels = 2;
    std::string client_name = "zentrova";
    std::vector<std::string> connections;  // PORT=OTHER: one of ours (short name), any other
    bool autoconnect = false;
    unsigned midi_cc = 1;
    std::vector<std::string> sets;  // PARAM=VALUE
    std::string preset;
};

// The options both live programs take.
void add_live_options(CLI::App &app, live_options &options);

class live_session {
public:
    // `program`: the executable's name, announced to the session manager, which starts it again
    // by that name alone. `optional_gui`: the program has a window the manager may show and hide.
    live_session(const live_options &options, const std::string &program, bool optional_gui);
    ~live_session();
    live_session(const live_session &) = delete;
    live_session &operator=(const live_session &) = delete;

    zentrova_cli::effect_host &effect() { return *_effect; }
    jack_host &audio() { return *_jack_host; }
    bool managed() const { return _nsm != nullptr; }
    std::string client_name() const { return _client->name(); }

    // [main thread] Called from the run loop when the session should end (SIGINT, SIGTERM, the
    // server gone, the effect failing) and when the manager asks to show or hide the window.
    std::function<void()> on_quit;
    std::function<void(bool show)> on_gui_request;
    bool quitting() const;
    // [main thread] Tells the manager the window is shown or hidden.
    void gui_shown(bool shown);

    // [main thread] Runs the run loop until the session should end (a program without a window).
    void run_until_quit();
    // [main thread] Stops processing and reports xruns; answers the exit status.
    int finish();

private:
    void open(const live_options &options, bool optional_gui);
    void close() noexcept;
    void handle_requests();
    void save();
    void mark_dirty(bool dirty);
    static void on_parameter_event(void *self, void *, const AudioUnitEvent *, UInt64, AudioUnitParameterValue);

    std::string _program;
    CFRunLoopRef _instance_loop = nullptr;  // released after the effect
    std::unique_ptr<nsm_client> _nsm;
    std::optional<nsm_client::open_request> _session;
    std::string _session_file;
    std::unique_ptr<zentrova_cli::effect_host> _effect;
    std::unique_ptr<jack_client> _client;
    std::unique_ptr<jack_host> _jack_host;
    CFRunLoopSourceRef _wake = nullptr;   // on the main run loop: requests, signals, the server
    AUEventListenerRef _edits = nullptr;  // [main thread] hears every parameter change
    bool _dirty = false, _finished = false;
    std::atomic<bool> _nsm_quit{false};
};

// `zentrova live`: a session without a window, until SIGINT, SIGTERM or the server's end. Answers
// the exit status.
int run_headless(const live_options &options);

}  // namespace zentrova_live
