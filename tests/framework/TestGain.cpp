#include "tests/framework/TestGain.h"

#include <cstring>
#include <new>

TestGain::TestGain(AudioComponentInstance instance) : AUEffectBase(instance) {
    CreateElements();
    Globals()->UseIndexedParameters(2);
    Globals()->SetParameter(kGain, 1.0f);
    Globals()->SetParameter(kSpare, 0.25f);
}

UInt32 TestGain::SupportedNumChannels(const AUChannelInfo **outInfo) {
    static constexpr AUChannelInfo kConfigurations[] = {{1, 1}, {2, 2}};
    if (outInfo != nullptr) *outInfo = kConfigurations;
    return 2;
}

OSStatus TestGain::GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo &info) {
    info.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
    if (scope != kAudioUnitScope_Global || id > kSpare) return kAudioUnitErr_InvalidParameter;
    std::strncpy(info.name, id == kGain ? "Gain" : "Spare", sizeof info.name);
    info.unit = kAudioUnitParameterUnit_LinearGain;
    info.minValue = 0;
    info.maxValue = 4;
    info.defaultValue = id == kGain ? 1.0f : 0.25f;
    return noErr;
}

OSStatus TestGain::Reset(AudioUnitScope scope, AudioUnitElement element) {
    ++resets;
    return AUEffectBase::Reset(scope, element);
}

OSStatus TestGain::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                   UInt32 &size, Boolean &writable) {
    if (scope == kAudioUnitScope_Global && id == kRecordProperty) {
        size = sizeof(TestGainRecord);
        writable = false;
        return noErr;
    }
    if (scope == kAudioUnitScope_Global && id == kControlProperty) {
        size = sizeof(TestGainControl);
        writable = true;
        return noErr;
    }
    return AUEffectBase::GetPropertyInfo(id, scope, element, size, writable);
}

OSStatus TestGain::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void *data) {
    if (scope == kAudioUnitScope_Global && id == kRecordProperty) {
        TestGainRecord record{blocks.load(), resets.load(), {}, {}};
        for (size_t i = 0; i < 16; ++i) {
            record.sliceFrames[i] = sliceFrames[i];
            record.sliceGain[i] = sliceGain[i];
        }
        std::memcpy(data, &record, sizeof record);
        return noErr;
    }
    return AUEffectBase::GetProperty(id, scope, element, data);
}

OSStatus TestGain::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                               const void *data, UInt32 size) {
    if (scope == kAudioUnitScope_Global && id == kControlProperty) {
        if (size != sizeof(TestGainControl)) return kAudioUnitErr_InvalidPropertyValue;
        TestGainControl control;
        std::memcpy(&control, data, sizeof control);
        failWith = control.failWith;
        reportSilence = control.reportSilence != 0;
        announceBlocks = control.announceBlocks != 0;
        if (control.clearRecord != 0) ClearRecord();
        return noErr;
    }
    return AUEffectBase::SetProperty(id, scope, element, data, size);
}

OSStatus TestGain::ProcessBufferLists(AudioUnitRenderActionFlags &flags, const AudioBufferList &in,
                                      AudioBufferList &out, UInt32 frames) {
    const unsigned block = blocks++;
    // Read the way an effect reads on the render thread: no throw, no allocation.
    const ParameterMapEvent *gainParameter = Globals()->FindParameter(kGain);
    const Float32 gain = gainParameter != nullptr ? gainParameter->Value1() : 0.0f;
    if (block < kMaxSlices) {
        sliceFrames[block] = frames;
        sliceGain[block] = gain;
    }
    if (announceBlocks) PropertyChanged(kBlockProperty, kAudioUnitScope_Global, 0);
    if (throwBadAlloc) throw std::bad_alloc();
    if (const OSStatus status = failWith.load(); status != noErr) return status;
    for (UInt32 b = 0; b < out.mNumberBuffers && b < in.mNumberBuffers; ++b) {
        const auto *source = static_cast<const Float32 *>(in.mBuffers[b].mData);
        auto *target = static_cast<Float32 *>(out.mBuffers[b].mData);
        for (UInt32 i = 0; i < frames; ++i) target[i] = source[i] * gain;
    }
    if (reportSilence)
        flags |= kAudioUnitRenderAction_OutputIsSilence;
    else
        flags &= ~kAudioUnitRenderAction_OutputIsSilence;
    return noErr;
}
