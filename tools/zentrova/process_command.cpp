#include "process_command.h"

#include "audio_files.h"
#include "cli_errors.h"
#include "effect_host.h"
#include "file_paths.h"
#include "parameter_values.h"
#include "preset_files.h"
#include "progress.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <optional>

namespace zentrova_cli {
namespace {

std::atomic<int> interrupt_signal{0};
std::atomic<void (*)()> interrupt_notify{nullptr};

extern "C" void on_interrupt(int signal) {
    interrupt_signal.store(signal);
    if (void (*notify)() = interrupt_notify.load()) notify();
}

// The largest render size: far beyond any host's, and small enough that the buffers stay modest.
constexpr unsigned max_block = 1u << 20;
// The most silence --tail renders: over 12 hours at 48 kHz, 35 minutes at the highest rate.
constexpr long long max_tail_frames = 1LL << 31;

double dbfs(float peak) { return peak > 0 ? 20.0 * std::log10(peak) : -INFINITY; }

}  // namespace

namespace {
// The signals that end a job, and which of them the handler took (those not ignored at start).
constexpr int interrupt_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, SIGPIPE};
bool handled[std::size(interrupt_signals)] = {};

void set_handler(int signal) {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}
}  // namespace

void install_interrupt_handler(void (*notify)()) {
    interrupt_notify.store(notify);
    // Every signal whose default would kill us mid-file stops the job instead, so its temporary goes
    // too: a closed terminal (SIGHUP) or pipe (SIGPIPE), Ctrl-\, kill, timers.
    for (std::size_t i = 0; i < std::size(interrupt_signals); ++i) {
        struct sigaction previous {};
        if (sigaction(interrupt_signals[i], nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        set_handler(interrupt_signals[i]);
        handled[i] = true;
    }
}

void reinstall_interrupt_handler() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (std::size_t i = 0; i < std::size(interrupt_signals); ++i)
        if (handled[i]) {
            set_handler(interrupt_signals[i]);
            sigaddset(&blocked, interrupt_signals[i]);
        }
    pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
}

bool interrupted() { return interrupt_signal.load() != 0; }

int interrupt_exit_status() { return 128 + interrupt_signal.load(); }

process_summary run_process(const process_options &options) {
    if (options.block == 0 || options.block > max_block)
        throw user_error("--block must be between 1 and " + std::to_string(max_block) + " frames");
    if (!(options.tail_seconds >= 0) || options.tail_seconds > 3600)
        throw user_error("--tail must be between 0 and 3600 seconds");
    check_output_path(options.input, options.output, options.force);
    auto names_audio_file = [&](const std::filesystem::path &audio) {
        return !is_standard_stream(audio) && same_file(*options.save_preset, audio);
    };
    if (options.save_preset && (names_audio_file(options.input) || names_audio_file(options.output)))
        throw user_error("the preset \"" + options.save_preset->string() + "\" would replace an audio file of this run");
    audio_reader reader(options.input);
    const unsigned channels = reader.channels();
    const double rate = reader.sample_rate();
    const long long input_frames = reader.frames();
    const long long tail_frames = static_cast<long long>(std::llround(options.tail_seconds * rate));
    if (tail_frames > max_tail_frames) {
        char text[160];
        std::snprintf(text, sizeof text, "--tail %g s at %.0f Hz is more than %lld frames of silence",
                      options.tail_seconds, rate, max_tail_frames);
        throw user_error(text);
    }

    // The key, read in step with the input. What remains of it after the input and the tail is
    // never read: the output is as long as the input and the tail, whatever the key's length.
    std::optional<audio_reader> key_reader;
    if (options.key) {
        if (same_file(*options.key, options.output))
            throw user_error("the key \"" + options.key->string() + "\" is the output file; choose another name");
        key_reader.emplace(*options.key);
        if (key_reader->sample_rate() != rate) {
            auto hz = [](double r) { return std::to_string(std::llround(r)) + " Hz"; };
            throw user_error("the key \"" + options.key->string() + "\" is at " + hz(key_reader->sample_rate()) +
                             " and the input \"" + options.input.string() + "\" at " + hz(rate) +
                             ": they must be the same");
        }
    }

    effect_host host(key_reader.has_value());
    std::vector<assignment> sets;
    std::vector<automation> automations;
    for (const auto &text : options.sets) sets.push_back(parse_assignment(host.parameters(), text));
    for (const auto &text : options.automations) automations.push_back(parse_automation(host.parameters(), text));

    // The host raises the unit's maximum render size to fit the chosen block.
    host.configure(reader.sample_rate(), channels, std::max(options.block, 1156u));
    if (key_reader) host.configure_key(key_reader->channels());
    if (options.preset) restore_preset(host, *options.preset);
    for (const auto &a : sets) host.set_parameter(a.id, a.value);
    for (const auto &a : automations) host.set_parameter(a.id, a.value_at(0.0));
    host.initialize();
    // The state the render starts from: the preset, the --set values and the automation's start.
    // It is put in place only once the output is, so a failed or interrupted run leaves neither.
    std::optional<preset_file_writer> preset;
    if (options.save_preset) {
        CFPropertyListRef state = host.copy_state();
        try {
            preset.emplace(*options.save_preset, state, options.force);
        } catch (...) {
            CFRelease(state);
            throw;
        }
        CFRelease(state);
    }

    audio_writer writer(options.output, channels, rate, options.bits, reader.format(),
                        reader.length_known() ? input_frames + tail_frames : -1, options.force, options.stream_format);
    if (options.report_temporary) options.report_temporary(writer.temporary());

    const unsigned block = options.block;
    std::vector<float> in_memory(static_cast<std::size_t>(block) * channels),
        out_memory(static_cast<std::size_t>(block) * channels);
    float *in[2] = {in_memory.data(), in_memory.data() + (channels > 1 ? block : 0)};
    float *out[2] = {out_memory.data(), out_memory.data() + (channels > 1 ? block : 0)};
    const unsigned key_channels = key_reader ? key_reader->channels() : 0;
    std::vector<float> key_memory(static_cast<std::size_t>(block) * key_channels);
    float *key[2] = {key_memory.data(), key_memory.data() + (key_channels > 1 ? block : 0)};
    bool key_ended = false;

    const double expected = static_cast<double>(std::max(1LL, input_frames + tail_frames));

    process_summary summary;
    summary.channels = channels;
    summary.sample_rate = rate;
    // A pipe's length is unknown, and so is how far along the job is.
    progress_bar progress(!options.quiet && !options.report_progress && reader.length_known());
    const auto started = std::chrono::steady_clock::now();

    long long done = 0, read_frames = 0, tail_left = tail_frames;
    bool input_ended = false;
    while (!interrupted()) {
        unsigned frames = 0;
        if (!input_ended) {
            frames = reader.read(in, block);
            read_frames += frames;
            if (frames < block) input_ended = true;
            // An empty input would give an empty (for some containers, unreadable) output.
            if (input_ended && read_frames == 0)
                throw user_error("\"" + options.input.string() + "\" holds no audio samples");
        }
        if (frames < block && tail_left > 0) {
            const unsigned silence = static_cast<unsigned>(std::min<long long>(block - frames, tail_left));
            for (unsigned c = 0; c < channels; ++c) std::fill(in[c] + frames, in[c] + frames + silence, 0.0f);
            frames += silence;
            tail_left -= silence;
        }
        if (frames == 0) break;

        if (key_reader) {
            // A key shorter than the input goes on as silence.
            const unsigned got = key_ended ? 0 : key_reader->read(key, frames);
            if (got < frames) {
                for (unsigned c = 0; c < key_channels; ++c) std::fill(key[c] + got, key[c] + frames, 0.0f);
                if (!key_ended && done + got < input_frames)
                    std::fprintf(stderr,
                                 "%szentrova: note: the key \"%s\" ends at %.2f s, before the input; it goes on "
                                 "as silence\n",
                                 options.quiet || options.report_progress ? "" : "\n", options.key->c_str(),
                                 static_cast<double>(done + got) / rate);
                key_ended = true;
            }
        }
        for (const auto &a : automations) host.set_parameter(a.id, a.value_at_frame(done, rate));
        host.render(in, out, frames, key_reader ? key : nullptr);

        for (unsigned c = 0; c < channels; ++c)
            for (unsigned i = 0; i < frames; ++i) {
                if (std::isfinite(in[c][i]))
                    summary.peak_in = std::max(summary.peak_in, std::fabs(in[c][i]));
                else
                    ++summary.non_finite_in;
                const float y = std::fabs(out[c][i]);
                summary.peak_out = std::max(summary.peak_out, y);
                summary.clipped += y >= 1.0f;
            }
        writer.write(out, frames);
        done += frames;
        if (options.report_progress)
            options.report_progress(static_cast<double>(done) / expected);
        else
            progress.update(static_cast<double>(done) / expected);
    }
    progress.finish();
    if (interrupted()) {
        writer.discard();
        throw user_error("interrupted; \"" + options.output.string() + "\" was not written");
    }
    writer.commit();
    if (preset) preset->commit();

    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    summary.seconds = static_cast<double>(done) / rate;
    summary.real_time_factor = elapsed > 0 ? summary.seconds / elapsed : 0;
    return summary;
}

void print_summary(const process_options &options, const process_summary &s) {
    if (options.quiet) return;
    // Standard output may be the audio itself.
    FILE *out = is_standard_stream(options.output) ? stderr : stdout;
    std::fprintf(out, "%s -> %s: %.2f s, %s, %.0f Hz\n", options.input.c_str(), options.output.c_str(), s.seconds,
                s.channels == 1 ? "mono" : "stereo", s.sample_rate);
    std::fprintf(out, "peak in %.1f dBFS, peak out %.1f dBFS, %llu clipped sample%s, %.0fx real time\n", dbfs(s.peak_in),
                dbfs(s.peak_out), s.clipped, s.clipped == 1 ? "" : "s", s.real_time_factor);
    if (s.non_finite_in > 0)
        std::fprintf(out, "%llu input sample%s not a number or infinite (left out of the input peak)\n", s.non_finite_in,
                    s.non_finite_in == 1 ? " was" : "s were");
}

}  // namespace zentrova_cli
