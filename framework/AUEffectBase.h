// The effect base: one input bus, one output bus, bypass and in-place processing.
#pragma once

#include "framework/AUBase.h"

#include <memory>
#include <vector>

class AUEffectBase;

// A per-channel processor. Effects that process whole buffer lists (ProcessBufferLists) have none:
// NewKernel answers nullptr and the kernel list holds one empty entry per channel.
class AUKernelBase {
public:
    explicit AUKernelBase(AUEffectBase &owner) : owner_(owner) {}
    virtual ~AUKernelBase() = default;
    virtual void Reset() {}
    void SetChannelNum(UInt32 channel) { channel_ = channel; }
    UInt32 GetChannelNum() const { return channel_; }
    AUEffectBase &GetOwner() const { return owner_; }

private:
    AUEffectBase &owner_;
    UInt32 channel_ = 0;
};

class AUEffectBase : public AUBase {
public:
    explicit AUEffectBase(AudioComponentInstance instance, bool inProcessesInPlace = true);

    // Host threads: the channel-configuration check, then one kernel entry per output channel.
    OSStatus Initialize() override;
    void Cleanup() override;
    OSStatus Reset(AudioUnitScope scope, AudioUnitElement element) override;

    // BypassEffect and InPlaceProcessing, in the global scope.
    const AUPropertyRow *FindOwnProperty(AudioUnitPropertyID id, AudioUnitScope scope) override;

    // Formats may change only while the instance is not initialized.
    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override { return !IsInitialized(); }

    // Render thread: pulls the input, handles in-place processing, bypass and scheduled slices,
    // and calls ProcessBufferLists.
    OSStatus Render(AudioUnitRenderActionFlags &ioActionFlags, const AudioTimeStamp &timeStamp,
                    UInt32 frames) override;
    OSStatus ProcessScheduledSlice(void *userData, UInt32 sliceStart, UInt32 sliceFrames,
                                   UInt32 totalFrames) override;

    // Host threads (Initialize).
    virtual std::unique_ptr<AUKernelBase> NewKernel() { return nullptr; }
    // Render thread: the effect's processing of one block (or slice). May set or clear
    // kAudioUnitRenderAction_OutputIsSilence in the flags.
    virtual OSStatus ProcessBufferLists(AudioUnitRenderActionFlags &ioActionFlags, const AudioBufferList &inBuffer,
                                        AudioBufferList &outBuffer, UInt32 inFramesToProcess);
    // Acquire/release: what a control thread did before switching bypass (a Reset's request when
    // switching it off) is visible to the render that sees the new value.
    virtual bool ShouldBypassEffect() { return bypass_.load(std::memory_order_acquire); }
    virtual void SetBypassEffect(bool flag) { bypass_.store(flag, std::memory_order_release); }

    // Output element 0's format; throw kAudioUnitErr_InvalidElement without one. Any thread.
    Float64 GetSampleRate();
    UInt32 GetNumberOfChannels();

    bool ProcessesInPlace() const { return processesInPlace_.load(std::memory_order_relaxed); }
    void SetProcessesInPlace(bool flag) { processesInPlace_.store(flag, std::memory_order_relaxed); }
    const std::vector<std::unique_ptr<AUKernelBase>> &Kernels() const { return kernels_; }

    // Render thread, inside ProcessBufferLists: the samples input element `element` (1 or more)
    // delivered for the block being processed, positioned and sized like the main input's list
    // (a slice sees its own stretch); nullptr when that element has no source. Input elements
    // beyond the first are pulled at each render after element 0, with the same frame count.
    const AudioBufferList *SideInput(AudioUnitElement element) const noexcept {
        return element < sideInputs_.size() ? sideInputs_[element] : nullptr;
    }

private:
    // Render thread: pulls every further input element that has a source.
    OSStatus PullSideInputs(AudioUnitRenderActionFlags flags, const AudioTimeStamp &timeStamp, UInt32 frames) noexcept;
    void MoveSideInputs(SInt64 frames, UInt32 sliceFrames) noexcept;

    std::vector<std::unique_ptr<AUKernelBase>> kernels_;
    // One entry per input element, sized at Initialize; entry 0 is unused (element 0 is the main
    // input). Filled by each render, emptied at its end.
    std::vector<AudioBufferList *> sideInputs_;
    // Set by host threads, read by the render thread.
    std::atomic<bool> bypass_{false};
    std::atomic<bool> processesInPlace_;
};
