// An X server of the test's own, started with xvfb-run and ended by the test when it chooses: for
// what a program does when its display goes away. Display numbers from `first` up (-a moves on
// past any taken), apart from those of the other window tests.
#pragma once

#include <csignal>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace test_support {

class private_display {
public:
    explicit private_display(int first) {
        if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0) return;
        _file = std::filesystem::temp_directory_path() / ("zentrova-display-" + std::to_string(::getpid()));
        std::filesystem::remove(_file);
        _pid = ::fork();
        if (_pid == 0) {
            ::setpgid(0, 0);  // xvfb-run, its server and its command: one group, ended together
            const std::string number = std::to_string(first);
            const std::string command = "echo \"$DISPLAY $XAUTHORITY\" > '" + _file.string() + "'; exec sleep 600";
            ::execlp("xvfb-run", "xvfb-run", "-a", "-n", number.c_str(), "-s", "-screen 0 1024x768x24 -nolisten tcp",
                     "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        if (_pid > 0) ::setpgid(_pid, _pid);
        for (int i = 0; i < 200 && _pid > 0 && _name.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::ifstream(_file) >> _name >> _authority;
        }
    }
    ~private_display() { end(); }
    private_display(const private_display &) = delete;
    private_display &operator=(const private_display &) = delete;

    // ":181"; empty when xvfb-run is missing or the server did not start.
    const std::string &name() const { return _name; }
    // Where a client finds it: "DISPLAY=... XAUTHORITY=..." for a shell, or set in this process.
    std::string environment() const { return "DISPLAY=" + _name + " XAUTHORITY=" + _authority; }
    void use() const {
        setenv("DISPLAY", _name.c_str(), 1);
        setenv("XAUTHORITY", _authority.c_str(), 1);
    }

    // The server, xvfb-run and its command all go, as when a session ends.
    void end() {
        if (_pid <= 0) return;
        ::kill(-_pid, SIGTERM);
        int status = 0;
        ::waitpid(_pid, &status, 0);
        _pid = -1;
        std::filesystem::remove(_file);
    }

private:
    pid_t _pid = -1;
    std::filesystem::path _file;
    std::string _name, _authority;
};

}  // namespace test_support
