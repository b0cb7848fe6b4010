// The render flow through the host API: inputs from a callback and from a connected unit, the
// argument checks and LastRenderError, sample-time deduplication, scheduled-parameter slicing,
// bypass, silence, render notifications and the floating-point mode.
#include "tests/framework/FrameworkTestHost.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

using namespace fwtest;

namespace {

// A stereo test unit, initialized, fed by an input signal.
struct Rig {
    Unit unit;
    InputSignal input;
    explicit Rig(UInt32 channels = 2, bool initialize = true) {
        EXPECT_EQ(SetChannels(unit, channels, channels), noErr);
        EXPECT_EQ(input.Attach(unit), noErr);
        if (initialize) {
            EXPECT_EQ(AudioUnitInitialize(unit), noErr);
        }
    }
};

OSStatus ReadLastRenderError(AudioUnit unit) {
    OSStatus error = 12345;
    EXPECT_EQ(Get(unit, kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, error), noErr);
    return error;
}

void ExpectScaledInput(Buffers &buffers, UInt32 channels, UInt32 frames, float gain) {
    for (UInt32 c = 0; c < channels; ++c)
        for (UInt32 i = 0; i < frames; ++i)
            ASSERT_EQ(buffers.channel(c)[i], InputSignal::Sample(c, i) * gain) << "channel " << c << " frame " << i;
}

// Records every call of a render notification.
struct Notes {
    std::vector<AudioUnitRenderActionFlags> flags;
    unsigned mxcsrFlushBits = 0;
    static OSStatus Callback(void *self, AudioUnitRenderActionFlags *flags, const AudioTimeStamp *, UInt32, UInt32,
                             AudioBufferList *) {
        auto &notes = *static_cast<Notes *>(self);
        notes.flags.push_back(*flags);
#if defined(__x86_64__)
        notes.mxcsrFlushBits = _mm_getcsr() & 0x8040u;
#endif
        return noErr;
    }
};

}  // namespace

TEST(Render, FromACallbackIntoTheCallersBuffersAndIntoOurs) {
    Rig rig;
    ASSERT_EQ(AudioUnitSetParameter(rig.unit, TestGain::kGain, kAudioUnitScope_Global, 0, 0.5f, 0), noErr);
    Buffers buffers(2, 512);
    ASSERT_EQ(Render(rig.unit, buffers, 512, 0), noErr);
    ExpectScaledInput(buffers, 2, 512, 0.5f);
    EXPECT_EQ(buffers.list()->mBuffers[0].mDataByteSize, 512u * 4);
    // Stereo is two buffers of one channel each.
    EXPECT_EQ(buffers.list()->mNumberBuffers, 2u);
    EXPECT_EQ(buffers.list()->mBuffers[1].mNumberChannels, 1u);

    // Without memory of its own, the caller receives pointers to the unit's 16-byte-aligned buffers.
    Buffers pointers(2, 256, /*withMemory*/ false);
    ASSERT_EQ(Render(rig.unit, pointers, 256, 512), noErr);
    for (UInt32 c = 0; c < 2; ++c) {
        ASSERT_NE(pointers.channel(c), nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(pointers.channel(c)) % 16, 0u);
        EXPECT_NE(pointers.channel(c), pointers.storage(c));
    }
    ExpectScaledInput(pointers, 2, 256, 0.5f);

    Float64 lastRendered = 0;
    EXPECT_EQ(Get(rig.unit, 0x6C727374, kAudioUnitScope_Global, 0, lastRendered), noErr);
    EXPECT_EQ(lastRendered, 512.0);
}

