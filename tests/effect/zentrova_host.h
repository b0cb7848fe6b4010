// A small test host for the Zentrova component, reached only through the platform's host API,
// as any host would: registry, stream formats, AUParameterSet, the run loop and AudioUnitRender.
#pragma once

#include <AudioToolbox/AudioToolbox.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace zentrova_test {

using channels = std::vector<std::vector<float>>;

// The first effect whose name contains `part` ("Zentrova" finds the plain effect, listed first).
inline AudioComponent find_zentrova(const std::string &part = "Zentrova") {
    AudioComponentDescription wanted{kAudioUnitType_Effect, 0, 0, 0, 0};
    for (AudioComponent c = AudioComponentFindNext(nullptr, &wanted); c; c = AudioComponentFindNext(c, &wanted)) {
        CFStringRef name = nullptr;
        if (AudioComponentCopyName(c, &name) != noErr || name == nullptr) continue;
        char text[256] = {};
        CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
        CFRelease(name);
        if (std::string(text).find(part) != std::string::npos) return c;
    }
    return nullptr;
}

inline AudioComponent find_zentrova_keyed() { return find_zentrova("Zentrova Keyed"); }

inline AudioStreamBasicDescription float_format(double rate, unsigned channel_count) {
    AudioStreamBasicDescription f{};
    f.mSampleRate = rate;
    f.mFormatID = kAudioFormatLinearPCM;
    f.mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
    f.mBytesPerPacket = 4;
    f.mFramesPerPacket = 1;
    f.mBytesPerFrame = 4;
    f.mChannelsPerFrame = channel_count;
    f.mBitsPerChannel = 32;
    return f;
}

// Runs this thread's run loop until nothing is pending.
inline void deliver_events() {
    while (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) == kCFRunLoopRunHandledSource) {
    }
}

class zentrova_host {
public:
    explicit zentrova_host(unsigned channel_count = 2, double rate = 44100.0, AudioComponent component = nullptr)
        : _channels(channel_count) {
        if (component == nullptr) component = find_zentrova();
        if (component == nullptr) throw std::runtime_error("Zentrova component not found");
        if (AudioComponentInstanceNew(component, &unit) != noErr) throw std::runtime_error("cannot open Zentrova");
        set_format(rate, channel_count);
        AURenderCallbackStruct callback{&zentrova_host::supply, this};
        expect_ok(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                       sizeof callback));
    }
    ~zentrova_host() { AudioComponentInstanceDispose(unit); }
    zentrova_host(const zentrova_host &) = delete;
    zentrova_host &operator=(const zentrova_host &) = delete;

    void set_format(double rate, unsigned channel_count) {
        _channels = channel_count;
        const auto f = float_format(rate, channel_count);
        expect_ok(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &f, sizeof f));
        expect_ok(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof f));
    }

    // The key (input element 1 of the keyed effect): its format, and a callback that feeds it
    // from the `key` argument of render, or fails with key_failure.
    void attach_key(double rate, unsigned channel_count) {
        const auto f = float_format(rate, channel_count);
        expect_ok(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 1, &f, sizeof f));
        AURenderCallbackStruct callback{&zentrova_host::supply_key, this};
        expect_ok(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 1, &callback,
                                       sizeof callback));
    }
    channels render(const channels &input, const channels &key, OSStatus *status_out = nullptr) {
        _key = &key;
        auto out = render(input, status_out);
        _key = nullptr;
        return out;
    }
    OSStatus key_failure = noErr;

    // Stored and announced to every listener, as a host's automation is.
    void set(AudioUnitParameterID id, float value) {
        const AudioUnitParameter p{unit, id, kAudioUnitScope_Global, 0};
        expect_ok(AUParameterSet(nullptr, nullptr, &p, value, 0));
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
        expect_ok(AudioUnitGetProperty(unit, 80110, kAudioUnitScope_Global, 0, &level, &size));
        return level;
    }

    // Renders one block of the given input (one vector per channel, equal lengths).
    channels render(const channels &input, OSStatus *status_out = nullptr) {
        const auto frames = static_cast<UInt32>(input.front().size());
        channels output(_channels, std::vector<float>(frames, 12345.0f));
        struct {
            UInt32 mNumberBuffers;
            AudioBuffer mBuffers[2];
        } list{};
        list.mNumberBuffers = _channels;
        for (unsigned c = 0; c < _channels; ++c) list.mBuffers[c] = {1, frames * 4, output[c].data()};
        _input = &input;
        AudioTimeStamp time{};
        time.mSampleTime = _sample_time;
        time.mFlags = kAudioTimeStampSampleTimeValid;
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status =
            AudioUnitRender(unit, &flags, &time, 0, frames, reinterpret_cast<AudioBufferList *>(&list));
        if (status_out) *status_out = status;
        else EXPECT_EQ(status, noErr);
        for (unsigned c = 0; c < _channels; ++c)
            if (list.mBuffers[c].mData != output[c].data())
                std::memcpy(output[c].data(), list.mBuffers[c].mData, frames * 4);
        _sample_time += frames;
        return output;
    }

    AudioUnit unit = nullptr;

private:
    static void expect_ok(OSStatus status) { ASSERT_EQ(status, noErr); }
    static OSStatus supply(void *self, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32 frames,
                           AudioBufferList *data) {
        auto *host = static_cast<zentrova_host *>(self);
        for (UInt32 b = 0; b < data->mNumberBuffers; ++b) {
            const auto &source = (*host->_input)[std::min<std::size_t>(b, host->_input->size() - 1)];
            if (data->mBuffers[b].mData == nullptr) data->mBuffers[b].mData = const_cast<float *>(source.data());
            else std::memcpy(data->mBuffers[b].mData, source.data(), frames * 4);
            data->mBuffers[b].mDataByteSize = frames * 4;
        }
        return noErr;
    }

    static OSStatus supply_key(void *self, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32 bus,
                               UInt32 frames, AudioBufferList *data) {
        auto *host = static_cast<zentrova_host *>(self);
        EXPECT_EQ(bus, 1u);
        if (host->key_failure != noErr) return host->key_failure;
        // A render without a key of its own feeds the main input again.
        const channels &key = host->_key ? *host->_key : *host->_input;
        for (UInt32 b = 0; b < data->mNumberBuffers; ++b) {
            const auto &source = key[std::min<std::size_t>(b, key.size() - 1)];
            std::memcpy(data->mBuffers[b].mData, source.data(), frames * 4);
            data->mBuffers[b].mDataByteSize = frames * 4;
        }
        return noErr;
    }

    unsigned _channels;
    double _sample_time = 0;
    const channels *_input = nullptr;
    const channels *_key = nullptr;
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
