// Four threads, as a host with an editor has them: automation writing random parameters with
// AUParameterSet, a control thread switching bypass and resetting the instance, the thread whose
// run loop delivers the parameters to the effect, and the render thread. Run under
// ThreadSanitizer: no race may be reported, and the output stays finite and bounded.
#include "zentrova_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

using namespace zentrova_test;

TEST(ZentrovaStress, AutomationBypassResetListenerAndRenderOnFourThreads) {
    std::atomic<bool> stop{false}, ready{false}, render_done{false};
    std::atomic<AudioUnit> unit{nullptr};
    std::atomic<long> blocks{0}, bad_samples{0}, sets{0}, resets{0};
    zentrova_host *shared_host = nullptr;

    // The listener thread opens and initializes the instance, so its run loop is the effect's.
    std::thread listener([&] {
        zentrova_host host(2);
        host.set(1, 0);
        host.set(8, 1);
        host.initialize();
        shared_host = &host;
        unit = host.unit;
        ready = true;
        while (!stop) CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.01, false);
        // The instance lives until the render thread has finished with it.
        while (!render_done) std::this_thread::yield();
    });
    while (!ready) std::this_thread::yield();

    std::thread render([&] {
        const auto signal = channels(2, bursts(256, 700));
        while (!stop) {
            const auto y = shared_host->render(signal);
            for (const auto &channel : y)
                for (float v : channel)
                    if (!std::isfinite(v) || std::fabs(v) > 1.0f) ++bad_samples;
            ++blocks;
        }
    });

    std::thread automation([&] {
        std::mt19937 random(1234);
        const float maxima[16] = {0, 0, 7, 9, 9, 9, 1, 1, 4, 2000, 2000, 1, 0, 20000, 20000, 1};
        const float minima[16] = {-80, -80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -80, 0, 0, 0};
        while (!stop) {
            const auto id = static_cast<AudioUnitParameterID>(random() % 16);
            const float value = minima[id] + (maxima[id] - minima[id]) * (random() % 1001) / 1000.0f;
            const AudioUnitParameter p{unit.load(), id, kAudioUnitScope_Global, 0};
            AUParameterSet(nullptr, nullptr, &p, value, 0);
            ++sets;
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
        }
    });

    // Bypass on and off (off resets the chain) and plain resets, while the render thread runs it.
    std::thread control([&] {
        std::mt19937 random(99);
        while (!stop) {
            for (UInt32 bypass : {1u, 0u})
                if (AudioUnitSetProperty(unit.load(), kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0,
                                         &bypass, sizeof bypass) != noErr)
                    ADD_FAILURE() << "bypass " << bypass;
            if (AudioUnitReset(unit.load(), kAudioUnitScope_Global, 0) != noErr) ADD_FAILURE() << "reset";
            ++resets;
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
        }
    });

    std::this_thread::sleep_for(std::chrono::seconds(3));
    stop = true;
    control.join();
    automation.join();
    render.join();
    render_done = true;
    listener.join();

    EXPECT_GT(blocks.load(), 10);
    EXPECT_GT(sets.load(), 10);
    EXPECT_GT(resets.load(), 10);
    EXPECT_EQ(bad_samples.load(), 0);
}