TEST(Render, FromAConnectedUnit) {
    Rig source(1);
    ASSERT_EQ(AudioUnitSetParameter(source.unit, TestGain::kGain, kAudioUnitScope_Global, 0, 4.0f, 0), noErr);
    Unit destination;
    ASSERT_EQ(Set(destination, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, CanonicalFormat(1)), noErr);
    int connections = 0;
    auto heard = [](void *count, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
        ++*static_cast<int *>(count);
    };
    ASSERT_EQ(AudioUnitAddPropertyListener(destination, kAudioUnitProperty_MakeConnection, heard, &connections), noErr);
    AudioUnitConnection connection{source.unit, 0, 0};
    ASSERT_EQ(Set(destination, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, connection), noErr);
    EXPECT_EQ(connections, 1);
    // The input took the source's format, and is no longer writable.
    AudioStreamBasicDescription format{};
    ASSERT_EQ(Get(destination, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, format), noErr);
    EXPECT_EQ(format.mChannelsPerFrame, 1u);
    EXPECT_EQ(Set(destination, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, CanonicalFormat(2)),
              kAudioUnitErr_PropertyNotWritable);
    ASSERT_EQ(AudioUnitSetParameter(destination, TestGain::kGain, kAudioUnitScope_Global, 0, 0.25f, 0), noErr);
    ASSERT_EQ(AudioUnitInitialize(destination), noErr);

    for (Float64 time : {0.0, 300.0}) {
        Buffers buffers(1, 300);
        ASSERT_EQ(Render(destination, buffers, 300, time), noErr);
        ExpectScaledInput(buffers, 1, 300, 1.0f);  // x4 then x0.25
    }
    EXPECT_EQ(source.input.calls, 2u);

    AudioUnitConnection none{nullptr, 0, 0};
    ASSERT_EQ(Set(destination, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, none), noErr);
    Buffers buffers(1, 64);
    EXPECT_EQ(Render(destination, buffers, 64, 600), kAudioUnitErr_NoConnection);
    AudioUnitConnection toMissingInput{source.unit, 0, 3};
    EXPECT_EQ(Set(destination, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, toMissingInput),
              kAudioUnitErr_InvalidElement);
}

