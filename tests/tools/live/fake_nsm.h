// A fake NSM server for the tests: OSC over UDP on loopback (liblo), receiving what a client
// sends and answering as a session manager would.
#pragma once

#include <lo/lo.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace live_test {

struct osc_message {
    std::string path;
    std::vector<std::string> strings;
    std::vector<int> numbers;
};

class fake_nsm {
public:
    fake_nsm() {
        _server = lo_server_new_with_proto(nullptr, LO_UDP, nullptr);
        lo_server_add_method(_server, nullptr, nullptr, &fake_nsm::on_message, this);
    }
    ~fake_nsm() {
        if (_client) lo_address_free(_client);
        lo_server_free(_server);
    }
    std::string url() const { return "osc.udp://127.0.0.1:" + std::to_string(lo_server_get_port(_server)) + "/"; }

    // The next message to `path`, waiting up to `seconds`; messages to other paths are kept.
    std::optional<osc_message> wait_for(const std::string &path, double seconds = 10) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            for (auto it = _received.begin(); it != _received.end(); ++it)
                if (it->path == path) {
                    osc_message m = *it;
                    _received.erase(it);
                    return m;
                }
            if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
            lo_server_recv_noblock(_server, 50);
        }
    }
    bool received(const std::string &path) {
        while (lo_server_recv_noblock(_server, 0) > 0) {
        }
        for (const auto &m : _received)
            if (m.path == path) return true;
        return false;
    }
    template <typename... Arguments> void send(const char *path, const char *types, Arguments... arguments) {
        lo_send_from(_client, _server, LO_TT_IMMEDIATE, path, types, arguments...);
    }

private:
    static int on_message(const char *path, const char *types, lo_arg **argv, int argc, lo_message message,
                          void *self) {
        auto *me = static_cast<fake_nsm *>(self);
        if (me->_client == nullptr) {  // replies go where the client's first message came from
            lo_address from = lo_message_get_source(message);
            me->_client = lo_address_new(lo_address_get_hostname(from), lo_address_get_port(from));
        }
        osc_message m{path, {}, {}};
        for (int i = 0; i < argc; ++i) {
            // Through byte pointers: the arguments are aligned to 4 bytes, the lo_arg union to 8.
            if (types[i] == 's') m.strings.emplace_back(reinterpret_cast<const char *>(argv[i]));
            if (types[i] == 'i') {
                std::int32_t number = 0;
                std::memcpy(&number, argv[i], sizeof number);
                m.numbers.push_back(number);
            }
        }
        me->_received.push_back(std::move(m));
        return 0;
    }
    lo_server _server = nullptr;
    lo_address _client = nullptr;
    std::vector<osc_message> _received;
};

}  // namespace live_test
