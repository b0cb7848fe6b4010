#include "framework/AUEffectBase.h"

#include "framework/AUPropertyTable.h"

#include <algorithm>
#include <cstring>

namespace {

// What ProcessScheduledSlice needs of the render that was sliced.
struct SliceContext {
    AudioUnitRenderActionFlags *flags;
    AudioBufferList *input;
    AudioBufferList *output;
    UInt32 framesDone;  // how far the buffer pointers have been advanced
};

constexpr UInt32 kBytesPerSample = sizeof(Float32);

void AdvanceBuffers(AudioBufferList &list, SInt64 frames) {
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        AudioBuffer &buffer = list.mBuffers[i];
        buffer.mData = static_cast<Byte *>(buffer.mData) + frames * buffer.mNumberChannels * kBytesPerSample;
    }
}

void SetBufferFrames(AudioBufferList &list, UInt32 frames) {
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i)
        list.mBuffers[i].mDataByteSize = frames * list.mBuffers[i].mNumberChannels * kBytesPerSample;
}

// Input to output, buffer by buffer; the last input buffer serves any further output buffers.
// Never more than the output buffer holds.
void CopyInputToOutput(const AudioBufferList &input, AudioBufferList &output) {
    if (input.mNumberBuffers == 0) return;
    for (UInt32 i = 0; i < output.mNumberBuffers; ++i) {
        const AudioBuffer &source = input.mBuffers[std::min(i, input.mNumberBuffers - 1)];
        AudioBuffer &target = output.mBuffers[i];
        const UInt32 bytes = std::min(source.mDataByteSize, target.mDataByteSize);
        if (target.mData != source.mData && target.mData != nullptr && source.mData != nullptr)
            std::memmove(target.mData, source.mData, bytes);
        target.mDataByteSize = bytes;
    }
}

OSStatus SetBypass(AUBase &unit, AUPropertyAddress, const void *inData, UInt32) {
    auto &effect = static_cast<AUEffectBase &>(unit);
    UInt32 value;
    std::memcpy(&value, inData, sizeof value);
    const bool bypass = value != 0;
    if (bypass != effect.ShouldBypassEffect()) {
        // Coming back from bypass, the effect's state is stale: start it afresh.
        if (!bypass && effect.IsInitialized()) effect.Reset(kAudioUnitScope_Global, 0);
        effect.SetBypassEffect(bypass);
    }
    return noErr;
}

// Both read a whole 32-bit word: anything shorter is refused rather than over-read.
constexpr AUPropertyRow kEffectProperties[] = {
    {.id = kAudioUnitProperty_BypassEffect, .size = sizeof(UInt32), .writable = true,
     .get = AUGetFlag<&AUEffectBase::ShouldBypassEffect>, .setSize = AtLeast(sizeof(UInt32)), .set = SetBypass,
     .notify = AUNotify::kOnSet},
    {.id = kAudioUnitProperty_InPlaceProcessing, .size = sizeof(UInt32), .writable = true,
     .get = AUGetFlag<&AUEffectBase::ProcessesInPlace>, .setSize = AtLeast(sizeof(UInt32)),
     .set = AUSetFlag<&AUEffectBase::SetProcessesInPlace>, .notify = AUNotify::kOnSet},
};
AU_CHECK_PROPERTY_TABLE(AUPropertyTableIsWellFormed(kEffectProperties));

}  // namespace

AUEffectBase::AUEffectBase(AudioComponentInstance instance, bool inProcessesInPlace)
    : AUBase(instance, 1, 1), processesInPlace_(inProcessesInPlace) {}

OSStatus AUEffectBase::Initialize() {
    const UInt32 inChannels = GetInput(0)->NumberChannels();
    const UInt32 outChannels = GetOutput(0)->NumberChannels();
    // The table speaks in signed 16-bit counts; a count beyond them must not wrap onto a small one.
    if (inChannels > 0x7FFF || outChannels > 0x7FFF) return kAudioUnitErr_FormatNotSupported;
    const auto in = static_cast<SInt16>(inChannels), out = static_cast<SInt16>(outChannels);

    const AUChannelInfo *table = nullptr;
    const UInt32 entries = SupportedNumChannels(&table);
    bool accepted = false;
    if (entries > 0 && table != nullptr) {
        for (UInt32 i = 0; i < entries && !accepted; ++i) {
            const SInt16 ci = table[i].inChannels, co = table[i].outChannels;
            if (ci < 0 && co < 0) {
                // (-1, -1): any count, the same in and out; (-1, -2) or (-2, -1): any counts.
                accepted = (ci == -1 && co == -2) || (ci == -2 && co == -1) || (ci == -1 && co == -1 && in == out);
            } else {
                accepted = (in == ci || ci == -1) && (out == co || co == -1);
            }
        }
    } else if (entries == 0) {
        accepted = in == out && in != 0;
    }
    if (!accepted) return kAudioUnitErr_FormatNotSupported;

    if (kernels_.size() < outChannels) {
        kernels_.reserve(outChannels);
        while (kernels_.size() < outChannels) kernels_.push_back(NewKernel());
    } else {
        kernels_.resize(outChannels);
    }
    for (UInt32 channel = 0; channel < kernels_.size(); ++channel)
        if (kernels_[channel]) kernels_[channel]->SetChannelNum(channel);
    sideInputs_.assign(GetScope(kAudioUnitScope_Input).GetNumberOfElements(), nullptr);
    return noErr;
}

void AUEffectBase::Cleanup() { kernels_.clear(); }

