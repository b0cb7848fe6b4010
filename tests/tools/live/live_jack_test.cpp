// `zentrova live` on a dummy JACK server of each test's own: what it plays back against the
// command-line tool's rendering of the same signal, its MIDI against --automate, and which ports
// it connects.
#include "jack_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

using namespace live_test;

namespace {

std::string zentrova() { return (build_dir() / "bin/zentrova").string(); }

// Bursts of a decaying tone, each starting a sweep, different in the two channels.
std::vector<std::vector<float>> bursts(unsigned channels, double seconds) {
    const std::size_t frames = std::size_t(seconds * k_rate);
    std::vector<std::vector<float>> signal(channels, std::vector<float>(frames));
    for (unsigned c = 0; c < channels; ++c)
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = double(i % 12000) / k_rate;
            signal[c][i] = float(0.6 * std::exp(-t * 9) * std::sin(2 * M_PI * (110 + 55 * c) * double(i) / k_rate));
        }
    return signal;
}

const std::vector<std::string> sweep_settings = {
    "--set", "Envelope Type=Sweep Up", "--set", "Formant Filter Type=Four Stage BP",
    "--set", "Start Formant=OO",       "--set", "End Formant=EE",
    "--set", "Envelope Attack=40",     "--set", "Envelope Release=120",
    "--set", "Dry Output Level=-20",   "--set", "Trigger Sensitivity=-30"};

std::vector<std::string> live_command(const std::string &name, std::vector<std::string> extra) {
    std::vector<std::string> command = {zentrova(), "live", "--name", name};
    command.insert(command.end(), extra.begin(), extra.end());
    return command;
}

// Plays `signal` (and `midi`) through a running `zentrova live` named zl and answers what came back.
std::vector<std::vector<float>> play_through(program &host, const std::vector<std::vector<float>> &signal,
                                             std::vector<midi_message> midi = {},
                                             std::vector<std::vector<float>> key = {}) {
    EXPECT_TRUE(wait_for_port("zl:midi_in")) << host.error_output();
    loop_clients clients(signal, std::move(midi), std::move(key));
    clients.connect_through("zl");
    EXPECT_TRUE(clients.play()) << "the recording did not fill";
    return clients.recording();
}

void expect_bit_identical(const std::vector<std::vector<float>> &live, const std::vector<std::vector<float>> &offline) {
    ASSERT_EQ(live.size(), offline.size());
    for (std::size_t c = 0; c < live.size(); ++c) {
        const long at = first_difference(live[c], offline[c]);
        EXPECT_EQ(at, -1) << "channel " << c + 1 << " differs from frame " << at << " (period " << at / long(k_period)
                          << "): live " << live[c][at < 0 ? 0 : at] << ", offline " << offline[c][at < 0 ? 0 : at];
    }
}

class live_host : public testing::TestWithParam<unsigned> {};

// The recording equals `zentrova process --block PERIOD` of the same signal, bit for bit, from
// the first frame: the host renders each period as one block, adds no latency, and the
// periods of silence before the signal leave no trace.
TEST_P(live_host, plays_back_what_the_command_line_renders) {
    const unsigned channels = GetParam();
    jack_server server;
    ASSERT_TRUE(server.running());
    std::vector<std::string> extra = sweep_settings;
    extra.insert(extra.end(), {"--channels", std::to_string(channels)});
    program host(live_command("zl", extra));
    const auto signal = bursts(channels, 1.5);
    const auto live = play_through(host, signal);
    EXPECT_EQ(host.stop(SIGINT), 0) << host.error_output();
    EXPECT_NE(host.error_output().find("xrun"), std::string::npos) << "no xrun count reported at exit";

    const auto offline = process_offline(signal, sweep_settings);
    ASSERT_FALSE(offline.empty());
    expect_bit_identical(live, offline);
    double energy = 0;
    for (float x : live[0]) energy += double(x) * x;
    EXPECT_GT(energy, 1.0) << "the effect played silence";
}

