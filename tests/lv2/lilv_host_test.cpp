// The plug-in under a liblilv host: state round trip, the MIDI controller, determinism of port
// changes whatever thread runs the blocks, and a run() that allocates nothing.
#include "lilv_host.h"
#include "tests/support/allocation_counter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

using namespace lv2_test;

namespace {

constexpr size_t k_blocks = 40;
const auto input_stereo = riff(2, k_blocks * plugin_instance::k_block);

double largest_difference(const plugin_instance &a, const plugin_instance &b) {
    double largest = 0;
    for (size_t c = 0; c < a.output().size(); ++c)
        for (size_t i = 0; i < a.output()[c].size(); ++i)
            largest = std::max(largest, static_cast<double>(std::abs(a.output()[c][i] - b.output()[c][i])));
    return largest;
}

void run_blocks(plugin_instance &p, size_t blocks = k_blocks) {
    for (size_t b = 0; b < blocks; ++b) p.run(input_stereo, b * plugin_instance::k_block);
}

void set_sweep(plugin_instance &p) {
    p.control("envelope_type") = 1;
    p.control("dry_output_level") = -10;
    p.control("formant_filter_type") = 7;
    p.control("end_formant") = 9;
    p.control("trigger_sensitivity") = -30;
    p.control("envelope_attack") = 30;
}

}  // namespace

// Saved through lilv (as Turtle text and back), restored into a new instance whose ports the host
// leaves at their defaults: the restored settings are heard from the first block.
TEST(ZentrovaLv2State, ARestoredInstanceSoundsLikeTheSavedOneFromTheFirstBlock) {
    host_world world;
    for (unsigned channels : {1u, 2u}) {
        plugin_instance saved(world, channels), untouched(world, channels);
        set_sweep(saved);
        run_blocks(saved);
        run_blocks(untouched);
        ASSERT_GT(largest_difference(saved, untouched), 0.01) << "the settings must be audible for this test to mean anything";

        const LilvPlugin *plugin = world.plugin(channels);
        LilvState *state = lilv_state_new_from_instance(plugin, saved.instance(), world.map(), nullptr, nullptr, nullptr,
                                                        nullptr, nullptr, nullptr, 0, world.features());
        ASSERT_NE(state, nullptr);
        char *text = lilv_state_to_string(world.world(), world.map(), world.unmap(), state, "urn:test:state", nullptr);
        lilv_state_free(state);
        LilvState *loaded = lilv_state_new_from_string(world.world(), world.map(), text);
        std::free(text);
        ASSERT_NE(loaded, nullptr);

        plugin_instance restored(world, channels);
        lilv_state_restore(loaded, restored.instance(), nullptr, nullptr, 0, world.features());
        lilv_state_free(loaded);
        run_blocks(restored);
        EXPECT_EQ(largest_difference(restored, saved), 0.0) << channels << " channel(s)";
    }
}

// CC 1 drives "MIDI Control" exactly as the port does; another controller number does nothing
// until the controller port names it.
TEST(ZentrovaLv2Midi, TheChosenControllerMovesTheSweepLikeThePort) {
    struct case_row {
        float controller_port;
        uint8_t controller_sent;
        bool moves;
    };
    const case_row rows[] = {{1, 1, true}, {1, 7, false}, {7, 7, true}, {7, 1, false}};
    host_world world;
    for (const case_row &row : rows) {
        plugin_instance by_midi(world, 2), by_port(world, 2), without(world, 2);
        for (plugin_instance *p : {&by_midi, &by_port, &without}) {
            p->control("envelope_type") = 4;
            p->control("formant_filter_type") = 6;
            p->control("midi_controller") = row.controller_port;
        }
        for (size_t b = 0; b < k_blocks; ++b) {
            const auto value = static_cast<uint8_t>((b * 37) % 128);
            by_midi.send_controller(row.controller_sent, value);
            by_port.control("midi_control") = value / 127.0f;
            for (plugin_instance *p : {&by_midi, &by_port, &without}) p->run(input_stereo, b * plugin_instance::k_block);
        }
        ASSERT_GT(largest_difference(by_port, without), 0.01);
        const plugin_instance &expected = row.moves ? by_port : without;
        EXPECT_EQ(largest_difference(by_midi, expected), 0.0)
            << "controller port " << row.controller_port << ", CC " << int(row.controller_sent);
    }
}

// A port change is heard from the first sample of the block whose run() first sees it, whether
// the host calls run() on one thread or on a new thread every block.
TEST(ZentrovaLv2Determinism, APortChangeIsHeardFromItsBlockOnAnyThread) {
    host_world world;
    constexpr size_t change_block = 7;
    for (bool thread_per_block : {false, true}) {
        plugin_instance p(world, 2);
        set_sweep(p);
        for (size_t b = 0; b < 12; ++b) {
            if (b == change_block) p.control("dry_output_level") = p.control("formant_level") = -80;  // muted
            auto block = [&] { p.run(input_stereo, b * plugin_instance::k_block); };
            if (thread_per_block) std::thread(block).join();
            else block();
        }
        std::vector<float> peaks;
        for (size_t b = 0; b < 12; ++b) {
            float peak = 0;
            for (size_t i = 0; i < plugin_instance::k_block; ++i)
                peak = std::max(peak, std::abs(p.output()[0][b * plugin_instance::k_block + i]));
            peaks.push_back(peak);
        }
        for (size_t b = 0; b < 12; ++b)
            EXPECT_EQ(peaks[b] == 0.0f, b >= change_block) << "block " << b << (thread_per_block ? ", new threads" : "");
    }
}

// Every run(), the first included: port changes, MIDI, the listener's delivery and the render.
TEST(ZentrovaLv2RealTime, RunAllocatesNothing) {
    host_world world;
    for (unsigned channels : {1u, 2u}) {
        plugin_instance p(world, channels);
        long allocations = 0;
        for (size_t b = 0; b < k_blocks; ++b) {
            p.control("envelope_type") = static_cast<float>(b % 5);
            p.control("formant_filter_type") = static_cast<float>(b % 8);
            p.control("formant_resonance") = static_cast<float>(b % 10) / 10.0f;
            p.send_controller(1, static_cast<uint8_t>(b * 3));
            test_support::allocation_counting counting;
            p.run(input_stereo, b * plugin_instance::k_block);
            allocations += counting.allocations();
        }
        EXPECT_EQ(allocations, 0) << channels << " channel(s)";
        EXPECT_GT(p.control("level"), 0.0f) << "the level port follows the input";
    }
}
