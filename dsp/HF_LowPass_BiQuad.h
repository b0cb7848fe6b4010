// Second-order low-pass section (audio-EQ-cookbook low-pass coefficients, direct form I), used
// by the ladder filters on their way up to and down from twice the host rate.
//
// Threads: owned by one ladder filter and called only from its owner's thread.
#pragma once

#include "dsp/lanes.h"

namespace dsp {

// Filter memories of one channel (lane2: both channels side by side).
template <class L> struct biquad_memory {
    L x1{}, x2{}, y1{}, y2{};
};

struct lowpass_biquad_coefficients {
    double period;
    double cutoff = 10000.0;
    double q = 0.5;
    double alpha = 0, cos_w = 0, sin_w = 0, inv_a0 = 0, a0 = 0, a1 = 0, a2 = 0, b0 = 0, b1 = 0, b2 = 0;
    double a1n = 0, a2n = 0, b0n = 0, b1n = 0, b2n = 0;

    // w = 2 pi cutoff period; alpha = sin w / 2q; b1 = 1 - cos w, b0 = b2 = b1 / 2;
    // a0 = 1 + alpha, a1 = -2 cos w, a2 = 1 - alpha; everything normalised by a0.
    void compute_all() noexcept;
    // A new q needs no new sine or cosine: only alpha, a0, a2 and the normalised set.
    void compute_for_q() noexcept;

    // y = b0n x + b1n x1 + b2n x2 - a1n y1 - a2n y2, in this order.
    template <class L> L step(biquad_memory<L> &m, L x) const noexcept {
        const L y = b0n * x + b1n * m.x1 + b2n * m.x2 - a1n * m.y1 - a2n * m.y2;
        m.y2 = m.y1;
        m.y1 = y;
        m.x2 = m.x1;
        m.x1 = x;
        return y;
    }
};

// The one implementation behind both twins.
template <class L> class lowpass_biquad {
public:
    explicit lowpass_biquad(double period) noexcept;
    virtual ~lowpass_biquad() = default;

    // Setters return at once when the value is unchanged.
    void set_cutoff(double hz) noexcept;
    void set_q(double q) noexcept;  // at least 0.0001
    // A new period recomputes every coefficient; in every case the memories are cleared.
    void set_period(double seconds) noexcept;

    const lowpass_biquad_coefficients &coefficients() const noexcept { return coeffs; }
    biquad_memory<L> &memory() noexcept { return mem; }
    const biquad_memory<L> &memory() const noexcept { return mem; }

protected:
    lowpass_biquad_coefficients coeffs;
    biquad_memory<L> mem;
};

extern template class lowpass_biquad<double>;
extern template class lowpass_biquad<lane2>;

}  // namespace dsp

class HF_LowPass_BiQuad_Mono final : public dsp::lowpass_biquad<double> {
public:
    using lowpass_biquad::lowpass_biquad;
    void process(double x, double *out) noexcept { *out = coeffs.step(mem, x); }
};

class HF_LowPass_BiQuad_Stereo final : public dsp::lowpass_biquad<dsp::lane2> {
public:
    using lowpass_biquad::lowpass_biquad;
    void process(double left, double right, double *out_left, double *out_right) noexcept {
        const dsp::lane2 y = coeffs.step(mem, dsp::lane2{left, right});
        *out_left = y[0];
        *out_right = y[1];
    }
};
