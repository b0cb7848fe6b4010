// What the live-host tests share: a dummy JACK server of the test's own, programs started and
// stopped as a user would, and in-process clients that play a known signal (and MIDI) into the
// host and record what it gives back, both aligned on the period the signal starts in.
#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace live_test {

inline constexpr unsigned k_rate = 48000, k_period = 256;

std::filesystem::path build_dir();
std::filesystem::path scratch_dir();  // a fresh folder for the running test

// A dummy JACK server, synchronous (a late client delays the period rather than losing it) and
// without real-time rights, under a name of the running test and this build tree, which the
// process's later clients (and the programs it starts) use.
class jack_server {
public:
    explicit jack_server(unsigned period = k_period);
    ~jack_server();
    bool running() const { return _pid > 0; }

private:
    int _pid = -1;
};

// A program started with arguments (and extra environment), its standard error kept in a file.
class program {
public:
    program(const std::vector<std::string> &arguments, const std::vector<std::string> &environment = {});
    ~program();
    // Sends `signal` and waits up to `seconds`; answers the exit status, 128 + the signal that
    // ended it, or -1 when it had to be killed. For a program that has ended: its status.
    int stop(int signal, double seconds = 10);
    bool running();
    std::string error_output() const;
    int pid() const { return _pid; }

private:
    int _pid = -1, _status = -1;
    std::filesystem::path _stderr;
};

// Waits until a port of this name exists on the server.
bool wait_for_port(const std::string &name, double seconds = 10);
// The full names of the ports connected to `port`, sorted.
std::vector<std::string> connections_of(const std::string &port);

struct midi_message {
    std::size_t period;  // counted from the start of the signal; sent at the period's first frame
    std::vector<std::uint8_t> bytes;
};

// Two clients: "player" (out_N, midi_out and, with a key, key_N) and "recorder" (in_N). Once armed, the
// player starts the signal at a period's first frame and the recorder records from that same
// period on, so a host in between that adds no latency is recorded aligned on the first frame.
class loop_clients {
public:
    loop_clients(std::vector<std::vector<float>> signal, std::vector<midi_message> midi = {},
                 std::vector<std::vector<float>> key = {});
    ~loop_clients();
    // Connects player:out_N to HOST:in_N and HOST:out_N to recorder:in_N for each channel of the
    // signal, player:midi_out to HOST:midi_in, and player:key_N to HOST:key_N for each of the key.
    void connect_through(const std::string &host);
    // Starts the signal and waits until the recording holds as many frames; false on a timeout.
    bool play(double seconds = 30);
    const std::vector<std::vector<float>> &recording() const { return _recording; }

private:
    static int play_period(jack_nframes_t frames, void *self);
    static int record_period(jack_nframes_t frames, void *self);

    std::vector<std::vector<float>> _signal, _key, _recording;
    std::vector<midi_message> _midi;
    jack_client_t *_player = nullptr, *_recorder = nullptr;
    jack_port_t *_out[2] = {}, *_in[2] = {}, *_key_out[2] = {}, *_midi_out = nullptr;
    std::atomic<bool> _armed{false}, _done{false};
    std::atomic<std::int64_t> _start{-1};
};

// Audio files as the command-line tool reads and writes them: 32-bit float WAV.
void write_wav(const std::filesystem::path &path, const std::vector<std::vector<float>> &channels);
std::vector<std::vector<float>> read_wav(const std::filesystem::path &path);

// `zentrova process IN OUT --block PERIOD ARGS...`; answers its output (empty on failure).
std::vector<std::vector<float>> process_offline(const std::vector<std::vector<float>> &input,
                                                const std::vector<std::string> &arguments);

// The first index where the two differ in their bits, or -1 when they are equal throughout.
long first_difference(const std::vector<float> &a, const std::vector<float> &b);

}  // namespace live_test
