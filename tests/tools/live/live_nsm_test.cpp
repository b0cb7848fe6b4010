// Session management: a fake NSM server (OSC on loopback, liblo) drives `zentrova live` through
// announce, open, an edit (a MIDI controller), save and quit (SIGTERM, as a manager ends its
// clients), and a second run, started by name alone as a manager starts it, reopens the saved
// state with the same settings.
#include "fake_nsm.h"
#include "jack_test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>

using namespace live_test;
namespace fs = std::filesystem;

namespace {

std::string zentrova() { return (build_dir() / "bin/zentrova").string(); }

std::string file_text(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string preset_show(const fs::path &file) {
    std::string text;
    FILE *pipe = popen((zentrova() + " preset show '" + file.string() + "'").c_str(), "r");
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
    pclose(pipe);
    return text;
}

// Announce and open as a manager does; answers false (with a failure recorded) when it goes wrong.
void open_session(fake_nsm &nsm, const std::string &executable, const fs::path &prefix, const std::string &id) {
    const auto announce = nsm.wait_for("/nsm/server/announce");
    ASSERT_TRUE(announce) << "no announcement";
    ASSERT_EQ(announce->strings.size(), 3u);
    EXPECT_EQ(announce->strings[0], "Zentrova");
    EXPECT_NE(announce->strings[1].find(":dirty:"), std::string::npos);
    EXPECT_EQ(announce->strings[1].find("optional-gui"), std::string::npos) << "zentrova live has no window";
    EXPECT_EQ(announce->strings[2], executable);
    ASSERT_EQ(announce->numbers.size(), 3u);
    EXPECT_EQ(announce->numbers[0], 1) << "NSM API major version";
    nsm.send("/reply", "ssss", "/nsm/server/announce", "welcome", "fake nsm", ":server-control:");
    nsm.send("/nsm/client/open", "sss", prefix.c_str(), "Zentrova", id.c_str());
    const auto opened = nsm.wait_for("/reply");
    ASSERT_TRUE(opened) << "open was not answered";
    EXPECT_EQ(opened->strings.at(0), "/nsm/client/open");
    // The JACK client takes the id the manager gave.
    EXPECT_TRUE(wait_for_port(id + ":midi_in"));
}

void save_session(fake_nsm &nsm) {
    nsm.send("/nsm/client/save", "");
    const auto saved = nsm.wait_for("/reply");
    ASSERT_TRUE(saved) << "save was not answered";
    EXPECT_EQ(saved->strings.at(0), "/nsm/client/save");
}

TEST(live_nsm, saves_in_the_session_and_reopens_the_same_settings) {
    jack_server server;
    ASSERT_TRUE(server.running());
    const fs::path prefix = scratch_dir() / "session" / "Zentrova.nABCD";
    fs::create_directories(prefix.parent_path());
    const fs::path state = prefix.string() + ".aupreset";
    const std::string id = "Zentrova.nABCD";
    std::string first_save;
    {
        // A first run: the command line's settings start the new session.
        fake_nsm nsm;
        program host({zentrova(), "live", "--set", "Start Formant=A", "--set", "Formant Resonance=0.9"},
                     {"NSM_URL=" + nsm.url()});
        open_session(nsm, "zentrova", prefix, id);
        EXPECT_FALSE(nsm.received("/nsm/client/is_dirty")) << "dirty before any edit";

        // An edit, here by MIDI: the manager hears of unsaved changes.
        {
            loop_clients clients({std::vector<float>(k_rate / 5)}, {{0, {0xB0, 1, 100}}});
            clients.connect_through(id);
            ASSERT_TRUE(clients.play());
        }
        EXPECT_TRUE(nsm.wait_for("/nsm/client/is_dirty")) << "the controller did not mark the session dirty";
        save_session(nsm);
        EXPECT_TRUE(nsm.wait_for("/nsm/client/is_clean")) << "saved, but still dirty";
        ASSERT_TRUE(fs::exists(state));
        first_save = file_text(state);
        EXPECT_EQ(host.stop(SIGTERM), 0) << host.error_output();
        EXPECT_FALSE(fs::exists(fs::path(id))) << "nothing is written to the working directory";
    }
    const std::string shown = preset_show(state);
    EXPECT_NE(shown.find("Start Formant          A"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Formant Resonance      0.9"), std::string::npos) << shown;
    EXPECT_NE(shown.find("MIDI Control           0.787"), std::string::npos) << shown;  // 100 / 127
    {
        // Started again by name alone, as a manager does: the session's file wins over defaults.
        fake_nsm nsm;
        program host({zentrova()}, {"NSM_URL=" + nsm.url()});
        open_session(nsm, "zentrova", prefix, id);
        save_session(nsm);
        EXPECT_EQ(file_text(state), first_save) << "the reopened state saves differently";
        EXPECT_FALSE(nsm.received("/nsm/client/is_dirty"));
        EXPECT_EQ(host.stop(SIGTERM), 0) << host.error_output();
    }
}

// A session file the effect cannot read is refused with NSM's "bad project" error, and the file
// is left as it was.
TEST(live_nsm, refuses_an_unreadable_session_file) {
    jack_server server;
    ASSERT_TRUE(server.running());
    const fs::path prefix = scratch_dir() / "Zentrova.nBAD";
    std::ofstream(prefix.string() + ".aupreset") << "not a property list";
    fake_nsm nsm;
    program host({zentrova(), "live"}, {"NSM_URL=" + nsm.url()});
    ASSERT_TRUE(nsm.wait_for("/nsm/server/announce"));
    nsm.send("/nsm/client/open", "sss", prefix.c_str(), "Zentrova", "Zentrova.nBAD");
    const auto error = nsm.wait_for("/error");
    ASSERT_TRUE(error) << host.error_output();
    EXPECT_EQ(error->strings.at(0), "/nsm/client/open");
    EXPECT_EQ(error->numbers.at(0), -9);
    EXPECT_EQ(file_text(prefix.string() + ".aupreset"), "not a property list");
    for (int i = 0; i < 200 && host.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(host.stop(SIGKILL, 0), 1) << "it should end by itself, with status 1";
}

// A manager that never opens a session does not keep the program waiting past SIGTERM.
TEST(live_nsm, a_signal_ends_the_wait_for_open) {
    fake_nsm nsm;
    program host({zentrova(), "live"}, {"NSM_URL=" + nsm.url()});
    ASSERT_TRUE(nsm.wait_for("/nsm/server/announce"));
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(host.stop(SIGTERM, 5), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(2));
    EXPECT_NE(host.error_output().find("before the session manager opened"), std::string::npos) << host.error_output();
}

}  // namespace
