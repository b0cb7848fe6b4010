// zentrova-editor: the Zentrova editor in a real window, bound to a live instance. It is a host:
// it opens the component, gets the editor through the Cocoa UI property, and plays IN (or the
// built-in demo) through the effect in a loop at real-time pace, so the meter moves and every
// edit is heard (through JACK when a server runs) and, with --record, written to a file.
#include "../zentrova/audio_files.h"
#include "../zentrova/cli_errors.h"
#include "../zentrova/demo_signal.h"
#include "../zentrova/effect_host.h"
#include "../zentrova/parameter_values.h"
#include "../zentrova/preset_files.h"
#include "jack_output.h"
#include "live_engine.h"
#include "live_mode.h"
#include "record_ring.h"
#include "zentrova_version.h"

#include "host/cocoa_view.h"
#include "ui/OffscreenWindow.h"
#include "ui/X11Window.h"

#include <CLI/CLI.hpp>
#include <sndfile.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

using namespace zentrova_cli;
using namespace zentrova_editor;

namespace {

struct options {
    std::string input, preset, snapshot, record;
    std::vector<std::string> assignments;
    std::optional<double> seconds;
    double scale = 0;
};

constexpr unsigned block_frames = 512;

struct loaded_input {
    std::vector<std::vector<float>> channels;
    double sample_rate = 48000;
    int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
};

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
    in.sample_rate = reader.sample_rate();
    in.format = reader.format();
    in.channels.assign(reader.channels(), {});
    std::vector<std::vector<float>> block(reader.channels(), std::vector<float>(65536));
    std::vector<float *> pointers;
    for (auto &b : block) pointers.push_back(b.data());
    while (unsigned n = reader.read(pointers.data(), 65536))
        for (unsigned c = 0; c < reader.channels(); ++c) in.channels[c].insert(in.channels[c].end(), block[c].begin(), block[c].begin() + n);
    if (in.channels.front().empty()) throw user_error(path + " holds no audio");
    return in;
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

close_request *g_close = nullptr;
extern "C" void on_signal(int) {
    if (g_close) g_close->request();
}

// Drains the recording ring into the output file while the audio runs.
class recorder {
public:
    // A take's length is known only with --seconds; without it the take is written as WAV (RF64
    // would be chosen only past 4 GiB, more than three hours of stereo float audio).
    recorder(const std::string &path, unsigned channels, double rate, int input_format, long long expected_frames)
        : _ring(channels, std::size_t(rate * 10)),
          _writer(path, channels, rate, "", input_format, expected_frames, /*force=*/true),
          _buffer(std::size_t(rate) * channels) {
        _thread = std::thread([this] {
            while (!_stop.load()) {
                drain();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            drain();
        });
    }
    record_ring &ring() { return _ring; }
    // Stops after everything rendered so far is written, and puts the file in place.
    void finish() {
        _stop.store(true);
        _thread.join();
        _writer.commit();
        if (_ring.dropped_frames() > 0)
            std::fprintf(stderr, "zentrova-editor: the recording lost %zu frames (the disk fell behind)\n",
                         _ring.dropped_frames());
    }
    ~recorder() {
        if (_thread.joinable()) {
            _stop.store(true);
            _thread.join();
        }
    }

private:
    void drain() {
        const unsigned channels = _ring.channels();
        std::vector<float> planar(_buffer.size());
        while (std::size_t n = _ring.pop(_buffer.data(), _buffer.size() / channels)) {
            std::vector<float *> pointers;
            for (unsigned c = 0; c < channels; ++c) {
                for (std::size_t i = 0; i < n; ++i) planar[c * n + i] = _buffer[i * channels + c];
                pointers.push_back(planar.data() + c * n);
            }
            _writer.write(pointers.data(), unsigned(n));
        }
    }
    record_ring _ring;
    audio_writer _writer;
    std::vector<float> _buffer;
    std::atomic<bool> _stop{false};
    std::thread _thread;
};

int run(const options &opt) {
    // The input is read whole before the recording starts, but the recording still must not be
    // renamed over it: a take would silently replace its own source.
    if (!opt.record.empty()) check_output_path(opt.input, opt.record, /*force=*/true);
    effect_host host;
    loaded_input input = load_input(opt.input);
    const auto channels = unsigned(input.channels.size());
    const bool live = opt.snapshot.empty();

    std::string jack_why;
    std::unique_ptr<jack_output> jack = live ? jack_output::open("zentrova-editor", &jack_why) : nullptr;
    // With JACK the server's rate and period rule; the input then plays at that rate unconverted.
    const double rate = jack ? jack->sample_rate() : input.sample_rate;
    const unsigned max_frames = jack ? std::max(jack->buffer_size(), block_frames) : block_frames;
    host.configure(rate, channels, max_frames);
    if (!opt.preset.empty()) {
        CFPropertyListRef state = read_preset_file(opt.preset);
        try {
            host.restore_state(state);
        } catch (...) {
            CFRelease(state);
            throw;
        }
        CFRelease(state);
    }
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

    std::unique_ptr<recorder> recording;
    if (!opt.record.empty()) recording = std::make_unique<recorder>(opt.record, channels, rate, input.format,
                                                 opt.seconds ? (long long)(*opt.seconds * rate) + 1 : 0);
    live_engine engine(host, std::move(input.channels), max_frames, recording ? &recording->ring() : nullptr);
    std::vector<float> left(max_frames), right(max_frames);
    float *out[2] = {left.data(), right.data()};

    if (!live) {
        // Offline: S seconds of audio as fast as it renders, the editor following block by block.
        const double seconds = opt.seconds.value_or(2.0);
        for (double done = 0; done < seconds * rate; done += block_frames) {
            engine.render_block(out, block_frames);
            if (engine.failed()) throw internal_error("the effect stopped rendering");
            effect_host::deliver_pending_events();
        }
        if (recording) recording->finish();
        ui::OffscreenWindow window(size, opt.scale > 0 ? opt.scale : 1.0);
        window.set_content_view(std::move(editor.view));
        window.display();
        std::string why;
        if (!window.write_png(opt.snapshot, &why)) throw user_error("cannot write " + opt.snapshot + ": " + why);
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
    g_close = &closing;
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);

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
    g_close = nullptr;
    stop_audio.store(true);
    if (pacer.joinable()) pacer.join();
    jack.reset();
    if (recording) recording->finish();
    if (engine.failed()) throw internal_error("the effect stopped rendering");
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (wants_live_mode(argc, argv)) return run_live_mode(argc, argv);
    CLI::App app{"zentrova-editor: the Zentrova editor in a window, bound to a live instance"};
    app.set_version_flag("--version", "zentrova-editor " ZENTROVA_VERSION);
    options opt;
    app.add_option("IN", opt.input, "audio file played in a loop (default: the built-in demo)");
    app.add_option("--set", opt.assignments, "PARAM=VALUE, a parameter by id or name; repeatable");
    app.add_option("--preset", opt.preset, "start from an .aupreset file");
    app.add_option("--snapshot", opt.snapshot, "render the editor into this PNG after --seconds of audio, then exit");
    app.add_option("--seconds", opt.seconds, "audio to render before the snapshot (default 2), or before closing")
        ->check(CLI::PositiveNumber);
    app.add_option("--record", opt.record, "write the effect's output to this audio file");
    app.add_option("--scale", opt.scale, "pixels per point (default: ZENTROVA_SCALE, else the display's DPI)")
        ->check(CLI::Range(0.5, 8.0));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }
    try {
        return run(opt);
    } catch (const user_error &e) {
        std::fprintf(stderr, "zentrova-editor: %s\n", e.what());
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zentrova-editor: internal error: %s\n", e.what());
        return 2;
    }
}
