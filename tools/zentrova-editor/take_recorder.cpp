#include "take_recorder.h"

#include "../zentrova/cli_errors.h"

#include <chrono>
#include <cstdio>

namespace zentrova_editor {

namespace {
// Ten seconds of audio between the audio thread and the writer: live, far more than any pause of
// a working disk.
constexpr double ring_seconds = 10;
}  // namespace

take_recorder::take_recorder(const std::filesystem::path &path, unsigned channels, double rate, int input_format,
                             long long expected_frames, bool force, bool live)
    : _ring(channels, std::size_t(rate * ring_seconds)),
      _writer(path, channels, rate, "", input_format, expected_frames, force), _path(path), _rate(rate),
      _interleaved(std::size_t(rate) * channels), _planar(_interleaved.size()) {
    if (!live) return;
    _thread = std::thread([this] {
        while (!_stop.load()) {
            drain();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        drain();
    });
}

take_recorder::~take_recorder() {
    if (_thread.joinable()) {
        _stop.store(true);
        _thread.join();
    }
}

void take_recorder::drain() {
    {
        // A write that failed (a full disk) ends the writing; the ring then fills and drops, and
        // finish() reports the failure rather than the drops.
        std::lock_guard<std::mutex> hold(_error_lock);
        if (!_error.empty()) return;
    }
    const unsigned channels = _ring.channels();
    const std::size_t capacity = _interleaved.size() / channels;
    try {
        while (std::size_t n = _ring.pop(_interleaved.data(), capacity)) {
            float *pointers[2] = {};
            for (unsigned c = 0; c < channels; ++c) {
                for (std::size_t i = 0; i < n; ++i) _planar[c * n + i] = _interleaved[i * channels + c];
                pointers[c] = _planar.data() + c * n;
            }
            _writer.write(pointers, unsigned(n));
        }
    } catch (const std::exception &e) {
        std::lock_guard<std::mutex> hold(_error_lock);
        _error = e.what();
    }
}

void take_recorder::finish() {
    if (_thread.joinable()) {
        _stop.store(true);
        _thread.join();
    } else {
        drain();
    }
    {
        std::lock_guard<std::mutex> hold(_error_lock);
        if (!_error.empty()) {
            _writer.discard();
            throw zentrova_cli::user_error(_error);
        }
    }
    _writer.commit();
    if (const std::size_t lost = _ring.dropped_frames(); lost > 0) {
        char text[320];
        std::snprintf(text, sizeof text,
                      "the take \"%s\" was written but lost %zu frames (%.1f s): writing it fell behind the audio "
                      "(a slow disk or a busy machine)",
                      _path.c_str(), lost, double(lost) / _rate);
        throw zentrova_cli::user_error(text);
    }
}

}  // namespace zentrova_editor
