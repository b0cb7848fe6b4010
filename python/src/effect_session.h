// One Zentrova instance as the Python module drives it: settings, presets, state, the follower's
// level, and a stream rendered in blocks from strided sample memory. [the instance's thread: every
// member runs there, see instance_thread.h]
#pragma once

#include "effect_host.h"

#include "host/automation.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace zentrova_python {

// Sample memory as numpy lays it out: a base and byte strides between channels and frames.
struct strided_samples {
    char *data = nullptr;
    std::ptrdiff_t channel_stride = 0, frame_stride = 0;
    bool is_double = false;  // float64, else float32
};

class effect_session {
public:
    // Opens an instance of `component` for `channels` (1 or 2) at `sample_rate`, and a key input of
    // `key_channels` when it is not 0 (the keyed component); throws zentrova_cli::user_error when
    // the effect refuses the format.
    effect_session(AudioComponent component, double sample_rate, unsigned channels, unsigned key_channels);
    ~effect_session();

    const std::vector<zentrova_cli::parameter_description> &parameters() const { return _host.parameters(); }
    double sample_rate() const { return _sample_rate; }
    unsigned channels() const { return _channels; }
    unsigned key_channels() const { return _key_channels; }

    // A setting as a host's automation makes it; `value` already checked against the range.
    void set(AudioUnitParameterID id, float value);
    float get(AudioUnitParameterID id) const;
    // The input follower's level (linear amplitude).
    double level() const;

    void load_preset(const std::filesystem::path &path);
    void save_preset(const std::filesystem::path &path, const std::string &name);
    // The ClassInfo state as an XML property list, the bytes of an .aupreset file.
    std::string state();
    // Restores state bytes; a state the effect refuses, or that holds a value out of range, leaves
    // the settings as they were and throws user_error.
    void set_state(const std::string &bytes);

    // Renders `frames` frames of `input` into `output` (float32), continuing the stream, in blocks
    // of `block` frames; at the start of each block every automation lane moves to its value at
    // the block's time in the stream. `reset` starts the stream afresh first. `key` (as long as
    // the input, `key_channels` channels) feeds the follower of a keyed instance.
    void process(const strided_samples &input, const strided_samples &output, const strided_samples *key,
                 std::size_t frames, unsigned block, bool reset, const std::vector<host::automation> &lanes);

private:
    void start_stream(unsigned block, const std::vector<host::automation> &lanes);
    void restore(CFPropertyListRef state, const std::string &source);
    void announce_all();

    zentrova_cli::effect_host _host;
    double _sample_rate;
    unsigned _channels;
    unsigned _key_channels;
    bool _started = false;       // initialized, rendering
    unsigned _max_frames = 0;    // the largest block the instance takes
    long long _frames_done = 0;  // into the stream, for automation
    std::vector<float> _in, _out, _key;
};

}  // namespace zentrova_python