// With signals on key_1 and key_2 the follower hears them instead of the input: the recording
// equals `zentrova process --key` of the same files. (Unconnected, the tests above show the keyed
// component playing as the plain effect.)
TEST_P(live_host, follows_a_key_on_its_key_ports) {
    const unsigned channels = GetParam();
    jack_server server;
    ASSERT_TRUE(server.running());
    std::vector<std::string> extra = sweep_settings;
    extra.insert(extra.end(), {"--channels", std::to_string(channels)});
    program host(live_command("zl", extra));
    const auto signal = bursts(channels, 1.0);
    // The key: bursts at another pace, so the sweeps start where the input has none.
    std::vector<std::vector<float>> key(channels, std::vector<float>(signal[0].size()));
    for (auto &k : key)
        for (std::size_t i = 0; i < k.size(); ++i) k[i] = (i % 7000) < 400 ? 0.8f * float((i % 13) / 6.0 - 1.0) : 0.0f;
    const auto live = play_through(host, signal, {}, key);
    EXPECT_EQ(host.stop(SIGINT), 0) << host.error_output();
    write_wav(scratch_dir() / "key.wav", key);
    std::vector<std::string> keyed = sweep_settings;
    keyed.insert(keyed.end(), {"--key", (scratch_dir() / "key.wav").string()});
    const auto offline = process_offline(signal, keyed);
    ASSERT_FALSE(offline.empty());
    expect_bit_identical(live, offline);
    EXPECT_NE(first_difference(process_offline(signal, sweep_settings)[0], live[0]), -1) << "the key changed nothing";
}

INSTANTIATE_TEST_SUITE_P(channels, live_host, testing::Values(2u, 1u),
                         [](const auto &info) { return info.param == 2 ? "stereo" : "mono"; });

// A controller stream moves the MIDI sweep exactly as the same values set with --automate, each
// from the start of the period it arrives in; the controller number is --midi-cc's.
TEST(live_midi, controller_stream_equals_automation) {
    jack_server server;
    ASSERT_TRUE(server.running());
    const std::vector<std::string> settings = {
        "--set", "Envelope Type=MIDI",  "--set", "Formant Filter Type=Three Stage BP",
        "--set", "Start Formant=U",     "--set", "End Formant=A",
        "--set", "Dry Output Level=-80"};
    std::vector<std::string> extra = settings;
    extra.insert(extra.end(), {"--midi-cc", "11"});
    program host(live_command("zl", extra));

    // A rise and fall over 1.5 s, a new value every third period (controller 1 meanwhile, which
    // must change nothing), starting at 0 as the parameter does.
    const auto signal = bursts(2, 1.5);
    const std::size_t periods = signal[0].size() / k_period;
    std::vector<midi_message> midi;
    std::string points;
    int value = 0;
    for (std::size_t p = 0; p < periods; ++p) {
        if (p % 3 == 0) {
            value = int(127 * std::sin(M_PI * double(p) / double(periods)));
            midi.push_back({p, {0xB0, 11, std::uint8_t(value)}});
        } else {
            midi.push_back({p, {0xB0, 1, std::uint8_t(127 - value)}});
        }
        // Held from half a period before this period's start to half a period after it.
        char point[96];
        const double from = p == 0 ? 0 : (double(p) - 0.49) * k_period / k_rate,
                     to = (double(p) + 0.49) * k_period / k_rate;
        std::snprintf(point, sizeof point, "%s%.9g:%.9g,%.9g:%.9g", p ? "," : "", from, double(float(value) / 127.0f),
                      to, double(float(value) / 127.0f));
        points += point;
    }
    const auto live = play_through(host, signal, midi);
    EXPECT_EQ(host.stop(SIGTERM), 0) << host.error_output();

    std::vector<std::string> automated = settings;
    automated.insert(automated.end(), {"--automate", "MIDI Control=" + points});
    const auto offline = process_offline(signal, automated);
    ASSERT_FALSE(offline.empty());
    expect_bit_identical(live, offline);
    // And the stream did move the sweep: without it the output differs.
    const auto still = process_offline(signal, settings);
    EXPECT_NE(first_difference(still[0], live[0]), -1) << "the controller changed nothing";
}

struct connection_case {
    const char *name;
    std::vector<std::string> arguments;
    std::vector<std::pair<std::string, std::vector<std::string>>> expected;  // our port, what it joins
};

void PrintTo(const connection_case &c, std::ostream *out) { *out << c.name; }

class live_connections : public testing::TestWithParam<connection_case> {};

// Only what is asked for: nothing by default, each --connect, or --autoconnect's physical ports.
TEST_P(live_connections, connects_only_what_was_asked) {
    const connection_case &c = GetParam();
    jack_server server;
    ASSERT_TRUE(server.running());
    program host(live_command("zl", c.arguments));
    ASSERT_TRUE(wait_for_port("zl:midi_in")) << host.error_output();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // connections come after the ports
    for (const auto &[port, joined] : c.expected)
        EXPECT_EQ(connections_of("zl:" + port), joined) << port << " with " << testing::PrintToString(c.arguments);
    EXPECT_EQ(host.stop(SIGINT), 0) << host.error_output();
}

