// One thread renders continuously while another adds and removes render notifications and
// property listeners and sets parameters. Run under ThreadSanitizer (label "tsan"): no race may be
// reported, no notification lost or duplicated, and no callback called after its removal returned.
#include "framework/AUPropertyListeners.h"
#include "tests/framework/FrameworkTestHost.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

using namespace fwtest;

namespace {

// A registration that the control thread adds and removes; a call after removal is a fault.
struct Registration {
    std::atomic<bool> removed{false};
    std::atomic<long> calls{0};
    std::atomic<long> lateCalls{0};
    void Called() {
        calls.fetch_add(1, std::memory_order_relaxed);
        if (removed.load(std::memory_order_acquire)) lateCalls.fetch_add(1, std::memory_order_relaxed);
    }
    static void Listener(void *self, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
        static_cast<Registration *>(self)->Called();
    }
    static OSStatus Notify(void *self, AudioUnitRenderActionFlags *, const AudioTimeStamp *, UInt32, UInt32,
                           AudioBufferList *) {
        static_cast<Registration *>(self)->Called();
        return noErr;
    }
};

}  // namespace

TEST(Stress, RenderingWhileListenersAndParametersChange) {
    Unit unit;
    InputSignal input;
    ASSERT_EQ(SetChannels(unit, 2, 2), noErr);
    ASSERT_EQ(input.Attach(unit), noErr);
    ASSERT_EQ(Control(unit, {noErr, 0, /*announceBlocks*/ 1, 0}), noErr);
    Registration steadyListener, steadyNotify;
    ASSERT_EQ(AudioUnitAddPropertyListener(unit, TestGain::kBlockProperty, &Registration::Listener, &steadyListener), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(unit, &Registration::Notify, &steadyNotify), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);

    std::atomic<bool> stop{false};
    std::atomic<long> renders{0}, failures{0};
    std::thread renderer([&] {
        Buffers buffers(2, 128);
        for (Float64 time = 0; !stop.load(std::memory_order_acquire); time += 128) {
            if (Render(unit, buffers, 128, time) == noErr)
                renders.fetch_add(1, std::memory_order_relaxed);
            else
                failures.fetch_add(1, std::memory_order_relaxed);
        }
    });

    constexpr int kCycles = 2000;
    std::array<Registration, kCycles> listeners, notifications;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int cycles = 0;
    for (; cycles < kCycles && std::chrono::steady_clock::now() < deadline; ++cycles) {
        Registration &listener = listeners[cycles], &notification = notifications[cycles];
        ASSERT_EQ(AudioUnitAddPropertyListener(unit, TestGain::kBlockProperty, &Registration::Listener, &listener), noErr);
        ASSERT_EQ(AudioUnitAddRenderNotify(unit, &Registration::Notify, &notification), noErr);
        ASSERT_EQ(AudioUnitSetParameter(unit, TestGain::kGain, kAudioUnitScope_Global, 0, float(cycles % 10) / 10, 0),
                  noErr);
        // Let a few blocks pass, so the registrations are really called while they exist.
        const long seen = renders.load();
        while (renders.load() < seen + 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        ASSERT_EQ(AudioUnitRemovePropertyListenerWithUserData(unit, TestGain::kBlockProperty, &Registration::Listener,
                                                              &listener),
                  noErr);
        listener.removed.store(true, std::memory_order_release);
        // A render notification's removal takes effect at the next render.
        ASSERT_EQ(AudioUnitRemoveRenderNotify(unit, &Registration::Notify, &notification), noErr);
        AudioUnitParameterValue value = 0;
        ASSERT_EQ(AudioUnitGetParameter(unit, TestGain::kGain, kAudioUnitScope_Global, 0, &value), noErr);
    }
    // Two more renders apply the last removal before the removed flags of the notifications are set.
    const long seen = renders.load();
    while (renders.load() < seen + 2) std::this_thread::yield();
    for (auto &notification : notifications) notification.removed.store(true, std::memory_order_release);
    const long before = renders.load();
    while (renders.load() < before + 4) std::this_thread::yield();
    stop.store(true, std::memory_order_release);
    renderer.join();

    EXPECT_EQ(cycles, kCycles);
    EXPECT_EQ(failures.load(), 0);
    const TestGainRecord record = Record(unit);
    // Every block was announced exactly once to the listener that stayed, and every render
    // notified the steady callback exactly twice.
    EXPECT_EQ(steadyListener.calls.load(), long(record.blocks));
    EXPECT_EQ(steadyNotify.calls.load(), 2 * renders.load());
    long listened = 0, notified = 0;
    for (int i = 0; i < cycles; ++i) {
        EXPECT_EQ(listeners[i].lateCalls.load(), 0) << "listener " << i;
        EXPECT_EQ(notifications[i].lateCalls.load(), 0) << "notification " << i;
        listened += listeners[i].calls > 0;
        notified += notifications[i].calls > 0;
    }
    // Each registration was in place for at least two blocks.
    EXPECT_EQ(listened, cycles);
    EXPECT_EQ(notified, cycles);
}

TEST(Stress, InstancesOpenAndCloseOnSeveralThreadsAtOnce) {
    AudioComponent component = TestComponent();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                AudioUnit unit = nullptr;
                if (AudioComponentInstanceNew(component, &unit) != noErr || unit == nullptr) {
                    ++failures;
                    continue;
                }
                AudioUnitParameterValue value = 0;
                if (AudioUnitGetParameter(unit, TestGain::kGain, kAudioUnitScope_Global, 0, &value) != noErr || value != 1.0f)
                    ++failures;
                if (AudioComponentInstanceDispose(unit) != noErr) ++failures;
            }
        });
    }
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}

// Many threads notify at once, and each one's callback removes a listener while all of them are
// still inside Notify. A removal must never wait for its own thread, however many readers there
// are. A hang is turned into a failure by a watchdog rather than left to the test's time-out.
TEST(Stress, AnyNumberOfConcurrentNotifiersMayRemoveListeners) {
    constexpr int kThreads = 24;
    struct Shared {
        AUPropertyListeners listeners;
        std::atomic<int> inside{0};
        std::array<Registration, kThreads> removable;
    } shared;
    auto rendezvous = [](void *self, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement element) {
        auto &s = *static_cast<Shared *>(self);
        s.inside.fetch_add(1);
        while (s.inside.load() < kThreads) std::this_thread::yield();
        Registration &own = s.removable[element];
        s.listeners.Remove(2, &Registration::Listener, &own, true);
        own.removed.store(true, std::memory_order_release);
    };
    shared.listeners.Add(1, rendezvous, &shared);
    for (auto &registration : shared.removable) shared.listeners.Add(2, &Registration::Listener, &registration);

    auto notifiers = std::async(std::launch::async, [&] {
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] { shared.listeners.Notify(nullptr, 1, kAudioUnitScope_Global, i); });
        for (auto &thread : threads) thread.join();
    });
    if (notifiers.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        ADD_FAILURE() << "a listener removal inside a notification never returned";
        std::fflush(nullptr);
        std::_Exit(1);  // the stuck threads cannot be joined
    }
    // Every removal took effect: a later notification reaches none of them.
    shared.listeners.Notify(nullptr, 2, kAudioUnitScope_Global, 0);
    long calls = 0;
    for (const auto &registration : shared.removable) calls += registration.calls.load();
    EXPECT_EQ(calls, 0);
}
