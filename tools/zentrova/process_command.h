// `zentrova process`: one audio file through the effect, block by block.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zentrova_cli {

struct process_options {
    std::filesystem::path input, output;
    std::vector<std::string> sets;         // PARAM=VALUE, applied in order after the preset
    std::vector<std::string> automations;  // PARAM=T:V,T:V,...
    std::optional<std::filesystem::path> preset, save_preset;
    // The key: the envelope follows this file (mono or stereo, the input's rate) instead of the input.
    std::optional<std::filesystem::path> key;
    unsigned block = 512;
    double tail_seconds = 0;
    std::string bits;
    std::string stream_format;  // OUT "-": the format's extension; empty for the input's
    bool force = false;
    bool quiet = false;
    // When set, called with the fraction done instead of drawing a progress bar (batch workers).
    std::function<void(double)> report_progress;
    // When set, told the temporary output's name once it exists (batch workers: the parent removes
    // it should the worker be killed outright).
    std::function<void(const std::filesystem::path &)> report_temporary;
};

struct process_summary {
    double seconds = 0;  // audio rendered, tail included
    unsigned channels = 0;
    double sample_rate = 0;
    float peak_in = 0, peak_out = 0;
    unsigned long long clipped = 0;       // output samples at full scale
    unsigned long long non_finite_in = 0;  // NaN or infinite input samples (left out of peak_in)
    double real_time_factor = 0;
};

// Set from the handler of the signals that end a job (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1,
// SIGALRM, SIGPIPE); the processing loop stops at the next block and removes its temporary output.
// The exit status then is 128 plus the signal's number. A signal ignored when the tool started
// (nohup, a background job) stays ignored. `notify`, when given, is called from the handler too
// (so it must be async-signal-safe): a program that waits on something else wakes with it.
void install_interrupt_handler(void (*notify)() = nullptr);
// Takes the signals back from a library that set its own disposition for one since, or blocked it
// in the calling thread (libjack does both to SIGPIPE); those ignored when the tool started stay
// ignored.
void reinstall_interrupt_handler();
bool interrupted();
int interrupt_exit_status();

process_summary run_process(const process_options &options);
void print_summary(const process_options &options, const process_summary &summary);

}  // namespace zentrova_cli
