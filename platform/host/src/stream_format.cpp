#include "host/stream_format.h"

namespace host {

AudioStreamBasicDescription float_format(Float64 sample_rate, UInt32 channels) {
    AudioStreamBasicDescription format{};
    format.mSampleRate = sample_rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagsNativeFloatPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = sizeof(Float32);
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = sizeof(Float32);  // non-interleaved: one channel's frame per buffer
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = 32;
    return format;
}

OSStatus set_float_format(AudioUnit unit, AudioUnitScope scope, AudioUnitElement element, Float64 sample_rate,
                          UInt32 channels) {
    const AudioStreamBasicDescription format = float_format(sample_rate, channels);
    return AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, scope, element, &format, sizeof format);
}

OSStatus set_float_formats(AudioUnit unit, Float64 sample_rate, UInt32 channels) {
    const OSStatus status = set_float_format(unit, kAudioUnitScope_Input, 0, sample_rate, channels);
    return status != noErr ? status : set_float_format(unit, kAudioUnitScope_Output, 0, sample_rate, channels);
}

}  // namespace host
