// The event-listener service across threads: callbacks only on the listener's run loop, property
// announcements from a thread that may not wake anybody (the render thread), disposal racing a
// delivery, and a stress run for the thread-sanitizer build.
#include "au_test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <future>

using namespace au_test;
using namespace std::chrono_literals;

namespace {

constexpr AudioUnitPropertyID kBlob = au_fixture::kBlobProperty;

// Generous: a signal from a thread that cannot wake the loop waits for the loop's next poll, a
// few poll intervals at most; the bound only keeps a broken build from hanging.
double patient_timeout_s() { return std::max(2.0, 100 * CFRunLoopGetPollInterval()); }

double seconds_now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void announce_blob(AudioUnit unit) { fixture_call(unit, au_fixture::kSelectAnnounce, kBlob, 0, 0); }

}  // namespace

TEST(AuListenerThreads, CallbacksRunOnlyOnTheRunLoopTheListenerWasCreatedWith) {
    FixtureUnit unit;
    Recorder recorder;
    std::promise<AUEventListenerRef> created;
    std::promise<void> go;
    std::shared_future<void> go_signal = go.get_future().share();
    std::atomic<SInt32> run_result{0};
    std::thread::id listener_thread;

    std::thread owner([&] {
        AUEventListenerRef listener = make_listener(recorder);
        AudioUnitEvent p4 = parameter_event(unit, 4);
        EXPECT_EQ(AUEventListenerAddEventType(listener, nullptr, &p4), noErr);
        created.set_value(listener);
        go_signal.wait();
        run_result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, patient_timeout_s(), true);
        AUListenerDispose(listener);
    });
    listener_thread = owner.get_id();
    created.get_future().wait();

    ASSERT_EQ(set_parameter(nullptr, unit, 4, 0.75f), noErr);
    // The setting thread running its own run loop delivers nothing: the event belongs to the owner's.
    EXPECT_EQ(run_pending(), 0);
    EXPECT_EQ(recorder.count(), 0u);
    go.set_value();
    owner.join();

    EXPECT_EQ(run_result.load(), kCFRunLoopRunHandledSource);
    auto got = recorder.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].value, 0.75f);
    EXPECT_EQ(got[0].thread, listener_thread);
}

// The unit announces from another thread the way the render thread does: the trampoline only
// flags and signals, nothing wakes the sleeping run loop, and the loop's poll finds the flag.
TEST(AuListenerThreads, APropertyAnnouncedWithoutWakeUpReachesASleepingRunLoop) {
    FixtureUnit unit;
    Recorder recorder;
    AUEventListenerRef listener = make_listener(recorder);
    AudioUnitEvent blob = property_event(unit, kBlob);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &blob), noErr);

    std::atomic<double> announced_at{0};
    std::thread announcer([&] {
        // Long enough for the listener's thread to be asleep in its run loop.
        std::this_thread::sleep_for(std::chrono::duration<double>(5 * CFRunLoopGetPollInterval()) + 20ms);
        announced_at = seconds_now();
        announce_blob(unit);
    });
    const SInt32 result = CFRunLoopRunInMode(kCFRunLoopDefaultMode, patient_timeout_s(), true);
    const double delivered_at = seconds_now();
    announcer.join();

    EXPECT_EQ(result, kCFRunLoopRunHandledSource);
    auto got = recorder.take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].type, kAudioUnitEvent_PropertyChange);
    EXPECT_EQ(got[0].thread, std::this_thread::get_id());
    // Reported, not asserted: timing belongs to benchmarks.
    RecordProperty("latency_us", std::to_string(static_cast<int>((delivered_at - announced_at) * 1e6)));
    AUListenerDispose(listener);
}

namespace {

// A callback that holds the run loop's thread until the test lets it go.
struct SlowCallback {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false, dispose_called = false, finished = false;
    int calls = 0;

