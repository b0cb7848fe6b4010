// The effect's render path allocates nothing: parameter changes applied at the top of a block,
// the whole chain, and the level announcements that reach an editor-like event listener from the
// render thread, counted across many renders after the first.
#include "tests/lv2/lock_counter.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/syscall_counter.h"
#include "zentrova_host.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace zentrova_test;

namespace {

void heard(void *count, void *, const AudioUnitEvent *, UInt64, AudioUnitParameterValue) { ++*static_cast<long *>(count); }

}  // namespace

TEST(ZentrovaRenderAllocation, TheCounterSeesTheComponentsAllocations) {
    zentrova_host host(2);
    CFArrayRef strings = nullptr;
    UInt32 size = sizeof strings;
    test_support::allocation_counting counting;
    ASSERT_EQ(AudioUnitGetProperty(host.unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, 2,
                                   &strings, &size),
              noErr);
    EXPECT_GT(counting.allocations(), 0);  // the array the component made for us
    CFRelease(strings);
}

TEST(ZentrovaRenderAllocation, RendersAfterTheFirstAllocateNothing) {
    for (unsigned channel_count : {1u, 2u}) {
        zentrova_host host(channel_count, 48000);
        long level_events = 0;
        AUEventListenerRef editor = nullptr;
        ASSERT_EQ(AUEventListenerCreate(&heard, &level_events, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.05f,
                                        0.05f, &editor),
                  noErr);
        AudioUnitEvent level{};
        level.mEventType = kAudioUnitEvent_PropertyChange;
        level.mArgument.mProperty = {host.unit, 80110, kAudioUnitScope_Global, 0};
        ASSERT_EQ(AUEventListenerAddEventType(editor, nullptr, &level), noErr);

        host.set(0, -6);
        host.set(2, 7);
        host.set(8, 1);
        host.initialize();
        deliver_events();
        const auto input = channels(channel_count, bursts(512, 900));
        host.render(input);  // the first render may set things up

        // A hundred scheduled changes in some blocks, each its own slice of the render.
        std::vector<AudioUnitParameterEvent> events(100);
        for (UInt32 i = 0; i < events.size(); ++i) {
            events[i].parameter = i % 2 ? 15 : 6;
            events[i].eventType = i % 3 ? kParameterEvent_Ramped : kParameterEvent_Immediate;
            if (i % 3)
                events[i].eventValues.ramp = {static_cast<SInt32>(5 * i), 4, 0.2f, 0.8f};
            else
                events[i].eventValues.immediate = {5 * i, 0.5f};
        }
        long allocations = 0;
        for (int round = 0; round < 20; ++round) {
            // Changes arrive between blocks, as automation does; their delivery runs on this
            // thread's run loop and is not counted, their application inside the render is.
            host.set(static_cast<AudioUnitParameterID>(round % 16), host.get(round % 16));
            host.set(15, round / 20.0f);
            host.set(8, round % 5);
            deliver_events();
            // Output buffers are made before counting starts; only AudioUnitRender is counted.
            std::vector<std::vector<float>> out(channel_count, std::vector<float>(512));
            struct {
                UInt32 mNumberBuffers;
                AudioBuffer mBuffers[2];
            } list{};
            list.mNumberBuffers = channel_count;
            AudioTimeStamp time{};
            time.mFlags = kAudioTimeStampSampleTimeValid;
            for (int b = 0; b < 30; ++b) {
                for (unsigned c = 0; c < channel_count; ++c) list.mBuffers[c] = {1, 512 * 4, out[c].data()};
                time.mSampleTime = 512.0 * (1 + round * 30 + b);
                AudioUnitRenderActionFlags flags = 0;
                test_support::allocation_counting counting;
                if (b % 3 == 0) {
                    ASSERT_EQ(AudioUnitScheduleParameters(host.unit, events.data(), 100), noErr);
                }
                ASSERT_EQ(AudioUnitRender(host.unit, &flags, &time, 0, 512, reinterpret_cast<AudioBufferList *>(&list)),
                          noErr);
                allocations += counting.allocations();
            }
        }
        EXPECT_EQ(allocations, 0) << channel_count << " channel(s)";
        // The announcements did travel: the editor-like listener heard the level read-out.
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false);
        deliver_events();
        EXPECT_GT(level_events, 0);
        AUListenerDispose(editor);
    }
}

