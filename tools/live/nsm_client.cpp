#include "nsm_client.h"

#include "cli_errors.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace zentrova_live {

using zentrova_cli::user_error;

std::unique_ptr<nsm_client> nsm_client::from_environment(std::function<void()> wake) {
    const char *url = std::getenv("NSM_URL");
    if (url == nullptr || *url == '\0') return nullptr;
    lo_address manager = lo_address_new_from_url(url);
    if (manager == nullptr) throw user_error(std::string("NSM_URL is not an OSC address: ") + url);
    return std::unique_ptr<nsm_client>(new nsm_client(manager, std::move(wake)));
}

nsm_client::nsm_client(lo_address manager, std::function<void()> wake) : _manager(manager), _wake(std::move(wake)) {
    // Replies come back to the port we send from: our server's, on the manager's protocol.
    _server = lo_server_thread_new_with_proto(nullptr, lo_address_get_protocol(manager), nullptr);
    if (_server == nullptr) {
        lo_address_free(manager);
        throw user_error("cannot open an OSC port for the session manager");
    }
    lo_server_thread_add_method(_server, nullptr, nullptr, &nsm_client::on_message, this);
    lo_server_thread_start(_server);
}

nsm_client::~nsm_client() {
    lo_server_thread_stop(_server);
    lo_server_thread_free(_server);
    lo_address_free(_manager);
}

void nsm_client::send(const char *path, lo_message message) {
    lo_send_message_from(_manager, lo_server_thread_get_server(_server), path, message);
    lo_message_free(message);
}

void nsm_client::announce(const std::string &application, const std::string &executable, bool optional_gui) {
    lo_message m = lo_message_new();
    lo_message_add_string(m, application.c_str());
    lo_message_add_string(m, optional_gui ? ":dirty:optional-gui:" : ":dirty:");
    lo_message_add_string(m, executable.c_str());
    lo_message_add_int32(m, 1);  // the API version: 1.2
    lo_message_add_int32(m, 2);
    lo_message_add_int32(m, static_cast<int32_t>(getpid()));
    send("/nsm/server/announce", m);
}

nsm_client::open_request nsm_client::wait_for_open(double seconds, const std::atomic<bool> &give_up) {
    std::unique_lock<std::mutex> lock(_mutex);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (!_announce_error.empty()) throw user_error("the session manager refused us: " + _announce_error);
        for (auto it = _requests.begin(); it != _requests.end(); ++it)
            if (it->first == request::open) {
                open_request open = it->second;
                _requests.erase(it);
                return open;
            }
        if (give_up.load()) throw user_error("ended before the session manager opened a session");
        if (std::chrono::steady_clock::now() >= deadline)
            throw user_error("the session manager at NSM_URL did not answer");
        // A signal cannot notify the condition: look again every tenth of a second.
        _arrived.wait_for(lock, std::chrono::milliseconds(100));
    }
}

bool nsm_client::take_request(request &what, open_request &open) {
    std::lock_guard<std::mutex> lock(_mutex);
    if (_requests.empty()) return false;
    what = _requests.front().first;
    open = _requests.front().second;
    _requests.pop_front();
    return true;
}

void nsm_client::reply(const char *request_path, const std::string &message) {
    lo_message m = lo_message_new();
    lo_message_add_string(m, request_path);
    lo_message_add_string(m, message.c_str());
    send("/reply", m);
}

void nsm_client::fail(const char *request_path, int code, const std::string &message) {
    lo_message m = lo_message_new();
    lo_message_add_string(m, request_path);
    lo_message_add_int32(m, code);
    lo_message_add_string(m, message.c_str());
    send("/error", m);
}

void nsm_client::set_dirty(bool dirty) {
    if (dirty == _dirty) return;
    _dirty = dirty;
    send(dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean", lo_message_new());
}

void nsm_client::gui_shown(bool shown) {
    send(shown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden", lo_message_new());
}

namespace {

// liblo's arguments point into the message, aligned to 4 bytes only: read a string through a
// character pointer rather than the lo_arg union, which claims 8.
const char *text(lo_arg *argument) { return reinterpret_cast<const char *>(argument); }

}  // namespace

// [liblo's thread] Requests are queued for the main thread, which alone touches the effect.
int nsm_client::on_message(const char *path, const char *types, lo_arg **argv, int argc, lo_message, void *self) {
    auto *me = static_cast<nsm_client *>(self);
    const std::string t = types ? types : "";
    std::pair<request, open_request> queued{};
    if (std::strcmp(path, "/nsm/client/open") == 0 && argc == 3 && t == "sss") {
        queued = {request::open, {text(argv[0]), text(argv[1]), text(argv[2])}};
    } else if (std::strcmp(path, "/nsm/client/save") == 0) {
        queued.first = request::save;
    } else if (std::strcmp(path, "/nsm/client/show_optional_gui") == 0) {
        queued.first = request::show_gui;
    } else if (std::strcmp(path, "/nsm/client/hide_optional_gui") == 0) {
        queued.first = request::hide_gui;
    } else if (std::strcmp(path, "/error") == 0 && argc >= 3 && t.size() >= 3 && t[0] == 's' && t[2] == 's' &&
               std::strcmp(text(argv[0]), "/nsm/server/announce") == 0) {
        std::lock_guard<std::mutex> lock(me->_mutex);
        me->_announce_error = text(argv[2]);
        me->_arrived.notify_all();
        return 0;
    } else {
        return 0;  // the announcement's reply, session_is_loaded and the rest: nothing to do
    }
    {
        std::lock_guard<std::mutex> lock(me->_mutex);
        me->_requests.push_back(std::move(queued));
    }
    me->_arrived.notify_all();
    if (me->_wake) me->_wake();
    return 0;
}

}  // namespace zentrova_live