    static void callback(void *refcon, void *, const AudioUnitEvent *, UInt64, AudioUnitParameterValue) {
        auto *self = static_cast<SlowCallback *>(refcon);
        std::unique_lock<std::mutex> lock(self->mutex);
        ++self->calls;
        self->entered = true;
        self->changed.notify_all();
        self->changed.wait(lock, [&] { return self->dispose_called; });
        lock.unlock();
        // Give a Dispose that does not wait the time to return before this callback does.
        std::this_thread::sleep_for(50ms);
        lock.lock();
        self->finished = true;
    }
};

}  // namespace

TEST(AuListenerThreads, DisposeFromAnotherThreadWaitsForTheRunningCallbackAndStopsTheRest) {
    FixtureUnit unit;
    SlowCallback slow;
    std::promise<AUEventListenerRef> created;
    std::promise<void> go;
    std::thread owner([&] {
        AUEventListenerRef listener = nullptr;
        EXPECT_EQ(AUEventListenerCreate(SlowCallback::callback, &slow, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode,
                                        0.005f, 0.05f, &listener),
                  noErr);
        for (AudioUnitParameterID id : {0u, 1u}) {
            AudioUnitEvent event = parameter_event(unit, id);
            EXPECT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
        }
        created.set_value(listener);
        go.get_future().wait();
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true);
    });
    AUEventListenerRef listener = created.get_future().get();
    ASSERT_EQ(set_parameter(nullptr, unit, 0, 0.1f), noErr);
    ASSERT_EQ(set_parameter(nullptr, unit, 1, 0.2f), noErr);
    go.set_value();
    {
        std::unique_lock<std::mutex> lock(slow.mutex);
        slow.changed.wait(lock, [&] { return slow.entered; });
        slow.dispose_called = true;
        slow.changed.notify_all();
    }
    EXPECT_EQ(AUListenerDispose(listener), noErr);
    {
        std::lock_guard<std::mutex> lock(slow.mutex);
        EXPECT_TRUE(slow.finished) << "Dispose returned while the callback was still running";
    }
    owner.join();
    EXPECT_EQ(slow.calls, 1);
}

// One thread announces the property as fast as it can (as a render thread would), another sets a
// rising parameter while adding and removing event types and replacing a second listener, and
// this thread delivers. Nothing may race (the thread-sanitizer build checks); every value
// delivered must be newer than the one before (nothing stale, nothing twice); and once all is
// quiet a last set and a last announcement must each arrive exactly once.
TEST(AuListenerThreads, StressAnnouncingEditingAndSettingTogether) {
    FixtureUnit unit;
    Recorder recorder, churn_recorder;
    CFRunLoopRef main_loop = CFRunLoopGetCurrent();
    AUEventListenerRef listener = make_listener(recorder);
    AudioUnitEvent blob = property_event(unit, kBlob), p6 = parameter_event(unit, 6), p7 = parameter_event(unit, 7);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &blob), noErr);
    ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &p6), noErr);

    constexpr int kEdits = 20000;
    std::atomic<bool> stop{false}, edits_done{false};
    std::atomic<long> announcements{0};
    std::thread announcer([&] {
        while (!stop.load()) {
            announce_blob(unit);
            announcements.fetch_add(1);
        }
    });
    std::thread editor([&] {
        AUEventListenerRef churn = make_listener(churn_recorder, main_loop);
        for (int i = 1; i <= kEdits; ++i) {
            EXPECT_EQ(set_parameter(nullptr, unit, 6, static_cast<float>(i)), noErr);
            if (i % 3 == 0) {
                EXPECT_EQ(AUEventListenerAddEventType(listener, nullptr, &p7), noErr);
                EXPECT_EQ(set_parameter(nullptr, unit, 7, static_cast<float>(i)), noErr);
                EXPECT_EQ(AUEventListenerRemoveEventType(listener, nullptr, &p7), noErr);
            }
            if (i % 50 == 0) {
                EXPECT_EQ(AUListenerDispose(churn), noErr);
                churn = make_listener(churn_recorder, main_loop);
                EXPECT_EQ(AUEventListenerAddEventType(churn, nullptr, &blob), noErr);
                EXPECT_EQ(AUEventListenerAddEventType(churn, nullptr, &p6), noErr);
            }
        }
        EXPECT_EQ(AUListenerDispose(churn), noErr);
        edits_done = true;
    });
    std::vector<float> values;  // parameter 6 as delivered
    auto collect = [&] {
        std::vector<Delivery> properties;
        for (const Delivery &d : recorder.take()) {
            if (d.type == kAudioUnitEvent_PropertyChange) properties.push_back(d);
            if (d.type == kAudioUnitEvent_ParameterValueChange && d.id == 6) values.push_back(d.value);
        }
        return properties.size();
    };
    while (!edits_done.load()) {
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, true);
        collect();
    }
    editor.join();
    stop = true;
    announcer.join();
    run_pending();
    collect();
    ASSERT_GT(announcements.load(), 0);
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.back(), static_cast<float>(kEdits));
    for (size_t i = 1; i < values.size(); ++i) ASSERT_LT(values[i - 1], values[i]) << "delivery " << i;
    for (float v : values) ASSERT_EQ(v, std::floor(v)) << "a value that was never set";

    values.clear();
    ASSERT_EQ(set_parameter(nullptr, unit, 6, kEdits + 1.0f), noErr);
    announce_blob(unit);
    size_t properties = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(patient_timeout_s());
    while ((values.empty() || properties == 0) && std::chrono::steady_clock::now() < deadline) {
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, true);
        properties += collect();
    }
    run_pending();
    properties += collect();
    EXPECT_EQ(values, std::vector<float>{kEdits + 1.0f});
    EXPECT_EQ(properties, 1u);
    AUListenerDispose(listener);
}

