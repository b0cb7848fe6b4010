#include "live_engine.h"

#include <algorithm>
#include <cstring>

namespace zentrova_editor {

live_engine::live_engine(zentrova_cli::effect_host &host, std::vector<std::vector<float>> input, unsigned max_frames,
                         record_ring *recording, std::vector<std::vector<float>> key)
    : _host(host), _input(std::move(input)), _key(std::move(key)),
      _in_block(_input.size(), std::vector<float>(max_frames)), _key_block(_key.size(), std::vector<float>(max_frames)),
      _out_block(_input.size(), std::vector<float>(max_frames)), _recording(recording) {}

void live_engine::render_block(float *const *out_stereo, unsigned frames) noexcept {
    const std::size_t length = _input.front().size();
    const unsigned channels = unsigned(_input.size());
    for (unsigned done = 0; done < frames;) {
        const auto n = unsigned(std::min<std::size_t>(frames - done, length - _position));
        for (unsigned c = 0; c < channels; ++c)
            std::memcpy(_in_block[c].data() + done, _input[c].data() + _position, n * sizeof(float));
        for (std::size_t c = 0; c < _key.size(); ++c)
            std::memcpy(_key_block[c].data() + done, _key[c].data() + _position, n * sizeof(float));
        done += n;
        _position = (_position + n) % length;
    }
    const float *in[2] = {_in_block[0].data(), _in_block[channels - 1].data()};
    float *out[2] = {_out_block[0].data(), _out_block[channels - 1].data()};
    const float *key[2] = {};
    for (std::size_t c = 0; c < _key.size(); ++c) key[c] = _key_block[c].data();
    try {
        _host.render(in, out, frames, _key.empty() ? nullptr : key);
    } catch (...) {
        // Only a failing render call throws (before anything could be allocated on this path):
        // play silence and let the host stop.
        for (float *o : out) std::memset(o, 0, frames * sizeof(float));
        _failed.store(true, std::memory_order_relaxed);
    }
    if (_recording) _recording->push(out, frames);
    for (unsigned c = 0; c < 2; ++c) std::memcpy(out_stereo[c], out[channels == 2 ? c : 0], frames * sizeof(float));
    _frames_rendered.fetch_add(frames, std::memory_order_relaxed);
}

}  // namespace zentrova_editor
