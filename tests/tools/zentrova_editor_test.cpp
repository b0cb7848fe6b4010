// zentrova-editor as a user runs it: the file rules it shares with zentrova process, and a take
// that is finished whole however the session ends (a signal, the X display gone, a full disk).
#include "tests/support/private_display.h"
#include "tests/tools/tool_runs.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path editor() { return fs::path(std::getenv("ZENTROVA_BUILD_DIR")) / "bin" / "zentrova-editor"; }
using tool_test::quoted;
using tool_test::result;

// Under `prefix` (limits, environment), with no JACK server to find and fonts' caches out of the
// leak checker's way.
std::string command_line(const std::string &prefix, const std::string &arguments) {
    return prefix + " JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER=zentrova-none exec " + editor().string() + " " +
           arguments;
}

result run(const std::string &prefix, const std::string &arguments) {
    return tool_test::run_shell("(" + command_line(prefix, arguments) + ")");
}

std::string text_of(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Frames of a readable audio file; -1 when it cannot be read.
long long frames_of(const fs::path &p, int *rate = nullptr) {
    SF_INFO info{};
    SNDFILE *f = sf_open(p.c_str(), SFM_READ, &info);
    if (f == nullptr) return -1;
    sf_close(f);
    if (rate) *rate = info.samplerate;
    return info.frames;
}

void write_tone(const fs::path &p, int frames) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = 48000;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *f = sf_open(p.c_str(), SFM_WRITE, &info);
    std::vector<float> x(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) x[std::size_t(i)] = 0.5f * float(std::sin(i * 0.05));
    sf_writef_float(f, x.data(), frames);
    sf_close(f);
}

class ZentrovaEditor : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("zentrova-editor-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder / "config");
        input = folder / "in.wav";
        write_tone(input, 4800);
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        // Under the leak checker, its list of suppressions used would add lines to the one-line messages.
        if (const char *lsan = std::getenv("LSAN_OPTIONS"); lsan && !std::strstr(lsan, "print_suppressions"))
            setenv("LSAN_OPTIONS", (std::string(lsan) + ":print_suppressions=0").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(folder); }

    // Hidden files: a temporary left behind.
    std::vector<std::string> hidden_files() const {
        std::vector<std::string> names;
        for (const auto &entry : fs::directory_iterator(folder))
            if (entry.path().filename().string()[0] == '.') names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path folder, input;
};

}  // namespace

// Offline (--snapshot): what may be written where, checked before anything renders, and the take
// written whole however fast the render runs.
TEST_F(ZentrovaEditor, FilesFollowTheRulesOfZentrovaProcess) {
    const fs::path png = folder / "editor.png", take = folder / "take.wav", mine = folder / "mine.txt";
    std::ofstream(mine) << "mine";
    fs::create_symlink(mine, folder / "link.png");
    std::ofstream(folder / "old.png") << "old picture";
    std::ofstream(folder / "old.wav") << "old take";
    // A WAV header that claims 1.2 GB of audio over a sparse file: the editor must refuse it, not
    // try to hold it.
    const fs::path huge = folder / "huge.wav";
    {
        write_tone(huge, 16);
        std::fstream f(huge, std::ios::in | std::ios::out | std::ios::binary);
        const uint32_t bytes = 1200000000u, riff = bytes + 36;
        f.seekp(4);
        f.write(reinterpret_cast<const char *>(&riff), 4);
        std::string header = text_of(huge);
        const auto data = header.find("data");
        f.seekp(std::streamoff(data + 4));
        f.write(reinterpret_cast<const char *>(&bytes), 4);
        f.close();
        fs::resize_file(huge, data + 8 + bytes);
    }
    const std::string seconds = " --seconds 0.05";
    struct file_case {
        std::string prefix, arguments;
        int status;
        std::string message;
        std::function<void()> check;
    } cases[] = {
        // 1: the snapshot: never onto the input, an existing file or through a link.
        {"", quoted(input) + " --snapshot " + quoted(input) + " --force" + seconds, 1, "is the input file",
         [&] { EXPECT_EQ(frames_of(input), 4800); }},
        {"", "--snapshot " + quoted(folder / "old.png") + seconds, 1, "exists; use --force",
         [&] { EXPECT_EQ(text_of(folder / "old.png"), "old picture"); }},
        {"", "--snapshot " + quoted(folder / "link.png") + " --force" + seconds, 0, "",
         [&] {
             EXPECT_EQ(text_of(mine), "mine");
             EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "link.png")));
         }},
        {"", "--record " + quoted(take) + " --snapshot " + quoted(folder / "." / "take.wav") + seconds, 1,
         "name the same file", [&] { EXPECT_FALSE(fs::exists(take)); }},
        // 2: the take: the same rules.
        {"", "--record " + quoted(folder / "old.wav") + " --snapshot " + quoted(png) + seconds, 1, "exists; use --force",
         [&] { EXPECT_EQ(text_of(folder / "old.wav"), "old take"); }},
        {"", quoted(input) + " --record " + quoted(input) + " --force --snapshot " + quoted(png) + seconds, 1,
         "is the input file", [&] { EXPECT_EQ(frames_of(input), 4800); }},
        // 3: offline the renderer waits for the writer: two minutes of FLAC, every frame.
        {"", "--record " + quoted(folder / "long.flac") + " --snapshot " + quoted(png) + " --seconds 120", 0, "",
         [&] { EXPECT_GE(frames_of(folder / "long.flac"), 120 * 48000); }},
        // 5: refused before any audio renders (no take), in one line, with the cause.
        {"", "--record " + quoted(take) + " --snapshot " + quoted(folder / "nowhere" / "e.png") + seconds, 1,
         "does not exist", [&] { EXPECT_FALSE(fs::exists(take)); }},
        {"", "--seconds nan --snapshot " + quoted(png), 1, "--seconds: must be a number of seconds", {}},
        {"", "--seconds -1 --snapshot " + quoted(png), 1, "--seconds: must be a number of seconds", {}},
        {"", "--scale nan --snapshot " + quoted(png), 1, "--scale: must be a number from 0.5 to 8", {}},
        {"ulimit -f 1; trap '' XFSZ;", "--snapshot " + quoted(png) + seconds, 1,
         "cannot write \"" + png.string() + "\": File too large", {}},
        {"", quoted(huge) + " --snapshot " + quoted(png) + seconds, 1, "is too long for the editor", {}},
    };
    for (const auto &c : cases) {
        fs::remove(png);
        const auto r = run(c.prefix, c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.output;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.arguments << "\n" << r.output;
        if (c.status != 0) {
            EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << c.arguments << "\n" << r.output;
            EXPECT_FALSE(fs::exists(png)) << c.arguments;
        }
        EXPECT_EQ(hidden_files(), std::vector<std::string>{}) << c.arguments;
        if (c.check) c.check();
    }
}

