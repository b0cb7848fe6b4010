#include "record_ring.h"

#include <algorithm>

namespace zentrova_editor {

record_ring::record_ring(unsigned channels, std::size_t capacity_frames)
    : _channels(channels), _capacity(capacity_frames), _samples(channels * capacity_frames) {}

void record_ring::push(const float *const *channels, unsigned frames) noexcept {
    const std::size_t written = _written.load(std::memory_order_relaxed);
    const std::size_t free_frames = _capacity - (written - _read.load(std::memory_order_acquire));
    const std::size_t n = std::min<std::size_t>(frames, free_frames);
    for (std::size_t i = 0; i < n; ++i) {
        float *frame = &_samples[((written + i) % _capacity) * _channels];
        for (unsigned c = 0; c < _channels; ++c) frame[c] = channels[c][i];
    }
    if (n < frames) _dropped.fetch_add(frames - n, std::memory_order_relaxed);
    _written.store(written + n, std::memory_order_release);
}

std::size_t record_ring::pop(float *out, std::size_t max_frames) noexcept {
    const std::size_t read = _read.load(std::memory_order_relaxed);
    const std::size_t n = std::min(max_frames, _written.load(std::memory_order_acquire) - read);
    for (std::size_t i = 0; i < n; ++i)
        std::copy_n(&_samples[((read + i) % _capacity) * _channels], _channels, out + i * _channels);
    _read.store(read + n, std::memory_order_release);
    return n;
}

}  // namespace zentrova_editor
