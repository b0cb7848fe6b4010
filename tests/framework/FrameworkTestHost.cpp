#include "tests/framework/FrameworkTestHost.h"

#include "host/stream_format.h"

#include <gtest/gtest.h>

namespace fwtest {

AudioComponent TestComponent() {
    static AudioComponent component = [] {
        AudioComponent registered = nullptr;
        const OSStatus status = AudioComponentRegisterBundle(FRAMEWORK_TEST_BUNDLE, &registered);
        EXPECT_EQ(status, noErr) << FRAMEWORK_TEST_BUNDLE;
        return registered;
    }();
    return component;
}

Unit::Unit() : host::instance(TestComponent()) { EXPECT_EQ(status(), noErr); }

AudioStreamBasicDescription CanonicalFormat(UInt32 channels, Float64 sampleRate) {
    return host::float_format(sampleRate, channels);
}

OSStatus SetChannels(AudioUnit unit, UInt32 inChannels, UInt32 outChannels) {
    const OSStatus status = host::set_float_format(unit, kAudioUnitScope_Input, 0, 44100.0, inChannels);
    return status != noErr ? status : host::set_float_format(unit, kAudioUnitScope_Output, 0, 44100.0, outChannels);
}

Buffers::Buffers(UInt32 channels, UInt32 frames, bool withMemory, float fill)
    : samples_(channels, std::vector<float>(frames, fill)),
      record_(offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * (channels > 0 ? channels : 1)) {
    list()->mNumberBuffers = channels;
    for (UInt32 i = 0; i < channels; ++i) {
        list()->mBuffers[i].mNumberChannels = 1;
        list()->mBuffers[i].mDataByteSize = frames * sizeof(float);
        list()->mBuffers[i].mData = withMemory ? samples_[i].data() : nullptr;
    }
}

OSStatus InputSignal::Callback(void *self, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32 frames,
                               AudioBufferList *data) {
    auto &signal = *static_cast<InputSignal *>(self);
    ++signal.calls;
    if (signal.failWith != noErr) return signal.failWith;
    for (UInt32 c = 0; c < data->mNumberBuffers; ++c) {
        AudioBuffer &buffer = data->mBuffers[c];
        if (buffer.mData == nullptr) buffer.mData = signal.own[c].data();
        buffer.mDataByteSize = frames * sizeof(float);
        auto *samples = static_cast<float *>(buffer.mData);
        for (UInt32 i = 0; i < frames; ++i) samples[i] = Sample(c, i);
    }
    return noErr;
}

OSStatus InputSignal::Attach(AudioUnit unit, AudioUnitElement element) {
    return Set(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, element, Struct());
}

AudioTimeStamp TimeStamp(Float64 sampleTime) {
    AudioTimeStamp stamp{};
    stamp.mSampleTime = sampleTime;
    stamp.mFlags = kAudioTimeStampSampleTimeValid;
    return stamp;
}

OSStatus Render(AudioUnit unit, Buffers &buffers, UInt32 frames, Float64 sampleTime, AudioUnitRenderActionFlags *flags) {
    const AudioTimeStamp stamp = TimeStamp(sampleTime);
    AudioUnitRenderActionFlags local = 0;
    return AudioUnitRender(unit, flags != nullptr ? flags : &local, &stamp, 0, frames, buffers.list());
}

TestGainRecord Record(AudioUnit unit) {
    TestGainRecord record{};
    EXPECT_EQ(Get(unit, TestGain::kRecordProperty, kAudioUnitScope_Global, 0, record), noErr);
    return record;
}

OSStatus Control(AudioUnit unit, const TestGainControl &control) {
    return Set(unit, TestGain::kControlProperty, kAudioUnitScope_Global, 0, control);
}

}  // namespace fwtest
