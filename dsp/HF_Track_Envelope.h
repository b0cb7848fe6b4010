// "Track": follows the level continuously through a power curve. A level at or above the
// reference level (set by "Trigger Sensitivity") gives 1; below it the position is
// (level / reference)^(1 - shape): shape 0 is linear, larger shapes bend the curve upward.
#pragma once

#include "dsp/HF_Envelope_Generator.h"

namespace dsp {

// x^e within a few 1e-14 relative of std::pow (and exactly x for e = 1), at a fraction of its
// cost: log2 and exp2 each from a small table and a short polynomial. Operands it was not made
// for (x not a positive normal number, e not finite, or a result beyond 2^+-1000) go to
// std::pow. [render thread]
double track_power(double x, double e) noexcept;

}  // namespace dsp

class HF_Track_Envelope final : public HF_Envelope_Generator {
public:
    explicit HF_Track_Envelope(double sample_period) noexcept;

    // min(1, (level x reference gain)^exponent); one power per sample. [render thread]
    double next_value(double level) noexcept override {
        const double x = level * reference_gain;
        // At or above the reference level the power is at least 1 (a power of x >= 1 with a
        // non-negative exponent, rounded, never falls below 1), so the result is 1 without it.
        if (x >= 1.0 && exponent >= 0.0) return 1.0;
        const double p = dsp::track_power(x, exponent);
        return p < 1.0 ? p : 1.0;  // a NaN (never from the follower) gives 1, like a full level
    }
    // Two levels at a time in one register, with exactly next_value's arithmetic per lane.
    void next_values(const double *levels, double *positions, std::uint32_t count) noexcept override;
    // Reference gain 1 / 10^(dB / 20) above -80 dB, else 10000 (reference level 0.0001).
    void update_coefficients() noexcept override;
    void update_for_sample_period() noexcept override { update_coefficients(); }
    void reset() noexcept override {}

    // exponent = 1 - shape ("Envelope Shape").
    void set_shape(double shape) noexcept { exponent = 1.0 - shape; }

    double get_reference_gain() const noexcept { return reference_gain; }
    double get_exponent() const noexcept { return exponent; }

private:
    double exponent = 1.0;
    double reference_gain = 1.0;
};
