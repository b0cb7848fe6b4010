// The audio side of the editor host: the input (a file or the built-in demo) played in a loop
// through the effect, one block at a time, from whichever thread drives the audio (JACK's
// process thread, or a thread of our own that keeps real-time pace).
#pragma once

#include "../zentrova/effect_host.h"
#include "record_ring.h"

#include <atomic>
#include <vector>

namespace zentrova_editor {

class live_engine {
public:
    // `input`: one buffer per effect channel (1 or 2), equal lengths, not empty. `key`, when not
    // empty: one buffer per key channel (1 or 2), as long as the input, played in step with it.
    live_engine(zentrova_cli::effect_host &host, std::vector<std::vector<float>> input, unsigned max_frames,
                record_ring *recording, std::vector<std::vector<float>> key = {});

    // [audio thread] Renders `frames` (at most max_frames) into two output channels (a mono
    // effect's one channel goes to both). No allocation, lock or system call.
    void render_block(float *const *out_stereo, unsigned frames) noexcept;
    double frames_rendered() const { return double(_frames_rendered.load(std::memory_order_relaxed)); }
    // A render call failed (the block was played as silence).
    bool failed() const { return _failed.load(std::memory_order_relaxed); }

private:
    zentrova_cli::effect_host &_host;
    std::vector<std::vector<float>> _input, _key;
    std::size_t _position = 0;  // in the input loop, and the key's
    std::vector<std::vector<float>> _in_block, _key_block, _out_block;
    record_ring *_recording;
    std::atomic<long long> _frames_rendered{0};
    std::atomic<bool> _failed{false};
};

}  // namespace zentrova_editor