// A plug-in's audio thread: its listener lives on a detached run loop, which that thread runs
// between blocks while other threads set parameters as fast as they can. Each producer owns one
// parameter and sets it to rising values; per parameter, what arrives must rise strictly (nothing
// stale, nothing twice), end at the last value set, and arrive only on the running thread.
TEST(AuListenerThreads, ManyProducersIntoADetachedRunLoopRunOnAnotherThread) {
    FixtureUnit unit;
    Recorder recorder;
    CFRunLoopRef detached = CFRunLoopCreateDetached();
    const CFRunLoopRef previous = CFRunLoopSetCurrent(detached);
    AUEventListenerRef listener = make_listener(recorder);
    CFRunLoopSetCurrent(previous);
    constexpr AudioUnitParameterID kProducers = 4;
    constexpr int kSets = 5000;
    for (AudioUnitParameterID id = 0; id < kProducers; ++id) {
        AudioUnitEvent event = parameter_event(unit, id);
        ASSERT_EQ(AUEventListenerAddEventType(listener, nullptr, &event), noErr);
    }

    std::atomic<int> producing{kProducers};
    std::thread audio([&] {
        for (bool last = false; !last;) {
            last = producing.load() == 0;  // one more run once every producer is done
            CFRunLoopRunDetached(detached, kCFRunLoopDefaultMode);
        }
    });
    const std::thread::id audio_id = audio.get_id();
    std::vector<std::thread> producers;
    for (AudioUnitParameterID id = 0; id < kProducers; ++id)
        producers.emplace_back([&, id] {
            for (int i = 1; i <= kSets; ++i) EXPECT_EQ(set_parameter(nullptr, unit, id, static_cast<float>(i)), noErr);
            producing.fetch_sub(1);
        });
    for (auto &p : producers) p.join();
    audio.join();

    std::vector<std::vector<float>> values(kProducers);
    for (const Delivery &d : recorder.take()) {
        ASSERT_EQ(d.thread, audio_id);
        ASSERT_LT(d.id, kProducers);
        values[d.id].push_back(d.value);
    }
    for (AudioUnitParameterID id = 0; id < kProducers; ++id) {
        ASSERT_FALSE(values[id].empty()) << "parameter " << id;
        EXPECT_EQ(values[id].back(), static_cast<float>(kSets)) << "parameter " << id;
        EXPECT_EQ(std::adjacent_find(values[id].begin(), values[id].end(), std::greater_equal<float>()), values[id].end())
            << "parameter " << id << " arrived stale or twice";
    }
    EXPECT_EQ(AUListenerDispose(listener), noErr);
    CFRelease(detached);
}