TEST(Render, ArgumentChecksAndLastRenderError) {
    Rig rig(2, /*initialize*/ false);
    Buffers buffers(2, 2048);
    EXPECT_EQ(Render(rig.unit, buffers, 64, 0), kAudioUnitErr_Uninitialized);
    EXPECT_EQ(ReadLastRenderError(rig.unit), kAudioUnitErr_Uninitialized);
    ASSERT_EQ(AudioUnitInitialize(rig.unit), noErr);

    int announced = 0;
    auto heard = [](void *count, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
        ++*static_cast<int *>(count);
    };
    ASSERT_EQ(AudioUnitAddPropertyListener(rig.unit, kAudioUnitProperty_LastRenderError, heard, &announced), noErr);
    EXPECT_EQ(Render(rig.unit, buffers, 1157, 0), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(Render(rig.unit, buffers, 1157, 0), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(announced, 1);  // only the first error since the last read is recorded
    EXPECT_EQ(ReadLastRenderError(rig.unit), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(ReadLastRenderError(rig.unit), noErr);
    EXPECT_EQ(Render(rig.unit, buffers, 1156, 0), noErr);

    Buffers mono(1, 64);
    EXPECT_EQ(Render(rig.unit, mono, 64, 2000), paramErr);
    Buffers small(2, 32);
    EXPECT_EQ(Render(rig.unit, small, 64, 3000), paramErr);
    EXPECT_EQ(ReadLastRenderError(rig.unit), paramErr);
    const AudioTimeStamp stamp = TimeStamp(0);
    EXPECT_EQ(AudioUnitRender(rig.unit, nullptr, nullptr, 0, 64, buffers.list()), paramErr);
    EXPECT_EQ(AudioUnitRender(rig.unit, nullptr, &stamp, 0, 64, nullptr), paramErr);
    EXPECT_EQ(AudioUnitRender(rig.unit, nullptr, &stamp, 1, 64, buffers.list()), kAudioUnitErr_InvalidElement);

    // The buffers follow a larger maximum once it is set (while uninitialized).
    ASSERT_EQ(AudioUnitUninitialize(rig.unit), noErr);
    ASSERT_EQ(Set(rig.unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, UInt32{2048}), noErr);
    ASSERT_EQ(AudioUnitInitialize(rig.unit), noErr);
    Buffers pointers(2, 2048, false);
    ASSERT_EQ(Render(rig.unit, pointers, 2048, 5000), noErr);
    ExpectScaledInput(pointers, 2, 2048, 1.0f);
}

TEST(Render, TheSameSampleTimeRendersOnce) {
    Rig rig;
    Buffers first(2, 128);
    ASSERT_EQ(Render(rig.unit, first, 128, 1000), noErr);
    Buffers second(2, 128, true, -3.0f);
    ASSERT_EQ(Render(rig.unit, second, 128, 1000), noErr);
    EXPECT_EQ(Record(rig.unit).blocks, 1u);
    EXPECT_EQ(rig.input.calls, 1u);
    for (UInt32 i = 0; i < 128; ++i) ASSERT_EQ(second.channel(0)[i], -3.0f);
    // A reset forgets the time.
    ASSERT_EQ(AudioUnitReset(rig.unit, kAudioUnitScope_Global, 0), noErr);
    ASSERT_EQ(Render(rig.unit, second, 128, 1000), noErr);
    EXPECT_EQ(Record(rig.unit).blocks, 2u);
}

TEST(Render, ARampSplitsTheRenderIntoSlices) {
    Rig rig;
    ASSERT_EQ(Control(rig.unit, {noErr, 0, 0, 1}), noErr);
    AudioUnitParameterEvent ramp{};
    ramp.scope = kAudioUnitScope_Global;
    ramp.parameter = TestGain::kGain;
    ramp.eventType = kParameterEvent_Ramped;
    ramp.eventValues.ramp = {100, 200, 0.5f, 1.5f};
    ASSERT_EQ(AudioUnitScheduleParameters(rig.unit, &ramp, 1), noErr);
    Buffers buffers(2, 512);
    ASSERT_EQ(Render(rig.unit, buffers, 512, 0), noErr);
    const TestGainRecord record = Record(rig.unit);
    ASSERT_EQ(record.blocks, 3u);
    EXPECT_EQ(record.sliceFrames[0], 100u);
    EXPECT_EQ(record.sliceFrames[1], 200u);
    EXPECT_EQ(record.sliceFrames[2], 212u);
    EXPECT_EQ(record.sliceGain[0], 1.0f);
    EXPECT_EQ(record.sliceGain[1], 0.5f);  // the ramp's start value
    // Each slice processed its own stretch of the buffers, and they were handed back whole.
    for (UInt32 i = 0; i < 512; ++i) {
        const float gain = i < 100 ? 1.0f : 0.5f;
        ASSERT_EQ(buffers.channel(1)[i], InputSignal::Sample(1, i) * gain) << "frame " << i;
    }
    EXPECT_EQ(buffers.list()->mBuffers[0].mDataByteSize, 512u * 4);

    // The events belonged to that render: the next one is a single block.
    ASSERT_EQ(Render(rig.unit, buffers, 512, 512), noErr);
    EXPECT_EQ(Record(rig.unit).blocks, 4u);
}

TEST(Render, AnImmediateEventAppliesAtOnceAndToEverySlice) {
    Rig rig;
    ASSERT_EQ(Control(rig.unit, {noErr, 0, 0, 1}), noErr);
    AudioUnitParameterEvent events[2]{};
    events[0].scope = kAudioUnitScope_Global;
    events[0].parameter = TestGain::kGain;
    events[0].eventType = kParameterEvent_Immediate;
    events[0].eventValues.immediate = {0, 0.125f};
    events[1] = events[0];
    events[1].parameter = TestGain::kSpare;
    events[1].eventValues.immediate = {300, 2.0f};
    ASSERT_EQ(AudioUnitScheduleParameters(rig.unit, events, 2), noErr);
    AudioUnitParameterValue gain = 0;
    ASSERT_EQ(AudioUnitGetParameter(rig.unit, TestGain::kGain, kAudioUnitScope_Global, 0, &gain), noErr);
    EXPECT_EQ(gain, 0.125f);
    Buffers buffers(2, 400);
    ASSERT_EQ(Render(rig.unit, buffers, 400, 0), noErr);
    const TestGainRecord record = Record(rig.unit);
    ASSERT_EQ(record.blocks, 2u);  // split at the second event's offset
    EXPECT_EQ(record.sliceFrames[0], 300u);
    EXPECT_EQ(record.sliceFrames[1], 100u);
    EXPECT_EQ(record.sliceGain[0], 0.125f);
    EXPECT_EQ(record.sliceGain[1], 0.125f);
    ExpectScaledInput(buffers, 2, 400, 0.125f);

    AudioUnitParameterEvent badScope = events[0];
    badScope.scope = 9;
    EXPECT_EQ(AudioUnitScheduleParameters(rig.unit, &badScope, 1), kAudioUnitErr_InvalidScope);
}

TEST(Render, BypassInPlaceAndNotInPlace) {
    for (UInt32 inPlace : {1u, 0u}) {
        SCOPED_TRACE(inPlace ? "in place" : "not in place");
        Rig rig(2, false);
        ASSERT_EQ(Set(rig.unit, kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, inPlace), noErr);
        ASSERT_EQ(AudioUnitInitialize(rig.unit), noErr);
        ASSERT_EQ(AudioUnitSetParameter(rig.unit, TestGain::kGain, kAudioUnitScope_Global, 0, 3.0f, 0), noErr);
        ASSERT_EQ(Set(rig.unit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, UInt32{1}), noErr);
        for (bool callerMemory : {true, false}) {
            Buffers buffers(2, 256, callerMemory);
            ASSERT_EQ(Render(rig.unit, buffers, 256, callerMemory ? 0 : 256), noErr);
            ExpectScaledInput(buffers, 2, 256, 1.0f);
        }
        EXPECT_EQ(Record(rig.unit).blocks, 0u);  // the effect never ran
    }
}

TEST(Render, OutputIsSilenceZeroesOnlyBuffersNotSharedWithTheInput) {
    for (UInt32 inPlace : {0u, 1u}) {
        SCOPED_TRACE(inPlace ? "in place" : "not in place");
        Rig rig(1, false);
        ASSERT_EQ(Set(rig.unit, kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, inPlace), noErr);
        ASSERT_EQ(AudioUnitInitialize(rig.unit), noErr);
        ASSERT_EQ(Control(rig.unit, {noErr, 1, 0, 0}), noErr);
        Buffers buffers(1, 64);
        AudioUnitRenderActionFlags flags = 0;
        ASSERT_EQ(Render(rig.unit, buffers, 64, 0, &flags), noErr);
        EXPECT_NE(flags & kAudioUnitRenderAction_OutputIsSilence, 0u);
        if (inPlace)
            ExpectScaledInput(buffers, 1, 64, 1.0f);  // the effect's own output stands
        else
            for (UInt32 i = 0; i < 64; ++i) ASSERT_EQ(buffers.channel(0)[i], 0.0f);
    }
}

TEST(Render, NotificationsRunOnceEachBeforeAndAfterWithFlushToZero) {
    Rig rig;
    Notes notes, other;
    ASSERT_EQ(AudioUnitAddRenderNotify(rig.unit, &Notes::Callback, &notes), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(rig.unit, &Notes::Callback, &notes), noErr);  // a duplicate
    ASSERT_EQ(AudioUnitAddRenderNotify(rig.unit, &Notes::Callback, &other), noErr);
    EXPECT_EQ(AudioUnitAddRenderNotify(rig.unit, nullptr, &notes), paramErr);
    Buffers buffers(2, 64);
    ASSERT_EQ(Render(rig.unit, buffers, 64, 0), noErr);
    ASSERT_EQ(notes.flags.size(), 2u);
    EXPECT_EQ(notes.flags[0], AudioUnitRenderActionFlags(kAudioUnitRenderAction_PreRender));
    EXPECT_EQ(notes.flags[1] & (kAudioUnitRenderAction_PostRender | kAudioUnitRenderAction_PostRenderError),
              AudioUnitRenderActionFlags(kAudioUnitRenderAction_PostRender));
    EXPECT_EQ(other.flags.size(), 2u);
#if defined(__x86_64__)
    EXPECT_EQ(notes.mxcsrFlushBits, 0x8040u);  // flush-to-zero and denormals-are-zero during the render
    EXPECT_EQ(_mm_getcsr() & 0x8040u, 0u);     // and restored after it
#endif

    // A failing processing is answered, recorded and flagged to the notifications.
    ASSERT_EQ(Control(rig.unit, {-4242, 0, 0, 0}), noErr);
    ASSERT_EQ(Render(rig.unit, buffers, 64, 64), -4242);
    EXPECT_NE(notes.flags.back() & kAudioUnitRenderAction_PostRenderError, 0u);
    EXPECT_EQ(ReadLastRenderError(rig.unit), -4242);
    ASSERT_EQ(Control(rig.unit, {noErr, 0, 0, 0}), noErr);

    ASSERT_EQ(AudioUnitRemoveRenderNotify(rig.unit, &Notes::Callback, &notes), noErr);
    notes.flags.clear();
    other.flags.clear();
    ASSERT_EQ(Render(rig.unit, buffers, 64, 128), noErr);
    EXPECT_TRUE(notes.flags.empty());
    EXPECT_EQ(other.flags.size(), 2u);
}

TEST(Render, NotificationsOfOneRoundShareOneFlagsWord) {
    Rig rig;
    constexpr AudioUnitRenderActionFlags kMark = 0x4000;
    auto mark = [](void *, AudioUnitRenderActionFlags *flags, const AudioTimeStamp *, UInt32, UInt32,
                   AudioBufferList *) -> OSStatus {
        *flags |= kMark;
        return noErr;
    };
    Notes notes;
    ASSERT_EQ(AudioUnitAddRenderNotify(rig.unit, mark, nullptr), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(rig.unit, &Notes::Callback, &notes), noErr);
    Buffers buffers(2, 64);
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(Render(rig.unit, buffers, 64, 0, &flags), noErr);
    // The later callback sees what the earlier one wrote, before and after the render...
    ASSERT_EQ(notes.flags.size(), 2u);
    EXPECT_EQ(notes.flags[0], kAudioUnitRenderAction_PreRender | kMark);
    EXPECT_EQ(notes.flags[1] & (kAudioUnitRenderAction_PostRender | kMark), kAudioUnitRenderAction_PostRender | kMark);
    // ...but the word is the round's own: the caller's flags do not carry it.
    EXPECT_EQ(flags & kMark, 0u);
}

TEST(Render, AFailingInputCallbackReachesTheCaller) {
    Rig rig;
    Notes notes;
    ASSERT_EQ(AudioUnitAddRenderNotify(rig.unit, &Notes::Callback, &notes), noErr);
    rig.input.failWith = -5555;
    Buffers buffers(2, 64);
    EXPECT_EQ(Render(rig.unit, buffers, 64, 0), -5555);
    ASSERT_EQ(notes.flags.size(), 2u);
    EXPECT_NE(notes.flags[1] & kAudioUnitRenderAction_PostRenderError, 0u);
    EXPECT_EQ(Record(rig.unit).blocks, 0u);
    EXPECT_EQ(ReadLastRenderError(rig.unit), -5555);
}

TEST(Render, AnInputThatLeavesBuffersEmptyIsRefused) {
    Unit unit;
    ASSERT_EQ(SetChannels(unit, 1, 1), noErr);
    // Input memory is the callback's to give (the unit allocates none); this callback gives none.
    ASSERT_EQ(Set(unit, kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Input, 0, UInt32{0}), noErr);
    auto lazy = [](void *, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32,
                   AudioBufferList *) -> OSStatus { return noErr; };
    ASSERT_EQ(Set(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, AURenderCallbackStruct{lazy, nullptr}),
              noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    Buffers buffers(1, 64);
    EXPECT_EQ(Render(unit, buffers, 64, 0), paramErr);
    EXPECT_EQ(Record(unit).blocks, 0u);
}

TEST(Render, AnExternalBufferServesAsTheOutputMemory) {
    Rig rig(1, false);
    // Not in place, so the output is rendered into its own memory rather than the input's.
    ASSERT_EQ(Set(rig.unit, kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, UInt32{0}), noErr);
    ASSERT_EQ(AudioUnitInitialize(rig.unit), noErr);
    alignas(16) static float block[2048];
    AudioUnitExternalBuffer external{reinterpret_cast<Byte *>(block), sizeof block};
    ASSERT_EQ(Set(rig.unit, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, external), noErr);
    Buffers pointers(1, 256, false);
    ASSERT_EQ(Render(rig.unit, pointers, 256, 0), noErr);
    EXPECT_EQ(pointers.channel(0), block);
    ExpectScaledInput(pointers, 1, 256, 1.0f);
}

TEST(Render, ANullExternalBufferIsRefusedAndTheOwnMemoryStays) {
    Rig rig(1, false);
    ASSERT_EQ(Set(rig.unit, kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, UInt32{0}), noErr);
    ASSERT_EQ(AudioUnitInitialize(rig.unit), noErr);
    const AudioUnitExternalBuffer none{nullptr, 1u << 20};
    EXPECT_EQ(Set(rig.unit, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, none), paramErr);
    Buffers pointers(1, 256, false);
    ASSERT_EQ(Render(rig.unit, pointers, 256, 0), noErr);
    ASSERT_NE(pointers.channel(0), nullptr);
    ExpectScaledInput(pointers, 1, 256, 1.0f);
}

TEST(Render, ACallerListWithSomeNullBuffersIsFilledWithoutWritingThroughThem) {
    // Not in place, so the effect writes to the output list itself.
    Rig rig(2, false);
    ASSERT_EQ(Set(rig.unit, kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, UInt32{0}), noErr);
    ASSERT_EQ(AudioUnitInitialize(rig.unit), noErr);
    Buffers buffers(2, 64);
    buffers.list()->mBuffers[1].mData = nullptr;
    ASSERT_EQ(Render(rig.unit, buffers, 64, 0), noErr);
    EXPECT_EQ(buffers.channel(0), buffers.storage(0));  // the caller's memory receives its samples
    ASSERT_NE(buffers.channel(1), nullptr);              // the null buffer is pointed at ours
    ExpectScaledInput(buffers, 2, 64, 1.0f);

    // Without memory of its own the output has nowhere to render the null buffer: refused.
    Rig lazy(2, false);
    ASSERT_EQ(Set(lazy.unit, kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, UInt32{0}), noErr);
    ASSERT_EQ(Set(lazy.unit, kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0, UInt32{0}), noErr);
    ASSERT_EQ(AudioUnitInitialize(lazy.unit), noErr);
    Buffers partial(2, 64);
    partial.list()->mBuffers[1].mData = nullptr;
    EXPECT_EQ(Render(lazy.unit, partial, 64, 0), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(Record(lazy.unit).blocks, 0u);
}
