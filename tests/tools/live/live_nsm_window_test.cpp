// `zentrova-editor` under a session manager (run on a virtual display): started by name alone it
// plays live, offers its window as an optional GUI, and the manager hides and shows it while the
// session goes on.
#include "fake_nsm.h"
#include "jack_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

using namespace live_test;

namespace {

// Whether a window of this title exists on the display.
bool window_exists(const std::string &title) {
    std::string tree;
    FILE *pipe = popen("xwininfo -root -tree 2>/dev/null", "r");
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) tree.append(buffer, n);
    pclose(pipe);
    return tree.find("\"" + title + "\"") != std::string::npos;
}

bool wait_for_window(const std::string &title, bool present) {
    for (int i = 0; i < 100; ++i) {
        if (window_exists(title) == present) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(live_nsm_window, the_manager_hides_and_shows_the_editor) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    jack_server server;
    ASSERT_TRUE(server.running());
    const std::filesystem::path prefix = scratch_dir() / "Zentrova.nGUI";
    fake_nsm nsm;
    program editor({(build_dir() / "bin/zentrova-editor").string()}, {"NSM_URL=" + nsm.url(), "ZENTROVA_SCALE=1"});
    const auto announce = nsm.wait_for("/nsm/server/announce");
    ASSERT_TRUE(announce) << editor.error_output();
    EXPECT_NE(announce->strings.at(1).find(":optional-gui:"), std::string::npos);
    EXPECT_EQ(announce->strings.at(2), "zentrova-editor");
    nsm.send("/reply", "ssss", "/nsm/server/announce", "welcome", "fake nsm", ":server-control:");
    nsm.send("/nsm/client/open", "sss", prefix.c_str(), "Zentrova", "Zentrova.nGUI");
    ASSERT_TRUE(nsm.wait_for("/reply")) << editor.error_output();
    const std::string title = "Zentrova (Zentrova.nGUI)";

    EXPECT_TRUE(nsm.wait_for("/nsm/client/gui_is_shown"));
    EXPECT_TRUE(wait_for_window(title, true)) << "the editor did not open";
    nsm.send("/nsm/client/hide_optional_gui", "");
    EXPECT_TRUE(nsm.wait_for("/nsm/client/gui_is_hidden"));
    EXPECT_TRUE(wait_for_window(title, false)) << "hidden, yet still there";
    EXPECT_TRUE(wait_for_port("Zentrova.nGUI:out_1")) << "hiding the window ended the sound";
    // Saved while hidden, then shown again.
    nsm.send("/nsm/client/save", "");
    const auto saved = nsm.wait_for("/reply");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->strings.at(0), "/nsm/client/save");
    EXPECT_TRUE(std::filesystem::exists(prefix.string() + ".aupreset"));
    nsm.send("/nsm/client/show_optional_gui", "");
    EXPECT_TRUE(nsm.wait_for("/nsm/client/gui_is_shown"));
    EXPECT_TRUE(wait_for_window(title, true)) << "shown, yet not there";
    EXPECT_EQ(editor.stop(SIGTERM), 0) << editor.error_output();
}

}  // namespace
