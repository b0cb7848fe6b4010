// zentrova-editor: the Zentrova editor in a real window, bound to a live instance. It is a host:
// it opens the component, gets the editor through the Cocoa UI property, and plays IN (or the
// built-in demo) through the effect in a loop at real-time pace, so the meter moves and every
// edit is heard (through JACK when a server runs) and, with --record, written to a file.
#include "../zentrova/audio_files.h"
#include "../zentrova/cli_errors.h"
#include "../zentrova/demo_signal.h"
#include "../zentrova/effect_host.h"
#include "../zentrova/file_paths.h"
#include "../zentrova/parameter_values.h"
#include "../zentrova/preset_files.h"
#include "../zentrova/process_command.h"
#include "jack_output.h"
#include "live_engine.h"
#include "live_mode.h"
#include "record_ring.h"
#include "snapshot_file.h"
#include "take_recorder.h"
#include "zentrova_version.h"

#include "host/cocoa_view.h"
#include "ui/OffscreenWindow.h"
#include "ui/X11Window.h"

#include <CLI/CLI.hpp>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <thread>

using namespace zentrova_cli;
using namespace zentrova_editor;

namespace {

struct options {
    std::string input, key, preset, snapshot, record;
    std::vector<std::string> assignments;
    std::optional<double> seconds;
    double scale = 0;
    bool force = false;
};

constexpr unsigned block_frames = 512;
// The longest --seconds: a day of audio.
constexpr double max_seconds = 86400;
// The input is held whole in memory, looped: at most 2^28 samples (1 GiB of 32-bit floats).
constexpr unsigned long long max_input_samples = 1ull << 28;

struct loaded_input {
    std::vector<std::vector<float>> channels;
    double sample_rate = 48000;
    int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
};

std::string too_long(const std::string &path) {
    return path + " is too long for the editor, which holds its input in memory: at most " +
           std::to_string(max_input_samples >> 20) + " Mi samples (about " +
           std::to_string(int(double(max_input_samples) / 2 / 48000 / 60)) + " minutes of stereo at 48 kHz)";
}

loaded_input load_input(const std::string &path) {
    loaded_input in;
    if (path.empty()) {
        stereo_signal demo = make_demo_signal();
        in.sample_rate = demo.sample_rate;
        in.channels = {std::move(demo.left), std::move(demo.right)};
        return in;
    }
    audio_reader reader(path);
    if (reader.channels() > 2) throw user_error(path + " has " + std::to_string(reader.channels()) +
                                                " channels; Zentrova takes mono or stereo");
    // Refused before anything is read; a length only estimated (MP3) is checked again as it grows.
    if ((unsigned long long)std::max(reader.frames(), 0LL) * reader.channels() > max_input_samples)
        throw user_error(too_long(path));
    in.sample_rate = reader.sample_rate();
    in.format = reader.format();
    in.channels.assign(reader.channels(), {});
    try {
        std::vector<std::vector<float>> block(reader.channels(), std::vector<float>(65536));
        std::vector<float *> pointers;
        for (auto &b : block) pointers.push_back(b.data());
        while (unsigned n = reader.read(pointers.data(), 65536)) {
            if ((in.channels.front().size() + n) * reader.channels() > max_input_samples) throw user_error(too_long(path));
            for (unsigned c = 0; c < reader.channels(); ++c)
                in.channels[c].insert(in.channels[c].end(), block[c].begin(), block[c].begin() + n);
        }
    } catch (const std::bad_alloc &) {
        throw user_error("not enough memory to hold " + path + " (the editor holds its input in memory)");
    }
    if (in.channels.front().empty()) throw user_error(path + " holds no audio");
    return in;
}

// The key, fitted to the input's loop so that both restart together: cut where the input ends,
// or continued as silence when it is the shorter.
std::vector<std::vector<float>> load_key(const std::string &path, const loaded_input &input) {
    loaded_input key = load_input(path);
    if (key.sample_rate != input.sample_rate)
        throw user_error("the key \"" + path + "\" is at " + std::to_string(std::lround(key.sample_rate)) +
                         " Hz and the input at " + std::to_string(std::lround(input.sample_rate)) +
                         " Hz: they must be the same");
    for (auto &channel : key.channels) channel.resize(input.channels.front().size(), 0.0f);
    return std::move(key.channels);
}

// Tells the main thread's run loop to close the window: from a signal handler or an audio thread,
// both of which may only signal (wait-free); the run loop notices at its next poll.
struct close_request {
    CFRunLoopSourceRef source = nullptr;
    ui::X11Window *window = nullptr;
    std::atomic<bool> requested{false};

