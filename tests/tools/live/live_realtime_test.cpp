// The live host's process callback under the real-time rules, counted on JACK's own thread: over
// a few thousand periods with audio, a key, a controller stream, program changes and edits from
// another thread (as the editor makes them), it allocates nothing and takes no lock.
#include "jack_host.h"
#include "jack_test_support.h"
#include "tests/lv2/lock_counter.h"
#include "tests/support/allocation_counter.h"

#include "host/events.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

using namespace live_test;

namespace {

struct counted_periods {
    zentrova_live::jack_host *host = nullptr;
    std::atomic<long> periods{0}, allocations{0}, locks{0};
};

// [JACK's process thread] The host's own period, counted.
int counted_process(jack_nframes_t frames, void *argument) {
    auto *counts = static_cast<counted_periods *>(argument);
    test_support::allocation_counting allocations;
    test_support::lock_counting locks;
    const int result = counts->host->process(frames);
    counts->allocations += allocations.allocations();
    counts->locks += locks.locks();
    ++counts->periods;
    return result;
}

TEST(live_realtime, process_callback_allocates_nothing_and_takes_no_lock) {
    ASSERT_TRUE(test_support::lock_counting_available());
    constexpr unsigned period = 64;
    jack_server server(period);
    ASSERT_TRUE(server.running());

    // The live session's order: the effect configured at the server's rate, initialised with a
    // detached run loop current, the ports, then the host's callback (here inside the counter).
    // The keyed component with its key ports in use, the live host's fullest path.
    zentrova_cli::effect_host effect(/*keyed=*/true);
    zentrova_live::jack_client client("zl");
    effect.configure(client.sample_rate(), 2, 4096);
    effect.configure_key(2);
    effect.set_parameter(zentrova::k_envelope_type, 1);  // Sweep Up: the envelopes run
    CFRunLoopRef loop = CFRunLoopCreateDetached();
    const CFRunLoopRef previous = CFRunLoopSetCurrent(loop);
    ASSERT_EQ(AudioUnitInitialize(effect.unit()), noErr);
    CFRunLoopSetCurrent(previous);
    zentrova_live::jack_host::settings settings;
    settings.programs = zentrova_live::load_factory_presets(zentrova_live::factory_preset_folder());
    settings.keyed = true;
    ASSERT_EQ(settings.programs.size(), 3u) << "the factory presets were not found";
    {
        zentrova_live::jack_host host(client, effect, loop, settings);
        counted_periods counts;
        counts.host = &host;
        host.start(&counted_process, &counts);

        // 3000 periods of bursts, a controller value in every period, a program change in every
        // hundredth.
        const std::size_t periods = 3000;
        std::vector<std::vector<float>> signal(2, std::vector<float>(periods * period));
        for (std::size_t i = 0; i < signal[0].size(); ++i)
            signal[0][i] = signal[1][i] = float(0.5 * std::sin(0.05 * double(i)) * std::exp(-double(i % 9000) / 2000));
        std::vector<midi_message> midi;
        for (std::size_t p = 0; p < periods; ++p) {
            midi.push_back({p, {0xB0, 1, std::uint8_t(p % 128)}});
            if (p % 100 == 50) midi.push_back({p, {0xC0, std::uint8_t(p / 100 % 3)}});
        }
        loop_clients clients(signal, midi, {signal[1], signal[0]});
        clients.connect_through("zl");
        ASSERT_TRUE(host.key_connected());
        std::atomic<bool> played{false};
        std::thread player([&] { played = clients.play(60); });
        // Meanwhile edits arrive from this thread, as the editor's do.
        for (int i = 0; !played && i < 6000; ++i) {
            host::set_parameter(effect.unit(), zentrova::k_formant_resonance, float(i % 10) / 10);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        player.join();
        ASSERT_TRUE(played);
        client.deactivate();
        EXPECT_GE(counts.periods.load(), long(periods));
        EXPECT_EQ(counts.allocations.load(), 0);
        EXPECT_EQ(counts.locks.load(), 0);
        // The callback did reach the effect: the edits and programs were applied.
        double energy = 0;
        for (float x : clients.recording()[0]) energy += double(x) * x;
        EXPECT_GT(energy, 1.0);
    }
    AudioUnitUninitialize(effect.unit());
    CFRelease(loop);
}

}  // namespace
