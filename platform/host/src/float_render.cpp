#include "host/float_render.h"

#include "host/stream_format.h"

#include <cstddef>
#include <cstring>

namespace host {

OSStatus float_render::attach(AudioUnit unit, UInt32 channels) {
    if (channels == 0 || channels > k_max_channels) return paramErr;
    _unit = unit;
    _channels = channels;
    _sample_time = 0;
    const AURenderCallbackStruct callback{&float_render::supply_input, this};
    return AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                sizeof callback);
}

OSStatus float_render::attach_key(Float64 sample_rate, UInt32 channels) {
    if (_unit == nullptr || channels == 0 || channels > k_max_channels) return paramErr;
    const AudioStreamBasicDescription format = float_format(sample_rate, channels);
    if (const OSStatus status = AudioUnitSetProperty(_unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 1,
                                                     &format, sizeof format);
        status != noErr)
        return status;
    _attached_key_channels = channels;
    const AURenderCallbackStruct callback{&float_render::supply_input, this};
    return AudioUnitSetProperty(_unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 1, &callback,
                                sizeof callback);
}

OSStatus float_render::render(const float *const *input, float *const *output, UInt32 frames,
                              const float *const *key) noexcept {
    // An AudioBufferList with room for every channel, on the stack.
    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[k_max_channels];
    } list{};
    static_assert(offsetof(decltype(list), mBuffers) == offsetof(AudioBufferList, mBuffers));
    list.mNumberBuffers = _channels;
    for (UInt32 c = 0; c < _channels; ++c) {
        list.mBuffers[c] = {1, frames * static_cast<UInt32>(sizeof(float)), output[c]};
        _input[c] = input[c];
    }
    _key_channels = key != nullptr ? _attached_key_channels : 0;
    for (UInt32 c = 0; c < _key_channels; ++c) _key[c] = key[c];
    _has_input = true;

    AudioTimeStamp time{};
    time.mSampleTime = _sample_time;
    time.mFlags = kAudioTimeStampSampleTimeValid;
    AudioUnitRenderActionFlags flags = 0;
    const OSStatus status =
        AudioUnitRender(_unit, &flags, &time, 0, frames, reinterpret_cast<AudioBufferList *>(&list));
    // The host's time moves on whatever the unit answered.
    _sample_time += frames;
    if (status != noErr) return status;
    // The unit may answer with pointers into its own memory rather than filling ours.
    for (UInt32 c = 0; c < _channels; ++c)
        if (list.mBuffers[c].mData != output[c]) std::memcpy(output[c], list.mBuffers[c].mData, frames * sizeof(float));
    return noErr;
}

// [render thread] The unit pulls its input: the caller's buffers, lent when the unit brings no
// memory of its own.
OSStatus float_render::supply_input(void *self, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32 bus,
                                    UInt32 frames, AudioBufferList *data) noexcept {
    const auto *renderer = static_cast<const float_render *>(self);
    if (!renderer->_has_input) return paramErr;  // pulled before any render of ours
    const bool key = bus == 1 && renderer->_key_channels > 0;
    const float *const *sources = key ? renderer->_key : renderer->_input;
    const UInt32 channels = key ? renderer->_key_channels : renderer->_channels;
    for (UInt32 b = 0; b < data->mNumberBuffers; ++b) {
        const float *source = sources[b < channels ? b : channels - 1];
        AudioBuffer &buffer = data->mBuffers[b];
        if (buffer.mData == nullptr) buffer.mData = const_cast<float *>(source);
        else if (buffer.mData != source) std::memmove(buffer.mData, source, frames * sizeof(float));
        buffer.mDataByteSize = frames * static_cast<UInt32>(sizeof(float));
    }
    return noErr;
}

}  // namespace host
