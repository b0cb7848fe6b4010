#include "tests/framework/TestGain.h"

#include "framework/AUPropertyTable.h"

#include <cstring>
#include <new>

namespace {

OSStatus GetRecord(AUBase &unit, AUPropertyAddress, void *data) {
    auto &gain = static_cast<TestGain &>(unit);
    TestGainRecord record{gain.blocks.load(), gain.resets.load(), {}, {}};
    for (size_t i = 0; i < 16; ++i) {
        record.sliceFrames[i] = gain.sliceFrames[i];
        record.sliceGain[i] = gain.sliceGain[i];
    }
    std::memcpy(data, &record, sizeof record);
    return noErr;
}

OSStatus SetControl(AUBase &unit, AUPropertyAddress, const void *data, UInt32) {
    auto &gain = static_cast<TestGain &>(unit);
    TestGainControl control;
    std::memcpy(&control, data, sizeof control);
    gain.failWith = control.failWith;
    gain.reportSilence = control.reportSilence != 0;
    gain.announceBlocks = control.announceBlocks != 0;
    if (control.clearRecord != 0) gain.ClearRecord();
    return noErr;
}

constexpr AUPropertyRow kTestGainProperties[] = {
    {.id = TestGain::kRecordProperty, .size = sizeof(TestGainRecord), .get = GetRecord},
    {.id = TestGain::kControlProperty, .size = sizeof(TestGainControl), .writable = true,
     .setSize = Exactly(sizeof(TestGainControl)), .set = SetControl, .notify = AUNotify::kOnSet},
};
AU_CHECK_PROPERTY_TABLE(AUPropertyTableIsWellFormed(kTestGainProperties));

}  // namespace

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

const AUPropertyRow *TestGain::FindOwnProperty(AudioUnitPropertyID id, AudioUnitScope scope) {
    const AUPropertyRow *row = AUFindPropertyRow(kTestGainProperties, id, scope);
    return row != nullptr ? row : AUEffectBase::FindOwnProperty(id, scope);
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
