// Session management: the NSM protocol over OSC (liblo), as a client. The manager starts the
// program with NSM_URL set; the program announces itself, waits for "open" (which names where its
// state lives and what to call its JACK client), then answers "save", "show" and "hide" requests
// and reports when it has unsaved changes. The manager ends the program with SIGTERM.
#pragma once

#include <lo/lo.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace zentrova_live {

class nsm_client {
public:
    struct open_request {
        std::string path;  // the prefix of this client's files in the session folder
        std::string display_name, client_id;
    };
    enum class request { open, save, show_gui, hide_gui };

    // Null when NSM_URL is not set. Throws user_error when it is not an OSC address. `wake` is
    // called on liblo's thread when a request arrives: it should make the main thread call
    // take_request().
    static std::unique_ptr<nsm_client> from_environment(std::function<void()> wake);
    ~nsm_client();

    // [main thread] Announces this program, with "optional-gui" among its capabilities when it
    // has a window to show and hide.
    void announce(const std::string &application, const std::string &executable, bool optional_gui);
    // [main thread] Waits for the manager's first "open"; throws user_error when the manager
    // answers the announcement with an error, says nothing for `seconds`, or `give_up` is set
    // (by a signal) meanwhile.
    open_request wait_for_open(double seconds, const std::atomic<bool> &give_up);

    // [main thread] The oldest request not yet taken; false when there is none. A later "open"
    // fills `open`.
    bool take_request(request &what, open_request &open);

    // [main thread] Answers a request, or reports a failure with NSM's error code.
    void reply(const char *request_path, const std::string &message);
    void fail(const char *request_path, int code, const std::string &message);
    void set_dirty(bool dirty);
    void gui_shown(bool shown);

    // NSM's error codes that this client uses.
    static constexpr int k_error_general = -1, k_error_bad_project = -9;

private:
    nsm_client(lo_address manager, std::function<void()> wake);
    static int on_message(const char *path, const char *types, lo_arg **argv, int argc, lo_message, void *self);
    void send(const char *path, lo_message message);

    lo_address _manager;
    lo_server_thread _server = nullptr;
    std::function<void()> _wake;
    std::mutex _mutex;  // [liblo's thread and the main thread] what follows
    std::condition_variable _arrived;
    std::deque<std::pair<request, open_request>> _requests;
    std::string _announce_error;
    bool _dirty = false;
};

}  // namespace zentrova_live