// 4: live, in a window on an X server of the test's own: every signal that would end the session,
// the server itself going away, and a disk that fills: the take is finished and valid (or, when it
// cannot be written, gone), nothing hidden stays, and the status says how it ended.
TEST_F(ZentrovaEditor, ALiveTakeIsFinishedHoweverTheSessionEnds) {
    constexpr int display_lost = 0, disk_full = -1;
    const struct live_case {
        int ending;  // a signal, or one of the two above
        int status;
        std::string message;
    } cases[] = {
        {SIGHUP, 128 + SIGHUP, ""},   {SIGQUIT, 128 + SIGQUIT, ""}, {SIGUSR1, 128 + SIGUSR1, ""},
        {SIGALRM, 128 + SIGALRM, ""}, {SIGPIPE, 128 + SIGPIPE, ""}, {SIGTERM, 128 + SIGTERM, ""},
        {SIGINT, 128 + SIGINT, ""},   {display_lost, 1, "lost the connection to the X display; the take"},
        {disk_full, 1, "File too large"},
    };
    for (const auto &c : cases) {
        test_support::private_display display(181);
        if (display.name().empty()) GTEST_SKIP() << "needs xvfb-run";
        const fs::path take = folder / "take.wav", log = folder / "editor.log";
        fs::remove(take);
        const std::string prefix = std::string(c.ending == disk_full ? "ulimit -f 64; trap '' XFSZ;" : "") +
                                   " " + display.environment();
        const std::string arguments = "--record " + quoted(take) + (c.ending == disk_full ? " --seconds 2" : "") +
                                      " >" + quoted(log) + " 2>&1";
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Whatever the test's own parent ignores, the editor starts with the defaults.
            for (int signal : {SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, SIGPIPE, SIGTERM, SIGINT}) std::signal(signal, SIG_DFL);
            ::execl("/bin/sh", "sh", "-c", command_line(prefix, arguments).c_str(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        if (c.ending != disk_full) {
            // A take under way (its hidden file past a tenth of a second of audio, however slowly the
            // editor reached its audio), then half a second more, then the ending.
            const auto take_bytes = [&] {
                std::error_code ec;
                for (const auto &name : hidden_files())
                    if (const auto size = fs::file_size(folder / name, ec); !ec) return size;
                return std::uintmax_t(0);
            };
            for (int i = 0; i < 1000 && take_bytes() < 48000 * 2 * 4 / 10; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            if (c.ending == display_lost) display.end();
            else ::kill(child, c.ending);
        }
        int status = 0;
        for (int i = 0; i < 600 && ::waitpid(child, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (::waitpid(child, &status, WNOHANG) == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ADD_FAILURE() << c.ending << ": the editor did not end within 30 s";
            continue;
        }
        const std::string said = text_of(log);
        // Killed by the signal reads as -signal: a fault, as much as a wrong status.
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), c.status) << c.ending << ": " << said;
        EXPECT_NE(said.find(c.message), std::string::npos) << c.ending << ": " << said;
        if (c.ending == disk_full) EXPECT_FALSE(fs::exists(take));
        else EXPECT_GT(frames_of(take), 4800) << c.ending << ": " << said;
        EXPECT_EQ(hidden_files(), std::vector<std::string>{}) << c.ending;
        for (const auto &name : hidden_files()) fs::remove(folder / name);  // the next case starts clean
    }
}
