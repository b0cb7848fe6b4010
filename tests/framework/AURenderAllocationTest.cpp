// The render path allocates nothing: this binary counts what the rendering thread allocates
// across many renders after the first (see tests/support/allocation_counter.cpp).
#include "tests/framework/FrameworkTestHost.h"
#include "tests/support/allocation_counter.h"

#include <gtest/gtest.h>

#include <vector>


using namespace fwtest;
using Counting = test_support::allocation_counting;

namespace {

OSStatus Notified(void *count, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32, AudioBufferList *) {
    ++*static_cast<long *>(count);
    return noErr;
}
void Heard(void *count, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++*static_cast<long *>(count);
}

}  // namespace

TEST(RenderAllocation, TheCounterSeesTheComponentsAllocations) {
    Unit unit;
    UInt32 size = 0;
    AudioUnitParameterID ids[2];
    size = sizeof ids;
    Counting counting;
    // Reading the parameter list builds a temporary list inside the component.
    ASSERT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids, &size), noErr);
    EXPECT_GT(counting.allocations(), 0);
}

TEST(RenderAllocation, RendersAfterTheFirstAllocateNothing) {
    Unit unit;
    InputSignal input;
    ASSERT_EQ(SetChannels(unit, 2, 2), noErr);
    ASSERT_EQ(input.Attach(unit), noErr);
    ASSERT_EQ(Control(unit, {noErr, 0, /*announceBlocks*/ 1, 0}), noErr);
    long notifications = 0, announcements = 0, errors = 0;
    ASSERT_EQ(AudioUnitAddRenderNotify(unit, &Notified, &notifications), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, TestGain::kBlockProperty, &Heard, &announcements), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_LastRenderError, &Heard, &errors), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);

    Buffers withMemory(2, 512), withoutMemory(2, 512, false);
    // A hundred events per scheduled render, ramps and immediate changes of both parameters spread
    // over the block: as many slices, all within the room made at Initialize.
    std::vector<AudioUnitParameterEvent> events(100);
    for (UInt32 i = 0; i < events.size(); ++i) {
        events[i].parameter = i % 2 ? TestGain::kSpare : TestGain::kGain;
        if (i % 4 < 2) {
            events[i].eventType = kParameterEvent_Ramped;
            events[i].eventValues.ramp = {static_cast<SInt32>(5 * i), 3, 0.5f, 1.0f};
        } else {
            events[i].eventType = kParameterEvent_Immediate;
            events[i].eventValues.immediate = {5 * i, 0.75f};
        }
    }
    ASSERT_EQ(Render(unit, withMemory, 512, 0), noErr);  // the first render may set things up

    const std::vector<AudioUnitParameterEvent> flood(
        AUBase::ScheduledEventCapacity(TestGain::kDefaultMaxFramesPerSlice) + 1, events[2]);
    constexpr int kRenders = 2000;
    long allocations = 0, rendered = 0;
    {
        Counting counting;
        for (int i = 1; i <= kRenders; ++i) {
            Buffers &buffers = i % 2 ? withMemory : withoutMemory;
            if (i % 3 == 0 && AudioUnitScheduleParameters(unit, events.data(), 100) != noErr) ADD_FAILURE();
            const OSStatus status = Render(unit, buffers, i % 7 == 0 ? 1157 : 512, 512.0 * i);
            if (status == noErr)
                ++rendered;
            else if (status != kAudioUnitErr_TooManyFramesToProcess)
                ADD_FAILURE() << status;
        }
        // More events than one render can carry are refused whole, not grown into.
        EXPECT_EQ(AudioUnitScheduleParameters(unit, flood.data(), static_cast<UInt32>(flood.size())),
                  kAudioUnitErr_CannotDoInCurrentContext);
        allocations = counting.allocations();
    }
    EXPECT_EQ(allocations, 0);
    // The paths under test really ran: notifications, announcements from the render thread, and
    // the recording of a render error.
    EXPECT_EQ(rendered, kRenders - kRenders / 7);
    EXPECT_EQ(notifications, 2 * (rendered + 1));  // before and after each render that ran
    EXPECT_GE(announcements, rendered);
    EXPECT_EQ(errors, 1);
}
