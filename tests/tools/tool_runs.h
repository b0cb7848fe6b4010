// What the tests of the command-line tools share: running a command as a user's shell would, with
// what it printed, and reading the audio it wrote.
#pragma once

#include <sndfile.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tool_test {

struct result {
    int status = -1;
    std::string output;  // stdout and stderr together
};

// `command_line` under /bin/sh; the exit status, or -1 when a signal ended it.
inline result run_shell(const std::string &command_line) {
    FILE *pipe = popen((command_line + " 2>&1").c_str(), "r");
    result r;
    if (pipe == nullptr) return r;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) r.output.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline std::string quoted(const std::filesystem::path &p) { return "'" + p.string() + "'"; }

// The interleaved samples of an audio file; empty when it cannot be read.
inline std::vector<float> read_audio(const std::filesystem::path &path, SF_INFO *info_out = nullptr) {
    SF_INFO info{};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) return {};
    std::vector<float> data(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(f, data.data(), info.frames);
    sf_close(f);
    if (info_out) *info_out = info;
    return data;
}

}  // namespace tool_test