const std::vector<std::string> none;
INSTANTIATE_TEST_SUITE_P(
    cases, live_connections,
    testing::Values(
        connection_case{"none",
                        {},
                        {{"in_1", none},
                         {"in_2", none},
                         {"out_1", none},
                         {"out_2", none},
                         {"midi_in", none},
                         {"key_1", none},
                         {"key_2", none}}},
        connection_case{
            "connect",
            {"--connect", "in_2=system:capture_1", "--connect", "out_1=system:playback_2"},
            {{"in_1", none}, {"in_2", {"system:capture_1"}}, {"out_1", {"system:playback_2"}}, {"out_2", none}}},
        connection_case{"autoconnect",
                        {"--autoconnect"},
                        {{"in_1", {"system:capture_1"}},
                         {"in_2", {"system:capture_2"}},
                         {"out_1", {"system:playback_1"}},
                         {"out_2", {"system:playback_2"}},
                         {"midi_in", none},
                         {"key_1", none},
                         {"key_2", none}}},
        connection_case{"autoconnect_mono",
                        {"--autoconnect", "--channels", "1"},
                        {{"in_1", {"system:capture_1"}},
                         {"out_1", {"system:playback_1"}},
                         {"key_1", none},
                         {"in_2", {"(no port zl:in_2)"}},
                         {"key_2", {"(no port zl:key_2)"}}}}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace

namespace {

// Program change N loads the Nth factory preset by name (0 Slow Vowel Morph, 1 Subtle Wah,
// 2 Talk-Box Sweep): sent with the signal's first period, it plays as --preset of that file.
TEST(live_midi, program_change_loads_the_factory_preset) {
    jack_server server;
    ASSERT_TRUE(server.running());
    program host(live_command("zl", {"--set", "Formant Level=-80"}));
    const auto signal = bursts(2, 1.0);
    const auto live = play_through(host, signal, {{0, {0xC2, 2}}});
    EXPECT_EQ(host.stop(SIGINT), 0) << host.error_output();
    const auto offline = process_offline(
        signal, {"--preset", (build_dir() / "share/zentrova/presets/talk_box_sweep.aupreset").string()});
    ASSERT_FALSE(offline.empty());
    expect_bit_identical(live, offline);
}

}  // namespace

namespace {

struct refusal_case {
    const char *name;
    bool server;  // whether a server runs
    std::vector<std::string> arguments;
    const char *message;
};
void PrintTo(const refusal_case &c, std::ostream *out) { *out << c.name; }

class live_refusals : public testing::TestWithParam<refusal_case> {};

// What it cannot do ends it at once with status 1 and a line saying why, its ports gone.
TEST_P(live_refusals, ends_with_a_reason) {
    const refusal_case &c = GetParam();
    std::optional<jack_server> server;
    if (c.server) {
        server.emplace();
        ASSERT_TRUE(server->running());
    } else {
        setenv("JACK_DEFAULT_SERVER", "zl-no-server-here", 1);  // nothing answers to this name
    }
    program host(live_command("zl", c.arguments));
    for (int i = 0; i < 200 && host.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(host.stop(SIGKILL, 0), 1);
    EXPECT_NE(host.error_output().find(c.message), std::string::npos) << host.error_output();
    if (c.server) {
        EXPECT_EQ(connections_of("zl:in_1"), std::vector<std::string>{"(no port zl:in_1)"});
    }
}

INSTANTIATE_TEST_SUITE_P(
    cases, live_refusals,
    testing::Values(refusal_case{"no_server", false, {}, "no JACK server is running"},
                    refusal_case{
                        "unknown_other_port", true, {"--connect", "in_1=nowhere:out"}, "no JACK port \"nowhere:out\""},
                    refusal_case{"unknown_own_port", true, {"--connect", "in_3=system:capture_1"}, "no port \"in_3\""},
                    refusal_case{"not_an_assignment", true, {"--connect", "in_1"}, "--connect takes PORT=OTHER"},
                    refusal_case{"bad_setting", true, {"--set", "Start Formant=Q"}, "Start Formant"}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The server going away ends the host by itself, with status 1 and a reason, not a hang.
TEST(live_host_server, ends_when_the_server_goes) {
    std::optional<jack_server> server(std::in_place);
    ASSERT_TRUE(server->running());
    program host(live_command("zl", {}));
    // Once it plays: its ports appear before it is active.
    for (int i = 0; i < 200 && host.error_output().find("playing as") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(host.error_output().find("playing as"), std::string::npos) << host.error_output();
    server.reset();
    for (int i = 0; i < 100 && host.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(host.stop(SIGKILL, 0), 1) << "still running, or ended otherwise, 5 s after the server";
    EXPECT_NE(host.error_output().find("the JACK server went away"), std::string::npos) << host.error_output();
}

}  // namespace