    void install(ui::X11Window &w) {
        window = &w;
        CFRunLoopSourceContext context{};
        context.info = this;
        context.perform = [](void *self) {
            auto *me = static_cast<close_request *>(self);
            if (me->window) me->window->request_close();
        };
        source = CFRunLoopSourceCreate(nullptr, 0, &context);
        CFRunLoopAddSource(CFRunLoopGetCurrent(), source, kCFRunLoopDefaultMode);
    }
    void request() noexcept {
        requested.store(true);
        if (source) CFRunLoopSourceSignal(source);
    }
    ~close_request() {
        if (source) {
            CFRunLoopSourceInvalidate(source);
            CFRelease(source);
        }
    }
};

std::atomic<close_request *> g_close{nullptr};
// [signal handler] The signals zentrova process stops on end the live window the same way.
void on_interrupt() {
    if (close_request *closing = g_close.load()) closing->request();
}

int run(const options &opt) {
    // The rules zentrova process writes by: checked, and the files' temporaries made, before any
    // audio is rendered. The input is read whole before the take starts, but neither output may
    // be renamed over it, nor the two over each other.
    if (!opt.record.empty() && !opt.snapshot.empty() && same_file(opt.record, opt.snapshot))
        throw user_error("--record and --snapshot name the same file \"" + opt.record + "\"");
    for (const auto &[output, what] : {std::pair{&opt.record, "the take"}, std::pair{&opt.snapshot, "the snapshot"}}) {
        if (output->empty()) continue;
        if (!opt.input.empty() && same_file(opt.input, *output))
            throw user_error(std::string(what) + " \"" + *output + "\" is the input file; choose another name");
        check_destination(*output, opt.force, what);
    }
    std::optional<snapshot_file> picture;
    if (!opt.snapshot.empty()) picture.emplace(opt.snapshot, opt.force);

    effect_host host(!opt.key.empty());
    loaded_input input = load_input(opt.input);
    std::vector<std::vector<float>> key = opt.key.empty() ? std::vector<std::vector<float>>{}
                                                          : load_key(opt.key, input);
    const auto channels = unsigned(input.channels.size());
    const bool live = opt.snapshot.empty();

    std::string jack_why;
    std::unique_ptr<jack_output> jack = live ? jack_output::open("zentrova-editor", &jack_why) : nullptr;
    reinstall_interrupt_handler();  // libjack ignores SIGPIPE, which must end the session as others do
    // With JACK the server's rate and period rule; the input then plays at that rate unconverted.
    const double rate = jack ? jack->sample_rate() : input.sample_rate;
    const unsigned max_frames = jack ? std::max(jack->buffer_size(), block_frames) : block_frames;
    host.configure(rate, channels, max_frames);
    if (!key.empty()) host.configure_key(unsigned(key.size()));
    if (!opt.preset.empty()) restore_preset(host, opt.preset);
    // Initialised here, on the thread whose run loop the window runs: the effect's own listener
    // lives on it.
    host.initialize();
    for (const std::string &text : opt.assignments) {
        const assignment a = parse_assignment(host.parameters(), text);
        host.set_parameter(a.id, a.value);
    }

    host::cocoa_view editor = host::open_cocoa_view(host.unit());
    if (!editor.view) throw internal_error("no editor: " + editor.error);
    const ui::Size size = editor.view->frame().size();

    std::unique_ptr<take_recorder> recording;
    if (!opt.record.empty())
        recording = std::make_unique<take_recorder>(opt.record, channels, rate, input.format,
                                                    opt.seconds ? (long long)(*opt.seconds * rate) + 1 : 0, opt.force,
                                                    live);
    live_engine engine(host, std::move(input.channels), max_frames, recording ? &recording->ring() : nullptr,
                       std::move(key));
    std::vector<float> left(max_frames), right(max_frames);
    float *out[2] = {left.data(), right.data()};

    if (!live) {
        // Offline: S seconds of audio as fast as it renders, the editor following block by block,
        // and the take written as it goes.
        const double seconds = opt.seconds.value_or(2.0);
        for (double done = 0; done < seconds * rate && !interrupted(); done += block_frames) {
            engine.render_block(out, block_frames);
            if (engine.failed()) throw internal_error("the effect stopped rendering");
            if (recording) recording->drain_now();
            effect_host::deliver_pending_events();
        }
        // Interrupted: the take so far is kept, the picture of an unfinished render is not.
        if (recording) recording->finish();
        if (interrupted()) return interrupt_exit_status();
        ui::OffscreenWindow window(size, opt.scale > 0 ? opt.scale : 1.0);
        window.set_content_view(std::move(editor.view));
        window.display();
        picture->write(window.surface());
        return 0;
    }

    ui::X11Window::Options window_options;
    window_options.title = "Zentrova";
    window_options.scale = opt.scale;
    std::string why;
    std::unique_ptr<ui::X11Window> window = ui::X11Window::create(size, window_options, &why);
    if (!window) throw user_error("cannot open a window: " + why);
    window->set_content_view(std::move(editor.view));
    window->set_movable_by_background(true);  // our own window: a press on the background moves it
    close_request closing;
    closing.install(*window);
    g_close.store(&closing);
    if (interrupted()) closing.request();  // a signal before the window was there

    const double limit_frames = opt.seconds ? *opt.seconds * rate : 0;
    std::atomic<bool> stop_audio{false};
    std::thread pacer;
    if (jack) {
        if (!jack->start(
                [&](float *const *buffers, unsigned frames) {
                    engine.render_block(buffers, frames);
                    if (engine.failed() || (limit_frames > 0 && engine.frames_rendered() >= limit_frames))
                        closing.request();
                },
                &why))
            throw user_error(why);
        std::fprintf(stderr, "zentrova-editor: playing through JACK at %.0f Hz\n", rate);
    } else {
        std::fprintf(stderr, "zentrova-editor: %s; rendering silently at real-time pace\n", jack_why.c_str());
        pacer = std::thread([&] {
            const auto start = std::chrono::steady_clock::now();
            while (!stop_audio.load()) {
                engine.render_block(out, block_frames);
                if (engine.failed() || (limit_frames > 0 && engine.frames_rendered() >= limit_frames)) {
                    closing.request();
                    break;
                }
                std::this_thread::sleep_until(start + std::chrono::duration<double>(engine.frames_rendered() / rate));
            }
        });
    }
    window->show();
    window->run();
    g_close.store(nullptr);
    stop_audio.store(true);
    if (pacer.joinable()) pacer.join();
    jack.reset();
    // However the window ended (closed, a signal, the X server gone), the take is finished whole.
    if (recording) recording->finish();
    if (engine.failed()) throw internal_error("the effect stopped rendering");
    if (window->connection_lost())
        throw user_error(std::string("lost the connection to the X display") +
                         (recording ? "; the take \"" + opt.record + "\" was written" : ""));
    return interrupted() ? interrupt_exit_status() : 0;
}

// A number option's check: finite and within [low, high] (low itself excluded when `open_low`),
// said in words rather than CLI11's hundreds of digits.
CLI::Validator finite_range(double low, double high, bool open_low, const std::string &what) {
    return CLI::Validator(
        [=](std::string &text) -> std::string {
            char *end = nullptr;
            const double v = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !std::isfinite(v) || v < low || (open_low && v == low) || v > high)
                return "must be " + what;
            return {};
        },
        what);
}

}  // namespace

