// The per-sample chain allocates nothing once constructed.
#include "dsp/HF_AR_Up_Envelope.h"
#include "dsp/HF_Envelope_Gauge.h"
#include "dsp/HF_Formant_Wah_Effect.h"
#include "dsp/HF_MIDI_Envelope.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> allocations{0};
}

void *operator new(std::size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(RenderPath, ChainAndSettersAllocateNothingAfterConstruction) {
    HF_Envelope_Gauge_Stereo gauge(1.0 / 48000.0);
    HF_AR_Up_Envelope sweep(1.0 / 48000.0);
    HF_MIDI_Envelope midi(1.0 / 48000.0);
    HF_Formant_Wah_Effect_Stereo wah(1.0 / 48000.0);
    double block_l[64] = {}, block_r[64] = {};
    const long before = allocations.load();
    for (std::uint32_t type = 0; type < 8; ++type) {
        wah.set_filter_type(type);
        wah.set_resonance(0.1 * type);
        wah.set_drive(0.1 * type);
        wah.set_start_formant(type);
        midi.begin_block(64, 0.1 * type);
        for (int i = 0; i < 64; ++i) {
            double l = 0.3 * ((i % 9) - 4), r = -l;
            const double level = gauge.process(l, r);
            wah.set_sweep_position(sweep.next_value(level) + midi.next_value(level));
            wah.process_sample(&l, &r);
        }
        wah.process_block(block_l, block_r, 64);
    }
    wah.set_sample_period(1.0 / 44100.0);
    EXPECT_EQ(allocations.load() - before, 0);
}

}  // namespace
