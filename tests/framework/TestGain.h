// A small effect for exercising the framework as a host would: output = input x gain
// (parameter 0), with switches that make it fail, report silence or announce a property, and a
// record of what each call of ProcessBufferLists saw (fixed arrays: the render must not allocate).
#pragma once

#include "framework/AUEffectBase.h"

#include <array>
#include <atomic>

// What a host can read of the record (property kRecordProperty) and set of the switches
// (property kControlProperty), so that tests acting through the host API see inside.
struct TestGainRecord {
    UInt32 blocks;
    UInt32 resets;
    UInt32 sliceFrames[16];
    Float32 sliceGain[16];
};
struct TestGainControl {
    OSStatus failWith;
    UInt32 reportSilence;
    UInt32 announceBlocks;
    UInt32 clearRecord;
};

class TestGain : public AUEffectBase {
public:
    static constexpr AudioUnitParameterID kGain = 0;
    static constexpr AudioUnitParameterID kSpare = 1;
    // Announced from the render thread on every block, as the real effect announces its level.
    static constexpr AudioUnitPropertyID kBlockProperty = 70000;
    static constexpr AudioUnitPropertyID kRecordProperty = 70001;
    static constexpr AudioUnitPropertyID kControlProperty = 70002;
    static constexpr size_t kMaxSlices = 64;

    explicit TestGain(AudioComponentInstance instance);

    OSStatus Version() override { return 0x00020003; }
    UInt32 SupportedNumChannels(const AUChannelInfo **outInfo) override;
    OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id, AudioUnitParameterInfo &info) override;
    OSStatus Reset(AudioUnitScope scope, AudioUnitElement element) override;
    // The record (read only) and the switches (write only), in the global scope.
    const AUPropertyRow *FindOwnProperty(AudioUnitPropertyID id, AudioUnitScope scope) override;
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags &flags, const AudioBufferList &in, AudioBufferList &out,
                                UInt32 frames) override;

    // What the test asks of the next blocks.
    std::atomic<OSStatus> failWith{noErr};
    std::atomic<bool> reportSilence{false};
    std::atomic<bool> announceBlocks{false};
    std::atomic<bool> throwBadAlloc{false};

    // What the blocks saw.
    std::atomic<unsigned> blocks{0};
    std::atomic<unsigned> resets{0};
    std::array<UInt32, kMaxSlices> sliceFrames{};
    std::array<Float32, kMaxSlices> sliceGain{};
    void ClearRecord() {
        blocks = 0;
        sliceFrames.fill(0);
        sliceGain.fill(0);
    }
};