// The keyed effect's render, key pulled and converted, sliced at scheduled changes: no heap
// allocation, no lock and no system call, counted on a thread of its own that a seccomp filter
// holds to that. The plain effect is measured the same way beside it.
TEST(ZentrovaRenderAllocation, AKeyedRenderAllocatesLocksAndCallsTheSystemForNothing) {
    if (!test_support::system_call_counting_available() || !test_support::lock_counting_available())
        GTEST_SKIP() << "a sanitizer owns the functions these counters replace";
    for (bool keyed : {false, true})
        for (unsigned channel_count : {1u, 2u}) {
            zentrova_host host(channel_count, 48000, keyed ? find_zentrova_keyed() : find_zentrova());
            if (keyed) host.attach_key(48000, 3 - channel_count);  // the other channel count
            long level_events = 0;
            AUEventListenerRef editor = nullptr;
            ASSERT_EQ(AUEventListenerCreate(&heard, &level_events, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.05f,
                                            0.05f, &editor),
                      noErr);
            AudioUnitEvent level{};
            level.mEventType = kAudioUnitEvent_PropertyChange;
            level.mArgument.mProperty = {host.unit, 80110, kAudioUnitScope_Global, 0};
            ASSERT_EQ(AUEventListenerAddEventType(editor, nullptr, &level), noErr);
            host.set(8, 1);
            host.set(2, 6);
            host.initialize();
            deliver_events();
            const auto input = channels(channel_count, bursts(256, 900));
            const auto key = channels(3 - channel_count, bursts(256, 300));
            host.render(input, key);

            long allocations = 0, locks = 0, calls = 0, first_call = -1;
            bool forbidden = false;
            std::thread render_thread([&] {
                // The thread's first allocation sets up its arena with mmap: made before the filter.
                std::vector<std::vector<float>> out(channel_count, std::vector<float>(256));
                forbidden = test_support::forbid_system_calls();
                if (!forbidden) return;
                AudioUnitParameterEvent ramp{};
                ramp.parameter = 6;
                ramp.eventType = kParameterEvent_Ramped;
                ramp.eventValues.ramp = {64, 64, 0.2f, 0.9f};
                struct {
                    UInt32 mNumberBuffers;
                    AudioBuffer mBuffers[2];
                } list{};
                list.mNumberBuffers = channel_count;
                AudioTimeStamp time{};
                time.mFlags = kAudioTimeStampSampleTimeValid;
                test_support::allocation_counting counting_allocations;
                test_support::lock_counting counting_locks;
                test_support::system_call_counting counting_calls;
                for (int b = 0; b < 200; ++b) {
                    for (unsigned c = 0; c < channel_count; ++c) list.mBuffers[c] = {1, 256 * 4, out[c].data()};
                    time.mSampleTime = 256.0 * (1 + b);
                    AudioUnitRenderActionFlags flags = 0;
                    if (b % 2 == 0) AudioUnitScheduleParameters(host.unit, &ramp, 1);
                    AudioUnitRender(host.unit, &flags, &time, 0, 256, reinterpret_cast<AudioBufferList *>(&list));
                }
                allocations = counting_allocations.allocations();
                locks = counting_locks.locks();
                calls = counting_calls.calls();
                first_call = counting_calls.first_call();
            });
            render_thread.join();
            ASSERT_TRUE(forbidden) << "the seccomp filter could not be installed";
            const char *what = keyed ? "keyed" : "plain";
            EXPECT_EQ(allocations, 0) << what << ", " << channel_count << " channel(s)";
            EXPECT_EQ(locks, 0) << what << ", " << channel_count << " channel(s)";
            EXPECT_EQ(calls, 0) << what << ", " << channel_count << " channel(s), first call " << first_call;
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, false);
            deliver_events();
            EXPECT_GT(level_events, 0);  // the announcements did travel
            AUListenerDispose(editor);
        }
}
