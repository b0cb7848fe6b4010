// Rendering non-interleaved float buffers through AudioUnitRender, with the unit's input pulled
// from the caller's channel pointers: the render loop every host here shares.
#pragma once

#include <AudioUnit/AudioUnit.h>

namespace host {

class float_render {
public:
    static constexpr UInt32 k_max_channels = 8;

    float_render() = default;
    float_render(const float_render &) = delete;  // the unit's input callback holds this object
    float_render &operator=(const float_render &) = delete;

    // [control thread] Installs the input callback on the unit's input element 0, for `channels`
    // channels in and out (at most k_max_channels; paramErr beyond).
    OSStatus attach(AudioUnit unit, UInt32 channels);
    // [control thread, after attach] Also feeds input element 1, a key (sidechain) of `channels`
    // channels at `sample_rate`, from the `key` pointers of each render; a render given no key
    // feeds the main input there instead.
    OSStatus attach_key(Float64 sample_rate, UInt32 channels);

    // [render thread; real-time safe] Renders `frames` frames at the running sample time, which
    // then moves on by `frames`. `input` and `output` hold one pointer per channel, `key` one per
    // key channel. The output is filled whether the unit writes the caller's memory or answers
    // with its own; on a failure it is left as it was.
    OSStatus render(const float *const *input, float *const *output, UInt32 frames,
                    const float *const *key = nullptr) noexcept;

    // [control thread] The next render's sample time (0 after attach).
    void set_sample_time(Float64 sample_time) { _sample_time = sample_time; }
    Float64 sample_time() const { return _sample_time; }

private:
    // Bus 0 is the main input, bus 1 the key.
    static OSStatus supply_input(void *self, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32 bus,
                                 UInt32 frames, AudioBufferList *data) noexcept;

    AudioUnit _unit = nullptr;
    UInt32 _channels = 0;
    Float64 _sample_time = 0;
    // [render thread] The latest render's input channels, for supply_input. A unit rendered
    // directly (AudioUnitRender on the same unit) pulls them again, so the caller keeps the
    // samples alive meanwhile.
    const float *_input[k_max_channels] = {};
    const float *_key[k_max_channels] = {};
    UInt32 _key_channels = 0;  // this render's; 0: the key is the main input
    UInt32 _attached_key_channels = 0;
    bool _has_input = false;
};

}  // namespace host
