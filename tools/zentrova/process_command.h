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
// (nohup, a background job) stays ignored.
void install_interrupt_handler();
bool interrupted();
int interrupt_exit_status();

process_summary run_process(const process_options &options);
void print_summary(const process_options &options, const process_summary &summary);

}  // namespace zentrova_cli
