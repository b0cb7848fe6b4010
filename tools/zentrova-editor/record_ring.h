// Audio handed from the render thread to a writer thread: a single-producer, single-consumer ring
// of interleaved frames, allocated once. The render side never waits, allocates or calls the
// system; when the writer falls behind by the whole ring, frames are dropped and counted.
#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace zentrova_editor {

class record_ring {
public:
    record_ring(unsigned channels, std::size_t capacity_frames);

    // [render thread] One block, one pointer per channel.
    void push(const float *const *channels, unsigned frames) noexcept;
    // [writer thread] Up to `max_frames` interleaved frames into `out`; answers the count.
    std::size_t pop(float *out, std::size_t max_frames) noexcept;
    std::size_t dropped_frames() const { return _dropped.load(std::memory_order_relaxed); }
    unsigned channels() const { return _channels; }

private:
    unsigned _channels;
    std::size_t _capacity;  // frames
    std::vector<float> _samples;
    std::atomic<std::size_t> _written{0}, _read{0};  // frame counts since the start
    std::atomic<std::size_t> _dropped{0};
};

}  // namespace zentrova_editor