int main(int argc, char **argv) {
    if (wants_live_mode(argc, argv)) return run_live_mode(argc, argv);
    CLI::App app{"zentrova-editor: the Zentrova editor in a window, bound to a live instance"};
    app.set_version_flag("--version", "zentrova-editor " ZENTROVA_VERSION);
    options opt;
    app.add_option("IN", opt.input, "audio file played in a loop (default: the built-in demo)");
    app.add_flag("--live")->description("play a live input through JACK instead (see zentrova-editor --live --help)");
    app.add_option("--key", opt.key, "audio file whose level drives the envelope, looped in step with IN");
    app.add_option("--set", opt.assignments, "PARAM=VALUE, a parameter by id or name; repeatable");
    app.add_option("--preset", opt.preset, "start from an .aupreset file");
    app.add_option("--snapshot", opt.snapshot, "render the editor into this PNG after --seconds of audio, then exit");
    app.add_option("--seconds", opt.seconds, "audio to render before the snapshot (default 2), or before closing")
        ->check(finite_range(0, max_seconds, true, "a number of seconds above 0 and at most 86400"));
    app.add_option("--record", opt.record, "write the effect's output to this audio file");
    app.add_option("--scale", opt.scale, "pixels per point (default: ZENTROVA_SCALE, else the display's DPI)")
        ->check(finite_range(0.5, 8.0, false, "a number from 0.5 to 8"));
    app.add_flag("--force", opt.force, "replace an existing --record or --snapshot file");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion &e) {
        return app.exit(e);
    } catch (const CLI::ParseError &e) {
        std::fprintf(stderr, "zentrova-editor: %s (see zentrova-editor --help)\n", e.what());
        return 1;
    }
    try {
        remember_umask();
        // The signals zentrova process stops on end the editor the same way: the take is finished
        // and the status is 128 + the signal's number. Before any file is made, so none is lost.
        install_interrupt_handler(&on_interrupt);
        return run(opt);
    } catch (const user_error &e) {
        std::fprintf(stderr, "zentrova-editor: %s\n", e.what());
        return interrupted() ? interrupt_exit_status() : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zentrova-editor: internal error: %s\n", e.what());
        return 2;
    }
}
