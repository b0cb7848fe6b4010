// The per-sample chain allocates nothing once constructed.
#include "dsp/HF_AR_Up_Envelope.h"
#include "dsp/HF_Envelope_Gauge.h"
#include "dsp/HF_Formant_Wah_Effect.h"
#include "dsp/HF_MIDI_Envelope.h"
#include "dsp/simd_path.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <limits>
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
    // The block path on every instruction set, including a block the kernel hands back to the
    // per-sample step (a non-finite sample).
    const dsp::simd_path active = dsp::active_simd_path();
    double positions[300], in_l[300], in_r[300], out_l[300], out_r[300];
    for (int i = 0; i < 300; ++i) {
        positions[i] = i / 300.0;
        in_l[i] = 0.1 * ((i % 11) - 5);
        in_r[i] = -in_l[i];
    }
    in_l[150] = std::numeric_limits<double>::quiet_NaN();
    for (dsp::simd_path path : dsp::all_simd_paths) {
        if (!dsp::select_simd_path(path)) continue;
        for (std::uint32_t type = 0; type < 8; ++type) {
            wah.set_filter_type(type);
            wah.process_block(in_l, in_r, out_l, out_r, positions, 300);
        }
    }
    dsp::select_simd_path(active);
    wah.set_sample_period(1.0 / 44100.0);
    EXPECT_EQ(allocations.load() - before, 0);
}

}  // namespace
