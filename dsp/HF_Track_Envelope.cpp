#include "dsp/HF_Track_Envelope.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>

HF_Track_Envelope::HF_Track_Envelope(double sample_period) noexcept : HF_Envelope_Generator(sample_period) {
    update_coefficients();
}

void HF_Track_Envelope::update_coefficients() noexcept {
    reference_gain = trigger_sensitivity > -80.0 ? 1.0 / std::pow(10.0, trigger_sensitivity * 0.05) : 10000.0;
}

namespace dsp {

namespace {

// log2 x = exponent + log2 c + log2(m / c), with m the mantissa in [1, 2) and c the centre of
// its 1/128 interval, so |m / c - 1| < 1/256 and a degree-7 series for ln(1 + r) is exact to
// about 1e-19. The table holds 1/c rounded and the logarithm of exactly that rounded value, so
// the rounding of 1/c costs nothing.
// 2^y = 2^(q) x 2^(j/64) x 2^f with |f| <= 1/128: a degree-6 series for e^(f ln 2) is exact to
// about 1e-17. The errors that remain are roundings: a few 1e-14 relative for the smallest
// levels (where log2 x is near -1000), less elsewhere.
constexpr int log_bits = 7;
constexpr int log_entries = 1 << log_bits;
constexpr int exp_bits = 6;
constexpr int exp_entries = 1 << exp_bits;

struct power_tables {
    double inverse_centre[log_entries];
    double log2_centre[log_entries];
    double exp2_step[exp_entries];

    power_tables() noexcept {
        for (int i = 0; i < log_entries; ++i) {
            const double centre = 1.0 + (i + 0.5) / log_entries;
            inverse_centre[i] = 1.0 / centre;
            log2_centre[i] = -std::log2(inverse_centre[i]);
        }
        for (int j = 0; j < exp_entries; ++j) exp2_step[j] = std::exp2(static_cast<double>(j) / exp_entries);
    }
};

// Built when the library loads, never on the render thread.
const power_tables tables;

constexpr std::uint64_t mantissa_mask = (std::uint64_t{1} << 52) - 1;
constexpr double smallest_normal = 0x1p-1022;
constexpr double largest_result_log2 = 1000.0;

}  // namespace

double track_power(double x, double e) noexcept {
    if (e == 1.0) return x;  // shape 0, the linear curve: exactly the level, as pow gives it
    if (!(x >= smallest_normal && x <= 0x1.fffffffffffffp1023) || !(std::fabs(e) <= 0x1p30)) [[unlikely]]
        return std::pow(x, e);

    const auto bits = std::bit_cast<std::uint64_t>(x);
    const int binary_exponent = static_cast<int>(bits >> 52) - 1023;
    const double mantissa = std::bit_cast<double>((bits & mantissa_mask) | (std::uint64_t{1023} << 52));
    const int i = static_cast<int>((bits >> (52 - log_bits)) & (log_entries - 1));
    const double r = mantissa * tables.inverse_centre[i] - 1.0;
    const double ln_1pr =
        r * (1.0 + r * (-0.5 + r * (1.0 / 3.0 + r * (-0.25 + r * (0.2 + r * (-1.0 / 6.0 + r * (1.0 / 7.0)))))));
    const double log2_x = (binary_exponent + tables.log2_centre[i]) + ln_1pr * std::numbers::log2e;

    const double y = e * log2_x;
    if (!(std::fabs(y) <= largest_result_log2)) [[unlikely]]
        return std::pow(x, e);
    // Round y x 64 to the nearest integer without a library call: adding 1.5 x 2^52 leaves no
    // fraction bits (the default rounding mode rounds to nearest).
    const double scaled = y * exp_entries;
    const double nearest = (scaled + 0x1.8p52) - 0x1.8p52;
    const auto steps = static_cast<std::int64_t>(nearest);
    const double z = (scaled - nearest) * (std::numbers::ln2 / exp_entries);
    const double e_z =
        1.0 + z * (1.0 + z * (0.5 + z * (1.0 / 6.0 + z * (1.0 / 24.0 + z * (1.0 / 120.0 + z * (1.0 / 720.0))))));
    const std::int64_t whole = steps >> exp_bits;  // floor: steps - whole x 64 is in [0, 63]
    const double power_of_two = std::bit_cast<double>(static_cast<std::uint64_t>(whole + 1023) << 52);
    return tables.exp2_step[steps & (exp_entries - 1)] * e_z * power_of_two;
}

}  // namespace dsp
