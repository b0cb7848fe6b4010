// A JACK client of our own: opened on a running server (never starting one), with its ports, its
// connections and the server's rate and period. [control thread]
#pragma once

#include <jack/jack.h>

#include <string>
#include <vector>

namespace zentrova_live {

class jack_client {
public:
    // Throws user_error when no server runs or it refuses the client.
    explicit jack_client(const std::string &name);
    // Deactivates and closes: the server unregisters the ports with the client.
    ~jack_client();
    // After the server has gone: closing could wait for it forever, so the client is left as it
    // is (the process ends soon after).
    void abandon() {
        _client = nullptr;
        _active = false;
    }
    jack_client(const jack_client &) = delete;
    jack_client &operator=(const jack_client &) = delete;

    jack_client_t *get() const { return _client; }
    // The name the server gave (it may add a suffix when the name is taken).
    std::string name() const;
    double sample_rate() const;
    unsigned period() const;

    // Throws user_error when the server refuses the port.
    jack_port_t *register_port(const char *short_name, const char *type, unsigned long flags);
    void activate();
    void deactivate();

    // Connects one of our ports (its short name) with any other port, in the direction our
    // port's flags give. Throws user_error naming both when the server refuses.
    void connect(const std::string &own, const std::string &other);
    // Each of our ports named in `own` (short names, in order) to the physical port of the same
    // place and type on the other side: inputs from capture, outputs to playback. Ports beyond
    // the server's physical ones stay unconnected. Answers how many connections were made.
    int connect_physical(const std::vector<std::string> &own);

private:
    jack_client_t *_client = nullptr;
    bool _active = false;
};

}  // namespace zentrova_live
