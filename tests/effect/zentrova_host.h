// A small test host for the Zentrova component, reached only through the platform's host API,
// as any host would: registry, stream formats, AUParameterSet, the run loop and AudioUnitRender.
#pragma once

#include "host/component.h"
#include "host/events.h"
#include "host/float_render.h"
#include "host/instance.h"
#include "host/stream_format.h"
#include "zentrova_ids.h"

#include <AudioToolbox/AudioToolbox.h>
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <string>
#include <vector>

namespace zentrova_test {

using channels = std::vector<std::vector<float>>;

inline AudioComponent find_zentrova() { return host::find_component(kAudioUnitType_Effect, "Zentrova"); }
inline AudioComponent find_zentrova_keyed() { return host::find_component(kAudioUnitType_Effect, "Zentrova Keyed"); }

using host::float_format;

// Runs this thread's run loop until nothing is pending.
inline void deliver_events() { host::deliver_pending_events(); }

class zentrova_host {
public:
    explicit zentrova_host(unsigned channel_count = 2, double rate = 44100.0, AudioComponent component = nullptr)
        : _channels(channel_count) {
        if (component == nullptr) component = find_zentrova();
        if (component == nullptr) throw std::runtime_error("Zentrova component not found");
        _instance = host::instance(component);
        if (_instance.status() != noErr) throw std::runtime_error("cannot open Zentrova");
        unit = _instance;
        set_format(rate, channel_count);
    }

    void set_format(double rate, unsigned channel_count) {
        _channels = channel_count;
        expect_ok(host::set_float_formats(unit, rate, channel_count));
        expect_ok(_renderer.attach(unit, channel_count));
    }

    // The key (input element 1 of the keyed effect): its format, fed from the `key` argument of
    // render (the main input when a render has none).
    void attach_key(double rate, unsigned channel_count) { expect_ok(_renderer.attach_key(rate, channel_count)); }
    // A key source that answers `status` to every pull, until attach_key again.
    void fail_key(OSStatus status) {
        _key_failure = status;
        const AURenderCallbackStruct callback{
            [](void *failure, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32, AudioBufferList *) {
                return *static_cast<OSStatus *>(failure);
            },
            &_key_failure};
        expect_ok(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 1, &callback,
                                       sizeof callback));
    }

    // Stored and announced to every listener, as a host's automation is.
    void set(AudioUnitParameterID id, float value) {
        expect_ok(host::set_parameter(unit, id, value));
    }
    // Stored only: no listener hears of it.
    void store(AudioUnitParameterID id, float value) {
        expect_ok(AudioUnitSetParameter(unit, id, kAudioUnitScope_Global, 0, value, 0));
    }
    float get(AudioUnitParameterID id) {
        AudioUnitParameterValue v = 0;
        expect_ok(AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v));
        return v;
    }
    void initialize() { expect_ok(AudioUnitInitialize(unit)); }
    void reset() { expect_ok(AudioUnitReset(unit, kAudioUnitScope_Global, 0)); }

    double follower_level() {
        double level = -1;
        UInt32 size = sizeof level;
        expect_ok(AudioUnitGetProperty(unit, zentrova::k_follower_level_property, kAudioUnitScope_Global, 0, &level, &size));
        return level;
    }

    // Renders one block of the given input (one vector per channel, equal lengths), and of the
    // key when given.
    channels render(const channels &input, OSStatus *status_out = nullptr) { return render(input, {}, status_out); }
    channels render(const channels &input, const channels &key, OSStatus *status_out = nullptr) {
        const auto frames = static_cast<UInt32>(input.front().size());
        channels output(_channels, std::vector<float>(frames, 12345.0f));
        const float *in[host::float_render::k_max_channels] = {};
        float *out[host::float_render::k_max_channels] = {};
        for (unsigned c = 0; c < _channels; ++c) {
            in[c] = input[std::min<std::size_t>(c, input.size() - 1)].data();
            out[c] = output[c].data();
        }
        const float *key_in[host::float_render::k_max_channels] = {};
        for (std::size_t c = 0; c < key.size(); ++c) key_in[c] = key[c].data();
        const OSStatus status = _renderer.render(in, out, frames, key.empty() ? nullptr : key_in);
        if (status_out) *status_out = status;
        else EXPECT_EQ(status, noErr);
        return output;
    }

    AudioUnit unit = nullptr;

private:
    static void expect_ok(OSStatus status) { ASSERT_EQ(status, noErr); }
    host::instance _instance;
    unsigned _channels;
    host::float_render _renderer;
    OSStatus _key_failure = noErr;
};

// A deterministic test signal: a decaying 220 Hz saw burst every `period` samples.
inline std::vector<float> bursts(std::size_t frames, std::size_t period = 4410, float amplitude = 0.5f,
                                 std::size_t offset = 0) {
    std::vector<float> x(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        const std::size_t i = (n + offset) % period;
        const double phase = std::fmod((n + offset) * 220.0 / 44100.0, 1.0);
        x[n] = static_cast<float>(amplitude * std::exp(-static_cast<double>(i) / 800.0) * (2 * phase - 1));
    }
    return x;
}

}  // namespace zentrova_test
