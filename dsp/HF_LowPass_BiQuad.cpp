#include "dsp/HF_LowPass_BiQuad.h"

#include "dsp/sample_period.h"

#include <cmath>
#include <numbers>

namespace dsp {

void lowpass_biquad_coefficients::compute_all() noexcept {
    const double w = 2.0 * std::numbers::pi * cutoff * period;
    cos_w = std::cos(w);
    sin_w = std::sin(w);
    b1 = 1.0 - cos_w;
    b0 = 0.5 * b1;
    b2 = 0.5 * b1;
    a1 = -2.0 * cos_w;
    // The rest depends on q as well.
    compute_for_q();
}

void lowpass_biquad_coefficients::compute_for_q() noexcept {
    alpha = sin_w / (2.0 * q);
    a0 = 1.0 + alpha;
    a2 = 1.0 - alpha;
    inv_a0 = 1.0 / a0;
    b0n = b0 * inv_a0;
    b1n = b1 * inv_a0;
    b2n = b2 * inv_a0;
    a1n = a1 * inv_a0;
    a2n = a2 * inv_a0;
}

template <class L> lowpass_biquad<L>::lowpass_biquad(double period) noexcept {
    coeffs.period = valid_period_or_fallback(period);
    coeffs.compute_all();
}

template <class L> void lowpass_biquad<L>::set_cutoff(double hz) noexcept {
    if (hz == coeffs.cutoff) return;
    coeffs.cutoff = hz;
    coeffs.compute_all();
}

template <class L> void lowpass_biquad<L>::set_q(double q) noexcept {
    // NaN is held at the floor too, so the coefficients stay defined.
    const double bounded = q > 0.0001 ? q : 0.0001;
    if (bounded == coeffs.q) return;
    coeffs.q = bounded;
    coeffs.compute_for_q();
}

template <class L> void lowpass_biquad<L>::set_period(double seconds) noexcept {
    if (is_valid_period(seconds) && seconds != coeffs.period) {
        coeffs.period = seconds;
        coeffs.compute_all();
    }
    mem = biquad_memory<L>{};
}

template class lowpass_biquad<double>;
template class lowpass_biquad<lane2>;

}  // namespace dsp