OSStatus AUEffectBase::Reset(AudioUnitScope scope, AudioUnitElement element) {
    for (auto &kernel : kernels_)
        if (kernel) kernel->Reset();
    return AUBase::Reset(scope, element);
}

const AUPropertyRow *AUEffectBase::FindOwnProperty(AudioUnitPropertyID id, AudioUnitScope scope) {
    const AUPropertyRow *row = AUFindPropertyRow(kEffectProperties, id, scope);
    return row != nullptr ? row : AUBase::FindOwnProperty(id, scope);
}

Float64 AUEffectBase::GetSampleRate() { return GetOutput(0)->GetStreamFormat().mSampleRate; }

UInt32 AUEffectBase::GetNumberOfChannels() { return GetOutput(0)->GetStreamFormat().mChannelsPerFrame; }

OSStatus AUEffectBase::ProcessBufferLists(AudioUnitRenderActionFlags &, const AudioBufferList &inBuffer,
                                          AudioBufferList &outBuffer, UInt32) {
    // An effect that does not process passes its input through.
    CopyInputToOutput(inBuffer, outBuffer);
    return noErr;
}

OSStatus AUEffectBase::Render(AudioUnitRenderActionFlags &ioActionFlags, const AudioTimeStamp &timeStamp,
                              UInt32 frames) {
    AUInputElement *input = FindInput(0);
    if (input == nullptr || !input->IsActive()) return kAudioUnitErr_NoConnection;
    AUOutputElement *output = FindOutput(0);
    if (output == nullptr) return kAudioUnitErr_InvalidElement;

    OSStatus status = input->PullInput(ioActionFlags, timeStamp, 0, frames);
    if (status != noErr) return status;
    if ((status = PullSideInputs(ioActionFlags, timeStamp, frames)) != noErr) return status;
    AudioBufferList *inList = nullptr;
    if ((status = input->IOBuffer().GetBufferList(inList)) != noErr) return status;
    // In place: the output shares the input's buffers.
    if (ProcessesInPlace() && output->WillAllocateBuffer() &&
        (status = output->IOBuffer().SetBufferList(*inList)) != noErr)
        return status;
    AudioBufferList *outList = nullptr;
    if ((status = output->IOBuffer().GetBufferList(outList)) != noErr) return status;

    if (!ShouldBypassEffect()) {
        if (HasScheduledEvents()) {
            SliceContext context{&ioActionFlags, inList, outList, 0};
            status = ProcessForScheduledParams(ScheduledEvents(), frames, &context);
            // Back to the buffers' starts, by exactly as far as the slices moved them (a failed
            // slice leaves them short of the end).
            AdvanceBuffers(*inList, -SInt64{context.framesDone});
            AdvanceBuffers(*outList, -SInt64{context.framesDone});
            MoveSideInputs(-SInt64{context.framesDone}, frames);
            SetBufferFrames(*inList, frames);
            SetBufferFrames(*outList, frames);
        } else {
            status = ProcessBufferLists(ioActionFlags, *inList, *outList, frames);
        }
    } else {
        // Bypassed: the input goes through unchanged (shared buffers need no copy).
        CopyInputToOutput(*inList, *outList);
    }

    if ((ioActionFlags & kAudioUnitRenderAction_OutputIsSilence) != 0 && !ProcessesInPlace()) {
        for (UInt32 i = 0; i < outList->mNumberBuffers; ++i)
            if (outList->mBuffers[i].mData != nullptr)
                std::memset(outList->mBuffers[i].mData, 0, outList->mBuffers[i].mDataByteSize);
    }
    std::fill(sideInputs_.begin(), sideInputs_.end(), nullptr);
    return status;
}

OSStatus AUEffectBase::PullSideInputs(AudioUnitRenderActionFlags flags, const AudioTimeStamp &timeStamp,
                                      UInt32 frames) noexcept {
    // Each pull gets its own copy of the flags: a side source that calls its block silent says
    // nothing about this effect's output.
    for (UInt32 element = 1; element < sideInputs_.size(); ++element) {
        sideInputs_[element] = nullptr;
        AUInputElement *side = FindInput(element);
        if (side == nullptr || !side->IsActive()) continue;
        AudioUnitRenderActionFlags sideFlags = flags;
        if (const OSStatus status = side->PullInput(sideFlags, timeStamp, element, frames); status != noErr) {
            std::fill(sideInputs_.begin(), sideInputs_.end(), nullptr);
            return status;
        }
        AudioBufferList *list = nullptr;
        if (side->IOBuffer().GetBufferList(list) == noErr) sideInputs_[element] = list;
    }
    return noErr;
}

void AUEffectBase::MoveSideInputs(SInt64 frames, UInt32 sliceFrames) noexcept {
    for (AudioBufferList *list : sideInputs_) {
        if (list == nullptr) continue;
        AdvanceBuffers(*list, frames);
        SetBufferFrames(*list, sliceFrames);
    }
}

OSStatus AUEffectBase::ProcessScheduledSlice(void *userData, UInt32, UInt32 sliceFrames, UInt32) {
    auto &context = *static_cast<SliceContext *>(userData);
    SetBufferFrames(*context.input, sliceFrames);
    SetBufferFrames(*context.output, sliceFrames);
    MoveSideInputs(0, sliceFrames);
    const OSStatus status = ProcessBufferLists(*context.flags, *context.input, *context.output, sliceFrames);
    AdvanceBuffers(*context.input, sliceFrames);
    AdvanceBuffers(*context.output, sliceFrames);
    MoveSideInputs(sliceFrames, sliceFrames);
    context.framesDone += sliceFrames;
    return status;
}
