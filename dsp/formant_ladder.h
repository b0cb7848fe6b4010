// The algorithm shared by the sixteen nonlinear formant ladder filters: the coefficient set of
// one ladder, the section state of one channel (lane2: both channels), and the per-sample step.
// The stage count and the first resonator's tap are template parameters; the stage and
// resonator loops have constant trip counts and unroll completely.
#pragma once

#include "dsp/HF_LowPass_BiQuad.h"
#include "dsp/lanes.h"
#include "dsp/saturator.h"

#include <initializer_list>

namespace dsp {

// Which output of the first-formant resonator a stage contributes: band-pass ("Formant", the
// menu's BP) or low-pass ("LPFormant", the menu's LP). The other two always give band-pass.
enum class ladder_kind { band_pass, low_pass };

// A state-variable resonator with damping q (update matrix [[1, k], [-k, 1 - k^2 - kq]]) is
// stable only while 0 <= k < sqrt(q^2 + 4) - q: 1.236 for the fixed q = 1 of the later stages,
// more for the first stage's q in [0, 0.8] (at q = 0, resonance 1, it is lossless by design).
// k also tunes the resonance correctly only up to about a sixth of the internal rate, where
// k = 2 sin(pi/6) = 1. Holding k in [0, 1] keeps every resonator inside its stable range with
// margin at any sample rate. It only bites for formants beyond ~0.159 of the internal rate
// (14 kHz at a 44.1 kHz host rate): never for the vowel table at 44.1 kHz and above, but at 8 to
// 11 kHz host rates, where the upper formants of several vowels pass it. A negative frequency
// would give k < 0, unstable for every q > 0; a NaN maps to 0.
inline constexpr double resonator_k_max = 1.0;

inline double bounded_resonator_k(double k) noexcept {
    k = k > 0.0 ? k : 0.0;
    return k < resonator_k_max ? k : resonator_k_max;
}

// Coefficients shared by the channels of one ladder; change only through the setters.
struct formant_ladder_settings {
    double phase_scale = 0;      // pi x internal period: half the angle per internal sample per Hz
    double frequency_scale = 0;  // 2 x phase_scale: first-order k per Hz, k = 2 pi f T
    double resonance = 0.5;
    double damping = 0.4;  // (1 - resonance) x 0.8, the first stage's q
    double formant_hz[3] = {400.0, 800.0, 1000.0};
    double k[3] = {0, 0, 0};
    saturator shaper;

    // New internal period: both scales, and the exact k = 2 sin(pi f T) for the stored formants.
    void update_scales(double oversampled_period) noexcept;
    // Resonance is held in [0, 1] (a NaN is ignored): beyond 1 the damping turns negative and
    // the first stage grows without bound; below 0 the damping exceeds 1, outside the range in
    // which k <= 1 is known to be stable. Returns false when nothing changed.
    bool set_resonance(double r) noexcept;
    // Per-sample path: first-order k = f x frequency_scale, no comparison (bounded as above).
    void set_formant(int j, double hz) noexcept {
        formant_hz[j] = hz;
        k[j] = bounded_resonator_k(hz * frequency_scale);
    }
};

template <class L> struct resonator_state {
    L low{}, band{};  // the high-pass value is recomputed before each use, so it is not state
};

// The section states of one channel (or of a stereo pair, as lane2): three resonators per
// stage, stages in order.
template <int Stages, class L> struct ladder_sections {
    resonator_state<L> r[Stages][3];
};

// Runs stages 1..N on one internal sample v.
//   resonator: low += k band;  high = u - low - q band;  band += k high
//   stage:     u = SH(v);  three resonators on u;  out = tap1 + band2 + band3
// q is the damping in stage 1 and 1.0 in every later stage.
template <int Stages, ladder_kind Kind, class L>
[[gnu::always_inline]] inline L run_stages(ladder_sections<Stages, L> &sections, const formant_ladder_settings &s, L v) noexcept {
    auto &section = sections.r;
#pragma GCC unroll 4
    for (int stage = 0; stage < Stages; ++stage) {
        const L u = s.shaper.apply(v);
        const double q = stage == 0 ? s.damping : 1.0;
#pragma GCC unroll 3
        for (int j = 0; j < 3; ++j) {
            resonator_state<L> &r = section[stage][j];
            r.low = r.low + s.k[j] * r.band;
            const L high = u - r.low - q * r.band;
            r.band = r.band + s.k[j] * high;
        }
        const L tap1 = Kind == ladder_kind::low_pass ? section[stage][0].low : section[stage][0].band;
        v = tap1 + section[stage][1].band + section[stage][2].band;
    }
    return v;
}

// One host sample: zero-stuff to twice the rate and smooth, run the stages on both internal
// samples, band-limit and keep the second. The inserted zero gets no make-up gain.
//
// Recovery: a non-finite input or state would otherwise stay in the recursive memories for
// good. Every such fault reaches one of the up filter's outputs or the final output (the
// saturator passes NaN on, and an infinite state turns to NaN within a sample), so one check
// per sample finds it; the faulty channel's memories and sections are then cleared and it
// outputs 0.0 for that sample. Finite signals take the same arithmetic as without the check.
// Always inlined into the callers' loops, so the state stays in registers across a block.
template <int Stages, ladder_kind Kind, class L>
[[gnu::always_inline]] inline L ladder_step(ladder_sections<Stages, L> &sections, biquad_memory<L> &up_memory,
                     biquad_memory<L> &down_memory, const formant_ladder_settings &s,
                     const lowpass_biquad_coefficients &up, const lowpass_biquad_coefficients &down, L x) noexcept {
    const L a = up.step(up_memory, x);
    const L b = up.step(up_memory, L{});
    const L ya = run_stages<Stages, Kind>(sections, s, a);
    const L yb = run_stages<Stages, Kind>(sections, s, b);
    down.step(down_memory, ya);
    const L y = down.step(down_memory, yb);
    const L probe = a + b + y;
    if (all_finite(probe)) [[likely]]
        return y;
    auto clear = [&](L &v) { v = keep_finite_lanes(probe, v); };
    for (auto &stage : sections.r)
        for (auto &r : stage) {
            clear(r.low);
            clear(r.band);
        }
    for (biquad_memory<L> *m : {&up_memory, &down_memory}) {
        clear(m->x1);
        clear(m->x2);
        clear(m->y1);
        clear(m->y2);
    }
    return keep_finite_lanes(probe, y);
}

}  // namespace dsp
