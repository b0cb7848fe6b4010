// What the sixteen nonlinear formant ladder filters share, per channel count: the coefficient
// set, the two oversampling filters, the setters and the rate handling. The stage count and
// kind are added by HF_Nonlinear_Ladder_Mono/_Stereo (HF_Nonlinear_Formant_Ladder_Effect.h).
//
// Each ladder runs at twice the host rate (oversampling_factor 2): it inserts a zero after
// every input sample, smooths with the up filter, runs its stages on both internal samples,
// band-limits with the down filter and keeps every second sample.
//
// Threads: the owner's thread only. The formant setters run once per sample on the render
// thread, just before process_sample.
#pragma once

#include "dsp/HF_Formant_Wah_Pass_Effect.h"
#include "dsp/HF_LowPass_BiQuad.h"
#include "dsp/formant_ladder.h"

#include <cstdint>

namespace dsp {

struct mono_channels {
    using pass_effect = HF_Pass_Effect_Mono;
    using wah_pass_effect = HF_Formant_Wah_Pass_Effect_Mono;
    using biquad = HF_LowPass_BiQuad_Mono;
    using lane = double;
};

struct stereo_channels {
    using pass_effect = HF_Pass_Effect_Stereo;
    using wah_pass_effect = HF_Formant_Wah_Pass_Effect_Stereo;
    using biquad = HF_LowPass_BiQuad_Stereo;
    using lane = lane2;
};

}  // namespace dsp

template <class Channels> class HF_Nonlinear_Ladder_Effect : public Channels::wah_pass_effect {
public:
    // Host period; the filters and the scales use half of it.
    explicit HF_Nonlinear_Ladder_Effect(double sample_period) noexcept;

    // Scales and exact k = 2 sin(pi f T) from the internal period; both oversampling filters
    // to a cut-off of a quarter of the host rate (pi/4 at their own rate) and q 0.95.
    void update_coefficients() noexcept final;

    // Damping = (1 - resonance) x 0.8 for the first stage, when the resonance changed.
    void set_resonance(double resonance) noexcept final { ladder.set_resonance(resonance); }
    // First-order k = 2 pi f T on the per-sample path. [render thread, every sample]
    void set_formant_1_frequency(double hz) noexcept final { ladder.set_formant(0, hz); }
    void set_formant_2_frequency(double hz) noexcept final { ladder.set_formant(1, hz); }
    void set_formant_3_frequency(double hz) noexcept final { ladder.set_formant(2, hz); }

    // Not virtual: the formant wah effect reaches it through this class. Shape as given, limit
    // held in [0.0001, 1], gain at least 0.0001; unchanged values recompute nothing.
    void set_saturation(double shape, double limit, double gain) noexcept { ladder.shaper.set(shape, limit, gain); }

    // Filters count samples of each channel from in to out (which must not overlap in) while
    // the formants move: moving_hz[i] holds the three frequencies of sample i, as the formant
    // setters would receive them just before process_sample. The formants are left at the last
    // sample's. Output and state are those of the per-sample sequence, bit for bit.
    // [render thread]
    virtual void process_moving_formants(const double *const in[], double *const out[], const double (*moving_hz)[3],
                                         std::uint32_t count) noexcept = 0;

    // Read-only views for owners and tests.
    const dsp::formant_ladder_settings &settings() const noexcept { return ladder; }
    const typename Channels::biquad &up_filter() const noexcept { return up; }
    const typename Channels::biquad &down_filter() const noexcept { return down; }
    double saturate(double x) const noexcept { return ladder.shaper.apply(x); }

protected:
    // The part of reset shared by every member: both filters to the internal period, which
    // also clears their memories.
    void reset_filters() noexcept;

    dsp::formant_ladder_settings ladder;
    typename Channels::biquad up;
    typename Channels::biquad down;
};

extern template class HF_Nonlinear_Ladder_Effect<dsp::mono_channels>;
extern template class HF_Nonlinear_Ladder_Effect<dsp::stereo_channels>;

// The pointer types through which the formant wah effect holds its eight filters.
using HF_Nonlinear_Ladder_Effect_Mono = HF_Nonlinear_Ladder_Effect<dsp::mono_channels>;
using HF_Nonlinear_Ladder_Effect_Stereo = HF_Nonlinear_Ladder_Effect<dsp::stereo_channels>;
