#include "jack_test_support.h"

#include <gtest/gtest.h>
#include <jack/midiport.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace fs = std::filesystem;

namespace live_test {

namespace {

void quiet(const char *) {}

jack_client_t *open_client(const char *name) {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    return jack_client_open(name, JackNoStartServer, nullptr);
}

std::string test_name() {
    const auto *info = testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name();
}

// The child ends with the test process, however that ends (a failed assertion that aborts, a
// sanitizer's report, a timeout's kill): a dummy server left behind would keep one of the few
// places in JACK's machine-wide registry of servers.
int spawn(const std::vector<std::string> &arguments, const std::vector<std::string> &environment,
          const fs::path &error_file) {
    std::vector<char *> argv;
    for (const auto &a : arguments) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env_strings;
    for (char **e = environ; *e; ++e) env_strings.emplace_back(*e);
    env_strings.insert(env_strings.end(), environment.begin(), environment.end());
    std::vector<char *> envp;
    for (auto &e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: only async-signal-safe calls until exec.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);  // the parent is already gone
    const int null_out = open("/dev/null", O_WRONLY),
              err = open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (null_out >= 0) dup2(null_out, 1);
    if (err >= 0) dup2(err, 2);
    execvpe(argv[0], argv.data(), envp.data());
    _exit(127);
}

// Waits up to `seconds` for `pid` to end; answers its exit status, 128 + signal, or -1 while it runs.
int wait_exit(int pid, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

fs::path build_dir() { return std::getenv("ZENTROVA_BUILD_DIR"); }

fs::path scratch_dir() {
    std::string name = test_name();
    std::replace(name.begin(), name.end(), '/', '_');
    const fs::path dir = build_dir() / "tests-scratch" / "live" / name;
    static std::set<std::string> emptied;  // once per test: what it wrote there stays
    if (emptied.insert(name).second) fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

jack_server::jack_server(unsigned period) {
    // One name per test case and build tree: parallel cases, other build trees and other users of
    // the machine keep apart, and a case run again reclaims its own registry entry.
    // JACK makes semaphore names of it: letters, digits and dashes only, and short.
    std::string readable = test_name();
    for (char &c : readable)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
    if (readable.size() > 24) readable = readable.substr(readable.size() - 24);
    const std::size_t key = std::hash<std::string>{}(build_dir().string() + "\n" + test_name());
    std::ostringstream name;
    name << "zl-" << readable << "-" << std::hex << (key & 0xffffffff);
    setenv("JACK_DEFAULT_SERVER", name.str().c_str(), 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    const fs::path log = scratch_dir() / "jackd.err";
    _pid = spawn({"jackd", "--no-realtime", "-S", "-t", "5000", "-d", "dummy", "-r", std::to_string(k_rate), "-p",
                  std::to_string(period)},
                 {}, log);
    for (int i = 0; i < 100 && _pid > 0; ++i) {
        if (jack_client_t *probe = open_client("probe")) {
            jack_client_close(probe);
            return;
        }
        if (wait_exit(_pid, 0.1) != -1) break;
    }
    ADD_FAILURE() << "the dummy JACK server did not start";
    if (_pid > 0) kill(_pid, SIGKILL), wait_exit(_pid, 5);
    _pid = -1;
}

jack_server::~jack_server() {
    // Ended cleanly, so that its entry in JACK's registry of servers is freed.
    if (_pid > 0 && (kill(_pid, SIGTERM), wait_exit(_pid, 15)) == -1) kill(_pid, SIGKILL), wait_exit(_pid, 5);
}

program::program(const std::vector<std::string> &arguments, const std::vector<std::string> &environment) {
    static int count = 0;
    _stderr = scratch_dir() / (fs::path(arguments[0]).filename().string() + "-" + std::to_string(count++) + ".err");
    _pid = spawn(arguments, environment, _stderr);
}

program::~program() {
    if (_pid > 0) stop(SIGKILL, 5);
}

int program::stop(int signal, double seconds) {
    if (!running()) return _status;
    kill(_pid, signal);
    _status = wait_exit(_pid, seconds);
    if (_status == -1) {
        kill(_pid, SIGKILL);
        wait_exit(_pid, 5);
    }
    _pid = -1;
    return _status;
}

bool program::running() {
    if (_pid <= 0) return false;
    _status = wait_exit(_pid, 0);
    if (_status == -1) return true;
    _pid = -1;
    return false;
}

std::string program::error_output() const {
    std::ifstream in(_stderr);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool wait_for_port(const std::string &name, double seconds) {
    jack_client_t *client = open_client("port-probe");
    if (client == nullptr) return false;
    bool found = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!(found = jack_port_by_name(client, name.c_str()) != nullptr) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    jack_client_close(client);
    return found;
}

std::vector<std::string> connections_of(const std::string &port_name) {
    std::vector<std::string> names;
    jack_client_t *client = open_client("connection-probe");
    if (client == nullptr) return {"(no server)"};
    if (jack_port_t *port = jack_port_by_name(client, port_name.c_str())) {
        if (const char **list = jack_port_get_all_connections(client, port)) {
            for (const char **p = list; *p; ++p) names.emplace_back(*p);
            jack_free(list);
        }
    } else {
        names.push_back("(no port " + port_name + ")");
    }
    jack_client_close(client);
    std::sort(names.begin(), names.end());
    return names;
}

loop_clients::loop_clients(std::vector<std::vector<float>> signal, std::vector<midi_message> midi,
                           std::vector<std::vector<float>> key)
    : _signal(std::move(signal)), _key(std::move(key)), _midi(std::move(midi)) {
    _recording.assign(_signal.size(), std::vector<float>(_signal.front().size()));
    _player = open_client("player");
    _recorder = open_client("recorder");
    if (!_player || !_recorder) throw std::runtime_error("the test clients could not join the server");
    for (std::size_t c = 0; c < _signal.size(); ++c) {
        const std::string n = std::to_string(c + 1);
        _out[c] = jack_port_register(_player, ("out_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        _in[c] = jack_port_register(_recorder, ("in_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }
    for (std::size_t c = 0; c < _key.size(); ++c)
        _key_out[c] = jack_port_register(_player, ("key_" + std::to_string(c + 1)).c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsOutput, 0);
    _midi_out = jack_port_register(_player, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(_player, &loop_clients::play_period, this);
    jack_set_process_callback(_recorder, &loop_clients::record_period, this);
    jack_activate(_player);
    jack_activate(_recorder);
}

loop_clients::~loop_clients() {
    for (jack_client_t *c : {_player, _recorder})
        if (c) jack_deactivate(c), jack_client_close(c);
}

void loop_clients::connect_through(const std::string &host) {
    for (std::size_t c = 0; c < _signal.size(); ++c) {
        const std::string n = std::to_string(c + 1);
        EXPECT_EQ(jack_connect(_player, ("player:out_" + n).c_str(), (host + ":in_" + n).c_str()), 0);
        EXPECT_EQ(jack_connect(_player, (host + ":out_" + n).c_str(), ("recorder:in_" + n).c_str()), 0);
    }
    for (std::size_t c = 0; c < _key.size(); ++c) {
        const std::string n = std::to_string(c + 1);
        EXPECT_EQ(jack_connect(_player, ("player:key_" + n).c_str(), (host + ":key_" + n).c_str()), 0);
    }
    EXPECT_EQ(jack_connect(_player, "player:midi_out", (host + ":midi_in").c_str()), 0);
    // The host learns of connections on a thread of its own: give it a moment before the signal.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

bool loop_clients::play(double seconds) {
    _armed.store(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!_done.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return _done.load();
}

// [the player's process thread]
int loop_clients::play_period(jack_nframes_t frames, void *self) {
    auto *me = static_cast<loop_clients *>(self);
    const jack_nframes_t now = jack_last_frame_time(me->_player);
    if (me->_armed.load() && me->_start.load() < 0) me->_start.store(now);
    const std::int64_t start = me->_start.load();
    void *midi = jack_port_get_buffer(me->_midi_out, frames);
    jack_midi_clear_buffer(midi);
    const std::size_t length = me->_signal.front().size();
    const std::size_t at = start < 0 ? length : std::size_t(now - jack_nframes_t(start));
    for (std::size_t c = 0; c < me->_signal.size(); ++c) {
        auto *out = static_cast<float *>(jack_port_get_buffer(me->_out[c], frames));
        for (jack_nframes_t i = 0; i < frames; ++i) out[i] = at + i < length ? me->_signal[c][at + i] : 0.0f;
    }
    for (std::size_t c = 0; c < me->_key.size(); ++c) {
        auto *out = static_cast<float *>(jack_port_get_buffer(me->_key_out[c], frames));
        for (jack_nframes_t i = 0; i < frames; ++i) out[i] = at + i < length ? me->_key[c][at + i] : 0.0f;
    }
    if (start >= 0)
        for (const midi_message &m : me->_midi)
            if (m.period * frames == at) jack_midi_event_write(midi, 0, m.bytes.data(), m.bytes.size());
    return 0;
}

// [the recorder's process thread]
int loop_clients::record_period(jack_nframes_t frames, void *self) {
    auto *me = static_cast<loop_clients *>(self);
    const std::int64_t start = me->_start.load();
    if (start < 0 || me->_done.load()) return 0;
    const std::size_t at = jack_last_frame_time(me->_recorder) - jack_nframes_t(start);
    const std::size_t length = me->_recording.front().size();
    for (std::size_t c = 0; c < me->_recording.size(); ++c) {
        const auto *in = static_cast<const float *>(jack_port_get_buffer(me->_in[c], frames));
        for (jack_nframes_t i = 0; i < frames && at + i < length; ++i) me->_recording[c][at + i] = in[i];
    }
    if (at + frames >= length) me->_done.store(true);
    return 0;
}

void write_wav(const fs::path &path, const std::vector<std::vector<float>> &channels) {
    SF_INFO info{};
    info.channels = int(channels.size());
    info.samplerate = int(k_rate);
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    std::vector<float> interleaved(channels.size() * channels.front().size());
    for (std::size_t i = 0; i < channels.front().size(); ++i)
        for (std::size_t c = 0; c < channels.size(); ++c) interleaved[i * channels.size() + c] = channels[c][i];
    sf_writef_float(file, interleaved.data(), sf_count_t(channels.front().size()));
    sf_close(file);
}

std::vector<std::vector<float>> read_wav(const fs::path &path) {
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) return {};
    std::vector<float> interleaved(std::size_t(info.frames) * info.channels);
    sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    std::vector<std::vector<float>> channels(info.channels, std::vector<float>(std::size_t(info.frames)));
    for (std::size_t i = 0; i < std::size_t(info.frames); ++i)
        for (int c = 0; c < info.channels; ++c) channels[c][i] = interleaved[i * info.channels + c];
    return channels;
}

std::vector<std::vector<float>> process_offline(const std::vector<std::vector<float>> &input,
                                                const std::vector<std::string> &arguments) {
    const fs::path dir = scratch_dir();
    write_wav(dir / "in.wav", input);
    std::vector<std::string> command = {
        (build_dir() / "bin/zentrova").string(), "process", "-q", "--force", "--block", std::to_string(k_period)};
    command.insert(command.end(), arguments.begin(), arguments.end());
    command.push_back((dir / "in.wav").string());
    command.push_back((dir / "out.wav").string());
    program offline(command);
    while (offline.running()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return read_wav(dir / "out.wav");
}

long first_difference(const std::vector<float> &a, const std::vector<float> &b) {
    if (a.size() != b.size()) return long(std::min(a.size(), b.size()));
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) return long(i);
    return -1;
}

}  // namespace live_test
